// The whole program, started as the entry starts it, driven by random input from a fixed seed:
// keys, typed text, clicks in the frame and its documents, menu picks and answers to every box,
// dialog and menu that opens. It must neither end, hang nor log an assertion. KV_MONKEY_ACTIONS
// sets the number of actions (the default keeps the run short enough for every build),
// KV_MONKEY_SEED the seed.

#include "App/AppHooks.h"
#include "App/CQVAppStartup.h"
#include "App/MenuDispatch.h"
#include "App/MessageLoop.h"
#include "App/ModelWiring.h"
#include "ExprSrcs/ExprFilePane.h"
#include "OverPc/PERROR.h"
#include "OverPc/Presourc.h"
#include "OverPc/shell/CQVApp.h"
#include "OverPc/shell/Pwindow.h"
#include "OverSrcs/commands/kEdit.h"
#include "OverSrcs/eModelHooks.h"
#include "OverSrcs/oWindows.h"
#include "app/AppDocumentFixture.h"
#include "plat/CommonDialogs.h"
#include "plat/Dialog.h"
#include "plat/Input.h"
#include "plat/Testing.h"
#include "plat/Window.h"
#include "platform/SysTempDir.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

namespace {

namespace pt = plat::testing;

constexpr int kQuitMenuId = 269;

long envNumber(const char* name, long fallback) {
    const char* text = std::getenv(name);
    return text && *text ? std::strtol(text, nullptr, 10) : fallback;
}

class RandomInputTest : public ::testing::Test {
protected:
    void SetUp() override {
        pt::reset();
        AppHooks() = ShellHooks{};
        ResetModelHooks();
        ResetCommandHooks();
        ResetCommandState();
        CurrentDialog = nullptr;
        MessageBoxUpFlag = false;
        SetSingleInstanceSocket(m_dir / "KorvalineFileOpen");
        pt::setUnscriptedAnswers({[this](const pt::MessageBoxCall& box) { return answerBox(box); },
                                  [this](pt::DialogDriver& d) { answerDialog(d); },
                                  [this](pt::MenuDriver& m) { answerMenu(m); }});
        // As the entry does: the subsystems install their hooks, then the program starts.
        InstallModelWiring();
        ASSERT_TRUE(CQVAppStartup({"-nosplash"}).runLoop);
    }
    void TearDown() override {
        pt::setUnscriptedAnswers({});
        kvtest::CloseAllDocuments();
        kvtest::ShutDownProgram();
    }

    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(m_random); }
    bool chance(int percent) { return pick(100) < percent; }

    // Boxes: any answer their buttons allow, except Retry (the same failure again, for ever).
    int answerBox(const pt::MessageBoxCall& box) {
        switch (box.type & 0xF) {
        case 1: // OK, Cancel
            return chance(50) ? 1 : 2;
        case 3: // Yes, No, Cancel
            return std::vector<int>{6, 7, 2}[pick(3)];
        case 4: // Yes, No
            return chance(50) ? 6 : 7;
        case 5: // Retry, Cancel
            return 2;
        default:
            return 1;
        }
    }

    // File choosers name a file in the temporary folder (or are cancelled); other dialogs get a few
    // keys and then OK or Escape.
    void answerDialog(pt::DialogDriver& d) {
        if (d.id() == plat::IDD_OPENFILE || d.id() == plat::IDD_SAVEFILE) {
            if (chance(30) || !d.exists(plat::IDC_FILE_NAME))
                return;
            d.setText(plat::IDC_FILE_NAME, m_dir / ("doc" + std::to_string(pick(3)) + ".pvx"));
            d.click(plat::IDOK);
            return;
        }
        for (int n = pick(4); n > 0 && !d.ended(); --n)
            d.key(kDialogKeys[pick(static_cast<int>(std::size(kDialogKeys)))]);
        if (d.ended())
            return;
        if (chance(50))
            d.enter();
        else
            d.escape();
    }

