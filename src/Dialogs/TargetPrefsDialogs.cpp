#include "Dialogs/TargetPrefsDialogs.h"

#include "Dialogs/DialogFrame.h"
#include "Dialogs/DialogRecordItems.h"
#include "Dialogs/PicturePrefsDialogs.h"
#include "Dialogs/PopupCombo.h"
#include "Dialogs/PrefsSaving.h"
#include "OverPc/commands/kPrefs.h"
#include "OverPc/documents/ClipboardCommands.h"
#include "OverPc/documents/CopyTargets.h"
#include "OverPc/shell/DialogItems.h"
#include "OverPc/shell/PMENU.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr int32_t S = kPopupSeparator;
// Values of the "InlineWord" menu, one per position.
constexpr std::array<int32_t, 6> kInlineValues{0, 1, S, 2, 3, 4};
constexpr std::array<int32_t, 4> kSmoothingValues{0, 1, 2, 3};
constexpr std::array<int32_t, 4> kFontEmbeddingValues{0, 1, 2, 3};
constexpr int kSmoothingMenu = 44;
constexpr int kFontEmbeddingMenu = 49;

bool accepted(int32_t result) {
    return ResultAsCancel(result) == 1;
}

void showText(int editId, const DialogText& text) {
    char shown[kDialogTextSize + 1] = {};
    std::memcpy(shown, text.data(), text.size());
    SetItemText(editId, shown);
}

void readText(int editId, DialogText& text) {
    text.fill('\0');
    CopyItemTextToField(editId, text.data(), text.size());
}

// The radio pair "Use Default Settings" / "Override Defaults" after a click on either button.
template <void (*Update)(uint8_t)> void pairRules(int first, int id) {
    if (id == first)
        Update(0);
    else if (id == first + 1)
        Update(1);
}

// ---- The Word form ------------------------------------------------------------------------------

const DialogFrame& wordFrame() {
    static const DialogFrame frame = [] {
        DialogFrame f;
        f.id = kWordTargetDialogId;
        f.radioGroups = {{kWordDefaultItem, kWordDefaultItem + 1}};
        f.checkBoxes = {kWordBitmapItem, kWordRtfBlockItem};
        f.labels = {{{13, 101, 483, 119}, kWordDefaultItem},
                    {{13, 121, 423, 139}, kWordDefaultItem + 1}};
        f.init = [](plat::HWND) {
            const auto* record = DialogRecord<WordTargetPrefsRecord>(kWordTargetDialogId);
            const WordTargetPrefsRecord r = record != nullptr ? *record : WordTargetPrefsRecord{};
            showText(kWordPointsItem, r.additionalPoints);
            SetRadioGroup(kWordDefaultItem, kWordDefaultItem + 1, r.choice);
            SetCheck(kWordBitmapItem, r.useBitmap != 0);
            SetCheck(kWordRtfBlockItem, r.rtfBlock != 0);
            SetupPopupFromMenu(kInlineWordMenu, nullptr, nullptr, kWordAlignmentItem,
                               kInlineValues.data(), r.inlineAlignment,
                               static_cast<int>(kInlineValues.size()));
            UpdateWordPrefsControls(r.choice == 1 ? 1 : 0);
        };
        f.enablingRules = [](plat::HWND, int id) {
            pairRules<&UpdateWordPrefsControls>(kWordDefaultItem, id);
        };
        f.writeBack = [](plat::HWND) {
            auto* r = DialogRecord<WordTargetPrefsRecord>(kWordTargetDialogId);
            if (r == nullptr)
                return;
            readText(kWordPointsItem, r->additionalPoints);
            ReadRadio(kWordDefaultItem, kWordDefaultItem + 1, r->choice);
            r->useBitmap = CheckByte(kWordBitmapItem);
            r->rtfBlock = CheckByte(kWordRtfBlockItem);
            r->inlineAlignment = ReadPopupValue(
                kWordAlignmentItem, GetPopupMenu(kInlineWordMenu), kInlineValues.data(),
                static_cast<int>(kInlineValues.size()), r->inlineAlignment);
        };
        return f;
    }();
    return frame;
}

// ---- The layout and drawing form ------------------------------------------------------------

struct CheckForm {
    int id;
    int radio; // the first of the pair
    std::vector<int> checks;
    std::vector<uint8_t> shownInDefault;
    bool photoshop; // its label rectangles lie 4 pixels higher
};

