#include "OverSrcs/eLayout.h"

#include "OverPc/PUTIL.h"
#include "OverSrcs/eModelHooks.h"

#include <algorithm>
#include <vector>

DrawingState DrawState;
int32_t MagnificationNum = 72;
int32_t MagnificationDen = 300;
int32_t MaximumFontSize = 1024;

namespace {
uint64_t s_layoutSerial = 0;
} // namespace

uint64_t LayoutSerial() {
    return s_layoutSerial;
}

void NoteLayoutChange() {
    ++s_layoutSerial;
}

bool ChildrenInOrder(const eExpr* node) {
    constexpr uint8_t both = kNodeLaidOut | kNodeChildrenInOrder;
    return (node->m_flags & both) == both && node->childCount() > 8;
}

void SetDrawOptions(uint8_t o0, uint8_t o1, uint8_t o2, uint8_t o3) {
    DrawingState& s = DrawState;
    s.options[0] = o0;
    s.options[1] = o1;
    s.options[2] = o2;
    s.options[3] = o3;
    if (o0 != 0) {
        const int32_t factor = WideStructureSetting != 0 ? 2 : 1;
        s.margin = 3 * factor;
        s.outlineWidth = 1 * factor;
        s.inset = 2 * factor;
    } else {
        s.margin = 0;
        s.outlineWidth = 0;
        s.inset = 0;
    }
    s.magnifyFactor = o1 != 0 ? 2 : 1;
}

void SetDrawExportFlags(uint8_t f0, uint8_t f1) {
    DrawState.exportFlags[0] = f0;
    DrawState.exportFlags[1] = f1;
}

bool StructureOn() {
    return DrawState.options[kOptionStructure] != 0;
}

// ---- Size steps
// ----------------------------------------------------------------------------------

void SetupNodeStyle(const eExpr* node) {
    DrawState.style = StyleTable[0];
    DrawState.style.size = BaseStyleSize();
    int32_t steps = 0;
    for (const eExpr* n = node; n != nullptr && n->m_parent != nullptr; n = n->m_parent)
        steps += n->m_parent->childSizeStep(n->m_index);
    DrawState.style.size = StepSizeBy(DrawState.style.size, steps);
}

void ApplyChildSizeStep(const eExpr* node) {
    if (node == nullptr || node->m_parent == nullptr)
        return;
    const int32_t steps = node->m_parent->childSizeStep(node->m_index);
    if (steps != 0)
        DrawState.style.size = StepSizeBy(DrawState.style.size, steps);
}

void LayOutChild(eExpr* child) {
    if (child == nullptr)
        return;
    if (!child->isLaidOut()) {
        NoteLayoutChange();
        const int32_t saved = DrawState.style.size;
        ApplyChildSizeStep(child);
        child->measure();
        DrawState.style.size = saved;
    } else {
        Zone& z = child->m_zone;
        z.right -= z.left;
        z.bottom -= z.top;
        z.left = 0;
        z.top = 0;
    }
}

void PlaceNodeRect(eExpr* node, int32_t x, int32_t y) {
    const int32_t dx = x + node->m_size * node->m_nudgeX / 64;
    const int32_t dy = y + node->m_size * node->m_nudgeY / 64;
    ZoneOffset(node->m_zone, dx, dy);
}

// ---- Entry points
// --------------------------------------------------------------------------------

void MeasureExpr(eExpr* node, oMeasurePort* port) {
    NoteLayoutChange();
    InvalidateTree(node);
    DrawState.measurePort = port;
    SetDrawOptions(0, 0, 0, 0);
    SetupNodeStyle(node);
    node->measure();
}

void MeasureExprWithOptions(eExpr* node, oMeasurePort* port, uint8_t o0, uint8_t o1, uint8_t o2,
                            uint8_t o3) {
    NoteLayoutChange();
    DrawState.measurePort = port;
    SetDrawOptions(o0, o1, o2, o3);
    SetupNodeStyle(node);
    node->measure();
}

void DrawExpr(eExpr* node, oGraphPort* port, uint8_t o0, uint8_t o1, uint8_t o2, uint8_t o3,
              int32_t x, int32_t y) {
    DrawState.drawPort = port;
    DrawState.measurePort = port;
    DrawState.currentColour = 0;
    SetDrawOptions(o0, o1, o2, o3);
    DrawState.absZone.left = x;
    DrawState.absZone.top = y;
    DrawNode(node);
}

