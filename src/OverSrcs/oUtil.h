#pragma once
// Memory blocks, the stack-depth check, floating-point set-up, overflow-checked 32-bit arithmetic,
// exact rationals and small text helpers. Portable: no platform calls.

#include <cstddef>
#include <cstdint>
#include <string_view>

// ---- Start-up and shut-down hooks of the system and memory modules: nothing to do here ----------
void InitSystemStub();
void TermSystemStub();
void TermMemoryStub();
void CheckFontDesc(const void* fontDescription);

// ---- Memory -------------------------------------------------------------------------------------
// Zero-filled blocks whose size can be asked back. Null for 0 bytes, for a size that overflows, or
// when the heap is exhausted. Free them with FreeBlock only.
void* AllocClear(std::size_t size);
// head + count x size bytes.
void* AllocClearArray(std::size_t head, std::size_t count, std::size_t size);
// head + size x (count - 1) bytes; count 0 gives head bytes. The fixed part of a record already
// holds one element, so a record of count elements needs count - 1 more.
void* AllocClearRecord(std::size_t head, std::size_t size, std::size_t count);
// Null is ignored.
void FreeBlock(void* block);
// The size the block was allocated with; 0 for null.
std::size_t BlockSize(const void* block);

// Where the system says how much memory it can still give; tests point it at a file of their own.
extern const char* MemoryInfoPath;
// The "MemAvailable:" figure of a meminfo text, in bytes; -1 when the text has none.
long long AvailableMemoryBytes(std::string_view meminfo);
// True when at least 4096 bytes can still be had: the memory the system says it can give without
// swapping everything out (MemAvailable). Where the system gives no figure, whether a small block
// can be allocated. (On Linux an allocation almost never fails: it is the page that cannot be
// given later that kills the program, so the heap alone cannot tell.)
bool EnoughMemory();

// The first call records the stack position and returns false; later calls return true when the
// stack has grown more than 200000 bytes below it.
bool StackTooDeep();

// ---- Floating point -----------------------------------------------------------------------------
// Masks every floating-point exception, so arithmetic yields infinities and NaNs, never traps.
void InitFloatingPoint();
// Bits 3-15 of the high 16 bits are 0x7FF8 (a quiet NaN, either sign).
bool IsQuietNaN(double x);
// Exponent all ones: an infinity or a NaN.
bool IsNonFinite(double x);

// ---- Checked 32-bit arithmetic ------------------------------------------------------------------
// Stores the (wrapped) sum in any case; false on overflow, and also for the sum 0x7FFFFFFF, which
// callers keep free as a marker.
bool SafeAddInt32(std::int32_t a, std::int32_t b, std::int32_t* out);
// True with the product stored, or false with nothing stored.
bool SafeMulInt32(std::int32_t a, std::int32_t b, std::int32_t* out);

// ---- Rationals ----------------------------------------------------------------------------------
// Normalised: positive denominator, no common factor; a zero denominator survives only with the
// numerator's sign (1, -1 or 0) over 0.
struct Rational {
    std::int32_t num = 0;
    std::int32_t den = 1;

    Rational() = default;
    // num / den (note the order) with the denominator's sign moved to the numerator; not reduced.
    Rational(std::int32_t den, std::int32_t num);
};

// On absolute values by Euclid's remainders: 0 when b is 0, |b| when a is 0.
std::int64_t RationalGcd(std::int64_t a, std::int64_t b);
// Each returns false on overflow, the result then undefined.
bool RationalNormalize(Rational& r);
Rational RationalFromInt(std::int32_t n);
bool RationalAdd(const Rational& x, const Rational& y, Rational* out);
bool RationalSub(const Rational& x, const Rational& y, Rational* out);
bool RationalMul(const Rational& x, const Rational& y, Rational* out);
// Division by zero gives the numerator's sign over 0.
bool RationalDiv(const Rational& x, const Rational& y, Rational* out);

// ---- Text ---------------------------------------------------------------------------------------
// Copies min(size, length + 1) bytes; true when the whole text and its terminator fitted. When it
// did not fit the copy is cut and still terminated (dst[size - 1] = 0).
bool CopyStringChecked(char* dst, const char* src, std::size_t size);

// The local date and time in the C library's fixed form ("Mon Dec  7 08:29:50 2026"), without
// the line end; at most size - 1 characters, always terminated.
constexpr std::size_t kDateTextSize = 26;
void CurrentDateText(char* dst, std::size_t size = kDateTextSize);