const std::vector<CheckForm>& checkForms() {
    static const std::vector<CheckForm> forms = {
        {kFrameMakerTargetDialogId, 13671, {13673, 13674}, {0, 1}, false},
        {kPageMakerTargetDialogId, 13927, {13929, 13930}, {0, 1}, false},
        {kInDesignTargetDialogId, 14184, {14186, 14187, 14188}, {0, 1, 1}, false},
        {kIllustratorTargetDialogId, 14695, {14697, 14698, 14699, 14700}, {0, 1, 0, 1}, false},
        {kPhotoshopTargetDialogId, 15207, {15209}, {1}, true},
        {kFlashTargetDialogId, 16232, {16234, 16235, 16236, 16237}, {0, 1, 0, 1}, false},
        {kFreehandTargetDialogId, 16744, {16746, 16747, 16748, 16749}, {0, 1, 0, 1}, false},
        {kFireworksTargetDialogId, 16999, {17001, 17002}, {0, 1}, false},
    };
    return forms;
}

const CheckForm* checkFormOf(int id) {
    for (const CheckForm& form : checkForms())
        if (form.id == id)
            return &form;
    return nullptr;
}

void updateCheckForm(int id, uint8_t choice) {
    const CheckForm* form = checkFormOf(id);
    if (form == nullptr)
        return;
    for (size_t i = 0; i < form->checks.size(); ++i) {
        if (choice == 0)
            SetCheck(form->checks[i], form->shownInDefault[i] != 0);
        EnableItem(form->checks[i], choice != 0);
    }
}

template <int Id> void updateCheckFormOf(uint8_t choice) {
    updateCheckForm(Id, choice);
}

DialogFrame makeCheckFrame(const CheckForm& form) {
    DialogFrame f;
    f.id = form.id;
    f.radioGroups = {{form.radio, form.radio + 1}};
    f.checkBoxes = form.checks;
    const int up = form.photoshop ? 4 : 0;
    f.labels = {{{9, 45 - up, 479, 63 - up}, form.radio},
                {{9, 69 - up, 419, 87 - up}, form.radio + 1}};
    const int id = form.id;
    f.init = [id](plat::HWND) {
        const CheckForm& c = *checkFormOf(id);
        const auto* record = DialogRecord<PictureTargetPrefsRecord>(id);
        const PictureTargetPrefsRecord r = record != nullptr ? *record : PictureTargetPrefsRecord{};
        SetRadioGroup(c.radio, c.radio + 1, r.choice);
        for (size_t i = 0; i < c.checks.size(); ++i)
            SetCheck(c.checks[i], r.flags[i] != 0);
        updateCheckForm(id, r.choice == 1 ? 1 : 0);
    };
    f.enablingRules = [id](plat::HWND, int control) {
        const CheckForm& c = *checkFormOf(id);
        if (control == c.radio)
            updateCheckForm(id, 0);
        else if (control == c.radio + 1)
            updateCheckForm(id, 1);
    };
    f.writeBack = [id](plat::HWND) {
        const CheckForm& c = *checkFormOf(id);
        auto* r = DialogRecord<PictureTargetPrefsRecord>(id);
        if (r == nullptr)
            return;
        ReadRadio(c.radio, c.radio + 1, r->choice);
        for (size_t i = 0; i < c.checks.size(); ++i)
            r->flags[i] = CheckByte(c.checks[i]);
    };
    return f;
}

template <int Id>
plat::INT_PTR checkFormProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                            plat::LPARAM lParam) {
    static const DialogFrame frame = makeCheckFrame(*checkFormOf(Id));
    return HandleDialogFrame(frame, dialog, message, wParam, lParam);
}

template <int Id> int32_t runCheckForm(PictureTargetPrefsRecord* record) {
    return LaunchWithRecord(Id, &checkFormProc<Id>, record);
}

// ---- The web form -----------------------------------------------------------------------------

// The first of the three method buttons; the check box follows them.
int webFirstRadio(int id) {
    switch (id) {
    case kGoLiveTargetDialogId:
        return 14443;
    case kDreamweaverTargetDialogId:
        return 15979;
    case kBlackboardTargetDialogId:
        return 17515;
    default:
        return 17771;
    }
}

template <int Id>
plat::INT_PTR webFormProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                          plat::LPARAM lParam) {
    static const DialogFrame frame = [] {
        const int first = webFirstRadio(Id);
        DialogFrame f;
        f.id = Id;
        f.radioGroups = {{first, first + 2}};
        f.checkBoxes = {first + 3};
        f.init = [first](plat::HWND) {
            const auto* record = DialogRecord<WebTargetPrefsRecord>(Id);
            const WebTargetPrefsRecord r = record != nullptr ? *record : WebTargetPrefsRecord{};
            SetRadioGroup(first, first + 2, r.method);
            SetCheck(first + 3, r.includeMathSpeak != 0);
        };
        f.writeBack = [first](plat::HWND) {
            auto* r = DialogRecord<WebTargetPrefsRecord>(Id);
            if (r == nullptr)
                return;
            ReadRadio(first, first + 2, r->method);
            r->includeMathSpeak = CheckByte(first + 3);
        };
        return f;
    }();
    return HandleDialogFrame(frame, dialog, message, wParam, lParam);
}

