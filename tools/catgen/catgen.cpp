// Builds a translator file from its readable source. Usage: catgen <source.txt> <output.cat>
//
// Source lines ("#" starts a comment line; a line that begins with a TAB continues the value above
// with a line end):
//   escape = N              the escape mode of raw text (0 none, 1 XML, 2 TeX)
//   font N = Name           the font record of block N names that font
//   0xNN = rule             entry NN (hexadecimal, 0 .. 0x12FF)
//   lower = rule            every lower-case letter a-z of the standard block
//   upper = rule            every upper-case letter A-Z of the standard block
//   digits = rule           every digit of the standard block
//   space = rule            the standard block's blank
//   char C = rule           the standard block's character C (one byte)
//   symbol NAME = rule      the Symbol block's character with that glyph name
//   symbol-letter = rule    every Symbol letter without its own rule (Greek letters)
//   symbol-other = rule     every other Symbol character without its own rule
//   special NAME = text     a special word: a word of exactly that text becomes the text
//   script K = rule         the scripts template of kind K: "%o %b %s %S %l %u %p %P" in the
//                           rule stand for the slot of its operand, base, subscript, superscript,
//                           lower and upper limit, pre-subscript and pre-superscript
// In symbol rules "%U" stands for the character as an XML reference ("&#x3B1;") and "%N" for its
// glyph name.
#include "OverPc/PERROR.h"
#include "OverSrcs/eSSScript.h"
#include "OverSrcs/etTranslator.h"
#include "plat/Font.h"

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string Trim(const std::string& s) {
    const size_t a = s.find_first_not_of(" \t");
    if (a == std::string::npos)
        return {};
    const size_t b = s.find_last_not_of(" \t\r");
    return s.substr(a, b - a + 1);
}

std::string Replace(std::string text, const std::string& what, const std::string& with) {
    for (size_t at = text.find(what); at != std::string::npos;
         at = text.find(what, at + with.size())) {
        text.replace(at, what.size(), with);
    }
    return text;
}

char SlotChar(int32_t slot) {
    return slot < 10 ? static_cast<char>('0' + slot) : static_cast<char>('a' + slot - 10);
}

// The rule with the role markers of a scripts kind replaced by its slot letters; a role the kind
// lacks leaves its marker's directive pointing at a slot that does not exist (slot f).
std::string ScriptRule(const std::string& rule, int32_t kind) {
    int32_t count = 1;
    if ((kind & kScriptOperator) != 0)
        ++count;
    if ((kind & kScriptNoScripts) == 0)
        count += 2;
    if ((kind & kScriptLimits) != 0)
        count += 2;
    if ((kind & kScriptPrescripts) != 0)
        count += 2;
    const ScriptSlots s = ScriptSlotsFor(kind, count);
    const std::pair<char, int32_t> roles[] = {{'o', s.operand}, {'b', s.base},  {'s', s.sub},
                                              {'S', s.sup},     {'l', s.lower}, {'u', s.upper},
                                              {'p', s.preSub},  {'P', s.preSup}};
    std::string out;
    for (size_t i = 0; i < rule.size(); ++i) {
        if (rule[i] == '%' && i + 1 < rule.size()) {
            bool found = false;
            for (const auto& [letter, slot] : roles) {
                if (rule[i + 1] == letter) {
                    out.push_back(SlotChar(slot < 0 ? 15 : slot));
                    found = true;
                }
            }
            if (found) {
                ++i;
                continue;
            }
        }
        out.push_back(rule[i]);
    }
    return out;
}

