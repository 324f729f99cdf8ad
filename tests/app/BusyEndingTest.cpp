// A termination signal while the program is busy with a document (opening one of 17 MB, laying
// out or saving one of 900,000 nodes, pasting 2 MB of text or the 17 MB document's expression in
// the forms other programs offer it) ends the program through its own ending, in a copy of the
// program that takes a real SIGTERM: the long work sees the signal within its grace and unwinds,
// the ending keeps every unsaved document whole (what was typed before a stopped paste), and a
// save that was cut short leaves the previous file as it was; so too on a loaded machine, where
// the copy of the program gets a tenth of a processor or less. Escape pressed as the program ends
// stops none of the ending's writing. A copy that never looks at the signal still ends the default
// way: after a second of its own processor time when it spins, after ten seconds when it is
// blocked.

#include "../../src/Platform/backend/Backend.h"
#include "App/AppHooks.h"
#include "App/MenuDispatch.h"
#include "App/MessageLoop.h"
#include "ExprSrcs/ExprFilePane.h"
#include "ExprSrcs/documents/Documents.h"
#include "OverPc/PFILE.h"
#include "OverPc/PUTIL.h"
#include "OverPc/documents/ClipboardCommands.h"
#include "OverSrcs/commands/kEdit.h"
#include "OverSrcs/documents/DocLines.h"
#include "OverSrcs/etEncode.h"
#include "OverSrcs/etTranslator.h"
#include "OverSrcs/oStreams.h"
#include "app/AppDocumentFixture.h"
#include "bench/BenchTrees.h"
#include "plat/Clipboard.h"
#include "plat/Input.h"
#include "plat/System.h"
#include "plat/TestingSys.h"
#include "support/PipeText.h"

