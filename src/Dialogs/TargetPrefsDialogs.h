#pragma once
// The target-application preferences: how an expression is prepared for an outside application
// (word processors, layout and drawing applications, web-page editors and course systems). Each
// dialog edits a small record that its command fills from the target's stored settings; after OK
// the command stores the record back, resets or clamps what the dialog does not show, and writes
// general.prf. The copies for the targets read the stored settings (CopyTargetSettingsOf).

#include "ExprSrcs/Change.h"
#include "plat/Types.h"

#include <array>
#include <cstdint>

// ---- The Word form (4148)

inline constexpr int kWordTargetDialogId = 4148;
inline constexpr int kWordPointsItem = 13162;
inline constexpr int kWordDefaultItem = 13163; // "Use Default Settings", then "Override Defaults"
inline constexpr int kWordBitmapItem = 13165;
inline constexpr int kWordRtfBlockItem = 13166;
inline constexpr int kWordAlignmentItem = 13167; // popup of menu 46 "InlineWord"
inline constexpr int kInlineWordMenu = 46;

struct WordTargetPrefsRecord {
    DialogText additionalPoints{}; // decimal
    int32_t choice = 0;            // 0 use the defaults, 1 override them
    uint8_t useBitmap = 0;
    uint8_t rtfBlock = 0;
    int32_t inlineAlignment = 0;
};

// ---- The layout and drawing form (4150 .. 4163)

struct PictureTargetPrefsRecord {
    int32_t choice = 0;
    std::array<uint8_t, 4> flags{}; // one per check box, in the dialog's order
};

// ---- The web form (4153, 4159, 4165, 4166)

struct WebTargetPrefsRecord {
    int32_t method = 2; // 0 plug-in tags, 1 MathML, 2 PNG image
    uint8_t includeMathSpeak = 1;
};

// ---- The picture forms no command opens (4155, 4164 with two resolutions; 4157, 4158 one)

struct TwoResolutionTargetPrefsRecord {
    DialogText postscriptResolution{};
    DialogText previewResolution{};
    int32_t choice = 0;
    std::array<uint8_t, 4> flags{};
    int32_t smoothing = 0;
    int32_t fontEmbedding = 0;
};
struct OneResolutionTargetPrefsRecord {
    DialogText previewResolution{};
    int32_t choice = 0;
    uint8_t useBitmap = 0;
    uint8_t useSmoothing = 0;
    int32_t smoothing = 0;
};

// The dialog ids of the targets.
inline constexpr int kOpenOfficeTargetDialogId = 4149;
inline constexpr int kFrameMakerTargetDialogId = 4150;
inline constexpr int kPageMakerTargetDialogId = 4151;
inline constexpr int kInDesignTargetDialogId = 4152;
inline constexpr int kGoLiveTargetDialogId = 4153;
inline constexpr int kIllustratorTargetDialogId = 4154;
inline constexpr int kCanvasTargetDialogId = 4155;
inline constexpr int kPhotoshopTargetDialogId = 4156;
inline constexpr int kMellelTargetDialogId = 4157;
inline constexpr int kMarinerTargetDialogId = 4158;
inline constexpr int kDreamweaverTargetDialogId = 4159;
inline constexpr int kFlashTargetDialogId = 4160;
inline constexpr int kDirectorTargetDialogId = 4161;
inline constexpr int kFreehandTargetDialogId = 4162;
inline constexpr int kFireworksTargetDialogId = 4163;
inline constexpr int kQuarkXPressTargetDialogId = 4164;
inline constexpr int kBlackboardTargetDialogId = 4165;
inline constexpr int kWebCTTargetDialogId = 4166;

