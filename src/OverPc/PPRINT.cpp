#include "OverPc/PPRINT.h"

#include "OverPc/PERROR.h"
#include "OverPc/Portdc.h"
#include "OverPc/shell/CQVApp.h"
#include "OverPc/shell/Cursors.h"
#include "OverPc/shell/DialogItems.h"
#include "OverPc/shell/SystemDialogScope.h"
#include "plat/CommonDialogs.h"
#include "plat/Controls.h"
#include "plat/Dialog.h"
#include "plat/Gdi.h"
#include "plat/Memory.h"
#include "plat/Menu.h"
#include "plat/Print.h"
#include "plat/Window.h"

#include <cstring>
#include <memory>
#include <string>

namespace {

plat::PRINTDLG s_setup;
bool s_setupMade = false;
bool s_jobChosen = false;
bool s_printing = false;
bool s_aborted = false;
plat::HWND s_abortDialog = nullptr;
// The windows the job disabled are enabled again exactly once: by Cancel or at the job's end.
bool s_windowsDisabled = false;
std::string s_documentName;

// Resolution when a device reports no size to compute it from.
constexpr int32_t kFallbackDpi = 300;

void enableProgramWindows() {
    if (s_windowsDisabled) {
        s_windowsDisabled = false;
        EnableWidgetWindows(nullptr, true);
    }
}

plat::INT_PTR AbortDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                           plat::LPARAM) {
    switch (message) {
    case plat::WM_INITDIALOG: {
        // The job can only be stopped by Cancel, which stops it cleanly after the current page.
        if (plat::HMENU menu = plat::GetSystemMenu(dialog, plat::FALSE))
            plat::EnableMenuItem(menu, static_cast<plat::UINT>(plat::SC_CLOSE),
                                 plat::MF_BYCOMMAND | plat::MF_GRAYED);
        if (DialogPosition* entry = DialogPositionEntry(kPrintAbortDialogId))
            PlaceDialog(dialog, *entry);
        SetDialogFont(dialog);
        plat::SetDlgItemText(dialog, kPrintAbortDocumentItem, s_documentName.c_str());
        return plat::TRUE;
    }
    case plat::WM_COMMAND:
        if (plat::LOWORD(wParam) == plat::IDCANCEL) {
            s_aborted = true;
            enableProgramWindows();
            plat::DestroyWindow(dialog);
            ApplyCursor();
            return plat::TRUE;
        }
        return plat::FALSE;
    case plat::WM_DESTROY:
        if (DialogPosition* entry = DialogPositionEntry(kPrintAbortDialogId))
            RememberDialogPosition(dialog, *entry);
        if (s_abortDialog == dialog) {
            s_abortDialog = nullptr;
            if (CurrentDialog == dialog)
                CurrentDialog = nullptr;
        }
        return plat::FALSE;
    default:
        return plat::FALSE;
    }
}

