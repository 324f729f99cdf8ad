#include "ExprSrcs/documents/Documents.h"

#include "App/AppHooks.h"
#include "App/MenuDispatch.h"
#include "Dialogs/ChooseExampleDialog.h"
#include "ExprSrcs/ExprFilePane.h"
#include "OverPc/PERROR.h"
#include "OverPc/PEXPRPICT.h"
#include "OverPc/PFILE.h"
#include "OverSrcs/etEncode.h"
#include "OverSrcs/oStreams.h"

#include <memory>
#include <utility>

namespace {

ExprFilePane* s_lastOpened = nullptr;

// The whole file as bytes; a missing or unreadable file fails with the stream's error.
std::string readWholeFile(const char* path) {
    std::unique_ptr<oIFileStream, oIStreamDeleter> stream(NewIFileStream(path));
    return stream->readAll();
}

// A text document: the encoding is looked for anywhere in the file (bare encodings, documents with
// keyed lines, exports that carry it in their text). Nothing readable is the "no expression" alert,
// with the file named.
void openEncodedDocument(const char* path, char type) {
    const std::string text = readWholeFile(path);
    ExprPtr expression = FindEmbeddedEncoding(text.data(), text.size());
    if (expression == nullptr) {
        SetErrorDetail(path);
        Fail(errNoExpressionInFile);
    }
    // Stationery opens as a new untitled document over a copy of its expression.
    const bool stationery = type == 'E';
    const std::string name = FileNameOfPath(path);
    ExprFilePane* pane =
        NewExprFilePane(std::move(expression), nullptr, stationery ? nullptr : name.c_str(), 0);
    if (!stationery) {
        pane->setFilePath(path);
        pane->setSaveType(SaveTypeOfFileType(type));
    }
    s_lastOpened = pane;
    pane->takeFocus();
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
    switch (type) {
    case 'b':
        // The bitmap reader shows its own alerts.
        OpenBitmapFile(path);
        return;
    case 'm':
    case 'M':
        ReadEmfFile(path);
        return;
    case 'd':
        // A folder is no document.
        SetErrorDetail(path);
        Fail(errNoExpressionInFile);
    default:
        openEncodedDocument(path, type);
        return;
    }
}

void OpenDocumentCommand() {
    std::string path;
    if (!OpenFileDialog("", path, nullptr))
        return;
    OpenDocumentWindow(path.c_str(), FileTypeOfPath(path.c_str()));
}

void InstallDocumentOpener() {
    InstallDocumentWindowHooks();
    AppHooks().openDocumentWindow = &OpenDocumentWindow;
    SetOpenDocumentHook(&OpenDocumentWindow);
    SetMenuHandler(258, &OpenDocumentCommand);
    SetMenuHandler(261, &ShowExamplesCommand);
}