namespace {

void giveColour(uint8_t colour) {
    oGraphPort* port = DrawState.drawPort;
    const Color fore = Rgb332ToRgba(colour);
    const Color back = DrawState.exportFlags[1] != 0 ? fore : port->backColor();
    port->setColors(&fore, &back);
    DrawState.currentColour = colour;
}

bool visibleInPort(const Zone& z) {
    const Zone& b = DrawState.drawPort->bounds();
    return z.left < b.right && z.right > b.left && z.top < b.bottom && z.bottom > b.top &&
           z.top < z.bottom && z.left < z.right;
}

bool meetsCullZone(const Zone& z) {
    for (int32_t i = 0; i < DrawState.cullCount; ++i) {
        const Zone& c = DrawState.cullZones[i];
        if (z.left < c.right && z.right > c.left && z.top < c.bottom && z.bottom > c.top)
            return true;
    }
    return false;
}

} // namespace

void DrawNode(eExpr* node) {
    if (node == nullptr || DrawState.drawPort == nullptr)
        return;
    DrawingState& s = DrawState;
    const bool coloursApply = s.options[kOptionStructure] == 0 && s.exportFlags[0] == 0;
    const uint8_t previous = s.currentColour;
    const bool changed = coloursApply && node->m_colour != s.currentColour;
    if (changed)
        giveColour(node->m_colour);

    const Zone savedZone = s.absZone;
    const int32_t savedWidth = s.drawnWidth;
    const int32_t savedHeight = s.drawnHeight;
    Zone z = node->m_zone;
    ZoneOffset(z, savedZone.left, savedZone.top);
    s.absZone = z;
    if (visibleInPort(z) && (s.cullPort != s.drawPort || meetsCullZone(z))) {
        s.drawnWidth = z.right - z.left;
        s.drawnHeight = z.bottom - z.top;
        node->draw();
    }
    s.absZone = savedZone;
    s.drawnWidth = savedWidth;
    s.drawnHeight = savedHeight;
    if (changed)
        giveColour(previous);
}

const Zone& LocateNode(eExpr* node) {
    Zone& abs = DrawState.absZone;
    if (node == nullptr) {
        abs = Zone{};
        return abs;
    }
    if (!node->isLaidOut() && DrawState.measurePort != nullptr) {
        NoteLayoutChange();
        SetupNodeStyle(node);
        node->measure();
    }
    int32_t left = DrawState.rootOrigin.x;
    int32_t top = DrawState.rootOrigin.y;
    for (eExpr* n = node; n != nullptr; n = n->m_parent) {
        if (!n->isLaidOut() && DrawState.measurePort != nullptr) {
            NoteLayoutChange();
            SetupNodeStyle(n);
            n->measure();
        }
        left += n->m_zone.left;
        top += n->m_zone.top;
    }
    abs.left = left;
    abs.top = top;
    abs.right = left + node->width();
    abs.bottom = top + node->height();
    abs.ref1 = node->m_zone.ref1;
    abs.ref2 = node->m_zone.ref2;
    return abs;
}

// ---- Base bodies of the layout operations
// ---------------------------------------------------------

void eExpr::measure() {
    for (int32_t i = 0; i < m_count; ++i)
        LayOutChild(getChild(i));
    m_flags |= kNodeLaidOut | kNodePlaced;
    const int32_t w = m_zone.right - m_zone.left;
    const int32_t h = m_zone.bottom - m_zone.top;
    m_zone.left = 0;
    m_zone.top = 0;
    m_zone.right = w;
    m_zone.bottom = h;
    if (m_count > 0)
        HookCheckUserAbort();
}

