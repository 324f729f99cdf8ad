// The ruled row: a row that carries a ruler (a line length, a justification, a vertical alignment
// and up to ten tab stops) and breaks itself into lines when its elements do not fit the line
// length. Tabs align the element after them on their stop. In ruler view mode the row shows its
// ruler as a band above its first line, where the stops, the width and the justification are
// edited with the mouse.
#pragma once

#include "OverSrcs/eString.h"

class oPixMap;

#include <cstdint>
#include <vector>

// The laid-out lines of a ruled row: for each line the index of its first element and its top
// relative to the row, then a sentinel (element count + 1, bottom of the last line).
class eDxStringInfo : public oObject {
public:
    struct Line {
        int32_t first = 0;
        int32_t top = 0;
    };

    eDxStringInfo* clone() const override { return new eDxStringInfo(*this); }

    int32_t lineCount() const { return m_count; }
    // Record k for k = 0 .. lineCount (the last one is the sentinel).
    const Line& line(int32_t k) const { return m_lines[static_cast<size_t>(k)]; }
    Line& line(int32_t k) { return m_lines[static_cast<size_t>(k)]; }
    int32_t capacity() const { return m_capacity; }

    // Room for `lines` lines and the sentinel.
    void reserveLines(int32_t lines);
    // Stores line (first element, top) of a row of `elements` elements, growing the room first
    // when it is full.
    void addLine(int32_t first, int32_t top, int32_t elements);
    // Stores the sentinel and fixes the line count.
    void close(int32_t first, int32_t bottom);

private:
    int32_t m_count = 0;
    int32_t m_capacity = 0;
    std::vector<Line> m_lines;
};

// Tab stop words: bits 0-2 the kind, bits 3-15 the position in points at magnification 1.
inline constexpr int32_t kTabStopCount = 10;
inline constexpr int32_t kTabEmptyPosition = 0x1FFF;
inline constexpr uint16_t kTabEmptyWord = 0xFFF8;
inline constexpr int32_t kTabMaxPosition = 8190;
enum TabKind : int32_t {
    kTabLeft = 0,
    kTabCentre = 1,
    kTabRight = 2,
    kTabDecimal = 3,
    kTabRelation = 4,
};
constexpr uint16_t MakeTabStop(int32_t kind, int32_t position) {
    return static_cast<uint16_t>((kind & 7) | (position << 3));
}
constexpr int32_t TabKindOf(uint16_t stop) {
    return stop & 7;
}
constexpr int32_t TabPositionOf(uint16_t stop) {
    return stop >> 3;
}
constexpr bool TabIsEmpty(uint16_t stop) {
    return stop >= kTabEmptyWord;
}

// Vertical alignments of the elements of one line.
enum DxAlign : uint8_t {
    kDxAlignTop = 0,
    kDxAlignMiddle = 1,
    kDxAlignBottom = 2,
    kDxAlignBaseline = 3,
    kDxAlignLastBaseline = 4,
};
// Justifications; tab stops act only with the left one.
enum DxJustify : uint8_t {
    kDxJustifyLeft = 0,
    kDxJustifyCentre = 1,
    kDxJustifyRight = 2,
};

inline constexpr int32_t kDxDefaultWidth = 300;

class eDxString : public eString {
    KV_NODE_CLONE(eDxString)
    // Emits the node through the active translator (etGener).
    void generate() override;

    // Also forgets the line table (a fresh copy must not free its source's).
    void init(int32_t count) override;
    void destroy(int32_t flags) override;
    void writeEncoding(oOStream& stream) const override;
    eExpr* getChild(int32_t i) const override;
    ExprPtr detachChild(int32_t i) override;
    eExpr* setChild(int32_t i, ExprPtr node) override;
    void infoText(int32_t& kind, int32_t& stringId) override;
    void measure() override;
    void rescale() override;
    void draw() override;
    void getHighlightArea(const SelectionEntry& entry) override;
    bool hitClick(oPoint anchor, oPoint point, SelectionEntry& entry) override;
    bool hitDrag(oPoint anchor, oPoint point, SelectionEntry& entry) override;
    void invalidate() override;
    ExprPtr copyOut(const SelectionEntry& entry) const override;
    bool isDxString() const override;
    // The row dialog: the ruler's alignments, or back to a plain row.
    int32_t change(bool query) override;
    eString* resizeRange(int32_t start, int32_t end, int32_t n) override;

    // The ruler band's height at resolution `res` in ruler view mode (0 with an inherited ruler).
    int32_t rulerBandHeight(int32_t res) const { return m_rulerInherited != 0 ? 0 : 2 * res; }
    // Whether a point y below the row's top lies in the ruler band shown above its first line.
    bool rulerBandHolds(int32_t y) const;
    const eDxStringInfo* lines() const { return m_lines; }
    // Copies the ruler (alignment, justification, follow flag, width, stops) of another row.
    void copyRulerFrom(const eDxString& other);
    // The line length in device units at resolution `res` and magnification `magnify`.
    int32_t lineLength(int32_t res, int32_t magnify) const { return m_width * res * magnify / 16; }

