#pragma once
// The crash handler: on SIGSEGV, SIGBUS, SIGFPE, SIGILL or SIGABRT it writes a dump file and a
// text report, then runs the program again to build and show the crash page, and never returns.
//
// Everything the handler does is safe in a signal handler: it runs on its own stack, uses buffers
// made at installation and only open, read, write, close and execve.
//
// Dump file "QVMinidump-MM-dd-yyyy-HHmmss_<n>.dmp", made new (never over an existing file) in the
// dump folder: the magic "KVMDMP01", a 32-bit version (1), the CrashContext as it is in memory, the
// 32-bit length and text of /proc/self/maps, then the 32-bit length and bytes of up to 64 KiB of
// the stack from the stack pointer up.
//
// Report "QVCrashReport-MM-dd-yyyy-HHmmss_<n>.rpt" in the report folder: the exception line (the
// signal number and name), the local date and time, the fault address followed by the faulting
// instruction's offset in the file of the module holding it and that module's path, the x86-64
// registers, the call stack and the module list.
//
// Then: execve(program, {program, "--crash-page", <report>, <dump or "">, <log or "">}), where
// <log> is a file in the report folder holding the text the log provider gave at installation
// (the assertion log), written at the crash.

#include <cstdint>
#include <string>

namespace plat {

struct CrashContext {
    int signal = 0;
    int code = 0; // si_code
    std::uint64_t faultAddress = 0;
    std::uint64_t rip = 0, rsp = 0, rbp = 0, rax = 0, rbx = 0, rcx = 0, rdx = 0, rsi = 0, rdi = 0;
    std::uint64_t r8 = 0, r9 = 0, r10 = 0, r11 = 0, r12 = 0, r13 = 0, r14 = 0, r15 = 0;
    std::uint64_t eflags = 0;
    std::uint16_t cs = 0, gs = 0, fs = 0, ss = 0;
};

struct CrashSetup {
    // Where the dump goes (the desktop) and the report and log (the temporary folder); both end
    // without a separator or with one. An empty dump folder writes no dump.
    std::string dumpFolder;
    std::string reportFolder;
    // The program run for the page; empty: /proc/self/exe.
    std::string program;
    // The assertion log at the moment of the crash: a text the framework keeps up to date (read,
    // not copied, by the handler). May be null.
    const std::string* log = nullptr;
};

// Installs (or installs again, keeping the new setup) the handlers. False when the alternate
// stack or a handler cannot be installed.
bool InstallCrashHandler(const CrashSetup& setup);

// The signal's name as the report writes it ("SIGSEGV"), or "UNKNOWN".
const char* CrashSignalName(int signal);

} // namespace plat
