#include "OverSrcs/commands/kEdit.h"
// The code codec, the hooks, the key map and its file.

#include "OverPc/PERROR.h"
#include "OverPc/PFILE.h"
#include "OverPc/PUTIL.h"
#include "OverSrcs/oReader.h"
#include "OverSrcs/oStreams.h"

#include <cstdio>
#include <cstring>
#include <string_view>

// ---- Codes -----------------------------------------------------------------------------------

int32_t MakeCharCode(int style, unsigned char ch) {
    if (style == kTypingStyleSelector)
        return 0x0F00 + ch;
    if (style >= 0 && style < 32)
        return ((style + 16) << 8) + ch;
    return 0;
}

int CharCodeStyle(int32_t code) {
    const int s = (code >> 8) & 0x3F;
    if (s >= 0x10 && s <= 0x2F)
        return s - 0x10;
    return kTypingStyleSelector;
}

bool IsCharCode(int32_t code) {
    const int32_t c = code & kCmdCodeMask;
    return c != 0 && (c & kCmdInsertBit) == 0;
}

int CommandKind(int32_t code) {
    const int32_t c = code & kCmdCodeMask;
    if (c == 0)
        return kKindEmpty;
    if ((c >= 0x6000 && c <= 0x60FF) || c == kCmdAskFont)
        return kKindFont;
    if (c >= 0x6800 && c <= 0x68FF)
        return kKindSubPalette;
    if (c >= 0x6000 && c <= 0x6FFF)
        return kKindSecondary;
    return kKindInsert;
}

// ---- Hooks
// ---------------------------------------------------------------------------------------

namespace {

CommandHooks s_commandHooks;
int32_t s_beepCount = 0;

} // namespace

CommandHooks& TheCommandHooks() {
    return s_commandHooks;
}

void ResetCommandHooks() {
    s_commandHooks = CommandHooks{};
}

void CommandBeep() {
    ++s_beepCount;
    Beep();
}

int32_t CommandBeepCount() {
    return s_beepCount;
}

// ---- Key map
// -------------------------------------------------------------------------------------

namespace {

// Key indexes of the keys without a character: 0x180 + the virtual-key code for the keys whose
// code is 0x20-0x3F.
constexpr int32_t kKeyLeft = 0x180 + 0x25;
constexpr int32_t kKeyUp = 0x180 + 0x26;
constexpr int32_t kKeyRight = 0x180 + 0x27;
constexpr int32_t kKeyDown = 0x180 + 0x28;
constexpr int32_t kKeyDelete = 0x180 + 0x2E;
constexpr int32_t kKeyHome = 0x180 + 0x24;
constexpr int32_t kKeyEnd = 0x180 + 0x23;

KeyMapTable BuildDefaultKeyMap() {
    KeyMapTable map{};
    for (int32_t i = 32; i <= 255; ++i)
        map[static_cast<size_t>(i)] = MakeCharCode(kTypingStyleSelector, static_cast<uint8_t>(i));
    // The keypad block: the keypad's characters 0x20-0x3F.
    for (int32_t i = 288; i <= 319; ++i)
        map[static_cast<size_t>(i)] =
            MakeCharCode(kTypingStyleSelector, static_cast<uint8_t>(i - 256));
    const struct {
        int32_t index;
        int32_t code;
    } bindings[] = {
        {0x08, kCmdBackspace},
        {0x09, kCmdSelectNextSlot},
        {0x0D, kCmdNewLine},
        {0x1B, kCmdSelectFirstSlot},
        {kKeyLeft, kCmdMoveLeft},
        {kKeyRight, kCmdMoveRight},
        {kKeyUp, kCmdMoveUp},
        {kKeyDown, kCmdMoveDown},
        // With Ctrl the arrows nudge: the dispatcher reads Ctrl from the modifier flags.
        {kKeyLeft + kKeyCtrl, kCmdMoveLeft},
        {kKeyRight + kKeyCtrl, kCmdMoveRight},
        {kKeyUp + kKeyCtrl, kCmdMoveUp},
        {kKeyDown + kKeyCtrl, kCmdMoveDown},
        {kKeyDelete, kCmdDeleteForward},
        {kKeyHome, kCmdLineStart},
        {kKeyEnd, kCmdLineEnd},
        {kKeyUp + kKeyAlt, kCmdSelectParent},
        {kKeyDown + kKeyAlt, kCmdSelectParts},
        {0x0D + kKeyCtrl, kCmdNewField},
        {'a' + kKeyCtrl, kCmdSelectAll},
        {'z' + kKeyCtrl, kCmdUndo},
        {'c' + kKeyCtrl, kCmdCopy},
        {'v' + kKeyCtrl, kCmdPaste},
        {'x' + kKeyCtrl, kCmdCut},
        {'/' + kKeyCtrl, 0x4001},
        {'r' + kKeyCtrl, 0x4010},
        {'h' + kKeyCtrl, 0x4201},
        {'l' + kKeyCtrl, 0x4202},
        {'j' + kKeyCtrl, 0x4203},
        {'9' + kKeyCtrl, 0x4111},
        {'[' + kKeyCtrl, 0x4177},
        {'i' + kKeyCtrl, 0x4700},
        {'m' + kKeyCtrl, 0x5222},
        {'e' + kKeyCtrl, kCmdModify},
        {' ' + kKeyCtrl, 0x5302},
    };
    for (const auto& b : bindings)
        map[static_cast<size_t>(b.index)] = b.code;
    return map;
}

} // namespace

