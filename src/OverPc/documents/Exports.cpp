#include "OverPc/documents/Exports.h"

#include "ExprSrcs/EPane.h"
#include "ExprSrcs/ExprFilePane.h"
#include "ExprSrcs/documents/Documents.h"
#include "OverPc/PERROR.h"
#include "OverPc/PEXPRPICT.h"
#include "OverPc/PFILE.h"
#include "OverPc/PPRINT.h"
#include "OverPc/PUTIL.h"
#include "OverPc/Presourc.h"
#include "OverPc/documents/ClipboardCommands.h"
#include "OverPc/documents/DibCarrier.h"
#include "OverSrcs/commands/kEdit.h"
#include "OverSrcs/documents/DocLines.h"
#include "OverSrcs/eChar.h"
#include "OverSrcs/eLayout.h"
#include "OverSrcs/eSelect.h"
#include "OverSrcs/oGraph.h"
#include "OverSrcs/oPNG.h"
#include "OverSrcs/oPostScr.h"
#include "OverSrcs/oStreams.h"

#include <algorithm>
#include <memory>

int32_t EpsResolution = 0;
int32_t EpsOutputType = 0;
int32_t BitmapResolution = 0;

namespace {

// The colour chooser's prompt for the background colour.
constexpr int kBackgroundPromptString = 222;

// An output stream into a string, bytes as given.
class StringOStream final : public oOStream {
public:
    std::uint32_t write(const void* bytes, std::uint32_t n) override {
        text.append(static_cast<const char*>(bytes), n);
        m_count += n;
        return n;
    }
    std::string text;
};

void collectFonts(const eExpr* node) {
    if (node == nullptr)
        return;
    if (const auto* leaf = dynamic_cast<const eChar*>(node)) {
        if (leaf->m_fontIndex != kNoFontIndex)
            AddDocumentFont(leaf->m_fontIndex);
    }
    for (int32_t i = 0; i < node->childCount(); ++i)
        collectFonts(node->getChild(i));
}

DocumentBackground backgroundOf(const Color* background) {
    DocumentBackground out;
    if (background != nullptr) {
        out.color = *background;
        out.none = false;
    }
    return out;
}

std::string documentLinesText(const eExpr* expression, const Color* background) {
    StringOStream lines;
    WriteDocumentLines(lines, expression, backgroundOf(background), nullptr, nullptr);
    return lines.text;
}

void writeBytes(const std::string& path, const void* bytes, size_t size) {
    oOFileStream* file = NewOFileStream(path.c_str(), true);
    oOStreamPtr stream(file);
    file->writeRaw(bytes, static_cast<std::uint32_t>(size));
    CloseStream(stream);
}

void writePaneFile(int32_t saveType, ExprFilePane& pane, const std::string& path) {
    const SelectionRecord& record = pane.record();
    WriteExportFile(saveType, pane.expression(),
                    record.m_noBackground != 0 ? nullptr : &record.m_background, path);
}

template <int32_t Type> void paneWriter(ExprFilePane& pane, const std::string& path) {
    writePaneFile(Type, pane, path);
}

// Bitmap files are written as Save Bitmap writes them.
void bitmapWriter(ExprFilePane& pane, const std::string& path) {
    FrontDocumentBitmap bitmap;
    DocumentAsBitmap(pane, bitmap);
    WriteBitmapFile(bitmap, path);
}

} // namespace

void CollectDocumentFonts(const eExpr* expression) {
    collectFonts(expression);
}

