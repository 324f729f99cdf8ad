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
#include "OverSrcs/eModelHooks.h"
#include "OverSrcs/eSelect.h"
#include "OverSrcs/eUFO.h"
#include "OverSrcs/eWord.h"
#include "OverSrcs/etEncode.h"
#include "OverSrcs/etGener.h"
#include "OverSrcs/oGraph.h"
#include "OverSrcs/oPNG.h"
#include "OverSrcs/oPostScr.h"
#include "OverSrcs/oWindows.h"
#include "plat/Gdi.h"
#include "plat/Memory.h"
#include "plat/Metafile.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <optional>

int32_t DefaultCopyFormat = kCopyAsMetafile;
int32_t PngSmoothing = 1;
uint8_t PluginTagMathSpeak = 1;
int32_t EpsClipboardType = 0;
int32_t WordTargetAlignment = 0;
void (*CopyAsNothingNotice)() = nullptr;
void (*MtefNotice)() = nullptr;
std::size_t LargestCopiedMetafile = std::size_t{64} << 20;

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

// The settings that layout and the picture frame read while a picture is drawn: the styles,
// sizes and typesetting rules, the margins, the rotation and the magnification. Made from the
// program's settings of now; put() makes them the program's.
struct DrawingSettings {
    std::array<FSSRecord, kStyleTableSize> styles = StyleTable;
    FSSRecord resetStyle = ResetStyleRecord;
    FSSRecord typingStyle = DefaultStyle;
    SizeStepRecord sizeSteps = SizeStepSettings;
    std::vector<int32_t> sizeStepTable = SizeStepTable;
    TypesettingRecord typesetting = TypesettingSettings;
    RootRecord root = RootSettings;
    IntegralRecord integral = IntegralSettings;
    DelimiterRecord delimiter = DelimiterSettings;
    EmbellishmentRecord embellishment = EmbellishmentSettings;
    int32_t maximumFontSize = MaximumFontSize;
    PictureMargins margins = PictureMarginSettings;
    int32_t rotation = NextPictureRotation;
    int32_t magnificationNum = MagnificationNum;
    int32_t magnificationDen = MagnificationDen;

    void put() const {
        StyleTable = styles;
        ResetStyleRecord = resetStyle;
        DefaultStyle = typingStyle;
        SizeStepSettings = sizeSteps;
        SizeStepTable = sizeStepTable;
        TypesettingSettings = typesetting;
        RootSettings = root;
        IntegralSettings = integral;
        DelimiterSettings = delimiter;
        EmbellishmentSettings = embellishment;
        MaximumFontSize = maximumFontSize;
        PictureMarginSettings = margins;
        NextPictureRotation = rotation;
        MagnificationNum = magnificationNum;
        MagnificationDen = magnificationDen;
    }
};

// What the pictures of one copy are drawn with, as it was at Copy: a picture made later, when
// another program asks for it, looks as it would have looked then, whatever settings changed
// meanwhile. The copied tree is looked at only while Copy runs (a large document's tree takes
// many times the size of its encoding); a picture made later reads the encoding back.
struct CopyScene {
    const eExpr* expression = nullptr; // while Copy runs: the document's own, or `part`
    ExprPtr part;                      // a copy of the selected part, while Copy runs
    std::string encoding;              // the expression's encoding, as the PNG carries it
    std::optional<Color> background;   // none: white (metafiles: nothing painted)
    DrawingSettings drawing;
    int32_t metafileDotsPerInch = 0;
    int32_t pngDotsPerInch = 0;
    int32_t pngSmoothing = 0;
    int32_t bitmapDotsPerInch = 0;
    int32_t wordAlignment = 0;
    // Whether the metafile fits LargestCopiedMetafile (found out at Copy, when first needed).
    std::optional<bool> metafileFits;
    // Whether a bitmap fits the platform's at some resolution down from a given one, found out
    // once per resolution while the copy is made.
    std::vector<std::pair<int32_t, bool>> bitmapFits;

