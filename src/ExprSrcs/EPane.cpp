#include "ExprSrcs/EPane.h"

#include "ExprSrcs/ExprFilePane.h"
#include "ExprSrcs/commands/tsPrefs.h"
#include "OverPc/PERROR.h"
#include "OverPc/Presourc.h"
#include "OverSrcs/commands/kEdit.h"
#include "OverSrcs/eAsian.h"
#include "OverSrcs/eClick.h"
#include "OverSrcs/eFactory.h"
#include "OverSrcs/eHeader.h"
#include "OverSrcs/eLayout.h"
#include "OverSrcs/eModelHooks.h"
#include "OverSrcs/eSelect.h"

#include <algorithm>
#include <memory>
#include <string>

ExprPane* PaneList = nullptr;
void (*RemeasureFindPadHook)(oPane* pad) = nullptr;

WideStructureOff::WideStructureOff()
    : m_saved(WideStructureSetting) {
    WideStructureSetting = 0;
}

WideStructureOff::~WideStructureOff() {
    WideStructureSetting = m_saved;
}

namespace {

ExprPaneShellHooks s_shell;
int32_t s_untitledCounter = 0;

void readInputState() {
    bool shift = false;
    bool ctrl = false;
    bool altShift = false;
    bool doubleClick = false;
    if (s_shell.inputState != nullptr)
        s_shell.inputState(shift, ctrl, altShift, doubleClick);
    ShiftHeld = shift ? 1 : 0;
    CtrlHeld = ctrl ? 1 : 0;
    AltShiftHeld = altShift ? 1 : 0;
    WholeRowClickOption = doubleClick ? 1 : 0;
}

void enableCommand(int32_t command, bool on) {
    if (s_shell.enableMenuCommand != nullptr)
        s_shell.enableMenuCommand(command, on);
}

void styleButtons(int32_t force, int32_t flag) {
    if (TheCommandHooks().styleButtons != nullptr)
        TheCommandHooks().styleButtons(force, flag);
}

void measureRoot(ExprPane& pane) {
    eHeader* root = pane.root();
    if (root == nullptr)
        return;
    const SelectionRecord& r = pane.record();
    WideStructureOff wide;
    MeasureExprWithOptions(root, &pane, r.m_options[0], r.m_options[1], r.m_options[2],
                           r.m_options[3]);
}

// An edit without an active pane happened in a find window pad.
void remeasurePad() {
    if (ActivePad != nullptr && RemeasureFindPadHook != nullptr)
        RemeasureFindPadHook(ActivePad);
}

} // namespace

ExprPaneShellHooks& TheExprPaneShellHooks() {
    return s_shell;
}

// ---- The pane -----------------------------------------------------------------------------------

ExprPane::ExprPane() = default;

ExprPane::~ExprPane() {
    if (m_windowMenuItem != 0 && s_shell.removeWindowMenuItem != nullptr)
        s_shell.removeWindowMenuItem(m_windowMenuItem);
    for (ExprPane** link = &PaneList; *link != nullptr; link = &(*link)->m_nextPane) {
        if (*link == this) {
            *link = m_nextPane;
            break;
        }
    }
    if (ActivePane == this) {
        ActivePane = nullptr;
        ActivePad = nullptr;
        ActiveRecord = nullptr;
        ActiveList = nullptr;
    }
    if (LastFrontPane == this)
        LastFrontPane = nullptr;
    // A snapshot for undo names this record's tree.
    ForgetUndo(&m_record);
    DestroySelectionRecord(m_record);
}

eExpr* ExprPane::expression() const {
    eHeader* r = root();
    return r != nullptr && r->childCount() > 0 ? r->getChild(0) : nullptr;
}

bool ExprPane::doKey(int32_t key) {
    readInputState();
    if (KeyMap[0] == -1)
        KV_ASSERT_FAILED("bad keystroke map");
    const int32_t code = LookupKeyCommand(key);
    if (code == -1) {
        // A broken entry is reported and not dispatched: as a code it would widen the selection,
        // take an undo step and beep.
        KV_ASSERT_FAILED("bad keystroke frm map");
        return false;
    }
    DoCommand(code, 1);
    return code != 0;
}

