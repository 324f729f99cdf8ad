// Copy, Cut, Paste and Copy As: the expression put on the system clipboard in several formats at
// once (always with its own encoding, so every copy pastes back editable), and an expression read
// back from whatever the clipboard holds.
#pragma once

#include "OverSrcs/eObject.h"
#include "plat/Clipboard.h"

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

// The clipboard formats the program registers at start-up.
struct ClipboardFormatIds {
    plat::UINT expression = 0;       // "Korvaline Expression": the encoding, zero-terminated
    plat::UINT eps = 0;              // "Encapsulated Postscript"
    plat::UINT ai3 = 0;              // "ADOBE AI3"
    plat::UINT png = 0;              // "PNG": the picture with the encoding in a text chunk
    plat::UINT rtf = 0;              // "Rich Text Format"
    plat::UINT embedSource = 0;      // "Embed Source": the object's storage
    plat::UINT objectDescriptor = 0; // "Object Descriptor"
};
const ClipboardFormatIds& ClipboardFormats();
// Registers the formats (start-up creates the clipboard object through this).
void CreateClipboardObject();
// Leaves the last copy on the system for a clipboard manager (shut-down).
void ReleaseClipboardObject();

// Copy As formats.
inline constexpr int32_t kCopyAsHtmlTag = 1;
inline constexpr int32_t kCopyAsMetafile = 4;
inline constexpr int32_t kCopyAsBitmap = 5;
inline constexpr int32_t kCopyAsTeX = 8;
inline constexpr int32_t kCopyAsMathML = 9;
inline constexpr int32_t kCopyAsMathSpeak = 10;
inline constexpr int32_t kCopyAsEps = 11;
inline constexpr int32_t kCopyAsNothing = 13;
inline constexpr int32_t kCopyAsMakerMath = 15;
inline constexpr int32_t kCopyAsMakerComment = 16;
inline constexpr int32_t kCopyAsOleObject = 17;
inline constexpr int32_t kCopyAsOffice = 21;
// The Copy As translator's text, asked for by name: a metafile copy whose text is what the user
// wants, so a text that cannot be given whole fails the copy instead of being left out.
inline constexpr int32_t kCopyAsTranslatorText = 10000;

// The plug-in tag copy adds a small image whose alt text is the MathSpeak reading (0 or 1).
extern uint8_t PluginTagMathSpeak;
// The format of a plain Copy.
extern int32_t DefaultCopyFormat;
// PNG pictures are drawn 2^n times larger and averaged down (0..3).
extern int32_t PngSmoothing;
// The word-processor target's in-line alignment of the object in rich text (0..4).
extern int32_t WordTargetAlignment;
// The EPS copy's clipboard format: 1 "ADOBE AI3", anything else "Encapsulated Postscript".
extern int32_t EpsClipboardType;

// The largest metafile a copy offers, in bytes: a copy whose metafile would be larger offers
// no metafile (nor the formats made from it), as a PNG or bitmap too large to make is not
// offered. Known at Copy, from the copy's nodes, without drawing it.
extern std::size_t LargestCopiedMetafile;
// What a metafile of `expression` may take at most, with its encoding of `encodingBytes`: a
// record per node (a word's text, a template's strokes), the place of each character, and the
// records a picture in it plays again.
std::size_t MetafileBytesBound(const eExpr* expression, std::size_t encodingBytes);

// The notice shown for the copy format that copies nothing (start-up installs it).
extern void (*CopyAsNothingNotice)();

// The formats of one copy, in the order they are offered. A format is given as its bytes, or as
// a maker that makes them the first time they are asked for (the pictures: another program may
// never want them).
class CCBIDataObject final : public plat::IDataObject {
public:
    using Maker = std::function<std::vector<std::uint8_t>()>;
    void add(plat::UINT format, std::vector<std::uint8_t> bytes);
    // The maker may Fail, or make nothing: the format then gives no data (asked again, it is
    // not made again).
    void addLater(plat::UINT format, Maker make);
    // Whether a format is still to be made.
    bool makesLater() const;
    // The format's bytes, made now when they are made on request; null when there are none.
    const std::vector<std::uint8_t>* find(plat::UINT format);
    plat::HRESULT GetData(const plat::FORMATETC& format, plat::STGMEDIUM* medium) override;
    plat::HRESULT QueryGetData(const plat::FORMATETC& format) override;
    plat::HRESULT EnumFormatEtc(std::vector<plat::FORMATETC>& formats) override;

private:
    struct Item {
        plat::UINT format = 0;
        std::vector<std::uint8_t> bytes;
        Maker make;
    };
    std::vector<Item> m_items;
};

