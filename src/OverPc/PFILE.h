#pragma once
// Files, folders and file types: the file-type table, the program's well-known folders, data-file
// lookup, path building, temporary siblings for safe saving, folder scans and opening files with
// the desktop.
//
// Paths are Windows-1252 text. Folders are written with "/" after each name; "\\" is accepted
// wherever a path is taken apart, so paths from old preference files still work.
//
// This header is portable (no platform header): the stream code includes it to open and commit
// its files.

#include <cstdint>
#include <cstdio>
#include <set>
#include <string>
#include <string_view>
#include <vector>

// The separator the program writes between folder names.
constexpr char kPathSeparator = '/';

// ---- File types ---------------------------------------------------------------------------------

struct FileTypeEntry {
    char letter;
    std::uint8_t isEst;      // the ".est" row
    std::uint8_t saveFilter; // offered by the Save dialog's type filter
    std::uint8_t notInOpen;  // non-zero: out of the default Open filter and the all-types scan
    const char* extension;   // with its dot
    int descriptionId;       // string id
};

constexpr int kFileTypeCount = 16;
// The table, in its fixed order.
const FileTypeEntry* FileTypeTable();

// The first row with that letter; null for a letter the table does not hold.
const FileTypeEntry* FileTypeRow(char letter);
// The n-th row (from 0) with that letter, or null.
const FileTypeEntry* FileTypeOfNth(char letter, int n);
// The last "." after the last separator, or null.
const char* FindExtension(const char* path);
// 'e', 'x', ... for an extension (with or without its dot); '?' when no row has it; "." gives 't'.
char FileTypeFromExtension(const char* ext);
// 'd' for an existing folder, else the type of the path's extension.
char FileTypeOfPath(const char* path);
// Whether the two paths name one file on disk (the same device and inode: a link or another
// spelling of the path counts); false when either cannot be reached.
bool SameFileOnDisk(const char* a, const char* b);
// Gives the path the row's extension unless its extension already has that type.
void SetFileTypeExtension(std::string& path, char letter);

// ---- Well-known folders -------------------------------------------------------------------------

enum PathSlot : int {
    kCurrentFolderSlot = 0,
    kWindowsFolderSlot = 1,
    kProgramFolderSlot = 2,
    kHelpPageSlot = 3,
    kIniFileSlot = 4,
    kDataFolderSlot = 5,
    kPathSlotCount = 6,
};

// Works out the six slots at start-up and makes sure the preferences folder exists in the data
// folder and holds the shipped files (see CopyLegacyPrefs). Calling it again starts afresh.
void InitPaths();
void FreePaths();
// Copies the program folder's preferences folder into the data folder when the data folder has
// none; when it has one, copies in only the shipped files (and folders) that were never installed
// in it, never replacing a file that is there (both folders end with a separator). What it
// installed is recorded in the folder, so a shipped file the user removed stays removed.
void CopyLegacyPrefs(const std::string& dataFolder, const std::string& programFolder);
// The names of the record of shipped files installed in a preferences folder (".installed": one
// path a line, relative to the folder); empty lines are skipped.
std::set<std::string> ParseInstalledRecord(std::string_view text);
// The text of a slot ("" before InitPaths). Folders end with a separator.
const std::string& PathSlotText(int slot);
// Re-reads slot 0 from the current folder (done before every file dialog).
void RefreshCurrentFolder();
// The preferences folder's name inside the data folder.
constexpr const char* kPrefsFolderName = "Korvaline_Prefs";
// The data folder + "Korvaline_Prefs" + separator.
std::string PrefsFolderPath();

// The help page and the default translator file in the program's folder.
std::string DefaultTranslatorFile();

// ---- Paths --------------------------------------------------------------------------------------

