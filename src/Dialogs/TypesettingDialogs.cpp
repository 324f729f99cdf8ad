#include "Dialogs/TypesettingDialogs.h"

#include "Dialogs/DialogFrame.h"
#include "Dialogs/DialogRecordItems.h"
#include "Dialogs/PopupCombo.h"
#include "Dialogs/PrefsSaving.h"
#include "ExprSrcs/EPane.h"
#include "ExprSrcs/commands/tsPrefs.h"
#include "OverPc/PFONTS.h"
#include "OverPc/Presourc.h"
#include "OverPc/commands/PrefFieldRanges.h"
#include "OverPc/shell/DialogItems.h"
#include "OverPc/shell/PMENU.h"
#include "plat/Dialog.h"
#include "plat/Window.h"

#include <array>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// ---- Value tables of the popup menus (one value per menu position)

constexpr std::array<int32_t, 13> kSizeStepValues{
    6, 4, 3, 2, 1, kPopupSeparator, 0, kPopupSeparator, -1, -2, -3, -4, -6};
constexpr std::array<int32_t, 9> kDistanceValues{0, 2, 4, 6, 8, 10, 12, 16, 20};
constexpr std::array<int32_t, 8> kScriptHeightValues{0, 1, 2, 3, 4, 5, 6, 7};
constexpr std::array<int32_t, 9> kThicknessValues{16, 12, 8, 6, 5, 4, 3, 2, 1};
constexpr std::array<int32_t, 7> kIntegralHeightValues{32, 25, 20, 16, 13, 10, 8};
constexpr std::array<int32_t, 4> kSmoothAmountValues{0, 1, 2, 3};
// What the popups offer is what general.prf may hold for these settings.
static_assert(PopupValuesWithin(kSizeStepValues, kSizeStepRange, kPopupSeparator));
static_assert(PopupValuesWithin(kDistanceValues, kDistanceRange, kPopupSeparator));
static_assert(PopupValuesWithin(kScriptHeightValues, kScriptHeightRange, kPopupSeparator));
static_assert(PopupValuesWithin(kThicknessValues, kThicknessRange, kPopupSeparator));
static_assert(PopupValuesWithin(kIntegralHeightValues, kIntegralHeightRange, kPopupSeparator));

// A popup of a dialog: its control, its menu and the value table of the menu's positions.
struct Popup {
    int controlId;
    int menuId;
    const int32_t* values;
    int count;
};

template <size_t N>
constexpr Popup popupOf(int controlId, int menuId, const std::array<int32_t, N>& values) {
    return {controlId, menuId, values.data(), static_cast<int>(N)};
}

void setupPopup(const Popup& p, int32_t current) {
    SetupPopupFromMenu(p.menuId, nullptr, nullptr, p.controlId, p.values, current, p.count);
}

// The value of the selected entry; `previous` when nothing is selected (a stored value that no
// entry shows stays as it was).
int32_t readPopup(const Popup& p, int32_t previous) {
    return ReadPopupValue(p.controlId, GetPopupMenu(p.menuId), p.values, p.count, previous);
}

// A popup or check box and the record field it shows; a dialog lists them once for both showing
// the record and writing the dialog back into it.
template <class Record> struct PopupField {
    Popup popup;
    int32_t Record::*field;
};
template <class Record> struct CheckField {
    int id;
    uint8_t Record::*field;
};

template <class Record, size_t N>
void setupPopups(const PopupField<Record> (&fields)[N], const Record& r) {
    for (const PopupField<Record>& f : fields)
        setupPopup(f.popup, r.*f.field);
}
template <class Record, size_t N>
void readPopups(const PopupField<Record> (&fields)[N], Record& r) {
    for (const PopupField<Record>& f : fields)
        r.*f.field = readPopup(f.popup, r.*f.field);
}
template <class Record, size_t N>
void setupChecks(const CheckField<Record> (&fields)[N], const Record& r) {
    for (const CheckField<Record>& f : fields)
        SetCheck(f.id, r.*f.field != 0);
}
template <class Record, size_t N>
void readChecks(const CheckField<Record> (&fields)[N], Record& r) {
    for (const CheckField<Record>& f : fields)
        r.*f.field = CheckByte(f.id);
}

// The record the dialog was opened with, or the default record when it has none.
template <class Record> Record shownRecord(int dialogId) {
    const Record* record = DialogRecord<Record>(dialogId);
    return record != nullptr ? *record : Record{};
}

// A stored setting outside its range is replaced by its fixed value before a dialog shows it.
void keepInRange(int32_t& value, int32_t low, int32_t high, int32_t replacement) {
    if (value < low || value > high)
        value = replacement;
}

uint8_t asByte(uint8_t value) {
    return value != 0 ? 1 : 0;
}

// ---- "Étapes d'agrandissement"