bool ExprPane::doDoubleByteChar(int32_t character) {
    TypeAsianChar(character);
    return true;
}

void ExprPane::infoAtPoint(oPoint point, int32_t& cursorKind, int32_t& balloonInfo, Zone& zone) {
    eHeader* r = root();
    if (r == nullptr || !r->isLaidOut()) {
        oScrollPane::infoAtPoint(point, cursorKind, balloonInfo, zone);
        return;
    }
    DrawState.measurePort = this;
    const HelpAnswer& h = m_help;
    if (h.valid && h.point.x == point.x && h.point.y == point.y && h.root == r &&
        h.activeRecord == ActiveRecord && h.layout == LayoutSerial() && h.view == bounds()) {
        cursorKind = h.kind;
        balloonInfo = h.info;
        zone = h.zone;
        return;
    }
    ExprHelpAtPoint(r, oPoint{0, 0}, bounds(), point, cursorKind, balloonInfo, zone);
    m_help = HelpAnswer{true,           point,      bounds(),    r,   ActiveRecord,
                        LayoutSerial(), cursorKind, balloonInfo, zone};
}

void ExprPane::click(oPoint point) {
    readInputState();
    ClickExpr(point);
}

void ExprPane::contextClick(oPoint point) {
    readInputState();
    HandlePaneRightClick(point);
}

bool ExprPane::canClose() {
    return true;
}

void ExprPane::resize(int32_t dx, int32_t dy) {
    oScrollPane::resize(dx, dy);
    remeasure();
}

void ExprPane::becomeFront() {
    // Typing in another pane, or after a dialog, starts an undo step of its own.
    EndEditRun();
    ActiveList = m_record.m_entries;
    ActivePane = this;
    ActivePad = this;
    ActiveRecord = &m_record;
    LastFrontPane = nullptr;
    HighlightOn = 1;
    RedrawSelectionHighlight();
    SetViewModes(m_record.m_options);
    styleButtons(0, 0);
    enableCommand(kCmdCloseNotepad, true);
    if (m_windowMenuItem != 0 && s_shell.checkWindowMenuItem != nullptr)
        s_shell.checkWindowMenuItem(m_windowMenuItem, true);
}

void ExprPane::resignFront() {
    enableCommand(kCmdCloseNotepad, false);
    if (ActiveRecord == &m_record)
        RedrawSelectionHighlight();
    if (ActivePane == this) {
        ActiveList = nullptr;
        ActivePane = nullptr;
        ActivePad = nullptr;
        ActiveRecord = nullptr;
    }
    LastFrontPane = this;
    if (m_windowMenuItem != 0 && s_shell.checkWindowMenuItem != nullptr)
        s_shell.checkWindowMenuItem(m_windowMenuItem, false);
}

bool ExprPane::compositionPoint(oPoint& point) {
    if (ActivePane != this || ActiveRecord == nullptr || ActiveRecord->count() == 0)
        return false;
    Zone zone;
    int32_t bands[4] = {0, 0, 0, 0};
    if (!EntryHighlightArea(ActiveRecord->entry(0), zone, bands))
        return false;
    point = oPoint{zone.left, zone.bottom};
    oWindow* win = window();
    for (oPane* p = this; p != nullptr && p != win; p = p->parent())
        point = p->toParent(point);
    return true;
}

void ExprPane::idle() {
    if (ActivePane == this)
        BlinkSelectionHighlight();
}

void PaintEditBackground(oGraphPort* port, const SelectionRecord& record) {
    Color background = record.m_noBackground != 0 ? kColorWhite : record.m_background;
    if (record.m_options[kOptionStructure] != 0)
        background = StructureBackgroundColor;
    port->setColors(nullptr, &background);
}

