#include "ExprSrcs/EPane.h"

#include "App/AppHooks.h"
#include "ExprSrcs/ExprFilePane.h"
#include "ExprSrcs/commands/tsPrefs.h"
#include "OverPc/PFONTS.h"
#include "OverPc/PGRAPHIC.h"
#include "OverPc/shell/Pwindow.h"
#include "OverSrcs/commands/kEdit.h"
#include "OverSrcs/eClick.h"
#include "OverSrcs/eEditSupport.h"
#include "OverSrcs/eFactory.h"
#include "OverSrcs/eFence.h"
#include "OverSrcs/eFraction.h"
#include "OverSrcs/eHeader.h"
#include "OverSrcs/eLayout.h"
#include "OverSrcs/eMatrix.h"
#include "OverSrcs/eModelHooks.h"
#include "OverSrcs/ePseudo.h"
#include "OverSrcs/eSimpString.h"
#include "OverSrcs/eTempl.h"
#include "OverSrcs/eWord.h"
#include "framework/ErrorFixture.h"
#include "model/SlotsInLine.h"
#include "plat/Gdi.h"
#include "plat/Input.h"
#include "plat/Testing.h"
#include "plat/Window.h"
#include "platform/SysTempDir.h"

#include <algorithm>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace kvtest {
namespace {

std::vector<int32_t> s_menusShown;
// Message-box answers.
constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;
constexpr int kIdYes = 6;
constexpr int kIdNo = 7;

class PaneTest : public ErrorFixture {
protected:
    void SetUp() override {
        ErrorFixture::SetUp();
        InstallGraphicsFontHooks();
        InitGraphics();
        ResetModelHooks();
        ResetCommandHooks();
        ResetCommandState();
        ResetKeyMap();
        ModelHooks& model = TheModelHooks();
        model.fontIndexForDesc = &FontIndexForFace;
        model.charClassOf = &CharClassOf;
        InstallCommandModelHooks();
        InstallDocumentWindowHooks();
        // The pane alone: no document writer, whichever test ran the program before.
        DocumentWriterHook = nullptr;
        AppHooks().openDocumentWindow = &OpenDocumentWindowForShell;
        ExprPaneShellHooks& shell = TheExprPaneShellHooks();
        shell = ExprPaneShellHooks{};
        shell.inputState = [](bool& shift, bool& ctrl, bool& altShift, bool& doubleClick) {
            shift = (ModifierFlags & kModShift) != 0;
            ctrl = (ModifierFlags & kModCtrl) != 0;
            altShift = (ModifierFlags & kModAltShift) != 0;
            doubleClick = DoubleClickFlag != 0;
        };
        shell.trackContextMenu = [](ExprPane*, int32_t menu, oPoint) {
            s_menusShown.push_back(menu);
            return 0;
        };
        s_menusShown.clear();
    }
    void TearDown() override {
        for (ExprPane* pane : m_panes)
            delete pane->window();
        m_panes.clear();
        EXPECT_EQ(PaneList, nullptr);
        EXPECT_EQ(OpenDocumentList, nullptr);
        EXPECT_EQ(ActivePane, nullptr);
        TheExprPaneShellHooks() = ExprPaneShellHooks{};
        DocumentWriterHook = nullptr;
        ResetCommandState();
        ResetCommandHooks();
        ResetModelHooks();
        ShutdownGraphics();
        SetGraphicsFontHooks(GraphicsFontHooks{});
        DeleteFontManager();
        ErrorFixture::TearDown();
    }