constexpr std::array<int, 4> kSizeStepFieldItems{kSizeStepsMinimumItem, kSizeStepsStep1Item,
                                                 kSizeStepsStep2Item, kSizeStepsStep3Item};

bool isSizeStepField(int id) {
    for (int item : kSizeStepFieldItems)
        if (item == id)
            return true;
    return false;
}

// Text that is not a number counts as 0, which no valid ladder contains.
int32_t fieldNumber(const char* text) {
    bool ok = false;
    const int32_t value = ParseItemInt(text, &ok);
    return ok ? value : 0;
}

const DialogFrame& sizeStepsFrame() {
    static const DialogFrame frame = [] {
        DialogFrame f;
        f.id = kSizeStepsDialogId;
        // The label rectangles lie over the edit boxes; a click there puts the caret in the box.
        f.labels = {{{449, 145, 479, 159}, kSizeStepsMinimumItem},
                    {{105, 237, 135, 255}, kSizeStepsStep1Item},
                    {{161, 237, 191, 255}, kSizeStepsStep2Item},
                    {{217, 237, 247, 255}, kSizeStepsStep3Item}};
        f.init = [](plat::HWND) {
            const auto* record = DialogRecord<SizeStepsDlgRecord>(kSizeStepsDialogId);
            for (size_t i = 0; i < kSizeStepFieldItems.size(); ++i)
                SetItemText(kSizeStepFieldItems[i], record ? record->fields[i].data() : "");
            FillSizeStepFields();
            ReadSizeStepFields();
        };
        f.editReaction = [](plat::HWND, int id) {
            if (isSizeStepField(id))
                ReadSizeStepFields();
        };
        f.command = [](plat::HWND dialog, int id, int code, plat::HWND) {
            if (id == kSizeStepsGeometricItem)
                ComputeGeometricSteps();
            else if (code == 0 && isSizeStepField(id))
                plat::SetFocus(plat::GetDlgItem(dialog, id));
        };
        f.writeBack = [](plat::HWND) {
            auto* record = DialogRecord<SizeStepsDlgRecord>(kSizeStepsDialogId);
            if (record == nullptr)
                return;
            for (size_t i = 0; i < kSizeStepFieldItems.size(); ++i) {
                record->fields[i].fill('\0');
                CopyItemTextToField(kSizeStepFieldItems[i], record->fields[i].data(),
                                    record->fields[i].size());
            }
        };
        return f;
    }();
    return frame;
}

// ---- Delimiters

constexpr Popup kDelimiterHorizontalPopup =
    popupOf(kDelimiterHorizontalThicknessItem, kThicknessMenu, kThicknessValues);
constexpr Popup kDelimiterVerticalPopup =
    popupOf(kDelimiterVerticalThicknessItem, kThicknessMenu, kThicknessValues);
constexpr PopupField<DelimiterSettingsDlgRecord> kDelimiterPopups[] = {
    {kDelimiterHorizontalPopup, &DelimiterSettingsDlgRecord::horizontalThickness},
    {kDelimiterVerticalPopup, &DelimiterSettingsDlgRecord::verticalThickness}};
constexpr CheckField<DelimiterSettingsDlgRecord> kDelimiterChecks[] = {
    {kDelimiterQuantiseItem, &DelimiterSettingsDlgRecord::quantiseSize},
    {kDelimiterStraightItem, &DelimiterSettingsDlgRecord::straightSegments},
    {kDelimiterBalanceItem, &DelimiterSettingsDlgRecord::balanceAboutAxis}};

const DialogFrame& delimiterFrame() {
    static const DialogFrame frame = [] {
        DialogFrame f;
        f.id = kDelimiterSettingsDialogId;
        f.pictures = {{12368, 86, 10, kBitmapTransparent},  {12400, 96, 10, kBitmapTransparent},
                      {12464, 106, 10, kBitmapTransparent}, {14352, 116, 10, kBitmapTransparent},
                      {14496, 126, 10, kBitmapTransparent}, {14528, 136, 10, kBitmapTransparent},
                      {14560, 146, 10, kBitmapTransparent}, {14624, 156, 10, kBitmapTransparent},
                      {12432, 166, 10, kBitmapTransparent}, {14656, 176, 10, kBitmapTransparent},
                      {14688, 186, 10, kBitmapTransparent}};
        f.radioGroups = {{kDelimiterIncreaseFirst, kDelimiterIncreaseLast}};
        f.checkBoxes = {kDelimiterQuantiseItem, kDelimiterStraightItem, kDelimiterBalanceItem};
        f.init = [](plat::HWND) {
            const auto r = shownRecord<DelimiterSettingsDlgRecord>(kDelimiterSettingsDialogId);
            setupPopups(kDelimiterPopups, r);
            setupChecks(kDelimiterChecks, r);
            SetRadioGroup(kDelimiterIncreaseFirst, kDelimiterIncreaseLast, r.increaseHeight);
        };
        f.writeBack = [](plat::HWND) {
            auto* r = DialogRecord<DelimiterSettingsDlgRecord>(kDelimiterSettingsDialogId);
            if (r == nullptr)
                return;
            readPopups(kDelimiterPopups, *r);
            readChecks(kDelimiterChecks, *r);
            ReadRadio(kDelimiterIncreaseFirst, kDelimiterIncreaseLast, r->increaseHeight);
        };
        return f;
    }();
    return frame;
}

