#pragma once
// The picture output settings: the PostScript (EPS) settings, the resolution of bitmap pictures
// and of metafile pictures, and the choice of the face that plays the symbol font; with the
// commands of the Préférences menu that run them. Each command fills its dialog's record from the
// general preferences, runs the dialog and, after OK, stores the record back (the copy and export
// commands read the stored values) and writes the general preference file.

#include "ExprSrcs/Change.h"
#include "plat/Types.h"

#include <cstdint>

inline constexpr int kEpsPrefsDialogId = 4143;
inline constexpr int kBitmapPrefsDialogId = 4145;
inline constexpr int kMetafilePrefsDialogId = 4146;
inline constexpr int kPictPrefsDialogId = 4147;
inline constexpr int kSymbolFontPrefsDialogId = 4167;
inline constexpr int kFontBlockPrefsDialogId = 4168;
inline constexpr int kNewWindowPrefsDialogId = 4169;
inline constexpr int kPaletteSizePrefsDialogId = 4170;

// Menu items that run the commands.
inline constexpr int kEpsPrefsMenuId = 7169;
inline constexpr int kBitmapPrefsMenuId = 7170;
inline constexpr int kMetafilePrefsMenuId = 7171;
inline constexpr int kSymbolFontMenuId = 7433;
inline constexpr int kPaletteSizeMenuId = 8194;

// ---- "PostScript (EPS) Prefs"

inline constexpr int kEpsScreenFontNamesItem = 11880;
inline constexpr int kEpsUnifyOutputItem = 11881;
inline constexpr int kEpsResolutionItem = 11883;
inline constexpr int kEpsClipboardTypeItem = 11884;
inline constexpr int kEpsOutputTypeItem = 11885;
inline constexpr int kEpsClipboardTypeMenu = 47;
inline constexpr int kEpsOutputTypeMenu = 51;
// The output type under which the two check boxes apply.
inline constexpr int32_t kSimplifiedPostScript = 1;

struct EpsPrefsDlgRecord {
    uint8_t useScreenFontNames = 0;
    uint8_t unifyOutput = 0;
    DialogText resolution{};   // dots per inch, decimal
    int32_t clipboardType = 0; // 0 "Encapsulated Postscript", 1 "ADOBE AI3"
    int32_t outputType = 0;    // 0 regular, 1 simplified
};

// The enabling rule of the two check boxes for output type `outputType`: enabled for simplified
// PostScript, unchecked and greyed otherwise.
void UpdateEpsPrefsControls(int32_t outputType);

// ---- "Bitmap Prefs" and "Metafile Prefs": the target resolution in dots per inch, decimal.

inline constexpr int kBitmapResolutionItem = 12392;
inline constexpr int kMetafileResolutionItem = 12648;

// ---- "PICT (QuickDraw) Prefs": built and listed with the others, opened by no command.

inline constexpr int kPictPureCommandsItem = 12904; // "Use Pure PICT (QuickDraw) Commands ..."
inline constexpr int kPictBitmapsOnlyItem = 12905;  // "Use Only Bitmap Images Inside of PICTs"
inline constexpr int kPictEmbedPostScriptItem = 12906;
inline constexpr int kPictResolutionItem = 12907;
struct PictPrefsDlgRecord {
    int32_t choice = 0; // index in 12904..12905
    uint8_t embedPostScript = 0;
    DialogText resolution{}; // dots per inch, decimal
};

// ---- "Symbol Font Prefs"

inline constexpr int kSymbolFontFirst = 18026; // "Use Regular Symbol Font"
inline constexpr int kSymbolFontLast = 18027;  // "Use Alternative Rudize Font"
struct SymbolFontPrefsDlgRecord {
    int32_t choice = 0; // 0 the Symbol face, 1 the Rudize face
};

// ---- "FontBlock Prefs": built and listed with the others, opened by no command; no setting
// keeps its values.

inline constexpr int kFontBlockHeightItem = 18288;
inline constexpr int kFontBlockWidthItem = 18289;
inline constexpr int kFontBlockArtworkItem = 18290; // "Use Korvaline Artwork"
inline constexpr int kFontBlockListingItem = 18291; // "Listing of Fonts"
inline constexpr int kFontBlockEmbedItem = 18292;
inline constexpr int kFontBlockTargetItem = 18293;
inline constexpr int kFontBlockEmbedMenu = 49;  // "EmbedFontsAmount"
inline constexpr int kFontBlockTargetMenu = 52; // "FontBlockTargetApp"
struct FontBlockPrefsDlgRecord {
    DialogText height{}; // pixels, decimal
    DialogText width{};
    uint8_t useArtwork = 0;
    uint8_t listFonts = 0;
    int32_t embedFonts = 0; // 0 all, 1 PostScript level 1 only, 2 the specified ones, 3 none
    int32_t target = 0;     // 0 word processors, 1 page layout, 2 others
};

