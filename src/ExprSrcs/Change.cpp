#include "ExprSrcs/Change.h"

#include "OverPc/PERROR.h"
#include "OverSrcs/commands/kCommandScope.h"
#include "OverSrcs/commands/kEdit.h"
#include "OverSrcs/eBox.h"
#include "OverSrcs/eChar.h"
#include "OverSrcs/eDxMatrix.h"
#include "OverSrcs/eDxStr.h"
#include "OverSrcs/eEditSupport.h"
#include "OverSrcs/eFactory.h"
#include "OverSrcs/eFence.h"
#include "OverSrcs/eFraction.h"
#include "OverSrcs/eHeader.h"
#include "OverSrcs/eIntegral.h"
#include "OverSrcs/eLongDivision.h"
#include "OverSrcs/eMark.h"
#include "OverSrcs/eMatrix.h"
#include "OverSrcs/eOverstrike.h"
#include "OverSrcs/eRoot.h"
#include "OverSrcs/eSSScript.h"
#include "OverSrcs/eSelect.h"
#include "OverSrcs/eSimpString.h"
#include "OverSrcs/eString.h"
#include "OverSrcs/eTempl.h"
#include "OverSrcs/eTensor.h"
#include "OverSrcs/eTreeNode.h"
#include "OverSrcs/oWindows.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

// ---- Dialog fields ------------------------------------------------------------------------------

void SetDialogNumber(DialogText& field, int32_t value) {
    std::snprintf(field.data(), field.size(), "%d", static_cast<int>(value));
}

namespace {

// Leading blanks, an optional sign, then digits up to the first other character; saturates.
bool parseNumber(const char* text, int32_t& value) {
    const char* p = text;
    while (*p == ' ' || *p == '\t')
        ++p;
    bool negative = false;
    if (*p == '-' || *p == '+')
        negative = *p++ == '-';
    if (*p < '0' || *p > '9')
        return false;
    int64_t v = 0;
    for (; *p >= '0' && *p <= '9'; ++p)
        v = std::min<int64_t>(v * 10 + (*p - '0'), int64_t{INT32_MAX} + 1);
    if (negative)
        v = -v;
    value = static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
    return true;
}

} // namespace

bool ParseDialogNumber(const DialogText& field, int32_t& value) {
    DialogText copy = field;
    copy.back() = 0;
    return parseNumber(copy.data(), value);
}

// ---- Tables -------------------------------------------------------------------------------------

namespace {
ModifyDialogLaunchers s_launchers;
ModifyDialogItems s_items;
} // namespace

ModifyDialogLaunchers& TheModifyDialogLaunchers() {
    return s_launchers;
}

void ResetModifyDialogLaunchers() {
    s_launchers = ModifyDialogLaunchers{};
}

ModifyDialogItems& TheModifyDialogItems() {
    return s_items;
}

void ResetModifyDialogItems() {
    s_items = ModifyDialogItems{};
}

namespace {

constexpr int32_t kFractionStyleKinds[5] = {kFractionVertical, kFractionNearlyVertical,
                                            kFractionSlanted, kFractionNearlyFlat,
                                            kFractionHorizontal};

} // namespace

int32_t FractionKindOfStyle(int32_t style) {
    return kFractionStyleKinds[std::clamp(style, 0, 4)];
}

int32_t FractionStyleOfKind(int32_t kind) {
    for (int32_t i = 0; i < 5; ++i)
        if (kFractionStyleKinds[i] == kind)
            return i;
    return 0;
}

// ---- The common steps of every change -----------------------------------------------------------