// ---- Ornaments

constexpr Popup kDotPopup = popupOf(kEmbellishmentDotItem, kThicknessMenu, kThicknessValues);
constexpr Popup kStrokePopup = popupOf(kEmbellishmentStrokeItem, kThicknessMenu, kThicknessValues);
constexpr PopupField<EmbellishmentSettingsDlgRecord> kEmbellishmentPopups[] = {
    {kDotPopup, &EmbellishmentSettingsDlgRecord::dotThickness},
    {kStrokePopup, &EmbellishmentSettingsDlgRecord::strokeThickness}};

const DialogFrame& embellishmentFrame() {
    static const DialogFrame frame = [] {
        DialogFrame f;
        f.id = kEmbellishmentSettingsDialogId;
        f.pictures = {{14288, 86, 10, kBitmapTransparent},  {14160, 96, 10, kBitmapTransparent},
                      {14720, 106, 10, kBitmapTransparent}, {14816, 116, 10, kBitmapTransparent},
                      {14320, 126, 10, kBitmapTransparent}, {14752, 136, 10, kBitmapTransparent},
                      {14224, 146, 10, kBitmapTransparent}, {14784, 156, 10, kBitmapTransparent},
                      {14192, 166, 10, kBitmapTransparent}};
        f.init = [](plat::HWND) {
            setupPopups(kEmbellishmentPopups, shownRecord<EmbellishmentSettingsDlgRecord>(
                                                  kEmbellishmentSettingsDialogId));
        };
        f.writeBack = [](plat::HWND) {
            auto* r = DialogRecord<EmbellishmentSettingsDlgRecord>(kEmbellishmentSettingsDialogId);
            if (r == nullptr)
                return;
            readPopups(kEmbellishmentPopups, *r);
        };
        return f;
    }();
    return frame;
}

// ---- Integrals

constexpr Popup kIntegralLimitsPopup =
    popupOf(kIntegralLimitsSizeItem, kSizeStepMenu, kSizeStepValues);
constexpr Popup kIntegralThicknessPopup =
    popupOf(kIntegralThicknessItem, kThicknessMenu, kThicknessValues);
constexpr Popup kIntegralHeightPopup =
    popupOf(kIntegralHeightItem, kIntegralHeightMenu, kIntegralHeightValues);
constexpr PopupField<IntegralSettingsDlgRecord> kIntegralPopups[] = {
    {kIntegralLimitsPopup, &IntegralSettingsDlgRecord::limitsSize},
    {kIntegralThicknessPopup, &IntegralSettingsDlgRecord::signThickness},
    {kIntegralHeightPopup, &IntegralSettingsDlgRecord::defaultHeight}};
constexpr CheckField<IntegralSettingsDlgRecord> kIntegralChecks[] = {
    {kIntegralFixedItem, &IntegralSettingsDlgRecord::fixedHeight},
    {kIntegralQuantiseItem, &IntegralSettingsDlgRecord::quantiseHeight},
    {kIntegralStraightItem, &IntegralSettingsDlgRecord::straightSegments},
    {kIntegralNoInnerSpaceItem, &IntegralSettingsDlgRecord::removeInnerSpace}};

const DialogFrame& integralFrame() {
    static const DialogFrame frame = [] {
        DialogFrame f;
        f.id = kIntegralSettingsDialogId;
        f.pictures = {{12656, 88, 8, kBitmapTransparent},
                      {13936, 100, 8, kBitmapTransparent},
                      {13968, 112, 8, kBitmapTransparent},
                      {13904, 124, 8, kBitmapTransparent},
                      {12688, 136, 8, kBitmapTransparent}};
        f.checkBoxes = {kIntegralFixedItem, kIntegralQuantiseItem, kIntegralStraightItem,
                        kIntegralNoInnerSpaceItem};
        f.init = [](plat::HWND) {
            const auto r = shownRecord<IntegralSettingsDlgRecord>(kIntegralSettingsDialogId);
            setupPopups(kIntegralPopups, r);
            setupChecks(kIntegralChecks, r);
        };
        f.writeBack = [](plat::HWND) {
            auto* r = DialogRecord<IntegralSettingsDlgRecord>(kIntegralSettingsDialogId);
            if (r == nullptr)
                return;
            readPopups(kIntegralPopups, *r);
            readChecks(kIntegralChecks, *r);
        };
        return f;
    }();
    return frame;
}

// ---- Scripts and big operators

