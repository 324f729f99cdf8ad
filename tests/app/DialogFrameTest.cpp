// The dialog frame on the headless back end: a sample dialog run through its launcher with the
// frame's skeleton, its placement memory, closing codes, radio groups, popup combos, an owner-drawn
// list, a preview control and a key-capture item.
#include "Dialogs/DialogFrame.h"

#include "BuiltinResources.h"
#include "Dialogs/PopupCombo.h"
#include "OverPc/shell/CQVApp.h"
#include "OverPc/shell/DialogItems.h"
#include "OverPc/shell/KeyCodes.h"
#include "OverPc/shell/PMENU.h"
#include "OverPc/shell/Pwindow.h"
#include "OverPc/shell/oDlgWidget.h"
#include "OverPc/shell/oListBox.h"
#include "plat/Dialog.h"
#include "plat/Gdi.h"
#include "plat/Input.h"
#include "plat/Menu.h"
#include "plat/Resources.h"
#include "plat/Testing.h"
#include "plat/Window.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

const plat::ResourceTables& DlgFrameTestResourceTables();

namespace {

using plat::testing::DialogDriver;

constexpr int kDlg = 4250;
constexpr int kName = DialogControlId(kDlg, 1);
constexpr int kSmall = DialogControlId(kDlg, 2);
constexpr int kLarge = DialogControlId(kDlg, 4);
constexpr int kBold = DialogControlId(kDlg, 5);
constexpr int kChoice = DialogControlId(kDlg, 6);
constexpr int kList = DialogControlId(kDlg, 7);
constexpr int kPreview = DialogControlId(kDlg, 8);
constexpr int kKey = DialogControlId(kDlg, 9);
constexpr int kOther = DialogControlId(kDlg, 10);
constexpr int kLong = DialogControlId(kDlg, 11);
constexpr int kChoiceMenu = 53;
constexpr int kLongMenu = 50;

// Positions: "activé", "désactivé", separator, "même", "autre".
constexpr int32_t kChoiceValues[] = {1, 0, kPopupSeparator, 2, 3};
constexpr int32_t kLongValues[] = {10, 20};

struct SampleRecord {
    char name[240] = "";
    char guard[8] = "GUARD";
    int32_t size = 0;
    uint8_t bold = 0;
    int32_t choice = 1;
    int32_t longChoice = 10;
    int32_t row = -1;
    int32_t key = 0;
};

struct PreviewCommand {
    int code;
    plat::HWND control;
    uint8_t doubleClick;
    int32_t x, y;
};

// What the sample procedure saw.
struct Seen {
    int editReactions = 0;
    int writeBacks = 0;
    int destroyed = 0;
    std::vector<int32_t> paints;
    std::vector<PreviewCommand> previewCommands;
    int listCreatedWithInitDone = -1;
    bool listCreatedWithCurrent = false;
    std::vector<uint8_t> listFlagsAfterNotify;
    oListBox* list = nullptr;
    oDlgWidget* preview = nullptr;
    plat::HMENU choiceMenu = nullptr;
    plat::HMENU longMenu = nullptr;
};
Seen g_seen;

SampleRecord* record() {
    return DialogRecord<SampleRecord>(kDlg);
}

void paintPreview(int32_t id) {
    g_seen.paints.push_back(id);
    if (!g_seen.preview)
        return;
    Zone all;
    all.right = g_seen.preview->width();
    all.bottom = g_seen.preview->height();
    g_seen.preview->frameZone(all, 1, kColorBlack, 0, 0);
    Zone cell{10, 10, 30, 30, 20, 20};
    g_seen.preview->paintZone(cell, kColorBlue);
}

void drawRow(oListBox& list, int32_t row, const Zone& zone, uint32_t) {
    Zone mark{zone.left + 2, zone.top + 2, zone.left + 2 + 4 * (row + 1), zone.bottom - 2, 0, 0};
    list.paintZone(mark, row % 2 ? kColorRed : kColorGreen);
}

const DialogFrame& sampleFrame() {
    static const DialogFrame frame = [] {
        DialogFrame f;
        f.id = kDlg;
        f.radioGroups = {{kSmall, kLarge}};
        f.checkBoxes = {kBold};
        f.closingButtons = {{kOther, 2}};
        f.lists = {kList};
        // The "Gras" text beside the check box (dialog units 98, 25, 40 x 8).
        f.labels = {{plat::RECT{196, 50, 276, 66}, kBold}};
        f.init = [](plat::HWND dialog) {
            SampleRecord* r = record();
            SetItemText(kName, r->name);
            SetRadioGroup(kSmall, kLarge, r->size);
            SetCheck(kBold, r->bold != 0);
            SetupPopupFromMenu(kChoiceMenu, &g_seen.choiceMenu, nullptr, kChoice, kChoiceValues,
                               r->choice, 5);
            SetupPopupFromMenu(kLongMenu, &g_seen.longMenu, nullptr, kLong, kLongValues,
                               r->longChoice, 2);
            if (g_seen.list)
                g_seen.list->fillItems();
            g_seen.preview = CreateDlgWidgetForItem(kPreview, &paintPreview);
            SubclassKeyCaptureItem(dialog, kKey);
            SetItemKeyName(kKey, r->key);
        };
        f.writeBack = [](plat::HWND) {
            SampleRecord* r = record();
            ++g_seen.writeBacks;
            CopyItemTextToField(kName, r->name, sizeof r->name);
            // A group that shows no button keeps the stored value.
            if (const int i = GetRadioIndex(kSmall, kLarge); i >= 0)
                r->size = i;
            r->bold = IsChecked(kBold) ? 1 : 0;
            r->choice = ReadPopupValue(kChoice, g_seen.choiceMenu, kChoiceValues, 5, r->choice);
            r->longChoice = ReadPopupValue(kLong, g_seen.longMenu, kLongValues, 2, r->longChoice);
            if (g_seen.list)
                r->row = g_seen.list->getSelection();
            r->key = GetItemKeyCode();
        };
        f.editReaction = [](plat::HWND, int id) {
            if (id == kName)
                ++g_seen.editReactions;
        };
        f.command = [](plat::HWND, int id, int code, plat::HWND control) {
            if (id == kList && g_seen.list) {
                g_seen.list->handleNotify();
                // A double click on row 3 is a choice plus OK.
                if (DoubleClickFlag && g_seen.list->getSelection() == 3)
                    DialogResult = 1;
            } else if (id == kPreview && g_seen.preview) {
                PreviewCommand c{code, control, DoubleClickFlag, 0, 0};
                g_seen.preview->cursorPoint(c.x, c.y);
                g_seen.previewCommands.push_back(c);
            }
        };
        f.measureList = [](plat::HWND dialog, plat::MEASUREITEMSTRUCT& m) {
            if (!g_seen.list) {
                g_seen.listCreatedWithInitDone = DialogInitDone;
                g_seen.listCreatedWithCurrent = CurrentDialog == dialog;
                g_seen.list = CreateListBoxForItem(kList, 8, record()->row, 14, &drawRow);
            }
            if (g_seen.list)
                g_seen.list->measureItem(m);
        };
        f.drawList = [](plat::HWND, const plat::DRAWITEMSTRUCT& d) {
            if (g_seen.list)
                g_seen.list->drawItem(d);
        };
        f.destroy = [](plat::HWND dialog) {
            ++g_seen.destroyed;
            UnsubclassKeyCaptureItem(dialog, kKey);
            delete g_seen.list;
            delete g_seen.preview;
            g_seen.list = nullptr;
            g_seen.preview = nullptr;
        };
        return f;
    }();
    return frame;
}

plat::INT_PTR SampleDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                            plat::LPARAM lParam) {
    return HandleDialogFrame(sampleFrame(), dialog, message, wParam, lParam);
}

