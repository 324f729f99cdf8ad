#include "OverPc/commands/kPrefs.h"

#include "ExprSrcs/commands/tsPrefs.h"
#include "OverPc/PERROR.h"
#include "OverPc/PEXPRPICT.h"
#include "OverPc/PFILE.h"
#include "OverPc/PFONTS.h"
#include "OverPc/Presourc.h"
#include "OverPc/commands/PrefFieldRanges.h"
#include "OverPc/commands/kMacro.h"
#include "OverPc/documents/ClipboardCommands.h"
#include "OverPc/documents/CopyTargets.h"
#include "OverPc/documents/Exports.h"
#include "OverPc/oPixMap.h"
#include "OverPc/shell/CQVApp.h"
#include "OverSrcs/commands/kEdit.h"
#include "OverSrcs/eLayout.h"
#include "OverSrcs/eWord.h"
#include "OverSrcs/oReader.h"
#include "OverSrcs/oStreams.h"
#include "plat/Files.h"

#include <cstdio>
#include <cstring>
#include <filesystem>

namespace {

constexpr size_t kRecordCount = kGeneralPrefRecords.size();
// More numbers than this on one line are not kept.
constexpr size_t kMaxKeptFields = 64;
// A font name is at most 31 characters; a translator path at most a path buffer.
constexpr uint32_t kMaxTranslatorPath = 1024;

constexpr int recordIndex(std::string_view tag) {
    for (size_t i = 0; i < kRecordCount; ++i)
        if (tag == kGeneralPrefRecords[i].tag)
            return static_cast<int>(i);
    return -1;
}

std::vector<int32_t> defaultsOf(const PrefRecordDefault& r) {
    return {r.values.begin(), r.values.begin() + r.count};
}

// The values of the records no other module holds, by table index.
std::array<std::vector<int32_t>, kRecordCount>& storedValues() {
    static std::array<std::vector<int32_t>, kRecordCount> s_values = [] {
        std::array<std::vector<int32_t>, kRecordCount> v;
        for (size_t i = 0; i < kRecordCount; ++i)
            v[i] = defaultsOf(kGeneralPrefRecords[i]);
        return v;
    }();
    return s_values;
}

std::string& translatorText() {
    static std::string s_text;
    return s_text;
}

bool s_keptDamaged = false;
// A failure to write a preferences file has been said, and nothing was written since.
bool s_writeFailureSaid = false;

// general.prf as this program would write it, when it was last read or written: a save of the
// same settings leaves the file alone, so a start or a quit without a change writes nothing.
struct WrittenPrefs {
    std::string path;
    std::string text;
};
WrittenPrefs& lastWritten() {
    static WrittenPrefs s_written;
    return s_written;
}

uint8_t asByte(int32_t v) {
    return static_cast<uint8_t>(v != 0 ? 1 : 0);
}

// The record's fields from the settings that hold them.
std::vector<int32_t> gather(std::string_view tag) {
    if (tag == "Ve")
        return {kGeneralPrefsVersion};
    if (tag == "Ot")
        return {MeasurementUnitSetting, WideStructureSetting, ReplacePlaceholdersOption,
                AutoSpaceOption};
    if (tag == "Ss")
        return {SizeStepSettings.minimum, SizeStepSettings.step1, SizeStepSettings.step2,
                SizeStepSettings.step3, MinimumFontSize};
    if (tag == "Rf") {
        const TypesettingRecord& t = TypesettingSettings;
        const RootRecord& r = RootSettings;
        return {t.fractionBarThickness, t.fractionDistance, t.fractionSize, r.indexSize,
                r.strokeWeight,         r.rightHook};
    }
    if (tag == "Sc") {
        const TypesettingRecord& t = TypesettingSettings;
        return {t.scriptSize,     t.bigOperatorSize,       t.superscriptHeight,
                t.subscriptDepth, t.superscriptSeparation, t.subscriptSeparation};
    }
    if (tag == "In") {
        const IntegralRecord& s = IntegralSettings;
        return {s.limitsSize,     s.strokeWeight,     s.defaultHeight,   s.fixedHeight,
                s.quantiseHeight, s.straightSegments, s.removeInnerSpace};
    }
    if (tag == "Fe") {
        const DelimiterRecord& s = DelimiterSettings;
        return {s.verticalWeight, s.horizontalWeight, s.increaseHeight,
                s.quantiseSize,   s.straightSegments, s.balanceAboutAxis};
    }
    if (tag == "Mk")
        return {EmbellishmentSettings.dotWeight, EmbellishmentSettings.strokeWeight};
    if (tag == "Co")
        return {PictureRotationSetting};
    if (tag == "Bd") {
        const PictureMargins& m = PictureMarginSettings;
        return {m.left, m.top, m.right, m.bottom};
    }
    if (tag == "Mr")
        return {MagnificationNum, MagnificationDen};
    if (tag == "Cy")
        return {RudizeSetting};
    if (tag == "Cf")
        return {DefaultCopyFormat};
    if (tag == "Pn") {
        std::vector<int32_t> v = storedValues()[static_cast<size_t>(recordIndex(tag))];
        v[0] = PngCopyImgTag;
        v[1] = PngMathSpeakInAlt;
        v[2] = PngSmoothing;
        return v;
    }
    if (tag == "Qv") {
        std::vector<int32_t> v = storedValues()[static_cast<size_t>(recordIndex(tag))];
        v[0] = PluginTagMathSpeak;
        return v;
    }
    return storedValues()[static_cast<size_t>(recordIndex(tag))];
}

// Puts a record's fields (at least its count of them) into the settings that hold them.
void store(std::string_view tag, const std::vector<int32_t>& v) {
    if (tag == "Ve")
        return;
    if (tag == "Ot") {
        MeasurementUnitSetting = v[0];
        // The wide structure is a drawing aid of the session: a stored value is not taken.
        WideStructureSetting = 0;
        ReplacePlaceholdersOption = asByte(v[2]);
        AutoSpaceOption = asByte(v[3]);
    } else if (tag == "Ss") {
        SizeStepSettings = {v[0], v[1], v[2], v[3]};
        MinimumFontSize = v[4];
    } else if (tag == "Rf") {
        TypesettingRecord& t = TypesettingSettings;
        t.fractionBarThickness = v[0];
        t.fractionDistance = v[1];
        t.fractionSize = v[2];
        RootSettings = {v[3], v[4], v[5]};
    } else if (tag == "Sc") {
        TypesettingRecord& t = TypesettingSettings;
        t.scriptSize = v[0];
        t.bigOperatorSize = v[1];
        t.superscriptHeight = v[2];
        t.subscriptDepth = v[3];
        t.superscriptSeparation = v[4];
        t.subscriptSeparation = v[5];
    } else if (tag == "In") {
        IntegralSettings = {v[0],         v[1],         v[2],        asByte(v[3]),
                            asByte(v[4]), asByte(v[5]), asByte(v[6])};
    } else if (tag == "Fe") {
        DelimiterSettings = {v[0], v[1], v[2], asByte(v[3]), asByte(v[4]), asByte(v[5])};
    } else if (tag == "Mk") {
        EmbellishmentSettings = {v[0], v[1]};
    } else if (tag == "Co") {
        PictureRotationSetting = v[0];
        NextPictureRotation = v[0];
    } else if (tag == "Bd") {
        PictureMarginSettings = {v[0], v[1], v[2], v[3]};
    } else if (tag == "Mr") {
        MagnificationNum = v[0];
        MagnificationDen = v[1];
    } else if (tag == "Cy") {
        RudizeSetting = asByte(v[0]);
    } else if (tag == "Cf") {
        DefaultCopyFormat = v[0];
    } else {
        if (tag == "Pn") {
            PngCopyImgTag = asByte(v[0]);
            PngMathSpeakInAlt = asByte(v[1]);
            PngSmoothing = v[2];
        }
        if (tag == "Qv")
            PluginTagMathSpeak = v[0] != 0 ? 1 : 0;
        storedValues()[static_cast<size_t>(recordIndex(tag))] = v;
        // The picture writers read their resolutions (and the EPS clipboard format) from here.
        // The record keeps the resolution as it was typed; the writers get one they can draw at
        // (0 for their default when it is 0 or less, the largest they make when it is huge).
        if (tag == "Ep") {
            EpsClipboardType = v[0];
            EpsOutputType = v[1];
            EpsResolution = UsablePictureResolution(v[2]);
        } else if (tag == "Bi") {
            BitmapResolution = UsablePictureResolution(v[0]);
        } else if (tag == "Mf") {
            MetafileResolution = UsablePictureResolution(v[0]);
        } else if (tag == "Wd") {
            WordTargetAlignment = std::clamp(v[1], 0, 4);
        }
    }
}

// ---- Reading ------------------------------------------------------------------------------------

struct ReadState {
    GeneralPrefsReadResult* result = nullptr;
    bool versionSeen = false;
    bool stylesCleared = false;
};

ReadState* stateOf(void* context) {
    return static_cast<ReadState*>(context);
}

void readVersion(oReader& reader, void* context) {
    const int32_t version = reader.getNumber();
    ReadState* state = stateOf(context);
    state->versionSeen = true;
    if (version < 1 || version > kGeneralPrefsVersion)
        state->result->unknownVersion = true;
}

// A record with a value that no dialog or command of the program could have stored is refused
// whole, as a damaged one: it changes nothing and the file is reported.
void checkRanges(std::string_view tag, const std::vector<int32_t>& values) {
    for (size_t i = 0; i < values.size(); ++i) {
        if (!PrefFieldRangeOf(tag, i).holds(values[i]))
            Fail(errDataCorrupted);
    }
    // A window's place is a rectangle.
    if (tag == "Nw" && (values[2] <= values[0] || values[3] <= values[1]))
        Fail(errDataCorrupted);
}

void readNumbers(oReader& reader, void*) {
    const std::string_view tag(reader.tag(), 2);
    const PrefRecordDefault& r = kGeneralPrefRecords[static_cast<size_t>(recordIndex(tag))];
    std::vector<int32_t> values;
    for (int32_t i = 0; i < r.count; ++i)
        values.push_back(reader.getNumber());
    if (r.keepsExtra)
        while (values.size() < kMaxKeptFields && reader.hasMore())
            values.push_back(reader.getNumber());
    checkRanges(tag, values);
    store(tag, values);
}

// Records of tags this program does not know (a later version's) are kept, with their
// continuation lines, and written back after the ones it knows.
constexpr size_t kMaxKeptRecords = 256;
constexpr uint32_t kMaxKeptLine = 4096;

std::vector<std::string>& unknownRecords() {
    static std::vector<std::string> s_records;
    return s_records;
}

void readUnknown(oReader& reader, void*) {
    // A record kept behind the comment prefix stays behind it.
    std::string record = reader.commented() ? "%%" : "";
    record.append(reader.tag(), 2);
    record += reader.restOfLine(kMaxKeptLine);
    std::string more;
    while (reader.continuationLine(more, kMaxKeptLine))
        record += "\n\t" + more;
    if (unknownRecords().size() < kMaxKeptRecords)
        unknownRecords().push_back(std::move(record));
}

// A macro record that fails is counted before it is read and let off when it reads whole.
void readMacro(oReader& reader, void* context) {
    ReadState* state = stateOf(context);
    ++state->result->macrosFailed;
    ReadMacroRecord(reader, nullptr);
    --state->result->macrosFailed;
}

void readTranslator(oReader& reader, void*) {
    translatorText() = reader.restOfLine(kMaxTranslatorPath);
}

uint8_t byteField(oReader& reader) {
    const int32_t v = reader.getNumber();
    if (v < 0 || v > 255)
        Fail(errDataCorrupted);
    return static_cast<uint8_t>(v);
}

// The fields of a style record after its index: size, seven style bytes, the further byte, the
// packed byte, shortcut, slippery, then the font name.
FSSRecord readStyleFields(oReader& reader) {
    FSSRecord r;
    r.size = reader.getNumber();
    for (uint8_t& b : r.style)
        b = byteField(reader);
    r.further = byteField(reader);
    r.packed = byteField(reader);
    r.shortcut = byteField(reader);
    r.slippery = byteField(reader) != 0 ? 1 : 0;
    const std::string name = reader.restOfLine(kFontNameSize - 1);
    if (name.empty())
        Fail(errDataCorrupted);
    SetFSSFontName(r, name);
    return r;
}

void readDefaultStyle(oReader& reader, void*) {
    DefaultStyle = readStyleFields(reader);
}

void readStyleEntry(oReader& reader, void* context) {
    const int32_t index = reader.getNumber();
    if (index < 0 || index >= kStyleTableSize)
        Fail(errDataCorrupted);
    const FSSRecord record = readStyleFields(reader);
    // The file lists the entries in use: the others are free.
    ReadState* state = stateOf(context);
    if (!state->stylesCleared) {
        FSSRecord freeEntry;
        InitFSSRecord(freeEntry);
        for (int i = 1; i < kStyleTableSize; ++i)
            StyleTable[static_cast<size_t>(i)] = freeEntry;
        state->stylesCleared = true;
    }
    StyleTable[static_cast<size_t>(index)] = record;
}

void writeStyleFields(oOStream& out, const FSSRecord& r) {
    out.putNumber(r.size);
    for (uint8_t b : r.style)
        out.putNumber(b);
    out.putNumber(r.further);
    out.putNumber(r.packed);
    out.putNumber(r.shortcut);
    out.putNumber(r.slippery);
    WriteRecordText(out, r.fontName);
    EndRecord(out);
}

void writeNumbers(oOStream& out, const char* tag, const std::vector<int32_t>& values) {
    WriteRecordTag(out, tag);
    for (int32_t v : values)
        out.putNumber(v);
    EndRecord(out);
}

// Makes the preferences folder when it is missing (its parents too).
void makeFolder(const std::string& folder) {
    if (plat::GetFileAttributes(folder.c_str()) == plat::INVALID_FILE_ATTRIBUTES) {
        std::error_code ec;
        std::filesystem::create_directories(plat::NativePath(folder), ec);
    }
}

// After a symbol-font choice read from the file: the font manager starts again with the face
// replacement of this run.
void applySymbolFontChoice() {
    if (RudizeSetting == 0 || FaceIdOfName("Symbol") < 0)
        return;
    RebuildFontManager();
    SymbolFaceReplacement = {static_cast<int16_t>(FaceIdOfName("Symbol")),
                             static_cast<int16_t>(FaceIdOfName("Rudize"))};
}

void showDamagedNotice(const std::string& path, int macrosFailed) {
    const char* format = LoadResString(kPrefsDamagedMessage);
    std::string text = format != nullptr ? format : "%s";
    const size_t at = text.find("%s");
    if (at != std::string::npos)
        text.replace(at, 2, path);
    // Which macros are missing is worth saying: the keys and buttons bound to them do nothing.
    if (const char* lost = LoadResString(kMacrosDamagedString);
        lost != nullptr && macrosFailed > 0) {
        std::string more = lost;
        if (const size_t n = more.find("%d"); n != std::string::npos)
            more.replace(n, 2, std::to_string(macrosFailed));
        text += "\n\n" + more;
    }
    AppMessageBox(text.c_str(), nullptr, 0x2040); // task-modal information box
}

} // namespace

