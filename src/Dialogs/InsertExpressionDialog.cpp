#include "Dialogs/InsertExpressionDialog.h"

#include "Dialogs/DialogFrame.h"
#include "Dialogs/SecondaryCommandDialog.h"
#include "ExprSrcs/commands/tsPrefs.h"
#include "OverPc/PFONTS.h"
#include "OverPc/Presourc.h"
#include "OverPc/commands/kMacro.h"
#include "OverPc/shell/CQVApp.h"
#include "OverPc/shell/DialogItems.h"
#include "OverPc/shell/Pwindow.h"
#include "OverPc/shell/oDlgWidget.h"
#include "OverPc/shell/oListBox.h"
#include "OverSrcs/commands/kEdit.h"
#include "OverSrcs/eLayout.h"
#include "OverSrcs/eObject.h"
#include "plat/Dialog.h"
#include "plat/Messages.h"
#include "plat/Window.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <string>

InsertExpressionState TheInsertExpressionState;
InsertChoiceState TheInsertChoice;
int32_t LastInsertCode = 0;

namespace {

constexpr int kCurrentFontString = 143; // "Police actuelle"
constexpr int kDefaultFontString = 145; // "Police par défaut"
// The help texts of the catalog rows, one string per row in the catalog's order.
constexpr int kFirstCatalogHelpString = 1100;
// Command-grid cells are square, 18 screen drawing units, with the picture one unit inside.
constexpr int32_t kCommandCellUnits = 18;
constexpr int32_t kCommandGridRows = 16;
constexpr int32_t kCharacterBaseline = 12;
constexpr int32_t kStyleRowHeight = 20;
constexpr int32_t kMacroRowHeight = 28;
// Character codes carry styles 0..31 only; later entries show their font but cannot be chosen.
constexpr int32_t kLastCodedStyle = 31;

// The insert commands of the first eight sub-palettes, in their order, 8 × 9 cells: fractions and
// roots, scripts and limits, fences, integrals, big operators, embellishments, matrices, spaces and
// ellipses. A row's bitmap is the picture the Modify and settings dialogs show for the same
// construct; rows without one are drawn as the node they insert.
constexpr std::array<InsertCatalogRow, 72> kCatalog{{
    // Fractions, roots, long division, box, overstrike.
    {0x4001, 12560, "\xBD"},
    {0x4006, 0, "a\\b"},
    {0x4002, 14032, "a/b"},
    {0x4007, 0, "a_b"},
    {0x4005, 0, "a:b"},
    {0x4010, 12592, "Vx"},
    {0x4011, 14000, "nVx"},
    {0x4030, 0, ")x"},
    {0x4040, 14944, "bx"},
    {0x4020, 0, "x/"},
    // Scripts, limits, prescripts, tensor, tree node.
    {0x4201, 12496, "x\xB2"},
    {0x4202, 12528, "x_"},
    {0x4203, 14064, "x\xB2_"},
    {0x4204, 0, "x\xB8"},
    {0x4205, 0, "x\xB4"},
    {0x420A, 0, "x\xB4\xB8"},
    {0x4206, 0, "px1"},
    {0x4207, 0, "px2"},
    {0x4208, 0, "px3"},
    {0x4209, 0, "px"},
    {0x4210, 14848, "T\xB2_"},
    {0x4211, 15008, "+<"},
    // Fences and the brace above.
    {0x4111, 12368, "(x)"},
    {0x4177, 12464, "[x]"},
    {0x4122, 12400, "{x}"},
    {0x4133, 14352, "<x>"},
    {0x4144, 12432, "|x|"},
    {0x41AA, 14624, "||"},
    {0x4155, 14496, "|_"},
    {0x4166, 14528, "|\xAF"},
    {0x4188, 14560, "[[x"},
    {0x4197, 14592, "]x]"},
    {0x4520, 0, "{^}"},
    // Integrals: integrand only, then with limits; the evaluation bar.
    {0x4300, 12656, "S"},
    {0x4301, 13936, "SS"},
    {0x4302, 13968, "SSS"},
    {0x4310, 13904, "oS"},
    {0x4700, 0, "S_"},
    {0x4720, 0, "S="},
    {0x4710, 0, "oS_"},
    {0x4708, 12688, "x|"},
    // Big operators with limits.
    {0x4601, 0, "Sum"},
    {0x4602, 0, "Prd"},
    {0x4603, 0, "Cup"},
    {0x4604, 0, "Cap"},
    // Embellishments.
    {0x4411, 14128, "\xB7x"},
    {0x4412, 14160, "\xA8x"},
    {0x4419, 14752, "\x85x"},
    {0x4417, 14288, "^x"},
    {0x4413, 14192, "~x"},
    {0x4418, 14320, "arc"},
    {0x4414, 14224, "->"},
    {0x4415, 14720, "<->"},
    {0x4416, 14256, "\xAFx"},
    {0x441B, 14816, "=x"},
    // Matrices of placeholders, rows × columns.
    {0x5212, 12848, "1x2"},
    {0x5221, 0, "2x1"},
    {0x5222, 12880, "2x2"},
    {0x5213, 0, "1x3"},
    {0x5231, 12784, "3x1"},
    {0x5233, 13040, "3x3"},
    {0x5244, 13200, "4x4"},
    {0x5214, 13104, "1x4"},
    // Spaces, ellipses and the special symbols.
    {0x5301, 0, "sp"},
    {0x5302, 0, "thin"},
    {0x5303, 0, "tab"},
    {0x5304, 0, "..."},
    {0x5305, 0, ".:'"},
    {0x5306, 0, "':."},
    {0x5307, 0, ":"},
    {0x5308, 0, "h-"},
    {0x5309, 0, "l"},
}};

// Palette buttons whose command has no row of its own but a picture all the same.
struct CatalogBitmap {
    int32_t code;
    int32_t bitmapId;
};
constexpr CatalogBitmap kPaletteOnlyBitmaps[] = {{0x441A, 14784}};

// What the command grid drew last, for its clicks.
int32_t s_commandColumns = 0;
int32_t s_commandRowsDrawn = 0;
// The character grid's font (the base style merged with the chosen entry, at 12 points).
int32_t s_gridFont = 0;

int32_t commandCellSide() {
    return kCommandCellUnits * ScreenDrawingUnit();
}

bool isItemEnabled(int id) {
    return CurrentDialog != nullptr &&
           plat::IsWindowEnabled(plat::GetDlgItem(CurrentDialog, id)) != plat::FALSE;
}

InsertExpressionState* record() {
    return DialogRecord<InsertExpressionState>(kInsertExpressionDialogId);
}

// The base style merged with style-table entry `index` (entry 0 for the typing style).
FSSRecord styleFor(int32_t index) {
    FSSRecord style = StyleTable[0];
    if (index > 0 && index < kStyleTableSize)
        MergeFSS(style, StyleTable[static_cast<size_t>(index)]);
    return style;
}

int32_t fontOf(const FSSRecord& style, int32_t points) {
    const char* face = style.fontName;
    if (face[0] == '\0' || face[0] == '*' || face[0] == '?')
        face = StyleTable[0].fontName[0] != '*' ? StyleTable[0].fontName : "Times New Roman";
    return FontIndexForFace(face, points, style.style[kStyleBold] == 1,
                            style.style[kStyleItalic] == 1, false);
}

void buildGridFont() {
    s_gridFont = fontOf(styleFor(TheInsertChoice.styleIndex), 12);
}

bool charactersCodable(int32_t styleIndex) {
    return styleIndex <= kLastCodedStyle;
}

Zone characterCell(const oDlgWidget& grid, int32_t character) {
    const int32_t w = grid.width(), h = grid.height();
    const int32_t row = character / 16, column = character % 16;
    return Zone{column * w / 16, row * h / 16, (column + 1) * w / 16, (row + 1) * h / 16};
}

Zone commandCell(int32_t index) {
    if (s_commandColumns <= 0)
        return Zone{};
    const int32_t row = index / s_commandColumns, column = index % s_commandColumns;
    const int32_t side = commandCellSide();
    return Zone{column * side, row * side, (column + 1) * side, (row + 1) * side};
}

// The character cell under a point of the grid, -1 outside the grid.
int32_t characterAt(const oDlgWidget& grid, oPoint p) {
    const int32_t w = grid.width(), h = grid.height();
    if (w <= 0 || h <= 0 || p.x < 0 || p.y < 0)
        return -1;
    const int32_t column = 16 * p.x / w, row = 16 * p.y / h;
    if (column >= 16 || row >= 16)
        return -1;
    return 16 * row + column;
}

// The command-grid cell under a point, -1 where no catalog row was drawn.
int32_t commandAt(oPoint p) {
    if (s_commandColumns <= 0 || p.x < 0 || p.y < 0)
        return -1;
    const int32_t side = commandCellSide();
    const int32_t column = p.x / side, row = p.y / side;
    if (column >= s_commandColumns || row >= kCommandGridRows)
        return -1;
    const int32_t index = s_commandColumns * row + column;
    return index < s_commandRowsDrawn ? index : -1;
}

void invertCell(oDlgWidget* widget, const Zone& cell) {
    if (widget != nullptr && cell.width() > 0)
        widget->invertZone(cell);
}

// Drops the current choice: its highlight goes, the three flags and the code are cleared and the
// three buttons disabled.
void clearChoice(bool clearMacroList) {
    InsertChoiceState& c = TheInsertChoice;
    InsertExpressionState* r = record();
    if (r != nullptr) {
        if (c.characterChosen)
            invertCell(r->characterGrid, characterCell(*r->characterGrid, c.selectedIndex));
        if (c.compositeChosen)
            invertCell(r->commandGrid, commandCell(c.selectedIndex));
        if (c.macroChosen && clearMacroList && r->macroList != nullptr)
            r->macroList->setSelection(-1);
    }
    c.chosenCode = 0;
    c.macroChosen = c.characterChosen = c.compositeChosen = false;
    EnableItem(kInsertCharacterButton, false);
    EnableItem(kInsertCompositeButton, false);
    EnableItem(kInsertMacroButton, false);
}

// Follows the button after a press on cell `chosen`: the cell is inverted only while the pointer is
// over it; a release elsewhere drops the choice, a release on it after the second press of a
// double click closes the dialog with the choice.
void trackChoice(oDlgWidget* widget, int32_t chosen, Zone cell,
                 int32_t (*cellAt)(const oDlgWidget&, oPoint), int button) {
    const bool doubleClick = DoubleClickFlag != 0;
    invertCell(widget, cell);
    bool shown = true;
    auto over = [widget, chosen, cellAt](oPoint p) { return cellAt(*widget, p) == chosen; };
    widget->trackDrag(
        [&](oPoint p) {
            if (over(p) != shown) {
                invertCell(widget, cell);
                shown = !shown;
            }
        },
        [&](oPoint p) {
            if (!over(p)) {
                if (shown)
                    invertCell(widget, cell);
                // Nothing is chosen any more; the buttons keep their state (pressed now, they
                // insert nothing).
                TheInsertChoice.chosenCode = 0;
                TheInsertChoice.characterChosen = TheInsertChoice.compositeChosen = false;
            } else if (doubleClick && isItemEnabled(button)) {
                DialogResult = kInsertResultChoice;
            }
        },
        nullptr, 0);
}

int32_t commandAtWidget(const oDlgWidget&, oPoint p) {
    return commandAt(p);
}

void paintPreview(int32_t controlId) {
    InsertExpressionState* r = record();
    if (r == nullptr)
        return;
    if (controlId == kInsertCommandGridItem && r->commandGrid != nullptr)
        DrawInsertCommandGrid(r->commandGrid);
    else if (controlId == kInsertCharacterGridItem && r->characterGrid != nullptr)
        DrawCharacterGrid(r->characterGrid);
    else
        return;
    oDlgWidget* w = controlId == kInsertCommandGridItem ? r->commandGrid : r->characterGrid;
    w->frameZone(Zone{0, 0, w->width(), w->height()}, 1, kColorBlack, kLineSolid, kDrawPaint);
}

void drawStyleRow(oListBox& list, int32_t row, const Zone& zone, uint32_t) {
    const bool hasCurrent = list.count() > kStyleTableSize;
    const int32_t entry = hasCurrent ? row - 1 : row;
    const int32_t baseline = zone.top + kStyleRowHeight - 5;
    const int32_t textFont = DefaultProgramTextFontIndex();
    if (entry < 0) {
        list.drawString(LoadResString(kCurrentFontString), textFont, zone.left + 4, baseline);
        return;
    }
    const FSSRecord& own = StyleTable[static_cast<size_t>(entry)];
    const char shortcut[2] = {static_cast<char>(own.shortcut), '\0'};
    list.drawString(shortcut, fontOf(styleFor(entry), 12), zone.left + 4, baseline);
    std::string text;
    if (entry == 0) {
        text = LoadResString(kDefaultFontString);
    } else {
        text = own.fontName[0] != '*' ? std::string(own.fontName) : std::string("Style");
        if (own.size > 0) {
            text += ' ';
            text += std::to_string(own.size);
        }
        if (own.style[kStyleBold] == 1)
            text += " gras";
        if (own.style[kStyleItalic] == 1)
            text += " italique";
        text += "  (" + std::to_string(entry) + ")";
    }
    list.drawString(text.c_str(), textFont, zone.left + 24, baseline);
}

void drawMacroRow(oListBox& list, int32_t row, const Zone& zone, uint32_t) {
    if (row >= 0 && row < static_cast<int32_t>(MacroList.size()))
        DrawMacroListRow(list, MacroList[static_cast<size_t>(row)], zone);
}

oListBox* listOf(int id) {
    InsertExpressionState* r = record();
    if (r == nullptr)
        return nullptr;
    return id == kInsertMacroListItem   ? r->macroList
           : id == kInsertStyleListItem ? r->styleList
                                        : nullptr;
}

void makeLists() {
    InsertExpressionState* r = record();
    if (r == nullptr)
        return;
    if (r->macroList == nullptr)
        r->macroList = FillMacroList(kInsertMacroListItem, true);
    if (r->styleList == nullptr)
        r->styleList = FillInsertStyleList(kInsertStyleListItem, LoadResString(kCurrentFontString));
}

const DialogFrame& insertFrame() {
    static const DialogFrame frame = [] {
        DialogFrame f;
        f.id = kInsertExpressionDialogId;
        f.checkBoxes = {kInsertKeepOpenItem};
        f.closingButtons = {{kInsertCompositeButton, kInsertResultChoice},
                            {kInsertCharacterButton, kInsertResultChoice},
                            {kInsertMacroButton, kInsertResultMacro}};
        f.lists = {kInsertMacroListItem, kInsertStyleListItem};
        f.labels = {{{13, 69, 171, 243}, kInsertCommandGridItem},
                    {{13, 273, 167, 447}, kInsertMacroListItem},
                    {{185, 173, 439, 447}, kInsertCharacterGridItem},
                    {{185, 85, 439, 155}, kInsertStyleListItem}};
        f.init = [](plat::HWND) {
            InsertExpressionState* r = record();
            if (r == nullptr)
                return;
            SetCheck(kInsertKeepOpenItem, r->keepOpen != 0);
            r->commandGrid = CreateDlgWidgetForItem(kInsertCommandGridItem, &paintPreview);
            r->characterGrid = CreateDlgWidgetForItem(kInsertCharacterGridItem, &paintPreview);
            makeLists();
            if (r->macroList != nullptr)
                r->macroList->fillItems();
            if (r->styleList != nullptr)
                r->styleList->fillItems();
            InitInsertExprControls();
        };
        f.measureList = [](plat::HWND, plat::MEASUREITEMSTRUCT& measure) {
            makeLists();
            if (oListBox* list = listOf(static_cast<int>(measure.CtlID)))
                list->measureItem(measure);
        };
        f.drawList = [](plat::HWND, const plat::DRAWITEMSTRUCT& draw) {
            if (oListBox* list = listOf(static_cast<int>(draw.CtlID)))
                list->drawItem(draw);
        };
        f.command = [](plat::HWND, int id, int, plat::HWND) {
            InsertExpressionState* r = record();
            if (r == nullptr)
                return;
            if (id == kInsertCommandGridItem || id == kInsertCharacterGridItem) {
                if (DialogCallbackBusy != 0)
                    return;
                DialogCallbackBusy = 1;
                if (id == kInsertCommandGridItem)
                    ClickInsertCommandGrid(r->commandGrid);
                else
                    ClickCharacterGrid(r->characterGrid);
                DialogCallbackBusy = 0;
                return;
            }
            oListBox* list = listOf(id);
            if (list == nullptr || !list->handleNotify() || DialogCallbackBusy != 0)
                return;
            DialogCallbackBusy = 1;
            if (id == kInsertMacroListItem)
                SelectInsertMacro();
            else
                SelectInsertFont(r->characterGrid, r->styleList);
            DialogCallbackBusy = 0;
        };
        f.writeBack = [](plat::HWND) {
            InsertExpressionState* r = record();
            if (r == nullptr)
                return;
            r->keepOpen = IsChecked(kInsertKeepOpenItem) ? 1 : 0;
            if (r->macroList != nullptr)
                r->macroSelection = r->macroList->getSelection();
            if (r->styleList != nullptr)
                r->styleSelection = r->styleList->getSelection();
        };
        f.destroy = [](plat::HWND) {
            InsertExpressionState* r = record();
            if (r == nullptr)
                return;
            delete r->commandGrid;
            delete r->macroList;
            delete r->characterGrid;
            delete r->styleList;
            r->commandGrid = r->characterGrid = nullptr;
            r->macroList = r->styleList = nullptr;
        };
        return f;
    }();
    return frame;
}

} // namespace