int32_t RunSampleDlg(std::uintptr_t argument) {
    return LaunchDialog(kDlg, &SampleDlgProc, argument);
}

class DialogFrameTest : public ::testing::Test {
protected:
    void SetUp() override {
        plat::testing::reset();
        plat::RegisterBuiltinResources(DlgFrameTestResourceTables());
        ForgetPopupMenus();
        ResetDialogPositions();
        CurrentDialog = nullptr;
        g_seen = Seen{};
    }
    void TearDown() override {
        EXPECT_EQ(0, plat::testing::pendingDialogScripts()) << "a scripted dialog never opened";
        plat::testing::reset();
        ForgetPopupMenus();
        plat::RegisterBuiltinResources(BuiltinResourceTables());
    }
    int32_t run(SampleRecord& r, std::function<void(DialogDriver&)> script) {
        plat::testing::onDialog(kDlg, std::move(script));
        return RunSampleDlg(reinterpret_cast<std::uintptr_t>(&r));
    }
    static plat::RECT windowRect(const DialogDriver& d) {
        plat::RECT rect{};
        plat::GetWindowRect(d.hwnd(), &rect);
        return rect;
    }
};

// --- Placement memory ---------------------------------------------------------------------------

TEST_F(DialogFrameTest, OpensCentredFirstThenWhereItWasClosed) {
    SampleRecord r;
    plat::RECT first{};
    ASSERT_EQ(1, run(r, [&](DialogDriver& d) {
                  first = windowRect(d);
                  plat::MoveWindow(d.hwnd(), 37, 45, first.right - first.left,
                                   first.bottom - first.top, plat::TRUE);
                  d.enter();
              }));
    const int width = first.right - first.left, height = first.bottom - first.top;
    EXPECT_EQ((plat::GetSystemMetrics(plat::SM_CXFULLSCREEN) - width) / 2, first.left);
    EXPECT_EQ((plat::GetSystemMetrics(plat::SM_CYFULLSCREEN) - height) / 2, first.top);

    plat::RECT second{};
    run(r, [&](DialogDriver& d) {
        second = windowRect(d);
        // Dragged partly off the screen's top-left.
        plat::MoveWindow(d.hwnd(), -20, -5, width, height, plat::TRUE);
        d.escape();
    });
    EXPECT_EQ(37, second.left);
    EXPECT_EQ(45, second.top);

    plat::RECT third{};
    run(r, [&](DialogDriver& d) {
        third = windowRect(d);
        d.escape();
    });
    EXPECT_EQ(1, third.left);
    EXPECT_EQ(1, third.top);

    // A new run of the program starts from the empty table again.
    ResetDialogPositions();
    plat::RECT fourth{};
    run(r, [&](DialogDriver& d) {
        fourth = windowRect(d);
        d.escape();
    });
    EXPECT_EQ(first.left, fourth.left);
    EXPECT_EQ(first.top, fourth.top);
}