constexpr Popup kScriptSizePopup = popupOf(kScriptSizeItem, kSizeStepMenu, kSizeStepValues);
constexpr Popup kBigOperatorPopup = popupOf(kBigOperatorSizeItem, kSizeStepMenu, kSizeStepValues);
constexpr Popup kSubSeparationPopup =
    popupOf(kSubscriptSeparationItem, kDistanceMenu, kDistanceValues);
constexpr Popup kSubHeightPopup =
    popupOf(kSubscriptHeightItem, kScriptHeightMenu, kScriptHeightValues);
constexpr Popup kSupSeparationPopup =
    popupOf(kSuperscriptSeparationItem, kDistanceMenu, kDistanceValues);
constexpr Popup kSupHeightPopup =
    popupOf(kSuperscriptHeightItem, kScriptHeightMenu, kScriptHeightValues);
constexpr PopupField<ScriptSettingsDlgRecord> kScriptPopups[] = {
    {kScriptSizePopup, &ScriptSettingsDlgRecord::scriptSize},
    {kBigOperatorPopup, &ScriptSettingsDlgRecord::bigOperatorSize},
    {kSubSeparationPopup, &ScriptSettingsDlgRecord::subscriptSeparation},
    {kSubHeightPopup, &ScriptSettingsDlgRecord::subscriptHeight},
    {kSupSeparationPopup, &ScriptSettingsDlgRecord::superscriptSeparation},
    {kSupHeightPopup, &ScriptSettingsDlgRecord::superscriptHeight}};

const DialogFrame& scriptFrame() {
    static const DialogFrame frame = [] {
        DialogFrame f;
        f.id = kScriptSettingsDialogId;
        f.pictures = {{12496, 98, 10, kBitmapTransparent},
                      {12528, 98, 20, kBitmapTransparent},
                      {14064, 108, 10, kBitmapTransparent},
                      {14848, 108, 20, kBitmapTransparent}};
        f.init = [](plat::HWND) {
            setupPopups(kScriptPopups,
                        shownRecord<ScriptSettingsDlgRecord>(kScriptSettingsDialogId));
        };
        f.writeBack = [](plat::HWND) {
            auto* r = DialogRecord<ScriptSettingsDlgRecord>(kScriptSettingsDialogId);
            if (r == nullptr)
                return;
            readPopups(kScriptPopups, *r);
        };
        return f;
    }();
    return frame;
}

// ---- Fractions

constexpr Popup kFractionSizePopup = popupOf(kFractionSizeItem, kSizeStepMenu, kSizeStepValues);
constexpr Popup kFractionThicknessPopup =
    popupOf(kFractionThicknessItem, kThicknessMenu, kThicknessValues);
constexpr Popup kFractionDistancePopup =
    popupOf(kFractionDistanceItem, kDistanceMenu, kDistanceValues);
constexpr PopupField<FractionSettingsDlgRecord> kFractionPopups[] = {
    {kFractionSizePopup, &FractionSettingsDlgRecord::size},
    {kFractionThicknessPopup, &FractionSettingsDlgRecord::barThickness},
    {kFractionDistancePopup, &FractionSettingsDlgRecord::distance}};

// A popup command refreshes its point value; the refresh itself may raise further notifications
// of the popup, which are not followed.
void refreshPointValue(int comboId, int staticId) {
    if (DialogCallbackBusy != 0)
        return;
    DialogCallbackBusy = 1;
    FormatPointSize(comboId, staticId);
    DialogCallbackBusy = 0;
}

const DialogFrame& fractionFrame() {
    static const DialogFrame frame = [] {
        DialogFrame f;
        f.id = kFractionSettingsDialogId;
        f.pictures = {{14032, 6, 100, kBitmapTransparent},
                      {14032, 102, 10, kBitmapTransparent},
                      {12560, 6, 62, kBitmapTransparent},
                      {12560, 90, 10, kBitmapTransparent}};
        // Over the two popups whose values are also shown in points.
        f.labels = {{{217, 73, 379, 91}, kFractionThicknessItem},
                    {{217, 125, 379, 143}, kFractionDistanceItem}};
        f.init = [](plat::HWND) {
            setupPopups(kFractionPopups,
                        shownRecord<FractionSettingsDlgRecord>(kFractionSettingsDialogId));
            FormatPointSize(kFractionThicknessItem, kFractionThicknessPointsItem);
            FormatPointSize(kFractionDistanceItem, kFractionDistancePointsItem);
        };
        f.command = [](plat::HWND, int id, int, plat::HWND) {
            if (id == kFractionThicknessItem)
                refreshPointValue(kFractionThicknessItem, kFractionThicknessPointsItem);
            else if (id == kFractionDistanceItem)
                refreshPointValue(kFractionDistanceItem, kFractionDistancePointsItem);
        };
        f.writeBack = [](plat::HWND) {
            auto* r = DialogRecord<FractionSettingsDlgRecord>(kFractionSettingsDialogId);
            if (r == nullptr)
                return;
            readPopups(kFractionPopups, *r);
        };
        return f;
    }();
    return frame;
}