void DrawEditContents(oScrollPane& pane, const Zone& zone, SelectionRecord& record, eHeader* root,
                      const std::function<void()>& remeasure, const std::vector<Zone>* parts) {
    WideStructureOff wide;
    PaintEditBackground(&pane, record);
    pane.clipToZone(&zone);
    pane.eraseZone(zone);
    if (root == nullptr)
        return;
    if (!root->isLaidOut())
        remeasure();
    // Only nodes near the zone (or its listed parts) are drawn; the margin takes in ink that
    // reaches a little past a node's zone (the clip cuts it to what is painted as before).
    std::vector<Zone> near = parts != nullptr ? *parts : std::vector<Zone>{zone};
    const int32_t margin = 2 * pane.resolution();
    for (Zone& z : near)
        ZoneInset(z, -margin, -margin);
    struct Culling {
        Culling(const oGraphPort* port, const std::vector<Zone>& zones) {
            DrawState.cullPort = port;
            DrawState.cullZones = zones.data();
            DrawState.cullCount = static_cast<int32_t>(zones.size());
        }
        ~Culling() {
            DrawState.cullPort = nullptr;
            DrawState.cullZones = nullptr;
            DrawState.cullCount = 0;
        }
    } culling(&pane, near);
    DrawExpr(root, &pane, record.m_options[0], record.m_options[1], record.m_options[2],
             record.m_options[3], 0, 0);
}

void ExprPane::drawContents(const Zone& zone) {
    // The part of the zone being painted: the rest keeps its pixels whatever is drawn there.
    Zone part = zone;
    Zone box;
    bool simple = false;
    bool whole = true;
    if (paintArea(box, simple)) {
        whole = simple && ZoneContainsZone(box, bounds());
        if (!ZoneIntersect(zone, box, part))
            part = Zone{zone.left, zone.top, zone.left, zone.top, 0, 0};
    }
    // A paint of everything covers what the highlight drew outside paints. A paint of only the
    // zones that edits invalidated draws only near them.
    if (whole)
        m_directInk.clear();
    const bool onlyChanges = !whole && !m_changedZones.empty() && paintInside(m_changedZones);
    DrawEditContents(
        *this, part, m_record, root(), [this] { remeasure(); },
        onlyChanges ? &m_changedZones : nullptr);
    m_changedZones.clear();
    if (whole && !m_shown.valid())
        m_shown.record(*this);
    if (ActivePane == this) {
        clipToZone(&part);
        RedrawSelectionHighlight();
    } else if (LastFrontPane == this && s_shell.findWindowInFront != nullptr &&
               s_shell.findWindowInFront()) {
        // While the find window is in front, the document it searches keeps showing its
        // selection (the current match).
        clipToZone(&part);
        SelectionRecord* const record = ActiveRecord;
        SelectionEntry* const list = ActiveList;
        oPane* const pad = ActivePad;
        ActiveRecord = &m_record;
        ActiveList = m_record.m_entries;
        ActivePad = this;
        ShowSelectionHighlight();
        ActiveRecord = record;
        ActiveList = list;
        ActivePad = pad;
    }
    clipToZone(nullptr);
}

void ExprPane::invalidate(const Zone* zone) {
    if (!m_invalidatingChanges)
        m_shown.invalidate();
    oScrollPane::invalidate(zone);
}

void ExprPane::noteDirectInk(const Zone& zone) {
    PaneDisplayList::addZone(m_directInk, zone);
}

void ExprPane::invalidateChanges() {
    m_next.record(*this);
    std::vector<Zone> zones;
    bool known = m_shown.valid() && ActiveRecord == &m_record && ActivePad == this &&
                 m_shown.changedZones(m_next, *this, zones);
    if (known) {
        // The highlight is drawn again in the repainted zones only: its new zones are among
        // them, and so is every zone it was drawn in since the last repaint.
        for (int32_t i = 0; known && i < m_record.count(); ++i) {
            Zone area;
            int32_t bands[4];
            if (!EntryHighlightArea(m_record.entry(i), area, bands)) {
                known = false;
                break;
            }
            area.right += 1;
            area.bottom += 1;
            PaneDisplayList::addZone(zones, area);
        }
        for (const Zone& z : m_directInk)
            PaneDisplayList::addZone(zones, z);
    }
    if (!known) {
        invalidate(nullptr);
    } else {
        m_invalidatingChanges = true;
        for (const Zone& z : zones) {
            Zone shown;
            if (ZoneIntersect(z, bounds(), shown)) {
                invalidate(&shown);
                m_changedZones.push_back(shown);
            }
        }
        m_invalidatingChanges = false;
    }
    m_directInk.clear();
    // The screen will show the new list once the invalidated part is painted.
    std::swap(m_shown, m_next);
}