#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <iostream>
#include <map>
#include <sched.h>
#include <string>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace kvtest {
namespace {

namespace fs = std::filesystem;
namespace pt = plat::testing;

constexpr int kSave = 263;

// The bytes of a document file holding the expression.
std::string documentBytes(const eExpr* expression) {
    oOStreamPtr stream(NewOMemoryStream(1 << 16));
    WriteDocumentLines(*stream, expression, DocumentBackground{}, nullptr, nullptr);
    return static_cast<oOMemoryStream*>(stream.release())->detachString();
}

// A document file of about 17 MB (a_0 x^0 + a_1 x^1 + ... of 600,000 terms), made once: it takes
// seconds to read.
enum class Work { Open, LayOut, Save, PasteText, PasteEncoding, PasteBitmap, PasteBase64Text };

const std::string& largeFileBytes() {
    static const std::string bytes = documentBytes(kvbench::Sum(600000).get());
    return bytes;
}

// The large document's expression as another program offers it: its encoding, the encoding
// after the pixels of a one-pixel bitmap file, and the encoding in base64 inside text.
std::string largeEncoding() {
    const std::string& file = largeFileBytes();
    const size_t start = file.find(kEncodingStart);
    const size_t end = file.find(kEncodingEnd, start);
    return file.substr(start, end + std::strlen(kEncodingEnd) - start);
}

std::vector<uint8_t> bitmapFileCarrying(const std::string& encoding) {
    std::vector<uint8_t> bmp(14 + 40 + 4, 0);
    auto put32 = [&](size_t at, size_t v) {
        for (size_t b = 0; b < 4; ++b)
            bmp[at + b] = static_cast<uint8_t>(v >> (8 * b));
    };
    bmp[0] = 'B';
    bmp[1] = 'M';
    put32(2, bmp.size() + encoding.size() + 1);
    put32(10, 14 + 40); // where the pixels start
    put32(14, 40);      // the header's size
    put32(18, 1);       // width
    put32(22, 1);       // height
    bmp[26] = 1;        // planes
    bmp[28] = 24;       // bits a pixel
    bmp.insert(bmp.end(), encoding.begin(), encoding.end());
    bmp.push_back(0);
    return bmp;
}

std::vector<uint8_t> bytesOf(const std::string& s) {
    return std::vector<uint8_t>(s.begin(), s.end());
}

// What another program offers for each paste, made once.
const std::vector<plat::ClipboardItem>& offered(Work work) {
    static std::map<Work, std::vector<plat::ClipboardItem>> made;
    std::vector<plat::ClipboardItem>& items = made[work];
    if (!items.empty())
        return items;
    switch (work) {
    case Work::PasteText: {
        // a+a+... up to the largest text that is typed in (2 MB), a million items.
        std::string text;
        while (text.size() < kLargestPastedText)
            text += "a+";
        items = {{"UTF8_STRING", bytesOf(text)}};
        break;
    }
    case Work::PasteEncoding:
        items = {{"application/x-kv-Korvaline-Expression", bytesOf(largeEncoding())}};
        break;
    case Work::PasteBitmap:
        items = {{"image/bmp", bitmapFileCarrying(largeEncoding())}};
        break;
    case Work::PasteBase64Text:
        items = {{"UTF8_STRING", bytesOf(std::string(kEncodingStart) + "B64" +
                                         EncodeB64(largeEncoding()) + kEncodingEnd)}};
        break;
    default:
        break;
    }
    return items;
}

// An expression of 900,000 nodes (its file about 1.7 MB) for the work that needs it in a window:
// made once, and each forked copy of the program takes it as it finds it.
ExprPtr& mediumTree() {
    static ExprPtr tree = kvbench::Sum(60000);
    return tree;
}

// The expression record of a document file, to its end: what a copy of the same expression holds
// whatever window place it was written with.
std::string expressionRecord(const std::string& fileBytes) {
    const size_t at = fileBytes.find("%%Ex");
    return at == std::string::npos ? std::string() : fileBytes.substr(at);
}

ExprPtr treeInFile(const std::string& path) {
    const std::string bytes = ReadFileBytes(path);
    ExprPtr tree;
    CatchFail([&] {
        tree = ReadDocumentLinesFromMemory(bytes.data(), static_cast<uint32_t>(bytes.size()))
                   .expression;
    });
    return tree;
}

// In a copy of the program: the pipe on which it tells the test that the signal may come ('r')
// and, once the work has returned, whether the work was finished before the signal came ('f') or
// stopped by it ('s').
int s_toTest = -1;

void tellTest(char what) {
    [[maybe_unused]] const ssize_t n = ::write(s_toTest, &what, 1);
}

// A save that has made its file's sibling tells the test that the signal may come, and goes on only
// once the signal is noted (or after a minute): however slow the machine, the signal finds the save
// under way.
void signalOnceTheSaveBegins(const char*) {
    // Only the first save: the recovery copies of the ending are written through siblings too.
    SetSiblingMadeHookForTesting(nullptr);
    tellTest('r');
    for (int ms = 0; ms < 60000 && !plat::TerminationSignalPending(); ++ms)
        ::usleep(1000);
}

// Busy processes sharing one processor with a copy of the program, for as long as they live: each
// spins, pinned to that processor. With ten of them the copy, pinned there too, gets a tenth of it
// or less, as on a machine that has more work than processors.
class BusyNeighbours {
public:
    explicit BusyNeighbours(int count) {
        if (count == 0)
            return;
        cpu_set_t allowed;
        CPU_ZERO(&allowed);
        if (::sched_getaffinity(0, sizeof allowed, &allowed) != 0)
            return;
        for (int c = 0; c < CPU_SETSIZE; ++c) {
            if (CPU_ISSET(c, &allowed)) {
                m_cpu = c;
                break;
            }
        }
        for (int i = 0; i < count; ++i) {
            const pid_t pid = ::fork();
            if (pid == 0) {
                // Holding no pipe of the test's open, and gone if the test is.
                ::close_range(3, ~0U, 0);
                ::prctl(PR_SET_PDEATHSIG, SIGKILL);
                joinTheirProcessor(m_cpu);
                volatile unsigned long spun = 0;
                for (;;)
                    spun = spun + 1;
            }
            if (pid > 0)
                m_pids.push_back(pid);
        }
    }
    ~BusyNeighbours() {
        for (pid_t pid : m_pids)
            ::kill(pid, SIGKILL);
        for (pid_t pid : m_pids)
            ::waitpid(pid, nullptr, 0);
    }
    BusyNeighbours(const BusyNeighbours&) = delete;
    BusyNeighbours& operator=(const BusyNeighbours&) = delete;
    // The processor they spin on, or -1 when there are none.
    int cpu() const { return m_pids.empty() ? -1 : m_cpu; }

