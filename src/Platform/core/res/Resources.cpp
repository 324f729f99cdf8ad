#include "plat/Resources.h"

#include "core/res/Bundle.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace plat {
namespace {

// Slot 0 is the program's own module; bundles take the following slots. A handle carries the slot
// (low 8 bits, plus one) and the slot's generation (above), so a freed bundle's handle goes stale.
struct Module {
    const ResourceTables* tables = nullptr;
    std::unique_ptr<res::Bundle> bundle;
    std::uint32_t generation = 1;
    bool live = false;
};

constexpr std::size_t kMaxModules = 255;

std::vector<Module>& modules() {
    static std::vector<Module> s_modules(1);
    return s_modules;
}

ResourceTables& builtinTables() {
    static ResourceTables s_tables;
    return s_tables;
}

HMODULE handleOf(std::size_t slot) {
    const Module& m = modules()[slot];
    return HandleFromId<HMODULE>((m.generation << 8) | static_cast<std::uint32_t>(slot + 1));
}

// The slot of a module handle (null: the program's own), or -1 for a stale or foreign handle.
int slotOf(HMODULE h) {
    if (h == nullptr)
        return 0;
    const std::uint32_t id = IdFromHandle(h);
    const std::size_t slot = (id & 0xFF);
    if (slot == 0 || slot > modules().size())
        return -1;
    const Module& m = modules()[slot - 1];
    if (slot - 1 != 0 && (!m.live || m.generation != (id >> 8)))
        return -1;
    if (slot - 1 == 0 && (id >> 8) != m.generation)
        return -1;
    return static_cast<int>(slot - 1);
}

const ResourceTables* tablesOf(HMODULE h) {
    const int slot = slotOf(h);
    if (slot < 0)
        return nullptr;
    if (slot == 0)
        return &builtinTables();
    return modules()[static_cast<std::size_t>(slot)].tables;
}

bool equalNoCase(const char* a, const char* b) {
    for (;; ++a, ++b) {
        unsigned char ca = static_cast<unsigned char>(*a), cb = static_cast<unsigned char>(*b);
        if (ca >= 'a' && ca <= 'z')
            ca = static_cast<unsigned char>(ca - 32);
        if (cb >= 'a' && cb <= 'z')
            cb = static_cast<unsigned char>(cb - 32);
        if (ca != cb)
            return false;
        if (ca == 0)
            return true;
    }
}

// A resource name: an id (MAKEINTRESOURCE or "#123") or a text name.
struct NameKey {
    UINT id = 0;
    const char* name = nullptr;
    bool valid = true;
};

NameKey keyOf(const char* name) {
    NameKey k;
    if (IS_INTRESOURCE(name)) {
        k.id = static_cast<UINT>(reinterpret_cast<std::uintptr_t>(name));
        k.valid = k.id != 0;
        return k;
    }
    if (name[0] == '#') {
        UINT v = 0;
        const char* p = name + 1;
        if (*p == 0)
            k.valid = false;
        for (; *p; ++p) {
            if (*p < '0' || *p > '9' || v > 0xFFFF) {
                k.valid = false;
                break;
            }
            v = v * 10 + static_cast<UINT>(*p - '0');
        }
        k.id = v;
        k.valid = k.valid && v != 0 && v <= 0xFFFF;
        return k;
    }
    k.name = name;
    return k;
}

bool matches(const NameKey& k, UINT id, const char* name) {
    if (k.name != nullptr)
        return name != nullptr && equalNoCase(k.name, name);
    return name == nullptr ? id == k.id : id == k.id && id != 0;
}

// HRSRC and the loaded HGLOBAL of a resource: module slot + 1 in bits 24-31, entry + 1 below.
// The loaded form sets bit 23 as well, so the two kinds cannot be mixed up.
constexpr std::uint32_t kLoadedBit = 0x00800000;
constexpr std::uint32_t kEntryMask = 0x007FFFFF;

const ResData* resolve(std::uint32_t id, bool loaded, HMODULE module) {
    if (((id & kLoadedBit) != 0) != loaded)
        return nullptr;
    const std::size_t slot = (id >> 24);
    const std::size_t entry = (id & kEntryMask);
    if (slot == 0 || entry == 0 || slot > modules().size())
        return nullptr;
    const ResourceTables* t = nullptr;
    if (slot == 1)
        t = &builtinTables();
    else if (modules()[slot - 1].live)
        t = modules()[slot - 1].tables;
    if (t == nullptr || entry > t->dataCount)
        return nullptr;
    if (module != nullptr && slotOf(module) != static_cast<int>(slot - 1))
        return nullptr;
    return &t->data[entry - 1];
}

} // namespace

void RegisterBuiltinResources(const ResourceTables& tables) {
    builtinTables() = tables;
}

HMODULE GetModuleHandle(const char* name) {
    if (name == nullptr || equalNoCase(name, "korvaline") || equalNoCase(name, "korvaline.exe"))
        return handleOf(0);
    return nullptr;
}

