// The expression pane: the scrolling pane in which one expression is shown and edited. It owns the
// expression through its selection record, turns keys into command codes for the dispatcher and
// mouse presses into selections, and draws the expression with the selection highlight. Document
// windows derive from it. All expression panes stand in one list so that a global setting can
// redraw them all.
#pragma once

#include "ExprSrcs/PaneDisplayList.h"
#include "OverSrcs/eObject.h"
#include "OverSrcs/eSelect.h"
#include "OverSrcs/oWindows.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class eHeader;

// The wide-structure setting is 0 while a pane is measured or drawn, so that margins and outlines
// agree (document panes and the find window's pads alike).
class WideStructureOff {
public:
    WideStructureOff();
    ~WideStructureOff();
    WideStructureOff(const WideStructureOff&) = delete;
    WideStructureOff& operator=(const WideStructureOff&) = delete;

private:
    int32_t m_saved;
};

class ExprPane : public oScrollPane {
public:
    ExprPane();
    // Takes the pane out of the pane list and the Windows menu; the record destroys the tree.
    ~ExprPane() override;

    // The key through the key map to the dispatcher; handled when the map binds it.
    bool doKey(int32_t key) override;
    bool doDoubleByteChar(int32_t character) override;
    // Cursor kind and help text of the node under the pointer.
    void infoAtPoint(oPoint point, int32_t& cursorKind, int32_t& balloonInfo, Zone& zone) override;
    void click(oPoint point) override;
    void contextClick(oPoint point) override;
    // A plain pane always closes; document windows ask to save.
    bool canClose() override;
    void resize(int32_t dx, int32_t dy) override;
    void becomeFront() override;
    void resignFront() override;
    // The caret blink.
    void idle() override;
    // The bottom left of the first selection's highlight, while this pane is the active one.
    bool compositionPoint(oPoint& point) override;
    // Paints the part of the zone being painted; a paint of the whole visible area also records
    // what it showed, when that is not known.
    void drawContents(const Zone& zone) override;
    // Any invalidation but invalidateChanges' own forgets what the screen shows: the next edit
    // repaints everything.
    void invalidate(const Zone* zone) override;
    // The highlight's exclusive-or zones drawn on the window since the last repaint of changes.
    void noteDirectInk(const Zone& zone) override;
    // After an edit, with the tree laid out again: invalidates what changed on screen (the calls
    // that draw differently, the highlight's old and new zones), or everything when what the
    // screen shows is not known or the view changed.
    void invalidateChanges();
    // Lays the tree out again, places it inside the margin and sets the scrolled extent (scrolling
    // to the selection when it left the view).
    virtual void remeasure();
    // The name shown for the pane: a numbered untitled name for a plain pane.
    virtual std::string fileName() const;
    // Document operations; a plain pane has nothing to save to and answers false.
    virtual bool save();
    virtual bool saveAs();

    SelectionRecord& record() { return m_record; }
    const SelectionRecord& record() const { return m_record; }
    eHeader* root() const { return m_record.m_root; }
    // The expression (the root's first child), or null.
    eExpr* expression() const;
    bool changed() const { return m_changed != 0; }
    void setChanged(bool on) { m_changed = on ? 1 : 0; }
    ExprPane* nextPane() const { return m_nextPane; }
    int32_t windowMenuItem() const { return m_windowMenuItem; }

protected:
    SelectionRecord m_record;
    ExprPane* m_nextPane = nullptr;
    uint8_t m_changed = 0;
    int32_t m_windowMenuItem = 0; // the Windows-menu entry, 0 when none
    int32_t m_untitledNumber = 0;
    // What the screen shows of the expression (valid while known), and the list an edit makes.
    PaneDisplayList m_shown;
    PaneDisplayList m_next;
    std::vector<Zone> m_directInk;
    // What invalidateChanges invalidated since the last paint.
    std::vector<Zone> m_changedZones;
    bool m_invalidatingChanges = false;
    // The last help lookup: asked again with the pointer where it was, the view and the layout as
    // they were, it answers without walking the tree (the tick asks several times a tick).
    struct HelpAnswer {
        bool valid = false;
        oPoint point;
        Zone view;
        const eHeader* root = nullptr;
        const void* activeRecord = nullptr;
        uint64_t layout = 0;
        int32_t kind = 0;
        int32_t info = 0;
        Zone zone;
    };
    HelpAnswer m_help;

    friend void InitExprPane(ExprPane* pane, ExprPtr expression, const Zone* windowZone,
                             const char* title, uint8_t option1, uint8_t option2, uint8_t option3,
                             uint8_t option4);
};

// The head of the pane list, newest first.
extern ExprPane* PaneList;

// Sets up a pane made by a derived class: the record over the expression, the pane list, the
// window (its zone computed from the expression's size when none is given), the layout and the
// Windows-menu entry; the window is shown. Fails with errNoMemory into the caller's error
// environment when the window cannot be made; the pane is then still the caller's (deleting it
// takes it out of the pane list).
void InitExprPane(ExprPane* pane, ExprPtr expression, const Zone* windowZone, const char* title,
                  uint8_t option1, uint8_t option2, uint8_t option3, uint8_t option4);