void eExpr::draw() {
    int32_t first = 0;
    int32_t end = m_count;
    if (DrawState.drawPort != nullptr && ChildrenInOrder(this)) {
        // Items that end left of the port or start right of it draw nothing (DrawNode would only
        // set their colour and set it back): a long row draws the items the port shows.
        const Zone& b = DrawState.drawPort->bounds();
        const int32_t x = DrawState.absZone.left;
        const int32_t left =
            CountChildrenBefore(this, [&](const Zone& z) { return x + z.right <= b.left; });
        const int32_t right =
            CountChildrenBefore(this, [&](const Zone& z) { return x + z.left < b.right; });
        if (left >= 0 && right >= 0) {
            first = left;
            end = std::max(left, right);
        }
    }
    for (int32_t i = first; i < end; ++i) {
        DrawNode(getChild(i));
        // A picture of a row of a million items takes a while: the window keeps answering.
        if ((i & 255) == 255)
            AnswerWhileBusy();
    }
}

void eExpr::getExtents(int32_t& left, int32_t& right, int32_t& overhang) {
    // The zone is placed in the parent's coordinates; extents are the node's own width.
    left = 0;
    right = m_zone.width();
    overhang = 0;
}

int32_t RescaleValue(int32_t v) {
    const int64_t num = MagnificationNum;
    const int64_t den = MagnificationDen > 0 ? MagnificationDen : 1;
    return static_cast<int32_t>((static_cast<int64_t>(v) * num + den / 2) / den);
}

void eExpr::rescale() {
    Zone& origin = DrawState.absZone; // left/top unscaled origin, right/bottom scaled origin
    const int32_t oldLeft = m_zone.left;
    const int32_t oldTop = m_zone.top;
    const int32_t absLeft = m_zone.left + origin.left;
    const int32_t absTop = m_zone.top + origin.top;
    const int32_t absRight = m_zone.right + origin.left;
    const int32_t absBottom = m_zone.bottom + origin.top;
    const int32_t axis = m_zone.ref1;
    const int32_t baseline = m_zone.ref2;

    // The axis line is rounded once in absolute coordinates, so neighbouring items that share it
    // still share it after scaling.
    const int32_t axisLine = RescaleValue(absTop + axis);
    const int32_t a = RescaleValue(axis);
    const int32_t bottom = RescaleValue(absBottom - axis - absTop) + axisLine;
    const int32_t top = axisLine - a;
    const int32_t newBaseline = RescaleValue(baseline - axis) + a;
    const int32_t left = RescaleValue(absLeft);
    const int32_t right = RescaleValue(absRight);
    m_size = RescaleValue(m_size);

    m_zone.left = left - origin.right;
    m_zone.right = right - origin.right;
    m_zone.top = top - origin.bottom;
    m_zone.bottom = bottom - origin.bottom;
    m_zone.ref1 = a;
    m_zone.ref2 = newBaseline;

    const Zone saved = origin;
    origin.left += oldLeft;
    origin.top += oldTop;
    origin.right += m_zone.left;
    origin.bottom += m_zone.top;
    for (int32_t i = 0; i < m_count; ++i)
        if (eExpr* child = getChild(i))
            child->rescale();
    origin = saved;
}

void RescaleExpr(eExpr* node) {
    if (node == nullptr)
        return;
    NoteLayoutChange();
    DrawState.absZone = Zone{};
    node->rescale();
}

// ---- Help lookup
// ---------------------------------------------------------------------------------

