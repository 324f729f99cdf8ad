#pragma once
// The key-code rule: how a key press becomes a key-map index, and the names shown for indices.
//
// A key-map index is a key code below 0x200, plus 0x200 while Alt is held and 0x400 while Ctrl is
// held (indices 0..2047). Codes 0x20..0xFF are the characters the main keyboard types, so that a
// key map entry that "types its own index" types that character; 0x120..0x13F are the numeric
// keypad keys that type 0x20..0x3F; every other key is 0x100 + its virtual-key code (0x180 + code
// for the codes 0x20..0x3F, which keeps the arrow and page keys clear of the keypad block).
// The main loop's key filter and the key-capture item of the keys dialog both use this rule.

#include <cstdint>
#include <string>

inline constexpr int32_t kKeyIndexAlt = 0x200;
inline constexpr int32_t kKeyIndexCtrl = 0x400;
inline constexpr int32_t kKeyIndexCount = 0x800;
// The RCDATA resource that may translate the key names (rows: 16-bit code, cp1252 name, zero).
inline constexpr int kKeyNamesResourceId = 11020;

// The code (below 0x200) of a key, or 0 when the key has none and is ignored (a modifier, a lock,
// a dead key, a browser or media key). `vk` is the virtual-key code; `character` the cp1252
// character the key types with Shift and AltGr as held but Ctrl and Alt not applied (0 when it
// types none); `keypad` whether the key lies on the numeric keypad.
int32_t KeyCodeOf(int32_t vk, uint8_t character, bool keypad);

// The key-map index of a key: its code plus the Alt and Ctrl offsets; 0 when the key has no code.
int32_t KeyIndexOf(int32_t vk, uint8_t character, bool keypad, bool alt, bool ctrl);

// The name of a key-map index as the keys dialog and the printed assignments show it (cp1252):
// "Ctrl+", then "Alt+", then the key ("Maj+A" for an upper-case letter, "Gauche", "F5",
// "Pavé num. 5", ...).
std::string GetKeyName(int32_t index);
// Replaces the built-in key names by those of the RCDATA resource kKeyNamesResourceId when the
// resource module has one (a translated resource library). Returns the number of names taken; a
// malformed resource is ignored as a whole.
int InitKeyNames();
// Takes key names from a block in the resource's format; false (and nothing changed) when the
// block is malformed.
bool LoadKeyNames(const uint8_t* data, uint32_t size);
// Back to the built-in names.
void ResetKeyNames();