// The window zone a pane without a stored zone gets: from the new-window place, 5 pixels right
// and down per open document, 100 plus twice the expression's width and height.
Zone DefaultPaneWindowZone(int32_t expressionWidth, int32_t expressionHeight,
                           int32_t openDocuments);

// The pane's window takes the focus.
void BringPaneToFront(ExprPane* pane);
// Sets the active pane's changed flag and the tree-changed flag and invalidates the node with its
// ancestors.
void MarkEdited(eExpr* node);
// After an edit: re-measures the active pane and invalidates its pad (only the highlight when the
// tree did not change; nothing during a batch).
void RedrawAfterEdit();
// An edited leaf shown at once, before the next paint: laid out alone in the active pad and drawn
// at its place (a new one right of its previous sibling, on that sibling's first reference line)
// over its erased zone.
void DrawNodeNow(eExpr* node);
// The active pad's line unit (device units of a hairline), at least 1: the step of nudges.
int32_t ActiveLineUnit();
// Invalidates the whole tree of the active pane (or of every pane, or one), lays it out again and
// redraws it.
void RefreshActivePane();
// With no active pane, edits happen in a find window pad: this lays the pad out again and
// invalidates it. Installed by the find window; null does nothing.
extern void (*RemeasureFindPadHook)(oPane* pad);
void RefreshAllPanes();
void RefreshPane(ExprPane* pane);
// Lays the active pane out again and scrolls to the node's selection, without marking the
// document changed (the arrow keys near the edge of the view).
void ScrollActivePaneToSelection(eExpr* node);
void NoOpCallback();
void EmptyHook();

// Context menus and their items.
inline constexpr int32_t kSelectionMenu = 54;
// The name of an untitled pane ("%s" its number).
inline constexpr int kUntitledNameString = 1344;
inline constexpr int32_t kSmallMenu = 55;
// What a right click at the point shows: the selection menu, the small menu, or 0 for none. A
// point off every listed range is first handled as a left click.
int32_t HandlePaneRightClick(oPoint point);
// Runs a context-menu choice; false when the id is not one of the menus' items or the command is
// not available in this build.
bool RunContextMenuItem(int32_t id);

// Gives the port its background before the expression is drawn: the record's own background,
// or the structure-display colour while the structure option is on.
void PaintEditBackground(oGraphPort* port, const SelectionRecord& record);

// Paints the part `zone` of an editing pane: its background, then the record's tree (laid out
// again first by `remeasure` when it is not), clipped to the zone, which stays the pane's clip.
// With `parts`, only those parts of the zone are being painted: nodes far from all of them are
// not drawn.
void DrawEditContents(oScrollPane& pane, const Zone& zone, SelectionRecord& record, eHeader* root,
                      const std::function<void()>& remeasure,
                      const std::vector<Zone>* parts = nullptr);

// What the pane needs of the shell and the menus. The app installs them; every pointer may be null
// (then the call does nothing and the answers are: no modifiers, no menu choice, the default
// place).
struct ExprPaneShellHooks {
    // The modifier keys and the double-click flag of the current key or mouse event.
    void (*inputState)(bool& shift, bool& ctrl, bool& altShift, bool& doubleClick) = nullptr;
    // Windows menu (33) entries: add (returns the item id), remove, check.
    int32_t (*addWindowMenuItem)(const char* title, ExprPane* pane) = nullptr;
    void (*removeWindowMenuItem)(int32_t item) = nullptr;
    void (*checkWindowMenuItem)(int32_t item, bool on) = nullptr;
    // Enables or greys a menu command.
    void (*enableMenuCommand)(int32_t command, bool on) = nullptr;
    // Pops up a context menu at the point (pane coordinates of the pane) and returns the chosen
    // item id, 0 when none.
    int32_t (*trackContextMenu)(ExprPane* pane, int32_t menu, oPoint point) = nullptr;
    // The top-left corner of the first document window (the "Nw" preference).
    oPoint (*newWindowPlace)() = nullptr;
    // Runs while the program is an embedded object: no margin round the expression.
    bool (*embedded)() = nullptr;
    // Whether the find window exists and is the front window.
    bool (*findWindowInFront)() = nullptr;
};
ExprPaneShellHooks& TheExprPaneShellHooks();

// Installs the editing services into the model and command hook tables (selection, redraw after
// edit, marking edits, style buttons). Start-up and test fixtures call it once.
void InstallExprPaneHooks();

// Menu commands the pane enables and greys.
inline constexpr int32_t kCmdCloseNotepad = 259;
inline constexpr int32_t kCmdSave = 263;
inline constexpr int32_t kCmdPrintExpression = 267;
void EnableCloseCommand(bool on);
void EnableSaveAndPrint(bool on);
// The front window's close.
void ForwardToFocusObject();
