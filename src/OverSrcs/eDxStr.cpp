#include "OverSrcs/eDxStr.h"

#include "ExprSrcs/commands/tsPrefs.h"
#include "OverPc/PERROR.h"
#include "OverPc/oPixMap.h"
#include "OverSrcs/commands/kEdit.h"
#include "OverSrcs/eClick.h"
#include "OverSrcs/eLayout.h"
#include "OverSrcs/eModelHooks.h"
#include "OverSrcs/eSelect.h"
#include "OverSrcs/oWindows.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// ---- Line table
// ----------------------------------------------------------------------------------

void eDxStringInfo::reserveLines(int32_t lines) {
    m_capacity = std::max(lines, 1);
    m_lines.reserve(static_cast<size_t>(m_capacity) + 1);
}

void eDxStringInfo::addLine(int32_t first, int32_t top, int32_t elements) {
    if (static_cast<int32_t>(m_lines.size()) >= m_capacity) {
        // Full: room for as many lines as the elements laid out so far predict for the whole row
        // (lines so far + 1, scaled by elements / elements so far), at least two more lines.
        const int64_t lines = static_cast<int64_t>(m_lines.size());
        const int64_t predicted = first > 0 ? (lines + 1) * elements / first : 0;
        reserveLines(static_cast<int32_t>(
            std::max<int64_t>({predicted, int64_t{m_capacity} + 2, lines + 1})));
    }
    m_lines.push_back(Line{first, top});
    m_count = static_cast<int32_t>(m_lines.size());
}

void eDxStringInfo::close(int32_t first, int32_t bottom) {
    m_count = static_cast<int32_t>(m_lines.size());
    m_lines.push_back(Line{first, bottom});
}

// ---- Factories ---------------------------------------------------------------------------------

void SetUpDxString(eDxString* row, const eDxString* model) {
    if (row == nullptr)
        return;
    if (model != nullptr) {
        row->copyRulerFrom(*model);
        row->m_colour = model->m_colour;
        row->m_nudgeX = model->m_nudgeX;
        row->m_nudgeY = model->m_nudgeY;
        LinkRows(const_cast<eDxString*>(model), row);
        return;
    }
    row->m_verticalAlign = kDxAlignBaseline;
    row->m_justification = kDxJustifyLeft;
    row->m_followRuler = 0;
    row->m_width = kDxDefaultWidth;
    for (int32_t i = 0; i < kTabStopCount; ++i) {
        if (i >= 6) {
            row->m_tabStops[i] = kTabEmptyWord;
            continue;
        }
        const int32_t k = i + 1;
        // Every inch, or every 2.5 cm rounded to the nearest point.
        const int32_t points = MeasurementUnitSetting == 1 ? (7 + 1063 * k) / 15 : 72 * k;
        row->m_tabStops[i] = MakeTabStop(kTabLeft, points);
    }
}

OwnedNode<eDxString> NewDxString(int32_t count, const eDxString* model) {
    return NewDxStringOf<eDxString>(count, model);
}

void eDxString::copyRulerFrom(const eDxString& other) {
    m_verticalAlign = other.m_verticalAlign;
    m_justification = other.m_justification;
    m_followRuler = other.m_followRuler;
    m_width = other.m_width;
    std::copy(other.m_tabStops, other.m_tabStops + kTabStopCount, m_tabStops);
}

namespace {

int32_t measureResolution() {
    return DrawState.measurePort != nullptr ? DrawState.measurePort->resolution() : 16;
}

int32_t stopDevicePosition(uint16_t stop, int32_t res, int32_t magnify) {
    return (TabPositionOf(stop) * res * magnify + 8) / 16;
}

} // namespace

int32_t TabStopAt(const eDxString* row, int32_t x) {
    if (row == nullptr)
        return -1;
    const int32_t res = measureResolution();
    for (int32_t i = 0; i < kTabStopCount; ++i)
        if (stopDevicePosition(row->m_tabStops[i], res, DrawState.magnifyFactor) > x)
            return i;
    return -1;
}

// ---- Children
// ------------------------------------------------------------------------------------

void eDxString::init(int32_t count) {
    eString::init(count);
    m_lines = nullptr;
    m_image = nullptr;
    slotsClear();
}

void eDxString::destroy(int32_t flags) {
    flags = subtreeDestroyFlags(flags);
    destroyChildren(flags);
    delete m_lines;
    m_lines = nullptr;
    dropImage();
    eString::destroy(flags);
}

eExpr* eDxString::getChild(int32_t i) const {
    return slotGet(i);
}

ExprPtr eDxString::detachChild(int32_t i) {
    return slotDetach(i);
}

eExpr* eDxString::setChild(int32_t i, ExprPtr node) {
    return slotSet(i, std::move(node));
}

bool eDxString::isDxString() const {
    return true;
}

void eDxString::invalidate() {
    dropImage();
    eString::invalidate();
}

// ---- Layout
// --------------------------------------------------------------------------------------

