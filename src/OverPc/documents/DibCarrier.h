// Bitmaps that carry an expression: a packed device-independent bitmap (header, 24-bit pixel rows
// bottom-up) followed by the expression's encoding and a zero byte. Bitmap files and the bitmap
// copy format use it, so the picture opens again as an editable expression.
#pragma once

#include "OverSrcs/eObject.h"

#include <cstdint>
#include <vector>

class ExprFilePane;
struct FrontDocumentBitmap;

// The packed bitmap of the expression laid out at `dotsPerInch` (0: the screen's), drawn black on
// the background (white when `background` is null), with the encoding after the pixel rows. The
// caller's tree is not touched: a copy is laid out. Fails into the caller's error environment when
// the bitmap cannot be made.
std::vector<uint8_t> MakeExprDib(const eExpr* expression, int32_t dotsPerInch,
                                 const Color* background);

// A document as a bitmap file holds it: drawn at the bitmap resolution preference on the
// document's background, the path with ".bmp" for a name.
void DocumentAsBitmap(const ExprFilePane& pane, FrontDocumentBitmap& out);
// The front document as a bitmap file would hold it (the hook of SaveBitmapFile); false without a
// front document window.
bool FrontDocumentAsBitmap(FrontDocumentBitmap& out);

// Opens the expression a bitmap carries in a new document window named after the file; false
// when the bitmap carries none (the hook of OpenBitmapFile).
bool OpenBitmapDocument(void* globalBlock, const char* path);

// Installs both hooks.
void InstallDibCarrier();
