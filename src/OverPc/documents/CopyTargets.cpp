#include "OverPc/documents/CopyTargets.h"

#include "ExprSrcs/EPane.h"
#include "ExprSrcs/ExprFilePane.h"
#include "ExprSrcs/documents/Documents.h"
#include "OverPc/PCRASH.h"
#include "OverPc/PERROR.h"
#include "OverPc/PEXPRPICT.h"
#include "OverPc/PFILE.h"
#include "OverPc/documents/ClipboardCommands.h"
#include "OverPc/documents/Exports.h"
#include "OverPc/documents/Translations.h"
#include "OverSrcs/commands/kEdit.h"
#include "OverSrcs/documents/OleData.h"
#include "OverSrcs/eLayout.h"
#include "OverSrcs/etEncode.h"
#include "OverSrcs/etGener.h"
#include "OverSrcs/oGraph.h"
#include "plat/Clipboard.h"
#include "plat/Files.h"

#include <algorithm>
#include <fstream>
#include <memory>

CopyTargetSettings (*CopyTargetSettingsHook)(int32_t format) = nullptr;
uint8_t PngCopyImgTag = 0;
uint8_t PngMathSpeakInAlt = 1;

namespace {

// The program's class id without its braces, as the plug-in tag names it.
const std::string kClassId = std::string(kKorvalineClassId).substr(1, 36);
// A transparent one-pixel GIF: the image that carries the spoken reading after a plug-in tag.
constexpr const char* kBlankPixel =
    "data:image/gif;base64,R0lGODlhAQABAIAAAAAAAP///yH5BAEAAAAALAAAAAABAAEAAAIBRAA7";
// Numbered PNG files tried next to a document before giving up.
constexpr int32_t kMaxPngNumber = 9999;

// The size of the expression laid out at 96 dots per inch, with its descent, in pixels.
struct WebSize {
    int32_t width = 1;
    int32_t height = 1;
    int32_t descent = 0;
};

WebSize webSizeOf(const eExpr* expression) {
    ExprPtr copy = expression->deepCopy();
    {
        std::unique_ptr<oMeasurePort> measure = NewMeasurePort((2 * 96 + 4) / 9, 0);
        MeasureExpr(copy.get(), measure.get());
    }
    WebSize size;
    size.width = std::max(1, copy->width());
    size.height = std::max(1, copy->height());
    size.descent = std::max(0, ExprPictureDescent(*copy));
    return size;
}

std::string alignStyle(int32_t descent) {
    return "vertical-align:-" + std::to_string(descent) + "px";
}

// A relative URL for a file name: blanks and the characters URLs reserve are escaped.
std::string urlOfName(const std::string& name) {
    static const char* const kHex = "0123456789ABCDEF";
    std::string out;
    for (const char c : name) {
        const auto b = static_cast<unsigned char>(c);
        if (b <= 0x20 || b >= 0x7F || c == '%' || c == '"' || c == '#' || c == '?' || c == '<' ||
            c == '>' || c == '&') {
            out += '%';
            out += kHex[b >> 4];
            out += kHex[b & 15];
        } else {
            out += c;
        }
    }
    return out;
}

// The folder and base name the PNG of a web copy takes.
void pngPlace(std::string& folder, std::string& base) {
    const ExprFilePane* pane = FrontExpressionDocument();
    std::string name = pane != nullptr ? pane->fileName() : std::string();
    if (pane != nullptr && !pane->filePath().empty()) {
        const std::string& path = pane->filePath();
        const size_t slash = path.find_last_of(kPathSeparator);
        folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
        name = FileNameOfPath(path.c_str());
    } else {
        folder = DesktopFilePath(nullptr);
    }
    const size_t dot = name.find_last_of('.');
    if (dot != std::string::npos && dot > 0)
        name.resize(dot);
    base = name.empty() ? std::string("expression") : name;
}

void putTextOnClipboard(const eExpr* expression, const std::string& text) {
    auto* object = new CCBIDataObject();
    std::string encoding = ExprEncodingText(expression);
    object->add(ClipboardFormats().expression,
                std::vector<uint8_t>(encoding.c_str(), encoding.c_str() + encoding.size() + 1));
    object->add(plat::CF_TEXT, std::vector<uint8_t>(text.c_str(), text.c_str() + text.size() + 1));
    if (plat::OleSetClipboard(object) != plat::S_OK)
        CommandBeep();
    object->Release();
}

// The PNG save type: the file, then (with the preference) its image tag on the clipboard.
void writePngPane(ExprFilePane& pane, const std::string& path) {
    const SelectionRecord& record = pane.record();
    WriteExportFile(kPngSaveType, pane.expression(),
                    record.m_noBackground != 0 ? nullptr : &record.m_background, path);
    CopyPngSaveTag(pane.expression(), path);
}

} // namespace

