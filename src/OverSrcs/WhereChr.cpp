#include "OverSrcs/WhereChr.h"

#include "OverSrcs/eLayout.h"
#include "OverSrcs/ePseudo.h"
#include "OverSrcs/eString.h"
#include "OverSrcs/eUFO.h"
#include "OverSrcs/eWord.h"

#include <cstring>

int32_t eExpr::whereChar(unsigned char c) {
    for (int32_t i = 0; i < m_count; ++i) {
        eExpr* child = getChild(i);
        if (child == nullptr)
            continue;
        const int32_t at = child->whereChar(c);
        if (at != kCharAbsent)
            return at + child->m_zone.left;
    }
    return kCharAbsent;
}

int32_t eWord::whereChar(unsigned char c) {
    if (m_length == 0)
        return kCharAbsent;
    const void* found = std::memchr(text(), c, static_cast<size_t>(m_length));
    if (found == nullptr)
        return kCharAbsent;
    // Measured from the right edge backwards, so kerning and overhang inside the word count.
    const char* from = static_cast<const char*>(found);
    const int32_t rest = DrawState.measurePort != nullptr
                             ? DrawState.measurePort->stringWidth(from, m_fontIndex)
                             : 0;
    return width() - rest;
}

int32_t ePseudo::whereChar(unsigned char c) {
    if (m_code == kPseudoHBar || m_code == kPseudoScriptEll)
        return c == m_code ? 0 : kCharAbsent;
    if (m_code == kPseudoSpace || m_code == kPseudoThinSpace)
        return c == ' ' ? 0 : kCharAbsent;
    return kCharAbsent;
}

int32_t eUFO::whereChar(unsigned char) {
    return kCharAbsent;
}

bool eExpr::whereCharQuery() const {
    return false;
}

void eExpr::whereCharWalk(int32_t argument) {
    for (int32_t i = 0; i < m_count; ++i) {
        eExpr* child = getChild(i);
        if (child == nullptr)
            continue;
        const int32_t saved = DrawState.style.size;
        ApplyChildSizeStep(child);
        child->whereCharWalk(argument);
        DrawState.style.size = saved;
    }
}

void eString::whereCharWalk(int32_t) {}

int32_t WhereCharOrCentre(eExpr* node, unsigned char c) {
    if (node == nullptr)
        return 0;
    const int32_t at = node->whereChar(c);
    return at >= 0 ? at : node->width() / 2;
}
