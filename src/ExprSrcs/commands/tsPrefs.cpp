#include "ExprSrcs/commands/tsPrefs.h"

#include "OverPc/PERROR.h"
#include "OverPc/PFILE.h"
#include "OverSrcs/oReader.h"
#include "OverSrcs/oStreams.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <unordered_map>

// ---------------------------------------------------------------------------------------------
// Style records

namespace {

constexpr bool Inherits(uint8_t v) {
    return v == kStyleInherit || v == kStyleInheritToo;
}

// A name that does not override: inherit ("*"), no common font ("?"), or nothing at all.
bool NameInherits(const char* name) {
    return name[0] == '*' || name[0] == '?' || name[0] == 0;
}

size_t BoundedLength(const char* name) {
    size_t n = 0;
    while (n < kFontNameSize - 1 && name[n])
        ++n;
    return n;
}

constexpr void CopyName(char (&dst)[kFontNameSize], const char* src) {
    int i = 0;
    for (; i < kFontNameSize - 1 && src[i]; ++i)
        dst[i] = src[i];
    for (; i < kFontNameSize; ++i)
        dst[i] = 0;
}

// Relative sizes stay well clear of the absolute range and of the reset marker, however many
// relative records are merged onto each other.
constexpr int32_t kRelativeLow = kSizeInherit - 500;
constexpr int32_t kRelativeHigh = kSizeInherit + 500;

} // namespace

void SetFSSFontName(FSSRecord& record, std::string_view name) {
    const size_t n = std::min<size_t>(name.size(), kFontNameSize - 1);
    std::memcpy(record.fontName, name.data(), n);
    std::memset(record.fontName + n, 0, kFontNameSize - n);
}

bool IsRelativeSize(int32_t size) {
    return size < 0 && size != kSizeReset;
}

void InitFSSRecord(FSSRecord& record) {
    CopyName(record.fontName, kFontInherit);
    record.size = kSizeInherit;
    std::fill(std::begin(record.style), std::end(record.style), kStyleInherit);
    record.packed = static_cast<uint8_t>((record.packed & 0x80) | 0x22);
    record.shortcut = ' ';
}

void MergeFSS(FSSRecord& dst, const FSSRecord& src) {
    if (!NameInherits(src.fontName)) {
        char name[kFontNameSize];
        CopyName(name, src.fontName);
        std::memcpy(dst.fontName, name, kFontNameSize);
    }
    MergeFSSSize(dst, src);
    MergeFSSFlags(dst, src);
}

void MergeFSSSize(FSSRecord& dst, const FSSRecord& src) {
    if (!IsRelativeSize(src.size)) {
        dst.size = src.size; // absolute, or the reset marker
        return;
    }
    const int32_t steps = src.size - kSizeInherit;
    if (steps == 0)
        return;
    if (IsRelativeSize(dst.size)) {
        dst.size = std::clamp(dst.size + steps, kRelativeLow, kRelativeHigh);
        return;
    }
    const int32_t from = dst.size == kSizeReset ? BaseStyleSize() : dst.size;
    dst.size = StepSizeBy(from, steps);
}

void MergeFSSFlags(FSSRecord& dst, const FSSRecord& src) {
    for (int i = 0; i < kStyleByteCount; ++i)
        if (!Inherits(src.style[i]))
            dst.style[i] = src.style[i];
    const uint8_t low = src.italicMode();
    if (!Inherits(low)) {
        dst.setItalicMode(low);
        dst.style[kStyleItalic] = low != 0 ? 1 : 0;
    }
    const uint8_t high = src.inkMode();
    if (!Inherits(high))
        dst.setInkMode(high);
}

bool SameFSS(const FSSRecord& a, const FSSRecord& b) {
    const size_t la = BoundedLength(a.fontName);
    if (la != BoundedLength(b.fontName) || std::memcmp(a.fontName, b.fontName, la) != 0)
        return false;
    return a.size == b.size && std::memcmp(a.style, b.style, kStyleByteCount) == 0 &&
           a.further == b.further && (a.packed & 0x7F) == (b.packed & 0x7F);
}

int32_t PackStyleBits(const FSSRecord& r) {
    // The whole four-bit italic field goes in at bit 2, as the encoding has always written it.
    return int32_t(r.style[kStyleBold] & 3) | (int32_t(r.italicMode()) << 2) |
           (int32_t(r.style[kStyleUnderline] & 3) << 5) |
           (int32_t(r.style[kStyleOutline] & 3) << 7) | (int32_t(r.style[kStyleShadow] & 3) << 9) |
           (int32_t(r.style[kStyleCondense] & 3) << 11) |
           (int32_t(r.style[kStyleExtend] & 3) << 13) | (int32_t(r.inkMode()) << 15);
}

