// The program started as the entry starts it: every hook table start-up fills is filled, and the
// menu rows nobody serves yet are exactly the ones the menu table lists as waiting.

#include "App/AppHooks.h"
#include "App/CQVAppStartup.h"
#include "App/MenuDispatch.h"
#include "App/ModelWiring.h"
#include "ExprSrcs/EPane.h"
#include "ExprSrcs/ExprFilePane.h"
#include "OverPc/commands/kPalette.h"
#include "OverPc/shell/CQVApp.h"
#include "OverSrcs/Winufo.h"
#include "OverSrcs/commands/kEdit.h"
#include "OverSrcs/eAsian.h"
#include "OverSrcs/eModelHooks.h"
#include "OverSrcs/oGraph.h"
#include "app/AppDocumentFixture.h"
#include "plat/Testing.h"
#include "platform/SysTempDir.h"

#include <gtest/gtest.h>
#include <map>
#include <string>
#include <vector>

namespace {

struct Hook {
    std::string name;
    const void* value;
};

// Every pointer of every table, by name. A table that gains a pointer must be listed here: the
// size checks stop the build until it is.
#define KV_HOOK(table, field)                                                                      \
    Hook {                                                                                         \
#table "." #field, reinterpret_cast < const void*>(table.field)                            \
    }
std::vector<Hook> allHooks() {
    const ShellHooks& shell = AppHooks();
    const CommandHooks& command = TheCommandHooks();
    const ModelHooks& model = TheModelHooks();
    const ExprPaneShellHooks& pane = TheExprPaneShellHooks();
    const AsianFontServices& asian = TheAsianFontServices();
    const PortDeviceHooks& device = GetPortDeviceHooks();
    const PaletteDrawingHooks& palette = ThePaletteDrawingHooks();
    const WinUfoPlatform& picture = TheWinUfoPlatform();
    static_assert(sizeof(ShellHooks) == 10 * sizeof(void*));
    static_assert(sizeof(CommandHooks) == 18 * sizeof(void*));
    static_assert(sizeof(ModelHooks) == 17 * sizeof(void*));
    static_assert(sizeof(ExprPaneShellHooks) == 9 * sizeof(void*));
    static_assert(sizeof(AsianFontServices) == 2 * sizeof(void*));
    static_assert(sizeof(PortDeviceHooks) == 3 * sizeof(void*));
    static_assert(sizeof(PaletteDrawingHooks) == 3 * sizeof(void*));
    static_assert(sizeof(WinUfoPlatform) == 4 * sizeof(void*));
    return {
        KV_HOOK(shell, openDocumentWindow),
        KV_HOOK(shell, loadCustomisation),
        KV_HOOK(shell, showStartupTools),
        KV_HOOK(shell, savePrefsAndCloseAll),
        KV_HOOK(shell, endWithoutQuestions),
        KV_HOOK(shell, doCommand),
        KV_HOOK(shell, runAdHocMenuItem),
        KV_HOOK(shell, createClipboardObject),
        KV_HOOK(shell, releaseClipboardObject),
        KV_HOOK(shell, showAboutBox),
        KV_HOOK(command, copy),
        KV_HOOK(command, paste),
        KV_HOOK(command, cut),
        KV_HOOK(command, askFont),
        KV_HOOK(command, paletteToggles),
        KV_HOOK(command, styleButtons),
        KV_HOOK(command, releasePaletteImage),
        KV_HOOK(command, redrawFindPads),
        KV_HOOK(command, openFindWindow),
        KV_HOOK(command, rootSettingsCommand),
        KV_HOOK(command, inputPending),
        KV_HOOK(command, copyMenuLabel),
        KV_HOOK(command, redrawAfterEdit),
        KV_HOOK(command, refreshActivePane),
        KV_HOOK(command, markEdited),
        KV_HOOK(command, drawNodeNow),
        KV_HOOK(command, mergeAdjacentWords),
        KV_HOOK(command, activeLineUnit),
        KV_HOOK(model, nodeDestroyed),
        KV_HOOK(model, selectionsWithin),
        KV_HOOK(model, retargetSelections),
        KV_HOOK(model, finishEditAt),
        KV_HOOK(model, getSelectionFSS),
        KV_HOOK(model, activeTypingStyle),
        KV_HOOK(model, currentCommandCode),
        KV_HOOK(model, entryBeingActedUpon),
        KV_HOOK(model, getTypingFSS),
        KV_HOOK(model, selectRange),
        KV_HOOK(model, setSelection),
        KV_HOOK(model, checkUserAbort),
        KV_HOOK(model, fontIndexForDesc),
        KV_HOOK(model, fontIndexEpoch),
        KV_HOOK(model, fontIndexForRole),
        KV_HOOK(model, charClassOf),
        KV_HOOK(model, isLeadByte),
        KV_HOOK(pane, inputState),
        KV_HOOK(pane, addWindowMenuItem),
        KV_HOOK(pane, removeWindowMenuItem),
        KV_HOOK(pane, checkWindowMenuItem),
        KV_HOOK(pane, enableMenuCommand),
        KV_HOOK(pane, trackContextMenu),
        KV_HOOK(pane, newWindowPlace),
        KV_HOOK(pane, embedded),
        KV_HOOK(pane, findWindowInFront),
        KV_HOOK(asian, faceScriptClass),
        KV_HOOK(asian, defaultGuiFace),
        KV_HOOK(device, make),
        KV_HOOK(device, addRef),
        KV_HOOK(device, release),
        KV_HOOK(palette, drawCommandPicture),
        KV_HOOK(palette, typingStyleDescription),
        KV_HOOK(palette, catalogBitmapId),
        KV_HOOK(picture, copy),
        KV_HOOK(picture, release),
        KV_HOOK(picture, describe),
        KV_HOOK(picture, draw),
    };
}
#undef KV_HOOK

class StartupHooksTest : public ::testing::Test {
protected:
    void SetUp() override {
        plat::testing::reset();
        AppHooks() = ShellHooks{};
        ResetModelHooks();
        ResetCommandHooks();
        ResetCommandState();
        SetWinUfoPlatform(WinUfoPlatform{});
        SetSingleInstanceSocket(m_dir / "KorvalineFileOpen");
        // Start-up notes (a preferences folder without its files) are answered as a user would.
        plat::testing::setUnscriptedAnswers(
            {[](const plat::testing::MessageBoxCall&) { return 1; }, nullptr, nullptr});
        InstallModelWiring();
        ASSERT_TRUE(CQVAppStartup({"-nosplash"}).runLoop);
    }
    void TearDown() override {
        kvtest::CloseAllDocuments();
        kvtest::ShutDownProgram();
    }

