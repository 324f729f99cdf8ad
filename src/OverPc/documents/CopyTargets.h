// The copies prepared for outside applications ("Copy Special" per application, and a plain Copy
// set to an application) and the HTML tags of the web copies: the plug-in object tag, the MathML
// tag and the PNG image tag with the expression in a comment.
#pragma once

#include "OverSrcs/eObject.h"

#include <cstdint>
#include <string>

// Copy formats of the applications whose settings change what is copied.
inline constexpr int32_t kCopyForInDesign = 24;
inline constexpr int32_t kCopyForGoLive = 26;
inline constexpr int32_t kCopyForIllustrator = 27;
inline constexpr int32_t kCopyForPhotoshop = 28;
inline constexpr int32_t kCopyForDreamweaver = 29;
inline constexpr int32_t kCopyForFlash = 30;
inline constexpr int32_t kCopyForFreehand = 32;
inline constexpr int32_t kCopyForFireworks = 33;
inline constexpr int32_t kCopyForBlackboard = 41;
inline constexpr int32_t kCopyForWebCT = 42;

// How a web-page target receives an expression.
inline constexpr int32_t kWebMethodPluginTag = 0;
inline constexpr int32_t kWebMethodMathML = 1;
inline constexpr int32_t kWebMethodPngImage = 2;

// What a target's stored settings say about its copies.
struct CopyTargetSettings {
    // Layout and drawing applications (24, 27, 30, 32, 33).
    uint8_t epsOnly = 0;   // PostScript under "ADOBE AI3" and nothing else
    uint8_t useBitmap = 0; // a bitmap instead of the metafiles
    int32_t postscriptResolution = 300;
    // Web-page editors and course systems (26, 29, 41, 42): a kWebMethod and MathSpeak text.
    int32_t webMethod = kWebMethodPngImage;
    uint8_t webMathSpeak = 1;
};

// The settings of the target of copy format `format`; start-up installs the reader of the stored
// preferences. Null: the built-in settings.
extern CopyTargetSettings (*CopyTargetSettingsHook)(int32_t format);
CopyTargetSettings CopyTargetSettingsOf(int32_t format);

// Whether `format` is a layout or drawing target whose settings choose the copy (24, 27, 30, 32,
// 33), or a web target (26, 29, 41, 42).
bool IsPictureTargetFormat(int32_t format);
bool IsWebTargetFormat(int32_t format);

// The PNG preferences: the image tag goes to the clipboard as text after a PNG save, and its alt
// text is the MathSpeak reading.
extern uint8_t PngCopyImgTag;
extern uint8_t PngMathSpeakInAlt;

// ---- HTML tags (each one element, well-formed XHTML; attribute values escaped)

// The MathSpeak reading of the expression, as a screen reader speaks it.
std::string MathSpeakReading(const eExpr* expression);
// The plug-in object tag carrying the encoding, optionally followed by a one-pixel image whose
// alt text is the MathSpeak reading.
std::string PluginTagText(const eExpr* expression, bool mathSpeak);
// The MathML copy, with the MathSpeak reading as its alttext when asked.
std::string MathMLTagText(const eExpr* expression, bool mathSpeak);
// The image tag of PNG file `fileName` (the src, relative) of `width` x `height` pixels, with the
// MathSpeak reading as alt text when asked, then the expression's encoding token in a comment.
std::string PngImageTagText(const eExpr* expression, const std::string& fileName, int32_t width,
                            int32_t height, bool mathSpeak);

// The PNG file a web copy refers to: written next to the front document (an untitled one: on the
// desktop) as "<name>_<n>.png" with the first free n. Returns the path; fails like the writers.
std::string WriteWebCopyPng(const eExpr* expression, const Color* background);
// The width and height of a PNG file (from its header); false when it is not one.
bool PngFileSize(const std::string& path, int32_t& width, int32_t& height);

// The text a web target's copy puts on the clipboard, by its method; `pngPath` receives the file
// the PNG method wrote (empty for the others).
std::string WebTargetCopyText(const eExpr* expression, int32_t format, const Color* background,
                              std::string* pngPath);

// The plug-in tag of the export expression (the whole expression, or the selection): with
// returnText the tag is returned and the clipboard is left alone; else it goes to the clipboard
// and the answer is empty. Nothing to copy beeps and answers empty.
std::string CopyAsHtmlTag(bool wholeExpression, bool returnText);

// After a PNG save to `path`: with the preference set, the image tag of the file goes to the
// clipboard as text (with the expression, so it pastes back).
void CopyPngSaveTag(const eExpr* expression, const std::string& path);

// Installs the PNG save type that also copies the image tag (after the export writers).
void InstallCopyTargets();
