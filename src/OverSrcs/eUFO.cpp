#include "OverSrcs/eUFO.h"

#include "OverSrcs/eClick.h"
#include "OverSrcs/eLayout.h"
#include "OverSrcs/eModelHooks.h"

#include <cmath>

OwnedNode<eUFO> NewUFO(std::unique_ptr<WinUfo> picture, const FSSRecord* style, uint8_t colour) {
    OwnedNode<eUFO> node(NewNodeBlock<eUFO>(0));
    node->resetFields();
    node->init(0);
    node->setStyle(style != nullptr ? *style : DefaultStyle);
    node->m_fontIndex = kNoFontIndex;
    node->m_colour = colour;
    node->m_picture = picture.release();
    return node;
}

void eUFO::destroy(int32_t flags) {
    DeleteWinUfo(m_picture);
    m_picture = nullptr;
    eChar::destroy(flags);
}

ExprPtr eUFO::deepCopy() const {
    OwnedNode<eUFO> copy(clone());
    // The byte copy shares the picture pointer: drop it before anything can fail, so the copy
    // never deletes the source's picture.
    copy->m_picture = nullptr;
    copy->init(0);
    copy->m_picture = NewWinUfoCopy(m_picture);
    HookCheckUserAbort();
    return copy;
}

void eUFO::measure() {
    FSSRecord resolved;
    measureLeaf(resolved);
    int32_t w = 0;
    int32_t h = 0;
    int32_t baseline = 0;
    int32_t pictureResolution = 16;
    GetWinUfoMetrics(m_picture, &w, &h, &baseline, &pictureResolution, nullptr);
    const int32_t portResolution =
        DrawState.measurePort != nullptr ? DrawState.measurePort->resolution() : 16;
    double scale = static_cast<double>(portResolution) / pictureResolution;
    if (DrawState.options[kOptionMagnify] != 0)
        scale *= 2;
    if (std::fabs(scale - 1.0) > 0.0001) {
        w = static_cast<int32_t>(w * scale);
        h = static_cast<int32_t>(h * scale);
        baseline = static_cast<int32_t>(baseline * scale);
    }
    m_zone.right = w;
    m_zone.bottom = h;
    m_zone.ref2 = baseline;
    m_zone.ref1 = baseline - m_size / 4;
}

void eUFO::draw() {
    if (DrawState.drawPort != nullptr)
        DrawWinUfo(m_picture, *DrawState.drawPort, DrawState.absZone.left, DrawState.absZone.top);
}

bool eUFO::hitClick(oPoint anchor, oPoint point, SelectionEntry& entry) {
    if (WinUfoClick(m_picture, DrawState.absZone.left, DrawState.absZone.top, point,
                    HookFinishEditAt, this, WholeRowClickOption != 0)) {
        entry = SelectionEntry{};
        return true;
    }
    return hitLeaf(anchor, point, entry);
}

bool eUFO::isUFO() const {
    return true;
}

// Help balloon: an embedded object.
void eUFO::infoText(int32_t& kind, int32_t& stringId) {
    kind = 1;
    stringId = 383;
}
