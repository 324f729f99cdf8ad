// The shell's services to the expression pane on the headless back end: the context menus and
// what their items run, and the Windows menu entries of the document windows.

#include "../../src/Platform/backend/Backend.h"
#include "App/AppHooks.h"
#include "App/CQVAppStartup.h"
#include "App/MenuDispatch.h"
#include "App/ModelWiring.h"
#include "BuiltinResources.h"
#include "ExprSrcs/EPane.h"
#include "ExprSrcs/ExprFilePane.h"
#include "OverPc/PERROR.h"
#include "OverPc/PFONTS.h"
#include "OverPc/PGRAPHIC.h"
#include "OverPc/Presourc.h"
#include "OverPc/documents/ClipboardCommands.h"
#include "OverPc/shell/CQVApp.h"
#include "OverPc/shell/HelpBalloons.h"
#include "OverPc/shell/PMENU.h"
#include "OverPc/shell/Pwindow.h"
#include "OverPc/shell/oDlgWidget.h"
#include "OverPc/shell/oListBox.h"
#include "OverSrcs/commands/kEdit.h"
#include "OverSrcs/eFactory.h"
#include "OverSrcs/eHeader.h"
#include "OverSrcs/eLayout.h"
#include "OverSrcs/eModelHooks.h"
#include "OverSrcs/eTempl.h"
#include "OverSrcs/eWord.h"
#include "plat/Controls.h"
#include "plat/Dialog.h"
#include "plat/Menu.h"
#include "plat/Registry.h"
#include "plat/Resources.h"
#include "plat/Testing.h"
#include "plat/Window.h"
#include "platform/SysTempDir.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

// The dialog-frame tests' resources hold a dialog with an owner-drawn list box.
const plat::ResourceTables& DlgFrameTestResourceTables();

namespace kvtest {
namespace {

class PaneShellTest : public ::testing::Test {
protected:
    void SetUp() override {
        plat::testing::reset();
        AppHooks() = ShellHooks{};
        CurrentDialog = nullptr;
        MessageBoxUpFlag = false;
        CQVApp::instance().m_Embedded = false;
        // Each test has its own single-instance socket, so parallel runs do not hand over to
        // each other.
        SetSingleInstanceSocket(m_dir / "KorvalineFileOpen");
        const StartupOutcome outcome = CQVAppStartup({"-nosplash"});
        ASSERT_TRUE(outcome.runLoop);
        ResetModelHooks();
        ResetCommandHooks();
        ResetCommandState();
        ResetKeyMap();
        TheExprPaneShellHooks() = ExprPaneShellHooks{};
        InstallModelWiring();
        ResetHelpBalloons();
    }
    void TearDown() override {
        ResetHelpBalloons();
        for (ExprPane* pane : m_panes)
            delete pane->window();
        m_panes.clear();
        EXPECT_EQ(PaneList, nullptr);
        TheExprPaneShellHooks() = ExprPaneShellHooks{};
        ResetCommandState();
        ResetCommandHooks();
        ResetModelHooks();
        SetFrontWindow(nullptr);
        CQVAppShutdown();
        SetSingleInstanceSocket("");
        AppHooks() = ShellHooks{};
        CurrentDialog = nullptr;
        MessageBoxUpFlag = false;
    }

    ExprFilePane* open() {
        ExprFilePane* pane = NewExprFilePane(NewPlaceholder(0, false), nullptr, nullptr, 0);
        m_panes.push_back(pane);
        pane->takeFocus();
        plat::testing::runUntilIdle();
        return pane;
    }
    void close(ExprPane* pane) {
        std::erase(m_panes, pane);
        delete pane->window();
        plat::testing::runUntilIdle();
    }
    static std::string text(ExprPane* pane) {
        std::string t;
        eExpr* row = pane->expression();
        for (int32_t i = 0; row != nullptr && i < row->childCount(); ++i) {
            eExpr* item = row->getChild(i);
            if (item->isWord())
                t += static_cast<eWord*>(item)->view();
            else if (!item->isSpace())
                t += '#';
        }
        return t;
    }
    static oPoint middleOf(ExprPane* pane) {
        const Zone root = pane->root()->m_zone;
        return oPoint{(root.left + root.right) / 2, (root.top + root.bottom) / 2};
    }
    // Right-clicks the middle of the expression and lets `script` act on the menu that opens.
    static void contextChoose(ExprPane* pane, plat::UINT id) {
        bool opened = false;
        plat::testing::onMenu([&](plat::testing::MenuDriver& menu) {
            opened = true;
            EXPECT_TRUE(menu.choose(id)) << id;
        });
        HandlePaneRightClick(middleOf(pane));
        plat::testing::runUntilIdle();
        EXPECT_TRUE(opened);
    }
    static plat::HMENU windowsMenu() { return MenuOfNumber(33); }
    static std::vector<std::string> windowsEntries() {
        std::vector<std::string> out;
        plat::HMENU menu = windowsMenu();
        for (int i = 2; i < plat::GetMenuItemCount(menu); ++i) {
            char t[256] = {};
            plat::GetMenuString(menu, static_cast<plat::UINT>(i), t, sizeof t, plat::MF_BYPOSITION);
            out.emplace_back(t);
        }
        return out;
    }
    static bool checked(plat::UINT id) {
        return (plat::GetMenuState(windowsMenu(), id, plat::MF_BYCOMMAND) & plat::MF_CHECKED) != 0;
    }

