// Tab in the script templates and big operators, typed as the user types: the palette's button,
// then the slots with Tab between them. Tab stops only in the slots the template shows: never on
// a big operator's sign, never in a script or limit the template left empty.

#include "OverSrcs/eSSScript.h"
#include "TreeText.h"
#include "UserInputFixture.h"

#include <string>
#include <vector>

namespace kvtest {
namespace {

class TabSlotsTest : public UserInputFixture {};

TEST_F(TabSlotsTest, TabStopsOnlyInTheSlotsTheTemplateShows) {
    struct Case {
        int32_t subPalette;
        int32_t code;
        const char* typed; // \t is the Tab key
        std::vector<std::string> slots;
    };
    const Case cases[] = {
        // Big operators (slots: operand, sign, then limits or scripts): the sign stays.
        {4, 0x4601, "k\tk\tn", {"[k]", "[S]", "[k]", "[n]"}},
        {4, 0x4602, "k\t1\tn", {"[k]", "[P]", "[1]", "[n]"}},
        {4, 0x4611, "k\ti\tn", {"[k]", "[S]", "[i]", "[n]"}},
        // Tab from the last slot wraps past the sign to the operand, which the next key replaces.
        {4, 0x4601, "k\tk\tn\tj", {"[j]", "[S]", "[k]", "[n]"}},
        // A superscript or an upper limit alone: Tab goes past the empty slot before it.
        {1, 0x4201, "x\t2", {"[x]", "[]", "[2]"}},
        {1, 0x4205, "x\tn", {"[x]", "[]", "[n]"}},
        // From the superscript Tab wraps to the base, past the empty subscript.
        {1, 0x4201, "x\t2\ty", {"[y]", "[]", "[2]"}},
        // The slots a template fills are still all reached.
        {1, 0x4203, "x\ti\t2", {"[x]", "[i]", "[2]"}},
        {1, 0x4202, "x\ti", {"[x]", "[i]", "[]"}},
        // Prescripts (slots: operand, base, sub, sup, lower, upper, pre-sub, pre-sup): one Tab
        // from the base to the one script the template offers.
        {1, 0x4206, "C\t6", {"[]", "[C]", "[]", "[]", "[]", "[]", "[6]", "[]"}},
        {1, 0x4207, "C\t6", {"[]", "[C]", "[]", "[]", "[6]", "[]", "[]", "[]"}},
        {1, 0x4208, "C\t14", {"[]", "[C]", "[]", "[]", "[]", "[14]", "[]", "[]"}},
        // Nothing else to go to: Tab selects the base again.
        {1, 0x4209, "C\tN", {"[]", "[N]", "[]", "[]", "[]", "[]", "[]", "[]"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.typed) + " in template " + std::to_string(c.code));
        ExprFilePane* pane = typed("");
        fromSubPalette(c.subPalette, c.code);
        for (const char ch : std::string(c.typed)) {
            if (ch == '\t')
                key(plat::VK_TAB);
            else
                keys(std::string(1, ch));
        }
        const eExpr* row = pane->expression();
        ASSERT_EQ(row->childCount(), 1) << TreeText(row);
        const eExpr* node = row->getChild(0);
        ASSERT_NE(dynamic_cast<const eSSScript*>(node), nullptr) << TreeText(row);
        std::vector<std::string> slots;
        for (int32_t i = 0; i < node->childCount(); ++i)
            slots.push_back(TreeText(node->getChild(i)));
        EXPECT_EQ(slots, c.slots) << TreeText(row);
    }
}

} // namespace
} // namespace kvtest