namespace {

// How far below an element's top the line's alignment line lies.
int32_t anchorOf(const eExpr* e, uint8_t align) {
    switch (align) {
    case kDxAlignTop:
        return 0;
    case kDxAlignMiddle:
        return e->height() / 2;
    case kDxAlignBottom:
        return e->height();
    case kDxAlignLastBaseline:
        return e->m_zone.ref2;
    default:
        return e->m_zone.ref1;
    }
}

// The characters a relation stop aligns on, in order of preference.
constexpr unsigned char kRelationChars[] = {'=', '<', '>', 0xA3, 0xB3, 0xB9};

// The running state of one line while its elements are tried.
struct LineFill {
    eDxString* row = nullptr;
    int32_t first = 0;
    int32_t W = 0;
    int32_t res = 16;
    int32_t x = 0;
    int32_t pending = 0;
    eExpr* lastTab = nullptr;
    int32_t kind = 0;
    int32_t S = 0;
    int32_t above = 0;
    int32_t below = 0;
};

void setWidth(eExpr* e, int32_t w) {
    e->m_zone.right = e->m_zone.left + w;
}

// Places element i on the line; false when it refuses (not final: it belongs on the next line).
bool placeElement(LineFill& f, int32_t i, bool final) {
    eExpr* e = f.row->getChild(i);
    if (e == nullptr)
        return true;
    const bool firstOnLine = i == f.first;
    if (e->isTab()) {
        setWidth(e, 0);
        const int32_t slot = TabStopAt(f.row, f.x);
        if (slot < 0 || TabIsEmpty(f.row->m_tabStops[slot])) {
            if (!firstOnLine)
                return false;
            f.kind = kTabLeft;
        } else {
            const uint16_t stop = f.row->m_tabStops[slot];
            const int32_t tw = stopDevicePosition(stop, f.res, DrawState.magnifyFactor) - f.x;
            if (f.x + tw > f.W && !firstOnLine)
                return false;
            setWidth(e, tw);
            f.x += tw;
            f.lastTab = e;
            f.kind = TabKindOf(stop);
        }
    } else {
        // Taken back whole when the element refuses, so that it leaves no trace on this line.
        const LineFill before = f;
        const int32_t lastTabWidth = f.lastTab != nullptr ? f.lastTab->width() : 0;
        const int32_t w = e->width();
        int32_t o = 0;
        if (f.kind <= kTabRight) {
            o = f.kind * w / 2;
        } else {
            int32_t at = kCharAbsent;
            if (f.kind == kTabDecimal) {
                at = e->whereChar('.');
            } else {
                for (unsigned char c : kRelationChars) {
                    at = e->whereChar(c);
                    if (at != kCharAbsent)
                        break;
                }
            }
            if (at != kCharAbsent) {
                o = at;
                f.kind = kTabLeft;
            } else {
                o = w;
            }
        }
        if (e->isSpace()) {
            f.pending += w - o;
        } else {
            f.x += f.pending + w - o;
            f.pending = 0;
        }
        if (f.lastTab != nullptr && o != 0) {
            // The tab ends where the element's alignment point lies on the stop.
            const int32_t tw = f.lastTab->width() - o;
            if (tw < 0) {
                f.x -= tw;
                setWidth(f.lastTab, 0);
            } else {
                setWidth(f.lastTab, tw);
            }
        }
        if (!final && f.x > f.W && !firstOnLine) {
            if (f.lastTab != nullptr)
                setWidth(f.lastTab, lastTabWidth);
            f = before;
            return false;
        }
    }
    f.S = std::max(f.S, e->m_size);
    const int32_t a = anchorOf(e, f.row->m_verticalAlign);
    f.above = std::max(f.above, a);
    f.below = std::max(f.below, e->height() - a);
    return true;
}

bool staysOnLine(const eExpr* e) {
    return e == nullptr || e->isSpace() || e->isPunctuation();
}

// Fills the line that starts at f.first; returns the index after its last element.
int32_t fillLine(LineFill& f) {
    const int32_t count = f.row->childCount();
    int32_t e = f.first;
    while (e < count && placeElement(f, e, false))
        ++e;
    int32_t end = e;
    while (end < count && staysOnLine(f.row->getChild(end)))
        ++end;
    if (end >= count) {
        for (int32_t i = e; i < count; ++i)
            placeElement(f, i, true);
        f.x += f.pending;
        end = count;
    }
    const int32_t v = f.S / 8 + f.S;
    if (f.above + f.below < v) {
        switch (f.row->m_verticalAlign) {
        case kDxAlignTop:
            f.above = std::max(f.above, v / 8);
            f.below = std::max(f.below, v);
            break;
        case kDxAlignBottom:
            f.above = std::max(f.above, v);
            f.below = std::max(f.below, v / 8);
            break;
        case kDxAlignLastBaseline:
            f.above = std::max(f.above, 3 * v / 4);
            f.below = std::max(f.below, v / 4);
            break;
        default:
            f.above = std::max(f.above, v / 2);
            f.below = std::max(f.below, v / 2);
            break;
        }
    }
    return end;
}

} // namespace

