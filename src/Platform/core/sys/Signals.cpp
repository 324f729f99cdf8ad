// Ending on a signal: the handler does only what is safe inside a signal handler (note the signal,
// arm the grace timers, write one byte to the event wait's wake-up pipe); the program's own ending
// runs on the main thread, from whichever message loop takes its events next. Long work that sees
// the signal first acknowledges it: the grace becomes the ending's while the work unwinds.
//
// The first grace is counted in the program's own processor time, so that a loaded machine, which
// gives the program only a share of a processor, does not shorten the work between two looks at
// the signal into a lost ending. A program blocked in a call uses no processor time: a wall-clock
// cap ends it. Both timers deliver SIGALRM; whichever comes first ends the program.

#include "core/win/WinInternal.h"
#include "plat/System.h"

#include <cerrno>
#include <csignal>
#include <ctime>
#include <unistd.h>

namespace plat::core {

namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};
// Seconds of its own processor time a noted signal gives the program to start its ending before
// it ends the default way; seconds of the clock it gives a program that does not get that far
// (blocked in a call, or starved of the processor); and seconds of the clock the ending may then
// take (it writes the preferences and every unsaved document).
constexpr unsigned kGraceSeconds = 1;
constexpr unsigned kBlockedSeconds = 10;
constexpr unsigned kEndingSeconds = 30;

volatile std::sig_atomic_t s_pending = 0;
volatile std::sig_atomic_t s_wakeFd = -1;
volatile std::sig_atomic_t s_toldWaiting = 0;
TerminationHandler s_serve = nullptr;
volatile std::sig_atomic_t s_serving = 0;
// The noted signal was seen by long work, which is unwinding to the loop that serves it.
volatile std::sig_atomic_t s_acknowledged = 0;
// Depth of the calls under way that cannot look at a pending signal.
volatile std::sig_atomic_t s_uninterruptible = 0;

// The timer on the process's processor time, made for the process that set the handler (a timer is
// not inherited across fork: a copy of the program makes its own).
timer_t s_cpuTimer{};
pid_t s_cpuTimerOwner = 0;

bool haveCpuTimer() {
    return s_cpuTimerOwner != 0 && s_cpuTimerOwner == getpid();
}

void makeCpuTimer() {
    if (haveCpuTimer())
        return;
    struct sigevent event {};
    event.sigev_notify = SIGEV_SIGNAL;
    event.sigev_signo = SIGALRM;
    timer_t timer{};
    if (timer_create(CLOCK_PROCESS_CPUTIME_ID, &event, &timer) != 0) {
        // Without it the wall-clock cap alone ends a program that does not answer.
        s_cpuTimerOwner = 0;
        return;
    }
    s_cpuTimer = timer;
    s_cpuTimerOwner = getpid();
}

void deleteCpuTimer() {
    if (haveCpuTimer())
        timer_delete(s_cpuTimer);
    s_cpuTimerOwner = 0;
}

// Safe in a signal handler (timer_settime and alarm are).
void armCpuGrace(unsigned seconds) {
    if (!haveCpuTimer())
        return;
    struct itimerspec spec {};
    spec.it_value.tv_sec = static_cast<time_t>(seconds);
    timer_settime(s_cpuTimer, 0, &spec, nullptr);
}

void disarmCpuGrace() {
    armCpuGrace(0);
}

// The program has answered: the first grace is over, and the ending's own (wall clock) begins.
void startEndingGrace() {
    disarmCpuGrace();
    alarm(kEndingSeconds);
}

void endTheDefaultWay(int signal) {
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
    // Inside a handler of the same signal it is blocked: it ends the program on return.
    raise(signal);
}

void onTerminationSignal(int signal) {
    const int savedErrno = errno;
    if (s_pending) {
        // Asked again while the program ends: the ending may be writing the unsaved documents,
        // and ending now would lose them half-written. The grace timers still end a program that
        // does not answer; the signal itself only waits.
        if (s_serving && !s_toldWaiting) {
            s_toldWaiting = 1;
            static constexpr char kWaiting[] =
                "korvaline: ending: the unsaved documents are being kept, please wait\n";
            [[maybe_unused]] const ssize_t n = write(STDERR_FILENO, kWaiting, sizeof kWaiting - 1);
        }
    } else {
        s_pending = signal;
        // Inside a call that cannot look at the signal the program has answered already: it
        // will see the signal as soon as the call returns.
        if (s_uninterruptible > 0) {
            s_acknowledged = 1;
            alarm(kEndingSeconds);
        } else {
            armCpuGrace(kGraceSeconds);
            alarm(kBlockedSeconds);
        }
        if (s_wakeFd >= 0) {
            const char byte = 's';
            [[maybe_unused]] const ssize_t n = write(s_wakeFd, &byte, 1);
        }
    }
    errno = savedErrno;
}

// A grace passed and the program did not end: it cannot answer, so the signal acts alone.
void onGraceOver(int) {
    endTheDefaultWay(s_pending ? static_cast<int>(s_pending) : SIGTERM);
}

} // namespace

void ServeTerminationSignal() {
    if (!s_pending || s_serving || !s_serve)
        return;
    s_serving = 1;
    // The program answers: the grace now covers its orderly ending, which further signals wait
    // for.
    startEndingGrace();
    s_serve(static_cast<int>(s_pending));
    // A handler that returns has answered the signal: the program goes on.
    alarm(0);
    disarmCpuGrace();
    s_pending = 0;
    s_serving = 0;
    s_acknowledged = 0;
    s_toldWaiting = 0;
}

} // namespace plat::core

namespace plat {

bool TerminationSignalPending() {
    return core::s_pending != 0 && !core::s_serving;
}

bool EndingOnSignal() {
    return core::s_serving != 0;
}

void AcknowledgeTerminationSignal() {
    using namespace plat::core;
    if (!s_pending || s_serving || s_acknowledged)
        return;
    s_acknowledged = 1;
    // The program has answered: what it must undo before the loop serves the signal (a long save
    // abandoned, a half-read document freed) counts as part of its ending.
    core::startEndingGrace();
}

UninterruptibleCall::UninterruptibleCall() {
    core::s_uninterruptible = core::s_uninterruptible + 1;
    // A signal noted just before the call would otherwise have only what is left of its first
    // second.
    AcknowledgeTerminationSignal();
}

UninterruptibleCall::~UninterruptibleCall() {
    core::s_uninterruptible = core::s_uninterruptible - 1;
}

void SetTerminationSignalHandler(TerminationHandler serve) {
    using namespace plat::core;
    s_serve = serve;
    s_pending = 0;
    s_acknowledged = 0;
    s_wakeFd = serve ? backend().signalWakeFd() : -1;
    if (serve)
        makeCpuTimer();
    struct sigaction action {};
    action.sa_handler = serve ? &onTerminationSignal : SIG_DFL;
    sigemptyset(&action.sa_mask);
    // One handler at a time: a second signal waits for the first handler to return.
    for (int signal : kSignals)
        sigaddset(&action.sa_mask, signal);
    action.sa_flags = SA_RESTART;
    for (int signal : kSignals)
        sigaction(signal, &action, nullptr);
    struct sigaction grace {};
    grace.sa_handler = serve ? &onGraceOver : SIG_DFL;
    sigemptyset(&grace.sa_mask);
    grace.sa_flags = SA_RESTART;
    sigaction(SIGALRM, &grace, nullptr);
    if (!serve) {
        alarm(0);
        deleteCpuTimer();
    }
}

namespace testing {

void stopTerminationGrace() {
    alarm(0);
    core::disarmCpuGrace();
}

} // namespace testing

} // namespace plat
