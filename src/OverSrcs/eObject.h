// The expression node base. Every piece of an equation is an eExpr; a container keeps its child
// pointers inline at the end of its own memory block and owns them. Every operation on nodes is a
// virtual operation of eExpr, in one fixed order, so the rest of the program works on eExpr
// pointers and asks the node itself.
//
// Blocks: a node is one zero-filled heap block of the class's object followed by its trailing
// array (child pointers, or text bytes for words). Nodes are made only by their class's factory
// (NewNodeBlock below), never on the stack; they are freed only by destroy(kDestroyFree).
#pragma once

#include "OverSrcs/oGraph.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

class eExpr;
class eString;
class eMatrix;
class oOStream;

// One selected range: in a row child positions, in a word byte positions, in a grid column lines
// (start, end) and row lines (rowStart, rowEnd). A null node ends a list.
struct SelectionEntry {
    eExpr* node = nullptr;
    int32_t start = 0;
    int32_t end = 0;
    int32_t rowStart = 0;
    int32_t rowEnd = 0;
    friend bool operator==(const SelectionEntry&, const SelectionEntry&) = default;
};

// Ownership of a node moves through these; the deleter destroys the node and its subtree.
struct NodeDeleter {
    void operator()(eExpr* node) const;
};
template <class T> using OwnedNode = std::unique_ptr<T, NodeDeleter>;
using ExprPtr = OwnedNode<eExpr>;

// Flag bits of a node.
inline constexpr uint8_t kNodeLaidOut = 1; // the zone is valid
inline constexpr uint8_t kNodePlaced = 2;  // the zone holds a position from an earlier layout
// Set by a row's layout when its children stand left to right without overlapping (the first at or
// after the row's left, each at or after the end of the one before, no slot empty): a point then
// lies in at most one of them, found by halving. Valid while the row is laid out.
inline constexpr uint8_t kNodeChildrenInOrder = 4;

// Bit 0 of destroy's flags frees the block.
inline constexpr int32_t kDestroyFree = 1;
// Set by a container on the flags it passes down when it has asked, before destroying anything,
// whether a selection names a node of its subtree; kDestroyUnselected says none does, so the
// nodes below need not each be reported as destroyed.
inline constexpr int32_t kDestroyChecked = 2;
inline constexpr int32_t kDestroyUnselected = 4;

// The mark of an absent character in whereChar answers.
inline constexpr int32_t kCharAbsent = -7777;

// Traversal callbacks reach their own state through globals of the calling module.
using NodeCallback = void (*)(eExpr* node);
using EmptyCallback = void (*)(SelectionEntry* entry);

