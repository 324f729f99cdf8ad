#pragma once
// The running program driven as the user drives it: keys through the program's own loop (its key
// filter hands the keys without a character to the front window), drags in a document, and the
// buttons of the palette and its sub-palettes.

#include "App/MessageLoop.h"
#include "AppDocumentFixture.h"
#include "OverPc/commands/kPalette.h"
#include "OverPc/shell/Pwindow.h"
#include "plat/Input.h"
#include "support/NodeInWindow.h"

#include <optional>
#include <string_view>

namespace kvtest {

namespace pt = plat::testing;

class UserInputFixture : public AppDocumentFixture {
public:
    void SetUp() override {
        AppDocumentFixture::SetUp();
        InstallPaletteHooks();
        ResetPalettes();
    }

    // The program's own loop takes the keys: its key filter hands the keys without a character
    // to the front window.
    static void pump() {
        int exitCode = 0;
        EXPECT_FALSE(RunPendingMessages(exitCode));
        pt::runUntilIdle();
    }
    static void keys(std::string_view text) {
        pt::type(text);
        pump();
    }
    static void key(int vk, unsigned mods = 0) {
        pt::key(vk, mods);
        pump();
    }
    // The palette window, open and above the documents. (After a dialog the headless back end
    // leaves the frame above the palette, where the pointer would not reach it.)
    static plat::HWND paletteOnTop() {
        const plat::HWND palette = openPalette();
        if (palette != nullptr)
            plat::BringWindowToTop(palette);
        return palette;
    }
    // The palette's button with the code, if it has one.
    static std::optional<PaletteBlock> blockWithCode(const PaletteRecord& palette, int32_t code) {
        for (const PaletteBlock& b : PaletteBlocks(palette))
            if (b.code == code)
                return b;
        return std::nullopt;
    }
    // The main palette's button with the code.
    static void fromMainPalette(int32_t code) {
        const plat::HWND palette = paletteOnTop();
        ASSERT_NE(palette, nullptr);
        const std::optional<PaletteBlock> b = blockWithCode(MainPalette(), code);
        ASSERT_TRUE(b) << std::hex << code;
        const int32_t cell = PaletteCellSize();
        pt::advanceClock(2000);
        pt::click(palette, b->column * cell + b->columns * cell / 2,
                  b->row * cell + b->rows * cell / 2);
        pump();
    }
    static void undo() { key('Z', pt::kCtrl); }

    // The node's rectangle in the pane's window coordinates.
    static Zone inWindow(ExprPane* pane, const eExpr* node) { return NodeZoneInWindow(pane, node); }

    // Drags across the items first..last of the document's top row, from just left of the first
    // to just right of the last.
    static void dragOver(ExprFilePane* pane, int32_t first, int32_t last) {
        eExpr* row = pane->expression();
        ASSERT_LT(last, row->childCount());
        const Zone a = inWindow(pane, row->getChild(first));
        const Zone b = inWindow(pane, row->getChild(last));
        const int32_t y = (a.top + a.bottom) / 2;
        pt::drag(HandleOfWindow(pane->windowHandle()), plat::POINT{a.left + 1, y},
                 plat::POINT{b.right - 1, y});
        pump();
    }

    // Presses the main palette's button of sub-palette `slot`, moves down into the sub-palette
    // that pops up below it and releases over the sub-palette's button with `code`, as the user
    // picks from a sub-palette. The moves and the release are held back until the palette tracks
    // the press (as a real drag's are, the window system queuing them while the pop-up opens),
    // so that they reach the palette that holds the pointer, wherever they land.
    void fromSubPalette(int32_t slot, int32_t code) {
        const plat::HWND palette = paletteOnTop();
        ASSERT_NE(palette, nullptr);
        const int32_t cell = PaletteCellSize();
        const std::optional<PaletteBlock> inSub = blockWithCode(*SubPalette(slot), code);
        ASSERT_TRUE(inSub) << std::hex << code;
        const std::optional<PaletteBlock> opener =
            blockWithCode(MainPalette(), kCmdSubPaletteBase + slot);
        ASSERT_TRUE(opener) << "no button for sub-palette " << slot;
        const PaletteBlock& found = *inSub;
        const PaletteBlock& button = *opener;
        const plat::POINT press{button.column * cell + button.columns * cell / 2,
                                button.row * cell + button.rows * cell / 2};
        // The sub-palette's top left corner is the button's bottom left one.
        const plat::POINT release{
            button.column * cell + found.column * cell + found.columns * cell / 2,
            (button.row + button.rows) * cell + found.row * cell + found.rows * cell / 2};
        // Far from the last press: no double click.
        pt::advanceClock(2000);
        pt::drag(palette, press, release, 6);
        pump();
    }
};

} // namespace kvtest