std::span<const InsertCatalogRow> InsertCommandCatalog() {
    return kCatalog;
}

int32_t FindInsertCatalogRow(int32_t code) {
    const int32_t c = code & kCmdCodeMask;
    for (size_t i = 0; i < kCatalog.size(); ++i)
        if (kCatalog[i].code == c)
            return static_cast<int32_t>(i);
    return -1;
}

const char* InsertCatalogHelp(int32_t row) {
    if (row < 0 || row >= static_cast<int32_t>(kCatalog.size()))
        return nullptr;
    return LoadResString(kFirstCatalogHelpString + row);
}

int32_t InsertCatalogBitmapId(int32_t code) {
    const int32_t c = code & kCmdCodeMask;
    if (const int32_t row = FindInsertCatalogRow(c); row >= 0)
        return kCatalog[static_cast<size_t>(row)].bitmapId;
    for (const CatalogBitmap& b : kPaletteOnlyBitmaps)
        if (b.code == c)
            return b.bitmapId;
    return 0;
}

std::vector<int32_t> InsertCatalogBitmapIds() {
    std::vector<int32_t> ids;
    for (const InsertCatalogRow& row : kCatalog)
        if (row.bitmapId != 0)
            ids.push_back(row.bitmapId);
    for (const CatalogBitmap& b : kPaletteOnlyBitmaps)
        ids.push_back(b.bitmapId);
    return ids;
}

