#include "ExprSrcs/Find.h"

#include "ExprSrcs/EPane.h"
#include "ExprSrcs/eEqual.h"
#include "OverPc/PFONTS.h"
#include "OverPc/PUTIL.h"
#include "OverPc/Presourc.h"
#include "OverSrcs/commands/kEdit.h"
#include "OverSrcs/eAsian.h"
#include "OverSrcs/eChar.h"
#include "OverSrcs/eClick.h"
#include "OverSrcs/eHeader.h"
#include "OverSrcs/eLayout.h"
#include "OverSrcs/eModelHooks.h"
#include "OverSrcs/eSimpString.h"
#include "OverSrcs/eWord.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

namespace {

// The window's texts (string resources): title, the two captions, the four buttons in order,
// the status texts.
constexpr int kWindowTitleString = 1284;
constexpr int kFindCaptionString = 1285;
constexpr int kReplaceCaptionString = 1286;
constexpr int kFirstButtonString = 1287;
constexpr int kNotFoundString = 1291;
constexpr int kReplacedString = 1292;
constexpr int kCloseString = 1293;

// Layout of the window's client area, in pixels.
constexpr int32_t kMargin = 10;
constexpr int32_t kCaptionHeight = 18;
constexpr int32_t kPadHeight = 56;
constexpr int32_t kButtonHeight = 24;
constexpr int32_t kButtonGap = 6;
constexpr int32_t kStatusHeight = 20;
constexpr int32_t kButtonWidths[FindPane::kButtons] = {84, 84, 160, 104};
constexpr int32_t kPadMargin = 6;
// A replacement that keeps producing matches cannot run away.
constexpr int32_t kMostReplacements = 100000;
// Keys the window answers itself: Tab (Shift+Tab backwards) moves the focus, Return runs the
// focused button (Find Next from a pad), Space runs the focused button. A key that reaches the
// window through the key filter carries 0x100 + its virtual-key code.
constexpr int32_t kTabKey = '\t';
constexpr int32_t kReturnKey = '\r';
constexpr int32_t kSpaceKey = ' ';
constexpr int32_t kEscapeKey = 0x1B;
// The window's own close button, at the right of the status line: the window closes without a
// window manager's close box too.
constexpr int32_t kCloseWidth = 84;
constexpr int32_t kFilteredKey = 0x100;
// Room the window's frame takes around the client area, and the gap left beside the document.
constexpr int32_t kFrameWidth = 8;
constexpr int32_t kFrameHeight = 32;
constexpr int32_t kGapBesideDocument = 8;
// The line style of frameZone that draws a dotted frame (the focus mark).
constexpr int32_t kDottedLine = 1;

FindPane* s_pane = nullptr;
oWindow* s_window = nullptr;
bool s_front = false;
// Where the window was when it was last closed in this run (empty before).
Zone s_lastPlace{};

int32_t clientWidth() {
    int32_t w = 2 * kMargin + (FindPane::kButtons - 1) * kButtonGap;
    for (int32_t b : kButtonWidths)
        w += b;
    return w;
}

int32_t clientHeight() {
    return 2 * kMargin + 2 * (kCaptionHeight + kPadHeight + kButtonGap) + kButtonHeight +
           kButtonGap + kStatusHeight;
}

// Captions, buttons and statuses: the program's own texts, Windows-1252 under every code page.
int32_t labelFont() {
    return ProgramTextFontIndex(FontIndexForFace("Arial", 9, false, false, false));
}

void readInputState() {
    bool shift = false;
    bool ctrl = false;
    bool altShift = false;
    bool doubleClick = false;
    if (TheExprPaneShellHooks().inputState != nullptr)
        TheExprPaneShellHooks().inputState(shift, ctrl, altShift, doubleClick);
    ShiftHeld = shift ? 1 : 0;
    CtrlHeld = ctrl ? 1 : 0;
    AltShiftHeld = altShift ? 1 : 0;
    WholeRowClickOption = doubleClick ? 1 : 0;
}

// Makes the searched document's record the active one for the life of the object, and puts the
// previous active record (normally a pad's) back afterwards.
class TargetActive {
public:
    explicit TargetActive(ExprPane* target)
        : m_pane(ActivePane)
        , m_record(ActiveRecord)
        , m_list(ActiveList)
        , m_pad(ActivePad)
        , m_highlight(HighlightOn) {
        ActivePane = target;
        ActiveRecord = &target->record();
        ActiveList = target->record().m_entries;
        ActivePad = target;
        // The document's highlight is not shown by exclusive-or while the find window is in
        // front; the document is redrawn whole afterwards.
        HighlightOn = 0;
    }
    ~TargetActive() {
        ActivePane = m_pane;
        ActiveRecord = m_record;
        ActiveList = m_record != nullptr ? m_record->m_entries : m_list;
        ActivePad = m_pad;
        HighlightOn = m_highlight;
    }
    TargetActive(const TargetActive&) = delete;
    TargetActive& operator=(const TargetActive&) = delete;

private:
    ExprPane* m_pane;
    SelectionRecord* m_record;
    SelectionEntry* m_list;
    oPane* m_pad;
    uint8_t m_highlight;
};

// The document searched: the front expression pane, else the one that last gave up the front.
ExprPane* searchTarget() {
    if (ActivePane != nullptr)
        return ActivePane;
    return LastFrontPane;
}

void collectRows(eExpr* node, std::vector<eExpr*>& rows) {
    if (node == nullptr)
        return;
    if (node->isString())
        rows.push_back(node);
    if (node->isWord())
        return;
    for (int32_t i = 0; i < node->childCount(); ++i)
        collectRows(node->getChild(i), rows);
}

const eWord* patternWord(const eExpr* pattern) {
    if (pattern == nullptr || pattern->childCount() != 1)
        return nullptr;
    const eExpr* only = pattern->getChild(0);
    return only != nullptr && only->isWord() ? static_cast<const eWord*>(only) : nullptr;
}

bool searchRow(eExpr* row, int32_t from, const eExpr* pattern, SelectionEntry& found) {
    SelectionEntry entry{row, from, row->childCount(), 0, 0};
    if (from > row->childCount() || !FindPatternInRange(entry, pattern, 0, nullptr))
        return false;
    entry.rowStart = 0;
    entry.rowEnd = 0;
    found = entry;
    return true;
}

// Where a search starting at the entry begins: the row and the element position in it. A word
// entry also names the word and the text position after which its own text is searched first.
struct SearchStart {
    eExpr* row = nullptr;
    int32_t from = 0;
    const eWord* word = nullptr;
    int32_t wordFrom = 0;
};

SearchStart startAt(const SelectionEntry& entry) {
    SearchStart s;
    eExpr* node = entry.node;
    if (node == nullptr)
        return s;
    if (node->isString()) {
        s.row = node;
        s.from = std::max(entry.start, entry.end);
        return s;
    }
    if (node->isWord()) {
        s.word = static_cast<const eWord*>(node);
        s.wordFrom = std::max(entry.start, entry.end);
    }
    // The nearest row above the node: the search goes on after the element holding it.
    eExpr* child = node;
    for (eExpr* up = node->m_parent; up != nullptr; child = up, up = up->m_parent) {
        if (up->isString()) {
            s.row = up;
            s.from = child->m_index + 1;
            return s;
        }
    }
    return SearchStart{};
}

// Rows in pre-order, each scanned before the rows inside its elements, from the start (the
// first row when it names none); with wrap, the search goes round once to where it began.
bool searchTree(eHeader* root, const SearchStart& start, bool wrap, const eExpr* pattern,
                SelectionEntry& found) {
    if (root == nullptr || pattern == nullptr || pattern->childCount() == 0)
        return false;
    std::vector<eExpr*> rows;
    collectRows(root, rows);
    if (rows.empty())
        return false;
    size_t first = 0;
    int32_t from = 0;
    if (start.row != nullptr) {
        const auto it = std::find(rows.begin(), rows.end(), start.row);
        if (it != rows.end()) {
            first = static_cast<size_t>(it - rows.begin());
            from = start.from;
        }
    }
    if (start.word != nullptr && start.row == rows[first]) {
        if (const eWord* p = patternWord(pattern)) {
            SelectionEntry e{const_cast<eWord*>(start.word), 0, 0, 0, 0};
            if (MatchWordText(start.word, start.wordFrom, start.word->length(), p, e, 0)) {
                e.rowStart = 0;
                e.rowEnd = 0;
                found = e;
                return true;
            }
        }
    }
    if (searchRow(rows[first], from, pattern, found))
        return true;
    for (size_t i = first + 1; i < rows.size(); ++i)
        if (searchRow(rows[i], 0, pattern, found))
            return true;
    if (!wrap)
        return false;
    for (size_t i = 0; i <= first; ++i)
        if (searchRow(rows[i], 0, pattern, found))
            return true;
    return false;
}

// Shows the match as the document's only selection, scrolled into view.
void selectInTarget(ExprPane* target, const SelectionEntry& match) {
    {
        TargetActive active(target);
        ClearSelectionList(target->record());
        AddSelectionEntry(target->record(), match);
        target->remeasure();
    }
    target->invalidate(nullptr);
}

} // namespace

