#include "OverSrcs/eSSScript.h"

#include "ExprSrcs/commands/tsPrefs.h"
#include "OverSrcs/commands/kEdit.h"
#include "OverSrcs/eFactory.h"
#include "OverSrcs/eLayout.h"
#include "OverSrcs/eSimpString.h"
#include "OverSrcs/eTensor.h"
#include "OverSrcs/eTreeNode.h"

#include <algorithm>
#include <utility>

ScriptSlots ScriptSlotsFor(int32_t kind, int32_t count) {
    ScriptSlots slots;
    int32_t next = 0;
    if ((kind & kScriptOperator) != 0) {
        if (next < count)
            slots.operand = next;
        ++next;
    }
    if (next < count)
        slots.base = next;
    ++next;
    if ((kind & kScriptNoScripts) == 0) {
        if (next + 1 < count) {
            slots.sub = next;
            slots.sup = next + 1;
        }
        next += 2;
    }
    if ((kind & kScriptLimits) != 0) {
        if (next + 1 < count) {
            slots.lower = next;
            slots.upper = next + 1;
        }
        next += 2;
    }
    if ((kind & kScriptPrescripts) != 0 && next + 1 < count) {
        slots.preSub = next;
        slots.preSup = next + 1;
    }
    return slots;
}

bool IsOperatorSignSlot(const eExpr* parent, int32_t index) {
    const auto* scripts = dynamic_cast<const eSSScript*>(parent);
    if (scripts == nullptr || (scripts->m_kind & kScriptOperator) == 0 ||
        (scripts->m_kind & kScriptPrescripts) != 0)
        return false;
    return index == ScriptSlotsFor(scripts->m_kind, scripts->childCount()).base;
}

void ScriptRiseAndDrop(const ChildMetrics& base, int32_t& rise, int32_t& drop) {
    const int32_t s = base.size;
    const int32_t axis = base.zone.ref1;
    const int32_t bottom = base.zone.bottom;
    const int32_t baseline = base.zone.ref2;
    const TypesettingRecord& ts = TypesettingSettings;
    rise = std::min(s / 3, axis / 2) + (((ts.superscriptHeight - 6) * s) >> 4);
    drop = std::max(bottom - s / 4, baseline) + (((ts.subscriptDepth - 2) * s) >> 4) - (s >> 4);
}

namespace {

// An empty slot measures as nothing and is never moved.
void Place(eExpr* parent, int32_t slot, int32_t x, int32_t y) {
    if (slot < 0)
        return;
    if (eExpr* child = parent->getChild(slot))
        PlaceNodeRect(child, x, y);
}

} // namespace

