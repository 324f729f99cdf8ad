#include "OverSrcs/documents/CompoundFile.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace {

constexpr std::uint8_t kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
constexpr std::uint32_t kFreeSector = 0xFFFFFFFFu;
constexpr std::uint32_t kEndOfChain = 0xFFFFFFFEu;
constexpr std::uint32_t kFatSector = 0xFFFFFFFDu;
constexpr std::uint32_t kNoEntry = 0xFFFFFFFFu;
constexpr std::size_t kHeaderFatSlots = 109;
constexpr std::size_t kEntrySize = 128;
constexpr std::size_t kMiniSectorSize = 64;
constexpr std::size_t kMiniStreamCutoff = 4096;
constexpr std::size_t kWriteSectorSize = 512;

enum EntryType : std::uint8_t { kEmpty = 0, kStorage = 1, kStream = 2, kRoot = 5 };

std::uint16_t get16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t get32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

void put16(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

void put32(std::uint8_t* p, std::uint32_t v) {
    put16(p, v);
    put16(p + 2, v >> 16);
}

std::size_t sectorsFor(std::size_t bytes, std::size_t sectorSize) {
    return (bytes + sectorSize - 1) / sectorSize;
}

// Directory order: shorter names first, then by upper-cased characters.
bool entryNameLess(const std::string& a, const std::string& b) {
    if (a.size() != b.size())
        return a.size() < b.size();
    for (std::size_t i = 0; i < a.size(); ++i) {
        const int ca = std::toupper(static_cast<unsigned char>(a[i]));
        const int cb = std::toupper(static_cast<unsigned char>(b[i]));
        if (ca != cb)
            return ca < cb;
    }
    return false;
}

struct DirEntry {
    std::string name;
    std::uint8_t type = kEmpty;
    std::uint8_t color = 1; // black
    std::uint32_t left = kNoEntry;
    std::uint32_t right = kNoEntry;
    std::uint32_t child = kNoEntry;
    std::uint32_t start = kEndOfChain;
    std::uint64_t size = 0;
    std::array<std::uint8_t, 16> classId{};
};

void writeEntry(std::uint8_t* p, const DirEntry& e) {
    std::memset(p, 0, kEntrySize);
    const std::size_t n = std::min<std::size_t>(e.name.size(), 31);
    for (std::size_t i = 0; i < n; ++i)
        put16(p + 2 * i, static_cast<unsigned char>(e.name[i]));
    if (e.type != kEmpty)
        put16(p + 64, static_cast<std::uint32_t>((n + 1) * 2));
    p[66] = e.type;
    p[67] = e.color;
    put32(p + 68, e.left);
    put32(p + 72, e.right);
    put32(p + 76, e.child);
    std::memcpy(p + 80, e.classId.data(), 16);
    put32(p + 116, e.type == kEmpty ? 0 : e.start);
    put32(p + 120, static_cast<std::uint32_t>(e.size));
}

// Builds a balanced search tree over the sorted entries `order[lo, hi)`; its deepest level is red
// when the tree is not complete, so every path has the same number of black entries.
std::uint32_t buildTree(std::vector<DirEntry>& entries, const std::vector<std::uint32_t>& order,
                        std::size_t lo, std::size_t hi, int depth, std::vector<int>& depths) {
    if (lo >= hi)
        return kNoEntry;
    const std::size_t mid = lo + (hi - lo) / 2;
    const std::uint32_t index = order[mid];
    depths[index] = depth;
    entries[index].left = buildTree(entries, order, lo, mid, depth + 1, depths);
    entries[index].right = buildTree(entries, order, mid + 1, hi, depth + 1, depths);
    return index;
}

// ---- Reading ------------------------------------------------------------------------------------

class Reader {
public:
    Reader(const std::uint8_t* bytes, std::size_t size)
        : m_bytes(bytes)
        , m_size(size) {}

    bool read(CompoundFile& out);

private:
    bool header();
    bool loadFat();
    // Follows a chain of `table` from `start`; every sector must be in `limit`, used by no other
    // chain, and the chain must end after at most `maxLength` entries (or exactly `exact`).
    bool chain(const std::vector<std::uint32_t>& table, std::uint32_t start, std::size_t limit,
               std::vector<bool>& used, std::size_t maxLength, std::vector<std::uint32_t>& out);
    bool regularBytes(std::uint32_t start, std::uint64_t size, std::vector<std::uint8_t>& out);
    bool miniBytes(std::uint32_t start, std::uint64_t size, std::vector<std::uint8_t>& out);
    bool entryAt(std::uint32_t index, DirEntry& e) const;

    const std::uint8_t* m_bytes;
    std::size_t m_size;
    std::size_t m_sectorSize = 512;
    std::size_t m_sectorCount = 0;
    bool m_version4 = false;
    std::vector<std::uint32_t> m_fat;
    std::vector<std::uint32_t> m_miniFat;
    std::vector<bool> m_used;
    std::vector<bool> m_miniUsed;
    std::vector<std::uint8_t> m_directory;
    std::vector<std::uint8_t> m_miniStream;
};

bool Reader::header() {
    if (m_size < 512 || m_size > kCompoundFileMaxBytes ||
        std::memcmp(m_bytes, kSignature, sizeof kSignature) != 0 || get16(m_bytes + 28) != 0xFFFE)
        return false;
    const std::uint16_t major = get16(m_bytes + 26);
    const std::uint16_t shift = get16(m_bytes + 30);
    if (major == 3 && shift == 9)
        m_version4 = false;
    else if (major == 4 && shift == 12)
        m_version4 = true;
    else
        return false;
    if (get16(m_bytes + 32) != 6)
        return false;
    m_sectorSize = std::size_t{1} << shift;
    if (m_size < m_sectorSize)
        return false;
    // A short last sector is kept: reads into it are checked against the end of the bytes.
    m_sectorCount = sectorsFor(m_size - m_sectorSize, m_sectorSize);
    m_used.assign(m_sectorCount, false);
    return true;
}

bool Reader::loadFat() {
    const std::uint32_t fatSectors = get32(m_bytes + 44);
    // Only the header's own slots are read: a file needing more is larger than any this program
    // exchanges.
    if (fatSectors == 0 || fatSectors > kHeaderFatSlots || fatSectors > m_sectorCount)
        return false;
    const std::size_t perSector = m_sectorSize / 4;
    m_fat.reserve(fatSectors * perSector);
    for (std::uint32_t i = 0; i < fatSectors; ++i) {
        const std::uint32_t sector = get32(m_bytes + 76 + 4 * i);
        if (sector >= m_sectorCount || m_used[sector])
            return false;
        m_used[sector] = true;
        const std::size_t at = (std::size_t{sector} + 1) * m_sectorSize;
        if (at + m_sectorSize > m_size)
            return false;
        for (std::size_t k = 0; k < perSector; ++k)
            m_fat.push_back(get32(m_bytes + at + 4 * k));
    }
    return true;
}

bool Reader::chain(const std::vector<std::uint32_t>& table, std::uint32_t start, std::size_t limit,
                   std::vector<bool>& used, std::size_t maxLength,
                   std::vector<std::uint32_t>& out) {
    out.clear();
    std::uint32_t s = start;
    while (s != kEndOfChain) {
        if (s >= table.size() || s >= limit || used[s] || out.size() >= maxLength)
            return false;
        used[s] = true;
        out.push_back(s);
        s = table[s];
    }
    return true;
}

bool Reader::regularBytes(std::uint32_t start, std::uint64_t size, std::vector<std::uint8_t>& out) {
    out.clear();
    if (size == 0)
        return true;
    if (size > m_size)
        return false;
    std::vector<std::uint32_t> sectors;
    const std::size_t needed = sectorsFor(static_cast<std::size_t>(size), m_sectorSize);
    if (!chain(m_fat, start, m_sectorCount, m_used, needed, sectors) || sectors.size() != needed)
        return false;
    out.reserve(static_cast<std::size_t>(size));
    for (const std::uint32_t s : sectors) {
        const std::size_t at = (std::size_t{s} + 1) * m_sectorSize;
        const std::size_t take =
            std::min<std::size_t>(m_sectorSize, static_cast<std::size_t>(size) - out.size());
        if (at > m_size || take > m_size - at)
            return false;
        out.insert(out.end(), m_bytes + at, m_bytes + at + take);
    }
    return true;
}

bool Reader::miniBytes(std::uint32_t start, std::uint64_t size, std::vector<std::uint8_t>& out) {
    out.clear();
    if (size == 0)
        return true;
    std::vector<std::uint32_t> sectors;
    const std::size_t needed = sectorsFor(static_cast<std::size_t>(size), kMiniSectorSize);
    const std::size_t limit = m_miniStream.size() / kMiniSectorSize;
    if (!chain(m_miniFat, start, limit, m_miniUsed, needed, sectors) || sectors.size() != needed)
        return false;
    for (const std::uint32_t s : sectors) {
        const std::size_t at = std::size_t{s} * kMiniSectorSize;
        const std::size_t take =
            std::min<std::size_t>(kMiniSectorSize, static_cast<std::size_t>(size) - out.size());
        out.insert(out.end(), m_miniStream.begin() + static_cast<std::ptrdiff_t>(at),
                   m_miniStream.begin() + static_cast<std::ptrdiff_t>(at + take));
    }
    return true;
}

bool Reader::entryAt(std::uint32_t index, DirEntry& e) const {
    if (index >= m_directory.size() / kEntrySize)
        return false;
    const std::uint8_t* p = m_directory.data() + std::size_t{index} * kEntrySize;
    const std::uint16_t nameBytes = get16(p + 64);
    if (nameBytes > 64 || nameBytes % 2 != 0)
        return false;
    e.name.clear();
    const std::size_t chars = nameBytes >= 2 ? nameBytes / 2u - 1 : 0;
    for (std::size_t i = 0; i < chars; ++i) {
        const std::uint16_t c = get16(p + 2 * i);
        e.name += c < 256 ? static_cast<char>(c) : '?';
    }
    e.type = p[66];
    e.left = get32(p + 68);
    e.right = get32(p + 72);
    e.child = get32(p + 76);
    std::memcpy(e.classId.data(), p + 80, 16);
    e.start = get32(p + 116);
    e.size = m_version4 ? (get32(p + 120) | (std::uint64_t{get32(p + 124)} << 32)) : get32(p + 120);
    return true;
}

bool Reader::read(CompoundFile& out) {
    if (!header() || !loadFat())
        return false;
    // The directory.
    std::vector<std::uint32_t> sectors;
    const std::size_t maxDirectorySectors = kCompoundFileMaxEntries * kEntrySize / m_sectorSize;
    if (!chain(m_fat, get32(m_bytes + 48), m_sectorCount, m_used, maxDirectorySectors, sectors) ||
        sectors.empty())
        return false;
    for (const std::uint32_t s : sectors) {
        const std::size_t at = (std::size_t{s} + 1) * m_sectorSize;
        if (at + m_sectorSize > m_size)
            return false;
        m_directory.insert(m_directory.end(), m_bytes + at, m_bytes + at + m_sectorSize);
    }
    DirEntry root;
    if (!entryAt(0, root) || root.type != kRoot)
        return false;
    // The mini stream (held by the root entry) and its allocation table.
    const std::uint32_t miniFatSectors = get32(m_bytes + 64);
    if (miniFatSectors > 0) {
        if (!chain(m_fat, get32(m_bytes + 60), m_sectorCount, m_used, miniFatSectors, sectors))
            return false;
        for (const std::uint32_t s : sectors) {
            const std::size_t at = (std::size_t{s} + 1) * m_sectorSize;
            if (at + m_sectorSize > m_size)
                return false;
            for (std::size_t k = 0; k < m_sectorSize / 4; ++k)
                m_miniFat.push_back(get32(m_bytes + at + 4 * k));
        }
    }
    if (root.size > 0 && !regularBytes(root.start, root.size, m_miniStream))
        return false;
    m_miniUsed.assign(m_miniStream.size() / kMiniSectorSize, false);

    // The root's children: a tree through the left and right links. Every entry is visited at
    // most once, so a linked loop ends the read as damaged.
    out = CompoundFile{};
    out.rootClassId = root.classId;
    std::vector<bool> seen(m_directory.size() / kEntrySize, false);
    seen[0] = true;
    std::vector<std::uint32_t> pending;
    if (root.child != kNoEntry)
        pending.push_back(root.child);
    while (!pending.empty()) {
        const std::uint32_t index = pending.back();
        pending.pop_back();
        DirEntry e;
        if (!entryAt(index, e) || seen[index])
            return false;
        seen[index] = true;
        if (e.type != kStream && e.type != kStorage)
            return false;
        if (e.left != kNoEntry)
            pending.push_back(e.left);
        if (e.right != kNoEntry)
            pending.push_back(e.right);
        if (e.type != kStream)
            continue;
        CompoundStream stream;
        stream.name = e.name;
        const bool ok = e.size < kMiniStreamCutoff ? miniBytes(e.start, e.size, stream.data)
                                                   : regularBytes(e.start, e.size, stream.data);
        if (!ok)
            return false;
        out.streams.push_back(std::move(stream));
    }
    return true;
}

} // namespace

