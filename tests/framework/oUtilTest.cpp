#include "OverSrcs/oUtil.h"

#include "platform/SysTempDir.h"

#include <cmath>
#include <cstring>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <limits>

namespace {

constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();

TEST(oUtilTest, BlocksAreZeroFilledAndKnowTheirSize) {
    struct Case {
        std::size_t head, size, count, expected;
    };
    // A record's fixed part holds one element already.
    for (const Case& c :
         {Case{92, 1, 1, 92}, Case{92, 1, 5, 96}, Case{92, 4, 0, 92}, Case{40, 8, 3, 56}}) {
        SCOPED_TRACE(c.count);
        auto* p = static_cast<unsigned char*>(AllocClearRecord(c.head, c.size, c.count));
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(BlockSize(p), c.expected);
        for (std::size_t i = 0; i < c.expected; ++i)
            ASSERT_EQ(p[i], 0) << i;
        FreeBlock(p);
    }
    void* a = AllocClearArray(8, 3, 4);
    EXPECT_EQ(BlockSize(a), 20u);
    FreeBlock(a);
    EXPECT_EQ(AllocClear(0), nullptr);
    EXPECT_EQ(AllocClearArray(0, 0, 16), nullptr);
    EXPECT_EQ(AllocClearRecord(0, 4, 1), nullptr);
    // Sizes that overflow are refused rather than wrapped to a small block.
    EXPECT_EQ(AllocClearArray(16, std::numeric_limits<std::size_t>::max() / 2, 4), nullptr);
    EXPECT_EQ(AllocClear(std::numeric_limits<std::size_t>::max()), nullptr);
    EXPECT_EQ(BlockSize(nullptr), 0u);
    FreeBlock(nullptr);
    EXPECT_TRUE(EnoughMemory());
}

// What the system says it can still give decides; a system that says nothing falls back on a
// small allocation.
TEST(oUtilTest, EnoughMemoryReadsTheAvailableFigure) {
    struct Case {
        const char* meminfo;
        long long bytes;
        bool enough;
    };
    const Case cases[] = {
        {"MemTotal:       16000000 kB\nMemFree:  100 kB\nMemAvailable:    8123456 kB\n",
         8123456LL * 1024, true},
        {"MemTotal: 16000000 kB\nMemAvailable:        3 kB\n", 3 * 1024, false},
        {"MemAvailable: 4 kB\n", 4096, true},
        {"MemAvailable:\t0 kB", 0, false},
        // No figure at all, or one that is not a number: the allocation decides.
        {"MemTotal: 16000000 kB\n", -1, true},
        {"MemAvailable: lots\n", -1, true},
        {"", -1, true},
    };
    kvtest::SysTempDir dir;
    const std::string path = dir / "meminfo";
    const char* const saved = MemoryInfoPath;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.meminfo);
        EXPECT_EQ(AvailableMemoryBytes(c.meminfo), c.bytes);
        std::ofstream(path, std::ios::binary | std::ios::trunc) << c.meminfo;
        MemoryInfoPath = path.c_str();
        EXPECT_EQ(EnoughMemory(), c.enough);
    }
    // A file that cannot be read says nothing either.
    MemoryInfoPath = "/nonexistent/meminfo";
    EXPECT_TRUE(EnoughMemory());
    MemoryInfoPath = saved;
    // Figures at and beyond the largest byte count: 2^53 - 1 kB is 2^63 - 1024 bytes exactly; a
    // larger one is still plenty, never a negative count.
    const struct {
        const char* meminfo;
        long long bytes;
    } large[] = {
        {"MemAvailable: 9007199254740991 kB", 9223372036854774784LL},
        {"MemAvailable: 9007199254740992 kB", std::numeric_limits<long long>::max()},
        {"MemAvailable: 9007199254740999 kB", std::numeric_limits<long long>::max()},
        {"MemAvailable: 90071992547409990 kB", std::numeric_limits<long long>::max()},
        {"MemAvailable: 99999999999999999999999 kB", std::numeric_limits<long long>::max()},
    };
    for (const auto& c : large) {
        SCOPED_TRACE(c.meminfo);
        EXPECT_EQ(AvailableMemoryBytes(c.meminfo), c.bytes);
    }
}

TEST(oUtilTest, SafeAddInt32) {
    struct Case {
        std::int32_t a, b;
        bool ok;
    };
    const Case cases[] = {
        {-5, 5, true},
        {0x7FFFFFFE, 1, false}, // the sum 0x7FFFFFFF is refused too
        {kMax, 1, false},
        {kMin, -1, false},
        {kMin, 0, true},
        {1000, -2000, true},
        {kMax, kMin, true},
        {0x40000000, 0x40000000, false},
        {0x3FFFFFFF, 0x3FFFFFFF, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.a) + " + " + std::to_string(c.b));
        std::int32_t out = 12345;
        EXPECT_EQ(SafeAddInt32(c.a, c.b, &out), c.ok);
        // The (wrapped) sum is stored either way.
        EXPECT_EQ(out, static_cast<std::int32_t>(static_cast<std::uint32_t>(c.a) +
                                                 static_cast<std::uint32_t>(c.b)));
    }
}