namespace {

// The child whose zone holds the point (node coordinates): the first in child order.
eExpr* ChildAtPoint(const eExpr* node, oPoint local) {
    if (ChildrenInOrder(node)) {
        // The lefts rise along the row and the items do not overlap: only the last item starting
        // at or before the point can hold it.
        const int32_t k =
            CountChildrenBefore(node, [&](const Zone& z) { return z.left <= local.x; });
        if (k == 0)
            return nullptr;
        if (k > 0) {
            eExpr* child = node->getChild(k - 1);
            return ZoneContainsPoint(child->m_zone, local) ? child : nullptr;
        }
    }
    for (int32_t i = 0; i < node->childCount(); ++i) {
        eExpr* child = node->getChild(i);
        if (child != nullptr && ZoneContainsPoint(child->m_zone, local))
            return child;
    }
    return nullptr;
}

// The tops and the bottoms of a row's items, each sorted, for the last row asked about while the
// layout stays as it was.
struct RowEdges {
    const eExpr* row = nullptr;
    uint64_t serial = 0;
    std::vector<int32_t> tops;
    std::vector<int32_t> bottoms;
};

// False when a slot of the row is empty.
bool EdgesOf(const eExpr* row, const RowEdges*& out) {
    static RowEdges edges;
    out = &edges;
    if (edges.row == row && edges.serial == LayoutSerial())
        return true;
    edges.row = nullptr;
    edges.tops.clear();
    edges.bottoms.clear();
    for (int32_t i = 0; i < row->childCount(); ++i) {
        const eExpr* child = row->getChild(i);
        if (child == nullptr)
            return false;
        edges.tops.push_back(child->m_zone.top);
        edges.bottoms.push_back(child->m_zone.bottom);
    }
    std::sort(edges.tops.begin(), edges.tops.end());
    std::sort(edges.bottoms.begin(), edges.bottoms.end());
    edges.row = row;
    edges.serial = LayoutSerial();
    return true;
}

// The help zone narrowed round the point by the children of an ordered row, as
// ClampZoneToObstacles narrows it by each child in turn: to the nearest edges of children on each
// side of the point. False (and the zone unchanged) when a slot is empty.
bool ClampToOrderedChildren(const eExpr* node, oPoint local, Zone& help) {
    // Rights and lefts both rise along the row: the last right before the point and the first
    // left after it.
    const int32_t beforeRight =
        CountChildrenBefore(node, [&](const Zone& z) { return z.right < local.x; });
    const int32_t upToLeft =
        CountChildrenBefore(node, [&](const Zone& z) { return z.left <= local.x; });
    // Tops and bottoms follow no order along the row.
    const RowEdges* edges = nullptr;
    if (beforeRight < 0 || upToLeft < 0 || !EdgesOf(node, edges))
        return false;
    if (beforeRight > 0)
        help.left = std::max(help.left, node->getChild(beforeRight - 1)->m_zone.right);
    if (upToLeft < node->childCount())
        help.right = std::min(help.right, node->getChild(upToLeft)->m_zone.left);
    const auto below = std::lower_bound(edges->bottoms.begin(), edges->bottoms.end(), local.y);
    if (below != edges->bottoms.begin())
        help.top = std::max(help.top, *(below - 1));
    const auto above = std::upper_bound(edges->tops.begin(), edges->tops.end(), local.y);
    if (above != edges->tops.end())
        help.bottom = std::min(help.bottom, *above);
    return true;
}

void ClampToChildren(const eExpr* node, oPoint local, Zone& help) {
    if (ChildrenInOrder(node) && ClampToOrderedChildren(node, local, help))
        return;
    for (int32_t i = 0; i < node->childCount(); ++i)
        if (const eExpr* child = node->getChild(i))
            ClampZoneToObstacles(help, local, child->m_zone);
}

} // namespace

eExpr* ExprHelpAtPoint(eExpr* root, oPoint rootOrigin, const Zone& bounds, oPoint point,
                       int32_t& kind, int32_t& stringId, Zone& zone) {
    kind = 0;
    stringId = 0;
    zone = bounds;
    if (root == nullptr)
        return nullptr;
    Zone rootZone = root->m_zone;
    ZoneOffset(rootZone, rootOrigin.x, rootOrigin.y);
    if (!ZoneContainsPoint(rootZone, point)) {
        if (point.x < rootZone.left)
            zone.right = rootZone.left;
        else if (point.x >= rootZone.right)
            zone.left = rootZone.right;
        else if (point.y < rootZone.top)
            zone.bottom = rootZone.top;
        else
            zone.top = rootZone.bottom;
        return nullptr;
    }
    // Descend: the point is kept relative to the node in hand.
    eExpr* node = root;
    oPoint local{point.x - rootZone.left, point.y - rootZone.top};
    oPoint nodeOrigin{rootZone.left, rootZone.top};
    for (;;) {
        eExpr* inside = ChildAtPoint(node, local);
        if (inside == nullptr)
            break;
        local.x -= inside->m_zone.left;
        local.y -= inside->m_zone.top;
        nodeOrigin.x += inside->m_zone.left;
        nodeOrigin.y += inside->m_zone.top;
        node = inside;
    }
    node->infoText(kind, stringId);
    Zone help{0, 0, node->width(), node->height(), 0, 0};
    ClampToChildren(node, local, help);
    ZoneOffset(help, nodeOrigin.x, nodeOrigin.y);
    zone = help;
    return node;
}
