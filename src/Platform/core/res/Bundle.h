#pragma once
// Resource bundle files: the compiled tables of a module in one binary file, loadable at run time.
//
// Layout (all integers little-endian):
//   "KVRESB01"
//   u32 string count, data count, menu count, dialog count
//   strings:  u32 id, text
//   data:     u32 type, u32 id, text name (empty: by id), u32 size, bytes
//   menus:    u32 id, text name, u32 item count, items: u8 kind, u16 flags, u32 id, u16 code, text
//   dialogs:  u32 id, u32 style, u32 exStyle, i16 x y cx cy, text caption, u32 control count,
//             controls: text class, u32 id, text, i16 x y cx cy, u32 style, u32 exStyle
// where "text" is u32 length followed by that many bytes (no terminator). The resource compiler
// writes this layout; the reader checks every count against the bytes that remain.

#include "plat/Resources.h"

#include <cstddef>
#include <deque>
#include <memory>
#include <string>
#include <vector>

namespace plat::res {

inline constexpr char kBundleMagic[8] = {'K', 'V', 'R', 'E', 'S', 'B', '0', '1'};

// Owns the storage behind a bundle's tables.
struct Bundle {
    ResourceTables tables;
    std::deque<std::string> texts; // stable addresses
    std::deque<std::vector<BYTE>> blobs;
    std::vector<ResString> strings;
    std::vector<ResData> data;
    std::vector<std::vector<ResMenuItem>> menuItems;
    std::vector<ResMenu> menus;
    std::vector<std::vector<ResDialogControl>> dialogControls;
    std::vector<ResDialog> dialogs;
};

// Parses a whole bundle file; null when the bytes are not a valid bundle (wrong magic, a count or
// length running past the end, trailing bytes, strings out of order or repeated).
std::unique_ptr<Bundle> ParseBundle(const BYTE* bytes, std::size_t size);

} // namespace plat::res