// ---- The pad
// -------------------------------------------------------------------------------------

ExprPad::ExprPad() {
    CreateSelectionRecord(m_record, NewSimpString(0), 0, 0, 0, 0);
    clear();
}

ExprPad::~ExprPad() {
    if (ActivePad == this) {
        ActivePad = nullptr;
        if (ActiveRecord == &m_record) {
            ActiveRecord = nullptr;
            ActiveList = nullptr;
        }
    }
    ForgetUndo(&m_record);
    DestroySelectionRecord(m_record);
}

eExpr* ExprPad::expression() const {
    eHeader* r = m_record.m_root;
    return r != nullptr && r->childCount() > 0 ? r->getChild(0) : nullptr;
}

void ExprPad::clear() {
    const bool active = ActiveRecord == &m_record;
    if (active)
        RedrawSelectionHighlight();
    ForgetUndo(&m_record);
    InitSelection(m_record, NewHeader(NewSimpString(0), nullptr));
    if (active)
        ActiveList = m_record.m_entries;
    if (eExpr* e = expression()) {
        SelectionEntry inner;
        e->selectInside(inner);
        AddSelectionEntry(m_record, inner);
    }
    if (active)
        ActiveList = m_record.m_entries;
    if (m_parent != nullptr) {
        remeasure();
        invalidate(nullptr);
    }
}

