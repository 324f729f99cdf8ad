#include "OverSrcs/oUtil.h"

#include <cfenv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <limits>
#include <new>

// ---- Hooks --------------------------------------------------------------------------------------
void InitSystemStub() {}
void TermSystemStub() {}
void TermMemoryStub() {}
void CheckFontDesc(const void* /*fontDescription*/) {}

// ---- Memory -------------------------------------------------------------------------------------
namespace {

// Each block is preceded by a header holding its size, so BlockSize gives back exactly what was
// asked for (copies of objects rely on it). The header keeps the block maximally aligned.
constexpr std::size_t kHeader = alignof(std::max_align_t) > sizeof(std::size_t)
                                    ? alignof(std::max_align_t)
                                    : sizeof(std::size_t);
constexpr std::size_t kMaxBlock = std::numeric_limits<std::size_t>::max() / 2;

bool mulAdd(std::size_t head, std::size_t count, std::size_t size, std::size_t& total) {
    if (size != 0 && count > (kMaxBlock - head) / size)
        return false;
    total = head + count * size;
    return true;
}

} // namespace

void* AllocClear(std::size_t size) {
    if (size == 0 || size > kMaxBlock - kHeader)
        return nullptr;
    auto* raw = static_cast<unsigned char*>(std::calloc(1, size + kHeader));
    if (raw == nullptr)
        return nullptr;
    std::memcpy(raw, &size, sizeof size);
    return raw + kHeader;
}

void* AllocClearArray(std::size_t head, std::size_t count, std::size_t size) {
    std::size_t total = 0;
    if (head > kMaxBlock || !mulAdd(head, count, size, total))
        return nullptr;
    return AllocClear(total);
}

void* AllocClearRecord(std::size_t head, std::size_t size, std::size_t count) {
    return AllocClearArray(head, count == 0 ? 0 : count - 1, size);
}

void FreeBlock(void* block) {
    if (block != nullptr)
        std::free(static_cast<unsigned char*>(block) - kHeader);
}

std::size_t BlockSize(const void* block) {
    if (block == nullptr)
        return 0;
    std::size_t size = 0;
    std::memcpy(&size, static_cast<const unsigned char*>(block) - kHeader, sizeof size);
    return size;
}

const char* MemoryInfoPath = "/proc/meminfo";

long long AvailableMemoryBytes(std::string_view meminfo) {
    constexpr std::string_view kKey = "MemAvailable:";
    for (std::size_t at = 0; at < meminfo.size();) {
        std::size_t end = meminfo.find('\n', at);
        if (end == std::string_view::npos)
            end = meminfo.size();
        std::string_view line = meminfo.substr(at, end - at);
        at = end + 1;
        if (line.substr(0, kKey.size()) != kKey)
            continue;
        line.remove_prefix(kKey.size());
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t'))
            line.remove_prefix(1);
        // The count of bytes, kb x 1024, must stay a long long.
        constexpr long long kMostKb = std::numeric_limits<long long>::max() / 1024;
        long long kb = 0;
        std::size_t digits = 0;
        for (; digits < line.size() && line[digits] >= '0' && line[digits] <= '9'; ++digits) {
            const int digit = line[digits] - '0';
            if (kb > (kMostKb - digit) / 10)
                return std::numeric_limits<long long>::max(); // more than anyone asks for
            kb = kb * 10 + digit;
        }
        if (digits == 0)
            return -1;
        // The figure is in kilobytes ("kB"), whatever the unit written after it.
        return kb * 1024;
    }
    return -1;
}

bool EnoughMemory() {
    constexpr long long kNeeded = 4096;
    if (MemoryInfoPath != nullptr) {
        if (std::FILE* f = std::fopen(MemoryInfoPath, "rb")) {
            // The figure is near the top; the first few kilobytes are enough.
            char buf[8192];
            const std::size_t n = std::fread(buf, 1, sizeof buf, f);
            std::fclose(f);
            const long long available = AvailableMemoryBytes(std::string_view(buf, n));
            if (available >= 0)
                return available >= kNeeded;
        }
    }
    void* probe = std::malloc(kNeeded);
    std::free(probe);
    return probe != nullptr;
}

bool StackTooDeep() {
    static std::uintptr_t s_base = 0;
    // The frame address is where the machine stack is now; a local's address is not (a sanitizer
    // may keep locals on a heap-side stack).
    const auto pos = reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0));
    if (s_base == 0) {
        s_base = pos;
        return false;
    }
    return pos < s_base && s_base - pos > 200000;
}

// ---- Floating point -----------------------------------------------------------------------------
void InitFloatingPoint() {
    std::feclearexcept(FE_ALL_EXCEPT);
#if defined(__GLIBC__)
    fedisableexcept(FE_ALL_EXCEPT);
#endif
}

namespace {
std::uint16_t high16(double x) {
    std::uint64_t bits = 0;
    std::memcpy(&bits, &x, sizeof bits);
    return static_cast<std::uint16_t>(bits >> 48);
}
} // namespace

bool IsQuietNaN(double x) {
    return (high16(x) & 0x7FF8) == 0x7FF8;
}

bool IsNonFinite(double x) {
    return (high16(x) & 0x7FF0) == 0x7FF0;
}

