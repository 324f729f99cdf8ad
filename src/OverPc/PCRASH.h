#pragma once
// Crash reports: the record of what is known when the program crashes, the unique names of the
// crash files, and the HTML crash page filled from the template "CrashPage/crash.html" that ships
// beside the program.

#include "plat/Crash.h"

#include <cstdint>
#include <string>
#include <string_view>

struct CrashRecord {
    std::string productVersion;
    std::string platformInfo;
    std::string crashReport;
    std::string dumpfileInfo;
    std::string loggedInfo; // the assertion log
    std::string pagePath;   // the crash page written, or ""
};

// Every occurrence of `pattern` (not empty) in `text` replaced, left to right, without rescanning
// the replacements.
std::string ReplaceAll(std::string_view text, std::string_view pattern,
                       std::string_view replacement);
// "&", then "<", ">" and the double quote as HTML entities ("&" first, so that text already
// holding an entity shows it literally).
std::string HtmlEscape(std::string_view text);
// "<n> KB" for a size in bytes (whole kilobytes, rounded down).
std::string FormatKilobytes(int64_t bytes);
// "file://" followed by the path.
std::string MakeFileUrl(std::string_view path);
// The whole file; false (out empty) when it cannot be read.
bool ReadTemplateFile(const std::string& path, std::string& out);

// A name in `folder` (the temporary folder when empty; a separator is added when missing) of the
// form "<base>_<tick count>.<extension>" that no file has yet: on a clash it waits 1 ms and tries
// the new tick count, up to 1999 more times. 1 with the path in `out`, else -1.
int MakeUniqueTempName(const char* extension, const char* base, std::string& out,
                       const std::string& folder = "");

// The platform line of the page: system name, release and machine, and the distribution's name.
std::string OSVersionText();

// Fills the template "<programFolder>CrashPage/crash.html" (programFolder ends with a separator)
// with the record's texts, HTML-escaped, and a base element pointing at the template's folder,
// and writes it to a unique "QVCrashReport_<n>.html" in `tempFolder` (the temporary folder when
// empty), kept in record.pagePath. False when there is no template or the page cannot be
// written; nothing else is changed then.
bool BuildCrashReportPage(CrashRecord& record, const std::string& programFolder,
                          const std::string& tempFolder = "");

// The program's crash handler: the dump goes to the desktop, the report and the assertion log to
// the temporary folder, and the program is run again with "--crash-page" to show the page. False
// when the handler cannot be installed (the program then runs without it).
bool InstallProgramCrashHandler();

// Installs the crash handler with `setup`, the assertion log (LoggedInformationText) handed to it
// so that the log file holds every entry made up to the crash, and makes a Fail with no error
// environment end through the same report: the handler is entered with SIGABRT, so the report's
// call stack shows where the failure came from, and the log names the error. False (and nothing
// changed) when the handler cannot be installed.
bool InstallCrashReporting(plat::CrashSetup setup);

// The run after a crash: builds the page from the report, the dump and the log the crashed run
// left (any may be missing or ""), opens it with the desktop's program, and answers the exit
// status of this run (1).
int ShowCrashPage(const std::string& reportPath, const std::string& dumpPath,
                  const std::string& logPath);