// --- Closing codes and the record ---------------------------------------------------------------

TEST_F(DialogFrameTest, OkWritesTheRecordAndLeavesNoCurrentDialog) {
    SampleRecord r;
    std::strcpy(r.name, "alpha");
    r.size = 1;
    r.choice = 0;
    const int32_t result = run(r, [](DialogDriver& d) {
        EXPECT_EQ("alpha", d.text(kName));
        EXPECT_TRUE(d.checked(kSmall + 1));
        EXPECT_EQ(1, d.curSel(kChoice)); // "désactivé"
        d.setText(kName, "beta");
        d.check(kLarge);
        d.click(kBold);
        d.enter();
    });
    EXPECT_EQ(1, result);
    EXPECT_EQ(1, DialogResult);
    EXPECT_EQ(nullptr, CurrentDialog);
    EXPECT_STREQ("beta", r.name);
    EXPECT_EQ(2, r.size);
    EXPECT_EQ(1, r.bold);
    EXPECT_EQ(0, r.choice);
    EXPECT_EQ(1, g_seen.destroyed);
}

TEST_F(DialogFrameTest, CancelAndEscapeNeverWriteTheRecord) {
    for (const bool byButton : {false, true}) {
        SCOPED_TRACE(byButton ? "Annuler" : "Escape");
        SampleRecord r;
        std::strcpy(r.name, "alpha");
        const int32_t result = run(r, [&](DialogDriver& d) {
            d.setText(kName, "changed");
            d.check(kLarge);
            d.click(kBold);
            d.chooseCombo(kChoice, 2);
            d.selectRow(kList, 4);
            if (byButton)
                d.click(plat::IDCANCEL);
            else
                d.escape();
            EXPECT_TRUE(d.ended());
        });
        EXPECT_EQ(0, result);
        EXPECT_EQ(nullptr, CurrentDialog);
        EXPECT_STREQ("alpha", r.name);
        EXPECT_EQ(0, r.size);
        EXPECT_EQ(0, r.bold);
        EXPECT_EQ(1, r.choice);
        EXPECT_EQ(-1, r.row);
        EXPECT_EQ(0, g_seen.writeBacks);
    }
}