// ---- Values -------------------------------------------------------------------------------------

int32_t GeneralPrefValue(std::string_view tag, int field) {
    const int i = recordIndex(tag);
    if (i < 0 || field < 0)
        return 0;
    const std::vector<int32_t> values = gather(tag);
    return static_cast<size_t>(field) < values.size() ? values[static_cast<size_t>(field)] : 0;
}

void SetGeneralPrefValue(std::string_view tag, int field, int32_t value) {
    const int i = recordIndex(tag);
    if (i < 0 || field < 0 || static_cast<size_t>(field) >= kMaxKeptFields)
        return;
    std::vector<int32_t> values = gather(tag);
    if (static_cast<size_t>(field) >= values.size())
        values.resize(static_cast<size_t>(field) + 1, 0);
    values[static_cast<size_t>(field)] = value;
    store(tag, values);
}

oPoint NewWindowPlace() {
    return {GeneralPrefValue("Nw", 0), GeneralPrefValue("Nw", 1)};
}

const std::string& TranslatorPrefText() {
    return translatorText();
}

void SetTranslatorPrefText(std::string_view path) {
    translatorText() = std::string(path);
}

// ---- Reading and writing ------------------------------------------------------------------------

void ResetGeneralPrefs() {
    ResetStyleTable();
    ResetTypesettingSettings();
    MacroList.clear();
    for (const PrefRecordDefault& r : kGeneralPrefRecords)
        store(r.tag, defaultsOf(r));
    // Before any file is read the wide structure is on (reading "Ot" turns it off).
    WideStructureSetting = kGeneralPrefRecords[recordIndex("Ot")].values[1];
    translatorText().clear();
    unknownRecords().clear();
}