CopyTargetSettings CopyTargetSettingsOf(int32_t format) {
    CopyTargetSettings settings =
        CopyTargetSettingsHook != nullptr ? CopyTargetSettingsHook(format) : CopyTargetSettings{};
    // A stored method no button offers copies as the default method.
    if (settings.webMethod < kWebMethodPluginTag || settings.webMethod > kWebMethodPngImage)
        settings.webMethod = kWebMethodPngImage;
    settings.postscriptResolution = std::clamp(settings.postscriptResolution, 300, 2400);
    return settings;
}

bool IsPictureTargetFormat(int32_t format) {
    return format == kCopyForInDesign || format == kCopyForIllustrator || format == kCopyForFlash ||
           format == kCopyForFreehand || format == kCopyForFireworks;
}

bool IsWebTargetFormat(int32_t format) {
    return format == kCopyForGoLive || format == kCopyForDreamweaver ||
           format == kCopyForBlackboard || format == kCopyForWebCT;
}

std::string MathSpeakReading(const eExpr* expression) {
    return TranslateExpression(GetShippedTranslator(ShippedTranslator::MathSpeak), expression);
}

std::string PluginTagText(const eExpr* expression, bool mathSpeak) {
    const WebSize size = webSizeOf(expression);
    std::string tag = std::string("<object classid=\"clsid:") + kClassId +
                      "\" type=\"application/x-korvaline\" width=\"" + std::to_string(size.width) +
                      "\" height=\"" + std::to_string(size.height) + "\" style=\"" +
                      alignStyle(size.descent) + "\"><param name=\"exprcode\" value=\"" +
                      HtmlEscape(ExprEncodingText(expression, "\n")) + "\" /></object>";
    // Screen readers get the spoken reading from a one-pixel image after the object.
    if (mathSpeak)
        tag += std::string("<img src=\"") + kBlankPixel + "\" width=\"1\" height=\"1\" alt=\"" +
               HtmlEscape(MathSpeakReading(expression)) + "\" />";
    return tag;
}

std::string MathMLTagText(const eExpr* expression, bool mathSpeak) {
    std::string text = CopyFormatText(kCopyAsMathML, expression);
    if (mathSpeak) {
        const size_t at = text.find("<math");
        if (at != std::string::npos)
            text.insert(at + 5, " alttext=\"" + HtmlEscape(MathSpeakReading(expression)) + "\"");
    }
    return text;
}

namespace {

// The alt text of the image tag. Without the reading the image still says what it is: screen
// readers skip an empty alt.
std::string imageAltText(const eExpr* expression, bool mathSpeak) {
    return mathSpeak ? HtmlEscape(MathSpeakReading(expression)) : std::string("\xe9quation");
}

std::string imageTag(const eExpr* expression, const std::string& fileName, int32_t width,
                     int32_t height, const std::string& alt) {
    const WebSize size = webSizeOf(expression);
    // The token's base64 alphabet has no "-", so it cannot end the comment early.
    return "<img src=\"" + HtmlEscape(urlOfName(fileName)) + "\" width=\"" +
           std::to_string(std::max(1, width)) + "\" height=\"" +
           std::to_string(std::max(1, height)) + "\" alt=\"" + alt + "\" style=\"" +
           alignStyle(size.descent) + "\" /><!-- " + EncodingTokenOf(expression) + " -->";
}

} // namespace