TEST_F(DialogFrameTest, FurtherClosingButtonWritesBackAndReturnsItsCode) {
    SampleRecord r;
    EXPECT_EQ(2, run(r, [](DialogDriver& d) {
                  d.setText(kName, "gamma");
                  d.click(kOther);
              }));
    EXPECT_STREQ("gamma", r.name);
    EXPECT_EQ(1, g_seen.writeBacks);
}

TEST_F(DialogFrameTest, CommandAfterTheClosingStepDoesNothing) {
    SampleRecord r;
    EXPECT_EQ(1, run(r, [](DialogDriver& d) {
                  plat::SendMessage(d.hwnd(), plat::WM_COMMAND, plat::IDOK, 0);
                  // A queued label click or button press arriving after the close.
                  plat::SendMessage(d.hwnd(), plat::WM_COMMAND, kOther, 0);
                  plat::SendMessage(d.hwnd(), plat::WM_COMMAND, plat::IDCANCEL, 0);
              }));
    EXPECT_EQ(1, DialogResult);
    EXPECT_EQ(1, g_seen.writeBacks);
}

TEST_F(DialogFrameTest, MissingDialogGivesMinusOneWhichCountsAsCancel) {
    const int32_t result = RunModalDialog(4251, &SampleDlgProc);
    EXPECT_EQ(-1, result);
    EXPECT_EQ(-1, DialogResult);
    EXPECT_EQ(0, ResultAsCancel(result));
    EXPECT_EQ(nullptr, CurrentDialog);
}

TEST_F(DialogFrameTest, LongTextIsCutToTheFieldWithoutOverrun) {
    SampleRecord r;
    const std::string longText(300, 'x');
    run(r, [&](DialogDriver& d) {
        d.setText(kName, longText);
        d.enter();
    });
    EXPECT_EQ(239u, std::strlen(r.name));
    EXPECT_STREQ("GUARD", r.guard);
}

TEST_F(DialogFrameTest, EditReactionRunsForTheUserNotWhileFilling) {
    SampleRecord r;
    std::strcpy(r.name, "filled at start");
    run(r, [](DialogDriver& d) {
        EXPECT_EQ(0, g_seen.editReactions);
        d.type(kName, "ab");
        EXPECT_EQ(2, g_seen.editReactions);
        d.escape();
    });
}

// --- Radio groups -------------------------------------------------------------------------------

TEST_F(DialogFrameTest, RadioGroupShowsTheStoredIndexAndNeverAForeignControl) {
    struct Case {
        int32_t stored;
        int checkedId; // 0: none
        int32_t afterOk;
    };
    const Case cases[] = {
        {0, kSmall, 0}, {2, kLarge, 2}, {-1, 0, -1}, {3, 0, 3}, {7, 0, 7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored);
        SampleRecord r;
        r.size = c.stored;
        run(r, [&](DialogDriver& d) {
            for (int id = kSmall; id <= kLarge; ++id)
                EXPECT_EQ(id == c.checkedId, d.checked(id)) << id;
            // The control after the group (the check box) is never checked by the group.
            EXPECT_FALSE(d.checked(kBold));
            d.enter();
        });
        EXPECT_EQ(c.afterOk, r.size);
        EXPECT_EQ(0, r.bold);
    }
}

