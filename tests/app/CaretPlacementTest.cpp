// The selection the user sees after each key is the one the next key acts on: the screen left by
// the key is what a full repaint draws, and the drawn caret or highlight lies where the next typed
// character lands.

#include "../../src/Platform/backend/Backend.h"
#include "Dialogs/ModifyDialogs.h"
#include "OverPc/PFILE.h"
#include "OverPc/documents/Translations.h"
#include "OverSrcs/commands/kEdit.h"
#include "OverSrcs/eDxStr.h"
#include "OverSrcs/eLayout.h"
#include "OverSrcs/eSelect.h"
#include "OverSrcs/etGener.h"
#include "TreeText.h"
#include "UserInputFixture.h"
#include "support/CodePageScope.h"

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace kvtest {
namespace {

class CaretPlacementTest : public UserInputFixture {
protected:
    static const eExpr* wordWith(const eExpr* node, char c) {
        if (const auto* w = dynamic_cast<const eWord*>(node))
            return w->view().find(c) != std::string_view::npos ? node : nullptr;
        for (int32_t i = 0; i < node->childCount(); ++i)
            if (const eExpr* found = wordWith(node->getChild(i), c))
                return found;
        return nullptr;
    }
    // The box of the pixels the selection highlight covers (the caret shown).
    static Zone drawnSelection(ExprFilePane* pane) {
        const plat::HWND hwnd = HandleOfWindow(pane->windowHandle());
        if (HighlightOn == 0)
            BlinkSelectionHighlight();
        const pt::Image shown = pt::pixels(hwnd);
        RedrawSelectionHighlight(); // off
        const pt::Image bare = pt::pixels(hwnd);
        RedrawSelectionHighlight(); // on again
        Zone box{10000, 10000, -1, -1, 0, 0};
        for (int y = 0; y < shown.height; ++y)
            for (int x = 0; x < shown.width; ++x)
                if (shown.at(x, y) != bare.at(x, y)) {
                    box.left = std::min(box.left, x);
                    box.top = std::min(box.top, y);
                    box.right = std::max(box.right, x + 1);
                    box.bottom = std::max(box.bottom, y + 1);
                }
        return box;
    }
    static int pixelsUnlikeARepaint(ExprFilePane* pane) {
        const plat::HWND hwnd = HandleOfWindow(pane->windowHandle());
        pt::runUntilIdle();
        const pt::Image shown = pt::pixels(hwnd);
        pane->invalidate(nullptr);
        pt::runUntilIdle();
        const pt::Image fresh = pt::pixels(hwnd);
        int differing = 0;
        for (size_t i = 0; i < shown.pixels.size() && i < fresh.pixels.size(); ++i)
            differing += shown.pixels[i] != fresh.pixels[i] ? 1 : 0;
        return differing;
    }
};

TEST_F(CaretPlacementTest, TheDrawnSelectionIsWhereTheNextKeyGoes) {
    struct Case {
        const char* what;
        std::function<void()> keysPressed;
    };
    const Case cases[] = {
        {"Ctrl+H on a selected b",
         [] {
             keys("b");
             key(plat::VK_LEFT, pt::kShift);
             key('H', pt::kCtrl);
         }},
        {"Ctrl+J on a selected b, then Tab to the superscript",
         [] {
             keys("b");
             key(plat::VK_LEFT, pt::kShift);
             key('J', pt::kCtrl);
             key(plat::VK_TAB);
         }},
        {"Ctrl+H after b, 2, then Right",
         [] {
             keys("b");
             key('H', pt::kCtrl);
             keys("2");
             key(plat::VK_RIGHT);
         }},
        {"Ctrl+J after b, 1, Tab, 2, Tab",
         [] {
             keys("b");
             key('J', pt::kCtrl);
             keys("1");
             key(plat::VK_TAB);
             keys("2");
             key(plat::VK_TAB);
         }},
        {"Ctrl+L after b, 1, then Right",
         [] {
             keys("b");
             key('L', pt::kCtrl);
             keys("1");
             key(plat::VK_RIGHT);
         }},
        {"typed text, then Left twice",
         [] {
             keys("ab+cd");
             key(plat::VK_LEFT);
             key(plat::VK_LEFT);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ExprFilePane* pane = typed("");
        c.keysPressed();
        EXPECT_EQ(pixelsUnlikeARepaint(pane), 0) << TreeText(pane->expression());
        const Zone drawn = drawnSelection(pane);
        ASSERT_LT(drawn.left, drawn.right) << "no selection drawn";
        keys("z");
        const eExpr* landed = wordWith(pane->expression(), 'z');
        ASSERT_NE(landed, nullptr) << TreeText(pane->expression());
        Zone target = inWindow(pane, landed);
        // A caret is drawn on the edge of the place the character takes.
        target.left -= 1;
        target.right += 1;
        Zone common;
        EXPECT_TRUE(ZoneIntersect(drawn, target, common))
            << "drawn at " << drawn.left << "," << drawn.top << "-" << drawn.right << ","
            << drawn.bottom << ", typed at " << target.left << "," << target.top << "-"
            << target.right << "," << target.bottom << " in " << TreeText(pane->expression());
    }
}

// An empty slot shows a "?": a click on it or at either of its edges, or an arrow that lands on
// it, selects it whole, and the first key replaces it. A "?" the user typed among other items is
// a character like any other.
class PlaceholderClickTest : public CaretPlacementTest {
protected:
    void SetUp() override {
        CaretPlacementTest::SetUp();
        // The shipped TeX translator in the preferences folder, as the first run copies it.
        std::filesystem::create_directories(PrefsFolderPath());
        std::filesystem::copy_file(
            std::filesystem::path(KV_BINARY_DIR) / "src" / "Korvaline_Prefs" / "TeX.cat",
            PrefsFolderPath() + "TeX.cat", std::filesystem::copy_options::overwrite_existing);
        ForgetLoadedTranslators();
    }
    void TearDown() override {
        ForgetLoadedTranslators();
        CaretPlacementTest::TearDown();
    }
    // A fraction put into the empty document by a click on the main palette's first fraction
    // button; `fraction` is the new node, its two slots empty.
    static void fractionFromPalette(ExprFilePane* pane, const eExpr*& fraction) {
        std::optional<PaletteBlock> button;
        for (const PaletteBlock& b : PaletteBlocks(MainPalette()))
            if (!button && b.code > 0x4000 && b.code <= 0x4007)
                button = b;
        ASSERT_TRUE(button) << "no fraction on the main palette";
        fromMainPalette(button->code);
        fraction = pane->expression()->getChild(0);
        ASSERT_TRUE(fraction != nullptr && fraction->childCount() == 2)
            << TreeText(pane->expression());
    }
};

TEST_F(PlaceholderClickTest, AClickOrAnArrowAtAnEmptySlotSelectsItsPlaceholder) {
    enum class Where { Left, Middle, Right };
    struct Case {
        const char* what;
        std::function<void(ExprFilePane*, const eExpr*)> reach; // given the fraction
        const char* numerator;
        const char* denominator;
    };
    const auto clickAt = [](Where where) {
        return [where](ExprFilePane* pane, const eExpr* fraction) {
            const eExpr* word = fraction->getChild(1)->getChild(0);
            const Zone z = inWindow(pane, word);
            const int32_t x = where == Where::Left    ? z.left
                              : where == Where::Right ? z.right - 1
                                                      : (z.left + z.right) / 2;
            pt::advanceClock(2000); // no double click
            pt::click(HandleOfWindow(pane->windowHandle()), x, (z.top + z.bottom) / 2);
            pump();
        };
    };
    const Case cases[] = {
        {"a click at the left edge of the denominator", clickAt(Where::Left), "[?]", "[2]"},
        {"a click in the middle of the denominator", clickAt(Where::Middle), "[?]", "[2]"},
        {"a click at the right edge of the denominator", clickAt(Where::Right), "[?]", "[2]"},
        // The numerator starts selected; Right steps past it onto the denominator.
        {"Right from the numerator", [](ExprFilePane*, const eExpr*) { key(plat::VK_RIGHT); },
         "[?]", "[2]"},
        // Left from the denominator lands on the numerator, selected whole again.
        {"Right, then Left",
         [](ExprFilePane*, const eExpr*) {
             key(plat::VK_RIGHT);
             key(plat::VK_LEFT);
         },
         "[2]", "[?]"},
        // Tab and a click on the "?" the user typed beside a 1: the typed "?" stays.
        {"a typed ? beside other items",
         [clickAt](ExprFilePane* pane, const eExpr* fraction) {
             key(plat::VK_TAB);
             keys("?1");
             clickAt(Where::Left)(pane, fraction);
         },
         "[?]", "[2|?|1]"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ExprFilePane* pane = typed("");
        const eExpr* fraction = nullptr;
        ASSERT_NO_FATAL_FAILURE(fractionFromPalette(pane, fraction));
        c.reach(pane, fraction);
        EXPECT_EQ(pixelsUnlikeARepaint(pane), 0) << TreeText(pane->expression());
        keys("2");
        fraction = pane->expression()->getChild(0);
        ASSERT_EQ(pane->expression()->childCount(), 1) << TreeText(pane->expression());
        EXPECT_EQ(TreeText(fraction->getChild(0)), c.numerator);
        EXPECT_EQ(TreeText(fraction->getChild(1)), c.denominator);
        // What the translators write follows the tree: the replaced "?" is gone.
        const std::string tex =
            TranslateExpression(GetShippedTranslator(ShippedTranslator::TeX), pane->expression());
        EXPECT_NE(tex.find("frac"), std::string::npos) << tex;
        const auto marks = [](std::string_view text) {
            return std::count(text.begin(), text.end(), '?');
        };
        EXPECT_EQ(marks(tex), marks(c.numerator) + marks(c.denominator))
            << "[" << tex << "]" << tex;
    }
}

// A right click on an empty slot selects its "?" as a left click does, so Coller from the menu
// replaces it.
TEST_F(PlaceholderClickTest, ARightClickAtAnEmptySlotSelectsItsPlaceholder) {
    for (const int edge : {-1, 0, 1}) { // left edge, middle, right edge
        SCOPED_TRACE(edge);
        ExprFilePane* pane = typed("");
        const eExpr* fraction = nullptr;
        ASSERT_NO_FATAL_FAILURE(fractionFromPalette(pane, fraction));
        const Zone z = inWindow(pane, fraction->getChild(1)->getChild(0));
        const int32_t x = edge < 0 ? z.left : edge > 0 ? z.right - 1 : (z.left + z.right) / 2;
        plat::backend().setForeignClipboard({{"UTF8_STRING", {'x'}}});
        bool pasted = false;
        pt::onMenu([&pasted](pt::MenuDriver& menu) { pasted = menu.choose(13862); });
        pt::advanceClock(2000);
        pt::click(HandleOfWindow(pane->windowHandle()), x, (z.top + z.bottom) / 2, pt::kRight);
        pump();
        EXPECT_TRUE(pasted);
        fraction = pane->expression()->getChild(0);
        ASSERT_EQ(pane->expression()->childCount(), 1) << TreeText(pane->expression());
        EXPECT_EQ(TreeText(fraction->getChild(0)), "[?]");
        EXPECT_EQ(TreeText(fraction->getChild(1)), "[x]");
        CloseAllDocuments();
        takeBackQuit();
    }
}

// A click in the empty space beside a formula leaves a caret after its last character, whatever
// that character's width: the next key types after it and replaces nothing.
TEST_F(CaretPlacementTest, AClickBesideAFormulaLeavesACaretAfterItsLastLetter) {
    const auto letters = [](const eExpr* node) {
        std::string text;
        const std::function<void(const eExpr*)> walk = [&](const eExpr* n) {
            if (const auto* w = dynamic_cast<const eWord*>(n))
                text += w->view();
            for (int32_t i = 0; n != nullptr && i < n->childCount(); ++i)
                walk(n->getChild(i));
        };
        walk(node);
        return text;
    };
    for (const char* formula : {"ghf", "ghi", "ghj", "ghl", "ght", "ghx", "f", "l", "a+l"}) {
        for (const int32_t beside : {2, 3, 4, 5, 10, 20, 40}) {
            SCOPED_TRACE(std::string(formula) + ", " + std::to_string(beside) + " px right");
            ExprFilePane* pane = typed(formula);
            pump();
            const Zone z = inWindow(pane, pane->expression());
            pt::advanceClock(2000); // no double click
            pt::click(HandleOfWindow(pane->windowHandle()), z.right - 1 + beside,
                      (z.top + z.bottom) / 2);
            pump();
            keys("X");
            EXPECT_EQ(letters(pane->expression()), std::string(formula) + "X")
                << TreeText(pane->expression());
            CloseAllDocuments();
            takeBackQuit();
        }
    }
}

// Where a plain click leaves the caret, on every shape of formula: the next key goes to the caret
// place nearest the point (measured to the caret as it is drawn), in the line of the formula the
// point is level with; beside a line to its start or end; on a big operator's sign before the
// template or at the start of its operand. It replaces nothing but a lone placeholder.
class ClickLandingTest : public PlaceholderClickTest {
protected:
    // Where the key is expected: in a word at a byte offset, or in a row at an item index; or in
    // place of a lone placeholder word.
    struct Spot {
        const eExpr* node = nullptr;
        int32_t at = 0;
        bool replace = false;
    };
    // The tree as text that does not depend on how typing splits or joins words, with an X where
    // the spot is.
    static std::string flat(const eExpr* n, const Spot& spot = Spot{nullptr, 0, false}) {
        if (const auto* word = dynamic_cast<const eWord*>(n)) {
            std::string text(word->view());
            if (n == spot.node)
                text = spot.replace ? "X" : text.insert(static_cast<size_t>(spot.at), "X");
            return text;
        }
        if (!n->isString() && n->childCount() == 0)
            return TreeText(n);
        const std::string kind = n->isString() ? "" : TreeText(n).substr(0, TreeText(n).find('{'));
        std::string out = kind + (n->isString() ? "[" : "{");
        for (int32_t i = 0; i <= n->childCount(); ++i) {
            if (n == spot.node && spot.at == i)
                out += "X";
            if (i < n->childCount())
                out += (i > 0 && !n->isString() ? "," : "") + flat(n->getChild(i), spot);
        }
        return out + (n->isString() ? "]" : "}");
    }
    static std::string withoutSpaces(std::string text) {
        for (size_t at = text.find("<s>"); at != std::string::npos; at = text.find("<s>"))
            text.erase(at, 3);
        return text;
    }
    // Right until the caret is back in the formula's top row, or in a line made with Enter.
    static void leave(ExprFilePane* pane, bool toLine = false) {
        const auto inLine = [pane, toLine] {
            const eExpr* at = ActiveList[0].node;
            return at == pane->expression() ||
                   (toLine && at != nullptr && at->m_parent != nullptr &&
                    at->m_parent->m_parent == pane->expression() && at->m_parent->isMatrix());
        };
        for (int i = 0; i < 16 && ActiveList != nullptr && !inLine(); ++i)
            key(plat::VK_RIGHT);
    }
    // A caret place the arrow keys reach: the caret's line as drawn in the window (a placeholder
    // selected whole gives the lines at its two edges), the row it stands in, and the text a key
    // typed there leaves.
    struct Place {
        int32_t x = 0;
        int32_t top = 0;
        int32_t bottom = 0;
        std::vector<int32_t> row; // the child indices down from the top row
        std::string text;
    };
    static std::vector<int32_t> pathTo(const eExpr* top, const eExpr* node) {
        std::vector<int32_t> path;
        for (; node != nullptr && node != top; node = node->m_parent)
            path.insert(path.begin(), node->m_index);
        return path;
    }
    // Every place from the formula's start to its end, stepping with Right, but the signs of big
    // operators (fixed symbols). A caret between a word's characters stands in its row's line: it
    // is measured with the height of the row's caret before the word. Where a ruled row breaks,
    // the caret drawn at the next line's start is also the end of the line above, after its last
    // item.
    static std::vector<Place> placesByArrows(ExprFilePane* pane) {
        const eExpr* row = pane->expression();
        const Zone located = LocateNode(const_cast<eExpr*>(row));
        const Zone shown = inWindow(pane, row);
        const int32_t dx = shown.left - located.left;
        const int32_t dy = shown.top - located.top;
        SelectionEntry last{};
        for (int i = 0; i < 400 && !(ActiveList[0] == last); ++i) {
            last = ActiveList[0];
            key(plat::VK_LEFT);
        }
        // An empty slot that draws nothing (a square root's empty index, a script template's
        // empty hidden script) is reached by the arrows but never by a click; a line of the
        // formula is always a place.
        const std::vector<Line> lines = linesOf(pane, row);
        const auto drawsNothing = [&](const eExpr* in) {
            const Zone z = inWindow(pane, in);
            const bool line = std::any_of(lines.begin(), lines.end(),
                                          [in](const Line& l) { return l.row == in; });
            return !line && in->childCount() == 0 && !(z.left < z.right && z.top < z.bottom);
        };
        std::vector<Place> places;
        last = SelectionEntry{};
        for (int i = 0; i < 400 && !(ActiveList[0] == last); ++i) {
            last = ActiveList[0];
            const eExpr* node = last.node;
            const eExpr* in = node->isWord() ? node->m_parent : node;
            Zone drawn;
            int32_t bands[4];
            if (in->isString() && !IsOperatorSignSlot(in->m_parent, in->m_index) &&
                !drawsNothing(in) && EntryHighlightArea(last, drawn, bands)) {
                auto* holder = const_cast<eExpr*>(in);
                const auto caretAt = [&](int32_t k) {
                    Zone caret;
                    int32_t unused[4];
                    EntryHighlightArea({holder, k, k, 0, 1}, caret, unused);
                    return Zone{caret.left + dx, caret.top + dy, 0, caret.bottom + dy, 0, 0};
                };
                const Zone band = node->isWord()
                                      ? caretAt(node->m_index)
                                      : Zone{0, drawn.top + dy, 0, drawn.bottom + dy, 0, 0};
                const bool whole = last.start != last.end;
                const Spot spot = node->isWord() ? Spot{node, last.start, whole}
                                  : whole        ? Spot{node->getChild(last.start), 0, true}
                                                 : Spot{node, last.start};
                for (const int32_t x : {drawn.left, drawn.right}) {
                    places.push_back(
                        {x + dx, band.top, band.bottom, pathTo(row, in), flat(row, spot)});
                    if (!whole)
                        break;
                }
                // The row's boundary at the caret (at either end of a word).
                const int32_t k = !node->isWord()   ? last.start
                                  : last.start == 0 ? node->m_index
                                  : last.start == static_cast<const eWord*>(node)->length()
                                      ? node->m_index + 1
                                      : -1;
                bool breaks = false;
                for (const Line& line : linesIn(pane, in))
                    breaks = breaks || (!whole && k > 0 && line.from == k);
                if (breaks) {
                    const Zone above = caretAt(k - 1);
                    const Zone below = caretAt(k);
                    const std::string text = flat(row, {in, k});
                    places.push_back({inWindow(pane, in->getChild(k - 1)).right, above.top,
                                      above.bottom, pathTo(row, in), text});
                    places.push_back({below.left, below.top, below.bottom, pathTo(row, in), text});
                }
            }
            key(plat::VK_RIGHT);
        }
        return places;
    }
    // A line: items from..to of a row, and its rectangle in the window.
    struct Line {
        const eExpr* row = nullptr;
        Zone rect;
        int32_t from = 0;
        int32_t to = 0;
    };
    // The row as lines: a ruled row's laid-out lines (the first reaching up to the row's top),
    // else the whole row.
    static std::vector<Line> linesIn(ExprFilePane* pane, const eExpr* row) {
        const Zone z = inWindow(pane, row);
        const int32_t n = row->childCount();
        const auto* ruled = dynamic_cast<const eDxString*>(row);
        const eDxStringInfo* laid = ruled != nullptr ? ruled->lines() : nullptr;
        if (laid == nullptr || laid->lineCount() < 2)
            return {{row, z, 0, n}};
        std::vector<Line> lines;
        for (int32_t k = 0; k < laid->lineCount(); ++k)
            lines.push_back({row,
                             {z.left, k == 0 ? z.top : z.top + laid->line(k).top, z.right,
                              z.top + laid->line(k + 1).top, 0, 0},
                             std::clamp(laid->line(k).first, 0, n),
                             std::clamp(laid->line(k + 1).first, 0, n)});
        return lines;
    }
    // The lines of the formula: those of the rows of a one-column grid that is all its top row
    // holds (lines made with Enter), else the top row's.
    static std::vector<Line> linesOf(ExprFilePane* pane, const eExpr* row) {
        const auto* grid =
            row->childCount() == 1 ? dynamic_cast<const eMatrix*>(row->getChild(0)) : nullptr;
        if (grid == nullptr || grid->columns() != 1)
            return linesIn(pane, row);
        std::vector<Line> lines;
        for (int32_t r = 0; r < grid->rows(); ++r)
            for (const Line& line : linesIn(pane, grid->getCell(r, 0)))
                lines.push_back(line);
        return lines;
    }
    // The line (or row of a grid, beside the formula where the grid is its first or last item)
    // nearest the point in height.
    static Line levelWith(const std::vector<Line>& lines, int32_t y) {
        Line line;
        int32_t off = 0;
        for (const Line& l : lines) {
            const Zone& c = l.rect;
            const int32_t d = y < c.top ? c.top - y : y >= c.bottom ? y - c.bottom + 1 : 0;
            if (line.row == nullptr || d < off) {
                line = l;
                off = d;
            }
        }
        return line;
    }
    // The texts a click at the point may leave, by the rule, from the places the arrows reach.
    static std::vector<std::string> expectedAt(ExprFilePane* pane, const std::vector<Place>& places,
                                               oPoint p) {
        const eExpr* row = pane->expression();
        const Zone all = inWindow(pane, row);
        const bool left = p.x < (all.left + all.right) / 2;
        std::vector<Line> lines = linesOf(pane, row);
        const int32_t n = row->childCount();
        const auto* edge = dynamic_cast<const eMatrix*>(row->getChild(left ? 0 : n - 1));
        if ((p.x < all.left || p.x >= all.right) && lines.size() == 1 && edge != nullptr) {
            // Beside a grid at the formula's edge, level with it: the grid's row level with the
            // point.
            const Zone g = inWindow(pane, edge);
            if (p.y >= g.top && p.y < g.bottom) {
                lines.clear();
                for (int32_t r = 0; r < edge->rows(); ++r)
                    for (const Line& l :
                         linesIn(pane, edge->getCell(r, left ? 0 : edge->columns() - 1)))
                        lines.push_back(l);
            }
        }
        const Line level = levelWith(lines, p.y);
        const eExpr* line = level.row;
        const Zone& span = level.rect;
        if (p.x < span.left || p.x >= span.right) {
            const bool before = p.x < span.left;
            return {flat(row, {line, before ? level.from : level.to})};
        }
        // On a big operator's sign.
        const std::function<const eExpr*(const eExpr*)> sign = [&](const eExpr* node) {
            for (int32_t i = 0; i < node->childCount(); ++i) {
                const eExpr* child = node->getChild(i);
                if (child == nullptr || !ZoneContainsPoint(inWindow(pane, child), p))
                    continue;
                if (IsOperatorSignSlot(node, i))
                    return child;
                return sign(child);
            }
            return static_cast<const eExpr*>(nullptr);
        };
        if (const eExpr* symbol = sign(line)) {
            const Zone z = inWindow(pane, symbol);
            const eExpr* op = symbol->m_parent;
            if (p.x < (z.left + z.right) / 2)
                return {flat(row, {op->m_parent, op->m_index})};
            return {flat(row, {op->getChild(0), 0})};
        }
        // The nearest place of the line, those whose band holds the point first.
        const std::vector<int32_t> inLine = pathTo(row, line);
        int64_t best = -1;
        bool bestInBand = false;
        std::vector<std::string> texts;
        const bool ruledLine = level.from > 0 || level.to < line->childCount();
        for (const Place& place : places) {
            if (place.row.size() < inLine.size() ||
                !std::equal(inLine.begin(), inLine.end(), place.row.begin()))
                continue;
            // Of a ruled row's lines, the places drawn in that line.
            if (ruledLine && (place.top < span.top || place.bottom > span.bottom))
                continue;
            const int64_t off = p.y < place.top       ? place.top - p.y
                                : p.y >= place.bottom ? p.y - place.bottom + 1
                                                      : 0;
            const int64_t d = (p.x - place.x) * int64_t{p.x - place.x} + off * off;
            if (best < 0 || d < best || (d == best && off == 0 && !bestInBand)) {
                best = d;
                bestInBand = off == 0;
                texts.clear();
            }
            if (d == best && (off == 0) == bestInBand)
                texts.push_back(place.text);
        }
        return texts;
    }

public:
    // A tab from the symbols' sub-palette.
    void tab() { fromSubPalette(7, 0x5303); }
    static void imeChars(ExprFilePane* pane, std::initializer_list<unsigned> codes) {
        const plat::HWND hwnd = HandleOfWindow(pane->windowHandle());
        for (const unsigned code : codes)
            plat::SendMessage(hwnd, plat::WM_IME_CHAR, code, 0);
        pump();
    }
    // What `type` types, made a ruled row with a ruler of its own by Modify on the whole
    // formula; the caret then after it.
    static void ruled(const std::function<void()>& type) {
        type();
        key('A', pt::kCtrl);
        pt::onDialog(kEditStringDialogId, [](pt::DialogDriver& d) {
            d.check(kStringRulerFirst + 2);
            d.enter();
        });
        fromMainPalette(0x6153);
        ASSERT_TRUE(ActiveList[0].node->isDxString()) << TreeText(ActiveList[0].node);
        key(plat::VK_RIGHT);
    }

protected:
    struct Target {
        std::string what;
        oPoint at;
    };
    // Points beside the formula at every height; on, above and below each character of the
    // leaves; above and below the formula over each of its pixel columns; and on each
    // template's strokes (every point of a template in none of its slots).
    static std::vector<Target> targets(ExprFilePane* pane) {
        std::vector<Target> out;
        eExpr* row = pane->expression();
        const Zone all = inWindow(pane, row);
        for (int32_t y = all.top - 2; y <= all.bottom + 1; ++y) {
            const std::string h = " at " + std::to_string(y - all.top) + " px from its top";
            if (all.left >= 3)
                out.push_back({"left of the formula" + h, {all.left - 3, y}});
            for (int32_t dx : {2, 40, 700})
                out.push_back(
                    {std::to_string(dx) + " px right of the formula" + h, {all.right - 1 + dx, y}});
        }
        for (int32_t x = all.left; x < all.right; ++x)
            for (const int32_t dy : {1, 2, 10, 19}) {
                const std::string c = " over column " + std::to_string(x - all.left);
                if (all.top - dy >= 0) // in the window
                    out.push_back(
                        {std::to_string(dy) + " px above the formula" + c, {x, all.top - dy}});
                out.push_back(
                    {std::to_string(dy) + " px below the formula" + c, {x, all.bottom - 1 + dy}});
            }
        // Where the formula has lines, on its own first and last pixel rows (outside its lines
        // where their pile has a border), and on the first and last pixel rows of each line, over
        // each of its pixel columns.
        const std::vector<Line> lines = linesOf(pane, row);
        for (int32_t x = all.left; x < all.right && lines.size() > 1; ++x) {
            const std::string c = " over column " + std::to_string(x - all.left);
            out.push_back({"on the formula's first pixel row" + c, {x, all.top}});
            out.push_back({"on the formula's last pixel row" + c, {x, all.bottom - 1}});
        }
        for (size_t k = 0; k < lines.size() && lines.size() > 1; ++k) {
            const Zone& z = lines[k].rect;
            for (int32_t x = z.left; x < z.right; ++x)
                for (const int32_t y : {z.top, z.bottom - 1})
                    out.push_back({"on the edge of line " + std::to_string(k) + " over column " +
                                       std::to_string(x - z.left),
                                   {x, y}});
        }
        DrawState.measurePort = pane;
        const std::function<void(const eExpr*)> walk = [&](const eExpr* n) {
            for (int32_t i = 0; i < n->childCount(); ++i)
                walk(n->getChild(i));
            const Zone z = inWindow(pane, n);
            if (n->isTemplate()) {
                for (int32_t x = z.left; x < z.right; ++x)
                    for (int32_t y = z.top; y < z.bottom; ++y) {
                        bool inSlot = false;
                        for (int32_t i = 0; i < n->childCount() && !inSlot; ++i)
                            inSlot = n->getChild(i) != nullptr &&
                                     ZoneContainsPoint(inWindow(pane, n->getChild(i)), {x, y});
                        if (!inSlot)
                            out.push_back({"on the strokes of " + TreeText(n), {x, y}});
                    }
                return;
            }
            if (n->childCount() > 0 || n->isString() || n->m_parent == nullptr)
                return;
            const int32_t mid = (z.top + z.bottom) / 2;
            auto* word = const_cast<eWord*>(dynamic_cast<const eWord*>(n));
            // Each character's edges: a word's by measure, any other leaf's its rectangle.
            std::vector<int32_t> edges{z.left, z.right};
            const int32_t step = word != nullptr && word->isDoubleByte() ? 2 : 1;
            if (word != nullptr) {
                DrawState.absZone = z;
                edges.clear();
                for (int32_t c = 0; c <= word->length(); c += step)
                    edges.push_back(word->caretX(c));
            }
            if (word != nullptr && word->view() == "?" && n->m_parent->childCount() == 1) {
                out.push_back({"left of a placeholder", {z.left - 1, mid}});
                out.push_back({"right of a placeholder", {z.right, mid}});
            }
            // The band of the row that holds the leaf: from its tallest item's top to its deepest
            // item's bottom; in a ruled row broken into lines, that of the leaf's line.
            Zone band = inWindow(pane, n->m_parent);
            for (const Line& line : linesIn(pane, n->m_parent))
                if (n->m_index >= line.from && n->m_index < line.to)
                    band = line.rect;
            for (size_t c = 0; c + 1 < edges.size(); ++c) {
                const int32_t l = edges[c];
                const int32_t r = edges[c + 1];
                for (const int32_t eighths : {2, 4, 5, 6}) {
                    const int32_t x = l + (r - l) * eighths / 8;
                    const std::string what = std::string(" character ") + std::to_string(c) +
                                             " of " + TreeText(n) + ", " + std::to_string(eighths) +
                                             "/8 across";
                    out.push_back({"on" + what, {x, mid}});
                    out.push_back({"above" + what, {x, band.top}});
                    out.push_back({"below" + what, {x, band.bottom - 1}});
                }
            }
        };
        walk(row);
        return out;
    }
};

TEST_F(ClickLandingTest, AClickLeavesTheCaretAtTheNearestBoundaryAndLosesNothing) {
    const auto fraction = [](ExprFilePane* pane) {
        const eExpr* made = nullptr;
        fractionFromPalette(pane, made);
    };
    const auto bigOperator = [](int32_t code) {
        return [code](ClickLandingTest& t, ExprFilePane* pane) {
            t.fromSubPalette(4, code);
            keys("k\tk=1\tn");
            leave(pane);
            keys("=s");
        };
    };
    struct Shape {
        const char* what;
        std::function<void(ClickLandingTest&, ExprFilePane*)> build;
    };
    const Shape shapes[] = {
        {"one line", [](ClickLandingTest&, ExprFilePane*) { keys("abc+def"); }},
        // Long enough that the row's items are found by halving.
        {"a long line with a fraction among its items",
         [](ClickLandingTest&, ExprFilePane* pane) {
             keys("a+b-c+");
             fromMainPalette(0x4001);
             keys("x\ty");
             leave(pane);
             keys("+d-e+fg");
         }},
        {"a fraction, then letters",
         [fraction](ClickLandingTest&, ExprFilePane* pane) {
             fraction(pane);
             keys("a\tb");
             leave(pane);
             keys("lifxm");
         }},
        {"a root between letters",
         [](ClickLandingTest&, ExprFilePane* pane) {
             keys("x");
             fromMainPalette(0x4010);
             keys("b");
             leave(pane);
             keys("+c");
         }},
        // Big operators from their sub-palette, limits above and below or as scripts, each
        // followed by more of the formula.
        {"a sum with limits above and below", bigOperator(0x4601)},
        {"a sum with limits as scripts", bigOperator(0x4611)},
        {"a product with limits above and below", bigOperator(0x4602)},
        {"a product with limits as scripts", bigOperator(0x4612)},
        {"an integral with limits",
         [](ClickLandingTest& t, ExprFilePane* pane) {
             keys("y=");
             t.fromSubPalette(3, 0x4700);
             keys("f\t0\t1");
             leave(pane);
             keys("+c");
         }},
        {"a root with an index",
         [](ClickLandingTest&, ExprFilePane* pane) {
             keys("y=");
             fromMainPalette(0x4010);
             keys("x+1\t3");
             leave(pane);
             keys("+w");
         }},
        // The index left empty: the sign keeps its column, but nothing is drawn there.
        {"a square root, its index empty",
         [](ClickLandingTest&, ExprFilePane* pane) {
             keys("y=");
             fromMainPalette(0x4010);
             keys("x+1");
             leave(pane);
             keys("+w");
         }},
        {"three lines, the first and the last ending in a fraction",
         [](ClickLandingTest&, ExprFilePane* pane) {
             keys("a=");
             fromMainPalette(0x4001);
             keys("p\tq");
             leave(pane, true);
             key(plat::VK_RETURN);
             keys("cd");
             key(plat::VK_RETURN);
             keys("y=");
             fromMainPalette(0x4001);
             keys("r\ts");
             leave(pane, true);
         }},
        {"three lines, the third an integral",
         [](ClickLandingTest& t, ExprFilePane*) {
             keys("ab");
             key(plat::VK_RETURN);
             keys("c");
             key(plat::VK_RETURN);
             t.fromSubPalette(3, 0x4300);
             keys("x");
         }},
        {"lines that begin and end with templates",
         [fraction](ClickLandingTest& t, ExprFilePane* pane) {
             fraction(pane);
             keys("a\tb");
             leave(pane, true);
             keys("+c");
             key(plat::VK_RETURN);
             keys("d+");
             fromMainPalette(0x4010);
             keys("e");
             leave(pane, true);
             key(plat::VK_RETURN);
             t.fromSubPalette(4, 0x4611);
             keys("k\tk=1\tn");
             leave(pane, true);
             keys("-1");
         }},
        {"a bracketed matrix",
         [](ClickLandingTest&, ExprFilePane* pane) {
             keys("I=");
             key(plat::VK_OEM_4, pt::kCtrl);
             key('M', pt::kCtrl);
             keys("a\tb\tc\td");
             leave(pane);
         }},
        {"the quadratic formula before its denominator",
         [](ClickLandingTest& t, ExprFilePane*) {
             keys("x=");
             fromMainPalette(0x4001);
             keys("-b");
             t.fromSubPalette(11, 0x11B1);
             fromMainPalette(0x4010);
             keys("b");
             key(plat::VK_LEFT, pt::kShift);
             key('H', pt::kCtrl);
             keys("2");
             key(plat::VK_RIGHT);
             keys("-4ac");
         }},
        {"two lines, a fraction in the first",
         [](ClickLandingTest&, ExprFilePane*) {
             keys("ab+");
             fromMainPalette(0x4001);
             keys("1\t2");
             key(plat::VK_RIGHT);
             keys("xt");
             key(plat::VK_RETURN);
             keys("fil");
         }},
        {"a bare matrix",
         [](ClickLandingTest&, ExprFilePane*) {
             key('M', pt::kCtrl);
             keys("a\tbc\tf\tx");
         }},
        {"1 over an empty denominator",
         [fraction](ClickLandingTest&, ExprFilePane* pane) {
             fraction(pane);
             keys("1");
         }},
        // Ruled rows: words at the tab stops, lines made with Enter (the pile of ruled rows) and
        // a row that breaks itself where its words pass the line length.
        {"ruled lines with tab stops",
         [](ClickLandingTest& t, ExprFilePane* pane) {
             t.ruled([&t] {
                 keys("ab");
                 t.tab();
                 keys("cd+e");
             });
             key(plat::VK_RETURN);
             t.tab();
             keys("f");
             t.tab();
             keys("gh");
             // Short words beside a tall one.
             fromMainPalette(0x4001);
             keys("1\t2");
             leave(pane, true);
             keys("mn");
             key(plat::VK_RETURN);
             keys("ijk");
             t.tab();
             keys("x");
         }},
        {"a ruled row broken into lines",
         [](ClickLandingTest& t, ExprFilePane* pane) {
             t.ruled([&t, pane] {
                 for (const char* word : {"ab", "c", "def", "g", "hi", "jk", "l", "mno", "p"}) {
                     keys(word);
                     t.tab();
                 }
                 fromMainPalette(0x4010);
                 keys("x");
                 leave(pane);
                 keys("q");
             });
         }},
        {"double-byte text in ruled lines",
         [](ClickLandingTest& t, ExprFilePane* pane) {
             t.ruled([&t, pane] {
                 keys("x");
                 t.tab();
                 imeChars(pane, {0x82A0u, 0x88A1u});
             });
             key(plat::VK_RETURN);
             imeChars(pane, {0x82A2u});
             t.tab();
             keys("y");
         }},
        {"double-byte text",
         [](ClickLandingTest&, ExprFilePane* pane) {
             keys("x");
             imeChars(pane, {0x82A0u, 0x88A1u, 0x82A2u});
             keys("y");
         }},
    };
    CodePageScope restore;
    ASSERT_TRUE(plat::SetActiveCodePage(932));
    for (const Shape& shape : shapes) {
        SCOPED_TRACE(shape.what);
        ExprFilePane* pane = typed("");
        shape.build(*this, pane);
        // Room for a key after the widest formula and the clicks beside it, without scrolling,
        // clear of the palette.
        plat::RECT palette{0, 0, 0, 0};
        if (ThePalettePane() != nullptr)
            plat::GetWindowRect(HandleOfWindow(ThePalettePane()->windowHandle()), &palette);
        plat::MoveWindow(HandleOfWindow(pane->windowHandle()), palette.right + 10, 0, 1200, 300,
                         plat::TRUE);
        ASSERT_GT(pane->zoneInParent().right, inWindow(pane, pane->expression()).right + 700);
        pump();
        const std::string before = flat(pane->expression());
        const std::vector<Place> places = placesByArrows(pane);
        ASSERT_EQ(flat(pane->expression()), before);
        const std::vector<Target> points = targets(pane);
        for (const Target& t : points) {
            SCOPED_TRACE(t.what + " (" + std::to_string(t.at.x) + "," + std::to_string(t.at.y) +
                         ") in " + before);
            const std::vector<std::string> expected = expectedAt(pane, places, t.at);
            ASSERT_FALSE(expected.empty());
            pt::advanceClock(2000); // no double click
            pt::click(HandleOfWindow(pane->windowHandle()), t.at.x, t.at.y);
            pump();
            keys("X");
            // Typing sets the spaces around an operator itself.
            const std::string typed = withoutSpaces(flat(pane->expression()));
            std::string all;
            bool found = false;
            for (const std::string& e : expected) {
                found = found || typed == withoutSpaces(e);
                all += " or " + withoutSpaces(e);
            }
            EXPECT_TRUE(found) << typed << ", expected" << all.substr(3);
            undo();
            ASSERT_EQ(flat(pane->expression()), before);
        }
        CloseAllDocuments();
        takeBackQuit();
    }
}

// With the rulers shown, a click in a ruled row's ruler band picks the tool under it (here a
// justification) and leaves the text as it was; a click on the text below the band still leaves a
// caret there.
TEST_F(ClickLandingTest, InTheRulerBandAClickPicksTheToolUnderIt) {
    struct Case {
        const char* what;
        bool pile;    // the band of a ruled pile's first line
        int32_t tool; // the strip position clicked
        uint8_t justification;
    };
    const Case cases[] = {
        {"centre, one ruled row", false, 11, kDxJustifyCentre},
        {"right, one ruled row", false, 12, kDxJustifyRight},
        {"centre, a pile of ruled lines", true, 11, kDxJustifyCentre},
        {"left after right, a pile of ruled lines", true, 10, kDxJustifyLeft},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ExprFilePane* pane = typed("");
        // Wide enough for the justification tools of the band.
        ruled([this] {
            for (const char* word : {"ab", "c", "d", "e"}) {
                keys(word);
                tab();
            }
            keys("f");
        });
        if (c.pile) {
            key(plat::VK_RETURN);
            keys("de");
        }
        DoCommand(kCmdToggleRuler, 0);
        plat::RECT palette{0, 0, 0, 0};
        plat::GetWindowRect(HandleOfWindow(ThePalettePane()->windowHandle()), &palette);
        plat::MoveWindow(HandleOfWindow(pane->windowHandle()), palette.right + 10, 0, 1200, 400,
                         plat::TRUE);
        pump();
        const eExpr* top = pane->expression();
        auto* row = const_cast<eDxString*>(
            dynamic_cast<const eDxString*>(c.pile ? top->getChild(0)->getChild(0) : top));
        ASSERT_NE(row, nullptr) << TreeText(top);
        row->m_justification = c.justification == kDxJustifyLeft ? kDxJustifyRight : kDxJustifyLeft;
        row->invalidate();
        pane->invalidate(nullptr);
        pump();
        const std::string before = flat(pane->expression());
        const Zone z = inWindow(pane, row);
        const RowRulerGeometry g = RulerGeometryFor(pane->resolution(), pane->lineUnit());
        pt::advanceClock(2000);
        pt::click(HandleOfWindow(pane->windowHandle()), z.left + g.toolPitch * c.tool + 3,
                  z.top + g.height() - g.strip + 2);
        pump();
        EXPECT_EQ(row->m_justification, c.justification);
        EXPECT_EQ(flat(pane->expression()), before);
        // Below the band, at the left edge of the first word: the key goes before it.
        const eExpr* word = wordWith(pane->expression(), 'a');
        const Zone w = inWindow(pane, word);
        pt::advanceClock(2000);
        pt::click(HandleOfWindow(pane->windowHandle()), w.left, (w.top + w.bottom) / 2);
        pump();
        const std::string expected = flat(pane->expression(), {word, 0});
        keys("X");
        EXPECT_EQ(flat(pane->expression()), expected);
        DoCommand(kCmdToggleRuler, 0);
        CloseAllDocuments();
        takeBackQuit();
    }
}

} // namespace
} // namespace kvtest
