#pragma once
// Owner-drawn list boxes in dialogs: a widget bound to a list-box item whose rows the owner draws
// through the port. The dialog makes the object at its first WM_MEASUREITEM, fills the list at
// WM_INITDIALOG and deletes the object when it is destroyed.

#include "OverSrcs/oWindows.h"
#include "plat/Controls.h"
#include "plat/Types.h"

#include <cstdint>
#include <functional>

class oListBox;

// Draws row `row` of the list inside `zone` (the row's rectangle in the list's client
// coordinates). The port's colours are set for the row's state (selected, disabled) and its
// background is already filled; `state` carries the owner-draw state bits.
using ListRowDrawer =
    std::function<void(oListBox& list, int32_t row, const Zone& zone, uint32_t state)>;

class oListBox : public oWidget {
public:
    // Binds the object to list item `item`; the rows are added by fillItems.
    oListBox(plat::HWND item, int32_t count, int32_t selected, int32_t itemHeight,
             ListRowDrawer drawer);
    ~oListBox() override;

    // Adds one owner-drawn row per item (item data = row) and records the client width, then
    // selects the object's selection.
    virtual void fillItems();
    // Clears the selection, then selects `index` when it is not negative.
    virtual void setSelection(int32_t index);
    virtual int32_t getSelection() const { return m_selection; }
    // Answers WM_MEASUREITEM with the list's row height.
    virtual void measureItem(plat::MEASUREITEMSTRUCT& measure);
    // Draws one row: system colours for selected and disabled rows, background fill, then the
    // drawer through the port.
    virtual void drawItem(const plat::DRAWITEMSTRUCT& draw);
    // Reacts to the notification code of the current WM_COMMAND (SetListBoxNotifyCode): a
    // selection change clears DoubleClickFlag and reads the new selection; a double click sets the
    // flag; any other code clears it. True for the first two.
    virtual bool handleNotify();
    // Replaces the row count (the rows are added again by the next fillItems).
    void setCount(int32_t count);
    // Redraws the whole list.
    void redraw();

    plat::HWND item() const { return m_item; }
    int32_t controlId() const { return m_controlId; }
    int32_t count() const { return m_count; }
    int32_t itemHeight() const { return m_itemHeight; }
    int32_t clientWidth() const { return m_clientWidth; }

private:
    plat::HWND m_item = nullptr;
    int32_t m_controlId = 0;
    int32_t m_count = 0;
    int32_t m_selection = -1;
    int32_t m_itemHeight = 0;
    int32_t m_clientWidth = 0;
    ListRowDrawer m_drawer;
};

// A new list object for item `controlId` of CurrentDialog, or null when it has no such item.
oListBox* CreateListBoxForItem(int32_t controlId, int32_t count, int32_t selected,
                               int32_t itemHeight, ListRowDrawer drawer);