TEST_F(DialogFrameTest, LabelRectangleActsLikeTheCheckBox) {
    SampleRecord r;
    run(r, [](DialogDriver& d) {
        d.clickClient(200, 55);
        EXPECT_TRUE(d.checked(kBold));
        d.clickClient(276, 66); // inclusive corner
        EXPECT_FALSE(d.checked(kBold));
        d.clickClient(277, 67);
        EXPECT_FALSE(d.checked(kBold));
        d.enter();
    });
    EXPECT_EQ(0, r.bold);
}

// --- Popup combos -------------------------------------------------------------------------------

TEST_F(DialogFrameTest, PopupComboReadsTheValueOfTheChosenMenuPosition) {
    struct Case {
        int entry;
        int32_t value;
    };
    // Entry 2 is "même" at position 3, past the separator.
    for (const Case c : {Case{0, 1}, Case{1, 0}, Case{2, 2}, Case{3, 3}}) {
        SCOPED_TRACE(c.entry);
        SampleRecord r;
        r.choice = 1;
        run(r, [&](DialogDriver& d) {
            d.chooseCombo(kChoice, c.entry);
            d.enter();
        });
        EXPECT_EQ(c.value, r.choice);
    }
}

TEST_F(DialogFrameTest, PopupComboSelectsTheStoredValueOrNothing) {
    struct Case {
        int32_t stored;
        int selection;
    };
    // A value not in the table, or the separator marker, selects nothing and OK keeps it.
    for (const Case c :
         {Case{1, 0}, Case{0, 1}, Case{2, 2}, Case{3, 3}, Case{5, -1}, Case{kPopupSeparator, -1}}) {
        SCOPED_TRACE(c.stored);
        SampleRecord r;
        r.choice = c.stored;
        run(r, [&](DialogDriver& d) {
            EXPECT_EQ(c.selection, d.curSel(kChoice));
            EXPECT_EQ(c.selection, GetPopupComboSelection(kChoiceMenu));
            d.enter();
        });
        EXPECT_EQ(c.stored, r.choice);
    }
}

// Only the first combo set up in the dialog, and only with the first value of its table, is put
// back on its first entry.
TEST_F(DialogFrameTest, PopupDefaultSelectsTheFirstEntryOfTheFirstComboOnly) {
    SampleRecord r;
    r.choice = 3;
    r.longChoice = 20;
    run(r, [&](DialogDriver& d) {
        SelectPopupComboDefault(kChoice, kChoiceValues[1]);
        EXPECT_EQ(3, d.curSel(kChoice)) << "not the table's first value";
        SelectPopupComboDefault(kLong, kLongValues[0]);
        EXPECT_EQ(1, d.curSel(kLong)) << "not the first combo of the table";
        SelectPopupComboDefault(kChoice, kChoiceValues[0]);
        EXPECT_EQ(0, d.curSel(kChoice));
        d.escape();
    });
}

