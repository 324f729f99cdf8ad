// The abstract row: a sequence of items laid out left to right on one axis line. Rows can be linked
// into alignment rings whose members share one axis height, depth and size.
#pragma once

#include "OverSrcs/eObject.h"

#include <cstdint>

class eString : public eExpr {
    KV_NODE_BLOCKS(eString)

    // Points the ring link at the row itself.
    void init(int32_t count) override;
    // Takes the row out of its ring.
    void destroy(int32_t flags) override;
    void draw() override;
    void getExtents(int32_t& left, int32_t& right, int32_t& overhang) override;
    // Also clears every other row of the ring and invalidates their ancestors.
    void invalidate() override;
    void insert(SelectionEntry& entry, ExprPtr node) override;
    void replaceInString(SelectionEntry& entry, eString* row) override;
    void traverseSel(SelectionEntry& entry, bool split, bool deep, NodeCallback nodeCallback,
                     NodeCallback leafCallback, EmptyCallback emptyCallback) override;
    // A caret at the end of the row / the whole row.
    void selectInside(SelectionEntry& entry) const override;
    void selectWhole(SelectionEntry& entry) const override;
    // Puts the typed character's node at the entry (a selected range is replaced).
    void keystroke(SelectionEntry& entry) override;
    // Deletes the selected items, or at a caret (direction negative) the item before it.
    void backspace(int32_t direction) override;
    // Backspace at the start of this row.
    void backspaceAt(int32_t index) override;
    bool isString() const override;
    void unlinkOutside(const eExpr* subtree, bool invalidateRows) override;
    void whereCharWalk(int32_t argument) override;
    int32_t change(bool query) override;
    bool equal(const eExpr* other, int32_t options) const override;
    void asianKey(int32_t code) override;
    void newLine(int32_t index) override;
    void newField(int32_t index) override;

    // Appended operation: a row in which slots [start, end) are replaced by n empty slots. Always a
    // new block that takes this row's place, ring position and selection entries; this row is
    // destroyed, and the caller continues with the returned row.
    virtual eString* resizeRange(int32_t start, int32_t end, int32_t n);

    // Replaces children [start, end) by the node; a row's elements are spliced in one by one.
    // Returns the resulting row (this one when the node is null).
    eString* replaceRange(int32_t start, int32_t end, ExprPtr node);

    // replaceRange of a ruled row into a plain row: a new ruled row, with the inserted row's
    // ruler, takes this row's place.
    eString* spliceRuledRow(int32_t start, int32_t end, ExprPtr node);

    // Whether the row is linked with other rows.
    bool isLinked() const { return m_ring != this; }

    eString* m_ring = nullptr; // the next row of the alignment ring; the row itself when alone

protected:
    // Moves the children before `start` and from `end` on into `fresh`, the latter `shift` places
    // further on.
    void moveKeptChildren(eString* fresh, int32_t start, int32_t end, int32_t shift);
    // Puts `fresh` in this row's place and hands it the row's selections; this row is destroyed
    // with whatever was left in it (taking it out of its ring). Returns the new row.
    eString* handOverTo(OwnedNode<eString> fresh);
};

// Joins the two rings (nothing when `other` is already in `row`'s ring).
void LinkRows(eString* row, eString* other);
// Takes the row out of its ring.
void UnlinkRow(eString* row);
// Whether `other` is in `row`'s ring (a row is in its own).
bool InSameRing(const eString* row, const eString* other);

// Joins neighbouring words that may become one (CanMergeWords) in every row the entries name (the
// entry's node when it is a row, else its parent), adjusting the entries as the words move: an
// entry in a word that is joined to the word before it moves into that word; the first entry
// naming a row is moved with the items, or into the merged word when it lay within the two words.
// The entries are typically the saved selection list; every row that changed is invalidated with
// its ancestors. Returns the number of joins.
int32_t MergeWordsForEntries(SelectionEntry* entries, int32_t count);

// Where replaceInString reports what it inserted.
extern SelectionEntry EditResultEntry;