    // Writes a value of the program's settings key (the machine settings of this version).
    static void setSetting(const char* name, plat::DWORD type, const void* data, plat::DWORD size) {
        std::string version = LoadResString(138);
        version = version.substr(0, version.find(' '));
        const std::string path = "SOFTWARE\\Oxbellan Interactive\\Tessaron Maker\\" + version;
        plat::HKEY key = nullptr;
        ASSERT_EQ(plat::RegCreateKeyEx(plat::HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0,
                                       plat::KEY_ALL_ACCESS, nullptr, &key, nullptr),
                  plat::ERROR_SUCCESS);
        ASSERT_EQ(
            plat::RegSetValueEx(key, name, 0, type, static_cast<const plat::BYTE*>(data), size),
            plat::ERROR_SUCCESS);
        plat::RegCloseKey(key);
        ResetHelpBalloons();
    }
    static void setText(const char* name, const char* text) {
        setSetting(name, plat::REG_SZ, text, static_cast<plat::DWORD>(std::strlen(text) + 1));
    }
    // Selects the whole expression and rests the pointer on its middle.
    static void hoverOverSelection(ExprPane* pane) {
        DoCommand(kCmdSelectAll, 0);
        plat::testing::runUntilIdle();
        const oPoint middle = middleOf(pane);
        const Zone& z = pane->zoneInParent();
        plat::testing::move(HandleOfWindow(pane->windowHandle()), middle.x + z.left,
                            middle.y + z.top);
        plat::testing::runUntilIdle();
    }
    // Steps the balloon after `ms` more of resting.
    static void restFor(plat::DWORD ms) {
        plat::testing::advanceClock(ms);
        HelpBalloonStep();
    }