// ---- Roots

constexpr Popup kRootIndexPopup = popupOf(kRootIndexSizeItem, kSizeStepMenu, kSizeStepValues);
constexpr Popup kRootThicknessPopup = popupOf(kRootThicknessItem, kThicknessMenu, kThicknessValues);
constexpr PopupField<RootSettingsDlgRecord> kRootPopups[] = {
    {kRootIndexPopup, &RootSettingsDlgRecord::indexSize},
    {kRootThicknessPopup, &RootSettingsDlgRecord::signThickness}};

const DialogFrame& rootFrame() {
    static const DialogFrame frame = [] {
        DialogFrame f;
        f.id = kRootSettingsDialogId;
        f.pictures = {{15936, 92, 72, kBitmapTransparent},
                      {14000, 126, 12, kBitmapTransparent},
                      {12592, 114, 12, kBitmapTransparent}};
        f.radioGroups = {{kRootFlangeFirst, kRootFlangeLast}};
        f.init = [](plat::HWND) {
            const auto r = shownRecord<RootSettingsDlgRecord>(kRootSettingsDialogId);
            setupPopups(kRootPopups, r);
            SetRadioGroup(kRootFlangeFirst, kRootFlangeLast, r.flange);
        };
        f.writeBack = [](plat::HWND) {
            auto* r = DialogRecord<RootSettingsDlgRecord>(kRootSettingsDialogId);
            if (r == nullptr)
                return;
            readPopups(kRootPopups, *r);
            ReadRadio(kRootFlangeFirst, kRootFlangeLast, r->flange);
        };
        return f;
    }();
    return frame;
}

// ---- "Unités" and "Autres options"

const DialogFrame& rulerUnitsFrame() {
    static const DialogFrame frame = [] {
        DialogFrame f;
        f.id = kRulerUnitsDialogId;
        f.radioGroups = {{kRulerUnitsFirst, kRulerUnitsLast}};
        f.init = [](plat::HWND) {
            const auto* record = DialogRecord<RulerUnitsDlgRecord>(kRulerUnitsDialogId);
            SetRadioGroup(kRulerUnitsFirst, kRulerUnitsLast, record ? record->units : 0);
        };
        f.writeBack = [](plat::HWND) {
            if (auto* r = DialogRecord<RulerUnitsDlgRecord>(kRulerUnitsDialogId))
                ReadRadio(kRulerUnitsFirst, kRulerUnitsLast, r->units);
        };
        return f;
    }();
    return frame;
}

constexpr Popup kSmoothAmountPopup =
    popupOf(kSmoothAmountItem, kSmoothAmountMenu, kSmoothAmountValues);

const DialogFrame& otherOptionsFrame() {
    static const DialogFrame frame = [] {
        DialogFrame f;
        f.id = kOtherOptionsDialogId;
        f.radioGroups = {{kSmoothRedrawFirst, kSmoothRedrawLast},
                         {kPasteQuestionFirst, kPasteQuestionLast}};
        f.init = [](plat::HWND) {
            const auto r = shownRecord<OtherOptionsDlgRecord>(kOtherOptionsDialogId);
            SetRadioGroup(kSmoothRedrawFirst, kSmoothRedrawLast, r.smoothRedraw);
            setupPopup(kSmoothAmountPopup, r.smoothAmount);
            SetRadioGroup(kPasteQuestionFirst, kPasteQuestionLast, r.pasteQuestionMarks);
        };
        f.writeBack = [](plat::HWND) {
            auto* r = DialogRecord<OtherOptionsDlgRecord>(kOtherOptionsDialogId);
            if (r == nullptr)
                return;
            ReadRadio(kSmoothRedrawFirst, kSmoothRedrawLast, r->smoothRedraw);
            r->smoothAmount = readPopup(kSmoothAmountPopup, r->smoothAmount);
            ReadRadio(kPasteQuestionFirst, kPasteQuestionLast, r->pasteQuestionMarks);
        };
        return f;
    }();
    return frame;
}

} // namespace

// ---- Size-step services

void FillSizeStepFields() {
    const int32_t base = BaseStyleSize();
    char text[64];
    std::snprintf(text, sizeof text, "... , %d, ", static_cast<int>(base));
    SetItemText(kSizeStepsBaseItem, text);
    std::snprintf(text, sizeof text, ", %lld, ...", static_cast<long long>(2 * int64_t{base}));
    SetItemText(kSizeStepsDoubleItem, text);
}