void ExprPane::remeasure() {
    eHeader* r = root();
    if (r == nullptr)
        return;
    measureRoot(*this);
    const bool embedded = s_shell.embedded != nullptr && s_shell.embedded();
    const int32_t m = embedded ? 0 : resolution() / 2;
    PlaceNodeRect(r, m, m);
    const int32_t width = r->m_zone.right + m;
    const int32_t height = r->m_zone.bottom + m;
    if (ActivePane == this && m_record.count() > 0) {
        Zone area;
        int32_t bands[4];
        if (EntryHighlightArea(m_record.entry(0), area, bands)) {
            const oPoint centre{(area.left + area.right) / 2, (area.top + area.bottom) / 2};
            if (!ZoneContainsPoint(bounds(), centre)) {
                setPanorama(width, height, &centre, false);
                return;
            }
        }
    }
    setPanorama(width, height, nullptr, false);
}

std::string ExprPane::fileName() const {
    return ResStringWith(kUntitledNameString, {std::to_string(m_untitledNumber)});
}

bool ExprPane::save() {
    return false;
}

bool ExprPane::saveAs() {
    return false;
}

// ---- Set-up -------------------------------------------------------------------------------------

Zone DefaultPaneWindowZone(int32_t expressionWidth, int32_t expressionHeight,
                           int32_t openDocuments) {
    const oPoint place = s_shell.newWindowPlace != nullptr ? s_shell.newWindowPlace() : oPoint{};
    Zone zone;
    zone.left = place.x + 5 * openDocuments;
    zone.top = place.y + 5 * openDocuments;
    zone.right = zone.left + 100 + 2 * expressionWidth;
    zone.bottom = zone.top + 100 + 2 * expressionHeight;
    return zone;
}

void InitExprPane(ExprPane* pane, ExprPtr expression, const Zone* windowZone, const char* title,
                  uint8_t option1, uint8_t option2, uint8_t option3, uint8_t option4) {
    if (pane == nullptr)
        return;
    CreateSelectionRecord(pane->m_record, std::move(expression), option1, option2, option3,
                          option4);
    pane->m_changed = 0;
    pane->m_untitledNumber = ++s_untitledCounter;
    pane->m_nextPane = PaneList;
    PaneList = pane;
    Zone zone;
    if (windowZone != nullptr) {
        zone = *windowZone;
    } else {
        // The expression's size on a bare screen measure port decides the window's.
        std::unique_ptr<oMeasurePort> port = NewMeasurePort(ScreenResolution(), 0);
        eExpr* root = pane->root();
        {
            WideStructureOff wide;
            InvalidateTree(root);
            MeasureExprWithOptions(root, port.get(), option1, option2, option3, option4);
        }
        zone = DefaultPaneWindowZone(root->width(), root->height(), OpenDocumentCount());
        // The tree was laid out for another port; the pane lays it out again for itself.
        InvalidateTree(root);
        DrawState.measurePort = nullptr;
    }
    const std::string name = title != nullptr ? std::string(title) : pane->fileName();
    oWindow* window =
        pane->makeWindow(name.c_str(), zone, kWindowCaption | kWindowSizing | kWindowChildOfFrame);
    if (window == nullptr)
        Fail(errNoMemory);
    pane->remeasure();
    window->show();
    if (s_shell.addWindowMenuItem != nullptr)
        pane->m_windowMenuItem = s_shell.addWindowMenuItem(name.c_str(), pane);
}

void BringPaneToFront(ExprPane* pane) {
    if (pane != nullptr)
        pane->takeFocus();
}

// ---- Edits and redraws --------------------------------------------------------------------------

void MarkEdited(eExpr* node) {
    if (ActivePane != nullptr)
        ActivePane->setChanged(true);
    TreeChanged = 1;
    if (node == nullptr)
        return;
    InvalidateAncestors(node);
    node->invalidate();
}

void RedrawAfterEdit() {
    if (BatchMode != 0)
        return;
    if (TreeChanged == 0) {
        RedrawSelectionHighlight();
        return;
    }
    TreeChanged = 0;
    if (ActivePane == nullptr) {
        remeasurePad();
        return;
    }
    ActivePane->remeasure();
    if (ActivePad == ActivePane)
        ActivePane->invalidateChanges();
    else if (ActivePad != nullptr)
        ActivePad->invalidate(nullptr);
}

