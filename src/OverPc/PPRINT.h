#pragma once
// Printing: the one print set-up record of the run, the Print and Print Setup dialogs, the printer
// device context, the printable page's measurements, the printer port and the print job, run page
// by page with a modeless abort dialog.

#include "OverSrcs/oGraph.h"
#include "OverSrcs/oWindows.h"
#include "plat/CommonDialogs.h"
#include "plat/Types.h"

#include <cstdint>
#include <functional>

// The abort dialog and its items.
inline constexpr int kPrintAbortDialogId = 4099;
inline constexpr int kPrintAbortDocumentItem = 614;
inline constexpr int kPrintAbortPageItem = 617;

// ---------------------------------------------------------------------------------------------
// The set-up record: made at start-up, freed at shut-down.

void InitPrintSetup();
void FreePrintSetup();
// Deletes the printer device context and frees the device-mode and device-names blocks.
void FreePrinterHandles();
// The same, when the system settings change, so that the next job takes the new default printer.
void ResetPrinterSetup();
// The record itself (tests and the print code read it).
const plat::PRINTDLG& PrintSetupRecord();

// Runs the Print dialog (or, with PD_PRINTSETUP, the Print Setup dialog) on the set-up record;
// true when confirmed. Other windows are disabled meanwhile; a failure other than Cancel is
// reported with its alert.
bool RunPrintDialog(plat::DWORD flags);
bool RunPrintSetupDialog();
// The Print dialog for a job: true when confirmed, and the job is then chosen.
bool AskPrintJob();
bool PrintJobChosen();

// The printer device context, made on demand from the set-up record's printer, else the default
// printer; null when there is none.
plat::HDC GetPrinterDC();

// ---------------------------------------------------------------------------------------------
// wPrinterPort: a port on the printer DC (device kind 2). Making one raises 451 when no device
// record can be made and 457 when there is no printer.

class wPrinterPort : public oOutputPort {
public:
    wPrinterPort();
    ~wPrinterPort() override;

    plat::HDC hdc() const { return m_hdc; }
    // The printable area in device pixels (extra words 0).
    const Zone& printableArea() const { return m_printable; }
    // Dots per inch, the mean of the two axes.
    int32_t deviceResolution() const { return m_deviceResolution; }
    // The whole sheet in device pixels.
    oPoint physicalSize() const { return m_physicalSize; }
    bool isColor() const { return m_color; }

private:
    plat::HDC m_hdc = nullptr;
    Zone m_printable;
    int32_t m_deviceResolution = 0;
    oPoint m_physicalSize;
    bool m_color = false;
};

// What the printable page measures. Without a printer: 300 dots per inch, 2150 x 3000 pixels, the
// zone that size, offset (0, 0), no colour.
struct PrinterPageMetrics {
    int32_t resolution = 300;
    oPoint size;
    Zone zone;
    bool color = false;
    bool hasPrinter = false; // the values come from a printer
    oPoint offset;           // the sheet less the printable area
};
void GetPrinterPageMetrics(PrinterPageMetrics& metrics);

// ---------------------------------------------------------------------------------------------
// The job: pages 1 to `pageCount`, each drawn by `drawPage` between the page brackets. A Cancel in
// the abort dialog stops the job after the current page with 440; any failure ends the job, removes
// the abort dialog and is passed on with Fail.

using PrintPageCallback = std::function<void(wPrinterPort& port, int32_t page)>;
void PrintPages(int32_t pageCount, const PrintPageCallback& drawPage);

// The job's state, for the window layer and tests.
bool PrintingNow();
plat::HWND PrintAbortDialog();
