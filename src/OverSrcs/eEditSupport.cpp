#include "OverSrcs/eEditSupport.h"

#include "ExprSrcs/commands/tsPrefs.h"
#include "OverPc/PERROR.h"
#include "OverPc/PUTIL.h"
#include "OverSrcs/commands/kEdit.h"
#include "OverSrcs/eAsian.h"
#include "OverSrcs/eHeader.h"
#include "OverSrcs/eLayout.h"
#include "OverSrcs/eMatrix.h"
#include "OverSrcs/eModelHooks.h"
#include "OverSrcs/ePseudo.h"
#include "OverSrcs/eSelect.h"
#include "OverSrcs/eSimpString.h"
#include "OverSrcs/eString.h"
#include "OverSrcs/eTempl.h"
#include "OverSrcs/eWord.h"

#include <algorithm>
#include <climits>
#include <set>
#include <string>
#include <utility>
#include <vector>

eExpr* LinkFirstStructure = nullptr;
eExpr* LinkSecondStructure = nullptr;
uint8_t LinkedAnything = 0;
uint8_t ChangeQueryFlag = 0;
int32_t ChangeReportedKind = 0;
uint8_t ChangeFoundFlag = 0;
eString* TextRowUnderConstruction = nullptr;
uint8_t TextColour = 0;

namespace {

eString* asRow(eExpr* node) {
    return node != nullptr && node->isString() ? static_cast<eString*>(node) : nullptr;
}

// The row that contains the row: the nearest row above its parent.
const eString* containingRow(const eString* row) {
    for (const eExpr* n = row->m_parent; n != nullptr; n = n->m_parent)
        if (n->isString())
            return static_cast<const eString*>(n);
    return nullptr;
}

bool climbReaches(const eString* row, const eString* target, std::set<const eString*>& seen) {
    if (!seen.insert(row).second)
        return false;
    for (const eString* up = containingRow(row); up != nullptr; up = containingRow(up)) {
        if (up == target)
            return true;
        for (const eString* m = up->m_ring; m != up; m = m->m_ring) {
            if (m == target)
                return true;
            if (climbReaches(m, target, seen))
                return true;
        }
    }
    return false;
}

void linkSlots(eString* keep, eString* other) {
    NoteEditedNode(other);
    LinkRows(keep, other);
    FinishEditAt(other);
    ValidateRowLinks(other);
}

void redrawAfterEdit() {
    if (TheCommandHooks().redrawAfterEdit != nullptr)
        TheCommandHooks().redrawAfterEdit();
}

void considerStructure(eExpr* node) {
    if (node == nullptr || node->childCount() == 0)
        return;
    if (LinkFirstStructure == nullptr) {
        LinkFirstStructure = node;
        return;
    }
    LinkSecondStructure = node;
    LinkStructurePair();
}

} // namespace

// ---- Linking
// --------------------------------------------------------------------------------------

bool CheckLinkNesting(const eString* row, const eString* target, bool) {
    if (row == nullptr || target == nullptr)
        return false;
    std::set<const eString*> seen;
    return climbReaches(row, target, seen);
}

bool CheckRingContains(const eString* row, const eString* target) {
    if (row == nullptr || target == nullptr)
        return false;
    for (const eString* m = row->m_ring; m != row; m = m->m_ring) {
        std::set<const eString*> seen;
        if (climbReaches(m, target, seen))
            return true;
    }
    return false;
}

bool ValidateRowLinks(eString* row) {
    if (row == nullptr || !row->isLinked())
        return true;
    if (!CheckLinkNesting(row, row, true) && !CheckRingContains(row, row))
        return true;
    UnlinkRow(row);
    Beep();
    return false;
}

