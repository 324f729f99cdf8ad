// The layout and drawing driver around the node classes' own measure and draw: the one drawing
// state that all of them read, the entry points that measure and draw a tree, the per-node step
// that places a child and decides whether it is visible, size steps, and locating a node.
//
// One thread runs all layout and drawing; the state is set by each entry point and is valid only
// during one measurement or drawing. A measurement must not start while a drawing through the same
// state is in progress.
#pragma once

#include "ExprSrcs/commands/tsPrefs.h"
#include "OverSrcs/eObject.h"
#include "OverSrcs/oGraph.h"

#include <cstdint>

// Indices of the four drawing options.
inline constexpr int kOptionStructure = 0; // outlines, margins, visible placeholders
inline constexpr int kOptionMagnify = 1;   // everything twice as large
inline constexpr int kOptionRuler = 2;     // rulers shown; spaces and tabs made visible
inline constexpr int kOptionFourth = 3;    // stored and passed on

struct DrawingState {
    oMeasurePort* measurePort = nullptr;
    oGraphPort* drawPort = nullptr;
    // The style in effect for the node being laid out; its size is the current point size.
    FSSRecord style;
    // The colour byte last given to the draw port.
    uint8_t currentColour = 0;
    // The zone of the node being drawn or located, in root or port coordinates. While a tree is
    // rescaled its left and top hold the unscaled origin and its right and bottom the scaled one.
    Zone absZone;
    int32_t drawnWidth = 0;
    int32_t drawnHeight = 0;
    uint8_t options[4] = {0, 0, 0, 0};
    // [0] keeps node colours out of the drawing; [1] paints each node's background in its colour
    // and makes words paint their zones as blocks.
    uint8_t exportFlags[2] = {0, 0};
    int32_t margin = 0;       // p: structure margin
    int32_t outlineWidth = 0; // w1
    int32_t inset = 0;        // w2
    int32_t magnifyFactor = 1;
    // Set by a node's getHighlightArea to shape a three-band highlight: top indent, top band
    // height, bottom indent, bottom band height. Cleared before each call.
    int32_t highlightBands[4] = {0, 0, 0, 0};
    bool highlightOn = false;
    // Where LocateNode starts: the root's origin.
    oPoint rootOrigin;
    // While drawing through cullPort, nodes that meet none of the cullCount zones at cullZones
    // (port coordinates) are left out too: a paint of part of a window draws only what can show
    // there.
    const oGraphPort* cullPort = nullptr;
    const Zone* cullZones = nullptr;
    int32_t cullCount = 0;
};

extern DrawingState DrawState;

// The ratio rescale scales a laid-out tree by (copy and picture code set it).
extern int32_t MagnificationNum;
extern int32_t MagnificationDen;
// Sizes at or above half of it become it under magnification (points).
extern int32_t MaximumFontSize;

void SetDrawOptions(uint8_t o0, uint8_t o1, uint8_t o2, uint8_t o3);
void SetDrawExportFlags(uint8_t f0, uint8_t f1);
bool StructureOn();

// Current style := the base style, then every size step from the root down to the node applied.
void SetupNodeStyle(const eExpr* node);
// Applies the parent's size step for this node to the current size; nothing for a root.
void ApplyChildSizeStep(const eExpr* node);
// Lays the child out when it is not laid out (with its size step), else moves its zone back to its
// own origin.
void LayOutChild(eExpr* child);
// Measures the whole tree afresh with all options off.
void MeasureExpr(eExpr* node, oMeasurePort* port);
// Measures only what was invalidated, with these options.
void MeasureExprWithOptions(eExpr* node, oMeasurePort* port, uint8_t o0, uint8_t o1, uint8_t o2,
                            uint8_t o3);
// Draws a laid-out tree through the port with its root at (x, y).
void DrawExpr(eExpr* node, oGraphPort* port, uint8_t o0, uint8_t o1, uint8_t o2, uint8_t o3,
              int32_t x, int32_t y);
// Draws one node at its place below the current absolute zone, with its colour; invisible nodes
// (outside the port's bounds, or empty) are not drawn, nor are their children.
void DrawNode(eExpr* node);
// Moves the node's zone by (x, y) plus its nudges (64ths of its size).
void PlaceNodeRect(eExpr* node, int32_t x, int32_t y);
// The node's zone in root coordinates, left in DrawState.absZone (measuring it when needed).
const Zone& LocateNode(eExpr* node);
// Scales a laid-out tree by MagnificationNum / MagnificationDen, rounding each value once in
// absolute coordinates.
void RescaleExpr(eExpr* node);
// Rounds v × num / den to the nearest as rescale does.
int32_t RescaleValue(int32_t v);

// A count that changes whenever a layout may have moved a zone (a measure, a rescale): what is
// computed from zones can be kept while it stays the same.
uint64_t LayoutSerial();
void NoteLayoutChange();

// Whether lookups may halve over the node's children: a laid-out row whose items stand in order
// (kNodeChildrenInOrder), long enough for halving to pay.
bool ChildrenInOrder(const eExpr* node);
// For a node whose children stand in order and a test that holds for a leading run of them (the
// lefts and the rights both rise along the row): the length of that run, found by halving; -1
// when a slot is empty after all.
template <class Before> int32_t CountChildrenBefore(const eExpr* node, Before before) {
    int32_t lo = 0;
    int32_t hi = node->childCount();
    while (lo < hi) {
        const int32_t mid = lo + (hi - lo) / 2;
        const eExpr* child = node->getChild(mid);
        if (child == nullptr)
            return -1;
        if (before(child->m_zone))
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

// Help lookup over an expression: descends from the root (laid out, at rootOrigin) to the deepest
// node whose zone holds the point; asks its infoText and narrows the help zone round the point
// between the children. Rows whose items stand in order are searched by halving, so the time
// grows with the depth and the logarithm of the row lengths only. A point outside the root gives
// kind 0 and the strip on its side of the root, cut from `bounds`. Returns the node found, or null.
eExpr* ExprHelpAtPoint(eExpr* root, oPoint rootOrigin, const Zone& bounds, oPoint point,
                       int32_t& kind, int32_t& stringId, Zone& zone);