namespace {

// Whether the shape of a tree changed since `before` (a TreeEditCount taken before a dialog ran):
// the node being changed may then be gone, and the change must not touch it again. The beep says
// that the command stopped.
bool treeMovedSince(uint64_t before) {
    if (TreeEditCount() == before)
        return false;
    CommandBeep();
    return true;
}

// Runs a launcher; a launcher that is not installed is a beep and counts as Cancel, as does a
// dialog that could not be made, and a dialog during which a tree changed.
template <class Record> int32_t launch(int32_t (*launcher)(Record*), Record& record) {
    if (launcher == nullptr) {
        CommandBeep();
        return 0;
    }
    const uint64_t before = TreeEditCount();
    const int32_t result = std::max(launcher(&record), 0);
    return treeMovedSince(before) ? 0 : result;
}

// The entry being acted upon and every later one are selected again, and the pass of the command
// over the entries ends here: the later entries are left without a node.
void cancelPass() {
    SelectionEntry* current = EntryBeingActedUpon;
    if (current == nullptr)
        return;
    if (current->node != nullptr)
        SetSelection(current);
    if (SavedList == nullptr || current < SavedList || current >= SavedListEnd)
        return;
    for (SelectionEntry* e = current + 1; e < SavedListEnd; ++e) {
        if (e->node != nullptr)
            SetSelection(e);
        e->node = nullptr;
    }
}

// Runs a launcher; on Cancel the pass of the command ends (cancelPass) and false is answered.
template <class Record> bool confirmed(int32_t (*launcher)(Record*), Record& record) {
    if (launch(launcher, record) != 0)
        return true;
    cancelPass();
    return false;
}

// The entry being acted upon is selected again, unchanged.
void keepActedEntry() {
    if (EntryBeingActedUpon != nullptr && EntryBeingActedUpon->node != nullptr)
        SetSelection(EntryBeingActedUpon);
}

// A node can be replaced only in a parent: without one, a beep and the entry stays as it was.
bool replaceable(const eExpr* node) {
    if (node->m_parent != nullptr)
        return true;
    CommandBeep();
    keepActedEntry();
    return false;
}

// A replacing node looks like the old one: the same colour and nudges.
void takeLook(eExpr* fresh, const eExpr* old) {
    fresh->m_colour = old->m_colour;
    fresh->m_nudgeX = old->m_nudgeX;
    fresh->m_nudgeY = old->m_nudgeY;
}

void selectWholeNode(eExpr* node) {
    if (node->m_parent != nullptr) {
        SelectRange(node->m_parent, node->m_index, node->m_index + 1, 0, 0);
    } else {
        SelectionEntry whole;
        node->selectWhole(whole);
        SetSelection(&whole);
    }
}

// Rows inside the child no longer align with rows outside it.
void unlinkChild(eExpr* child) {
    if (child != nullptr)
        child->unlinkOutside(child, true);
}

constexpr int32_t kLastDialogDelimiter = 10;
constexpr int32_t kLastDialogMark = 10;

// A radio group's answer: a button's index, or -1 (or the untouched out-of-range value) when the
// stored code had no button, which keeps the stored code.
int32_t keptCode(int32_t chosen, int32_t stored, int32_t first, int32_t last) {
    return chosen >= first && chosen <= last ? chosen : stored;
}

// The kind of a template changes in place.
void applyKind(eTemplate* node, int32_t kind) {
    NoteEditedNode(node);
    node->m_kind = kind;
    node->invalidate();
    FinishEditAt(node);
    selectWholeNode(node);
}

// The old node's children go to the slots of a new node of its class (`map[j]` is the old slot
// that fills new slot j, -1 for a placeholder); the new node takes the old one's colour, nudges
// and place in the parent, which destroys the old one with the children it kept. Returns the new
// node; null (nothing changed) when the old node has no parent to put a new one in.
eExpr* rebuild(eTemplate* old, ExprPtr fresh, const std::vector<int32_t>& map) {
    if (!replaceable(old))
        return nullptr;
    eExpr* parent = old->m_parent;
    const int32_t index = old->m_index;
    NoteEditedNode(old);
    takeLook(fresh.get(), old);
    OwnedNode<eSimpString> placeholder = NewPlaceholder(old->m_colour, false);
    for (int32_t j = 0; j < static_cast<int32_t>(map.size()) && j < fresh->childCount(); ++j) {
        const int32_t from = map[static_cast<size_t>(j)];
        ExprPtr child;
        if (from >= 0 && from < old->childCount())
            child = old->detachChild(from);
        if (child) {
            child->unlinkOutside(child.get(), true);
        } else {
            child = CopyExpr(placeholder.get());
        }
        fresh->setChild(j, std::move(child));
    }
    eExpr* result = parent->setChild(index, std::move(fresh));
    InvalidateTree(result);
    FinishEditAt(result);
    SelectRange(parent, index, index + 1, 0, 0);
    return result;
}

} // namespace

// ---- change of every class ----------------------------------------------------------------------

int32_t eExpr::change(bool query) {
    if (query)
        return kModifyKindRow; // reports nothing
    keepActedEntry();
    return 0;
}

int32_t eTemplate::change(bool query) {
    if (query)
        return kModifyKindNoDialog;
    keepActedEntry();
    return 0;
}

int32_t eHeader::change(bool query) {
    if (query)
        return kModifyKindRow; // reports nothing
    // A header is never modified.
    ::oAssertionFailure("Change", static_cast<unsigned>(__LINE__), "HedCh");
    return 0;
}

int32_t eRoot::change(bool query) {
    return eTemplate::change(query);
}

int32_t eOverstrike::change(bool query) {
    return eTemplate::change(query);
}

int32_t eLongDivision::change(bool query) {
    return eTemplate::change(query);
}

namespace {

// The Modify command of a row: an entry naming exactly one element is that element's command; a
// caret or the whole row is the row's own (true: the row runs its dialog); any other part of the
// row cannot be modified.
bool rowTakesCommand(eString* row, int32_t& result) {
    SelectionEntry* entry = EntryBeingActedUpon;
    if (entry == nullptr || entry->node != row)
        return true;
    if (entry->end - entry->start == 1 && entry->start >= 0 && entry->start < row->childCount()) {
        if (eExpr* child = row->getChild(entry->start)) {
            result = child->change(false);
            return false;
        }
    }
    if (entry->start != entry->end && (entry->start != 0 || entry->end != row->childCount()))
        Fail(errModifyPartOfRow);
    return true;
}

// A row of the other kind takes the old row's elements, colour, nudges, alignment ring, place and
// selections; the old row is destroyed and the new one selected whole.
void replaceRow(eString* old, OwnedNode<eString> fresh) {
    if (!replaceable(old))
        return;
    eExpr* parent = old->m_parent;
    const int32_t index = old->m_index;
    const int32_t count = old->childCount();
    NoteEditedNode(old);
    for (int32_t i = 0; i < count && i < fresh->childCount(); ++i)
        if (ExprPtr child = old->detachChild(i))
            fresh->setChild(i, std::move(child));
    takeLook(fresh.get(), old);
    eString* row = fresh.get();
    // The old row leaves the ring when it is destroyed; the new one stays in it.
    LinkRows(row, old);
    RetargetSelections(old, row);
    parent->setChild(index, ExprPtr(fresh.release()));
    InvalidateTree(row);
    FinishEditAt(row);
    SelectRange(row, 0, row->childCount(), 0, 0);
}

} // namespace

int32_t eString::change(bool query) {
    // The abstract row has no dialog.
    return query ? kModifyKindRow : 0;
}

int32_t eSimpString::change(bool query) {
    if (query)
        return kModifyKindRow;
    int32_t handed = 0;
    if (!rowTakesCommand(this, handed))
        return handed;
    StringDlgRecord record;
    record.ruler = 0;
    record.vertical = 3;
    record.horizontal = 0;
    if (!confirmed(TheModifyDialogLaunchers().runEditStringDlg, record))
        return 0;
    if (record.ruler == 0) {
        FinishEditAt(this);
        SelectRange(this, 0, m_count, 0, 0);
        return 0;
    }
    OwnedNode<eDxString> ruled = NewDxString(m_count, nullptr);
    ruled->m_verticalAlign = static_cast<uint8_t>(std::clamp(record.vertical, 0, 4));
    ruled->m_justification = static_cast<uint8_t>(std::clamp(record.horizontal, 0, 2));
    ruled->m_followRuler = record.ruler == 1 ? 1 : 0;
    replaceRow(this, OwnedNode<eString>(ruled.release()));
    return 0;
}

