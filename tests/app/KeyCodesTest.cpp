// The key-code rule and the key names.

#include "OverPc/shell/KeyCodes.h"

#include "BuiltinResources.h"
#include "plat/Input.h"
#include "plat/Resources.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

struct KeyCase {
    const char* what;
    int vk;
    uint8_t character;
    bool keypad;
    bool alt;
    bool ctrl;
    int32_t index;
};

// Expected values follow from the rule: typed characters are their own code, keypad characters
// 0x100 + c, other keys 0x100 + vk (0x180 + vk for vk 0x20..0x3F), plus 0x200 Alt and 0x400 Ctrl.
const KeyCase kKeyCases[] = {
    {"letter a", 'A', 'a', false, false, false, 'a'},
    {"Shift+a types A", 'A', 'A', false, false, false, 'A'},
    {"Ctrl+z", 'Z', 'z', false, false, true, 0x400 + 'z'},
    {"Ctrl+c", 'C', 'c', false, false, true, 0x463},
    {"Alt+Shift+F1 (Shift does not count)", plat::VK_F1, 0, false, true, false, 0x370},
    {"space bar is 32", plat::VK_SPACE, ' ', false, false, false, 32},
    {"Backspace", plat::VK_BACK, 0x08, false, false, false, 0x08},
    {"Enter", plat::VK_RETURN, 0x0D, false, false, false, 0x0D},
    {"Escape", plat::VK_ESCAPE, 0x1B, false, false, false, 0x1B},
    {"e acute from the main keyboard", 0xDE, 0xE9, false, false, false, 0xE9},
    {"keypad 5 with Num Lock", plat::VK_NUMPAD0 + 5, '5', true, false, false, 0x135},
    {"keypad star", plat::VK_MULTIPLY, '*', true, false, false, 0x12A},
    {"keypad slash", plat::VK_DIVIDE, '/', true, false, false, 0x12F},
    {"keypad 5 without Num Lock is Clear", plat::VK_CLEAR, 0, true, false, false, 0x10C},
    {"keypad Left without Num Lock", plat::VK_LEFT, 0, true, false, false, 0x1A5},
    {"Page Up", plat::VK_PRIOR, 0, false, false, false, 0x1A1},
    {"Down", plat::VK_DOWN, 0, false, false, false, 0x1A8},
    {"Ctrl+Left", plat::VK_LEFT, 0, false, false, true, 0x5A5},
    {"Delete", plat::VK_DELETE, 0, false, false, false, 0x1AE},
    {"Insert", plat::VK_INSERT, 0, false, false, false, 0x1AD},
    {"Pause", plat::VK_PAUSE, 0, false, false, false, 0x113},
    {"Menu key", plat::VK_APPS, 0, false, false, false, 0x15D},
    {"F24", plat::VK_F24, 0, false, false, false, 0x187},
    {"Alt+Ctrl+Home", plat::VK_HOME, 0, false, true, true, 0x7A4},
    {"Shift alone", plat::VK_SHIFT, 0, false, false, false, 0},
    {"Ctrl alone", plat::VK_CONTROL, 0, false, false, true, 0},
    {"Alt alone", plat::VK_MENU, 0, false, true, false, 0},
    {"right Alt (AltGr)", plat::VK_RMENU, 0, false, false, false, 0},
    {"Caps Lock", plat::VK_CAPITAL, 0, false, false, false, 0},
    {"Num Lock", plat::VK_NUMLOCK, 0, true, false, false, 0},
    {"Scroll Lock", plat::VK_SCROLL, 0, false, false, false, 0},
    {"Windows key", plat::VK_LWIN, 0, false, false, false, 0},
    {"media key", 0xB3, 0, false, false, false, 0},
    {"no key", 0, 0, false, false, false, 0},
    {"out of range", 0x1FF, 'a', false, false, false, 0},
};

TEST(KeyCodes, IndexTable) {
    for (const KeyCase& k : kKeyCases) {
        SCOPED_TRACE(k.what);
        EXPECT_EQ(KeyIndexOf(k.vk, k.character, k.keypad, k.alt, k.ctrl), k.index);
    }
}

TEST(KeyCodes, ArrowKeysStayOutOfTheKeypadBlock) {
    // The key map's revert makes 0x120..0x13F type characters: no key without a character may land
    // there, and every code stays below 0x200.
    for (int vk = 1; vk <= 0xFE; ++vk) {
        SCOPED_TRACE(vk);
        for (bool keypad : {false, true}) {
            const int32_t code = KeyCodeOf(vk, 0, keypad);
            EXPECT_LT(code, 0x200);
            EXPECT_FALSE(code >= 0x120 && code <= 0x13F);
        }
    }
}

TEST(KeyCodes, KeypadCharactersOutsideTheDigitBlockUseTheKey) {
    // Keypad Enter types Return, which is not in 0x20..0x3F: it is named by its key code.
    EXPECT_EQ(KeyCodeOf(plat::VK_RETURN, 0x0D, true), 0x10D);
    EXPECT_NE(KeyCodeOf(plat::VK_RETURN, 0x0D, true), KeyCodeOf(plat::VK_RETURN, 0x0D, false));
}

