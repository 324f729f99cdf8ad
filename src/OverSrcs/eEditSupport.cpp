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

constexpr int kInwardSteps = 10;
// The kind a matrix reports (a ruled grid's kind is found with it).
constexpr int32_t kMatrixKind = 3;

bool askKind(eExpr* node, int32_t kind) {
    ChangeQueryFlag = 1;
    ChangeReportedKind = node->change(true);
    // Ruled grids (kind 4) share the matrix dialog, so looking for a matrix finds them too.
    return ChangeReportedKind == kind || (kind == kMatrixKind && ChangeReportedKind == 4);
}

// A fresh copy is not laid out: its zone, copied from the original, tells whether it has a width.
bool hasWidth(const eExpr* node) {
    return node->m_zone.right > node->m_zone.left;
}

void refreshActivePane() {
    if (TheCommandHooks().refreshActivePane != nullptr)
        TheCommandHooks().refreshActivePane();
}

void modifyFound() {
    ChangeFoundFlag = 1;
    ChangeQueryFlag = 0;
    DoCommand(kCmdModify, 0);
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
// columns or rows names the grid), within as many levels as the inward walk takes.
eExpr* enclosingOfKind(eExpr* node, int32_t kind) {
    eExpr* n = node;
    for (int32_t k = 0; k < kInwardSteps && n != nullptr && n->m_parent != nullptr;
         ++k, n = n->m_parent)
        if (askKind(n, kind))
            return n;
    return nullptr;
}

// Whether the node is still in the tree (compared by address only: it may have been destroyed).
bool inTree(const eExpr* root, const eExpr* node) {
    if (root == nullptr || node == nullptr)
        return false;
    if (root == node)
        return true;
    for (int32_t i = 0; i < root->childCount(); ++i)
        if (inTree(root->getChild(i), node))
            return true;
    return false;
}

// Puts back the selection the user made (the inward and outward walk leave another one); false,
// leaving the selection alone, when one of its nodes is gone.
bool restoreSelection(const std::vector<SelectionEntry>& made) {
    if (ActiveRecord == nullptr)
        return false;
    for (const SelectionEntry& e : made)
        if (!inTree(ActiveRecord->m_root, e.node))
            return false;
    RedrawSelectionHighlight();
    ClearSelectionList(*ActiveRecord);
    for (const SelectionEntry& e : made)
        AddSelectionEntry(*ActiveRecord, e);
    RedrawSelectionHighlight();
    return true;
}

bool tryNode(eExpr* node, int32_t kind) {
    if (node->childCount() > 0 && hasWidth(node) && askKind(node, kind)) {
        selectAndModify(node);
        return true;
    }
    return false;
}

} // namespace

bool SearchSubtreeForKind(eExpr* node, int32_t kind) {
    if (node == nullptr || ActiveRecord == nullptr)
        return false;
    for (int32_t i = 0; i < node->childCount(); ++i) {
        eExpr* c = node->getChild(i);
        if (c == nullptr)
            continue;
        if (tryNode(c, kind))
            return true;
        if (c->childCount() > 1) {
            refreshActivePane();
            if (SearchSubtreeForKind(c, kind))
                return true;
        } else if (c->childCount() == 1) {
            // The only item of a row is asked even without children of its own: a character
            // alone in its row is found there.
            eExpr* g = c->getChild(0);
            if (g == nullptr || !hasWidth(g))
                continue;
            if (askKind(g, kind)) {
                selectAndModify(g);
                return true;
            }
            if (g->childCount() > 1 && SearchSubtreeForKind(g, kind))
                return true;
        }
    }
    return false;
}

void ModifyNodeOfKind(int32_t kind) {
    ChangeQueryFlag = 1;
    ChangeReportedKind = 0;
    ChangeFoundFlag = 0;
    if (ActiveRecord == nullptr || ActiveRecord->count() == 0) {
        ChangeQueryFlag = 0;
        NoteAlert(kChangeNotFoundMessage);
        return;
    }
    const SelectionEntry first = ActiveRecord->entry(0);
    ExprPtr copy = CopySelectedPart(first);
    if (!copy) {
        // A caret selects nothing to look into: the node of the kind it lies in is the one meant.
        if (eExpr* outer = enclosingOfKind(first.node, kind);
            outer != nullptr && first.node != nullptr)
            selectAndModify(outer);
        else
            NoteAlert(kChangeNotFoundMessage);
        ChangeQueryFlag = 0;
        return;
    }
    bool match = askKind(copy.get(), kind);
    if (!match && copy->childCount() > 0) {
        eExpr* child = copy->getChild(0);
        match = child != nullptr && hasWidth(child) && askKind(child, kind);
    }
    // The copy was only asked; it goes on every path.
    copy.reset();
    if (match) {
        modifyFound();
        // Lays the whole tree out again and redraws it.
        refreshActivePane();
        ChangeQueryFlag = 0;
        return;
    }
    if (!SearchSubtreeForKind(first.node, kind)) {
        std::vector<SelectionEntry> made;
        for (int32_t i = 0; i < ActiveRecord->count(); ++i)
            made.push_back(ActiveRecord->entry(i));
        for (int32_t k = 0; k < kInwardSteps && ChangeFoundFlag == 0; ++k) {
            DoCommand(kCmdSelectInward, 0);
            if (ActiveRecord == nullptr || ActiveRecord->count() == 0)
                break;
            SearchSubtreeForKind(ActiveRecord->entry(0).node, kind);
        }
        if (ChangeFoundFlag == 0 && ActiveRecord != nullptr) {
            for (int32_t k = 0; k < kInwardSteps; ++k)
                DoCommand(kCmdSelectOutward, 0);
            // Nothing of the kind inside the selection. The walk changed nothing in the tree, so
            // the nodes the user selected are still there: their selection comes back, and a
            // selection in a matrix cell modifies that matrix (a matrix is hard to select whole,
            // as its cells fill it). The other kinds are looked for only inside a selection.
            eExpr* outer = restoreSelection(made) && kind == kMatrixKind
                               ? enclosingOfKind(first.node, kind)
                               : nullptr;
            if (outer != nullptr)
                selectAndModify(outer);
            else
                NoteAlert(kChangeNotFoundMessage);
        }
    }
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

void appendNodes(std::vector<ExprPtr>& nodes) {
    eString* row = TextRowUnderConstruction;
    if (row == nullptr || nodes.empty())
        return;
    const int32_t at = row->childCount();
    // One bigger row for the whole text rather than one per character.
    row = row->resizeRange(at, at, static_cast<int32_t>(nodes.size()));
    for (size_t i = 0; i < nodes.size(); ++i)
        row->setChild(at + static_cast<int32_t>(i), std::move(nodes[i]));
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
    for (size_t i = 0; i < text.size(); ++i) {
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
    eString* row = NewSimpString(0).release();
    TextRowUnderConstruction = row;
    TextColour = colour;
    TextToExpr(text);
    ExprPtr result(TextRowUnderConstruction);
    TextRowUnderConstruction = nullptr;
    TextColour = 0;
    return result;
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
