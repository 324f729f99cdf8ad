#pragma once
// The data of the program's embedded object as other programs keep it: the object's storage (a
// compound file with "\1CompObj", "\1Ole" and the expression encoding in "Contents"), the object
// descriptor offered beside it on the clipboard, and the older packet form that rich text
// carries in its object data.

#include "OverSrcs/eObject.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The program's fixed class id, its programmatic id and the names it registers.
inline constexpr const char* kKorvalineClassId = "{6B1F3C2A-4E8D-4B7A-9C35-2F0D8E71A4C6}";
inline constexpr const char* kKorvalineProgId = "Tessaron.Korvaline";
inline constexpr const char* kKorvalineUserType = "Korvaline Equation";
inline constexpr const char* kKorvalineFormatName = "Korvaline Expression";
inline constexpr const char* kEmbedSourceFormatName = "Embed Source";
inline constexpr const char* kObjectDescriptorFormatName = "Object Descriptor";

// The object's storage for an encoding (the text without its terminator).
std::vector<std::uint8_t> EmbeddedObjectStorage(const std::string& encoding);

// The object descriptor: class id, content aspect, the size in hundredths of a millimetre, the
// user type and the source, both as UTF-16 text.
std::vector<std::uint8_t> ObjectDescriptorBytes(std::int32_t widthHimetric,
                                                std::int32_t heightHimetric,
                                                const std::string& source);

// The embedded-object packet of rich text: version, "embedded", the class name, empty topic and
// item, then the native data (the storage).
std::vector<std::uint8_t> EmbeddedObjectPacket(const std::vector<std::uint8_t>& native);
// The native data of such a packet; false when the packet is not an embedded object or does not
// fit its bytes.
bool PacketNativeData(const std::uint8_t* bytes, std::size_t size,
                      std::vector<std::uint8_t>& native);

// The expression an object's storage holds: the encoding of its "Contents" stream, else the MTEF
// equation of its "Equation Native" stream; null when neither reads.
ExprPtr ExprFromObjectStorage(const std::uint8_t* bytes, std::size_t size);