void LinkStructurePair() {
    eExpr* first = LinkFirstStructure;
    eExpr* second = LinkSecondStructure;
    if (first == nullptr || second == nullptr || first == second)
        return;
    if (first->isMatrix() && second->isMatrix()) {
        // Grids of as many rows: every cell of a row, in both grids, joins the ring of the first
        // grid's first cell of that row.
        const auto* a = static_cast<const eMatrix*>(first);
        const auto* b = static_cast<const eMatrix*>(second);
        if (a->m_rows != b->m_rows)
            return;
        for (int32_t r = 0; r < a->m_rows; ++r) {
            eString* anchor = asRow(a->getCell(r, 0));
            if (anchor == nullptr)
                continue;
            for (int32_t c = 1; c < a->m_columns; ++c)
                if (eString* cell = asRow(a->getCell(r, c)))
                    linkSlots(anchor, cell);
            for (int32_t c = 0; c < b->m_columns; ++c)
                if (eString* cell = asRow(b->getCell(r, c)))
                    linkSlots(anchor, cell);
        }
        LinkedAnything = 1;
        return;
    }
    if (!first->isTemplate() || !second->isTemplate())
        return;
    int32_t codeA = 0;
    int32_t codeB = 0;
    const auto* a = static_cast<const eTemplate*>(first);
    const auto* b = static_cast<const eTemplate*>(second);
    if (!a->getTemplateCode(codeA) || !b->getTemplateCode(codeB) || codeA != codeB ||
        first->childCount() != second->childCount())
        return;
    for (int32_t i = 0; i < first->childCount(); ++i) {
        eString* slotA = asRow(first->getChild(i));
        eString* slotB = asRow(second->getChild(i));
        if (slotA != nullptr && slotB != nullptr)
            linkSlots(slotA, slotB);
    }
    LinkedAnything = 1;
}

void LinkRowsCommand(int32_t link) {
    if (ActiveRecord == nullptr)
        return;
    if (link == 0) {
        UnlinkSelectedRows();
        return;
    }
    BeginEditStep(0);
    LinkFirstStructure = nullptr;
    LinkSecondStructure = nullptr;
    LinkedAnything = 0;
    // A copy: linking may replace nothing in the list, but the dispatcher's rules hold for us too.
    std::vector<SelectionEntry> entries;
    for (int32_t i = 0; i < ActiveRecord->count(); ++i)
        entries.push_back(ActiveRecord->entry(i));
    for (const SelectionEntry& e : entries) {
        if (e.node == nullptr)
            continue;
        if (e.node->isString()) {
            const int32_t lo = std::max(0, std::min(e.start, e.end));
            const int32_t hi = std::min(e.node->childCount(), std::max(e.start, e.end));
            for (int32_t k = lo; k < hi; ++k)
                considerStructure(e.node->getChild(k));
        } else {
            considerStructure(e.node);
        }
    }
    redrawAfterEdit();
    LinkFirstStructure = nullptr;
    LinkSecondStructure = nullptr;
    if (LinkedAnything == 0)
        Fail(errNothingToLink);
}

// ---- Matrix numbering
// --------------------------------------------------------------------------------

namespace {

// The row and column of a cell of the grid (false when the node is not one of its cells).
bool cellPosition(const eMatrix* grid, const eExpr* cell, int32_t& row, int32_t& column) {
    for (int32_t r = 0; r < grid->rows(); ++r)
        for (int32_t c = 0; c < grid->columns(); ++c)
            if (grid->getCell(r, c) == cell) {
                row = r;
                column = c;
                return true;
            }
    return false;
}

// The number for a node: found from the matrices around it, `depth` levels out.
bool numberAt(const eExpr* node, int32_t start, int32_t rowStep, int32_t columnStep, int32_t depth,
              int32_t& number) {
    int32_t level = 0;
    bool found = false;
    for (const eExpr* child = node; child != nullptr && child->m_parent != nullptr;
         child = child->m_parent) {
        if (!child->m_parent->isMatrix())
            continue;
        int32_t r = 0;
        int32_t c = 0;
        if (!cellPosition(static_cast<const eMatrix*>(child->m_parent), child, r, c))
            continue;
        number = start + rowStep * r + columnStep * c;
        found = true;
        if (level++ >= depth)
            break;
    }
    return found;
}

// Puts the number's text in place of the entry's selection, as typing it would.
void insertNumber(SelectionEntry& entry, int32_t number) {
    EntryBeingActedUpon = &entry;
    FSSRecord style;
    uint8_t colour = 0;
    GetTypingFSS(style, colour);
    const std::string text = std::to_string(number);
    InsertExprAtSelection(NewWord(text, 0, style, colour), false);
    EntryBeingActedUpon = nullptr;
}

} // namespace