TEST_F(DialogFrameTest, PopupComboIsFoundFromItsMenuAndSized) {
    SampleRecord r;
    run(r, [](DialogDriver& d) {
        EXPECT_EQ(kChoice, PopupComboId(kChoiceMenu));
        EXPECT_EQ(kLong, PopupComboId(kLongMenu));
        EXPECT_EQ(99, PopupComboId(99)); // no such menu: the id itself
        EnablePopupCombo(kChoiceMenu, false);
        EXPECT_FALSE(d.enabled(kChoice));
        EnablePopupCombo(kChoiceMenu, true);
        EXPECT_TRUE(d.enabled(kChoice));

        plat::RECT client{};
        plat::GetClientRect(d.hwnd(), &client);
        auto clientRect = [&](int id) {
            plat::RECT rc{};
            plat::GetWindowRect(d.item(id), &rc);
            plat::POINT p[2] = {{rc.left, rc.top}, {rc.right, rc.bottom}};
            plat::MapWindowPoints(nullptr, d.hwnd(), p, 2);
            return plat::RECT{p[0].x, p[0].y, p[1].x, p[1].y};
        };
        // The short menu: its widest text ("désactivé") + 25.
        const plat::RECT shortCombo = clientRect(kChoice);
        EXPECT_EQ(172, shortCombo.left); // 86 dialog units
        EXPECT_EQ(MeasurePopupText("d\xE9sactiv\xE9").cx + 25, shortCombo.right - shortCombo.left);
        // The long one stops 10 pixels short of the dialog's right edge.
        const plat::RECT longCombo = clientRect(kLong);
        EXPECT_EQ(300, longCombo.left);
        EXPECT_EQ(client.right - 10, longCombo.right);
        d.escape();
    });
}

TEST_F(DialogFrameTest, PopupEntriesMeasureTheirSeparatorLines) {
    SampleRecord r;
    run(r, [](DialogDriver& d) {
        const int text = MeasurePopupText("M").cy;
        struct Case {
            plat::UINT itemId;
            plat::DWORD_PTR position;
            const char* text;
            int extra; // 2 per line above or below
        };
        const Case cases[] = {
            {static_cast<plat::UINT>(-1), 0, "MMM", 0}, // the closed field with nothing chosen
            {0, 0, "activ\xE9", 2},                     // first entry: a line above
            {1, 1, "d\xE9sactiv\xE9", 2},               // before the separator: below
            {2, 3, "m\xEAme", 2},                       // after the separator: above
            {3, 4, "autre", 0},
        };
        for (const Case& c : cases) {
            SCOPED_TRACE(c.text);
            plat::MEASUREITEMSTRUCT m;
            m.CtlType = plat::ODT_COMBOBOX;
            m.CtlID = kChoice;
            m.itemID = c.itemId;
            m.itemData = c.position;
            MeasurePopupComboItem(d.hwnd(), m);
            const plat::SIZE size = MeasurePopupText(c.text);
            EXPECT_EQ(static_cast<plat::UINT>(size.cx + 10), m.itemWidth);
            EXPECT_EQ(static_cast<plat::UINT>(text + 2 + c.extra), m.itemHeight);
        }
        d.escape();
    });
}

TEST_F(DialogFrameTest, PopupEntriesDrawLinesHighlightAndAPlainClosedField) {
    SampleRecord r;
    run(r, [](DialogDriver& d) {
        plat::HDC screen = plat::GetDC(nullptr);
        plat::HDC dc = plat::CreateCompatibleDC(screen);
        plat::HBITMAP bitmap = plat::CreateCompatibleBitmap(screen, 80, 24);
        plat::ReleaseDC(nullptr, screen);
        plat::HGDIOBJ old = plat::SelectObject(dc, bitmap);
        struct Case {
            const char* what;
            plat::UINT itemId;
            plat::DWORD_PTR position;
            plat::UINT action;
            plat::UINT state;
            int topColor;    // row 0
            int middleColor; // background at the right end of row 10
            int bottomColor; // row 23
        };
        const Case cases[] = {
            {"first entry", 0, 0, plat::ODA_DRAWENTIRE, 0, plat::COLOR_BTNFACE, plat::COLOR_WINDOW,
             plat::COLOR_WINDOW},
            {"before the separator", 1, 1, plat::ODA_DRAWENTIRE, 0, plat::COLOR_WINDOW,
             plat::COLOR_WINDOW, plat::COLOR_BTNSHADOW},
            {"after the separator, chosen", 2, 3, plat::ODA_SELECT, plat::ODS_SELECTED,
             plat::COLOR_BTNFACE, plat::COLOR_HIGHLIGHT, plat::COLOR_HIGHLIGHT},
            {"whole redraw of the chosen one", 2, 3, plat::ODA_DRAWENTIRE, plat::ODS_SELECTED,
             plat::COLOR_BTNFACE, plat::COLOR_WINDOW, plat::COLOR_WINDOW},
            {"closed field", 0, 0, plat::ODA_DRAWENTIRE, plat::ODS_COMBOBOXEDIT, plat::COLOR_WINDOW,
             plat::COLOR_WINDOW, plat::COLOR_WINDOW},
        };
        for (const Case& c : cases) {
            SCOPED_TRACE(c.what);
            plat::DRAWITEMSTRUCT draw;
            draw.CtlType = plat::ODT_COMBOBOX;
            draw.CtlID = kChoice;
            draw.itemID = c.itemId;
            draw.itemAction = c.action;
            draw.itemState = c.state;
            draw.hwndItem = d.item(kChoice);
            draw.hDC = dc;
            draw.rcItem = plat::RECT{0, 0, 80, 24};
            draw.itemData = c.position;
            DrawPopupComboItem(draw);
            EXPECT_EQ(plat::GetSysColor(c.topColor), plat::GetPixel(dc, 40, 0));
            EXPECT_EQ(plat::GetSysColor(c.middleColor), plat::GetPixel(dc, 78, 10));
            EXPECT_EQ(plat::GetSysColor(c.bottomColor), plat::GetPixel(dc, 40, 23));
        }
        plat::SelectObject(dc, old);
        plat::DeleteObject(bitmap);
        plat::DeleteDC(dc);
        d.escape();
    });
}