template <int Id> int32_t runWebForm(WebTargetPrefsRecord* record) {
    return LaunchWithRecord(Id, &webFormProc<Id>, record);
}

// ---- The forms with resolutions -----------------------------------------------------------------

struct ResolutionForm {
    int id;
    int radio;
    int postscriptEdit; // 0: none (one resolution)
    int previewEdit;
    std::vector<int> checks;
    std::vector<uint8_t> shownInDefault;
    const char* postscriptDefault;
    const char* previewDefault;
    int smoothingPopup;
    int fontPopup; // 0: none
    int staysGrey; // the check box that stays grey when overriding (0: none)
    int labelTop;  // top of the first label rectangle, client pixels
};

const std::vector<ResolutionForm>& resolutionForms() {
    static const std::vector<ResolutionForm> forms = {
        {kCanvasTargetDialogId,
         14959,
         14954,
         14955,
         {14961, 14962, 14963, 14964},
         {0, 1, 0, 0},
         "1200",
         "1152",
         14965,
         14966,
         14963,
         45},
        {kQuarkXPressTargetDialogId,
         17263,
         17259,
         17260,
         {17265, 17266, 17267, 17268},
         {0, 1, 0, 1},
         "300",
         "1152",
         17269,
         17270,
         17267,
         41},
        {kMellelTargetDialogId,
         15466,
         0,
         15464,
         {15468, 15469},
         {1, 1},
         "",
         "1152",
         15470,
         0,
         0,
         41},
        {kMarinerTargetDialogId,
         15722,
         0,
         15720,
         {15724, 15725},
         {1, 1},
         "",
         "1152",
         15726,
         0,
         0,
         41},
    };
    return forms;
}

const ResolutionForm* resolutionFormOf(int id) {
    for (const ResolutionForm& form : resolutionForms())
        if (form.id == id)
            return &form;
    return nullptr;
}

void updateResolutionForm(int id, uint8_t choice) {
    const ResolutionForm* form = resolutionFormOf(id);
    if (form == nullptr)
        return;
    const bool live = choice != 0;
    for (size_t i = 0; i < form->checks.size(); ++i) {
        if (!live)
            SetCheck(form->checks[i], form->shownInDefault[i] != 0);
        EnableItem(form->checks[i], live && form->checks[i] != form->staysGrey);
    }
    for (const int edit : {form->postscriptEdit, form->previewEdit}) {
        if (edit == 0)
            continue;
        if (!live)
            SetItemText(edit,
                        edit == form->previewEdit ? form->previewDefault : form->postscriptDefault);
        EnableItem(edit, live);
    }
    EnableItem(form->smoothingPopup, live);
    // The font popup belongs to the check box that stays grey.
    if (form->fontPopup != 0)
        EnableItem(form->fontPopup, false);
}

