#include "Rescomp.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <set>
#include <sstream>
#include <string_view>

namespace kvtool {
namespace {

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::string cur;
    // Editors may start a UTF-8 file with a byte-order mark; it is not part of the first line.
    const bool bom = text.rfind("\xEF\xBB\xBF", 0) == 0;
    for (char c : std::string_view(text).substr(bom ? 3 : 0)) {
        if (c == '\n') {
            if (!cur.empty() && cur.back() == '\r')
                cur.pop_back();
            lines.push_back(cur);
            cur.clear();
        } else {
            cur.push_back(c);
        }
    }
    if (!cur.empty()) {
        if (cur.back() == '\r')
            cur.pop_back();
        lines.push_back(cur);
    }
    return lines;
}

std::string toCp1252(const std::string& utf8, const std::string& file, int line) {
    std::string out, bad;
    if (!Utf8ToCp1252(utf8, out, bad))
        throw CompileError(file, line, bad);
    return out;
}

bool parseNumber(const std::string& s, long long& v) {
    if (s.empty())
        return false;
    char* end = nullptr;
    errno = 0;
    v = std::strtoll(s.c_str(), &end, 0);
    return errno == 0 && end != nullptr && *end == 0;
}

std::uint32_t parseId(const std::string& s, const std::string& file, int line, const char* what) {
    long long v = 0;
    if (!parseNumber(s, v) || v < 0 || v > 0xFFFF)
        throw CompileError(file, line, std::string("bad ") + what + " '" + s + "'");
    return static_cast<std::uint32_t>(v);
}

// ---- Tokens of the menu and dialog languages ----------------------------------------------------
struct Token {
    std::string text;
    bool quoted = false;
};

std::vector<Token> tokenize(const std::string& line, const std::string& file, int lineNo) {
    std::vector<Token> out;
    std::size_t i = 0;
    while (i < line.size()) {
        const char c = line[i];
        if (c == ' ' || c == '\t') {
            ++i;
        } else if (c == '#') {
            break;
        } else if (c == '|') {
            out.push_back({"|", false});
            ++i;
        } else if (c == '"') {
            Token t{"", true};
            ++i;
            bool closed = false;
            while (i < line.size()) {
                char d = line[i++];
                if (d == '"') {
                    closed = true;
                    break;
                }
                if (d == '\\') {
                    if (i >= line.size())
                        break;
                    const char e = line[i++];
                    switch (e) {
                    case 'n':
                        d = '\n';
                        break;
                    case 't':
                        d = '\t';
                        break;
                    case '\\':
                    case '"':
                        d = e;
                        break;
                    default:
                        throw CompileError(file, lineNo,
                                           std::string("unknown escape '\\") + e + "' in a text");
                    }
                }
                t.text.push_back(d);
            }
            if (!closed)
                throw CompileError(file, lineNo, "text without its closing quote");
            t.text = toCp1252(t.text, file, lineNo);
            out.push_back(std::move(t));
        } else {
            Token t;
            while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '|' &&
                   line[i] != '"' && line[i] != '#')
                t.text.push_back(line[i++]);
            out.push_back(std::move(t));
        }
    }
    return out;
}