void DrawInsertCommandGrid(oDlgWidget* widget) {
    if (widget == nullptr)
        return;
    widget->eraseZone(Zone{0, 0, widget->width(), widget->height()});
    const int32_t unit = ScreenDrawingUnit();
    s_commandColumns = widget->width() / commandCellSide();
    const int32_t capacity = s_commandColumns * kCommandGridRows;
    s_commandRowsDrawn = std::min(capacity, static_cast<int32_t>(kCatalog.size()));
    for (int32_t i = 0; i < s_commandRowsDrawn; ++i) {
        const Zone cell = commandCell(i);
        const Zone picture{cell.left + unit, cell.top + unit, cell.right - unit,
                           cell.bottom - unit};
        widget->frameZone(picture, unit, Color{191, 191, 191, 255}, kLineSolid, kDrawPaint);
        const Zone inside{picture.left + unit, picture.top + unit, picture.right - unit,
                          picture.bottom - unit};
        DrawCommandPicture(*widget, inside, kCatalog[static_cast<size_t>(i)].code);
    }
    if (TheInsertChoice.compositeChosen && TheInsertChoice.selectedIndex < s_commandRowsDrawn)
        invertCell(widget, commandCell(TheInsertChoice.selectedIndex));
}

void DrawCharacterGrid(oDlgWidget* widget) {
    if (widget == nullptr)
        return;
    widget->eraseZone(Zone{0, 0, widget->width(), widget->height()});
    for (int32_t ch = 1; ch < 256; ++ch) {
        const Zone cell = characterCell(*widget, ch);
        const char text[2] = {static_cast<char>(ch), '\0'};
        const int32_t width = widget->stringWidth(text, s_gridFont);
        widget->drawString(text, s_gridFont, cell.left + (cell.width() - width) / 2,
                           cell.top + kCharacterBaseline);
    }
    if (TheInsertChoice.characterChosen)
        invertCell(widget, characterCell(*widget, TheInsertChoice.selectedIndex));
}

