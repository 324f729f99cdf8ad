#pragma once
// The dialogs that edit the program-wide typesetting settings: the size-step ladder, the six
// groups of typesetting settings (delimiters, ornaments, integrals, scripts, fractions, roots),
// the ruler unit and the other options; and the commands that run them from the Préférences menu.
// Each command fills its dialog's record from the settings, runs the dialog and, after OK, stores
// the record, writes the general preference file and lays every open pane out again.

#include "ExprSrcs/Change.h"
#include "plat/Types.h"

#include <array>
#include <cstdint>

inline constexpr int kSizeStepsDialogId = 4127;
inline constexpr int kDelimiterSettingsDialogId = 4128;
inline constexpr int kEmbellishmentSettingsDialogId = 4129;
inline constexpr int kIntegralSettingsDialogId = 4130;
inline constexpr int kScriptSettingsDialogId = 4131;
inline constexpr int kFractionSettingsDialogId = 4132;
inline constexpr int kRootSettingsDialogId = 4133;
inline constexpr int kRulerUnitsDialogId = 4137;
inline constexpr int kOtherOptionsDialogId = 4138;

// Menu items that run the commands.
inline constexpr int kDelimiterSettingsMenuId = 7425;
inline constexpr int kEmbellishmentSettingsMenuId = 7426;
inline constexpr int kIntegralSettingsMenuId = 7427;
inline constexpr int kScriptSettingsMenuId = 7428;
inline constexpr int kFractionSettingsMenuId = 7429;
inline constexpr int kRootSettingsMenuId = 7430;
inline constexpr int kSizeStepsMenuId = 7435;
inline constexpr int kRulerUnitsMenuId = 8193;

// ---- "Étapes d'agrandissement"

inline constexpr int kSizeStepsGeometricItem = 7783;
inline constexpr int kSizeStepsListItem = 7787;
inline constexpr int kSizeStepsMinimumItem = 7789;
inline constexpr int kSizeStepsBaseItem = 7790;
inline constexpr int kSizeStepsStep1Item = 7791;
inline constexpr int kSizeStepsStep2Item = 7793;
inline constexpr int kSizeStepsStep3Item = 7795;
inline constexpr int kSizeStepsDoubleItem = 7796;

// The minimum size and the three steps as decimal text, in that order.
struct SizeStepsDlgRecord {
    std::array<DialogText, 4> fields{};
};

// Shows the base size and its double beside the step fields (once, when the dialog opens).
void FillSizeStepFields();
// Reads the four fields (text that is not a number reads as 0). Numbers that make a valid ladder
// are published at once to the size-step settings, the table is rebuilt, OK is enabled and the
// list of sizes shown; otherwise OK is disabled, the list shows "???" and the settings keep the
// last valid numbers.
void ReadSizeStepFields();
// Fills the three steps geometrically from the base size, then validates.
void ComputeGeometricSteps();

int32_t RunSizeStepsDlg(SizeStepsDlgRecord* record);
plat::INT_PTR SizeStepsDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                               plat::LPARAM lParam);

// ---- The typesetting settings dialogs

// Menus of the popups and the values of their positions (kPopupSeparator for a separator).
inline constexpr int kSizeStepMenu = 39;
inline constexpr int kDistanceMenu = 40;
inline constexpr int kScriptHeightMenu = 41;
inline constexpr int kThicknessMenu = 42;
inline constexpr int kIntegralHeightMenu = 43;
inline constexpr int kSmoothAmountMenu = 44;

// Dialog 4128.
inline constexpr int kDelimiterHorizontalThicknessItem = 8052;
inline constexpr int kDelimiterVerticalThicknessItem = 8054;
inline constexpr int kDelimiterQuantiseItem = 8055;
inline constexpr int kDelimiterIncreaseFirst = 8057;
inline constexpr int kDelimiterIncreaseLast = 8059;
inline constexpr int kDelimiterStraightItem = 8060;
inline constexpr int kDelimiterBalanceItem = 8061;
struct DelimiterSettingsDlgRecord {
    int32_t horizontalThickness = 4;
    int32_t verticalThickness = 4;
    uint8_t quantiseSize = 0;
    int32_t increaseHeight = 0; // 0 none, 1 a little, 2 a lot
    uint8_t straightSegments = 0;
    uint8_t balanceAboutAxis = 0;
};

// Dialog 4129.
inline constexpr int kEmbellishmentDotItem = 8306;
inline constexpr int kEmbellishmentStrokeItem = 8308;
struct EmbellishmentSettingsDlgRecord {
    int32_t dotThickness = 4;
    int32_t strokeThickness = 4;
};

// Dialog 4130.
inline constexpr int kIntegralLimitsSizeItem = 8558;
inline constexpr int kIntegralThicknessItem = 8560;
inline constexpr int kIntegralHeightItem = 8562;
inline constexpr int kIntegralFixedItem = 8563;
inline constexpr int kIntegralQuantiseItem = 8564;
inline constexpr int kIntegralStraightItem = 8565;
inline constexpr int kIntegralNoInnerSpaceItem = 8566;
struct IntegralSettingsDlgRecord {
    int32_t limitsSize = -4; // size steps, negative for smaller
    int32_t signThickness = 4;
    int32_t defaultHeight = 16;
    uint8_t fixedHeight = 0;
    uint8_t quantiseHeight = 0;
    uint8_t straightSegments = 0;
    uint8_t removeInnerSpace = 0;
};

