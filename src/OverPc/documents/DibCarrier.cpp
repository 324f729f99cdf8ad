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
#include <filesystem>
#include <memory>
#include <string>

namespace {

// The save type of bitmap files.
constexpr int32_t kBitmapSaveType = 13;
// Pixel rows of a bitmap are padded to 4 bytes.
constexpr uint32_t kBitmapHeaderSize = 40;

void putLE16(std::vector<uint8_t>& out, uint32_t value) {
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

void putLE32(std::vector<uint8_t>& out, uint32_t value) {
    putLE16(out, value & 0xFFFF);
    putLE16(out, value >> 16);
}

} // namespace

std::vector<uint8_t> MakeExprDib(const eExpr* expression, int32_t dotsPerInch,
                                 const Color* background) {
    if (dotsPerInch <= 0)
        dotsPerInch = PictPortDotsPerInch(0); // the screen's
    const int32_t resolution = (2 * dotsPerInch + 4) / 9;
    ExprPtr copy = expression->deepCopy();
    {
        std::unique_ptr<oMeasurePort> measure = NewMeasurePort(resolution, 0);
        MeasureExpr(copy.get(), measure.get());
    }
    // The same rotation and margins as every other picture of an expression.
    const ExprPictureFrame frame = TakeExprPictureFrame(*copy, dotsPerInch);
    const Zone& zone = frame.picture;
    const int32_t width = zone.right;
    const int32_t height = zone.bottom;
    std::unique_ptr<oPixMap> pixmap(NewPixMap(zone, resolution, 912));
    pixmap->paintZone(zone, background != nullptr ? *background : Color{255, 255, 255, 255});
    DrawExprInFrame(*copy, *pixmap, frame);

    uint8_t* bits = nullptr;
    int32_t rowStep = 0;
    pixmap->lockBits(&bits, &rowStep);
    if (bits == nullptr)
        Fail(errNoMemory);
    const uint32_t rowBytes = (static_cast<uint32_t>(width) * 3 + 3) / 4 * 4;
    std::vector<uint8_t> dib;
    dib.reserve(kBitmapHeaderSize + rowBytes * static_cast<uint32_t>(height) + 256);
    putLE32(dib, kBitmapHeaderSize);
    putLE32(dib, static_cast<uint32_t>(width));
    putLE32(dib, static_cast<uint32_t>(height)); // positive: rows bottom-up
    putLE16(dib, 1);
    putLE16(dib, 24);
    putLE32(dib, 0); // BI_RGB
    putLE32(dib, rowBytes * static_cast<uint32_t>(height));
    const uint32_t perMetre = static_cast<uint32_t>((dotsPerInch * 10000 + 127) / 254);
    putLE32(dib, perMetre);
    putLE32(dib, perMetre);
    putLE32(dib, 0);
    putLE32(dib, 0);
    for (int32_t row = height - 1; row >= 0; --row) {
        const size_t start = dib.size();
        for (int32_t column = 0; column < width; ++column) {
            const Color c = ReadLockedPixel(bits, rowStep, pixmap->format(), column, row);
            dib.push_back(c.b);
            dib.push_back(c.g);
            dib.push_back(c.r);
        }
        dib.resize(start + rowBytes, 0);
    }
    pixmap->unlockBits(bits, false);

    const std::string encoding = ExprEncodingText(expression);
    dib.insert(dib.end(), encoding.begin(), encoding.end());
    dib.push_back(0);
    return dib;
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
