// The find and replace window: two small expression pads (the pattern above, the replacement
// below), four buttons drawn by the pane and a status line. The pads edit through the same key
// map and dispatcher as document panes, so keys, palettes and insertions reach whichever pad has
// the focus. The searched document is the expression pane that was in front before the window.
#pragma once

#include "OverSrcs/eSelect.h"
#include "OverSrcs/oWindows.h"

#include <cstdint>
#include <string>

class ExprPane;

// A small expression pane without scroll bars. A click or key makes its record the active one.
class ExprPad : public oScrollPane {
public:
    ExprPad();
    // The record destroys the tree; the active globals are cleared when they named this pad.
    ~ExprPad() override;

    bool doKey(int32_t key) override;
    bool doDoubleByteChar(int32_t character) override;
    void click(oPoint point) override;
    void idle() override;
    void drawContents(const Zone& zone) override;
    // Lays the expression out again inside the margin.
    void remeasure();
    // Installs the pad's record as the active one (no active pane) and shows its highlight.
    void makeActive();
    // Gives up the active record when it is this pad's.
    void resignActive();
    // Replaces the expression by an empty row.
    void clear();

    SelectionRecord& record() { return m_record; }
    // The expression (the root's first child), or null.
    eExpr* expression() const;

private:
    SelectionRecord m_record;
};

class FindPane : public oPane {
public:
    enum Button { kFind = 0, kReplace = 1, kReplaceAndFind = 2, kReplaceAll = 3, kButtons = 4 };

    FindPane();
    ~FindPane() override;

    // Background, captions, buttons and status line, then the pads.
    void draw() override;
    void click(oPoint point) override;
    bool doKey(int32_t key) override;
    bool doDoubleByteChar(int32_t character) override;
    void becomeFront() override;
    void resignFront() override;
    void idle() override;
    // Lays the pads and the buttons out over the pane's bounds.
    void layOut();

    ExprPad* findPad() const { return m_pads[0]; }
    ExprPad* replacePad() const { return m_pads[1]; }
    // The pad that typing and the palettes reach (the last one in focus while a button is).
    ExprPad* focusedPad() const { return m_pads[m_focus]; }
    void focusPad(int index);
    // The button that has the keyboard focus, -1 while a pad has it.
    int focusedButton() const { return m_button; }
    // Tab and Shift+Tab: the next or previous of find pad, replace pad and the four buttons.
    void moveFocus(int step);
    Zone buttonZone(Button button) const;
    // The window's own close button; Escape does the same. The window closes once the click or
    // key is handled.
    Zone closeZone() const;
    void closeWindow();
    // Runs a button's command.
    void press(Button button);
    bool canClose() override;

    // The commands of the four buttons; each answers whether it did anything.
    bool findNext();
    bool replace();
    bool replaceAndFind();
    // Replaces every match of the searched document as one undo step; the count is returned.
    int32_t replaceAll();

    const std::string& status() const { return m_status; }
    void setStatus(std::string text);

private:
    ExprPad* m_pads[2] = {nullptr, nullptr};
    int m_focus = 0;
    int m_button = -1;
    std::string m_status;
    // The match last selected in the searched document (node null when none).
    SelectionEntry m_lastMatch;
    ExprPane* m_lastTarget = nullptr;
};

// Makes the window the first time and shows it, the find pad in focus. It opens where it was last
// closed during this run, else beside the searched document, and always on the screen.
void OpenFindWindow();
// Where a window of the given outer size opens beside a document whose window has the given
// screen zone (empty: no document): to its right, else below it, else at the work area's bottom
// right; centred in the work area without a document; kept inside the work area.
Zone PlaceBesideDocument(const Zone& document, int32_t width, int32_t height, const Zone& workArea);
// Invalidates and lays out both pads again (after a global setting changed).
void RedrawFindPads();
// After an edit in a pad: lays it out again and invalidates it.
void RemeasureFindPad(oPane* pad);
// The window's pane, null while the window is not open.
FindPane* TheFindPane();
// True when the pane is one of the find window's pads.
bool IsFindPad(const oPane* pane);
// Installs the window's services into the command and pane hooks (the menu item is served by
// the caller).
void InstallFindWindow();
// The program is stopping: the window and its panes go, and the next run opens it beside the
// document again.
void ForgetFindWindow();

// The menu item that opens the window.
inline constexpr int kFindMenuId = 525;
