#include "Dialogs/MacroDefinitionsDialog.h"

#include "Dialogs/CustomizePaletteDialogs.h"
#include "Dialogs/DialogFrame.h"
#include "Dialogs/KeyboardDialogs.h"
#include "ExprSrcs/commands/tsPrefs.h"
#include "OverPc/PFILE.h"
#include "OverPc/PUTIL.h"
#include "OverPc/commands/kMacro.h"
#include "OverPc/commands/kPalette.h"
#include "OverPc/commands/kPrefs.h"
#include "OverPc/oPixMap.h"
#include "OverPc/shell/CQVApp.h"
#include "OverPc/shell/DialogItems.h"
#include "OverPc/shell/Pwindow.h"
#include "OverPc/shell/oDlgWidget.h"
#include "OverPc/shell/oListBox.h"
#include "OverSrcs/commands/kEdit.h"

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

MacroDefinitionsDlgRecord TheMacroDefinitionsRecord;
int32_t SelectedMacroCode = 0;
bool MacroIconCaptureMode = false;

namespace {

// A row of the list: an icon's height and the text below it.
constexpr int32_t kListTextHeight = 12;

MacroDefinitionsDlgRecord* record() {
    return DialogRecord<MacroDefinitionsDlgRecord>(kMacroDefinitionsDialogId);
}

MacroRecord* selectedMacro() {
    return SelectedMacroCode != 0 ? FindMacroRecord(SelectedMacroCode) : nullptr;
}

// The list row of a macro, or -1.
int32_t rowOf(int32_t code) {
    for (size_t i = 0; i < MacroList.size(); ++i)
        if (MacroList[i].code == code)
            return static_cast<int32_t>(i);
    return -1;
}

void redraw(oDlgWidget* widget) {
    if (widget != nullptr)
        plat::InvalidateRect(widget->item(), nullptr, plat::TRUE);
}

void redrawList() {
    if (MacroDefinitionsDlgRecord* r = record(); r != nullptr && r->list != nullptr)
        r->list->redraw();
}

void redrawPictures() {
    if (MacroDefinitionsDlgRecord* r = record()) {
        redraw(r->exprPreview);
        redraw(r->iconView);
    }
}

// The list again from the macro list, the selected macro's row selected.
void refillList() {
    MacroDefinitionsDlgRecord* r = record();
    if (r == nullptr || r->list == nullptr)
        return;
    r->list->setCount(static_cast<int32_t>(MacroList.size()));
    r->list->setSelection(rowOf(SelectedMacroCode));
    r->list->fillItems();
}

void drawRow(oListBox& list, int32_t row, const Zone& zone, uint32_t) {
    if (row >= 0 && row < static_cast<int32_t>(MacroList.size()))
        DrawMacroListRow(list, MacroList[static_cast<size_t>(row)], zone);
}

void paintItem(int32_t controlId) {
    MacroDefinitionsDlgRecord* r = record();
    if (r == nullptr)
        return;
    if (controlId == kMacroExpressionItem)
        ShowMacroPreview(r->exprPreview);
    else if (controlId == kMacroIconItem)
        ShowMacroIcon(r->iconView);
}

void makeList() {
    MacroDefinitionsDlgRecord* r = record();
    if (r != nullptr && r->list == nullptr)
        r->list = FillMacroDefinitionsList(kMacroListItem, true);
}

// Runs a click reaction once at a time.
template <class Body> void guarded(Body&& body) {
    if (DialogCallbackBusy != 0)
        return;
    DialogCallbackBusy = 1;
    body();
    DialogCallbackBusy = 0;
}

const DialogFrame& macroFrame() {
    static const DialogFrame frame = [] {
        DialogFrame f;
        f.id = kMacroDefinitionsDialogId;
        f.closingButtons = {{kMacroEditInWindowButton, kMacroResultEdit}};
        f.lists = {kMacroListItem};
        f.labels = {{{185, 25, 495, 127}, kMacroExpressionItem},
                    {{181, 157, 387, 175}, kMacroAutoRenderBox},
                    {{393, 165, 492, 264}, kMacroIconItem},
                    {{17, 41, 175, 183}, kMacroListItem}};
        f.init = [](plat::HWND) {
            MacroDefinitionsDlgRecord* r = record();
            if (r == nullptr)
                return;
            r->exprPreview = CreateDlgWidgetForItem(kMacroExpressionItem, &paintItem);
            r->iconView = CreateDlgWidgetForItem(kMacroIconItem, &paintItem);
            SetCheck(kMacroAutoRenderBox, r->autoRender != 0);
            makeList();
            if (r->list != nullptr)
                r->list->fillItems();
            RefreshMacroControls();
        };
        f.measureList = [](plat::HWND, plat::MEASUREITEMSTRUCT& measure) {
            makeList();
            MacroDefinitionsDlgRecord* r = record();
            if (r != nullptr && r->list != nullptr &&
                static_cast<int>(measure.CtlID) == kMacroListItem)
                r->list->measureItem(measure);
        };
        f.drawList = [](plat::HWND, const plat::DRAWITEMSTRUCT& draw) {
            MacroDefinitionsDlgRecord* r = record();
            if (r != nullptr && r->list != nullptr &&
                static_cast<int>(draw.CtlID) == kMacroListItem)
                r->list->drawItem(draw);
        };
        f.command = [](plat::HWND, int id, int, plat::HWND) {
            MacroDefinitionsDlgRecord* r = record();
            if (r == nullptr)
                return;
            switch (id) {
            case kMacroNewButton:
                NewMacro();
                break;
            case kMacroBlankIconButton:
                BlankMacroIcon();
                break;
            case kMacroCaptureIconButton:
                ClearMacroAutoRender();
                break;
            case kMacroSnapshotButton:
                FitMacroIcon();
                break;
            case kMacroDeleteButton:
                DeleteMacro();
                break;
            case kMacroAutoRenderBox:
                ToggleMacroFlag();
                break;
            case kMacroExpressionItem:
                guarded([r] { TrackMacroPaneClick(r->exprPreview); });
                break;
            case kMacroIconItem:
                guarded([r] { PaintMacroIcon(r->iconView); });
                break;
            case kMacroListItem:
                if (r->list != nullptr && r->list->handleNotify())
                    guarded([] { SelectMacro(); });
                break;
            default:
                break;
            }
        };
        f.writeBack = [](plat::HWND) {
            MacroDefinitionsDlgRecord* r = record();
            if (r == nullptr)
                return;
            r->autoRender = IsChecked(kMacroAutoRenderBox) ? 1 : 0;
            r->listSelection = r->list != nullptr ? r->list->getSelection() : -1;
        };
        f.destroy = [](plat::HWND) {
            MacroDefinitionsDlgRecord* r = record();
            if (r == nullptr)
                return;
            delete r->exprPreview;
            delete r->iconView;
            delete r->list;
            r->exprPreview = r->iconView = nullptr;
            r->list = nullptr;
        };
        return f;
    }();
    return frame;
}

// Everything the dialog changes, as it was before the run.
struct MacroCustomizationBackup {
    std::vector<MacroRecord> macros;
    PaletteRecord mainPalette;
    SubPaletteBackup subPalettes;
    KeyMapTable keys{};
};

bool samePalettes(const MacroCustomizationBackup& backup) {
    if (!(backup.mainPalette == MainPalette()))
        return false;
    for (int32_t slot = 0; slot < kSubPaletteSlots; ++slot) {
        const std::unique_ptr<PaletteRecord>& was = backup.subPalettes[static_cast<size_t>(slot)];
        const std::unique_ptr<PaletteRecord>& now = SubPalette(slot);
        if ((was == nullptr) != (now == nullptr) || (was && !(*was == *now)))
            return false;
    }
    return true;
}

} // namespace