GeneralPrefsReadResult ReadGeneralPrefs(oIStream& stream) {
    GeneralPrefsReadResult result;
    ReadState state;
    state.result = &result;
    oReader reader;
    for (const PrefRecordDefault& r : kGeneralPrefRecords)
        oInstallReaderHandler(reader, r.tag, &readNumbers, &state);
    oInstallReaderHandler(reader, "Ve", &readVersion, &state);
    oInstallReaderHandler(reader, kTranslatorPrefTag, &readTranslator, &state);
    oInstallReaderHandler(reader, "Ds", &readDefaultStyle, &state);
    oInstallReaderHandler(reader, "St", &readStyleEntry, &state);
    oInstallReaderHandler(reader, kMacroRecordTag, &readMacro, &state);
    oInstallUnknownRecordHandler(reader, &readUnknown, &state);
    reader.read(stream);
    result.recordsRead = reader.recordsRead();
    result.recordsFailed = reader.recordsFailed();
    // Every file this program writes starts with its version: without one it is not ours.
    if (!state.versionSeen)
        result.unknownVersion = true;
    return result;
}

bool IsFreeStyleEntry(const FSSRecord& entry) {
    const auto inheritsField = [](uint8_t value) {
        return value == kStyleInherit || value == kStyleInheritToo;
    };
    if (std::strcmp(entry.fontName, kFontInherit) != 0 || entry.size != kSizeInherit ||
        entry.shortcut != ' ')
        return false;
    for (uint8_t b : entry.style)
        if (b != kStyleInherit)
            return false;
    return inheritsField(entry.italicMode()) && inheritsField(entry.inkMode());
}

