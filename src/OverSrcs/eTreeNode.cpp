#include "OverSrcs/eTreeNode.h"

#include "OverSrcs/eLayout.h"

#include <algorithm>
#include <utility>

bool TreeSonIsIntermediate(int32_t kind, int32_t i) {
    if (i < 1)
        return false;
    const int32_t bit = i <= 5 ? i : (i % 2 == 0 ? 6 : 7);
    return (kind & (1 << bit)) != 0;
}

namespace {

// While a tree node is measured or drawn: its tree is turned, so every "across" value is vertical
// and every "down" value horizontal.
bool s_axisSwap = false;

// A zone read in upright terms: across is the direction along a level, down from label to sons.
struct TreeBox {
    int32_t left = 0;   // across
    int32_t top = 0;    // down
    int32_t right = 0;  // across
    int32_t bottom = 0; // down
    int32_t axis = 0;   // down, from the top
    int32_t baseline = 0;
};

TreeBox ReadBox(const Zone& z) {
    if (!s_axisSwap)
        return TreeBox{z.left, z.top, z.right, z.bottom, z.ref1, z.ref2};
    // Turned, a son's down direction is horizontal: it hangs from its left edge.
    return TreeBox{z.top, z.left, z.bottom, z.right, 0, 0};
}

void SwapIf(int32_t& a, int32_t& b) {
    if (s_axisSwap)
        std::swap(a, b);
}

void TreeMoveTo(oGraphPort& port, int32_t across, int32_t down) {
    if (s_axisSwap)
        port.moveTo(down, across);
    else
        port.moveTo(across, down);
}

void TreeLineTo(oGraphPort& port, int32_t across, int32_t down) {
    if (s_axisSwap)
        port.lineTo(down, across);
    else
        port.lineTo(across, down);
}

// The level gap, as measure and draw both use it.
int32_t LevelGap(int32_t slots, int32_t width, int32_t g) {
    return slots < 3 ? 16 * g : width / 8 + 3 * g;
}

} // namespace

void eTreeNode::measure() {
    eTemplate::measure();
    s_axisSwap = turned();
    const ChildMetrics& labelMetrics = TemplateChildMetrics[0];
    const TreeBox label = ReadBox(labelMetrics.zone);
    const int32_t s = labelMetrics.size;
    const int32_t g = std::max(1, s / 32);
    const int32_t half = s / 2;
    m_size = s;
    const int32_t labelAcross = label.right - label.left;
    const int32_t labelDown = label.bottom - label.top;

    const int32_t n = std::min(m_count, kChildMetricsSlots);
    int32_t wb = 0, ab = 0, db = 0, nb = 0;
    int32_t wi = 0, ai = 0, di = 0, ni = 0;
    for (int32_t i = 1; i < n; ++i) {
        const TreeBox b = ReadBox(TemplateChildMetrics[i].zone);
        const int32_t descent = b.bottom - b.axis - b.top;
        if (TreeSonIsIntermediate(m_kind, i)) {
            wi += b.right - b.left + half;
            ai = std::max(ai, b.axis);
            di = std::max(di, descent);
            ++ni;
        } else {
            wb += b.right - b.left + half;
            ab = std::max(ab, b.axis);
            db = std::max(db, descent);
            ++nb;
            wi += 3 * g;
        }
    }
    const int32_t w = std::max({wb, wi, s + labelAcross});
    const int32_t v = LevelGap(m_count, w, g);
    const int32_t height = labelDown + (nb > 0 ? v : 0) + (ni > 0 ? v : 0) + ai + di + ab + db;

    int32_t right = w;
    int32_t bottom = height;
    SwapIf(right, bottom);
    m_zone.right = right;
    m_zone.bottom = bottom;

    // The label, centred across at the top.
    int32_t lx = (w - labelAcross) / 2;
    int32_t ly = 0;
    SwapIf(lx, ly);
    if (eExpr* l = getChild(0))
        PlaceNodeRect(l, lx, ly);
    m_zone.ref1 = labelMetrics.zone.ref1 + ly;
    m_zone.ref2 = labelMetrics.zone.ref2 + ly;

    const int32_t yi = labelDown + v + ai;
    int32_t iCursor = 0;
    int32_t iGap = 0;
    if (ni == 1) {
        iCursor = (w - (wi - half)) / 2;
    } else if (ni >= 2) {
        const int32_t free = s * ni / 2 - wi + w;
        if (nb == 0) {
            iGap = free / (ni - 1);
        } else {
            iGap = free / (ni + 1);
            iCursor = iGap;
        }
    }
    const int32_t yb = ni > 0 ? yi + di + v + ab : labelDown + v + ab;
    int32_t bCursor = 0;
    int32_t bGap = 0;
    if (nb < 2)
        bCursor = (w - (wb - half)) / 2;
    else
        bGap = (s * nb / 2 - wb + w) / (nb - 1);

    for (int32_t i = 1; i < n; ++i) {
        const TreeBox b = ReadBox(TemplateChildMetrics[i].zone);
        const int32_t across = b.right - b.left;
        int32_t x = 0;
        int32_t y = 0;
        if (TreeSonIsIntermediate(m_kind, i)) {
            x = iCursor;
            y = yi - b.axis;
            iCursor += across + iGap;
        } else {
            x = bCursor;
            y = yb - b.axis;
            bCursor += across + bGap;
            iCursor += 3 * g;
        }
        SwapIf(x, y);
        if (eExpr* son = getChild(i))
            PlaceNodeRect(son, x, y);
    }
    s_axisSwap = false;
}