// Window-system style names a template may use, with their documented values.
const std::map<std::string, std::uint32_t>& styleNames() {
    static const std::map<std::string, std::uint32_t> names = {
        {"WS_OVERLAPPED", 0x00000000},
        {"WS_POPUP", 0x80000000},
        {"WS_CHILD", 0x40000000},
        {"WS_MINIMIZE", 0x20000000},
        {"WS_VISIBLE", 0x10000000},
        {"WS_DISABLED", 0x08000000},
        {"WS_CLIPSIBLINGS", 0x04000000},
        {"WS_CLIPCHILDREN", 0x02000000},
        {"WS_MAXIMIZE", 0x01000000},
        {"WS_CAPTION", 0x00C00000},
        {"WS_BORDER", 0x00800000},
        {"WS_DLGFRAME", 0x00400000},
        {"WS_VSCROLL", 0x00200000},
        {"WS_HSCROLL", 0x00100000},
        {"WS_SYSMENU", 0x00080000},
        {"WS_THICKFRAME", 0x00040000},
        {"WS_GROUP", 0x00020000},
        {"WS_TABSTOP", 0x00010000},
        {"WS_MINIMIZEBOX", 0x00020000},
        {"WS_MAXIMIZEBOX", 0x00010000},
        {"DS_ABSALIGN", 0x01},
        {"DS_SYSMODAL", 0x02},
        {"DS_LOCALEDIT", 0x20},
        {"DS_SETFONT", 0x40},
        {"DS_MODALFRAME", 0x80},
        {"DS_NOIDLEMSG", 0x100},
        {"DS_SETFOREGROUND", 0x200},
        {"DS_CENTER", 0x800},
        {"BS_PUSHBUTTON", 0x0},
        {"BS_DEFPUSHBUTTON", 0x1},
        {"BS_CHECKBOX", 0x2},
        {"BS_AUTOCHECKBOX", 0x3},
        {"BS_RADIOBUTTON", 0x4},
        {"BS_3STATE", 0x5},
        {"BS_AUTO3STATE", 0x6},
        {"BS_GROUPBOX", 0x7},
        {"BS_AUTORADIOBUTTON", 0x9},
        {"BS_OWNERDRAW", 0xB},
        {"BS_LEFTTEXT", 0x20},
        {"SS_LEFT", 0x0},
        {"SS_CENTER", 0x1},
        {"SS_RIGHT", 0x2},
        {"SS_ICON", 0x3},
        {"SS_BLACKRECT", 0x4},
        {"SS_GRAYRECT", 0x5},
        {"SS_WHITERECT", 0x6},
        {"SS_BLACKFRAME", 0x7},
        {"SS_OWNERDRAW", 0xD},
        {"SS_BITMAP", 0xE},
        {"SS_ETCHEDHORZ", 0x10},
        {"SS_NOPREFIX", 0x80},
        {"SS_NOTIFY", 0x100},
        {"SS_SUNKEN", 0x1000},
        {"ES_LEFT", 0x0},
        {"ES_CENTER", 0x1},
        {"ES_RIGHT", 0x2},
        {"ES_MULTILINE", 0x4},
        {"ES_UPPERCASE", 0x8},
        {"ES_LOWERCASE", 0x10},
        {"ES_PASSWORD", 0x20},
        {"ES_AUTOVSCROLL", 0x40},
        {"ES_AUTOHSCROLL", 0x80},
        {"ES_NOHIDESEL", 0x100},
        {"ES_READONLY", 0x800},
        {"ES_WANTRETURN", 0x1000},
        {"ES_NUMBER", 0x2000},
        {"LBS_NOTIFY", 0x1},
        {"LBS_SORT", 0x2},
        {"LBS_NOREDRAW", 0x4},
        {"LBS_MULTIPLESEL", 0x8},
        {"LBS_OWNERDRAWFIXED", 0x10},
        {"LBS_OWNERDRAWVARIABLE", 0x20},
        {"LBS_HASSTRINGS", 0x40},
        {"LBS_USETABSTOPS", 0x80},
        {"LBS_NOINTEGRALHEIGHT", 0x100},
        {"LBS_WANTKEYBOARDINPUT", 0x400},
        {"LBS_DISABLENOSCROLL", 0x1000},
        {"CBS_SIMPLE", 0x1},
        {"CBS_DROPDOWN", 0x2},
        {"CBS_DROPDOWNLIST", 0x3},
        {"CBS_OWNERDRAWFIXED", 0x10},
        {"CBS_OWNERDRAWVARIABLE", 0x20},
        {"CBS_AUTOHSCROLL", 0x40},
        {"CBS_SORT", 0x100},
        {"CBS_HASSTRINGS", 0x200},
        {"CBS_NOINTEGRALHEIGHT", 0x400},
        {"CBS_DISABLENOSCROLL", 0x800},
        {"SBS_HORZ", 0x0},
        {"SBS_VERT", 0x1},
        {"WS_EX_DLGMODALFRAME", 0x1},
        {"WS_EX_NOPARENTNOTIFY", 0x4},
        {"WS_EX_TOPMOST", 0x8},
        {"WS_EX_TRANSPARENT", 0x20},
        {"WS_EX_TOOLWINDOW", 0x80},
        {"WS_EX_WINDOWEDGE", 0x100},
        {"WS_EX_CLIENTEDGE", 0x200},
        {"WS_EX_STATICEDGE", 0x20000},
        {"WS_EX_NOACTIVATE", 0x08000000},
    };
    return names;
}