void WriteGeneralPrefs(oOStream& out) {
    for (const PrefRecordDefault& r : kGeneralPrefRecords) {
        writeNumbers(out, r.tag, gather(r.tag));
        // The translator record only names a file the user chose: without a choice the
        // shipped one is used, and no empty record is written.
        if (std::string_view(r.tag) == "Cf" && !translatorText().empty()) {
            WriteRecordTag(out, kTranslatorPrefTag);
            WriteRecordText(out, translatorText().c_str());
            EndRecord(out);
        }
    }
    WriteRecordTag(out, "Ds");
    writeStyleFields(out, DefaultStyle);
    for (int i = 0; i < kStyleTableSize; ++i) {
        const FSSRecord& entry = StyleTable[static_cast<size_t>(i)];
        if (i != 0 && IsFreeStyleEntry(entry))
            continue;
        WriteRecordTag(out, "St");
        out.putNumber(i);
        writeStyleFields(out, entry);
    }
    WriteMacroRecords(out);
    for (const std::string& record : unknownRecords()) {
        out.writeString(record.c_str());
        EndRecord(out);
    }
}

void WriteDefaultPrefsFolder(const std::string& folder) {
    makeFolder(folder);
    ResetGeneralPrefs();
    oOStreamPtr general(NewOFileStream(PrefsFilePath(folder, kGeneralPrefsFile).c_str(), false));
    WriteGeneralPrefs(*general);
    CloseStream(general);
    SaveKeyMapFile(PrefsFilePath(folder, kKeysPrefsFile), DefaultKeyMap());
    oOStreamPtr names(NewOFileStream(PrefsFilePath(folder, kFunctionNamesFile).c_str(), false));
    for (std::string_view name : kDefaultFunctionNames) {
        names->write(name.data(), static_cast<uint32_t>(name.size()));
        names->putChar('\n');
    }
    CloseStream(names);
}