oListBox* FillMacroDefinitionsList(int controlId, bool keepSelection) {
    if (!keepSelection)
        SelectedMacroCode = 0;
    const int32_t height = 16 * ScreenDrawingUnit() + kListTextHeight;
    return CreateListBoxForItem(controlId, static_cast<int32_t>(MacroList.size()),
                                rowOf(SelectedMacroCode), height, &drawRow);
}

void SelectMacro() {
    MacroDefinitionsDlgRecord* r = record();
    if (r == nullptr || r->list == nullptr)
        return;
    const int32_t row = r->list->getSelection();
    SelectedMacroCode = row >= 0 && row < static_cast<int32_t>(MacroList.size())
                            ? MacroList[static_cast<size_t>(row)].code
                            : 0;
    RefreshMacroControls();
    if (DoubleClickFlag != 0 && SelectedMacroCode != 0)
        DialogResult = kMacroResultEdit;
}

void RefreshMacroControls() {
    const MacroRecord* macro = selectedMacro();
    if (macro == nullptr)
        SelectedMacroCode = 0;
    const bool any = macro != nullptr;
    for (int id : {kMacroEditInWindowButton, kMacroDeleteButton, kMacroBlankIconButton,
                   kMacroCaptureIconButton})
        EnableItem(id, any);
    EnableItem(kMacroAutoRenderBox, true);
    if (any)
        SetCheck(kMacroAutoRenderBox, macro->autoRender != 0);
    MacroIconCaptureMode = false;
    redrawPictures();
}