KeyMapTable KeyMap = BuildDefaultKeyMap();

const KeyMapTable& DefaultKeyMap() {
    static const KeyMapTable map = BuildDefaultKeyMap();
    return map;
}

void ResetKeyMap() {
    KeyMap = DefaultKeyMap();
}

int32_t LookupKeyCommand(int32_t index) {
    if (index < 0 || index >= kKeyMapSize)
        return -1;
    const int32_t entry = KeyMap[static_cast<size_t>(index)];
    if (entry < 0 || entry > 0xFFFF)
        return -1;
    if (entry == kCmdLegacyBackspace)
        return kCmdBackspace;
    return entry;
}

// ---- keys.prf
// ------------------------------------------------------------------------------------

std::string KeyMapReadResult::report() const {
    std::string text;
    size_t shown = 0;
    for (const KeyMapProblem& p : problems) {
        if (shown == kMostKeyProblemsShown)
            break;
        if (!text.empty())
            text += '\n';
        if (p.line > 0)
            text += "Line " + std::to_string(p.line) + ": ";
        text += p.reason;
        ++shown;
    }
    // A file of many bad records is summed up rather than listed line by line.
    if (problems.size() > shown)
        text += "\n... and " + std::to_string(problems.size() - shown) + " more problems";
    return text;
}

