#include "OverSrcs/eModelHooks.h"

#include "OverPc/PUTIL.h"

#include <cstring>
#include <vector>

namespace {

ModelHooks s_hooks;
std::vector<ModelFontDesc> s_fonts;

int32_t defaultFontIndex(const char* face, int32_t points, bool bold, bool italic, bool underline) {
    ModelFontDesc desc;
    std::strncpy(desc.face, face != nullptr ? face : "", kFontNameSize - 1);
    desc.points = points;
    desc.bold = bold;
    desc.italic = italic;
    desc.underline = underline;
    for (size_t i = 0; i < s_fonts.size(); ++i) {
        const ModelFontDesc& known = s_fonts[i];
        if (std::strcmp(known.face, desc.face) == 0 && known.points == points &&
            known.bold == bold && known.italic == italic && known.underline == underline)
            return static_cast<int32_t>(i);
    }
    s_fonts.push_back(desc);
    return static_cast<int32_t>(s_fonts.size() - 1);
}

// Windows-1252 letters above 127 (accented capitals and small letters, the ligatures and the
// ordinal indicators) and the superscript digits.
int defaultCharClass(unsigned char c) {
    if (c == ' ' || c == '\t')
        return 3;
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))
        return 0;
    if ((c >= '0' && c <= '9') || c == '@' || c == '`')
        return 1;
    if (c < 0x80)
        return 2;
    if (c == 0x8A || c == 0x8C || c == 0x8E || c == 0x9A || c == 0x9C || c == 0x9E || c == 0x9F ||
        c == 0x83 || c == 0xAA || c == 0xB5 || c == 0xBA || (c >= 0xC0 && c != 0xD7 && c != 0xF7))
        return 0;
    if (c == 0xB2 || c == 0xB3 || c == 0xB9)
        return 1;
    return 2;
}

} // namespace

ModelHooks& TheModelHooks() {
    return s_hooks;
}

void ResetModelHooks() {
    s_hooks = ModelHooks{};
}

void HookNodeDestroyed(eExpr* node) {
    if (s_hooks.nodeDestroyed != nullptr)
        s_hooks.nodeDestroyed(node);
}

bool HookNodesDestroyedUnnoticed(const eExpr* subtree) {
    if (s_hooks.nodeDestroyed == nullptr)
        return true;
    return s_hooks.selectionsWithin != nullptr && !s_hooks.selectionsWithin(subtree);
}

void HookRetargetSelections(eExpr* from, eExpr* to) {
    if (s_hooks.retargetSelections != nullptr)
        s_hooks.retargetSelections(from, to);
}

void HookFinishEditAt(eExpr* node) {
    if (s_hooks.finishEditAt != nullptr)
        s_hooks.finishEditAt(node);
}

void HookGetSelectionFSS(FSSRecord& record) {
    if (s_hooks.getSelectionFSS != nullptr) {
        s_hooks.getSelectionFSS(record);
        return;
    }
    InitFSSRecord(record);
}

TypingStyleRef HookActiveTypingStyle() {
    if (s_hooks.activeTypingStyle != nullptr)
        return s_hooks.activeTypingStyle();
    return TypingStyleRef{};
}

int32_t HookCurrentCommandCode() {
    return s_hooks.currentCommandCode != nullptr ? s_hooks.currentCommandCode() : 0;
}

SelectionEntry* HookEntryBeingActedUpon() {
    return s_hooks.entryBeingActedUpon != nullptr ? s_hooks.entryBeingActedUpon() : nullptr;
}

void HookGetTypingFSS(FSSRecord& style, uint8_t& colour) {
    if (s_hooks.getTypingFSS != nullptr) {
        s_hooks.getTypingFSS(style, colour);
        return;
    }
    InitFSSRecord(style);
    colour = 0;
}

void HookSelectRange(eExpr* node, int32_t start, int32_t end, int32_t rowStart, int32_t rowEnd) {
    if (s_hooks.selectRange != nullptr)
        s_hooks.selectRange(node, start, end, rowStart, rowEnd);
}

void HookSetSelection(const SelectionEntry& entry) {
    if (s_hooks.setSelection != nullptr)
        s_hooks.setSelection(entry);
}

void HookCheckUserAbort() {
    if (s_hooks.checkUserAbort != nullptr) {
        s_hooks.checkUserAbort();
        return;
    }
    CheckUserAbort();
}

int32_t HookFontIndexForDesc(const char* face, int32_t points, bool bold, bool italic,
                             bool underline) {
    if (s_hooks.fontIndexForDesc != nullptr)
        return s_hooks.fontIndexForDesc(face, points, bold, italic, underline);
    return defaultFontIndex(face, points, bold, italic, underline);
}

int32_t HookKeptFontIndex(KeptFontIndex& kept, const char* face, int32_t points, bool bold,
                          bool italic, bool underline) {
    if (s_hooks.fontIndexEpoch == nullptr || s_hooks.fontIndexForDesc == nullptr)
        return HookFontIndexForDesc(face, points, bold, italic, underline);
    const uint32_t epoch = s_hooks.fontIndexEpoch();
    if (kept.index >= 0 && kept.epoch == epoch && kept.source == s_hooks.fontIndexForDesc)
        return kept.index;
    kept.index = s_hooks.fontIndexForDesc(face, points, bold, italic, underline);
    // Asking may itself change the epoch (a font made again): the answer is kept under the new.
    kept.epoch = s_hooks.fontIndexEpoch();
    kept.source = s_hooks.fontIndexForDesc;
    return kept.index;
}

int32_t HookFontIndexForRole(char role) {
    if (s_hooks.fontIndexForRole != nullptr)
        return s_hooks.fontIndexForRole(role);
    // Without the font manager a role is a face of its own name.
    const char face[] = {'r', 'o', 'l', 'e', ' ', role, '\0'};
    return defaultFontIndex(face, 12, false, false, false);
}

int HookCharClassOf(unsigned char c) {
    if (s_hooks.charClassOf != nullptr)
        return s_hooks.charClassOf(c);
    return defaultCharClass(c);
}

bool HookIsLeadByte(unsigned char c) {
    return s_hooks.isLeadByte != nullptr && s_hooks.isLeadByte(c);
}

bool HookTextIsDoubleByte() {
    // Every double-byte code page starts its lead bytes at or after 0x81.
    for (int c = 0x81; c <= 0xFE; ++c)
        if (HookIsLeadByte(static_cast<unsigned char>(c)))
            return true;
    return false;
}

const ModelFontDesc* DefaultFontDescAt(int32_t index) {
    if (index < 0 || static_cast<size_t>(index) >= s_fonts.size())
        return nullptr;
    return &s_fonts[static_cast<size_t>(index)];
}

int32_t DefaultFontCount() {
    return static_cast<int32_t>(s_fonts.size());
}