    ExprFilePane* Open(ExprPtr expression) {
        ExprFilePane* pane = NewExprFilePane(std::move(expression), nullptr, nullptr, 0);
        m_panes.push_back(pane);
        pane->takeFocus();
        plat::testing::runUntilIdle();
        return pane;
    }
    static plat::HWND Hwnd(ExprPane* pane) { return HandleOfWindow(pane->windowHandle()); }
    // The pixels of the pane's window that differ from what drawing everything afresh gives, once
    // the program is idle.
    static int PixelsUnlikeARepaint(ExprFilePane* pane) {
        const plat::HWND hwnd = Hwnd(pane);
        plat::testing::runUntilIdle();
        const plat::testing::Image shown = plat::testing::pixels(hwnd);
        pane->invalidate(nullptr);
        plat::testing::runUntilIdle();
        const plat::testing::Image fresh = plat::testing::pixels(hwnd);
        if (shown.pixels.size() != fresh.pixels.size())
            return -1;
        int differing = 0;
        for (size_t i = 0; i < shown.pixels.size(); ++i)
            differing += shown.pixels[i] != fresh.pixels[i] ? 1 : 0;
        return differing;
    }
    // The pane's own coordinates in its window's client area (the scroll position is 0).
    static plat::POINT Client(ExprPane* pane, oPoint p) {
        const Zone& z = pane->zoneInParent();
        return plat::POINT{p.x + z.left, p.y + z.top};
    }
    // The text of the expression's words, in order.
    static std::string Text(ExprPane* pane) {
        std::string text;
        eExpr* row = pane->expression();
        for (int32_t i = 0; row != nullptr && i < row->childCount(); ++i) {
            eExpr* item = row->getChild(i);
            if (item->isWord())
                text += static_cast<eWord*>(item)->view();
            else if (!item->isSpace())
                text += '#'; // operators get spacing of their own, which is left out
        }
        return text;
    }
    static bool Dark(std::uint32_t pixel) {
        return ((pixel >> 16) & 0xFF) + ((pixel >> 8) & 0xFF) + (pixel & 0xFF) < 3 * 128;
    }
    // Whether the caret column of the first entry is shown (its middle pixel is dark).
    static bool CaretShown(ExprPane* pane) {
        const plat::testing::Image image = plat::testing::pixels(Hwnd(pane));
        Zone zone;
        int32_t bands[4];
        EXPECT_TRUE(EntryHighlightArea(pane->record().entry(0), zone, bands));
        const plat::POINT p = Client(pane, oPoint{zone.left, (zone.top + zone.bottom) / 2});
        return Dark(image.at(p.x, p.y));
    }
    static void Save(ExprPane* pane, const std::string& name) {
        plat::testing::savePng(Hwnd(pane), std::string(KV_BINARY_DIR) + "/" + name + ".png");
    }