void eDxString::layOutEmpty(int32_t res, int32_t lineLength, bool rulerMode, int32_t g) {
    const int32_t right = m_justification == kDxJustifyLeft ? 0 : lineLength;
    const int32_t points = std::max(DrawState.style.size, 1);
    const int32_t h = (res * points + 8) / 16;
    int32_t height = h;
    if (rulerMode)
        height = h + 3 + rulerBandHeight(res);
    m_zone = Zone{0, 0, right, height, height / 2, height / 2 + height / 4};
    m_size = h;
    if (StructureOn()) {
        m_zone.ref2 = h / 2;
        m_zone.bottom = h / 2 + 2 * g;
        m_zone.ref1 = g;
        m_zone.right += 2 * g;
    }
    auto* table = new eDxStringInfo();
    table->reserveLines(1);
    table->addLine(0, 0, 0);
    table->close(1, m_zone.bottom);
    delete m_lines;
    m_lines = table;
    m_flags |= kNodeLaidOut | kNodePlaced;
}

void eDxString::measure() {
    // Rows of an alignment ring lose their layout without being invalidated.
    if (!isLaidOut())
        dropImage();
    const int32_t res = measureResolution();
    const int32_t M = DrawState.magnifyFactor;
    const int32_t g = StructureOn() ? DrawState.margin : 0;
    const bool rulerMode = DrawState.options[kOptionRuler] != 0;

    m_rulerInherited = 0;
    if (m_followRuler != 0 && m_parent != nullptr && m_parent->m_parent != nullptr &&
        m_parent->m_parent->isDxString()) {
        const auto* outer = static_cast<const eDxString*>(m_parent->m_parent);
        m_justification = outer->m_justification;
        m_width = outer->m_width;
        std::copy(outer->m_tabStops, outer->m_tabStops + kTabStopCount, m_tabStops);
        m_rulerInherited = 1;
    }
    const int32_t W = lineLength(res, M);
    if (m_count == 0) {
        layOutEmpty(res, W, rulerMode, g);
        return;
    }
    for (int32_t i = 0; i < m_count; ++i)
        LayOutChild(getChild(i));

    int32_t y = g;
    if (rulerMode)
        y = rulerBandHeight(res);
    int32_t R = W;
    const bool hasGrandparent = m_parent != nullptr && m_parent->m_parent != nullptr;
    if (m_justification == kDxJustifyLeft && (!rulerMode || hasGrandparent))
        R = 0;

    auto* table = new eDxStringInfo();
    table->reserveLines(m_count / 8 + 3);
    const int32_t minSize = M * MinimumCharacterSize();
    int32_t lastFirst = 0;
    int32_t lastEnd = 0;
    int32_t lastSize = minSize;
    for (int32_t first = 0; first < m_count;) {
        LineFill f;
        f.row = this;
        f.first = first;
        f.W = W;
        f.res = res;
        f.S = minSize;
        const int32_t end = fillLine(f);
        table->addLine(first, y, m_count);
        // Placing.
        int32_t x = f.x;
        if (StructureOn())
            x += 2 * g;
        int32_t x0 = std::max((W - x) * m_justification / 2 + g, 0);
        for (int32_t i = first; i < end; ++i) {
            eExpr* e = getChild(i);
            if (e == nullptr)
                continue;
            PlaceNodeRect(e, x0, y + f.above - anchorOf(e, m_verticalAlign));
            x0 += e->width();
        }
        y += f.above + f.below;
        R = std::max(R, x);
        lastFirst = first;
        lastEnd = end;
        lastSize = f.S;
        first = end;
    }
    table->close(m_count + 1, y);
    delete m_lines;
    m_lines = table;
    const int32_t n = table->lineCount();
    if (n > 1)
        R = std::max(R, W);

    int32_t ascent = 0;
    if (n % 2 == 0) {
        ascent = table->line(n / 2).top;
    } else {
        const eExpr* e = getChild(table->line(n / 2).first);
        ascent = e != nullptr ? e->m_zone.top + e->m_zone.ref1 : table->line(n / 2).top;
    }
    int32_t lastBaseline = 0;
    int32_t size = std::max(lastSize, minSize);
    for (int32_t i = lastFirst; i < lastEnd; ++i) {
        const eExpr* e = getChild(i);
        if (e == nullptr)
            continue;
        lastBaseline = std::max(lastBaseline, e->m_zone.top + e->m_zone.ref2);
        size = std::max(size, e->m_size);
    }
    m_zone = Zone{0, 0, R, y + g, ascent, lastBaseline};
    m_size = size;
    m_flags |= kNodeLaidOut | kNodePlaced;
    HookCheckUserAbort();
}

void eDxString::rescale() {
    if (m_lines != nullptr) {
        for (int32_t k = 0; k <= m_lines->lineCount(); ++k)
            m_lines->line(k).top = RescaleValue(m_lines->line(k).top);
    }
    eString::rescale();
}

// ---- Drawing
// -------------------------------------------------------------------------------------

namespace {

// Set while a row fills its image: rows inside it draw plainly.
bool s_fillingImage = false;

uint32_t packColor(const Color& c) {
    return (uint32_t{c.r} << 16) | (uint32_t{c.g} << 8) | uint32_t{c.b};
}

} // namespace

// The elements, then the ruler band in ruler view mode unless the ruler is inherited.
void eDxString::plainDraw() {
    eString::draw();
    if (DrawState.options[kOptionRuler] != 0 && m_rulerInherited == 0)
        DrawRowRuler(this);
}

void eDxString::dropImage() {
    delete m_image;
    m_image = nullptr;
}

