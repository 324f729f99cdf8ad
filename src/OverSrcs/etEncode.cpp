#include "OverSrcs/etEncode.h"

#include "ExprSrcs/commands/tsPrefs.h"
#include "OverPc/PERROR.h"
#include "OverSrcs/Winufo.h"
#include "OverSrcs/eAsian.h"
#include "OverSrcs/eChar.h"
#include "OverSrcs/eDxMatrix.h"
#include "OverSrcs/eDxStr.h"
#include "OverSrcs/eFence.h"
#include "OverSrcs/eMatrix.h"
#include "OverSrcs/eModelHooks.h"
#include "OverSrcs/ePseudo.h"
#include "OverSrcs/eSimpString.h"
#include "OverSrcs/eString.h"
#include "OverSrcs/eTempl.h"
#include "OverSrcs/eUFO.h"
#include "OverSrcs/eWord.h"
#include "OverSrcs/oStreams.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <string_view>
#include <typeinfo>
#include <vector>

// ---- The font table ----------------------------------------------------------------------------

namespace {

std::vector<EncodingFont> s_fonts;

char DefaultFontClass(const char* name) {
    return IsSymbolFontName(name) ? 's' : 'i';
}

EncodingFontClassifier s_classifier = &DefaultFontClass;

void ClearFonts() {
    s_fonts.clear();
    s_fonts.shrink_to_fit();
}

// Adds an entry; a 51st fails with errTooManyFonts and is not stored.
int32_t AddFont(char fontClass, std::string name) {
    if (static_cast<int32_t>(s_fonts.size()) >= kMaxEncodingFonts)
        Fail(errTooManyFonts);
    if (name.size() >= static_cast<size_t>(kFontNameSize))
        name.resize(kFontNameSize - 1); // what a style record can hold
    s_fonts.push_back(EncodingFont{fontClass, std::move(name)});
    return static_cast<int32_t>(s_fonts.size()) - 1;
}

int32_t FindFont(std::string_view name) {
    for (size_t i = 0; i < s_fonts.size(); ++i)
        if (s_fonts[i].name == name)
            return static_cast<int32_t>(i);
    return -1;
}

// Pictures: nothing written, and the reader skips what it finds, until the picture-text code is
// installed.
void NoPictureWriter(oOStream&, const char*, const WinUfo*, bool, bool) {}

UfoPictureWriter s_pictureWriter = &NoPictureWriter;
UfoPictureReader s_pictureReader = nullptr;

} // namespace

int32_t EncodingFontCount() {
    return static_cast<int32_t>(s_fonts.size());
}

const EncodingFont* EncodingFontAt(int32_t index) {
    if (index < 0 || index >= EncodingFontCount())
        return nullptr;
    return &s_fonts[static_cast<size_t>(index)];
}

void SetEncodingFontClassifier(EncodingFontClassifier classifier) {
    s_classifier = classifier != nullptr ? classifier : &DefaultFontClass;
}

void SetUfoPictureCodec(UfoPictureWriter writer, UfoPictureReader reader) {
    s_pictureWriter = writer != nullptr ? writer : &NoPictureWriter;
    s_pictureReader = reader;
}

// ---- Writer ------------------------------------------------------------------------------------

namespace {

struct WriterState {
    oOStream* stream = nullptr;
    std::string prefix;
    uint32_t lineStart = 0;
    std::string fontName;
    // The name offset whose name was last compared with fontName: a leaf with the same offset has
    // the same name, so the comparison is skipped.
    int32_t fontOffset = 0;
    bool fontOffsetKnown = false;
    int32_t size = -1;
    int32_t styleBits = -1;
    uint32_t colour = 0;
    int32_t nudgeX = 0;
    int32_t nudgeY = 0;
    bool resolveStyles = false;
    bool pictureOptionA = false;
    bool pictureOptionB = false;
    // A linked row was written: only then are the link records looked for.
    bool anyLinked = false;
    int32_t depth = 0;
};

WriterState s_out;

// The text goes into this buffer and reaches the stream in blocks: before the picture code writes
// to the stream itself, before a line prefix, and at the end. Nothing buffered holds a line feed,
// so the stream's count plus the buffered bytes is the count the stream will have.
constexpr size_t kWriteBufferSize = 4096;
char s_buffer[kWriteBufferSize];
size_t s_used = 0;

// The longest piece put in one go (a compact number is at most 7 characters).
constexpr size_t kLongestPiece = 8;

void Flush() {
    if (s_used == 0)
        return;
    const auto n = static_cast<uint32_t>(s_used);
    s_used = 0;
    s_out.stream->write(s_buffer, n);
}

// Room for kLongestPiece more characters.
inline char* Room() {
    if (s_used > kWriteBufferSize - kLongestPiece)
        Flush();
    return s_buffer + s_used;
}

inline void Put(int c) {
    *Room() = static_cast<char>(c);
    ++s_used;
}

inline void Put2(char a, char b) {
    char* at = Room();
    at[0] = a;
    at[1] = b;
    s_used += 2;
}

inline void PutNumber(int32_t v) {
    char* at = Room();
    if (v > -32 && v < 32) {
        *at = static_cast<char>((v & 63) + 0x20);
        ++s_used;
    } else {
        s_used += static_cast<size_t>(EncodeCompactNumber(v, at));
    }
}

// Bytes the stream has taken or will take from the buffer.
inline uint32_t Count() {
    return s_out.stream->count() + static_cast<uint32_t>(s_used);
}

// Every node record starts here (eExpr::writeEncoding), so this is where a node written outside
// WriteExprEncoding is caught.
void RequireStream() {
    if (s_out.stream == nullptr) {
        KV_ASSERT_FAILED("writeEncoding outside WriteExprEncoding");
        Fail(errUnplanned);
    }
}

// Breaks the line when more than 72 - reserve characters went out since the last break.
void LineBreakCheck(int32_t reserve) {
    if (s_out.prefix.empty())
        return; // without a prefix the text is one line
    const int32_t written = static_cast<int32_t>(Count() - s_out.lineStart);
    if (written <= 72 - reserve)
        return;
    // The prefix may hold line ends, which the stream converts: it goes to the stream itself.
    Put('|');
    Flush();
    s_out.stream->writeString(s_out.prefix.c_str());
    Put('|');
    s_out.lineStart = Count();
}

// A font name: characters below 0x20 (bytes 0x80-0xFF count as such), above 'z' and '^' become
// '{' and their value as a signed byte, so the terminators never appear raw.
void WriteFontName(std::string_view name) {
    for (const char ch : name) {
        const auto c = static_cast<signed char>(ch);
        if (c < 0x20 || c > 'z' || c == '^') {
            Put('{');
            PutNumber(c);
        } else {
            Put(c);
        }
    }
}

void WriteFontRecord(const char* nodeName) {
    if (nodeName[0] == '\0') {
        // No font at all (what a select beyond the table reads as): a select that names no entry
        // says so without taking one of the fifty, so a tree read from text always writes back.
        Put(':');
        PutNumber(kMaxEncodingFonts);
        return;
    }
    const FSSRecord& base = StyleTable[0];
    const bool inherits = nodeName[0] == '*';
    const char* stored = inherits && s_out.resolveStyles ? base.fontName : nodeName;
    int32_t index = FindFont(stored);
    if (index < 0) {
        const char fontClass = s_classifier(inherits ? base.fontName : nodeName);
        index = AddFont(fontClass, stored);
        Put('"');
        PutNumber(index);
        WriteFontName(s_fonts[static_cast<size_t>(index)].name);
        Put(fontClass == 'i' ? '|' : fontClass == 'm' ? '~' : '^');
    }
    Put(':');
    PutNumber(index);
}

// The path of child indices from root down to node; false when node is not below root.
bool PathOf(const eExpr* root, const eExpr* node, std::vector<int32_t>& path) {
    path.clear();
    for (const eExpr* at = node; at != root; at = at->m_parent) {
        if (at == nullptr)
            return false;
        path.push_back(at->m_index);
    }
    std::reverse(path.begin(), path.end());
    return true;
}

} // namespace