class eExpr : public oObject {
public:
    // ---- The virtual operations, in their fixed order. ----
    // Byte copy of the whole block (children pointers included); the copy is not yet initialised.
    eExpr* clone() const override = 0;
    // Clears the laid-out flag and the parent and sets the child count.
    virtual void init(int32_t count);
    // Destructor; kDestroyFree frees the block.
    virtual void destroy(int32_t flags);
    // Copy of the subtree: no parent, laid-out flag clear, alignment rings not carried.
    virtual ExprPtr deepCopy() const;
    virtual void writeEncoding(oOStream& stream) const;
    // No bounds check: callers keep i within 0 .. child count - 1.
    virtual eExpr* getChild(int32_t i) const;
    // Takes the child out of slot i (parent cleared, index kept); null for an empty slot.
    virtual ExprPtr detachChild(int32_t i);
    // Puts a node into slot i, destroying what was there; returns the node (borrowed).
    virtual eExpr* setChild(int32_t i, ExprPtr node);
    virtual void measure();
    virtual void rescale();
    virtual void draw();
    virtual void getHighlightArea(const SelectionEntry& entry);
    virtual void getExtents(int32_t& left, int32_t& right, int32_t& overhang);
    virtual bool hitClick(oPoint anchor, oPoint point, SelectionEntry& entry);
    virtual bool hitDrag(oPoint anchor, oPoint point, SelectionEntry& entry);
    // Size steps at which child i is drawn (negative = smaller).
    virtual int32_t childSizeStep(int32_t i) const;
    virtual void selectInside(SelectionEntry& entry) const;
    virtual void selectWhole(SelectionEntry& entry) const;
    virtual void infoText(int32_t& kind, int32_t& stringId);
    virtual void invalidate();
    virtual ExprPtr copyOut(const SelectionEntry& entry) const;
    virtual void insert(SelectionEntry& entry, ExprPtr node);
    // Puts this node in place of a row selection; the caller hands over its ownership of this node.
    virtual void replaceInString(SelectionEntry& entry, eString* row);
    virtual void replaceInMatrix(SelectionEntry& entry, eMatrix* grid);
    virtual void traverseSel(SelectionEntry& entry, bool split, bool deep,
                             NodeCallback nodeCallback, NodeCallback leafCallback,
                             EmptyCallback emptyCallback);
    virtual void traverse(bool passThrough, bool deep, NodeCallback nodeCallback,
                          NodeCallback leafCallback);
    virtual void selectFirstSlot(SelectionEntry& entry);
    virtual void selectNextSlot(SelectionEntry& entry);
    virtual void moveLeft(SelectionEntry& entry);
    virtual void moveRight(SelectionEntry& entry);
    virtual void moveUp(SelectionEntry& entry);
    virtual void moveDown(SelectionEntry& entry);
    virtual void selectFirst(SelectionEntry& entry);
    virtual void selectLast(SelectionEntry& entry);
    virtual void keystroke(SelectionEntry& entry);
    virtual void backspace(int32_t direction);
    virtual void backspaceAt(int32_t index);
    virtual void newLine(int32_t index);
    virtual void newField(int32_t index);
    // The Modify command; in query mode it reports the node's Modify kind.
    virtual int32_t change(bool query);
    virtual bool isWord() const;
    virtual bool isSpace() const;
    virtual bool isPunctuation() const;
    virtual bool isTab() const;
    virtual bool isUFO() const;
    virtual bool isString() const;
    virtual bool isMatrix() const;
    virtual bool isTemplate() const;
    // Horizontal offset of a character from the node's left edge, kCharAbsent when absent.
    virtual int32_t whereChar(unsigned char c);
    virtual void selectParts(SelectionEntry& entry);
    virtual void selectParent(SelectionEntry& entry);
    virtual void selectChild(SelectionEntry& entry);
    // Takes rows outside `subtree` out of the alignment rings of rows inside it.
    virtual void unlinkOutside(const eExpr* subtree, bool invalidateRows);
    virtual void showPart(bool show, int32_t i);
    virtual bool equal(const eExpr* other, int32_t options) const;
    virtual bool isDxMatrix() const;
    virtual bool isDxString() const;
    // Emits the node through the active translator.
    virtual void generate();
    virtual bool whereCharQuery() const;
    virtual void whereCharWalk(int32_t argument);
    virtual void asianKey(int32_t code);

    // ---- Non-virtual helpers. ----
    // Clears the placed bit, the zone's left, top and axis height, the nudges and the colour.
    void resetFields();
    int32_t childCount() const { return m_count; }
    bool isLaidOut() const { return (m_flags & kNodeLaidOut) != 0; }
    int32_t width() const { return m_zone.right - m_zone.left; }
    int32_t height() const { return m_zone.bottom - m_zone.top; }
    // Bytes of the trailing array (child slots or text).
    size_t trailingBytes() const { return m_trailing; }

    // ---- The common record. ----
    eExpr* m_parent = nullptr;
    int32_t m_index = 0;
    int32_t m_count = 0;
    Zone m_zone;          // ref1 = axis height, ref2 = baseline height
    int32_t m_size = 0;   // nominal size in port units; nudges are 64ths of it
    uint8_t m_flags = 0;  // kNodeLaidOut, kNodePlaced, kNodeChildrenInOrder
    uint8_t m_colour = 0; // 3-3-2 packed; 0 is black
    int32_t m_nudgeX = 0;
    int32_t m_nudgeY = 0;

    // Block bookkeeping: where the trailing array starts and how long it is.
    uint32_t m_fixedSize = 0;
    uint32_t m_trailing = 0;

    eExpr& operator=(const eExpr&) = delete;

protected:
    eExpr() = default;
    eExpr(const eExpr&) = default;
    ~eExpr() override = default;

    // The trailing array: child slots of containers, text bytes of words.
    unsigned char* trailing() { return reinterpret_cast<unsigned char*>(this) + m_fixedSize; }
    const unsigned char* trailing() const {
        return reinterpret_cast<const unsigned char*>(this) + m_fixedSize;
    }
    eExpr** slots() { return reinterpret_cast<eExpr**>(trailing()); }
    eExpr* const* slots() const { return reinterpret_cast<eExpr* const*>(trailing()); }