std::string PngImageTagText(const eExpr* expression, const std::string& fileName, int32_t width,
                            int32_t height, bool mathSpeak) {
    return imageTag(expression, fileName, width, height, imageAltText(expression, mathSpeak));
}

bool PngFileSize(const std::string& path, int32_t& width, int32_t& height) {
    std::ifstream in(plat::NativePath(path), std::ios::binary);
    unsigned char header[24] = {};
    if (!in.read(reinterpret_cast<char*>(header), sizeof header))
        return false;
    if (header[0] != 0x89 || header[1] != 'P' || header[2] != 'N' || header[3] != 'G')
        return false;
    auto be32 = [&](int at) {
        return static_cast<int32_t>((static_cast<uint32_t>(header[at]) << 24) |
                                    (header[at + 1] << 16) | (header[at + 2] << 8) |
                                    header[at + 3]);
    };
    width = be32(16);
    height = be32(20);
    return width > 0 && height > 0;
}

std::string WriteWebCopyPng(const eExpr* expression, const Color* background) {
    std::string folder;
    std::string base;
    pngPlace(folder, base);
    for (int32_t n = 1; n <= kMaxPngNumber; ++n) {
        const std::string path = folder + base + "_" + std::to_string(n) + ".png";
        if (plat::GetFileAttributes(path.c_str()) != plat::INVALID_FILE_ATTRIBUTES)
            continue;
        WriteExportFile(kPngSaveType, expression, background, path);
        return path;
    }
    // Every numbered name is taken: nothing is overwritten.
    Fail(errFileAccessDenied);
    return std::string();
}

std::string WebTargetCopyText(const eExpr* expression, int32_t format, const Color* background,
                              std::string* pngPath) {
    if (pngPath != nullptr)
        pngPath->clear();
    const CopyTargetSettings settings = CopyTargetSettingsOf(format);
    const bool mathSpeak = settings.webMathSpeak != 0;
    switch (settings.webMethod) {
    case kWebMethodPluginTag:
        return PluginTagText(expression, mathSpeak);
    case kWebMethodMathML:
        return MathMLTagText(expression, mathSpeak);
    default: {
        // The reading first: one too large to give whole fails the copy before any file is made.
        const std::string alt = imageAltText(expression, mathSpeak);
        const std::string path = WriteWebCopyPng(expression, background);
        if (pngPath != nullptr)
            *pngPath = path;
        int32_t width = 1;
        int32_t height = 1;
        PngFileSize(path, width, height);
        return imageTag(expression, FileNameOfPath(path.c_str()), width, height, alt);
    }
    }
}

std::string CopyAsHtmlTag(bool wholeExpression, bool returnText) {
    if (!returnText) {
        CopyAs(wholeExpression, true, kCopyAsHtmlTag);
        return std::string();
    }
    ExprPtr expression = ExportExpression(wholeExpression);
    if (!expression) {
        CommandBeep();
        return std::string();
    }
    return CopyAsHtmlTagText(expression.get());
}

void CopyPngSaveTag(const eExpr* expression, const std::string& path) {
    if (PngCopyImgTag == 0 || expression == nullptr)
        return;
    int32_t width = 1;
    int32_t height = 1;
    PngFileSize(path, width, height);
    putTextOnClipboard(expression, PngImageTagText(expression, FileNameOfPath(path.c_str()), width,
                                                   height, PngMathSpeakInAlt != 0));
}

void InstallCopyTargets() {
    SetDocumentSaveWriter(kPngSaveType, &writePngPane);
}