int32_t eDxString::change(bool query) {
    if (query)
        return kModifyKindRuledRow;
    int32_t handed = 0;
    if (!rowTakesCommand(this, handed))
        return handed;
    StringDlgRecord record;
    record.ruler = m_followRuler != 0 ? 1 : 2;
    record.vertical = m_verticalAlign;
    record.horizontal = m_justification;
    if (!confirmed(TheModifyDialogLaunchers().runEditStringDlg, record))
        return 0;
    if (record.ruler == 0) {
        replaceRow(this, OwnedNode<eString>(NewSimpString(m_count).release()));
        return 0;
    }
    NoteEditedNode(this);
    m_verticalAlign = static_cast<uint8_t>(std::clamp(record.vertical, 0, 4));
    m_justification = static_cast<uint8_t>(std::clamp(record.horizontal, 0, 2));
    m_followRuler = record.ruler == 1 ? 1 : 0;
    invalidate();
    FinishEditAt(this);
    SelectRange(this, 0, m_count, 0, 0);
    return 0;
}

int32_t eChar::change(bool query) {
    if (query)
        return kModifyKindCharacter;
    CommandHooks& hooks = TheCommandHooks();
    storedStyle(SharedStyleRecord);
    if (hooks.askFont == nullptr) {
        UnwiredHook("askFont");
        cancelPass();
        return 0;
    }
    const uint64_t before = TreeEditCount();
    if (!hooks.askFont(0, kAskFontTitleString) || treeMovedSince(before)) {
        cancelPass();
        return 0;
    }
    NoteEditedNode(this);
    setStyle(SharedStyleRecord);
    invalidate();
    FinishEditAt(this);
    selectWholeNode(this);
    return 0;
}

int32_t eFence::change(bool query) {
    if (query)
        return kModifyKindFence;
    DelimiterDlgRecord record;
    record.closing = closingType();
    record.opening = openingType();
    record.horizontal = isHorizontal() ? 1 : 0;
    if (!confirmed(TheModifyDialogLaunchers().runEditDelimiterDlg, record))
        return 0;
    // A side whose code no button shows (11-15, valid in files) comes back unchosen: it keeps its
    // code.
    const int32_t opening = keptCode(record.opening, openingType(), 0, kLastDialogDelimiter);
    const int32_t closing = keptCode(record.closing, closingType(), 0, kLastDialogDelimiter);
    unlinkChild(getChild(0));
    applyKind(this, FenceKind(opening, closing, record.horizontal != 0));
    return 0;
}

int32_t eMark::change(bool query) {
    if (query)
        return kModifyKindMark;
    EmbellishmentDlgRecord record;
    record.fixedWidth = (m_kind & kMarkFixedWidth) != 0 ? 1 : 0;
    record.mark = mark() - 1;
    record.placement = (m_kind >> 4) & 3;
    if (!confirmed(TheModifyDialogLaunchers().runEditEmbellishmentDlg, record))
        return 0;
    const int32_t fixed = record.fixedWidth != 0 ? 1 : 0;
    const int32_t placement = keptCode(record.placement, (m_kind >> 4) & 3, 0, 3);
    // Codes 0 and 12-15 have no button: left unchosen, the node keeps its code.
    const int32_t markType = keptCode(record.mark, mark() - 1, 0, kLastDialogMark) + 1;
    unlinkChild(getChild(0));
    applyKind(this, (fixed * 4 + placement) * 16 + markType);
    return 0;
}

int32_t eFraction::change(bool query) {
    if (query)
        return kModifyKindFraction;
    FractionDlgRecord record;
    record.style = FractionStyleOfKind(m_kind);
    if (!confirmed(TheModifyDialogLaunchers().runEditFractionDlg, record))
        return 0;
    for (int32_t i = 0; i < m_count; ++i) {
        unlinkChild(getChild(i));
        if (eExpr* child = getChild(i))
            InvalidateTree(child);
    }
    applyKind(this, FractionKindOfStyle(record.style));
    return 0;
}

int32_t eIntegral::change(bool query) {
    if (query)
        return kModifyKindIntegral;
    IntegralDlgRecord record;
    // The three sign bits read as one number; the bar together with a contour bit (5 to 7) has
    // no button.
    constexpr int32_t kSignBits = kIntegralContour | kIntegralSecondContour | kIntegralEvaluateAt;
    record.sign = ((m_kind & kIntegralContour) != 0 ? 1 : 0) +
                  ((m_kind & kIntegralSecondContour) != 0 ? 2 : 0) +
                  ((m_kind & kIntegralEvaluateAt) != 0 ? 4 : 0);
    SetDialogNumber(record.count, (m_kind & kIntegralCountMask) + 1);
    record.limitsAboveBelow = (m_kind & kIntegralLimitsAboveBelow) != 0 ? 1 : 0;
    record.smallSign = (m_kind & kIntegralSmallSign) != 0 ? 1 : 0;
    if (!confirmed(TheModifyDialogLaunchers().runEditIntegralDlg, record))
        return 0;
    const bool signChosen = record.sign >= 0 && record.sign <= kIntegralSignEvaluateAt;
    const int32_t sign = signChosen ? record.sign : -1;
    const int32_t most = sign == kIntegralSignEvaluateAt ? 1 : kIntegralMaxSigns;
    int32_t count = 1;
    if (!ParseDialogNumber(record.count, count) || count < 1 || count > most) {
        // The dialog keeps the count in range; whatever else arrives is brought into it.
        CommandBeep();
        count = std::clamp(count, 1, most);
    }
    int32_t kind = count - 1;
    if (sign == 1 || sign == 3)
        kind |= kIntegralContour;
    if (sign == 2 || sign == 3)
        kind |= kIntegralSecondContour;
    if (sign == kIntegralSignEvaluateAt)
        kind |= kIntegralEvaluateAt;
    if (!signChosen)
        kind |= m_kind & kSignBits;
    if (record.limitsAboveBelow != 0)
        kind |= kIntegralLimitsAboveBelow;
    if (record.smallSign != 0)
        kind |= kIntegralSmallSign;
    unlinkOutside(this, true);
    applyKind(this, kind);
    return 0;
}

