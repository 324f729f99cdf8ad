#include "Dialogs/CustomizePaletteDialogs.h"

#include "Dialogs/DialogFrame.h"
#include "Dialogs/FontCommandDialogs.h"
#include "Dialogs/HelpTours.h"
#include "Dialogs/InsertExpressionDialog.h"
#include "Dialogs/SecondaryCommandDialog.h"
#include "OverPc/PERROR.h"
#include "OverPc/PFILE.h"
#include "OverPc/PUTIL.h"
#include "OverPc/shell/CQVApp.h"
#include "OverPc/shell/DialogItems.h"
#include "OverPc/shell/Pwindow.h"
#include "OverPc/shell/oDlgWidget.h"
#include "OverSrcs/commands/kEdit.h"
#include "plat/Window.h"

#include <algorithm>
#include <utility>

PaletteCustomization TheCustomization;

namespace {

SubPaletteBackup TheBackup;

PaletteCustomization& state() {
    return TheCustomization;
}

bool hasSelection() {
    return state().firstRow >= 0;
}

void clearSelection() {
    state().firstRow = -1;
    state().rowCount = state().columnCount = state().firstColumn = 0;
}

int32_t firstSelectedCode() {
    if (!hasSelection())
        return 0;
    return state().working.code(state().firstRow, state().firstColumn) & kCmdCodeMask;
}

// True when every cell of the block lies in the palette and is empty.
bool blockIsFree(const PaletteRecord& p, int32_t row, int32_t column, int32_t rows,
                 int32_t columns) {
    if (row < 0 || column < 0 || row + rows > p.rows || column + columns > p.columns)
        return false;
    for (int32_t r = row; r < row + rows; ++r)
        for (int32_t c = column; c < column + columns; ++c)
            if (p.code(r, c) != 0)
                return false;
    return true;
}

// The cell under a point of the preview; false outside the working palette.
bool cellAt(oPoint p, int32_t& row, int32_t& column) {
    if (p.x < 0 || p.y < 0)
        return false;
    const int32_t cell = CustomizePreviewCell();
    row = p.y / cell;
    column = p.x / cell;
    return row < state().working.rows && column < state().working.columns;
}

// The block a press on a cell selects: the button there, or a free block of the standard 2 × 2
// size for an empty cell (at the even row and column, else starting at the cell).
bool blockForCell(int32_t row, int32_t column, PaletteBlock& block) {
    const PaletteRecord& p = state().working;
    if (FindPaletteBlock(p, row, column, block))
        return true;
    for (const auto& [r, c] : {std::pair{row & ~1, column & ~1}, std::pair{row, column}}) {
        if (blockIsFree(p, r, c, 2, 2)) {
            block = PaletteBlock{r, c, 2, 2, 0};
            return true;
        }
    }
    return false;
}

void redrawPreview() {
    if (state().record != nullptr && state().record->preview != nullptr)
        DrawPaletteBeingCustomized(state().record->preview);
}

std::vector<PaletteButton> takeCells(const PaletteRecord& p, int32_t row, int32_t column,
                                     int32_t rows, int32_t columns) {
    std::vector<PaletteButton> cells;
    for (int32_t r = row; r < row + rows; ++r)
        for (int32_t c = column; c < column + columns; ++c)
            cells.push_back(p.cells[static_cast<size_t>(r * p.columns + c)]);
    return cells;
}

void putCells(PaletteRecord& p, int32_t row, int32_t column, int32_t rows, int32_t columns,
              const std::vector<PaletteButton>& cells) {
    size_t k = 0;
    for (int32_t r = row; r < row + rows; ++r)
        for (int32_t c = column; c < column + columns; ++c)
            p.cells[static_cast<size_t>(r * p.columns + c)] = cells[k++];
}

bool inBlock(int32_t row, int32_t column, int32_t top, int32_t left, int32_t rows,
             int32_t columns) {
    return row >= top && row < top + rows && column >= left && column < left + columns;
}

// Moves or copies the selected block to the target block of the same size; false (nothing
// changed) when the drop is not allowed.
bool dropSelection(int32_t row, int32_t column, bool duplicate) {
    PaletteCustomization& s = state();
    PaletteRecord& p = s.working;
    const int32_t rows = s.rowCount;
    const int32_t columns = s.columnCount;
    int32_t top = row;
    int32_t left = column;
    PaletteBlock target;
    if (FindPaletteBlock(p, row, column, target)) {
        if (target.row == s.firstRow && target.column == s.firstColumn)
            return true; // dropped on itself
        if (target.rows != rows || target.columns != columns)
            return false;
        top = target.row;
        left = target.column;
    }
    if (top + rows > p.rows || left + columns > p.columns)
        return false;
    // The target's cells must be one button of that size or empty (or part of the source).
    const bool overlaps = top < s.firstRow + rows && s.firstRow < top + rows &&
                          left < s.firstColumn + columns && s.firstColumn < left + columns;
    for (int32_t r = top; r < top + rows; ++r)
        for (int32_t c = left; c < left + columns; ++c) {
            const bool source = inBlock(r, c, s.firstRow, s.firstColumn, rows, columns);
            PaletteBlock under;
            if (source || !FindPaletteBlock(p, r, c, under))
                continue;
            if (overlaps || under.row != top || under.column != left)
                return false;
            if (duplicate && (under.code & 0xFF00) == kCmdSubPaletteBase)
                return false;
        }
    if (overlaps && duplicate)
        return false;
    const std::vector<PaletteButton> source =
        takeCells(p, s.firstRow, s.firstColumn, rows, columns);
    const std::vector<PaletteButton> there = takeCells(p, top, left, rows, columns);
    if (!duplicate) {
        putCells(p, s.firstRow, s.firstColumn, rows, columns,
                 overlaps ? std::vector<PaletteButton>(source.size()) : there);
    }
    putCells(p, top, left, rows, columns, source);
    // The default cell follows a moved button; an exchanged one takes the other's place.
    if (!duplicate && p.defaultRow >= 0) {
        const int32_t dr = top - s.firstRow;
        const int32_t dc = left - s.firstColumn;
        if (inBlock(p.defaultRow, p.defaultColumn, s.firstRow, s.firstColumn, rows, columns)) {
            p.defaultRow += dr;
            p.defaultColumn += dc;
        } else if (!overlaps && inBlock(p.defaultRow, p.defaultColumn, top, left, rows, columns)) {
            p.defaultRow -= dr;
            p.defaultColumn -= dc;
        }
    }
    s.firstRow = top;
    s.firstColumn = left;
    return true;
}

// Whether some button of the main palette being edited or of another sub-palette still opens the
// sub-palette.
bool subPaletteStillUsed(int32_t code) {
    for (const PaletteButton& b : state().working.cells)
        if (b.code == code)
            return true;
    return false;
}

int resultForKind(int32_t kind) {
    switch (kind) {
    case kKindFont:
        return kCustomizeResultFont;
    case kKindSecondary:
        return kCustomizeResultSecondary;
    case kKindSubPalette:
        return kCustomizeResultSubPalette;
    default:
        return kCustomizeResultInsert;
    }
}

void paintPreview(int32_t) {
    redrawPreview();
}

CustomizePaletteDlgRecord* currentRecord(int dialogId) {
    return DialogRecord<CustomizePaletteDlgRecord>(dialogId);
}

DialogFrame customizeFrame(int dialogId, int helpButton, int preview,
                           std::vector<LabelRect> labels) {
    DialogFrame f;
    f.id = dialogId;
    f.closingButtons = {{helpButton, kCustomizeResultHelp}};
    f.labels = std::move(labels);
    f.init = [dialogId, preview](plat::HWND) {
        CustomizePaletteDlgRecord* r = currentRecord(dialogId);
        if (r == nullptr)
            return;
        const auto& ids = state().ids;
        SetRadioGroup(ids[0], ids[4], r->kind);
        SetCheck(ids[5], r->isDefaultCell != 0);
        state().record = r;
        r->preview = CreateDlgWidgetForItem(preview, &paintPreview);
        UpdateCustomizePaletteControls();
    };
    f.command = [dialogId, preview](plat::HWND, int id, int, plat::HWND) {
        const auto& ids = state().ids;
        CustomizePaletteDlgRecord* r = currentRecord(dialogId);
        if (id == preview) {
            if (DialogCallbackBusy != 0 || r == nullptr)
                return;
            DialogCallbackBusy = 1;
            SelectPaletteCells(r->preview);
            DialogCallbackBusy = 0;
        } else if (id == ids[0]) {
            CheckRadioInRange(ids[0], ids[4], id);
            ClearSelectedButtons();
        } else if (id > ids[0] && id <= ids[4]) {
            CheckRadioInRange(ids[0], ids[4], id);
            DialogResult = kCustomizeResultInsert + (id - ids[1]);
        } else if (id == kCustomizeSubDeleteButton) {
            // Only moves the radio mark: clearing a button is "ne rien faire".
            CheckRadioInRange(ids[0], kCustomizeSubDeleteButton, id);
        } else if (id == ids[5]) {
            ToggleCheck(ids[5]);
            SetDefaultPaletteButton();
        }
    };
    f.writeBack = [dialogId](plat::HWND) {
        CustomizePaletteDlgRecord* r = currentRecord(dialogId);
        if (r == nullptr)
            return;
        const auto& ids = state().ids;
        r->kind = GetRadioIndex(ids[0], ids[4]);
        r->isDefaultCell = IsChecked(ids[5]) ? 1 : 0;
    };
    f.destroy = [dialogId](plat::HWND) {
        CustomizePaletteDlgRecord* r = currentRecord(dialogId);
        if (r == nullptr)
            return;
        delete r->preview;
        r->preview = nullptr;
        if (state().record == r)
            state().record = nullptr;
    };
    return f;
}

const DialogFrame& mainFrame() {
    static const DialogFrame frame = customizeFrame(
        kCustomizePaletteDialogId, kCustomizePaletteHelpButton, kCustomizePalettePreviewItem,
        {{{381, 33, 611, 51}, 5739},
         {{381, 53, 611, 71}, 5740},
         {{381, 73, 611, 91}, 5741},
         {{381, 93, 611, 111}, 5742},
         {{381, 113, 611, 131}, 5743},
         {{633, 113, 771, 131}, 5744},
         {{9, 166, 771, 443}, 5746}});
    return frame;
}

const DialogFrame& subFrame() {
    static const DialogFrame frame = customizeFrame(
        kCustomizeSubPaletteDialogId, kCustomizeSubHelpButton, kCustomizeSubPreviewItem,
        {{{13, 173, 231, 191}, 5996},
         {{13, 193, 231, 211}, 5997},
         {{13, 213, 231, 231}, 5998},
         {{13, 233, 231, 251}, 5999},
         {{13, 253, 231, 271}, 6000},
         {{13, 273, 231, 291}, 6001},
         {{13, 293, 231, 311}, 6002},
         {{249, 101, 711, 319}, 6003}});
    return frame;
}

const DialogFrame& hintFrame() {
    static const DialogFrame frame = [] {
        DialogFrame f;
        f.id = kPaletteCustomizeHintDialogId;
        return f;
    }();
    return frame;
}

// The palette with its empty margin for placing buttons beyond it.
PaletteRecord widened(const PaletteRecord& palette) {
    PaletteRecord w(palette.rows + kCustomizeExtraRows, palette.columns + kCustomizeExtraColumns);
    for (int32_t r = 0; r < palette.rows; ++r)
        for (int32_t c = 0; c < palette.columns; ++c)
            w.cells[static_cast<size_t>(r * w.columns + c)] =
                palette.cells[static_cast<size_t>(r * palette.columns + c)];
    w.defaultRow = palette.defaultRow;
    w.defaultColumn = palette.defaultColumn;
    return w;
}

} // namespace