    const eExpr* expr() const { return expression; }
    const Color* backgroundColor() const { return background ? &*background : nullptr; }
    // The tree as copied, for a picture made after Copy (with the copy's settings in place).
    ExprPtr tree() const { return ReadExprEncodingFromMemory(encoding.data(), encoding.size()); }
};

// Draws with the copy's settings and puts the program's own back afterwards. Each picture takes
// the copy's rotation.
class SceneScope {
public:
    explicit SceneScope(const CopyScene& scene) { scene.drawing.put(); }
    ~SceneScope() { m_kept.put(); }
    SceneScope(const SceneScope&) = delete;
    SceneScope& operator=(const SceneScope&) = delete;

private:
    const DrawingSettings m_kept;
};

// Whether an expression as the document window shows it is too large for any bitmap, even at
// half its size at the lowest resolution the bitmap makers go down to. Known from the window's
// own layout, without laying out a copy (a large document's copy takes as much memory as the
// document). An expression not laid out there is not known so.
bool farPastTheBitmapLimit(const eExpr& expression) {
    const int64_t shown = ActivePad != nullptr ? ActivePad->resolution() : 0;
    if (shown <= 0)
        return false;
    const int64_t lowest = BitmapPortResolution(kLowestBitmapDotsPerInch);
    const auto half = [&](int32_t length) {
        return std::max<int64_t>(1, int64_t{length} * lowest / shown / 2);
    };
    return !plat::BitmapSizeFits(half(expression.width()), half(expression.height()));
}

// Whether the copy's bitmap can be drawn at `dotsPerInch`, or at the lower resolution the
// bitmap makers fall back to: a bitmap or PNG that cannot is not offered at all. The answer
// is the makers' own: the same layouts with the same settings.
bool bitmapCanBeMade(CopyScene& scene, int32_t dotsPerInch) {
    for (const auto& [dpi, fits] : scene.bitmapFits) {
        if (dpi == dotsPerInch)
            return fits;
    }
    if (farPastTheBitmapLimit(*scene.expr())) {
        scene.bitmapFits.emplace_back(dotsPerInch, false);
        return false;
    }
    int code = 0;
    {
        SceneScope scope(scene);
        code = CatchFail([&] { LayOutFittingExprBitmap(scene.expr(), dotsPerInch, 1); });
    }
    if (code != 0 && code != errAllocTooLarge)
        Fail(code);
    scene.bitmapFits.emplace_back(dotsPerInch, code == 0);
    return code == 0;
}

void addText(CCBIDataObject& object, const eExpr* expression, int32_t format) {
    // The format's translation: TeX, MathML, MathSpeak or the Copy As translator's text.
    object.add(plat::CF_TEXT, bytesOf(CopyFormatText(format, expression), true));
}