void ReadSizeStepFields() {
    SizeStepRecord typed;
    typed.minimum = fieldNumber(GetItemText(kSizeStepsMinimumItem));
    typed.step1 = fieldNumber(GetItemText(kSizeStepsStep1Item));
    typed.step2 = fieldNumber(GetItemText(kSizeStepsStep2Item));
    typed.step3 = fieldNumber(GetItemText(kSizeStepsStep3Item));
    // Layout reads the settings at any time, so only numbers that make a ladder reach them.
    if (!SizeStepsValid(typed, BaseStyleSize(), MinimumFontSize)) {
        EnableItem(plat::IDOK, false);
        SetItemText(kSizeStepsListItem, "???");
        return;
    }
    const SizeStepRecord previous = SizeStepSettings;
    SizeStepSettings = typed;
    if (!BuildSizeStepTable()) {
        SizeStepSettings = previous;
        EnableItem(plat::IDOK, false);
        SetItemText(kSizeStepsListItem, "???");
        return;
    }
    EnableItem(plat::IDOK, true);
    SetItemText(kSizeStepsListItem, SizeStepListText(SizeStepTable).c_str());
}

void ComputeGeometricSteps() {
    const std::array<int32_t, 3> steps = GeometricSizeSteps(BaseStyleSize());
    SetItemInt(kSizeStepsStep1Item, steps[0]);
    SetItemInt(kSizeStepsStep2Item, steps[1]);
    SetItemInt(kSizeStepsStep3Item, steps[2]);
    ReadSizeStepFields();
}

void FormatPointSize(int comboId, int staticId) {
    const auto r = shownRecord<FractionSettingsDlgRecord>(kFractionSettingsDialogId);
    const bool bar = comboId == kFractionThicknessItem;
    // With nothing selected the record's value stands, as OK would keep it.
    const int32_t value = bar ? readPopup(kFractionThicknessPopup, r.barThickness)
                              : readPopup(kFractionDistancePopup, r.distance);
    const double points = static_cast<double>(value) * BaseStyleSize() / (bar ? 128.0 : 64.0);
    // The format comes from the resources; it is never handed to printf itself, so a string
    // with other conversions cannot misread the arguments.
    const char* loaded = LoadResString(kPointSizeFormatString);
    std::string text = loaded != nullptr ? loaded : "";
    const size_t at = text.find("%.2g");
    if (at == std::string::npos)
        text = "%.2g pts";
    char number[32];
    std::snprintf(number, sizeof number, "%.2g", points);
    text.replace(text.find("%.2g"), 4, number);
    SetItemText(staticId, text.c_str());
}

// ---- Launchers and procedures

int32_t RunSizeStepsDlg(SizeStepsDlgRecord* record) {
    return LaunchWithRecord(kSizeStepsDialogId, &SizeStepsDlgProc, record);
}
plat::INT_PTR SizeStepsDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                               plat::LPARAM lParam) {
    return HandleDialogFrame(sizeStepsFrame(), dialog, message, wParam, lParam);
}

int32_t RunDelimiterSettingsDlg(DelimiterSettingsDlgRecord* record) {
    return LaunchWithRecord(kDelimiterSettingsDialogId, &DelimiterSettingsDlgProc, record);
}
plat::INT_PTR DelimiterSettingsDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                       plat::LPARAM lParam) {
    return HandleDialogFrame(delimiterFrame(), dialog, message, wParam, lParam);
}

int32_t RunEmbellishmentSettingsDlg(EmbellishmentSettingsDlgRecord* record) {
    return LaunchWithRecord(kEmbellishmentSettingsDialogId, &EmbellishmentSettingsDlgProc, record);
}
plat::INT_PTR EmbellishmentSettingsDlgProc(plat::HWND dialog, plat::UINT message,
                                           plat::WPARAM wParam, plat::LPARAM lParam) {
    return HandleDialogFrame(embellishmentFrame(), dialog, message, wParam, lParam);
}

int32_t RunIntegralSettingsDlg(IntegralSettingsDlgRecord* record) {
    return LaunchWithRecord(kIntegralSettingsDialogId, &IntegralSettingsDlgProc, record);
}
plat::INT_PTR IntegralSettingsDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                      plat::LPARAM lParam) {
    return HandleDialogFrame(integralFrame(), dialog, message, wParam, lParam);
}

int32_t RunScriptSettingsDlg(ScriptSettingsDlgRecord* record) {
    return LaunchWithRecord(kScriptSettingsDialogId, &ScriptSettingsDlgProc, record);
}
plat::INT_PTR ScriptSettingsDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                    plat::LPARAM lParam) {
    return HandleDialogFrame(scriptFrame(), dialog, message, wParam, lParam);
}

int32_t RunFractionSettingsDlg(FractionSettingsDlgRecord* record) {
    return LaunchWithRecord(kFractionSettingsDialogId, &FractionSettingsDlgProc, record);
}
plat::INT_PTR FractionSettingsDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                      plat::LPARAM lParam) {
    return HandleDialogFrame(fractionFrame(), dialog, message, wParam, lParam);
}