    uint8_t m_verticalAlign = kDxAlignBaseline;
    uint8_t m_justification = kDxJustifyLeft;
    uint8_t m_followRuler = 0;
    uint8_t m_rulerInherited = 0;
    int32_t m_width = kDxDefaultWidth; // points at magnification 1
    eDxStringInfo* m_lines = nullptr;  // owned
    uint16_t m_tabStops[kTabStopCount] = {};
    // The row's drawing kept while guides are shown (owned), and what it was drawn for.
    oPixMap* m_image = nullptr;
    uint32_t m_imageKey[4] = {};

    bool hasImage() const { return m_image != nullptr; }

private:
    void dropImage();
    void imageKey(uint32_t key[4]) const;
    // Whether the kept image was drawn for the row's present zone size, options and colours.
    bool hasCurrentImage() const;
    bool hit(oPoint anchor, oPoint point, SelectionEntry& entry, bool drag);
    void layOutEmpty(int32_t res, int32_t lineLength, bool rulerMode, int32_t g);
    void plainDraw();
};

// Gives a fresh block of a ruled-row class its ruler: copied from the model (which the row then
// joins in its alignment ring) or the defaults (baselines, left justified, 300 points wide, six
// left stops an inch apart, or 2.5 cm apart with centimetre units).
void SetUpDxString(eDxString* row, const eDxString* model);

// A ruled row with `count` empty slots; see SetUpDxString.
template <class T = eDxString> OwnedNode<T> NewDxStringOf(int32_t count, const eDxString* model) {
    if (count < 0)
        count = 0;
    OwnedNode<T> row(NewNodeBlock<T>(static_cast<size_t>(count) * sizeof(eExpr*)));
    row->resetFields();
    row->init(count);
    SetUpDxString(row.get(), model);
    return row;
}
OwnedNode<eDxString> NewDxString(int32_t count, const eDxString* model);

// The slot of the first of the row's ten stops whose device position lies right of x (measure
// port resolution and magnification of the drawing state); -1 when none.
int32_t TabStopAt(const eDxString* row, int32_t x);

// ---- The row ruler
// ------------------------------------------------------------------------------- In ruler view
// mode a ruled row whose ruler is not inherited shows a band 2 × res high above its first line: a
// scale in the measurement unit, the stops as icons, the width marker at the right edge and a strip
// of tools (five stop kinds, three justifications).

// The images of the stop kinds (kind k is kTabIconBase + k) and of the justification tools.
inline constexpr int32_t kTabIconBase = 0x2000;
inline constexpr int32_t kJustifyIconBase = 0x2005;

// The band's geometry at a resolution (device units per 16 points) and line unit.
struct RowRulerGeometry {
    int32_t res = 16;
    int32_t lu = 1;
    int32_t base = 0;      // the scale line lies this far below the band's top
    int32_t majorTick = 0; // tick lengths above the scale line
    int32_t minorTick = 0;
    int32_t strip = 0;     // the tool strip's top lies this far above the band's bottom
    int32_t iconWidth = 0; // a stop icon, its hot spot iconGrip from its left
    int32_t iconHeight = 0;
    int32_t iconGrip = 0;
    int32_t toolPitch = 0;
    int32_t height() const { return 2 * res; }
};
RowRulerGeometry RulerGeometryFor(int32_t res, int32_t lu);

// The scale of a measurement unit (0 inches, 1 cm, 2 points, 3 picas) at magnification M: where
// tick i lies in points, how many ticks make a labelled major tick, and the label of major tick k.
int32_t RulerTickPoints(int32_t unit, int32_t magnify, int32_t i);
int32_t RulerMajorEvery(int32_t unit);
int32_t RulerLabel(int32_t unit, int32_t k);

// Draws the band of the row whose absolute zone is DrawState.absZone through the draw port.
void DrawRowRuler(const eDxString* row);

// Ruler edits. Each changes the row's ruler only; the caller finishes the edit.
// A stop dropped with its icon's top-left at `icon` (absolute) on the band of the row at `abs`:
// off the band it becomes empty, else it lands at the nearest point (halved with the magnifier,
// at most 8190 points); the stops are put back in order, justification becomes left, and a row
// left without a first stop gets a left stop at 36 points.
void DropTabStop(eDxString* row, int32_t slot, int32_t kind, oPoint icon, const Zone& abs,
                 const RowRulerGeometry& g, bool magnifier);
// The slot a new stop takes: the first whose position lies beyond the row's width; -1 none.
int32_t FreeTabStopSlot(const eDxString* row);
// The width marker released at absolute x: the width in points (at least 1).
void SetRulerWidthAt(eDxString* row, int32_t x, const Zone& abs, const RowRulerGeometry& g,
                     bool magnifier);
// The end of every ruler edit: a caret at the start of the row's first leaf, the row's subtree
// invalidated, the pane marked changed and redrawn.
void FinishRulerEdit(eDxString* row);
// A press at `p` relative to the band's top-left of the row at `abs`: picks a tool, drags a stop
// or the width marker (through the active pad), or does nothing.
void RulerBandClick(eDxString* row, oPoint p, const Zone& abs);