// folder cut after its last separator (one is added when it has none), then name (only its last
// part when a folder was given), then ext replacing any extension (a "." is put first when ext has
// none); ext without a name gives ext alone.
std::string MakePath(const char* folder, const char* name, const char* ext);
// The part after the last separator.
std::string FileNameOfPath(const char* path);
// Replaces what follows the last separator by name and ends the result with a separator.
std::string SubfolderPath(const char* path, const char* name);
// 0 when found: the name is looked for in the data folder, the program folder, the Windows folder
// and the current folder, in that order, first exactly and then ignoring case; out is the path
// found. Not found: out is the current-folder candidate and the result is not 0. A name with "*" or
// "?" goes unchecked into the data folder (the program folder when there is none).
int FindDataFile(std::string& out, const char* name);
// The user's desktop folder + name.
std::string DesktopFilePath(const char* name);
// 0 and out = the first root under which tail exists; -1 and "" when none.
int FirstHardDrive(std::string& out, const char* tail);

// A sibling of a save made where the file system holds no extended attributes, so that it cannot
// carry the mark: such siblings are written down in a record in the preferences folder, first when
// they are made (before their first byte, with the process that writes them), then once they are
// written whole (just before they replace their target). RemoveStaleSiblings removes only a file
// that matches an entry (see there).
struct RecordedSibling {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::string born;      // the file's birth time, "seconds.nanoseconds"; "-" where none is kept
    std::int64_t made = 0; // its status-change time when it was written down, in nanoseconds
    // The sibling as it was written: its size, and its modification and status-change times in
    // nanoseconds. An entry without them (`complete` false: one that earlier versions wrote when
    // the sibling was just made) still reads but never matches a file.
    bool complete = false;
    std::uint64_t size = 0;
    std::int64_t modified = 0;
    std::int64_t changed = 0;
    // An entry written when the sibling was made (`pending`): the process writing it, named by the
    // boot's id, its process id and its start (clock ticks since the boot).
    bool pending = false;
    std::string boot;
    std::int32_t writer = 0;
    std::uint64_t writerStart = 0;
    std::string path; // its full path as the system spells it
    bool operator==(const RecordedSibling&) const = default;
};
// The record's text: one entry a line, "p boot writer start device inode born made path" (made
// before the first byte), "w device inode born made size modified changed path" (written whole),
// or (an earlier form) "device inode born made path". Lines that do not read as an entry are
// skipped.
std::vector<RecordedSibling> ParseSiblingRecord(std::string_view text);
// The text of the record (an entry whose path holds a line break cannot be written and is left
// out).
std::string FormatSiblingRecord(const std::vector<RecordedSibling>& entries);
// Makes a file system look as if it held no extended attributes, for the tests of the record.
void SetSiblingMarksUnavailableForTesting(bool unavailable);