void ClickCharacterGrid(oDlgWidget* widget) {
    if (widget == nullptr)
        return;
    oPoint p{};
    widget->cursorPoint(p.x, p.y);
    const int32_t ch = characterAt(*widget, p);
    if (ch <= 0)
        return;
    clearChoice(true);
    InsertChoiceState& c = TheInsertChoice;
    c.selectedIndex = ch;
    c.characterChosen = true;
    c.chosenCode = MakeCharCode(c.styleIndex, static_cast<unsigned char>(ch));
    EnableItem(kInsertCharacterButton, charactersCodable(c.styleIndex) && c.chosenCode != 0);
    trackChoice(widget, ch, characterCell(*widget, ch), &characterAt, kInsertCharacterButton);
}

void ClickInsertCommandGrid(oDlgWidget* widget) {
    if (widget == nullptr)
        return;
    oPoint p{};
    widget->cursorPoint(p.x, p.y);
    const int32_t index = commandAt(p);
    if (index < 0)
        return;
    clearChoice(true);
    InsertChoiceState& c = TheInsertChoice;
    c.selectedIndex = index;
    c.compositeChosen = true;
    c.chosenCode = kCatalog[static_cast<size_t>(index)].code;
    EnableItem(kInsertCompositeButton, true);
    trackChoice(widget, index, commandCell(index), &commandAtWidget, kInsertCompositeButton);
}

