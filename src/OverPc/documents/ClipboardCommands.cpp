#include "OverPc/documents/ClipboardCommands.h"

#include "OverPc/PCRASH.h"
#include "OverPc/PERROR.h"
#include "OverPc/PEXPRPICT.h"
#include "OverPc/PPICTEXT.h"
#include "OverPc/documents/CopyTargets.h"
#include "OverPc/documents/DibCarrier.h"
#include "OverPc/documents/Exports.h"
#include "OverPc/documents/Translations.h"
#include "OverPc/oPixMap.h"
#include "OverSrcs/Winufo.h"
#include "OverSrcs/commands/kEdit.h"
#include "OverSrcs/documents/DocLines.h"
#include "OverSrcs/documents/MTEF5Parser.h"
#include "OverSrcs/documents/OleData.h"
#include "OverSrcs/documents/RtfText.h"
#include "OverSrcs/eEditSupport.h"
#include "OverSrcs/eHeader.h"
#include "OverSrcs/eLayout.h"
#include "OverSrcs/eSelect.h"
#include "OverSrcs/eUFO.h"
#include "OverSrcs/etEncode.h"
#include "OverSrcs/etGener.h"
#include "OverSrcs/oGraph.h"
#include "OverSrcs/oPNG.h"
#include "OverSrcs/oPostScr.h"
#include "plat/Memory.h"
#include "plat/Metafile.h"

#include <algorithm>
#include <cstring>
#include <memory>

int32_t DefaultCopyFormat = kCopyAsMetafile;
int32_t PngSmoothing = 1;
uint8_t PluginTagMathSpeak = 1;
int32_t EpsClipboardType = 0;
int32_t WordTargetAlignment = 0;
void (*CopyAsNothingNotice)() = nullptr;
void (*MtefNotice)() = nullptr;