void UnpackStyleBits(int32_t bits, FSSRecord& r) {
    r.style[kStyleBold] = bits & 3;
    const uint8_t low = (bits >> 2) & 7;
    r.setItalicMode(low);
    // The italic byte follows the mode; an inheriting mode leaves it inheriting too (deriving 1
    // would make every inheriting character italic once merged).
    r.style[kStyleItalic] = Inherits(low) ? kStyleInherit : (low != 0 ? 1 : 0);
    r.style[kStyleUnderline] = (bits >> 5) & 3;
    r.style[kStyleOutline] = (bits >> 7) & 3;
    r.style[kStyleShadow] = (bits >> 9) & 3;
    r.style[kStyleCondense] = (bits >> 11) & 3;
    r.style[kStyleExtend] = (bits >> 13) & 3;
    r.setInkMode((bits >> 15) & 7);
}

// ---------------------------------------------------------------------------------------------
// The shared font-name buffer: names are only ever added, so an offset stays valid for the run.

namespace {

struct FontNameBuffer {
    std::string text;
    std::unordered_map<std::string, int32_t> offsets;
    // The name last interned and its offset: runs of characters in one font look it up once.
    char lastName[kFontNameSize] = {};
    int32_t lastOffset = -1;
};

FontNameBuffer& Names() {
    static FontNameBuffer buffer;
    return buffer;
}

} // namespace

void InternFontRef(const FSSRecord& record, FontRef& ref) {
    FontNameBuffer& names = Names();
    const size_t length = BoundedLength(record.fontName);
    if (names.lastOffset < 0 || std::memcmp(names.lastName, record.fontName, length) != 0 ||
        names.lastName[length] != '\0') {
        const std::string name(record.fontName, length);
        auto it = names.offsets.find(name);
        if (it == names.offsets.end()) {
            const int32_t offset = static_cast<int32_t>(names.text.size());
            names.text += name;
            names.text += '\0';
            it = names.offsets.emplace(name, offset).first;
        }
        // Names are never removed, so the offset stays right for the rest of the run.
        std::memcpy(names.lastName, record.fontName, length);
        names.lastName[length] = '\0';
        names.lastOffset = it->second;
    }
    ref.nameOffset = names.lastOffset;
    ref.size = record.size;
    ref.styleBits = PackStyleBits(record);
}

const char* FontNameAtOffset(int32_t offset) {
    const FontNameBuffer& names = Names();
    if (offset < 0 || static_cast<size_t>(offset) >= names.text.size())
        return kFontInherit;
    // Only offsets handed out by InternFontRef start a name.
    if (offset > 0 && names.text[static_cast<size_t>(offset) - 1] != '\0')
        return kFontInherit;
    return names.text.c_str() + offset;
}

int32_t FontNameCount() {
    return static_cast<int32_t>(Names().offsets.size());
}

void ExpandFontRef(FSSRecord& record, const FontRef& ref) {
    CopyName(record.fontName, FontNameAtOffset(ref.nameOffset));
    record.size = ref.size;
    UnpackStyleBits(ref.styleBits, record);
    record.further = 0;
    record.shortcut = ' ';
    record.slippery = 0;
}

// ---------------------------------------------------------------------------------------------
// Style table