// Chooses the sibling a save of `target` is written to first (every save writes one and renames
// it over the target): the file name's extension (only the file name's) replaced by a digit
// (".0", ".1", ...; appended when the name has none), the first name that is free. Returns 1.
int MakeTempSibling(const char* target, std::string& out);
// Removes the siblings that earlier saves of `target` left behind when they were interrupted
// (killed at any moment of the save): only regular files of ours among the sibling names that no
// save holds, and that carry the mark a save sets on the sibling it makes (see CreateFileOrFail),
// or that the record of unmarked siblings names by path, device, inode and birth time, and
// - by an entry made once the sibling was whole: with the size, modification and status-change
//   times it had then;
// - by an entry made before its first byte: when the process that wrote it is gone (another boot,
//   no such process, or another process under its id) and the file was last changed before this
//   process started.
// Any other file with a sibling's name is left alone: also a file of the user's that took the inode
// of a removed sibling while the program ran, and a sibling changed since. Entries of this
// document's siblings whose file is gone and whose writer too are dropped from the record. Returns
// how many files were removed.
int RemoveStaleSiblings(const char* target);
// The file a save of `path` replaces: the file a symbolic link (or a chain of them) leads to, so
// the link stays and the file it names gets the new content; `path` itself otherwise (also for a
// loop of links).
std::string ResolveSaveTarget(const char* path);
// Moves the written sibling over the target in one step. When the sibling has vanished the error
// detail names it, alert 452 is shown and the target is left as it was. True when committed.
bool CommitTempFile(const char* target, const char* temporary);
// The same without any alert: 0, or the C library's error (ENOENT when the sibling vanished); the
// sibling gets the target's permissions (those of a new file when there is no target) and is
// flushed to the disk before it replaces the target, and loses its mark once it has. With `held`
// (the sibling as CreateFileOrFail opened it, still open), only that very file is moved: a name
// that leads elsewhere by now fails with ENOENT.
int MoveTempFileOver(const char* target, const char* temporary, std::FILE* held = nullptr);
// Removes the sibling `path` of an unfinished save when the name still leads to the open file
// `held` (never a file someone else put there since). True when removed.
bool RemoveOwnSibling(const char* path, std::FILE* held);
// What tells whether a file changed on disk since it was read or written: its device, inode, size
// and modification time (with nanoseconds).
struct FileIdentity {
    bool known = false; // false: there was no file
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t size = 0;
    std::int64_t modifiedSeconds = 0;
    std::int64_t modifiedNanoseconds = 0;
    bool operator==(const FileIdentity&) const = default;
};
// The identity of the file `path` leads to (through links); unknown when there is none.
FileIdentity FileIdentityOf(const char* path);
// The identity of the file the last committed save of `target` (the file itself, not a link to
// it) put in place, taken while that save still held it; unknown when the last commit was of
// another file.
FileIdentity CommittedFileIdentity(const char* target);
// Asks before a save replaces `path`, which changed on disk since the document was opened or last
// saved (another copy of the program or another program wrote it): string 475 with the file's
// name, Yes and No. True for Yes (replace it).
bool AskReplaceChangedFile(const char* path);
// Makes a save's "changed on disk" check and its rename one step that no other copy of the
// program gets between: every save of an existing file holds an advisory lock on it from the
// check until its sibling has replaced the file (the lock is taken on the file the name leads to,
// and taken again on the new file when the name was given another file while it waited). The
// lock goes with the object (and with the process).
class SaveLock {
public:
    enum Result {
        kHeld,     // the file is held
        kNoFile,   // there is no regular file to hold (a first save)
        kTimedOut, // another program (or another copy's save) held the file all along
        kGivenUp,  // the user pressed Escape, or a termination signal came: nothing is to be saved
        kMoved,    // the name no longer leads where it led at the first acquire (a link was put
                   // in place of the file, or a link changed): nothing is held
    };
    // How long a save waits for another copy's save of the same file to end, and the steps the
    // wait is made in (between them the window manager's pings are answered).
    static constexpr int kWaitMilliseconds = 5000;
    static constexpr int kWaitStepMilliseconds = 50;
    SaveLock() = default;
    SaveLock(const SaveLock&) = delete;
    SaveLock& operator=(const SaveLock&) = delete;
    ~SaveLock() { release(); }
    // Waits until no other save holds the file `path` leads to (through links), at most
    // kWaitMilliseconds, answering the window manager meanwhile (Escape ends the wait). The file
    // the name leads to at the first call is the one every later call must find: what the save
    // writes is checked for that after each wait, since a link put in place of the file while the
    // save waited would take what it writes elsewhere.
    Result acquire(const char* path);
    void release();

private:
    int m_fd = -1;
    bool m_placeKnown = false;
    std::string m_place; // the file the name led to at the first acquire, as ResolveSaveTarget
};
// Says that the save of `path` was refused since another program holds the file (message 476),
// and fails.
[[noreturn]] void FailFileInUse(const char* path);
// Says that the save of `path` was refused since the name was given another file or a link to
// another place while the save waited or asked, and fails.
[[noreturn]] void FailSaveTargetMoved(const char* path);
// The detail of that refusal, after the path.
inline constexpr int kSaveTargetMovedString = 469;
// After the user gave up the wait for a file another program holds (Escape): says that nothing
// was saved as FailFileInUse does, and fails. After a termination signal it only returns.
void FailSaveWaitGivenUp(const char* path);
// Called (when set) just before a save's sibling replaces its target, with the target: lets a test
// make a save slow at its most delicate moment.
using SaveCommitHook = void (*)(const char* target);
void SetSaveCommitHookForTesting(SaveCommitHook hook);
// Called (when set) once a save's sibling is made, before its first byte, with the sibling's name:
// lets a test end a save at that moment, or at a later byte.
void SetSiblingMadeHookForTesting(SaveCommitHook hook);
// Removes a file, reporting nothing (clean-up of an unfinished save). True when removed.
bool RemoveFileQuietly(const char* path);
// The largest file each kind of reader takes: documents, pictures and other files the user opens;
// preference files, key maps, palettes, function names, translators.
constexpr std::uint64_t kLargestOpenedFile = 256u << 20;
constexpr std::uint64_t kLargestPrefsFile = 16u << 20;
// Opens a file for reading (mode as fopen's, "rb" or "r"): only a regular file of at most maxBytes,
// and never by waiting on it. Failure names the file in the error detail and fails with
// errFileNotFound (missing), errFileUnreadable (no permission to read it), errNotRegularFile (a
// folder, FIFO, device or socket), errFileTooLarge (the detail also gives the limit), or the code
// of the system's error.
std::FILE* OpenFileOrFail(const char* path, const char* mode,
                          std::uint64_t maxBytes = kLargestOpenedFile);