int32_t CustomizePreviewCell() {
    // The smallest palette's cell, whatever size the palette window uses: the previews then show
    // the whole built-in palette with room right of it and below it.
    return 12 * ScreenDrawingUnit();
}

int32_t UpdateCustomizePaletteControls() {
    PaletteCustomization& s = state();
    if (hasSelection() && (s.firstRow + s.rowCount > s.working.rows ||
                           s.firstColumn + s.columnCount > s.working.columns))
        clearSelection();
    const auto& ids = s.ids;
    if (!s.editingSubPalette) {
        EnableItem(ids[5], false);
    } else {
        EnableItem(ids[5], true);
        SetCheck(ids[5], hasSelection() && s.firstRow == s.working.defaultRow &&
                             s.firstColumn == s.working.defaultColumn);
    }
    if (!hasSelection()) {
        for (int i = 0; i < 5; ++i)
            EnableItem(ids[static_cast<size_t>(i)], false);
        return -1;
    }
    for (int i = 0; i < 4; ++i)
        EnableItem(ids[static_cast<size_t>(i)], true);
    EnableItem(ids[4], !s.editingSubPalette);
    const int32_t kind = CommandKind(firstSelectedCode());
    SetRadioGroup(ids[0], ids[4], kind);
    return kind;
}

void ClearSelectedButtons() {
    PaletteCustomization& s = state();
    if (!hasSelection()) {
        Beep();
        return;
    }
    const int32_t code = firstSelectedCode();
    for (int32_t r = s.firstRow; r < s.firstRow + s.rowCount; ++r)
        for (int32_t c = s.firstColumn; c < s.firstColumn + s.columnCount; ++c)
            s.working.cells[static_cast<size_t>(r * s.working.columns + c)] = PaletteButton{};
    // A sub-palette no other button opens any more is freed with its button.
    if ((code & 0xFF00) == kCmdSubPaletteBase && !s.editingSubPalette &&
        (code & 0xFF) < kSubPaletteSlots && !subPaletteStillUsed(code))
        SubPalette(code & 0xFF).reset();
    redrawPreview();
}

