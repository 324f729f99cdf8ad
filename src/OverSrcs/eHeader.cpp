#include "OverSrcs/eHeader.h"

#include "OverPc/PERROR.h"
#include "OverSrcs/eLayout.h"

OwnedNode<eHeader> NewHeader(ExprPtr expression, void* secondWord) {
    OwnedNode<eHeader> header = NewTemplateBlock<eHeader>(1, 2);
    header->m_kind = 0;
    header->setSecondWord(secondWord);
    header->setChild(0, std::move(expression));
    return header;
}

void eHeader::measure() {
    eTemplate::measure();
    eExpr* expression = m_count > 0 ? getChild(0) : nullptr;
    if (expression == nullptr)
        return;
    // The header's zone is the expression's as laid out at its own origin, before its nudges.
    const Zone own = expression->m_zone;
    PlaceNodeRect(expression, 0, 0);
    m_zone = own;
}

bool eHeader::getTemplateCode(int32_t& code) const {
    code = 0;
    return true;
}

// The second word sits in the slot after the expression's; it is carried, never owned or visited.
void* eHeader::secondWord() const {
    if (m_trailing < 2 * sizeof(eExpr*))
        return nullptr;
    return reinterpret_cast<void* const*>(trailing())[1];
}

void eHeader::setSecondWord(void* word) {
    if (m_trailing >= 2 * sizeof(eExpr*))
        reinterpret_cast<void**>(trailing())[1] = word;
}
