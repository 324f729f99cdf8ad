#include "OverSrcs/eTempl.h"

#include "OverPc/PERROR.h"
#include "OverPc/PUTIL.h"
#include "OverSrcs/eClick.h"
#include "OverSrcs/eLayout.h"
#include "OverSrcs/eModelHooks.h"
#include "OverSrcs/eSelect.h"

#include <algorithm>

ChildMetrics TemplateChildMetrics[kChildMetricsSlots];

namespace {
TemplateFactory s_factories[kTemplateFamilyCount] = {};
}

int32_t MakeTemplateCode(int32_t family, int32_t kind, int32_t slots) {
    if (slots < 0 || slots > kMaxTemplateSlots)
        KV_ASSERT_FAILED("MakeTemplateCode slots");
    return ((family & 15) << 12) | ((kind & 0xFF) << 4) | (slots & 15);
}

void SetTemplateFactory(int32_t family, TemplateFactory factory) {
    if (family < 0 || family >= kTemplateFamilyCount) {
        KV_ASSERT_FAILED("SetTemplateFactory family");
        return;
    }
    s_factories[family] = factory;
}

ExprPtr NewTemplateFromCode(int32_t code) {
    const int32_t family = TemplateFamilyOf(code);
    const int32_t slots = TemplateSlotsOf(code);
    const int32_t kind = TemplateKindOf(code);
    bool accepted = false;
    switch (family) {
    case kTemplateFamilyFraction:
        if (kind == kFractionKindLongDivision)
            accepted = slots == 4;
        else
            accepted = kind >= 1 && kind <= 7 && slots == 2;
        break;
    case kTemplateFamilyFence:
    case kTemplateFamilyWideFence:
    case kTemplateFamilyMark:
    case kTemplateFamilyBox:
        accepted = slots == 1;
        break;
    case kTemplateFamilyIntegral:
        accepted = slots == 3;
        break;
    case kTemplateFamilyTreeNode:
    case kTemplateFamilyTensor:
        accepted = slots >= 2;
        break;
    case kTemplateFamilyScript:
        accepted = slots >= 1;
        break;
    default:
        accepted = false;
        break;
    }
    if (!accepted)
        return ExprPtr();
    TemplateFactory factory = s_factories[family];
    if (factory == nullptr) {
        // The code is sound but this build has no class for it: nothing is made.
        KV_ASSERT_FAILED("NewTemplateFromCode class");
        return ExprPtr();
    }
    return factory(family, kind, slots);
}

// ---- Children
// ------------------------------------------------------------------------------------

void eTemplate::init(int32_t count) {
    eExpr::init(count);
    slotsClear();
}

void eTemplate::destroy(int32_t flags) {
    flags = subtreeDestroyFlags(flags);
    destroyChildren(flags);
    eExpr::destroy(flags);
}

eExpr* eTemplate::getChild(int32_t i) const {
    return slotGet(i);
}

ExprPtr eTemplate::detachChild(int32_t i) {
    return slotDetach(i);
}

bool eTemplate::isTemplate() const {
    return true;
}

void eTemplate::whereCharWalk(int32_t) {}

void eTemplate::showPart(bool show, int32_t) {
    if (m_parent != nullptr) {
        m_parent->showPart(show, m_index);
        return;
    }
    // A root has no slot of a parent to show or hide.
    Beep();
}

// ---- Layout and drawing
// ----------------------------------------------------------------------------

void eTemplate::enterChildMetrics() const {
    const int32_t n = std::min(m_count, kChildMetricsSlots);
    for (int32_t i = 0; i < n; ++i) {
        const eExpr* child = getChild(i);
        ChildMetrics& m = TemplateChildMetrics[i];
        if (child == nullptr) {
            m = ChildMetrics{};
            continue;
        }
        m.zone = child->m_zone;
        m.width = child->width();
        m.height = child->height();
        m.size = child->m_size;
    }
}

