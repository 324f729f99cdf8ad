#include "Dialogs/SecondaryCommandDialog.h"

#include "Dialogs/DialogFrame.h"
#include "Dialogs/InsertExpressionDialog.h"
#include "ExprSrcs/commands/tsPrefs.h"
#include "OverPc/PFONTS.h"
#include "OverPc/PUTIL.h"
#include "OverPc/Presourc.h"
#include "OverPc/commands/kMacro.h"
#include "OverPc/commands/kPalette.h"
#include "OverPc/oPixMap.h"
#include "OverPc/shell/CQVApp.h"
#include "OverPc/shell/DialogItems.h"
#include "OverPc/shell/KeyCodes.h"
#include "OverPc/shell/Pwindow.h"
#include "OverPc/shell/oListBox.h"
#include "OverSrcs/commands/kEdit.h"
#include "OverSrcs/commands/kInsert.h"
#include "OverSrcs/eLayout.h"
#include "OverSrcs/eMatrix.h"
#include "OverSrcs/ePseudo.h"
#include "OverSrcs/eSelect.h"
#include "OverSrcs/oWindows.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <memory>

namespace {

constexpr int32_t kFirstHelpString = 1000;
// The short words a row's button shows when it has no picture, in catalog order.
constexpr int32_t kFirstLabelString = 1200;
constexpr int32_t kRowHeight = 22;
// The framed picture box at the left of a row, and where the text starts.
constexpr int32_t kBoxSize = 20;
constexpr int32_t kTextLeft = 28;

constexpr EditCatalogRow row(int32_t code, int32_t index) {
    return EditCatalogRow{code, 0, kFirstHelpString + index, kFirstLabelString + index};
}

// The edit commands, then the keyboard-oriented repeats of the commands usually bound to keys
// (the same codes with help texts that speak of the key).
constexpr std::array<EditCatalogRow, 52> kEditCatalog{{
    row(0x6040, 0),  row(0x6111, 1),  row(0x6113, 2),  row(0x6114, 3),  row(0x6115, 4),
    row(0x6116, 5),  row(0x6117, 6),  row(0x6153, 7),  row(0x6201, 8),  row(0x6202, 9),
    row(0x6203, 10), row(0x6300, 11), row(0x6301, 12), row(0x6302, 13), row(0x6303, 14),
    row(0x6304, 15), row(0x6305, 16), row(0x6306, 17), row(0x6310, 18), row(0x6311, 19),
    row(0x6312, 20), row(0x6313, 21), row(0x6400, 22), row(0x6401, 23), row(0x6501, 24),
    row(0x6502, 25), row(0x6503, 26), row(0x6504, 27), row(0x6511, 28), row(0x6512, 29),
    row(0x6602, 30), row(0x6603, 31), row(0x6604, 32), row(0x6611, 33), row(0x6620, 34),
    row(0x6621, 35), row(0x6302, 36), row(0x6304, 37), row(0x6310, 38), row(0x6311, 39),
    row(0x6312, 40), row(0x6313, 41), row(0x6501, 42), row(0x6502, 43), row(0x6503, 44),
    row(0x6504, 45), row(0x6511, 46), row(0x6512, 47), row(0x6602, 48), row(0x6603, 49),
    row(0x6604, 50), row(0x6611, 51),
}};

constexpr std::array<CommandColour, 14> kColours{{
    {255, 255, 255, 1320},
    {182, 182, 182, 1321},
    {73, 73, 73, 1322},
    {0, 0, 0, 1323},
    {255, 0, 0, 1324},
    {255, 109, 0, 1325},
    {255, 255, 0, 1326},
    {0, 255, 0, 1327},
    {0, 255, 255, 1328},
    {0, 0, 255, 1329},
    {145, 0, 255, 1330},
    {255, 0, 255, 1331},
    {255, 182, 0, 1332},
    {109, 36, 0, 1333},
}};

constexpr int32_t kCatalogRows = static_cast<int32_t>(kEditCatalog.size());
constexpr int32_t kColourRows = static_cast<int32_t>(kColours.size());

// The command the dialog opens on (bit 0x8000 dropped), set by RunSecondaryCommand.
int32_t s_remembered = 0;

SecondaryCommandDlgRecord* record() {
    return DialogRecord<SecondaryCommandDlgRecord>(kSecondaryCommandDialogId);
}

Color colourOf(const CommandColour& c) {
    return Color{c.r, c.g, c.b, 255};
}

// The buttons' labels and the rows' help texts are the program's own (Windows-1252) texts.
int32_t labelFont() {
    return ProgramTextFontIndex(FontIndexForFace("Arial", 7, false, false, false));
}

void drawCentred(oGraphPort& port, const Zone& zone, const char* text, int32_t font,
                 int32_t baselineFromTop) {
    const int32_t width = port.stringWidth(text, font);
    port.drawString(text, font, zone.left + (zone.width() - width) / 2, zone.top + baselineFromTop);
}

// The other-colour row's picture: a stripe of each colour of the table.
void drawStripes(oGraphPort& port, const Zone& box) {
    const int32_t w = box.width();
    for (int32_t i = 0; i < kColourRows; ++i) {
        const Zone stripe{box.left + i * w / kColourRows, box.top,
                          box.left + (i + 1) * w / kColourRows, box.bottom};
        if (stripe.width() > 0)
            port.paintZone(stripe, colourOf(kColours[static_cast<size_t>(i)]));
    }
}

void drawRow(oListBox& list, int32_t row, const Zone& zone, uint32_t) {
    const Zone box{zone.left + 2, zone.top + 1, zone.left + 2 + kBoxSize, zone.top + 1 + kBoxSize};
    const int32_t baseline = zone.top + kRowHeight - 7;
    const int32_t textFont = DefaultProgramTextFontIndex();
    const char* text = LoadResString(kColourRowString);
    if (row < kCatalogRows) {
        const EditCatalogRow& r = kEditCatalog[static_cast<size_t>(row)];
        // The button picture keeps its own black on white when the row is highlighted.
        const Color rowText = list.foreColor(), rowBack = list.backColor();
        list.paintZone(box, kColorWhite);
        list.setColors(&kColorBlack, &kColorWhite);
        DrawCommandPicture(list, box, r.code);
        list.setColors(&rowText, &rowBack);
        text = LoadResString(r.helpStringId);
    } else if (row < kCatalogRows + kColourRows) {
        list.paintZone(box, colourOf(kColours[static_cast<size_t>(row - kCatalogRows)]));
    } else {
        drawStripes(list, box);
    }
    list.frameZone(box, 1, kColorBlack, kLineSolid, kDrawPaint);
    list.drawString(text, textFont, zone.left + kTextLeft, baseline);
}

const DialogFrame& secondaryFrame() {
    static const DialogFrame frame = [] {
        DialogFrame f;
        f.id = kSecondaryCommandDialogId;
        f.lists = {kSecondaryListItem};
        f.labels = {{{17, 57, 415, 259}, kSecondaryListItem}};
        f.init = [](plat::HWND) {
            SecondaryCommandDlgRecord* r = record();
            if (r == nullptr)
                return;
            if (r->list == nullptr)
                r->list = FillSecondaryCommandList(kSecondaryListItem);
            if (r->list != nullptr) {
                r->list->fillItems();
                r->list->setSelection(SecondaryPreselectedRow(s_remembered));
            }
            ShowSecondaryCommandHelp(r->list);
        };
        f.measureList = [](plat::HWND, plat::MEASUREITEMSTRUCT& measure) {
            SecondaryCommandDlgRecord* r = record();
            if (r == nullptr)
                return;
            if (r->list == nullptr)
                r->list = FillSecondaryCommandList(kSecondaryListItem);
            if (r->list != nullptr)
                r->list->measureItem(measure);
        };
        f.drawList = [](plat::HWND, const plat::DRAWITEMSTRUCT& draw) {
            SecondaryCommandDlgRecord* r = record();
            if (r != nullptr && r->list != nullptr)
                r->list->drawItem(draw);
        };
        f.command = [](plat::HWND, int id, int, plat::HWND) {
            SecondaryCommandDlgRecord* r = record();
            if (r == nullptr || id != kSecondaryListItem || r->list == nullptr)
                return;
            if (!r->list->handleNotify() || DialogCallbackBusy != 0)
                return;
            DialogCallbackBusy = 1;
            SelectSecondaryCommand(r->list);
            DialogCallbackBusy = 0;
        };
        f.writeBack = [](plat::HWND) {
            SecondaryCommandDlgRecord* r = record();
            if (r != nullptr)
                r->selection = r->list != nullptr ? r->list->getSelection() : -1;
        };
        f.destroy = [](plat::HWND) {
            SecondaryCommandDlgRecord* r = record();
            if (r == nullptr)
                return;
            delete r->list;
            r->list = nullptr;
        };
        return f;
    }();
    return frame;
}

} // namespace