void eExpr::writeEncoding(oOStream&) const {
    RequireStream();
    LineBreakCheck(12);
    if (m_nudgeX != s_out.nudgeX || m_nudgeY != s_out.nudgeY) {
        Put('@');
        PutNumber(m_nudgeX);
        PutNumber(m_nudgeY);
        s_out.nudgeX = m_nudgeX;
        s_out.nudgeY = m_nudgeY;
    }
    if (m_colour != s_out.colour) {
        Put2('`', 'f');
        PutNumber(m_colour);
        Put('}');
        s_out.colour = m_colour;
    }
    // The user can stop a long write. The poll is cheap: it reads the keyboard only on every
    // 32nd call.
    HookCheckUserAbort();
}

void eChar::writeEncoding(oOStream& stream) const {
    eExpr::writeEncoding(stream);
    // The font reference is compared as it is stored: equal name offsets are equal names, and the
    // style bits are those the expanded record packs back into (every value InternFontRef stores
    // lies within the 18 bits that PackStyleBits fills, and unpacking them loses none).
    const FontRef& ref = m_fontRef;
    if (!s_out.fontOffsetKnown || ref.nameOffset != s_out.fontOffset) {
        const char* name = FontNameAtOffset(ref.nameOffset);
        if (s_out.fontName != name) {
            WriteFontRecord(name);
            s_out.fontName = name;
        }
        s_out.fontOffset = ref.nameOffset;
        s_out.fontOffsetKnown = true;
    }
    constexpr int32_t kPackedBits = (1 << 18) - 1;
    const bool packed = (ref.styleBits & ~kPackedBits) == 0;
    if (ref.size == s_out.size && packed && ref.styleBits == s_out.styleBits)
        return;
    FSSRecord record;
    ExpandFontRef(record, ref);
    const FSSRecord& base = StyleTable[0];
    if (record.size != s_out.size) {
        int32_t written = record.size;
        if (s_out.resolveStyles) {
            FSSRecord merged = base;
            MergeFSSSize(merged, record);
            written = merged.size;
        }
        Put(';');
        PutNumber(written);
        s_out.size = record.size;
    }
    const int32_t bits = packed ? ref.styleBits : PackStyleBits(record);
    if (bits != s_out.styleBits) {
        int32_t written = bits;
        if (s_out.resolveStyles) {
            FSSRecord merged = base;
            MergeFSSFlags(merged, record);
            written = PackStyleBits(merged);
        }
        Put('&');
        PutNumber(written);
        s_out.styleBits = bits;
    }
}