void NumberMatrixCells(int32_t start, int32_t rowStep, int32_t columnStep, int32_t depth) {
    if (ActiveRecord == nullptr)
        return;
    std::vector<SelectionEntry> entries;
    for (int32_t i = 0; i < ActiveRecord->count(); ++i)
        entries.push_back(ActiveRecord->entry(i));
    BeginEditStep(0);
    RedrawSelectionHighlight();
    ClearSelectionList(*ActiveRecord);
    bool numbered = false;
    for (SelectionEntry e : entries) {
        if (e.node == nullptr)
            continue;
        auto* grid = e.node->isMatrix() ? static_cast<eMatrix*>(e.node) : nullptr;
        if (grid != nullptr && e.start < e.end && e.rowStart < e.rowEnd) {
            // A block of cells: each cell's whole contents.
            for (int32_t r = e.rowStart; r < std::min(e.rowEnd, grid->rows()); ++r) {
                for (int32_t c = e.start; c < std::min(e.end, grid->columns()); ++c) {
                    eExpr* cell = grid->getCell(r, c);
                    int32_t number = 0;
                    if (cell == nullptr ||
                        !numberAt(cell, start, rowStep, columnStep, depth, number))
                        continue;
                    SelectionEntry whole{cell, 0, cell->childCount(), 0, 1};
                    if (!cell->isString())
                        cell->selectWhole(whole);
                    insertNumber(whole, number);
                    numbered = true;
                }
            }
            continue;
        }
        int32_t number = 0;
        if (!numberAt(e.node, start, rowStep, columnStep, depth, number))
            continue;
        insertNumber(e, number);
        numbered = true;
    }
    if (!numbered) {
        // Nothing changed: the selection stays as it was.
        for (const SelectionEntry& e : entries)
            SetSelection(&e);
        redrawAfterEdit();
        Fail(errNotInMatrix);
    }
    redrawAfterEdit();
}

int32_t UnlinkTree(eExpr* node) {
    if (node == nullptr)
        return 0;
    int32_t n = 0;
    if (eString* row = asRow(node); row != nullptr && row->isLinked()) {
        NoteEditedNode(row);
        UnlinkRow(row);
        FinishEditAt(row);
        ++n;
    }
    for (int32_t i = 0; i < node->childCount(); ++i)
        n += UnlinkTree(node->getChild(i));
    return n;
}

void UnlinkSelectedRows() {
    if (ActiveRecord == nullptr)
        return;
    BeginEditStep(0);
    std::vector<eExpr*> nodes;
    for (int32_t i = 0; i < ActiveRecord->count(); ++i)
        nodes.push_back(ActiveRecord->entry(i).node);
    for (eExpr* node : nodes)
        UnlinkTree(node);
    redrawAfterEdit();
}

// ---- Modify by kind
// -------------------------------------------------------------------------------