// ---- Checked arithmetic -------------------------------------------------------------------------
bool SafeAddInt32(std::int32_t a, std::int32_t b, std::int32_t* out) {
    const auto sum =
        static_cast<std::int32_t>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
    *out = sum;
    if (a < 0 && b < 0 && sum >= 0)
        return false;
    if (a > 0 && b > 0 && sum < 1)
        return false;
    return sum != std::numeric_limits<std::int32_t>::max();
}

bool SafeMulInt32(std::int32_t a, std::int32_t b, std::int32_t* out) {
    constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
    if (a == kMin || b == kMin)
        return false;
    const std::int32_t ua = a < 0 ? -a : a, ub = b < 0 ? -b : b;
    const bool quick = ua <= 1 || ub <= 1 || (ua < 32768 && ub < 32768) ||
                       (ua < 128 && ub < 0x800000) || (ub < 128 && ua < 0x800000);
    const std::int64_t exact = static_cast<std::int64_t>(a) * b;
    if (!quick && (exact > std::numeric_limits<std::int32_t>::max() || exact < kMin))
        return false;
    *out = static_cast<std::int32_t>(exact);
    return true;
}

// ---- Rationals ----------------------------------------------------------------------------------
Rational::Rational(std::int32_t d, std::int32_t n)
    : num(n)
    , den(d) {
    constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
    if (den < 0 && den != kMin && num != kMin) {
        den = -den;
        num = -num;
    }
}

std::int64_t RationalGcd(std::int64_t a, std::int64_t b) {
    if (a < 0)
        a = -a;
    if (b < 0)
        b = -b;
    if (b == 0)
        return 0;
    if (a == 0)
        return b;
    while (true) {
        const std::int64_t r = a % b;
        if (r == 0)
            return b;
        if (r == 1)
            return 1;
        a = b;
        b = r;
    }
}

bool RationalNormalize(Rational& r) {
    std::int64_t n = r.num, d = r.den;
    if (d < 0) {
        d = -d;
        n = -n;
    }
    if (d == 0) {
        n = n > 0 ? 1 : (n < 0 ? -1 : 0);
    } else {
        const std::int64_t g = RationalGcd(n, d);
        if (g > 1) {
            n /= g;
            d /= g;
        }
    }
    if (n > std::numeric_limits<std::int32_t>::max() ||
        n < std::numeric_limits<std::int32_t>::min() ||
        d > std::numeric_limits<std::int32_t>::max())
        return false;
    r.num = static_cast<std::int32_t>(n);
    r.den = static_cast<std::int32_t>(d);
    return true;
}

Rational RationalFromInt(std::int32_t n) {
    return Rational(1, n);
}

bool RationalAdd(const Rational& x, const Rational& y, Rational* out) {
    Rational r;
    if (x.den == 1 && y.den == 1) {
        r.den = 1;
        return SafeAddInt32(x.num, y.num, &r.num) && (*out = r, true);
    }
    std::int32_t ad = 0, bc = 0;
    if (!SafeMulInt32(x.num, y.den, &ad) || !SafeMulInt32(x.den, y.num, &bc) ||
        !SafeAddInt32(ad, bc, &r.num) || !SafeMulInt32(x.den, y.den, &r.den))
        return false;
    if (!RationalNormalize(r))
        return false;
    *out = r;
    return true;
}

bool RationalSub(const Rational& x, const Rational& y, Rational* out) {
    if (y.num == std::numeric_limits<std::int32_t>::min())
        return false;
    Rational negated;
    negated.num = -y.num;
    negated.den = y.den;
    return RationalAdd(x, negated, out);
}

bool RationalMul(const Rational& x, const Rational& y, Rational* out) {
    Rational r;
    if (!SafeMulInt32(x.num, y.num, &r.num) || !SafeMulInt32(x.den, y.den, &r.den) ||
        !RationalNormalize(r))
        return false;
    *out = r;
    return true;
}

bool RationalDiv(const Rational& x, const Rational& y, Rational* out) {
    Rational r;
    if (!SafeMulInt32(x.num, y.den, &r.num) || !SafeMulInt32(x.den, y.num, &r.den) ||
        !RationalNormalize(r))
        return false;
    *out = r;
    return true;
}

// ---- Text ---------------------------------------------------------------------------------------
bool CopyStringChecked(char* dst, const char* src, std::size_t size) {
    if (dst == nullptr || size == 0)
        return false;
    if (src == nullptr)
        src = "";
    const std::size_t len = strnlen(src, size);
    if (len < size) {
        std::memcpy(dst, src, len + 1);
        return true;
    }
    // Too long: a cut copy is still a terminated text.
    std::memcpy(dst, src, size - 1);
    dst[size - 1] = 0;
    return false;
}

void CurrentDateText(char* dst, std::size_t size) {
    if (dst == nullptr || size == 0)
        return;
    const std::time_t now = std::time(nullptr);
    char buf[64] = {};
    if (ctime_r(&now, buf) == nullptr)
        buf[0] = 0;
    std::size_t n = std::strlen(buf);
    while (n > 0 && (buf[n - 1] == '\n' || buf[n - 1] == '\r'))
        buf[--n] = 0;
    CopyStringChecked(dst, buf, size);
}