void ExprPad::makeActive() {
    if (ActiveRecord == &m_record && ActivePad == this)
        return;
    if (ActiveRecord != nullptr && ActivePad != nullptr)
        RedrawSelectionHighlight();
    if (ActivePane != nullptr)
        LastFrontPane = ActivePane;
    ActivePane = nullptr;
    ActiveRecord = &m_record;
    ActiveList = m_record.m_entries;
    ActivePad = this;
    HighlightOn = 1;
    RedrawSelectionHighlight();
}

void ExprPad::resignActive() {
    if (ActiveRecord != &m_record)
        return;
    RedrawSelectionHighlight();
    ActiveRecord = nullptr;
    ActiveList = nullptr;
    ActivePad = nullptr;
}

bool ExprPad::doKey(int32_t key) {
    makeActive();
    readInputState();
    const int32_t code = LookupKeyCommand(key);
    if (code == -1)
        return false;
    DoCommand(code, 1);
    return code != 0;
}

bool ExprPad::doDoubleByteChar(int32_t character) {
    makeActive();
    TypeAsianChar(character);
    return true;
}

void ExprPad::click(oPoint point) {
    if (s_pane != nullptr)
        s_pane->focusPad(this == s_pane->replacePad() ? 1 : 0);
    makeActive();
    readInputState();
    ClickExpr(point);
}

void ExprPad::idle() {
    if (ActiveRecord == &m_record && ActivePad == this)
        BlinkSelectionHighlight();
}

void ExprPad::remeasure() {
    eHeader* r = m_record.m_root;
    if (r == nullptr)
        return;
    {
        WideStructureOff wide;
        MeasureExprWithOptions(r, this, m_record.m_options[0], m_record.m_options[1],
                               m_record.m_options[2], m_record.m_options[3]);
    }
    PlaceNodeRect(r, kPadMargin, kPadMargin);
    const int32_t width = r->m_zone.right + kPadMargin;
    const int32_t height = r->m_zone.bottom + kPadMargin;
    if (m_record.count() > 0) {
        Zone area;
        int32_t bands[4];
        oPane* const pad = ActivePad;
        ActivePad = this;
        const bool known = EntryHighlightArea(m_record.entry(0), area, bands);
        ActivePad = pad;
        if (known) {
            const oPoint centre{(area.left + area.right) / 2, (area.top + area.bottom) / 2};
            if (!ZoneContainsPoint(bounds(), centre)) {
                setPanorama(width, height, &centre, false);
                return;
            }
        }
    }
    setPanorama(width, height, nullptr, false);
}

