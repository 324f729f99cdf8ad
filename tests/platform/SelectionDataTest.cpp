// The bytes of incoming X selection transfers: pieces of property values put together in the form
// the client library hands them over, a change of format refused, the size bounded (only what shows
// the data too large is kept), and atom lists read within the bytes.

#include "core/sys/SelectionData.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace kvtest {
namespace {

using plat::core::AtomsOf;
using plat::core::SelectionData;

std::vector<std::uint8_t> bytesOf(const std::string& s) {
    return std::vector<std::uint8_t>(s.begin(), s.end());
}

TEST(SelectionData, PiecesAreKeptInOrderUpToTheLimit) {
    struct Piece {
        int format;
        std::string items; // 8-bit items
    };
    struct Case {
        const char* name;
        std::size_t limit;
        std::vector<Piece> pieces;
        std::string kept;
        bool overflowed;
        bool lastAdded;
    };
    const Case cases[] = {
        {"one answer", 100, {{8, "y=2"}}, "y=2", false, true},
        {"chunks", 100, {{8, "abc"}, {8, ""}, {8, "def"}}, "abcdef", false, true},
        {"exactly one past the limit", 5, {{8, "abcdef"}}, "abcdef", false, true},
        {"beyond the limit", 5, {{8, "abcd"}, {8, "efgh"}, {8, "ijkl"}}, "abcdef", true, true},
        {"a format that changes", 100, {{8, "ab"}, {16, "cd"}}, "ab", false, false},
        {"a format the library never hands over", 100, {{24, "abc"}}, "", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SelectionData data(c.limit);
        bool added = true;
        for (const Piece& p : c.pieces) {
            const std::size_t unit = p.format == 16 ? sizeof(short) : 1;
            std::vector<unsigned char> items(p.items.begin(), p.items.end());
            items.resize(items.size() * unit);
            added = data.add(p.format, items.data(), p.items.size());
        }
        EXPECT_EQ(data.bytes(), bytesOf(c.kept));
        EXPECT_EQ(data.overflowed(), c.overflowed);
        EXPECT_EQ(added, c.lastAdded);
    }
}

TEST(SelectionData, AtomListsAreReadAsTheLibraryStoresThem) {
    const long atoms[] = {31, 0, 444, 445};
    SelectionData data(1000);
    ASSERT_TRUE(data.add(32, reinterpret_cast<const unsigned char*>(atoms), 4));
    EXPECT_EQ(data.bytes().size(), 4 * sizeof(long));
    EXPECT_EQ(AtomsOf(data.format(), data.bytes()), (std::vector<unsigned long>{31, 0, 444, 445}));
    // Bytes that are no whole atom, and other formats, give no atom.
    std::vector<std::uint8_t> partial = data.bytes();
    partial.resize(sizeof(long) + 3);
    EXPECT_EQ(AtomsOf(32, partial), (std::vector<unsigned long>{31}));
    EXPECT_TRUE(AtomsOf(8, data.bytes()).empty());
}

} // namespace
} // namespace kvtest
