// Scripts around a base: subscript and superscript after it, limits under and over it, prescripts
// before it, and, in the operator form, a big operator followed by its operand. The kind is a set
// of flags that says which groups of slots the node has; the slots follow in a fixed order.
#pragma once

#include "OverSrcs/eTempl.h"

#include <cstdint>

// Kind flags.
inline constexpr int32_t kScriptPrescripts = 1; // pre-subscript and pre-superscript
inline constexpr int32_t kScriptLimits = 2;     // lower and upper limit
inline constexpr int32_t kScriptOperator = 4;   // an operand in slot 0, the base is a big operator
inline constexpr int32_t kScriptNoScripts = 8;  // no subscript and superscript after the base

// The slot of each role for a kind and slot count; -1 where the role's group is absent. A group
// is present only when its flag says so and all of its slots exist.
struct ScriptSlots {
    int32_t operand = -1;
    int32_t base = -1;
    int32_t sub = -1;
    int32_t sup = -1;
    int32_t lower = -1;
    int32_t upper = -1;
    int32_t preSub = -1;
    int32_t preSup = -1;
};
ScriptSlots ScriptSlotsFor(int32_t kind, int32_t count);
// Whether slot `index` of `parent` holds a big operator's own sign (the base after the operand of
// the operator form without prescripts): a fixed symbol, not a place to type.
bool IsOperatorSignSlot(const eExpr* parent, int32_t index);

// How far a superscript rises above and a subscript drops below a base with these metrics, from
// the superscript height and subscript depth settings.
void ScriptRiseAndDrop(const ChildMetrics& base, int32_t& rise, int32_t& drop);

class eSSScript : public eTemplate {
    KV_NODE_CLONE(eSSScript)
    // Emits the node through the active translator (etGener).
    void generate() override;

    void measure() override;
    // No strokes of its own: the children in the node's colour.
    void draw() override;
    int32_t childSizeStep(int32_t i) const override;
    // Modify kind 9; the scripts dialog itself belongs to the Modify command.
    int32_t change(bool query) override;
    bool getTemplateCode(int32_t& code) const override;
};

// n slots, kind 0, the base in slot 0 and the scripts, when given, in slots 1 and 2 (dropped when
// the node has no such slot).
OwnedNode<eSSScript> NewSSScript(ExprPtr base, ExprPtr first, ExprPtr second, int32_t n);
// Eight slots, kind 7: empty rows, a placeholder as the base and one more placeholder in the
// prescript or limit slot the command names (0x4206 pre-subscript, 0x4207 lower limit, 0x4208
// upper limit, 0x4209 none).
OwnedNode<eSSScript> NewPrescriptTemplate(int32_t command);
// Eight slots, kind 7, colour 0: an empty row as the operand and placeholders everywhere else.
OwnedNode<eSSScript> NewScriptAroundSelection();

// Installs the factories of the scripts, tensor and tree-node template families.
void RegisterScriptTemplates();
