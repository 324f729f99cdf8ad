#include "OverPc/documents/DibCarrier.h"

#include "ExprSrcs/ExprFilePane.h"
#include "OverPc/PERROR.h"
#include "OverPc/PEXPRPICT.h"
#include "OverPc/PFILE.h"
#include "OverPc/documents/Exports.h"
#include "OverPc/oPixMap.h"
#include "OverSrcs/eHeader.h"
#include "OverSrcs/eLayout.h"
#include "OverSrcs/eSelect.h"
#include "OverSrcs/etEncode.h"
#include "OverSrcs/oStreams.h"
#include "plat/Memory.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <memory>
#include <string>

namespace {

// The save type of bitmap files.
constexpr int32_t kBitmapSaveType = 13;
// The size of the bitmap info header; pixel rows are padded to 4 bytes.
constexpr uint32_t kBitmapHeaderSize = 40;

void putLE16(uint8_t*& at, uint32_t value) {
    *at++ = static_cast<uint8_t>(value);
    *at++ = static_cast<uint8_t>(value >> 8);
}

void putLE32(uint8_t*& at, uint32_t value) {
    putLE16(at, value & 0xFFFF);
    putLE16(at, value >> 16);
}

} // namespace

int32_t BitmapPortResolution(int32_t dotsPerInch) {
    return std::max(1, (2 * dotsPerInch + 4) / 9);
}

int32_t FittingResolution(int64_t width, int64_t height, int32_t dotsPerInch) {
    if (plat::BitmapSizeFits(width, height) || width <= 0 || height <= 0)
        return dotsPerInch;
    const double w = static_cast<double>(width);
    const double h = static_cast<double>(height);
    const double side = plat::kLargestBitmapSide;
    const double factor = std::min(
        {side / w, side / h, std::sqrt(static_cast<double>(plat::kLargestBitmapPixels) / (w * h))});
    const auto fitted = static_cast<int32_t>(std::floor(dotsPerInch * factor));
    return std::max(0, std::min(fitted, dotsPerInch - 1));
}

ExprBitmapLayout LayOutExprBitmap(const eExpr* expression, int32_t dotsPerInch,
                                  int32_t oversampling) {
    ExprBitmapLayout out;
    out.dotsPerInch = dotsPerInch;
    out.copy = expression->deepCopy();
    {
        std::unique_ptr<oMeasurePort> measure =
            NewMeasurePort(BitmapPortResolution(dotsPerInch), 0);
        MeasureExpr(out.copy.get(), measure.get());
    }
    // The same rotation and margins as every other picture of an expression.
    out.frame = TakeExprPictureFrame(*out.copy, dotsPerInch, BitmapPortResolution(dotsPerInch),
                                     oversampling);
    return out;
}

ExprBitmapLayout LayOutFittingExprBitmap(const eExpr* expression, int32_t dotsPerInch,
                                         int32_t oversampling) {
    // Every attempt takes the rotation the first one would have taken.
    const int32_t angle = NextPictureRotation;
    // Less oversampling first...
    for (int32_t s = std::max(1, oversampling);; s /= 2) {
        NextPictureRotation = angle;
        ExprBitmapLayout layout = LayOutExprBitmap(expression, dotsPerInch * s, s);
        layout.oversampling = s;
        if (layout.fits() || s == 1) {
            if (layout.fits())
                return layout;
            // ...then a lower resolution, until the bitmap fits (laid out again each time: the
            // size does not follow the resolution exactly).
            for (;;) {
                const int32_t lower = FittingResolution(
                    layout.frame.picture.right, layout.frame.picture.bottom, layout.dotsPerInch);
                if (lower < kLowestBitmapDotsPerInch)
                    Fail(errAllocTooLarge);
                NextPictureRotation = angle;
                layout = LayOutExprBitmap(expression, lower);
                layout.oversampling = 1;
                if (layout.fits())
                    return layout;
            }
        }
    }
}