void eTreeNode::draw() {
    eTemplate::draw();
    oGraphPort* port = DrawState.drawPort;
    const int32_t n = std::min(m_count, kChildMetricsSlots);
    if (port == nullptr || n < 2) {
        restoreColors();
        return;
    }
    s_axisSwap = turned();
    const TreeBox node = ReadBox(DrawState.absZone);
    const TreeBox label = ReadBox(TemplateChildMetrics[0].zone);
    const int32_t s = m_size;
    const int32_t g = std::max(1, s / 32);
    const int32_t nodeLeft = node.left;
    const int32_t nodeTop = node.top;
    const int32_t nodeRight = node.right;

    const int32_t stemX = (nodeRight - g + nodeLeft) / 2;
    const int32_t stemY = nodeTop + (label.bottom - label.top) + g;
    // Sons in absolute upright terms.
    TreeBox sons[kChildMetricsSlots];
    bool intermediate[kChildMetricsSlots] = {};
    bool anyIntermediate = false;
    int32_t minTop = node.bottom - nodeTop;
    for (int32_t i = 1; i < n; ++i) {
        TreeBox b = ReadBox(TemplateChildMetrics[i].zone);
        b.left += nodeLeft;
        b.right += nodeLeft;
        sons[i] = b;
        intermediate[i] = TreeSonIsIntermediate(m_kind, i);
        anyIntermediate = anyIntermediate || intermediate[i];
        if (!intermediate[i])
            minTop = std::min(minTop, b.top);
    }
    for (int32_t i = 1; i < n; ++i) {
        sons[i].top += nodeTop;
        sons[i].bottom += nodeTop;
    }
    const int32_t y = minTop + nodeTop - 2 * g;
    const int32_t v = LevelGap(m_count, nodeRight - nodeLeft, g);
    const int32_t yi = stemY + v - 3 * g;
    const int32_t yb = y - v + 3 * g;

    int32_t previousEdge = nodeLeft; // right edge of the last intermediate son
    for (int32_t i = 1; i < n; ++i) {
        const TreeBox& b = sons[i];
        const int32_t centre = n == 2 ? stemX : (b.right - g + b.left) / 2;
        port->startLine(g);
        TreeMoveTo(*port, stemX, stemY);
        if (anyIntermediate && !intermediate[i]) {
            // The line passes between the intermediate sons: the bottom-level sons of one gap
            // share it evenly.
            int32_t next = i + 1;
            while (next < n && !intermediate[next])
                ++next;
            int32_t first = i;
            while (first > 1 && !intermediate[first - 1])
                --first;
            const int32_t nextEdge = next < n ? sons[next].left : nodeRight;
            const int32_t inGap = next - first;
            const int32_t k = i - first + 1;
            const int32_t x = previousEdge + (nextEdge - previousEdge) * k / (inGap + 1);
            TreeLineTo(*port, x, yi);
            TreeLineTo(*port, x, yb);
            TreeLineTo(*port, (b.right - g + b.left) / 2, y);
            TreeLineTo(*port, (b.right - g + b.left) / 2, std::max(y, b.top - 2 * g));
        } else {
            TreeLineTo(*port, centre, yi);
            TreeLineTo(*port, centre, std::max(yi, b.top - 2 * g));
            if (intermediate[i])
                previousEdge = b.right;
        }
        port->endLine();
    }
    s_axisSwap = false;
    restoreColors();
}

bool eTreeNode::getTemplateCode(int32_t& code) const {
    code = MakeTemplateCode(kTemplateFamilyTreeNode, m_kind, m_count);
    return true;
}

OwnedNode<eExpandable> eTreeNode::expand(ExprPtr node, int32_t n) const {
    return NewTreeNode(std::move(node), n);
}

OwnedNode<eTreeNode> NewTreeNode(ExprPtr label, int32_t n) {
    OwnedNode<eTreeNode> node = NewTemplateBlock<eTreeNode>(n, n);
    node->m_kind = 0;
    if (n > 0 && label)
        node->setChild(0, std::move(label));
    return node;
}