int32_t eBox::change(bool query) {
    if (query)
        return kModifyKindBox;
    BoxDlgRecord record;
    record.thickness = m_kind & kBoxThicknessMask;
    record.shadow = (m_kind & kBoxShadow) == 0 ? 0 : (m_kind & kBoxShadowLeft) != 0 ? 1 : 2;
    record.quantiseHeight = (m_kind & kBoxQuantiseHeight) != 0 ? 1 : 0;
    record.quantiseWidth = (m_kind & kBoxQuantiseWidth) != 0 ? 1 : 0;
    if (!confirmed(TheModifyDialogLaunchers().runEditBoxDlg, record))
        return 0;
    int32_t kind = std::clamp(record.thickness, 0, 15);
    if (record.shadow == 1)
        kind |= kBoxShadow | kBoxShadowLeft;
    else if (record.shadow == 2)
        kind |= kBoxShadow;
    if (record.quantiseHeight != 0)
        kind |= kBoxQuantiseHeight;
    if (record.quantiseWidth != 0)
        kind |= kBoxQuantiseWidth;
    unlinkChild(getChild(0));
    applyKind(this, kind);
    return 0;
}

int32_t eSSScript::change(bool query) {
    if (query)
        return kModifyKindScripts;
    ScriptsDlgRecord record;
    record.prescripts = (m_kind & kScriptPrescripts) != 0 ? 1 : 0;
    record.limits = (m_kind & kScriptLimits) != 0 ? 1 : 0;
    record.operand = (m_kind & kScriptOperator) != 0 ? 1 : 0;
    record.subSup = (m_kind & kScriptNoScripts) == 0 ? 1 : 0;
    if (!confirmed(TheModifyDialogLaunchers().runEditScriptsDlg, record))
        return 0;
    const int32_t b0 = record.prescripts != 0 ? 1 : 0;
    const int32_t b1 = record.limits != 0 ? 1 : 0;
    const int32_t b2 = record.operand != 0 ? 1 : 0;
    const int32_t b3 = record.subSup != 0 ? 1 : 0;
    const int32_t count = b2 + 1 + 2 * (b0 + b1 + b3);
    const int32_t kind = b0 | (b1 << 1) | (b2 << 2) | (b3 == 0 ? kScriptNoScripts : 0);
    // The base keeps its role (and the operand with it when both forms have one); the script slots
    // are refilled from the old script children in their order, then with placeholders.
    const bool oldOperand = (m_kind & kScriptOperator) != 0 && m_count >= 2;
    const int32_t oldBase = oldOperand ? 1 : 0;
    std::vector<int32_t> map(static_cast<size_t>(count), -1);
    int32_t j = 0;
    if (b2 != 0)
        map[static_cast<size_t>(j++)] = oldOperand ? 0 : -1;
    map[static_cast<size_t>(j++)] = oldBase;
    for (int32_t from = oldBase + 1; j < count && from < m_count; ++from)
        map[static_cast<size_t>(j++)] = from;
    OwnedNode<eSSScript> fresh = NewSSScript(nullptr, nullptr, nullptr, count);
    fresh->m_kind = kind;
    rebuild(this, std::move(fresh), map);
    return 0;
}

namespace {

// The count of a tensor or tree-node dialog. A field left as it was shown keeps the node's own
// count, which files can hold outside the range the dialog offers (a base alone reads 0); a field
// the user changed is brought into range.
int32_t expandableCount(const DialogText& shown, const DialogText& text, int32_t own) {
    if (std::strncmp(shown.data(), text.data(), text.size()) == 0)
        return own;
    int32_t count = 1;
    if (!ParseDialogNumber(text, count) || count < 1 || count > kMaxExpandableCount) {
        CommandBeep();
        count = std::clamp(count, 1, kMaxExpandableCount);
    }
    return count;
}

std::vector<int32_t> inOrder(int32_t count) {
    std::vector<int32_t> map(static_cast<size_t>(count));
    for (int32_t i = 0; i < count; ++i)
        map[static_cast<size_t>(i)] = i;
    return map;
}

} // namespace

int32_t eTensor::change(bool query) {
    if (query)
        return kModifyKindTensor;
    TensorDlgRecord record;
    SetDialogNumber(record.count, m_count - 1);
    for (int32_t i = 0; i < 7; ++i)
        record.upper[static_cast<size_t>(i)] = (m_kind & (1 << (i + 1))) != 0 ? 1 : 0;
    const TensorDlgRecord shown = record;
    if (!confirmed(TheModifyDialogLaunchers().runEditTensorDlg, record))
        return 0;
    const int32_t own = std::max(m_count - 1, 0);
    const int32_t count = expandableCount(shown.count, record.count, own);
    // An OK on the dialog as it opened changes nothing.
    if (count == own && record.upper == shown.upper) {
        keepActedEntry();
        return 0;
    }
    int32_t kind = 0;
    for (int32_t i = 0; i < 7; ++i)
        if (record.upper[static_cast<size_t>(i)] != 0)
            kind |= 1 << (i + 1);
    OwnedNode<eTensor> fresh = NewTensor(nullptr, count + 1);
    fresh->m_kind = kind;
    rebuild(this, std::move(fresh), inOrder(count + 1));
    return 0;
}