oListBox* FillMacroList(int controlId, bool keepSelection) {
    InsertExpressionState* r = record();
    const bool keep = keepSelection && TheInsertChoice.macroChosen && r != nullptr;
    if (!keep) {
        TheInsertChoice.macroChosen = false;
        if (r != nullptr)
            r->macroSelection = -1;
    }
    const int32_t count = static_cast<int32_t>(MacroList.size());
    int32_t selected = keep ? r->macroSelection : -1;
    if (selected >= count)
        selected = -1;
    return CreateListBoxForItem(controlId, count, selected, kMacroRowHeight, &drawMacroRow);
}

oListBox* FillInsertStyleList(int controlId, const char* firstEntry) {
    const bool first = firstEntry != nullptr && firstEntry[0] != '\0';
    const int32_t count = kStyleTableSize + (first ? 1 : 0);
    int32_t selected = TheInsertChoice.styleIndex + (first ? 1 : 0);
    if (selected < 0 || selected >= count)
        selected = first ? 0 : -1;
    return CreateListBoxForItem(controlId, count, selected, kStyleRowHeight, &drawStyleRow);
}

void InitInsertExprControls() {
    const InsertChoiceState& c = TheInsertChoice;
    InsertExpressionState* r = record();
    if (!c.macroChosen && r != nullptr && r->macroList != nullptr)
        r->macroList->setSelection(-1);
    EnableItem(kInsertCharacterButton, c.characterChosen && c.chosenCode != 0);
    EnableItem(kInsertCompositeButton, c.compositeChosen);
    EnableItem(kInsertMacroButton, c.macroChosen);
}

