#include "ExprSrcs/eEqual.h"

#include "OverPc/PERROR.h"
#include "OverSrcs/eMatrix.h"
#include "OverSrcs/ePseudo.h"
#include "OverSrcs/eString.h"
#include "OverSrcs/eTempl.h"
#include "OverSrcs/eWord.h"

#include <algorithm>
#include <cstring>

namespace {

// Children in order, stopping at the first pair that differs. An empty slot equals only an empty
// slot.
bool ChildrenEqual(const eExpr* a, const eExpr* b, int32_t options) {
    if (a->childCount() != b->childCount())
        return false;
    for (int32_t i = 0; i < a->childCount(); ++i) {
        const eExpr* x = a->getChild(i);
        const eExpr* y = b->getChild(i);
        if (x == nullptr || y == nullptr) {
            if (x != y)
                return false;
            continue;
        }
        if (!x->equal(y, options))
            return false;
    }
    return true;
}

} // namespace

// ---- equal by class
// ------------------------------------------------------------------------------

bool eWord::equal(const eExpr* other, int32_t) const {
    if (other == nullptr || !other->isWord())
        return false;
    const eWord* word = static_cast<const eWord*>(other);
    return isDoubleByte() == word->isDoubleByte() && view() == word->view();
}

bool ePseudo::equal(const eExpr* other, int32_t) const {
    // Only pseudo-characters answer isWord false while being leaves with a code byte; the class
    // test keeps a picture leaf from ever comparing as one.
    const ePseudo* pseudo = dynamic_cast<const ePseudo*>(other);
    return pseudo != nullptr && pseudo->m_code == m_code;
}

bool eString::equal(const eExpr* other, int32_t options) const {
    // Plain rows equal plain rows and ruled rows ruled rows; rulers and tab stops are layout and
    // take no part.
    if (other == nullptr || !other->isString() || other->isDxString() != isDxString())
        return false;
    return ChildrenEqual(this, other, options);
}

bool eMatrix::equal(const eExpr* other, int32_t options) const {
    // Plain grids equal plain grids and ruled grids ruled grids of the same shape; line styles and
    // positions are layout and take no part.
    if (other == nullptr || !other->isMatrix() || other->isDxMatrix() != isDxMatrix())
        return false;
    const eMatrix* grid = static_cast<const eMatrix*>(other);
    if (grid->rows() != m_rows || grid->columns() != m_columns)
        return false;
    return ChildrenEqual(this, other, options);
}

bool eTemplate::equal(const eExpr* other, int32_t options) const {
    if (other == nullptr || !other->isTemplate())
        return false;
    const eTemplate* templ = static_cast<const eTemplate*>(other);
    int32_t mine = 0;
    int32_t theirs = 0;
    // The code carries family, kind and slot count: a slanted fraction is not a fraction.
    if (!getTemplateCode(mine) || !templ->getTemplateCode(theirs) || mine != theirs)
        return false;
    return ChildrenEqual(this, other, options);
}

// ---- Pattern search
// ------------------------------------------------------------------------------

bool MatchWordText(const eWord* word, int32_t from, int32_t to, const eWord* pattern,
                   SelectionEntry& entry, int32_t) {
    if (word == nullptr || pattern == nullptr || word->isDoubleByte() != pattern->isDoubleByte())
        return false;
    const int32_t length = pattern->length();
    if (length <= 0)
        return false;
    const int32_t step = word->isDoubleByte() ? 2 : 1;
    from = std::max(from, 0);
    to = std::min(to, word->length());
    for (int32_t p = from; p <= to - length; p += step) {
        if (std::memcmp(word->text() + p, pattern->text(), static_cast<size_t>(length)) == 0) {
            entry.node = const_cast<eWord*>(word);
            entry.start = p;
            entry.end = p + length;
            return true;
        }
    }
    return false;
}

bool FindPatternInRange(SelectionEntry& entry, const eExpr* pattern, int32_t options,
                        int32_t* count) {
    if (count != nullptr)
        *count = 0;
    eExpr* row = entry.node;
    if (row == nullptr || pattern == nullptr || pattern->childCount() == 0)
        return false;
    const int32_t first = std::max(std::min(entry.start, entry.end), 0);
    const int32_t last = std::min(std::max(entry.start, entry.end), row->childCount());
    const int32_t n = pattern->childCount();
    const eExpr* only = n == 1 ? pattern->getChild(0) : nullptr;
    if (only != nullptr && only->isWord()) {
        const eWord* patternWord = static_cast<const eWord*>(only);
        for (int32_t i = first; i < last; ++i) {
            const eExpr* element = row->getChild(i);
            if (element == nullptr || !element->isWord())
                continue;
            const eWord* word = static_cast<const eWord*>(element);
            SelectionEntry found = entry;
            if (!MatchWordText(word, 0, word->length(), patternWord, found, options))
                continue;
            entry = found;
            if (count != nullptr) {
                *count = 1;
                SelectionEntry next = found;
                while (MatchWordText(word, next.end, word->length(), patternWord, next, options)) {
                    entry.end = next.end;
                    ++*count;
                }
            }
            return true;
        }
        return false;
    }
    for (int32_t s = first; s <= last - n; ++s) {
        bool all = true;
        for (int32_t k = 0; k < n && all; ++k) {
            const eExpr* element = row->getChild(s + k);
            const eExpr* wanted = pattern->getChild(k);
            all = element != nullptr && wanted != nullptr && element->equal(wanted, options);
        }
        if (all) {
            entry.start = s;
            entry.end = s + n;
            if (count != nullptr)
                *count = 1;
            return true;
        }
    }
    return false;
}
