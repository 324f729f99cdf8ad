#include "OverSrcs/documents/MTEF5Parser.h"

#include "OverSrcs/documents/MTEF5Converter.h"
#include "OverSrcs/documents/MTEF5Records.h"
#include "OverSrcs/documents/MTEF5Stream.h"
#include "OverSrcs/oGraph.h"

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

namespace MTEF5 {
namespace {

class Parser {
public:
    Parser(Stream& in, int version)
        : m_in(in)
        , m_v5(version == 5) {}

    // Records up to END into the list; false on any fault.
    bool list(std::vector<std::unique_ptr<Record>>& out, int depth) {
        return records(out, depth, false);
    }

    // The top level: records until the closing END.
    bool top(std::vector<std::unique_ptr<Record>>& out) { return records(out, 1, true); }

private:
    // One loop for both levels: a nested list keeps embellishments too; the top level keeps the
    // equation's items only. Either ends at END, and data cut short is rejected.
    bool records(std::vector<std::unique_ptr<Record>>& out, int depth, bool topLevel) {
        if (depth > kMaxDepth)
            return false;
        while (!topLevel || !m_in.atEnd()) {
            if (++m_records > kMaxRecords || m_in.bad())
                return false;
            int type = 0;
            int options = 0;
            tag(type, options);
            if (m_in.bad())
                return false;
            if (type == kEnd)
                return true;
            auto r = std::make_unique<Record>();
            r->type = type;
            r->colour = m_colour;
            if (!record(*r, options, depth))
                return false;
            if (type == kLine || type == kChar || type == kTmpl || type == kPile ||
                type == kMatrix || (type == kEmbell && !topLevel))
                out.push_back(std::move(r));
        }
        return false;
    }

    // Option bits, by version.
    int optNudge() const { return 0x08; }
    int optEmbell() const { return m_v5 ? 0x01 : 0x02; }
    int optNull() const { return 0x01; }
    int optRuler() const { return 0x02; }
    int optSpacing() const { return 0x04; }

    void tag(int& type, int& options) {
        const uint8_t t = m_in.u8();
        if (m_v5) {
            type = t;
            // Records without an options byte.
            if (t == kEnd || t == kRuler || t == kFont || t == kSize ||
                (t >= kFull && t <= kSubSym) || t == kColor || t == kFontDef || t == kEncodingDef ||
                t >= kFuture)
                options = 0;
            else
                options = m_in.u8();
        } else {
            type = t & 15;
            options = t >> 4;
        }
    }

    void nudge(int options) {
        if ((options & optNudge()) == 0)
            return;
        const uint8_t dx = m_in.u8();
        const uint8_t dy = m_in.u8();
        if (dx == 128 && dy == 128)
            m_in.skip(4);
    }

    void ruler() {
        const uint8_t stops = m_in.u8();
        m_in.skip(static_cast<size_t>(stops) * 3);
    }

    bool record(Record& r, int options, int depth) {
        // Colours, colour, font and encoding definitions and the preferences came with version 5:
        // an older stream holding one is damaged.
        if (!m_v5 && r.type >= kColor && r.type <= kEncodingDef)
            return false;
        switch (r.type) {
        case kLine:
            nudge(options);
            // The spacing to the line above, a 16-bit dimension in 32nds of a point.
            if (options & optSpacing())
                m_in.u16();
            if (options & optRuler()) {
                if (m_in.u8() != kRuler)
                    return false;
                ruler();
            }
            r.nullLine = (options & optNull()) != 0;
            if (!r.nullLine)
                return list(r.children, depth + 1);
            return !m_in.bad();
        case kChar: {
            nudge(options);
            r.typeface = m_v5 ? m_in.sint() : static_cast<int>(m_in.u8()) - 128;
            if (m_v5) {
                // Only the position in the font, without the character's own code.
                r.fontPosition = (options & 0x20) != 0;
                if ((options & 0x20) == 0)
                    r.character = m_in.u16();
                if (options & 0x04) {
                    const uint8_t c = m_in.u8();
                    if (options & 0x20)
                        r.character = c;
                }
                if (options & 0x10) {
                    const uint16_t c = m_in.u16();
                    if (options & 0x20)
                        r.character = c;
                }
            } else {
                r.character = m_in.u16();
            }
            if (options & optEmbell()) {
                std::vector<std::unique_ptr<Record>> embells;
                if (!list(embells, depth + 1))
                    return false;
                for (const auto& e : embells) {
                    if (e->type != kEmbell)
                        return false;
                    r.embells.push_back(e->selector);
                }
            }
            return !m_in.bad();
        }
        case kTmpl:
            nudge(options);
            r.selector = m_in.u8();
            r.variation = m_in.u8();
            if (m_v5 && (r.variation & 0x80) != 0)
                r.variation = (r.variation & 0x7F) | m_in.u8() << 8;
            m_in.u8(); // template-specific options
            return list(r.children, depth + 1);
        case kPile:
            nudge(options);
            r.halign = m_in.u8();
            m_in.u8(); // vertical alignment in the line
            if (options & optRuler()) {
                if (m_in.u8() != kRuler)
                    return false;
                ruler();
            }
            return list(r.children, depth + 1);
        case kMatrix: {
            nudge(options);
            m_in.u8(); // vertical alignment in the line
            r.halign = m_in.u8();
            m_in.u8(); // vertical justification in the rows
            r.rows = m_in.u8();
            r.columns = m_in.u8();
            partitions(r.rowParts, r.rows + 1);
            partitions(r.colParts, r.columns + 1);
            return list(r.children, depth + 1);
        }
        case kEmbell:
            nudge(options);
            r.selector = m_in.u8();
            return !m_in.bad();
        case kRuler:
            ruler();
            return !m_in.bad();
        case kFont:
            if (m_v5) {
                m_in.uint();
                m_in.u8();
            } else {
                m_in.u8();
                m_in.u8();
                m_in.skipString();
            }
            return !m_in.bad();
        case kSize: {
            const uint8_t first = m_in.u8();
            if (first == 101) {
                m_in.u16();
            } else if (first == 100) {
                m_in.u8();
                m_in.u16();
            } else {
                m_in.u8();
            }
            return !m_in.bad();
        }
        case kColor: {
            // The records after it take the colour of that definition (counted from 1).
            const uint32_t index = m_in.uint();
            if (index < 1 || index > m_colours.size())
                return false;
            m_colour = m_colours[index - 1];
            return !m_in.bad();
        }
        case kColorDef:
            m_colours.push_back(colourDefinition(options));
            if (options & 0x04)
                m_in.skipString();
            return !m_in.bad();
        case kFontDef:
            m_in.uint();
            m_in.skipString();
            return !m_in.bad();
        case kEncodingDef:
            m_in.skipString();
            return !m_in.bad();
        case kEqnPrefs:
            return prefs();
        default:
            if (r.type >= kFull && r.type <= kSubSym)
                return true;
            if (m_v5 && r.type >= kFuture) {
                // An unsigned integer counts the bytes that follow.
                m_in.skip(m_in.uint());
                return !m_in.bad();
            }
            return false;
        }
    }