bool IsSymbolLetter(unsigned char code) {
    return (code >= 0x41 && code <= 0x5A) || (code >= 0x61 && code <= 0x7A) || code == 0xA1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("usage: catgen <source.txt> <output.cat>\n", stderr);
        return 2;
    }
    InitErrorSystem();
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "catgen: cannot read %s\n", argv[1]);
        return 1;
    }
    // Join continuation lines first.
    std::vector<std::pair<int, std::string>> lines;
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty() && line[0] == '\t' && !lines.empty()) {
            lines.back().second += "\n" + line.substr(1);
            continue;
        }
        lines.emplace_back(number, line);
    }

    Translator t;
    std::string symbolLetter;
    std::string symbolOther;
    std::vector<bool> symbolSet(256, false);
    int32_t special = kSpecialWordBase;
    auto fail = [&](int at, const char* what) {
        std::fprintf(stderr, "%s:%d: %s\n", argv[1], at, what);
        return 1;
    };
    auto set = [&](int32_t code, const std::string& rule) {
        t.entries[static_cast<size_t>(code)] = rule;
    };
    for (const auto& [at, text] : lines) {
        if (Trim(text).empty() || Trim(text)[0] == '#')
            continue;
        // The key ends at the first " = "; a value may itself hold "=".
        // "char C = rule" takes any single character C, "=" included.
        const bool charLine =
            text.rfind("char ", 0) == 0 && text.size() >= 9 && text.compare(6, 3, " = ") == 0;
        const size_t eq = charLine ? 6 : text.find(" = ");
        if (eq == std::string::npos)
            return fail(at, "expected \"key = value\"");
        const std::string key = Trim(text.substr(0, eq));
        const std::string value = text.substr(eq + 3);
        std::istringstream words(key);
        std::string head;
        std::string arg;
        words >> head >> arg;
        if (charLine)
            arg = text.substr(5, 1);
        if (head == "escape") {
            t.escape = std::stoi(value);
        } else if (head == "font") {
            const int block = std::stoi(arg);
            if (block < 0 || block >= kTranslatorFonts)
                return fail(at, "font block out of range");
            SetFSSFontName(t.fonts[static_cast<size_t>(block)], Trim(value));
        } else if (head.rfind("0x", 0) == 0) {
            const long code = std::stol(head, nullptr, 16);
            if (code < 0 || code >= kTranslatorEntries)
                return fail(at, "code out of range");
            set(static_cast<int32_t>(code), value);
        } else if (head == "lower" || head == "upper" || head == "digits") {
            const char first = head == "lower" ? 'a' : head == "upper" ? 'A' : '0';
            const char last = head == "lower" ? 'z' : head == "upper" ? 'Z' : '9';
            for (char c = first; c <= last; ++c)
                set(0x100 + static_cast<unsigned char>(c), value);
        } else if (head == "space") {
            set(0x120, value);
        } else if (head == "char") {
            if (arg.size() != 1)
                return fail(at, "char takes one character");
            set(0x100 + static_cast<unsigned char>(arg[0]), value);
        } else if (head == "symbol") {
            bool found = false;
            for (int code = 0x20; code < 256; ++code) {
                const plat::SymbolGlyph* glyph =
                    plat::SymbolEncodingEntry(static_cast<plat::BYTE>(code));
                if (glyph != nullptr && glyph->glyphName != nullptr && arg == glyph->glyphName) {
                    set(0x200 + code, value);
                    symbolSet[static_cast<size_t>(code)] = true;
                    found = true;
                }
            }
            if (!found)
                return fail(at, "no Symbol glyph of that name");
        } else if (head == "symbol-letter") {
            symbolLetter = value;
        } else if (head == "symbol-other") {
            symbolOther = value;
        } else if (head == "special") {
            if (special >= kTranslatorEntries)
                return fail(at, "too many special words");
            set(special++, arg + "::" + value);
        } else if (head == "script") {
            const int kind = std::stoi(arg);
            if (kind < 0 || kind > 15)
                return fail(at, "script kind out of range");
            set(kTrScript + kind, ScriptRule(value, kind));
        } else {
            return fail(at, "unknown key");
        }
    }
    for (int code = 0x20; code < 256; ++code) {
        const plat::SymbolGlyph* glyph = plat::SymbolEncodingEntry(static_cast<plat::BYTE>(code));
        if (symbolSet[static_cast<size_t>(code)] || glyph == nullptr || glyph->glyphName == nullptr)
            continue;
        const std::string& rule =
            IsSymbolLetter(static_cast<unsigned char>(code)) ? symbolLetter : symbolOther;
        if (rule.empty())
            continue;
        char reference[16];
        std::snprintf(reference, sizeof reference, "&#x%04X;",
                      static_cast<unsigned>(glyph->unicode));
        set(0x200 + code, Replace(Replace(rule, "%U", reference), "%N", glyph->glyphName));
    }
    t.path = argv[2];
    std::string message;
    if (!SaveTranslator(t, message)) {
        std::fprintf(stderr, "catgen: %s\n", message.c_str());
        return 1;
    }
    return 0;
}