std::span<const EditCatalogRow> EditCommandCatalog() {
    return kEditCatalog;
}

int32_t FindEditCatalogRow(int32_t code) {
    const int32_t c = code & kCmdCodeMask;
    for (int32_t i = 0; i < kCatalogRows; ++i)
        if (kEditCatalog[static_cast<size_t>(i)].code == c)
            return i;
    return -1;
}

std::span<const CommandColour> CommandColourTable() {
    return kColours;
}

uint8_t CommandColourByte(uint8_t r, uint8_t g, uint8_t b) {
    return static_cast<uint8_t>((r & 0xE0) | ((g & 0xE0) >> 3) | (b >> 6));
}

int32_t SecondaryCommandRowCount() {
    return kCatalogRows + kColourRows + 1;
}

int32_t SecondaryOtherColourRow() {
    return kCatalogRows + kColourRows;
}

int32_t SecondaryRowCode(int32_t row) {
    if (row < 0 || row >= SecondaryOtherColourRow())
        return 0;
    if (row < kCatalogRows)
        return kEditCatalog[static_cast<size_t>(row)].code;
    const CommandColour& c = kColours[static_cast<size_t>(row - kCatalogRows)];
    return kCmdColourBase + CommandColourByte(c.r, c.g, c.b);
}

int32_t SecondaryPreselectedRow(int32_t code) {
    const int32_t c = code & kCmdCodeMask;
    if (c == 0)
        return -1;
    int32_t found = -1;
    for (int32_t i = 0; i < kCatalogRows; ++i)
        if (kEditCatalog[static_cast<size_t>(i)].code == c)
            found = i;
    if (found >= 0)
        return found;
    if ((c & 0xFF00) != kCmdColourBase)
        return -1;
    const Color wanted = Rgb332ToRgba(static_cast<uint8_t>(c & 0xFF));
    for (int32_t i = 0; i < kColourRows; ++i)
        if (colourOf(kColours[static_cast<size_t>(i)]) == wanted)
            found = kCatalogRows + i;
    return found >= 0 ? found : SecondaryOtherColourRow();
}