// A style expression: names or numbers joined by "|"; "~NAME" removes bits from the default.
void applyStyle(const std::vector<Token>& toks, std::size_t from, std::size_t to,
                std::uint32_t& value, const std::string& file, int line) {
    bool expectTerm = true;
    for (std::size_t i = from; i < to; ++i) {
        const Token& t = toks[i];
        if (t.text == "|" && !t.quoted) {
            if (expectTerm)
                throw CompileError(file, line, "'|' without a style before it");
            expectTerm = true;
            continue;
        }
        if (!expectTerm)
            throw CompileError(file, line, "styles must be joined by '|': '" + t.text + "'");
        expectTerm = false;
        std::string name = t.text;
        const bool remove = !name.empty() && name[0] == '~';
        if (remove)
            name.erase(0, 1);
        std::uint32_t bits = 0;
        long long v = 0;
        const auto it = styleNames().find(name);
        if (it != styleNames().end())
            bits = it->second;
        else if (parseNumber(name, v) && v >= 0 && v <= 0xFFFFFFFFLL)
            bits = static_cast<std::uint32_t>(v);
        else
            throw CompileError(file, line, "unknown style '" + name + "'");
        if (remove)
            value &= ~bits;
        else
            value |= bits;
    }
    if (expectTerm && to > from)
        throw CompileError(file, line, "style expression ends with '|'");
}

std::int16_t parseCoord(const Token& t, const std::string& file, int line) {
    long long v = 0;
    if (t.quoted || !parseNumber(t.text, v) || v < -32768 || v > 32767)
        throw CompileError(file, line, "bad coordinate '" + t.text + "'");
    return static_cast<std::int16_t>(v);
}

} // namespace

// ---- String tables: "id<TAB>text" ---------------------------------------------------------------
namespace {
struct TextRow {
    std::uint32_t id;
    std::string text; // Windows-1252
    int line;
};

// The rows "id<TAB>text" of a table (empty lines and lines starting with '#' skipped), escapes
// resolved and the text in Windows-1252; ids 1..65535, texts not empty.
std::vector<TextRow> readTextRows(const std::string& path, const char* what) {
    std::vector<TextRow> rows;
    const auto lines = splitLines(ReadFile(path));
    for (std::size_t n = 0; n < lines.size(); ++n) {
        const int lineNo = static_cast<int>(n + 1);
        const std::string& line = lines[n];
        if (line.empty() || line[0] == '#')
            continue;
        const auto tab = line.find('\t');
        if (tab == std::string::npos)
            throw CompileError(path, lineNo, "expected 'id<TAB>text'");
        const std::uint32_t id = parseId(line.substr(0, tab), path, lineNo, what);
        if (id == 0)
            throw CompileError(path, lineNo, std::string(what) + "s are 1..65535");
        std::string raw;
        const std::string src = line.substr(tab + 1);
        for (std::size_t i = 0; i < src.size(); ++i) {
            if (src[i] != '\\') {
                raw.push_back(src[i]);
                continue;
            }
            if (i + 1 >= src.size())
                throw CompileError(path, lineNo, "'\\' at the end of the line");
            const char e = src[++i];
            if (e == 'n')
                raw.push_back('\n');
            else if (e == 't')
                raw.push_back('\t');
            else if (e == '\\')
                raw.push_back('\\');
            else
                throw CompileError(path, lineNo, std::string("unknown escape '\\") + e + "'");
        }
        if (raw.empty())
            throw CompileError(path, lineNo, "empty text: leave the id out instead");
        rows.push_back(TextRow{id, toCp1252(raw, path, lineNo), lineNo});
    }
    return rows;
}
} // namespace

