// The rows of the Modify menu in the running program, on the node the user means: round a template
// just put in (its first slot's placeholder selected), and anywhere inside what Select All takes,
// however deep in single-slot templates the node sits. The dialog is answered and the changed node
// checked; where no node of the kind is meant, the "could not be found" message and nothing else.

#include "App/MenuDispatch.h"
#include "Dialogs/MatrixDialogs.h"
#include "Dialogs/ModifyTemplateDialogs.h"
#include "OverSrcs/eBox.h"
#include "OverSrcs/eFence.h"
#include "OverSrcs/eFraction.h"
#include "OverSrcs/eIntegral.h"
#include "OverSrcs/eMark.h"
#include "OverSrcs/eMatrix.h"
#include "OverSrcs/eSSScript.h"
#include "OverSrcs/eSelect.h"
#include "OverSrcs/eTreeNode.h"
#include "TreeText.h"
#include "UserInputFixture.h"
#include "plat/Dialog.h"

#include <functional>
#include <string>
#include <vector>

namespace kvtest {
namespace {

class ModifyByKindMenuTest : public UserInputFixture {};

// The first node of the class in the tree, in reading order.
template <class T> T* firstOf(eExpr* node) {
    if (node == nullptr)
        return nullptr;
    if (auto* found = dynamic_cast<T*>(node))
        return found;
    for (int32_t i = 0; i < node->childCount(); ++i)
        if (T* found = firstOf<T>(node->getChild(i)))
            return found;
    return nullptr;
}
template <class T> eExpr* anyOf(eExpr* node) {
    return firstOf<T>(node);
}

int32_t kindOf(const eExpr* node) {
    return static_cast<const eTemplate*>(node)->m_kind;
}

// A Modify row, the template that makes a node of its kind, the answer given to its dialog and
// what the answer makes of the node.
struct Row {
    const char* name;
    int menuId;
    int32_t insert;
    int dialogId;
    eExpr* (*find)(eExpr* root);
    std::function<void(pt::DialogDriver&)> answer;
    std::function<int32_t(const eExpr*)> read;
    int32_t expected;
};

const std::vector<Row>& Rows() {
    static const std::vector<Row> rows = {
        {"scripts", 5380, 0x4203, kEditScriptsDialogId, &anyOf<eSSScript>,
         [](pt::DialogDriver& d) { d.click(kScriptsPreItem); },
         [](const eExpr* n) { return kindOf(n) & kScriptPrescripts; }, kScriptPrescripts},
        {"integral", 5381, 0x4301, kEditIntegralDialogId, &anyOf<eIntegral>,
         [](pt::DialogDriver& d) { d.setText(kIntegralCountItem, "3"); },
         [](const eExpr* n) { return (kindOf(n) & kIntegralCountMask) + 1; }, 3},
        {"tree node", 5382, 0x4211, kEditTreeNodeDialogId, &anyOf<eTreeNode>,
         [](pt::DialogDriver& d) { d.setText(kTreeCountItem, "3"); },
         [](const eExpr* n) { return n->childCount(); }, 4},
        {"box", 5383, 0x4040, kEditBoxDialogId, &anyOf<eBox>,
         [](pt::DialogDriver& d) { d.click(kBoxShadowFirst + 1); },
         [](const eExpr* n) { return kindOf(n) & (kBoxShadow | kBoxShadowLeft); },
         kBoxShadow | kBoxShadowLeft},
        {"fraction", 5384, 0x4001, kEditFractionDialogId, &anyOf<eFraction>,
         [](pt::DialogDriver& d) { d.click(kFractionStyleFirst + 2); }, &kindOf, kFractionSlanted},
        {"mark", 5386, 0x4401, kEditEmbellishmentDialogId, &anyOf<eMark>,
         [](pt::DialogDriver& d) { d.click(kMarkFirst + kMarkTilde - 1); },
         [](const eExpr* n) { return static_cast<const eMark*>(n)->mark(); }, kMarkTilde},
        {"fence", 5387, 0x4111, kEditDelimiterDialogId, &anyOf<eFence>,
         [](pt::DialogDriver& d) { d.click(kDelimiterOpeningFirst + kDelimAngle); },
         [](const eExpr* n) { return static_cast<const eFence*>(n)->openingType(); }, kDelimAngle},
        {"matrix", 5388, 0x5222, kEditMatrixDialogId, &anyOf<eMatrix>,
         [](pt::DialogDriver& d) { d.setText(kMatrixRowsItem, "3"); },
         [](const eExpr* n) { return static_cast<const eMatrix*>(n)->rows(); }, 3},
    };
    return rows;
}

// Templates to nest a node in, outermost first: the first `depth` of a fence, a box, a mark (each
// with a single slot) and a root whose kind is not the row's own.
std::vector<int32_t> Wrappers(const Row& row, int depth) {
    std::vector<int32_t> out;
    for (const int32_t code : {0x4111, 0x4040, 0x4401, 0x4010})
        if (code != row.insert && static_cast<int>(out.size()) < depth)
            out.push_back(code);
    return out;
}

// The row's menu command with its dialog answered; false when the dialog did not open.
bool ModifyThroughTheMenu(const Row& row) {
    bool opened = false;
    pt::onDialog(row.dialogId, [&](pt::DialogDriver& d) {
        opened = true;
        row.answer(d);
        d.click(plat::IDOK);
    });
    DoMenuCommand(row.menuId);
    UserInputFixture::pump();
    return opened;
}

TEST_F(ModifyByKindMenuTest, EveryRowFindsItsNodeRoundAPlaceholderAndInsideSelectAll) {
    enum class From { PlaceholderJustPutIn, SelectAll };
    for (const Row& row : Rows()) {
        for (int depth = 0; depth <= 3; ++depth) {
            for (const From from : {From::PlaceholderJustPutIn, From::SelectAll}) {
                SCOPED_TRACE(std::string(row.name) + ", " + std::to_string(depth) +
                             " templates deep, " +
                             (from == From::SelectAll ? "Select All" : "placeholder just put in"));
                ExprFilePane* pane = typed("A=");
                for (const int32_t code : Wrappers(row, depth)) {
                    DoCommand(code, 0);
                    pump();
                }
                DoCommand(row.insert, 0);
                pump();
                if (from == From::SelectAll) {
                    keys("x"); // the first slot filled
                    key('A', pt::kCtrl);
                } else {
                    ASSERT_EQ(ActiveRecord->count(), 1);
                    ASSERT_NE(LonePlaceholderRow(ActiveRecord->entry(0)), nullptr)
                        << TreeText(pane->expression());
                }
                const std::string before = TreeText(pane->expression());
                const size_t boxes = pt::messageBoxes().size();
                EXPECT_TRUE(ModifyThroughTheMenu(row)) << before;
                EXPECT_EQ(pt::messageBoxes().size(), boxes) << pt::messageBoxes().back().text;
                const eExpr* node = row.find(pane->expression());
                ASSERT_NE(node, nullptr) << TreeText(pane->expression());
                EXPECT_EQ(row.read(node), row.expected) << before;
                CloseAllDocuments();
                takeBackQuit();
            }
        }
    }
}

// Nested templates of other kinds only: Select All, and the placeholder of the innermost one just
// put in, both say the node could not be found, and the formula and the selection stay as they
// were.
TEST_F(ModifyByKindMenuTest, WithNoNodeOfTheKindTheRowSaysSoAndChangesNothing) {
    for (const Row& row : Rows()) {
        for (const bool selectAll : {false, true}) {
            SCOPED_TRACE(std::string(row.name) + (selectAll ? ", Select All" : ", placeholder"));
            ExprFilePane* pane = typed("A=");
            for (const int32_t code : Wrappers(row, 3)) {
                DoCommand(code, 0);
                pump();
            }
            if (selectAll)
                key('A', pt::kCtrl);
            const std::string before = TreeText(pane->expression());
            ASSERT_EQ(ActiveRecord->count(), 1);
            const SelectionEntry selected = ActiveRecord->entry(0);
            std::string said;
            pt::onMessageBox([&](const pt::MessageBoxCall& box) {
                said = box.text;
                return 1;
            });
            // No dialog may open: one would fail the test, having no script.
            DoMenuCommand(row.menuId);
            pump();
            EXPECT_NE(said.find("could not be found"), std::string::npos) << said;
            EXPECT_EQ(TreeText(pane->expression()), before);
            ASSERT_EQ(ActiveRecord->count(), 1);
            EXPECT_EQ(ActiveRecord->entry(0), selected);
            CloseAllDocuments();
            takeBackQuit();
        }
    }
}

// `a/b + [c/d]`: Select All means the first fraction; a selection of `+ [c/d]` means the one
// inside it, though another lies before it in the row.
TEST_F(ModifyByKindMenuTest, ASelectionMeansTheFirstNodeInsideItInReadingOrder) {
    const Row& fraction = Rows()[4];
    ASSERT_STREQ(fraction.name, "fraction");
    for (const bool whole : {true, false}) {
        SCOPED_TRACE(whole ? "Select All" : "the last two items");
        ExprFilePane* pane = typed("");
        DoCommand(fraction.insert, 0);
        pump();
        keys("a");
        key(plat::VK_TAB);
        keys("b");
        key(plat::VK_RIGHT);
        keys("+");
        DoCommand(0x4111, 0);
        pump();
        DoCommand(fraction.insert, 0);
        pump();
        keys("c");
        key(plat::VK_TAB);
        keys("d");
        ASSERT_EQ(TreeText(pane->expression()), "[frac{[a]|[b]}|<s>|+|fence{[frac{[c]|[d]}]}]");
        key('A', pt::kCtrl);
        if (!whole) {
            key(plat::VK_RIGHT);
            key(plat::VK_LEFT, pt::kShift);
            key(plat::VK_LEFT, pt::kShift);
            ASSERT_EQ(ActiveRecord->count(), 1);
            ASSERT_EQ(ActiveRecord->entry(0), (SelectionEntry{pane->expression(), 2, 4, 0, 0}));
        }
        EXPECT_TRUE(ModifyThroughTheMenu(fraction));
        eExpr* top = pane->expression();
        const eExpr* first = top->getChild(0);
        const eExpr* inner = firstOf<eFraction>(firstOf<eFence>(top));
        ASSERT_NE(inner, nullptr);
        EXPECT_EQ(kindOf(first), whole ? kFractionSlanted : kFractionVertical);
        EXPECT_EQ(kindOf(inner), whole ? kFractionVertical : kFractionSlanted);
        CloseAllDocuments();
        takeBackQuit();
    }
}

} // namespace
} // namespace kvtest
