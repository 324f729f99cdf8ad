#include "OverSrcs/eObject.h"

#include "OverPc/PERROR.h"
#include "OverPc/PUTIL.h"
#include "OverSrcs/commands/kCommandScope.h"
#include "OverSrcs/eModelHooks.h"
#include "OverSrcs/eString.h"

#include <cstdlib>
#include <cstring>
#include <new>

// ---- Blocks ------------------------------------------------------------------------------------

// Blocks of up to kPooledBytes come from free lists, one per multiple of 16 bytes, refilled from
// 16 KB slabs that are kept for the rest of the run: a tree of thousands of nodes is built and
// freed without a heap call per node. Larger blocks, and every block in a sanitizer build (which
// should see each node's lifetime), come from the heap.
namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kPoolBlocks = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kPoolBlocks = false;
#else
constexpr bool kPoolBlocks = true;
#endif
#else
constexpr bool kPoolBlocks = true;
#endif

constexpr size_t kBlockGrain = 16;
constexpr size_t kPooledBytes = 512;
constexpr size_t kSlabBytes = 16 * 1024;

struct FreeBlock {
    FreeBlock* next;
};

// Plain data, so it is ready before any constructor runs and never torn down: nodes may be made
// and freed by static objects.
struct BlockPool {
    FreeBlock* free[kPooledBytes / kBlockGrain];
    char* cursor;
    char* limit;
    // Every slab starts with a link to the one made before it, so all stay reachable.
    void* slabs;
};

constinit BlockPool s_pool{};

// Room for a block of `size` bytes from the current slab, starting a new slab when it is full.
void* CarveBlock(size_t size) {
    if (static_cast<size_t>(s_pool.limit - s_pool.cursor) < size) {
        auto* slab = static_cast<char*>(std::malloc(kSlabBytes));
        if (slab == nullptr)
            throw std::bad_alloc();
        *static_cast<void**>(static_cast<void*>(slab)) = s_pool.slabs;
        s_pool.slabs = slab;
        s_pool.cursor = slab + kBlockGrain; // malloc blocks are 16-byte aligned
        s_pool.limit = slab + kSlabBytes;
    }
    void* block = s_pool.cursor;
    s_pool.cursor += size;
    return block;
}

bool Pooled(size_t bytes) {
    return kPoolBlocks && bytes > 0 && bytes <= kPooledBytes;
}

size_t PoolClass(size_t bytes) {
    return (bytes - 1) / kBlockGrain;
}

} // namespace

void* AllocNodeBlockUnfilled(size_t bytes) {
    if (!Pooled(bytes)) {
        void* block = std::malloc(bytes == 0 ? 1 : bytes);
        if (block == nullptr)
            throw std::bad_alloc();
        return block;
    }
    const size_t cls = PoolClass(bytes);
    void* block = s_pool.free[cls];
    if (block != nullptr)
        s_pool.free[cls] = s_pool.free[cls]->next;
    else
        block = CarveBlock((cls + 1) * kBlockGrain);
    return block;
}

void* AllocNodeBlock(size_t bytes) {
    void* block = AllocNodeBlockUnfilled(bytes);
    std::memset(block, 0, bytes);
    return block;
}

void FreeNodeBlock(void* block, size_t bytes) {
    if (block == nullptr)
        return;
    if (!Pooled(bytes)) {
        std::free(block);
        return;
    }
    FreeBlock*& head = s_pool.free[PoolClass(bytes)];
    head = ::new (block) FreeBlock{head};
}

void NodeDeleter::operator()(eExpr* node) const {
    if (node != nullptr)
        node->destroy(kDestroyFree);
}

// ---- Common record
// -------------------------------------------------------------------------------

void eExpr::resetFields() {
    m_flags &= static_cast<uint8_t>(~kNodePlaced);
    m_zone.left = 0;
    m_zone.top = 0;
    m_zone.ref1 = 0;
    m_nudgeX = 0;
    m_nudgeY = 0;
    m_colour = 0;
}