int32_t RunRootSettingsDlg(RootSettingsDlgRecord* record) {
    return LaunchWithRecord(kRootSettingsDialogId, &RootSettingsDlgProc, record);
}
plat::INT_PTR RootSettingsDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                  plat::LPARAM lParam) {
    return HandleDialogFrame(rootFrame(), dialog, message, wParam, lParam);
}

int32_t RunRulerUnitsDlg(RulerUnitsDlgRecord* record) {
    return LaunchWithRecord(kRulerUnitsDialogId, &RulerUnitsDlgProc, record);
}
plat::INT_PTR RulerUnitsDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                plat::LPARAM lParam) {
    return HandleDialogFrame(rulerUnitsFrame(), dialog, message, wParam, lParam);
}

int32_t RunOtherOptionsDlg(OtherOptionsDlgRecord* record) {
    return LaunchWithRecord(kOtherOptionsDialogId, &OtherOptionsDlgProc, record);
}
plat::INT_PTR OtherOptionsDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                  plat::LPARAM lParam) {
    return HandleDialogFrame(otherOptionsFrame(), dialog, message, wParam, lParam);
}

// ---- Commands

namespace {

// Ranges of the stored settings (those general.prf may hold) and the value that replaces one
// outside its range.
void keepInRange(int32_t& value, PrefFieldRange range, int32_t replacement) {
    keepInRange(value, range.low, range.high, replacement);
}
void keepSizeStep(int32_t& value) {
    keepInRange(value, kSizeStepRange, -2);
}
void keepThickness(int32_t& value) {
    keepInRange(value, kThicknessRange, 4);
}
void keepDistance(int32_t& value) {
    keepInRange(value, kDistanceRange, 8);
}
void keepScriptHeight(int32_t& value) {
    keepInRange(value, kScriptHeightRange, 4);
}

bool accepted(int32_t result) {
    return ResultAsCancel(result) == 1;
}

} // namespace

void ChooseSizeSteps() {
    // The dialog publishes valid numbers while it runs; Cancel puts these back.
    const SizeStepRecord savedSettings = SizeStepSettings;
    const std::vector<int32_t> savedTable = SizeStepTable;
    SizeStepsDlgRecord record;
    const std::array<int32_t, 4> current{SizeStepSettings.minimum, SizeStepSettings.step1,
                                         SizeStepSettings.step2, SizeStepSettings.step3};
    for (size_t i = 0; i < current.size(); ++i)
        std::snprintf(record.fields[i].data(), record.fields[i].size(), "%hd",
                      static_cast<short>(current[i]));
    const auto restore = [&] {
        SizeStepSettings = savedSettings;
        SizeStepTable = savedTable;
    };
    if (!accepted(RunSizeStepsDlg(&record))) {
        restore();
        return;
    }
    SizeStepRecord chosen;
    chosen.minimum = fieldNumber(record.fields[0].data());
    chosen.step1 = fieldNumber(record.fields[1].data());
    chosen.step2 = fieldNumber(record.fields[2].data());
    chosen.step3 = fieldNumber(record.fields[3].data());
    // OK is only enabled for a valid ladder; the check stands in case the dialog was closed by
    // other means with a field in between.
    SizeStepSettings = chosen;
    if (!SizeStepsValid(chosen, BaseStyleSize(), MinimumFontSize) || !BuildSizeStepTable()) {
        restore();
        return;
    }
    SaveGeneralPrefsAfterChange();
    RefreshAllPanes();
}

void ChooseFenceSettings() {
    DelimiterRecord& s = DelimiterSettings;
    keepThickness(s.horizontalWeight);
    keepThickness(s.verticalWeight);
    keepInRange(s.increaseHeight, kThreeWayRange, 0);
    DelimiterSettingsDlgRecord r;
    r.horizontalThickness = s.horizontalWeight;
    r.verticalThickness = s.verticalWeight;
    r.quantiseSize = asByte(s.quantiseSize);
    r.increaseHeight = s.increaseHeight;
    r.straightSegments = asByte(s.straightSegments);
    r.balanceAboutAxis = asByte(s.balanceAboutAxis);
    if (!accepted(RunDelimiterSettingsDlg(&r)))
        return;
    s.horizontalWeight = r.horizontalThickness;
    s.verticalWeight = r.verticalThickness;
    s.quantiseSize = asByte(r.quantiseSize);
    s.increaseHeight = r.increaseHeight;
    s.straightSegments = asByte(r.straightSegments);
    s.balanceAboutAxis = asByte(r.balanceAboutAxis);
    SaveGeneralPrefsAfterChange();
    RefreshAllPanes();
}

void ChooseMarkSettings() {
    EmbellishmentRecord& s = EmbellishmentSettings;
    keepThickness(s.dotWeight);
    keepThickness(s.strokeWeight);
    EmbellishmentSettingsDlgRecord r{s.dotWeight, s.strokeWeight};
    if (!accepted(RunEmbellishmentSettingsDlg(&r)))
        return;
    s.dotWeight = r.dotThickness;
    s.strokeWeight = r.strokeThickness;
    SaveGeneralPrefsAfterChange();
    RefreshAllPanes();
}

