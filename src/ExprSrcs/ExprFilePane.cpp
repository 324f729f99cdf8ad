#include "ExprSrcs/ExprFilePane.h"

#include "OverPc/PERROR.h"
#include "OverPc/PFILE.h"
#include "OverSrcs/eHeader.h"
#include "OverSrcs/eSelect.h"
#include "OverSrcs/eSimpString.h"

#include <cstdint>
#include <utility>

ExprFilePane* OpenDocumentList = nullptr;
bool (*DocumentWriterHook)(ExprFilePane& pane, bool askName) = nullptr;

ExprFilePane::~ExprFilePane() {
    for (ExprFilePane** link = &OpenDocumentList; *link != nullptr;
         link = &(*link)->m_nextDocument) {
        if (*link == this) {
            *link = m_nextDocument;
            break;
        }
    }
}

bool ExprFilePane::canClose() {
    if (!changed())
        return true;
    switch (AskSaveChanges(fileName().c_str())) {
    case 1:
        return save();
    case 2:
        return true;
    default:
        return false;
    }
}

void ExprFilePane::becomeFront() {
    ExprPane::becomeFront();
    EnableSaveAndPrint(true);
}

void ExprFilePane::resignFront() {
    EnableSaveAndPrint(false);
    ExprPane::resignFront();
}

std::string ExprFilePane::fileName() const {
    if (m_filePath.empty())
        return ExprPane::fileName();
    return FileNameOfPath(m_filePath.c_str());
}

bool ExprFilePane::save() {
    if (m_filePath.empty())
        return saveAs();
    return write(false);
}

bool ExprFilePane::saveAs() {
    return write(true);
}

bool ExprFilePane::write(bool askName) {
    // Every failure is shown here, so that a save asked for by a close or by Quit says why the
    // window stays open; the file on disk is left as it was by the writer.
    if (DocumentWriterHook == nullptr) {
        ErrorAlert(errNotInstalled);
        return false;
    }
    const std::string before = fileName();
    m_wroteCopy = false;
    const bool written = GuardedCall([&] { return DocumentWriterHook(*this, askName); },
                                     [](std::int16_t code) {
                                         ErrorAlert(code);
                                         SetErrorDetail(nullptr);
                                         return false;
                                     });
    if (!written)
        return false;
    if (m_wroteCopy)
        return true;
    setChanged(false);
    // Saved: the recovery copy it was opened from has served.
    if (!m_recoveryCopy.empty()) {
        RemoveFileQuietly(m_recoveryCopy.c_str());
        m_recoveryCopy.clear();
    }
    UpdateSaveMenuItem(m_saveType);
    if (fileName() != before)
        renameWindow();
    return true;
}

void ExprFilePane::renameWindow() {
    const std::string name = fileName();
    if (oWindow* win = window())
        win->setTitle(name.c_str());
    ExprPaneShellHooks& shell = TheExprPaneShellHooks();
    if (m_windowMenuItem != 0 && shell.removeWindowMenuItem != nullptr &&
        shell.addWindowMenuItem != nullptr) {
        shell.removeWindowMenuItem(m_windowMenuItem);
        m_windowMenuItem = shell.addWindowMenuItem(name.c_str(), this);
        if (m_windowMenuItem != 0 && ActivePane == this && shell.checkWindowMenuItem != nullptr)
            shell.checkWindowMenuItem(m_windowMenuItem, true);
    }
}

void ExprFilePane::keepStoredWindowZone(const Zone& stored) {
    m_storedZone = stored;
    m_placedZone = window() != nullptr ? window()->currentPlacement() : stored;
}

Zone ExprFilePane::windowZoneToSave(const Zone& current) const {
    return m_storedZone && current == m_placedZone ? *m_storedZone : current;
}

int32_t OpenDocumentCount() {
    int32_t n = 0;
    for (ExprFilePane* pane = OpenDocumentList; pane != nullptr; pane = pane->nextDocument())
        ++n;
    return n;
}

ExprFilePane* NewExprFilePane(ExprPtr expression, const Zone* windowZone, const char* fileName,
                              uint32_t flags) {
    auto* pane = new ExprFilePane();
    const int16_t code = CatchFail([&] {
        InitExprPane(pane, std::move(expression), windowZone, fileName,
                     static_cast<uint8_t>(flags & 0xFF), static_cast<uint8_t>((flags >> 8) & 0xFF),
                     static_cast<uint8_t>((flags >> 16) & 0xFF),
                     static_cast<uint8_t>((flags >> 24) & 0xFF));
    });
    if (code != 0) {
        delete pane;
        Fail(code);
    }
    pane->m_nextDocument = OpenDocumentList;
    OpenDocumentList = pane;
    pane->setChanged(false);
    return pane;
}

int32_t (*NewDocumentSaveTypeHook)() = nullptr;

ExprFilePane* NewUntitledDocument() {
    ExprFilePane* pane = NewExprFilePane(NewSimpString(0), nullptr, nullptr, 0);
    if (NewDocumentSaveTypeHook != nullptr)
        pane->setSaveType(NewDocumentSaveTypeHook());
    return pane;
}

ExprFilePane* FrontExpressionDocument() {
    ExprFilePane* pane = dynamic_cast<ExprFilePane*>(ActivePane);
    if (pane == nullptr)
        pane = dynamic_cast<ExprFilePane*>(LastFrontPane);
    if (pane == nullptr)
        pane = OpenDocumentList;
    if (pane == nullptr || pane->record().m_root == nullptr ||
        pane->record().m_root->childCount() == 0)
        return nullptr;
    return pane;
}

void OpenDocumentWindowForShell(const char* path, char) {
    if (path != nullptr && path[0] != '\0')
        Fail(errNotInstalled);
    ExprFilePane* pane = NewUntitledDocument();
    pane->takeFocus();
}

void InstallDocumentWindowHooks() {
    InstallExprPaneHooks();
}