// The image is reused only for the same size, drawing options and colours.
void eDxString::imageKey(uint32_t key[4]) const {
    const Zone& z = DrawState.absZone;
    const oGraphPort* port = DrawState.drawPort;
    key[0] = (static_cast<uint32_t>(z.width()) << 16) ^ static_cast<uint32_t>(z.height());
    key[1] = uint32_t{DrawState.options[0]} | uint32_t{DrawState.options[1]} << 8 |
             uint32_t{DrawState.options[2]} << 16 | uint32_t{DrawState.options[3]} << 24;
    key[2] = port != nullptr ? packColor(port->foreColor()) : 0;
    key[3] = port != nullptr ? packColor(port->backColor()) : 0;
}

bool eDxString::hasCurrentImage() const {
    if (m_image == nullptr)
        return false;
    uint32_t key[4];
    imageKey(key);
    return std::equal(key, key + 4, m_imageKey);
}

void eDxString::draw() {
    // Only screen ports keep images: exports, pictures, printers and pixmaps draw plainly.
    auto* screen = dynamic_cast<oNativePort*>(DrawState.drawPort);
    const bool onScreen = screen != nullptr && dynamic_cast<oOutputPort*>(screen) == nullptr &&
                          dynamic_cast<oPixMap*>(screen) == nullptr &&
                          screen->resolution() == ScreenResolution();
    if (!StructureOn() || s_fillingImage || !onScreen) {
        plainDraw();
        return;
    }
    const Zone z = DrawState.absZone;
    if (!hasCurrentImage()) {
        dropImage();
        std::unique_ptr<oPixMap> image(TryNewScreenPixMap(z));
        if (image == nullptr || image->hasNoBitmap()) {
            plainDraw();
            return;
        }
        const Color fore = screen->foreColor(), back = screen->backColor();
        image->setColors(&fore, &back);
        image->eraseZone(z);
        {
            // Puts the screen back even when drawing the elements fails part way.
            struct Filling {
                oNativePort* screen;
                Zone zone;
                uint8_t colour = DrawState.currentColour;
                ~Filling() {
                    s_fillingImage = false;
                    DrawState.drawPort = screen;
                    DrawState.absZone = zone;
                    DrawState.currentColour = colour;
                }
            } filling{screen, z};
            DrawState.drawPort = image.get();
            s_fillingImage = true;
            plainDraw();
        }
        m_image = image.release();
        imageKey(m_imageKey);
    }
    screen->restorePix(z.left, z.top, *m_image);
}

// ---- Highlight
// -----------------------------------------------------------------------------------

void eDxString::getHighlightArea(const SelectionEntry& entry) {
    Zone& z = DrawState.absZone;
    const int32_t res = measureResolution();
    const bool rulerMode = DrawState.options[kOptionRuler] != 0;
    if (m_count == 0 || m_lines == nullptr || m_lines->lineCount() == 0) {
        const int32_t j = m_justification;
        const int32_t x = StructureOn() ? ((2 - j) * (z.left + 3) + j * (z.right - 3)) / 2
                                        : ((2 - j) * z.left + j * z.right) / 2;
        z.left = x;
        z.right = x;
        if (rulerMode)
            z.top += rulerBandHeight(res);
        if (!StructureOn() && z.bottom - z.top < 6) {
            const int32_t mid = (z.top + z.bottom) / 2;
            z.top = mid - 3;
            z.bottom = mid + 3;
        }
        return;
    }
    const int32_t absLeft = z.left;
    const int32_t absTop = z.top;
    const int32_t n = m_lines->lineCount();
    auto lineOfStart = [&](int32_t pos) {
        int32_t k = 0;
        for (int32_t i = 0; i < n; ++i)
            if (m_lines->line(i).first <= pos)
                k = i;
        return k;
    };
    auto lineOfEnd = [&](int32_t pos) {
        for (int32_t i = 0; i <= n; ++i)
            if (m_lines->line(i).first > pos)
                return std::max(i - 1, 0);
        return n - 1;
    };
    auto xOf = [&](int32_t pos) {
        const bool past = pos >= m_count;
        const eExpr* e = getChild(past ? m_count - 1 : std::max(pos, 0));
        if (e == nullptr)
            return 0;
        return past ? e->m_zone.right : e->m_zone.left;
    };
    const int32_t start = std::clamp(std::min(entry.start, entry.end), 0, m_count);
    const int32_t end = std::clamp(std::max(entry.start, entry.end), 0, m_count);
    const int32_t ls = lineOfStart(start);
    const int32_t le = std::max(lineOfEnd(end), ls);
    const int32_t xs = xOf(start);
    const int32_t xe = xOf(end);
    if (ls == le) {
        z.left = absLeft + xs;
        z.right = absLeft + xe;
        z.top = absTop + m_lines->line(ls).top;
        z.bottom = absTop + m_lines->line(ls + 1).top;
        return;
    }
    z.top = absTop + m_lines->line(ls).top;
    z.bottom = absTop + m_lines->line(le + 1).top;
    DrawState.highlightBands[0] = xs;
    DrawState.highlightBands[1] = m_lines->line(ls + 1).top - m_lines->line(ls).top;
    DrawState.highlightBands[2] = width() - xe;
    DrawState.highlightBands[3] = m_lines->line(le + 1).top - m_lines->line(le).top;
}

// ---- Clicks
// --------------------------------------------------------------------------------------

