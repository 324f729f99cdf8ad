#include "OverSrcs/eChar.h"

#include "OverPc/PERROR.h"
#include "OverSrcs/eClick.h"
#include "OverSrcs/eLayout.h"
#include "OverSrcs/eModelHooks.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

void eChar::setStyle(const FSSRecord& style) {
    InternFontRef(style, m_fontRef);
}

void eChar::storedStyle(FSSRecord& record) const {
    ExpandFontRef(record, m_fontRef);
}

bool eChar::charClass() const {
    return false;
}

bool eChar::isFunctionName() const {
    return false;
}

void eChar::getFSS(FSSRecord& record) const {
    FSSRecord own;
    ExpandFontRef(own, m_fontRef);
    record = DrawState.style;
    MergeFSS(record, own);
}

namespace {

// A leaf's stored style merged onto the style in force, its size settled and magnified, is the
// same for every leaf of one stored style in one context, and so is the font index of each of
// the two italic outcomes. They are kept in a small table under everything they are made of (the
// stored style, the style in force and the magnification; the base size, the size steps and the
// largest size for the whole table), so that leaves resolve a style they met before by look-up.
struct ContextStyle {
    bool used = false;
    FontRef ref;
    FSSRecord context;
    uint8_t magnify = 0;
    FSSRecord resolved;
    KeptFontIndex fonts[2]; // upright, italic
};

struct ContextStyles {
    int32_t baseSize = 0;
    int32_t maximumSize = 0;
    std::vector<int32_t> sizeSteps;
    std::array<ContextStyle, 64> kept;
};

ContextStyles s_contextStyles;

// Forgets the kept styles unless the settings they were made under still hold.
ContextStyles& CurrentContextStyles() {
    ContextStyles& c = s_contextStyles;
    if (c.baseSize != BaseStyleSize() || c.maximumSize != MaximumFontSize ||
        c.sizeSteps != SizeStepTable) {
        c.baseSize = BaseStyleSize();
        c.maximumSize = MaximumFontSize;
        c.sizeSteps = SizeStepTable;
        for (ContextStyle& k : c.kept)
            k.used = false;
    }
    return c;
}

ContextStyle& ContextStyleSlot(ContextStyles& styles, const FontRef& ref, const FSSRecord& context,
                               uint8_t magnify) {
    const uint32_t h = static_cast<uint32_t>(ref.nameOffset) * 31u +
                       static_cast<uint32_t>(ref.size) * 7u +
                       static_cast<uint32_t>(ref.styleBits) * 131u +
                       static_cast<uint32_t>(context.size) * 17u + magnify;
    return styles.kept[(h ^ (h >> 6)) % styles.kept.size()];
}

bool SameRecord(const FSSRecord& a, const FSSRecord& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

} // namespace

void eChar::resolveStyle(FSSRecord& resolved) const {
    getFSS(resolved);
    // A size still relative after the merge (the current style was relative) or the reset marker
    // falls back to the base size, so a leaf never lays out at a negative size.
    if (resolved.size < 0) {
        resolved.size = resolved.size == kSizeReset || DrawState.style.size < 0
                            ? BaseStyleSize()
                            : StepSizeBy(DrawState.style.size, resolved.size - kSizeInherit);
    }
    if (DrawState.options[kOptionMagnify] != 0) {
        resolved.size = resolved.size >= MaximumFontSize / 2 ? MaximumFontSize : resolved.size * 2;
    }
}

void eChar::measureLeaf(FSSRecord& resolved) {
    ContextStyles& styles = CurrentContextStyles();
    const uint8_t magnify = DrawState.options[kOptionMagnify];
    ContextStyle& k = ContextStyleSlot(styles, m_fontRef, DrawState.style, magnify);
    if (k.used && k.ref == m_fontRef && k.magnify == magnify &&
        SameRecord(k.context, DrawState.style)) {
        resolved = k.resolved;
    } else {
        resolveStyle(resolved);
        k = ContextStyle{};
        k.used = true;
        k.ref = m_fontRef;
        k.context = DrawState.style;
        k.magnify = magnify;
        k.resolved = resolved;
    }
    // Letters stay italic; digits, signs and (in mode 4) function names come out upright.
    const uint8_t mode = resolved.italicMode();
    // (The questions are asked only while the answer can still change the style.)
    if (mode >= kItalicLetters && mode != kStyleInheritToo && resolved.style[kStyleItalic] != 0) {
        if (!charClass())
            resolved.style[kStyleItalic] = 0;
        else if (mode == kItalicLettersNotFunctions && isFunctionName())
            resolved.style[kStyleItalic] = 0;
    }
    const int32_t resolution = DrawState.measurePort != nullptr
                                   ? DrawState.measurePort->resolution()
                                   : ResolutionForDpi(72);
    m_size = (resolution * resolved.size + 8) / 16;
    // Only the italic byte differs from the kept style.
    const bool italic = resolved.style[kStyleItalic] == 1;
    m_fontIndex = HookKeptFontIndex(k.fonts[italic ? 1 : 0], resolved.fontName, resolved.size,
                                    resolved.style[kStyleBold] == 1, italic,
                                    resolved.style[kStyleUnderline] == 1);
    m_inkMode = resolved.inkMode();
    m_flags |= kNodeLaidOut | kNodePlaced;
    m_zone.left = 0;
    m_zone.top = 0;
}

void eChar::measure() {
    FSSRecord resolved;
    measureLeaf(resolved);
}

void eChar::draw() {}

void eChar::getHighlightArea(const SelectionEntry&) {
    KV_ASSERT_FAILED("CharGHA");
}

ExprPtr eChar::copyOut(const SelectionEntry&) const {
    KV_ASSERT_FAILED("CharE");
    return ExprPtr();
}

void eChar::insert(SelectionEntry&, ExprPtr) {
    // The node handed over is destroyed with the argument: entries never name such leaves.
    KV_ASSERT_FAILED("CharI");
}

void eChar::keystroke(SelectionEntry&) {
    KV_ASSERT_FAILED("CharK");
}

void eChar::backspace(int32_t) {
    KV_ASSERT_FAILED("CharBS");
}

void eChar::whereCharWalk(int32_t) {}

bool eChar::hitLeaf(oPoint anchor, oPoint point, SelectionEntry& entry) {
    if (m_parent == nullptr)
        return false;
    entry = {m_parent, m_index, m_index, 0, 0};
    if (WholeRowClickOption != 0) {
        entry.end = m_index + 1;
        return true;
    }
    const Zone& abs = DrawState.absZone;
    const int32_t w = abs.right - abs.left;
    const int32_t mid = abs.left + w / 2;
    const int32_t q1 = abs.left + w * 3 / 8;
    const int32_t q3 = abs.left + w * 5 / 8;
    if (anchor.x == point.x) {
        // A click leaves a caret on the nearer side; only a drag selects the character.
        if (point.x > mid)
            entry.start = entry.end = m_index + 1;
        return true;
    }
    if (anchor.x > mid) {
        entry.end = m_index + 1;
        if (point.x > q3)
            entry.start = m_index + 1;
    } else if (point.x >= q1) {
        entry.end = m_index + 1;
    }
    return true;
}

bool eChar::hitClick(oPoint anchor, oPoint point, SelectionEntry& entry) {
    return hitLeaf(anchor, point, entry);
}

bool eChar::hitDrag(oPoint anchor, oPoint point, SelectionEntry& entry) {
    return hitLeaf(anchor, point, entry);
}
