// One typographic item named by a code byte: space, thin space, tab, the four ellipses, the h-bar
// and the script ell; and the factory that turns a typed character into a node.
#pragma once

#include "OverSrcs/eChar.h"

#include <cstdint>

inline constexpr unsigned char kPseudoSpace = 's';
inline constexpr unsigned char kPseudoThinSpace = 't';
inline constexpr unsigned char kPseudoTab = 'T';
inline constexpr unsigned char kPseudoEllipsis = '-';
inline constexpr unsigned char kPseudoRisingEllipsis = '/';
inline constexpr unsigned char kPseudoFallingEllipsis = '\\';
inline constexpr unsigned char kPseudoVerticalEllipsis = '|';
inline constexpr unsigned char kPseudoHBar = 'h';
inline constexpr unsigned char kPseudoScriptEll = 'l';

// The nine items in their catalogue order: special-symbol commands 1-9 insert them, and
// translators number their entries the same way.
inline constexpr unsigned char kPseudoCodes[] = {kPseudoSpace,
                                                 kPseudoThinSpace,
                                                 kPseudoTab,
                                                 kPseudoEllipsis,
                                                 kPseudoRisingEllipsis,
                                                 kPseudoFallingEllipsis,
                                                 kPseudoVerticalEllipsis,
                                                 kPseudoHBar,
                                                 kPseudoScriptEll};

// What the tab is measured as: a tab character and four spaces.
inline constexpr char kTabSampleText[] = "\t    ";

class ePseudo : public eChar {
    KV_NODE_CLONE(ePseudo)
    // Emits the node through the active translator (etGener).
    void generate() override;

    void writeEncoding(oOStream& stream) const override;
    void infoText(int32_t& kind, int32_t& stringId) override;
    void measure() override;
    void draw() override;
    void getExtents(int32_t& left, int32_t& right, int32_t& overhang) override;
    bool isSpace() const override;
    bool isTab() const override;
    int32_t whereChar(unsigned char c) override;
    bool charClass() const override;
    bool equal(const eExpr* other, int32_t options) const override;

    unsigned char m_code = 0;
    // Layout results the drawing needs: the resolved style's bold and italic flags.
    bool m_bold = false;
    bool m_italic = false;

private:
    void drawEllipsis(int dx, int dy);
    void drawHBar();
    void drawScriptEll();
};

// A pseudo-character in the style (the default style when null) and colour.
OwnedNode<ePseudo> NewPseudo(unsigned char code, const FSSRecord* style, uint8_t colour);
// A tab gives the tab pseudo-character, a space the space, anything else a one-character word.
ExprPtr NewCharNode(unsigned char c, const FSSRecord& style, uint8_t colour);