int32_t eTreeNode::change(bool query) {
    if (query)
        return kModifyKindTreeNode;
    TreeNodeDlgRecord record;
    SetDialogNumber(record.count, m_count - 1);
    for (int32_t i = 0; i < 7; ++i)
        record.intermediate[static_cast<size_t>(i)] = (m_kind & (1 << (i + 1))) != 0 ? 1 : 0;
    record.sides = (m_kind & kTreeTurned) != 0 ? 1 : 0;
    const TreeNodeDlgRecord shown = record;
    if (!confirmed(TheModifyDialogLaunchers().runEditTreeNodeDlg, record))
        return 0;
    const int32_t own = std::max(m_count - 1, 0);
    const int32_t count = expandableCount(shown.count, record.count, own);
    // An OK on the dialog as it opened changes nothing.
    if (count == own && record.intermediate == shown.intermediate && record.sides == shown.sides) {
        keepActedEntry();
        return 0;
    }
    int32_t kind = 0;
    for (int32_t i = 0; i < 7; ++i)
        if (record.intermediate[static_cast<size_t>(i)] != 0)
            kind |= 1 << (i + 1);
    if (record.sides != 0)
        kind |= kTreeTurned;
    OwnedNode<eTreeNode> fresh = NewTreeNode(nullptr, count + 1);
    fresh->m_kind = kind;
    rebuild(this, std::move(fresh), inOrder(count + 1));
    return 0;
}

// ---- Matrices -----------------------------------------------------------------------------------

namespace {

bool anyLine() {
    for (size_t i = 0; i < MatrixState.columnLines.size(); ++i)
        if (MatrixState.columnLines[i] != 0 || MatrixState.rowLines[i] != 0)
            return true;
    return false;
}

// The delimiters dialog edits the shared line words in place; Cancel puts them back.
void runLinesStep() {
    const auto columnLines = MatrixState.columnLines;
    const auto rowLines = MatrixState.rowLines;
    const uint8_t present = MatrixState.linesPresent;
    MatrixLinesDlgRecord record;
    record.lineKind = 0;
    if (launch(TheModifyDialogLaunchers().runMatrixDelimitersDlg, record) == 0) {
        MatrixState.columnLines = columnLines;
        MatrixState.rowLines = rowLines;
        MatrixState.linesPresent = present;
    }
}

// The matrix dialog, run again after the delimiters step as long as its lines button closes it;
// false on Cancel.
bool runMatrixDialogs(MatrixDlgRecord& record) {
    const uint64_t before = TreeEditCount();
    for (;;) {
        const int32_t result = launch(TheModifyDialogLaunchers().runEditMatrixDlg, record);
        if (result != kMatrixLinesButtonResult)
            return result != 0;
        runLinesStep();
        if (TreeEditCount() != before)
            return false;
    }
}

// The size the dialog gives: each count 1 to 32000 and at most 32000 cells; false with a beep
// otherwise.
bool chosenSize(const MatrixDlgRecord& record, int32_t& rows, int32_t& columns) {
    if (!ParseDialogNumber(record.rows, rows) || !ParseDialogNumber(record.columns, columns) ||
        rows < 1 || columns < 1 || rows > kMaxMatrixCells / columns) {
        CommandBeep();
        return false;
    }
    return true;
}

// The new grid takes the old one's cells where both sizes have them (each cell leaving alignment
// rings that reach outside it) and placeholders elsewhere, its colour, nudges and place; the whole
// grid is selected.
void rebuildGrid(eMatrix* old, OwnedNode<eMatrix> fresh) {
    eExpr* parent = old->m_parent;
    const int32_t index = old->m_index;
    NoteEditedNode(old);
    takeLook(fresh.get(), old);
    OwnedNode<eSimpString> placeholder = NewPlaceholder(old->m_colour, false);
    for (int32_t r = 0; r < fresh->rows(); ++r) {
        for (int32_t c = 0; c < fresh->columns(); ++c) {
            ExprPtr cell;
            if (r < old->rows() && c < old->columns())
                cell = old->detachCell(r, c);
            if (cell)
                cell->unlinkOutside(cell.get(), true);
            else
                cell = CopyExpr(placeholder.get());
            fresh->setCell(r, c, std::move(cell));
        }
    }
    eMatrix* grid = fresh.get();
    parent->setChild(index, ExprPtr(fresh.release()));
    InvalidateTree(grid);
    FinishEditAt(grid);
    SelectRange(grid, 0, grid->columns(), 0, grid->rows());
}

// The matrix Modify of both grid classes, once the record and the shared line words hold the
// grid's attributes: the dialogs, then a plain grid when nothing asks for more, else a ruled grid
// with the chosen attributes. `oldStyles` are the ruled grid's own words (null for a plain grid),
// whose upper halves the dialogs never show and which are carried over.
void changeGrid(eMatrix* grid, MatrixDlgRecord& record, const uint32_t* oldHStyles,
                const uint32_t* oldVStyles) {
    if (!replaceable(grid))
        return;
    // Set by any edit of the lines (a line drawn and erased again included), cleared by the
    // preview's reset: an edited grid stays ruled even with no line left.
    MatrixState.linesPresent = anyLine() ? 1 : 0;
    MatrixState.columns = grid->columns();
    MatrixState.rows = grid->rows();
    int32_t rows = 0;
    int32_t columns = 0;
    if (!runMatrixDialogs(record) || !chosenSize(record, rows, columns)) {
        cancelPass();
        return;
    }
    const bool plain = record.vertical == 1 && record.horizontal == 1 && record.unequalRows == 0 &&
                       record.unequalColumns == 0 && record.removeOuterSpace == 0 &&
                       MatrixState.linesPresent == 0;
    if (plain) {
        rebuildGrid(grid, OwnedNode<eMatrix>(NewSimpMatrix(rows, columns).release()));
        return;
    }
    OwnedNode<eDxMatrix> ruled = NewDxMatrix(rows, columns, nullptr);
    ruled->m_vAlign = static_cast<uint8_t>(std::clamp(record.vertical, 0, 2));
    if (record.horizontal >= 3) {
        // Aligned on a character: the byte is the character itself. With no character typed
        // there is nothing to align on and the byte is 0, so the columns read as left-justified.
        const auto c = static_cast<unsigned char>(record.alignChar[0]);
        ruled->m_hAlign = c >= 3 ? c : static_cast<uint8_t>(0);
    } else {
        ruled->m_hAlign = static_cast<uint8_t>(std::max(record.horizontal, 0));
    }
    ruled->m_separateRows = record.unequalRows != 0 ? 1 : 0;
    ruled->m_separateColumns = record.unequalColumns != 0 ? 1 : 0;
    ruled->m_tight = record.removeOuterSpace != 0 ? 1 : 0;
    for (size_t i = 0; i < kLinePreviewCells; ++i) {
        const uint32_t hHigh = oldHStyles != nullptr ? oldHStyles[i] & 0xFFFF0000u : 0;
        const uint32_t vHigh = oldVStyles != nullptr ? oldVStyles[i] & 0xFFFF0000u : 0;
        ruled->m_hStyles[i] = hHigh | MatrixState.rowLines[i];
        ruled->m_vStyles[i] = vHigh | MatrixState.columnLines[i];
    }
    rebuildGrid(grid, OwnedNode<eMatrix>(ruled.release()));
}

} // namespace

