// The common base of every template (fractions, radicals, fences, integrals, marks, boxes,
// overstrikes, scripts, tensors, tree nodes, long division and the header): a fixed number of
// child slots, each holding a row; the child-metrics table that every template layout reads; the
// colour bracket around a template's own strokes; and the 16-bit template codes.
#pragma once

#include "OverSrcs/eObject.h"

#include <cstdint>
#include <type_traits>
#include <utility>

// Template code: bits 12-15 family, bits 4-11 kind, bits 0-3 number of child slots.
inline constexpr int32_t kTemplateFamilyFraction = 0; // fraction, root, overstrike, long division
inline constexpr int32_t kTemplateFamilyFence = 1;
inline constexpr int32_t kTemplateFamilyIntegral = 2;
inline constexpr int32_t kTemplateFamilyTreeNode = 3;
inline constexpr int32_t kTemplateFamilyMark = 4;
inline constexpr int32_t kTemplateFamilyScript = 5;
inline constexpr int32_t kTemplateFamilyTensor = 6;
inline constexpr int32_t kTemplateFamilyBox = 7;
inline constexpr int32_t kTemplateFamilyWideFence = 9; // fence kinds 256-511
inline constexpr int32_t kTemplateFamilyCount = 10;
// Kinds of family 0.
inline constexpr int32_t kFractionKindRoot = 3;
inline constexpr int32_t kFractionKindOverstrike = 4;
inline constexpr int32_t kFractionKindLongDivision = 8;
// A code has four bits for the slot count.
inline constexpr int32_t kMaxTemplateSlots = 15;

constexpr int32_t TemplateFamilyOf(int32_t code) {
    return (code >> 12) & 15;
}
constexpr int32_t TemplateKindOf(int32_t code) {
    return (code >> 4) & 255;
}
constexpr int32_t TemplateSlotsOf(int32_t code) {
    return code & 15;
}
// The code of a template; a kind beyond 8 bits or a count beyond 4 bits cannot be written and is
// cut (with an assertion for the count), so it never spills into the family.
int32_t MakeTemplateCode(int32_t family, int32_t kind, int32_t slots);

// Metrics of one child while its template is measured or drawn: its zone relative to the template
// (ref1 = axis height, ref2 = baseline height), width, height and size.
struct ChildMetrics {
    Zone zone;
    int32_t width = 0;
    int32_t height = 0;
    int32_t size = 0;
};
// One entry for every slot a template can have.
inline constexpr int kChildMetricsSlots = kMaxTemplateSlots + 1;
extern ChildMetrics TemplateChildMetrics[kChildMetricsSlots];

class eTemplate : public eExpr {
    KV_NODE_BLOCKS(eTemplate)
    // Emits the node through the active translator (etGener).
    void generate() override;

    // All slots empty.
    void init(int32_t count) override;
    void destroy(int32_t flags) override;
    void writeEncoding(oOStream& stream) const override;
    eExpr* getChild(int32_t i) const override;
    ExprPtr detachChild(int32_t i) override;
    // Final and inline: a caller that knows it holds a template (a reader filling one) calls it
    // without the virtual dispatch.
    eExpr* setChild(int32_t i, ExprPtr node) final { return slotSet(i, std::move(node)); }
    // Measures every child, enters them in the child-metrics table and takes the first child's
    // size. Subclass layouts start with it and then place the children.
    void infoText(int32_t& kind, int32_t& stringId) override;
    void measure() override;
    // Draws the children, enters them in the table and switches the port to the node's colour;
    // the subclass draws its strokes and ends with restoreColors.
    void draw() override;
    // Slots first; else the whole template, or the caret before or after it when the press lies
    // in its left or right quarter.
    bool hitClick(oPoint anchor, oPoint point, SelectionEntry& entry) override;
    bool hitDrag(oPoint anchor, oPoint point, SelectionEntry& entry) override;
    bool isTemplate() const override;
    void showPart(bool show, int32_t i) override;
    // Templates without a dialog report kind 5 and keep their selection.
    int32_t change(bool query) override;
    void whereCharWalk(int32_t argument) override;
    bool equal(const eExpr* other, int32_t options) const override;

    // Appended operations, in order.
    // The code this node is written with; false (and an assertion) for the abstract base.
    virtual bool getTemplateCode(int32_t& code) const;
    // Gives the port back the colours draw replaced.
    virtual void restoreColors();

    Color m_savedFore;
    Color m_savedBack;
    int32_t m_kind = 0;

protected:
    // Enters the children's current zones in the child-metrics table.
    void enterChildMetrics() const;
    bool hit(oPoint anchor, oPoint point, SelectionEntry& entry, bool drag);
};

// Makes an empty template of the class, kind and slot count the code names; null for any code no
// class accepts, and for a class that is not installed.
ExprPtr NewTemplateFromCode(int32_t code);

// Each template class installs its factory for its family at start-up: it receives the validated
// kind and slot count and returns the empty node (kind stored as the code table requires).
using TemplateFactory = ExprPtr (*)(int32_t family, int32_t kind, int32_t slots);
void SetTemplateFactory(int32_t family, TemplateFactory factory);

// A template block of class T with room for `room` slots (at least `count`), in the state the
// factory protocol (class, fields reset, init(count)) leaves it: of the all-zero block only the
// child count needs setting. No template class adds to eTemplate::init.
template <class T> OwnedNode<T> NewTemplateBlock(int32_t count, int32_t room) {
    static_assert(std::is_base_of_v<eTemplate, T>);
    if (count < 0)
        count = 0;
    if (room < count)
        room = count;
    OwnedNode<T> node(NewNodeBlock<T>(static_cast<size_t>(room) * sizeof(eExpr*)));
    node->m_count = count;
    return node;
}
