// The print and print set-up dialogs, the device mode and device names blocks they return, and the
// "windows"/"device" profile entry that names the default printer. The printers are CUPS queues,
// read from `lpstat`, plus the PDF printer, which is always there so that printing never depends
// on a print server.

#include "core/dlg/DlgInternal.h"
#include "core/win/WinInternal.h"
#include "plat/CommonDialogs.h"
#include "plat/Files.h"
#include "plat/Memory.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace plat::core {

// Defined beside CommDlgExtendedError, which reports it.
void SetCommonDialogError(DWORD error);

namespace {

// The printer the print set-up dialog last confirmed, for the "windows"/"device" entry.
std::string s_setupChoice;

constexpr int kMaxCopies = 9999;
// A queue name longer than this cannot be a real one and would not fit DEVNAMES' offsets.
constexpr std::size_t kMaxPrinterName = 1000;
// More than this from lpstat is not a list of queues.
constexpr std::size_t kMaxLpstatOutput = 1 << 20;

// --- The printers ---------------------------------------------------------------------------

// Runs the lpstat program (KV_LPSTAT, else "lpstat" on the path) with one argument and returns
// what it wrote, in the C locale. Empty when it is missing, fails or takes more than a few
// seconds (a print server that does not answer must not freeze the dialog).
std::string runLpstat(const char* arg) {
    const char* env = std::getenv("KV_LPSTAT");
    const std::string program = env && *env ? env : "lpstat";
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return "";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<std::string> envText;
    for (char** e = environ; e && *e; ++e) {
        if (std::strncmp(*e, "LC_ALL=", 7) != 0 && std::strncmp(*e, "LANG=", 5) != 0)
            envText.emplace_back(*e);
    }
    envText.emplace_back("LC_ALL=C");
    std::vector<char*> envp;
    for (std::string& s : envText)
        envp.push_back(s.data());
    envp.push_back(nullptr);
    std::string arg0 = program, arg1 = arg;
    char* argv[] = {arg0.data(), arg1.data(), nullptr};
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, program.c_str(), &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (rc != 0) {
        close(fds[0]);
        return "";
    }
    std::string out;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    bool timedOut = false;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            timedOut = true;
            break;
        }
        pollfd p{fds[0], POLLIN, 0};
        const int n = poll(&p, 1, static_cast<int>(left.count()));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            timedOut = n == 0;
            break;
        }
        char buf[4096];
        const ssize_t got = read(fds[0], buf, sizeof buf);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        out.append(buf, static_cast<std::size_t>(got));
        if (out.size() > kMaxLpstatOutput) {
            timedOut = true; // not a queue list: stop it like a hung one
            break;
        }
    }
    close(fds[0]);
    if (timedOut)
        kill(pid, SIGKILL);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (timedOut || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return "";
    return out;
}

// A queue name as the program can hold it: Windows-1252, no comma (the profile entry separates
// its fields with commas), not empty and of a sane length. Empty when it does not qualify.
std::string usableName(const std::string& utf8) {
    std::string name;
    if (utf8.empty() || utf8.size() > kMaxPrinterName || !Cp1252FromUtf8(utf8, name))
        return "";
    if (name.find(',') != std::string::npos || name == kPdfPrinterName)
        return "";
    return name;
}

// `lpstat -a` prints one line per queue, the name first ("laser accepting requests since ...");
// indented lines continue the one above.
std::vector<std::string> cupsPrinters() {
    std::vector<std::string> out;
    const std::string text = runLpstat("-a");
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = text.substr(at, end - at);
        at = end + 1;
        if (line.empty() || line[0] == ' ' || line[0] == '\t')
            continue;
        const std::string name = usableName(line.substr(0, line.find_first_of(" \t\r")));
        if (!name.empty() && std::find(out.begin(), out.end(), name) == out.end())
            out.push_back(name);
    }
    return out;
}

// `lpstat -d`: "system default destination: laser", or "no system default destination".
std::string cupsDefault() {
    const std::string text = runLpstat("-d");
    const std::string tag = "system default destination:";
    const std::size_t p = text.find(tag);
    if (p == std::string::npos)
        return "";
    std::size_t from = p + tag.size();
    while (from < text.size() && (text[from] == ' ' || text[from] == '\t'))
        ++from;
    const std::size_t end = text.find_first_of(" \t\r\n", from);
    return usableName(text.substr(from, end == std::string::npos ? end : end - from));
}