    kvtest::SysTempDir m_dir;
    kvtest::ScopedEnv m_registry{"KV_REGISTRY_DIR", m_dir / "config"};
};

// Hooks of features not built yet (nothing calls them until then), with that feature. Delete a
// line when its feature installs the hook.
const std::map<std::string, std::string> kWaitingHooks = {
};

TEST_F(StartupHooksTest, EveryHookTheProgramReliesOnIsInstalled) {
    for (const Hook& hook : allHooks()) {
        if (kWaitingHooks.count(hook.name) > 0)
            EXPECT_EQ(hook.value, nullptr) << hook.name << " is installed: delete its waiting line";
        else
            EXPECT_NE(hook.value, nullptr) << hook.name << " is left empty";
    }
}

TEST_F(StartupHooksTest, TheRowsNobodyServesAreTheListedOnes) {
    std::map<int, const char*> waiting;
    for (const UnservedMenuRow& row : UnservedMenuRows()) {
        EXPECT_TRUE(waiting.emplace(row.id, row.feature).second) << row.id << " listed twice";
        EXPECT_NE(std::string(row.feature), "") << row.id;
    }
    for (int id : MenuTableIds()) {
        const bool listed = waiting.erase(id) > 0;
        if (MenuCommandIsMissing(id))
            EXPECT_TRUE(listed) << "menu item " << id << " is served by nobody and not listed";
        else
            EXPECT_FALSE(listed) << "menu item " << id << " is served: delete its waiting line";
    }
    for (const auto& [id, feature] : waiting)
        ADD_FAILURE() << "waiting line " << id << " (" << feature << ") names no menu row";
}

} // namespace