bool eDxString::rulerBandHolds(int32_t y) const {
    return DrawState.options[kOptionRuler] != 0 && y >= 0 &&
           y < rulerBandHeight(measureResolution());
}

bool eDxString::hit(oPoint anchor, oPoint point, SelectionEntry& entry, bool drag) {
    const char* tag = drag ? "DSRClk" : "DSClk";
    if (m_lines == nullptr) {
        KV_ASSERT_FAILED("dxsInfoNull");
        entry = {this, 0, 0, 0, 1};
        return true;
    }
    entry.rowStart = 0;
    entry.rowEnd = 1;
    const Zone abs = DrawState.absZone;
    if (DrawState.options[kOptionRuler] != 0) {
        const int32_t bandBottom = abs.top + rulerBandHeight(measureResolution());
        if (anchor.y < bandBottom) {
            // The band is the ruler's: a press there edits the ruler and selects nothing. Only a
            // fresh press acts; the pointer of a selection drag that merely passes over the band
            // never edits the ruler.
            const bool press = anchor.x == point.x && anchor.y == point.y;
            if (m_rulerInherited == 0 && !drag && press)
                RulerBandClick(this, oPoint{point.x - abs.left, point.y - abs.top}, abs);
            entry.node = nullptr;
            return true;
        }
    }
    for (int32_t i = 0; i < m_count; ++i) {
        eExpr* child = getChild(i);
        if (drag ? HitDragChild(child, anchor, point, entry)
                 : HitClickChild(child, anchor, point, entry))
            return true;
    }
    if (WholeRowClickOption != 0 || m_count == 0) {
        entry = {this, 0, m_count, 0, 1};
        return true;
    }
    oPoint p1{anchor.x - abs.left, anchor.y - abs.top};
    oPoint p2{point.x - abs.left, point.y - abs.top};
    if (p2.x < p1.x)
        std::swap(p1, p2);
    int32_t start = -1;
    int32_t end = -1;
    const int32_t n = m_lines->lineCount();
    int32_t line = 0;
    for (int32_t i = 0; i < m_count; ++i) {
        while (line + 1 < n && m_lines->line(line + 1).first <= i)
            ++line;
        const int32_t top = line == 0 ? 0 : m_lines->line(line).top;
        const int32_t bottom = line == n - 1 ? height() : m_lines->line(line + 1).top;
        const bool in1 = p1.y >= top && p1.y < bottom;
        const bool in2 = p2.y >= top && p2.y < bottom;
        if (i == m_lines->line(line).first) {
            if (in1)
                start = i;
            if (in2)
                end = i;
        }
        const eExpr* e = getChild(i);
        if (e == nullptr)
            continue;
        const int32_t threeQuarters = e->m_zone.left + 3 * e->width() / 4;
        const int32_t quarter = e->m_zone.left + e->width() / 4;
        if (threeQuarters < p1.x && in1)
            start = i + 1;
        if (quarter < p2.x && in2)
            end = i + 1;
    }
    if (const eExpr* last = getChild(m_count - 1)) {
        if (p1.x >= last->m_zone.right && p1.y >= last->m_zone.top)
            start = m_count;
        if (p2.x >= last->m_zone.right && p2.y >= last->m_zone.top)
            end = m_count;
    }
    if (start < 0 || end < 0) {
        KV_ASSERT_FAILED(tag);
        start = std::clamp(start, 0, m_count);
        end = std::clamp(end, 0, m_count);
    }
    entry = {this, std::min(start, end), std::max(start, end), 0, 1};
    return true;
}

bool eDxString::hitClick(oPoint anchor, oPoint point, SelectionEntry& entry) {
    return hit(anchor, point, entry, false);
}

bool eDxString::hitDrag(oPoint anchor, oPoint point, SelectionEntry& entry) {
    return hit(anchor, point, entry, true);
}

// ---- Edits
// ---------------------------------------------------------------------------------------

ExprPtr eDxString::copyOut(const SelectionEntry& entry) const {
    const int32_t start = std::clamp(std::min(entry.start, entry.end), 0, m_count);
    const int32_t end = std::clamp(std::max(entry.start, entry.end), 0, m_count);
    if (start >= end)
        return ExprPtr();
    OwnedNode<eDxString> row = NewDxString(end - start, this);
    // A copy keeps the ruler but not the alignment ring.
    UnlinkRow(row.get());
    for (int32_t i = start; i < end; ++i) {
        const eExpr* child = getChild(i);
        row->setChild(i - start, child != nullptr ? child->deepCopy() : ExprPtr());
    }
    return row;
}

eString* eDxString::resizeRange(int32_t start, int32_t end, int32_t n) {
    start = std::clamp(start, 0, m_count);
    end = std::clamp(end, start, m_count);
    n = std::max(n, 0);
    const int32_t shift = n - (end - start);
    OwnedNode<eDxString> fresh = NewDxString(m_count + shift, this);
    fresh->m_zone = m_zone;
    // Still where this row is shown, until the next layout places it.
    fresh->m_flags |= static_cast<uint8_t>(m_flags & kNodePlaced);
    fresh->m_size = m_size;
    moveKeptChildren(fresh.get(), start, end, shift);
    return handOverTo(std::move(fresh));
}

// ---- The row ruler
// -------------------------------------------------------------------------------