std::string DescribeCommandBindings(int32_t code, std::size_t size) {
    const int32_t c = code & kCmdCodeMask;
    std::string text;
    if (c != 0) {
        for (int32_t i = 1; i < kKeyMapSize; ++i) {
            const int32_t entry = KeyMap[static_cast<size_t>(i)];
            if (entry == 0 || (entry & kCmdCodeMask) != c)
                continue;
            if (!text.empty())
                text += "; ";
            text += GetKeyName(i);
            if (text.size() >= size)
                break;
        }
    }
    if (c != 0) {
        // Main-palette buttons, counted from 1 among the buttons of their row, and rows counted
        // among those where buttons start (a button two cells high is one row of buttons); a
        // code inside a sub-palette is reported at the button that opens the sub-palette.
        const PaletteRecord& main = MainPalette();
        const std::string format = LoadResString(kPaletteButtonString);
        int32_t buttonRow = 0;
        for (int32_t row = 0; row < main.rows && text.size() < size; ++row) {
            int32_t button = 0;
            for (int32_t column = 0; column < main.columns; ++column) {
                const int32_t cell = main.code(row, column);
                if (cell == 0 || (cell & kPaletteContinuation) != 0)
                    continue;
                if (++button == 1)
                    ++buttonRow;
                bool bound = cell == c;
                const int32_t slot = cell - kCmdSubPaletteBase;
                if (!bound && slot >= 0 && slot < kSubPaletteSlots && SubPalette(slot)) {
                    const PaletteRecord& sub = *SubPalette(slot);
                    for (const PaletteButton& b : sub.cells)
                        bound = bound || (b.code != 0 && (b.code & kCmdCodeMask) == c &&
                                          (b.code & kPaletteContinuation) == 0);
                }
                if (!bound)
                    continue;
                char buffer[64];
                std::snprintf(buffer, sizeof buffer, format.c_str(), buttonRow, button);
                if (!text.empty())
                    text += "; ";
                text += buffer;
            }
        }
    }
    if (text.empty())
        text = LoadResString(kUnboundString);
    if (size == 0)
        return std::string();
    if (text.size() > size - 1)
        text.resize(size - 1);
    return text;
}

