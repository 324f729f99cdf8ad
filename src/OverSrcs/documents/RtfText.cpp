#include "OverSrcs/documents/RtfText.h"

#include "OverPc/PERROR.h"
#include "OverSrcs/documents/CompoundFile.h"
#include "OverSrcs/documents/OleData.h"
#include "OverSrcs/etEncode.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace {

constexpr std::int32_t kTwipsPerInch = 1440;
constexpr std::int32_t kHimetricPerInch = 2540;
constexpr std::size_t kHexLine = 128;

std::int32_t twipsOf(std::int32_t himetric) {
    return static_cast<std::int32_t>(
        (std::int64_t{himetric} * kTwipsPerInch + kHimetricPerInch / 2) / kHimetricPerInch);
}

void appendHex(std::string& out, const std::vector<std::uint8_t>& bytes) {
    static const char digits[] = "0123456789abcdef";
    out.reserve(out.size() + bytes.size() * 2 + bytes.size() / (kHexLine / 2) * 2);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i % (kHexLine / 2) == 0)
            out += "\r\n";
        out += digits[bytes[i] >> 4];
        out += digits[bytes[i] & 15];
    }
}

// Where the control word `word` (with its backslash) starts its destination's text: just past the
// word and its delimiting blank; npos when the text has no such word.
std::size_t destinationStart(const char* text, std::size_t length, const char* word) {
    const std::size_t n = std::strlen(word);
    for (std::size_t at = 0; at + n <= length; ++at) {
        if (std::memcmp(text + at, word, n) != 0)
            continue;
        std::size_t end = at + n;
        if (end < length && std::isalpha(static_cast<unsigned char>(text[end])))
            continue; // a longer control word
        if (end < length && text[end] == ' ')
            ++end;
        return end;
    }
    return std::string::npos;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

std::int32_t RtfObjectShift(std::int32_t alignment, std::int32_t pictureHeight,
                            std::int32_t axisHeight, std::int32_t baseSize) {
    const std::int32_t axis = pictureHeight - axisHeight - baseSize / 4;
    const std::int32_t centre = pictureHeight / 2 - baseSize / 4;
    switch (static_cast<RtfAlignment>(alignment)) {
    case RtfAlignment::MathAxis:
        return axis;
    case RtfAlignment::Centre:
        return centre;
    case RtfAlignment::Between:
        return (axis + centre) / 2;
    case RtfAlignment::Bottom:
        return 0;
    case RtfAlignment::Top:
        return pictureHeight - baseSize * 7 / 10;
    }
    return axis;
}

std::string RtfWithObject(const RtfObject& object) {
    const std::int32_t w = std::max(1, object.widthHimetric);
    const std::int32_t h = std::max(1, object.heightHimetric);
    const std::string tw = std::to_string(std::max(1, twipsOf(w)));
    const std::string th = std::to_string(std::max(1, twipsOf(h)));
    std::string out = "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0 Times New Roman;}}\r\n";
    out += object.shiftHalfPoints >= 0
               ? "{\\dn" + std::to_string(object.shiftHalfPoints)
               : "{\\up" + std::to_string(-std::int64_t{object.shiftHalfPoints});
    out += "{\\object\\objemb\\objw" + tw + "\\objh" + th;
    out += "{\\*\\objclass ";
    out += kKorvalineProgId;
    out += "}{\\*\\objdata";
    appendHex(out, object.packet);
    out += "\r\n}{\\result{\\pict\\emfblip\\picw" + std::to_string(w) + "\\pich" +
           std::to_string(h) + "\\picwgoal" + tw + "\\pichgoal" + th;
    appendHex(out, object.emf);
    out += "\r\n}}}}\r\n{\\*\\kvexpr " + object.token + "}}\r\n";
    return out;
}

std::string RtfExpressionToken(const char* text, std::size_t length) {
    if (text == nullptr)
        return {};
    const std::size_t start = destinationStart(text, length, "\\kvexpr");
    if (start == std::string::npos)
        return {};
    const char* end = static_cast<const char*>(std::memchr(text + start, '}', length - start));
    return std::string(text + start, end != nullptr ? end : text + length);
}

bool RtfObjectData(const char* text, std::size_t length, std::vector<std::uint8_t>& bytes) {
    bytes.clear();
    if (text == nullptr)
        return false;
    std::size_t at = destinationStart(text, length, "\\objdata");
    if (at == std::string::npos)
        return false;
    int high = -1;
    for (; at < length && text[at] != '}'; ++at) {
        const char c = text[at];
        if (c == ' ' || c == '\r' || c == '\n' || c == '\t')
            continue;
        const int v = hexValue(c);
        if (v < 0 || bytes.size() >= kCompoundFileMaxBytes)
            return false;
        if (high < 0) {
            high = v;
        } else {
            bytes.push_back(static_cast<std::uint8_t>(high * 16 + v));
            high = -1;
        }
    }
    return at < length && high < 0 && !bytes.empty();
}

ExprPtr ExprFromRtf(const char* text, std::size_t length) {
    const std::string token = RtfExpressionToken(text, length);
    if (!token.empty()) {
        ExprPtr expr;
        const std::int16_t code =
            CatchFail([&] { expr = FindEmbeddedEncoding(token.data(), token.size()); });
        if (code == errUserInterrupt)
            Fail(code);
        if (code == 0 && expr)
            return expr;
    }
    std::vector<std::uint8_t> packet;
    std::vector<std::uint8_t> native;
    if (!RtfObjectData(text, length, packet) ||
        !PacketNativeData(packet.data(), packet.size(), native))
        return ExprPtr();
    return ExprFromObjectStorage(native.data(), native.size());
}