RowRulerGeometry RulerGeometryFor(int32_t res, int32_t lu) {
    RowRulerGeometry g;
    g.res = std::max(res, 1);
    g.lu = std::max(lu, 1);
    g.base = 14 * g.res / 16;
    g.majorTick = 6 * g.res / 16;
    g.minorTick = 2 * g.res / 16;
    g.strip = 9 * g.res / 16;
    g.iconWidth = 13 * g.lu;
    g.iconHeight = 7 * g.lu;
    g.iconGrip = 6 * g.lu;
    g.toolPitch = 24 * g.res / 16;
    return g;
}

int32_t RulerTickPoints(int32_t unit, int32_t magnify, int32_t i) {
    switch (unit) {
    case 1:
        return (17 * magnify * i + 1) / 3;
    case 2:
        return 10 * magnify * i;
    case 3:
        return 12 * magnify * i;
    default:
        return 9 * magnify * i;
    }
}

int32_t RulerMajorEvery(int32_t unit) {
    return unit == 1 || unit == 2 || unit == 3 ? 5 : 8;
}

int32_t RulerLabel(int32_t unit, int32_t k) {
    switch (unit) {
    case 2:
        return 50 * k;
    case 3:
        return 5 * k;
    default:
        return k;
    }
}

namespace {

constexpr int32_t kRulerMaxTicks = 31999;
constexpr int32_t kRulerFarRight = 32000;
// A ruled row always keeps a stop: a left stop at half an inch.
constexpr uint16_t kFallbackStop = 0x120;

Color rulerColour(const oGraphPort& port) {
    const Color& bg = port.backColor();
    if (bg.r + bg.g + bg.b < 350)
        return kColorWhite;
    return kColorGrey64;
}

int32_t labelFont() {
    // The scale is labelled in the program's sans-serif font.
    return HookFontIndexForRole(kFontRoleSansSerif);
}

RowRulerGeometry currentGeometry() {
    const oMeasurePort* port = DrawState.measurePort;
    if (port == nullptr)
        port = DrawState.drawPort;
    if (port == nullptr)
        return RulerGeometryFor(16, 1);
    return RulerGeometryFor(port->resolution(), port->lineUnit());
}

// The stop's x from the row's left edge.
int32_t stopOffset(uint16_t stop, int32_t res) {
    return stopDevicePosition(stop, res, DrawState.magnifyFactor);
}

Zone iconZone(int32_t left, int32_t top, const RowRulerGeometry& g) {
    return Zone{left, top, left + g.iconWidth, top + g.iconHeight, 0, 0};
}

} // namespace

void DrawRowRuler(const eDxString* row) {
    if (row == nullptr || DrawState.drawPort == nullptr)
        return;
    oGraphPort& port = *DrawState.drawPort;
    const RowRulerGeometry g = currentGeometry();
    const Zone& abs = DrawState.absZone;
    const int32_t left = abs.left;
    const int32_t top = abs.top;
    const int32_t right = abs.right;
    const Color colour = rulerColour(port);
    const Color background = port.backColor();
    const Zone band{left, top, right, top + g.height(), 0, 0};
    port.frameZone(band, g.lu, colour, kLineSolid, kDrawPaint);

    const Zone savedClip = port.clip();
    port.clipToZone(&band);
    const int32_t scale = top + g.base;
    const int32_t unit = MeasurementUnitSetting;
    const int32_t major = RulerMajorEvery(unit);
    std::vector<std::pair<int32_t, int32_t>> labels; // x and tick top of each major tick
    port.startDeluxeLine(g.lu, colour, kLineSolid, kDrawPaint);
    port.moveTo(left, scale);
    port.lineTo(right - g.lu, scale);
    for (int32_t i = 1; i <= kRulerMaxTicks; ++i) {
        const int32_t x =
            left + (g.res * RulerTickPoints(unit, DrawState.magnifyFactor, i) + 8) / 16;
        if (x >= right)
            break;
        int32_t length = i % major == 0 ? g.majorTick : g.minorTick;
        if (unit == 0 && i % major != 0) {
            // Inches: the quarter and half-inch ticks stand out a little.
            if (i % 4 == 2)
                length += 1;
            else if (i % 4 == 0)
                length += 2;
        }
        port.moveTo(x, scale);
        port.lineTo(x, scale - length);
        if (i % major == 0)
            labels.emplace_back(x, scale - length);
    }
    port.endLine();
    const int32_t font = labelFont();
    for (size_t k = 0; k < labels.size(); ++k) {
        const std::string text = std::to_string(RulerLabel(unit, static_cast<int32_t>(k) + 1));
        port.drawDeluxeString(text.c_str(), font, labels[k].first + 2 * g.res / 16,
                              labels[k].second + 2 * g.res / 16 + 2, &colour, 0);
    }

    if (row->m_justification == kDxJustifyLeft) {
        for (uint16_t stop : row->m_tabStops) {
            const int32_t x = left + stopOffset(stop, g.res);
            if (x > kRulerFarRight)
                break;
            port.drawImage(kTabIconBase + TabKindOf(stop),
                           iconZone(x - g.iconGrip, scale + g.lu, g), colour, background, 0);
        }
    }

    const int32_t stripTop = top + g.height() - g.strip;
    port.paintZone(Zone{right - 6 * g.lu, scale + 2, right, stripTop - 2, 0, 0}, colour);
    port.startDeluxeLine(g.lu, colour, kLineSolid, kDrawPaint);
    port.moveTo(right, top);
    port.lineTo(right, top + g.height());
    port.endLine();

    for (int32_t k = 1; k <= 5; ++k)
        port.drawImage(kTabIconBase + k - 1, iconZone(left + g.toolPitch * k, stripTop, g), colour,
                       background, 0);
    for (int32_t k = 10; k <= 12; ++k)
        port.drawImage(kJustifyIconBase + k - 10, iconZone(left + g.toolPitch * k, stripTop, g),
                       colour, background, 0);
    port.clipToZone(&savedClip);
}