void eTemplate::measure() {
    for (int32_t i = 0; i < m_count; ++i)
        LayOutChild(getChild(i));
    enterChildMetrics();
    m_flags |= kNodeLaidOut | kNodePlaced;
    m_zone.left = 0;
    m_zone.top = 0;
    if (m_count > 0 && getChild(0) != nullptr)
        m_size = getChild(0)->m_size;
    if (m_count > 0)
        HookCheckUserAbort();
}

void eTemplate::draw() {
    eExpr::draw();
    enterChildMetrics();
    if (DrawState.exportFlags[0] != 0 || DrawState.drawPort == nullptr)
        return;
    oGraphPort& port = *DrawState.drawPort;
    m_savedFore = port.foreColor();
    m_savedBack = port.backColor();
    const Color fore = Rgb332ToRgba(m_colour);
    const Color back = DrawState.exportFlags[1] != 0 ? fore : port.backColor();
    port.setColors(&fore, &back);
}

void eTemplate::restoreColors() {
    if (DrawState.exportFlags[0] != 0 || DrawState.drawPort == nullptr)
        return;
    DrawState.drawPort->setColors(&m_savedFore, &m_savedBack);
}

bool eTemplate::getTemplateCode(int32_t&) const {
    KV_ASSERT_FAILED("TmgTC");
    return false;
}

// ---- Clicks
// --------------------------------------------------------------------------------------

bool eTemplate::hit(oPoint anchor, oPoint point, SelectionEntry& entry, bool drag) {
    for (int32_t i = 0; i < m_count; ++i) {
        eExpr* child = getChild(i);
        if (drag ? HitDragChild(child, anchor, point, entry)
                 : HitClickChild(child, anchor, point, entry))
            return true;
    }
    const Zone& z = DrawState.absZone;
    const int32_t quarter = (z.right - z.left) / 4;
    if (m_parent == nullptr)
        return false;
    entry = {m_parent, m_index, m_index + 1, 0, 1};
    if (anchor.x < z.left + quarter && point.x < z.left + quarter)
        entry.end = m_index;
    else if (anchor.x >= z.right - quarter && point.x >= z.right - quarter)
        entry.start = m_index + 1;
    return true;
}

bool eTemplate::hitClick(oPoint anchor, oPoint point, SelectionEntry& entry) {
    return hit(anchor, point, entry, false);
}

bool eTemplate::hitDrag(oPoint anchor, oPoint point, SelectionEntry& entry) {
    return hit(anchor, point, entry, true);
}

// Help balloon: the text of the template's family; family 0 (fraction-like templates) by kind.
void eTemplate::infoText(int32_t& kind, int32_t& stringId) {
    kind = 1;
    stringId = 0;
    int32_t code = 0;
    if (!getTemplateCode(code))
        return;
    switch (TemplateFamilyOf(code)) {
    case kTemplateFamilyFence:
        stringId = 392;
        return;
    case kTemplateFamilyIntegral:
        stringId = 398;
        return;
    case kTemplateFamilyTreeNode:
        stringId = 400;
        return;
    case kTemplateFamilyMark:
        stringId = 394;
        return;
    case kTemplateFamilyScript:
        stringId = 399;
        return;
    case kTemplateFamilyTensor:
        stringId = 404;
        return;
    case kTemplateFamilyBox:
        stringId = 401;
        return;
    case kTemplateFamilyWideFence:
        stringId = 393;
        return;
    case kTemplateFamilyFraction:
        break;
    default:
        return;
    }
    switch (TemplateKindOf(code)) {
    case 1:
        stringId = 395;
        break;
    case 2:
    case 5:
    case 6:
    case 7:
        stringId = 396;
        break;
    case kFractionKindRoot:
        stringId = 397;
        break;
    case kFractionKindOverstrike: {
        // With the structure shown, the overstrike's text tells how to reach its parts.
        const bool guides = ActivePad != nullptr && ActiveRecord != nullptr &&
                            ActiveRecord->m_options[kOptionStructure] != 0;
        stringId = guides ? 403 : 402;
        break;
    }
    case kFractionKindLongDivision:
        stringId = 405;
        break;
    default:
        break;
    }
}