struct NameCase {
    int32_t index;
    const char* name; // cp1252
};

const NameCase kNameCases[] = {
    {'a', "A"},
    {'A', "Maj+A"},
    {0x400 + 'z', "Ctrl+Z"},
    {0x600 + 'z', "Ctrl+Alt+Z"},
    {0x200 + '1', "Alt+1"},
    {0x20, "Espace"},
    {0xA0, "Espace ins\xE9"
           "cable"},
    {0x08, "Retour arri\xE8re"},
    {0x09, "Tab"},
    {0x0D, "Entr\xE9"
           "e"},
    {0x1B, "\xC9"
           "chap"},
    {0x01, "Car. 0x01"},
    {0xE9, "\xE9"},
    {0x135, "Pav\xE9 num. 5"},
    {0x12A, "Pav\xE9 num. *"},
    {0x1A1, "Page pr\xE9"
            "c."},
    {0x1A8, "Bas"},
    {0x5A5, "Ctrl+Gauche"},
    {0x1AE, "Suppr"},
    {0x10C, "Effacer"},
    {0x170, "F1"},
    {0x187, "F24"},
    {0x370, "Alt+F1"},
    {0x1C1, "Touche 0x1C1"},
};

TEST(KeyCodes, Names) {
    ResetKeyNames();
    for (const NameCase& n : kNameCases) {
        SCOPED_TRACE(n.index);
        EXPECT_EQ(GetKeyName(n.index), n.name);
    }
}

// The program's own key names come from the resource it ships (so that a resource library can
// translate them): start-up loads every row of the table.
TEST(KeyCodes, TheShippedTableNamesEveryKeyWithoutACharacterOfItsOwn) {
    plat::RegisterBuiltinResources(BuiltinResourceTables());
    ResetKeyNames();
    EXPECT_EQ(InitKeyNames(), 21); // Backspace, Tab, Enter, Escape, the two spaces, 15 keys
    for (const NameCase& n : kNameCases) {
        SCOPED_TRACE(n.index);
        EXPECT_EQ(GetKeyName(n.index), n.name);
    }
    ResetKeyNames();
    // The bundle the program loads at run time carries it too.
    const plat::HMODULE bundle = plat::LoadLibraryEx(KV_BINARY_DIR "/resources/Korvaline.kvres",
                                                     nullptr, plat::LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(bundle, nullptr);
    EXPECT_NE(plat::FindResource(bundle, plat::MAKEINTRESOURCE(kKeyNamesResourceId),
                                 plat::RT_RCDATA),
              nullptr);
    plat::FreeLibrary(bundle);
}

std::vector<uint8_t> nameBlock(std::initializer_list<std::pair<int, std::string>> rows) {
    std::vector<uint8_t> out;
    for (const auto& [code, name] : rows) {
        out.push_back(static_cast<uint8_t>(code & 0xFF));
        out.push_back(static_cast<uint8_t>(code >> 8));
        out.insert(out.end(), name.begin(), name.end());
        out.push_back(0);
    }
    return out;
}

TEST(KeyCodes, TranslatedNamesReplaceTheBuiltInOnes) {
    const std::vector<uint8_t> block = nameBlock({{0x1A5, "Left"}, {0x20, "Space"}});
    ASSERT_TRUE(LoadKeyNames(block.data(), static_cast<uint32_t>(block.size())));
    EXPECT_EQ(GetKeyName(0x5A5), "Ctrl+Left");
    EXPECT_EQ(GetKeyName(0x20), "Space");
    EXPECT_EQ(GetKeyName(0x1A6), "Haut"); // not translated: the built-in name stays
    ResetKeyNames();
    EXPECT_EQ(GetKeyName(0x1A5), "Gauche");
}

TEST(KeyCodes, MalformedNameBlocksChangeNothing) {
    const std::vector<uint8_t> good = nameBlock({{0x1A5, "Left"}});
    ASSERT_TRUE(LoadKeyNames(good.data(), static_cast<uint32_t>(good.size())));
    std::vector<uint8_t> unterminated = nameBlock({{0x1A6, "Up"}});
    unterminated.pop_back();
    const std::vector<uint8_t> emptyName = nameBlock({{0x1A6, ""}});
    const std::vector<uint8_t> codeTooLarge = nameBlock({{0x200, "Big"}});
    const std::vector<uint8_t> cutCode = {0xA6};
    const std::vector<const std::vector<uint8_t>*> bads = {&unterminated, &emptyName, &codeTooLarge,
                                                           &cutCode};
    for (const auto* bad : bads) {
        EXPECT_FALSE(LoadKeyNames(bad->data(), static_cast<uint32_t>(bad->size())));
        EXPECT_EQ(GetKeyName(0x1A5), "Left");
        EXPECT_EQ(GetKeyName(0x1A6), "Haut");
    }
    ResetKeyNames();
}

} // namespace
