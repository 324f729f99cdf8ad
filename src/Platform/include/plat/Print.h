#pragma once
// Print jobs on a printer DC. CreateDC with the driver a DEVNAMES block gives ("PDF" for the
// "Fichier PDF" printer, "CUPS" for a CUPS queue) and the device mode of the print dialogs makes
// a printer DC: a raster page drawn by the ordinary GDI calls, placed on a PDF page at EndPage.
//
// The page raster's resolution is the device mode's print quality, at most 300 dots per inch
// (one A4 page is then about 30 MB of pixels; higher qualities would cost hundreds). The device
// caps describe that raster: PHYSICALWIDTH/HEIGHT the paper, HORZRES/VERTRES the printable area
// inside margins of a quarter inch, HORZSIZE/VERTSIZE its millimetres, PHYSICALOFFSETX/Y the
// margin, NUMCOLORS 256 for a colour printer and 2 for a monochrome one.
//
// EndDoc hands the PDF to `lp -d <printer> -t <document name> <file>` for a CUPS queue (KV_LP names
// another program, for tests), or, for the "Fichier PDF" printer, moves it to the DOCINFO output
// file (else to "<document name>.pdf" in the home folder, never replacing a file there). A file
// being replaced keeps its old content until the new one is complete. The headless back end keeps
// the PDF bytes of each finished job instead (plat::testing::printJobs) and writes only an output
// file DOCINFO names.

#include "plat/Types.h"

#include <string>
#include <vector>

namespace plat {

struct DOCINFO {
    int cbSize = sizeof(DOCINFO);
    const char* lpszDocName = nullptr;
    const char* lpszOutput = nullptr; // a file to write instead of printing, or null
    const char* lpszDatatype = nullptr;
    DWORD fwType = 0;
};

constexpr int SP_ERROR = -1;
constexpr int SP_APPABORT = -2;
constexpr int SP_USERABORT = -3;
constexpr int SP_OUTOFDISK = -4;
constexpr int SP_OUTOFMEMORY = -5;

// The abort procedure: called between pages with 0, or with SP_OUTOFDISK when the disk is full;
// FALSE ends the job.
using ABORTPROC = BOOL (*)(HDC hdc, int error);

// A job number (> 0), or SP_ERROR when the DC is not a printer DC, a job is already open or the
// file cannot be made.
int StartDoc(HDC hdc, const DOCINFO* info);
// > 0, or SP_ERROR outside a job or inside a page. StartPage clears the page to white.
int StartPage(HDC hdc);
// Puts the page into the document, then asks the abort procedure: > 0 to go on; SP_APPABORT when
// the procedure said stop (the job is then gone, its file discarded); SP_OUTOFDISK when the disk
// is full; SP_ERROR on other write errors.
int EndPage(HDC hdc);
// Finishes the file and delivers it; > 0, or SP_ERROR (the file discarded) when delivery fails.
int EndDoc(HDC hdc);
// Discards the job and its file; > 0, or SP_ERROR when no job is open.
int AbortDoc(HDC hdc);
// > 0, or SP_ERROR for a DC that is not a printer DC.
int SetAbortProc(HDC hdc, ABORTPROC procedure);
// No escapes are served: 0.
int Escape(HDC hdc, int code, int inSize, const void* in, void* out);

} // namespace plat

namespace plat::testing {

// One finished print job of the headless back end.
struct PrintJob {
    std::string printer;  // the device name the DC was made for
    std::string document; // DOCINFO's document name
    std::string output;   // DOCINFO's output file, or ""
    int pages = 0;
    std::string pdf; // the PDF file's bytes
};
const std::vector<PrintJob>& printJobs();
void clearPrintJobs();
// Whether finished jobs are kept (as above) instead of delivered: by default exactly when the back
// end is headless; tests of the delivery turn it off.
void recordPrintJobs(bool on);

} // namespace plat::testing