void eSSScript::measure() {
    eTemplate::measure();
    const ScriptSlots sl = ScriptSlotsFor(m_kind, m_count);
    if (sl.base < 0) {
        // Only an operand slot: the node is that slot.
        const ChildMetrics& only = TemplateChildMetrics[0];
        m_zone.right = only.width;
        m_zone.bottom = only.height;
        m_zone.ref1 = only.zone.ref1;
        m_zone.ref2 = only.zone.ref2;
        return;
    }
    const ChildMetrics& base = TemplateChildMetrics[sl.base];
    const ChildMetrics* operand = sl.operand >= 0 ? &TemplateChildMetrics[sl.operand] : nullptr;
    const int32_t size = operand != nullptr ? operand->size : base.size;
    const int32_t gap = std::max(1, (size + 8) / 16);
    int32_t rise = 0;
    int32_t drop = 0;
    ScriptRiseAndDrop(base, rise, drop);
    const int32_t baseBottom = base.zone.bottom;
    const int32_t baseAxis = base.zone.ref1;

    int32_t above = 0;
    int32_t below = 0;
    int32_t t = 0;
    if (sl.preSub >= 0) {
        const ChildMetrics& ps = TemplateChildMetrics[sl.preSub];
        const ChildMetrics& pp = TemplateChildMetrics[sl.preSup];
        t = std::max(pp.zone.bottom - pp.zone.ref1 - drop + ps.zone.ref1 + rise, 0) >> 1;
        above = std::max(pp.zone.ref1 - rise + t, 0);
        below = std::max(ps.zone.bottom - baseBottom - ps.zone.ref1 + t + drop, 0);
    }
    if (sl.lower >= 0) {
        above = std::max(above, TemplateChildMetrics[sl.upper].zone.bottom + gap);
        below = std::max(below, TemplateChildMetrics[sl.lower].zone.bottom + gap);
    }
    int32_t u = 0;
    if (sl.sub >= 0) {
        const ChildMetrics& sb = TemplateChildMetrics[sl.sub];
        const ChildMetrics& sp = TemplateChildMetrics[sl.sup];
        u = std::max(sp.zone.bottom - sp.zone.ref1 - drop + sb.zone.ref1 + rise, 0) >> 1;
        above = std::max(above, sp.zone.ref1 - rise + u);
        below = std::max(below, sb.zone.bottom - baseBottom - sb.zone.ref1 + u + drop);
    }
    if (operand != nullptr) {
        above = std::max(above, operand->zone.ref1 - baseAxis);
        below = std::max(below, operand->zone.bottom - baseBottom - operand->zone.ref1 + baseAxis);
    }
    m_size = size;
    m_zone.bottom = baseBottom + below + above;
    m_zone.ref1 = baseAxis + above;
    m_zone.ref2 = base.zone.ref2 + above;

    int32_t x = 0;
    if (sl.preSub >= 0) {
        const ChildMetrics& ps = TemplateChildMetrics[sl.preSub];
        const ChildMetrics& pp = TemplateChildMetrics[sl.preSup];
        const int32_t w = std::max(ps.width, pp.width);
        Place(this, sl.preSub, w - ps.width, t - ps.zone.ref1 + drop + above);
        Place(this, sl.preSup, w - pp.width, rise - pp.zone.ref1 - t + above);
        x = w;
    }
    if (sl.lower >= 0) {
        const ChildMetrics& lo = TemplateChildMetrics[sl.lower];
        const ChildMetrics& up = TemplateChildMetrics[sl.upper];
        const int32_t w = std::max({base.width, lo.width, up.width});
        Place(this, sl.lower, x + (w - lo.width) / 2, baseBottom + above + gap);
        Place(this, sl.upper, x + (w - up.width) / 2, above - up.zone.bottom - gap);
        Place(this, sl.base, x + (w - base.width) / 2, above);
        x += w;
    } else {
        Place(this, sl.base, x, above);
        x += base.width;
    }
    if (sl.sub >= 0) {
        const ChildMetrics& sb = TemplateChildMetrics[sl.sub];
        const ChildMetrics& sp = TemplateChildMetrics[sl.sup];
        int32_t k = 0;
        eExpr* baseNode = getChild(sl.base);
        if (!StructureOn() && baseNode != nullptr) {
            int32_t left = 0;
            int32_t right = 0;
            baseNode->getExtents(left, right, k);
        }
        const TypesettingRecord& ts = TypesettingSettings;
        const int32_t subX = x + ((sb.size * ts.subscriptSeparation) >> 6) - k;
        const int32_t supX = x + ((sp.size * ts.superscriptSeparation) >> 6);
        Place(this, sl.sub, subX, u - sb.zone.ref1 + drop + above);
        Place(this, sl.sup, supX, rise - sp.zone.ref1 - u + above);
        x = std::max(subX + sb.width, supX + sp.width);
    }
    if (operand != nullptr) {
        x += size >> 2;
        Place(this, sl.operand, x, baseAxis - operand->zone.ref1 + above);
        x += operand->width;
    }
    m_zone.right = x;
}

void eSSScript::draw() {
    eTemplate::draw();
    restoreColors();
}