// True when removed; access denied fails with errFileAccessDenied (447); other failures give false.
bool RemoveFileOrFail(const char* path);
// Equal ignoring case (Windows-1252 letters).
bool SameTextNoCase(const char* a, const char* b);

// The error code for a C library error number: missing file or folder 452, access denied 447, no
// memory 441, a full disk or quota errDiskFull, a file over the size limit errFileTooLarge,
// anything else 451.
int ErrorCodeFromErrno(int err);
// Sets the system's text for err as the error detail and fails with ErrorCodeFromErrno(err).
[[noreturn]] void FailFromErrno(int err);
// Makes the new file `path` (a save's sibling; an existing name fails) for writing bytes, private
// to its owner until MoveTempFileOver commits it. While it is open it is locked, and it carries an
// extended attribute that marks it as a sibling this program made (where the file system holds
// such attributes; elsewhere it is written down in the record of unmarked siblings before it gets
// its name, or where a file cannot be made without a name, before its first byte), so that
// RemoveStaleSiblings can tell it from a file of the user's. Failure (a
// read-only or missing folder) fails with ErrorCodeFromErrno, the detail naming `shownName` (the
// file the user chose) and the system's text.
std::FILE* CreateFileOrFail(const char* path, const char* shownName);
// Chooses a sibling of `target` (see MakeTempSibling) and makes it as CreateFileOrFail does; when
// another save takes the name first, the next free name is taken. `sibling` is the name made.
std::FILE* CreateSiblingOrFail(const char* target, std::string& sibling, const char* shownName);

// A program data resource (type 256) and its length from the length table (RCDATA 939: pairs of
// 32-bit id and length, ended by id 0; the last pair for the id wins; no pair gives length 0).
// False when the resource does not exist; a length beyond the resource is cut to its size.
bool LoadDataFileResource(int id, const std::uint8_t*& data, std::uint32_t& length);

// ---- Type filters and the save question ---------------------------------------------------------

// Filter lists for the file dialogs: entries of description " (" extension ")" and pattern
// "*" extension, each zero-terminated, the list ended by an empty entry. With letters, the rows
// whose letter is among them; with null, the rows of the default Open filter; "All Files" last.
std::string BuildFileFilter(const char* letters);
// The types the Save dialog offers: every row with the save flag whose letter differs, in table
// order, then the last row with that letter.
std::string BuildTypeFilter(char letter);
// The letter of a save type: 1 'e', 2 'p', 3 'g', 4 'l', 5 't', 6 's', 12 'M', 13 'b', else '?'.
char SaveTypeLetter(int saveType);
// The Save item's text for a save type: the type's extension (no dot, upper case) in parentheses
// replaces what follows the last "(" (or is appended after a blank); "All Files" removes it.
std::string SaveItemText(const std::string& itemText, int saveType);
// Shows the save type on the Save item (command 263) of the program's menu bar.
void UpdateSaveMenuItem(int saveType);