    // Dimension arrays: a count, then values written as nibbles, each value ending with 0xF.
    bool dimensions() {
        uint32_t count = m_in.u8();
        bool high = true;
        uint8_t byte = 0;
        while (count > 0 && !m_in.bad()) {
            if (high)
                byte = m_in.u8();
            const int nibble = high ? byte >> 4 : byte & 15;
            high = !high;
            if (nibble == 0xF)
                --count;
        }
        return !m_in.bad();
    }

    // Red, green and blue, or cyan, magenta, yellow and black, each 0 to 1000; as a 3-3-2 byte.
    uint8_t colourDefinition(int options) {
        auto level = [this] { return std::min<int>(m_in.u16(), 1000); };
        Color c;
        if (options & 0x01) {
            const int cyan = level();
            const int magenta = level();
            const int yellow = level();
            const int black = level();
            auto ink = [black](int v) {
                return static_cast<uint8_t>(255LL * (1000 - v) * (1000 - black) / 1000000);
            };
            c = Color{ink(cyan), ink(magenta), ink(yellow), 255};
        } else {
            const int red = level();
            const int green = level();
            const int blue = level();
            c = Color{static_cast<uint8_t>(red * 255 / 1000),
                      static_cast<uint8_t>(green * 255 / 1000),
                      static_cast<uint8_t>(blue * 255 / 1000), 255};
        }
        return RgbaToRgb332(c);
    }

    // Partition line styles: two bits for each line, four lines to a byte from the low bits up,
    // the list rounded out to whole bytes.
    void partitions(std::vector<uint8_t>& out, int lines) {
        uint8_t byte = 0;
        for (int i = 0; i < lines && !m_in.bad(); ++i) {
            if (i % 4 == 0)
                byte = m_in.u8();
            out.push_back(static_cast<uint8_t>((byte >> (2 * (i % 4))) & 3));
        }
    }

    bool prefs() {
        if (!dimensions() || !dimensions())
            return false;
        // A byte count of style definitions: a font definition index (0 for a style the equation
        // does not use), then for a used one its character style byte.
        const uint8_t styles = m_in.u8();
        for (uint32_t i = 0; i < styles && !m_in.bad(); ++i)
            if (m_in.uint() != 0)
                m_in.u8();
        return !m_in.bad();
    }

    Stream& m_in;
    bool m_v5;
    std::vector<uint8_t> m_colours;
    uint8_t m_colour = 0;
    int m_records = 0;
};

} // namespace
} // namespace MTEF5

ExprPtr ReadMtefDocument(const uint8_t* bytes, size_t length) {
    using namespace MTEF5;
    if (bytes == nullptr)
        return nullptr;
    // The OLE "Equation Native" header: its own size (28) and version 0x00020000.
    if (length >= 28 && bytes[0] == 28 && bytes[1] == 0 && bytes[2] == 0 && bytes[3] == 0 &&
        bytes[4] == 2 && bytes[5] == 0) {
        bytes += 28;
        length -= 28;
    }
    Stream in(bytes, length);
    const int version = in.u8();
    if (version < 3 || version > 5)
        return nullptr;
    in.skip(4); // platform, product, product version, subversion
    if (version == 5) {
        in.skipString(); // application key
        in.u8();         // equation options
    }
    if (in.bad())
        return nullptr;
    Parser parser(in, version);
    std::vector<std::unique_ptr<Record>> records;
    if (!parser.top(records) || records.empty())
        return nullptr;
    return ConvertEquation(std::move(records), version == 5);
}
