#pragma once
// Error environments, Fail, alerts and the assertion log.
//
// Every guarded operation runs inside an error environment. Anywhere below it, Fail(code) abandons
// the work and resumes the innermost environment with the code; the recovery branch cleans up and
// either reports the error (ErrorAlert) or passes it outward with Fail. Error codes are
// string-table ids, so every code is also the message shown to the user.
//
// The environment is a C++ scope: Fail throws a private exception carrying the 16-bit code, and
// GuardedCall / CatchFail catch it. Destructors therefore run on the way out, so guarded bodies may
// hold owned resources in RAII objects. Never let the exception cross a C callback (libpng, Xlib):
// carry the code across that boundary and call Fail after it.
//
// At most 32 environments nest: a 33rd push resumes the 32nd environment with errRecursion instead.
// The depth is restored on every path (normal end, Fail, or any other exception).
//
// This header is portable: it includes no platform header. Message-box types and results are the
// window system's plain integer values.

#include <cstdint>
#include <new>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

// ---- Error codes of the framework (string-table ids) -------------------------------------------
constexpr int errOleServerInit = 437;
constexpr int errOleServerRegister = 438;
constexpr int errOleDocumentRegister = 439;
constexpr int errUserInterrupt = 440;
constexpr int errNoMemory = 441;
constexpr int errPrinterCheck = 442;
constexpr int errPrintManagerMissing = 443;
constexpr int errPrintCancelled = 444;
constexpr int errPrintNoDiskSpace = 445;
constexpr int errPrintNoMemory = 446;
constexpr int errFileAccessDenied = 447;
constexpr int errNotEnoughMemory = 448;
constexpr int errRealMode = 449;
constexpr int errRecursion = 450;
constexpr int errUnplanned = 451;
constexpr int errFileNotFound = 452;
constexpr int errAllocTooLarge = 453;
constexpr int errColorPaletteMemory = 454;
constexpr int errColorPaletteLoad = 455;
constexpr int errFontListLoad = 456;
constexpr int errNoPrinterDriver = 457;
constexpr int errNoDefaultPrinter = 458;
constexpr int errPrinterNotFound = 459;
constexpr int errFontsLoad = 460;
constexpr int errNotInstalled = 461;
constexpr int errDataCorrupted = 462;
// A list of the program's own bookkeeping grew past its maximum length (the drawing surfaces open
// at once).
constexpr int errListTooLong = 463;
// Files: the disk (or the user's quota) is full; a file the user may not read; something that is no
// regular file (a folder, a FIFO, a device); a file beyond what its reader takes.
constexpr int errDiskFull = 470;
constexpr int errFileUnreadable = 471;
constexpr int errNotRegularFile = 472;
constexpr int errFileTooLarge = 473;
// A save cannot make its new file in the folder (read-only folder or file system); the detail names
// the file and the folder.
constexpr int errFolderNotWritable = 474;
// A file whose name the active code page cannot write: the program cannot name it to open it. The
// detail shows the name with '?' for each character the page lacks.
constexpr int errNameOutsideCodePage = 478;
// A save's folder does not exist (removed, renamed, or on a disk no longer there); the detail names
// the file and the folder.
constexpr int errFolderMissing = 477;
// Another program holds the lock of the file a save is to replace, and kept it while the save
// waited; the detail names the file.
constexpr int errFileInUse = 476;

// The last operating-system error (errno), for ErrorAlert.
constexpr int errSystem = -1;

// String ids the alerts use.
constexpr int kProductNameStringId = 430; // "Korvaline": the caption of every alert
constexpr int kInformationStringId = 2;   // caption of NoteAlert

// Most environments that may be pushed at once.
constexpr int kMaxErrorEnvs = 32;

// Message-box styles the alerts pass (window-system values).
constexpr unsigned kAlertStopStyle = 0x2010;  // task-modal, stop icon
constexpr unsigned kAlertRetryStyle = 0x2015; // task-modal, stop icon, Retry / Cancel
constexpr unsigned kAlertNoteStyle = 0x2040;  // task-modal, information icon
constexpr unsigned kAlertSystemStyle = 0x40;  // information icon, for the system's own text

// ---- The unwinding exception ------------------------------------------------------------------
[[noreturn]] void Fail(int code);
int errorEnv();

// Thrown only by Fail. It deliberately does not derive from std::exception, so a catch of
// std::exception in some body does not swallow an error meant for an environment.
class FailUnwind {
public:
    std::int16_t code() const { return m_code; }

private:
    friend void Fail(int code);
    friend int errorEnv();
    explicit FailUnwind(std::int16_t code)
        : m_code(code) {}
    std::int16_t m_code;
};

// ---- Environments -------------------------------------------------------------------------------
// Pushes an environment and returns its slot (0 for the outermost). With 32 already pushed it does
// what Fail(errRecursion) does instead and does not return. Before InitErrorSystem it logs the
// assertion "errorEnv" and creates the error state itself.
int errorEnv();
// Pops the innermost environment. With nothing pushed it logs "Error Stack Underflow" and changes
// nothing else.
void PopErrorEnv();
// Number of environments pushed.
int ErrorEnvDepth();
// Puts the depth back to `depth` when it is deeper (used when an exception other than Fail's leaves
// a guarded body).
void RestoreErrorEnvDepth(int depth);

// Fail(code) (declared above) abandons the work and resumes the innermost environment with the low
// 16 bits of `code`. With no environment pushed there is nothing to resume: the error is shown,
// logged, and the program ends with a non-zero exit status.

