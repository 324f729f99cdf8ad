// An opaque picture leaf: holds a picture object and lays it out and draws it as one item.
#pragma once

#include "OverSrcs/Winufo.h"
#include "OverSrcs/eChar.h"

#include <cstdint>
#include <memory>

class eUFO : public eChar {
    KV_NODE_CLONE(eUFO)
    // Emits the node through the active translator (etGener).
    void generate() override;

    void destroy(int32_t flags) override;
    // The copy gets a picture of its own.
    ExprPtr deepCopy() const override;
    void writeEncoding(oOStream& stream) const override;
    void infoText(int32_t& kind, int32_t& stringId) override;
    void measure() override;
    void draw() override;
    bool hitClick(oPoint anchor, oPoint point, SelectionEntry& entry) override;
    bool isUFO() const override;
    int32_t whereChar(unsigned char c) override;

    WinUfo* m_picture = nullptr; // owned
};

// A picture leaf in the style (the default style when null) and colour; it owns the picture.
OwnedNode<eUFO> NewUFO(std::unique_ptr<WinUfo> picture, const FSSRecord* style, uint8_t colour);