int32_t eMatrix::change(bool query) {
    // The abstract grid has no dialog.
    return query ? kModifyKindMatrix : 0;
}

int32_t eSimpMatrix::change(bool query) {
    if (query)
        return kModifyKindMatrix;
    MatrixDlgRecord record;
    SetDialogNumber(record.columns, m_columns);
    SetDialogNumber(record.rows, m_rows);
    record.vertical = 1;
    record.unequalRows = 0;
    record.horizontal = 1;
    std::snprintf(record.alignChar.data(), record.alignChar.size(), "=");
    record.unequalColumns = 0;
    record.removeOuterSpace = 0;
    MatrixState.columnLines.fill(0);
    MatrixState.rowLines.fill(0);
    changeGrid(this, record, nullptr, nullptr);
    return 0;
}

int32_t eDxMatrix::change(bool query) {
    if (query)
        return kModifyKindRuledMatrix;
    MatrixDlgRecord record;
    SetDialogNumber(record.columns, m_columns);
    SetDialogNumber(record.rows, m_rows);
    // Any value other than top and baseline is bottom.
    record.vertical = m_vAlign <= 1 ? m_vAlign : 2;
    record.unequalRows = m_separateRows != 0 ? 1 : 0;
    if (m_hAlign >= 3) {
        record.horizontal = 3;
        record.alignChar[0] = static_cast<char>(m_hAlign);
        record.alignChar[1] = 0;
    } else {
        record.horizontal = m_hAlign;
        std::snprintf(record.alignChar.data(), record.alignChar.size(), "=");
    }
    record.unequalColumns = m_separateColumns != 0 ? 1 : 0;
    record.removeOuterSpace = m_tight != 0 ? 1 : 0;
    for (size_t i = 0; i < kLinePreviewCells; ++i) {
        MatrixState.rowLines[i] = static_cast<uint16_t>(m_hStyles[i] & 0xFFFF);
        MatrixState.columnLines[i] = static_cast<uint16_t>(m_vStyles[i] & 0xFFFF);
    }
    // The old words stay readable after this grid is replaced.
    uint32_t hStyles[kLinePreviewCells];
    uint32_t vStyles[kLinePreviewCells];
    std::copy(std::begin(m_hStyles), std::end(m_hStyles), hStyles);
    std::copy(std::begin(m_vStyles), std::end(m_vStyles), vStyles);
    changeGrid(this, record, hStyles, vStyles);
    return 0;
}

// ---- Menu entries -------------------------------------------------------------------------------

void ModifyCharCommand() {
    ModifyNodeOfKind(kModifyKindCharacter);
}
void ModifyScriptsCommand() {
    ModifyNodeOfKind(kModifyKindScripts);
}
void ModifyTensorCommand() {
    ModifyNodeOfKind(kModifyKindTensor);
}
void ModifyMatrixCommand() {
    ModifyNodeOfKind(kModifyKindMatrix);
}
void ModifyFenceCommand() {
    ModifyNodeOfKind(kModifyKindFence);
}
void ModifyMarkCommand() {
    ModifyNodeOfKind(kModifyKindMark);
}
void ModifyIntegralCommand() {
    ModifyNodeOfKind(kModifyKindIntegral);
}
void ModifyBoxCommand() {
    ModifyNodeOfKind(kModifyKindBox);
}
void ModifyFractionCommand() {
    ModifyNodeOfKind(kModifyKindFraction);
}
void ModifyTreeNodeCommand() {
    ModifyNodeOfKind(kModifyKindTreeNode);
}
void ModifyRootCommand() {
    if (TheCommandHooks().rootSettingsCommand != nullptr)
        TheCommandHooks().rootSettingsCommand();
    else
        UnwiredHook("rootSettingsCommand");
}

// ---- Shared matrix state ------------------------------------------------------------------------

MatrixModifyState MatrixState;

void ResetMatrixModifyState() {
    MatrixState = MatrixModifyState{};
}

int32_t LineStyleAt(uint16_t word, int32_t column) {
    if (column < 0 || column >= kLinePreviewCells)
        return kMatrixLineNone;
    return (word >> (2 * column)) & 3;
}

uint16_t WithLineStyle(uint16_t word, int32_t column, int32_t style) {
    if (column < 0 || column >= kLinePreviewCells)
        return word;
    const int shift = 2 * column;
    return static_cast<uint16_t>((word & ~(3u << shift)) |
                                 ((static_cast<unsigned>(style) & 3u) << shift));
}

// ---- Dialog support -----------------------------------------------------------------------------