void SelectInsertMacro() {
    InsertExpressionState* r = record();
    if (r == nullptr || r->macroList == nullptr)
        return;
    const int32_t row = r->macroList->getSelection();
    clearChoice(false);
    if (row < 0 || row >= static_cast<int32_t>(MacroList.size()))
        return;
    TheInsertChoice.macroChosen = true;
    TheInsertChoice.selectedIndex = row;
    TheInsertChoice.chosenCode = MacroList[static_cast<size_t>(row)].code;
    EnableItem(kInsertMacroButton, true);
    if (DoubleClickFlag != 0)
        DialogResult = kInsertResultMacro;
}

void SelectInsertFont(oDlgWidget* characterGrid, oListBox* styleList) {
    if (styleList == nullptr)
        return;
    InsertChoiceState& c = TheInsertChoice;
    c.styleIndex = std::max(-1, styleList->getSelection() - 1);
    // Only a chosen character follows the font; a chosen command or macro stays as it is.
    if (c.characterChosen) {
        c.chosenCode = charactersCodable(c.styleIndex)
                           ? MakeCharCode(c.styleIndex, static_cast<unsigned char>(c.selectedIndex))
                           : 0;
        EnableItem(kInsertCharacterButton, c.chosenCode != 0);
    }
    buildGridFont();
    if (characterGrid != nullptr)
        plat::InvalidateRect(characterGrid->item(), nullptr, plat::TRUE);
}