// ---- Ruler edits
// ---------------------------------------------------------------------------------

void DropTabStop(eDxString* row, int32_t slot, int32_t kind, oPoint icon, const Zone& abs,
                 const RowRulerGeometry& g, bool magnifier) {
    if (row == nullptr || slot < 0 || slot >= kTabStopCount)
        return;
    const int32_t x = icon.x + g.iconGrip;
    const int32_t stripTop = abs.top + g.height() - g.strip;
    const bool off =
        icon.y < abs.top || icon.y + g.iconHeight / 2 > stripTop || x < abs.left || x > abs.right;
    int32_t position = kTabEmptyPosition;
    if (!off) {
        position = (g.res / 2 + (x - abs.left) * 16) / g.res;
        if (magnifier)
            position /= 2;
        position = std::clamp(position, 0, kTabMaxPosition);
    }
    uint16_t* stops = row->m_tabStops;
    stops[slot] = MakeTabStop(kind, position);
    // Back in order of position, empty stops last; equal positions keep their order.
    while (slot > 0 && TabPositionOf(stops[slot]) < TabPositionOf(stops[slot - 1])) {
        std::swap(stops[slot], stops[slot - 1]);
        --slot;
    }
    while (slot < kTabStopCount - 1 &&
           TabPositionOf(stops[slot]) > TabPositionOf(stops[slot + 1])) {
        std::swap(stops[slot], stops[slot + 1]);
        ++slot;
    }
    row->m_justification = kDxJustifyLeft;
    if (TabIsEmpty(stops[0]))
        stops[0] = kFallbackStop;
}

int32_t FreeTabStopSlot(const eDxString* row) {
    if (row == nullptr)
        return -1;
    for (int32_t i = 0; i < kTabStopCount; ++i)
        if (TabPositionOf(row->m_tabStops[i]) > row->m_width)
            return i;
    return -1;
}

void SetRulerWidthAt(eDxString* row, int32_t x, const Zone& abs, const RowRulerGeometry& g,
                     bool magnifier) {
    if (row == nullptr)
        return;
    int32_t dx = x - abs.left;
    if (magnifier)
        dx /= 2;
    // A marker dragged onto or past the left edge still leaves a line one point long.
    row->m_width = std::max(dx * 16 / g.res, 1);
}

void FinishRulerEdit(eDxString* row) {
    if (row == nullptr)
        return;
    eExpr* leaf = row;
    while (leaf->childCount() > 0 && leaf->getChild(0) != nullptr)
        leaf = leaf->getChild(0);
    if (ActiveRecord != nullptr) {
        ClearSelectionList(*ActiveRecord);
        SelectRange(leaf, 0, 0, 0, 0);
    }
    InvalidateTree(row);
    InvalidateAncestors(row);
    if (TheCommandHooks().markEdited != nullptr)
        TheCommandHooks().markEdited(row);
    if (TheCommandHooks().redrawAfterEdit != nullptr)
        TheCommandHooks().redrawAfterEdit();
}