// Dialog 4131.
inline constexpr int kScriptSizeItem = 8813;
inline constexpr int kBigOperatorSizeItem = 8815;
inline constexpr int kSubscriptSeparationItem = 8817;
inline constexpr int kSubscriptHeightItem = 8818;
inline constexpr int kSuperscriptSeparationItem = 8820;
inline constexpr int kSuperscriptHeightItem = 8821;
struct ScriptSettingsDlgRecord {
    int32_t scriptSize = -2; // size steps, negative for smaller
    int32_t bigOperatorSize = 2;
    int32_t subscriptSeparation = 8;
    int32_t subscriptHeight = 2;
    int32_t superscriptSeparation = 8;
    int32_t superscriptHeight = 4;
};

// Dialog 4132.
inline constexpr int kFractionSizeItem = 9070;
inline constexpr int kFractionThicknessItem = 9072;
inline constexpr int kFractionThicknessPointsItem = 9073;
inline constexpr int kFractionDistanceItem = 9075;
inline constexpr int kFractionDistancePointsItem = 9076;
inline constexpr int kPointSizeFormatString = 241;
struct FractionSettingsDlgRecord {
    int32_t size = -3; // size steps, negative for smaller
    int32_t barThickness = 4;
    int32_t distance = 8;
};

// Dialog 4133.
inline constexpr int kRootIndexSizeItem = 9324;
inline constexpr int kRootThicknessItem = 9326;
inline constexpr int kRootFlangeFirst = 9328;
inline constexpr int kRootFlangeLast = 9330;
struct RootSettingsDlgRecord {
    int32_t indexSize = -4; // size steps, negative for smaller
    int32_t signThickness = 4;
    int32_t flange = 1; // 0 none, 1 small, 2 large
};

// Sets static `staticId` to the value of popup `comboId` in points at the base size: value × base
// / 128 for the bar thickness (popup 9072), value × base / 64 for the distance.
void FormatPointSize(int comboId, int staticId);

int32_t RunDelimiterSettingsDlg(DelimiterSettingsDlgRecord* record);
plat::INT_PTR DelimiterSettingsDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                       plat::LPARAM lParam);
int32_t RunEmbellishmentSettingsDlg(EmbellishmentSettingsDlgRecord* record);
plat::INT_PTR EmbellishmentSettingsDlgProc(plat::HWND dialog, plat::UINT message,
                                           plat::WPARAM wParam, plat::LPARAM lParam);
int32_t RunIntegralSettingsDlg(IntegralSettingsDlgRecord* record);
plat::INT_PTR IntegralSettingsDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                      plat::LPARAM lParam);
int32_t RunScriptSettingsDlg(ScriptSettingsDlgRecord* record);
plat::INT_PTR ScriptSettingsDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                    plat::LPARAM lParam);
int32_t RunFractionSettingsDlg(FractionSettingsDlgRecord* record);
plat::INT_PTR FractionSettingsDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                      plat::LPARAM lParam);
int32_t RunRootSettingsDlg(RootSettingsDlgRecord* record);
plat::INT_PTR RootSettingsDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                  plat::LPARAM lParam);

// ---- "Unités" and "Autres options"

inline constexpr int kRulerUnitsFirst = 10344;
inline constexpr int kRulerUnitsLast = 10347;
struct RulerUnitsDlgRecord {
    int32_t units = 0; // 0 inches, 1 centimetres, 2 points, 3 picas
};

inline constexpr int kSmoothRedrawFirst = 10601;
inline constexpr int kSmoothRedrawLast = 10602;
inline constexpr int kSmoothAmountItem = 10603;
inline constexpr int kPasteQuestionFirst = 10605;
inline constexpr int kPasteQuestionLast = 10606;
struct OtherOptionsDlgRecord {
    int32_t smoothRedraw = 0; // 1: smoothing
    int32_t smoothAmount = 0; // 0..3
    int32_t pasteQuestionMarks = 0;
};

int32_t RunRulerUnitsDlg(RulerUnitsDlgRecord* record);
plat::INT_PTR RulerUnitsDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                plat::LPARAM lParam);
int32_t RunOtherOptionsDlg(OtherOptionsDlgRecord* record);
plat::INT_PTR OtherOptionsDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                  plat::LPARAM lParam);

// ---- The commands

// Each runs its dialog on the current settings; after OK the settings take the dialog's values,
// the general preference file is written and every open pane is laid out again; after Cancel (or a dialog that cannot be made) the
// settings stay as they were, except that a stored value outside its range has been replaced by
// its fixed value before the run.
void ChooseSizeSteps();
void ChooseFenceSettings();
void ChooseMarkSettings();
void ChooseIntegralSettings();
void ChooseScriptSettings();
void ChooseFractionSettings();
void ChooseRootSettings();
void ChooseRulerUnits();
// Not on any menu; kept for a caller that wants it.
void ChooseOtherOptions();

// The menu item and command of each entry above that has a menu item.
struct TypesettingMenuCommand {
    int menuId;
    void (*command)();
};
inline constexpr std::array<TypesettingMenuCommand, 8> kTypesettingMenuCommands{{
    {kDelimiterSettingsMenuId, &ChooseFenceSettings},
    {kEmbellishmentSettingsMenuId, &ChooseMarkSettings},
    {kIntegralSettingsMenuId, &ChooseIntegralSettings},
    {kScriptSettingsMenuId, &ChooseScriptSettings},
    {kFractionSettingsMenuId, &ChooseFractionSettings},
    {kRootSettingsMenuId, &ChooseRootSettings},
    {kSizeStepsMenuId, &ChooseSizeSteps},
    {kRulerUnitsMenuId, &ChooseRulerUnits},
}};
