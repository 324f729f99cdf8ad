#include "OverSrcs/eFactory.h"

#include "OverSrcs/eWord.h"
#include "model/ModelFixture.h"

#include <gtest/gtest.h>

namespace kvtest {
namespace {

FSSRecord s_typing;
int32_t s_typingIndex = 5;
TypingStyleRef ActiveTyping() {
    return TypingStyleRef{&s_typing, &s_typingIndex};
}
void BoldSelection(FSSRecord& record) {
    InitFSSRecord(record);
    record.style[kStyleBold] = 1;
}

class eFactoryTest : public ModelTest {};

TEST_F(eFactoryTest, APlaceholderIsARowHoldingAQuestionMark) {
    OwnedNode<eSimpString> slot = NewPlaceholder(0x49, false);
    ASSERT_EQ(slot->childCount(), 1);
    auto* word = dynamic_cast<eWord*>(slot->getChild(0));
    ASSERT_NE(word, nullptr);
    EXPECT_EQ(word->view(), "?");
    EXPECT_EQ(word->m_colour, 0x49);
    EXPECT_EQ(slot->m_colour, 0x49);
    FSSRecord style;
    word->storedStyle(style);
    FSSRecord inherit;
    InitFSSRecord(inherit);
    EXPECT_TRUE(SameFSS(style, inherit));
}

TEST_F(eFactoryTest, APlaceholderCanTakeTheSelectionsStyle) {
    TheModelHooks().getSelectionFSS = &BoldSelection;
    OwnedNode<eSimpString> slot = NewPlaceholder(0, true);
    FSSRecord style;
    static_cast<eWord*>(slot->getChild(0))->storedStyle(style);
    EXPECT_EQ(style.style[kStyleBold], 1);
    OwnedNode<eSimpString> plain = NewPlaceholder(0, false);
    static_cast<eWord*>(plain->getChild(0))->storedStyle(style);
    EXPECT_EQ(style.style[kStyleBold], kStyleInherit);
}

TEST_F(eFactoryTest, ResettingTheTypingStyleInheritsEverythingAgain) {
    ResetTypingStyle(); // no active record: nothing to do
    s_typing = FSSRecord{};
    SetFSSFontName(s_typing, "Arial");
    s_typing.style[kStyleBold] = 1;
    s_typing.size = 30;
    s_typingIndex = 5;
    TheModelHooks().activeTypingStyle = &ActiveTyping;
    ResetTypingStyle();
    FSSRecord inherit;
    InitFSSRecord(inherit);
    EXPECT_TRUE(SameFSS(s_typing, inherit));
    EXPECT_EQ(s_typingIndex, -1);
}

} // namespace
} // namespace kvtest