template <int Id>
plat::INT_PTR resolutionFormProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                 plat::LPARAM lParam) {
    static const DialogFrame frame = [] {
        const ResolutionForm& c = *resolutionFormOf(Id);
        DialogFrame f;
        f.id = Id;
        f.radioGroups = {{c.radio, c.radio + 1}};
        f.checkBoxes = c.checks;
        f.labels = {{{9, c.labelTop, 479, c.labelTop + 18}, c.radio},
                    {{9, c.labelTop + 24, 419, c.labelTop + 42}, c.radio + 1}};
        f.init = [](plat::HWND) {
            const ResolutionForm& c = *resolutionFormOf(Id);
            int32_t choice = 0;
            if (c.postscriptEdit != 0) {
                const auto* record = DialogRecord<TwoResolutionTargetPrefsRecord>(Id);
                const auto r = record != nullptr ? *record : TwoResolutionTargetPrefsRecord{};
                showText(c.postscriptEdit, r.postscriptResolution);
                showText(c.previewEdit, r.previewResolution);
                for (size_t i = 0; i < c.checks.size(); ++i)
                    SetCheck(c.checks[i], r.flags[i] != 0);
                SetupPopupFromMenu(kSmoothingMenu, nullptr, nullptr, c.smoothingPopup,
                                   kSmoothingValues.data(), r.smoothing,
                                   static_cast<int>(kSmoothingValues.size()));
                SetupPopupFromMenu(kFontEmbeddingMenu, nullptr, nullptr, c.fontPopup,
                                   kFontEmbeddingValues.data(), r.fontEmbedding,
                                   static_cast<int>(kFontEmbeddingValues.size()));
                choice = r.choice;
            } else {
                const auto* record = DialogRecord<OneResolutionTargetPrefsRecord>(Id);
                const auto r = record != nullptr ? *record : OneResolutionTargetPrefsRecord{};
                showText(c.previewEdit, r.previewResolution);
                SetCheck(c.checks[0], r.useBitmap != 0);
                SetCheck(c.checks[1], r.useSmoothing != 0);
                SetupPopupFromMenu(kSmoothingMenu, nullptr, nullptr, c.smoothingPopup,
                                   kSmoothingValues.data(), r.smoothing,
                                   static_cast<int>(kSmoothingValues.size()));
                choice = r.choice;
            }
            SetRadioGroup(c.radio, c.radio + 1, choice);
            updateResolutionForm(Id, choice == 1 ? 1 : 0);
        };
        f.enablingRules = [](plat::HWND, int control) {
            const ResolutionForm& c = *resolutionFormOf(Id);
            if (control == c.radio)
                updateResolutionForm(Id, 0);
            else if (control == c.radio + 1)
                updateResolutionForm(Id, 1);
        };
        f.writeBack = [](plat::HWND) {
            const ResolutionForm& c = *resolutionFormOf(Id);
            auto smoothing = [&](int32_t previous) {
                return ReadPopupValue(c.smoothingPopup, GetPopupMenu(kSmoothingMenu),
                                      kSmoothingValues.data(),
                                      static_cast<int>(kSmoothingValues.size()), previous);
            };
            if (c.postscriptEdit != 0) {
                auto* r = DialogRecord<TwoResolutionTargetPrefsRecord>(Id);
                if (r == nullptr)
                    return;
                readText(c.postscriptEdit, r->postscriptResolution);
                readText(c.previewEdit, r->previewResolution);
                ReadRadio(c.radio, c.radio + 1, r->choice);
                for (size_t i = 0; i < c.checks.size(); ++i)
                    r->flags[i] = CheckByte(c.checks[i]);
                r->smoothing = smoothing(r->smoothing);
                r->fontEmbedding = ReadPopupValue(
                    c.fontPopup, GetPopupMenu(kFontEmbeddingMenu), kFontEmbeddingValues.data(),
                    static_cast<int>(kFontEmbeddingValues.size()), r->fontEmbedding);
            } else {
                auto* r = DialogRecord<OneResolutionTargetPrefsRecord>(Id);
                if (r == nullptr)
                    return;
                readText(c.previewEdit, r->previewResolution);
                ReadRadio(c.radio, c.radio + 1, r->choice);
                r->useBitmap = CheckByte(c.checks[0]);
                r->useSmoothing = CheckByte(c.checks[1]);
                r->smoothing = smoothing(r->smoothing);
            }
        };
        return f;
    }();
    return HandleDialogFrame(frame, dialog, message, wParam, lParam);
}

// ---- The empty form -----------------------------------------------------------------------------

template <int Id>
plat::INT_PTR emptyFormProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                            plat::LPARAM lParam) {
    static const DialogFrame frame = [] {
        DialogFrame f;
        f.id = Id;
        return f;
    }();
    return HandleDialogFrame(frame, dialog, message, wParam, lParam);
}

// ---- The stored settings ------------------------------------------------------------------------

// A layout or drawing target: its record ("" for the ones kept for the run), the number of its
// flags, and what "Use Default Settings" stores. The record holds the choice, the flags, the
// preview resolution and the PostScript resolution, in that order.
enum class Resolution { Fixed, Unchanged, BitmapPrefs, EpsPrefs };
struct PictureTarget {
    int dialogId;
    const char* tag;
    int flagCount;
    std::array<uint8_t, 4> defaultFlags;
    Resolution defaultPreview;
    int32_t previewValue;
    Resolution defaultPostscript;
    int32_t postscriptValue;
    // After "Override Defaults": the preview clamped (or taken from the bitmap preferences) and
    // the PostScript resolution clamped.
    bool clampPreview;
    bool previewFromBitmapPrefs;
    bool clampPostscript;
};

