// Document windows: an expression pane that belongs to a document. It has a file name (a numbered
// untitled name until it is saved), asks to save before it closes when the expression changed, and
// stands in the open document list, which places new windows.
#pragma once

#include "ExprSrcs/EPane.h"
#include "OverPc/PFILE.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class ExprFilePane : public ExprPane {
public:
    ExprFilePane() = default;
    // Leaves the open document list; the pane part then goes as any expression pane.
    ~ExprFilePane() override;

    // Unchanged: true. Changed: asks to save (yes saves and closes only when the save succeeds, no
    // closes without saving, cancel keeps the window).
    bool canClose() override;
    // A document in front can be saved and printed: the two File items follow the front.
    void becomeFront() override;
    void resignFront() override;
    // The path's name part, or the untitled name fixed when the window was made.
    std::string fileName() const override;
    // Untitled documents save through saveAs. Both go through the installed document writer; a
    // failure (or no writer) is shown in an alert and answers false. Success clears the changed
    // flag, shows the save type on the Save item, and gives the window title and its Windows-menu
    // entry the new name.
    bool save() override;
    bool saveAs() override;

    const std::string& filePath() const { return m_filePath; }
    // A new path forgets what was known of the old file on disk.
    void setFilePath(const std::string& path) {
        if (path != m_filePath)
            m_diskIdentity = FileIdentity{};
        m_filePath = path;
    }
    int32_t saveType() const { return m_saveType; }
    void setSaveType(int32_t type) { m_saveType = type; }
    ExprFilePane* nextDocument() const { return m_nextDocument; }
    // The file as it was when the document was read from it or last written to it: a save over a
    // file that changed since asks first.
    const FileIdentity& diskIdentity() const { return m_diskIdentity; }
    void setDiskIdentity(const FileIdentity& identity) { m_diskIdentity = identity; }
    // The records of a later version that the document's file held: a save writes them back.
    const std::vector<std::string>& unknownRecords() const { return m_unknownRecords; }
    void setUnknownRecords(std::vector<std::string> records) {
        m_unknownRecords = std::move(records);
    }
    // The writer saved a copy (stationery) rather than the document: it keeps its name, its file
    // and its changed flag.
    void noteCopyWritten() { m_wroteCopy = true; }
    // The window title and the Windows menu entry take the current file name.
    void renameWindow();
    // The recovery copy the document was opened from (kept when a signal ended the program): it
    // goes once the document is saved.
    const std::string& recoveryCopy() const { return m_recoveryCopy; }
    void setRecoveryCopy(std::string path) { m_recoveryCopy = std::move(path); }

    // The window rectangle the document's file holds. The window may have been placed elsewhere
    // to fit the frame; as long as it stays where it was placed, a save writes the file's own
    // rectangle back, and once the user moves or sizes it, the window's.
    void keepStoredWindowZone(const Zone& stored);
    // The rectangle a save writes for the window now at `current`.
    Zone windowZoneToSave(const Zone& current) const;

private:
    bool write(bool askName);

    std::string m_filePath; // empty: untitled
    int32_t m_saveType = 1;
    bool m_wroteCopy = false;
    FileIdentity m_diskIdentity;
    std::string m_recoveryCopy;
    std::vector<std::string> m_unknownRecords;
    std::optional<Zone> m_storedZone;
    Zone m_placedZone; // where the window was placed for m_storedZone
    ExprFilePane* m_nextDocument = nullptr;

    friend ExprFilePane* NewExprFilePane(ExprPtr expression, const Zone* windowZone,
                                         const char* fileName, uint32_t flags);
};

// The open document windows, newest first.
extern ExprFilePane* OpenDocumentList;
int32_t OpenDocumentCount();

// A new document window for the expression (taken over), linked into the open document list.
// `flags` holds the four view options, option 1 in the low byte. Without a zone the window is
// placed and sized as a new pane is. The caller sets the save type and the path. Fails into the
// caller's error environment when the window cannot be made (nothing is left behind).
ExprFilePane* NewExprFilePane(ExprPtr expression, const Zone* windowZone, const char* fileName,
                              uint32_t flags);
// The save type of a new document (the saved preference); null: expression documents (1).
extern int32_t (*NewDocumentSaveTypeHook)();
// A new untitled document over an empty row, with the save type of a new document.
ExprFilePane* NewUntitledDocument();
// The front document window when it holds an expression: the active pane when it is a document,
// else the one that last gave up the front, else the newest document; null when there is none or
// it is empty.
ExprFilePane* FrontExpressionDocument();

// Writes a document: the document code installs it. `askName` is set for Save As (and for an
// untitled document); true when the file was written.
extern bool (*DocumentWriterHook)(ExprFilePane& pane, bool askName);

// The shell's hook for opening a document window: a null path opens a new untitled document; a
// path needs the document readers, and without them fails with errNotInstalled.
void OpenDocumentWindowForShell(const char* path, char type);
// Installs the hooks of the expression panes the document windows are made of.
void InstallDocumentWindowHooks();