void NewMacro() {
    const int32_t code = AddNewMacro();
    if (code == 0) {
        // Every code is taken: no macro may share one.
        Beep();
        return;
    }
    SelectedMacroCode = code;
    refillList();
    RefreshMacroControls();
    DialogResult = kMacroResultEdit;
}

void DeleteMacro() {
    const MacroRecord* macro = selectedMacro();
    if (macro == nullptr)
        return;
    const int32_t row = rowOf(macro->code);
    RemoveMacro(macro->code);
    // The row before takes the selection (the new first row after the first); none is left
    // selected in an empty list.
    const int32_t next = MacroList.empty() ? -1 : std::max(0, row - 1);
    SelectedMacroCode = next >= 0 ? MacroList[static_cast<size_t>(next)].code : 0;
    refillList();
    RefreshMacroControls();
}

void ShowMacroPreview(oDlgWidget* widget) {
    if (widget == nullptr)
        return;
    widget->paintZone(Zone{0, 0, widget->width(), widget->height()}, kColorWhite);
    const MacroRecord* macro = selectedMacro();
    if (macro == nullptr || !macro->expression)
        return;
    widget->setColors(&kColorBlack, &kColorWhite);
    DrawMacroExpression(*widget, macro->expression.get(), 4, 4);
}

void ShowMacroIcon(oDlgWidget* widget) {
    if (widget == nullptr)
        return;
    const Zone all{0, 0, widget->width(), widget->height()};
    widget->paintZone(all, kColorWhite);
    const MacroRecord* macro = selectedMacro();
    if (macro != nullptr) {
        std::unique_ptr<oPixMap> pixmap = MacroIconPixMap(macro->icon);
        if (pixmap)
            DrawGridLines(*widget, pixmap.get(), kMacroIconSide, kMacroIconSide, kPixelMonochrome);
    }
    widget->frameZone(all, 1, kColorBlack, kLineSolid, kDrawPaint);
}

void FitMacroIcon() {
    MacroRecord* macro = selectedMacro();
    if (macro == nullptr)
        return;
    macro->autoRender = 0;
    SetCheck(kMacroAutoRenderBox, false);
    SnapshotMacroIcon(macro->expression.get(), macro->icon);
    redrawPictures();
    redrawList();
}

void ClearMacroAutoRender() {
    MacroRecord* macro = selectedMacro();
    if (macro == nullptr)
        return;
    macro->autoRender = 0;
    SetCheck(kMacroAutoRenderBox, false);
    MacroIconCaptureMode = true;
}

void BlankMacroIcon() {
    MacroRecord* macro = selectedMacro();
    if (macro == nullptr)
        return;
    macro->icon = MacroIcon{};
    redrawPictures();
    redrawList();
}

void PaintMacroIcon(oDlgWidget* widget) {
    MacroRecord* macro = selectedMacro();
    if (macro == nullptr || widget == nullptr)
        return;
    std::unique_ptr<oPixMap> pixmap = MacroIconPixMap(macro->icon);
    if (!pixmap)
        return;
    TrackPixelPainting(*widget, widget->pressPoint(), *pixmap);
    MacroIconFromPixMap(*pixmap, macro->icon);
    macro->autoRender = 0;
    SetCheck(kMacroAutoRenderBox, false);
    redrawList();
}

