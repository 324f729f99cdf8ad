// The speech voice made by start-up and released by shut-down, on the headless back end.

#include "App/AppHooks.h"
#include "App/CQVAppStartup.h"
#include "OverPc/shell/CQVApp.h"
#include "plat/Speech.h"
#include "plat/Testing.h"
#include "platform/SysTempDir.h"

#include <gtest/gtest.h>

namespace {

class AppVoiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        plat::testing::reset();
        AppHooks() = ShellHooks{};
        CQVApp::instance().m_Embedded = false;
        SetSingleInstanceSocket(m_dir / "KorvalineFileOpen");
    }
    void TearDown() override {
        CQVAppShutdown();
        AppHooks() = ShellHooks{};
        SetSingleInstanceSocket("");
    }

    kvtest::SysTempDir m_dir;
    kvtest::ScopedEnv m_registry{"KV_REGISTRY_DIR", m_dir / "config"};
    kvtest::ScopedEnv m_data{"XDG_DATA_HOME", m_dir / "data"};
    kvtest::ScopedEnv m_config{"XDG_CONFIG_HOME", m_dir / "config"};
};

TEST_F(AppVoiceTest, StartUpMakesTheVoiceAndShutDownReleasesIt) {
    ASSERT_TRUE(CQVAppStartup({"-nosplash"}).runLoop);
    plat::SpVoice* voice = CQVApp::instance().m_Voice;
    ASSERT_NE(nullptr, voice);
    EXPECT_EQ(plat::S_OK,
              voice->Speak("x squared",
                           plat::SPF_ASYNC | plat::SPF_PURGEBEFORESPEAK | plat::SPF_IS_NOT_XML,
                           nullptr));
    ASSERT_EQ(1u, plat::testing::utterances().size());
    EXPECT_TRUE(plat::testing::utterances()[0].playing);

    CQVAppShutdown();
    EXPECT_EQ(nullptr, CQVApp::instance().m_Voice);
    // Only the voice's last release stops what it is saying.
    EXPECT_TRUE(plat::testing::utterances()[0].cutOff);
    // A second shut-down has no voice to release again.
    CQVAppShutdown();
    EXPECT_EQ(1u, plat::testing::utterances().size());
}

} // namespace