void DrawNodeNow(eExpr* node) {
    if (node == nullptr || node->m_parent == nullptr || ActivePad == nullptr ||
        ActiveRecord == nullptr)
        return;
    eExpr* parent = node->m_parent;
    // The parent's place in the pad as last laid out: the edit marked it to be laid out again,
    // but its zone still holds where it is shown.
    int32_t parentLeft = 0;
    int32_t parentTop = 0;
    for (const eExpr* n = parent; n != nullptr; n = n->m_parent) {
        if ((n->m_flags & kNodePlaced) == 0)
            return;
        parentLeft += n->m_zone.left;
        parentTop += n->m_zone.top;
    }
    // Where the leaf goes inside the parent: its own place, or, new and not a row, right of its
    // previous sibling on that sibling's first reference line.
    const eExpr* previous = nullptr;
    const bool placed = (node->m_flags & kNodePlaced) != 0;
    if (!placed) {
        if (node->isString())
            return;
        for (int32_t i = 1; i < parent->childCount(); ++i)
            if (parent->getChild(i) == node)
                previous = parent->getChild(i - 1);
        if (previous == nullptr || (previous->m_flags & kNodePlaced) == 0)
            return;
    }
    const int32_t left = placed ? node->m_zone.left : previous->m_zone.right;
    const int32_t oldTop = node->m_zone.top;
    const int32_t oldRef = node->m_zone.ref1;
    // The leaf alone, laid out with its style in this pad; the whole tree follows at the next
    // redraw, which takes this layout of the leaf as it is.
    const SelectionRecord& r = *ActiveRecord;
    {
        WideStructureOff wide;
        DrawState.measurePort = ActivePad;
        SetDrawOptions(r.m_options[0], r.m_options[1], r.m_options[2], r.m_options[3]);
        SetupNodeStyle(node);
        NoteLayoutChange();
        node->measure();
    }
    // Same first reference line as before (or as the previous sibling's).
    const int32_t top = placed ? oldTop + oldRef - node->m_zone.ref1
                               : previous->m_zone.top + previous->m_zone.ref1 - node->m_zone.ref1;
    ZoneOffset(node->m_zone, left, top);
    Zone shown = node->m_zone;
    ZoneOffset(shown, parentLeft, parentTop);
    PaintEditBackground(ActivePad, r);
    ActivePad->eraseZone(shown);
    DrawExpr(node, ActivePad, r.m_options[0], r.m_options[1], r.m_options[2], r.m_options[3],
             parentLeft, parentTop);
    ActivePad->noteDirectInk(shown);
}

int32_t ActiveLineUnit() {
    return ActivePad != nullptr ? std::max<int32_t>(1, ActivePad->lineUnit()) : 1;
}

void RefreshPane(ExprPane* pane) {
    if (pane == nullptr)
        return;
    InvalidateTree(pane->root());
    pane->remeasure();
    pane->invalidate(nullptr);
}

void RefreshActivePane() {
    if (ActivePane == nullptr) {
        if (ActiveRecord != nullptr)
            InvalidateTree(ActiveRecord->m_root);
        remeasurePad();
        return;
    }
    InvalidateTree(ActivePane->root());
    ActivePane->remeasure();
    if (ActivePad != nullptr)
        ActivePad->invalidate(nullptr);
}

void RefreshAllPanes() {
    for (ExprPane* pane = PaneList; pane != nullptr; pane = pane->nextPane())
        RefreshPane(pane);
    CommandHooks& hooks = TheCommandHooks();
    if (hooks.releasePaletteImage != nullptr)
        hooks.releasePaletteImage();
    if (hooks.redrawFindPads != nullptr)
        hooks.redrawFindPads();
}

void ScrollActivePaneToSelection(eExpr*) {
    if (ActivePane == nullptr) {
        remeasurePad();
        return;
    }
    ActivePane->remeasure();
    if (ActivePad != nullptr)
        ActivePad->invalidate(nullptr);
}

void NoOpCallback() {}