TEST(oUtilTest, SafeMulInt32) {
    struct Case {
        std::int32_t a, b;
        bool ok;
        std::int32_t product;
    };
    const Case cases[] = {
        {100, 0x7FFFFF, true, 838860700}, // one small, one below 0x800000
        {-127, 0x7FFFFF, true, -1065353089},
        {32767, -32767, true, -1073676289},
        {40000, 40000, true, 1600000000}, // exact, and it fits
        {50000, 50000, false, 0},         // 2.5e9 does not
        {46341, 46341, false, 0},
        {-46341, 46340, true, -2147441940},
        {65536, 32768, false, 0},
        {65536, -32768, true, kMin}, // exactly the lowest value: it fits
        {kMin, 1, false, 0},
        {1, kMin, false, 0},
        {kMax, 1, true, kMax},
        {-1, kMax, true, -kMax},
        {0, 123456789, true, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.a) + " * " + std::to_string(c.b));
        std::int32_t out = 777;
        EXPECT_EQ(SafeMulInt32(c.a, c.b, &out), c.ok);
        EXPECT_EQ(out, c.ok ? c.product : 777); // nothing is stored on failure
    }
}

TEST(oUtilTest, GcdAndNormalisation) {
    EXPECT_EQ(RationalGcd(0, 6), 6);
    EXPECT_EQ(RationalGcd(6, 0), 0);
    EXPECT_EQ(RationalGcd(0, -6), 6);
    EXPECT_EQ(RationalGcd(12, 18), 6);
    EXPECT_EQ(RationalGcd(-12, 18), 6);
    EXPECT_EQ(RationalGcd(17, 5), 1);
    EXPECT_EQ(RationalGcd(kMin, kMin), 2147483648LL);
    struct Case {
        std::int32_t num, den, num2, den2;
    };
    for (const Case& c :
         {Case{3, 0, 1, 0}, Case{-3, 0, -1, 0}, Case{0, 0, 0, 0}, Case{4, -6, -2, 3},
          Case{0, 5, 0, 1}, Case{-10, -4, 5, 2}, Case{7, 1, 7, 1}}) {
        SCOPED_TRACE(std::to_string(c.num) + "/" + std::to_string(c.den));
        Rational r;
        r.num = c.num;
        r.den = c.den;
        ASSERT_TRUE(RationalNormalize(r));
        EXPECT_EQ(r.num, c.num2);
        EXPECT_EQ(r.den, c.den2);
    }
    Rational bad;
    bad.num = kMin;
    bad.den = -1;
    EXPECT_FALSE(RationalNormalize(bad));
    // The constructor takes the denominator first and moves its sign, without reducing.
    const Rational r(-4, 6);
    EXPECT_EQ(r.num, -6);
    EXPECT_EQ(r.den, 4);
    const Rational n = RationalFromInt(-9);
    EXPECT_EQ(n.num, -9);
    EXPECT_EQ(n.den, 1);
}