// Hands the queued input and paints to the abort dialog (and lets the other windows repaint);
// returns when nothing is queued or the job has been cancelled.
void serviceAbortDialog() {
    plat::MSG msg;
    while (s_abortDialog && !s_aborted && plat::PeekMessage(&msg, nullptr, 0, 0, plat::PM_REMOVE)) {
        if (msg.message == plat::WM_QUIT) {
            // Not ours to take: leave it for the message loop.
            plat::PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        if (!s_abortDialog || !plat::IsDialogMessage(s_abortDialog, &msg)) {
            plat::TranslateMessage(&msg);
            plat::DispatchMessage(&msg);
        }
    }
}

// Called by the job after each page: it goes on unless the job was cancelled. When the spool
// disk is full, the user gets the chance to cancel.
plat::BOOL AbortProc(plat::HDC, int error) {
    if (!s_abortDialog)
        return !s_aborted;
    if (!s_aborted && error == plat::SP_OUTOFDISK)
        serviceAbortDialog();
    return !s_aborted;
}

int JobStartDoc(plat::HDC dc, const char* name) {
    plat::DOCINFO info;
    info.lpszDocName = name;
    return plat::StartDoc(dc, &info);
}
int JobSetAbortProc(plat::HDC dc, int (*procedure)(plat::HDC, int)) {
    return plat::SetAbortProc(dc, procedure);
}

void deletePrinterDc() {
    if (s_setup.hDC) {
        plat::DeleteDC(s_setup.hDC);
        s_setup.hDC = nullptr;
    }
}

// The driver, device and output names of a device-names block; false for a missing or unsound
// block.
bool readDevNames(plat::HGLOBAL block, std::string& driver, std::string& device,
                  std::string& output) {
    const std::size_t size = block ? plat::GlobalSize(block) : 0;
    if (size <= sizeof(plat::DEVNAMES))
        return false;
    const char* p = static_cast<const char*>(plat::GlobalLock(block));
    if (!p)
        return false;
    plat::DEVNAMES names;
    std::memcpy(&names, p, sizeof names);
    const auto text = [&](plat::WORD offset, std::string& out) {
        if (offset < sizeof(plat::DEVNAMES) || offset >= size)
            return false;
        if (!std::memchr(p + offset, 0, size - offset))
            return false;
        out = p + offset;
        return true;
    };
    const bool ok = text(names.wDriverOffset, driver) && text(names.wDeviceOffset, device) &&
                    text(names.wOutputOffset, output);
    plat::GlobalUnlock(block);
    return ok && !driver.empty();
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Set-up record

void InitPrintSetup() {
    s_setup = plat::PRINTDLG();
    s_setupMade = true;
    s_jobChosen = false;
    PrinterJobCalls calls;
    calls.escape = &plat::Escape;
    calls.startDoc = &JobStartDoc;
    calls.endDoc = &plat::EndDoc;
    calls.startPage = &plat::StartPage;
    calls.endPage = &plat::EndPage;
    calls.abortDoc = &plat::AbortDoc;
    calls.setAbortProc = &JobSetAbortProc;
    SetPrinterJobCalls(calls);
}

void FreePrinterHandles() {
    deletePrinterDc();
    if (s_setup.hDevMode) {
        plat::GlobalFree(s_setup.hDevMode);
        s_setup.hDevMode = nullptr;
    }
    if (s_setup.hDevNames) {
        plat::GlobalFree(s_setup.hDevNames);
        s_setup.hDevNames = nullptr;
    }
}

void FreePrintSetup() {
    FreePrinterHandles();
    s_setup = plat::PRINTDLG();
    s_setupMade = false;
    s_jobChosen = false;
    SetPrinterJobCalls(PrinterJobCalls());
}

void ResetPrinterSetup() {
    FreePrinterHandles();
}

const plat::PRINTDLG& PrintSetupRecord() {
    return s_setup;
}

bool RunPrintDialog(plat::DWORD flags) {
    if (!s_setupMade)
        InitPrintSetup();
    const plat::HWND owner = GetModalOwnerWindow(false);
    s_setup.hwndOwner = owner;
    if (flags & plat::PD_RETURNDEFAULT)
        FreePrinterHandles();
    s_setup.Flags = flags;
    plat::BOOL ok = plat::FALSE;
    {
        SystemDialogScope scope(owner);
        ok = plat::PrintDlg(&s_setup);
    }
    if (!ok) {
        const plat::DWORD error = plat::CommDlgExtendedError();
        if (error != 0)
            ReportCommonDialogError(error);
        return false;
    }
    // A DC made for the printer shown before would print on the old one.
    deletePrinterDc();
    return true;
}

bool RunPrintSetupDialog() {
    return RunPrintDialog(plat::PD_PRINTSETUP);
}

bool AskPrintJob() {
    if (!s_setupMade)
        InitPrintSetup();
    s_setup.nFromPage = 0xFFFF;
    s_setup.nToPage = 0xFFFF;
    s_setup.nMinPage = 1;
    s_setup.nMaxPage = 0xFFFF;
    s_setup.nCopies = 1;
    const bool ok = RunPrintDialog(plat::PD_USEDEVMODECOPIESANDCOLLATE | plat::PD_RETURNDC |
                                   plat::PD_NOPAGENUMS | plat::PD_NOSELECTION);
    if (ok)
        s_jobChosen = true;
    return ok;
}

bool PrintJobChosen() {
    return s_jobChosen;
}

plat::HDC GetPrinterDC() {
    if (s_setup.hDC)
        return s_setup.hDC;
    std::string driver, device, output;
    plat::HDC dc = nullptr;
    if (readDevNames(s_setup.hDevNames, driver, device, output)) {
        const void* mode = nullptr;
        if (s_setup.hDevMode && plat::GlobalSize(s_setup.hDevMode) >= sizeof(plat::DEVMODE))
            mode = plat::GlobalLock(s_setup.hDevMode);
        dc = plat::CreateDC(driver.c_str(), device.c_str(), output.c_str(), mode);
        if (mode)
            plat::GlobalUnlock(s_setup.hDevMode);
    } else {
        // The system's default printer: "device,driver,output".
        char entry[1024];
        plat::GetProfileString("windows", "device", "", entry, sizeof entry);
        const std::string text = entry;
        const std::size_t first = text.find(',');
        const std::size_t second = first == std::string::npos ? first : text.find(',', first + 1);
        if (second != std::string::npos) {
            device = text.substr(0, first);
            driver = text.substr(first + 1, second - first - 1);
            output = text.substr(second + 1);
            if (!device.empty() && !driver.empty())
                dc = plat::CreateDC(driver.c_str(), device.c_str(), output.c_str(), nullptr);
        }
    }
    s_setup.hDC = dc;
    return dc;
}

// ---------------------------------------------------------------------------------------------
// wPrinterPort

wPrinterPort::wPrinterPort()
    : oOutputPort(kDevicePrinter) {
    if (!hasDeviceRecord())
        Fail(errUnplanned);
    m_hdc = GetPrinterDC();
    if (!m_hdc)
        Fail(errNoPrinterDriver);
    const int horzRes = plat::GetDeviceCaps(m_hdc, plat::HORZRES);
    const int vertRes = plat::GetDeviceCaps(m_hdc, plat::VERTRES);
    const int horzSize = plat::GetDeviceCaps(m_hdc, plat::HORZSIZE);
    const int vertSize = plat::GetDeviceCaps(m_hdc, plat::VERTSIZE);
    // A device that reports no size in millimetres would divide by zero.
    const int32_t vertical = vertSize > 0 ? vertRes * 254 / (vertSize * 10) : kFallbackDpi;
    const int32_t horizontal = horzSize > 0 ? horzRes * 254 / (horzSize * 10) : kFallbackDpi;
    m_deviceResolution = (vertical + horizontal) / 2;
    if (m_deviceResolution <= 0)
        m_deviceResolution = kFallbackDpi;
    m_physicalSize.x = plat::GetDeviceCaps(m_hdc, plat::PHYSICALWIDTH);
    m_physicalSize.y = plat::GetDeviceCaps(m_hdc, plat::PHYSICALHEIGHT);
    setResolution((m_deviceResolution * 2 + 4) / 9);
    m_printable = Zone{0, 0, horzRes, vertRes, 0, 0};
    setOutputZone(m_printable);
    m_color = plat::GetDeviceCaps(m_hdc, plat::NUMCOLORS) > 2;
}

wPrinterPort::~wPrinterPort() = default;

void GetPrinterPageMetrics(PrinterPageMetrics& metrics) {
    metrics = PrinterPageMetrics();
    metrics.size = oPoint{2150, 3000};
    metrics.zone = Zone{0, 0, 2150, 3000, 0, 0};
    if (!GetPrinterDC())
        return;
    GuardedCall(
        [&] {
            wPrinterPort port;
            metrics.resolution = port.deviceResolution();
            metrics.zone = port.printableArea();
            metrics.size = oPoint{metrics.zone.right, metrics.zone.bottom};
            metrics.color = port.isColor();
            metrics.hasPrinter = true;
            metrics.offset = oPoint{port.physicalSize().x - metrics.zone.right,
                                    port.physicalSize().y - metrics.zone.bottom};
        },
        [](std::int16_t) {});
    if (!s_jobChosen)
        deletePrinterDc();
}

// ---------------------------------------------------------------------------------------------
// The job

bool PrintingNow() {
    return s_printing;
}

plat::HWND PrintAbortDialog() {
    return s_abortDialog;
}

void PrintPages(int32_t pageCount, const PrintPageCallback& drawPage) {
    std::unique_ptr<wPrinterPort> port;
    // The job's end in every case: dialog gone, state back, the DC deleted and forgotten.
    const plat::HWND savedDialog = CurrentDialog;
    const auto finish = [&] {
        if (s_abortDialog) {
            const plat::HWND dialog = s_abortDialog;
            s_abortDialog = nullptr;
            plat::DestroyWindow(dialog);
        }
        CurrentDialog = savedDialog;
        enableProgramWindows();
        s_printing = false;
        s_jobChosen = false;
        if (port)
            ReleasePortDc(port.get());
        port.reset();
        deletePrinterDc();
    };

    GuardedCall(
        [&] {
            port = std::make_unique<wPrinterPort>();
            AttachPrinterDc(port.get(), port->hdc());

            char title[256] = "";
            if (CQVApp::instance().m_MainFrame)
                plat::GetWindowText(CQVApp::instance().m_MainFrame, title, sizeof title);
            s_documentName = title;

            s_printing = true;
            s_aborted = false;
            EnableWidgetWindows(nullptr, false);
            s_windowsDisabled = true;
            s_abortDialog = plat::CreateDialogParam(CQVApp::instance().m_hResources,
                                                    plat::MAKEINTRESOURCE(kPrintAbortDialogId),
                                                    s_setup.hwndOwner, &AbortDlgProc, 0);
            if (s_abortDialog) {
                CurrentDialog = s_abortDialog;
                plat::ShowWindow(s_abortDialog, plat::SW_SHOW);
                plat::UpdateWindow(s_abortDialog);
            }
            PrinterSetAbortProc(&AbortProc);

            bool inPage = false;
            GuardedCall(
                [&] {
                    PrinterStartDoc(s_documentName.c_str());
                    for (int32_t page = 1; page <= pageCount; ++page) {
                        if (s_abortDialog)
                            plat::SetDlgItemInt(s_abortDialog, kPrintAbortPageItem,
                                                static_cast<plat::UINT>(page), plat::FALSE);
                        PrinterStartPage();
                        inPage = true;
                        drawPage(*port, page);
                        // A Cancel clicked while the page was drawn is seen before the page
                        // goes out, so the job's file is dropped at once.
                        serviceAbortDialog();
                        inPage = false;
                        PrinterEndPage();
                        if (s_aborted)
                            Fail(errUserInterrupt);
                    }
                    PrinterEndDoc();
                },
                [&](std::int16_t code) {
                    const plat::HDC dc = port->hdc();
                    if (inPage)
                        plat::EndPage(dc);
                    if (plat::AbortDoc(dc) <= 0)
                        plat::EndDoc(dc);
                    finish();
                    Fail(code);
                });
            finish();
        },
        [&](std::int16_t code) {
            finish();
            Fail(code);
        });
}