constexpr PictureTarget kPictureTargets[] = {
    {kFrameMakerTargetDialogId,
     "Fm",
     2,
     {0, 1},
     Resolution::Fixed,
     1152,
     Resolution::Fixed,
     300,
     true,
     false,
     true},
    {kPageMakerTargetDialogId,
     "Pm",
     2,
     {0, 1},
     Resolution::Fixed,
     1152,
     Resolution::Fixed,
     300,
     true,
     false,
     true},
    {kInDesignTargetDialogId,
     "Id",
     3,
     {0, 0, 0},
     Resolution::Fixed,
     72,
     Resolution::Fixed,
     1200,
     true,
     false,
     true},
    {kIllustratorTargetDialogId,
     "Il",
     4,
     {0, 1, 0, 1},
     Resolution::Fixed,
     72,
     Resolution::EpsPrefs,
     0,
     true,
     false,
     true},
    {kPhotoshopTargetDialogId,
     "Ph",
     1,
     {1},
     Resolution::BitmapPrefs,
     0,
     Resolution::Fixed,
     300,
     false,
     true,
     true},
    {kFlashTargetDialogId,
     "",
     4,
     {0, 1, 0, 1},
     Resolution::Fixed,
     72,
     Resolution::EpsPrefs,
     0,
     false,
     false,
     false},
    {kFreehandTargetDialogId,
     "",
     4,
     {0, 1, 0, 1},
     Resolution::Fixed,
     72,
     Resolution::Fixed,
     1200,
     false,
     false,
     true},
    {kFireworksTargetDialogId,
     "",
     2,
     {0, 1},
     Resolution::Unchanged,
     0,
     Resolution::Fixed,
     300,
     false,
     false,
     false},
};

const PictureTarget& pictureTarget(int dialogId) {
    for (const PictureTarget& t : kPictureTargets)
        if (t.dialogId == dialogId)
            return t;
    return kPictureTargets[0];
}

int32_t clampedEpsResolution() {
    return std::clamp(GeneralPrefValue("Ep", kEpsResolutionField), 300, 2400);
}

int32_t resolutionValue(Resolution kind, int32_t value, int32_t current) {
    switch (kind) {
    case Resolution::Fixed:
        return value;
    case Resolution::Unchanged:
        return current;
    case Resolution::BitmapPrefs:
        return GeneralPrefValue("Bi", 0);
    case Resolution::EpsPrefs:
        return clampedEpsResolution();
    }
    return value;
}

// The values of a target kept for the run, by dialog id.
std::map<int, std::vector<int32_t>>& sessionValues() {
    static std::map<int, std::vector<int32_t>> s_values;
    return s_values;
}

// The built-in settings of a target kept for the run: the ones "Use Default Settings" stores.
std::vector<int32_t> builtInValues(const PictureTarget& t) {
    std::vector<int32_t> v(static_cast<size_t>(t.flagCount) + 3, 0);
    for (int i = 0; i < t.flagCount; ++i)
        v[static_cast<size_t>(i) + 1] = t.defaultFlags[static_cast<size_t>(i)];
    v[static_cast<size_t>(t.flagCount) + 1] = resolutionValue(t.defaultPreview, t.previewValue, 72);
    v[static_cast<size_t>(t.flagCount) + 2] =
        resolutionValue(t.defaultPostscript, t.postscriptValue, 300);
    return v;
}

std::vector<int32_t> targetValues(const PictureTarget& t) {
    const size_t count = static_cast<size_t>(t.flagCount) + 3;
    if (*t.tag == '\0') {
        auto it = sessionValues().find(t.dialogId);
        if (it == sessionValues().end())
            it = sessionValues().emplace(t.dialogId, builtInValues(t)).first;
        return it->second;
    }
    std::vector<int32_t> v(count);
    for (size_t i = 0; i < count; ++i)
        v[i] = GeneralPrefValue(t.tag, static_cast<int>(i));
    return v;
}

void storeTargetValues(const PictureTarget& t, const std::vector<int32_t>& v) {
    if (*t.tag == '\0') {
        sessionValues()[t.dialogId] = v;
        return;
    }
    for (size_t i = 0; i < v.size(); ++i)
        SetGeneralPrefValue(t.tag, static_cast<int>(i), v[i]);
}

