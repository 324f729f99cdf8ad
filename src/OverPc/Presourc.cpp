#include "OverPc/Presourc.h"

#include "OverPc/PERROR.h"
#include "OverPc/shell/CQVApp.h"
#include "plat/Resources.h"

#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace {

// The cache is one 4096-byte block: an index of 4-byte entries {offset, id} (little-endian 16-bit
// words) in bytes 0-799, then the texts from byte 800. The entry after the last used one has id 0
// and holds the offset where the next text goes; a used entry with offset 0 remembers that the id
// has no text. A repeated lookup is a short scan with no call into the resource module.
constexpr std::size_t kBlockSize = 4096;
constexpr std::size_t kIndexBytes = 800;
constexpr std::size_t kIndexEntries = kIndexBytes / 4;
constexpr std::size_t kTextRoom = 1024; // a text is loaded only with this much room left
constexpr int kMaxStringId = 0xFFFF;

std::unique_ptr<std::uint8_t[]> s_block;

// Texts that no longer fit in the block. Each keeps its own storage for the rest of the run, so a
// caller holding a text (a caption, say) never sees it change. A missing id is remembered too.
std::map<int, std::optional<std::string>> s_overflow;

std::uint16_t word(std::size_t at) {
    return static_cast<std::uint16_t>(s_block[at] | (s_block[at + 1] << 8));
}
void setWord(std::size_t at, std::size_t v) {
    s_block[at] = static_cast<std::uint8_t>(v & 0xFF);
    s_block[at + 1] = static_cast<std::uint8_t>((v >> 8) & 0xFF);
}
std::uint16_t entryOffset(std::size_t i) {
    return word(4 * i);
}
std::uint16_t entryId(std::size_t i) {
    return word(4 * i + 2);
}

plat::HINSTANCE resourceModule() {
    return CQVApp::instance().m_hResources;
}

} // namespace

void InitStringCache() {
    if (s_block)
        return;
    s_block = std::make_unique<std::uint8_t[]>(kBlockSize); // zero-filled
    setWord(0, kIndexBytes);
}

void FreeStringCache() {
    s_block.reset();
    s_overflow.clear();
}

std::string ResStringWith(int id, std::initializer_list<std::string_view> words) {
    const char* text = LoadResString(id);
    std::string out = text != nullptr ? text : "";
    std::size_t from = 0;
    for (const std::string_view word : words) {
        const std::size_t at = out.find("%s", from);
        if (at == std::string::npos)
            break;
        out.replace(at, 2, word);
        from = at + word.size();
    }
    return out;
}

const char* LoadResString(int id) {
    if (id <= 0 || id > kMaxStringId)
        return nullptr; // id 0 marks free index entries; no string has it
    InitStringCache();
    std::size_t i = 0;
    for (; i < kIndexEntries && entryId(i) != 0; ++i) {
        if (entryId(i) == id) {
            const std::uint16_t off = entryOffset(i);
            return off == 0 ? nullptr : reinterpret_cast<const char*>(&s_block[off]);
        }
    }
    // i is the first free entry. Its successor must exist to hold the next free offset.
    if (i + 1 < kIndexEntries) {
        const std::size_t free = entryOffset(i);
        if (kBlockSize - free >= kTextRoom) {
            char* dst = reinterpret_cast<char*>(&s_block[free]);
            const int len = plat::LoadString(resourceModule(), static_cast<plat::UINT>(id), dst,
                                             static_cast<int>(kTextRoom));
            setWord(4 * i + 2, static_cast<std::size_t>(id));
            if (len <= 0) {
                setWord(4 * i, 0);
                setWord(4 * (i + 1), free);
                return nullptr;
            }
            setWord(4 * (i + 1), free + static_cast<std::size_t>(len) + 1);
            return dst;
        }
    }
    // The block is full: the text goes through the error message buffer, then into storage of its
    // own that lasts the run.
    auto it = s_overflow.find(id);
    if (it == s_overflow.end()) {
        const char* text = LoadErrorString(id);
        it =
            s_overflow
                .emplace(id, text ? std::optional<std::string>(text) : std::optional<std::string>())
                .first;
    }
    return it->second ? it->second->c_str() : nullptr;
}

ResourceData::ResourceData(int id) {
    const plat::HMODULE module = resourceModule();
    const plat::HRSRC res =
        (id > 0 && id <= kMaxStringId)
            ? plat::FindResource(module, plat::MAKEINTRESOURCE(static_cast<plat::WORD>(id)),
                                 plat::RT_RCDATA)
            : nullptr;
    if (res != nullptr) {
        if (const plat::HGLOBAL loaded = plat::LoadResource(module, res)) {
            m_data = static_cast<const std::uint8_t*>(plat::LockResource(loaded));
            m_size = m_data ? plat::SizeofResource(module, res) : 0;
            m_resource = loaded;
        }
    }
    if (m_data == nullptr) {
        m_size = 0;
        NullResourceLoad();
    }
}

ResourceData ResourceData::fromName(const char* name) {
    ResourceData r;
    const plat::HMODULE module = resourceModule();
    const plat::HRSRC res = (name != nullptr && name[0] != 0)
                                ? plat::FindResource(module, name, plat::RT_RCDATA)
                                : nullptr;
    if (res != nullptr) {
        if (const plat::HGLOBAL loaded = plat::LoadResource(module, res)) {
            r.m_data = static_cast<const std::uint8_t*>(plat::LockResource(loaded));
            r.m_size = r.m_data ? plat::SizeofResource(module, res) : 0;
            r.m_resource = loaded;
        }
    }
    if (r.m_data == nullptr) {
        r.m_size = 0;
        NullResourceLoad();
    }
    return r;
}

void ResourceData::release() {
    if (m_resource != nullptr)
        plat::FreeResource(static_cast<plat::HGLOBAL>(const_cast<void*>(m_resource)));
    m_resource = nullptr;
    m_data = nullptr;
    m_size = 0;
}

void NullResourceLoad() {
    oAssertionFailure("Presourc", __LINE__, "NullResourceLoad");
}