namespace {

// How far out from a selection a matrix is looked for when none lies inside it.
constexpr int kMatrixOutwardSteps = 10;
// The kind a matrix reports (a ruled grid's kind is found with it).
constexpr int32_t kMatrixKind = 3;

bool askKind(eExpr* node, int32_t kind) {
    ChangeQueryFlag = 1;
    ChangeReportedKind = node->change(true);
    // Ruled grids (kind 4) share the matrix dialog, so looking for a matrix finds them too.
    return ChangeReportedKind == kind || (kind == kMatrixKind && ChangeReportedKind == 4);
}

void refreshActivePane() {
    if (TheCommandHooks().refreshActivePane != nullptr)
        TheCommandHooks().refreshActivePane();
}

void selectAndModify(eExpr* match) {
    ChangeFoundFlag = 1;
    ChangeQueryFlag = 0;
    RedrawSelectionHighlight();
    ClearSelectionList(*ActiveRecord);
    SelectionEntry whole;
    match->selectWhole(whole);
    SetSelection(&whole);
    RedrawSelectionHighlight();
    DoCommand(kCmdModify, 0);
    refreshActivePane();
}

// The nearest node of the kind that holds the node, or the node itself (a caret between a matrix's
// columns or rows names the grid), at most `levels` levels out.
eExpr* enclosingOfKind(eExpr* node, int32_t kind, int32_t levels) {
    eExpr* n = node;
    for (int32_t k = 0; k < levels && n != nullptr && n->m_parent != nullptr; ++k, n = n->m_parent)
        if (askKind(n, kind))
            return n;
    return nullptr;
}

// Whether a search below a node passes over one of its descendants, and what that one holds: a
// node laid out with no width shows nothing of itself, and a node that holds nothing (a letter, a
// space) is looked at only alone in its slot (a letter alone in a numerator), never as one of the
// items of a row.
bool passedOver(const eExpr* n) {
    if (n->isLaidOut() && n->width() <= 0)
        return true;
    return n->childCount() == 0 && (n->m_parent == nullptr || n->m_parent->childCount() != 1);
}

// The first node of the kind among the node's descendants, in reading order: a node before what
// it holds, children in order. Kept on a stack of its own, so that no depth of nesting can exhaust
// the call stack.
eExpr* firstOfKindBelow(const eExpr* node, int32_t kind) {
    std::vector<eExpr*> pending;
    for (int32_t i = node->childCount() - 1; i >= 0; --i)
        pending.push_back(node->getChild(i));
    while (!pending.empty()) {
        eExpr* n = pending.back();
        pending.pop_back();
        if (n == nullptr || passedOver(n))
            continue;
        if (askKind(n, kind))
            return n;
        for (int32_t i = n->childCount() - 1; i >= 0; --i)
            pending.push_back(n->getChild(i));
    }
    return nullptr;
}

// Whether the entry selects nothing: a caret, or a matrix entry spanning no column or no row.
bool selectsNothing(const SelectionEntry& e) {
    if (e.node == nullptr)
        return true;
    if (e.node->isMatrix())
        return e.start == e.end || e.rowStart == e.rowEnd;
    return e.start == e.end;
}

// The part [min, max) of a range, within [0, size).
std::pair<int32_t, int32_t> span(int32_t a, int32_t b, int32_t size) {
    return {std::clamp(std::min(a, b), 0, size), std::clamp(std::max(a, b), 0, size)};
}

// What the entry selects, as whole nodes in reading order: the items of a row range, the cells of
// a block of a matrix row by row; a word selected in part stands for itself.
std::vector<eExpr*> selectedNodes(const SelectionEntry& e) {
    std::vector<eExpr*> nodes;
    eExpr* node = e.node;
    if (node == nullptr || selectsNothing(e))
        return nodes;
    if (node->isString()) {
        const auto [low, high] = span(e.start, e.end, node->childCount());
        for (int32_t i = low; i < high; ++i)
            nodes.push_back(node->getChild(i));
    } else if (node->isMatrix()) {
        const auto* grid = static_cast<const eMatrix*>(node);
        const auto [left, right] = span(e.start, e.end, grid->columns());
        const auto [top, bottom] = span(e.rowStart, e.rowEnd, grid->rows());
        for (int32_t r = top; r < bottom; ++r)
            for (int32_t c = left; c < right; ++c)
                nodes.push_back(grid->getCell(r, c));
    } else {
        nodes.push_back(node);
    }
    return nodes;
}

// The node of the kind a selection means: a matrix whose cells are selected, else the first one
// in the selected parts (a selected node itself, then what it holds).
eExpr* ofKindInSelection(int32_t kind) {
    for (int32_t i = 0; i < ActiveRecord->count(); ++i) {
        const SelectionEntry& e = ActiveRecord->entry(i);
        if (e.node != nullptr && e.node->isMatrix() && askKind(e.node, kind))
            return e.node;
        for (eExpr* n : selectedNodes(e)) {
            if (n == nullptr)
                continue;
            if (askKind(n, kind))
                return n;
            if (eExpr* found = firstOfKindBelow(n, kind))
                return found;
        }
    }
    return nullptr;
}

} // namespace

bool SearchSubtreeForKind(eExpr* node, int32_t kind) {
    if (node == nullptr || ActiveRecord == nullptr)
        return false;
    eExpr* found = firstOfKindBelow(node, kind);
    if (found == nullptr)
        return false;
    selectAndModify(found);
    return true;
}