void ExprPad::drawContents(const Zone& zone) {
    DrawEditContents(*this, zone, m_record, m_record.m_root, [this] { remeasure(); });
    if (ActiveRecord == &m_record && ActivePad == this) {
        clipToZone(&zone);
        RedrawSelectionHighlight();
    }
    clipToZone(nullptr);
}

// ---- The window's pane
// ---------------------------------------------------------------------------

FindPane::FindPane() {
    m_pads[0] = new ExprPad();
    m_pads[1] = new ExprPad();
}

FindPane::~FindPane() {
    // The pads are children and die with the pane tree.
    if (s_pane == this) {
        s_pane = nullptr;
        s_window = nullptr;
        s_front = false;
    }
}

Zone FindPane::buttonZone(Button button) const {
    const int32_t top = kMargin + 2 * (kCaptionHeight + kPadHeight + kButtonGap);
    int32_t left = kMargin;
    for (int b = 0; b < button; ++b)
        left += kButtonWidths[b] + kButtonGap;
    return Zone{left, top, left + kButtonWidths[button], top + kButtonHeight, 0, 0};
}

Zone FindPane::closeZone() const {
    const int32_t right = std::max(bounds().right - bounds().left, clientWidth()) - kMargin;
    const int32_t top = buttonZone(kFind).bottom + kButtonGap;
    return Zone{right - kCloseWidth, top, right, top + kStatusHeight, 0, 0};
}

void FindPane::closeWindow() {
    // After the click or key that asked: the window must outlive its handler.
    if (s_pane == this && s_window != nullptr)
        s_window->closeSoon();
}

void FindPane::layOut() {
    const int32_t width = std::max(bounds().right - bounds().left, clientWidth());
    for (int i = 0; i < 2; ++i) {
        const int32_t top =
            kMargin + i * (kCaptionHeight + kPadHeight + kButtonGap) + kCaptionHeight;
        const Zone zone{kMargin, top, width - kMargin, top + kPadHeight, 0, 0};
        ExprPad* pad = m_pads[i];
        if (pad->parent() == nullptr)
            pad->placeInParent(this, zone, oPoint{0, 0});
        pad->remeasure();
    }
}

void FindPane::draw() {
    const Zone all = bounds();
    const Color face{236, 236, 236, 255};
    const Color edge{120, 120, 120, 255};
    setColors(&kColorBlack, &face);
    paintZone(all, face);
    const int32_t font = labelFont();
    FontMetricWords metrics;
    fontMetrics(font, metrics);
    for (int i = 0; i < 2; ++i) {
        const Zone pad = m_pads[i]->zoneInParent();
        drawString(LoadResString(i == 0 ? kFindCaptionString : kReplaceCaptionString), font,
                   pad.left, pad.top - (kCaptionHeight - metrics.ascent) / 2 - metrics.descent);
        const Zone frame{pad.left - 1, pad.top - 1, pad.right + 1, pad.bottom + 1, 0, 0};
        frameZone(frame, 1, i == m_focus && m_button < 0 ? kColorBlack : edge, kLineSolid,
                  kDrawPaint);
    }
    for (int b = 0; b < kButtons; ++b) {
        const Zone zone = buttonZone(static_cast<Button>(b));
        paintZone(zone, kColorWhite);
        // Return runs the focused button, Find Next while a pad has the focus: that button has
        // the heavy frame.
        const bool runsOnReturn = m_button < 0 ? b == kFind : b == m_button;
        frameZone(zone, runsOnReturn ? 2 : 1, runsOnReturn ? kColorBlack : edge, kLineSolid,
                  kDrawPaint);
        if (b == m_button) {
            const Zone focus{zone.left + 3, zone.top + 3, zone.right - 3, zone.bottom - 3, 0, 0};
            frameZone(focus, 1, kColorBlack, kDottedLine, kDrawPaint);
        }
        const char* text = LoadResString(kFirstButtonString + b);
        const int32_t w = stringWidth(text, font);
        const int32_t baseline = zone.top + (zone.height() + metrics.ascent - metrics.descent) / 2;
        drawString(text, font, zone.left + (zone.width() - w) / 2, baseline);
    }
    const Zone close = closeZone();
    paintZone(close, kColorWhite);
    frameZone(close, 1, edge, kLineSolid, kDrawPaint);
    const char* closeText = LoadResString(kCloseString);
    drawString(closeText, font, close.left + (close.width() - stringWidth(closeText, font)) / 2,
               close.top + (close.height() + metrics.ascent - metrics.descent) / 2);
    const int32_t statusTop = buttonZone(kFind).bottom + kButtonGap;
    if (!m_status.empty())
        drawString(m_status.c_str(), font, kMargin,
                   statusTop + (kStatusHeight + metrics.ascent - metrics.descent) / 2);
    oPane::draw();
}