// --- Owner-drawn list ---------------------------------------------------------------------------

TEST_F(DialogFrameTest, ListIsMadeAtItsFirstMeasurementBeforeInitialisation) {
    SampleRecord r;
    r.row = 5;
    run(r, [](DialogDriver& d) {
        EXPECT_EQ(5, d.curSel(kList));
        d.selectRow(kList, 2);
        // Rows are 14 pixels high (below a border of at most 2); the chosen one is filled with
        // the highlight colour and each row's mark is drawn over its fill through the port.
        const auto image = plat::testing::pixels(d.item(kList));
        const plat::DWORD highlight = plat::GetSysColor(plat::COLOR_HIGHLIGHT);
        const std::uint32_t highlightPixel =
            ((highlight & 0xFF) << 16) | (highlight & 0xFF00) | ((highlight >> 16) & 0xFF);
        EXPECT_EQ(highlightPixel, image.at(100, 2 * 14 + 8));
        EXPECT_EQ(0xFFFFFFu, image.at(100, 1 * 14 + 8));
        EXPECT_EQ(0x00FF00u, image.at(8, 2 * 14 + 8)); // row 2's mark
        EXPECT_EQ(0xFF0000u, image.at(8, 1 * 14 + 8)); // row 1's
        d.enter();
    });
    EXPECT_EQ(0, g_seen.listCreatedWithInitDone);
    EXPECT_TRUE(g_seen.listCreatedWithCurrent);
    EXPECT_EQ(2, r.row);
    EXPECT_EQ("", plat::testing::expectSubsequence({"WM_MEASUREITEM wp=0x996B", "WM_INITDIALOG"}));
}

TEST_F(DialogFrameTest, DoubleClickedRowThatDoesNotCloseLeavesTheFlagClear) {
    SampleRecord r;
    EXPECT_EQ(1, run(r, [](DialogDriver& d) {
                  d.doubleClickRow(kList, 1);
                  EXPECT_FALSE(d.ended());
                  EXPECT_EQ(0, DoubleClickFlag);
                  EXPECT_EQ(1, g_seen.list->getSelection());
                  // Row 3 takes a double click as a choice plus OK.
                  d.doubleClickRow(kList, 3);
                  EXPECT_TRUE(d.ended());
              }));
    EXPECT_EQ(3, r.row);
    EXPECT_EQ(0, DoubleClickFlag); // the runner clears it after the run
}

// --- Preview control ----------------------------------------------------------------------------