namespace {

constexpr FSSRecord Free() {
    FSSRecord r;
    CopyName(r.fontName, kFontInherit);
    return r;
}

// An entry that sets only the fields given; -1 leaves a field inheriting.
constexpr FSSRecord Entry(const char* font, int32_t size, int italic, int bold, int underline,
                          char shortcut, uint8_t slippery) {
    FSSRecord r = Free();
    CopyName(r.fontName, font);
    r.size = size;
    if (italic >= 0) {
        r.packed = static_cast<uint8_t>((r.packed & 0xF0) | italic);
        r.style[kStyleItalic] = italic != 0 ? 1 : 0;
    }
    if (bold >= 0)
        r.style[kStyleBold] = static_cast<uint8_t>(bold);
    if (underline >= 0)
        r.style[kStyleUnderline] = static_cast<uint8_t>(underline);
    r.shortcut = static_cast<uint8_t>(shortcut);
    r.slippery = slippery;
    return r;
}

constexpr FSSRecord BaseStyle() {
    FSSRecord r = Free();
    CopyName(r.fontName, "Times New Roman");
    r.size = 12;
    for (uint8_t& s : r.style)
        s = 0;
    // Letters italic, function names upright; the italic byte follows the mode.
    r.packed = kItalicLettersNotFunctions;
    r.style[kStyleItalic] = 1;
    return r;
}

constexpr std::array<FSSRecord, kStyleTableSize> ShippedStyleTable() {
    std::array<FSSRecord, kStyleTableSize> t{};
    for (FSSRecord& r : t)
        r = Free();
    t[0] = BaseStyle();
    t[1] = Entry("Symbol", kSizeInherit, 0, -1, -1, 'g', 1);
    t[2] = Entry("*", kSizeInherit, 0, -1, -1, 't', 0);
    t[3] = Entry("*", kSizeInherit, 0, -1, -1, 'f', 0);
    t[4] = Entry("*", kSizeInherit, 1, -1, -1, 'v', 0);
    t[5] = Entry("*", kSizeInherit, 0, 1, -1, 'b', 0);
    t[6] = Entry("*", kSizeInherit + 1, -1, -1, -1, '+', 0);
    t[7] = Entry("*", kSizeInherit - 1, -1, -1, -1, '-', 0);
    t[8] = Entry("Arial", kSizeInherit, 0, -1, -1, 's', 0);
    t[9] = Entry("Courier New", kSizeInherit, 0, -1, -1, 'c', 0);
    t[10] = Entry("*", kSizeInherit, 1, 1, -1, 'B', 0);
    t[11] = Entry("*", kSizeInherit, -1, -1, 1, 'u', 0);
    return t;
}

} // namespace

std::array<FSSRecord, kStyleTableSize> StyleTable = ShippedStyleTable();
FSSRecord ResetStyleRecord = Free();
FSSRecord DefaultStyle = Free();

FSSRecord* StyleRecordAt(int index) {
    if (index >= 0 && index < kStyleTableSize)
        return &StyleTable[static_cast<size_t>(index)];
    if (index == kResetStyleIndex)
        return &ResetStyleRecord;
    return nullptr;
}

void ResetStyleTable() {
    StyleTable = ShippedStyleTable();
    ResetStyleRecord = Free();
    DefaultStyle = Free();
}

int32_t BaseStyleSize() {
    return StyleTable[0].size > 0 ? StyleTable[0].size : 12;
}

// ---------------------------------------------------------------------------------------------
// Size steps

SizeStepRecord SizeStepSettings;
std::vector<int32_t> SizeStepTable = {6, 7, 9, 10, 12, 14, 18, 20, 24};

bool SizeStepsValid(const SizeStepRecord& s, int32_t base, int32_t minimumFontSize) {
    // Twice the base size is taken in 64 bits: the base size is a style's size, which a file can
    // set to any 32-bit value.
    return minimumFontSize <= s.minimum && s.minimum <= base && base < s.step1 &&
           s.step1 < s.step2 && s.step2 < s.step3 && s.step3 < 2 * int64_t{base};
}

std::vector<int32_t> BuildSizeStepLadder(const SizeStepRecord& s, int32_t base) {
    // The ladder must rise and end at a positive minimum, else the table would not be ordered
    // (and the walk down would not end).
    if (s.minimum < 1 || s.minimum > base || base > kMaxStepSize / 2 ||
        !(base < s.step1 && s.step1 < s.step2 && s.step2 < s.step3 && s.step3 < 2 * int64_t{base}))
        return {};
    // Built top-down: descending[k] is k places below 2 * base.
    std::vector<int32_t> descending = {2 * base, s.step3, s.step2, s.step1, base};
    if (base > s.minimum) {
        while (true) {
            const int32_t above = descending.back();
            int32_t e = descending[descending.size() - 4] / 2;
            if (e >= above)
                e = above - 1;
            if (e <= s.minimum)
                e = s.minimum;
            // An entry equal to the one above it is not added (minimum = base, say).
            if (e == above)
                break;
            descending.push_back(e);
            if (e == s.minimum)
                break;
        }
    }
    return std::vector<int32_t>(descending.rbegin(), descending.rend());
}

bool BuildSizeStepTable() {
    std::vector<int32_t> ladder = BuildSizeStepLadder(SizeStepSettings, BaseStyleSize());
    if (ladder.empty())
        return false;
    SizeStepTable = std::move(ladder);
    return true;
}

