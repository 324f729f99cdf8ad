#pragma once
// Character conversions of the font engine: Windows-1252 and the double-byte code pages to
// Unicode, for looking characters up in the fonts' Unicode character maps.

#include "plat/Types.h"

#include <string>

namespace plat::fontcore {

// The five bytes Windows-1252 leaves undefined map to the C1 controls of the same value, so the
// conversion is total and reversible.
char32_t Cp1252ToUnicode(unsigned char byte);

// A character of a code page the program knows (1252, 932, 936, 949, 950: a single byte, or lead
// byte × 256 + trail byte under a double-byte one) as Unicode; 0 when the page has no such
// character.
char32_t CodeToUnicode(unsigned code, UINT codePage);
// The same in the active code page.
char32_t AnsiCodeToUnicode(unsigned code);
// Whether a byte starts a two-byte character in a code page.
bool IsLeadByteOf(UINT codePage, BYTE byte);
// Appends a character as UTF-8; a value past the last Unicode character appends nothing.
void AppendUtf8(std::string& out, char32_t u);

} // namespace plat::fontcore