namespace {

// What the key-file handlers share while one file is read.
struct KeyFileState {
    KeyMapReadResult* result = nullptr;
    KeyMapTable fresh{};
    std::vector<bool> bound = std::vector<bool>(kKeyMapSize, false);
    bool versionSeen = false;
    bool refused = false;
    // How far lines have been counted, and the line number there (see currentLine).
    const uint8_t* countedTo = nullptr;
    int32_t linesBefore = 1;
};

// The line of the record being read (from 1): the line ends before the reader's position. Records
// come in file order, so the count goes on from where the last record's left off: reading the
// whole file looks at each byte once.
int32_t currentLine(oReader& reader, KeyFileState& state) {
    const auto* in = dynamic_cast<const oIMemoryStream*>(&reader.stream());
    if (in == nullptr)
        return 0;
    if (state.countedTo == nullptr || state.countedTo < in->start() ||
        state.countedTo > in->current()) {
        state.countedTo = in->start();
        state.linesBefore = 1;
    }
    int32_t line = state.linesBefore;
    for (const uint8_t* p = state.countedTo; p < in->current(); ++p) {
        if (*p == '\n' || *p == 0 || (*p == '\r' && (p + 1 >= in->end() || p[1] != '\n')))
            ++line;
    }
    state.countedTo = in->current();
    state.linesBefore = line;
    return line;
}

// The record's numbers; false (with the reason) when one is malformed or missing, or when more
// follow on the line.
bool readFields(oReader& reader, int32_t* out, int count, std::string& reason) {
    int got = 0;
    const int16_t code = CatchFail([&] {
        for (; got < count; ++got)
            out[got] = reader.getNumber();
    });
    if (code != 0) {
        reason = got == 0 ? "the record has no valid number"
                          : "the record ends too early or has a malformed number";
        return false;
    }
    if (reader.hasMore()) {
        reason = "unexpected data after the record's numbers";
        return false;
    }
    return true;
}

void readKeysVersion(oReader& reader, void* context) {
    auto& state = *static_cast<KeyFileState*>(context);
    const int32_t line = currentLine(reader, state);
    int32_t version = 0;
    std::string reason;
    if (!readFields(reader, &version, 1, reason)) {
        state.result->problems.push_back({line, "version record: " + reason});
        state.refused = state.refused || !state.versionSeen;
        return;
    }
    if (version < 1 || version > kKeysPrefsVersion) {
        state.result->problems.push_back(
            {line, "file version " + std::to_string(version) + " is not one this program reads"});
        state.refused = true;
        return;
    }
    state.versionSeen = true;
}

void readKeyBinding(oReader& reader, void* context) {
    auto& state = *static_cast<KeyFileState*>(context);
    if (state.refused)
        return;
    const int32_t line = currentLine(reader, state);
    auto problem = [&](std::string reason) {
        state.result->problems.push_back({line, std::move(reason)});
    };
    if (!state.versionSeen) {
        problem("a key record comes before the version record");
        state.refused = true;
        return;
    }
    int32_t fields[2] = {0, 0};
    std::string reason;
    if (!readFields(reader, fields, 2, reason)) {
        problem("key record: " + reason);
        return;
    }
    const int32_t index = fields[0];
    const int32_t code = fields[1];
    if (index < 1 || index >= kKeyMapSize) {
        problem("key index " + std::to_string(index) + " is outside 1-" +
                std::to_string(kKeyMapSize - 1));
        return;
    }
    if (code < 0 || code > 0xFFFF) {
        problem("command code " + std::to_string(code) + " of key index " + std::to_string(index) +
                " is outside 0-65535");
        return;
    }
    if (state.bound[static_cast<size_t>(index)])
        problem("key index " + std::to_string(index) +
                " is bound twice; the later binding is kept");
    state.bound[static_cast<size_t>(index)] = true;
    state.fresh[static_cast<size_t>(index)] = code;
    ++state.result->bindings;
}

} // namespace

KeyMapReadResult ReadKeyMap(oIStream& stream, KeyMapTable& map) {
    KeyMapReadResult result;
    KeyFileState state;
    state.result = &result;
    // Tags no handler knows, lines without a tag and continuation lines are skipped by the
    // reader: files of later versions keep their readable part.
    oReader reader;
    oInstallReaderHandler(reader, "Ve", &readKeysVersion, &state);
    oInstallReaderHandler(reader, "Ky", &readKeyBinding, &state);
    reader.read(stream);
    bool refused = state.refused;
    if (!state.versionSeen && !refused) {
        result.problems.push_back({0, "the file has no version record"});
        refused = true;
    }
    if (!refused && result.bindings == 0) {
        result.problems.push_back({0, "the file binds no key"});
        refused = true;
    }
    if (refused) {
        result.problems.push_back({0, "the key map was left as it was"});
        result.bindings = 0;
        return result;
    }
    state.fresh[0] = 0;
    map = state.fresh;
    result.accepted = true;
    return result;
}

void WriteKeyMap(oOStream& stream, const KeyMapTable& map) {
    WriteRecordTag(stream, "Ve");
    stream.putNumber(kKeysPrefsVersion);
    EndRecord(stream);
    for (int32_t i = 1; i < kKeyMapSize; ++i) {
        const int32_t code = map[static_cast<size_t>(i)];
        if (code == 0)
            continue;
        WriteRecordTag(stream, "Ky");
        stream.putNumber(i);
        stream.putNumber(code);
        EndRecord(stream);
    }
}

KeyMapReadResult LoadKeyMapFile(const std::string& path) {
    oIStreamPtr stream(NewIFileStream(path.c_str(), kLargestPrefsFile));
    KeyMapTable map = KeyMap;
    KeyMapReadResult result = ReadKeyMap(*stream, map);
    DestroyStream(stream);
    if (result.accepted)
        KeyMap = map;
    return result;
}

void SaveKeyMapFile(const std::string& path, const KeyMapTable& map) {
    oOStreamPtr stream(NewOFileStream(path.c_str(), false));
    WriteKeyMap(*stream, map);
    CloseStream(stream);
}