std::string SizeStepListText(const std::vector<int32_t>& ladder) {
    if (ladder.empty())
        return "???";
    // Position k of the ladder: an entry inside it, twice the size four places down beyond it.
    auto sizeAt = [&](size_t k) {
        int64_t size = 0;
        int doublings = 0;
        while (k >= ladder.size() && k >= 4) {
            k -= 4;
            ++doublings;
        }
        size = ladder[std::min(k, ladder.size() - 1)];
        for (int i = 0; i < doublings && size < kMaxStepSize; ++i)
            size *= 2;
        return static_cast<int32_t>(std::min<int64_t>(size, kMaxStepSize));
    };
    std::string text;
    size_t next = 0;
    while (next < ladder.size() && text.size() < 88)
        text += std::to_string(ladder[next++]) + ", ";
    for (int i = 0; i < 4; ++i)
        text += std::to_string(sizeAt(next + static_cast<size_t>(i))) + ", ";
    return text + "...";
}

std::array<int32_t, 3> GeometricSizeSteps(int32_t base) {
    constexpr double r = 1.1892069578170776;
    const float a = static_cast<float>(base * r);
    const float c = static_cast<float>(a * r);
    const float d = static_cast<float>(c * r);
    return {static_cast<int32_t>(std::trunc(a + 0.5)), static_cast<int32_t>(std::trunc(c + 0.5)),
            static_cast<int32_t>(std::trunc(d + 0.5))};
}

int32_t StepToSize(int32_t index) {
    const std::vector<int32_t>& t = SizeStepTable;
    if (t.empty())
        return 12;
    if (index < 0)
        return t.front();
    const int32_t n = static_cast<int32_t>(t.size());
    if (index < n)
        return t[static_cast<size_t>(index)];
    // Beyond the table sizes double every four steps; the walk from the last four entries keeps
    // it free of deep recursion and saturates long before overflow.
    int32_t i = index;
    int doublings = 0;
    while (i >= n) {
        i -= 4;
        ++doublings;
        if (doublings > 16)
            return kMaxStepSize;
    }
    int64_t size = t[static_cast<size_t>(std::max(i, 0))];
    for (int k = 0; k < doublings; ++k)
        size *= 2;
    return static_cast<int32_t>(std::min<int64_t>(size, kMaxStepSize));
}

int32_t SizeToStep(int32_t size) {
    const std::vector<int32_t>& t = SizeStepTable;
    if (t.empty() || size <= t.front())
        return 0;
    // Inside the table a step is its entry; past it the sizes follow StepToSize.
    const int32_t n = static_cast<int32_t>(t.size());
    int32_t i = 0;
    while (i + 1 < n && t[static_cast<size_t>(i) + 1] <= size &&
           t[static_cast<size_t>(i) + 1] > t[static_cast<size_t>(i)])
        ++i;
    if (i + 1 < n)
        return i;
    while (StepToSize(i + 1) <= size && StepToSize(i + 1) > StepToSize(i))
        ++i;
    return i;
}

namespace {

// The last few answers of StepSizeBy, with the step table they were found on: layout asks the
// same few steps from the same few sizes for every script and fraction.
struct SteppedSize {
    int32_t size = 0;
    int32_t steps = 0;
    int32_t result = 0;
};

struct SteppedSizes {
    std::vector<int32_t> table;
    std::array<SteppedSize, 8> kept;
    size_t count = 0;
    size_t next = 0;
};

SteppedSizes s_steppedSizes;

} // namespace

int32_t StepSizeBy(int32_t size, int32_t steps) {
    // Far more steps than any setting allows; beyond them the size is pinned anyway.
    steps = std::clamp(steps, -200, 200);
    if (steps == 0)
        return size;
    SteppedSizes& kept = s_steppedSizes;
    if (kept.table != SizeStepTable) {
        kept.table = SizeStepTable;
        kept.count = 0;
        kept.next = 0;
    }
    for (size_t i = 0; i < kept.count; ++i)
        if (kept.kept[i].size == size && kept.kept[i].steps == steps)
            return kept.kept[i].result;
    SteppedSize& answer = kept.kept[kept.next];
    kept.next = (kept.next + 1) % kept.kept.size();
    kept.count = std::min(kept.count + 1, kept.kept.size());
    answer.size = size;
    answer.steps = steps;
    for (; steps > 0; --steps)
        size = StepToSize(SizeToStep(size) + 1);
    for (; steps < 0; ++steps)
        size = StepToSize(SizeToStep(size) - 1);
    answer.result = size;
    return size;
}

// ---------------------------------------------------------------------------------------------
// Typesetting settings