void eWord::writeEncoding(oOStream& stream) const {
    eChar::writeEncoding(stream);
    for (const char ch : view()) {
        const auto b = static_cast<unsigned char>(ch);
        if ((b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9'))
            Put(b);
        else
            Put2(static_cast<char>((b >> 6) + ','), static_cast<char>((b & 63) + 0x20));
    }
}

void ePseudo::writeEncoding(oOStream& stream) const {
    eChar::writeEncoding(stream);
    if (m_code == kPseudoSpace) {
        Put(' ');
    } else if (m_code == kPseudoThinSpace) {
        Put('!');
    } else {
        Put('\'');
        PutNumber(static_cast<signed char>(m_code));
    }
}

void eUFO::writeEncoding(oOStream& stream) const {
    eChar::writeEncoding(stream);
    Put2('`', 'g');
    Flush();
    s_pictureWriter(*s_out.stream, s_out.prefix.empty() ? nullptr : s_out.prefix.c_str(), m_picture,
                    s_out.pictureOptionA, s_out.pictureOptionB);
    Put('}');
}

namespace {

// Double-byte text: "~", the number of 16-bit codes, each code as the machine (little-endian)
// reads the byte pair, "L" and "}".
void WriteDoubleByteRecord(const eWord& word, oOStream& stream) {
    word.eChar::writeEncoding(stream);
    const std::string_view text = word.view();
    const size_t codes = text.size() / 2;
    Put('~');
    PutNumber(static_cast<int32_t>(codes));
    for (size_t i = 0; i < codes; ++i) {
        const auto low = static_cast<unsigned char>(text[2 * i]);
        const auto high = static_cast<unsigned char>(text[2 * i + 1]);
        PutNumber(static_cast<int32_t>(low | high << 8));
    }
    Put2('L', '}');
}

void WriteNode(const eExpr* node);

// A ruled row: its ruler around its items; the stops end at the first empty one.
void WriteRuledRowRecord(const eDxString& row, oOStream& stream) {
    row.eExpr::writeEncoding(stream);
    if (row.isLinked())
        s_out.anyLinked = true;
    Put(')');
    PutNumber(row.childCount());
    PutNumber(row.m_verticalAlign);
    PutNumber(row.m_justification);
    PutNumber(row.m_width);
    for (int32_t i = 0; i < row.childCount(); ++i)
        if (const eExpr* child = row.getChild(i))
            WriteNode(child);
    LineBreakCheck(35);
    Put('}');
    int32_t stops = 0;
    while (stops < kTabStopCount && (row.m_tabStops[stops] >> 3) != 0x1FFF)
        ++stops;
    PutNumber(stops);
    for (int32_t i = 0; i < stops; ++i) {
        PutNumber(row.m_tabStops[i] & 7);
        PutNumber(row.m_tabStops[i] >> 3);
    }
    PutNumber(row.m_followRuler);
    PutNumber(-9);
    PutNumber(-9);
    Put('}');
}

// A grid: "[" rows, columns, kind (1 ruled), the cells row by row, a ruled grid's attributes.
void WriteGridRecord(const eMatrix& grid, oOStream& stream) {
    grid.eExpr::writeEncoding(stream);
    const auto* dx = grid.isDxMatrix() ? static_cast<const eDxMatrix*>(&grid) : nullptr;
    Put('[');
    PutNumber(grid.rows());
    PutNumber(grid.columns());
    PutNumber(dx != nullptr ? 1 : 0);
    for (int32_t i = 0; i < grid.childCount(); ++i) {
        const eExpr* cell = grid.getChild(i);
        if (cell != nullptr) {
            WriteNode(cell);
        } else {
            LineBreakCheck(12);
            Put('_');
        }
    }
    if (dx != nullptr) {
        for (const int32_t v :
             {dx->m_vAlign, dx->m_hAlign, dx->m_separateRows, dx->m_separateColumns})
            PutNumber(v);
        PutNumber(0);
        PutNumber(dx->m_tight);
        PutNumber(0);
        PutNumber(0);
        for (const uint32_t word : dx->m_hStyles)
            PutNumber(static_cast<int32_t>(word));
        for (const uint32_t word : dx->m_vStyles)
            PutNumber(static_cast<int32_t>(word));
    }
    Put('}');
}

void WriteNode(const eExpr* node) {
    // What the reader would refuse is not written: a tree nested deeper than it reads fails here
    // (every node counts, leaves too, so the writer stops at or before the reader's limit).
    if (s_out.depth >= kMaxEncodingDepth)
        Fail(errNestedTooDeep);
    ++s_out.depth;
    struct Leave {
        ~Leave() { --s_out.depth; }
    } leave;
    node->writeEncoding(*s_out.stream);
}

// A slot the writer finds empty goes out as an empty row, so the reader finds a node there.
void WriteChild(const eExpr* child, oOStream&) {
    if (child != nullptr) {
        WriteNode(child);
    } else {
        LineBreakCheck(12);
        Put('_');
    }
}

} // namespace

void eAsian::writeEncoding(oOStream& stream) const {
    WriteDoubleByteRecord(*this, stream);
}

void eDxString::writeEncoding(oOStream& stream) const {
    WriteRuledRowRecord(*this, stream);
}

void eSimpMatrix::writeEncoding(oOStream& stream) const {
    WriteGridRecord(*this, stream);
}

void eDxMatrix::writeEncoding(oOStream& stream) const {
    WriteGridRecord(*this, stream);
}

void eTemplate::writeEncoding(oOStream& stream) const {
    eExpr::writeEncoding(stream);
    int32_t code = 0;
    (void)getTemplateCode(code);
    if (code == 0x5003 && m_count == 3) {
        Put('$');
        for (int32_t i = 0; i < 3; ++i)
            WriteChild(getChild(i), stream);
        return;
    }
    Put('<');
    PutNumber(code);
    for (int32_t i = 0; i < m_count; ++i)
        WriteChild(getChild(i), stream);
    Put('}');
}

void eSimpString::writeEncoding(oOStream& stream) const {
    eExpr::writeEncoding(stream);
    const bool linked = isLinked();
    if (linked)
        s_out.anyLinked = true;
    if (m_count == 0 && !linked) {
        Put('_');
        return;
    }
    if (m_count == 1 && !linked) {
        const eExpr* child = getChild(0);
        const bool oneChar = child != nullptr &&
                             (!child->isWord() || static_cast<const eWord*>(child)->length() == 1);
        if (oneChar) {
            Put('^');
            WriteNode(child);
            return;
        }
    }
    Put('(');
    PutNumber(m_count);
    for (int32_t i = 0; i < m_count; ++i) {
        // A row never holds an empty slot; were one found, it is left out rather than written as
        // a row inside a row, which the reader refuses.
        if (const eExpr* child = getChild(i))
            WriteNode(child);
    }
    Put('}');
}

void WritePyramidEncoding(const eExpr* root, const eExpr* node) {
    if (root == nullptr || node == nullptr) {
        KV_ASSERT_FAILED("WritePyramidEncoding");
        return;
    }
    std::vector<int32_t> path;
    for (int32_t i = 0; i < node->childCount(); ++i) {
        const eExpr* c = node->getChild(i);
        if (c == nullptr)
            continue;
        for (int32_t j = 0; j < c->childCount(); ++j) {
            const eExpr* g = c->getChild(j);
            if (g == nullptr)
                continue;
            if (g->isString()) {
                const auto* row = static_cast<const eString*>(g);
                if (row->isLinked()) {
                    std::vector<int32_t> next;
                    if (row->m_ring == nullptr || !PathOf(root, g, path) ||
                        !PathOf(root, row->m_ring, next)) {
                        // A partner outside the tree cannot be named; the callers unlink those.
                        KV_ASSERT_FAILED("WritePyramidEncoding");
                    } else {
                        RequireStream();
                        Put2('`', 'c');
                        for (const int32_t k : path)
                            PutNumber(k);
                        PutNumber(-9);
                        for (const int32_t k : next)
                            PutNumber(k);
                        PutNumber(-9);
                        Put('}');
                    }
                }
            }
            WritePyramidEncoding(root, g);
        }
    }
}

void WriteExprEncoding(oOStream* stream, const eExpr* root, const char* linePrefix, uint8_t red,
                       uint8_t green, uint8_t blue, bool noBackground, bool pictureOptionA,
                       bool pictureOptionB, bool resolveStyles) {
    if (stream == nullptr || root == nullptr) {
        KV_ASSERT_FAILED("WriteExprEncoding");
        Fail(errUnplanned);
    }
    s_out = WriterState{};
    s_out.stream = stream;
    s_used = 0;
    // However the write ends, the stream is not remembered beyond it, and nothing of it stays
    // buffered.
    struct StreamRelease {
        ~StreamRelease() {
            s_out.stream = nullptr;
            s_used = 0;
        }
    } release;
    s_out.prefix = linePrefix != nullptr ? linePrefix : "";
    s_out.pictureOptionA = pictureOptionA;
    s_out.pictureOptionB = pictureOptionB;
    s_out.resolveStyles = resolveStyles;
    ClearFonts();
    s_out.lineStart = stream->count();

    for (const char* c = kEncodingStart; *c != '\0'; ++c)
        Put(*c);
    Put('#');
    PutNumber(kEncodingVersion);
    Put2('`', 'b');
    PutNumber(noBackground ? -1 : red);
    PutNumber(noBackground ? -1 : green);
    PutNumber(noBackground ? -1 : blue);
    Put('}');
    WriteNode(root);
    // Link records come from a second walk, needed only when the first met a linked row.
    if (s_out.anyLinked)
        WritePyramidEncoding(root, root);
    for (const char* c = kEncodingEnd; *c != '\0'; ++c)
        Put(*c);
    Flush();
}

std::string ExprEncodingText(const eExpr* root, const char* linePrefix, bool resolveStyles) {
    oOStreamPtr stream(NewOMemoryStream(256));
    // Pictures carry their own records, so a picture leaf reads back with its picture: without
    // them only its measurements would be written, which the reader refuses as no picture.
    WriteExprEncoding(stream.get(), root, linePrefix, 0, 0, 0, true, true, false, resolveStyles);
    auto* memory = static_cast<oOMemoryStream*>(stream.release());
    return memory->detachString();
}

// ---- Reader ------------------------------------------------------------------------------------

namespace {

struct ReaderState {
    oIStream* stream = nullptr;
    // A memory stream is read through its bytes directly, with the same line-end rules, instead
    // of a virtual call per byte; its position is handed back whenever something else reads it
    // and when the read ends, however it ends. Null: every byte comes through the stream's calls.
    oIMemoryStream* memory = nullptr;
    const uint8_t* start = nullptr;
    const uint8_t* at = nullptr;
    const uint8_t* end = nullptr;
    // The picture code holds the stream: the position is the stream's own.
    bool handedOver = false;
    FSSRecord style;
    // The style packed for the leaves; every change to the style above marks it stale.
    FontRef packed;
    bool packedStale = true;
    int32_t styleBits = -1;
    char fontClass = '?';
    uint8_t colour = 0;
    int32_t nudgeX = 0;
    int32_t nudgeY = 0;
    bool oldFormat = false;
    int32_t depth = 0;
};

ReaderState s_in;
// Nodes begun by the reader, for the poll in ParseExprTree.
uint32_t s_readSteps = 0;
// Double-byte words beyond the first of a record too long for one word, handed out by the next
// reads of the same row.
std::deque<ExprPtr> s_pending;
// The children of the rows being read, innermost row last: each row takes its own from the top
// when its end mark comes, so no row needs a list of its own.
std::vector<ExprPtr> s_items;
EncodingBackground s_background;
int32_t s_versionNotes = 0;

[[noreturn]] void Corrupt() {
    Fail(errDataCorrupted);
}

// The position read so far, handed to the memory stream.
void HandBackPosition() {
    if (s_in.memory != nullptr)
        s_in.memory->seek(static_cast<int32_t>(s_in.at - s_in.start));
}

void TakePosition() {
    if (s_in.memory != nullptr)
        s_in.at = s_in.memory->current();
}

// What oIMemoryStream::nextByte answers: a 0 byte, CR and CR LF read as LF.
inline int MemoryNext() {
    if (s_in.at >= s_in.end)
        return -1;
    const uint8_t c = *s_in.at++;
    if (c > '\r')
        return c;
    if (c == 0)
        return '\n';
    if (c == '\r') {
        if (s_in.at < s_in.end && *s_in.at == '\n')
            ++s_in.at;
        return '\n';
    }
    return c;
}

// The next byte 0-255, or -1 at the end of the data.
inline int Get() {
    return s_in.memory != nullptr ? MemoryNext() : s_in.stream->nextByte();
}

// The next byte; the end of the data is corrupt.
inline int Need() {
    const int c = Get();
    if (c < 0)
        Corrupt();
    return c;
}

void UnGet(int c) {
    if (c < 0)
        return;
    if (s_in.memory == nullptr) {
        s_in.stream->unGetChar(c);
        return;
    }
    // As oIMemoryStream::unGetChar: a CR LF pair steps back as one.
    if (s_in.at <= s_in.start) {
        KV_ASSERT_FAILED("unGetChar");
        return;
    }
    if (s_in.at - s_in.start >= 2 && s_in.at[-1] == '\n' && s_in.at[-2] == '\r')
        s_in.at -= 2;
    else
        --s_in.at;
}

// A compact number, as oIStream::getNumber reads it from a memory stream (whose getChar answers
// bytes 0x80-0xFF as negative values).
int32_t MemoryNumber() {
    const auto next = [] {
        const int b = MemoryNext();
        return b < 0 ? -1 : static_cast<int>(static_cast<signed char>(b));
    };
    const int c = next();
    if (c == 0 || c == '}') {
        UnGet(c);
        return 0;
    }
    if (c >= 0x20 && c <= 0x60)
        return (c & 63) - 32;
    if (c < 'b' || c > 'f')
        Corrupt();
    const int more = c - 0x61;
    int d = next();
    if (d < 0)
        Corrupt(); // the data ends inside the number
    int64_t value = (d & 63) - 32;
    for (int i = 0; i < more; ++i) {
        d = next();
        if (d < 0)
            Corrupt();
        value = value * 64 + ((d - 0x20) & 63);
    }
    // Only a damaged "f" form can leave the 32-bit range.
    if (value < INT32_MIN || value > INT32_MAX)
        Corrupt();
    return static_cast<int32_t>(value);
}

inline int32_t Number() {
    if (s_in.memory == nullptr)
        return s_in.stream->getNumber();
    // Most numbers are one character, which no line-end rule touches.
    if (s_in.at < s_in.end && *s_in.at >= 0x20 && *s_in.at <= 0x60)
        return (*s_in.at++ & 63) - 32;
    return MemoryNumber();
}

// Reads up to and including the byte; the end of the data first is corrupt.
void SkipTo(int byte) {
    if (s_in.memory == nullptr) {
        s_in.stream->skipTo(byte);
        return;
    }
    const auto target = static_cast<uint8_t>(byte);
    if (s_in.at >= s_in.end)
        Corrupt();
    if (target != '\n' && target != '\r' && target != 0) {
        // The line-end rules only make line feeds, so any other byte is found as it stands.
        const void* found = std::memchr(s_in.at, target, static_cast<size_t>(s_in.end - s_in.at));
        if (found == nullptr) {
            s_in.at = s_in.end;
            Corrupt();
        }
        s_in.at = static_cast<const uint8_t*>(found) + 1;
        return;
    }
    for (;;) {
        const int b = MemoryNext();
        if (b < 0)
            Corrupt();
        if (b == target)
            return;
    }
}

void SkipToClose() {
    SkipTo('}');
}

bool IsLetter(int c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool IsDigit(int c) {
    return c >= '0' && c <= '9';
}

// Every node made takes the colour and nudge in force when its record starts.
struct Stamp {
    uint8_t colour = s_in.colour;
    int32_t nudgeX = s_in.nudgeX;
    int32_t nudgeY = s_in.nudgeY;
    void apply(eExpr* node) const {
        node->m_colour = colour;
        node->m_nudgeX = nudgeX;
        node->m_nudgeY = nudgeY;
    }
};

ExprPtr MakeWord(std::string_view text) {
    // Runs of leaves share a style: it is packed again only when it changed.
    if (s_in.packedStale) {
        InternFontRef(s_in.style, s_in.packed);
        s_in.packedStale = false;
    }
    OwnedNode<eWord> word = NewFittedWord(text, s_in.packed, s_in.colour);
    Stamp().apply(word.get());
    return ExprPtr(word.release());
}

// Template slots and grid cells hold rows; a lone node read there goes into a one-element row.
ExprPtr AsRow(ExprPtr node) {
    if (node == nullptr || node->isString())
        return node;
    // As NewSimpStringWith, without its virtual setChild.
    OwnedNode<eSimpString> row = NewSimpString(1);
    row->m_colour = node->m_colour;
    row->setChildren(&node, 1);
    return ExprPtr(row.release());
}

// Takes the child of a row: a row directly inside a row is corrupt.
void RefuseRow(const ExprPtr& child) {
    if (child != nullptr && child->isString())
        Corrupt();
}

struct DepthGuard {
    DepthGuard() {
        if (++s_in.depth > kMaxEncodingDepth) {
            --s_in.depth;
            Corrupt();
        }
    }
    ~DepthGuard() { --s_in.depth; }
    DepthGuard(const DepthGuard&) = delete;
    DepthGuard& operator=(const DepthGuard&) = delete;
};

// `rowItem`: the result goes straight into a row, which takes the further words of a long
// double-byte record from the pending list (list mode implies it).
ExprPtr ParseExprTree(bool listMode, bool single, bool rowItem = false);

// What is left of the input, in bytes. A stream that cannot tell its length has its counts
// trusted up to a bound no document reaches.
int64_t BytesLeft() {
    if (s_in.memory != nullptr)
        return s_in.end - s_in.at;
    const int64_t left = s_in.stream->bytesLeft();
    return left >= 0 ? left : int64_t{1} << 24;
}

// A count of children (or tab stops, or codes) read from the stream. Each of them takes at least
// a byte of what follows, so the count is bounded by the bytes left, not by a number: whatever
// the writer wrote reads back, and a damaged count can neither allocate nor loop beyond the
// input's size. A negative count, or one beyond the bytes left, is corrupt.
int32_t ReadCount() {
    const int32_t n = Number();
    if (n < 0 || n > BytesLeft())
        Corrupt();
    return n;
}

// The children of a row in the list form, up to the end mark, onto the item stack. Each child
// takes bytes of the input, which bounds their number.
void ReadRowChildrenToEnd() {
    const size_t base = s_items.size();
    for (;;) {
        ExprPtr child = ParseExprTree(true, false);
        if (child == nullptr)
            break;
        RefuseRow(child);
        if (s_items.size() - base >= static_cast<size_t>(INT32_MAX))
            Corrupt();
        s_items.push_back(std::move(child));
    }
}

void ReadFontDefinition() {
    const int32_t n = Number();
    std::string name;
    char fontClass = '?';
    for (;;) {
        int c = Need();
        if (c == '^' || c == '|' || c == '~') {
            fontClass = c == '|' ? 'i' : c == '~' ? 'm' : '?';
            break;
        }
        if (c == '{')
            c = Number() & 0xFF;
        else if (c < 0x20 || c > 0x7E)
            Corrupt();
        if (name.size() < static_cast<size_t>(kFontNameSize) - 1)
            name.push_back(static_cast<char>(c));
    }
    if (n != EncodingFontCount() && EncodingFontCount() < kMaxEncodingFonts)
        Corrupt();
    const int32_t index = AddFont(fontClass, std::move(name));
    if (index != n)
        Corrupt();
}

void ReadFontSelect() {
    s_in.packedStale = true;
    const EncodingFont* font = EncodingFontAt(Number());
    if (font == nullptr) {
        s_in.fontClass = '?';
        SetFSSFontName(s_in.style, "");
        return;
    }
    s_in.fontClass = font->fontClass;
    if (font->name == StyleTable[0].fontName)
        SetFSSFontName(s_in.style, kFontInherit);
    else
        SetFSSFontName(s_in.style, font->name);
}

void ReadOldStyle() {
    const int32_t v = Number() & 0xFF;
    s_in.packedStale = true;
    FSSRecord& s = s_in.style;
    s.style[kStyleBold] = v & 1;
    s.style[kStyleItalic] = 0;
    s.style[kStyleUnderline] = (v >> 2) & 1;
    s.style[kStyleOutline] = (v >> 3) & 1;
    s.style[kStyleShadow] = (v >> 4) & 1;
    s.style[kStyleCondense] = (v >> 5) & 1;
    s.style[kStyleExtend] = (v >> 6) & 1;
    s.setItalicMode(0);
    s.setInkMode(static_cast<uint8_t>((v >> 7) & 1));
}

ExprPtr ReadLetterRun(int first, bool single) {
    const bool letters = IsLetter(first);
    const size_t limit = letters ? 32 : 95;
    char text[95];
    text[0] = static_cast<char>(first);
    size_t n = 1;
    if (!s_in.oldFormat && !single) {
        if (s_in.memory != nullptr) {
            // Letters and digits are no line ends: the run is the bytes as they stand.
            while (n < limit && s_in.at < s_in.end &&
                   (letters ? IsLetter(*s_in.at) : IsDigit(*s_in.at)))
                text[n++] = static_cast<char>(*s_in.at++);
        } else {
            while (n < limit) {
                const int c = Get();
                if (letters ? IsLetter(c) : IsDigit(c)) {
                    text[n++] = static_cast<char>(c);
                } else {
                    UnGet(c);
                    break;
                }
            }
        }
    }
    return MakeWord(std::string_view(text, n));
}

ExprPtr ReadEscapedByte(int first) {
    const int second = Need();
    if (second < 0x20 || second > 0x7E)
        Corrupt();
    int byte = (first & 3) * 64 + ((second - 0x20) & 63);
    if (byte == 0)
        Corrupt(); // a word's text cannot hold a zero byte
    if (byte >= 0x80 && s_in.fontClass == 'm')
        byte = MacRomanToAnsi(static_cast<unsigned char>(byte));
    const char text[1] = {static_cast<char>(byte)};
    return MakeWord(std::string_view(text, 1));
}

ExprPtr MakePseudo(unsigned char code) {
    OwnedNode<ePseudo> pseudo = NewPseudo(code, &s_in.style, s_in.colour);
    Stamp().apply(pseudo.get());
    return ExprPtr(pseudo.release());
}

ExprPtr MakeRow(const Stamp& stamp, std::vector<ExprPtr>& children) {
    OwnedNode<eSimpString> row = NewSimpString(static_cast<int32_t>(children.size()));
    stamp.apply(row.get());
    for (size_t i = 0; i < children.size(); ++i)
        row->setChild(static_cast<int32_t>(i), std::move(children[i]));
    return ExprPtr(row.release());
}

// The row of the items from base up, which leave the item stack.
ExprPtr RowOfItems(const Stamp& stamp, size_t base) {
    const size_t n = s_items.size() - base;
    OwnedNode<eSimpString> row = NewSimpString(static_cast<int32_t>(n));
    stamp.apply(row.get());
    row->setChildren(s_items.data() + base, n);
    s_items.resize(base);
    return ExprPtr(row.release());
}

// Moves the words of a long double-byte record after the first into the row being read.
void TakePendingItems() {
    while (!s_pending.empty()) {
        s_items.push_back(std::move(s_pending.front()));
        s_pending.pop_front();
    }
}

ExprPtr ReadRow() {
    const Stamp stamp;
    const int32_t n = ReadCount();
    const size_t base = s_items.size();
    if (s_in.oldFormat) {
        for (int32_t i = 0; i < n; ++i) {
            ExprPtr child = ParseExprTree(false, false, true);
            RefuseRow(child);
            s_items.push_back(std::move(child));
            TakePendingItems();
        }
    } else {
        ReadRowChildrenToEnd();
    }
    return RowOfItems(stamp, base);
}

ExprPtr ReadOneElementRow() {
    const Stamp stamp;
    const size_t base = s_items.size();
    ExprPtr child = ParseExprTree(false, true, true);
    RefuseRow(child);
    s_items.push_back(std::move(child));
    // A double-byte record too long for one word gives the row one word per piece.
    TakePendingItems();
    return RowOfItems(stamp, base);
}

void FillSlots(eExpr* node) {
    const int32_t n = node->childCount();
    if (node->isTemplate()) {
        auto* templ = static_cast<eTemplate*>(node);
        for (int32_t i = 0; i < n; ++i)
            templ->setChild(i, AsRow(ParseExprTree(false, false)));
        return;
    }
    for (int32_t i = 0; i < n; ++i)
        node->setChild(i, AsRow(ParseExprTree(false, false)));
}

ExprPtr ReadTemplate() {
    const Stamp stamp;
    const int32_t code = Number();
    if (code < 0 || code > 0xFFFF)
        Corrupt();
    ExprPtr node = NewTemplateFromCode(code);
    if (node == nullptr) {
        // A template this program does not know: its slots are kept side by side in a one-row
        // matrix. With no slots there is nothing to keep.
        if (TemplateSlotsOf(code) == 0)
            Corrupt();
        node = ExprPtr(NewSimpMatrix(1, TemplateSlotsOf(code)).release());
        if (node == nullptr)
            Corrupt();
    }
    stamp.apply(node.get());
    FillSlots(node.get());
    if (s_in.oldFormat) {
        if (Need() != '>')
            Corrupt();
    } else {
        SkipToClose();
    }
    return node;
}

ExprPtr ReadPlainScripts() {
    const Stamp stamp;
    ExprPtr node = NewTemplateFromCode(0x5003);
    if (node == nullptr)
        Corrupt();
    stamp.apply(node.get());
    FillSlots(node.get());
    return node;
}

ExprPtr ReadRuledRow() {
    const Stamp stamp;
    // The announced count is only checked: the end mark is what ends the children.
    ReadCount();
    const int32_t verticalAlign = Number();
    const int32_t justification = Number();
    const int32_t width = Number();
    const size_t base = s_items.size();
    ReadRowChildrenToEnd();
    const int32_t stops = ReadCount();
    uint16_t tabStops[kTabStopCount];
    for (int32_t i = 0; i < stops; ++i) {
        const int32_t kind = Number();
        int32_t position = Number();
        if (i >= kTabStopCount)
            continue;
        if (stops == kTabStopCount && position == 7808)
            position = 8191;
        tabStops[i] = static_cast<uint16_t>(((position & 0x1FFF) << 3) | (kind & 7));
    }
    for (int32_t i = stops; i < kTabStopCount; ++i)
        tabStops[i] = 0xFFF8; // no stop: every position bit set
    const int32_t follow = Number();
    (void)Number();
    (void)Number();
    SkipToClose();

    const size_t n = s_items.size() - base;
    OwnedNode<eDxString> row = NewDxString(static_cast<int32_t>(n), nullptr);
    stamp.apply(row.get());
    row->m_verticalAlign = static_cast<uint8_t>(verticalAlign);
    row->m_justification = static_cast<uint8_t>(justification);
    row->m_width = width;
    std::copy(tabStops, tabStops + kTabStopCount, row->m_tabStops);
    row->m_followRuler = static_cast<uint8_t>(follow);
    for (size_t i = 0; i < n; ++i)
        row->setChild(static_cast<int32_t>(i), std::move(s_items[base + i]));
    s_items.erase(s_items.begin() + static_cast<std::ptrdiff_t>(base), s_items.end());
    return ExprPtr(row.release());
}

// "[" rows columns kind, or the pile "{" n kind: the cells in row-major order, then for a ruled
// matrix its attributes.
ExprPtr ReadGrid(bool pile) {
    const Stamp stamp;
    const int32_t rows = Number();
    const int32_t columns = pile ? 1 : Number();
    const int32_t kind = s_in.oldFormat ? (pile ? 1 : 0) : Number();
    if (rows < 1 || columns < 1 ||
        static_cast<int64_t>(rows) * columns > static_cast<int64_t>(kMaxEncodingChildren))
        Corrupt();
    const bool ruled = pile ? kind != 1 : kind == 1;
    ExprPtr node;
    eDxMatrix* dx = nullptr;
    if (ruled) {
        OwnedNode<eDxMatrix> grid = NewDxMatrix(rows, columns, nullptr);
        dx = grid.get();
        node = ExprPtr(grid.release());
    } else {
        node = ExprPtr(NewSimpMatrix(rows, columns).release());
    }
    if (node == nullptr)
        Corrupt();
    stamp.apply(node.get());
    FillSlots(node.get());
    if (dx != nullptr && pile) {
        dx->m_hAlign = static_cast<uint8_t>(kind);
    } else if (dx != nullptr) {
        dx->m_vAlign = static_cast<uint8_t>(Number());
        dx->m_hAlign = static_cast<uint8_t>(Number());
        dx->m_separateRows = static_cast<uint8_t>(Number());
        dx->m_separateColumns = static_cast<uint8_t>(Number());
        (void)Number();
        dx->m_tight = static_cast<uint8_t>(Number());
        (void)Number();
        (void)Number();
        for (uint32_t& word : dx->m_hStyles)
            word = static_cast<uint32_t>(Number());
        for (uint32_t& word : dx->m_vStyles)
            word = static_cast<uint32_t>(Number());
    }
    if (s_in.oldFormat) {
        if (Need() != (pile ? '}' : ']'))
            Corrupt();
    } else {
        SkipToClose();
    }
    return node;
}

// "~" n codes, then "}" (codes in little-endian byte order), or another letter and a skip to "}"
// ("B": the codes are big-endian).
// `intoRow`: the words after the first wait in the pending list for the row being read;
// otherwise several words come back as a row of their own.
ExprPtr ReadDoubleByte(bool intoRow) {
    const Stamp stamp;
    const int32_t n = ReadCount();
    std::vector<int32_t> codes;
    for (int32_t i = 0; i < n; ++i)
        codes.push_back(Number() & 0xFFFF);
    const int order = Need();
    if (order != '}')
        SkipToClose();
    std::string bytes;
    for (const int32_t code : codes) {
        const int32_t first = order == 'B' ? code >> 8 : code & 0xFF;
        const int32_t second = order == 'B' ? code & 0xFF : code >> 8;
        if (first == 0 || second == 0)
            Corrupt(); // a zero byte would end the text
        bytes.push_back(static_cast<char>(first));
        bytes.push_back(static_cast<char>(second));
    }
    if (bytes.empty())
        Corrupt();
    std::vector<ExprPtr> words = NewAsianWords(bytes, s_in.style, s_in.colour);
    for (ExprPtr& word : words)
        stamp.apply(word.get());
    if (words.size() == 1)
        return std::move(words.front());
    if (!intoRow)
        return MakeRow(stamp, words);
    for (size_t i = 1; i < words.size(); ++i)
        s_pending.push_back(std::move(words[i]));
    return std::move(words.front());
}

ExprPtr ReadPicture() {
    std::unique_ptr<WinUfo> picture;
    if (s_pictureReader != nullptr) {
        // The picture code reads the stream itself, from the position reached so far.
        HandBackPosition();
        s_in.handedOver = true;
        picture = s_pictureReader(*s_in.stream);
        s_in.handedOver = false;
        TakePosition();
    }
    SkipToClose();
    OwnedNode<eUFO> ufo = NewUFO(std::move(picture), &DefaultStyle, 255);
    return ExprPtr(ufo.release());
}

ExprPtr ReadOldFence() {
    const Stamp stamp;
    const int32_t n = Number();
    if (n == 0) {
        (void)Number();
    } else if (n == 1) {
        for (int c = Need(); c != '~'; c = Need())
            if (c == '{')
                (void)Number();
    }
    ExprPtr child = AsRow(ParseExprTree(false, false));
    OwnedNode<eFence> fence = NewFence(std::move(child), 17);
    stamp.apply(fence.get());
    SkipToClose();
    return ExprPtr(fence.release());
}

// The extended records: a node, or null when the record only changed the state.
ExprPtr ReadExtended() {
    const int letter = Need();
    switch (letter) {
    case 'b': {
        const int32_t red = Number();
        const int32_t green = Number();
        const int32_t blue = Number();
        if (red < 0) {
            s_background = EncodingBackground{};
        } else {
            s_background.red = static_cast<uint8_t>(red);
            s_background.green = static_cast<uint8_t>(green);
            s_background.blue = static_cast<uint8_t>(blue);
            s_background.none = false;
        }
        SkipToClose();
        return ExprPtr();
    }
    case 'f':
        s_in.colour = static_cast<uint8_t>(Number());
        SkipToClose();
        return ExprPtr();
    case 'g':
        return ReadPicture();
    case 'h':
        return ReadOldFence();
    default:
        SkipToClose();
        return ExprPtr();
    }
}

ExprPtr ParseExprTree(bool listMode, bool single, bool rowItem) {
    const DepthGuard depth;
    // A large document takes seconds to read: the user, and a termination signal, can stop it.
    // Every 64th node asks, which costs nothing next to the reading.
    if ((++s_readSteps & 63) == 0)
        HookCheckUserAbort();
    if (listMode && !s_pending.empty()) {
        ExprPtr next = std::move(s_pending.front());
        s_pending.pop_front();
        return next;
    }
    for (;;) {
        const int c = Need();
        if (IsLetter(c) || IsDigit(c))
            return ReadLetterRun(c, single);
        switch (c) {
        case ',':
        case '-':
        case '.':
        case '/':
            return ReadEscapedByte(c);
        case ' ':
            return MakePseudo(kPseudoSpace);
        case '!':
            return MakePseudo(kPseudoThinSpace);
        case '\'':
            return MakePseudo(static_cast<unsigned char>(Number()));
        case '"':
            ReadFontDefinition();
            break;
        case ':':
            ReadFontSelect();
            break;
        case ';':
            s_in.style.size = Number();
            s_in.packedStale = true;
            break;
        case '&':
            s_in.styleBits = Number();
            UnpackStyleBits(s_in.styleBits, s_in.style);
            s_in.packedStale = true;
            break;
        case '=':
            ReadOldStyle();
            break;
        case '@':
            s_in.nudgeX = Number();
            s_in.nudgeY = Number();
            break;
        case '`':
            if (ExprPtr node = ReadExtended())
                return node;
            break;
        case '|':
            SkipTo('|');
            break;
        case '(':
            return ReadRow();
        case '^':
            return ReadOneElementRow();
        case '_':
            return RowOfItems(Stamp(), s_items.size());
        case '<':
            return ReadTemplate();
        case '$':
            return ReadPlainScripts();
        case ')':
            return ReadRuledRow();
        case '[':
            return ReadGrid(false);
        case '{':
            return ReadGrid(true);
        case '~':
            return ReadDoubleByte(listMode || rowItem);
        case '}':
            if (listMode)
                return ExprPtr();
            Corrupt();
        default:
            if (c < 0x20 || c > 0x7E)
                Corrupt();
            SkipToClose(); // a record of a newer program
            break;
        }
    }
}

// A link path: child indices from the root, ended by -9; null when it leads to no row.
eString* ReadPath(eExpr* root) {
    eExpr* node = root;
    bool valid = true;
    for (int32_t steps = 0;; ++steps) {
        const int c = Need();
        UnGet(c);
        if (c == '}' || steps > kMaxEncodingDepth * 4)
            return nullptr; // the skip to '}' ends the record
        const int32_t i = Number();
        if (i == -9)
            return valid && node->isString() ? static_cast<eString*>(node) : nullptr;
        if (valid && i >= 0 && i < node->childCount() && node->getChild(i) != nullptr)
            node = node->getChild(i);
        else
            valid = false;
    }
}

void ExpectText(const char* text) {
    for (const char* p = text; *p != '\0'; ++p)
        if (Get() != static_cast<unsigned char>(*p))
            Corrupt();
}

} // namespace

const EncodingBackground& LastEncodingBackground() {
    return s_background;
}

int32_t NewerVersionNotesShown() {
    return s_versionNotes;
}

ExprPtr ReadExprEncoding(oIStream& stream) {
    s_in = ReaderState{};
    s_in.stream = &stream;
    // Memory streams (data resources are memory streams too) are read through their bytes.
    if (typeid(stream) == typeid(oIMemoryStream) || typeid(stream) == typeid(oIDataFileStream)) {
        auto* memory = static_cast<oIMemoryStream*>(&stream);
        if (memory->end() - memory->start() <= INT32_MAX) {
            s_in.memory = memory;
            s_in.start = memory->start();
            s_in.at = memory->current();
            s_in.end = memory->end();
        }
    }
    InitFSSRecord(s_in.style);
    SetFSSFontName(s_in.style, "");
    s_in.style.size = -1;
    s_background = EncodingBackground{};
    s_versionNotes = 0;
    s_pending.clear();
    ClearFonts();
    s_items.clear();
    // Words held back for a row that a failure abandoned go with it, and so do the children of
    // the rows it left unfinished. The stream is left where the read stopped.
    struct Cleanup {
        ~Cleanup() {
            s_pending.clear();
            s_items.clear();
            if (!s_in.handedOver)
                HandBackPosition();
            s_in.memory = nullptr;
        }
    } cleanup;

    ExpectText(kEncodingStart);
    const int c = Need();
    if (c == '#') {
        if (Number() > kNewestReadableVersion) {
            NoteAlert(kNewerVersionNote);
            ++s_versionNotes;
        }
    } else {
        UnGet(c);
        s_in.oldFormat = true;
    }
    ExprPtr root = ParseExprTree(false, false);
    for (;;) {
        const int d = Need();
        if (d != '`') {
            UnGet(d);
            break;
        }
        if (Need() != 'c')
            Corrupt();
        eString* from = ReadPath(root.get());
        eString* to = ReadPath(root.get());
        SkipToClose();
        if (from != nullptr && to != nullptr)
            LinkRows(from, to);
    }
    ExpectText(kEncodingEnd);
    return root;
}

ExprPtr ReadExprEncodingFromMemory(const void* buffer, size_t length) {
    if (buffer == nullptr || length > 0x7FFFFFFFu)
        Fail(errDataCorrupted);
    oIStreamPtr stream(NewIMemoryStream(buffer, static_cast<uint32_t>(length)));
    return ReadExprEncoding(*stream);
}

// ---- Finding an encoding in other text ---------------------------------------------------------

namespace {

// Text in which an encoding is looked for runs to megabytes: the user, and a termination signal,
// can stop its passes.
void pollEvery(size_t& sinceAsked) {
    if (++sinceAsked == 64 * 1024) {
        sinceAsked = 0;
        HookCheckUserAbort();
    }
}

// Unescapes HTML text from the start marker on: the entities amp, gt, lt and quot; line ends are
// dropped; a backslash escapes a quote (raw or as an entity), a line end or a backslash and is
// otherwise an ordinary encoding character. Any other entity ends the copy.
std::string UnescapeHtml(std::string_view text) {
    static constexpr struct {
        std::string_view name;
        char value;
    } kEntities[] = {{"amp;", '&'}, {"gt;", '>'}, {"lt;", '<'}, {"quot;", '"'}};
    std::string out;
    out.reserve(text.size());
    size_t sinceAsked = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        pollEvery(sinceAsked);
        const char c = text[i];
        if (c == '&') {
            const std::string_view rest = text.substr(i + 1);
            bool known = false;
            for (const auto& entity : kEntities) {
                if (rest.substr(0, entity.name.size()) == entity.name) {
                    out.push_back(entity.value);
                    i += entity.name.size();
                    known = true;
                    break;
                }
            }
            if (!known)
                break;
        } else if (c == '\n' || c == '\r') {
            continue;
        } else if (c == '\\' && i + 1 < text.size()) {
            const char next = text[i + 1];
            const bool quote = next == '"' || next == '\'' || text.substr(i + 1, 6) == "&quot;";
            if (next == '\\') {
                out.push_back('\\');
                ++i;
            } else if (!quote && next != '\r' && next != '\n') {
                out.push_back('\\');
            }
        } else {
            out.push_back(c);
        }
    }
    return out;
}

int Base64Value(char c) {
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '@' || c == '/')
        return 63;
    return -1;
}

int32_t s_embeddedDepth = 0;

// A damaged encoding in text is passed over, but a read the user or a termination signal stopped
// stops the search too.
void FailIfStopped(int16_t code) {
    if (code == errUserInterrupt)
        Fail(code);
}

} // namespace

bool DecodeB64(const char* text, size_t length, std::string& out) {
    out.clear();
    uint32_t bits = 0;
    int count = 0;
    size_t sinceAsked = 0;
    for (size_t i = 0; i < length; ++i) {
        pollEvery(sinceAsked);
        const char c = text[i];
        if (c == '=')
            break;
        if (c == '\r' || c == '\n' || c == ' ' || c == '\t')
            continue;
        const int v = Base64Value(c);
        if (v < 0) {
            out.clear();
            return false;
        }
        bits = (bits << 6) | static_cast<uint32_t>(v);
        count += 6;
        if (count >= 8) {
            count -= 8;
            out.push_back(static_cast<char>((bits >> count) & 0xFF));
        }
    }
    return true;
}

ExprPtr FindEmbeddedEncoding(const char* text, size_t length) {
    if (text == nullptr)
        return ExprPtr();
    const std::string_view all(text, length);
    const size_t start = all.find(kEncodingStart);
    if (start == std::string_view::npos)
        return ExprPtr();
    const size_t end = all.find(kEncodingEnd, start);
    if (end == std::string_view::npos)
        return ExprPtr();
    const size_t stop = end + std::strlen(kEncodingEnd);

    if (all.find("exprcode") != std::string_view::npos) {
        const std::string copy = UnescapeHtml(all.substr(start));
        return ReadExprEncodingFromMemory(copy.data(), copy.size());
    }
    const size_t body = start + std::strlen(kEncodingStart);
    if (all.substr(body, 3) == "B64") {
        std::string decoded;
        if (!DecodeB64(text + body + 3, end - body - 3, decoded))
            return ExprPtr();
        // Each level of base64 is shorter than the last; the bound only guards the stack.
        if (s_embeddedDepth >= 8)
            return ExprPtr();
        ExprPtr root;
        ++s_embeddedDepth;
        const int16_t code =
            CatchFail([&] { root = FindEmbeddedEncoding(decoded.data(), decoded.size()); });
        --s_embeddedDepth;
        FailIfStopped(code);
        return root;
    }
    ExprPtr root;
    FailIfStopped(
        CatchFail([&] { root = ReadExprEncodingFromMemory(text + start, stop - start); }));
    return root;
}

// ---- The encoding after a bitmap's pixels ------------------------------------------------------

namespace {

uint32_t Le16(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8;
}

uint32_t Le32(const uint8_t* p) {
    return Le16(p) | Le16(p + 2) << 16;
}

// Bytes of header, colour table and pixel bits; 0 when the header is inconsistent.
uint64_t DibBitsEnd(const uint8_t* dib, size_t size) {
    if (size < 12)
        return 0;
    const uint32_t headerSize = Le32(dib);
    int64_t width = 0;
    int64_t height = 0;
    uint32_t bitCount = 0;
    uint32_t compression = 0;
    uint32_t imageSize = 0;
    uint64_t colours = 0;
    uint64_t entrySize = 4;
    if (headerSize == 12) {
        width = Le16(dib + 4);
        height = Le16(dib + 6);
        bitCount = Le16(dib + 10);
        entrySize = 3;
    } else if (headerSize >= 40 && headerSize <= size) {
        width = static_cast<int32_t>(Le32(dib + 4));
        height = static_cast<int32_t>(Le32(dib + 8));
        bitCount = Le16(dib + 14);
        compression = Le32(dib + 16);
        imageSize = Le32(dib + 20);
        colours = Le32(dib + 32);
    } else {
        return 0;
    }
    if (colours == 0 && bitCount >= 1 && bitCount <= 8)
        colours = uint64_t(1) << bitCount;
    uint64_t end = headerSize + colours * entrySize;
    if (headerSize == 40 && compression == 3)
        end += 12; // the three channel masks
    if (compression == 0 || compression == 3) {
        if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 16 && bitCount != 24 &&
            bitCount != 32)
            return 0;
        if (width <= 0 || height == 0)
            return 0;
        const uint64_t rowBytes = (static_cast<uint64_t>(width) * bitCount + 31) / 32 * 4;
        end += rowBytes * static_cast<uint64_t>(height < 0 ? -height : height);
    } else if (compression == 1 || compression == 2) {
        if (imageSize == 0)
            return 0;
        end += imageSize;
    } else {
        return 0;
    }
    return end;
}

} // namespace

ExprPtr ReadEncodingFromDib(const void* dib, size_t size) {
    if (dib == nullptr)
        return ExprPtr();
    const auto* bytes = static_cast<const uint8_t*>(dib);
    const uint64_t end = DibBitsEnd(bytes, size);
    if (end == 0 || end >= size)
        return ExprPtr();
    ExprPtr root;
    FailIfStopped(CatchFail([&] {
        root = FindEmbeddedEncoding(reinterpret_cast<const char*>(bytes + end),
                                    static_cast<size_t>(size - end));
    }));
    return root;
}