// Fills the record, runs the dialog and stores what OK chose.
void choosePictureTarget(int dialogId, int32_t (*run)(PictureTargetPrefsRecord*)) {
    const PictureTarget& t = pictureTarget(dialogId);
    std::vector<int32_t> v = targetValues(t);
    PictureTargetPrefsRecord record;
    record.choice = v[0];
    for (int i = 0; i < t.flagCount; ++i)
        record.flags[static_cast<size_t>(i)] = v[static_cast<size_t>(i) + 1] != 0 ? 1 : 0;
    if (!accepted(run(&record)))
        return;
    const size_t preview = static_cast<size_t>(t.flagCount) + 1;
    const size_t postscript = preview + 1;
    v[0] = record.choice;
    if (record.choice == 1) {
        for (int i = 0; i < t.flagCount; ++i)
            v[static_cast<size_t>(i) + 1] = record.flags[static_cast<size_t>(i)];
        if (t.previewFromBitmapPrefs)
            v[preview] = GeneralPrefValue("Bi", 0);
        else if (t.clampPreview)
            v[preview] = std::clamp(v[preview], 72, 1152);
        if (t.clampPostscript)
            v[postscript] = std::clamp(v[postscript], 300, 2400);
    } else {
        for (int i = 0; i < t.flagCount; ++i)
            v[static_cast<size_t>(i) + 1] = t.defaultFlags[static_cast<size_t>(i)];
        v[preview] = resolutionValue(t.defaultPreview, t.previewValue, v[preview]);
        v[postscript] = resolutionValue(t.defaultPostscript, t.postscriptValue, v[postscript]);
    }
    storeTargetValues(t, v);
    SaveGeneralPrefsAfterChange();
}

void chooseWebTarget(const char* tag, int32_t (*run)(WebTargetPrefsRecord*)) {
    WebTargetPrefsRecord record;
    record.method = GeneralPrefValue(tag, 0);
    // A method no button offers opens as the default method.
    if (record.method < 0 || record.method > 2)
        record.method = 2;
    record.includeMathSpeak = GeneralPrefValue(tag, 1) != 0 ? 1 : 0;
    if (!accepted(run(&record)))
        return;
    SetGeneralPrefValue(tag, 0, record.method);
    SetGeneralPrefValue(tag, 1, record.includeMathSpeak);
    SaveGeneralPrefsAfterChange();
}

// The "Wd" fields.
enum WordField : int {
    kWdChoice = 0,
    kWdAlignment = 1,
    kWdPreview = 2,
    kWdPostscript = 3,
    kWdBitmap = 4,
    kWdRtfBlock = 6,
    kWdPoints = 10,
};

// What the copies read, by copy format.
CopyTargetSettings storedCopySettings(int32_t format) {
    CopyTargetSettings s;
    auto fromPicture = [&](int dialogId) {
        const PictureTarget& t = pictureTarget(dialogId);
        const std::vector<int32_t> v = targetValues(t);
        s.useBitmap = v[1] != 0 ? 1 : 0;
        s.epsOnly = v[2] != 0 ? 1 : 0;
        s.postscriptResolution = v[static_cast<size_t>(t.flagCount) + 2];
    };
    auto fromWeb = [&](const char* tag) {
        s.webMethod = GeneralPrefValue(tag, 0);
        s.webMathSpeak = GeneralPrefValue(tag, 1) != 0 ? 1 : 0;
    };
    switch (format) {
    case kCopyForInDesign:
        fromPicture(kInDesignTargetDialogId);
        break;
    case kCopyForIllustrator:
        fromPicture(kIllustratorTargetDialogId);
        break;
    case kCopyForFlash:
        fromPicture(kFlashTargetDialogId);
        break;
    case kCopyForFreehand:
        fromPicture(kFreehandTargetDialogId);
        break;
    case kCopyForFireworks:
        fromPicture(kFireworksTargetDialogId);
        break;
    case kCopyForGoLive:
        fromWeb("Gl");
        break;
    case kCopyForDreamweaver:
        fromWeb("Dw");
        break;
    case kCopyForBlackboard:
        fromWeb("Bb");
        break;
    case kCopyForWebCT:
        fromWeb("Wc");
        break;
    default:
        break;
    }
    return s;
}

} // namespace

// ---- Enabling functions
// ---------------------------------------------------------------------------