    // Menus: an enabled command other than Quit, or nothing.
    void answerMenu(pt::MenuDriver& m) {
        std::vector<plat::UINT> ids;
        for (const pt::MenuItemView& item : m.items(0))
            if (item.id != 0 && !item.grayed && item.id != kQuitMenuId)
                ids.push_back(item.id);
        if (ids.empty() || chance(20)) {
            m.cancel();
            return;
        }
        m.choose(ids[static_cast<size_t>(pick(static_cast<int>(ids.size())))]);
    }

    // Every message waiting, as the main loop handles it; false when the program ended.
    bool settle() {
        int exitCode = 0;
        for (int turn = 0; turn < 8; ++turn) {
            if (RunPendingMessages(exitCode))
                return false;
            plat::MSG msg;
            if (!plat::PeekMessage(&msg, nullptr, 0, 0, plat::PM_NOREMOVE) &&
                !pt::releaseHeldInput())
                return true;
        }
        return true;
    }

    plat::HWND frame() const { return CQVApp::instance().m_MainFrame; }

    void randomKey() {
        const int vk = kKeys[pick(static_cast<int>(std::size(kKeys)))];
        const unsigned mods[] = {0,
                                 0,
                                 0,
                                 0,
                                 pt::kShift,
                                 pt::kShift,
                                 pt::kCtrl,
                                 pt::kCtrl,
                                 pt::kAlt,
                                 pt::kCtrl | pt::kShift,
                                 pt::kAlt | pt::kShift};
        const unsigned mod = mods[pick(static_cast<int>(std::size(mods)))];
        m_last = "key " + std::to_string(vk) + " with " + std::to_string(mod);
        pt::key(vk, mod);
    }

    void randomText() {
        static const char kChars[] =
            "abcxyzABC0123456789+-=*/()[]{}<>|^_.,;:!? '\"\xE9\xE0\xFC\xB5";
        std::string text;
        for (int n = 1 + pick(6); n > 0; --n)
            text += kChars[pick(static_cast<int>(sizeof kChars) - 1)];
        m_last = "text " + text;
        pt::type(text);
    }

    // A click in the focused document window (most of the time) or anywhere in the frame.
    void randomClick() {
        plat::HWND target = plat::GetFocus();
        if (!target || !WindowOfHandle(target) || chance(25))
            target = frame();
        plat::RECT r{};
        plat::GetClientRect(target, &r);
        const int x = r.right > 0 ? pick(r.right) : 0;
        const int y = r.bottom > 0 ? pick(r.bottom) : 0;
        const int kind = pick(10);
        m_last = "click " + std::to_string(kind) + " at " + std::to_string(x) + "," +
                 std::to_string(y) + (target == frame() ? " in the frame" : " in a document");
        if (kind < 6)
            pt::click(target, x, y);
        else if (kind < 8)
            pt::doubleClick(target, x, y);
        else if (kind < 9)
            pt::click(target, x, y, pt::kRight);
        else
            pt::drag(target, {x, y}, {pick(r.right + 1), pick(r.bottom + 1)});
    }

    void randomMenuPick() {
        static const std::vector<int> ids = [] {
            std::vector<int> all;
            for (int id : MenuTableIds())
                if (id != kQuitMenuId)
                    all.push_back(id);
            for (int id : {513, 5377, 5390, 1793, 1794, 1795, 1796})
                all.push_back(id);
            return all;
        }();
        const int id = ids[static_cast<size_t>(pick(static_cast<int>(ids.size())))];
        m_last = "menu " + std::to_string(id);
        plat::SendMessage(frame(), plat::WM_COMMAND, static_cast<plat::WPARAM>(id), 0);
    }

    // The user keeps a document or two open, as the program ends when the last one closes.
    void keepDocumentsOpen() {
        if (OpenDocumentCount() == 0 || (OpenDocumentCount() < 3 && chance(2)))
            plat::SendMessage(frame(), plat::WM_COMMAND, 257, 0);
        else if (OpenDocumentCount() > 4 && OpenDocumentList)
            delete OpenDocumentList->window();
    }