// ---- The program's use ----------------------------------------------------------------------

bool GeneralPrefsKeptDamaged() {
    return s_keptDamaged;
}

namespace {

std::string serialisedPrefs() {
    oOMemoryStream* out = NewOMemoryStream(0);
    WriteGeneralPrefs(*out);
    return out->detachString();
}

} // namespace

void LoadCustomizations() {
    ResetGeneralPrefs();
    ResetKeyMap();
    s_keptDamaged = false;
    s_writeFailureSaid = false;
    lastWritten() = {};
    const std::string path = PrefsFilePath(PrefsFolderPath(), kGeneralPrefsFile);
    bool read = false;
    if (plat::GetFileAttributes(path.c_str()) != plat::INVALID_FILE_ATTRIBUTES) {
        GeneralPrefsReadResult result;
        const int code = CatchFail([&] {
            oIStreamPtr stream(NewIFileStream(path.c_str(), kLargestPrefsFile));
            result = ReadGeneralPrefs(*stream);
            DestroyStream(stream);
        });
        if (code != 0 && code != errDataCorrupted) {
            // Not read at all (no regular file, too large, not permitted): the reason, by name.
            s_keptDamaged = true;
            ErrorAlert(code);
        } else if (code != 0 || result.damaged()) {
            s_keptDamaged = true;
            showDamagedNotice(path, result.macrosFailed);
        } else {
            read = true;
        }
    }
    applySymbolFontChoice();
    // Settings that make no ladder keep the table of the defaults; Size Steps corrects them.
    BuildSizeStepTable();
    LoadEditingCustomisation();
    if (read)
        lastWritten() = {path, serialisedPrefs()};
}