void SetDefaultPaletteButton() {
    PaletteCustomization& s = state();
    if (!s.editingSubPalette)
        return;
    const int box = s.ids[5];
    if (!hasSelection()) {
        // A default cell always names a cell: the box goes back as it was.
        ToggleCheck(box);
        return;
    }
    if (IsChecked(box)) {
        s.working.defaultRow = s.firstRow;
        s.working.defaultColumn = s.firstColumn;
        redrawPreview();
    } else {
        SetCheck(box, true);
    }
}

void DrawPaletteBeingCustomized(oDlgWidget* widget) {
    if (widget == nullptr)
        return;
    oDlgWidget& w = *widget;
    const PaletteCustomization& s = state();
    const plat::DWORD face = plat::GetSysColor(plat::COLOR_BTNFACE);
    w.paintZone(Zone{0, 0, w.width(), w.height()},
                Color{plat::GetRValue(face), plat::GetGValue(face), plat::GetBValue(face), 255});
    const int32_t cell = CustomizePreviewCell();
    const PaletteRecord& p = s.working;
    const int32_t rows = std::min(p.rows, w.height() / cell + 1);
    const int32_t columns = std::min(p.columns, w.width() / cell + 1);
    for (int32_t r = 0; r < rows; ++r)
        for (int32_t c = 0; c < columns; ++c)
            w.frameZone(Zone{c * cell, r * cell, (c + 1) * cell + 1, (r + 1) * cell + 1}, 1,
                        Color{150, 150, 150, 255}, kLineSolid, kDrawPaint);
    for (const PaletteBlock& b : PaletteBlocks(p)) {
        if (b.row >= rows || b.column >= columns)
            continue;
        const Zone zone{b.column * cell, b.row * cell, (b.column + b.columns) * cell + 1,
                        (b.row + b.rows) * cell + 1};
        w.paintZone(zone, kColorWhite);
        w.frameZone(zone, 1, kColorBlack, kLineSolid, kDrawPaint);
        w.setColors(&kColorBlack, &kColorWhite);
        const Zone inner{zone.left + 2, zone.top + 2, zone.right - 2, zone.bottom - 2};
        // A sub-palette button shows its default button, as in the palette window.
        const bool sub = (b.code & 0xFF00) == kCmdSubPaletteBase;
        DrawCommandPicture(w, inner, sub ? SubPaletteDefaultCode(b.code & 0xFF) : b.code);
    }
    if (p.defaultRow >= 0 && p.defaultRow < rows && p.defaultColumn < columns) {
        const Zone zone{p.defaultColumn * cell - 1, p.defaultRow * cell - 1,
                        (p.defaultColumn + 1) * cell + 2, (p.defaultRow + 1) * cell + 2};
        w.frameZone(zone, 2, Color{200, 0, 0, 255}, kLineSolid, kDrawPaint);
    }
    if (hasSelection()) {
        const Zone zone{s.firstColumn * cell, s.firstRow * cell,
                        (s.firstColumn + s.columnCount) * cell + 1,
                        (s.firstRow + s.rowCount) * cell + 1};
        w.frameZone(zone, 3, Color{0, 0, 200, 255}, kLineSolid, kDrawPaint);
    }
}

