#include "OverSrcs/ePseudo.h"

#include "OverSrcs/eEditSupport.h"
#include "OverSrcs/eLayout.h"
#include "OverSrcs/eModelHooks.h"
#include "OverSrcs/eWord.h"

#include <algorithm>
#include <string_view>

OwnedNode<ePseudo> NewPseudo(unsigned char code, const FSSRecord* style, uint8_t colour) {
    OwnedNode<ePseudo> node(NewNodeBlock<ePseudo>(0));
    node->resetFields();
    node->init(0);
    node->setStyle(style != nullptr ? *style : DefaultStyle);
    node->m_fontIndex = kNoFontIndex;
    node->m_colour = colour;
    node->m_code = code;
    return node;
}

ExprPtr NewCharNode(unsigned char c, const FSSRecord& style, uint8_t colour) {
    if (c == '\t')
        return NewPseudo(kPseudoTab, &style, colour);
    if (c == ' ')
        return NewPseudo(kPseudoSpace, &style, colour);
    const char text[2] = {static_cast<char>(c), '\0'};
    return NewWord(std::string_view(text, 1), 0, style, colour);
}

bool ePseudo::isSpace() const {
    return m_code == kPseudoSpace || m_code == kPseudoThinSpace;
}

bool ePseudo::isTab() const {
    return m_code == kPseudoTab;
}

bool ePseudo::charClass() const {
    return m_code == kPseudoHBar || m_code == kPseudoScriptEll;
}

void ePseudo::measure() {
    FSSRecord resolved;
    measureLeaf(resolved);
    m_bold = resolved.style[kStyleBold] == 1;
    m_italic = resolved.style[kStyleItalic] == 1;
    oMeasurePort* port = DrawState.measurePort;
    if (port == nullptr)
        return;
    FontMetricWords metrics;
    port->fontMetrics(m_fontIndex, metrics);
    const int32_t h = metrics.lineHeight;
    const int32_t a = metrics.ascent;
    const int32_t d = metrics.descent;
    m_size = h;
    m_zone.ref1 = a - d;
    m_zone.bottom = a + d;
    m_zone.ref2 = a;
    switch (m_code) {
    case kPseudoSpace:
        m_zone.right = port->stringWidth(" ", m_fontIndex);
        break;
    case kPseudoThinSpace:
        m_zone.right = std::max(1, (port->stringWidth(" ", m_fontIndex) + 2) / 4);
        break;
    case kPseudoTab:
        m_zone.right = port->stringWidth(kTabSampleText, m_fontIndex);
        break;
    case kPseudoHBar:
        // The bar is drawn across the stem of a plain "h": outside a Symbol font that is the
        // "h" of Times.
        if (!IsSymbolFontName(resolved.fontName)) {
            m_fontIndex = HookFontIndexForDesc("Times", resolved.size, m_bold, m_italic,
                                               resolved.style[kStyleUnderline] == 1);
        }
        MeasureGlyphText(m_fontIndex, "h", port, m_inkMode != 0, metrics, m_zone);
        break;
    case kPseudoScriptEll:
        m_zone.right = (a + d) / 4 + (m_italic ? a / 4 : 0);
        m_zone.bottom = a;
        break;
    default:
        // The ellipses, and codes this program does not know: one line height wide.
        m_zone.right = h;
        break;
    }
    const bool spaceLike = m_code == kPseudoSpace || m_code == kPseudoThinSpace ||
                           m_code == kPseudoTab ||
                           (m_code != kPseudoEllipsis && m_code != kPseudoRisingEllipsis &&
                            m_code != kPseudoFallingEllipsis && m_code != kPseudoVerticalEllipsis &&
                            m_code != kPseudoHBar && m_code != kPseudoScriptEll);
    if (spaceLike && m_inkMode != 0) {
        m_zone.ref2 -= m_zone.ref1;
        m_zone.bottom = m_zone.ref2;
        m_zone.ref1 = 0;
    }
}

void ePseudo::getExtents(int32_t& left, int32_t& right, int32_t& overhang) {
    if ((m_code == kPseudoHBar || m_code == kPseudoScriptEll) && DrawState.measurePort != nullptr &&
        m_fontIndex != kNoFontIndex) {
        DrawState.measurePort->stringEdges(m_code == kPseudoHBar ? "h" : "l", m_fontIndex, left,
                                           right, overhang);
        return;
    }
    eExpr::getExtents(left, right, overhang);
}