void ToggleMacroFlag() {
    MacroRecord* macro = selectedMacro();
    if (macro == nullptr) {
        ToggleCheck(kMacroAutoRenderBox);
        return;
    }
    macro->autoRender = macro->autoRender != 0 ? 0 : 1;
    SetCheck(kMacroAutoRenderBox, macro->autoRender != 0);
    if (macro->autoRender != 0) {
        macro->icon = MacroIcon{};
        redrawPictures();
        redrawList();
    }
}

void TrackMacroPaneClick(oDlgWidget* widget) {
    MacroRecord* macro = selectedMacro();
    if (!MacroIconCaptureMode || macro == nullptr || widget == nullptr)
        return;
    const auto round4 = [](oPoint p) { return oPoint{p.x / 4 * 4, p.y / 4 * 4}; };
    const oPoint press = round4(widget->pressPoint());
    oPoint corner = press;
    const auto zoneOf = [&press](oPoint other) {
        return Zone{std::min(press.x, other.x), std::min(press.y, other.y),
                    std::max(press.x, other.x), std::max(press.y, other.y)};
    };
    // The rubber band, drawn by inversion (drawn twice it leaves nothing).
    bool shown = false;
    const auto invertBand = [&]() {
        const Zone z = zoneOf(corner);
        if (z.width() <= 0 || z.height() <= 0)
            return;
        widget->invertZone(Zone{z.left, z.top, z.right, z.top + 1});
        widget->invertZone(Zone{z.left, z.bottom - 1, z.right, z.bottom});
        widget->invertZone(Zone{z.left, z.top + 1, z.left + 1, z.bottom - 1});
        widget->invertZone(Zone{z.right - 1, z.top + 1, z.right, z.bottom - 1});
    };
    widget->trackDrag(
        [&](oPoint p) {
            if (shown)
                invertBand();
            corner = round4(p);
            invertBand();
            shown = true;
        },
        [&](oPoint p) {
            if (shown)
                invertBand();
            shown = false;
            corner = round4(p);
        },
        nullptr, 0);
    const Zone part = zoneOf(corner);
    const int32_t quarter = std::max(1, BaseStyleSize() / 4);
    // An empty side gives no picture at all; a rectangle small both ways too little of one.
    if (part.width() <= 0 || part.height() <= 0 ||
        (part.width() < quarter && part.height() < quarter) ||
        !MacroIconFromExpressionPart(macro->expression.get(), widget->resolution(), part,
                                     macro->icon)) {
        Beep();
        return;
    }
    redrawList();
    RefreshMacroControls();
}

int32_t RunMacroDefinitionsDlg(MacroDefinitionsDlgRecord* record) {
    return LaunchDialog(kMacroDefinitionsDialogId, &MacroDefinitionsDlgProc,
                        reinterpret_cast<std::uintptr_t>(record));
}

plat::INT_PTR MacroDefinitionsDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                      plat::LPARAM lParam) {
    return HandleDialogFrame(macroFrame(), dialog, message, wParam, lParam);
}

void EditMacros() {
    // A macro being edited in its window comes back into the list first.
    CloseMacroWindows();
    MacroCustomizationBackup backup;
    backup.macros = CopyMacroList(MacroList);
    backup.mainPalette = MainPalette();
    backup.subPalettes = BackupSubPalettes();
    backup.keys = KeyMap;
    MacroIconCaptureMode = false;
    MacroDefinitionsDlgRecord& r = TheMacroDefinitionsRecord;
    r.exprPreview = r.iconView = nullptr;
    r.list = nullptr;
    const int32_t result = ResultAsCancel(RunMacroDefinitionsDlg(&r));
    ReleasePaletteImage();
    if (result == 0) {
        MacroList = std::move(backup.macros);
        MainPalette() = backup.mainPalette;
        FreeSubPaletteBackup(backup.subPalettes, true);
        KeyMap = backup.keys;
        ReleasePaletteImage();
        return;
    }
    // Deleting a macro empties its palette cells and unbinds its keys: those files are written
    // too, so that the next run does not find the freed code bound.
    SaveGeneralPrefs(false);
    if (!samePalettes(backup))
        SavePalettePrefs(PrefsFolderPath(), false);
    if (backup.keys != KeyMap)
        SaveKeysPrefs(false);
    FreeSubPaletteBackup(backup.subPalettes, false);
    if (result == kMacroResultEdit)
        OpenMacroWindow(SelectedMacroCode);
}
