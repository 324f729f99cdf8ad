#include "ExprSrcs/documents/Documents.h"

#include "ExprSrcs/ExprFilePane.h"
#include "OverPc/PERROR.h"
#include "OverPc/PEXPRPICT.h"
#include "OverPc/PFILE.h"
#include "OverPc/Presourc.h"
#include "OverPc/documents/ClipboardCommands.h"
#include "OverPc/documents/Exports.h"
#include "OverSrcs/documents/DocLines.h"
#include "OverSrcs/eEditSupport.h"
#include "OverSrcs/eSelect.h"
#include "OverSrcs/etEncode.h"
#include "OverSrcs/oStreams.h"

#include <filesystem>
#include <map>
#include <memory>
#include <utility>

namespace {

ExprFilePane* s_lastOpened = nullptr;

// The whole file as bytes; a missing or unreadable file fails with the stream's error.
std::string readWholeFile(const char* path) {
    std::unique_ptr<oIFileStream, oIStreamDeleter> stream(NewIFileStream(path));
    return stream->readAll();
}

// A text document: keyed document lines (documents, EPS exports), or an encoding anywhere in the
// text (older documents, notes, exports that carry it in their text). Nothing readable is the
// "no expression" alert, with the file named; a damaged expression record is "damaged data".
// A plain text file (".txt") without an encoding opens as that text typed into a new document.
void openEncodedDocument(const char* path, char type) {
    // Taken before the bytes are read: a change while they are read makes the next save ask.
    const FileIdentity identity = FileIdentityOf(path);
    const std::string text = readWholeFile(path);
    DocumentLines lines;
    int16_t failure = CatchFail([&] {
        // A document keeps the records a later version wrote into it (exports do not).
        lines = ReadDocumentLinesFromMemory(text.data(), static_cast<uint32_t>(text.size()),
                                            type == 'e' || type == 'E');
    });
    if (failure == kNoExpressionInText && type == 't') {
        // Text becomes nodes many times its size: beyond what a paste takes it is refused.
        failure = text.size() > kLargestPastedText
                      ? static_cast<int16_t>(errFileTooLarge)
                      : CatchFail([&] { lines.expression = TextToRow(text, 0); });
    }
    if (failure != 0) {
        SetErrorDetail(path);
        Fail(failure);
    }
    // Stationery opens as a new untitled document over a copy of its expression.
    const bool stationery = type == 'E';
    const std::string name = FileNameOfPath(path);
    const uint32_t flags = static_cast<uint32_t>(lines.options[0]) |
                           static_cast<uint32_t>(lines.options[1]) << 8 |
                           static_cast<uint32_t>(lines.options[2]) << 16 |
                           static_cast<uint32_t>(lines.options[3]) << 24;
    const Zone* zone = lines.windowZone ? &*lines.windowZone : nullptr;
    ExprFilePane* pane = NewExprFilePane(std::move(lines.expression), zone,
                                         stationery ? nullptr : name.c_str(), flags);
    pane->setUnknownRecords(std::move(lines.unknownRecords));
    if (zone != nullptr)
        pane->keepStoredWindowZone(*zone);
    pane->record().m_background = lines.background.color;
    pane->record().m_noBackground = lines.background.none ? 1 : 0;
    if (stationery) {
        if (NewDocumentSaveTypeHook != nullptr)
            pane->setSaveType(NewDocumentSaveTypeHook());
    } else {
        pane->setFilePath(path);
        pane->setDiskIdentity(identity);
        pane->setSaveType(SaveTypeOfFileType(type));
    }
    s_lastOpened = pane;
    pane->takeFocus();
}

// ---- Saving -------------------------------------------------------------------------------------

constexpr int32_t kDocumentSaveType = 1;

// The writers of the save types other than documents, installed by the export code.
std::map<int32_t, DocumentSaveWriter>& saveWriters() {
    static std::map<int32_t, DocumentSaveWriter> writers;
    return writers;
}

// The save type a document is written as: its own when it has a writer, else a document.
int32_t writableSaveType(int32_t saveType) {
    if (saveType != kDocumentSaveType && saveWriters().count(saveType) != 0)
        return saveType;
    return kDocumentSaveType;
}

// Gives the path the extension of a save type: documents get ".pvx" (an ".exp" name is kept).
void giveSaveTypeExtension(std::string& path, int32_t saveType) {
    const char letter = SaveTypeLetter(saveType);
    const char* ext = FindExtension(path.c_str());
    if (ext != nullptr && FileTypeFromExtension(ext) == letter)
        return;
    if (letter == 'e') {
        if (ext != nullptr)
            path.erase(static_cast<size_t>(ext - path.c_str()));
        path += ".pvx";
        return;
    }
    SetFileTypeExtension(path, letter);
}

// Asked when the name typed in the save dialog is not the one written: the file's type is one the
// program does not write, or the extension added to a bare name gives a file that is there. The
// box names what is written and whether a file is replaced; true on OK.
bool agreesToName(const std::string& typed, const std::string& written) {
    const char* ext = FindExtension(typed.c_str());
    const bool exists = std::filesystem::exists(written);
    if (ext == nullptr && !exists)
        return true;
    const std::string name = FileNameOfPath(written.c_str());
    std::string text;
    if (ext != nullptr)
        text = ResStringWith(kTypeNotWrittenString, {ext}) + " ";
    text += ResStringWith(exists ? kSavedReplacingString : kSavedUnderString, {name});
    constexpr unsigned kOkCancelInformation = 0x41;
    constexpr int kOk = 1;
    return AppMessageBox(text.c_str(), ResStringWith(kSaveAsTitleString, {}).c_str(),
                         kOkCancelInformation) == kOk;
}

void writeDocumentFile(ExprFilePane& pane, const std::string& path) {
    oOStreamPtr stream(NewOFileStream(path.c_str(), false));
    // The window's rectangle; the file's own while the window stays where it was fitted in.
    const Zone zone = pane.window() != nullptr
                          ? pane.windowZoneToSave(pane.window()->currentPlacement())
                          : Zone{};
    const SelectionRecord& record = pane.record();
    DocumentBackground background;
    background.color = record.m_background;
    background.none = record.m_noBackground != 0;
    WriteDocumentLines(*stream, pane.expression(), background,
                       pane.window() != nullptr ? &zone : nullptr, record.m_options,
                       &pane.unknownRecords());
    CloseStream(stream);
}

// The document writer: asks for a name when told to (or when the document has none), then writes
// by the save type. Fails with the stream's error; the file that was there stays whole.
bool writeDocument(ExprFilePane& pane, bool askName) {
    std::string path = pane.filePath();
    int32_t saveType = writableSaveType(pane.saveType());
    if (askName || path.empty()) {
        if (path.empty())
            path = pane.fileName();
        giveSaveTypeExtension(path, saveType);
        for (;;) {
            if (!SaveFileDialog(ResStringWith(kSaveAsTitleString, {}).c_str(), path))
                return false;
            // The chosen name's type picks the writer when the program saves that type.
            const char letter = FileTypeOfPath(path.c_str());
            const int32_t chosen = SaveTypeOfFileType(letter);
            if (letter == 'e' || letter == 'E') {
                saveType = kDocumentSaveType;
                break;
            }
            if (letter != '?' && chosen != kDocumentSaveType && saveWriters().count(chosen)) {
                saveType = chosen;
                break;
            }
            // Otherwise the document's own type under its own extension, once the user agrees
            // to that name; else the dialog comes back with the name as the user typed it.
            const std::string typed = path;
            giveSaveTypeExtension(path, saveType);
            if (path == typed || agreesToName(typed, path))
                break;
            path = typed;
        }
    }
    // The document's own file changed on disk since it was read or written (another copy of the
    // program saved it, or another program): it is replaced only when the user says so. The check
    // is made under the file's save lock, which is held until the new file has replaced it, so a
    // save of another copy that overlaps this one waits and then sees this one's file. The lock is
    // let go while the question is up; the answer holds for the file that was shown changed. A
    // file another program keeps locked is left alone (the wait answers the window manager, and
    // Escape gives it up, saying that nothing was saved), and so is a name that was made to lead
    // elsewhere meanwhile. A recovered document that knew no file of its own (none stood there at
    // the ending, or its record lost what it knew) takes any file found there as changed on disk.
    SaveLock lock;
    const bool ownFile = path == pane.filePath() &&
                         (pane.diskIdentity().known || !pane.recoveryCopy().empty());
    FileIdentity accepted = pane.diskIdentity();
    for (;;) {
        switch (lock.acquire(path.c_str())) {
        case SaveLock::kGivenUp:
            FailSaveWaitGivenUp(path.c_str());
            return false;
        case SaveLock::kTimedOut:
            FailFileInUse(path.c_str());
        case SaveLock::kMoved:
            FailSaveTargetMoved(path.c_str());
        case SaveLock::kHeld:
        case SaveLock::kNoFile:
            break;
        }
        const FileIdentity onDisk = FileIdentityOf(path.c_str());
        if (!ownFile || onDisk == accepted)
            break;
        lock.release();
        if (!AskReplaceChangedFile(path.c_str()))
            return false;
        accepted = onDisk;
    }
    if (saveType == kDocumentSaveType) {
        writeDocumentFile(pane, path);
    } else {
        saveWriters().at(saveType)(pane, path);
    }
    // Saved as stationery: the document stays what it was (untitled or its own file).
    if (FileTypeOfPath(path.c_str()) == 'E') {
        pane.noteCopyWritten();
        return true;
    }
    pane.setFilePath(path);
    // The file as this save left it, even when another copy's save has replaced it since.
    const FileIdentity written = CommittedFileIdentity(ResolveSaveTarget(path.c_str()).c_str());
    pane.setDiskIdentity(written.known ? written : FileIdentityOf(path.c_str()));
    pane.setSaveType(saveType);
    return true;
}

// The open document that was read from or saved to the file at path, or null.
ExprFilePane* documentOfFile(const char* path) {
    for (ExprFilePane* pane = OpenDocumentList; pane != nullptr; pane = pane->nextDocument())
        if (!pane->filePath().empty() && SameFileOnDisk(pane->filePath().c_str(), path))
            return pane;
    return nullptr;
}

ExprFilePane* frontDocument() {
    ExprFilePane* pane = dynamic_cast<ExprFilePane*>(ActivePane);
    if (pane == nullptr)
        pane = dynamic_cast<ExprFilePane*>(LastFrontPane);
    return pane;
}

} // namespace