namespace {

// Points of a font whose glyphs take about `pixels` device units at the port's resolution.
int32_t pointsForPixels(const oGraphPort& port, int32_t pixels) {
    return std::max<int32_t>(6, pixels * 16 / std::max<int32_t>(1, port.resolution()));
}

// The face of a style, with the base style's face standing in for an inherited one.
const char* faceOf(const FSSRecord& style) {
    const char* face = style.fontName;
    if (face[0] == '\0' || face[0] == '*' || face[0] == '?')
        face = StyleTable[0].fontName;
    if (face[0] == '\0' || face[0] == '*' || face[0] == '?')
        face = "Times New Roman";
    return face;
}

// The node an insertion command builds: a template, a matrix of placeholders or one of the
// special symbols that show (the spaces and the tab would leave the picture blank); null for
// anything else.
ExprPtr insertedNode(int32_t code) {
    const int32_t family = code & 0xFF00, nn = code & 0xFF;
    if (family == kCmdMatrixBase) {
        const int32_t rows = (nn >> 4) & 0xF, columns = nn & 0xF;
        return rows > 0 && columns > 0 ? ExprPtr(NewPlaceholderMatrix(rows, columns)) : ExprPtr();
    }
    if (family == kCmdSymbolBase) {
        constexpr int32_t kFirstVisibleSymbol = 4;
        if (nn < kFirstVisibleSymbol || nn > static_cast<int32_t>(std::size(kPseudoCodes)))
            return ExprPtr();
        const FSSRecord style = StyleTable[0];
        return ExprPtr(NewPseudo(kPseudoCodes[static_cast<size_t>(nn - 1)], &style, 0));
    }
    if (code >= 0x4000 && code < 0x5000)
        return NewTemplateForCommand(code);
    return ExprPtr();
}

// The node an insertion builds, laid out at a resolution small enough for it to fit the zone, in a
// pixmap over the port's background colour; false when the code builds no node.
bool drawInsertedNode(oGraphPort& port, const Zone& zone, int32_t code) {
    ExprPtr node = insertedNode(code);
    if (!node)
        return false;
    const int32_t screen = port.resolution();
    {
        std::unique_ptr<oMeasurePort> measure = NewMeasurePort(screen, 0);
        MeasureExpr(node.get(), measure.get());
    }
    const int32_t w = std::max(1, node->width()), h = std::max(1, node->height());
    // No larger than the screen size, and smaller until it fits.
    const int32_t resolution = std::max<int32_t>(
        4, std::min({screen, screen * zone.width() / w, screen * zone.height() / h}));
    const Zone area{0, 0, zone.width(), zone.height(), 0, 0};
    std::unique_ptr<oPixMap> pixmap(NewPixMap(area, resolution, kPixelDepth32));
    if (!pixmap)
        return false;
    pixmap->paintZone(area, port.backColor());
    MeasureExpr(node.get(), pixmap.get());
    const Zone& z = node->m_zone;
    DrawExpr(node.get(), pixmap.get(), 0, 0, 0, 0, (area.width() - z.width()) / 2 - z.left,
             (area.height() - z.height()) / 2 - z.top);
    port.restorePix(zone.left, zone.top, *pixmap);
    return true;
}

} // namespace

std::string TypingStyleDescription() {
    FSSRecord style = StyleTable[0];
    if (ActiveRecord != nullptr && ActiveRecord->count() > 0) {
        SelectionEntry entry = ActiveRecord->entry(0);
        FSSRecord selected;
        GetSelectionFSS(entry, selected);
        MergeFSS(style, selected);
    }
    std::string text = faceOf(style);
    if (style.size > 0) {
        text += ' ';
        text += std::to_string(style.size);
    }
    if (style.style[kStyleBold] == 1)
        text += " G";
    if (style.style[kStyleItalic] == 1)
        text += " I";
    return text;
}