namespace {

ClipboardFormatIds s_formats;

constexpr uint32_t kDibHeaderSize = 40;

uint32_t le32(const uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

void putLE16(std::vector<uint8_t>& out, size_t at, uint32_t v) {
    out[at] = static_cast<uint8_t>(v);
    out[at + 1] = static_cast<uint8_t>(v >> 8);
}

std::vector<uint8_t> bytesOf(const std::string& text, bool terminate) {
    std::vector<uint8_t> out(text.begin(), text.end());
    if (terminate)
        out.push_back(0);
    return out;
}

// The pane's background, or white when it has none.
const Color* activeBackground() {
    if (ActiveRecord == nullptr || ActiveRecord->m_noBackground != 0)
        return nullptr;
    return &ActiveRecord->m_background;
}

// Metafiles paint the document's background, or nothing when it has none.
ExprPictureStyle pictureStyle() {
    ExprPictureStyle style;
    if (const Color* bg = activeBackground())
        style.background = *bg;
    else
        style.keepBackground = true;
    return style;
}

// The Windows metafile of an enhanced one, with the placeable header in front (the clipboard's
// metafile picture format), in hundredths of a millimetre.
std::vector<uint8_t> wmfOfEmf(const std::vector<uint8_t>& emf) {
    plat::HENHMETAFILE m =
        plat::SetEnhMetaFileBits(static_cast<plat::UINT>(emf.size()), emf.data());
    if (m == nullptr)
        return {};
    plat::ENHMETAHEADER header{};
    plat::GetEnhMetaFileHeader(m, sizeof header, &header);
    const plat::UINT size =
        plat::GetWinMetaFileBits(m, 0, nullptr, 8 /* MM_ANISOTROPIC */, nullptr);
    std::vector<uint8_t> out;
    if (size != 0) {
        out.assign(22, 0);
        const uint32_t key = 0x9AC6CDD7u;
        putLE16(out, 0, key & 0xFFFF);
        putLE16(out, 2, key >> 16);
        const int32_t w = header.rclFrame.right - header.rclFrame.left;
        const int32_t h = header.rclFrame.bottom - header.rclFrame.top;
        putLE16(out, 10, static_cast<uint32_t>(std::clamp(w, 1, 32767)));
        putLE16(out, 12, static_cast<uint32_t>(std::clamp(h, 1, 32767)));
        putLE16(out, 14, 2540); // units per inch: hundredths of a millimetre
        uint32_t sum = 0;
        for (size_t i = 0; i < 20; i += 2)
            sum ^= out[i] | (out[i + 1] << 8);
        putLE16(out, 20, sum);
        const size_t at = out.size();
        out.resize(at + size);
        plat::GetWinMetaFileBits(m, size, out.data() + at, 8, nullptr);
    }
    plat::DeleteEnhMetaFile(m);
    return out;
}

void addText(CCBIDataObject& object, const eExpr* expression, int32_t format) {
    // The format's translation: TeX, MathML, MathSpeak or the Copy As translator's text.
    object.add(plat::CF_TEXT, bytesOf(CopyFormatText(format, expression), true));
}

// The frame of an enhanced metafile's header, in hundredths of a millimetre.
void emfFrameSize(const std::vector<uint8_t>& emf, int32_t& width, int32_t& height) {
    width = height = 1;
    if (emf.size() < 40)
        return;
    const auto at = [&](size_t offset) { return static_cast<int32_t>(le32(emf.data() + offset)); };
    width = std::max(1, at(32) - at(24));
    height = std::max(1, at(36) - at(28));
}

// The object's storage and its descriptor ("Embed Source", "Object Descriptor").
void addObject(CCBIDataObject& object, const eExpr* expression, const std::vector<uint8_t>& emf) {
    int32_t w = 1, h = 1;
    emfFrameSize(emf, w, h);
    object.add(s_formats.embedSource,
               EmbeddedObjectStorage(ExprEncodingText(expression, nullptr, true)));
    object.add(s_formats.objectDescriptor, ObjectDescriptorBytes(w, h, "Korvaline"));
}

// Every picture of one copy is turned the same way: each one takes the next-picture rotation.
std::vector<uint8_t> copyEmf(const eExpr* expression) {
    const int32_t angle = NextPictureRotation;
    std::vector<uint8_t> emf = ExprEmfBytes(expression);
    NextPictureRotation = angle;
    return emf;
}

void addPictures(CCBIDataObject& object, const eExpr* expression, std::vector<uint8_t> emf = {}) {
    if (emf.empty())
        emf = copyEmf(expression);
    if (!emf.empty()) {
        std::vector<uint8_t> wmf = wmfOfEmf(emf);
        object.add(plat::CF_ENHMETAFILE, std::move(emf));
        if (!wmf.empty())
            object.add(plat::CF_METAFILEPICT, std::move(wmf));
    }
    object.add(s_formats.png, ExprPngBytes(expression, PngSmoothing, activeBackground(),
                                           ExprEncodingText(expression)));
}

void addBitmap(CCBIDataObject& object, const eExpr* expression) {
    const int32_t angle = NextPictureRotation;
    object.add(plat::CF_DIB, MakeExprDib(expression, BitmapResolution, activeBackground()));
    NextPictureRotation = angle;
    object.add(s_formats.png, ExprPngBytes(expression, PngSmoothing, activeBackground(),
                                           ExprEncodingText(expression)));
}

// A layout or drawing application gets PostScript alone (as "ADOBE AI3", at its own resolution),
// a bitmap, or the pictures of a metafile copy, as its settings say.
void addPictureTarget(CCBIDataObject& object, const eExpr* expression, int32_t format) {
    const CopyTargetSettings settings = CopyTargetSettingsOf(format);
    if (settings.epsOnly != 0) {
        const int32_t kept = EpsResolution;
        EpsResolution = settings.postscriptResolution;
        std::string eps;
        const int code = CatchFail([&] { eps = ExprEpsText(expression, activeBackground()); });
        EpsResolution = kept;
        if (code != 0)
            Fail(code);
        object.add(s_formats.ai3, bytesOf(eps, false));
        return;
    }
    if (settings.useBitmap != 0)
        addBitmap(object, expression);
    else
        addPictures(object, expression);
    addText(object, expression, format);
}

// A web-page target gets the text of its method; the PNG method also the picture.
void addWebTarget(CCBIDataObject& object, const eExpr* expression, int32_t format) {
    std::string png;
    object.add(plat::CF_TEXT,
               bytesOf(WebTargetCopyText(expression, format, activeBackground(), &png), true));
    if (!png.empty())
        addBitmap(object, expression);
}

// Fills the object with the formats of `format`; the expression itself comes first.
void render(CCBIDataObject& object, const eExpr* expression, int32_t format) {
    object.add(s_formats.expression, bytesOf(ExprEncodingText(expression), true));
    switch (format) {
    case kCopyAsBitmap:
    case 28: // Photoshop
        addBitmap(object, expression);
        addText(object, expression, format);
        break;
    case kCopyAsTeX:
    case kCopyAsMathML:
    case kCopyAsMathSpeak:
    case kCopyAsMakerMath:
    case kCopyAsMakerComment:
        addText(object, expression, format);
        break;
    case kCopyAsEps: {
        const std::string eps = ExprEpsText(expression, activeBackground());
        object.add(EpsClipboardType == 1 ? s_formats.ai3 : s_formats.eps, bytesOf(eps, false));
        break;
    }
    case kCopyAsOleObject: {
        std::vector<uint8_t> emf = copyEmf(expression);
        addObject(object, expression, emf);
        addPictures(object, expression, std::move(emf));
        addText(object, expression, format);
        break;
    }
    case kCopyAsOffice: {
        std::vector<uint8_t> emf = copyEmf(expression);
        object.add(s_formats.rtf, bytesOf(ExprRtfText(expression, emf), false));
        addObject(object, expression, emf);
        addPictures(object, expression, std::move(emf));
        addText(object, expression, format);
        break;
    }
    case kCopyAsHtmlTag:
        object.add(plat::CF_TEXT, bytesOf(CopyAsHtmlTagText(expression), true));
        break;
    case kCopyForGoLive:
    case kCopyForDreamweaver:
    case kCopyForBlackboard:
    case kCopyForWebCT:
        addWebTarget(object, expression, format);
        break;
    case kCopyForInDesign:
    case kCopyForIllustrator:
    case kCopyForFlash:
    case kCopyForFreehand:
    case kCopyForFireworks:
        addPictureTarget(object, expression, format);
        break;
    default:
        addPictures(object, expression);
        addText(object, expression, format);
        break;
    }
}

// The resolution a copy format's pictures are drawn at, which the copy records as the
// magnification ratio (dpi : 300).
int32_t copyDotsPerInch(int32_t format) {
    switch (format) {
    case kCopyAsEps:
        return EpsResolution > 0 ? EpsResolution : 300;
    case kCopyAsBitmap:
    case 28:
        return BitmapResolution > 0 ? BitmapResolution : PictPortDotsPerInch(0);
    case kCopyAsHtmlTag:
    case kCopyAsTeX:
    case kCopyAsMathML:
    case kCopyAsMathSpeak:
    case kCopyAsMakerMath:
    case kCopyAsMakerComment:
    case 26:
    case 29:
    case 41:
    case 42:
        return PictPortDotsPerInch(0);
    default:
        return MetafileDotsPerInch();
    }
}

// Reads an expression from bytes; a failure of the reader gives null.
template <class Reader> ExprPtr tryRead(Reader&& reader) {
    ExprPtr out;
    if (CatchFail([&] { out = reader(); }) != 0)
        return ExprPtr();
    return out;
}

bool dataOf(plat::IDataObject* object, plat::UINT format, std::vector<uint8_t>& bytes) {
    if (format == 0)
        return false;
    plat::STGMEDIUM medium;
    plat::FORMATETC f{format, plat::TYMED_HGLOBAL};
    if (object->GetData(f, &medium) != plat::S_OK)
        return false;
    bool ok = false;
    if (medium.hGlobal != nullptr) {
        const void* p = plat::GlobalLock(medium.hGlobal);
        if (p != nullptr) {
            const auto* b = static_cast<const uint8_t*>(p);
            bytes.assign(b, b + plat::GlobalSize(medium.hGlobal));
            plat::GlobalUnlock(medium.hGlobal);
            ok = true;
        }
    }
    plat::ReleaseStgMedium(&medium);
    return ok;
}

// The text of a text format, up to its terminator.
std::string textOf(const std::vector<uint8_t>& bytes) {
    const auto end = std::find(bytes.begin(), bytes.end(), uint8_t{0});
    return std::string(bytes.begin(), end);
}

ExprPtr exprFromPng(const std::vector<uint8_t>& bytes) {
    return tryRead([&] {
        std::vector<uint8_t> pixels;
        int32_t w = 0, h = 0, rowBytes = 0;
        std::string text;
        ReadPngFromMemory(pixels, w, h, rowBytes, bytes.data(), bytes.size(), text);
        if (text.empty())
            return ExprPtr();
        return ReadDocumentLinesFromMemory(text.data(), static_cast<uint32_t>(text.size()))
            .expression;
    });
}

// An opaque picture node holding the picture; null when the bytes made none.
ExprPtr pictureNode(std::unique_ptr<WinUfo> picture) {
    if (!picture)
        return ExprPtr();
    return NewUFO(std::move(picture), nullptr, 0);
}

} // namespace

const ClipboardFormatIds& ClipboardFormats() {
    return s_formats;
}

void CreateClipboardObject() {
    plat::OleInitialize(nullptr);
    s_formats.expression = plat::RegisterClipboardFormat("Korvaline Expression");
    s_formats.eps = plat::RegisterClipboardFormat("Encapsulated Postscript");
    s_formats.ai3 = plat::RegisterClipboardFormat("ADOBE AI3");
    s_formats.png = plat::RegisterClipboardFormat("PNG");
    s_formats.rtf = plat::RegisterClipboardFormat("Rich Text Format");
    s_formats.embedSource = plat::RegisterClipboardFormat(kEmbedSourceFormatName);
    s_formats.objectDescriptor = plat::RegisterClipboardFormat(kObjectDescriptorFormatName);
}

void ReleaseClipboardObject() {
    plat::OleFlushClipboard();
    plat::OleUninitialize();
}

// ---- The data object ---------------------------------------------------------------------------

void CCBIDataObject::add(plat::UINT format, std::vector<uint8_t> bytes) {
    if (format == 0 || bytes.empty())
        return;
    for (auto& item : m_items) {
        if (item.first == format) {
            item.second = std::move(bytes);
            return;
        }
    }
    m_items.emplace_back(format, std::move(bytes));
}

const std::vector<uint8_t>* CCBIDataObject::find(plat::UINT format) const {
    for (const auto& item : m_items) {
        if (item.first == format)
            return &item.second;
    }
    return nullptr;
}

plat::HRESULT CCBIDataObject::GetData(const plat::FORMATETC& format, plat::STGMEDIUM* medium) {
    if (medium == nullptr)
        return plat::E_FAIL;
    *medium = plat::STGMEDIUM{};
    const std::vector<uint8_t>* bytes = find(format.cfFormat);
    if (bytes == nullptr)
        return plat::DV_E_FORMATETC;
    if (format.cfFormat == plat::CF_ENHMETAFILE && (format.tymed & plat::TYMED_ENHMF) != 0) {
        medium->hEnhMetaFile =
            plat::SetEnhMetaFileBits(static_cast<plat::UINT>(bytes->size()), bytes->data());
        if (medium->hEnhMetaFile == nullptr)
            return plat::E_FAIL;
        medium->tymed = plat::TYMED_ENHMF;
        return plat::S_OK;
    }
    plat::HGLOBAL g = plat::GlobalAlloc(plat::GMEM_MOVEABLE, bytes->size());
    if (g == nullptr)
        return plat::E_FAIL;
    std::memcpy(plat::GlobalLock(g), bytes->data(), bytes->size());
    plat::GlobalUnlock(g);
    medium->tymed = plat::TYMED_HGLOBAL;
    medium->hGlobal = g;
    return plat::S_OK;
}

plat::HRESULT CCBIDataObject::QueryGetData(const plat::FORMATETC& format) {
    return find(format.cfFormat) != nullptr ? plat::S_OK : plat::S_FALSE;
}

plat::HRESULT CCBIDataObject::EnumFormatEtc(std::vector<plat::FORMATETC>& formats) {
    formats.clear();
    for (const auto& item : m_items)
        formats.push_back(plat::FORMATETC{item.first, plat::TYMED_HGLOBAL});
    return plat::S_OK;
}

// ---- Rendering ---------------------------------------------------------------------------------

ExprPtr ExportExpression(bool wholeExpression) {
    if (ActiveRecord == nullptr || ActiveRecord->m_root == nullptr ||
        ActiveRecord->m_root->childCount() == 0)
        return ExprPtr();
    const eExpr* whole = ActiveRecord->m_root->getChild(0);
    if (!wholeExpression && ActiveRecord->count() > 0) {
        const SelectionEntry& entry = ActiveRecord->entry(0);
        if (entry.node != nullptr && entry.start != entry.end) {
            ExprPtr part = CopySelectedPart(entry);
            if (part)
                return part;
        }
    }
    return whole != nullptr ? whole->deepCopy() : ExprPtr();
}

std::vector<uint8_t> ExprEmfBytes(const eExpr* expression) {
    std::vector<uint8_t> out;
    std::unique_ptr<WinUfo> picture =
        NewExprPicture(expression, MetafileDotsPerInch(), pictureStyle());
    auto m = reinterpret_cast<plat::HENHMETAFILE>(picture->enhMetafile());
    const plat::UINT size = plat::GetEnhMetaFileBits(m, 0, nullptr);
    out.resize(size);
    if (size != 0)
        plat::GetEnhMetaFileBits(m, size, out.data());
    return out;
}

std::vector<uint8_t> ExprPngBytes(const eExpr* expression, int32_t smoothing,
                                  const Color* background, const std::string& text) {
    const int32_t s = 1 << std::clamp(smoothing, 0, 3);
    const int32_t dpi = PictPortDotsPerInch(0);
    // The bitmap at s times the resolution, averaged over s x s blocks.
    const std::vector<uint8_t> dib = MakeExprDib(expression, dpi * s, background);
    if (dib.size() < kDibHeaderSize)
        Fail(errPngFailure);
    const int32_t bigW = static_cast<int32_t>(le32(dib.data() + 4));
    const int32_t bigH = static_cast<int32_t>(le32(dib.data() + 8));
    const size_t rowBytes = (static_cast<size_t>(bigW) * 3 + 3) / 4 * 4;
    const int32_t w = std::max(1, (bigW + s - 1) / s);
    const int32_t h = std::max(1, (bigH + s - 1) / s);
    std::vector<uint8_t> pixels(static_cast<size_t>(w) * h * 4, 0);
    for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x) {
            uint32_t sum[3] = {0, 0, 0};
            uint32_t n = 0;
            for (int32_t dy = 0; dy < s; ++dy) {
                const int32_t by = y * s + dy;
                if (by >= bigH)
                    break;
                // Rows are stored bottom-up.
                const uint8_t* row = dib.data() + kDibHeaderSize + (bigH - 1 - by) * rowBytes;
                for (int32_t dx = 0; dx < s; ++dx) {
                    const int32_t bx = x * s + dx;
                    if (bx >= bigW)
                        break;
                    sum[0] += row[bx * 3 + 2];
                    sum[1] += row[bx * 3 + 1];
                    sum[2] += row[bx * 3];
                    ++n;
                }
            }
            uint8_t* p = pixels.data() + (static_cast<size_t>(y) * w + x) * 4;
            for (int i = 0; i < 3; ++i)
                p[1 + i] = static_cast<uint8_t>(n != 0 ? (sum[i] + n / 2) / n : 255);
        }
    }
    std::vector<uint8_t> out;
    WritePngToMemory(out, pixels.data(), w, h, w * 4, text.c_str(), false);
    return out;
}

