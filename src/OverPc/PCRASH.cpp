#include "OverPc/PCRASH.h"

#include "OverPc/PERROR.h"
#include "OverPc/PFILE.h"
#include "OverPc/Presourc.h"
#include "plat/Crash.h"
#include "plat/Files.h"
#include "plat/Shell.h"
#include "plat/System.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/utsname.h>

namespace {

constexpr int kMoreTries = 1999;

bool exists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

// A Fail with nothing to resume is a crash of the program's own making: the handler writes the
// dump, the report and the log, runs the page program and never returns here.
[[noreturn]] void reportUnhandledFail(int) {
    std::abort();
}

std::string tempFolder() {
    char buf[4096];
    const plat::DWORD n = plat::GetTempPath(sizeof buf, buf);
    return n ? std::string(buf, n) : std::string("/tmp/");
}

// The value of KEY="value" or KEY=value in an os-release file.
std::string osReleaseValue(const std::string& text, std::string_view key) {
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.size() <= key.size() || line.compare(0, key.size(), key) != 0 ||
            line[key.size()] != '=')
            continue;
        std::string value = line.substr(key.size() + 1);
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
            value.back() == value.front())
            value = value.substr(1, value.size() - 2);
        return value;
    }
    return "";
}

} // namespace

std::string ReplaceAll(std::string_view text, std::string_view pattern,
                       std::string_view replacement) {
    if (pattern.empty())
        return std::string(text);
    std::string out;
    std::size_t at = 0;
    for (;;) {
        const std::size_t found = text.find(pattern, at);
        if (found == std::string_view::npos)
            break;
        out.append(text.substr(at, found - at));
        out.append(replacement);
        at = found + pattern.size();
    }
    out.append(text.substr(at));
    return out;
}

std::string HtmlEscape(std::string_view text) {
    std::string out = ReplaceAll(text, "&", "&amp;");
    out = ReplaceAll(out, "<", "&lt;");
    out = ReplaceAll(out, ">", "&gt;");
    return ReplaceAll(out, "\"", "&quot;");
}

std::string FormatKilobytes(int64_t bytes) {
    return std::to_string(bytes / 1024) + " KB";
}

std::string MakeFileUrl(std::string_view path) {
    return "file://" + std::string(path);
}

bool ReadTemplateFile(const std::string& path, std::string& out) {
    out.clear();
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::ostringstream all;
    all << in.rdbuf();
    if (in.bad())
        return false;
    out = all.str();
    return true;
}

int MakeUniqueTempName(const char* extension, const char* base, std::string& out,
                       const std::string& folder) {
    std::string dir = folder.empty() ? tempFolder() : folder;
    if (dir.back() != '/')
        dir += '/';
    for (int attempt = 0; attempt <= kMoreTries; ++attempt) {
        if (attempt > 0)
            plat::Sleep(1);
        const std::string candidate =
            dir + base + "_" + std::to_string(plat::GetTickCount()) + "." + extension;
        if (!exists(candidate)) {
            out = candidate;
            return 1;
        }
    }
    return -1;
}

std::string OSVersionText() {
    std::string text;
    struct utsname u;
    if (::uname(&u) == 0)
        text = std::string(u.sysname) + " " + u.release + " (" + u.machine + ")";
    std::string release;
    if (ReadTemplateFile("/etc/os-release", release)) {
        const std::string name = osReleaseValue(release, "PRETTY_NAME");
        if (!name.empty())
            text += (text.empty() ? "" : ", ") + name;
    }
    return text + "\n";
}

bool BuildCrashReportPage(CrashRecord& record, const std::string& programFolder,
                          const std::string& folder) {
    const std::string templateFolder = programFolder + "CrashPage/";
    std::string page;
    if (!ReadTemplateFile(templateFolder + "crash.html", page))
        return false;
    std::string path;
    if (MakeUniqueTempName("html", "QVCrashReport", path, folder) != 1)
        return false;
    page = ReplaceAll(page, "$productVersion$", HtmlEscape(record.productVersion));
    page = ReplaceAll(page, "$platformInfo$", HtmlEscape(record.platformInfo));
    page = ReplaceAll(page, "$crashReport$", HtmlEscape(record.crashReport));
    page = ReplaceAll(page, "$loggedInfo$", HtmlEscape(record.loggedInfo));
    page = ReplaceAll(page, "$dumpfileInfo$", HtmlEscape(record.dumpfileInfo));
    // The page's images and links resolve against the template's folder.
    page = ReplaceAll(page, "<!-- BASE -->",
                      "<base href=\"" + HtmlEscape(MakeFileUrl(templateFolder)) + "\">");
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << page;
    out.close();
    if (!out) {
        std::remove(path.c_str());
        return false;
    }
    record.pagePath = path;
    return true;
}

namespace {

// The version line of the About box.
constexpr int kVersionStringId = 138;

std::string programFolder() {
    char path[4096];
    const plat::DWORD n = plat::GetModuleFileName(nullptr, path, sizeof path);
    std::string folder = plat::NativePath(std::string_view(path, n));
    const std::size_t slash = folder.rfind('/');
    return slash == std::string::npos ? std::string("./") : folder.substr(0, slash + 1);
}

} // namespace

bool InstallProgramCrashHandler() {
    plat::CrashSetup setup;
    char desktop[plat::MAX_PATH] = "";
    if (plat::SHGetFolderPath(nullptr, plat::CSIDL_DESKTOPDIRECTORY, nullptr,
                              plat::SHGFP_TYPE_CURRENT, desktop) == plat::S_OK)
        setup.dumpFolder = plat::NativePath(desktop);
    setup.reportFolder = tempFolder();
    return InstallCrashReporting(setup);
}

bool InstallCrashReporting(plat::CrashSetup setup) {
    setup.log = &LoggedInformationText();
    if (!plat::InstallCrashHandler(setup))
        return false;
    SetUnhandledFailReporter(&reportUnhandledFail);
    return true;
}

int ShowCrashPage(const std::string& reportPath, const std::string& dumpPath,
                  const std::string& logPath) {
    CrashRecord record;
    if (const char* version = LoadResString(kVersionStringId))
        record.productVersion = version;
    record.platformInfo = OSVersionText();
    if (!reportPath.empty())
        ReadTemplateFile(reportPath, record.crashReport);
    if (!logPath.empty())
        ReadTemplateFile(logPath, record.loggedInfo);
    struct stat st;
    if (!dumpPath.empty() && ::stat(dumpPath.c_str(), &st) == 0)
        record.dumpfileInfo = FormatKilobytes(st.st_size);
    if (BuildCrashReportPage(record, programFolder()))
        ShellOpenIfExists(record.pagePath.c_str());
    return 1;
}