void SelectPaletteCells(oDlgWidget* widget) {
    if (widget == nullptr)
        return;
    PaletteCustomization& s = state();
    const oPoint press = widget->pressPoint();
    int32_t row = 0;
    int32_t column = 0;
    if (!cellAt(press, row, column))
        return;
    const bool doubleClick = DoubleClickFlag != 0;
    PaletteBlock block;
    if (blockForCell(row, column, block)) {
        s.firstRow = block.row;
        s.firstColumn = block.column;
        s.rowCount = block.rows;
        s.columnCount = block.columns;
    } else {
        clearSelection();
    }
    const int32_t kind = UpdateCustomizePaletteControls();
    redrawPreview();
    if (!hasSelection())
        return;
    if (doubleClick) {
        DialogResult = resultForKind(kind);
        return;
    }
    const bool duplicateAtPress = (ModifierFlags & kModAltCtrl) != 0;
    // The outline of the selection follows the cursor, drawn by inversion (twice leaves nothing).
    const int32_t cell = CustomizePreviewCell();
    const Zone from{s.firstColumn * cell, s.firstRow * cell, (s.firstColumn + s.columnCount) * cell,
                    (s.firstRow + s.rowCount) * cell};
    oPoint shown{0, 0};
    bool outlined = false;
    auto invertOutline = [&](oPoint offset) {
        Zone z = from;
        ZoneOffset(z, offset.x, offset.y);
        widget->invertZone(Zone{z.left, z.top, z.right, z.top + 2});
        widget->invertZone(Zone{z.left, z.bottom - 2, z.right, z.bottom});
        widget->invertZone(Zone{z.left, z.top + 2, z.left + 2, z.bottom - 2});
        widget->invertZone(Zone{z.right - 2, z.top + 2, z.right, z.bottom - 2});
    };
    auto hideOutline = [&] {
        if (outlined)
            invertOutline(shown);
        outlined = false;
    };
    widget->trackDrag(
        [&](oPoint p) {
            hideOutline();
            shown = oPoint{p.x - press.x, p.y - press.y};
            invertOutline(shown);
            outlined = true;
        },
        [&](oPoint release) {
            hideOutline();
            int32_t r = 0;
            int32_t c = 0;
            if (!cellAt(release, r, c)) {
                Beep();
                return;
            }
            if (inBlock(r, c, s.firstRow, s.firstColumn, s.rowCount, s.columnCount))
                return;
            SnapshotModifierKeys();
            const bool duplicate = duplicateAtPress || (ModifierFlags & kModAltCtrl) != 0;
            if (!dropSelection(r, c, duplicate))
                Beep();
            UpdateCustomizePaletteControls();
            redrawPreview();
        },
        nullptr, 0);
}