namespace {

// One mouse drag of the ruler at a time; the state lives for that drag only.
struct RulerDrag {
    eDxString* row = nullptr;
    Zone abs;
    RowRulerGeometry g;
    bool magnifier = false;
    int32_t slot = -1;
    int32_t kind = 0;
    oPoint grip;     // the press point's offset from the icon's top-left
    oPoint lastIcon; // where the feedback is shown
    int32_t lastX = 0;
    bool shown = false;
    std::unique_ptr<oPixMap> under; // the pad under the dragged icon
};
RulerDrag s_drag;

void invertIcon(oPoint icon) {
    if (ActivePad != nullptr)
        ActivePad->invertZone(iconZone(icon.x, icon.y, s_drag.g));
}

// The dragged stop is shown as its own icon: the pad under it is kept and put back before the
// icon moves on. Without room for the kept pixels the icon's box is inverted instead.
void showStopIcon(oPoint icon) {
    if (ActivePad == nullptr)
        return;
    if (!s_drag.under)
        s_drag.under.reset(
            TryNewScreenPixMap(Zone{0, 0, s_drag.g.iconWidth, s_drag.g.iconHeight, 0, 0}));
    if (s_drag.under) {
        ActivePad->savePix(icon.x, icon.y, *s_drag.under);
        ActivePad->drawImage(kTabIconBase + s_drag.kind, iconZone(icon.x, icon.y, s_drag.g),
                             rulerColour(*ActivePad), ActivePad->backColor(), 0);
    } else {
        invertIcon(icon);
    }
    s_drag.lastIcon = icon;
    s_drag.shown = true;
}

void hideStopIcon() {
    if (!s_drag.shown || ActivePad == nullptr)
        return;
    if (s_drag.under)
        ActivePad->restorePix(s_drag.lastIcon.x, s_drag.lastIcon.y, *s_drag.under);
    else
        invertIcon(s_drag.lastIcon);
    s_drag.shown = false;
}

// A fresh drag over the row's ruler; false when there is no pad to drag on.
bool startDrag(eDxString* row, const Zone& abs, const RowRulerGeometry& g) {
    if (ActivePad == nullptr)
        return false;
    s_drag = RulerDrag{};
    s_drag.row = row;
    s_drag.abs = abs;
    s_drag.g = g;
    s_drag.magnifier = DrawState.options[kOptionMagnify] != 0;
    return true;
}

void dragStop(eDxString* row, const Zone& abs, const RowRulerGeometry& g, int32_t slot,
              int32_t kind, oPoint icon, oPoint press) {
    if (!startDrag(row, abs, g))
        return;
    s_drag.slot = slot;
    s_drag.kind = kind;
    s_drag.grip = oPoint{press.x - icon.x, press.y - icon.y};
    showStopIcon(icon);
    ActivePad->trackDrag(
        [](oPoint p) {
            hideStopIcon();
            showStopIcon(oPoint{p.x - s_drag.grip.x, p.y - s_drag.grip.y});
        },
        [](oPoint p) {
            hideStopIcon();
            s_drag.under.reset();
            const oPoint icon{p.x - s_drag.grip.x, p.y - s_drag.grip.y};
            BeginEditStep(0);
            NoteEditedNode(s_drag.row);
            DropTabStop(s_drag.row, s_drag.slot, s_drag.kind, icon, s_drag.abs, s_drag.g,
                        s_drag.magnifier);
            FinishRulerEdit(s_drag.row);
        });
    s_drag = RulerDrag{};
}

void invertMarker(int32_t x) {
    if (ActivePad == nullptr)
        return;
    ActivePad->startXorLine(s_drag.g.lu);
    ActivePad->moveTo(x, s_drag.abs.top);
    ActivePad->lineTo(x, s_drag.abs.top + s_drag.g.height());
    ActivePad->endLine();
}

void dragWidth(eDxString* row, const Zone& abs, const RowRulerGeometry& g, int32_t x) {
    if (!startDrag(row, abs, g))
        return;
    s_drag.lastX = x;
    invertMarker(x);
    s_drag.shown = true;
    ActivePad->trackDrag(
        [](oPoint p) {
            if (s_drag.shown)
                invertMarker(s_drag.lastX);
            invertMarker(p.x);
            s_drag.lastX = p.x;
            s_drag.shown = true;
        },
        [](oPoint p) {
            if (s_drag.shown)
                invertMarker(s_drag.lastX);
            s_drag.shown = false;
            BeginEditStep(0);
            NoteEditedNode(s_drag.row);
            SetRulerWidthAt(s_drag.row, p.x, s_drag.abs, s_drag.g, s_drag.magnifier);
            FinishRulerEdit(s_drag.row);
        });
    s_drag = RulerDrag{};
}

} // namespace

void RulerBandClick(eDxString* row, oPoint p, const Zone& abs) {
    if (row == nullptr)
        return;
    const RowRulerGeometry g = currentGeometry();
    const int32_t stripTop = abs.top + g.height() - g.strip;
    const oPoint press{abs.left + p.x, abs.top + p.y};
    if (p.y > g.height() - g.strip) {
        const int32_t k = g.toolPitch > 0 ? p.x / g.toolPitch : 0;
        const Zone tool = iconZone(abs.left + g.toolPitch * k, stripTop, g);
        if (k >= 1 && k <= 5) {
            const int32_t slot = FreeTabStopSlot(row);
            if (slot < 0) {
                CommandBeep();
                return;
            }
            dragStop(row, abs, g, slot, k - 1, oPoint{tool.left, tool.top}, press);
        } else if (k >= 10 && k <= 12) {
            if (ActivePad != nullptr)
                ActivePad->invertZone(tool);
            BeginEditStep(0);
            NoteEditedNode(row);
            row->m_justification = static_cast<uint8_t>(k - 10);
            FinishRulerEdit(row);
        }
        return;
    }
    const int32_t right = abs.right - abs.left;
    if (p.x > right - 6 * g.lu && p.x < right) {
        dragWidth(row, abs, g, press.x);
        return;
    }
    if (row->m_justification != kDxJustifyLeft)
        return;
    for (int32_t i = 0; i < kTabStopCount; ++i) {
        const int32_t x = stopOffset(row->m_tabStops[i], g.res);
        if (std::abs(x - p.x) < g.iconWidth) {
            const oPoint icon{abs.left + x - g.iconGrip, abs.top + g.base + g.lu};
            dragStop(row, abs, g, i, TabKindOf(row->m_tabStops[i]), icon, press);
            return;
        }
    }
}

// Help balloon: a ruled row; with the rulers shown the text explains the ruler.
void eDxString::infoText(int32_t& kind, int32_t& stringId) {
    kind = 0;
    const bool rulers = ActiveRecord != nullptr && ActiveRecord->m_options[kOptionRuler] != 0;
    stringId = rulers ? 390 : 389;
}