int32_t SaveTypeOfFileType(char type) {
    switch (type) {
    case 'p':
        return 2;
    case 'g':
        return 3;
    case 'l':
        return 4;
    case 's':
        return 6;
    case 't':
        return 5;
    case 'M':
        return 12;
    case 'b':
        return 13;
    default:
        return 1;
    }
}

ExprFilePane* LastOpenedDocument() {
    // The window may have been closed since: only a document still in the list is answered.
    for (ExprFilePane* pane = OpenDocumentList; pane != nullptr; pane = pane->nextDocument())
        if (pane == s_lastOpened)
            return pane;
    return nullptr;
}

void OpenDocumentWindow(const char* path, char type) {
    if (path == nullptr || path[0] == '\0') {
        ExprFilePane* pane = NewUntitledDocument();
        s_lastOpened = pane;
        pane->takeFocus();
        return;
    }
    // One window per file: a file already open (under any name that reaches it) brings its
    // window to the front, so two windows never save over each other. Stationery opens a new
    // untitled copy each time.
    if (type != 'E') {
        if (ExprFilePane* open = documentOfFile(path)) {
            s_lastOpened = open;
            open->show();
            BringPaneToFront(open);
            return;
        }
    }
    switch (type) {
    case 'b':
        // The bitmap reader shows its own alerts.
        OpenBitmapFile(path);
        return;
    case 'm':
    case 'M':
        ReadEmfFile(path);
        return;
    case 'g':
        // A PNG carries its expression in a compressed text chunk.
        if (!OpenPngDocument(path)) {
            SetErrorDetail(path);
            Fail(errNoExpressionInFile);
        }
        return;
    case 'd':
        // A folder is no document.
        SetErrorDetail(path);
        Fail(errNotRegularFile);
    default:
        openEncodedDocument(path, type);
        return;
    }
}

void OpenDocumentCommand() {
    std::string path;
    // The filter starts on the type new documents are saved as, so a file just saved is listed.
    if (!OpenFileDialog("", path, nullptr, ".pvx"))
        return;
    OpenDocumentWindow(path.c_str(), FileTypeOfPath(path.c_str()));
}

void SetDocumentSaveWriter(int32_t saveType, DocumentSaveWriter writer) {
    if (writer == nullptr)
        saveWriters().erase(saveType);
    else
        saveWriters()[saveType] = writer;
}

void WriteDocumentCopy(ExprFilePane& pane, const std::string& path) {
    writeDocumentFile(pane, path);
}

void SaveDocumentCommand() {
    if (ExprFilePane* pane = frontDocument())
        pane->save();
}

void SaveDocumentAsCommand() {
    if (ExprFilePane* pane = frontDocument())
        pane->saveAs();
}

void CloseDocumentCommand() {
    ForwardToFocusObject();
}

void InstallDocumentOpener() {
    InstallDocumentWindowHooks();
    SetOpenDocumentHook(&OpenDocumentWindow);
    DocumentWriterHook = &writeDocument;
}