void TrimCustomizedPalette(PaletteRecord& palette) {
    int32_t lastRow = -1;
    int32_t lastColumn = -1;
    for (int32_t r = 0; r < palette.rows; ++r)
        for (int32_t c = 0; c < palette.columns; ++c)
            if (palette.code(r, c) != 0) {
                lastRow = std::max(lastRow, r);
                lastColumn = std::max(lastColumn, c);
            }
    PaletteRecord trimmed(lastRow + 1, lastColumn + 1);
    for (int32_t r = 0; r <= lastRow; ++r)
        for (int32_t c = 0; c <= lastColumn; ++c)
            trimmed.cells[static_cast<size_t>(r * trimmed.columns + c)] =
                palette.cells[static_cast<size_t>(r * palette.columns + c)];
    if (lastRow < 0) {
        trimmed.defaultRow = trimmed.defaultColumn = -1;
    } else if (palette.defaultRow < 0 || palette.defaultRow > lastRow ||
               palette.defaultColumn > lastColumn) {
        trimmed.defaultRow = trimmed.defaultColumn = 0;
    } else {
        trimmed.defaultRow = palette.defaultRow;
        trimmed.defaultColumn = palette.defaultColumn;
    }
    palette = std::move(trimmed);
}

void SetSelectedButtonsCode(int32_t code) {
    PaletteCustomization& s = state();
    if (code == 0 || !hasSelection())
        return;
    const int32_t c = code & kCmdCodeMask;
    s.working.setBlock(s.firstRow, s.firstColumn, s.rowCount, s.columnCount, c);
    s.working.cells[static_cast<size_t>(s.firstRow * s.working.columns + s.firstColumn)].bitmapId =
        BitmapIdForCode(c);
}

