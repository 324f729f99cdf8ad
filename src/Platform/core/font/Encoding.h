#pragma once
// Character conversions of the font engine: Windows-1252 and the double-byte code pages to
// Unicode, for looking characters up in the fonts' Unicode character maps.

namespace plat::fontcore {

// The five bytes Windows-1252 leaves undefined map to the C1 controls of the same value, so the
// conversion is total and reversible.
char32_t Cp1252ToUnicode(unsigned char byte);

// A character of the active code page (a single byte, or lead byte × 256 + trail byte under a
// double-byte code page) as Unicode; 0 when the code page has no such character.
char32_t AnsiCodeToUnicode(unsigned code);

} // namespace plat::fontcore