    // The container protocol shared by rows, templates and grids.
    eExpr* slotGet(int32_t i) const { return slots()[i]; }
    ExprPtr slotDetach(int32_t i);
    // The common case inline (a parentless node into an empty slot, as when a tree is built), the
    // rest in slotSetGeneral.
    eExpr* slotSet(int32_t i, ExprPtr node) {
        eExpr* incoming = node.get();
        if (i >= 0 && i < m_count && incoming != nullptr && incoming->m_parent == nullptr &&
            slots()[i] == nullptr) {
            incoming->m_parent = this;
            incoming->m_index = i;
            slots()[i] = node.release();
            return incoming;
        }
        return slotSetGeneral(i, std::move(node));
    }
    eExpr* slotSetGeneral(int32_t i, ExprPtr node);
    void slotsClear();
    // The flags a container's destroy works with: the caller's, with the selection check of this
    // subtree made unless a container above already made it.
    int32_t subtreeDestroyFlags(int32_t flags) const;
    // Destroys and frees every child, passing the selection check of `flags` down.
    void destroyChildren(int32_t flags);

    template <class T> friend T* NewNodeBlock(size_t trailingBytes);
    template <class T> friend T* NewNodeBlockOwnTrailing(size_t trailingBytes);
    template <class T> friend T* CloneNodeBlock(const T& source);
};

// ---- Blocks ------------------------------------------------------------------------------------

// Fixed part of a class rounded up so that the trailing array is pointer-aligned.
template <class T> constexpr size_t NodeFixedSize() {
    return (sizeof(T) + alignof(eExpr*) - 1) / alignof(eExpr*) * alignof(eExpr*);
}

// A zero-filled block; freed with the same byte count.
void* AllocNodeBlock(size_t bytes);
// The same block with its bytes left as they are, for callers that fill every byte themselves.
void* AllocNodeBlockUnfilled(size_t bytes);
void FreeNodeBlock(void* block, size_t bytes);

// A zero-filled block for a node of class T with that many trailing bytes; only the class is set.
// Allocation failure throws std::bad_alloc, which an error environment turns into errNoMemory.
// Value-initialising T zero-fills the object itself (the constructors are defaulted), so only the
// bytes past it are cleared here rather than the whole block twice.
template <class T> T* NewNodeBlock(size_t trailingBytes) {
    const size_t fixed = NodeFixedSize<T>();
    void* block = AllocNodeBlockUnfilled(fixed + trailingBytes);
    T* node = ::new (block) T();
    std::memset(static_cast<unsigned char*>(block) + sizeof(T), 0,
                fixed - sizeof(T) + trailingBytes);
    node->m_fixedSize = static_cast<uint32_t>(fixed);
    node->m_trailing = static_cast<uint32_t>(trailingBytes);
    return node;
}

// As NewNodeBlock, for a caller that writes every trailing byte itself: only the padding between
// the class and the trailing bytes is cleared.
template <class T> T* NewNodeBlockOwnTrailing(size_t trailingBytes) {
    const size_t fixed = NodeFixedSize<T>();
    void* block = AllocNodeBlockUnfilled(fixed + trailingBytes);
    T* node = ::new (block) T();
    if constexpr (NodeFixedSize<T>() > sizeof(T))
        std::memset(static_cast<unsigned char*>(block) + sizeof(T), 0, fixed - sizeof(T));
    node->m_fixedSize = static_cast<uint32_t>(fixed);
    node->m_trailing = static_cast<uint32_t>(trailingBytes);
    return node;
}

// A block of the same size holding a copy of the node and its trailing bytes.
template <class T> T* CloneNodeBlock(const T& source) {
    void* block = AllocNodeBlock(source.m_fixedSize + source.m_trailing);
    T* node = ::new (block) T(source);
    std::memcpy(reinterpret_cast<unsigned char*>(node) + source.m_fixedSize,
                reinterpret_cast<const unsigned char*>(&source) + source.m_fixedSize,
                source.m_trailing);
    return node;
}

// Every node class opens with this: its constructors are reachable only by the block helpers, and
// a concrete class clones through its copy constructor.
#define KV_NODE_BLOCKS(Class)                                                                      \
protected:                                                                                         \
    Class() = default;                                                                             \
    Class(const Class&) = default;                                                                 \
    template <class T> friend T* ::NewNodeBlock(size_t trailingBytes);                             \
    template <class T> friend T* ::NewNodeBlockOwnTrailing(size_t trailingBytes);                  \
    template <class T> friend T* ::CloneNodeBlock(const T& source);                                \
                                                                                                   \
public:
#define KV_NODE_CLONE(Class)                                                                       \
    KV_NODE_BLOCKS(Class)                                                                          \
    Class* clone() const override {                                                                \
        return CloneNodeBlock<Class>(*this);                                                       \
    }

// ---- Edit helpers of the command layer ----------------------------------------------------------

// invalidate on the node's parent and every further ancestor; the node itself is not touched.
void InvalidateAncestors(eExpr* node);
// invalidate on the node and, recursively, on every child from index 0 up.
void InvalidateTree(eExpr* node);
// A deep copy whose rows share no alignment ring with the tree it was copied from.
ExprPtr CopyExpr(const eExpr* node);