void FindPane::click(oPoint point) {
    if (ZoneContainsPoint(closeZone(), point)) {
        closeWindow();
        return;
    }
    for (int b = 0; b < kButtons; ++b) {
        if (ZoneContainsPoint(buttonZone(static_cast<Button>(b)), point)) {
            press(static_cast<Button>(b));
            return;
        }
    }
    oPane::click(point);
}

void FindPane::press(Button button) {
    switch (button) {
    case kFind:
        findNext();
        break;
    case kReplace:
        replace();
        break;
    case kReplaceAndFind:
        replaceAndFind();
        break;
    default:
        replaceAll();
        break;
    }
}

bool FindPane::doKey(int32_t key) {
    if (key == kEscapeKey || key == kFilteredKey + kEscapeKey) {
        closeWindow();
        return true;
    }
    if (key == kTabKey || key == kFilteredKey + kTabKey) {
        readInputState();
        moveFocus(ShiftHeld != 0 ? -1 : 1);
        return true;
    }
    if (key == kReturnKey || key == kFilteredKey + kReturnKey) {
        press(m_button < 0 ? kFind : static_cast<Button>(m_button));
        return true;
    }
    if (key == kSpaceKey && m_button >= 0) {
        press(static_cast<Button>(m_button));
        return true;
    }
    // Anything else is for the pad: typing while a button has the focus goes back to it.
    if (m_button >= 0)
        focusPad(m_focus);
    return focusedPad()->doKey(key);
}

void FindPane::moveFocus(int step) {
    // Positions 0 and 1 are the pads, 2 to 5 the buttons.
    constexpr int kStops = 2 + kButtons;
    const int now = m_button < 0 ? m_focus : 2 + m_button;
    const int next = ((now + step) % kStops + kStops) % kStops;
    if (next < 2) {
        m_button = -1;
        const int before = m_focus;
        m_focus = next;
        if (s_front && before != next)
            m_pads[next]->makeActive();
    } else {
        m_button = next - 2;
    }
    invalidate(nullptr);
}

bool FindPane::canClose() {
    // Kept for the next opening in this run.
    if (s_window != nullptr && s_pane == this)
        s_lastPlace = s_window->currentPlacement();
    return true;
}

bool FindPane::doDoubleByteChar(int32_t character) {
    return focusedPad()->doDoubleByteChar(character);
}

void FindPane::becomeFront() {
    s_front = true;
    focusedPad()->makeActive();
    // The searched document shows its match while the window is in front.
    if (ExprPane* target = searchTarget())
        target->invalidate(nullptr);
}

void FindPane::resignFront() {
    s_front = false;
    m_pads[0]->resignActive();
    m_pads[1]->resignActive();
}

void FindPane::idle() {
    focusedPad()->idle();
}

void FindPane::focusPad(int index) {
    if ((index == m_focus && m_button < 0) || index < 0 || index > 1)
        return;
    m_focus = index;
    m_button = -1;
    invalidate(nullptr);
    if (s_front)
        m_pads[m_focus]->makeActive();
}

