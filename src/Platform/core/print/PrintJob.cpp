// Printer DCs and print jobs. A printer DC draws on a raster page (the ordinary GDI machinery, so
// every ROP and pixel rule is the screen's); EndPage places that page, scaled to the paper, on a
// page of a PDF surface that streams into a temporary file. EndDoc delivers the file.

#include "backend/Backend.h"
#include "core/gdi/GdiObjects.h"
#include "plat/CommonDialogs.h"
#include "plat/Files.h"
#include "plat/Gdi.h"
#include "plat/Print.h"

#include <algorithm>
#include <cairo-pdf.h>
#include <cairo.h>
#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace plat::core {

namespace {

// Above this the page raster would take hundreds of megabytes: the page is drawn at this
// resolution and the PDF viewer or printer scales it.
constexpr int kMaxRasterDpi = 300;
constexpr int kDefaultDpi = 300;
// A4, tenths of a millimetre.
constexpr int kDefaultPaperWidth = 2100;
constexpr int kDefaultPaperLength = 2970;

std::vector<testing::PrintJob> s_finishedJobs;
std::optional<bool> s_recording; // unset: record exactly when the back end is headless
int s_nextJobId = 1;

int roundDiv(long long num, long long den) {
    return static_cast<int>((num + den / 2) / den);
}

std::string tempFolder() {
    const char* t = std::getenv("TMPDIR");
    return t && *t ? std::string(t) : std::string("/tmp");
}

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

// A file-system name made from a document name: no folder separators or control characters.
std::string fileNameFor(const std::string& docName) {
    std::string name = Utf8FromCp1252(docName);
    for (char& c : name) {
        if (c == '/' || (static_cast<unsigned char>(c) < 0x20))
            c = '_';
    }
    while (!name.empty() && (name.back() == ' ' || name.back() == '.'))
        name.pop_back();
    if (name.empty() || name[0] == '.')
        name = "Document" + name;
    if (name.size() > 200)
        name.resize(200);
    return name;
}

// Runs a program with arguments and waits for it; true when it exits with 0.
bool runProgram(const std::vector<std::string>& args) {
    std::vector<std::string> copy = args;
    std::vector<char*> argv;
    for (std::string& a : copy)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        return false;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return false;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool readWhole(const std::string& path, std::string& out) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    out.clear();
    char buf[65536];
    for (;;) {
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            close(fd);
            return false;
        }
        if (n == 0)
            break;
        out.append(buf, static_cast<std::size_t>(n));
    }
    close(fd);
    return true;
}

class PrinterDevice : public DcDevice {
public:
    PrinterDevice(std::string printer, bool pdfPrinter, const DEVMODE* mode,
                  std::string output = "");
    ~PrinterDevice() override { discard(); }

    int deviceCaps(int index) const override;
    cairo_surface_t* makeSurface() override;

    int startDoc(const DOCINFO& info);
    int startPage(Dc& dc);
    int endPage(HDC hdc, Dc& dc);
    int endDoc();
    int abortDoc();
    void setAbortProc(ABORTPROC p) { m_abortProc = p; }

private:
    static cairo_status_t writeChunk(void* closure, const unsigned char* data, unsigned length);
    // Drops the job: the surface, the descriptor and the temporary file.
    void discard();
    // The state of the file after a write: 1, SP_OUTOFDISK or SP_ERROR.
    int writeState() const;
    bool deliver();

    std::string m_printer;
    bool m_pdfPrinter = false;
    int m_dpi = kDefaultDpi;
    int m_physWidth = 0;
    int m_physHeight = 0;
    int m_margin = 0;
    bool m_color = true;
    ABORTPROC m_abortProc = nullptr;

    // The job.
    bool m_inDoc = false;
    bool m_inPage = false;
    int m_jobId = 0;
    int m_pages = 0;
    std::string m_docName;
    std::string m_output; // the DOCINFO output file (native path), or ""
    std::string m_dcOutput; // the file CreateDC named for the PDF printer (native path), or ""
    std::string m_tempPath;
    int m_fd = -1;
    int m_writeErrno = 0;
    cairo_surface_t* m_pdf = nullptr;
};