void UpdateWordPrefsControls(uint8_t choice) {
    if (choice == 0) {
        SetCheck(kWordBitmapItem, false);
        SetCheck(kWordRtfBlockItem, true);
    }
    EnableItem(kWordBitmapItem, choice != 0);
    EnableItem(kWordRtfBlockItem, choice != 0);
}
void UpdateFrameMakerPrefsControls(uint8_t choice) {
    updateCheckForm(kFrameMakerTargetDialogId, choice);
}
void UpdatePageMakerPrefsControls(uint8_t choice) {
    updateCheckForm(kPageMakerTargetDialogId, choice);
}
void UpdateInDesignPrefsControls(uint8_t choice) {
    updateCheckForm(kInDesignTargetDialogId, choice);
}
void UpdateIllustratorPrefsControls(uint8_t choice) {
    updateCheckForm(kIllustratorTargetDialogId, choice);
}
void UpdatePhotoshopPrefsControls(uint8_t choice) {
    updateCheckForm(kPhotoshopTargetDialogId, choice);
}
void UpdateFlashPrefsControls(uint8_t choice) {
    updateCheckForm(kFlashTargetDialogId, choice);
}
void UpdateFreehandPrefsControls(uint8_t choice) {
    updateCheckForm(kFreehandTargetDialogId, choice);
}
void UpdateFireworksPrefsControls(uint8_t choice) {
    updateCheckForm(kFireworksTargetDialogId, choice);
}
void UpdateCanvasPrefsControls(uint8_t choice) {
    updateResolutionForm(kCanvasTargetDialogId, choice);
}
void UpdateQuarkXPressPrefsControls(uint8_t choice) {
    updateResolutionForm(kQuarkXPressTargetDialogId, choice);
}
void UpdateMellelPrefsControls(uint8_t choice) {
    updateResolutionForm(kMellelTargetDialogId, choice);
}
void UpdateMarinerPrefsControls(uint8_t choice) {
    updateResolutionForm(kMarinerTargetDialogId, choice);
}

// ---- Launchers
// ------------------------------------------------------------------------------------

plat::INT_PTR TargetWordPrefsDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                     plat::LPARAM lParam) {
    return HandleDialogFrame(wordFrame(), dialog, message, wParam, lParam);
}

int32_t RunTargetWordPrefsDlg(WordTargetPrefsRecord* record) {
    return LaunchWithRecord(kWordTargetDialogId, &TargetWordPrefsDlgProc, record);
}
int32_t RunTargetOpenOfficePrefsDlg(void* param) {
    return LaunchWithRecord(kOpenOfficeTargetDialogId, &emptyFormProc<kOpenOfficeTargetDialogId>,
                            param);
}
int32_t RunTargetDirectorPrefsDlg(void* param) {
    return LaunchWithRecord(kDirectorTargetDialogId, &emptyFormProc<kDirectorTargetDialogId>,
                            param);
}
int32_t RunTargetFrameMakerPrefsDlg(PictureTargetPrefsRecord* record) {
    return runCheckForm<kFrameMakerTargetDialogId>(record);
}
int32_t RunTargetPageMakerPrefsDlg(PictureTargetPrefsRecord* record) {
    return runCheckForm<kPageMakerTargetDialogId>(record);
}
int32_t RunTargetInDesignPrefsDlg(PictureTargetPrefsRecord* record) {
    return runCheckForm<kInDesignTargetDialogId>(record);
}
int32_t RunTargetIllustratorPrefsDlg(PictureTargetPrefsRecord* record) {
    return runCheckForm<kIllustratorTargetDialogId>(record);
}
int32_t RunTargetPhotoshopPrefsDlg(PictureTargetPrefsRecord* record) {
    return runCheckForm<kPhotoshopTargetDialogId>(record);
}
int32_t RunTargetFlashPrefsDlg(PictureTargetPrefsRecord* record) {
    return runCheckForm<kFlashTargetDialogId>(record);
}
int32_t RunTargetFreehandPrefsDlg(PictureTargetPrefsRecord* record) {
    return runCheckForm<kFreehandTargetDialogId>(record);
}
int32_t RunTargetFireworksPrefsDlg(PictureTargetPrefsRecord* record) {
    return runCheckForm<kFireworksTargetDialogId>(record);
}
int32_t RunTargetGoLivePrefsDlg(WebTargetPrefsRecord* record) {
    return runWebForm<kGoLiveTargetDialogId>(record);
}
int32_t RunTargetDreamweaverPrefsDlg(WebTargetPrefsRecord* record) {
    return runWebForm<kDreamweaverTargetDialogId>(record);
}
int32_t RunTargetBlackboardPrefsDlg(WebTargetPrefsRecord* record) {
    return runWebForm<kBlackboardTargetDialogId>(record);
}
int32_t RunTargetWebCTPrefsDlg(WebTargetPrefsRecord* record) {
    return runWebForm<kWebCTTargetDialogId>(record);
}
int32_t RunTargetCanvasPrefsDlg(TwoResolutionTargetPrefsRecord* record) {
    return LaunchWithRecord(kCanvasTargetDialogId, &resolutionFormProc<kCanvasTargetDialogId>,
                            record);
}
int32_t RunTargetQuarkXPressPrefsDlg(TwoResolutionTargetPrefsRecord* record) {
    return LaunchWithRecord(kQuarkXPressTargetDialogId,
                            &resolutionFormProc<kQuarkXPressTargetDialogId>, record);
}
int32_t RunTargetMellelPrefsDlg(OneResolutionTargetPrefsRecord* record) {
    return LaunchWithRecord(kMellelTargetDialogId, &resolutionFormProc<kMellelTargetDialogId>,
                            record);
}
int32_t RunTargetMarinerPrefsDlg(OneResolutionTargetPrefsRecord* record) {
    return LaunchWithRecord(kMarinerTargetDialogId, &resolutionFormProc<kMarinerTargetDialogId>,
                            record);
}