    std::vector<ExprPane*> m_panes;
};

TEST_F(PaneTest, TypingThroughTheWindowBuildsTheExpressionAndDrawsIt) {
    ExprFilePane* pane = Open(NewPlaceholder(0, false));
    ASSERT_EQ(ActivePane, pane);
    ASSERT_EQ(ActiveRecord, &pane->record());
    // The placeholder starts selected, so the first character replaces it.
    ASSERT_EQ(pane->record().count(), 1);
    EXPECT_FALSE(pane->changed());

    plat::testing::type("x+1");
    plat::testing::runUntilIdle();
    EXPECT_EQ(Text(pane), "x+1");
    EXPECT_TRUE(pane->changed());

    // One caret, after the last character typed.
    ASSERT_EQ(pane->record().count(), 1);
    const SelectionEntry caret = pane->record().entry(0);
    EXPECT_EQ(caret.start, caret.end);
    eExpr* row = pane->expression();
    if (caret.node == row) {
        EXPECT_EQ(caret.start, row->childCount());
    } else {
        ASSERT_TRUE(caret.node->isWord());
        EXPECT_EQ(caret.node, row->getChild(row->childCount() - 1));
        EXPECT_EQ(caret.start, static_cast<eWord*>(caret.node)->length());
    }

    // The text is drawn inside the expression's rectangle, which sits inside the margin; outside
    // it the pane is blank.
    Save(pane, "editing-typed-x+1");
    const plat::testing::Image image = plat::testing::pixels(Hwnd(pane));
    const Zone root = pane->root()->m_zone;
    const int32_t margin = pane->resolution() / 2;
    EXPECT_EQ(root.left, margin);
    EXPECT_EQ(root.top, margin);
    EXPECT_GT(root.right - root.left, 10);
    int inside = 0;
    int outside = 0;
    const Zone frame = pane->zoneInParent();
    for (int y = frame.top; y < frame.bottom; ++y)
        for (int x = frame.left; x < frame.right; ++x) {
            if (!Dark(image.at(x, y)))
                continue;
            const oPoint p{x - frame.left, y - frame.top};
            // The caret may reach one unit past the last item.
            if (p.x >= root.left && p.x <= root.right && p.y >= root.top && p.y < root.bottom)
                ++inside;
            else
                ++outside;
        }
    EXPECT_GT(inside, 20);
    EXPECT_EQ(outside, 0);

    // The caret blinks: shown, then erased, then shown again.
    EXPECT_TRUE(CaretShown(pane));
    pane->idle();
    EXPECT_FALSE(CaretShown(pane));
    pane->idle();
    EXPECT_TRUE(CaretShown(pane));
}

TEST_F(PaneTest, BackspaceDeletesBeforeTheCaretAndArrowsMoveIt) {
    ExprFilePane* pane = Open(NewPlaceholder(0, false));
    plat::testing::type("ab+cd");
    plat::testing::runUntilIdle();
    ASSERT_EQ(Text(pane), "ab+cd");

    // Backspace at the end deletes the last character; the rest stays.
    plat::testing::key(plat::VK_BACK);
    plat::testing::runUntilIdle();
    EXPECT_EQ(Text(pane), "ab+c");
    const SelectionEntry end = pane->record().entry(0);
    ASSERT_TRUE(CaretShown(pane));

    // Left moves the caret one character back, and the old caret is gone from the screen.
    EXPECT_TRUE(pane->doKey(0x1A5));
    plat::testing::runUntilIdle();
    ASSERT_EQ(pane->record().count(), 1);
    const SelectionEntry moved = pane->record().entry(0);
    EXPECT_EQ(moved.start, moved.end);
    EXPECT_NE(moved, end);
    EXPECT_TRUE(CaretShown(pane));
    const plat::testing::Image image = plat::testing::pixels(Hwnd(pane));
    Zone zone;
    int32_t bands[4];
    ASSERT_TRUE(EntryHighlightArea(end, zone, bands));
    const plat::POINT p = Client(pane, oPoint{zone.left, (zone.top + zone.bottom) / 2});
    EXPECT_FALSE(Dark(image.at(p.x, p.y))) << "the old caret is still drawn";
    Save(pane, "editing-deleted-and-moved");

    // Right goes back to where it was.
    EXPECT_TRUE(pane->doKey(0x1A7));
    plat::testing::runUntilIdle();
    EXPECT_EQ(pane->record().entry(0), end);
    EXPECT_FALSE(pane->doKey(0x1F0)); // unbound
}

TEST_F(PaneTest, DraggingAcrossTheExpressionSelectsItAndHighlightsIt) {
    ExprFilePane* pane = Open(NewPlaceholder(0, false));
    plat::testing::type("a+b+c");
    plat::testing::runUntilIdle();
    eExpr* row = pane->expression();
    ASSERT_GE(row->childCount(), 3);
    const Zone root = pane->root()->m_zone;
    const int32_t y = (root.top + root.bottom) / 2;
    const plat::testing::Image before = plat::testing::pixels(Hwnd(pane));
    plat::testing::drag(Hwnd(pane), Client(pane, oPoint{root.left + 1, y}),
                        Client(pane, oPoint{root.right - 1, y}));
    plat::testing::runUntilIdle();
    ASSERT_EQ(pane->record().count(), 1);
    const SelectionEntry range = pane->record().entry(0);
    EXPECT_EQ(range.node, row);
    EXPECT_EQ(range.start, 0);
    EXPECT_EQ(range.end, row->childCount());
    // The range is highlighted: the background inside it changed, outside it did not.
    Save(pane, "editing-dragged");
    const plat::testing::Image after = plat::testing::pixels(Hwnd(pane));
    const plat::POINT inside = Client(pane, oPoint{(root.left + root.right) / 2, root.top + 1});
    const plat::POINT outside = Client(pane, oPoint{root.right + 5, y});
    EXPECT_NE(after.at(inside.x, inside.y), before.at(inside.x, inside.y));
    EXPECT_EQ(after.at(outside.x, outside.y), before.at(outside.x, outside.y));
}

TEST_F(PaneTest, WhatTheEditsLeaveOnScreenIsWhatAFullRepaintDraws) {
    // The highlight is drawn by exclusive-or and updated piecemeal; after each step the screen
    // must be exactly what drawing everything afresh gives.
    ExprFilePane* pane = Open(NewPlaceholder(0, false));
    const plat::HWND hwnd = Hwnd(pane);
    auto matchesRepaint = [&](const char* step) {
        SCOPED_TRACE(step);
        EXPECT_EQ(PixelsUnlikeARepaint(pane), 0);
    };
    plat::testing::type("abcdefg+h");
    matchesRepaint("typed");
    pane->doKey(0x1A5);
    pane->doKey(0x1A5);
    matchesRepaint("two steps left");
    ModifierFlags = kModShift;
    pane->doKey(0x1A5);
    pane->doKey(0x1A5);
    ModifierFlags = 0;
    matchesRepaint("extended left");
    pane->doKey(0x1A7);
    matchesRepaint("collapsed right");

    // A drag that goes out, comes back over part of its way, then leaves the word.
    eExpr* word = pane->expression()->getChild(0);
    ASSERT_TRUE(word->isWord());
    Zone w = word->m_zone;
    ZoneOffset(w, pane->root()->m_zone.left, pane->root()->m_zone.top);
    const int32_t y = (w.top + w.bottom) / 2;
    const int32_t unit = (w.right - w.left) / 7;
    plat::testing::press(hwnd, Client(pane, oPoint{w.left + unit / 2, y}).x,
                         Client(pane, oPoint{0, y}).y);
    for (int32_t k : {5, 6, 3, 4, 2, 9})
        plat::testing::move(hwnd, Client(pane, oPoint{w.left + k * unit + unit / 2, y}).x,
                            Client(pane, oPoint{0, y}).y);
    plat::testing::move(hwnd, Client(pane, oPoint{w.left + 2 * unit + unit / 2, y}).x,
                        Client(pane, oPoint{0, y}).y);
    plat::testing::release(hwnd, Client(pane, oPoint{w.left + 2 * unit + unit / 2, y}).x,
                           Client(pane, oPoint{0, y}).y);
    matchesRepaint("dragged");
    ASSERT_EQ(pane->record().count(), 1);
    EXPECT_EQ(pane->record().entry(0).node, word);
    EXPECT_NE(pane->record().entry(0).start, pane->record().entry(0).end);
    Save(pane, "editing-drag-in-word");
    pane->idle();
    matchesRepaint("blinked");
}

TEST_F(PaneTest, ATypedCharacterShowsBeforeTheNextPaint) {
    ExprFilePane* pane = Open(NewPlaceholder(0, false));
    const plat::HWND hwnd = Hwnd(pane);
    plat::testing::type("a");
    plat::testing::runUntilIdle();
    const auto inkOf = [](const plat::testing::Image& image) {
        int n = 0;
        for (std::uint32_t p : image.pixels)
            n += Dark(p) ? 1 : 0;
        return n;
    };
    const int before = inkOf(plat::testing::pixels(hwnd));
    // The keys arrive as the window gets them; nothing is painted until the queue runs.
    for (char c : std::string("mwm"))
        plat::SendMessage(hwnd, plat::WM_CHAR, static_cast<plat::WPARAM>(c), 0);
    EXPECT_EQ(Text(pane), "amwm");
    const plat::testing::Image shown = plat::testing::pixels(hwnd);
    plat::testing::runUntilIdle();
    const plat::testing::Image painted = plat::testing::pixels(hwnd);
    ASSERT_EQ(shown.pixels.size(), painted.pixels.size());
    const int added = inkOf(painted) - before;
    ASSERT_GT(added, 40);
    // What the paint adds beyond what was drawn at once: at most the caret's column.
    int missing = 0;
    for (size_t i = 0; i < painted.pixels.size(); ++i)
        missing += Dark(painted.pixels[i]) && !Dark(shown.pixels[i]) ? 1 : 0;
    EXPECT_LT(missing, added / 4) << "of " << added << " ink pixels added";
    EXPECT_EQ(PixelsUnlikeARepaint(pane), 0);
}

TEST_F(PaneTest, NudgesMoveByThePanesLineUnit) {
    for (const char* dpi : {"96", "144"}) {
        SCOPED_TRACE(dpi);
        ShutdownGraphics();
        ScopedEnv screen("KV_SCREEN_DPI", dpi);
        InitGraphics();
        ExprFilePane* pane = Open(NewPlaceholder(0, false));
        plat::testing::type("x");
        plat::testing::runUntilIdle();
        const int32_t unit = pane->lineUnit();
        EXPECT_EQ(unit, std::string(dpi) == "96" ? 1 : 2);
        DoCommand(kCmdSelectAll, 0);
        DoCommand(kCmdNudgeRight, 0);
        eExpr* x = pane->expression()->getChild(0);
        ASSERT_TRUE(x->isWord());
        EXPECT_EQ(x->m_nudgeX, std::max(1, 64 * unit / x->m_size));
        EXPECT_EQ(x->m_nudgeY, 0);
        delete pane->window();
        m_panes.clear();
        plat::testing::runUntilIdle();
    }
}

TEST_F(PaneTest, RepaintingOnlyWhatAnEditChangedLeavesWhatAFullRepaintDraws) {
    // A matrix larger than its window: after each step the screen must be exactly what drawing
    // everything afresh gives, and an edit repaints only part of the window.
    OwnedNode<eSimpMatrix> m = NewSimpMatrix(12, 12);
    for (int32_t i = 0; i < 12; ++i)
        for (int32_t j = 0; j < 12; ++j)
            m->setCell(i, j, TextToRow("a" + std::to_string(i) + std::to_string(j), 0));
    const Zone window{0, 0, 330, 260, 0, 0};
    ExprFilePane* pane = NewExprFilePane(
        ExprPtr(
            NewSimpStringWith(
                ExprPtr(NewFence(ExprPtr(m.release()), (kDelimParen << 4) | kDelimParen).release()))
                .release()),
        &window, nullptr, 0);
    m_panes.push_back(pane);
    pane->takeFocus();
    plat::testing::runUntilIdle();
    const plat::HWND hwnd = Hwnd(pane);
    auto grid = [&] { return static_cast<eMatrix*>(pane->expression()->getChild(0)->getChild(0)); };
    ASSERT_GT(pane->panoramaWidth(), pane->bounds().width());
    ASSERT_GT(pane->panoramaHeight(), pane->bounds().height());
    // A click at the left of a cell's text, as the window shows it now.
    auto clickCell = [&](int32_t r, int32_t c, bool atEnd) {
        DrawState.rootOrigin = oPoint{0, 0};
        Zone z = LocateNode(grid()->getCell(r, c));
        const Zone& b = pane->bounds();
        const int32_t x = atEnd ? std::min(z.right - 1, b.right - 2) : z.left + 1;
        plat::testing::click(hwnd, x - b.left + pane->zoneInParent().left,
                             (z.top + z.bottom) / 2 - b.top + pane->zoneInParent().top);
        plat::testing::runUntilIdle();
    };
    auto updateShare = [&] {
        plat::HRGN region = plat::CreateRectRgn(0, 0, 0, 0);
        plat::GetUpdateRgn(hwnd, region, plat::FALSE);
        plat::RECT box{};
        plat::GetRgnBox(region, &box);
        plat::DeleteObject(region);
        const Zone& b = pane->bounds();
        return double(box.right - box.left) * (box.bottom - box.top) / (b.width() * b.height());
    };
    struct Step {
        const char* name;
        std::function<void()> act;
        bool partial; // the edit invalidates less than half of the window
    };
    const Step steps[] = {
        {"click in a cell", [&] { clickCell(1, 1, true); }, false},
        {"type", [&] { pane->doKey('b'); }, true},
        {"type again", [&] { pane->doKey('c'); }, true},
        {"delete", [&] { pane->doKey(8); }, true},
        {"insert a fraction",
         [&] {
             InsertExprAsEdit(ExprPtr(NewFraction(TextToRow("p", 0), TextToRow("q", 0)).release()));
         },
         false},
        {"undo", [&] { DoCommand(kCmdUndo, 0); }, false},
        {"select another cell", [&] { clickCell(3, 0, true); }, false},
        {"widen a column",
         [&] {
             pane->doKey('w');
             pane->doKey('w');
             pane->doKey('w');
         },
         false},
        {"narrow it again",
         [&] {
             pane->doKey(8);
             pane->doKey(8);
         },
         false},
        {"a cell cut by the right edge", [&] { clickCell(2, 4, true); }, false},
        {"type at the edge", [&] { pane->doKey('d'); }, true},
        {"scroll", [&] { pane->scrollBy(37, 41); }, false},
        {"type after scrolling",
         [&] {
             clickCell(4, 4, true);
             pane->doKey('e');
         },
         false},
        {"type in the scrolled view", [&] { pane->doKey('f'); }, true},
        {"type until the view follows the caret",
         [&] {
             int32_t c = 0;
             DrawState.rootOrigin = oPoint{0, 0};
             while (c < 11 && LocateNode(grid()->getCell(3, c)).right < pane->bounds().right)
                 ++c;
             clickCell(3, c, false);
             const int32_t left = pane->bounds().left;
             for (int k = 0; k < 12; ++k)
                 pane->doKey('w');
             EXPECT_GT(pane->bounds().left, left);
         },
         false},
        {"delete in the followed view", [&] { pane->doKey(8); }, false},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        step.act();
        if (step.partial) {
            EXPECT_LT(updateShare(), 0.5);
        }
        EXPECT_EQ(PixelsUnlikeARepaint(pane), 0);
    }
    EXPECT_GT(pane->bounds().left, 0);
}

// What the selection covers, as text: characters of a word range, the elements of a row range
// (operators' own spacing left out); empty for a caret.
std::string SelectedText(ExprPane* pane) {
    if (pane->record().count() != 1)
        return std::string("<").append(std::to_string(pane->record().count())).append(" entries>");
    const SelectionEntry& e = pane->record().entry(0);
    std::string text;
    if (e.node->isWord())
        return std::string(static_cast<eWord*>(e.node)->view().substr(e.start, e.end - e.start));
    for (int32_t i = e.start; i < e.end; ++i) {
        eExpr* item = e.node->getChild(i);
        if (item->isWord())
            text += static_cast<eWord*>(item)->view();
        else if (!item->isSpace())
            text += '#';
    }
    return text;
}

TEST_F(PaneTest, ShiftArrowsGrowTheSelectionStepByStepAndShrinkItBack) {
    ExprFilePane* pane = Open(NewPlaceholder(0, false));
    const plat::HWND hwnd = Hwnd(pane);
    plat::testing::type("abc+1");
    plat::testing::runUntilIdle();
    ASSERT_EQ(Text(pane), "abc+1");
    ASSERT_EQ(pane->record().count(), 1);
    const SelectionEntry typed = pane->record().entry(0);
    ASSERT_EQ(typed.start, typed.end);

    // Each press moves the free end by one character inside the word, then by one element (the
    // operator together with its spacing); the end where the run started stays put. At the start
    // of the expression there is nowhere further to go.
    const struct {
        int32_t key;
        const char* selected;
    } steps[] = {{0x1A5, "1"},     {0x1A5, "+1"}, {0x1A5, "abc+1"},
                 {0x1A5, "abc+1"}, {0x1A7, "+1"}, {0x1A7, "1"}};
    ModifierFlags = kModShift;
    int press = 0;
    for (const auto& step : steps) {
        SCOPED_TRACE("press " + std::to_string(++press));
        EXPECT_TRUE(pane->doKey(step.key));
        plat::testing::runUntilIdle();
        EXPECT_EQ(SelectedText(pane), step.selected);
        ASSERT_EQ(pane->record().count(), 1);
        const SelectionEntry& e = pane->record().entry(0);
        EXPECT_LT(e.start, e.end) << "the selection became a caret";
        // What the steps left on screen is what drawing everything afresh gives.
        const plat::testing::Image shown = plat::testing::pixels(hwnd);
        pane->invalidate(nullptr);
        plat::testing::runUntilIdle();
        const plat::testing::Image fresh = plat::testing::pixels(hwnd);
        ASSERT_EQ(shown.pixels.size(), fresh.pixels.size());
        EXPECT_TRUE(shown.pixels == fresh.pixels) << "the highlight differs from a full repaint";
    }
    Save(pane, "editing-shift-extended");
    // One more step back ends where the run started: the caret after the "1".
    EXPECT_TRUE(pane->doKey(0x1A7));
    ModifierFlags = 0;
    plat::testing::runUntilIdle();
    ASSERT_EQ(pane->record().count(), 1);
    EXPECT_EQ(pane->record().entry(0), typed);
    EXPECT_EQ(Text(pane), "abc+1");
}

TEST_F(PaneTest, ArrowsScrollTheCaretIntoViewWithoutMarkingTheDocumentChanged) {
    const Zone small{0, 0, 120, 100, 0, 0};
    ExprFilePane* pane = NewExprFilePane(
        TextToRow("abcdefghij+klmnopqrst+uvwxyz+abcdefghij+klmnop", 0), &small, nullptr, 0);
    m_panes.push_back(pane);
    pane->takeFocus();
    plat::testing::runUntilIdle();
    eExpr* row = pane->expression();
    ASSERT_GT(pane->panoramaWidth(), pane->bounds().width());
    RedrawSelectionHighlight();
    ClearSelectionList(pane->record());
    SelectRange(row, 0, 0, 0, 0);
    EXPECT_EQ(pane->bounds().left, 0);
    for (int i = 0; i < 60; ++i)
        pane->doKey(0x1A7);
    plat::testing::runUntilIdle();
    const SelectionEntry caret = pane->record().entry(0);
    Zone zone;
    int32_t bands[4];
    ASSERT_TRUE(EntryHighlightArea(caret, zone, bands));
    EXPECT_GT(pane->bounds().left, 0) << "the view did not follow the caret";
    EXPECT_TRUE(ZoneContainsPoint(pane->bounds(), oPoint{zone.left, zone.top}));
    EXPECT_FALSE(pane->changed());
}

TEST_F(PaneTest, RightClicksChooseTheMenuByWhatLiesUnderThePoint) {
    ExprFilePane* pane = Open(NewPlaceholder(0, false));
    plat::testing::type("ab");
    plat::testing::runUntilIdle();
    const Zone root = pane->root()->m_zone;
    const oPoint onText{(root.left + root.right) / 2, (root.top + root.bottom) / 2};
    // Off the caret left by typing: the click selects what lies there first.
    const SelectionEntry typed = pane->record().entry(0);
    EXPECT_EQ(HandlePaneRightClick(onText), kSelectionMenu);
    ASSERT_EQ(pane->record().count(), 1);
    const SelectionEntry picked = pane->record().entry(0);
    EXPECT_NE(picked.node, nullptr);
    EXPECT_NE(picked, typed);
    // On a highlighted range the selection stays as it is.
    RedrawSelectionHighlight();
    ClearSelectionList(pane->record());
    const SelectionEntry all{pane->expression(), 0, pane->expression()->childCount(), 0, 0};
    SelectRange(all.node, all.start, all.end, 0, 0);
    RedrawSelectionHighlight();
    EXPECT_EQ(HandlePaneRightClick(onText), kSelectionMenu);
    EXPECT_EQ(pane->record().count(), 1);
    EXPECT_EQ(pane->record().entry(0), all);
    // Outside the expression: the small menu.
    EXPECT_EQ(HandlePaneRightClick(oPoint{root.right + 40, root.bottom + 40}), kSmallMenu);
    EXPECT_EQ(s_menusShown, (std::vector<int32_t>{kSelectionMenu, kSelectionMenu, kSmallMenu}));
}

TEST_F(PaneTest, TheLastFrontDocumentShowsItsSelectionWhileTheFindWindowIsInFront) {
    ExprFilePane* pane = Open(NewPlaceholder(0, false));
    plat::testing::type("ab");
    plat::testing::runUntilIdle();
    const SelectionEntry caret = pane->record().entry(0);
    auto caretShownAfterRepaint = [&] {
        pane->invalidate(nullptr);
        plat::testing::runUntilIdle();
        const plat::testing::Image image = plat::testing::pixels(Hwnd(pane));
        // The pane is no longer active: locate the caret through its record for the moment.
        ActiveRecord = &pane->record();
        Zone zone;
        int32_t bands[4];
        EXPECT_TRUE(EntryHighlightArea(caret, zone, bands));
        ActiveRecord = nullptr;
        const plat::POINT p = Client(pane, oPoint{zone.left, (zone.top + zone.bottom) / 2});
        return Dark(image.at(p.x, p.y));
    };
    pane->resignFront(); // another window, the find window, came to the front
    EXPECT_EQ(ActivePane, nullptr);
    EXPECT_EQ(LastFrontPane, pane);
    EXPECT_FALSE(caretShownAfterRepaint());
    static bool findInFront = false;
    TheExprPaneShellHooks().findWindowInFront = [] { return findInFront; };
    findInFront = true;
    EXPECT_TRUE(caretShownAfterRepaint());
    EXPECT_EQ(ActiveRecord, nullptr); // the borrowed state went back
    findInFront = false;
    EXPECT_FALSE(caretShownAfterRepaint());
}

TEST_F(PaneTest, ABrokenKeyMapEntryIsNotDispatched) {
    ExprFilePane* pane = Open(NewPlaceholder(0, false));
    KeyMap['q'] = -1;
    EXPECT_FALSE(pane->doKey('q'));
    EXPECT_EQ(Text(pane), "?");
    EXPECT_FALSE(pane->changed());
    KeyMap['q'] = 0;
    EXPECT_FALSE(pane->doKey('q')); // an unbound key is reported as not handled
    EXPECT_EQ(Text(pane), "?");
}

TEST_F(PaneTest, NewWindowsArePlacedByTheOpenDocumentCountAndTheExpressionSize) {
    TheExprPaneShellHooks().newWindowPlace = [] { return oPoint{30, 40}; };
    EXPECT_EQ(DefaultPaneWindowZone(50, 20, 2), (Zone{40, 50, 240, 190, 0, 0}));
    ExprFilePane* first = Open(NewSimpString(0));
    ExprFilePane* second = Open(NewSimpString(0));
    EXPECT_EQ(OpenDocumentCount(), 2);
    EXPECT_EQ(OpenDocumentList, second);
    EXPECT_EQ(second->nextDocument(), first);
    EXPECT_NE(first->fileName(), second->fileName());
    EXPECT_EQ(first->fileName().rfind("Sans titre ", 0), 0u);
    // With two documents open the third window opens 10 right of and 10 below the place.
    ExprFilePane* third = Open(NewSimpString(0));
    const Zone placed = third->window()->placement();
    EXPECT_EQ(placed.left, 40);
    EXPECT_EQ(placed.top, 50);
    delete third->window();
    m_panes.pop_back();
    // Closing one takes it out of both lists.
    delete first->window();
    m_panes.erase(m_panes.begin());
    EXPECT_EQ(OpenDocumentCount(), 1);
    EXPECT_EQ(PaneList, second);
}

TEST_F(PaneTest, AChangedDocumentAsksBeforeClosingAndKeepsItsWindowUnlessTold) {
    ExprFilePane* pane = Open(NewPlaceholder(0, false));
    EXPECT_TRUE(pane->canClose()); // unchanged: no question
    EXPECT_TRUE(plat::testing::messageBoxes().empty());
    plat::testing::type("y");
    plat::testing::runUntilIdle();
    ASSERT_TRUE(pane->changed());
    answerNextBox(kIdCancel);
    EXPECT_FALSE(pane->canClose());
    // There is no writer: nothing is saved, the window stays, and an alert says why.
    answerNextBox(kIdYes);
    answerNextBox(kIdOk);
    EXPECT_FALSE(pane->canClose());
    EXPECT_EQ(plat::testing::messageBoxes().back().text.rfind("D\xE9sol\xE9", 0), 0u);
    static int writes = 0;
    writes = 0;
    DocumentWriterHook = [](ExprFilePane&, bool askName) {
        ++writes;
        return askName; // an untitled document is saved under a new name
    };
    answerNextBox(kIdYes);
    EXPECT_TRUE(pane->canClose());
    EXPECT_EQ(writes, 1);
    EXPECT_FALSE(pane->changed());
    DocumentWriterHook = nullptr;
    plat::testing::type("z");
    plat::testing::runUntilIdle();
    answerNextBox(kIdNo); // close without saving
    EXPECT_TRUE(pane->canClose());
    EXPECT_EQ(plat::testing::messageBoxes().size(), 5u);
}

TEST_F(PaneTest, TheShellOpensOnlyUntitledDocumentsWithoutTheReaders) {
    AppHooks().openDocumentWindow(nullptr, 'e');
    ASSERT_NE(OpenDocumentList, nullptr);
    m_panes.push_back(OpenDocumentList);
    EXPECT_EQ(OpenDocumentList->expression()->childCount(), 0);
    const int16_t code = CatchFail([] { AppHooks().openDocumentWindow("/tmp/some.pvx", 'e'); });
    EXPECT_EQ(code, errNotInstalled);
    EXPECT_EQ(OpenDocumentCount(), 1);
    AppHooks().openDocumentWindow = nullptr;
}

// ---- Edit support -----------------------------------------------------------------------------

// A two-slot template whose Modify kind is 8 (a fraction's).
class Kinded : public eTemplate {
    KV_NODE_CLONE(Kinded)
    void measure() override {
        eTemplate::measure();
        m_zone = PlaceSlotsInLine(*this);
    }
    int32_t change(bool) override { return 8; }
};

ExprPtr RowWithKinded() {
    OwnedNode<eSimpString> row = NewSimpString(3);
    row->setChild(0, NewWord("a", 0, DefaultStyle, 0));
    OwnedNode<Kinded> t = NewTemplateBlock<Kinded>(2, 2);
    t->setChild(0, NewSimpStringWith(NewWord("b", 0, DefaultStyle, 0)));
    t->setChild(1, NewSimpStringWith(NewWord("c", 0, DefaultStyle, 0)));
    row->setChild(1, std::move(t));
    row->setChild(2, NewWord("d", 0, DefaultStyle, 0));
    return row;
}

TEST_F(PaneTest, ModifyByKindFindsTheNodeInsideTheSelectionOrSaysSo) {
    ExprFilePane* pane = Open(RowWithKinded());
    eExpr* row = pane->expression();
    // A range of the row holding the template: the search of its subtree finds it, selects it
    // whole and modifies it.
    RedrawSelectionHighlight();
    ClearSelectionList(pane->record());
    SelectRange(row, 0, 3, 0, 0);
    ModifyNodeOfKind(8);
    EXPECT_EQ(ChangeFoundFlag, 1);
    EXPECT_EQ(ChangeQueryFlag, 0);
    ASSERT_EQ(pane->record().count(), 1);
    EXPECT_EQ(pane->record().entry(0), (SelectionEntry{row, 1, 2, 0, 0}));
    EXPECT_TRUE(plat::testing::messageBoxes().empty());

    // Another kind: nothing is found, the message says so and a selection remains.
    answerNextBox(1);
    ModifyNodeOfKind(6);
    EXPECT_EQ(ChangeFoundFlag, 0);
    EXPECT_EQ(ChangeQueryFlag, 0);
    ASSERT_EQ(plat::testing::messageBoxes().size(), 1u);
    EXPECT_NE(plat::testing::messageBoxes()[0].text.find("Change command could not be found"),
              std::string::npos);
    EXPECT_GE(pane->record().count(), 1);
}

TEST_F(PaneTest, PlainTextBecomesWordsByCharacterClass) {
    struct Case {
        const char* text;
        const char* items; // words separated by '|', spaces as ' ', tabs as 'T'
    };
    for (const Case& c :
         {Case{"ab+12", "ab|+|12"}, Case{"x y", "x| |y"}, Case{"a\tb", "a|T|b"},
          Case{"abcdefghijklmno", "abcdefghijk|lmno"}, Case{"((", "(|("}, Case{"", ""}}) {
        SCOPED_TRACE(c.text);
        ExprPtr row = TextToRow(c.text, 0);
        ASSERT_NE(row, nullptr);
        std::string items;
        for (int32_t i = 0; i < row->childCount(); ++i) {
            if (i > 0)
                items += '|';
            eExpr* item = row->getChild(i);
            if (item->isWord())
                items += static_cast<eWord*>(item)->view();
            else if (item->isTab())
                items += 'T';
            else if (item->isSpace())
                items += ' ';
        }
        EXPECT_EQ(items, c.items);
    }
}

} // namespace
} // namespace kvtest