// What the embedding side says about the front window: 0 the program serves no embedded object;
// 1 it does and `container` names the document that holds the object; 2 the object has no client
// (nothing to update); 3 there is no front window or it holds no object.
using EmbeddedDocumentQuery = int (*)(std::string& container);
void SetEmbeddedDocumentQuery(EmbeddedDocumentQuery query);
// 1 yes, 2 no, 0 cancel: string 3 ("Save the file %s ?") with the name, or, while an embedded
// object is served, string 4 with its container's name ("Application" when there is none).
int AskSaveChanges(const char* name);

// ---- Open and save choosers ---------------------------------------------------------------------

namespace plat {
struct HWND__; // the window handle's own type: this header stays free of the platform's headers
}

// What a file chooser is run with. The texts are growable, so a long folder or file name is never
// cut; a chosen path that the system cannot hand back is reported, never shortened.
struct FileDialogRecord {
    plat::HWND__* owner = nullptr;
    std::string title;             // "" lets the chooser show its own caption
    std::string filter;            // a list from BuildFileFilter or BuildTypeFilter
    std::uint32_t filterIndex = 1; // 1-based entry of the filter, in and out
    std::string file;              // in: the proposed name; out: the full path chosen
    std::string initialFolder;     // "" starts in the current folder
    std::string defaultExtension;  // given to a typed name without one (no dot); "" none
    std::uint32_t flags = 0;       // the system chooser's flags
};

// Starts a record: the owner for modal runs, the title, everything else empty; the current folder
// (slot 0) is read afresh.
void InitFileDialogRecord(FileDialogRecord& record, const char* title);
// A record for saving `path`: the chooser proposes the path's file name in the path's folder,
// offers the types the program saves with the path's own type last and preselected (the first
// entry for an unknown type), asks before replacing a file, and gives a typed name without an
// extension the path's own one ("EXP" for documents and unknown types).
void PrepareSaveDialog(FileDialogRecord& record, const char* title, const char* path);
// Runs the open (save = false) or save chooser on the record. The program's other windows are
// disabled and CurrentDialog marks a system dialog while it runs; both are restored afterwards.
// True with record.file and record.filterIndex set; false after Cancel, or after an error that
// has been reported.
bool RunFileDialog(FileDialogRecord& record, bool save);
// Asks for a file to open among the types of `letters` (null: every type the default Open filter
// lists). True with path set when a file was chosen and exists; a chosen name that does not exist
// shows alert 452 naming it. With `preselect` (an extension with its dot), the filter starts on
// that type's entry when the list has one.
bool OpenFileDialog(const char* title, std::string& path, const char* letters,
                    const char* preselect = nullptr);
// Asks where to save `path` (the proposal in, the confirmed path out). True when confirmed; path is
// untouched otherwise.
bool SaveFileDialog(const char* title, std::string& path);
// The titles of the save dialogs of Save Bitmap and Save Metafile.
inline constexpr int kSaveBitmapTitleString = 1345;
inline constexpr int kSaveMetafileTitleString = 1346;

// ---- Folder scans and the desktop ---------------------------------------------------------------

// Full paths of folder's entries of one type: 'd' sub-folders (not beginning with "."), '*' the
// folders then every type that the default Open filter lists, any other letter the files of each
// row with that letter in table order. Within a row the names come in descending order, ignoring
// case. The files the same scan finds whose names the code page cannot write go to `outside`, when
// given, as their system names (UTF-8), sorted: they cannot be opened under a program name, but a
// list shows them so that the user learns why (kNameOutsideCodePageMark, 478).
void ScanFolderForTypes(std::vector<std::string>& out, const char* folder, char letter,
                        std::vector<std::string>* outside = nullptr);