    SysTempDir m_dir;
    ScopedEnv m_registry{"KV_REGISTRY_DIR", m_dir / "config"};
    ScopedEnv m_data{"XDG_DATA_HOME", m_dir / "data"};
    ScopedEnv m_config{"XDG_CONFIG_HOME", m_dir / "config"};
    std::vector<ExprPane*> m_panes;
};

TEST_F(PaneShellTest, TheSelectionMenuListsItsItemsUnderTheirIds) {
    ExprFilePane* pane = open();
    plat::testing::type("ab");
    plat::testing::runUntilIdle();
    std::vector<plat::testing::MenuItemView> top;
    std::vector<plat::testing::MenuItemView> select;
    plat::testing::onMenu([&](plat::testing::MenuDriver& menu) {
        top = menu.items(0);
        menu.cancel();
    });
    HandlePaneRightClick(middleOf(pane));
    plat::testing::runUntilIdle();
    // Ids and texts of the top level; submenus and separators carry no id.
    const std::vector<std::pair<plat::UINT, std::string>> expected = {
        {13825, "Annuler"},
        {0, ""},
        {13827, "Annuler"},
        {0, ""},
        {13829, "Copier"},
        {0, "Copy Special..."},
        {0, "Copy As Type..."},
        {13862, "Coller"},
        {0, "Paste From..."},
        {13865, "Couper"},
        {13866, "Effacer"},
        {0, ""},
        {13868, "Rechercher && remplacer"},
        {0, "S\xE9lectionner"}};
    ASSERT_EQ(top.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(top[i].id, expected[i].first);
        EXPECT_EQ(top[i].text, expected[i].second);
        EXPECT_EQ(top[i].separator, expected[i].second.empty());
    }
    // Outside the expression the small menu.
    plat::testing::onMenu([&](plat::testing::MenuDriver& menu) {
        top = menu.items(0);
        menu.cancel();
    });
    const Zone root = pane->root()->m_zone;
    EXPECT_EQ(HandlePaneRightClick(oPoint{root.right + 40, root.bottom + 40}), kSmallMenu);
    plat::testing::runUntilIdle();
    ASSERT_EQ(top.size(), 4u);
    EXPECT_EQ(top[0].id, 14081u);
    EXPECT_TRUE(top[1].separator);
    EXPECT_EQ(top[2].id, 14083u);
    EXPECT_EQ(top[3].id, 14084u);
    EXPECT_EQ(top[3].text, "Rechercher && remplacer");
}

TEST_F(PaneShellTest, ClearAndUndoRunFromTheMenuAndTheCurrentItemDoesNothing) {
    ExprFilePane* pane = open();
    const std::string initial = text(pane);
    plat::testing::type("ab");
    plat::testing::runUntilIdle();
    ASSERT_EQ(text(pane), "ab");
    // The first "Annuler" stands for the current choice: nothing happens.
    contextChoose(pane, 13825);
    EXPECT_EQ(text(pane), "ab");
    // The second one undoes the typing.
    contextChoose(pane, 13827);
    EXPECT_EQ(text(pane), initial);
    plat::testing::type("ab");
    plat::testing::runUntilIdle();
    ASSERT_EQ(text(pane), "ab");
    // Select everything and clear it from the menu; the empty expression then offers the small
    // menu, whose "Annuler" brings the text back.
    contextChoose(pane, 13872);
    contextChoose(pane, 13866);
    EXPECT_EQ(text(pane).find_first_of("ab"), std::string::npos);
    contextChoose(pane, 14083);
    EXPECT_EQ(text(pane), "ab");
    EXPECT_TRUE(plat::testing::messageBoxes().empty());
}

TEST_F(PaneShellTest, PasteFromMathTypeOfTheContextMenuReadsTheEquationOrShowsTheNotice) {
    ExprFilePane* pane = open();
    plat::testing::type("ab");
    plat::testing::runUntilIdle();
    std::vector<std::string> shown;
    const int32_t beeps = CommandBeepCount();
    contextChoose(pane, 13864);
    EXPECT_TRUE(plat::testing::messageBoxes().empty());
    EXPECT_EQ(beeps + 1, CommandBeepCount());
    EXPECT_EQ(text(pane), "ab");

    // Equation data of the older form whose first and fourth bytes are 4 brings the notice and
    // nothing else; the same equation as version 3 data comes in at the caret.
    auto equation = [](uint8_t version) {
        std::vector<uint8_t> m = {version, 1, 1, 4, 0, 0x01};
        for (uint8_t c : {'x', '+', '1'})
            for (uint8_t b : {uint8_t{0x02}, uint8_t{128 + 3}, c, uint8_t{0}})
                m.push_back(b);
        m.push_back(0);
        m.push_back(0);
        return m;
    };
    plat::backend().setForeignClipboard({{"application/x-kv-MathType-EF", equation(4)}});
    plat::testing::onMessageBox([&](const plat::testing::MessageBoxCall& box) {
        shown.push_back(box.caption + ": " + box.text);
        return 1;
    });
    contextChoose(pane, 13864);
    EXPECT_EQ(shown,
              std::vector<std::string>{"Information: This feature has not yet been implemented."});
    EXPECT_EQ(text(pane), "ab");
    plat::backend().setForeignClipboard({{"application/x-kv-MathType-EF", equation(3)}});
    contextChoose(pane, 13864);
    // The right click put the caret where it was made, between the two letters.
    EXPECT_EQ(text(pane), "ax+1b");
    EXPECT_EQ(shown.size(), 1u);
}

TEST_F(PaneShellTest, CopyAsItemsOfTheContextMenuPutTheirFormatOnTheClipboard) {
    ExprFilePane* pane = open();
    plat::testing::type("ab");
    plat::testing::runUntilIdle();
    const struct {
        plat::UINT id;
        plat::UINT format;
    } cases[] = {{13848u, plat::CF_DIB},
                 {13847u, plat::CF_ENHMETAFILE},
                 {13852u, ClipboardFormats().eps},
                 {13855u, plat::CF_TEXT}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.id);
        contextChoose(pane, c.id);
        std::vector<std::uint8_t> bytes;
        EXPECT_TRUE(plat::GetClipboardBytes(c.format, bytes));
        EXPECT_TRUE(plat::GetClipboardBytes(ClipboardFormats().expression, bytes));
        EXPECT_EQ(text(pane), "ab");
    }
    // Copier, Coller and Couper of the selection menu (an empty expression offers the small one).
    std::vector<std::uint8_t> bytes;
    plat::backend().setForeignClipboard({{"UTF8_STRING", {'z'}}});
    contextChoose(pane, 13872); // select everything
    contextChoose(pane, 13829);
    ASSERT_TRUE(plat::GetClipboardBytes(ClipboardFormats().expression, bytes));
    plat::backend().setForeignClipboard({{"UTF8_STRING", {'z'}}});
    contextChoose(pane, 13872);
    contextChoose(pane, 13862);
    EXPECT_EQ(text(pane), "z");
    plat::backend().setForeignClipboard({});
    contextChoose(pane, 13872);
    contextChoose(pane, 13865);
    EXPECT_EQ(text(pane), "");
    EXPECT_TRUE(plat::GetClipboardBytes(ClipboardFormats().expression, bytes));
}

TEST_F(PaneShellTest, EachDocumentHasAWindowsMenuEntryCheckedWhileInFront) {
    const int before = plat::GetMenuItemCount(windowsMenu());
    ExprFilePane* first = open();
    ExprFilePane* second = open();
    ASSERT_EQ(plat::GetMenuItemCount(windowsMenu()), before + 2);
    const plat::UINT firstId = plat::GetMenuItemID(windowsMenu(), before);
    const plat::UINT secondId = plat::GetMenuItemID(windowsMenu(), before + 1);
    EXPECT_GT(firstId, 33u * 256);
    EXPECT_NE(firstId, secondId);
    ASSERT_EQ(ActivePane, second);
    EXPECT_FALSE(checked(firstId));
    EXPECT_TRUE(checked(secondId));

    // Choosing the first entry brings its window to the front and moves the check.
    EXPECT_EQ(DoMenuCommand(static_cast<int>(firstId)), 1);
    plat::testing::runUntilIdle();
    EXPECT_EQ(ActivePane, first);
    EXPECT_TRUE(checked(firstId));
    EXPECT_FALSE(checked(secondId));

    // Closing a document removes its entry only.
    close(first);
    ASSERT_EQ(plat::GetMenuItemCount(windowsMenu()), before + 1);
    EXPECT_EQ(plat::GetMenuItemID(windowsMenu(), before), secondId);
    // Its id now runs nothing.
    EXPECT_FALSE(RunAdHocMenuItem(static_cast<int>(firstId)));
    close(second);
    EXPECT_EQ(plat::GetMenuItemCount(windowsMenu()), before);
}

TEST_F(PaneShellTest, TheBalloonSwitchesAreReadFromTheSettings) {
    EXPECT_EQ(HelpBalloonModes(), 0);
    struct Case {
        const char* name;
        const char* text;
        int modes;
    };
    for (const Case& c :
         {Case{"NotebookTips", "1", kNotebookTipsMode}, Case{"NotebookTips", "0", 0},
          Case{"NotebookTips", "", 0}, Case{"NotebookTips", "10", kNotebookTipsMode},
          Case{"NotebookTips", "yes", 0}, Case{"PaletteTips", "1", kPaletteTipsMode}}) {
        SCOPED_TRACE(std::string(c.name) + "=" + c.text);
        setText("NotebookTips", "0");
        setText("PaletteTips", "0");
        setText(c.name, c.text);
        EXPECT_EQ(HelpBalloonModes(), c.modes);
    }
    // A number is on when it is not 0, whatever its bytes.
    setText("PaletteTips", "0");
    for (plat::DWORD value : {0u, 1u, 0x100u}) {
        SCOPED_TRACE(value);
        setSetting("NotebookTips", plat::REG_DWORD, &value, sizeof value);
        EXPECT_EQ(HelpBalloonModes(), value != 0 ? kNotebookTipsMode : 0);
    }
}

TEST_F(PaneShellTest, NoBalloonUnlessTheSettingsTurnThemOn) {
    ExprFilePane* pane = open();
    plat::testing::type("ab");
    plat::testing::runUntilIdle();
    hoverOverSelection(pane);
    HelpBalloonStep();
    restFor(2000);
    EXPECT_EQ(HelpBalloonWindow(), nullptr);
    EXPECT_EQ(plat::testing::findWindow(kBalloonWindowClass), nullptr);
}

TEST_F(PaneShellTest, ABalloonShowsAfterResting500MsOverTheSelectionAndAKeyHidesIt) {
    for (const char* name : {"NotebookTips", "PaletteTips"}) {
        SCOPED_TRACE(name);
        setText(name, "1");
        ExprFilePane* pane = open();
        plat::testing::type("ab");
        plat::testing::runUntilIdle();
        hoverOverSelection(pane);
        HelpBalloonStep(); // the pointer arrives
        restFor(kBalloonHoverMs - 1);
        EXPECT_EQ(HelpBalloonWindow(), nullptr);
        restFor(1);
        const plat::HWND balloon = HelpBalloonWindow();
        ASSERT_NE(balloon, nullptr);
        EXPECT_TRUE(plat::IsWindowVisible(balloon));
        const int expected = std::strcmp(name, "PaletteTips") == 0 ? kPaletteSelectionBalloonString
                                                                   : kSelectionBalloonString;
        EXPECT_EQ(HelpBalloonText(), LoadResString(expected));
        // Below-right of the pointer.
        plat::POINT pointer{};
        plat::GetCursorPos(&pointer);
        plat::RECT r{};
        plat::GetWindowRect(balloon, &r);
        EXPECT_GT(r.left, pointer.x);
        EXPECT_GT(r.top, pointer.y);
        EXPECT_LE(r.right - r.left, 300 + 16);
        // Later steps in the same place keep it.
        restFor(1000);
        EXPECT_EQ(HelpBalloonWindow(), balloon);
        // A typed key replaces the selection: the balloon goes.
        plat::testing::type("c");
        plat::testing::runUntilIdle();
        HelpBalloonStep();
        EXPECT_EQ(HelpBalloonWindow(), nullptr);
        EXPECT_FALSE(plat::IsWindow(balloon));
        close(pane);
        // Closing the last document ends the program; this one goes on for the next round.
        plat::MSG quit{};
        EXPECT_TRUE(
            plat::PeekMessage(&quit, nullptr, plat::WM_QUIT, plat::WM_QUIT, plat::PM_REMOVE));
        setText(name, "0");
    }
}

// The selection is one place for the balloon: moving across its nodes neither hides the balloon
// nor starts the wait again.
TEST_F(PaneShellTest, MovingWithinTheSelectionKeepsItsBalloon) {
    setText("NotebookTips", "1");
    ExprFilePane* pane = open();
    plat::testing::type("ab+cd");
    plat::testing::runUntilIdle();
    hoverOverSelection(pane);
    HelpBalloonStep();
    const Zone root = pane->root()->m_zone;
    const Zone& inParent = pane->zoneInParent();
    const plat::HWND hwnd = HandleOfWindow(pane->windowHandle());
    const int32_t y = (root.top + root.bottom) / 2 + inParent.top;
    // Half the wait in the middle, the rest over the first and the last characters.
    restFor(kBalloonHoverMs / 2);
    plat::testing::move(hwnd, root.left + 2 + inParent.left, y);
    plat::testing::runUntilIdle();
    restFor(kBalloonHoverMs / 2);
    const plat::HWND balloon = HelpBalloonWindow();
    ASSERT_NE(balloon, nullptr);
    EXPECT_EQ(HelpBalloonText(), LoadResString(kSelectionBalloonString));
    plat::testing::move(hwnd, root.right - 2 + inParent.left, y);
    plat::testing::runUntilIdle();
    restFor(10);
    EXPECT_EQ(HelpBalloonWindow(), balloon);
    EXPECT_TRUE(plat::IsWindowVisible(balloon));
    close(pane);
    plat::MSG quit{};
    EXPECT_TRUE(plat::PeekMessage(&quit, nullptr, plat::WM_QUIT, plat::WM_QUIT, plat::PM_REMOVE));
    setText("NotebookTips", "0");
}

TEST_F(PaneShellTest, ABalloonOverAnUnselectedNodeExplainsTheNode) {
    setText("NotebookTips", "1");
    ExprFilePane* pane = open();
    plat::testing::type("ab");
    plat::testing::runUntilIdle();
    const oPoint middle = middleOf(pane);
    const Zone& z = pane->zoneInParent();
    plat::testing::move(HandleOfWindow(pane->windowHandle()), middle.x + z.left, middle.y + z.top);
    plat::testing::runUntilIdle();
    HelpBalloonStep();
    restFor(kBalloonHoverMs);
    ASSERT_NE(HelpBalloonWindow(), nullptr);
    EXPECT_EQ(HelpBalloonText(), LoadResString(382));
    close(pane);
    setText("NotebookTips", "0");
}

// ---- The face list ------------------------------------------------------------------------------

constexpr int kSampleDialog = 4250;
constexpr int kSampleList = 39275;

plat::INT_PTR quietDialogProc(plat::HWND, plat::UINT, plat::WPARAM, plat::LPARAM) {
    return 0;
}

class FontListBoxTest : public ::testing::Test {
protected:
    void SetUp() override {
        plat::testing::reset();
        plat::RegisterBuiltinResources(DlgFrameTestResourceTables());
        InstallGraphicsFontHooks();
        InitGraphics();
        ASSERT_TRUE(RegisterOtherPortClass());
        m_dialog = plat::CreateDialogParam(nullptr, plat::MAKEINTRESOURCE(kSampleDialog), nullptr,
                                           &quietDialogProc, 0);
        ASSERT_NE(m_dialog, nullptr);
        CurrentDialog = m_dialog;
    }
    void TearDown() override {
        delete m_list;
        CurrentDialog = nullptr;
        plat::testing::reset();
        ShutdownGraphics();
        SetGraphicsFontHooks(GraphicsFontHooks{});
        DeleteFontManager();
        plat::RegisterBuiltinResources(BuiltinResourceTables());
    }
    plat::HWND listItem() const { return plat::GetDlgItem(m_dialog, kSampleList); }