std::string ExprRtfText(const eExpr* expression, const std::vector<uint8_t>& emf) {
    RtfObject rtf;
    emfFrameSize(emf, rtf.widthHimetric, rtf.heightHimetric);
    rtf.emf = emf;
    rtf.packet =
        EmbeddedObjectPacket(EmbeddedObjectStorage(ExprEncodingText(expression, nullptr, true)));
    rtf.token = EncodingTokenOf(expression);
    // The expression laid out in twips (1440 dots per inch) places the object against the text
    // line; rich text moves it in half points.
    constexpr int32_t kTwipsPerInch = 1440;
    ExprPtr copy = expression->deepCopy();
    {
        std::unique_ptr<oMeasurePort> measure =
            NewMeasurePort(PictPortResolution(kTwipsPerInch), 0);
        MeasureExpr(copy.get(), measure.get());
    }
    const auto height = static_cast<int32_t>(int64_t{rtf.heightHimetric} * kTwipsPerInch / 2540);
    const int32_t axis = MarginInDots(PictureMarginSettings.top, kTwipsPerInch) + copy->m_zone.ref1;
    const int32_t shift = RtfObjectShift(WordTargetAlignment, height, axis, copy->m_size);
    rtf.shiftHalfPoints = shift >= 0 ? (shift + 5) / 10 : -((-shift + 5) / 10);
    return RtfWithObject(rtf);
}