void FindPane::setStatus(std::string text) {
    m_status = std::move(text);
    const int32_t top = buttonZone(kFind).bottom + kButtonGap;
    const Zone zone{0, top, bounds().right, top + kStatusHeight, 0, 0};
    invalidate(&zone);
}

bool FindPane::findNext() {
    ExprPane* target = searchTarget();
    SelectionEntry match;
    const eExpr* pattern = findPad()->expression();
    bool found = false;
    if (target != nullptr && target->root() != nullptr) {
        const SearchStart start =
            target->record().count() > 0 ? startAt(target->record().entry(0)) : SearchStart{};
        found = searchTree(target->root(), start, true, pattern, match);
    }
    if (!found) {
        m_lastMatch = SelectionEntry{};
        Beep();
        setStatus(LoadResString(kNotFoundString));
        return false;
    }
    selectInTarget(target, match);
    m_lastMatch = match;
    m_lastTarget = target;
    setStatus("");
    return true;
}

namespace {

// A copy of the replace pad's expression in the size and style of the matched text (of the
// active record): each character takes the style the match's characters share; a font they do
// not share leaves the pad's font.
ExprPtr replacementFor(SelectionEntry match, const eExpr* replacement) {
    FSSRecord matched;
    GetSelectionFSS(match, matched);
    ExprPtr copy = CopyExpr(replacement);
    const std::function<void(eExpr*)> restyle = [&](eExpr* node) {
        if (auto* leaf = dynamic_cast<eChar*>(node)) {
            FSSRecord style = matched;
            if (std::strcmp(matched.fontName, kFontUnknown) == 0) {
                FSSRecord own;
                leaf->storedStyle(own);
                std::memcpy(style.fontName, own.fontName, sizeof style.fontName);
            }
            leaf->setStyle(style);
        }
        for (int32_t i = 0; i < node->childCount(); ++i)
            if (eExpr* child = node->getChild(i))
                restyle(child);
    };
    if (copy)
        restyle(copy.get());
    return copy;
}

} // namespace

bool FindPane::replace() {
    ExprPane* target = searchTarget();
    if (target == nullptr || target != m_lastTarget || m_lastMatch.node == nullptr ||
        target->record().count() == 0 || !(target->record().entry(0) == m_lastMatch)) {
        // Nothing found yet: the first press finds what a second one replaces.
        return findNext();
    }
    const eExpr* replacement = replacePad()->expression();
    if (replacement == nullptr)
        return false;
    {
        TargetActive active(target);
        ClearSelectionList(target->record());
        AddSelectionEntry(target->record(), m_lastMatch);
        ActiveList = target->record().m_entries;
        InsertExprAsEdit(replacementFor(m_lastMatch, replacement));
    }
    target->invalidate(nullptr);
    m_lastMatch = SelectionEntry{};
    setStatus("");
    return true;
}

bool FindPane::replaceAndFind() {
    const bool hadMatch = m_lastMatch.node != nullptr;
    const bool done = replace();
    if (hadMatch && done)
        return findNext();
    return done;
}

int32_t FindPane::replaceAll() {
    ExprPane* target = searchTarget();
    const eExpr* pattern = findPad()->expression();
    const eExpr* replacement = replacePad()->expression();
    SelectionEntry match;
    if (target == nullptr || target->root() == nullptr || replacement == nullptr ||
        !searchTree(target->root(), SearchStart{}, false, pattern, match)) {
        Beep();
        setStatus(LoadResString(kNotFoundString));
        return 0;
    }
    int32_t count = 0;
    {
        TargetActive active(target);
        CurrentCommandCode = kCmdPaste;
        BeginEditStep(0);
        const uint8_t outerBatch = BatchMode;
        BatchMode = 1;
        bool more = true;
        while (more && count < kMostReplacements) {
            ClearSelectionList(target->record());
            AddSelectionEntry(target->record(), match);
            ActiveList = target->record().m_entries;
            InsertExprAsEdit(replacementFor(match, replacement));
            ++count;
            // Go on after what was put in, so a replacement holding the pattern is not searched.
            const SearchStart next =
                target->record().count() > 0 ? startAt(target->record().entry(0)) : SearchStart{};
            more = next.row != nullptr && searchTree(target->root(), next, false, pattern, match);
        }
        BatchMode = outerBatch;
        MergeAdjacentWords();
        TreeChanged = 1;
        InvalidateTree(target->root());
        target->setChanged(true);
        target->remeasure();
    }
    target->invalidate(nullptr);
    m_lastMatch = SelectionEntry{};
    char text[64];
    std::snprintf(text, sizeof text, LoadResString(kReplacedString), count);
    setStatus(text);
    return count;
}

