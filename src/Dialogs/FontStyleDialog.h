#pragma once
// "Style et taille de la police": one font, style and size rule (which family, the size in points
// or in size steps, and four style changes), and RunFSSDialog, which turns a style record into the
// dialog's record and back. The change-font command, Modify on characters, Character Commands and
// the translator editor all go through RunFSSDialog.

#include "ExprSrcs/commands/tsPrefs.h"
#include "plat/Types.h"

#include <cstdint>

class oListBox;

inline constexpr int kFontStyleDialogId = 4103;
inline constexpr int kMoreStylesDialogId = 4104;
// "Police par défaut": the title of the dialog on the base style.
inline constexpr int kBaseFontTitleString = 145;

inline constexpr int kFontStyleTitleItem = 1639;
inline constexpr int kFontStyleFaceList = 1641;
inline constexpr int kFontStyleSameFamily = 1642;
inline constexpr int kFontStyleSizeFirst = 1643; // points (absolus)
inline constexpr int kFontStyleSizeLast = 1645;  // étapes plus grandes
inline constexpr int kFontStyleSizeText = 1646;
inline constexpr int kFontStyleBoldItem = 1650;
inline constexpr int kFontStyleItalicItem = 1652;
inline constexpr int kFontStyleUnderlineItem = 1654;
inline constexpr int kFontStyleCompressionItem = 1656;

// The popups' menus and their value tables (a separator stands at kPopupSeparator).
inline constexpr int kStyleChangeMenu = 35;
inline constexpr int kItalicChangeMenu = 36;
inline constexpr int kStyleChangeCount = 4;
inline constexpr int kItalicChangeCount = 6;
extern const int32_t kStyleChangeValues[kStyleChangeCount];   // on, off, -, same
extern const int32_t kItalicChangeValues[kItalicChangeCount]; // on, letters, non-functions, off,
                                                              // -, same

// Size modes of the radio group.
inline constexpr int32_t kSizeModePoints = 0;
inline constexpr int32_t kSizeModeSmaller = 1;
inline constexpr int32_t kSizeModeLarger = 2;

inline constexpr int kSizeTextSize = 240;

struct FontStyleSizeRecord {
    int32_t faceIndex = -1;       // the chosen face's row; -1 when none
    oListBox* faceList = nullptr; // made by the dialog, deleted when it closes
    uint8_t sameFamily = 0;       // 1: keep the family
    int32_t sizeMode = kSizeModePoints;
    char sizeText[kSizeTextSize] = {}; // points, or a count of steps
    int32_t bold = kStyleInherit;
    int32_t italic = kStyleInherit;
    int32_t underline = kStyleInherit;
    int32_t compression = kStyleInherit;
    // What the caller hands the dialog: the face selected when it opens, and the text that replaces
    // the dialog's heading (none keeps the resource's text).
    char selectFace[kFontNameSize] = {};
    const char* title = nullptr;
};

// 1 OK (button, or a double click on a face), 0 Cancel, -1 when the dialog cannot be made.
int32_t RunFontStyleSizeDlg(FontStyleSizeRecord* record);
plat::INT_PTR FontStyleSizeDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                   plat::LPARAM lParam);

// "Plus de styles": an empty dialog that nothing in the program opens.
int32_t RunMoreStylesDlg(std::uintptr_t argument);
plat::INT_PTR MoreStylesDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                plat::LPARAM lParam);

// The dialog's record for a style rule: "*" keeps the family (with `defaultFace` selected), any
// other name selects that face; an absolute size shows as points, a relative one as a count of
// steps smaller or larger; each style field outside what its popup offers shows as "off", except
// the second inherit value, which shows as "same", and an ink-measuring compression mode, which
// shows as "on".
void FillFontStyleSizeRecord(const FSSRecord& style, const char* defaultFace,
                             FontStyleSizeRecord& record);
// Applies what the dialog ended with to `style`. `shown` is the record as the dialog was opened;
// what the user left as it was shown keeps the rule's own value (a size or style the dialog can
// only approximate is not changed behind the user's back). `chosenFace` is the name of the chosen
// face row (null or empty when none; the rule's font is then kept). A typed size is clamped: steps
// to -20..50 relative, points to MinimumFontSize..kMaxStepSize; true when a limit applied.
bool ApplyFontStyleSizeRecord(const FontStyleSizeRecord& shown, const FontStyleSizeRecord& result,
                              const char* chosenFace, FSSRecord& style);

// Runs the dialog on `style` with `title` at its top; on OK the record holds the choice (with a
// beep when a size limit applied). True on OK; Cancel or a dialog that cannot be made changes
// nothing.
bool RunFSSDialogOn(FSSRecord& style, const char* title);
// The same on the shared style record that the commands fill (SharedStyleRecord). `flags` is kept
// for the callers that pass it; no flag changes what the dialog does.
bool RunFSSDialog(int32_t flags, const char* title);

// Préférences > "Police par défaut...": the dialog on the base style (style-table entry 0); on OK
// the table is stored with the preferences and every pane is laid out again.
void ChooseBaseFont();

// Installs the change-font hook of the commands (the title is a string of the resource module).
void InstallFontStyleDialog();