TEST_F(DialogFrameTest, PreviewControlPaintsThroughItsCallbackAndReportsClicks) {
    SampleRecord r;
    run(r, [](DialogDriver& d) {
        d.pump();
        ASSERT_FALSE(g_seen.paints.empty());
        for (int32_t id : g_seen.paints)
            EXPECT_EQ(kPreview, id);
        // The callback drew through the widget, in item coordinates.
        const auto image = plat::testing::pixels(d.item(kPreview));
        EXPECT_EQ(0x0000FFu, image.at(20, 20));

        plat::RECT rc{};
        plat::GetClientRect(d.item(kPreview), &rc);
        plat::testing::click(d.item(kPreview), 12, 17);
        d.pump();
        ASSERT_EQ(1u, g_seen.previewCommands.size());
        EXPECT_EQ(0, g_seen.previewCommands[0].code);
        EXPECT_EQ(d.item(kPreview), g_seen.previewCommands[0].control);
        EXPECT_EQ(0, g_seen.previewCommands[0].doubleClick);
        EXPECT_EQ(12, g_seen.previewCommands[0].x);
        EXPECT_EQ(17, g_seen.previewCommands[0].y);

        g_seen.previewCommands.clear();
        plat::testing::doubleClick(d.item(kPreview), 30, 8);
        d.pump();
        // The first press is an ordinary click from the control; the second comes with the flag
        // set and no control window.
        ASSERT_EQ(2u, g_seen.previewCommands.size());
        EXPECT_EQ(0, g_seen.previewCommands[0].doubleClick);
        EXPECT_EQ(d.item(kPreview), g_seen.previewCommands[0].control);
        EXPECT_EQ(1, g_seen.previewCommands[1].doubleClick);
        EXPECT_EQ(nullptr, g_seen.previewCommands[1].control);
        EXPECT_FALSE(d.ended());
        d.escape();
    });
}

// --- Key-capture item ---------------------------------------------------------------------------

TEST_F(DialogFrameTest, KeyCaptureItemShowsAndReturnsTheKeyPressed) {
    SampleRecord r;
    r.key = KeyIndexOf('B', 'b', false, false, false);
    const int32_t ctrlA = KeyIndexOf('A', 'a', false, false, true);
    const int32_t escapeKey = KeyIndexOf(plat::VK_ESCAPE, 0x1B, false, false, false);
    ASSERT_NE(0, ctrlA);
    ASSERT_NE(0, escapeKey);
    EXPECT_EQ(1, run(r, [&](DialogDriver& d) {
                  EXPECT_EQ(GetKeyName(r.key), d.text(kKey));
                  d.click(kKey);
                  d.key('A', plat::testing::kCtrl);
                  EXPECT_EQ(GetKeyName(ctrlA), d.text(kKey));
                  EXPECT_EQ(ctrlA, GetItemKeyCode());
                  EXPECT_NE(0, ctrlA & kKeyIndexCtrl);
                  // A lone modifier changes nothing.
                  d.key(plat::VK_SHIFT);
                  EXPECT_EQ(ctrlA, GetItemKeyCode());
                  // The item takes every key, Escape too: the dialog stays open.
                  d.escape();
                  EXPECT_FALSE(d.ended());
                  EXPECT_EQ(escapeKey, GetItemKeyCode());
                  EXPECT_EQ(GetKeyName(escapeKey), d.text(kKey));
                  d.click(plat::IDOK);
              }));
    EXPECT_EQ(escapeKey, r.key);
}

// --- Snapshot -----------------------------------------------------------------------------------

TEST_F(DialogFrameTest, SampleSnapshot) {
    SampleRecord r;
    std::strcpy(r.name, "Exemple");
    r.size = 1;
    r.bold = 1;
    r.choice = 2;
    r.row = 2;
    const std::string path = std::string(KV_BINARY_DIR) + "/dlgframe-sample.png";
    run(r, [&](DialogDriver& d) {
        d.pump();
        EXPECT_TRUE(d.snapshot(path));
        d.escape();
    });
}

} // namespace