// Launchers: 1 after OK (the record written back), 0 after Annuler (the record untouched).
int32_t RunTargetWordPrefsDlg(WordTargetPrefsRecord* record);
// The two dialogs with nothing to set keep `param` as their argument and read nothing.
int32_t RunTargetOpenOfficePrefsDlg(void* param = nullptr);
int32_t RunTargetDirectorPrefsDlg(void* param = nullptr);
int32_t RunTargetFrameMakerPrefsDlg(PictureTargetPrefsRecord* record);
int32_t RunTargetPageMakerPrefsDlg(PictureTargetPrefsRecord* record);
int32_t RunTargetInDesignPrefsDlg(PictureTargetPrefsRecord* record);
int32_t RunTargetIllustratorPrefsDlg(PictureTargetPrefsRecord* record);
int32_t RunTargetPhotoshopPrefsDlg(PictureTargetPrefsRecord* record);
int32_t RunTargetFlashPrefsDlg(PictureTargetPrefsRecord* record);
int32_t RunTargetFreehandPrefsDlg(PictureTargetPrefsRecord* record);
int32_t RunTargetFireworksPrefsDlg(PictureTargetPrefsRecord* record);
int32_t RunTargetGoLivePrefsDlg(WebTargetPrefsRecord* record);
int32_t RunTargetDreamweaverPrefsDlg(WebTargetPrefsRecord* record);
int32_t RunTargetBlackboardPrefsDlg(WebTargetPrefsRecord* record);
int32_t RunTargetWebCTPrefsDlg(WebTargetPrefsRecord* record);
int32_t RunTargetCanvasPrefsDlg(TwoResolutionTargetPrefsRecord* record);
int32_t RunTargetQuarkXPressPrefsDlg(TwoResolutionTargetPrefsRecord* record);
int32_t RunTargetMellelPrefsDlg(OneResolutionTargetPrefsRecord* record);
int32_t RunTargetMarinerPrefsDlg(OneResolutionTargetPrefsRecord* record);

// The Word dialog's procedure (the other forms share one body per form).
plat::INT_PTR TargetWordPrefsDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                     plat::LPARAM lParam);

// Enabling functions, with 0 ("Use Default Settings": the boxes show what the defaults stand for,
// greyed) or 1 ("Override Defaults": live).
void UpdateWordPrefsControls(uint8_t choice);
void UpdateFrameMakerPrefsControls(uint8_t choice);
void UpdatePageMakerPrefsControls(uint8_t choice);
void UpdateInDesignPrefsControls(uint8_t choice);
void UpdateIllustratorPrefsControls(uint8_t choice);
void UpdatePhotoshopPrefsControls(uint8_t choice);
void UpdateFlashPrefsControls(uint8_t choice);
void UpdateFreehandPrefsControls(uint8_t choice);
void UpdateFireworksPrefsControls(uint8_t choice);
void UpdateCanvasPrefsControls(uint8_t choice);
void UpdateQuarkXPressPrefsControls(uint8_t choice);
void UpdateMellelPrefsControls(uint8_t choice);
void UpdateMarinerPrefsControls(uint8_t choice);

// ---- The commands of Préférences > "Targets Prefs..."

void ChooseWordTargetPrefs();
void ChooseFrameMakerTargetPrefs();
void ChoosePageMakerTargetPrefs();
void ChooseInDesignTargetPrefs();
void ChooseIllustratorTargetPrefs();
void ChoosePhotoshopTargetPrefs();
void ChooseFlashTargetPrefs();
void ChooseFreehandTargetPrefs();
void ChooseFireworksTargetPrefs();
void ChooseGoLiveTargetPrefs();
void ChooseDreamweaverTargetPrefs();

// The entries of targets that have nothing to set.
void IgnoreTargetPrefs();

struct TargetPrefsMenuCommand {
    int menuId;
    void (*command)();
};
// "Open Office" and "Adobe Director" have nothing to set: their entries do nothing.
inline constexpr TargetPrefsMenuCommand kTargetPrefsMenuCommands[] = {
    {7681, &IgnoreTargetPrefs},
    {7682, &ChooseWordTargetPrefs},
    {7683, &ChooseInDesignTargetPrefs},
    {7684, &ChooseIllustratorTargetPrefs},
    {7685, &ChoosePhotoshopTargetPrefs},
    {7686, &ChooseFrameMakerTargetPrefs},
    {7687, &ChoosePageMakerTargetPrefs},
    {7688, &ChooseGoLiveTargetPrefs},
    {7689, &ChooseDreamweaverTargetPrefs},
    {7690, &ChooseFlashTargetPrefs},
    {7691, &IgnoreTargetPrefs},
    {7692, &ChooseFreehandTargetPrefs},
    {7693, &ChooseFireworksTargetPrefs},
};

// Flash, Freehand and Fireworks keep their settings for the run only: back to the built-in ones.
void ResetSessionTargetSettings();

// Installs the reader the target copies use and the PNG save that copies its image tag (after
// the export writers); the menu commands are the table above.
void InstallTargetPrefs();
