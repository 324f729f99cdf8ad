#include "OverSrcs/documents/OleData.h"

#include "OverPc/PERROR.h"
#include "OverSrcs/documents/CompoundFile.h"
#include "OverSrcs/documents/MTEF5Parser.h"
#include "OverSrcs/etEncode.h"

#include <cstring>

namespace {

constexpr std::uint32_t kPacketVersion = 0x00000501;
constexpr std::uint32_t kPacketEmbedded = 2;
// Class, topic and item names longer than this are not names.
constexpr std::uint32_t kMaxPacketName = 1024;

void put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

void putAnsi(std::vector<std::uint8_t>& out, const std::string& text) {
    put32(out, static_cast<std::uint32_t>(text.size() + 1));
    out.insert(out.end(), text.begin(), text.end());
    out.push_back(0);
}

void putUtf16(std::vector<std::uint8_t>& out, const std::string& text) {
    for (const char c : text) {
        out.push_back(static_cast<std::uint8_t>(c));
        out.push_back(0);
    }
    out.push_back(0);
    out.push_back(0);
}

void putCountedUtf16(std::vector<std::uint8_t>& out, const std::string& text) {
    put32(out, static_cast<std::uint32_t>(text.size() + 1));
    putUtf16(out, text);
}

std::uint32_t get32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

std::vector<std::uint8_t> compObjStream() {
    std::vector<std::uint8_t> out;
    put32(out, 0xFFFE0001u);
    put32(out, 0x00000A03u);
    put32(out, 0xFFFFFFFFu);
    const auto id = ClassIdBytes(kKorvalineClassId);
    out.insert(out.end(), id.begin(), id.end());
    putAnsi(out, kKorvalineUserType);
    putAnsi(out, kKorvalineFormatName);
    putAnsi(out, kKorvalineProgId);
    put32(out, 0x71B239F4u);
    putCountedUtf16(out, kKorvalineUserType);
    putCountedUtf16(out, kKorvalineFormatName);
    putCountedUtf16(out, kKorvalineProgId);
    return out;
}

std::vector<std::uint8_t> oleStream() {
    std::vector<std::uint8_t> out;
    put32(out, 0x02000001u); // version
    put32(out, 0);           // embedded, not linked
    put32(out, 0);           // update option
    put32(out, 0);
    put32(out, 0); // no moniker
    return out;
}

} // namespace

std::vector<std::uint8_t> EmbeddedObjectStorage(const std::string& encoding) {
    CompoundFile file;
    file.rootClassId = ClassIdBytes(kKorvalineClassId);
    file.streams.push_back({"\1CompObj", compObjStream()});
    file.streams.push_back({"\1Ole", oleStream()});
    std::vector<std::uint8_t> contents(encoding.begin(), encoding.end());
    contents.push_back(0);
    file.streams.push_back({"Contents", std::move(contents)});
    return WriteCompoundFile(file);
}

std::vector<std::uint8_t> ObjectDescriptorBytes(std::int32_t widthHimetric,
                                                std::int32_t heightHimetric,
                                                const std::string& source) {
    constexpr std::uint32_t kFixedSize = 52;
    const std::string userType = kKorvalineUserType;
    std::vector<std::uint8_t> out;
    const auto total = static_cast<std::uint32_t>(kFixedSize + 2 * (userType.size() + 1) +
                                                  2 * (source.size() + 1));
    put32(out, total);
    const auto id = ClassIdBytes(kKorvalineClassId);
    out.insert(out.end(), id.begin(), id.end());
    put32(out, 1); // the content aspect
    put32(out, static_cast<std::uint32_t>(widthHimetric));
    put32(out, static_cast<std::uint32_t>(heightHimetric));
    put32(out, 0); // the point where the object was grabbed
    put32(out, 0);
    put32(out, 0); // status
    put32(out, kFixedSize);
    put32(out, static_cast<std::uint32_t>(kFixedSize + 2 * (userType.size() + 1)));
    putUtf16(out, userType);
    putUtf16(out, source);
    return out;
}

std::vector<std::uint8_t> EmbeddedObjectPacket(const std::vector<std::uint8_t>& native) {
    std::vector<std::uint8_t> out;
    put32(out, kPacketVersion);
    put32(out, kPacketEmbedded);
    putAnsi(out, kKorvalineProgId);
    put32(out, 0); // topic
    put32(out, 0); // item
    put32(out, static_cast<std::uint32_t>(native.size()));
    out.insert(out.end(), native.begin(), native.end());
    // No presentation data: the rich text carries the picture itself.
    put32(out, kPacketVersion);
    put32(out, 0);
    return out;
}

bool PacketNativeData(const std::uint8_t* bytes, std::size_t size,
                      std::vector<std::uint8_t>& native) {
    native.clear();
    if (bytes == nullptr || size < 8 || get32(bytes + 4) != kPacketEmbedded)
        return false;
    std::size_t at = 8;
    for (int name = 0; name < 3; ++name) { // class, topic, item
        if (size - at < 4)
            return false;
        const std::uint32_t length = get32(bytes + at);
        at += 4;
        if (length > kMaxPacketName || length > size - at)
            return false;
        at += length;
    }
    if (size - at < 4)
        return false;
    const std::uint32_t length = get32(bytes + at);
    at += 4;
    if (length == 0 || length > size - at)
        return false;
    native.assign(bytes + at, bytes + at + length);
    return true;
}

ExprPtr ExprFromObjectStorage(const std::uint8_t* bytes, std::size_t size) {
    CompoundFile file;
    if (!ReadCompoundFile(bytes, size, file))
        return ExprPtr();
    if (const CompoundStream* contents = file.find("Contents")) {
        ExprPtr expr;
        const std::vector<std::uint8_t>& data = contents->data;
        const std::int16_t code = CatchFail([&] {
            if (!data.empty())
                expr = ReadExprEncodingFromMemory(data.data(), data.size());
        });
        if (code == errUserInterrupt)
            Fail(code);
        if (code == 0 && expr)
            return expr;
    }
    if (const CompoundStream* native = file.find("Equation Native")) {
        if (!native->data.empty())
            return ReadMtefDocument(native->data.data(), native->data.size());
    }
    return ExprPtr();
}