void ModifyNodeOfKind(int32_t kind) {
    ChangeQueryFlag = 1;
    ChangeReportedKind = 0;
    ChangeFoundFlag = 0;
    if (ActiveRecord == nullptr || ActiveRecord->count() == 0 ||
        ActiveRecord->entry(0).node == nullptr) {
        ChangeQueryFlag = 0;
        NoteAlert(kChangeNotFoundMessage);
        return;
    }
    const SelectionEntry first = ActiveRecord->entry(0);
    eExpr* found = nullptr;
    if (selectsNothing(first) || LonePlaceholderRow(first) != nullptr) {
        // A caret, or a lone placeholder (selected whole as a template comes in), lies in the node
        // it is meant for: the nearest one of the kind round it, however far out.
        eExpr* from = LonePlaceholderRow(first);
        found = enclosingOfKind(from != nullptr ? from : first.node, kind, INT32_MAX);
    } else {
        found = ofKindInSelection(kind);
        // Else the first one anywhere in the node that holds the first part.
        if (found == nullptr && SearchSubtreeForKind(first.node, kind)) {
            ChangeQueryFlag = 0;
            return;
        }
        // A matrix is hard to select whole, as its cells fill it: a selection in a cell means the
        // matrix round it.
        if (found == nullptr && kind == kMatrixKind)
            found = enclosingOfKind(first.node, kind, kMatrixOutwardSteps);
    }
    if (found != nullptr)
        selectAndModify(found);
    else
        NoteAlert(kChangeNotFoundMessage);
    ChangeQueryFlag = 0;
}

// ---- The ruler command
// ------------------------------------------------------------------------------

namespace {

constexpr int kOutwardStepsToRuler = 5;
// The thin space of the special symbols.
constexpr int32_t kCmdInsertThinSpace = kCmdSymbolBase + 2;

bool firstEntryIsRuled() {
    if (ActiveRecord == nullptr || ActiveRecord->count() == 0)
        return false;
    const eExpr* node = ActiveRecord->entry(0).node;
    return node != nullptr && node->isDxString();
}

bool hasFirstEntry() {
    return ActiveRecord != nullptr && ActiveRecord->count() > 0 &&
           ActiveRecord->entry(0).node != nullptr;
}

} // namespace

void RulerCommand() {
    // The toggle flips the active record's own mode, so that is the one to test.
    const bool rulerOn = ActiveRecord != nullptr ? ActiveRecord->m_options[kOptionRuler] != 0
                                                 : ViewModes[kOptionRuler] != 0;
    if (!rulerOn)
        DoCommand(kCmdToggleRuler, 0);
    if (!hasFirstEntry()) {
        NoteAlert(kChangeNotFoundMessage);
        return;
    }
    HookCheckUserAbort();
    if (firstEntryIsRuled()) {
        DoCommand(kCmdModify, 0);
        return;
    }
    for (int k = 0; k < kOutwardStepsToRuler; ++k) {
        DoCommand(kCmdSelectOutward, 0);
        if (firstEntryIsRuled()) {
            DoCommand(kCmdModify, 0);
            return;
        }
    }
    // No ruled row around the selection: Modify on the whole expression, with a thin space
    // typed at its end first so that the expression has something to carry the ruler.
    DoCommand(kCmdSelectAll, 0);
    if (!firstEntryIsRuled()) {
        DoCommand(kCmdSelectAll, 0);
        DoCommand(kCmdMoveRight, 0);
        DoCommand(kCmdInsertThinSpace, 0);
        DoCommand(kCmdSelectAll, 0);
    }
    DoCommand(kCmdModify, 0);
}

// ---- The reset style
// ------------------------------------------------------------------------------

void ApplyResetStyleCommand() {
    InitFSSRecord(ResetStyleRecord);
    ResetStyleRecord.packed = static_cast<uint8_t>((ResetStyleRecord.packed | 0x10) & ~0x60);
    DoCommand(kCmdResetStyle, 0);
}

// ---- Text to a row
// --------------------------------------------------------------------------------

namespace {

constexpr size_t kLongestRun = 10; // a run is flushed once it holds more than this
constexpr size_t kCharsBetweenPolls = 1024;

void appendNodes(std::vector<ExprPtr>& nodes) {
    eString* row = TextRowUnderConstruction;
    if (row == nullptr || nodes.empty())
        return;
    const int32_t at = row->childCount();
    // One bigger row for the whole text rather than one per character.
    row = row->resizeRange(at, at, static_cast<int32_t>(nodes.size()));
    for (size_t i = 0; i < nodes.size(); ++i) {
        row->setChild(at + static_cast<int32_t>(i), std::move(nodes[i]));
        // The row cannot stop half-filled.
        if ((i & 255) == 255)
            NoteTerminationSignal();
    }
    nodes.clear();
    TextRowUnderConstruction = row;
}

} // namespace