std::string CopyAsHtmlTagText(const eExpr* expression) {
    return PluginTagText(expression, PluginTagMathSpeak != 0);
}

bool CopyAs(bool wholeExpression, bool handToClipboard, int32_t format, plat::IDataObject** out) {
    if (out != nullptr)
        *out = nullptr;
    if (format == kCopyAsNothing) {
        if (CopyAsNothingNotice != nullptr)
            CopyAsNothingNotice();
        return false;
    }
    ExprPtr expression = ExportExpression(wholeExpression);
    if (!expression) {
        CommandBeep();
        return false;
    }
    // Every copy starts without the symbol-face replacement; the PostScript writers of the copy
    // turn it on (and record their own resolution).
    SetPostScriptRudizeAsSymbol(false);
    MagnificationNum = copyDotsPerInch(format);
    MagnificationDen = 300;
    auto* object = new CCBIDataObject();
    const int code = CatchFail([&] { render(*object, expression.get(), format); });
    if (code != 0) {
        object->Release();
        Fail(code);
    }
    if (!handToClipboard) {
        if (out != nullptr)
            *out = object;
        else
            object->Release();
        return true;
    }
    const bool ok = plat::OleSetClipboard(object) == plat::S_OK;
    object->Release();
    if (!ok)
        CommandBeep();
    return ok;
}

