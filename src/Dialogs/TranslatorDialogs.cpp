#include "Dialogs/TranslatorDialogs.h"

#include "App/kPrefs.h"
#include "Dialogs/DialogFrame.h"
#include "Dialogs/PrefsSaving.h"
#include "OverPc/PERROR.h"
#include "OverPc/PFILE.h"
#include "OverPc/PFONTS.h"
#include "OverPc/documents/Translations.h"
#include "OverPc/shell/DialogItems.h"
#include "OverPc/shell/Pwindow.h"
#include "OverPc/shell/oListBox.h"
#include "OverSrcs/etTranslator.h"

#include <algorithm>

namespace {

constexpr int32_t kRowHeight = 18;

std::vector<std::string> s_files;

ConversionTableDlgRecord* record() {
    return DialogRecord<ConversionTableDlgRecord>(kConversionTableDialogId);
}

// The row of the current translator's file: the first file of the same name.
int32_t currentRow() {
    const std::string current = FileNameOfPath(TranslatorPrefText().c_str());
    if (current.empty())
        return -1;
    for (size_t i = 0; i < s_files.size(); ++i) {
        if (FileNameOfPath(s_files[i].c_str()) == current)
            return static_cast<int32_t>(i);
    }
    return -1;
}

void makeList() {
    ConversionTableDlgRecord* r = record();
    if (r == nullptr || r->list != nullptr)
        return;
    r->list = CreateListBoxForItem(
        kConversionTableList, static_cast<int32_t>(s_files.size()), currentRow(), kRowHeight,
        [](oListBox& list, int32_t row, const Zone& zone, uint32_t) {
            if (row < 0 || static_cast<size_t>(row) >= s_files.size())
                return;
            const std::string name = FileNameOfPath(s_files[static_cast<size_t>(row)].c_str());
            list.drawString(name.c_str(), DefaultFontIndex(), zone.left + 4, zone.bottom - 4);
        });
}

const DialogFrame& conversionTableFrame() {
    static const DialogFrame frame = [] {
        DialogFrame f;
        f.id = kConversionTableDialogId;
        f.lists = {kConversionTableList};
        f.labels = {{{217, 49, 439, 143}, kConversionTableList}};
        f.measureList = [](plat::HWND, plat::MEASUREITEMSTRUCT& measure) {
            makeList();
            if (ConversionTableDlgRecord* r = record(); r != nullptr && r->list != nullptr)
                r->list->measureItem(measure);
        };
        f.init = [](plat::HWND) {
            makeList();
            if (ConversionTableDlgRecord* r = record(); r != nullptr && r->list != nullptr) {
                const int32_t selection = r->list->getSelection();
                r->list->fillItems();
                r->list->setSelection(selection);
            }
        };
        f.drawList = [](plat::HWND, const plat::DRAWITEMSTRUCT& draw) {
            if (ConversionTableDlgRecord* r = record(); r != nullptr && r->list != nullptr)
                r->list->drawItem(draw);
        };
        f.command = [](plat::HWND, int id, int, plat::HWND) {
            ConversionTableDlgRecord* r = record();
            if (id != kConversionTableList || r == nullptr || r->list == nullptr)
                return;
            // A double click on a file chooses it.
            if (r->list->handleNotify() && DialogResult < 0 && DoubleClickFlag != 0)
                DialogResult = 1;
        };
        f.writeBack = [](plat::HWND) {
            if (ConversionTableDlgRecord* r = record())
                r->selection = r->list != nullptr ? r->list->getSelection() : -1;
        };
        f.destroy = [](plat::HWND) {
            if (ConversionTableDlgRecord* r = record()) {
                delete r->list;
                r->list = nullptr;
            }
        };
        return f;
    }();
    return frame;
}

} // namespace

void FillTranslatorFileList() {
    ScanFolderForTypes(s_files, PrefsFolderPath().c_str(), 'c');
    // Kept within the table's size of 99 files.
    if (s_files.size() > 99)
        s_files.resize(99);
}

const std::vector<std::string>& TranslatorFiles() {
    return s_files;
}

int32_t RunConversionTableDlg(ConversionTableDlgRecord* r) {
    return LaunchDialog(kConversionTableDialogId, &ConversionTableDlgProc,
                        reinterpret_cast<std::uintptr_t>(r));
}

plat::INT_PTR ConversionTableDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                     plat::LPARAM lParam) {
    return HandleDialogFrame(conversionTableFrame(), dialog, message, wParam, lParam);
}

void ChooseTranslatorCommand() {
    FillTranslatorFileList();
    ConversionTableDlgRecord r;
    const int32_t result = RunConversionTableDlg(&r);
    if (result != 1 || r.selection < 0 || static_cast<size_t>(r.selection) >= s_files.size())
        return;
    const std::string path = s_files[static_cast<size_t>(r.selection)];
    Translator chosen;
    std::string message;
    if (!LoadTranslatorFile(path.c_str(), chosen, message)) {
        SetErrorDetail(message.c_str());
        ErrorAlert(errDataCorrupted);
        return;
    }
    CopyAsTranslator() = std::move(chosen);
    SetTranslatorPrefText(path);
    SaveGeneralPrefsAfterChange();
}
