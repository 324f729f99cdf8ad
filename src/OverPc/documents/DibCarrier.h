// Bitmaps that carry an expression: a packed device-independent bitmap (header, 24-bit pixel rows
// bottom-up) followed by the expression's encoding and a zero byte. Bitmap files and the bitmap
// copy format use it, so the picture opens again as an editable expression.
#pragma once

#include "OverPc/PEXPRPICT.h"
#include "OverSrcs/eObject.h"
#include "plat/Gdi.h"

#include <cstdint>
#include <vector>

class ExprFilePane;
struct FrontDocumentBitmap;

// The packed bitmap of the expression laid out at `dotsPerInch` (0: the screen's), drawn black on
// the background (white when `background` is null), with the encoding after the pixel rows. A
// picture larger than the platform's bitmaps is drawn at the highest lower resolution at which it
// fits (its header records that resolution). The caller's tree is not touched: a copy is laid
// out. Fails into the caller's error environment when the bitmap cannot be made.
std::vector<uint8_t> MakeExprDib(const eExpr* expression, int32_t dotsPerInch,
                                 const Color* background);

// The lowest resolution a bitmap of an expression is drawn at.
inline constexpr int32_t kLowestBitmapDotsPerInch = 3;

// A resolution at most `dotsPerInch` at which a picture of width x height pixels (at
// `dotsPerInch`) is expected to fit the platform's bitmaps: `dotsPerInch` itself when it fits,
// else lower by the picture's excess and by one at least.
int32_t FittingResolution(int64_t width, int64_t height, int32_t dotsPerInch);

// A copy of an expression laid out for a bitmap.
struct ExprBitmapLayout {
    ExprPtr copy;
    ExprPictureFrame frame;   // frame.picture is the bitmap's size in pixels
    int32_t dotsPerInch = 0;  // the resolution it is laid out at
    int32_t oversampling = 1; // how many times larger than the picture it is drawn
    bool fits() const { return plat::BitmapSizeFits(frame.picture.right, frame.picture.bottom); }
};
// The port resolution of a bitmap drawn at `dotsPerInch`.
int32_t BitmapPortResolution(int32_t dotsPerInch);
// Lays out a copy at `dotsPerInch`, for a picture drawn `oversampling` times larger than the one
// made of it; takes the next-picture rotation.
ExprBitmapLayout LayOutExprBitmap(const eExpr* expression, int32_t dotsPerInch,
                                  int32_t oversampling = 1);
// Lays out a copy at `dotsPerInch` x `oversampling` (a power of two) when its bitmap fits the
// platform's; else with less oversampling, and then at lower resolutions, until it fits. Fails
// with errAllocTooLarge when it fits at no resolution down to kLowestBitmapDotsPerInch.
ExprBitmapLayout LayOutFittingExprBitmap(const eExpr* expression, int32_t dotsPerInch,
                                         int32_t oversampling);
// The packed bitmap of a laid-out expression, with `expression`'s encoding after the rows.
std::vector<uint8_t> DrawExprDib(ExprBitmapLayout& layout, const eExpr* expression,
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