// ---- Pasting -----------------------------------------------------------------------------------

namespace {

// Equation data of the older form whose first and fourth bytes are both 4, which the program
// does not read.
bool isNoticeMtef(const std::vector<uint8_t>& bytes) {
    return bytes.size() >= 4 && bytes[0] == 4 && bytes[3] == 4;
}

} // namespace

ExprPtr ExprFromDataObject(plat::IDataObject* object, bool* tooLarge) {
    if (object == nullptr)
        return ExprPtr();
    std::vector<uint8_t> bytes;
    ExprPtr expr;
    if (dataOf(object, s_formats.expression, bytes)) {
        expr = tryRead([&] { return ReadExprEncodingFromMemory(bytes.data(), bytes.size()); });
        if (expr)
            return expr;
    }
    // The object's storage: the encoding it keeps, or another editor's equation.
    if (dataOf(object, s_formats.embedSource, bytes)) {
        expr = tryRead([&] { return ExprFromObjectStorage(bytes.data(), bytes.size()); });
        if (expr)
            return expr;
    }
    std::vector<uint8_t> emf;
    if (dataOf(object, plat::CF_ENHMETAFILE, emf)) {
        expr = tryRead([&] { return ExprFromMetafileBytes(emf.data(), emf.size()); });
        if (expr)
            return expr;
    }
    std::vector<uint8_t> wmf;
    if (dataOf(object, plat::CF_METAFILEPICT, wmf)) {
        expr = tryRead([&] { return ExprFromMetafileBytes(wmf.data(), wmf.size()); });
        if (expr)
            return expr;
    }
    std::vector<uint8_t> dib;
    if (dataOf(object, plat::CF_DIB, dib)) {
        expr = tryRead([&] { return ReadEncodingFromDib(dib.data(), dib.size()); });
        if (expr)
            return expr;
    }
    if (dataOf(object, s_formats.png, bytes)) {
        expr = exprFromPng(bytes);
        if (expr)
            return expr;
    }
    if (dataOf(object, s_formats.rtf, bytes)) {
        expr = tryRead(
            [&] { return ExprFromRtf(reinterpret_cast<const char*>(bytes.data()), bytes.size()); });
        if (expr)
            return expr;
    }
    for (plat::UINT f : {s_formats.eps, s_formats.ai3}) {
        if (dataOf(object, f, bytes)) {
            expr = tryRead([&] {
                return FindEmbeddedEncoding(reinterpret_cast<const char*>(bytes.data()),
                                            bytes.size());
            });
            if (expr)
                return expr;
        }
    }
    std::string text;
    if (dataOf(object, plat::CF_TEXT, bytes)) {
        text = textOf(bytes);
        expr = tryRead([&] { return FindEmbeddedEncoding(text.data(), text.size()); });
        if (expr)
            return expr;
    }
    // Another editor's equation, before its plain text. The older form that Paste From MathType
    // answers with its notice is passed over here.
    if (dataOf(object, plat::RegisterClipboardFormat("MathType EF"), bytes) &&
        !isNoticeMtef(bytes)) {
        expr = tryRead([&] { return ReadMtefDocument(bytes.data(), bytes.size()); });
        if (expr)
            return expr;
    }
    // Plain text becomes nodes, which take many times its size: beyond the stated size it is not
    // typed in (an encoding inside it was looked for above whatever its size).
    if (text.size() > kLargestPastedText) {
        if (tooLarge != nullptr)
            *tooLarge = true;
    } else if (!text.empty()) {
        expr = tryRead([&] { return TextToRow(text, 0); });
        if (expr)
            return expr;
    }
    // A picture without an expression comes in as an opaque picture node, from the richest of
    // the picture formats whose bytes make one.
    if (!emf.empty()) {
        expr = tryRead([&] { return pictureNode(PictureFromEnhMetaBits(emf.data(), emf.size())); });
        if (expr)
            return expr;
    }
    if (!wmf.empty()) {
        expr = tryRead([&] { return pictureNode(PictureFromWinMetaBits(wmf.data(), wmf.size())); });
        if (expr)
            return expr;
    }
    if (!dib.empty()) {
        expr = tryRead([&] { return pictureNode(PictureFromPackedDib(dib.data(), dib.size())); });
        if (expr)
            return expr;
    }
    return ExprPtr();
}

