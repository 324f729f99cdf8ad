#include "Dialogs/PictureDialogs.h"

#include "Dialogs/DialogFrame.h"
#include "Dialogs/PrefsSaving.h"
#include "OverPc/PEXPRPICT.h"
#include "OverPc/shell/DialogItems.h"

#include <algorithm>
#include <cstdio>

namespace {

template <class Record> int32_t launch(int id, plat::DLGPROC proc, Record* record) {
    return LaunchDialog(id, proc, reinterpret_cast<std::uintptr_t>(record));
}

// ---- "Rotation de l'image"

const DialogFrame& imageRotationFrame() {
    static const DialogFrame frame = [] {
        DialogFrame f;
        f.id = kImageRotationDialogId;
        f.radioGroups = {{kRotationClockwiseItem, kRotationAnticlockwiseItem}};
        f.closingButtons = {{kRotationPermanentItem, 2}};
        // Client pixels at two pixels per dialog unit: the first lies over the clockwise button
        // (whose label is long), the other three over the pictures of their rows.
        f.labels = {{{77, 165, 319, 183}, kRotationClockwiseItem},
                    {{25, 157, 55, 187}, kRotationClockwisePictureCommand},
                    {{25, 113, 55, 143}, kRotationUprightPictureCommand},
                    {{25, 205, 55, 235}, kRotationAnticlockwisePictureCommand}};
        f.pictures = {{kRotationUprightBitmap, 12, 56, kBitmapTransparent},
                      {kRotationClockwiseBitmap, 12, 78, kBitmapTransparent},
                      {kRotationAnticlockwiseBitmap, 12, 102, kBitmapTransparent}};
        f.init = [](plat::HWND) {
            const auto* record = DialogRecord<ImageRotationDlgRecord>(kImageRotationDialogId);
            SetRadioGroup(kRotationClockwiseItem, kRotationAnticlockwiseItem,
                          record ? record->index : 1);
        };
        f.command = [](plat::HWND, int id, int, plat::HWND) {
            if (id < kRotationClockwisePictureCommand || id > kRotationAnticlockwisePictureCommand)
                return;
            if (DialogCallbackBusy != 0)
                return;
            DialogCallbackBusy = 1;
            SetRadioGroup(kRotationClockwiseItem, kRotationAnticlockwiseItem,
                          id - kRotationClockwisePictureCommand);
            DialogCallbackBusy = 0;
        };
        f.writeBack = [](plat::HWND) {
            auto* record = DialogRecord<ImageRotationDlgRecord>(kImageRotationDialogId);
            if (record == nullptr)
                return;
            // With no button on, the record keeps its index (the caller then changes nothing
            // for an index outside the group).
            const int index = GetRadioIndex(kRotationClockwiseItem, kRotationAnticlockwiseItem);
            if (index >= 0)
                record->index = index;
        };
        return f;
    }();
    return frame;
}

// ---- "Bords de l'image"

constexpr std::array<int, 4> kMarginItems{kMarginLeftItem, kMarginRightItem, kMarginTopItem,
                                          kMarginBottomItem};

const DialogFrame& imageMarginsFrame() {
    static const DialogFrame frame = [] {
        DialogFrame f;
        f.id = kImageMarginsDialogId;
        f.init = [](plat::HWND) {
            const auto* record = DialogRecord<ImageMarginsDlgRecord>(kImageMarginsDialogId);
            for (size_t i = 0; i < kMarginItems.size(); ++i)
                SetItemText(kMarginItems[i], record ? record->fields[i].data() : "");
        };
        f.writeBack = [](plat::HWND) {
            auto* record = DialogRecord<ImageMarginsDlgRecord>(kImageMarginsDialogId);
            if (record == nullptr)
                return;
            for (size_t i = 0; i < kMarginItems.size(); ++i) {
                record->fields[i].fill('\0');
                CopyItemTextToField(kMarginItems[i], record->fields[i].data(),
                                    record->fields[i].size());
            }
        };
        return f;
    }();
    return frame;
}

} // namespace

int32_t RotationIndexOf(int32_t rotation) {
    return rotation / kQuarterTurn + 1;
}

int32_t SnapRotation(int32_t rotation) {
    // Halfway (4500) and beyond turns a quarter; a half turn or more has no button and is taken
    // as the nearer quarter turn on its side.
    if (rotation >= kQuarterTurn / 2)
        return kQuarterTurn;
    if (rotation <= -kQuarterTurn / 2)
        return -kQuarterTurn;
    return 0;
}

int32_t MarginFromText(const char* text) {
    // Text without a number reads as 0; a number beyond 32 bits saturates, which the clamp then
    // takes to the nearer bound.
    const int32_t value = ParseItemInt(text != nullptr ? text : "");
    return std::clamp(value, kMinimumPictureMargin, kMaximumPictureMargin);
}

int32_t RunImageRotationDlg(ImageRotationDlgRecord* record) {
    return launch(kImageRotationDialogId, &ImageRotationDlgProc, record);
}
plat::INT_PTR ImageRotationDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                   plat::LPARAM lParam) {
    return HandleDialogFrame(imageRotationFrame(), dialog, message, wParam, lParam);
}

int32_t RunImageMarginsDlg(ImageMarginsDlgRecord* record) {
    return launch(kImageMarginsDialogId, &ImageMarginsDlgProc, record);
}
plat::INT_PTR ImageMarginsDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                  plat::LPARAM lParam) {
    return HandleDialogFrame(imageMarginsFrame(), dialog, message, wParam, lParam);
}

void ChooseImageRotation() {
    ImageRotationDlgRecord record;
    record.index = RotationIndexOf(SnapRotation(NextPictureRotation));
    const int32_t result = ResultAsCancel(RunImageRotationDlg(&record));
    if (result == 0 || record.index < 0 || record.index > 2)
        return;
    const int32_t angle = (record.index - 1) * kQuarterTurn;
    NextPictureRotation = angle;
    if (result == 2) {
        PictureRotationSetting = angle;
        SaveGeneralPrefsAfterChange();
    }
}

void ChooseImageMargins() {
    ImageMarginsDlgRecord record;
    PictureMargins& m = PictureMarginSettings;
    const std::array<int32_t, 4> current{m.left, m.right, m.top, m.bottom};
    for (size_t i = 0; i < current.size(); ++i)
        std::snprintf(record.fields[i].data(), record.fields[i].size(), "%hd",
                      static_cast<short>(current[i]));
    if (ResultAsCancel(RunImageMarginsDlg(&record)) != 1)
        return;
    m.left = MarginFromText(record.fields[0].data());
    m.right = MarginFromText(record.fields[1].data());
    m.top = MarginFromText(record.fields[2].data());
    m.bottom = MarginFromText(record.fields[3].data());
    SaveGeneralPrefsAfterChange();
}