void ChooseIntegralSettings() {
    IntegralRecord& s = IntegralSettings;
    keepSizeStep(s.limitsSize);
    keepThickness(s.strokeWeight);
    keepInRange(s.defaultHeight, kIntegralHeightRange, 16);
    // The limits are stored as steps smaller; the popup counts steps larger.
    IntegralSettingsDlgRecord r{-s.limitsSize,
                                s.strokeWeight,
                                s.defaultHeight,
                                asByte(s.fixedHeight),
                                asByte(s.quantiseHeight),
                                asByte(s.straightSegments),
                                asByte(s.removeInnerSpace)};
    if (!accepted(RunIntegralSettingsDlg(&r)))
        return;
    s.limitsSize = -r.limitsSize;
    s.strokeWeight = r.signThickness;
    s.defaultHeight = r.defaultHeight;
    s.fixedHeight = asByte(r.fixedHeight);
    s.quantiseHeight = asByte(r.quantiseHeight);
    s.straightSegments = asByte(r.straightSegments);
    s.removeInnerSpace = asByte(r.removeInnerSpace);
    SaveGeneralPrefsAfterChange();
    RefreshAllPanes();
}

void ChooseScriptSettings() {
    TypesettingRecord& s = TypesettingSettings;
    keepSizeStep(s.scriptSize);
    keepSizeStep(s.bigOperatorSize);
    keepDistance(s.subscriptSeparation);
    keepDistance(s.superscriptSeparation);
    keepScriptHeight(s.subscriptDepth);
    keepScriptHeight(s.superscriptHeight);
    // Scripts are stored as steps smaller, Sigma and Pi as steps larger.
    ScriptSettingsDlgRecord r{-s.scriptSize,    s.bigOperatorSize,       s.subscriptSeparation,
                              s.subscriptDepth, s.superscriptSeparation, s.superscriptHeight};
    if (!accepted(RunScriptSettingsDlg(&r)))
        return;
    s.scriptSize = -r.scriptSize;
    s.bigOperatorSize = r.bigOperatorSize;
    s.subscriptSeparation = r.subscriptSeparation;
    s.subscriptDepth = r.subscriptHeight;
    s.superscriptSeparation = r.superscriptSeparation;
    s.superscriptHeight = r.superscriptHeight;
    SaveGeneralPrefsAfterChange();
    RefreshAllPanes();
}

void ChooseFractionSettings() {
    TypesettingRecord& s = TypesettingSettings;
    keepSizeStep(s.fractionSize);
    keepThickness(s.fractionBarThickness);
    keepDistance(s.fractionDistance);
    FractionSettingsDlgRecord r{-s.fractionSize, s.fractionBarThickness, s.fractionDistance};
    if (!accepted(RunFractionSettingsDlg(&r)))
        return;
    s.fractionSize = -r.size;
    s.fractionBarThickness = r.barThickness;
    s.fractionDistance = r.distance;
    SaveGeneralPrefsAfterChange();
    RefreshAllPanes();
}

void ChooseRootSettings() {
    RootRecord& s = RootSettings;
    keepSizeStep(s.indexSize);
    keepThickness(s.strokeWeight);
    keepInRange(s.rightHook, kThreeWayRange, 1);
    RootSettingsDlgRecord r{-s.indexSize, s.strokeWeight, s.rightHook};
    if (!accepted(RunRootSettingsDlg(&r)))
        return;
    s.indexSize = -r.indexSize;
    s.strokeWeight = r.signThickness;
    s.rightHook = r.flange;
    SaveGeneralPrefsAfterChange();
    RefreshAllPanes();
}

void ChooseRulerUnits() {
    RulerUnitsDlgRecord r{MeasurementUnitSetting};
    if (!accepted(RunRulerUnitsDlg(&r)))
        return;
    // A stored unit that no button shows stays as it was when none is chosen.
    if (r.units >= 0 && r.units <= 3)
        MeasurementUnitSetting = r.units;
    SaveGeneralPrefsAfterChange();
    RefreshAllPanes();
}

void ChooseOtherOptions() {
    OtherOptionsDlgRecord r{WideStructureSetting > 0 ? 1 : 0, WideStructureSetting,
                            ReplacePlaceholdersOption != 0 ? 1 : 0};
    if (!accepted(RunOtherOptionsDlg(&r)))
        return;
    if (r.smoothRedraw == 1 && r.smoothAmount >= 0 && r.smoothAmount <= 3)
        WideStructureSetting = r.smoothAmount;
    else
        WideStructureSetting = 0;
    ReplacePlaceholdersOption = r.pasteQuestionMarks != 0 ? 1 : 0;
    SaveGeneralPrefsAfterChange();
    RefreshAllPanes();
}