    plat::HWND m_dialog = nullptr;
    oListBox* m_list = nullptr;
};

TEST_F(FontListBoxTest, OneRowPerFaceWithTheNamedFaceSelected) {
    ASSERT_NE(TheFontManager(), nullptr);
    const int32_t faces = TheFontManager()->faceCount();
    ASSERT_GT(faces, 2);
    auto nameAt = [](int32_t position) {
        char name[kFontFaceNameSize];
        FaceNameAtPosition(position, name);
        return std::string(name);
    };
    struct Case {
        std::string face;
        int32_t expected;
    };
    const std::vector<Case> cases = {{nameAt(0), 0},
                                     {nameAt(faces / 2), faces / 2},
                                     {nameAt(faces - 1), faces - 1},
                                     {"No Such Face At All", -1},
                                     {"", -1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.face);
        delete m_list;
        m_list = CreateFontListBox(kSampleList, c.face.c_str());
        ASSERT_NE(m_list, nullptr);
        m_list->fillItems();
        EXPECT_EQ(m_list->count(), faces);
        EXPECT_EQ(plat::SendMessage(listItem(), plat::LB_GETCOUNT, 0, 0), faces);
        EXPECT_EQ(m_list->getSelection(), c.expected);
        EXPECT_EQ(plat::SendMessage(listItem(), plat::LB_GETCURSEL, 0, 0), c.expected);
    }
    // No name selects nothing either; an item the dialog lacks gives no list.
    delete m_list;
    m_list = CreateFontListBox(kSampleList, nullptr);
    ASSERT_NE(m_list, nullptr);
    EXPECT_EQ(m_list->getSelection(), -1);
    EXPECT_EQ(CreateFontListBox(12345, "x"), nullptr);
}

TEST_F(FontListBoxTest, RowsArePaintedWithTheFaceNames) {
    m_list = CreateFontListBox(kSampleList, nullptr);
    ASSERT_NE(m_list, nullptr);
    m_list->fillItems();
    plat::ShowWindow(m_dialog, plat::SW_SHOW);
    plat::testing::runUntilIdle();
    // The owner draws through the list object, as the dialog's drawing handler does.
    plat::DRAWITEMSTRUCT draw{};
    draw.hwndItem = listItem();
    draw.itemID = 0;
    draw.hDC = plat::GetDC(listItem());
    draw.rcItem = plat::RECT{0, 0, 120, m_list->itemHeight()};
    m_list->drawItem(draw);
    plat::ReleaseDC(listItem(), draw.hDC);
    const plat::testing::Image image = plat::testing::pixels(listItem());
    int dark = 0;
    for (int y = 0; y < m_list->itemHeight() && y < image.height; ++y)
        for (int x = 0; x < 120 && x < image.width; ++x) {
            const std::uint32_t p = image.at(x, y);
            if (((p >> 16) & 0xFF) + ((p >> 8) & 0xFF) + (p & 0xFF) < 3 * 128)
                ++dark;
        }
    EXPECT_GT(dark, 10) << "no name drawn in the first row";
}

} // namespace
} // namespace kvtest