void DrawCommandPicture(oGraphPort& port, const Zone& zone, int32_t code) {
    const int32_t c = code & kCmdCodeMask;
    if (c == 0 || zone.width() <= 0 || zone.height() <= 0)
        return;
    const int32_t font = labelFont();
    const int32_t baseline = zone.height() / 2 + 4;
    if (const int32_t bitmap = InsertCatalogBitmapId(c); bitmap != 0) {
        // The pictures are drawn for 24 units; a smaller zone gets them scaled down, centred.
        const int32_t side = std::min({zone.width(), zone.height(), 24 * ScreenDrawingUnit()});
        const int32_t x = zone.left + (zone.width() - side) / 2;
        const int32_t y = zone.top + (zone.height() - side) / 2;
        // Its white lets the background (a palette button's face) show through.
        port.drawImage(bitmap, Zone{x, y, x + side, y + side, 0, 0}, port.foreColor(),
                       port.backColor(), kImageOverDestination);
        return;
    }
    if ((c & 0xFF00) == kCmdColourBase) {
        const Zone swatch{zone.left + 2, zone.top + 2, zone.right - 2, zone.bottom - 2};
        port.paintZone(swatch, Rgb332ToRgba(static_cast<uint8_t>(c & 0xFF)));
        port.frameZone(swatch, 1, kColorBlack, kLineSolid, kDrawPaint);
        return;
    }
    if ((c & 0xFF00) == kCmdMacroBase) {
        if (const MacroRecord* macro = FindMacro(c)) {
            DrawMacroPicture(port, zone, *macro);
            return;
        }
    }
    if (IsCharCode(c)) {
        // A typed character: the glyph itself, in the style its code names.
        FSSRecord style = StyleTable[0];
        const int s = CharCodeStyle(c);
        if (s > 0 && s < kStyleTableSize)
            MergeFSS(style, StyleTable[static_cast<size_t>(s)]);
        const int32_t pixels = zone.height() * 3 / 4;
        const int32_t glyphFont =
            FontIndexForFace(faceOf(style), pointsForPixels(port, pixels),
                             style.style[kStyleBold] == 1, style.style[kStyleItalic] == 1, false);
        const char text[2] = {static_cast<char>(c & 0xFF), '\0'};
        drawCentred(port, zone, text, glyphFont, (zone.height() + pixels * 2 / 3) / 2);
        return;
    }
    if (drawInsertedNode(port, zone, c))
        return;
    if (c == kTypingStyleCommand) {
        // The face on the first line, the size and style letters on the second, each cut to
        // the zone.
        const std::string text = TypingStyleDescription();
        size_t split = std::string::npos;
        for (size_t i = 0; i + 1 < text.size(); ++i)
            if (text[i] == ' ' && text[i + 1] >= '0' && text[i + 1] <= '9')
                split = i;
        std::string face = text.substr(0, split);
        const std::string rest = split == std::string::npos ? "" : text.substr(split + 1);
        // The largest small font (up to 7 points on the smallest buttons, more on larger ones)
        // whose two lines fit the height, a line unit apart.
        int32_t points = std::max<int32_t>(7, 7 * zone.height() / 19);
        int32_t small = 0;
        FontMetricWords metrics;
        const int32_t gap = ScreenDrawingUnit();
        for (;; --points) {
            small = FontIndexForFace("Arial", points, false, false, false);
            port.fontMetrics(small, metrics);
            if (points <= 5 || 2 * metrics.ascent + metrics.descent + gap <= zone.height())
                break;
        }
        while (face.size() > 1 && port.stringWidth(face.c_str(), small) > zone.width())
            face.pop_back();
        const int32_t block = 2 * metrics.ascent + metrics.descent + gap;
        const int32_t first = std::max<int32_t>(0, (zone.height() - block) / 2) + metrics.ascent;
        drawCentred(port, zone, face.c_str(), small, first);
        drawCentred(port, zone, rest.c_str(), small, first + gap + metrics.ascent);
        return;
    }
    char text[16] = {};
    // The catalog goes first: the reset-style command 0x6040 sits just past the style table's
    // entries and shows the catalog's word, not an entry number.
    if (const int32_t row = FindEditCatalogRow(c); row >= 0) {
        std::snprintf(
            text, sizeof text, "%s",
            ResStringWith(kEditCatalog[static_cast<size_t>(row)].labelString, {}).c_str());
    } else if ((c & 0xFF00) == kCmdStyleBase && (c & 0xFF) < kStyleTableSize) {
        // A style command: the entry's shortcut in the entry's font.
        const FSSRecord* entry = StyleRecordAt(c & 0xFF);
        if (entry != nullptr && entry->shortcut > ' ') {
            FSSRecord style = StyleTable[0];
            MergeFSS(style, *entry);
            const char glyph[2] = {static_cast<char>(entry->shortcut), '\0'};
            drawCentred(port, zone, glyph,
                        FontIndexForFace(faceOf(style), pointsForPixels(port, zone.height() / 2),
                                         false, false, false),
                        baseline);
            return;
        }
        std::snprintf(text, sizeof text, "F%d", c & 0xFF);
    } else if (const int32_t insert = FindInsertCatalogRow(c); insert >= 0) {
        std::snprintf(text, sizeof text, "%s",
                      InsertCommandCatalog()[static_cast<size_t>(insert)].label);
    } else if ((c & 0xFF00) == kCmdMacroBase) {
        std::snprintf(text, sizeof text, "M%d", c & 0xFF);
    } else if ((c & 0xFF00) == kCmdSubPaletteBase) {
        std::snprintf(text, sizeof text, "P%d", c & 0xFF);
    } else {
        std::snprintf(text, sizeof text, "%04X", static_cast<unsigned>(c));
    }
    // Seven points in the smallest cells, larger in larger ones while the text fits the width.
    int32_t points = std::max<int32_t>(7, 7 * zone.height() / 19);
    int32_t labelFace = font;
    for (; points > 7; --points) {
        labelFace = FontIndexForFace("Arial", points, false, false, false);
        if (port.stringWidth(text, labelFace) <= zone.width())
            break;
    }
    if (points <= 7) {
        drawCentred(port, zone, text, font, baseline);
        return;
    }
    FontMetricWords metrics;
    port.fontMetrics(labelFace, metrics);
    drawCentred(port, zone, text, labelFace,
                (zone.height() + metrics.ascent - metrics.descent) / 2);
}