namespace {

constexpr Color kCellGrey{191, 191, 191, 255};
constexpr Color kPickerGrey{64, 64, 64, 255};
constexpr Color kPickerBlack{0, 0, 0, 255};
// The port's dotted line style.
constexpr int32_t kPortDottedLine = 1;

int radioIndex(int first, int last) {
    const ModifyDialogItems& items = TheModifyDialogItems();
    return items.getRadioIndex != nullptr ? items.getRadioIndex(first, last) : -1;
}

void setRadio(int first, int last, int index) {
    if (TheModifyDialogItems().setRadioGroup != nullptr)
        TheModifyDialogItems().setRadioGroup(first, last, index);
}

void enableRange(int first, int last, bool enable) {
    if (TheModifyDialogItems().enableItem == nullptr)
        return;
    for (int id = first; id <= last; ++id)
        TheModifyDialogItems().enableItem(id, enable);
}

std::string itemText(int id) {
    const ModifyDialogItems& items = TheModifyDialogItems();
    return items.getItemText != nullptr ? items.getItemText(id) : std::string();
}

void setItemNumber(int id, int32_t value) {
    if (TheModifyDialogItems().setItemText != nullptr)
        TheModifyDialogItems().setItemText(id, std::to_string(value).c_str());
}

// The item as a number; text that is no number reads 0.
int32_t itemNumber(int id) {
    int32_t value = 0;
    if (!parseNumber(itemText(id).c_str(), value))
        return 0;
    return value;
}

// A number field kept within [low, high]: out of range it becomes the nearest limit, written back,
// with a beep. The text written back is selected, so the next key typed replaces it rather than
// joining it (a field emptied reads 1; the 3 typed next must give 3, not 31).
void clampField(int id, int32_t low, int32_t high) {
    const int32_t value = itemNumber(id);
    if (value >= low && value <= high)
        return;
    const std::string text = std::to_string(std::clamp(value, low, high));
    const ModifyDialogItems& items = TheModifyDialogItems();
    if (items.setItemText != nullptr)
        items.setItemText(id, text.c_str());
    if (items.setEditSelection != nullptr)
        items.setEditSelection(id, 0, static_cast<int>(text.size()));
    CommandBeep();
}

void strokeLine(oGraphPort& port, int32_t width, const Color& color, int32_t style, int32_t x1,
                int32_t y1, int32_t x2, int32_t y2) {
    port.startDeluxeLine(width, color, style, kDrawPaint);
    port.moveTo(x1, y1);
    port.lineTo(x2, y2);
    port.endLine();
}

void strokeGridLine(oGraphPort& port, int32_t style, int32_t x1, int32_t y1, int32_t x2,
                    int32_t y2) {
    if (style == kMatrixLineNone)
        return;
    strokeLine(port, port.lineUnit(), port.foreColor(),
               style == kMatrixLineDotted ? kPortDottedLine : kLineSolid, x1, y1, x2, y2);
}

// The preview's unit: a seventeenth of the control, never 0 so that clicks can divide by it.
void previewUnits(const Zone& zone) {
    MatrixState.halfWidth = std::max((zone.right - zone.left) / 17, 1);
    MatrixState.halfHeight = std::max((zone.bottom - zone.top) / 17, 1);
}

void redrawLinesPreview() {
    oWidget* control = MatrixState.previewControl;
    if (control == nullptr)
        return;
    control->setPort();
    DrawMatrixLinesPreview(control);
    control->unsetPort();
}

void redrawPicker(oGraphPort* control) {
    if (control == nullptr)
        return;
    control->setPort();
    DrawMatrixSizePicker(control);
    control->unsetPort();
}

// A size field: 1 to kMaxMatrixCount, anything else a beep and 1.
int32_t matrixCount(int id) {
    int32_t value = 0;
    if (!parseNumber(itemText(id).c_str(), value) || value < 1 || value > kMaxMatrixCount) {
        CommandBeep();
        return 1;
    }
    return value;
}

} // namespace

void UpdateStringDialogItems() {
    const int ruler = radioIndex(kStringRulerFirst, kStringRulerLast);
    if (ruler == 0) {
        setRadio(kStringVerticalFirst, kStringVerticalLast, 3);
        setRadio(kStringHorizontalFirst, kStringHorizontalLast, 0);
    }
    enableRange(kStringVerticalFirst, kStringVerticalLast, ruler != 0);
    enableRange(kStringHorizontalFirst, kStringHorizontalLast, ruler == 2);
}

void InitMatrixLinesControl(oWidget* control) {
    MatrixState.currentLineKind = radioIndex(kMatrixLineKindFirst, kMatrixLineKindLast) + 1;
    // With no button on, the first kind.
    if (MatrixState.currentLineKind < kMatrixLineSolid)
        MatrixState.currentLineKind = kMatrixLineSolid;
    MatrixState.lastColumn = kNoLastClick;
    MatrixState.lastRow = kNoLastClick;
    MatrixState.firstToggle = true;
    MatrixState.previewControl = control;
    if (control == nullptr)
        return;
    previewUnits(control->bounds());
    control->trackDrag([](oPoint point) { MatrixLinesPreviewClick(point); }, [](oPoint) {}, nullptr,
                       1);
}

void DrawMatrixLinesPreview(oGraphPort* control) {
    if (control == nullptr)
        return;
    const Zone zone = control->bounds();
    previewUnits(zone);
    const int32_t ux = MatrixState.halfWidth;
    const int32_t uy = MatrixState.halfHeight;
    control->eraseZone(zone);
    const int32_t x0 = zone.left + ux / 2;
    const int32_t y0 = zone.top + uy / 2;
    const int32_t rows = MatrixState.rows;
    const int32_t columns = MatrixState.columns;
    const int32_t lastRow = std::min(rows, kLinePreviewCells - 1);
    const int32_t lastColumn = std::min(columns, kLinePreviewCells - 1);
    for (int32_t r = 0; r <= lastRow; ++r) {
        for (int32_t c = 0; c <= lastColumn; ++c) {
            const int32_t xc = x0 + 2 * ux * c;
            const int32_t yr = y0 + 2 * uy * r;
            const int32_t xn = xc + 2 * ux;
            const int32_t yn = yr + 2 * uy;
            if (r < rows && c < columns)
                control->paintZone(Zone{xc + 4, yr + 4, xn - 4, yn - 4, 0, 0}, kCellGrey);
            const size_t w = static_cast<size_t>(r);
            if (r < rows)
                strokeGridLine(*control, LineStyleAt(MatrixState.columnLines[w], c), xc, yr, xc,
                               yn);
            if (c < columns)
                strokeGridLine(*control, LineStyleAt(MatrixState.rowLines[w], c), xc, yr, xn, yr);
        }
    }
}