std::string ExprEpsText(const eExpr* expression, const Color* background) {
    const int32_t dpi = EpsResolution > 0 ? EpsResolution : 300;
    const int32_t resolution = (2 * dpi + 4) / 9;
    ExprPtr copy = expression->deepCopy();
    {
        std::unique_ptr<oMeasurePort> measure = NewMeasurePort(resolution, 0);
        MeasureExpr(copy.get(), measure.get());
    }
    const int32_t angle = NextPictureRotation;
    NextPictureRotation = PictureRotationSetting;

    ClearDocumentFontList();
    CollectDocumentFonts(copy.get());
    // PostScript output names the alternative symbol face as the printers' own.
    SetPostScriptRudizeAsSymbol(true);
    MagnificationNum = dpi;
    MagnificationDen = 300;
    // The dialect is taken when a port is made; later ports are regular again, even when making
    // one fails.
    struct Dialect {
        Dialect() { SetPostScriptSimplified(EpsOutputType == kSimplifiedEpsOutput); }
        ~Dialect() { SetPostScriptSimplified(false); }
    };
    const auto newPort = [&](oOStream& stream, const Zone& zone) {
        const Dialect dialect;
        return NewPostScriptPort(stream, zone, nullptr, nullptr, resolution, angle, true, false,
                                 true);
    };
    // A stroke reaches half its width past its ends and its corners' mitres further: drawn once
    // where nothing is kept, the ink beyond the laid-out zone widens the picture so that nothing
    // is cut off, whatever the margins.
    const Zone laid{0, 0, copy->width(), copy->height(), 0, 0};
    Zone ink;
    {
        StringOStream scratch;
        std::unique_ptr<oPostScriptPort> port = newPort(scratch, laid);
        DrawExpr(copy.get(), port.get(), 0, 0, 0, 0, -copy->m_zone.left, -copy->m_zone.top);
        ink = port->inkBounds();
    }
    const int32_t left = MarginInDots(PictureMarginSettings.left, dpi) + std::max(0, -ink.left);
    const int32_t top = MarginInDots(PictureMarginSettings.top, dpi) + std::max(0, -ink.top);
    const int32_t right =
        MarginInDots(PictureMarginSettings.right, dpi) + std::max(0, ink.right - laid.right);
    const int32_t bottom =
        MarginInDots(PictureMarginSettings.bottom, dpi) + std::max(0, ink.bottom - laid.bottom);
    const Zone zone{
        0, 0, std::max(1, copy->width() + left + right), std::max(1, copy->height() + top + bottom),
        0, 0};
    StringOStream out;
    {
        std::unique_ptr<oPostScriptPort> port = newPort(out, zone);
        if (background != nullptr)
            port->paintZone(zone, *background);
        DrawExpr(copy.get(), port.get(), 0, 0, 0, 0, left - copy->m_zone.left,
                 top - copy->m_zone.top);
    }
    // The expression rides after the trailer as comment lines, so the file opens again.
    WriteDocumentLines(out, expression, backgroundOf(background), nullptr, nullptr);
    return out.text;
}

void WriteExportFile(int32_t saveType, const eExpr* expression, const Color* background,
                     const std::string& path) {
    switch (saveType) {
    case kEpsSaveType: {
        const std::string eps = ExprEpsText(expression, background);
        writeBytes(path, eps.data(), eps.size());
        return;
    }
    case kPngSaveType: {
        const std::vector<uint8_t> png = ExprPngBytes(expression, PngSmoothing, background,
                                                      documentLinesText(expression, background));
        writeBytes(path, png.data(), png.size());
        return;
    }
    case kEmfSaveType: {
        // Without a background nothing is painted behind the expression.
        ExprPictureStyle style;
        if (background != nullptr)
            style.background = *background;
        else
            style.keepBackground = true;
        SaveExprAsMetafile(expression, path.c_str(), style, MetafileDotsPerInch());
        return;
    }
    case kBmpSaveType: {
        FrontDocumentBitmap bitmap;
        bitmap.dib = MakeExprDib(expression, BitmapResolution, background);
        WriteBitmapFile(bitmap, path);
        return;
    }
    default:
        Fail(errNoPicturePort);
    }
}

