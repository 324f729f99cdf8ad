#include "plat/Memory.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>

using namespace plat;

namespace {

TEST(GlobalMemoryTest, BlocksAreZeroedStableAndCheckedAfterFree) {
    HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, 100); // zero-filled even without GMEM_ZEROINIT
    ASSERT_NE(mem, nullptr);
    EXPECT_EQ(GlobalSize(mem), 100u);
    auto* first = static_cast<unsigned char*>(GlobalLock(mem));
    ASSERT_NE(first, nullptr);
    for (int i = 0; i < 100; ++i) {
        ASSERT_EQ(first[i], 0) << i;
    }
    std::memset(first, 0xAB, 100);
    EXPECT_EQ(GlobalLock(mem), first); // locks nest and the block never moves
    EXPECT_TRUE(GlobalUnlock(mem));    // still locked once
    EXPECT_FALSE(GlobalUnlock(mem));
    EXPECT_FALSE(GlobalUnlock(mem)); // not locked any more
    EXPECT_EQ(static_cast<unsigned char*>(GlobalLock(mem))[99], 0xAB);
    GlobalUnlock(mem);

    EXPECT_EQ(GlobalFree(mem), nullptr);
    EXPECT_EQ(GlobalLock(mem), nullptr);
    EXPECT_EQ(GlobalSize(mem), 0u);
    EXPECT_EQ(GlobalFree(mem), mem); // a second free is refused

    HGLOBAL other = GlobalAlloc(GHND, 8);
    EXPECT_NE(other, mem); // a freed handle never names a new block
    EXPECT_EQ(GlobalLock(mem), nullptr);
    GlobalFree(other);

    HGLOBAL empty = GlobalAlloc(GPTR, 0);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(GlobalSize(empty), 0u);
    GlobalFree(empty);
}

TEST(GlobalAtomTest, NamesIgnoreCaseAndAreCounted) {
    const ATOM a = GlobalAddAtom("/home/u/Doc\xE9.pvx");
    ASSERT_GE(a, 0xC000);
    EXPECT_EQ(GlobalAddAtom("/HOME/U/DOC\xC9.PVX"), a); // one atom, two references
    char buf[64];
    EXPECT_EQ(GlobalGetAtomName(a, buf, sizeof buf), 16u);
    EXPECT_STREQ(buf, "/home/u/Doc\xE9.pvx");
    EXPECT_EQ(GlobalGetAtomName(a, buf, 5), 4u);
    EXPECT_STREQ(buf, "/hom");

    EXPECT_EQ(GlobalDeleteAtom(a), 0);
    EXPECT_GT(GlobalGetAtomName(a, buf, sizeof buf), 0u); // one reference left
    EXPECT_EQ(GlobalDeleteAtom(a), 0);
    EXPECT_EQ(GlobalGetAtomName(a, buf, sizeof buf), 0u);
    EXPECT_STREQ(buf, "");
    EXPECT_EQ(GlobalDeleteAtom(a), a);

    // Names as long as any path the system opens; longer ones are refused.
    const std::string longest(kMaxAtomName, 'x');
    const ATOM big = GlobalAddAtom(longest.c_str());
    ASSERT_NE(big, 0);
    std::string back(kMaxAtomName + 1, '\0');
    EXPECT_EQ(GlobalGetAtomName(big, back.data(), kMaxAtomName + 1), UINT(kMaxAtomName));
    EXPECT_EQ(back.c_str(), longest);
    EXPECT_EQ(GlobalDeleteAtom(big), 0);
    EXPECT_EQ(GlobalAddAtom(std::string(kMaxAtomName + 1, 'x').c_str()), 0);

    // Exact atoms tell names apart by case, as file names are.
    const ATOM upper = GlobalAddAtomExact("/home/u/Case.pvx");
    const ATOM lower = GlobalAddAtomExact("/home/u/case.pvx");
    ASSERT_NE(upper, 0);
    ASSERT_NE(lower, 0);
    EXPECT_NE(upper, lower);
    EXPECT_EQ(GlobalAddAtomExact("/home/u/case.pvx"), lower);
    EXPECT_GT(GlobalGetAtomName(upper, buf, sizeof buf), 0u);
    EXPECT_STREQ(buf, "/home/u/Case.pvx");
    for (const ATOM a : {upper, lower, lower})
        EXPECT_EQ(GlobalDeleteAtom(a), 0);
    EXPECT_EQ(GlobalAddAtom(""), 0);
}

} // namespace