const CompoundStream* CompoundFile::find(const std::string& name) const {
    for (const CompoundStream& s : streams) {
        if (s.name.size() == name.size() && !entryNameLess(s.name, name) &&
            !entryNameLess(name, s.name))
            return &s;
    }
    return nullptr;
}

bool ReadCompoundFile(const std::uint8_t* bytes, std::size_t size, CompoundFile& out) {
    if (bytes == nullptr)
        return false;
    Reader reader(bytes, size);
    CompoundFile file;
    if (!reader.read(file))
        return false;
    out = std::move(file);
    return true;
}

std::vector<std::uint8_t> WriteCompoundFile(const CompoundFile& file) {
    const std::size_t n = file.streams.size();
    std::vector<DirEntry> entries(n + 1);
    entries[0].name = "Root Entry";
    entries[0].type = kRoot;
    entries[0].classId = file.rootClassId;

    // Small streams go to the mini stream, in 64-byte mini sectors.
    std::vector<std::uint8_t> mini;
    std::vector<std::uint32_t> miniFat;
    for (std::size_t i = 0; i < n; ++i) {
        const CompoundStream& s = file.streams[i];
        DirEntry& e = entries[i + 1];
        e.name = s.name.substr(0, 31);
        e.type = kStream;
        e.size = s.data.size();
        if (s.data.empty() || s.data.size() >= kMiniStreamCutoff)
            continue;
        const std::size_t count = sectorsFor(s.data.size(), kMiniSectorSize);
        e.start = static_cast<std::uint32_t>(miniFat.size());
        for (std::size_t k = 0; k < count; ++k)
            miniFat.push_back(k + 1 < count ? e.start + static_cast<std::uint32_t>(k) + 1
                                            : kEndOfChain);
        mini.insert(mini.end(), s.data.begin(), s.data.end());
        mini.resize((std::size_t{e.start} + count) * kMiniSectorSize, 0);
    }

    const std::size_t sector = kWriteSectorSize;
    const std::size_t directorySectors = sectorsFor(entries.size() * kEntrySize, sector);
    const std::size_t miniFatSectors = sectorsFor(miniFat.size() * 4, sector);
    const std::size_t miniStreamSectors = sectorsFor(mini.size(), sector);
    std::size_t other = directorySectors + miniFatSectors + miniStreamSectors;
    for (const CompoundStream& s : file.streams)
        if (s.data.size() >= kMiniStreamCutoff)
            other += sectorsFor(s.data.size(), sector);
    std::size_t fatSectors = 1;
    while (fatSectors * (sector / 4) < other + fatSectors)
        ++fatSectors;
    if (fatSectors > kHeaderFatSlots)
        return {};

    std::vector<std::uint32_t> fat(fatSectors * (sector / 4), kFreeSector);
    std::size_t next = 0;
    auto allocate = [&](std::size_t count) -> std::uint32_t {
        if (count == 0)
            return kEndOfChain;
        const auto first = static_cast<std::uint32_t>(next);
        for (std::size_t k = 0; k < count; ++k)
            fat[next + k] = k + 1 < count ? static_cast<std::uint32_t>(next + k + 1) : kEndOfChain;
        next += count;
        return first;
    };
    for (std::size_t k = 0; k < fatSectors; ++k)
        fat[next++] = kFatSector;
    const std::uint32_t directoryStart = allocate(directorySectors);
    const std::uint32_t miniFatStart = allocate(miniFatSectors);
    const std::uint32_t miniStreamStart = allocate(miniStreamSectors);
    entries[0].start = mini.empty() ? kEndOfChain : miniStreamStart;
    entries[0].size = mini.size();
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t size = file.streams[i].data.size();
        if (size >= kMiniStreamCutoff)
            entries[i + 1].start = allocate(sectorsFor(size, sector));
    }

    // The root's children as a balanced red-black tree in directory order.
    std::vector<std::uint32_t> order;
    for (std::size_t i = 1; i <= n; ++i)
        order.push_back(static_cast<std::uint32_t>(i));
    std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
        return entryNameLess(entries[a].name, entries[b].name);
    });
    std::vector<int> depths(entries.size(), 0);
    entries[0].child = buildTree(entries, order, 0, order.size(), 0, depths);
    int deepest = 0;
    for (std::size_t i = 1; i <= n; ++i)
        deepest = std::max(deepest, depths[i]);
    std::size_t atDeepest = 0;
    for (std::size_t i = 1; i <= n; ++i)
        atDeepest += depths[i] == deepest ? 1 : 0;
    const bool complete = atDeepest == (std::size_t{1} << deepest);
    for (std::size_t i = 1; i <= n; ++i)
        entries[i].color = deepest > 0 && !complete && depths[i] == deepest ? 0 : 1;

    std::vector<std::uint8_t> out(sector * (1 + next), 0);
    std::uint8_t* h = out.data();
    std::memcpy(h, kSignature, sizeof kSignature);
    put16(h + 24, 0x003E);
    put16(h + 26, 3);
    put16(h + 28, 0xFFFE);
    put16(h + 30, 9);
    put16(h + 32, 6);
    put32(h + 44, static_cast<std::uint32_t>(fatSectors));
    put32(h + 48, directoryStart);
    put32(h + 56, static_cast<std::uint32_t>(kMiniStreamCutoff));
    put32(h + 60, miniFatSectors > 0 ? miniFatStart : kEndOfChain);
    put32(h + 64, static_cast<std::uint32_t>(miniFatSectors));
    put32(h + 68, kEndOfChain);
    for (std::size_t k = 0; k < kHeaderFatSlots; ++k)
        put32(h + 76 + 4 * k, k < fatSectors ? static_cast<std::uint32_t>(k) : kFreeSector);

    auto sectorAt = [&](std::size_t s) { return out.data() + (s + 1) * sector; };
    for (std::size_t k = 0; k < fat.size(); ++k)
        put32(sectorAt(k / (sector / 4)) + 4 * (k % (sector / 4)), fat[k]);
    for (std::size_t i = 0; i < directorySectors * (sector / kEntrySize); ++i) {
        std::uint8_t* p = sectorAt(directoryStart) + i * kEntrySize;
        writeEntry(p, i < entries.size() ? entries[i] : DirEntry{});
    }
    if (miniFatSectors > 0) {
        std::vector<std::uint8_t> table(miniFatSectors * sector, 0xFF);
        for (std::size_t k = 0; k < miniFat.size(); ++k)
            put32(table.data() + 4 * k, miniFat[k]);
        std::memcpy(sectorAt(miniFatStart), table.data(), table.size());
    }
    if (!mini.empty())
        std::memcpy(sectorAt(miniStreamStart), mini.data(), mini.size());
    for (std::size_t i = 0; i < n; ++i) {
        const std::vector<std::uint8_t>& data = file.streams[i].data;
        if (data.size() >= kMiniStreamCutoff)
            std::memcpy(sectorAt(entries[i + 1].start), data.data(), data.size());
    }
    return out;
}

std::array<std::uint8_t, 16> ClassIdBytes(const char* text) {
    std::array<std::uint8_t, 16> out{};
    if (text == nullptr || std::strlen(text) != 38 || text[0] != '{' || text[37] != '}')
        return out;
    std::uint8_t raw[16];
    std::size_t count = 0;
    for (const char* p = text + 1; *p != '}' && count < 16;) {
        if (*p == '-') {
            ++p;
            continue;
        }
        if (!std::isxdigit(static_cast<unsigned char>(p[0])) ||
            !std::isxdigit(static_cast<unsigned char>(p[1])))
            return {};
        raw[count++] = static_cast<std::uint8_t>(std::stoi(std::string(p, 2), nullptr, 16));
        p += 2;
    }
    if (count != 16)
        return {};
    // The first three groups are stored as little-endian numbers.
    const int order[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
    for (std::size_t i = 0; i < 16; ++i)
        out[i] = raw[order[i]];
    return out;
}