// ---- Commands
// -------------------------------------------------------------------------------------

void ChooseWordTargetPrefs() {
    WordTargetPrefsRecord record;
    std::snprintf(record.additionalPoints.data(), record.additionalPoints.size(), "%hd",
                  static_cast<short>(GeneralPrefValue("Wd", kWdPoints)));
    record.choice = GeneralPrefValue("Wd", kWdChoice);
    record.useBitmap = GeneralPrefValue("Wd", kWdBitmap) != 0 ? 1 : 0;
    record.rtfBlock = GeneralPrefValue("Wd", kWdRtfBlock) != 0 ? 1 : 0;
    record.inlineAlignment = GeneralPrefValue("Wd", kWdAlignment);
    if (record.inlineAlignment < 0 || record.inlineAlignment > 5)
        record.inlineAlignment = 0;
    if (!accepted(RunTargetWordPrefsDlg(&record)))
        return;
    SetGeneralPrefValue("Wd", kWdChoice, record.choice);
    SetGeneralPrefValue("Wd", kWdAlignment, record.inlineAlignment);
    if (record.choice == 1) {
        SetGeneralPrefValue("Wd", kWdPoints, ParseItemInt(record.additionalPoints.data()));
        SetGeneralPrefValue("Wd", kWdBitmap, record.useBitmap);
        SetGeneralPrefValue("Wd", kWdRtfBlock, record.rtfBlock);
        SetGeneralPrefValue("Wd", kWdPreview,
                            std::clamp(GeneralPrefValue("Wd", kWdPreview), 72, 1152));
        SetGeneralPrefValue("Wd", kWdPostscript,
                            std::clamp(GeneralPrefValue("Wd", kWdPostscript), 300, 2400));
    } else {
        // Every value but the choice, the alignment and field 9 back to its default.
        constexpr int kKept = 9;
        for (const PrefRecordDefault& r : kGeneralPrefRecords) {
            if (std::string_view(r.tag) != "Wd")
                continue;
            for (int field = kWdPreview; field < r.count; ++field)
                if (field != kKept)
                    SetGeneralPrefValue("Wd", field, r.values[static_cast<size_t>(field)]);
        }
    }
    SaveGeneralPrefsAfterChange();
}

void ChooseFrameMakerTargetPrefs() {
    choosePictureTarget(kFrameMakerTargetDialogId, &RunTargetFrameMakerPrefsDlg);
}
void ChoosePageMakerTargetPrefs() {
    choosePictureTarget(kPageMakerTargetDialogId, &RunTargetPageMakerPrefsDlg);
}
void ChooseInDesignTargetPrefs() {
    choosePictureTarget(kInDesignTargetDialogId, &RunTargetInDesignPrefsDlg);
}
void ChooseIllustratorTargetPrefs() {
    choosePictureTarget(kIllustratorTargetDialogId, &RunTargetIllustratorPrefsDlg);
}
void ChoosePhotoshopTargetPrefs() {
    choosePictureTarget(kPhotoshopTargetDialogId, &RunTargetPhotoshopPrefsDlg);
}
void ChooseFlashTargetPrefs() {
    choosePictureTarget(kFlashTargetDialogId, &RunTargetFlashPrefsDlg);
}
void ChooseFreehandTargetPrefs() {
    choosePictureTarget(kFreehandTargetDialogId, &RunTargetFreehandPrefsDlg);
}
void ChooseFireworksTargetPrefs() {
    choosePictureTarget(kFireworksTargetDialogId, &RunTargetFireworksPrefsDlg);
}
void ChooseGoLiveTargetPrefs() {
    chooseWebTarget("Gl", &RunTargetGoLivePrefsDlg);
}
void ChooseDreamweaverTargetPrefs() {
    chooseWebTarget("Dw", &RunTargetDreamweaverPrefsDlg);
}

void IgnoreTargetPrefs() {}

void ResetSessionTargetSettings() {
    sessionValues().clear();
}

void InstallTargetPrefs() {
    ResetSessionTargetSettings();
    CopyTargetSettingsHook = &storedCopySettings;
    InstallCopyTargets();
}
