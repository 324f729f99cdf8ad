#pragma once
// The running program on the headless back end, for tests that open document windows and type
// into them: started without a splash, on a single-instance socket of its own (parallel runs do
// not hand over to each other), with the model wired to the shell; every document window closed
// and the program shut down afterwards.

#include "App/AppHooks.h"
#include "App/CQVAppStartup.h"
#include "App/ModelWiring.h"
#include "Dialogs/PrefsSaving.h"
#include "ExprSrcs/ExprFilePane.h"
#include "OverPc/commands/kPalette.h"
#include "OverPc/shell/CQVApp.h"
#include "OverPc/shell/Pwindow.h"
#include "OverSrcs/commands/kEdit.h"
#include "OverSrcs/eChar.h"
#include "OverSrcs/eModelHooks.h"
#include "plat/Testing.h"
#include "plat/Window.h"
#include "platform/SysTempDir.h"

#include <gtest/gtest.h>
#include <string_view>
#include <vector>

namespace kvtest {

// Every document window closed, as the user would close them.
inline void CloseAllDocuments() {
    while (OpenDocumentList != nullptr) {
        delete OpenDocumentList->window();
        plat::testing::runUntilIdle();
    }
}

// The program ended as after a quit, with every hook and dialog state the tests set put back.
inline void ShutDownProgram() {
    ResetCommandState();
    ResetCommandHooks();
    ResetModelHooks();
    SaveGeneralPrefsHook = nullptr;
    // The program's document writer goes with the program: a later test that wants one installs
    // its own.
    DocumentWriterHook = nullptr;
    CQVAppShutdown();
    SetSingleInstanceSocket("");
    AppHooks() = ShellHooks{};
    CurrentDialog = nullptr;
    MessageBoxUpFlag = false;
}

class AppDocumentFixture : public ::testing::Test {
protected:
    void SetUp() override {
        plat::testing::reset();
        AppHooks() = ShellHooks{};
        CurrentDialog = nullptr;
        MessageBoxUpFlag = false;
        SetSingleInstanceSocket(m_dir / "KorvalineFileOpen");
        ASSERT_TRUE(CQVAppStartup({"-nosplash"}).runLoop);
        ResetModelHooks();
        ResetCommandHooks();
        ResetCommandState();
        InstallModelWiring();
    }
    void TearDown() override {
        closeDocuments();
        shutDown();
    }

    // A scripted dialog left over means the test expected a dialog that never opened.
    void closeDocuments() {
        EXPECT_EQ(0, plat::testing::pendingDialogScripts()) << "a scripted dialog never opened";
        CloseAllDocuments();
    }
    void shutDown() { ShutDownProgram(); }

    // The palette window opened as the Windows menu opens it.
    static plat::HWND openPalette() {
        SetPaletteWindowWanted(true);
        if (ThePalettePane() == nullptr)
            ShowPaletteWindow();
        plat::testing::runUntilIdle();
        return ThePalettePane() ? HandleOfWindow(ThePalettePane()->windowHandle()) : nullptr;
    }

    // Closing the last document window posts the quit that ends the program; a test that goes on
    // with new documents takes it back. True when one was posted.
    static bool takeBackQuit() {
        plat::MSG quit{};
        return plat::PeekMessage(&quit, nullptr, plat::WM_QUIT, plat::WM_QUIT, plat::PM_REMOVE) !=
               plat::FALSE;
    }

    // A new untitled document with the text typed into it.
    ExprFilePane* typed(std::string_view text) {
        ExprFilePane* pane = NewUntitledDocument();
        pane->takeFocus();
        plat::testing::runUntilIdle();
        plat::testing::type(text);
        plat::testing::runUntilIdle();
        return pane;
    }

    // The stored styles of every character leaf of the document, in order.
    static std::vector<FSSRecord> leafStyles(const ExprFilePane* pane) {
        std::vector<FSSRecord> out;
        collectLeafStyles(pane->expression(), out);
        return out;
    }
    static void collectLeafStyles(const eExpr* node, std::vector<FSSRecord>& out) {
        if (node == nullptr)
            return;
        if (const auto* leaf = dynamic_cast<const eChar*>(node)) {
            FSSRecord r;
            leaf->storedStyle(r);
            out.push_back(r);
        }
        for (int32_t i = 0; i < node->childCount(); ++i)
            collectLeafStyles(node->getChild(i), out);
    }

    SysTempDir m_dir;
    // The preferences folder of the run is the test's own.
    ScopedEnv m_registry{"KV_REGISTRY_DIR", m_dir / "config"};
    ScopedEnv m_data{"XDG_DATA_HOME", m_dir / "data"};
    ScopedEnv m_config{"XDG_CONFIG_HOME", m_dir / "config"};
};

} // namespace kvtest
