#pragma once
// The program's own dialogs on the headless back end without the program around them: a fresh
// platform with the built-in resources, no program window to own the dialogs, and no remembered
// dialog positions.

#include "BuiltinResources.h"
#include "Dialogs/ModifyDialogs.h"
#include "ExprSrcs/Change.h"
#include "OverPc/shell/CQVApp.h"
#include "OverPc/shell/DialogItems.h"
#include "plat/Resources.h"
#include "plat/Testing.h"

#include <gtest/gtest.h>

namespace kvtest {

inline void StartDialogTest() {
    plat::testing::reset();
    plat::RegisterBuiltinResources(BuiltinResourceTables());
    CQVApp::instance().m_hResources = nullptr;
    CQVApp::instance().m_MainFrame = nullptr;
    ResetDialogPositions();
    CurrentDialog = nullptr;
}

// A scripted dialog left over means the test expected a dialog that never opened. The platform is
// left fresh, with the resources registered, for whatever runs next.
inline void EndDialogTest() {
    EXPECT_EQ(0, plat::testing::pendingDialogScripts()) << "a scripted dialog never opened";
    CurrentDialog = nullptr;
    plat::testing::reset();
    plat::RegisterBuiltinResources(BuiltinResourceTables());
}

// The same with the Modify dialogs installed and their items and launchers fresh.
inline void StartModifyDialogTest() {
    StartDialogTest();
    ResetModifyDialogItems();
    ResetModifyDialogLaunchers();
    InstallModifyDialogs();
}

inline void EndModifyDialogTest() {
    ResetModifyDialogItems();
    ResetModifyDialogLaunchers();
    EndDialogTest();
}

class DialogTestFixture : public ::testing::Test {
protected:
    void SetUp() override { StartDialogTest(); }
    void TearDown() override { EndDialogTest(); }
};

class ModifyDialogTestFixture : public ::testing::Test {
protected:
    void SetUp() override { StartModifyDialogTest(); }
    void TearDown() override { EndModifyDialogTest(); }
};

} // namespace kvtest