// The default printer: the set-up dialog's choice, else the CUPS default, else none.
std::string defaultPrinter() {
    return s_setupChoice.empty() ? cupsDefault() : s_setupChoice;
}

bool isPdf(const std::string& printer) {
    return printer == kPdfPrinterName;
}

const char* driverOf(const std::string& printer) {
    return isPdf(printer) ? kPdfPrinterDriver : kCupsPrinterDriver;
}

// The PDF printer's output is the file the print dialog chose, else "FILE:".
std::string outputOf(const std::string& printer, const std::string& file) {
    if (!isPdf(printer))
        return printer;
    return file.empty() ? std::string("FILE:") : file;
}

// --- The PDF file ---------------------------------------------------------------------------

bool pathExists(const std::string& cp1252) {
    struct stat st;
    return stat(NativePath(cp1252.c_str()).c_str(), &st) == 0;
}

bool isFolder(const std::string& cp1252) {
    struct stat st;
    return stat(NativePath(cp1252.c_str()).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string homeFolder() {
    const char* home = std::getenv("HOME");
    std::string folder;
    if (!home || !*home || !Cp1252FromUtf8(home, folder))
        folder = "/tmp";
    return folder;
}

// A file name not taken yet in the folder of `last` (at first the home folder): "Korvaline.pdf",
// else "Korvaline (2).pdf" and so on.
std::string freshPdfPath(const std::string& last) {
    std::string folder = homeFolder();
    const std::size_t slash = last.rfind('/');
    if (slash != std::string::npos && slash > 0 && isFolder(last.substr(0, slash)))
        folder = last.substr(0, slash);
    for (int n = 1; n < 1000; ++n) {
        const std::string path =
            folder + "/Korvaline" + (n == 1 ? "" : " (" + std::to_string(n) + ")") + ".pdf";
        if (!pathExists(path))
            return path;
    }
    return folder + "/Korvaline.pdf";
}

// --- Settings and their blocks --------------------------------------------------------------

struct Paper {
    short id;
    const char* label;
    short width, length; // tenths of a millimetre, portrait
};

const Paper kPapers[] = {
    {DMPAPER_A4, "A4 (210 x 297 mm)", 2100, 2970},
    {DMPAPER_LETTER, "Lettre US (8,5 x 11 pouces)", 2159, 2794},
    {DMPAPER_LEGAL, "L\xE9gal US (8,5 x 14 pouces)", 2159, 3556},
};

const short kQualities[] = {300, 600, 1200};

struct Settings {
    std::string printer;
    short paper = DMPAPER_A4;
    short orientation = DMORIENT_PORTRAIT;
    short quality = 600;
    short copies = 1;
    short collate = 0;
    short color = DMCOLOR_COLOR;
    std::string file; // the PDF printer's file (print dialog), or ""
};

const Paper* paperOf(short id) {
    for (const Paper& p : kPapers) {
        if (p.id == id)
            return &p;
    }
    return nullptr;
}

bool knownQuality(short dpi) {
    return std::find(std::begin(kQualities), std::end(kQualities), dpi) != std::end(kQualities);
}

// The caller's device mode, taken field by field: a block that is stale, too small or holds
// values we do not offer leaves the defaults in place.
void readDevMode(HGLOBAL mem, Settings& s, std::string& device) {
    if (!mem || GlobalSize(mem) < sizeof(DEVMODE))
        return;
    DEVMODE dm;
    const void* p = GlobalLock(mem);
    if (!p)
        return;
    std::memcpy(&dm, p, sizeof dm);
    GlobalUnlock(mem);
    if (dm.dmSize < sizeof(DEVMODE))
        return;
    dm.dmDeviceName[CCHDEVICENAME - 1] = 0;
    device = dm.dmDeviceName;
    if ((dm.dmFields & DM_PAPERSIZE) && paperOf(dm.dmPaperSize))
        s.paper = dm.dmPaperSize;
    if ((dm.dmFields & DM_ORIENTATION) &&
        (dm.dmOrientation == DMORIENT_PORTRAIT || dm.dmOrientation == DMORIENT_LANDSCAPE))
        s.orientation = dm.dmOrientation;
    if ((dm.dmFields & DM_PRINTQUALITY) && knownQuality(dm.dmPrintQuality))
        s.quality = dm.dmPrintQuality;
    if ((dm.dmFields & DM_COPIES) && dm.dmCopies >= 1 && dm.dmCopies <= kMaxCopies)
        s.copies = dm.dmCopies;
    if (dm.dmFields & DM_COLLATE)
        s.collate = dm.dmCollate ? 1 : 0;
    if ((dm.dmFields & DM_COLOR) &&
        (dm.dmColor == DMCOLOR_MONOCHROME || dm.dmColor == DMCOLOR_COLOR))
        s.color = dm.dmColor;
}

// The device string (and the output string) of the caller's device names, when the block is
// sound (offsets inside it, strings terminated there).
std::string readDevNames(HGLOBAL mem, std::string* output = nullptr) {
    const std::size_t size = mem ? GlobalSize(mem) : 0;
    if (size <= sizeof(DEVNAMES))
        return "";
    const char* p = static_cast<const char*>(GlobalLock(mem));
    if (!p)
        return "";
    DEVNAMES dn;
    std::memcpy(&dn, p, sizeof dn);
    std::string device;
    if (dn.wDeviceOffset >= sizeof(DEVNAMES) && dn.wDeviceOffset < size) {
        const void* nul = std::memchr(p + dn.wDeviceOffset, 0, size - dn.wDeviceOffset);
        if (nul)
            device = p + dn.wDeviceOffset;
    }
    if (output && dn.wOutputOffset >= sizeof(DEVNAMES) && dn.wOutputOffset < size &&
        std::memchr(p + dn.wOutputOffset, 0, size - dn.wOutputOffset))
        *output = p + dn.wOutputOffset;
    GlobalUnlock(mem);
    return device;
}

HGLOBAL makeDevMode(const Settings& s) {
    HGLOBAL mem = GlobalAlloc(GHND, sizeof(DEVMODE));
    void* p = mem ? GlobalLock(mem) : nullptr;
    if (!p) {
        if (mem)
            GlobalFree(mem);
        return nullptr;
    }
    DEVMODE dm;
    const std::size_t n = std::min<std::size_t>(s.printer.size(), CCHDEVICENAME - 1);
    std::memcpy(dm.dmDeviceName, s.printer.data(), n);
    dm.dmFields = DM_ORIENTATION | DM_PAPERSIZE | DM_COPIES | DM_PRINTQUALITY | DM_COLOR |
                  DM_YRESOLUTION | DM_COLLATE;
    dm.dmOrientation = s.orientation;
    dm.dmPaperSize = s.paper;
    if (const Paper* paper = paperOf(s.paper)) {
        dm.dmPaperWidth = paper->width;
        dm.dmPaperLength = paper->length;
    }
    dm.dmCopies = s.copies;
    dm.dmPrintQuality = s.quality;
    dm.dmYResolution = s.quality;
    dm.dmColor = s.color;
    dm.dmCollate = s.collate;
    std::memcpy(p, &dm, sizeof dm);
    GlobalUnlock(mem);
    return mem;
}

HGLOBAL makeDevNames(const std::string& printer, const std::string& file, bool isDefault) {
    const std::string driver = driverOf(printer), output = outputOf(printer, file);
    const std::size_t size =
        sizeof(DEVNAMES) + driver.size() + 1 + printer.size() + 1 + output.size() + 1;
    if (size > 0xFFFF)
        return nullptr;
    HGLOBAL mem = GlobalAlloc(GHND, size);
    char* p = mem ? static_cast<char*>(GlobalLock(mem)) : nullptr;
    if (!p) {
        if (mem)
            GlobalFree(mem);
        return nullptr;
    }
    DEVNAMES dn;
    dn.wDriverOffset = static_cast<WORD>(sizeof(DEVNAMES));
    dn.wDeviceOffset = static_cast<WORD>(dn.wDriverOffset + driver.size() + 1);
    dn.wOutputOffset = static_cast<WORD>(dn.wDeviceOffset + printer.size() + 1);
    dn.wDefault = isDefault ? DN_DEFAULTPRN : 0;
    std::memcpy(p, &dn, sizeof dn);
    std::memcpy(p + dn.wDriverOffset, driver.c_str(), driver.size() + 1);
    std::memcpy(p + dn.wDeviceOffset, printer.c_str(), printer.size() + 1);
    std::memcpy(p + dn.wOutputOffset, output.c_str(), output.size() + 1);
    GlobalUnlock(mem);
    return mem;
}

// Hands the new blocks to the caller, freeing the ones it passed in. Nothing changes when a
// block cannot be had.
bool deliver(PRINTDLG* pd, const Settings& s, bool isDefault) {
    HGLOBAL dm = makeDevMode(s);
    HGLOBAL dn = dm ? makeDevNames(s.printer, s.file, isDefault) : nullptr;
    if (!dm || !dn) {
        if (dm)
            GlobalFree(dm);
        SetCommonDialogError(CDERR_MEMALLOCFAILURE);
        return false;
    }
    if (pd->hDevMode)
        GlobalFree(pd->hDevMode);
    if (pd->hDevNames)
        GlobalFree(pd->hDevNames);
    pd->hDevMode = dm;
    pd->hDevNames = dn;
    return true;
}

// --- The dialogs ----------------------------------------------------------------------------

struct PrintRun {
    PRINTDLG* pd = nullptr;
    bool setup = false;
    std::vector<std::string> printers;
    Settings settings;
};

void fillCombo(HWND dlg, int id, const std::vector<std::string>& texts, int selected) {
    for (const std::string& t : texts)
        SendDlgItemMessage(dlg, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(t.c_str()));
    SendDlgItemMessage(dlg, id, CB_SETCURSEL, static_cast<WPARAM>(selected), 0);
}

int comboSel(HWND dlg, int id) {
    return static_cast<int>(SendDlgItemMessage(dlg, id, CB_GETCURSEL, 0, 0));
}

// The file field serves the PDF printer only.
void showFileFor(HWND dlg, const PrintRun& run) {
    const int printer = comboSel(dlg, IDC_PRINT_PRINTER);
    const bool pdf = printer >= 0 && printer < static_cast<int>(run.printers.size()) &&
                     isPdf(run.printers[static_cast<std::size_t>(printer)]);
    EnableWindow(GetDlgItem(dlg, IDC_PRINT_FILE), pdf ? TRUE : FALSE);
}

// The PDF file the field names, made absolute against the folder of the file proposed; false,
// with a message and the field selected, when it cannot be written or the user keeps a file that
// is there.
bool acceptFile(HWND dlg, const PrintRun& run, std::string& file) {
    char text[1024] = {};
    GetDlgItemText(dlg, IDC_PRINT_FILE, text, sizeof text);
    std::string path = text;
    while (!path.empty() && (path.back() == ' ' || path.back() == '\t'))
        path.pop_back();
    const auto refuse = [&](const std::string& message, UINT icon) {
        const bool yes = MessageBox(dlg, message.c_str(), "Imprimer",
                                    icon == MB_ICONQUESTION ? (MB_YESNO | icon) : (MB_OK | icon)) ==
                         IDYES;
        if (!yes) {
            const HWND edit = GetDlgItem(dlg, IDC_PRINT_FILE);
            SetFocus(edit);
            SendMessage(edit, EM_SETSEL, 0, -1);
        }
        return yes;
    };
    if (path.empty())
        return refuse("Indiquez le fichier PDF \xE0 \xE9" "crire.", MB_ICONEXCLAMATION);
    if (path[0] != '/') {
        const std::size_t slash = run.settings.file.rfind('/');
        const std::string base = slash == std::string::npos ? homeFolder()
                                                            : run.settings.file.substr(0, slash);
        path = base + "/" + path;
    }
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == 0 ? std::string("/") : path.substr(0, slash);
    if (slash + 1 >= path.size() || isFolder(path))
        return refuse("\xAB " + path + " \xBB n'est pas un nom de fichier.", MB_ICONEXCLAMATION);
    if (!isFolder(folder))
        return refuse("Le dossier \xAB " + folder + " \xBB n'existe pas.", MB_ICONEXCLAMATION);
    if (pathExists(path) &&
        !refuse("\xAB " + path + " \xBB existe d\xE9j\xE0. Le remplacer ?", MB_ICONQUESTION))
        return false;
    file = path;
    return true;
}

void initDialog(HWND dlg, PrintRun& run) {
    const auto at = std::find(run.printers.begin(), run.printers.end(), run.settings.printer);
    fillCombo(dlg, IDC_PRINT_PRINTER, run.printers,
              static_cast<int>(at == run.printers.end() ? 0 : at - run.printers.begin()));
    if (!run.setup) {
        SetDlgItemInt(dlg, IDC_PRINT_COPIES, static_cast<UINT>(run.settings.copies), FALSE);
        SetDlgItemText(dlg, IDC_PRINT_FILE, run.settings.file.c_str());
        showFileFor(dlg, run);
        return;
    }
    std::vector<std::string> papers, qualities;
    int paperSel = 0, qualitySel = 0;
    for (const Paper& p : kPapers) {
        if (p.id == run.settings.paper)
            paperSel = static_cast<int>(papers.size());
        papers.emplace_back(p.label);
    }
    for (short q : kQualities) {
        if (q == run.settings.quality)
            qualitySel = static_cast<int>(qualities.size());
        qualities.push_back(std::to_string(q) + " ppp");
    }
    fillCombo(dlg, IDC_PRINT_PAPER, papers, paperSel);
    fillCombo(dlg, IDC_PRINT_QUALITY, qualities, qualitySel);
    CheckRadioButton(dlg, IDC_PRINT_PORTRAIT, IDC_PRINT_LANDSCAPE,
                     run.settings.orientation == DMORIENT_LANDSCAPE ? IDC_PRINT_LANDSCAPE
                                                                    : IDC_PRINT_PORTRAIT);
}

// OK: reads the controls back; a number of copies out of range is refused with a message and
// the dialog stays open.
bool accept(HWND dlg, PrintRun& run) {
    Settings s = run.settings;
    const int printer = comboSel(dlg, IDC_PRINT_PRINTER);
    if (printer >= 0 && printer < static_cast<int>(run.printers.size()))
        s.printer = run.printers[static_cast<std::size_t>(printer)];
    if (!run.setup) {
        BOOL ok = FALSE;
        const UINT copies = GetDlgItemInt(dlg, IDC_PRINT_COPIES, &ok, FALSE);
        if (!ok || copies < 1 || copies > static_cast<UINT>(kMaxCopies)) {
            MessageBox(dlg, "Le nombre de copies doit \xEAtre compris entre 1 et 9999.", "Imprimer",
                       MB_OK | MB_ICONEXCLAMATION);
            const HWND edit = GetDlgItem(dlg, IDC_PRINT_COPIES);
            SetFocus(edit);
            SendMessage(edit, EM_SETSEL, 0, -1);
            return false;
        }
        s.copies = static_cast<short>(copies);
        s.file.clear();
        if (isPdf(s.printer) && !acceptFile(dlg, run, s.file))
            return false;
    } else {
        const int paper = comboSel(dlg, IDC_PRINT_PAPER);
        if (paper >= 0 && paper < static_cast<int>(std::size(kPapers)))
            s.paper = kPapers[paper].id;
        const int quality = comboSel(dlg, IDC_PRINT_QUALITY);
        if (quality >= 0 && quality < static_cast<int>(std::size(kQualities)))
            s.quality = kQualities[quality];
        s.orientation = IsDlgButtonChecked(dlg, IDC_PRINT_LANDSCAPE) == BST_CHECKED
                            ? DMORIENT_LANDSCAPE
                            : DMORIENT_PORTRAIT;
    }
    run.settings = s;
    return true;
}

INT_PTR printProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam) {
    PrintRun* run = reinterpret_cast<PrintRun*>(GetWindowLongPtr(dlg, GWL_USERDATA));
    switch (msg) {
    case WM_INITDIALOG:
        run = reinterpret_cast<PrintRun*>(lParam);
        SetWindowLongPtr(dlg, GWL_USERDATA, lParam);
        initDialog(dlg, *run);
        return TRUE;
    case WM_COMMAND: {
        if (!run)
            return FALSE;
        const int id = LOWORD(wParam);
        if (id == IDOK) {
            if (accept(dlg, *run))
                EndDialog(dlg, IDOK);
            return TRUE;
        }
        if (id == IDCANCEL) {
            EndDialog(dlg, IDCANCEL);
            return TRUE;
        }
        if (id == IDC_PRINT_PRINTER && HIWORD(wParam) == CBN_SELCHANGE && !run->setup) {
            showFileFor(dlg, *run);
            return TRUE;
        }
        return FALSE;
    }
    default:
        return FALSE;
    }
}

INT_PTR runDialog(PrintRun& run) {
    const DWORD child = WS_CHILD | WS_VISIBLE;
    const DWORD combo = child | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST | CBS_HASSTRINGS;
    const DWORD frame = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_CENTER;
    const ResDialogControl printControls[] = {
        {"STATIC", 0xFFFF, "&Imprimante :", 6, 8, 50, 8, child | SS_LEFT, 0},
        {"COMBOBOX", IDC_PRINT_PRINTER, "", 60, 6, 154, 80, combo, 0},
        {"STATIC", 0xFFFF, "&Copies :", 6, 28, 50, 8, child | SS_LEFT, 0},
        {"EDIT", IDC_PRINT_COPIES, "", 60, 26, 30, 12,
         child | WS_TABSTOP | WS_BORDER | ES_NUMBER | ES_AUTOHSCROLL, 0},
        {"STATIC", 0xFFFF, "&Fichier :", 6, 48, 50, 8, child | SS_LEFT, 0},
        {"EDIT", IDC_PRINT_FILE, "", 60, 46, 154, 12,
         child | WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL, 0},
        {"BUTTON", IDOK, "OK", 108, 68, 50, 14, child | WS_TABSTOP | WS_GROUP | BS_DEFPUSHBUTTON,
         0},
        {"BUTTON", IDCANCEL, "Annuler", 164, 68, 50, 14, child | WS_TABSTOP, 0},
    };
    const ResDialogControl setupControls[] = {
        {"STATIC", 0xFFFF, "&Imprimante :", 6, 8, 50, 8, child | SS_LEFT, 0},
        {"COMBOBOX", IDC_PRINT_PRINTER, "", 60, 6, 166, 80, combo, 0},
        {"BUTTON", 0xFFFF, "Papier", 6, 24, 220, 32, child | BS_GROUPBOX, 0},
        {"STATIC", 0xFFFF, "&Taille :", 12, 39, 40, 8, child | SS_LEFT, 0},
        {"COMBOBOX", IDC_PRINT_PAPER, "", 56, 37, 164, 60, combo, 0},
        {"BUTTON", 0xFFFF, "Orientation", 6, 60, 108, 40, child | BS_GROUPBOX, 0},
        {"BUTTON", IDC_PRINT_PORTRAIT, "&Portrait", 12, 72, 96, 10,
         child | WS_TABSTOP | WS_GROUP | BS_AUTORADIOBUTTON, 0},
        {"BUTTON", IDC_PRINT_LANDSCAPE, "P&aysage", 12, 86, 96, 10, child | BS_AUTORADIOBUTTON, 0},
        {"BUTTON", 0xFFFF, "R\xE9solution", 118, 60, 108, 40, child | BS_GROUPBOX, 0},
        {"COMBOBOX", IDC_PRINT_QUALITY, "", 124, 74, 96, 60, combo | WS_GROUP, 0},
        {"BUTTON", IDOK, "OK", 120, 106, 50, 14, child | WS_TABSTOP | WS_GROUP | BS_DEFPUSHBUTTON,
         0},
        {"BUTTON", IDCANCEL, "Annuler", 176, 106, 50, 14, child | WS_TABSTOP, 0},
    };
    const ResDialog printTemplate{static_cast<UINT>(IDD_PRINT),
                                  frame,
                                  0,
                                  0,
                                  0,
                                  220,
                                  88,
                                  "Imprimer",
                                  printControls,
                                  static_cast<UINT>(std::size(printControls))};
    const ResDialog setupTemplate{static_cast<UINT>(IDD_PRINTSETUP),
                                  frame,
                                  0,
                                  0,
                                  0,
                                  232,
                                  126,
                                  "Configuration de l'impression",
                                  setupControls,
                                  static_cast<UINT>(std::size(setupControls))};
    const HWND ownerIn = run.pd->hwndOwner;
    const HWND owner = ownerIn && IsWindow(ownerIn) ? GetAncestor(ownerIn, GA_ROOT) : nullptr;
    std::vector<HWND> disabled;
    if (owner && IsWindowEnabled(owner)) {
        EnableWindow(owner, FALSE);
        disabled.push_back(owner);
    }
    const HWND dlg =
        CreateDialogFromTemplate(run.setup ? setupTemplate : printTemplate, nullptr, owner,
                                 &printProc, reinterpret_cast<LPARAM>(&run), "#32770", false);
    if (!dlg) {
        for (HWND h : disabled)
            EnableWindow(h, TRUE);
        return -1;
    }
    return RunModalDialog(dlg, disabled, true);
}

} // namespace

} // namespace plat::core

