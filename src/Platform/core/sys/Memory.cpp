// Global memory blocks and global atoms. Block ids are never reused, so a freed block's handle
// never reaches another block.

#include "plat/Memory.h"

#include "plat/Files.h"

#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <unordered_map>
#include <vector>

namespace plat {

namespace {

struct Block {
    std::unique_ptr<BYTE[]> bytes;
    SIZE_T size = 0;
    unsigned locks = 0;
};

std::mutex g_memMutex;
std::unordered_map<std::uint32_t, Block> g_blocks;
std::uint32_t g_nextBlock = 1;

Block* FindBlock(HGLOBAL mem) {
    auto it = g_blocks.find(IdFromHandle(mem));
    return it == g_blocks.end() ? nullptr : &it->second;
}

struct Atom {
    std::string name;
    unsigned refs = 0;
};

std::mutex g_atomMutex;
std::vector<Atom> g_atoms; // atom 0xC000 + i

} // namespace

HGLOBAL GlobalAlloc(UINT, SIZE_T bytes) {
    Block block;
    // A zero-sized block still gets a live handle; its lock answers a valid (unusable) pointer.
    block.bytes.reset(new (std::nothrow) BYTE[bytes == 0 ? 1 : bytes]());
    if (!block.bytes) {
        return nullptr;
    }
    block.size = bytes;
    std::lock_guard lock(g_memMutex);
    std::uint32_t id = g_nextBlock++;
    if (id == 0) {
        id = g_nextBlock++;
    }
    g_blocks.emplace(id, std::move(block));
    return HandleFromId<HGLOBAL>(id);
}

void* GlobalLock(HGLOBAL mem) {
    std::lock_guard lock(g_memMutex);
    Block* b = FindBlock(mem);
    if (b == nullptr) {
        return nullptr;
    }
    ++b->locks;
    return b->bytes.get();
}

BOOL GlobalUnlock(HGLOBAL mem) {
    std::lock_guard lock(g_memMutex);
    Block* b = FindBlock(mem);
    if (b == nullptr || b->locks == 0) {
        return FALSE;
    }
    --b->locks;
    return b->locks > 0 ? TRUE : FALSE;
}

SIZE_T GlobalSize(HGLOBAL mem) {
    std::lock_guard lock(g_memMutex);
    const Block* b = FindBlock(mem);
    return b == nullptr ? 0 : b->size;
}

HGLOBAL GlobalFree(HGLOBAL mem) {
    std::lock_guard lock(g_memMutex);
    return g_blocks.erase(IdFromHandle(mem)) == 1 ? nullptr : mem;
}

namespace {

ATOM AddAtom(const char* name, bool exact) {
    if (name == nullptr || *name == 0 ||
        std::strlen(name) > static_cast<std::size_t>(kMaxAtomName)) {
        return 0;
    }
    std::lock_guard lock(g_atomMutex);
    std::size_t freeSlot = g_atoms.size();
    for (std::size_t i = 0; i < g_atoms.size(); ++i) {
        if (g_atoms[i].refs > 0 &&
            (exact ? g_atoms[i].name == name : SameTextNoCaseCp1252(g_atoms[i].name, name))) {
            ++g_atoms[i].refs;
            return static_cast<ATOM>(0xC000 + i);
        }
        if (g_atoms[i].refs == 0 && freeSlot == g_atoms.size()) {
            freeSlot = i;
        }
    }
    if (freeSlot >= 0x4000) {
        return 0;
    }
    if (freeSlot == g_atoms.size()) {
        g_atoms.emplace_back();
    }
    g_atoms[freeSlot].name = name;
    g_atoms[freeSlot].refs = 1;
    return static_cast<ATOM>(0xC000 + freeSlot);
}

} // namespace

ATOM GlobalAddAtom(const char* name) {
    return AddAtom(name, false);
}

ATOM GlobalAddAtomExact(const char* name) {
    return AddAtom(name, true);
}

UINT GlobalGetAtomName(ATOM atom, char* buf, int size) {
    if (buf == nullptr || size <= 0) {
        return 0;
    }
    buf[0] = 0;
    std::lock_guard lock(g_atomMutex);
    if (atom < 0xC000 || atom - 0xC000u >= g_atoms.size() || g_atoms[atom - 0xC000u].refs == 0) {
        return 0;
    }
    const std::string& name = g_atoms[atom - 0xC000u].name;
    const std::size_t n = std::min<std::size_t>(name.size(), static_cast<std::size_t>(size - 1));
    std::memcpy(buf, name.data(), n);
    buf[n] = 0;
    return static_cast<UINT>(n);
}

ATOM GlobalDeleteAtom(ATOM atom) {
    std::lock_guard lock(g_atomMutex);
    if (atom < 0xC000 || atom - 0xC000u >= g_atoms.size() || g_atoms[atom - 0xC000u].refs == 0) {
        return atom;
    }
    if (--g_atoms[atom - 0xC000u].refs == 0) {
        g_atoms[atom - 0xC000u].name.clear();
    }
    return 0;
}

} // namespace plat