    static void joinTheirProcessor(int cpu) {
        if (cpu < 0)
            return;
        cpu_set_t one;
        CPU_ZERO(&one);
        CPU_SET(cpu, &one);
        ::sched_setaffinity(0, sizeof one, &one);
    }

private:
    int m_cpu = -1;
    std::vector<pid_t> m_pids;
};

double seconds(const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

class BusyEndingTest : public AppDocumentFixture {
protected:
    void SetUp() override {
        AppDocumentFixture::SetUp();
        fs::create_directories(m_home);
        fs::create_directories(m_docs);
    }
    void TearDown() override {
        for (ExprFilePane* pane = OpenDocumentList; pane != nullptr; pane = pane->nextDocument())
            pane->setChanged(false);
        AppDocumentFixture::TearDown();
    }
    std::string recovered() const { return PrefsFolderPath() + "Recovered"; }

    struct Ended {
        int status = -1;
        std::string said;
        // The work was done before the signal came: what it is to show was not tried.
        bool finishedFirst = false;
        // The processor time the copy used in all, and the time from the signal to its end.
        double cpuSeconds = 0;
        double secondsAfterSignal = 0;
    };
    // Runs `prepare`, then `work` as the program runs a command, in a copy of the program whose
    // loop ends it on a signal; SIGTERM comes `delayMs` after the work begins (after the copy
    // tells so itself with tellTest('r') when `prepare` arranges it), with `busyNeighbours`
    // processes sharing its processor. What the copy said on stderr and how it ended; a copy that
    // has not ended after two minutes has hung and is killed.
    static Ended endWhileBusy(const std::function<void()>& prepare,
                              const std::function<void()>& work, int delayMs,
                              bool workTellsItBegan, int busyNeighbours = 0) {
        const BusyNeighbours neighbours(busyNeighbours);
        Ended ended;
        int ready[2];
        int err[2];
        if (::pipe(ready) != 0 || ::pipe(err) != 0)
            return ended;
        const pid_t child = ::fork();
        if (child == 0) {
            BusyNeighbours::joinTheirProcessor(neighbours.cpu());
            ::dup2(err[1], STDERR_FILENO);
            // The stopped work is reported as one the user stops; the loop then ends the copy.
            pt::onMessageBox([](const pt::MessageBoxCall&) { return 1; });
            s_toTest = ready[1];
            prepare();
            InstallTerminationHandler();
            if (!workTellsItBegan)
                tellTest('r');
            RunUserAction(work);
            // A stopped work leaves the signal for the loop to serve.
            tellTest(plat::TerminationSignalPending() ? 's' : 'f');
            RunMessageLoop();
            _exit(3);
        }
        ::close(ready[1]);
        ::close(err[1]);
        char byte = 0;
        const bool began = child > 0 && ::read(ready[0], &byte, 1) == 1;
        if (began) {
            std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
            ::kill(child, SIGTERM);
        }
        const auto signalled = std::chrono::steady_clock::now();
        const auto deadline = signalled + std::chrono::minutes(2);
        struct rusage used {};
        while (child > 0 && ::wait4(child, &ended.status, WNOHANG, &used) == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                ::kill(child, SIGKILL);
                ::wait4(child, &ended.status, 0, &used);
                ended.said = "(killed: still running two minutes after SIGTERM)\n";
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        ended.secondsAfterSignal =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - signalled).count();
        ended.cpuSeconds = seconds(used.ru_utime) + seconds(used.ru_stime);
        ended.said += ReadUntilClosed(err[0]);
        ended.finishedFirst = ReadUntilClosed(ready[0]) == "f";
        return ended;
    }

    std::string m_home = m_dir / "home";
    std::string m_docs = m_dir / "docs";
    ScopedEnv m_homeEnv{"HOME", m_home};
    ScopedEnv m_tmpEnv{"TMPDIR", m_dir / "tmp"};
};

TEST_F(BusyEndingTest, ASignalWhileADocumentIsBusyEndsTheProgramAndKeepsEveryDocument) {
    const std::string large = m_docs + "/large.pvx";
    const std::string mediumRecord = expressionRecord(documentBytes(mediumTree().get()));
    // The previous version of the file the medium document is saved over.
    const std::string previousPath = m_docs + "/previous.pvx";
    const std::string previous = documentBytes(kvbench::Sum(3).get());
    // Each copy starts from the same files and no recovery copies, whatever the one before did.
    const auto freshFiles = [&] {
        fs::remove_all(recovered());
        fs::remove_all(m_docs);
        fs::create_directories(m_docs);
        WriteFileBytes(large, largeFileBytes());
        WriteFileBytes(previousPath, previous);
    };
    // Unsaved work in another document: the ending must keep it, whatever the busy work was.
    ExprFilePane* notes = typed("n_1+n_2");
    ASSERT_TRUE(notes->changed());
    const ExprPtr notesTree = notes->expression()->deepCopy();

    // Ten busy processes share the processor of a copy on a loaded machine.
    constexpr int kLoaded = 10;
    const struct {
        const char* what;
        Work work;
        int delayMs;
        int busyNeighbours = 0;
    } rows[] = {
        {"opening the large document", Work::Open, 100},
        {"laying out a new window", Work::LayOut, 20},
        {"saving over the previous version", Work::Save, 20},
        {"pasting 2 MB of text", Work::PasteText, 100},
        {"pasting 2 MB of text, later", Work::PasteText, 400},
        {"pasting the large expression", Work::PasteEncoding, 100},
        {"pasting a bitmap that carries the large expression", Work::PasteBitmap, 100},
        {"pasting text that carries the large expression in base64", Work::PasteBase64Text, 100},
        // The work that goes longest between two looks at the signal.
        {"opening the large document, loaded", Work::Open, 100, kLoaded},
        {"pasting text that carries the large expression in base64, loaded",
         Work::PasteBase64Text, 100, kLoaded},
    };
    // A copy that finished its work before the signal came (a loaded machine ran the test late)
    // tried nothing: the row runs again, up to this many times in all.
    constexpr int kAttempts = 4;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        std::function<void()> prepare = [] {};
        std::function<void()> work;
        switch (row.work) {
        case Work::Open:
            work = [&] { OpenDocumentWindow(large.c_str(), 'e'); };
            break;
        case Work::LayOut:
            // A document window made for the expression, sized and laid out for the screen.
            work = [] { NewExprFilePane(std::move(mediumTree()), nullptr, "medium", 0); };
            break;
        case Work::Save:
            // The signal comes once the save has made its sibling, and before it is written.
            prepare = [&] {
                SetSiblingMadeHookForTesting(&signalOnceTheSaveBegins);
                const Zone zone{20, 20, 620, 420, 0, 0};
                ExprFilePane* pane =
                    NewExprFilePane(std::move(mediumTree()), &zone, "previous.pvx", 0);
                pane->setFilePath(previousPath);
                pane->setChanged(true);
                pane->takeFocus();
            };
            work = [] { DoMenuCommand(kSave); };
            break;
        default:
            // Into the notes, as Ctrl+V does.
            prepare = [&items = offered(row.work)] { plat::backend().setForeignClipboard(items); };
            work = [] { DoCommand(kCmdPaste, 0); };
            break;
        }
        Ended ended;
        for (int attempt = 1;; ++attempt) {
            freshFiles();
            ended = endWhileBusy(prepare, work, row.delayMs, row.work == Work::Save,
                                 row.busyNeighbours);
            if (!ended.finishedFirst || attempt == kAttempts)
                break;
            std::cout << "[ RETRY    ] " << row.what << ": the work was done before the signal came"
                      << " (attempt " << attempt << " of " << kAttempts << ")" << std::endl;
        }
        if (ended.finishedFirst) {
            ADD_FAILURE() << "the work was done before the signal came in all " << kAttempts
                          << " attempts: nothing was tried";
            continue;
        }
        if (!WIFEXITED(ended.status) || WEXITSTATUS(ended.status) != 0) {
            ADD_FAILURE() << "status " << ended.status << ": " << ended.said;
            continue;
        }

        // Every unsaved document is kept whole: the notes, and the one whose save was stopped.
        bool notesKept = false;
        bool savedKept = false;
        for (const std::string& name : FolderNames(recovered())) {
            const std::string path = recovered() + "/" + name;
            if (expressionRecord(ReadFileBytes(path)) == mediumRecord) {
                savedKept = true;
                continue;
            }
            const ExprPtr back = treeInFile(path);
            if (back == nullptr) {
                ADD_FAILURE() << name << " unreadable: " << ended.said;
                continue;
            }
            EXPECT_TRUE(back->equal(notesTree.get(), 0)) << name;
            notesKept = true;
        }
        EXPECT_TRUE(notesKept) << ended.said;
        // A save cut short leaves the previous version as it was.
        EXPECT_EQ(ReadFileBytes(previousPath), previous);
        EXPECT_EQ(savedKept, row.work == Work::Save) << ended.said;
        EXPECT_EQ(FolderNames(m_docs).size(), 2u) << "a save left a file behind";
    }
}

// A copy of the program that never looks at the signal ends the default way, and no sooner than its
// grace: one second of its own processor time when it spins (however little of a processor a
// loaded machine gives it), ten seconds when it is blocked in a call.
TEST_F(BusyEndingTest, ASignalTheProgramNeverLooksAtEndsItTheDefaultWayAfterItsGrace) {
    const struct {
        const char* what;
        std::function<void()> work;
        int busyNeighbours;
        double minCpuSeconds;
        double maxCpuSeconds;
        double minSecondsAfterSignal;
        double maxSecondsAfterSignal;
    } rows[] = {
        // Half of a processor: a second of its own time is about two of the clock.
        {"spinning, sharing its processor",
         [] {
             volatile unsigned long spun = 0;
             for (;;)
                 spun = spun + 1;
         },
         1, 1.0, 3.0, 1.0, 9.0},
        {"blocked reading a pipe nobody writes to",
         [] {
             int never[2];
             if (::pipe(never) == 0) {
                 char byte = 0;
                 [[maybe_unused]] const ssize_t n = ::read(never[0], &byte, 1);
             }
         },
         0, 0.0, 1.0, 9.5, 30.0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const Ended ended = endWhileBusy([] {}, row.work, 100, false, row.busyNeighbours);
        EXPECT_TRUE(WIFSIGNALED(ended.status) && WTERMSIG(ended.status) == SIGTERM)
            << "status " << ended.status << ": " << ended.said;
        EXPECT_GE(ended.cpuSeconds, row.minCpuSeconds);
        EXPECT_LE(ended.cpuSeconds, row.maxCpuSeconds);
        EXPECT_GE(ended.secondsAfterSignal, row.minSecondsAfterSignal);
        EXPECT_LE(ended.secondsAfterSignal, row.maxSecondsAfterSignal);
    }
}

// Escape pressed as the program ends on a signal stops nothing: the unsaved document is kept
// whole, in the first place that takes it.
TEST_F(BusyEndingTest, EscapeDuringTheEndingStopsNoKeptDocument) {
    std::string text;
    for (int i = 0; i < 40; ++i)
        text += "a_" + std::to_string(i) + "+";
    ExprFilePane* pane = typed(text + "z");
    const ExprPtr tree = pane->expression()->deepCopy();
    plat::SetTerminationSignalHandler([](int signal) { AppHooks().endWithoutQuestions(signal); });
    pt::keyDown(plat::VK_ESCAPE);
    std::raise(SIGTERM);
    // The test serves the signal itself, however slow the machine: no grace timer.
    plat::testing::stopTerminationGrace();
    ::testing::internal::CaptureStderr();
    pt::runUntilIdle();
    const std::string said = ::testing::internal::GetCapturedStderr();
    plat::SetTerminationSignalHandler(nullptr);
    pt::keyUp(plat::VK_ESCAPE);
    pt::runUntilIdle();

    const std::vector<std::string> names = FolderNames(recovered());
    ASSERT_EQ(names.size(), 1u) << said;
    const ExprPtr back = treeInFile(recovered() + "/" + names[0]);
    ASSERT_NE(back, nullptr) << said;
    EXPECT_TRUE(back->equal(tree.get(), 0));
}

} // namespace
} // namespace kvtest
