// The common part of every text-like leaf: a compact font reference, the font-table index and the
// ink-measure mode that layout finds, style resolution during layout, and the click mapping of a
// leaf without inner positions.
#pragma once

#include "ExprSrcs/commands/tsPrefs.h"
#include "OverSrcs/eObject.h"

#include <cstdint>

// The font index of a leaf that has not been laid out.
inline constexpr int32_t kNoFontIndex = -1;

class eChar : public eExpr {
    KV_NODE_BLOCKS(eChar)
    void writeEncoding(oOStream& stream) const override;
    void measure() override;
    void draw() override;
    void getHighlightArea(const SelectionEntry& entry) override;
    bool hitClick(oPoint anchor, oPoint point, SelectionEntry& entry) override;
    bool hitDrag(oPoint anchor, oPoint point, SelectionEntry& entry) override;
    ExprPtr copyOut(const SelectionEntry& entry) const override;
    void insert(SelectionEntry& entry, ExprPtr node) override;
    void traverseSel(SelectionEntry& entry, bool split, bool deep, NodeCallback nodeCallback,
                     NodeCallback leafCallback, EmptyCallback emptyCallback) override;
    void traverse(bool passThrough, bool deep, NodeCallback nodeCallback,
                  NodeCallback leafCallback) override;
    void keystroke(SelectionEntry& entry) override;
    void backspace(int32_t direction) override;
    void whereCharWalk(int32_t argument) override;
    void asianKey(int32_t code) override;
    // Every character class: the font, style and size dialog on the node's style.
    int32_t change(bool query) override;

    // Appended operations, in order.
    // True when the leaf takes the italic rule of letters.
    virtual bool charClass() const;
    virtual bool isFunctionName() const;
    // The font reference expanded and resolved against the current drawing style. Layout keeps
    // what it resolves to per font reference and drawing style, so an override may depend on
    // nothing else.
    virtual void getFSS(FSSRecord& record) const;

    // Packs the style into the font reference.
    void setStyle(const FSSRecord& style);
    // The style stored in the node (not resolved).
    void storedStyle(FSSRecord& record) const;

    FontRef m_fontRef;
    int32_t m_fontIndex = kNoFontIndex;
    uint8_t m_inkMode = 0;

protected:
    // The leaf layout every leaf class runs first; leaves the resolved style in `resolved` (after
    // magnification and the italic rule).
    void measureLeaf(FSSRecord& resolved);
    // The stored style resolved against the drawing style, its size settled and magnified (the
    // part of measureLeaf that does not depend on the leaf's own text).
    void resolveStyle(FSSRecord& resolved) const;
    // Click mapping of a leaf without inner positions: the entry names the parent row.
    bool hitLeaf(oPoint anchor, oPoint point, SelectionEntry& entry);
};