TEST(oUtilTest, RationalArithmetic) {
    using Op = std::function<bool(const Rational&, const Rational&, Rational*)>;
    struct Case {
        const char* what;
        Op op;
        Rational x, y;
        bool ok;
        std::int32_t num, den;
    };
    const Case cases[] = {
        {"1/2 + 1/3", RationalAdd, Rational(2, 1), Rational(3, 1), true, 5, 6},
        {"1/2 + -1/2", RationalAdd, Rational(2, 1), Rational(2, -1), true, 0, 1},
        {"3 + 4", RationalAdd, RationalFromInt(3), RationalFromInt(4), true, 7, 1},
        {"max + 1", RationalAdd, RationalFromInt(kMax), RationalFromInt(1), false, 0, 0},
        {"1/2 - 1/3", RationalSub, Rational(2, 1), Rational(3, 1), true, 1, 6},
        {"x - min", RationalSub, RationalFromInt(1), RationalFromInt(kMin), false, 0, 0},
        {"2/3 * 9/4", RationalMul, Rational(3, 2), Rational(4, 9), true, 3, 2},
        {"-2/3 * 3/2", RationalMul, Rational(3, -2), Rational(2, 3), true, -1, 1},
        {"big * big", RationalMul, Rational(1, 70000), Rational(1, 70000), false, 0, 0},
        {"1/2 / 1/4", RationalDiv, Rational(2, 1), Rational(4, 1), true, 2, 1},
        {"1/2 / -3", RationalDiv, Rational(2, 1), RationalFromInt(-3), true, -1, 6},
        {"5/2 / 0", RationalDiv, Rational(2, 5), RationalFromInt(0), true, 1, 0},
        {"-5/2 / 0", RationalDiv, Rational(2, -5), RationalFromInt(0), true, -1, 0},
        {"1/46341 + 1/46342", RationalAdd, Rational(46341, 1), Rational(46342, 1), false, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Rational out;
        ASSERT_EQ(c.op(c.x, c.y, &out), c.ok);
        if (!c.ok)
            continue;
        EXPECT_EQ(out.num, c.num);
        EXPECT_EQ(out.den, c.den);
    }
}

TEST(oUtilTest, FloatingPointClassification) {
    InitFloatingPoint();
    const double zero = 0.0;
    const double inf = 1.0 / zero; // masked: no trap
    const double nan = zero / zero;
    EXPECT_TRUE(std::isinf(inf));
    EXPECT_TRUE(IsNonFinite(inf));
    EXPECT_TRUE(IsNonFinite(-inf));
    EXPECT_TRUE(IsNonFinite(nan));
    EXPECT_TRUE(IsQuietNaN(std::numeric_limits<double>::quiet_NaN()));
    EXPECT_TRUE(IsQuietNaN(-std::numeric_limits<double>::quiet_NaN()));
    EXPECT_FALSE(IsQuietNaN(inf));
    EXPECT_FALSE(IsQuietNaN(std::numeric_limits<double>::signaling_NaN()));
    for (double v : {0.0, -1.5, 1e308, std::numeric_limits<double>::denorm_min()}) {
        EXPECT_FALSE(IsNonFinite(v)) << v;
        EXPECT_FALSE(IsQuietNaN(v)) << v;
    }
}

TEST(oUtilTest, CopyStringChecked) {
    char buf[6];
    EXPECT_TRUE(CopyStringChecked(buf, "abcde", sizeof buf));
    EXPECT_STREQ(buf, "abcde");
    std::memset(buf, 'x', sizeof buf);
    EXPECT_FALSE(CopyStringChecked(buf, "abcdef", sizeof buf));
    EXPECT_STREQ(buf, "abcde"); // cut, but still a terminated text
    EXPECT_TRUE(CopyStringChecked(buf, "", sizeof buf));
    EXPECT_STREQ(buf, "");
    EXPECT_FALSE(CopyStringChecked(buf, "a", 0));
}

TEST(oUtilTest, CurrentDateTextHasTheFixedForm) {
    char buf[kDateTextSize];
    CurrentDateText(buf);
    EXPECT_EQ(std::strlen(buf), 24u);
    // "Www Mmm dd hh:mm:ss yyyy", the day padded with a blank.
    const char* pattern = "Aaa Aaa _d dd:dd:dd dddd";
    for (int i = 0; i < 24; ++i) {
        const char c = buf[i], p = pattern[i];
        const bool ok = p == 'A'   ? (c >= 'A' && c <= 'Z')
                        : p == 'a' ? (c >= 'a' && c <= 'z')
                        : p == 'd' ? (c >= '0' && c <= '9')
                        : p == '_' ? (c == ' ' || (c >= '0' && c <= '3'))
                                   : c == p;
        EXPECT_TRUE(ok) << "position " << i << " of \"" << buf << "\"";
    }
    char small[8];
    CurrentDateText(small, sizeof small);
    EXPECT_EQ(std::strlen(small), 7u);
}

// Where the machine stack is in the caller, measured as StackTooDeep measures it.
[[gnu::noinline]] std::uintptr_t StackPosition() {
    return reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0));
}

struct Descent {
    std::uintptr_t lastShallow = 0; // how far below the top the last "not too deep" answer came
    std::uintptr_t firstDeep = 0;   // and the first "too deep" one (0: never)
};

// Goes down frame by frame, asking at each level, until the answer is "too deep" or the levels run
// out. Each frame holds a block the compiler must keep, so the stack really grows.
void descend(std::uintptr_t top, int levels, Descent& d) {
    char block[2000];
    std::memset(block, levels, sizeof block);
    asm volatile("" : : "r"(block) : "memory");
    const std::uintptr_t depth = top - StackPosition();
    if (StackTooDeep()) {
        d.firstDeep = depth;
        return;
    }
    d.lastShallow = depth;
    if (levels > 0)
        descend(top, levels - 1, d);
    asm volatile(""
                 :
                 : "r"(block)
                 : "memory"); // no tail call: the frame stays while deeper ones run
}

TEST(oUtilTest, StackTooDeepMeasuresFromTheFirstCall) {
    StackTooDeep(); // records the base here (the first call of the program)
    const std::uintptr_t top = StackPosition();
    EXPECT_FALSE(StackTooDeep());
    Descent d;
    descend(top, 100000, d);
    // The answer turns at 200000 bytes below the first call, within a frame or two.
    ASSERT_NE(d.firstDeep, 0u);
    EXPECT_GT(d.firstDeep, 200000u);
    EXPECT_LE(d.lastShallow, 200000u + 256u);
    EXPECT_LT(d.firstDeep - d.lastShallow, 8192u);
}

} // namespace