// ---- "New Window Prefs": the place of a new document window ("Nw"), in pixels, decimal.

inline constexpr int kNewWindowBottomItem = 18540;
inline constexpr int kNewWindowTopItem = 18541;
inline constexpr int kNewWindowRightItem = 18542;
inline constexpr int kNewWindowLeftItem = 18543;
struct NewWindowPrefsDlgRecord {
    DialogText bottom{};
    DialogText top{};
    DialogText right{};
    DialogText left{};
};

// ---- "Palette Size Prefs"

inline constexpr int kPaletteSizeItem = 18793;
inline constexpr int kPaletteSizeMenu = 48;
struct PaletteSizePrefsDlgRecord {
    int32_t size = 0; // 0 normal .. 3 largest
};

int32_t RunEpsPrefsDlg(EpsPrefsDlgRecord* record);
plat::INT_PTR EpsPrefsDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                              plat::LPARAM lParam);
int32_t RunBitmapPrefsDlg(DialogText* resolution);
plat::INT_PTR BitmapPrefsDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                 plat::LPARAM lParam);
int32_t RunMetafilePrefsDlg(DialogText* resolution);
plat::INT_PTR MetafilePrefsDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                   plat::LPARAM lParam);
int32_t RunPictPrefsDlg(PictPrefsDlgRecord* record);
plat::INT_PTR PictPrefsDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                               plat::LPARAM lParam);
int32_t RunFontBlockPrefsDlg(FontBlockPrefsDlgRecord* record);
plat::INT_PTR FontBlockPrefsDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                    plat::LPARAM lParam);
int32_t RunNewWindowPrefsDlg(NewWindowPrefsDlgRecord* record);
plat::INT_PTR NewWindowPrefsDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                    plat::LPARAM lParam);
int32_t RunSymbolFontPrefsDlg(SymbolFontPrefsDlgRecord* record);
plat::INT_PTR SymbolFontPrefsDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                     plat::LPARAM lParam);

int32_t RunPaletteSizePrefsDlg(PaletteSizePrefsDlgRecord* record);
plat::INT_PTR PaletteSizePrefsDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                      plat::LPARAM lParam);

// ---- The commands

// The "Ep" record of the general preferences: its fields in order.
enum EpsPrefField : int {
    kEpsClipboardTypeField = 0,
    kEpsOutputTypeField = 1,
    kEpsResolutionField = 2,
    kEpsScreenFontNamesField = 3,
    kEpsUnifyOutputField = 4,
    kEpsFurtherField1 = 5, // kept, 0..2
    kEpsFurtherField2 = 6, // kept, 0..4
};

// Stored values outside their ranges are replaced (and kept) before each dialog runs. After OK:
// EPS: every shown value is stored (the resolution as typed, an empty field giving 0: the
// PostScript writer reads 0 or less as 300 dpi). Bitmaps: the resolution, where 0 or less becomes
// the screen's. Metafiles: the resolution, where 0 or less becomes 2540. Each then writes
// general.prf. Symbol font: a changed choice rebuilds the font manager and redraws every pane;
// general.prf receives it at its next write. Palette size: stored and written; an open palette
// window is built again with cells of the new size, a closed one stays closed.
void ChooseEpsPrefs();
void ChooseBitmapPrefs();
void ChooseMetafilePrefs();
void ChooseSymbolFont();
void ChoosePaletteSize();
// The place of new document windows ("Nw": left, top, right, bottom), which no menu item offers.
// OK keeps the four numbers after correcting them: left and top outside 0..1000 become 5 and 170,
// right and bottom outside 50..1000 become 400; a right edge not beyond the left one gives 5 and
// 500, a bottom not below the top 170 and 500. Then general.prf is written.
void ChooseNewWindowPrefs();

struct PicturePrefsMenuCommand {
    int menuId;
    void (*command)();
};
inline constexpr PicturePrefsMenuCommand kPicturePrefsMenuCommands[] = {
    {kEpsPrefsMenuId, &ChooseEpsPrefs},           {kBitmapPrefsMenuId, &ChooseBitmapPrefs},
    {kMetafilePrefsMenuId, &ChooseMetafilePrefs}, {kSymbolFontMenuId, &ChooseSymbolFont},
    {kPaletteSizeMenuId, &ChoosePaletteSize},
};
