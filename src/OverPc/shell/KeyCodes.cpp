#include "OverPc/shell/KeyCodes.h"

#include "OverPc/shell/CQVApp.h"
#include "plat/Resources.h"

#include <cstdio>
#include <map>

namespace {

// Keys that never make a key-map index: mouse buttons, Shift, Ctrl, Alt, Caps Lock, the input
// method's process key, the Windows keys, Num and Scroll Lock, the left/right modifier codes and
// the browser, media and launch keys.
bool isIgnoredKey(int32_t vk) {
    if (vk <= 0x06)
        return true; // no key, or a mouse button
    switch (vk) {
    case 0x10: // Shift
    case 0x11: // Ctrl
    case 0x12: // Alt
    case 0x14: // Caps Lock
    case 0x5B: // left Windows key
    case 0x5C: // right Windows key
    case 0x90: // Num Lock
    case 0x91: // Scroll Lock
    case 0xE5: // input-method processing
        return true;
    default:
        return vk >= 0xA0 && vk <= 0xB7; // left/right modifiers, browser, media, launch keys
    }
}

// Names of the keys of rule 4 and of the control characters, in program text (cp1252).
struct KeyName {
    int32_t code;
    const char* name;
};
constexpr KeyName kBuiltinNames[] = {
    {0x08, "Retour arri\xE8re"},
    {0x09, "Tab"},
    {0x0D, "Entr\xE9"
           "e"},
    {0x1B, "\xC9"
           "chap"},
    {0x20, "Espace"},
    {0xA0, "Espace ins\xE9"
           "cable"},
    {0x10C, "Effacer"},
    {0x113, "Pause"},
    {0x15D, "Menu"},
    {0x1A1, "Page pr\xE9"
            "c."},
    {0x1A2, "Page suiv."},
    {0x1A3, "Fin"},
    {0x1A4, "Origine"},
    {0x1A5, "Gauche"},
    {0x1A6, "Haut"},
    {0x1A7, "Droite"},
    {0x1A8, "Bas"},
    {0x1AC, "Impr. \xE9"
            "cran"},
    {0x1AD, "Inser"},
    {0x1AE, "Suppr"},
    {0x1AF, "Aide"},
};

// Names taken from a resource library, by code; they win over the built-in ones.
std::map<int32_t, std::string>& loadedNames() {
    static std::map<int32_t, std::string> s_names;
    return s_names;
}

std::string numberedName(const char* format, int32_t code) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, format, static_cast<unsigned>(code));
    return buffer;
}

// Characters of cp1252 that show as themselves; the rest are named by their code.
bool isPrintable(int32_t c) {
    if (c < 0x20 || c == 0x7F)
        return false;
    switch (c) {
    case 0x81:
    case 0x8D:
    case 0x8F:
    case 0x90:
    case 0x9D:
        return false;
    default:
        return true;
    }
}

// The name of a code below 0x200 without modifiers.
std::string codeName(int32_t code) {
    auto loaded = loadedNames().find(code);
    if (loaded != loadedNames().end())
        return loaded->second;
    for (const KeyName& k : kBuiltinNames) {
        if (k.code == code)
            return k.name;
    }
    if (code < 0x100) {
        if (code >= 'a' && code <= 'z')
            return std::string(1, static_cast<char>(code - 'a' + 'A'));
        if (code >= 'A' && code <= 'Z')
            return std::string("Maj+") + static_cast<char>(code);
        if (isPrintable(code))
            return std::string(1, static_cast<char>(code));
        return numberedName("Car. 0x%02X", code);
    }
    if (code >= 0x120 && code <= 0x13F)
        return std::string("Pav\xE9 num. ") + static_cast<char>(code - 0x100);
    if (code >= 0x170 && code <= 0x187)
        return numberedName("F%u", code - 0x170 + 1);
    return numberedName("Touche 0x%03X", code);
}

} // namespace

int32_t KeyCodeOf(int32_t vk, uint8_t character, bool keypad) {
    if (vk < 0 || vk > 0xFF || isIgnoredKey(vk))
        return 0;
    if (!keypad && character != 0)
        return character;
    if (keypad && character >= 0x20 && character <= 0x3F)
        return 0x100 + character;
    if (vk >= 0x20 && vk <= 0x3F)
        return 0x180 + vk;
    return 0x100 + vk;
}

int32_t KeyIndexOf(int32_t vk, uint8_t character, bool keypad, bool alt, bool ctrl) {
    const int32_t code = KeyCodeOf(vk, character, keypad);
    if (code == 0)
        return 0;
    return code + (alt ? kKeyIndexAlt : 0) + (ctrl ? kKeyIndexCtrl : 0);
}

std::string GetKeyName(int32_t index) {
    if (index <= 0 || index >= kKeyIndexCount)
        return numberedName("Touche 0x%03X", index < 0 ? 0 : index);
    std::string name;
    if (index & kKeyIndexCtrl)
        name += "Ctrl+";
    if (index & kKeyIndexAlt)
        name += "Alt+";
    return name + codeName(index & 0x1FF);
}

bool LoadKeyNames(const uint8_t* data, uint32_t size) {
    std::map<int32_t, std::string> names;
    uint32_t at = 0;
    while (at < size) {
        if (size - at < 3)
            return false; // a code needs two bytes and its name at least the terminator
        const int32_t code = data[at] | (data[at + 1] << 8);
        at += 2;
        const uint32_t start = at;
        while (at < size && data[at] != 0)
            ++at;
        if (at == size || at == start || code == 0 || code >= 0x200)
            return false; // unterminated or empty name, or a code outside the table
        names[code] = std::string(reinterpret_cast<const char*>(data + start), at - start);
        ++at;
    }
    loadedNames() = std::move(names);
    return true;
}

void ResetKeyNames() {
    loadedNames().clear();
}

int InitKeyNames() {
    const plat::HMODULE module = CQVApp::instance().m_hResources;
    const plat::HRSRC found =
        plat::FindResource(module, plat::MAKEINTRESOURCE(kKeyNamesResourceId), plat::RT_RCDATA);
    if (!found)
        return 0;
    const plat::HGLOBAL loaded = plat::LoadResource(module, found);
    const auto* data = static_cast<const uint8_t*>(plat::LockResource(loaded));
    const plat::DWORD size = plat::SizeofResource(module, found);
    const bool ok = data != nullptr && LoadKeyNames(data, size);
    plat::FreeResource(loaded);
    return ok ? static_cast<int>(loadedNames().size()) : 0;
}