// The text of a copy of pictures: a translation too large to give whole is left out, as a picture
// that cannot be made is, and the rest of the copy stands.
void addTextBesidePictures(CCBIDataObject& object, const eExpr* expression, int32_t format) {
    std::string text;
    const int code = CatchFail([&] { text = CopyFormatText(format, expression); });
    if (code == errTranslationTooLarge)
        return;
    if (code != 0)
        Fail(code);
    object.add(plat::CF_TEXT, bytesOf(text, true));
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

// The copy's enhanced metafile, which the other metafile-based formats are made from (made once,
// on the first request for any of them); fails when it cannot be made.
const std::vector<uint8_t>& copyEmf(CCBIDataObject& object) {
    const std::vector<uint8_t>* emf = object.find(plat::CF_ENHMETAFILE);
    if (emf == nullptr)
        Fail(errNoPicturePort);
    return *emf;
}

// The pictures are made when they are asked for, from the copy's own tree. The enhanced
// metafile comes first: the other metafile-based formats are made from it.
void addEmf(CCBIDataObject& object, const std::shared_ptr<CopyScene>& scene) {
    object.addLater(plat::CF_ENHMETAFILE, [scene] {
        SceneScope scope(*scene);
        return ExprEmfBytes(scene->tree().get(), scene->backgroundColor(),
                            scene->metafileDotsPerInch);
    });
}

// Not offered when no PNG can be made (however far its resolution is lowered).
void addPng(CCBIDataObject& object, const std::shared_ptr<CopyScene>& scene) {
    if (!bitmapCanBeMade(*scene, scene->pngDotsPerInch))
        return;
    object.addLater(s_formats.png, [scene] {
        SceneScope scope(*scene);
        return ExprPngBytes(scene->tree().get(), scene->pngSmoothing, scene->backgroundColor(),
                            scene->encoding, scene->pngDotsPerInch);
    });
}

// Whether the copy's metafile stays within LargestCopiedMetafile: the formats made from it are
// offered only then.
bool metafileCanBeMade(CopyScene& scene) {
    if (!scene.metafileFits)
        scene.metafileFits =
            MetafileBytesBound(scene.expr(), scene.encoding.size()) <= LargestCopiedMetafile;
    return *scene.metafileFits;
}

// The object's storage and its descriptor ("Embed Source", "Object Descriptor"; its size is the
// metafile's, so it comes with the metafile).
void addObject(CCBIDataObject& object, const std::shared_ptr<CopyScene>& scene) {
    object.add(s_formats.embedSource,
               EmbeddedObjectStorage(ExprEncodingText(scene->expr(), nullptr, true)));
    if (!metafileCanBeMade(*scene))
        return;
    object.addLater(s_formats.objectDescriptor, [&object] {
        int32_t w = 1, h = 1;
        emfFrameSize(copyEmf(object), w, h);
        return ObjectDescriptorBytes(w, h, "Korvaline");
    });
}

void addPictures(CCBIDataObject& object, const std::shared_ptr<CopyScene>& scene) {
    if (metafileCanBeMade(*scene)) {
        addEmf(object, scene);
        object.addLater(plat::CF_METAFILEPICT, [&object] { return ExprWmfBytes(copyEmf(object)); });
    }
    addPng(object, scene);
}

void addBitmap(CCBIDataObject& object, const std::shared_ptr<CopyScene>& scene) {
    if (bitmapCanBeMade(*scene, scene->bitmapDotsPerInch)) {
        object.addLater(plat::CF_DIB, [scene] {
            SceneScope scope(*scene);
            return MakeExprDib(scene->tree().get(), scene->bitmapDotsPerInch,
                               scene->backgroundColor());
        });
    }
    addPng(object, scene);
}

// A layout or drawing application gets PostScript alone (as "ADOBE AI3", at its own resolution),
// a bitmap, or the pictures of a metafile copy, as its settings say.
void addPictureTarget(CCBIDataObject& object, const std::shared_ptr<CopyScene>& scene,
                      int32_t format) {
    const eExpr* expression = scene->expr();
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
    addTextBesidePictures(object, expression, format);
    if (settings.useBitmap != 0)
        addBitmap(object, scene);
    else
        addPictures(object, scene);
}

// A web-page target gets the text of its method; the PNG method also the picture.
void addWebTarget(CCBIDataObject& object, const std::shared_ptr<CopyScene>& scene, int32_t format) {
    std::string png;
    object.add(plat::CF_TEXT,
               bytesOf(WebTargetCopyText(scene->expr(), format, activeBackground(), &png), true));
    if (!png.empty())
        addBitmap(object, scene);
}

// Fills the object with the formats of `format`; the expression itself comes first. The text
// formats are made now; the pictures only name their formats and are made on request, so that a
// picture that cannot be made never takes the text with it. A bitmap or PNG too large to make at
// any resolution is not named at all: that is known from the layout, now.
void render(CCBIDataObject& object, const std::shared_ptr<CopyScene>& scene, int32_t format) {
    const eExpr* expression = scene->expr();
    object.add(s_formats.expression, bytesOf(scene->encoding, true));
    switch (format) {
    case kCopyAsBitmap:
    case 28: // Photoshop
        addTextBesidePictures(object, expression, format);
        addBitmap(object, scene);
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
    case kCopyAsOleObject:
        addTextBesidePictures(object, expression, format);
        addObject(object, scene);
        addPictures(object, scene);
        break;
    case kCopyAsOffice:
        addTextBesidePictures(object, expression, format);
        // The rich text carries the metafile.
        if (metafileCanBeMade(*scene))
            object.addLater(s_formats.rtf, [scene, &object] {
                SceneScope scope(*scene);
                const std::string rtf =
                    ExprRtfText(scene->tree().get(), copyEmf(object), scene->wordAlignment);
                return bytesOf(rtf, false);
            });
        addObject(object, scene);
        addPictures(object, scene);
        break;
    case kCopyAsHtmlTag:
        object.add(plat::CF_TEXT, bytesOf(CopyAsHtmlTagText(expression), true));
        break;
    case kCopyForGoLive:
    case kCopyForDreamweaver:
    case kCopyForBlackboard:
    case kCopyForWebCT:
        addWebTarget(object, scene, format);
        break;
    case kCopyForInDesign:
    case kCopyForIllustrator:
    case kCopyForFlash:
    case kCopyForFreehand:
    case kCopyForFireworks:
        addPictureTarget(object, scene, format);
        break;
    case kCopyAsTranslatorText:
        addText(object, expression, format);
        addPictures(object, scene);
        break;
    default:
        addTextBesidePictures(object, expression, format);
        addPictures(object, scene);
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

// Reads an expression from bytes; a failure of the reader gives null. A read that was stopped
// stops the paste too.
template <class Reader> ExprPtr tryRead(Reader&& reader) {
    ExprPtr out;
    const int code = CatchFail([&] { out = reader(); });
    if (code == errUserInterrupt)
        Fail(errUserInterrupt);
    if (code != 0)
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
    // Copied whole, not byte by byte: pasted text runs to megabytes.
    return std::string(reinterpret_cast<const char*>(bytes.data()),
                       static_cast<size_t>(end - bytes.begin()));
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
    for (Item& item : m_items) {
        if (item.format == format) {
            item.bytes = std::move(bytes);
            item.make = nullptr;
            return;
        }
    }
    m_items.push_back(Item{format, std::move(bytes), nullptr});
}

void CCBIDataObject::addLater(plat::UINT format, Maker make) {
    if (format == 0 || !make)
        return;
    for (Item& item : m_items) {
        if (item.format == format) {
            item.bytes.clear();
            item.make = std::move(make);
            return;
        }
    }
    m_items.push_back(Item{format, {}, std::move(make)});
}

bool CCBIDataObject::makesLater() const {
    return std::any_of(m_items.begin(), m_items.end(),
                       [](const Item& item) { return !!item.make; });
}

const std::vector<uint8_t>* CCBIDataObject::find(plat::UINT format) {
    for (Item& item : m_items) {
        if (item.format != format)
            continue;
        if (item.make) {
            // Made once: a maker that fails is not asked again.
            const Maker make = std::move(item.make);
            item.make = nullptr;
            std::vector<uint8_t> bytes;
            if (CatchFail([&] { bytes = make(); }) == 0)
                item.bytes = std::move(bytes);
        }
        return item.bytes.empty() ? nullptr : &item.bytes;
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
    // Asking whether a format is there does not make it.
    for (const Item& item : m_items) {
        if (item.format == format.cfFormat && (item.make || !item.bytes.empty()))
            return plat::S_OK;
    }
    return plat::S_FALSE;
}

plat::HRESULT CCBIDataObject::EnumFormatEtc(std::vector<plat::FORMATETC>& formats) {
    formats.clear();
    for (const Item& item : m_items) {
        if (item.make || !item.bytes.empty())
            formats.push_back(plat::FORMATETC{item.format, plat::TYMED_HGLOBAL});
    }
    return plat::S_OK;
}

// ---- Rendering ---------------------------------------------------------------------------------

namespace {

// The active document's expression when a copy takes all of it (the whole expression asked for,
// a caret, or a selection of all of it), which Copy reads in place; null for a part.
const eExpr* wholeCopied(bool wholeExpression) {
    if (ActiveRecord == nullptr || ActiveRecord->m_root == nullptr ||
        ActiveRecord->m_root->childCount() == 0)
        return nullptr;
    const eExpr* whole = ActiveRecord->m_root->getChild(0);
    if (whole == nullptr || wholeExpression || ActiveRecord->count() == 0)
        return whole;
    const SelectionEntry& entry = ActiveRecord->entry(0);
    if (entry.node == nullptr || entry.start == entry.end)
        return whole;
    SelectionEntry all;
    whole->selectWhole(all);
    return entry == all ? whole : nullptr;
}

} // namespace

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

std::size_t MetafileBytesBound(const eExpr* expression, std::size_t encodingBytes) {
    // Measured on rows of letters, sums of scripts, continued fractions and matrices: a node
    // takes 35 to 100 bytes of records, a character of a word about 14 more. The headers and
    // the comments (the encoding among them) come on top.
    constexpr std::size_t kPerNode = 100;
    constexpr std::size_t kPerCharacter = 16;
    constexpr std::size_t kFixed = 1024;
    std::size_t bytes = kFixed + encodingBytes;
    std::size_t nodes = 0;
    std::vector<const eExpr*> pending{expression};
    while (!pending.empty()) {
        const eExpr* node = pending.back();
        pending.pop_back();
        if (node == nullptr)
            continue;
        bytes += kPerNode;
        const auto* word = node->isWord() ? dynamic_cast<const eWord*>(node) : nullptr;
        if (word != nullptr)
            bytes += kPerCharacter * static_cast<std::size_t>(word->length());
        // A picture plays its own records into the metafile: what they can come to is known
        // from them.
        const auto* picture = node->isUFO() ? dynamic_cast<const eUFO*>(node) : nullptr;
        if (picture != nullptr && picture->m_picture != nullptr &&
            picture->m_picture->enhMetafile() != 0) {
            const std::uint64_t played = plat::EnhMetaFilePlayedBytesBound(
                reinterpret_cast<plat::HENHMETAFILE>(picture->m_picture->enhMetafile()));
            bytes = static_cast<std::size_t>(
                std::min<std::uint64_t>(bytes + played, std::uint64_t{1} << 50));
        }
        for (int32_t i = 0; i < node->childCount(); ++i)
            pending.push_back(node->getChild(i));
        if (++nodes % 4096 == 0)
            HookCheckUserAbort();
    }
    return bytes;
}

std::vector<uint8_t> ExprEmfBytes(const eExpr* expression, const Color* background,
                                  int32_t dotsPerInch) {
    ExprPictureStyle style;
    if (background != nullptr)
        style.background = *background;
    else
        style.keepBackground = true;
    std::vector<uint8_t> out;
    std::unique_ptr<WinUfo> picture = NewExprPicture(expression, dotsPerInch, style);
    auto m = reinterpret_cast<plat::HENHMETAFILE>(picture->enhMetafile());
    const plat::UINT size = plat::GetEnhMetaFileBits(m, 0, nullptr);
    out.resize(size);
    if (size != 0)
        plat::GetEnhMetaFileBits(m, size, out.data());
    return out;
}

std::vector<uint8_t> ExprWmfBytes(const std::vector<uint8_t>& emf) {
    plat::HENHMETAFILE m =
        plat::SetEnhMetaFileBits(static_cast<plat::UINT>(emf.size()), emf.data());
    if (m == nullptr)
        return {};
    struct Release {
        plat::HENHMETAFILE m;
        ~Release() { plat::DeleteEnhMetaFile(m); }
    } release{m};
    plat::ENHMETAHEADER header{};
    plat::GetEnhMetaFileHeader(m, sizeof header, &header);
    // Converted once. A long conversion (a row of many thousand terms) answers the window system
    // as the drawing does, and stops as it does for a termination signal.
    const std::vector<uint8_t> wmf = plat::WinMetaFileBitsStepping(m, [] { HookCheckUserAbort(); });
    std::vector<uint8_t> out;
    if (!wmf.empty()) {
        out.reserve(22 + wmf.size());
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
        out.insert(out.end(), wmf.begin(), wmf.end());
    }
    return out;
}

std::vector<uint8_t> ExprPngBytes(const eExpr* expression, int32_t smoothing,
                                  const Color* background, const std::string& text,
                                  int32_t dotsPerInch) {
    const int32_t dpi = PictPortDotsPerInch(dotsPerInch);
    // The bitmap at s times the resolution, averaged over s x s blocks. A picture too large for
    // the platform's bitmaps is smoothed less, then drawn at a lower resolution.
    ExprBitmapLayout layout =
        LayOutFittingExprBitmap(expression, dpi, 1 << std::clamp(smoothing, 0, 3));
    const int32_t s = layout.oversampling;
    const std::vector<uint8_t> dib = DrawExprDib(layout, expression, background);
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

std::string ExprRtfText(const eExpr* expression, const std::vector<uint8_t>& emf,
                        int32_t alignment) {
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
    // The picture's top lies above the laid-out zone by the top margin and by the ink drawn above
    // it (a tall integral sign's top): the axis lies that much lower in the picture. The frame is
    // the unturned one, and the next picture's rotation is left as it was.
    const int32_t rotation = NextPictureRotation;
    NextPictureRotation = 0;
    const ExprPictureFrame frame =
        TakeExprPictureFrame(*copy, kTwipsPerInch, PictPortResolution(kTwipsPerInch));
    NextPictureRotation = rotation;
    const int32_t axis = frame.top + copy->m_zone.ref1;
    const int32_t shift = RtfObjectShift(alignment, height, axis, copy->m_size);
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
    // All of the expression is read where it is; a part is copied out.
    const eExpr* whole = wholeCopied(wholeExpression);
    ExprPtr part = whole != nullptr ? ExprPtr() : ExportExpression(wholeExpression);
    if (whole == nullptr && !part) {
        CommandBeep();
        return false;
    }
    // Every copy starts without the symbol-face replacement; the PostScript writers of the copy
    // turn it on (and record their own resolution).
    SetPostScriptRudizeAsSymbol(false);
    MagnificationNum = copyDotsPerInch(format);
    MagnificationDen = 300;
    // The pictures are made later from the copy's own tree, with the settings of now.
    auto scene = std::make_shared<CopyScene>();
    scene->part = std::move(part);
    scene->expression = whole != nullptr ? whole : scene->part.get();
    scene->encoding = ExprEncodingText(scene->expr());
    if (const Color* bg = activeBackground())
        scene->background = *bg;
    scene->metafileDotsPerInch = MetafileDotsPerInch();
    scene->pngDotsPerInch = PictPortDotsPerInch(0);
    scene->pngSmoothing = PngSmoothing;
    scene->bitmapDotsPerInch = BitmapResolution > 0 ? BitmapResolution : PictPortDotsPerInch(0);
    scene->wordAlignment = WordTargetAlignment;
    auto* object = new CCBIDataObject();
    const int code = CatchFail([&] { render(*object, scene, format); });
    // What is made later reads the encoding back: the tree is not looked at again.
    scene->expression = nullptr;
    scene->part.reset();
    if (code != 0) {
        object->Release();
        Fail(code);
    }
    // The copy's pictures have taken the next-picture rotation.
    if (object->makesLater())
        NextPictureRotation = PictureRotationSetting;
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
        // Released however the reading ends (a stopped read fails through here).
        struct Release {
            plat::IDataObject* object;
            ~Release() { object->Release(); }
        } release{object};
        expr = ExprFromDataObject(object, &tooLarge);
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