void ForgetCustomizations() {
    ResetGeneralPrefs();
    ResetKeyMap();
    s_keptDamaged = false;
    s_writeFailureSaid = false;
    lastWritten() = {};
    FunctionNameText.clear();
    FunctionNameCount = 0;
    LoadFunctionNames();
}

void LoadEditingCustomisation() {
    const std::string folder = PrefsFolderPath();
    // A missing function list has already been reported by the reader; words then simply have no
    // function names.
    ReadFunctionNames(folder);
    LoadFunctionNames();

    const std::string keys =
        folder + (folder.empty() || folder.back() == '/' ? "" : "/") + kKeysPrefsFile;
    const int code = CatchFail([&] {
        const KeyMapReadResult result = LoadKeyMapFile(keys);
        if (!result.problems.empty()) {
            const std::string text = keys + "\n\n" + result.report();
            AppMessageBox(text.c_str(), nullptr, 0x2040); // task-modal information box
        }
    });
    // No key file (a fresh preferences folder) is normal: the built-in map stays in force.
    if (code != 0 && code != errFileNotFound)
        ErrorAlert(code);
}

std::string PrefsFilePath(std::string folder, const char* name) {
    if (!folder.empty() && folder.back() != '/')
        folder += '/';
    return folder + name;
}

bool WritePrefsFile(const std::string& folder, const char* name, void (*write)(oOStream&),
                    bool silent) {
    if (CQVApp::instance().m_Embedded || folder.empty())
        return false;
    const int code = CatchFail([&] {
        makeFolder(folder);
        oOStreamPtr stream(NewOFileStream(PrefsFilePath(folder, name).c_str(), false));
        write(*stream);
        CloseStream(stream);
    });
    if (code != 0) {
        if (!silent) {
            ErrorAlert(code);
            NoteAlert(kPrefsSaveFailedMessage);
        } else if (!s_writeFailureSaid) {
            // No box where the user asked for nothing (the ending, the palette's place): the
            // first failure is said on standard error, with the file and the reason.
            const char* failed = LoadResString(kPrefsSaveFailedMessage);
            const std::string reason = BuildErrorText(code);
            std::fprintf(stderr, "korvaline: %s %s\n%s\n",
                         plat::Utf8FromCp1252(failed != nullptr ? failed : "").c_str(),
                         plat::Utf8FromProgramPath(PrefsFilePath(folder, name)).c_str(),
                         plat::Utf8FromCp1252(reason).c_str());
        }
        s_writeFailureSaid = true;
        return false;
    }
    s_writeFailureSaid = false;
    return true;
}

bool SaveGeneralPrefsIn(const std::string& folder, bool silent) {
    // Nothing while embedded, nor before the paths are known (or after they were freed).
    if (CQVApp::instance().m_Embedded || folder.empty())
        return false;
    // The Copy item names the copy format in force, whether or not the file can be written.
    if (TheCommandHooks().copyMenuLabel != nullptr)
        TheCommandHooks().copyMenuLabel();
    // A damaged file stays as the user left it until a setting is changed.
    if (silent && s_keptDamaged)
        return false;
    // What could not be read (a damaged macro, say) is not thrown away with the file: the damaged
    // file is kept beside the new one.
    const std::string path = PrefsFilePath(folder, kGeneralPrefsFile);
    if (s_keptDamaged) {
        std::error_code ec;
        // Only a file is copied (a FIFO in its place would never end).
        if (std::filesystem::is_regular_file(plat::NativePath(path), ec))
            std::filesystem::copy_file(plat::NativePath(path),
                                       plat::NativePath(PrefsFilePath(folder, kDamagedPrefsCopy)),
                                       std::filesystem::copy_options::overwrite_existing, ec);
    }
    // The same settings as the file holds: nothing to write.
    std::string text = serialisedPrefs();
    if (!s_keptDamaged && lastWritten().path == path && lastWritten().text == text &&
        plat::GetFileAttributes(path.c_str()) != plat::INVALID_FILE_ATTRIBUTES)
        return true;
    if (!WritePrefsFile(folder, kGeneralPrefsFile, &WriteGeneralPrefs, silent))
        return false;
    lastWritten() = {path, std::move(text)};
    s_keptDamaged = false;
    return true;
}

bool SaveGeneralPrefs(bool silent) {
    return SaveGeneralPrefsIn(PrefsFolderPath(), silent);
}