// ---- Services
// ------------------------------------------------------------------------------------

namespace {

// The zone moved (not resized) so that it lies in the work area, its top-left corner inside
// when it is larger.
Zone keepInside(Zone zone, const Zone& work) {
    const int32_t dx =
        std::max(work.left - zone.left, std::min<int32_t>(0, work.right - zone.right));
    const int32_t dy =
        std::max(work.top - zone.top, std::min<int32_t>(0, work.bottom - zone.bottom));
    return Zone{zone.left + dx, zone.top + dy, zone.right + dx, zone.bottom + dy, 0, 0};
}

} // namespace

Zone PlaceBesideDocument(const Zone& document, int32_t width, int32_t height,
                         const Zone& workArea) {
    oPoint at{workArea.left + (workArea.width() - width) / 2,
              workArea.top + (workArea.height() - height) / 2};
    if (document.width() > 0 && document.height() > 0) {
        if (document.right + kGapBesideDocument + width <= workArea.right)
            at = {document.right + kGapBesideDocument, document.top};
        else if (document.bottom + kGapBesideDocument + height <= workArea.bottom)
            at = {document.left, document.bottom + kGapBesideDocument};
        else
            at = {workArea.right - width, workArea.bottom - height};
    }
    return keepInside(Zone{at.x, at.y, at.x + width, at.y + height, 0, 0}, workArea);
}

FindPane* TheFindPane() {
    return s_pane;
}

bool IsFindPad(const oPane* pane) {
    return pane != nullptr && s_pane != nullptr &&
           (pane == s_pane->findPad() || pane == s_pane->replacePad());
}

void OpenFindWindow() {
    if (s_pane == nullptr) {
        auto* pane = new FindPane();
        // The outer rectangle leaves room for the caption and the borders.
        const int32_t width = clientWidth() + kFrameWidth;
        const int32_t height = clientHeight() + kFrameHeight;
        const Zone work = ScreenWorkArea();
        Zone zone;
        if (s_lastPlace.width() > 0) {
            zone = keepInside(Zone{s_lastPlace.left, s_lastPlace.top, s_lastPlace.left + width,
                                   s_lastPlace.top + height, 0, 0},
                              work);
        } else {
            Zone document{};
            if (ExprPane* target = searchTarget())
                target->getScreenZone(document);
            zone = PlaceBesideDocument(document, width, height, work);
        }
        oWindow* window = pane->openInWindow(LoadResString(kWindowTitleString), zone,
                                             kWindowCaption | kWindowFloating);
        if (window == nullptr) {
            delete pane;
            Beep();
            return;
        }
        s_pane = pane;
        s_window = window;
        pane->layOut();
    }
    s_pane->focusPad(0);
    s_window->show();
    s_window->takeFocus();
}

void RedrawFindPads() {
    if (s_pane == nullptr)
        return;
    for (ExprPad* pad : {s_pane->findPad(), s_pane->replacePad()}) {
        InvalidateTree(pad->record().m_root);
        pad->remeasure();
        pad->invalidate(nullptr);
    }
}

void RemeasureFindPad(oPane* pad) {
    if (!IsFindPad(pad))
        return;
    auto* p = static_cast<ExprPad*>(pad);
    p->remeasure();
    p->invalidate(nullptr);
}

void ForgetFindWindow() {
    // Deleting the window deletes the pane, which forgets itself.
    delete s_window;
    s_pane = nullptr;
    s_window = nullptr;
    s_front = false;
    s_lastPlace = Zone{};
}

void InstallFindWindow() {
    CommandHooks& hooks = TheCommandHooks();
    hooks.openFindWindow = &OpenFindWindow;
    hooks.redrawFindPads = &RedrawFindPads;
    RemeasureFindPadHook = &RemeasureFindPad;
    TheExprPaneShellHooks().findWindowInFront = [] { return s_pane != nullptr && s_front; };
}