void ParseStringTable(const std::string& path, Resources& res) {
    for (TextRow& row : readTextRows(path, "string id")) {
        if (row.text.size() > 4097)
            throw CompileError(path, row.line, "text longer than 4097 bytes");
        if (!res.strings.emplace(row.id, StringEntry{row.id, std::move(row.text)}).second)
            throw CompileError(path, row.line,
                               "string id " + std::to_string(row.id) + " given twice");
    }
}

std::vector<std::uint8_t> CompileNameTable(const std::string& path) {
    std::vector<std::uint8_t> out;
    std::vector<std::uint32_t> seen;
    for (const TextRow& row : readTextRows(path, "code")) {
        if (std::find(seen.begin(), seen.end(), row.id) != seen.end())
            throw CompileError(path, row.line, "code " + std::to_string(row.id) + " given twice");
        if (row.text.find('\0') != std::string::npos)
            throw CompileError(path, row.line, "a name cannot hold a zero byte");
        seen.push_back(row.id);
        out.push_back(static_cast<std::uint8_t>(row.id & 0xFF));
        out.push_back(static_cast<std::uint8_t>(row.id >> 8));
        out.insert(out.end(), row.text.begin(), row.text.end());
        out.push_back(0);
    }
    return out;
}

// ---- Menus --------------------------------------------------------------------------------------
void ParseMenus(const std::string& path, Resources& res) {
    const auto lines = splitLines(ReadFile(path));
    struct Open {
        std::uint32_t number; // menu number whose items this block numbers
        int position = 0;
    };
    Menu* menu = nullptr;
    bool explicitIds = false;
    std::vector<Open> stack;
    std::set<std::uint32_t> ids;
    std::uint32_t lastExplicit = 0;
    int menuLine = 0;

    auto itemId = [&](const std::vector<Token>& toks, std::size_t from, MenuItem& item, int lineNo,
                      bool isCommand) {
        bool haveId = false;
        for (std::size_t i = from; i < toks.size(); ++i) {
            const std::string& t = toks[i].text;
            if (toks[i].quoted)
                throw CompileError(path, lineNo, "unexpected text \"" + t + "\"");
            if (t.rfind("id=", 0) == 0) {
                item.id = parseId(t.substr(3), path, lineNo, "item id");
                haveId = true;
            } else if (t.rfind("code=", 0) == 0) {
                item.code = static_cast<std::uint16_t>(parseId(t.substr(5), path, lineNo, "code"));
            } else if (t == "grayed") {
                item.flags |= 0x0001;
            } else if (t == "checked") {
                item.flags |= 0x0008;
            } else {
                throw CompileError(path, lineNo, "unknown item attribute '" + t + "'");
            }
        }
        if (!isCommand) {
            if (haveId)
                throw CompileError(path, lineNo, "a separator carries no id");
            return;
        }
        const std::uint32_t computed = stack.back().number * 256 + stack.back().position;
        if (explicitIds) {
            const std::uint32_t lo = menu->id * 256 + 1, hi = menu->id * 256 + 255;
            if (!haveId)
                throw CompileError(path, lineNo, "this menu gives every item its id");
            if (item.id < lo || item.id > hi)
                throw CompileError(path, lineNo,
                                   "id " + std::to_string(item.id) + " outside " +
                                       std::to_string(lo) + ".." + std::to_string(hi));
            if (item.id <= lastExplicit)
                throw CompileError(path, lineNo, "ids must ascend");
            lastExplicit = item.id;
        } else {
            if (stack.back().position > 255)
                throw CompileError(path, lineNo, "more than 255 positions in one menu");
            if (haveId && item.id != computed)
                throw CompileError(path, lineNo,
                                   "id " + std::to_string(item.id) + " does not match its place (" +
                                       std::to_string(computed) + ")");
            item.id = computed;
        }
        if (!ids.insert(item.id).second)
            throw CompileError(path, lineNo, "id " + std::to_string(item.id) + " used twice");
    };

    for (std::size_t n = 0; n < lines.size(); ++n) {
        const int lineNo = static_cast<int>(n + 1);
        const auto toks = tokenize(lines[n], path, lineNo);
        if (toks.empty())
            continue;
        const std::string& kw = toks[0].text;
        if (toks[0].quoted)
            throw CompileError(path, lineNo, "a line starts with a keyword");
        if (kw == "menu") {
            if (menu != nullptr)
                throw CompileError(path, lineNo, "'menu' inside a menu: close it with 'end'");
            if (toks.size() < 2)
                throw CompileError(path, lineNo, "expected 'menu id [name] [explicit]'");
            const std::uint32_t id = parseId(toks[1].text, path, lineNo, "menu id");
            for (const Menu& m : res.menus)
                if (m.id == id)
                    throw CompileError(path, lineNo, "menu " + std::to_string(id) + " twice");
            if (id == 0 || id > 255)
                throw CompileError(path, lineNo, "menu ids are 1..255");
            res.menus.push_back(Menu{id, "", {}});
            menu = &res.menus.back();
            explicitIds = false;
            for (std::size_t i = 2; i < toks.size(); ++i) {
                if (!toks[i].quoted && toks[i].text == "explicit")
                    explicitIds = true;
                else if (menu->name.empty())
                    menu->name = toks[i].text;
                else
                    throw CompileError(path, lineNo, "unexpected '" + toks[i].text + "'");
            }
            stack.assign(1, Open{menu->id, 0});
            ids.clear();
            lastExplicit = 0;
            menuLine = lineNo;
            continue;
        }
        if (menu == nullptr)
            throw CompileError(path, lineNo, "'" + kw + "' outside a menu");
        if (kw == "end") {
            if (toks.size() != 1)
                throw CompileError(path, lineNo, "'end' stands alone");
            stack.pop_back();
            if (stack.empty()) {
                menu = nullptr;
            } else {
                menu->items.push_back(MenuItem{MenuKind::PopupEnd, 0, 0, 0, ""});
            }
            continue;
        }
        if (kw == "popup") {
            // popup NUMBER "text": a submenu; it takes a position in its parent but has no id.
            if (toks.size() != 3 || toks[1].quoted || !toks[2].quoted)
                throw CompileError(path, lineNo, "expected 'popup number \"text\"'");
            ++stack.back().position;
            const std::uint32_t number = parseId(toks[1].text, path, lineNo, "menu number");
            if (number == 0 || number > 255)
                throw CompileError(path, lineNo, "menu numbers are 1..255");
            menu->items.push_back(MenuItem{MenuKind::PopupBegin, 0, number, 0, toks[2].text});
            stack.push_back(Open{explicitIds ? menu->id : number, 0});
            continue;
        }
        if (kw == "separator") {
            ++stack.back().position;
            MenuItem item{MenuKind::Separator, 0, 0, 0, ""};
            itemId(toks, 1, item, lineNo, false);
            menu->items.push_back(item);
            continue;
        }
        if (kw == "item") {
            if (toks.size() < 2 || !toks[1].quoted)
                throw CompileError(path, lineNo, "expected 'item \"text\" [id=N] [code=N]'");
            ++stack.back().position;
            MenuItem item{MenuKind::Item, 0, 0, 0, toks[1].text};
            itemId(toks, 2, item, lineNo, true);
            menu->items.push_back(item);
            continue;
        }
        throw CompileError(path, lineNo, "unknown keyword '" + kw + "'");
    }
    if (menu != nullptr)
        throw CompileError(path, menuLine, "menu without its 'end'");
}