int32_t eSSScript::childSizeStep(int32_t i) const {
    if (i <= 0)
        return 0;
    if (i == 1 && (m_kind & kScriptOperator) != 0)
        return TypesettingSettings.bigOperatorSize;
    return -TypesettingSettings.scriptSize;
}

bool eSSScript::getTemplateCode(int32_t& code) const {
    code = MakeTemplateCode(kTemplateFamilyScript, m_kind, m_count);
    return true;
}

OwnedNode<eSSScript> NewSSScript(ExprPtr base, ExprPtr first, ExprPtr second, int32_t n) {
    OwnedNode<eSSScript> node = NewTemplateBlock<eSSScript>(n, n);
    node->m_kind = 0;
    if (n > 0 && base)
        node->setChild(0, std::move(base));
    if (n > 1 && first)
        node->setChild(1, std::move(first));
    if (n > 2 && second)
        node->setChild(2, std::move(second));
    return node;
}

namespace {

inline constexpr int32_t kScriptSlotsAll = 8;

OwnedNode<eSSScript> NewEmptyFullScript() {
    OwnedNode<eSSScript> node = NewSSScript(nullptr, nullptr, nullptr, kScriptSlotsAll);
    node->m_kind = kScriptPrescripts | kScriptLimits | kScriptOperator;
    return node;
}

} // namespace

OwnedNode<eSSScript> NewPrescriptTemplate(int32_t command) {
    OwnedNode<eSSScript> node = NewEmptyFullScript();
    int32_t marked = -1;
    switch (command) {
    case 0x4206:
        marked = 6;
        break;
    case 0x4207:
        marked = 4;
        break;
    case 0x4208:
        marked = 5;
        break;
    default:
        break;
    }
    for (int32_t i = 0; i < kScriptSlotsAll; ++i) {
        if (i == 1 || i == marked)
            node->setChild(i, NewPlaceholder(0, false));
        else
            node->setChild(i, NewEmptySimpString());
    }
    return node;
}

OwnedNode<eSSScript> NewScriptAroundSelection() {
    // The placeholders are built as plain "?" rows, whatever the option that replaces
    // placeholders by the original expression says.
    const uint8_t savedOption = ReplacePlaceholdersOption;
    ReplacePlaceholdersOption = 0;
    OwnedNode<eSSScript> node = NewEmptyFullScript();
    node->m_colour = 0;
    ExprPtr first = NewPlaceholder(0, false);
    NoteEditedNode(first.get());
    InvalidateTree(first.get());
    for (int32_t i = 1; i < kScriptSlotsAll; ++i)
        node->setChild(i, CopyExpr(first.get()));
    node->setChild(0, std::move(first));
    node->setChild(0, NewEmptySimpString());
    ReplacePlaceholdersOption = savedOption;
    return node;
}

namespace {

ExprPtr MakeScriptFromCode(int32_t, int32_t kind, int32_t slots) {
    OwnedNode<eSSScript> node = NewSSScript(nullptr, nullptr, nullptr, slots);
    node->m_kind = kind;
    return node;
}

ExprPtr MakeTensorFromCode(int32_t, int32_t kind, int32_t slots) {
    OwnedNode<eTensor> node = NewTensor(nullptr, slots);
    node->m_kind = kind;
    return node;
}

ExprPtr MakeTreeNodeFromCode(int32_t, int32_t kind, int32_t slots) {
    OwnedNode<eTreeNode> node = NewTreeNode(nullptr, slots);
    node->m_kind = kind;
    return node;
}

} // namespace

void RegisterScriptTemplates() {
    SetTemplateFactory(kTemplateFamilyScript, &MakeScriptFromCode);
    SetTemplateFactory(kTemplateFamilyTensor, &MakeTensorFromCode);
    SetTemplateFactory(kTemplateFamilyTreeNode, &MakeTreeNodeFromCode);
}