void eExpr::init(int32_t count) {
    m_flags &= static_cast<uint8_t>(~kNodeLaidOut);
    m_parent = nullptr;
    m_count = count;
}

void eExpr::destroy(int32_t flags) {
    // Whatever its class, no selection entry may keep naming a node that is gone; a container
    // that found no selection in its subtree says so once for all of it.
    if ((flags & kDestroyUnselected) == 0)
        HookNodeDestroyed(this);
    if ((flags & kDestroyFree) != 0) {
        void* block = this;
        const size_t bytes = size_t{m_fixedSize} + m_trailing;
        this->~eExpr();
        FreeNodeBlock(block, bytes);
    }
}

ExprPtr eExpr::deepCopy() const {
    ExprPtr copy(clone());
    // The copied child pointers still name this node's children until init clears them.
    copy->init(m_count);
    for (int32_t i = 0; i < m_count; ++i) {
        const eExpr* child = getChild(i);
        copy->setChild(i, child != nullptr ? child->deepCopy() : ExprPtr());
    }
    HookCheckUserAbort();
    return copy;
}

// eExpr::writeEncoding (the nudge and colour records every node writes first) lives with the
// encoding writer's state in etEncode.cpp.

// ---- Child management: leaves log and do nothing; containers use the slot protocol
// ----------------

eExpr* eExpr::getChild(int32_t) const {
    return nullptr;
}

ExprPtr eExpr::detachChild(int32_t) {
    KV_ASSERT_FAILED("ExT");
    return ExprPtr();
}

eExpr* eExpr::setChild(int32_t, ExprPtr) {
    KV_ASSERT_FAILED("ExS");
    // A leaf cannot hold the node; it is destroyed rather than leaked.
    return nullptr;
}

ExprPtr eExpr::slotDetach(int32_t i) {
    if (i < 0 || i >= m_count) {
        KV_ASSERT_FAILED("ExT range");
        return ExprPtr();
    }
    eExpr* child = slots()[i];
    slots()[i] = nullptr;
    if (child != nullptr) {
        child->m_parent = nullptr;
        NoteTreeEdit();
    }
    return ExprPtr(child);
}

eExpr* eExpr::slotSetGeneral(int32_t i, ExprPtr node) {
    if (i < 0 || i >= m_count) {
        KV_ASSERT_FAILED("ExS range");
        return nullptr;
    }
    eExpr* incoming = node.get();
    if (incoming != nullptr && slots()[i] == incoming) {
        // Already in place: nothing to destroy and nothing to move.
        (void)node.release();
        return incoming;
    }
    // A node replaced or moved (building a fresh tree takes the inline path and is no edit).
    NoteTreeEdit();
    if (incoming != nullptr && incoming->m_parent != nullptr) {
        // Still held by a container: take it out there first, so that slot does not keep a pointer
        // to a node it no longer owns (and destroying our old child cannot take it along).
        KV_ASSERT_FAILED("ExS parent");
        eExpr* holder = incoming->m_parent;
        if (incoming->m_index >= 0 && incoming->m_index < holder->m_count &&
            holder->getChild(incoming->m_index) == incoming)
            (void)holder->detachChild(incoming->m_index).release();
        incoming->m_parent = nullptr;
    }
    if (eExpr* old = slots()[i]) {
        slots()[i] = nullptr;
        old->m_parent = nullptr;
        old->destroy(kDestroyFree);
    }
    if (incoming != nullptr) {
        incoming->m_parent = this;
        incoming->m_index = i;
    }
    slots()[i] = node.release();
    return incoming;
}

void eExpr::slotsClear() {
    const size_t room = m_trailing / sizeof(eExpr*);
    const size_t n = static_cast<size_t>(m_count) < room ? static_cast<size_t>(m_count) : room;
    for (size_t i = 0; i < n; ++i)
        slots()[i] = nullptr;
}

int32_t eExpr::subtreeDestroyFlags(int32_t flags) const {
    if ((flags & kDestroyChecked) != 0)
        return flags;
    flags |= kDestroyChecked;
    if (HookNodesDestroyedUnnoticed(this))
        flags |= kDestroyUnselected;
    return flags;
}

