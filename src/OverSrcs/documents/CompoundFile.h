#pragma once
// A minimal compound file ("structured storage"): one root storage holding streams. The writer
// makes version 3 files (512-byte sectors, streams under 4096 bytes in the mini stream); the
// reader also takes version 4 (4096-byte sectors). The reader checks every sector chain for range
// and loops and every size against the file, so damaged or hostile bytes give false, never a read
// outside the buffer or an endless walk.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct CompoundStream {
    std::string name; // Latin-1 characters (names such as "\1CompObj" start with a control code)
    std::vector<std::uint8_t> data;
};

struct CompoundFile {
    std::array<std::uint8_t, 16> rootClassId{}; // the storage's class id, as stored
    std::vector<CompoundStream> streams;        // the root's streams (sub-storages are not kept)

    const CompoundStream* find(const std::string& name) const;
};

// Limits of the reader.
inline constexpr std::size_t kCompoundFileMaxBytes = 64u << 20;
inline constexpr std::size_t kCompoundFileMaxEntries = 4096;

std::vector<std::uint8_t> WriteCompoundFile(const CompoundFile& file);
// False when the bytes are not a compound file this reader can take whole.
bool ReadCompoundFile(const std::uint8_t* bytes, std::size_t size, CompoundFile& out);

// A class id in its registry text form "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" as the 16 bytes
// stored in files (first three groups little-endian); all zero when the text is malformed.
std::array<std::uint8_t, 16> ClassIdBytes(const char* text);