bool OpenPngDocument(const char* path) {
    std::string bytes;
    {
        std::unique_ptr<oIFileStream, oIStreamDeleter> stream(NewIFileStream(path));
        bytes = stream->readAll();
    }
    std::string text;
    const int16_t failed = CatchFail([&] {
        std::vector<uint8_t> pixels;
        int32_t w = 0, h = 0, rowBytes = 0;
        ReadPngFromMemory(pixels, w, h, rowBytes, reinterpret_cast<const uint8_t*>(bytes.data()),
                          bytes.size(), text);
    });
    if (failed != 0 || text.empty())
        return false;
    DocumentLines lines;
    if (CatchFail([&] {
            lines = ReadDocumentLinesFromMemory(text.data(), static_cast<uint32_t>(text.size()));
        }) != 0 ||
        !lines.expression)
        return false;
    const std::string name = FileNameOfPath(path);
    ExprFilePane* pane = NewExprFilePane(std::move(lines.expression), nullptr, name.c_str(), 0);
    pane->record().m_background = lines.background.color;
    pane->record().m_noBackground = lines.background.none ? 1 : 0;
    pane->setFilePath(path);
    pane->setSaveType(kPngSaveType);
    pane->takeFocus();
    return true;
}

void PrintExpressionCommand() {
    ExprFilePane* pane = FrontExpressionDocument();
    if (pane == nullptr || pane->expression() == nullptr || !AskPrintJob())
        return;
    ExprPtr copy = pane->expression()->deepCopy();
    int32_t measuredAt = -1;
    auto measureAt = [&](int32_t resolution) {
        if (resolution == measuredAt)
            return;
        std::unique_ptr<oMeasurePort> measure = NewMeasurePort(resolution, 0);
        MeasureExpr(copy.get(), measure.get());
        measuredAt = resolution;
    };
    PrinterPageMetrics metrics;
    GetPrinterPageMetrics(metrics);
    measureAt((2 * metrics.resolution + 4) / 9);
    ClearDocumentFontList();
    CollectDocumentFonts(copy.get());
    const int code = CatchFail([&] {
        PrintPages(1, [&](wPrinterPort& port, int32_t) {
            // At the printer's own resolution, unscaled, at the top left of the printable area.
            measureAt(port.resolution());
            const Zone& area = port.printableArea();
            DrawExpr(copy.get(), &port, 0, 0, 0, 0, area.left - copy->m_zone.left,
                     area.top - copy->m_zone.top);
        });
    });
    if (code != 0 && code != errUserInterrupt && code != errPrintCancelled)
        ErrorAlert(code);
}

void ChooseBackgroundColourCommand() {
    ExprFilePane* pane = FrontExpressionDocument();
    if (pane == nullptr)
        return;
    SelectionRecord& record = pane->record();
    const Color now = record.m_noBackground != 0 ? kColorWhite : record.m_background;
    uint8_t rgb[3] = {now.r, now.g, now.b};
    if (!ChooseColorDialog(LoadResString(kBackgroundPromptString), rgb))
        return;
    // White is no background of its own.
    const bool none = rgb[0] == 255 && rgb[1] == 255 && rgb[2] == 255;
    const Color chosen{rgb[0], rgb[1], rgb[2], 255};
    if (none == (record.m_noBackground != 0) && (none || chosen == record.m_background))
        return;
    if (&record == ActiveRecord)
        BeginOutsideTreeStep();
    record.m_background = none ? kColorWhite : chosen;
    record.m_noBackground = none ? 1 : 0;
    pane->setChanged(true);
    RefreshPane(pane);
}

void InstallExportWriters() {
    SetDocumentSaveWriter(kEpsSaveType, &paneWriter<kEpsSaveType>);
    SetDocumentSaveWriter(kPngSaveType, &paneWriter<kPngSaveType>);
    SetDocumentSaveWriter(kEmfSaveType, &paneWriter<kEmfSaveType>);
    SetDocumentSaveWriter(kBmpSaveType, &bitmapWriter);
}