eString* TextToExpr(std::string_view text) {
    if (TextRowUnderConstruction == nullptr)
        return nullptr;
    std::vector<ExprPtr> nodes;
    std::string buffer;
    int previous = -1;
    auto flush = [&] {
        if (!buffer.empty())
            nodes.push_back(NewWord(buffer, 0, DefaultStyle, TextColour));
        buffer.clear();
    };
    std::string asian;
    auto flushAsian = [&] {
        for (ExprPtr& word : NewAsianWords(asian, DefaultStyle, TextColour))
            nodes.push_back(std::move(word));
        asian.clear();
    };
    size_t sinceAsked = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        // Megabytes of text take seconds: the user, and a termination signal, can stop it. The
        // nodes made so far are freed and the row is left as it was.
        if (++sinceAsked == kCharsBetweenPolls) {
            sinceAsked = 0;
            HookCheckUserAbort();
        }
        const char ch = text[i];
        const unsigned char c = static_cast<unsigned char>(ch);
        // Characters of two bytes go together into double-byte words.
        if (HookIsLeadByte(c) && i + 1 < text.size() && text[i + 1] != '\0') {
            if (previous >= 0 && previous <= 2)
                flush();
            previous = -1;
            asian.append(text.substr(i, 2));
            ++i;
            continue;
        }
        flushAsian();
        const int cls = HookCharClassOf(c);
        if (previous >= 0 && previous <= 2 &&
            (cls != previous || previous == 2 || buffer.size() > kLongestRun))
            flush();
        if (cls == 3) {
            nodes.push_back(NewPseudo(c == '\t' ? 'T' : 's', &DefaultStyle, TextColour));
        } else {
            buffer.push_back(ch);
        }
        previous = cls;
    }
    if (previous >= 0 && previous <= 2)
        flush();
    flushAsian();
    appendNodes(nodes);
    return TextRowUnderConstruction;
}

ExprPtr TextToRow(std::string_view text, uint8_t colour) {
    TextRowUnderConstruction = NewSimpString(0).release();
    TextColour = colour;
    // The row goes to the caller, or is freed when the conversion was stopped.
    struct Finish {
        ~Finish() {
            const ExprPtr unfinished(TextRowUnderConstruction);
            TextRowUnderConstruction = nullptr;
            TextColour = 0;
        }
    } finish;
    TextToExpr(text);
    return ExprPtr(std::exchange(TextRowUnderConstruction, nullptr));
}

// ---- Glyphs of pseudo-characters

void DrawGlyphPolyline(const GlyphPoint* points, int32_t count, int32_t lineWidth, bool slant) {
    oGraphPort* port = DrawState.drawPort;
    if (port == nullptr || points == nullptr || count <= 0)
        return;
    const Zone& z = DrawState.absZone;
    const int32_t height = z.bottom - lineWidth - z.top;
    const int32_t width = z.right - (slant ? (z.bottom - z.top) / 4 : 0) - lineWidth - z.left;
    port->startLine(lineWidth);
    for (int32_t i = 0; i < count; ++i) {
        int32_t x = z.left + (points[i].x * width + 32) / 64;
        if (slant)
            x += (64 - points[i].y) * height / 256;
        const int32_t y = z.top + (points[i].y * height + 32) / 64;
        if (i == 0)
            port->moveTo(x, y);
        else
            port->lineTo(x, y);
    }
    port->endLine();
}

void MeasureGlyphText(int32_t font, std::string_view text, oMeasurePort* port, bool byInk,
                      const FontMetricWords& metrics, Zone& zone) {
    if (port == nullptr)
        return;
    const std::string sample(text);
    if (byInk) {
        Zone ink;
        port->measureString(sample.c_str(), font, ink);
        zone = ink;
        if (ink.left < 0)
            zone.right -= ink.left;
        zone.left = 0;
    } else {
        zone.right = port->stringWidth(sample.c_str(), font);
        zone.bottom = metrics.ascent;
    }
}