HMODULE LoadLibraryEx(const char* path, void* /*reserved*/, DWORD flags) {
    if (path == nullptr || (flags & ~LOAD_LIBRARY_AS_DATAFILE) != 0 ||
        (flags & LOAD_LIBRARY_AS_DATAFILE) == 0)
        return nullptr; // only data-only modules exist here
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in)
        return nullptr;
    // A resource bundle is a few megabytes at most; anything far larger is not one.
    constexpr std::streamoff kMaxBundleBytes = 64 << 20;
    const std::streamoff size = in.tellg();
    if (size < 0 || size > kMaxBundleBytes)
        return nullptr;
    in.seekg(0);
    const std::vector<BYTE> bytes((std::istreambuf_iterator<char>(in)),
                                  std::istreambuf_iterator<char>());
    if (in.bad())
        return nullptr;
    auto bundle = res::ParseBundle(bytes.data(), bytes.size());
    if (!bundle)
        return nullptr;
    auto& mods = modules();
    std::size_t slot = 1;
    while (slot < mods.size() && mods[slot].live)
        ++slot;
    if (slot == mods.size()) {
        if (slot >= kMaxModules)
            return nullptr;
        mods.emplace_back();
    }
    Module& m = mods[slot];
    m.bundle = std::move(bundle);
    m.tables = &m.bundle->tables;
    m.live = true;
    return handleOf(slot);
}

BOOL FreeLibrary(HMODULE module) {
    const int slot = slotOf(module);
    if (slot <= 0)
        return slot == 0 ? TRUE : FALSE; // the program's own module stays
    Module& m = modules()[static_cast<std::size_t>(slot)];
    m.bundle.reset();
    m.tables = nullptr;
    m.live = false;
    ++m.generation;
    if (m.generation > 0xFFFFFF)
        m.generation = 1;
    return TRUE;
}

const ResourceTables* ModuleResourceTables(HMODULE module) {
    return tablesOf(module);
}

int LoadString(HINSTANCE module, UINT id, char* buffer, int bufferMax) {
    if (buffer == nullptr || bufferMax <= 0)
        return 0;
    buffer[0] = 0;
    const ResourceTables* t = tablesOf(module);
    if (t == nullptr || t->stringCount == 0)
        return 0;
    const ResString* end = t->strings + t->stringCount;
    const ResString* it =
        std::lower_bound(t->strings, end, id, [](const ResString& s, UINT v) { return s.id < v; });
    if (it == end || it->id != id)
        return 0;
    const UINT n = std::min<UINT>(it->length, static_cast<UINT>(bufferMax - 1));
    std::memcpy(buffer, it->text, n);
    buffer[n] = 0;
    return static_cast<int>(n);
}

HRSRC FindResource(HMODULE module, const char* name, const char* type) {
    const int slot = slotOf(module);
    const ResourceTables* t = tablesOf(module);
    if (t == nullptr || name == nullptr || type == nullptr || !IS_INTRESOURCE(type))
        return nullptr;
    const UINT typeId = static_cast<UINT>(reinterpret_cast<std::uintptr_t>(type));
    const NameKey key = keyOf(name);
    if (!key.valid || typeId == 0)
        return nullptr;
    for (std::size_t i = 0; i < t->dataCount; ++i) {
        const ResData& d = t->data[i];
        if (d.type == typeId && matches(key, d.id, d.name))
            return HandleFromId<HRSRC>((static_cast<std::uint32_t>(slot + 1) << 24) |
                                       static_cast<std::uint32_t>(i + 1));
    }
    return nullptr;
}

DWORD SizeofResource(HMODULE module, HRSRC resource) {
    const ResData* d = resolve(IdFromHandle(resource), false, module);
    return d != nullptr ? d->size : 0;
}

HGLOBAL LoadResource(HMODULE module, HRSRC resource) {
    const std::uint32_t id = IdFromHandle(resource);
    if (resolve(id, false, module) == nullptr)
        return nullptr;
    return HandleFromId<HGLOBAL>(id | kLoadedBit);
}

const void* LockResource(HGLOBAL loaded) {
    const ResData* d = resolve(IdFromHandle(loaded), true, nullptr);
    return d != nullptr ? d->data : nullptr;
}

// Resource data belongs to its module; there is nothing to release per resource.
BOOL FreeResource(HGLOBAL /*loaded*/) {
    return FALSE;
}

const ResMenu* FindMenuTemplate(HINSTANCE module, const char* name) {
    const ResourceTables* t = tablesOf(module);
    if (t == nullptr || name == nullptr)
        return nullptr;
    const NameKey key = keyOf(name);
    if (!key.valid)
        return nullptr;
    for (std::size_t i = 0; i < t->menuCount; ++i)
        if (key.name != nullptr ? (t->menus[i].name && equalNoCase(key.name, t->menus[i].name))
                                : t->menus[i].id == key.id)
            return &t->menus[i];
    return nullptr;
}

const ResDialog* FindDialogTemplate(HINSTANCE module, const char* name) {
    const ResourceTables* t = tablesOf(module);
    if (t == nullptr || name == nullptr)
        return nullptr;
    const NameKey key = keyOf(name);
    if (!key.valid || key.name != nullptr)
        return nullptr; // dialogs are numbered
    for (std::size_t i = 0; i < t->dialogCount; ++i)
        if (t->dialogs[i].id == key.id)
            return &t->dialogs[i];
    return nullptr;
}

} // namespace plat