oListBox* FillSecondaryCommandList(int controlId) {
    return CreateListBoxForItem(controlId, SecondaryCommandRowCount(),
                                SecondaryPreselectedRow(s_remembered), kRowHeight, &drawRow);
}

void ShowSecondaryCommandHelp(oListBox* list) {
    const int32_t row = list != nullptr ? list->getSelection() : -1;
    const int32_t code = SecondaryRowCode(row);
    if (code == 0) {
        SetItemText(kSecondaryBindingsItem, "");
        return;
    }
    SetItemText(kSecondaryBindingsItem, DescribeCommandBindings(code, kBindingsTextSize).c_str());
}

void SelectSecondaryCommand(oListBox* list) {
    ShowSecondaryCommandHelp(list);
    if (DoubleClickFlag != 0)
        DialogResult = 1;
}

int32_t RunSecondaryCommandDlg(std::uintptr_t record) {
    return LaunchDialog(kSecondaryCommandDialogId, &SecondaryCommandDlgProc, record);
}

plat::INT_PTR SecondaryCommandDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                      plat::LPARAM lParam) {
    return HandleDialogFrame(secondaryFrame(), dialog, message, wParam, lParam);
}

int32_t RunSecondaryCommand(int32_t code) {
    s_remembered = code & kCmdCodeMask;
    SecondaryCommandDlgRecord record;
    const int32_t result =
        ResultAsCancel(RunSecondaryCommandDlg(reinterpret_cast<std::uintptr_t>(&record)));
    if (result == 0 || record.selection < 0 || record.selection >= SecondaryCommandRowCount())
        return 0;
    if (record.selection != SecondaryOtherColourRow())
        return SecondaryRowCode(record.selection);
    uint8_t rgb[3] = {128, 128, 128};
    if (!ChooseColorDialog(LoadResString(kChooseColourString), rgb))
        return 0;
    return kCmdColourBase + CommandColourByte(rgb[0], rgb[1], rgb[2]);
}
