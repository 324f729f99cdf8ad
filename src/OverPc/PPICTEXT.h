// Pictures as text: the picture of an opaque leaf written into the expression encoding as typed
// records, and read back from there.
//
// A record is a separator ("|" caption "|"), a type letter, the number of characters that follow
// and the number of data bytes (compact numbers), a separator, then the body: raw characters in
// pieces of 60, or the data as base-85 words of five characters, 12 words a line. The picture ends
// with the separator and "9". Everything from a "|" to the next "|" is skipped by the reader (and
// the third "|" of the caption-less separator "|||"), so separators can stand anywhere between
// records and pieces.
//
// Record "1" carries the picture's metrics, "2" raw pixels, "3" a PNG of the picture (the words
// byte-swapped, so the file's bytes appear in order), "E" the enhanced metafile, "M" a Windows
// metafile and "D" a packed device-independent bitmap. The first record that makes a picture wins;
// the others are read and checked but not used.
#pragma once

#include "OverSrcs/Winufo.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class oIStream;
class oOStream;

// No record is accepted with more data bytes than this, so that a damaged count can neither make
// the reader allocate without bound nor read on into the rest of the encoding.
inline constexpr int32_t kMaxPictureRecordBytes = 256 * 1024 * 1024;

// The separator for a caption: "|" caption "|", or "|||" when there is none.
std::string PictureSeparator(const char* caption);

// One base-85 word: five characters, most significant first, each + '!'.
void EncodeBase85Word(uint32_t value, char out[5]);
// One base-85 record of the given letter for byteCount bytes of data (the last word padded with
// zeros). With swap each word is byte-reversed, so the data's bytes appear in order.
void WriteBase85Words(oOStream& stream, const std::string& separator, char letter, const void* data,
                      int32_t byteCount, bool swap);
// One raw record: the characters in pieces of 60, each followed by the separator except the last.
void WriteRawRecord(oOStream& stream, const std::string& separator, char letter,
                    const std::string& characters);

// Record "1" with the picture's metrics (width, height, baseline height, resolution, 912), then,
// with bitmaps on, record "3" with a PNG of the picture drawn on white. A failure while making the
// bitmap is swallowed: the record is simply missing.
void WritePictureAsText(oOStream& stream, const std::string& separator, const WinUfo* picture,
                        bool bitmaps);
// The picture's own data as one record: "E" with the enhanced metafile's bytes. Nothing for null
// or for a picture without a metafile.
void WriteWinUfoPicture(oOStream& stream, const std::string& separator, const WinUfo* picture);
// The opaque leaf's part of the encoding: with ownRecords the picture's own record, then the
// picture as text (with bitmaps: its PNG), then the separator and "9". Nothing at all for null.
void WriteUfoPicture(oOStream& stream, const char* caption, const WinUfo* picture, bool ownRecords,
                     bool bitmaps);

// Reads records up to and including "9" (or up to the leaf's closing "}", which is left unread)
// and returns the picture the first picture-making record made; null when the leaf ends before any
// record (a leaf written without a picture). Fails with errDataCorrupted when
// none made one, and for any malformed record: a count out of range, a character count that does
// not match the byte count, a bad base-85 word, or data ending inside a record.
std::unique_ptr<WinUfo> ReadUfoPicture(oIStream& stream);

// The body of a base-85 record of `bytes` data bytes: exactly that many bytes. Separators, line
// breaks and other characters outside the word alphabet may stand between words. Fails with
// errDataCorrupted for a bad word or when the data ends first.
std::vector<uint8_t> ReadBase85Body(oIStream& stream, int32_t bytes, bool swap);

// The picture record actions: a picture from an enhanced metafile's bytes ("E"), a Windows
// metafile's bytes with or without the placeable header ("M"), or a packed device-independent
// bitmap ("D"); null when the bytes are not one.
std::unique_ptr<WinUfo> PictureFromEnhMetaBits(const uint8_t* data, size_t size);
std::unique_ptr<WinUfo> PictureFromWinMetaBits(const uint8_t* data, size_t size);
std::unique_ptr<WinUfo> PictureFromPackedDib(const uint8_t* data, size_t size);
