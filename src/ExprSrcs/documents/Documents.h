#pragma once
// Opening documents: a file of any type the program reads becomes a new document window. Expression
// documents carry the expression encoding somewhere in their text; bitmaps and metafiles go
// through the readers of their own formats.

#include <cstdint>
#include <string>

class ExprFilePane;

// Opens `path` as a document of file type `type` (a letter of the file-type table). A null or
// empty path opens a new untitled document. A file without a readable expression fails with
// alert 495 and opens nothing; a folder (type 'd') fails with 472; an unreadable file fails with
// the reader's error. Failures go to the caller's error environment.
void OpenDocumentWindow(const char* path, char type);
// The document window made by the last successful OpenDocumentWindow of an expression or text
// file (null before any, or when the reader of another format opened the window).
ExprFilePane* LastOpenedDocument();
// The save type a document opened from a file of that type keeps: the writable types keep their
// own, every other type (and ".exp") saves as an expression document (1).
int32_t SaveTypeOfFileType(char type);
// Fichier > "Ouvrir...": asks for a file, then opens it with the type its extension gives.
void OpenDocumentCommand();
// Writes the pane's expression to path as one save type (other than documents): the export code
// installs one per type it writes; a type without a writer saves as a document. Fails like the
// streams, leaving a file that was at path whole.
using DocumentSaveWriter = void (*)(ExprFilePane& pane, const std::string& path);
void SetDocumentSaveWriter(int32_t saveType, DocumentSaveWriter writer);
// Writes the pane's expression whole to path as an expression document, through the same safe save
// as Save; the pane keeps its name, its file and its changed flag. Fails like the streams.
void WriteDocumentCopy(ExprFilePane& pane, const std::string& path);
// Fichier > "Enregistrer", "Enregistrer sous..." and "Close": the front document's save, save as
// and close.
void SaveDocumentCommand();
void SaveDocumentAsCommand();
void CloseDocumentCommand();
// The save dialog's title, and the box shown when the name typed there is not the one written:
// the type the program does not write ("%s" the extension), then the name written, either new or
// replacing a file ("%s" the name).
inline constexpr int kSaveAsTitleString = 1343;
inline constexpr int kTypeNotWrittenString = 1340;
inline constexpr int kSavedUnderString = 1341;
inline constexpr int kSavedReplacingString = 1342;
// Installs the opener for the lower layers and the document writer. Start-up makes it the shell's
// document opener (menus, start-up files, files handed over by a second copy of the program) and
// installs the File menu's "Ouvrir...", "Close", "Enregistrer", "Enregistrer sous..." and
// "Example Library..." commands.
void InstallDocumentOpener();