TypesettingRecord TypesettingSettings;
RootRecord RootSettings;
IntegralRecord IntegralSettings;
DelimiterRecord DelimiterSettings;
EmbellishmentRecord EmbellishmentSettings;
int32_t MeasurementUnitSetting = 0;
int32_t WideStructureSetting = 1;
uint8_t ReplacePlaceholdersOption = 0;
uint8_t AutoSpaceOption = 1;

void ResetTypesettingSettings() {
    TypesettingSettings = TypesettingRecord{};
    RootSettings = RootRecord{};
    IntegralSettings = IntegralRecord{};
    DelimiterSettings = DelimiterRecord{};
    EmbellishmentSettings = EmbellishmentRecord{};
    MeasurementUnitSetting = 0;
    WideStructureSetting = 1;
    ReplacePlaceholdersOption = 0;
    AutoSpaceOption = 1;
    SizeStepSettings = SizeStepRecord{};
    SizeStepTable = {6, 7, 9, 10, 12, 14, 18, 20, 24};
}

// ---------------------------------------------------------------------------------------------
// Function names

std::string FunctionNameText;
int32_t FunctionNameCount = 0;

namespace {

namespace fs = std::filesystem;

// The exact name, else the first entry of the folder that matches it ignoring case.
bool FindInFolder(const fs::path& folder, const std::string& name, fs::path& found) {
    std::error_code ec;
    // Whatever has the name is found: the reader refuses, by name, what is no regular file.
    const fs::path exact = folder / name;
    if (fs::exists(fs::symlink_status(exact, ec))) {
        found = exact;
        return true;
    }
    auto lower = [](std::string s) {
        for (char& c : s)
            if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c - 'A' + 'a');
        return s;
    };
    const std::string want = lower(name);
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (lower(it->path().filename().string()) == want) {
            found = it->path();
            return true;
        }
    }
    return false;
}

// A name is printable single-byte text: control bytes and zero bytes mean the line is not text.
bool UsableName(std::string_view line) {
    if (line.size() <= 1 || line.size() > static_cast<size_t>(kMaxFunctionNameLength))
        return false;
    for (unsigned char c : line)
        if (c < 0x20 || c == 0x7F)
            return false;
    return true;
}

} // namespace

FunctionNamesResult ReadFunctionNames(const std::string& folder) {
    FunctionNameText.clear();
    FunctionNameCount = 0;
    fs::path path;
    oIStreamPtr stream;
    int16_t refused = 0; // why a list that is there could not be read
    for (const char* name : {kFunctionNamesFile, kFunctionNamesFileAlt}) {
        if (!FindInFolder(folder, name, path))
            continue;
        const int16_t code = CatchFail(
            [&] { stream.reset(NewIFileStream(path.string().c_str(), kLargestPrefsFile)); });
        if (code == 0)
            break;
        if (refused == 0 && code != errFileNotFound)
            refused = code;
    }
    if (!stream) {
        // A list that is there but cannot be read (not a regular file, too large, not
        // permitted) is named with the reason first.
        if (refused != 0)
            ErrorAlert(refused);
        NoteAlert(kNoFunctionNamesMessage);
        return FunctionNamesResult::NotFound;
    }
    struct Collected {
        std::string names;
        int32_t count = 0;
    } collected;
    // A line longer than the longest name is dropped whole, however long it is.
    oReader::readPlainLines(
        *stream, static_cast<uint32_t>(kMaxFunctionNameLength) + 1,
        [](std::string_view line, bool overLong, void* context) {
            auto* out = static_cast<Collected*>(context);
            while (!line.empty() && (line.back() == ' ' || line.back() == '\t'))
                line.remove_suffix(1);
            if (!overLong && UsableName(line)) {
                out->names.append(line);
                out->names += '\0';
                ++out->count;
            }
        },
        &collected);
    DestroyStream(stream);
    std::string names = std::move(collected.names);
    const int32_t count = collected.count;
    FunctionNameText = std::move(names);
    FunctionNameCount = count;
    return FunctionNamesResult::Read;
}

std::vector<std::string_view> FunctionNameList() {
    std::vector<std::string_view> list;
    size_t pos = 0;
    for (int32_t i = 0; i < FunctionNameCount && pos < FunctionNameText.size(); ++i) {
        const size_t end = FunctionNameText.find('\0', pos);
        if (end == std::string::npos)
            break;
        list.emplace_back(FunctionNameText.data() + pos, end - pos);
        pos = end + 1;
    }
    return list;
}
