#pragma once
// A clean error system over the program's own resources and a reset headless window system, for the
// tests of errors, alerts, strings and utilities.

#include "BuiltinResources.h"
#include "OverPc/PERROR.h"
#include "OverPc/Presourc.h"
#include "OverPc/shell/CQVApp.h"
#include "plat/Resources.h"
#include "plat/Testing.h"

#include <gtest/gtest.h>

namespace kvtest {

class ErrorFixture : public ::testing::Test {
protected:
    void SetUp() override {
        plat::testing::reset();
        plat::RegisterBuiltinResources(BuiltinResourceTables());
        CQVApp::instance().m_hResources = nullptr;
        CQVApp::instance().m_MainFrame = nullptr;
        CurrentDialog = nullptr;
        MessageBoxUpFlag = false;
        FreeStringCache();
        FreeErrorSystem();
        InitErrorSystem();
        SetErrorDetail(nullptr);
        SetLoggedInformation("");
    }
    void TearDown() override {
        EXPECT_EQ(ErrorEnvDepth(), 0) << "a test left an error environment pushed";
        RestoreErrorEnvDepth(0);
        CurrentDialog = nullptr;
        MessageBoxUpFlag = false;
        SetErrorDetail(nullptr);
        FreeStringCache();
        plat::RegisterBuiltinResources(BuiltinResourceTables());
    }

    // Answers the next message box with `result`.
    static void answerNextBox(int result) {
        plat::testing::onMessageBox(
            [result](const plat::testing::MessageBoxCall&) { return result; });
    }
};

} // namespace kvtest