std::vector<uint8_t> DrawExprDib(ExprBitmapLayout& layout, const eExpr* expression,
                                 const Color* background) {
    const Zone& zone = layout.frame.picture;
    const int32_t width = zone.right;
    const int32_t height = zone.bottom;
    std::unique_ptr<oPixMap> pixmap(NewPixMap(zone, BitmapPortResolution(layout.dotsPerInch), 912));
    pixmap->paintZone(zone, background != nullptr ? *background : Color{255, 255, 255, 255});
    DrawExprInFrame(*layout.copy, *pixmap, layout.frame);

    uint8_t* bits = nullptr;
    int32_t rowStep = 0;
    pixmap->lockBits(&bits, &rowStep);
    if (bits == nullptr)
        Fail(errNoMemory);
    const std::string encoding = ExprEncodingText(expression);
    const size_t rowBytes = (static_cast<size_t>(width) * 3 + 3) / 4 * 4;
    const size_t pixelBytes = rowBytes * static_cast<size_t>(height);
    // The whole block is sized once: header, rows, encoding and its terminator.
    std::vector<uint8_t> dib(kBitmapHeaderSize + pixelBytes + encoding.size() + 1, 0);
    uint8_t* at = dib.data();
    putLE32(at, kBitmapHeaderSize);
    putLE32(at, static_cast<uint32_t>(width));
    putLE32(at, static_cast<uint32_t>(height)); // positive: rows bottom-up
    putLE16(at, 1);
    putLE16(at, 24);
    putLE32(at, 0); // BI_RGB
    putLE32(at, static_cast<uint32_t>(pixelBytes));
    const auto perMetre = static_cast<uint32_t>((layout.dotsPerInch * 10000 + 127) / 254);
    putLE32(at, perMetre);
    putLE32(at, perMetre);
    putLE32(at, 0);
    putLE32(at, 0);
    const PixelFormat format = pixmap->format();
    for (int32_t row = height - 1; row >= 0; --row) {
        uint8_t* p = at;
        for (int32_t column = 0; column < width; ++column) {
            const Color c = ReadLockedPixel(bits, rowStep, format, column, row);
            *p++ = c.b;
            *p++ = c.g;
            *p++ = c.r;
        }
        at += rowBytes;
    }
    pixmap->unlockBits(bits, false);
    std::copy(encoding.begin(), encoding.end(), at); // the zero after it is already there
    return dib;
}

std::vector<uint8_t> MakeExprDib(const eExpr* expression, int32_t dotsPerInch,
                                 const Color* background) {
    if (dotsPerInch <= 0)
        dotsPerInch = PictPortDotsPerInch(0); // the screen's
    ExprBitmapLayout layout = LayOutFittingExprBitmap(expression, dotsPerInch, 1);
    return DrawExprDib(layout, expression, background);
}

void DocumentAsBitmap(const ExprFilePane& pane, FrontDocumentBitmap& out) {
    const SelectionRecord& record = pane.record();
    const Color* background = record.m_noBackground != 0 ? nullptr : &record.m_background;
    out.dib = MakeExprDib(record.m_root->getChild(0), BitmapResolution, background);
    out.changed = pane.changed();
    out.saveType = pane.saveType();
    out.path.clear();
    if (!pane.filePath().empty()) {
        std::filesystem::path path(pane.filePath());
        path.replace_extension(".bmp");
        out.path = path.string();
    }
}

bool FrontDocumentAsBitmap(FrontDocumentBitmap& out) {
    ExprFilePane* pane = FrontExpressionDocument();
    if (pane == nullptr)
        return false;
    DocumentAsBitmap(*pane, out);
    return true;
}

bool OpenBitmapDocument(void* globalBlock, const char* path) {
    auto block = static_cast<plat::HGLOBAL>(globalBlock);
    const void* bytes = plat::GlobalLock(block);
    if (bytes == nullptr)
        return false;
    ExprPtr expression;
    const int code =
        CatchFail([&] { expression = ReadEncodingFromDib(bytes, plat::GlobalSize(block)); });
    plat::GlobalUnlock(block);
    if (code != 0)
        Fail(code);
    if (!expression)
        return false;
    const std::string name = std::filesystem::path(path).filename().string();
    ExprFilePane* pane = NewExprFilePane(std::move(expression), nullptr, name.c_str(), 0);
    pane->setFilePath(path);
    pane->setSaveType(kBitmapSaveType);
    return true;
}

void InstallDibCarrier() {
    SetFrontBitmapHook(&FrontDocumentAsBitmap);
    SetOpenBitmapHook(&OpenBitmapDocument);
}