int32_t EditSubPalette(int32_t slot, bool isNew) {
    std::unique_ptr<PaletteRecord>& sub = SubPalette(slot);
    if (!sub)
        sub = std::make_unique<PaletteRecord>();
    PaletteCustomization outer = std::move(TheCustomization);
    TheCustomization = PaletteCustomization{};
    PaletteRecord edited = *sub;
    const int32_t result = CustomizePaletteLoop(edited, true);
    TheCustomization = std::move(outer);
    if (result != 1) {
        if (isNew)
            sub.reset();
        return -1;
    }
    if (edited.rows == 0 || edited.columns == 0) {
        sub.reset();
        return 0;
    }
    *sub = std::move(edited);
    return kCmdSubPaletteBase + slot;
}

SubPaletteBackup BackupSubPalettes() {
    SubPaletteBackup backup;
    for (int32_t i = 0; i < kSubPaletteSlots; ++i)
        if (const std::unique_ptr<PaletteRecord>& sub = SubPalette(i))
            backup[static_cast<size_t>(i)] = std::make_unique<PaletteRecord>(*sub);
    return backup;
}

void FreeSubPaletteBackup(SubPaletteBackup& backup, bool restore) {
    for (int32_t i = 0; i < kSubPaletteSlots; ++i) {
        if (restore)
            SubPalette(i) = std::move(backup[static_cast<size_t>(i)]);
        backup[static_cast<size_t>(i)].reset();
    }
}

void BackupCustomizations() {
    TheBackup = BackupSubPalettes();
}

void CommitCustomizations(const PaletteRecord& palette) {
    MainPalette() = palette;
    FreeSubPaletteBackup(TheBackup, false);
    ReleasePaletteImage();
    if (!CQVApp::instance().m_Embedded)
        SavePalettePrefs(PrefsFolderPath(), false);
}