void eExpr::destroyChildren(int32_t flags) {
    const int32_t childFlags = kDestroyFree | (flags & (kDestroyChecked | kDestroyUnselected));
    for (int32_t i = 0; i < m_count; ++i) {
        if (eExpr* child = slots()[i]) {
            slots()[i] = nullptr;
            child->m_parent = nullptr;
            child->destroy(childFlags);
        }
        // Freeing a large document takes seconds and cannot stop half-way.
        NoteTerminationSignal();
    }
}

// ---- Selection shapes every node has ------------------------------------------------------------

void eExpr::selectInside(SelectionEntry& entry) const {
    if (m_parent != nullptr) {
        entry = {m_parent, m_index + 1, m_index + 1, 0, 0};
        return;
    }
    // The root header: a caret at the end of the expression.
    eExpr* first = m_count > 0 ? getChild(0) : nullptr;
    if (first == nullptr) {
        KV_ASSERT_FAILED("ExgES");
        entry.rowStart = 0;
        entry.rowEnd = 0;
        return;
    }
    entry = {first, first->m_count, first->m_count, 0, 0};
}

void eExpr::selectWhole(SelectionEntry& entry) const {
    entry = {m_parent, m_index, m_index + 1, 0, 0};
}

// ---- Invalidation
// --------------------------------------------------------------------------------

void eExpr::invalidate() {
    m_flags &= static_cast<uint8_t>(~kNodeLaidOut);
}

void InvalidateAncestors(eExpr* node) {
    if (node == nullptr)
        return;
    for (eExpr* up = node->m_parent; up != nullptr; up = up->m_parent)
        up->invalidate();
}

void InvalidateTree(eExpr* node) {
    if (node == nullptr)
        return;
    node->invalidate();
    NoteTerminationSignal();
    for (int32_t i = 0; i < node->childCount(); ++i)
        InvalidateTree(node->getChild(i));
}

ExprPtr CopyExpr(const eExpr* node) {
    if (node == nullptr)
        return ExprPtr();
    ExprPtr copy = node->deepCopy();
    copy->unlinkOutside(copy.get(), false);
    return copy;
}

void eExpr::unlinkOutside(const eExpr* subtree, bool invalidateRows) {
    for (int32_t i = 0; i < m_count; ++i)
        if (eExpr* child = getChild(i))
            child->unlinkOutside(subtree, invalidateRows);
    NoteTerminationSignal();
}

// ---- Operations whose bodies belong to the editing, selection and encoding code
// --------------------- They are reached only through node classes that supply their own body; the
// base logs.

void eExpr::getHighlightArea(const SelectionEntry&) {}

bool eExpr::hitClick(oPoint, oPoint, SelectionEntry&) {
    // Leaves, rows and templates map clicks themselves; any other node takes none.
    return false;
}

bool eExpr::hitDrag(oPoint, oPoint, SelectionEntry&) {
    return false;
}

int32_t eExpr::childSizeStep(int32_t) const {
    return 0;
}

void eExpr::infoText(int32_t& kind, int32_t& stringId) {
    kind = 0;
    stringId = 0;
}

ExprPtr eExpr::copyOut(const SelectionEntry&) const {
    KV_ASSERT_FAILED("eExpr::copyOut");
    return ExprPtr();
}

void eExpr::insert(SelectionEntry&, ExprPtr) {
    KV_ASSERT_FAILED("eExpr::insert");
}

// eExpr::replaceInMatrix lives with the grids (eMatrix.cpp).