int32_t RunInsertExpressionDlg(std::uintptr_t state) {
    return LaunchDialog(kInsertExpressionDialogId, &InsertExpressionDlgProc, state);
}

plat::INT_PTR InsertExpressionDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                      plat::LPARAM lParam) {
    // The dialog has no OK button: Enter stands for the one choice button that is enabled and
    // does nothing while none is.
    if (message == plat::WM_COMMAND && plat::LOWORD(wParam) == plat::IDOK &&
        dialog == CurrentDialog) {
        int target = 0;
        for (int id : {kInsertCharacterButton, kInsertCompositeButton, kInsertMacroButton})
            if (target == 0 && isItemEnabled(id))
                target = id;
        if (target == 0)
            return plat::TRUE;
        wParam = plat::MAKEWPARAM(target, 0);
        lParam = 0;
    }
    return HandleDialogFrame(insertFrame(), dialog, message, wParam, lParam);
}

int32_t InsertSomethingDialog(int32_t initialCode) {
    InsertChoiceState& c = TheInsertChoice;
    InsertExpressionState& state = TheInsertExpressionState;
    c.macroChosen = c.characterChosen = c.compositeChosen = false;
    c.chosenCode = 0;
    // Codes are 16 bits; anything wider names nothing and opens the dialog with no choice.
    const int32_t code = (initialCode & ~0xFFFF) != 0 ? 0 : initialCode;
    const int32_t low = code & kCmdCodeMask;
    if ((low & 0x7F00) == kCmdMacroBase) {
        for (size_t i = 0; i < MacroList.size(); ++i) {
            if (MacroList[i].code == low) {
                c.macroChosen = true;
                c.chosenCode = low;
                c.selectedIndex = static_cast<int32_t>(i);
                state.macroSelection = static_cast<int32_t>(i);
            }
        }
    } else if ((low & 0xE000) != 0) {
        const int32_t row = FindInsertCatalogRow(low);
        if (row >= 0) {
            c.compositeChosen = true;
            c.chosenCode = low;
            c.selectedIndex = row;
        }
    } else if (low != 0 && IsCharCode(low)) {
        c.styleIndex = CharCodeStyle(low);
        c.selectedIndex = low & 0xFF;
        c.chosenCode = MakeCharCode(c.styleIndex, static_cast<unsigned char>(c.selectedIndex));
        c.characterChosen = c.chosenCode != 0 && c.selectedIndex != 0;
    }
    buildGridFont();
    const int32_t result =
        ResultAsCancel(RunInsertExpressionDlg(reinterpret_cast<std::uintptr_t>(&state)));
    if (result == 0)
        return 0;
    if (result == kInsertResultMacro) {
        const int32_t row = state.macroSelection;
        if (row < 0 || row >= static_cast<int32_t>(MacroList.size()))
            return 0;
        return MacroList[static_cast<size_t>(row)].code;
    }
    return c.chosenCode;
}

void RunInsertExpression() {
    for (;;) {
        const int32_t code = InsertSomethingDialog(LastInsertCode);
        // Cancel (code 0) inserts nothing and leaves no choice to be shown next time.
        LastInsertCode = code;
        DoCommand(code, 0);
        if (code == 0 || TheInsertExpressionState.keepOpen != 1)
            return;
    }
}

void ResetInsertExpressionState() {
    TheInsertExpressionState = InsertExpressionState{};
    TheInsertChoice = InsertChoiceState{};
    LastInsertCode = 0;
    s_commandColumns = s_commandRowsDrawn = 0;
}