namespace plat {

using namespace plat::core;

BOOL PrintDlg(PRINTDLG* pd) {
    SetCommonDialogError(0);
    if (!pd || pd->lStructSize != sizeof(PRINTDLG)) {
        SetCommonDialogError(CDERR_STRUCTSIZE);
        return FALSE;
    }
    const bool returnDefault = (pd->Flags & PD_RETURNDEFAULT) != 0;
    if (returnDefault && (pd->hDevMode || pd->hDevNames)) {
        // The blocks would be lost: the caller releases them first.
        SetCommonDialogError(PDERR_RETDEFFAILURE);
        return FALSE;
    }
    PrintRun run;
    run.pd = pd;
    run.setup = (pd->Flags & PD_PRINTSETUP) != 0;
    run.printers = cupsPrinters();
    run.printers.emplace_back(kPdfPrinterName);
    const auto listed = [&](const std::string& name) {
        return !name.empty() &&
               std::find(run.printers.begin(), run.printers.end(), name) != run.printers.end();
    };
    const std::string byDefault = defaultPrinter();
    const std::string fallback = listed(byDefault) ? byDefault : std::string(kPdfPrinterName);

    Settings& s = run.settings;
    const bool devModeCopies = (pd->Flags & PD_USEDEVMODECOPIESANDCOLLATE) != 0;
    if (returnDefault) {
        s.printer = fallback;
        if (!deliver(pd, s, s.printer == byDefault))
            return FALSE;
        pd->nCopies = 1;
        return TRUE;
    }

    std::string modeDevice;
    readDevMode(pd->hDevMode, s, modeDevice);
    if (!devModeCopies)
        s.copies =
            pd->nCopies >= 1 && pd->nCopies <= kMaxCopies ? static_cast<short>(pd->nCopies) : 1;
    // The printer: the one the device names give, else the device mode's (whose name may have
    // been cut to 31 characters), else the default.
    std::string lastOutput;
    const std::string named = readDevNames(pd->hDevNames, &lastOutput);
    if (listed(named)) {
        s.printer = named;
    } else {
        s.printer = fallback;
        for (const std::string& p : run.printers) {
            if (!modeDevice.empty() && p.compare(0, CCHDEVICENAME - 1, modeDevice) == 0) {
                s.printer = p;
                break;
            }
        }
    }

    // The PDF file: a new name beside the last one printed, so that nothing is replaced unasked.
    if (!run.setup)
        s.file = freshPdfPath(lastOutput.rfind('/', 0) == 0 ? lastOutput : std::string());

    if (!backend().open()) {
        SetCommonDialogError(CDERR_DIALOGFAILURE);
        return FALSE;
    }
    const INT_PTR r = runDialog(run);
    if (r == -1) {
        SetCommonDialogError(CDERR_DIALOGFAILURE);
        return FALSE;
    }
    if (r != IDOK)
        return FALSE;

    // Copies go where the caller asked for them; the other place says one.
    const short copies = s.copies;
    if (!run.setup && !devModeCopies)
        s.copies = 1;
    if (!deliver(pd, s, s.printer == byDefault))
        return FALSE;
    if (run.setup) {
        s_setupChoice = s.printer;
    } else {
        pd->nCopies = devModeCopies ? 1 : static_cast<WORD>(copies);
        // The dialog offers no page range: the whole document is printed.
        pd->Flags &= ~(PD_PAGENUMS | PD_SELECTION);
    }
    return TRUE;
}

DWORD GetProfileString(const char* app, const char* key, const char* def, char* buf, DWORD size) {
    if (!buf || size == 0)
        return 0;
    std::string value = def ? def : "";
    if (app && key && SameTextNoCaseCp1252(app, "windows") && SameTextNoCaseCp1252(key, "device")) {
        const std::string printer = defaultPrinter();
        if (!printer.empty())
            value = printer + "," + driverOf(printer) + "," + outputOf(printer, "");
    }
    const std::size_t n = std::min<std::size_t>(value.size(), size - 1);
    std::memcpy(buf, value.data(), n);
    buf[n] = 0;
    return static_cast<DWORD>(n);
}

void ForgetPrintSetupChoice() {
    s_setupChoice.clear();
}

} // namespace plat