void MatrixLinesPreviewClick(oPoint point) {
    if (point.x < 0 || point.y < 0)
        return;
    const int32_t a = point.x / MatrixState.halfWidth;
    const int32_t b = point.y / MatrixState.halfHeight;
    // Inside a cell (both even) or on a crossing (both odd) there is no line.
    if ((a & 1) == (b & 1))
        return;
    const int32_t c = a / 2;
    const int32_t r = b / 2;
    const bool vertical = (b & 1) != 0;
    if (c >= kLinePreviewCells || r >= kLinePreviewCells || c > MatrixState.columns ||
        r > MatrixState.rows)
        return;
    if (vertical ? r >= MatrixState.rows : c >= MatrixState.columns)
        return;
    if (c == MatrixState.lastColumn && r == MatrixState.lastRow &&
        vertical == MatrixState.lastVertical)
        return;
    uint16_t& word =
        (vertical ? MatrixState.columnLines : MatrixState.rowLines)[static_cast<size_t>(r)];
    // A drag that starts on a line of the chosen kind erases instead.
    if (MatrixState.firstToggle && LineStyleAt(word, c) == MatrixState.currentLineKind)
        MatrixState.currentLineKind = kMatrixLineNone;
    word = WithLineStyle(word, c, MatrixState.currentLineKind);
    MatrixState.lastColumn = c;
    MatrixState.lastRow = r;
    MatrixState.lastVertical = vertical;
    MatrixState.firstToggle = false;
    MatrixState.linesPresent = 1;
    redrawLinesPreview();
}

void ResetMatrixLinesPreview(oGraphPort* control) {
    MatrixState.columnLines.fill(0);
    MatrixState.rowLines.fill(0);
    if (control != nullptr) {
        control->setPort();
        DrawMatrixLinesPreview(control);
        control->unsetPort();
    }
    MatrixState.linesPresent = 0;
}

void DrawMatrixSizePicker(oGraphPort* control) {
    if (control == nullptr)
        return;
    const Zone zone = control->bounds();
    const int32_t unit = std::max(control->lineUnit(), 1);
    const int32_t w = zone.right - zone.left - unit;
    const int32_t h = zone.bottom - zone.top - unit;
    control->eraseZone(zone);
    if (w <= 0 || h <= 0)
        return;
    const int32_t columns = std::clamp(MatrixState.columns, 0, kLinePreviewCells);
    const int32_t rows = std::clamp(MatrixState.rows, 0, kLinePreviewCells);
    control->paintZone(Zone{zone.left, zone.top, zone.left + w * columns / kLinePreviewCells,
                            zone.top + h * rows / kLinePreviewCells, 0, 0},
                       kCellGrey);
    for (int32_t i = 0; i <= kLinePreviewCells; ++i) {
        const Color& color = i % 4 == 0 ? kPickerBlack : kPickerGrey;
        const int32_t x = zone.left + i * w / kLinePreviewCells;
        const int32_t y = zone.top + i * h / kLinePreviewCells;
        strokeLine(*control, unit, color, kLineSolid, x, zone.top, x, zone.top + h);
        strokeLine(*control, unit, color, kLineSolid, zone.left, y, zone.left + w, y);
    }
}

void MatrixSizePickerClick(oGraphPort* control, oPoint point, int rowsItem, int columnsItem) {
    if (control == nullptr)
        return;
    const Zone& zone = control->bounds();
    const int32_t unit = std::max(control->lineUnit(), 1);
    const int32_t w = zone.right - zone.left - unit;
    const int32_t h = zone.bottom - zone.top - unit;
    const int32_t x = point.x - zone.left;
    const int32_t y = point.y - zone.top;
    if (w <= 0 || h <= 0 || x < 0 || y < 0)
        return;
    const int32_t column = x * kLinePreviewCells / w;
    const int32_t row = y * kLinePreviewCells / h;
    if (column >= kLinePreviewCells || row >= kLinePreviewCells)
        return;
    setItemNumber(columnsItem, column + 1);
    setItemNumber(rowsItem, row + 1);
    MatrixState.columns = column + 1;
    MatrixState.rows = row + 1;
    redrawPicker(control);
}

void ValidateMatrixSize(oGraphPort* control, int rowsItem, int columnsItem) {
    MatrixState.columns = matrixCount(columnsItem);
    MatrixState.rows = matrixCount(rowsItem);
    redrawPicker(control);
}

void InitMatrixDialogFields() {
    setRadio(kMatrixHorizontalFirst, kMatrixHorizontalLast, 3);
    const std::string text = itemText(kMatrixAlignCharItem);
    if (text.size() > 1 && TheModifyDialogItems().setItemText != nullptr)
        TheModifyDialogItems().setItemText(kMatrixAlignCharItem, text.substr(0, 1).c_str());
    if (TheModifyDialogItems().setEditSelection != nullptr)
        TheModifyDialogItems().setEditSelection(kMatrixAlignCharItem, 0,
                                                std::min<int>(static_cast<int>(text.size()), 1));
}

void ValidateIntegralCount() {
    const int sign = radioIndex(kIntegralSignFirst, kIntegralSignLast);
    clampField(kIntegralCountItem, 1, sign > 3 ? 1 : kIntegralMaxSigns);
}

void ValidateCountField(int item) {
    clampField(item, 1, kMaxExpandableCount);
}