bool PasteExpression() {
    if (ActiveRecord == nullptr) {
        CommandBeep();
        return false;
    }
    plat::IDataObject* object = nullptr;
    ExprPtr expr;
    bool tooLarge = false;
    if (plat::OleGetClipboard(&object) == plat::S_OK && object != nullptr) {
        expr = ExprFromDataObject(object, &tooLarge);
        object->Release();
    }
    if (!expr) {
        if (tooLarge)
            NoteAlert(kPasteTooLargeAlert);
        else
            CommandBeep();
        return false;
    }
    InsertExprAsEdit(std::move(expr));
    return true;
}

bool PasteMTEFFromClipboard() {
    if (ActiveRecord == nullptr) {
        CommandBeep();
        return false;
    }
    std::vector<uint8_t> bytes;
    const plat::UINT format = plat::RegisterClipboardFormat("MathType EF");
    if (format == 0 || !plat::GetClipboardBytes(format, bytes) || bytes.empty()) {
        CommandBeep();
        return false;
    }
    if (isNoticeMtef(bytes)) {
        if (MtefNotice != nullptr)
            MtefNotice();
        return false;
    }
    ExprPtr expr = ReadMtefDocument(bytes.data(), bytes.size());
    if (!expr) {
        CommandBeep();
        return false;
    }
    InsertExprAsEdit(std::move(expr));
    return true;
}

void CopyCommand() {
    CopyAs(false, true, DefaultCopyFormat);
}

void CutCommand() {
    // Only what reached the clipboard is deleted.
    if (!CopyAs(false, true, DefaultCopyFormat))
        return;
    DoCommand(kCmdClear, 0);
}

void PasteCommand() {
    PasteExpression();
}

void ClearSelectionCommand() {
    DoCommand(kCmdClear, 0);
}

void InstallClipboardCommands() {
    CommandHooks& hooks = TheCommandHooks();
    hooks.copy = &CopyCommand;
    hooks.cut = &CutCommand;
    hooks.paste = &PasteCommand;
    if (s_formats.expression == 0)
        CreateClipboardObject();
}