// Sets the quitting word to 0 (the recovery branch calls it first).
void ClearErrorQuitFlag();

// Runs body() inside an error environment. On Fail (or memory exhaustion, which becomes
// errNoMemory) the depth is already back where it was and recover(code) runs with the 16-bit code;
// its result is returned. recover may Fail again to pass the error outward. Any other exception
// restores the depth and propagates.
template <class Body, class Recover>
auto GuardedCall(Body&& body, Recover&& recover) -> std::invoke_result_t<Body&> {
    using Result = std::invoke_result_t<Body&>;
    const int slot = errorEnv(); // may resume the enclosing environment with errRecursion
    std::int16_t code = 0;
    try {
        if constexpr (std::is_void_v<Result>) {
            body();
            PopErrorEnv();
            return;
        } else {
            Result result = body();
            PopErrorEnv();
            return result;
        }
    } catch (const FailUnwind& unwind) {
        code = unwind.code();
    } catch (const std::bad_alloc&) {
        RestoreErrorEnvDepth(slot);
        code = static_cast<std::int16_t>(errNoMemory);
    } catch (...) {
        RestoreErrorEnvDepth(slot);
        throw;
    }
    ClearErrorQuitFlag();
    if constexpr (std::is_void_v<Result>) {
        std::forward<Recover>(recover)(code);
    } else {
        return std::forward<Recover>(recover)(code);
    }
}

// Runs body() inside an error environment and returns 0, or the code it failed with.
template <class Body> std::int16_t CatchFail(Body&& body) {
    return GuardedCall(
        [&]() -> std::int16_t {
            std::forward<Body>(body)();
            return 0;
        },
        [](std::int16_t code) { return code; });
}

// ---- Error state --------------------------------------------------------------------------------
// Creates the error state: message buffer, the default message (string 451) and the caption
// (string 430). Called once at start-up before the first environment.
void InitErrorSystem();
// Frees what InitErrorSystem made. Environments must not be pushed any more.
void FreeErrorSystem();

// The error detail appended to every error text (usually the path of the file that failed); at
// most 255 characters are kept; null clears it.
void SetErrorDetail(const char* text);
const char* ErrorDetail();

// Loads string `id` into the message buffer; null when the id has no text.
const char* LoadErrorString(int id);
// Builds the text of error `code` in the message buffer: the string (or the default message when
// the code is 0 or has no text), a line break, then the error detail.
const char* BuildErrorText(int code);

// ---- Alerts -------------------------------------------------------------------------------------
// The stop box for `code`, captioned with the product name, with a beep. errSystem shows the
// system's text for the last error (errno), captioned "Error", with no owner.
void ErrorAlert(int code);
// The one place the program shows a message box (with AppMessageBoxNamingFiles, its form with
// file names); caption null = the product name. Returns the box's result (IDOK 1, IDCANCEL 2,
// IDRETRY 4, ...).
int AppMessageBox(const char* text, const char* caption, unsigned type);
// The same with file names of the active code page under the text, drawn in the code page.
int AppMessageBoxNamingFiles(const char* text, const char* names, const char* caption,
                             unsigned type);
// Error text with Retry / Cancel; IDRETRY or IDCANCEL.
int RetryAlert(int code);
// Information box with string `id`; 0 without a box when the id has no text.
int NoteAlert(int id);
// "     " + title + "\n\n" + text; kind 'i' is an information box without a beep, any other kind
// beeps and shows a stop box.
int TitledAlert(const char* caption, const char* title, const char* text, char kind);

// ---- Assertion log ------------------------------------------------------------------------------
// Appends "Assertion failure (text) on (source:line)\n" to the logged information and goes on.
// `source` may be a path: only its stem (no folder, no extension) is logged.
void oAssertionFailure(const char* source, unsigned line, const char* text);
// Appends `line` and a line end to the logged information; what was logged before stays.
void LogInformation(std::string_view line);
// The logged information the crash report includes; replacing it is the crash record's business.
std::string_view LoggedInformation();
void SetLoggedInformation(std::string_view text);
// The log itself, kept up to date as entries are added: the crash handler reads it at the moment
// of a crash, so it is handed this string once rather than a copy. Valid for the whole run.
const std::string& LoggedInformationText();

// What a Fail with no environment calls last, after the alert and the log lines, to write the crash
// report. A reporter that returns leaves the program to end with exit status 3. Null: none.
using UnhandledFailReporter = void (*)(int code);
void SetUnhandledFailReporter(UnhandledFailReporter reporter);

// A hook the program relies on was called while nothing had installed it: the assertion
// "unwired hook <name>" is logged and, once start-up has named the notice, the user is told the
// feature is not there yet. Never a silent no-op.
void UnwiredHook(const char* name);
// The notice UnwiredHook shows (a string id; 0 shows none, as in tests of single layers).
void SetUnwiredHookNotice(int stringId);

// Logs `text` with this source file's stem and line when `cond` is false. Never stops the program.
#define KV_ASSERT(cond, text)                                                                      \
    do {                                                                                           \
        if (!(cond))                                                                               \
            ::oAssertionFailure(__FILE__, static_cast<unsigned>(__LINE__), (text));                \
    } while (0)
// Logs `text` unconditionally (a branch that should never run).
#define KV_ASSERT_FAILED(text)                                                                     \
    ::oAssertionFailure(__FILE__, static_cast<unsigned>(__LINE__), (text))