void ePseudo::draw() {
    if (m_fontIndex == kNoFontIndex || DrawState.drawPort == nullptr)
        return;
    oGraphPort& port = *DrawState.drawPort;
    const Zone& z = DrawState.absZone;
    const bool shown =
        DrawState.options[kOptionStructure] != 0 || DrawState.options[kOptionRuler] != 0;
    switch (m_code) {
    case kPseudoEllipsis:
        drawEllipsis(1, 0);
        break;
    case kPseudoRisingEllipsis:
        drawEllipsis(1, -1);
        break;
    case kPseudoFallingEllipsis:
        drawEllipsis(1, 1);
        break;
    case kPseudoVerticalEllipsis:
        drawEllipsis(0, 1);
        break;
    case kPseudoTab:
        if (shown) {
            const int32_t unit = port.lineUnit();
            const int32_t y = z.top + m_zone.ref1 + DrawState.inset;
            port.startDeluxeLine(unit, kColorBlack, kLineSolid, kDrawPaint);
            port.moveTo(z.left + unit, y);
            port.lineTo(z.right - 2 * unit, y);
            port.endLine();
        }
        break;
    case kPseudoSpace:
    case kPseudoThinSpace:
        if (shown) {
            int32_t q = port.resolution() / (m_code == kPseudoSpace ? 16 : 32);
            if (q < 2)
                q = 1;
            port.startLine(q);
            port.dotAt((z.left + z.right - q) / 2, z.top + m_zone.ref1);
            port.endLine();
        }
        break;
    case kPseudoHBar:
        drawHBar();
        break;
    case kPseudoScriptEll:
        drawScriptEll();
        break;
    default:
        break;
    }
}

void ePseudo::drawEllipsis(int dx, int dy) {
    oGraphPort& port = *DrawState.drawPort;
    const Zone& z = DrawState.absZone;
    const int32_t q = (4 * m_size + 16) / 32;
    const int32_t left = z.left + q;
    const int32_t top = z.top + q;
    const int32_t right = z.right - 2 * q;
    const int32_t bottom = z.bottom - 2 * q;
    const int32_t stepX = (right - left) / 2 * dx;
    const int32_t stepY = (bottom - top) / 2 * dy;
    const int32_t x = (left + right) / 2 - stepX;
    const int32_t y = (top + bottom) / 2 - stepY;
    port.startLine(q);
    for (int i = 0; i < 3; ++i)
        port.dotAt(x + i * stepX, y + i * stepY);
    port.endLine();
}

void ePseudo::drawHBar() {
    oGraphPort& port = *DrawState.drawPort;
    const Zone& z = DrawState.absZone;
    port.drawString("h", m_fontIndex, z.left, z.top + m_zone.ref2);
    int32_t w = std::max(1, (m_size + 16) / 32);
    if (w < 2)
        w = 1;
    int32_t l = 0;
    int32_t r = 0;
    int32_t overhang = 0;
    getExtents(l, r, overhang);
    const int32_t axis = m_zone.ref1;
    port.startLine(w);
    port.moveTo(z.left + l / 4, z.top + axis / 2);
    port.lineTo(z.left + (l + r) / 2, z.top + axis / 4);
    port.endLine();
}

void ePseudo::drawScriptEll() {
    static constexpr GlyphPoint kScriptEll[16] = {
        {0, 55}, {32, 44}, {56, 31}, {64, 23}, {64, 14}, {60, 6},  {49, 1},  {40, 0},
        {28, 0}, {19, 2},  {12, 9},  {5, 23},  {7, 37},  {14, 50}, {29, 61}, {44, 64}};
    int32_t pen = std::max(1, (3 * m_size + 64) / 128);
    if (m_bold)
        pen *= 2;
    DrawGlyphPolyline(kScriptEll, 16, pen, m_italic);
}

// Help balloon: the spacing characters have their own texts, the other symbols share one.
void ePseudo::infoText(int32_t& kind, int32_t& stringId) {
    kind = 1;
    switch (m_code) {
    case kPseudoSpace:
        stringId = 385;
        break;
    case kPseudoThinSpace:
        stringId = 386;
        break;
    case kPseudoTab:
        stringId = 387;
        break;
    default:
        stringId = 384;
        break;
    }
}
