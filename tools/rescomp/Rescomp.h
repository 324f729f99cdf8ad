#pragma once
// The resource compiler: text sources (string tables, menus, dialog templates, PNG bitmaps, raw
// data files) -> one set of tables, written as constexpr C++ and as a bundle file loadable at run
// time.

#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace kvtool {

// A build error with the place it was found; main prints "file:line: error: message".
class CompileError : public std::runtime_error {
public:
    CompileError(std::string file, int line, const std::string& message)
        : std::runtime_error(message)
        , m_file(std::move(file))
        , m_line(line) {}
    const std::string& file() const { return m_file; }
    int line() const { return m_line; }

private:
    std::string m_file;
    int m_line;
};

struct StringEntry {
    std::uint32_t id;
    std::string text; // Windows-1252
};

struct DataEntry {
    std::uint32_t type;
    std::uint32_t id; // 0 when named
    std::string name;
    std::vector<std::uint8_t> bytes;
};

enum class MenuKind : std::uint8_t { Item = 0, Separator = 1, PopupBegin = 2, PopupEnd = 3 };

struct MenuItem {
    MenuKind kind;
    std::uint16_t flags = 0;
    std::uint32_t id = 0;
    std::uint16_t code = 0;
    std::string text; // Windows-1252
};

struct Menu {
    std::uint32_t id;
    std::string name;
    std::vector<MenuItem> items;
};

struct DialogControl {
    std::string className;
    std::uint32_t id;
    std::string text;
    std::int16_t x, y, cx, cy;
    std::uint32_t style;
    std::uint32_t exStyle;
};

struct Dialog {
    std::uint32_t id;
    std::uint32_t style = 0;
    std::uint32_t exStyle = 0;
    std::int16_t x = 0, y = 0, cx = 0, cy = 0;
    std::string caption;
    std::vector<DialogControl> controls;
};

struct Resources {
    std::map<std::uint32_t, StringEntry> strings;
    std::vector<DataEntry> data;
    std::vector<Menu> menus;
    std::vector<Dialog> dialogs;
};

// UTF-8 -> Windows-1252. Returns false on invalid UTF-8 or a character without a cp1252 byte; then
// `bad` names the offending character (U+XXXX) or the bad byte.
bool Utf8ToCp1252(const std::string& utf8, std::string& out, std::string& bad);

std::string ReadFile(const std::string& path); // throws CompileError

void ParseStringTable(const std::string& path, Resources& res);
// A table of names by code ("code<TAB>name" rows, as a string table) as raw data: each row is its
// code as a little-endian 16-bit number, then its Windows-1252 name and a zero byte.
std::vector<std::uint8_t> CompileNameTable(const std::string& path);
void ParseMenus(const std::string& path, Resources& res);
void ParseDialogs(const std::string& path, Resources& res);
// A PNG file as the bytes of a device-independent bitmap (header, palette, bottom-up rows).
std::vector<std::uint8_t> PngToDib(const std::string& path, bool monochrome);
// A 32 x 32 PNG file as an icon: a 40-byte header (32 bits per pixel, rows top-down) and its
// B, G, R, A bytes with straight alpha. Any other size is an error.
std::vector<std::uint8_t> PngToIcon(const std::string& path);

// `function` names the accessor the generated file defines.
std::string EmitCpp(const Resources& res, const std::string& function);
std::vector<std::uint8_t> EmitBundle(const Resources& res);

} // namespace kvtool