// The expression a copy works on: the whole expression of the active document (wholeExpression),
// else the first selected part; a caret copies the whole expression. Null without a document.
ExprPtr ExportExpression(bool wholeExpression);

// Renders the export expression in `format`. With handToClipboard the data goes to the clipboard
// and true is returned; else the data object is handed back through `out` (the caller releases
// it). Nothing to copy beeps and answers false; format 13 copies nothing. The pictures, drawn
// when they are asked for, are drawn with the settings in force now (margins, resolutions,
// smoothing, alignment, styles and sizes); a bitmap or PNG too large to make is not offered.
// A translation past its bound is never given in part: a copy of pictures leaves its text out;
// a copy whose text is what was asked for (TeX, MathML, MathSpeak, the translator's text, the web
// targets) fails with errTranslationTooLarge and the clipboard keeps what it had.
bool CopyAs(bool wholeExpression, bool handToClipboard, int32_t format,
            plat::IDataObject** out = nullptr);

// The formats' renderers, shared with the save types.
// PNG: drawn 2^smoothing times larger and averaged down, on the background (white when null),
// with `text` in the "ExprEncoding" chunk; at `dotsPerInch` (0: the screen's).
std::vector<std::uint8_t> ExprPngBytes(const eExpr* expression, int32_t smoothing,
                                       const Color* background, const std::string& text,
                                       int32_t dotsPerInch = 0);
// The enhanced metafile recorded at `dotsPerInch`, on the background (nothing painted when null).
std::vector<std::uint8_t> ExprEmfBytes(const eExpr* expression, const Color* background,
                                       int32_t dotsPerInch);
// The Windows metafile converted from enhanced-metafile bytes, with the placeable header in front
// (the clipboard's metafile picture); empty when the bytes are not a metafile. Long work: it
// polls HookCheckUserAbort, which answers the window system and may stop it.
std::vector<std::uint8_t> ExprWmfBytes(const std::vector<std::uint8_t>& emf);
// Rich text holding the expression as an embedded object with its picture and encoding token,
// placed against the text line by `alignment` (as WordTargetAlignment).
std::string ExprRtfText(const eExpr* expression, const std::vector<std::uint8_t>& emf,
                        int32_t alignment);
// The HTML plug-in tag: an object tag of the 96-dpi size carrying the encoding, HTML-escaped.
std::string CopyAsHtmlTagText(const eExpr* expression);

// Plain text is typed in as nodes, which take many times its size in memory: beyond this size it
// is not.
inline constexpr std::size_t kLargestPastedText = std::size_t{2} << 20;
// "The clipboard holds more than 2 MB..." (nothing pasted).
inline constexpr int kPasteTooLargeAlert = 494;

// The expression a data object carries, in the order of preference of the formats (the encoding,
// metafiles, bitmaps, PostScript and text with an encoding inside, plain text, then a picture
// without an expression as an opaque picture); null when nothing usable is there. Damaged data
// never fails: the next format is tried. Plain text beyond kLargestPastedText is not typed in, and
// *tooLarge (when given) is set.
ExprPtr ExprFromDataObject(plat::IDataObject* object, bool* tooLarge = nullptr);

// Inserts the clipboard's expression at the selection (one undoable step); beeps and changes
// nothing when the clipboard holds nothing usable, and says so when it held text too large to
// paste (kPasteTooLargeAlert). True when something was pasted.
bool PasteExpression();

// Inserts the equation of the clipboard's "MathType EF" data at the selection; beeps and changes
// nothing when there is none or it cannot be read. Data whose first and fourth bytes are both 4
// shows MtefNotice instead and inserts nothing. True when something was pasted.
bool PasteMTEFFromClipboard();
extern void (*MtefNotice)();

// The commands of the menus, keys and context menus.
void CopyCommand();
void CutCommand();
void PasteCommand();
void ClearSelectionCommand();

// Installs Copy, Cut and Paste into the command hooks (and registers the formats when start-up
// has not).
void InstallClipboardCommands();