// A string stack (pushed and popped at the head).
struct StringStackNode {
    StringStackNode* next;
    std::string text;
};
void StringStackPush(StringStackNode*& head, const char* text);
// False when empty.
bool StringStackPop(StringStackNode*& head, std::string& text);

// Opens the file or page with the desktop's program. Non-zero on success.
int ShellOpen(const char* path);
int ShellOpenFile(const char* path);
// 0 without doing anything when the file does not exist.
int ShellOpenIfExists(const char* path);

// Called with the path a second copy of the program handed over, to open it as a document of
// its type. Installed at start-up by the document layer.
using OpenDocumentHook = void (*)(const char* path, char type);
void SetOpenDocumentHook(OpenDocumentHook hook);
// Reads the path held by a global atom (deleting the atom) and opens it as a document of its type,
// inside an error environment that shows its error with ErrorAlert, as a file named on the
// command line opens: whatever its extension, or none. A file that does not exist (452) is
// reported with its path, never opened as an empty document. Atom 0 holds no path and does
// nothing.
// An atom whose text starts with kNameOutsideCodePageMark names a file the code page cannot write
// (the rest is its name as shown, '?' for what the page lacks): 478 is reported and nothing opens.
void OpenFileFromAtom(std::uint16_t atom);
constexpr char kNameOutsideCodePageMark = '\x01';

// Reads a BMP file that carries an expression after its pixel bits: the file and DIB headers are
// checked against the real file size, and the packed bitmap is handed to the hook in a movable
// global block (which the hook borrows). A bad header, a short file or a bitmap without an
// expression shows alert 495. The hook returns false when the bitmap holds no expression.
using OpenBitmapHook = bool (*)(void* globalBlock, const char* path);
void SetOpenBitmapHook(OpenBitmapHook hook);
void OpenBitmapFile(const char* path);
// What the export side hands over for a bitmap file: the front document's packed bitmap (header,
// pixel rows, then the expression encoding and its zero byte), the path the document would be
// saved under with the ".bmp" extension ("" when it has never been saved), whether the document
// was changed, and the save type to show on the Save item afterwards. False when there is no
// front document (nothing is saved then).
struct FrontDocumentBitmap {
    std::vector<std::uint8_t> dib;
    std::string path;
    bool changed = false;
    int saveType = 0;
};
using FrontBitmapHook = bool (*)(FrontDocumentBitmap& out);
void SetFrontBitmapHook(FrontBitmapHook hook);
// Saves the front document as a ".bmp" file that OpenBitmapFile reads back. The name is asked
// ("Save Bitmap") when `ask` is set, when the document was changed or when it has no path yet;
// the file is written through a sibling and renamed over an old one, so a failure leaves the old
// file as it was. Errors are reported with ErrorAlert. True when the file was written.
bool SaveBitmapFile(bool ask);
// The writing part of SaveBitmapFile, which the bitmap save type uses too: the file header, then
// the packed bitmap, through a sibling renamed over an old file. Fails outward (495 for a bitmap
// no file can carry, or the stream's error); the old file then stays as it was.
void WriteBitmapFile(const FrontDocumentBitmap& bitmap, const std::string& path);
// The 14-byte file header for a packed bitmap of dibSize bytes ("BM", the file size, the offset of
// the pixel rows); false when the bitmap's header is not one a file can carry.
bool MakeBitmapFileHeader(const std::uint8_t* dib, std::size_t dibSize, std::uint8_t header[14]);
// Checks a BMP file image; on success `dibOffset`/`dibSize` locate the packed bitmap (everything
// after the 14-byte file header).
bool CheckBitmapFile(const std::uint8_t* bytes, std::size_t size, std::size_t& dibOffset,
                     std::size_t& dibSize);