void eExpr::selectFirstSlot(SelectionEntry&) {
    KV_ASSERT_FAILED("eExpr::selectFirstSlot");
}
void eExpr::selectNextSlot(SelectionEntry&) {
    KV_ASSERT_FAILED("eExpr::selectNextSlot");
}
void eExpr::moveLeft(SelectionEntry&) {
    KV_ASSERT_FAILED("eExpr::moveLeft");
}
void eExpr::moveRight(SelectionEntry&) {
    KV_ASSERT_FAILED("eExpr::moveRight");
}
void eExpr::moveUp(SelectionEntry&) {
    KV_ASSERT_FAILED("eExpr::moveUp");
}
void eExpr::moveDown(SelectionEntry&) {
    KV_ASSERT_FAILED("eExpr::moveDown");
}
void eExpr::selectFirst(SelectionEntry&) {
    KV_ASSERT_FAILED("eExpr::selectFirst");
}
void eExpr::selectLast(SelectionEntry&) {
    KV_ASSERT_FAILED("eExpr::selectLast");
}
void eExpr::keystroke(SelectionEntry&) {
    KV_ASSERT_FAILED("eExpr::keystroke");
}
void eExpr::backspace(int32_t) {
    KV_ASSERT_FAILED("eExpr::backspace");
}
void eExpr::backspaceAt(int32_t index) {
    if (index <= 0) {
        SelectionEntry whole;
        selectWhole(whole);
        HookSetSelection(whole);
        return;
    }
    if (m_count == 2) {
        // Backspace at the start of the second slot dissolves the template: the two slots' items
        // take its place in the row, with the caret between them.
        if (m_parent == nullptr || !m_parent->isString()) {
            KV_ASSERT_FAILED("eExpr::backspaceAt row");
            return;
        }
        eString* row = static_cast<eString*>(m_parent);
        const int32_t at = m_index;
        ExprPtr first = detachChild(0);
        ExprPtr second = detachChild(1);
        const int32_t firstCount =
            first && first->isString() ? first->childCount() : (first ? 1 : 0);
        // The template, emptied, is destroyed when the first slot's items take its place.
        row = first ? row->replaceRange(at, at + 1, std::move(first))
                    : row->resizeRange(at, at + 1, 0);
        row = row->replaceRange(at + firstCount, at + firstCount, std::move(second));
        HookFinishEditAt(row);
        HookSelectRange(row, at + firstCount, at + firstCount, 0, 0);
        return;
    }
    eExpr* previous = index - 1 < m_count ? getChild(index - 1) : nullptr;
    if (previous == nullptr)
        return;
    SelectionEntry inner;
    previous->selectInside(inner);
    if (SelectionEntry* entry = HookEntryBeingActedUpon())
        *entry = inner;
    if (inner.node != nullptr)
        inner.node->backspace(-1);
}
void eExpr::selectParts(SelectionEntry&) {
    KV_ASSERT_FAILED("eExpr::selectParts");
}
void eExpr::selectParent(SelectionEntry&) {
    KV_ASSERT_FAILED("eExpr::selectParent");
}
void eExpr::selectChild(SelectionEntry&) {
    KV_ASSERT_FAILED("eExpr::selectChild");
}

void eExpr::showPart(bool show, int32_t) {
    if (m_parent != nullptr)
        m_parent->showPart(show, m_index);
}

bool eExpr::equal(const eExpr*, int32_t) const {
    // Leaves without text (pictures) and the abstract classes never equal anything.
    return false;
}

void eExpr::generate() {
    // Every class with a translation writes it in its own override (etGener); the abstract classes
    // and the nodes no translation names emit nothing.
}

void eExpr::asianKey(int32_t) {
    KV_ASSERT_FAILED("eExprAK");
}

// ---- Type tests ---------------------------------------------------------------------------------

bool eExpr::isWord() const {
    return false;
}
bool eExpr::isSpace() const {
    return false;
}
bool eExpr::isPunctuation() const {
    return false;
}
bool eExpr::isTab() const {
    return false;
}
bool eExpr::isUFO() const {
    return false;
}
bool eExpr::isString() const {
    return false;
}
bool eExpr::isMatrix() const {
    return false;
}
bool eExpr::isTemplate() const {
    return false;
}
bool eExpr::isDxMatrix() const {
    return false;
}
bool eExpr::isDxString() const {
    return false;
}