PrinterDevice::PrinterDevice(std::string printer, bool pdfPrinter, const DEVMODE* mode,
                             std::string output)
    : m_printer(std::move(printer))
    , m_pdfPrinter(pdfPrinter)
    , m_dcOutput(std::move(output)) {
    int paperWidth = kDefaultPaperWidth, paperLength = kDefaultPaperLength;
    bool landscape = false;
    if (mode) {
        if ((mode->dmFields & DM_PRINTQUALITY) && mode->dmPrintQuality > 0)
            m_dpi = std::min<int>(mode->dmPrintQuality, kMaxRasterDpi);
        if ((mode->dmFields & DM_PAPERSIZE) && mode->dmPaperWidth >= 500 &&
            mode->dmPaperLength >= 500 && mode->dmPaperWidth <= 12000 &&
            mode->dmPaperLength <= 12000) {
            paperWidth = mode->dmPaperWidth;
            paperLength = mode->dmPaperLength;
        }
        landscape = (mode->dmFields & DM_ORIENTATION) && mode->dmOrientation == DMORIENT_LANDSCAPE;
        if (mode->dmFields & DM_COLOR)
            m_color = mode->dmColor != DMCOLOR_MONOCHROME;
    }
    if (m_dpi < 72)
        m_dpi = 72;
    if (landscape)
        std::swap(paperWidth, paperLength);
    m_physWidth = roundDiv(static_cast<long long>(paperWidth) * m_dpi, 254);
    m_physHeight = roundDiv(static_cast<long long>(paperLength) * m_dpi, 254);
    m_margin = m_dpi / 4;
}

int PrinterDevice::deviceCaps(int index) const {
    const int horz = m_physWidth - 2 * m_margin, vert = m_physHeight - 2 * m_margin;
    switch (index) {
    case DRIVERVERSION:
        return 0x4000;
    case TECHNOLOGY:
        return DT_RASPRINTER;
    case HORZSIZE:
        return roundDiv(static_cast<long long>(horz) * 254, static_cast<long long>(m_dpi) * 10);
    case VERTSIZE:
        return roundDiv(static_cast<long long>(vert) * 254, static_cast<long long>(m_dpi) * 10);
    case HORZRES:
        return horz;
    case VERTRES:
        return vert;
    case BITSPIXEL:
        return m_color ? 24 : 1;
    case PLANES:
        return 1;
    case NUMBRUSHES:
    case NUMPENS:
        return -1;
    case NUMCOLORS:
        return m_color ? 256 : 2;
    case RASTERCAPS:
        return RC_BITBLT | RC_BITMAP64 | RC_DI_BITMAP | RC_STRETCHBLT | RC_STRETCHDIB;
    case ASPECTX:
    case ASPECTY:
        return m_dpi;
    case ASPECTXY:
        return roundDiv(static_cast<long long>(m_dpi) * 1414, 1000);
    case LOGPIXELSX:
    case LOGPIXELSY:
        return m_dpi;
    case COLORRES:
        return 24;
    case PHYSICALWIDTH:
        return m_physWidth;
    case PHYSICALHEIGHT:
        return m_physHeight;
    case PHYSICALOFFSETX:
    case PHYSICALOFFSETY:
        return m_margin;
    default:
        return 0;
    }
}

cairo_surface_t* PrinterDevice::makeSurface() {
    const int w = m_physWidth - 2 * m_margin, h = m_physHeight - 2 * m_margin;
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h);
    if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(s);
        GdiDiagnostic("printer DC: no memory for the page");
        return nullptr;
    }
    cairo_t* cr = cairo_create(s);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    cairo_destroy(cr);
    return s;
}

cairo_status_t PrinterDevice::writeChunk(void* closure, const unsigned char* data,
                                         unsigned length) {
    auto* self = static_cast<PrinterDevice*>(closure);
    if (self->m_writeErrno != 0 || self->m_fd < 0)
        return CAIRO_STATUS_WRITE_ERROR;
    while (length > 0) {
        const ssize_t n = write(self->m_fd, data, length);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            self->m_writeErrno = n < 0 ? errno : ENOSPC;
            return CAIRO_STATUS_WRITE_ERROR;
        }
        data += n;
        length -= static_cast<unsigned>(n);
    }
    return CAIRO_STATUS_SUCCESS;
}

int PrinterDevice::writeState() const {
    if (m_writeErrno == ENOSPC || m_writeErrno == EDQUOT)
        return SP_OUTOFDISK;
    if (m_writeErrno != 0 || !m_pdf || cairo_surface_status(m_pdf) != CAIRO_STATUS_SUCCESS)
        return SP_ERROR;
    return 1;
}

void PrinterDevice::discard() {
    if (m_pdf) {
        // Finishing writes the rest of the file; nothing of it is wanted any more.
        m_writeErrno = m_writeErrno ? m_writeErrno : ECANCELED;
        cairo_surface_finish(m_pdf);
        cairo_surface_destroy(m_pdf);
        m_pdf = nullptr;
    }
    if (m_fd >= 0) {
        close(m_fd);
        m_fd = -1;
    }
    if (!m_tempPath.empty()) {
        unlink(m_tempPath.c_str());
        m_tempPath.clear();
    }
    m_inDoc = false;
    m_inPage = false;
}

