// The open/save file dialogs and the colour dialog, built from templates of our own with French
// texts and run by the dialog manager like any other dialog.

#include "plat/CommonDialogs.h"

#include "core/dlg/DlgInternal.h"
#include "core/win/WinInternal.h"
#include "plat/Files.h"
#include "plat/Font.h"
#include "plat/Resources.h"
#include "plat/System.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace plat::core {

namespace {

DWORD s_lastError = 0;

// --- File dialogs -------------------------------------------------------------------------------

struct Filter {
    std::string label;
    std::vector<std::string> patterns;
};

struct FileRun {
    OPENFILENAME* ofn = nullptr;
    bool save = false;
    std::vector<Filter> filters;
    std::string folder;
    std::vector<std::string> entries; // as listed: "[name]" for folders
    // Entries from this index on are names the code page cannot write: listed so that the user
    // sees them, never chosen.
    std::size_t firstOutside = 0;
    std::vector<std::string> outsideNames; // their system names (UTF-8)
    std::string chosen;
    int typeIndex = 0;
};

std::vector<Filter> parseFilters(const char* list) {
    std::vector<Filter> out;
    if (!list)
        return out;
    const char* p = list;
    while (*p) {
        Filter f;
        f.label = p;
        p += f.label.size() + 1;
        const std::string pats = p;
        p += pats.size() + 1;
        std::size_t i = 0;
        while (i <= pats.size()) {
            std::size_t sc = pats.find(';', i);
            if (sc == std::string::npos)
                sc = pats.size();
            if (sc > i)
                f.patterns.push_back(pats.substr(i, sc - i));
            i = sc + 1;
        }
        if (f.patterns.empty())
            f.patterns.push_back("*");
        out.push_back(f);
    }
    return out;
}

bool isFolder(const std::string& path) {
    const DWORD a = GetFileAttributes(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool exists(const std::string& path) {
    return GetFileAttributes(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string joinPath(const std::string& folder, const std::string& name) {
    if (folder.empty() || folder.back() == '/')
        return folder + name;
    return folder + "/" + name;
}

std::string parentOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return "";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

// Folders first ("[name]", with "[..]" above them), then the files of the current type.
void refresh(HWND dlg, FileRun& run) {
    run.entries.clear();
    if (run.folder != "/")
        run.entries.push_back("[..]");
    WIN32_FIND_DATA fd;
    HANDLE h = FindFirstFile(joinPath(run.folder, "*").c_str(), &fd);
    std::vector<std::string> files;
    if (h != INVALID_HANDLE_VALUE) {
        do {
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                run.entries.push_back(std::string("[") + fd.cFileName + "]");
        } while (FindNextFile(h, &fd));
        FindClose(h);
    }
    const int typeIndex =
        static_cast<int>(SendDlgItemMessage(dlg, IDC_FILE_TYPE, CB_GETCURSEL, 0, 0));
    std::vector<std::string> patterns{"*"};
    if (typeIndex >= 0 && typeIndex < static_cast<int>(run.filters.size()))
        patterns = run.filters[static_cast<std::size_t>(typeIndex)].patterns;
    for (const std::string& pat : patterns) {
        HANDLE f = FindFirstFile(joinPath(run.folder, pat).c_str(), &fd);
        if (f == INVALID_HANDLE_VALUE)
            continue;
        do {
            if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                files.push_back(fd.cFileName);
        } while (FindNextFile(f, &fd));
        FindClose(f);
    }
    std::sort(files.begin(), files.end(), [](const std::string& a, const std::string& b) {
        return std::lexicographical_compare(
            a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
                return FoldCaseCp1252(static_cast<unsigned char>(x)) <
                       FoldCaseCp1252(static_cast<unsigned char>(y));
            });
    });
    files.erase(std::unique(files.begin(), files.end()), files.end());
    run.entries.insert(run.entries.end(), files.begin(), files.end());
    // Names the code page cannot write come last, with '?' for what the page lacks.
    run.firstOutside = run.entries.size();
    run.outsideNames.clear();
    for (const std::string& pat : patterns)
        for (std::string& name : NamesOutsideCodePage(joinPath(run.folder, pat).c_str()))
            run.outsideNames.push_back(std::move(name));
    std::sort(run.outsideNames.begin(), run.outsideNames.end());
    run.outsideNames.erase(std::unique(run.outsideNames.begin(), run.outsideNames.end()),
                           run.outsideNames.end());
    for (const std::string& name : run.outsideNames)
        run.entries.push_back(AnsiTextFromUtf8(name));
    HWND list = GetDlgItem(dlg, IDC_FILE_LIST);
    SendMessage(list, LB_RESETCONTENT, 0, 0);
    for (const std::string& e : run.entries)
        SendMessage(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(e.c_str()));
    SetDlgItemText(dlg, IDC_FILE_FOLDER, run.folder.c_str());
}

void openFolder(HWND dlg, FileRun& run, const std::string& folder) {
    run.folder = folder;
    refresh(dlg, run);
}

bool entryIsFolder(const std::string& e) {
    return e.size() >= 2 && e.front() == '[' && e.back() == ']';
}

// The OK button: a folder opens; a file name is completed, checked and returned.
void accept(HWND dlg, FileRun& run) {
    char buf[MAX_PATH * 2];
    GetDlgItemText(dlg, IDC_FILE_NAME, buf, sizeof buf);
    std::string name = buf;
    if (name.empty()) {
        MessageBeep(0);
        return;
    }
    std::string path = name.front() == '/' ? name : joinPath(run.folder, name);
    if (name == "..") {
        openFolder(dlg, run, parentOf(run.folder));
        SetDlgItemText(dlg, IDC_FILE_NAME, "");
        return;
    }
    if (isFolder(path)) {
        openFolder(dlg, run, path);
        SetDlgItemText(dlg, IDC_FILE_NAME, "");
        return;
    }
    const std::size_t slash = path.find_last_of('/');
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    if (base.find('.') == std::string::npos && run.ofn->lpstrDefExt && *run.ofn->lpstrDefExt)
        path += std::string(".") + run.ofn->lpstrDefExt;
    const DWORD flags = run.ofn->Flags;
    const HWND self = dlg;
    if ((flags & OFN_PATHMUSTEXIST) && !isFolder(parentOf(path))) {
        MessageBox(self, (path + "\nLe chemin n'existe pas.").c_str(), "Enregistrer sous",
                   MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    if (!run.save && (flags & OFN_FILEMUSTEXIST) && !exists(path)) {
        MessageBox(self, (path + "\nFichier introuvable.").c_str(), "Ouvrir",
                   MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    if (run.save && (flags & OFN_OVERWRITEPROMPT) && exists(path)) {
        if (MessageBox(self, (path + " existe d\xE9j\xE0.\nVoulez-vous le remplacer ?").c_str(),
                       "Enregistrer sous", MB_YESNO | MB_ICONEXCLAMATION) != IDYES)
            return;
    }
    run.chosen = path;
    run.typeIndex = static_cast<int>(SendDlgItemMessage(dlg, IDC_FILE_TYPE, CB_GETCURSEL, 0, 0));
    EndDialog(dlg, IDOK);
}

// A file whose name the code page cannot write cannot be opened under a program name: the box says
// why, in the caller's words when its module has them, and names the file.
void refuseOutsideName(HWND dlg, const FileRun& run, const std::string& nativeName) {
    char why[1024];
    const HINSTANCE module = run.ofn->hInstance ? run.ofn->hInstance : GetModuleHandle(nullptr);
    std::string text;
    if (LoadString(module, IDS_NAME_OUTSIDE_CODE_PAGE, why, sizeof why) > 0)
        text = why;
    else
        text = "Le nom de ce fichier contient des caract\xE8"
               "res que la page de code ne peut pas "
               "\xE9"
               "crire : renommez-le pour l'ouvrir.";
    text += '\n';
    text += ShownNameFromNative(nativeName);
    MessageBox(dlg, text.c_str(), run.save ? "Enregistrer sous" : "Ouvrir",
               MB_OK | MB_ICONEXCLAMATION);
}

INT_PTR fileProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam) {
    FileRun* run = reinterpret_cast<FileRun*>(GetWindowLongPtr(dlg, GWL_USERDATA));
    switch (msg) {
    case WM_INITDIALOG: {
        run = reinterpret_cast<FileRun*>(lParam);
        SetWindowLongPtr(dlg, GWL_USERDATA, lParam);
        // File and folder names are text of the active code page.
        for (int id : {IDC_FILE_LIST, IDC_FILE_NAME, IDC_FILE_FOLDER})
            SetWindowTextInCodePage(GetDlgItem(dlg, id), TRUE);
        for (const Filter& f : run->filters)
            SendDlgItemMessage(dlg, IDC_FILE_TYPE, CB_ADDSTRING, 0,
                               reinterpret_cast<LPARAM>(f.label.c_str()));
        const int n = static_cast<int>(run->filters.size());
        int index = static_cast<int>(run->ofn->nFilterIndex) - 1;
        if (index < 0 || index >= n)
            index = 0;
        SendDlgItemMessage(dlg, IDC_FILE_TYPE, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
        // The initial name: the file part of lpstrFile (its folder, if any, is the start).
        std::string initial = run->ofn->lpstrFile ? run->ofn->lpstrFile : "";
        if (!initial.empty() && initial.find('/') != std::string::npos) {
            const std::string dir = parentOf(initial);
            if (isFolder(dir)) {
                run->folder = dir;
                initial = initial.substr(initial.find_last_of('/') + 1);
            }
        }
        refresh(dlg, *run);
        SetDlgItemText(dlg, IDC_FILE_NAME, initial.c_str());
        SetFocus(GetDlgItem(dlg, IDC_FILE_NAME));
        SendDlgItemMessage(dlg, IDC_FILE_NAME, EM_SETSEL, 0, -1);
        return FALSE;
    }
    case WM_COMMAND: {
        if (!run)
            return FALSE;
        const int id = LOWORD(wParam), code = HIWORD(wParam);
        if (id == IDCANCEL) {
            EndDialog(dlg, IDCANCEL);
            return TRUE;
        }
        if (id == IDOK) {
            // Enter in the folder edit opens that folder.
            const HWND focus = GetFocus();
            if (focus == GetDlgItem(dlg, IDC_FILE_FOLDER)) {
                char buf[MAX_PATH * 2];
                GetDlgItemText(dlg, IDC_FILE_FOLDER, buf, sizeof buf);
                if (isFolder(buf))
                    openFolder(dlg, *run, buf);
                else
                    MessageBeep(0);
                return TRUE;
            }
            accept(dlg, *run);
            return TRUE;
        }
        if (id == IDC_FILE_TYPE && code == CBN_SELCHANGE) {
            refresh(dlg, *run);
            return TRUE;
        }
        if (id == IDC_FILE_LIST && (code == LBN_SELCHANGE || code == LBN_DBLCLK)) {
            const int i =
                static_cast<int>(SendDlgItemMessage(dlg, IDC_FILE_LIST, LB_GETCURSEL, 0, 0));
            if (i < 0 || i >= static_cast<int>(run->entries.size()))
                return TRUE;
            const std::string e = run->entries[static_cast<std::size_t>(i)];
            if (static_cast<std::size_t>(i) >= run->firstOutside) {
                if (code == LBN_DBLCLK)
                    refuseOutsideName(
                        dlg, *run,
                        run->outsideNames[static_cast<std::size_t>(i) - run->firstOutside]);
                return TRUE;
            }
            if (entryIsFolder(e)) {
                if (code == LBN_DBLCLK) {
                    const std::string sub = e.substr(1, e.size() - 2);
                    openFolder(dlg, *run,
                               sub == ".." ? parentOf(run->folder) : joinPath(run->folder, sub));
                }
                return TRUE;
            }
            SetDlgItemText(dlg, IDC_FILE_NAME, e.c_str());
            if (code == LBN_DBLCLK)
                accept(dlg, *run);
            return TRUE;
        }
        return FALSE;
    }
    default:
        return FALSE;
    }
}

// Runs a common dialog modally over the top-level window of `requestedOwner`,
// which stays disabled meanwhile. False, with the error kept, when the dialog
// cannot be made.
bool runModal(const ResDialog& templ, HWND requestedOwner, DLGPROC proc, LPARAM param,
              INT_PTR& result) {
    const HWND owner =
        requestedOwner && IsWindow(requestedOwner) ? GetAncestor(requestedOwner, GA_ROOT) : nullptr;
    std::vector<HWND> disabled;
    if (owner && IsWindowEnabled(owner)) {
        EnableWindow(owner, FALSE);
        disabled.push_back(owner);
    }
    const HWND dlg = CreateDialogFromTemplate(templ, nullptr, owner, proc, param, "#32770", false);
    if (!dlg) {
        for (HWND h : disabled)
            EnableWindow(h, TRUE);
        s_lastError = CDERR_DIALOGFAILURE;
        return false;
    }
    result = RunModalDialog(dlg, disabled, true);
    return true;
}

BOOL runFileDialog(OPENFILENAME* ofn, bool save) {
    s_lastError = 0;
    if (!ofn || ofn->lStructSize != sizeof(OPENFILENAME)) {
        s_lastError = CDERR_STRUCTSIZE;
        return FALSE;
    }
    if (!ofn->lpstrFile || ofn->nMaxFile == 0) {
        s_lastError = CDERR_INITIALIZATION;
        return FALSE;
    }
    if (!backend().open()) {
        s_lastError = CDERR_DIALOGFAILURE;
        return FALSE;
    }
    FileRun run;
    run.ofn = ofn;
    run.save = save;
    run.filters = parseFilters(ofn->lpstrFilter);
    if (run.filters.empty())
        run.filters.push_back(Filter{"*", {"*"}});
    if (ofn->lpstrInitialDir && isFolder(ofn->lpstrInitialDir)) {
        run.folder = ofn->lpstrInitialDir;
    } else {
        char cwd[MAX_PATH * 2];
        run.folder = GetCurrentDirectory(sizeof cwd, cwd) ? cwd : "/";
    }
    const std::string caption =
        ofn->lpstrTitle ? ofn->lpstrTitle : (save ? "Enregistrer sous" : "Ouvrir");
    const DWORD child = WS_CHILD | WS_VISIBLE;
    const ResDialogControl controls[] = {
        {"STATIC", 0xFFFF, "&Dossier :", 6, 8, 40, 8, child | SS_LEFT, 0},
        {"EDIT", IDC_FILE_FOLDER, "", 48, 6, 178, 12,
         child | WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL, 0},
        {"LISTBOX", IDC_FILE_LIST, "", 6, 22, 220, 96,
         child | WS_TABSTOP | WS_BORDER | WS_VSCROLL | LBS_HASSTRINGS | LBS_NOTIFY, 0},
        {"STATIC", 0xFFFF, "&Nom du fichier :", 6, 126, 60, 8, child | SS_LEFT, 0},
        {"EDIT", IDC_FILE_NAME, "", 70, 124, 156, 12,
         child | WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL, 0},
        {"STATIC", 0xFFFF, "&Type :", 6, 144, 60, 8, child | SS_LEFT, 0},
        {"COMBOBOX", IDC_FILE_TYPE, "", 70, 142, 156, 80,
         child | WS_TABSTOP | CBS_DROPDOWNLIST | CBS_HASSTRINGS, 0},
        {"BUTTON", IDOK, save ? "&Enregistrer" : "&Ouvrir", 120, 162, 50, 14,
         child | WS_TABSTOP | WS_GROUP | BS_DEFPUSHBUTTON, 0},
        {"BUTTON", IDCANCEL, "Annuler", 176, 162, 50, 14, child | WS_TABSTOP, 0},
    };
    const ResDialog templ{static_cast<UINT>(save ? IDD_SAVEFILE : IDD_OPENFILE),
                          WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_CENTER,
                          0,
                          0,
                          0,
                          232,
                          182,
                          caption.c_str(),
                          controls,
                          static_cast<UINT>(sizeof controls / sizeof controls[0])};
    INT_PTR r = 0;
    if (!runModal(templ, ofn->hwndOwner, &fileProc, reinterpret_cast<LPARAM>(&run), r))
        return FALSE;
    if (r != IDOK || run.chosen.empty())
        return FALSE;
    if (run.chosen.size() + 1 > ofn->nMaxFile) {
        s_lastError = FNERR_BUFFERTOOSMALL;
        return FALSE;
    }
    std::memcpy(ofn->lpstrFile, run.chosen.c_str(), run.chosen.size() + 1);
    const std::size_t slash = run.chosen.find_last_of('/');
    const std::size_t nameAt = slash == std::string::npos ? 0 : slash + 1;
    ofn->nFileOffset = static_cast<WORD>(nameAt);
    const std::size_t dot = run.chosen.find_last_of('.');
    ofn->nFileExtension =
        static_cast<WORD>(dot != std::string::npos && dot >= nameAt ? dot + 1 : 0);
    if (ofn->lpstrFileTitle && ofn->nMaxFileTitle > 0) {
        const std::string title = run.chosen.substr(nameAt);
        const std::size_t n = std::min<std::size_t>(title.size(), ofn->nMaxFileTitle - 1);
        std::memcpy(ofn->lpstrFileTitle, title.c_str(), n);
        ofn->lpstrFileTitle[n] = 0;
    }
    if (ofn->lpstrFilter && run.typeIndex >= 0)
        ofn->nFilterIndex = static_cast<DWORD>(run.typeIndex + 1);
    return TRUE;
}

// --- Colour dialog ------------------------------------------------------------------------------

struct ColorRun {
    CHOOSECOLOR* cc = nullptr;
    COLORREF current = 0;
    COLORREF custom[16] = {};
    int nextCustom = 0;
    bool updating = false;
};

// 48 basic colours: 6 rows of 8.
const COLORREF kBasic[48] = {
    RGB(255, 128, 128), RGB(255, 255, 128), RGB(128, 255, 128), RGB(0, 255, 128),
    RGB(128, 255, 255), RGB(0, 128, 255),   RGB(255, 128, 192), RGB(255, 128, 255),
    RGB(255, 0, 0),     RGB(255, 255, 0),   RGB(128, 255, 0),   RGB(0, 255, 64),
    RGB(0, 255, 255),   RGB(0, 128, 192),   RGB(128, 128, 192), RGB(255, 0, 255),
    RGB(128, 64, 64),   RGB(255, 128, 64),  RGB(0, 255, 0),     RGB(0, 128, 128),
    RGB(0, 64, 128),    RGB(128, 128, 255), RGB(128, 0, 64),    RGB(255, 0, 128),
    RGB(128, 0, 0),     RGB(255, 128, 0),   RGB(0, 128, 0),     RGB(0, 128, 64),
    RGB(0, 0, 255),     RGB(0, 0, 160),     RGB(128, 0, 128),   RGB(128, 0, 255),
    RGB(64, 0, 0),      RGB(128, 64, 0),    RGB(0, 64, 0),      RGB(0, 64, 64),
    RGB(0, 0, 128),     RGB(0, 0, 64),      RGB(64, 0, 64),     RGB(64, 0, 128),
    RGB(0, 0, 0),       RGB(128, 128, 0),   RGB(128, 128, 64),  RGB(128, 128, 128),
    RGB(64, 128, 128),  RGB(192, 192, 192), RGB(64, 0, 64),     RGB(255, 255, 255),
};

constexpr int kCell = 20;  // pixels per colour cell, gap included
constexpr int kGridX = 12; // the basic grid's top-left corner
constexpr int kGridY = 24;
constexpr int kCustomY = kGridY + 6 * kCell + 24;

RECT cellRect(int index) {
    const bool custom = index >= 48;
    const int i = custom ? index - 48 : index;
    const int x = kGridX + (i % 8) * kCell;
    const int y = (custom ? kCustomY : kGridY) + (i / 8) * kCell;
    return RECT{x, y, x + kCell - 4, y + kCell - 4};
}

RECT previewRect() {
    return RECT{190, 24, 290, 84};
}

void showColor(HWND dlg, ColorRun& run) {
    run.updating = true;
    SetDlgItemInt(dlg, IDC_COLOR_RED, GetRValue(run.current), FALSE);
    SetDlgItemInt(dlg, IDC_COLOR_GREEN, GetGValue(run.current), FALSE);
    SetDlgItemInt(dlg, IDC_COLOR_BLUE, GetBValue(run.current), FALSE);
    run.updating = false;
    const RECT p = previewRect();
    InvalidateRect(dlg, &p, FALSE);
}

INT_PTR colorProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam) {
    ColorRun* run = reinterpret_cast<ColorRun*>(GetWindowLongPtr(dlg, GWL_USERDATA));
    switch (msg) {
    case WM_INITDIALOG:
        run = reinterpret_cast<ColorRun*>(lParam);
        SetWindowLongPtr(dlg, GWL_USERDATA, lParam);
        showColor(dlg, *run);
        return TRUE;
    case WM_PAINT: {
        if (!run)
            return FALSE;
        PAINTSTRUCT ps;
        HDC hdc = BeginPaint(dlg, &ps);
        if (hdc) {
            for (int i = 0; i < 64; ++i) {
                const RECT r = cellRect(i);
                DrawSunkenEdge(hdc, r);
                const COLORREF c = i < 48 ? kBasic[i] : run->custom[i - 48];
                FillSolid(hdc, RECT{r.left + 2, r.top + 2, r.right - 2, r.bottom - 2}, c);
                if (c == run->current)
                    DrawFocusFrame(hdc, RECT{r.left - 2, r.top - 2, r.right + 2, r.bottom + 2});
            }
            const RECT p = previewRect();
            DrawSunkenEdge(hdc, p);
            FillSolid(hdc, RECT{p.left + 2, p.top + 2, p.right - 2, p.bottom - 2}, run->current);
        }
        EndPaint(dlg, &ps);
        return TRUE;
    }
    case WM_LBUTTONDOWN: {
        if (!run)
            return FALSE;
        const int x = GET_X_LPARAM(lParam), y = GET_Y_LPARAM(lParam);
        for (int i = 0; i < 64; ++i) {
            const RECT r = cellRect(i);
            if (x >= r.left && x < r.right && y >= r.top && y < r.bottom) {
                run->current = i < 48 ? kBasic[i] : run->custom[i - 48];
                showColor(dlg, *run);
                InvalidateRect(dlg, nullptr, FALSE);
                return TRUE;
            }
        }
        return FALSE;
    }
    case WM_COMMAND: {
        if (!run)
            return FALSE;
        const int id = LOWORD(wParam), code = HIWORD(wParam);
        if ((id == IDC_COLOR_RED || id == IDC_COLOR_GREEN || id == IDC_COLOR_BLUE) &&
            code == EN_CHANGE && !run->updating) {
            BOOL ok = FALSE;
            const UINT v = GetDlgItemInt(dlg, id, &ok, FALSE);
            if (!ok || v > 255)
                return TRUE; // an invalid field leaves the colour as it was
            const BYTE b = static_cast<BYTE>(v);
            const COLORREF c = run->current;
            run->current = id == IDC_COLOR_RED     ? RGB(b, GetGValue(c), GetBValue(c))
                           : id == IDC_COLOR_GREEN ? RGB(GetRValue(c), b, GetBValue(c))
                                                   : RGB(GetRValue(c), GetGValue(c), b);
            const RECT p = previewRect();
            InvalidateRect(dlg, &p, FALSE);
            return TRUE;
        }
        if (id == IDC_COLOR_ADD) {
            run->custom[run->nextCustom] = run->current;
            run->nextCustom = (run->nextCustom + 1) % 16;
            InvalidateRect(dlg, nullptr, FALSE);
            return TRUE;
        }
        if (id == IDOK || id == IDCANCEL) {
            EndDialog(dlg, id);
            return TRUE;
        }
        return FALSE;
    }
    default:
        return FALSE;
    }
}

} // namespace

} // namespace plat::core

namespace plat {

using namespace plat::core;

BOOL GetOpenFileName(OPENFILENAME* ofn) {
    return runFileDialog(ofn, false);
}

BOOL GetSaveFileName(OPENFILENAME* ofn) {
    return runFileDialog(ofn, true);
}

BOOL ChooseColor(CHOOSECOLOR* cc) {
    s_lastError = 0;
    if (!cc || cc->lStructSize != sizeof(CHOOSECOLOR)) {
        s_lastError = CDERR_STRUCTSIZE;
        return FALSE;
    }
    if (!backend().open()) {
        s_lastError = CDERR_DIALOGFAILURE;
        return FALSE;
    }
    ColorRun run;
    run.cc = cc;
    run.current = (cc->Flags & CC_RGBINIT) ? (cc->rgbResult & 0xFFFFFF) : 0;
    if (cc->lpCustColors)
        std::memcpy(run.custom, cc->lpCustColors, sizeof run.custom);
    const DWORD child = WS_CHILD | WS_VISIBLE;
    const ResDialogControl controls[] = {
        {"STATIC", 0xFFFF, "Couleurs de &base :", 6, 4, 90, 8, child | SS_LEFT, 0},
        {"STATIC", 0xFFFF,
         "&Couleurs personnalis\xE9"
         "es :",
         6, 76, 90, 8, child | SS_LEFT, 0},
        {"STATIC", 0xFFFF, "&Rouge :", 95, 48, 30, 8, child | SS_LEFT, 0},
        {"EDIT", IDC_COLOR_RED, "", 125, 46, 22, 12, child | WS_TABSTOP | WS_BORDER | ES_NUMBER, 0},
        {"STATIC", 0xFFFF, "&Vert :", 95, 64, 30, 8, child | SS_LEFT, 0},
        {"EDIT", IDC_COLOR_GREEN, "", 125, 62, 22, 12, child | WS_TABSTOP | WS_BORDER | ES_NUMBER,
         0},
        {"STATIC", 0xFFFF, "B&leu :", 95, 80, 30, 8, child | SS_LEFT, 0},
        {"EDIT", IDC_COLOR_BLUE, "", 125, 78, 22, 12, child | WS_TABSTOP | WS_BORDER | ES_NUMBER,
         0},
        {"BUTTON", IDC_COLOR_ADD,
         "&Ajouter aux couleurs personnalis\xE9"
         "es",
         6, 124, 140, 14, child | WS_TABSTOP, 0},
        {"BUTTON", IDOK, "OK", 6, 142, 50, 14, child | WS_TABSTOP | WS_GROUP | BS_DEFPUSHBUTTON, 0},
        {"BUTTON", IDCANCEL, "Annuler", 62, 142, 50, 14, child | WS_TABSTOP, 0},
    };
    const ResDialog templ{static_cast<UINT>(IDD_CHOOSECOLOR),
                          WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_CENTER,
                          0,
                          0,
                          0,
                          152,
                          162,
                          "Couleur",
                          controls,
                          static_cast<UINT>(sizeof controls / sizeof controls[0])};
    INT_PTR r = 0;
    if (!runModal(templ, cc->hwndOwner, &colorProc, reinterpret_cast<LPARAM>(&run), r) || r != IDOK)
        return FALSE;
    cc->rgbResult = run.current;
    if (cc->lpCustColors)
        std::memcpy(cc->lpCustColors, run.custom, sizeof run.custom);
    return TRUE;
}

DWORD CommDlgExtendedError() {
    return s_lastError;
}

namespace core {
// The print dialog lives in its own file and reports its errors through the same slot.
void SetCommonDialogError(DWORD error) {
    s_lastError = error;
}
} // namespace core

} // namespace plat