// ---- Dialog templates ---------------------------------------------------------------------------
void ParseDialogs(const std::string& path, Resources& res) {
    const auto lines = splitLines(ReadFile(path));
    Dialog* dlg = nullptr;
    int dlgLine = 0;
    bool haveRect = false;
    for (std::size_t n = 0; n < lines.size(); ++n) {
        const int lineNo = static_cast<int>(n + 1);
        const auto toks = tokenize(lines[n], path, lineNo);
        if (toks.empty())
            continue;
        const std::string& kw = toks[0].text;
        if (kw == "dialog") {
            if (dlg != nullptr)
                throw CompileError(path, lineNo, "'dialog' inside a dialog: close it with 'end'");
            if (toks.size() != 2)
                throw CompileError(path, lineNo, "expected 'dialog id'");
            const std::uint32_t id = parseId(toks[1].text, path, lineNo, "dialog id");
            for (const Dialog& d : res.dialogs)
                if (d.id == id)
                    throw CompileError(path, lineNo, "dialog " + std::to_string(id) + " twice");
            res.dialogs.push_back(Dialog{});
            dlg = &res.dialogs.back();
            dlg->id = id;
            dlgLine = lineNo;
            haveRect = false;
            continue;
        }
        if (dlg == nullptr)
            throw CompileError(path, lineNo, "'" + kw + "' outside a dialog");
        if (kw == "end") {
            if (!haveRect)
                throw CompileError(path, dlgLine, "dialog without its 'rect'");
            dlg = nullptr;
        } else if (kw == "style") {
            applyStyle(toks, 1, toks.size(), dlg->style, path, lineNo);
        } else if (kw == "exstyle") {
            applyStyle(toks, 1, toks.size(), dlg->exStyle, path, lineNo);
        } else if (kw == "rect") {
            if (toks.size() != 5)
                throw CompileError(path, lineNo, "expected 'rect x y cx cy'");
            dlg->x = parseCoord(toks[1], path, lineNo);
            dlg->y = parseCoord(toks[2], path, lineNo);
            dlg->cx = parseCoord(toks[3], path, lineNo);
            dlg->cy = parseCoord(toks[4], path, lineNo);
            haveRect = true;
        } else if (kw == "caption") {
            if (toks.size() != 2 || !toks[1].quoted)
                throw CompileError(path, lineNo, "expected 'caption \"text\"'");
            dlg->caption = toks[1].text;
        } else if (kw == "control") {
            // control CLASS id "text" x y cx cy [styles] [exstyle= styles]
            if (toks.size() < 8 || !toks[3].quoted)
                throw CompileError(path, lineNo,
                                   "expected 'control class id \"text\" x y cx cy [styles]'");
            DialogControl c{};
            c.className = toks[1].text;
            long long id = 0;
            if (!parseNumber(toks[2].text, id) || id < -1 || id > 0xFFFF)
                throw CompileError(path, lineNo, "bad control id '" + toks[2].text + "'");
            c.id = id < 0 ? 0xFFFF : static_cast<std::uint32_t>(id);
            if (id >= 0)
                for (const DialogControl& o : dlg->controls)
                    if (o.id == c.id)
                        throw CompileError(path, lineNo, "control id " + toks[2].text + " twice");
            c.text = toks[3].text;
            c.x = parseCoord(toks[4], path, lineNo);
            c.y = parseCoord(toks[5], path, lineNo);
            c.cx = parseCoord(toks[6], path, lineNo);
            c.cy = parseCoord(toks[7], path, lineNo);
            c.style = 0x40000000 | 0x10000000; // WS_CHILD | WS_VISIBLE unless removed
            std::size_t ex = toks.size();
            for (std::size_t i = 8; i < toks.size(); ++i)
                if (!toks[i].quoted && toks[i].text == "exstyle=")
                    ex = i;
            applyStyle(toks, 8, ex, c.style, path, lineNo);
            if (ex < toks.size())
                applyStyle(toks, ex + 1, toks.size(), c.exStyle, path, lineNo);
            dlg->controls.push_back(std::move(c));
        } else {
            throw CompileError(path, lineNo, "unknown keyword '" + kw + "'");
        }
    }
    if (dlg != nullptr)
        throw CompileError(path, dlgLine, "dialog without its 'end'");
}

} // namespace kvtool
