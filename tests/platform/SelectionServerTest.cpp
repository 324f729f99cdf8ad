// The selection owner's side without a display: every request of a target served from its one
// rendering, INCR transfers sent a chunk per deletion, and what unread transfers hold bounded
// (their count per requestor and in all, the bytes only they keep, a deadline, the requestor's
// end); a failed allocation refuses the request it served.

#include "core/sys/SelectionServer.h"

#include <cstring>
#include <gtest/gtest.h>
#include <map>
#include <new>
#include <string>
#include <utility>
#include <vector>

namespace kvtest {
namespace {

using plat::core::SelectionAtoms;
using plat::core::SelectionData;
using plat::core::SelectionLimits;
using plat::core::SelectionServer;
using plat::core::ServedTarget;
using plat::core::SharedBytes;
using plat::core::XId;

constexpr XId kTargets = 101, kTimestamp = 102, kMultiple = 103, kIncr = 104, kAtomPair = 105;
constexpr XId kPicture = 200, kText = 201, kBroken = 202;
// Requestor windows of two clients: a client's windows share the bits above the low 16.
constexpr XId kClient = 0x10007, kOther = 0x20008;
constexpr XId kClientBits = ~XId{0xFFFF};

SelectionAtoms atoms() {
    return {.targets = kTargets,
            .timestamp = kTimestamp,
            .multiple = kMultiple,
            .incr = kIncr,
            .atomPair = kAtomPair};
}

// The display as the server leaves it: each property's last value, and the windows followed.
struct RecordingPort final : plat::core::SelectionPort {
    struct Value {
        XId type = 0;
        int format = 0;
        std::vector<std::uint8_t> bytes;
        std::vector<long> longs;
    };
    std::map<std::pair<XId, XId>, Value> properties;
    std::map<XId, bool> followed;
    // The display's clock, which a rendering may move on.
    std::uint32_t clock = 0;
    void setProperty(XId window, XId property, XId type, int format, const void* items,
                     std::size_t count) override {
        Value v{type, format, {}, {}};
        if (format == 8) {
            const auto* b = static_cast<const std::uint8_t*>(items);
            v.bytes.assign(b, b + count);
        } else {
            const auto* l = static_cast<const long*>(items);
            v.longs.assign(l, l + count);
        }
        properties[{window, property}] = v;
    }
    void follow(XId window, bool on) override { followed[window] = on; }
    XId clientOf(XId window) const override { return window & kClientBits; }
    std::uint32_t now() override { return clock; }
    const Value& at(XId window, XId property) { return properties[{window, property}]; }
};

SharedBytes pattern(std::size_t size, int seed = 0) {
    auto bytes = std::make_shared<std::vector<std::uint8_t>>(size);
    for (std::size_t i = 0; i < size; ++i)
        (*bytes)[i] = static_cast<std::uint8_t>(i * 7 + seed + i / 251);
    return bytes;
}

// A target made on request, counting how often it is made.
ServedTarget counted(XId atom, SharedBytes bytes, int& made) {
    return ServedTarget{atom, [bytes, &made]() {
                            ++made;
                            return bytes;
                        }};
}

SelectionData pairsOf(const std::vector<long>& atoms) {
    SelectionData d;
    d.add(32, reinterpret_cast<const unsigned char*>(atoms.data()), atoms.size());
    return d;
}

// `n` pairs asking for `target`, each into a property of its own from 1000 on.
std::vector<long> manyPairs(std::size_t n, XId target) {
    std::vector<long> pairs;
    for (std::size_t i = 0; i < n; ++i) {
        pairs.push_back(static_cast<long>(target));
        pairs.push_back(static_cast<long>(1000 + i));
    }
    return pairs;
}

SelectionLimits smallLimits() {
    SelectionLimits l;
    l.chunk = 16;
    l.transfersPerRequestor = 4;
    l.transfers = 6;
    l.heldBytes = 100;
    l.lifeMs = 1000;
    return l;
}

TEST(SelectionServer, EveryPairOfAMultipleSharesOneRendering) {
    // Pairs one less than, at, one past and ten times the bound per requestor.
    SelectionLimits limits;
    limits.transfersPerRequestor = 64;
    limits.transfers = 256;
    for (const std::size_t n :
         {std::size_t{63}, std::size_t{64}, std::size_t{65}, std::size_t{640}, std::size_t{4000}}) {
        SCOPED_TRACE(n);
        RecordingPort port;
        SelectionServer server(port, atoms(), limits);
        int made = 0;
        const SharedBytes picture = pattern(1 << 20);
        server.offer({counted(kPicture, picture, made)}, 5);
        ASSERT_TRUE(server.convertMultiple(kClient, 50, pairsOf(manyPairs(n, kPicture)), 0));
        EXPECT_EQ(made, 1);
        const std::size_t served = std::min<std::size_t>(n, 64);
        EXPECT_EQ(server.pending(), served);
        // The transfers hold the one rendering and nothing else: the offer's own copy and one
        // reference each.
        EXPECT_EQ(picture.use_count(), static_cast<long>(served) + 3);
        EXPECT_EQ(server.heldBytes(), 0u);
        const RecordingPort::Value& answer = port.at(kClient, 50);
        ASSERT_EQ(answer.type, kAtomPair);
        ASSERT_EQ(answer.longs.size(), 2 * n);
        for (std::size_t i = 0; i < n; ++i) {
            const long property = static_cast<long>(1000 + i);
            EXPECT_EQ(answer.longs[2 * i + 1], i < served ? property : 0) << "pair " << i;
            if (i < served) {
                const RecordingPort::Value& announced = port.at(kClient, 1000 + i);
                EXPECT_EQ(announced.type, kIncr);
                EXPECT_EQ(announced.longs, std::vector<long>{1 << 20});
            }
        }
        // Once the contents change, the transfers alone hold the old rendering: once.
        server.offer({}, 6);
        EXPECT_EQ(server.heldBytes(), served > 0 ? std::size_t{1} << 20 : 0u);
    }
}

TEST(SelectionServer, PendingTransfersAreBoundedPerRequestorPerClientAndInAll) {
    // Per requestor window 4, per client 5, in all 6; data past one chunk goes by INCR. The
    // first client asks from `windows` windows, `each` from every one; then another client.
    struct Case {
        std::size_t windows, each, other;
        std::size_t firstServed, otherServed;
    };
    const Case cases[] = {
        {1, 3, 0, 3, 0},  {1, 4, 0, 4, 0},   {1, 5, 0, 4, 0},   {1, 40, 0, 4, 0},
        {1, 4, 1, 4, 1},  {1, 4, 2, 4, 2},   {1, 4, 3, 4, 2},   {1, 40, 40, 4, 2},
        {2, 2, 0, 4, 0},  {5, 1, 0, 5, 0},   {3, 2, 0, 5, 0},   {10, 4, 0, 5, 0},
        {16, 64, 1, 5, 1}, {16, 64, 40, 5, 1}, {2, 2, 40, 4, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.windows) + "x" + std::to_string(c.each) + "+" +
                     std::to_string(c.other));
        RecordingPort port;
        SelectionLimits limits = smallLimits();
        limits.transfersPerClient = 5;
        SelectionServer server(port, atoms(), limits);
        int made = 0;
        server.offer({counted(kPicture, pattern(100), made)}, 0);
        std::size_t first = 0, other = 0;
        XId property = 1000;
        for (std::size_t w = 0; w < c.windows; ++w) {
            for (std::size_t i = 0; i < c.each; ++i)
                first += server.convert(kClient + w, kPicture, property++, 0) ? 1 : 0;
        }
        for (std::size_t i = 0; i < c.other; ++i)
            other += server.convert(kOther, kPicture, property++, 0) ? 1 : 0;
        EXPECT_EQ(first, c.firstServed);
        EXPECT_EQ(other, c.otherServed);
        EXPECT_EQ(server.pendingForClient(kClient & kClientBits), c.firstServed);
        EXPECT_EQ(made, 1);
        // Data that fits one write is never pending, whatever the count.
        server.offer({counted(kText, pattern(16), made)}, 0);
        for (int i = 0; i < 20; ++i)
            EXPECT_TRUE(server.convert(kClient, kText, 3000 + i, 0));
    }
}

TEST(SelectionServer, BytesHeldOnlyByTransfersAreBoundedAtEachNewOffer) {
    // Renderings of old contents kept for their transfers, bound 100 bytes; the oldest transfers
    // go first.
    for (const std::size_t size :
         {std::size_t{49}, std::size_t{50}, std::size_t{51}, std::size_t{99}, std::size_t{100},
          std::size_t{101}, std::size_t{1000}}) {
        SCOPED_TRACE(size);
        RecordingPort port;
        SelectionLimits limits = smallLimits();
        limits.transfersPerRequestor = 6;
        SelectionServer server(port, atoms(), limits);
        int made = 0;
        // Two contents in turn, each with a transfer of its own; then a third.
        server.offer({counted(kPicture, pattern(size, 1), made)}, 0);
        ASSERT_TRUE(server.convert(kClient, kPicture, 1, 0));
        ASSERT_TRUE(server.convert(kClient, kPicture, 2, 0));
        server.offer({counted(kPicture, pattern(size, 2), made)}, 0);
        ASSERT_TRUE(server.convert(kClient, kPicture, 3, 0));
        server.offer({}, 0);
        const std::size_t kept = 2 * size <= 100 ? 3 : size <= 100 ? 1 : 0;
        EXPECT_EQ(server.pending(), kept);
        EXPECT_LE(server.heldBytes(), 100u);
        // What is kept is the newest.
        EXPECT_EQ(server.propertyDeleted(kClient, 3, 0), kept > 0);
        EXPECT_EQ(server.propertyDeleted(kClient, 1, 0), kept == 3);
    }
}

TEST(SelectionServer, ChunksFollowDeletionsUntilTheEmptyOne) {
    // Sizes around the chunk (16): one less goes at once; past it, by INCR.
    for (const std::size_t size :
         {std::size_t{15}, std::size_t{16}, std::size_t{17}, std::size_t{32}, std::size_t{160}}) {
        SCOPED_TRACE(size);
        RecordingPort port;
        SelectionServer server(port, atoms(), smallLimits());
        int made = 0;
        const SharedBytes data = pattern(size);
        server.offer({counted(kPicture, data, made)}, 0);
        ASSERT_TRUE(server.convert(kClient, kPicture, 9, 0));
        std::vector<std::uint8_t> got;
        if (size <= 16) {
            EXPECT_EQ(port.at(kClient, 9).bytes, *data);
            EXPECT_EQ(server.pending(), 0u);
            EXPECT_FALSE(server.propertyDeleted(kClient, 9, 0));
            continue;
        }
        EXPECT_TRUE(port.followed[kClient]);
        int chunks = 0;
        for (;;) {
            ASSERT_TRUE(server.propertyDeleted(kClient, 9, 0));
            const RecordingPort::Value& v = port.at(kClient, 9);
            EXPECT_EQ(v.type, kPicture);
            ASSERT_LE(v.bytes.size(), 16u);
            if (v.bytes.empty())
                break;
            got.insert(got.end(), v.bytes.begin(), v.bytes.end());
            ASSERT_LT(++chunks, 100);
        }
        EXPECT_EQ(got, *data);
        EXPECT_EQ(server.pending(), 0u);
        EXPECT_FALSE(port.followed[kClient]);
        // The requestor deleting the empty chunk is nothing more to do.
        EXPECT_FALSE(server.propertyDeleted(kClient, 9, 0));
    }
}

TEST(SelectionServer, SilentTransfersEndAtTheirDeadline) {
    // A transfer's life (1000 ms) starts when its data is ready: a rendering that takes longer
    // than the life is still sent whole, on the first request.
    struct Case {
        const char* name;
        std::uint32_t start;    // clock at the request (wraps)
        std::uint32_t making;   // ms the rendering takes
        std::uint32_t progress; // ms after it is ready at which the requestor reads (0: never)
        std::uint32_t at;       // ms after it is ready at which the clock is looked at
        bool pending;
    };
    const Case cases[] = {
        {"one less than the life", 0, 0, 0, 999, true},
        {"at the life", 0, 0, 0, 1000, false},
        {"ten times it", 0, 0, 0, 10000, false},
        {"read just in time", 0, 0, 999, 1998, true},
        {"read, then silent", 0, 0, 999, 1999, false},
        {"the clock wraps", 0xFFFFFF00u, 0, 0, 999, true},
        {"the clock wraps, past it", 0xFFFFFF00u, 0, 0, 1000, false},
        {"made in one less than the life", 0, 999, 0, 999, true},
        {"made in the life", 0, 1000, 0, 999, true},
        {"made in one more", 0, 1001, 999, 1998, true},
        {"made in ten times it", 0, 10000, 999, 1998, true},
        {"made slowly, then silent", 0, 15000, 0, 1000, false},
        {"made slowly as the clock wraps", 0xFFFFFF00u, 15000, 999, 1998, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingPort port;
        SelectionServer server(port, atoms(), smallLimits());
        const SharedBytes data = pattern(100);
        server.offer({ServedTarget{kPicture,
                                   [&]() {
                                       port.clock += c.making;
                                       return data;
                                   }}},
                     0);
        port.clock = c.start;
        ASSERT_TRUE(server.convert(kClient, kPicture, 9, c.start));
        const std::uint32_t ready = c.start + c.making;
        EXPECT_EQ(server.msUntilDeadline(ready), 1000);
        if (c.progress != 0) {
            server.expire(ready + c.progress);
            ASSERT_TRUE(server.propertyDeleted(kClient, 9, ready + c.progress));
            EXPECT_EQ(port.at(kClient, 9).bytes,
                      std::vector<std::uint8_t>(data->begin(), data->begin() + 16));
        }
        server.expire(ready + c.at);
        EXPECT_EQ(server.pending(), c.pending ? 1u : 0u);
        const int left = static_cast<int>(c.progress + 1000 - c.at);
        EXPECT_EQ(server.msUntilDeadline(ready + c.at), c.pending ? left : -1);
    }
    // Every pair of a MULTIPLE whose first pair waited for the rendering lives from its end.
    RecordingPort port;
    SelectionServer server(port, atoms(), smallLimits());
    server.offer({ServedTarget{kPicture,
                               [&]() {
                                   port.clock += 15000;
                                   return pattern(100);
                               }}},
                 0);
    ASSERT_TRUE(server.convertMultiple(kClient, 50, pairsOf(manyPairs(3, kPicture)), 0));
    server.expire(15999);
    EXPECT_EQ(server.pending(), 3u);
}

TEST(SelectionServer, WhileARenderingIsMadeNothingElseIsMade) {
    // The display is served while a picture is made: requests that need nothing made are
    // answered, another rendering is refused (it waits for the loop), and contents that change
    // meanwhile are not given the old rendering.
    for (const bool lost : {false, true}) {
        SCOPED_TRACE(lost ? "selection lost meanwhile" : "kept");
        RecordingPort port;
        SelectionServer server(port, atoms(), smallLimits());
        int made = 0, other = 0;
        const SharedBytes text = pattern(10);
        std::vector<bool> nested;
        server.offer({ServedTarget{kPicture,
                                   [&]() {
                                       ++made;
                                       nested.push_back(server.needsMaking(kPicture));
                                       nested.push_back(server.needsMaking(kBroken));
                                       nested.push_back(server.needsMaking(kText));
                                       nested.push_back(server.convert(kOther, kTargets, 3, 0));
                                       nested.push_back(server.convert(kOther, kText, 4, 0));
                                       nested.push_back(server.convert(kOther, kBroken, 5, 0));
                                       nested.push_back(server.convert(kOther, kPicture, 6, 0));
                                       if (lost)
                                           server.withdraw();
                                       return pattern(100);
                                   }},
                      counted(kBroken, pattern(100, 3), other), counted(kText, text, other)},
                     0);
        ASSERT_TRUE(server.convert(kClient, kText, 2, 0));
        EXPECT_EQ(server.convert(kClient, kPicture, 9, 0), !lost);
        EXPECT_EQ(nested, (std::vector<bool>{true, true, false, true, true, false, false}));
        EXPECT_EQ(made, 1);
        EXPECT_EQ(other, 1);
        EXPECT_EQ(port.at(kOther, 4).bytes, *text);
        EXPECT_EQ(server.pending(), lost ? 0u : 1u);
        EXPECT_EQ(server.needsMaking(kPicture), false);
        EXPECT_EQ(server.needsMaking(kBroken), !lost);
    }
}

TEST(SelectionServer, ARequestorGoneTakesOnlyItsTransfers) {
    RecordingPort port;
    SelectionLimits limits = smallLimits();
    SelectionServer server(port, atoms(), limits);
    int made = 0;
    server.offer({counted(kPicture, pattern(100), made)}, 0);
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(server.convert(kClient, kPicture, 10 + i, 0));
        ASSERT_TRUE(server.convert(kOther, kPicture, 20 + i, 0));
    }
    // The bound in all (6) is reached; the first client's end frees its share.
    EXPECT_FALSE(server.convert(kOther, kPicture, 23, 0));
    server.requestorGone(kClient);
    EXPECT_EQ(server.pendingFor(kClient), 0u);
    EXPECT_EQ(server.pendingFor(kOther), 3u);
    EXPECT_FALSE(server.propertyDeleted(kClient, 10, 0));
    EXPECT_TRUE(server.convert(kOther, kPicture, 23, 0));
    // A request into a property already under way replaces its transfer.
    EXPECT_TRUE(server.convert(kOther, kPicture, 23, 0));
    EXPECT_EQ(server.pendingFor(kOther), 4u);
}

TEST(SelectionServer, AFailedAllocationRefusesOnlyItsRequest) {
    RecordingPort port;
    SelectionServer server(port, atoms(), smallLimits());
    int made = 0, broken = 0;
    const SharedBytes text = pattern(10);
    server.offer({counted(kText, text, made), ServedTarget{kBroken,
                                                           [&broken]() -> SharedBytes {
                                                               ++broken;
                                                               throw std::bad_alloc();
                                                           }}},
                 0);
    EXPECT_FALSE(server.convert(kClient, kBroken, 9, 0));
    EXPECT_TRUE(server.convert(kClient, kText, 9, 0));
    EXPECT_EQ(port.at(kClient, 9).bytes, *text);
    // Within a MULTIPLE, the pair that failed says None and the others are converted.
    ASSERT_TRUE(server.convertMultiple(
        kClient, 50,
        pairsOf({long{kBroken}, 11, long{kText}, 12, long{kTargets}, 13, long{kTimestamp}, 14}),
        0));
    EXPECT_EQ(port.at(kClient, 50).longs,
              (std::vector<long>{long{kBroken}, 0, long{kText}, 12, long{kTargets}, 13,
                                 long{kTimestamp}, 14}));
    EXPECT_EQ(broken, 2);
    EXPECT_EQ(port.at(kClient, 13).longs,
              (std::vector<long>{long{kTargets}, long{kTimestamp}, long{kMultiple}, long{kText},
                                 long{kBroken}}));
}

TEST(SelectionServer, MalformedOrForeignRequestsAreRefused) {
    RecordingPort port;
    SelectionLimits limits = smallLimits();
    limits.largestMultiple = 8 * sizeof(long);
    SelectionServer server(port, atoms(), limits);
    int made = 0;
    server.offer({counted(kText, pattern(10), made)}, 0);
    SelectionData bytes8;
    bytes8.add(8, reinterpret_cast<const unsigned char*>("abcdefgh"), 8);
    EXPECT_FALSE(server.convertMultiple(kClient, 50, bytes8, 0));
    // The list's size: one pair less than, at and past the largest.
    EXPECT_TRUE(server.convertMultiple(kClient, 50, pairsOf(manyPairs(3, kText)), 0));
    EXPECT_TRUE(server.convertMultiple(kClient, 50, pairsOf(manyPairs(4, kText)), 0));
    EXPECT_FALSE(server.convertMultiple(kClient, 50, pairsOf(manyPairs(5, kText)), 0));
    // A nested MULTIPLE, a pair into the list's own property, a property None and an unknown
    // target; a lone atom at the end is left as it was.
    ASSERT_TRUE(server.convertMultiple(
        kClient, 50, pairsOf({long{kMultiple}, 11, long{kText}, 50, long{kText}, 0, 999, 12}), 0));
    EXPECT_EQ(port.at(kClient, 50).longs,
              (std::vector<long>{long{kMultiple}, 0, long{kText}, 0, long{kText}, 0, 999, 0}));
    ASSERT_TRUE(server.convertMultiple(kClient, 50, pairsOf({long{kText}, 12, 5}), 0));
    EXPECT_EQ(port.at(kClient, 50).longs, (std::vector<long>{long{kText}, 12, 5}));
    // Nothing is served once the contents are another program's.
    server.withdraw();
    EXPECT_FALSE(server.convert(kClient, kText, 9, 0));
    EXPECT_FALSE(server.convert(kClient, kTargets, 9, 0));
    EXPECT_FALSE(server.convertMultiple(kClient, 50, pairsOf(manyPairs(1, kText)), 0));
}

} // namespace
} // namespace kvtest