int32_t CustomizePaletteLoop(PaletteRecord& palette, bool subPalette) {
    PaletteCustomization& s = state();
    s.working = widened(palette);
    s.editingSubPalette = subPalette;
    clearSelection();
    for (;;) {
        // The ids are set again each run: a nested sub-palette edit changes them.
        if (subPalette)
            s.ids = {5996, 5997, 5998, 5999, 6000, 6002};
        else
            s.ids = {5739, 5740, 5741, 5742, 5743, 5744};
        CustomizePaletteDlgRecord record;
        const std::uintptr_t arg = reinterpret_cast<std::uintptr_t>(&record);
        const int32_t result = ResultAsCancel(subPalette ? RunCustomizeSubPaletteButtonDlg(arg)
                                                         : RunCustomizePaletteDlg(arg));
        const int32_t code = firstSelectedCode();
        switch (result) {
        case 0:
            return 0;
        case 1:
            TrimCustomizedPalette(s.working);
            palette = std::move(s.working);
            s.working = PaletteRecord();
            return 1;
        case kCustomizeResultInsert:
            SetSelectedButtonsCode(InsertSomethingDialog(code));
            break;
        case kCustomizeResultFont:
            SetSelectedButtonsCode(AskFSSCmd(code));
            break;
        case kCustomizeResultSecondary:
            SetSelectedButtonsCode(RunSecondaryCommand(code));
            break;
        case kCustomizeResultSubPalette: {
            if (subPalette || !hasSelection())
                break;
            if ((code & 0xFF00) == kCmdSubPaletteBase && (code & 0xFF) < kSubPaletteSlots) {
                const int32_t yield = EditSubPalette(code & 0xFF, false);
                // An existing sub-palette emptied by the edit is gone: so is its button.
                if (yield == 0)
                    s.working.setBlock(s.firstRow, s.firstColumn, s.rowCount, s.columnCount, 0);
                break;
            }
            int32_t slot = 0;
            while (slot < kSubPaletteSlots && SubPalette(slot))
                ++slot;
            if (slot == kSubPaletteSlots) {
                Beep();
                break;
            }
            const int32_t yield = EditSubPalette(slot, true);
            if (yield > 0)
                SetSelectedButtonsCode(yield);
            break;
        }
        case kCustomizeResultHelp:
            ShowCustomizePaletteHelpTour();
            break;
        default:
            break;
        }
    }
}

void CustomizeMainPalette() {
    PaletteRecord palette = MainPalette();
    if (palette.rows == 0 || palette.columns == 0 || palette.cells.empty()) {
        NoteAlert(kBlankPaletteNote);
        palette = PaletteRecord(6, 16);
    }
    BackupCustomizations();
    TheCustomization = PaletteCustomization{};
    if (CustomizePaletteLoop(palette, false) != 1) {
        FreeSubPaletteBackup(TheBackup, true);
        return;
    }
    CommitCustomizations(palette);
}

int32_t RunCustomizePaletteDlg(std::uintptr_t record) {
    return LaunchDialog(kCustomizePaletteDialogId, &CustomizePaletteDlgProc, record);
}

int32_t RunCustomizeSubPaletteButtonDlg(std::uintptr_t record) {
    return LaunchDialog(kCustomizeSubPaletteDialogId, &CustomizeSubPaletteButtonDlgProc, record);
}

int32_t RunPaletteCustomizeHintDlg(std::uintptr_t unused) {
    return LaunchDialog(kPaletteCustomizeHintDialogId, &PaletteCustomizeHintDlgProc, unused);
}

plat::INT_PTR CustomizePaletteDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                      plat::LPARAM lParam) {
    return HandleDialogFrame(mainFrame(), dialog, message, wParam, lParam);
}

plat::INT_PTR CustomizeSubPaletteButtonDlgProc(plat::HWND dialog, plat::UINT message,
                                               plat::WPARAM wParam, plat::LPARAM lParam) {
    return HandleDialogFrame(subFrame(), dialog, message, wParam, lParam);
}

plat::INT_PTR PaletteCustomizeHintDlgProc(plat::HWND dialog, plat::UINT message,
                                          plat::WPARAM wParam, plat::LPARAM lParam) {
    return HandleDialogFrame(hintFrame(), dialog, message, wParam, lParam);
}