void EmptyHook() {}

void EnableCloseCommand(bool on) {
    enableCommand(kCmdCloseNotepad, on);
}

void EnableSaveAndPrint(bool on) {
    enableCommand(kCmdSave, on);
    enableCommand(kCmdPrintExpression, on);
}

void ForwardToFocusObject() {
    if (ActivePane != nullptr)
        if (oWindow* win = ActivePane->window())
            win->close();
}

// ---- Right click --------------------------------------------------------------------------------

int32_t HandlePaneRightClick(oPoint point) {
    if (ActiveRecord == nullptr || ActivePane == nullptr)
        return 0;
    bool onHighlight = false;
    for (int32_t i = 0; i < ActiveRecord->count() && !onHighlight; ++i)
        onHighlight = PointOnEntryHighlight(ActiveRecord->entry(i), point);
    if (!onHighlight) {
        // A right click elsewhere selects what lies there first. No drag follows a right click.
        ClickPoint = point;
        RedrawSelectionHighlight();
        ClearSelectionList(*ActiveRecord);
        SelectionEntry hit;
        if (HitActiveRoot(point, point, hit, false) && hit.node != nullptr) {
            // As with a left click, a lone placeholder is taken whole, so a paste replaces it.
            hit = WholePlaceholderAt(hit);
            SetSelection(&hit);
            ResetTypingStyle();
        }
        RedrawSelectionHighlight();
    }
    SelectionEntry hit;
    int32_t menu = 0;
    DrawState.measurePort = ActivePad;
    DrawState.absZone = Zone{};
    eHeader* root = ActiveRecord->m_root;
    if (root == nullptr)
        return 0;
    Zone rootZone = root->m_zone;
    if (!ZoneContainsPoint(rootZone, point))
        menu = kSmallMenu;
    else if (HitDragChild(root, point, point, hit) && hit.node != nullptr)
        menu = kSelectionMenu;
    if (menu == 0)
        return 0;
    if (s_shell.trackContextMenu != nullptr) {
        const int32_t choice = s_shell.trackContextMenu(ActivePane, menu, point);
        if (choice != 0)
            RunContextMenuItem(choice);
    }
    return menu;
}

bool RunContextMenuItem(int32_t id) {
    CommandHooks& hooks = TheCommandHooks();
    switch (id) {
    case 13827:
    case 14083:
        if (!UndoLastEdit())
            return false;
        RefreshActivePane();
        return true;
    case 13829:
        if (hooks.copy == nullptr) {
            UnwiredHook("copy");
            return true;
        }
        hooks.copy();
        return true;
    case 13862:
    case 13863:
        if (hooks.paste == nullptr) {
            UnwiredHook("paste");
            return true;
        }
        hooks.paste();
        return true;
    case 13865:
        if (hooks.cut == nullptr) {
            UnwiredHook("cut");
            return true;
        }
        hooks.cut();
        return true;
    case 13866:
        DoCommand(kCmdClear, 0);
        return true;
    case 13868:
    case 14084:
        if (hooks.openFindWindow == nullptr) {
            UnwiredHook("openFindWindow");
            return true;
        }
        hooks.openFindWindow();
        return true;
    case 13869:
        DoCommand(kCmdSelectInward, 0);
        return true;
    case 13870:
        DoCommand(kCmdSelectOutward, 0);
        return true;
    case 13871:
        DoCommand(kCmdNextSlot, 0);
        return true;
    case 13872:
        // "une expression": select the whole expression.
        DoCommand(kCmdSelectAll, 0);
        return true;
    default:
        return false;
    }
}

// ---- Hooks --------------------------------------------------------------------------------------

void InstallExprPaneHooks() {
    InstallSelectionHooks();
    ScrollSelectionIntoViewHook = ScrollActivePaneToSelection;
    UpdateStyleButtonsHook = styleButtons;
    CommandHooks& hooks = TheCommandHooks();
    hooks.redrawAfterEdit = RedrawAfterEdit;
    hooks.refreshActivePane = RefreshActivePane;
    hooks.markEdited = MarkEdited;
    hooks.drawNodeNow = DrawNodeNow;
    hooks.activeLineUnit = ActiveLineUnit;
}