    static constexpr int kKeys[] = {'A',
                                    'B',
                                    'C',
                                    'V',
                                    'X',
                                    'Z',
                                    'F',
                                    'S',
                                    'Q',
                                    'W',
                                    '1',
                                    '2',
                                    '9',
                                    plat::VK_SPACE,
                                    plat::VK_RETURN,
                                    plat::VK_TAB,
                                    plat::VK_BACK,
                                    plat::VK_ESCAPE,
                                    plat::VK_ESCAPE,
                                    plat::VK_DELETE,
                                    plat::VK_INSERT,
                                    plat::VK_LEFT,
                                    plat::VK_RIGHT,
                                    plat::VK_UP,
                                    plat::VK_DOWN,
                                    plat::VK_HOME,
                                    plat::VK_END,
                                    plat::VK_PRIOR,
                                    plat::VK_NEXT,
                                    plat::VK_F1,
                                    plat::VK_F2,
                                    plat::VK_F5,
                                    plat::VK_F9,
                                    plat::VK_NUMPAD9,
                                    plat::VK_ADD,
                                    plat::VK_DIVIDE,
                                    plat::VK_APPS};
    static constexpr int kDialogKeys[] = {
        plat::VK_TAB, plat::VK_SPACE, plat::VK_DOWN, plat::VK_UP, '1', 'A'};

    kvtest::SysTempDir m_dir;
    kvtest::ScopedEnv m_home{"HOME", m_dir.path()};
    kvtest::ScopedEnv m_registry{"KV_REGISTRY_DIR", m_dir / "config"};
    kvtest::ScopedEnv m_data{"XDG_DATA_HOME", m_dir / "data"};
    kvtest::ScopedEnv m_config{"XDG_CONFIG_HOME", m_dir / "config"};
    std::string m_last;
    std::mt19937 m_random{static_cast<std::mt19937::result_type>(envNumber("KV_MONKEY_SEED", 7))};
};

TEST_F(RandomInputTest, TheProgramSurvivesRandomInput) {
    const long actions = envNumber("KV_MONKEY_ACTIONS", 3000);
    const size_t logged = LoggedInformation().size();
    ASSERT_TRUE(settle());
    std::string last;
    for (long i = 0; i < actions; ++i) {
        // The driver's message journal would grow for the whole run.
        pt::clearJournal();
        keepDocumentsOpen();
        ASSERT_TRUE(settle()) << "the program ended after action " << i << " (" << last << ")";
        const int kind = pick(100);
        if (kind < 40) {
            randomKey();
            last = m_last;
        } else if (kind < 55) {
            randomText();
            last = m_last;
        } else if (kind < 80) {
            randomClick();
            last = m_last;
        } else if (kind < 95) {
            randomMenuPick();
            last = m_last;
        } else {
            pt::advanceClock(static_cast<plat::DWORD>(50 + pick(600)));
            last = "time";
        }
        ASSERT_TRUE(settle()) << "the program ended after action " << i << " (" << last << ")";
        ASSERT_EQ(ErrorEnvDepth(), 0) << "after action " << i << " (" << last << ")";
        ASSERT_EQ(CurrentDialog, nullptr) << "a dialog stayed open after action " << i;
        const std::string_view log = LoggedInformation().substr(logged);
        ASSERT_EQ(log.find("Assertion failure"), std::string_view::npos)
            << log << "after action " << i << " (" << last << ")";
    }
    EXPECT_TRUE(plat::IsWindow(frame()));
}

// A front window whose keys fail.
class FailingKeys : public oWindow {
public:
    bool doKey(int32_t) override { Fail(504); }
};

TEST_F(RandomInputTest, AFailedKeyIsShownAndTheProgramGoesOn) {
    pt::setUnscriptedAnswers({});
    ASSERT_TRUE(settle());
    ASSERT_NE(OpenDocumentList, nullptr);
    // A key whose command fails shows the failure; the documents and the program stay.
    FailingKeys failing;
    SetFrontWindow(&failing);
    std::vector<std::string> shown;
    pt::onMessageBox([&](const pt::MessageBoxCall& box) {
        shown.push_back(box.text);
        return 1;
    });
    pt::key(plat::VK_LEFT);
    ASSERT_TRUE(settle());
    SetFrontWindow(nullptr);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_NE(shown[0].find(LoadResString(504)), std::string::npos);
    EXPECT_EQ(ErrorEnvDepth(), 0);
    EXPECT_EQ(OpenDocumentCount(), 1);
}

} // namespace