int PrinterDevice::startDoc(const DOCINFO& info) {
    if (m_inDoc)
        return SP_ERROR;
    m_docName = info.lpszDocName ? info.lpszDocName : "";
    m_output = info.lpszOutput && *info.lpszOutput ? NativePath(info.lpszOutput) : m_dcOutput;
    // The file grows beside the place it will end in, so that delivering it is a rename.
    std::string folder = tempFolder();
    if (!m_output.empty()) {
        folder = folderOf(m_output);
    } else if (m_pdfPrinter && !s_recording.value_or(backend().headless())) {
        const char* home = std::getenv("HOME");
        if (home && *home)
            folder = home;
    }
    std::string pattern = folder + "/.kvprint-XXXXXX";
    const int fd = mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0)
        return SP_ERROR;
    m_fd = fd;
    m_tempPath = pattern;
    m_writeErrno = 0;
    m_pages = 0;
    const double w = m_physWidth * 72.0 / m_dpi, h = m_physHeight * 72.0 / m_dpi;
    m_pdf = cairo_pdf_surface_create_for_stream(&PrinterDevice::writeChunk, this, w, h);
    if (cairo_surface_status(m_pdf) != CAIRO_STATUS_SUCCESS) {
        discard();
        return SP_ERROR;
    }
    const std::string title = Utf8FromCp1252(m_docName);
    cairo_pdf_surface_set_metadata(m_pdf, CAIRO_PDF_METADATA_TITLE, title.c_str());
    cairo_pdf_surface_set_metadata(m_pdf, CAIRO_PDF_METADATA_CREATOR, "Korvaline");
    m_inDoc = true;
    m_jobId = s_nextJobId++;
    if (s_nextJobId > 0x7FFF)
        s_nextJobId = 1;
    return m_jobId;
}

int PrinterDevice::startPage(Dc& dc) {
    if (!m_inDoc || m_inPage)
        return SP_ERROR;
    // A fresh white raster for each page: the PDF surface may still hold the last page's until
    // it has written it out. Outside pages the DC has no raster and drawing is lost.
    if (dc.ownSurface) {
        cairo_surface_destroy(dc.ownSurface);
        dc.ownSurface = nullptr;
    }
    dc.ownSurface = makeSurface();
    if (!dc.ownSurface)
        return SP_OUTOFMEMORY;
    m_inPage = true;
    return 1;
}

int PrinterDevice::endPage(HDC hdc, Dc& dc) {
    if (!m_inDoc || !m_inPage)
        return SP_ERROR;
    m_inPage = false;
    if (writeState() != 1)
        return writeState();
    if (dc.ownSurface) {
        cairo_surface_flush(dc.ownSurface);
        cairo_t* cr = cairo_create(m_pdf);
        cairo_scale(cr, 72.0 / m_dpi, 72.0 / m_dpi);
        cairo_translate(cr, m_margin, m_margin);
        cairo_set_source_surface(cr, dc.ownSurface, 0, 0);
        cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_FAST);
        cairo_paint(cr);
        cairo_destroy(cr);
    }
    cairo_surface_show_page(m_pdf);
    cairo_surface_flush(m_pdf);
    ++m_pages;
    const int state = writeState();
    if (state == SP_ERROR)
        return state;
    // The abort procedure may end the job (its Cancel button), also when the disk is full.
    if (m_abortProc && !m_abortProc(hdc, state == SP_OUTOFDISK ? SP_OUTOFDISK : 0)) {
        discard();
        return SP_APPABORT;
    }
    return state;
}

bool PrinterDevice::deliver() {
    const bool recording = s_recording.value_or(backend().headless());
    if (recording) {
        testing::PrintJob job;
        job.printer = m_printer;
        job.document = m_docName;
        job.output = m_output;
        job.pages = m_pages;
        if (!readWhole(m_tempPath, job.pdf))
            return false;
        s_finishedJobs.push_back(std::move(job));
    }
    if (!m_output.empty()) {
        // The file asked for: replaced only now, when the new one is complete.
        if (rename(m_tempPath.c_str(), m_output.c_str()) != 0)
            return false;
        m_tempPath.clear();
        return true;
    }
    if (recording)
        return true; // the temporary file goes with discard()
    if (m_pdfPrinter) {
        // A new name in the home folder; an existing file is never replaced.
        const std::string folder = folderOf(m_tempPath), base = fileNameFor(m_docName);
        for (int n = 1; n < 1000; ++n) {
            const std::string target =
                folder + "/" + base + (n == 1 ? "" : " (" + std::to_string(n) + ")") + ".pdf";
            if (link(m_tempPath.c_str(), target.c_str()) == 0)
                return true; // discard() removes the temporary name
            if (errno != EEXIST)
                return false;
        }
        return false;
    }
    const char* lp = std::getenv("KV_LP");
    const std::string program = lp && *lp ? lp : "lp";
    return runProgram({program, "-d", m_printer, "-t", Utf8FromCp1252(m_docName), m_tempPath});
}

int PrinterDevice::endDoc() {
    if (!m_inDoc)
        return SP_ERROR;
    if (m_inPage)
        m_inPage = false; // a page left open is not printed
    cairo_surface_finish(m_pdf);
    int state = writeState();
    cairo_surface_destroy(m_pdf);
    m_pdf = nullptr;
    if (state == 1 && fsync(m_fd) != 0 && errno != EINVAL)
        state = errno == ENOSPC ? SP_OUTOFDISK : SP_ERROR;
    if (close(m_fd) != 0 && state == 1)
        state = SP_ERROR;
    m_fd = -1;
    if (state == 1 && !deliver())
        state = SP_ERROR;
    const int job = m_jobId;
    discard();
    return state == 1 ? job : state;
}

int PrinterDevice::abortDoc() {
    if (!m_inDoc)
        return SP_ERROR;
    discard();
    return 1;
}

PrinterDevice* printerOf(HDC hdc, const char* caller, Dc** dcOut = nullptr) {
    Dc* dc = LookupDc(hdc, caller);
    if (!dc || dc->kind != DcKind::Device)
        return nullptr;
    if (dcOut)
        *dcOut = dc;
    return dynamic_cast<PrinterDevice*>(dc->device.get());
}

} // namespace

HDC CreatePrinterDc(const char* driver, const char* device, const char* output,
                    const void* devMode) {
    const bool pdf = std::strcmp(driver, kPdfPrinterDriver) == 0;
    if (!pdf && std::strcmp(driver, kCupsPrinterDriver) != 0) {
        GdiDiagnostic("CreateDC: unknown driver");
        return nullptr;
    }
    const std::string name = device ? device : "";
    if (!pdf && name.empty()) {
        GdiDiagnostic("CreateDC: a CUPS printer needs a device name");
        return nullptr;
    }
    // A device mode is taken only when it says it is whole.
    DEVMODE mode;
    const DEVMODE* modeOk = nullptr;
    if (devMode) {
        WORD size = 0;
        std::memcpy(&size, static_cast<const char*>(devMode) + offsetof(DEVMODE, dmSize),
                    sizeof size);
        if (size >= sizeof(DEVMODE)) {
            std::memcpy(&mode, devMode, sizeof mode);
            modeOk = &mode;
        }
    }
    // The PDF printer writes the file the print dialog chose ("FILE:" leaves the choice to EndDoc).
    std::string file;
    if (pdf && output && output[0] == '/')
        file = NativePath(output);
    return AddDeviceDc(std::make_unique<PrinterDevice>(name.empty() ? kPdfPrinterName : name, pdf,
                                                       modeOk, std::move(file)));
}

} // namespace plat::core

namespace plat {

using namespace plat::core;

int StartDoc(HDC hdc, const DOCINFO* info) {
    PrinterDevice* p = printerOf(hdc, "StartDoc");
    if (!p || !info)
        return SP_ERROR;
    return p->startDoc(*info);
}

int StartPage(HDC hdc) {
    Dc* dc = nullptr;
    PrinterDevice* p = printerOf(hdc, "StartPage", &dc);
    return p ? p->startPage(*dc) : SP_ERROR;
}

int EndPage(HDC hdc) {
    Dc* dc = nullptr;
    PrinterDevice* p = printerOf(hdc, "EndPage", &dc);
    return p ? p->endPage(hdc, *dc) : SP_ERROR;
}

int EndDoc(HDC hdc) {
    PrinterDevice* p = printerOf(hdc, "EndDoc");
    return p ? p->endDoc() : SP_ERROR;
}

int AbortDoc(HDC hdc) {
    PrinterDevice* p = printerOf(hdc, "AbortDoc");
    return p ? p->abortDoc() : SP_ERROR;
}

int SetAbortProc(HDC hdc, ABORTPROC procedure) {
    PrinterDevice* p = printerOf(hdc, "SetAbortProc");
    if (!p)
        return SP_ERROR;
    p->setAbortProc(procedure);
    return 1;
}

int Escape(HDC, int, int, const void*, void*) {
    return 0;
}

} // namespace plat

namespace plat::testing {

const std::vector<PrintJob>& printJobs() {
    return plat::core::s_finishedJobs;
}

void clearPrintJobs() {
    plat::core::s_finishedJobs.clear();
}

void recordPrintJobs(bool on) {
    plat::core::s_recording = on;
}

} // namespace plat::testing
