// The unsaved documents a signal ends the program with: each is kept whole in the first place that
// takes it (the Recovered folder, a new folder beside it, the document's folder, the home folder,
// the temporary folder), a second signal waits for it, and the next start offers what was kept,
// once.

#include "App/Recovery.h"

#include "App/AppHooks.h"
#include "App/MenuDispatch.h"
#include "App/MessageLoop.h"
#include "App/ModelWiring.h"
#include "ExprSrcs/ExprFilePane.h"
#include "ExprSrcs/documents/Documents.h"
#include "OverPc/PERROR.h"
#include "OverPc/PFILE.h"
#include "OverPc/commands/kPrefs.h"
#include "OverSrcs/documents/DocLines.h"
#include "app/AppDocumentFixture.h"
#include "plat/Files.h"
#include "plat/Font.h"
#include "plat/Testing.h"
#include "plat/Window.h"
#include "platform/SysTempDir.h"
#include "support/CodePageScope.h"
#include "support/PipeText.h"

#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <sched.h>
#include <string>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace kvtest {
namespace {

namespace fs = std::filesystem;
namespace pt = plat::testing;

constexpr int kSave = 263;
constexpr int kSaveAs = 264;
constexpr int kIdYes = 6;
constexpr int kIdNo = 7;

ExprPtr treeInFile(const std::string& path) {
    const std::string bytes = ReadFileBytes(path);
    return ReadDocumentLinesFromMemory(bytes.data(), static_cast<uint32_t>(bytes.size()))
        .expression;
}

// The paths stderr names as kept, in order.
std::vector<std::string> keptPaths(const std::string& said) {
    std::vector<std::string> paths;
    for (size_t at = said.find("kept in "); at != std::string::npos;
         at = said.find("kept in ", at + 1)) {
        const size_t from = at + 8;
        const size_t pvx = said.find(".pvx", from);
        if (pvx == std::string::npos || pvx > said.find('\n', from))
            continue;
        paths.push_back(said.substr(from, pvx + 4 - from));
    }
    return paths;
}

// Files in `folder` that a recovery left behind half-made: its temporaries and their siblings.
std::vector<std::string> leftovers(const std::string& folder) {
    std::vector<std::string> left;
    for (const std::string& name : FolderNames(folder))
        if (name.starts_with(".korvaline-recovery-") || name.ends_with(".0") ||
            name.ends_with(".1"))
            left.push_back(name);
    return left;
}

class RecoveryTest : public AppDocumentFixture {
protected:
    void SetUp() override {
        AppDocumentFixture::SetUp();
        fs::create_directories(m_home);
        fs::create_directories(m_tmp);
        fs::create_directories(m_docs);
    }
    void TearDown() override {
        RecoveryNameChosenHook = nullptr;
        for (ExprFilePane* pane = OpenDocumentList; pane != nullptr; pane = pane->nextDocument())
            pane->setChanged(false);
        AppDocumentFixture::TearDown();
    }
    std::string recovered() const { return PrefsFolderPath() + "Recovered"; }
    // Ends as a signal does, and answers what stderr said.
    static std::string endOnSignal() {
        ::testing::internal::CaptureStderr();
        AppHooks().endWithoutQuestions(SIGTERM);
        return ::testing::internal::GetCapturedStderr();
    }
    // Ends on a signal with `pane` the one unsaved document, which is kept in `kept`; then closes
    // it, as the next start finds things.
    static void endKeepingOne(ExprFilePane* pane, std::string& kept) {
        const std::vector<std::string> paths = keptPaths(endOnSignal());
        ASSERT_EQ(paths.size(), 1u);
        kept = paths[0];
        closeUnchanged(pane);
    }
    // Closes the window of `pane` without a question, taking back the quit of the last window.
    static void closeUnchanged(ExprFilePane* pane) {
        pane->setChanged(false);
        delete pane->window();
        pt::runUntilIdle();
        takeBackQuit();
    }
    // Answers Oui to the offer of what was kept (its text in `offer`), and answers the document
    // opened last.
    static ExprFilePane* acceptOffer(std::string* offer = nullptr) {
        pt::onMessageBox([offer](const pt::MessageBoxCall& box) {
            if (offer != nullptr)
                *offer = box.names;
            return kIdYes;
        });
        OfferRecoveredDocuments();
        pt::runUntilIdle();
        return OpenDocumentList;
    }

    std::string m_home = m_dir / "home";
    std::string m_tmp = m_dir / "tmp";
    std::string m_docs = m_dir / "docs";
    ScopedEnv m_homeEnv{"HOME", m_home};
    ScopedEnv m_tmpEnv{"TMPDIR", m_tmp};
};

// The rows' ways of spoiling a place, and the hook that acts at the moment a name is chosen.
int s_failWith = 0;
int s_namesTaken = 0;
std::string s_spoiledFolder;

void actAtName(const std::string& path) {
    if (!path.starts_with(s_spoiledFolder + "/"))
        return;
    const std::string stem = path.substr(0, path.size() - 4);
    for (int n = 1; n <= s_namesTaken; ++n)
        WriteFileBytes(n == 1 ? path : stem + " (" + std::to_string(n) + ").pvx", "taken");
    if (s_failWith != 0)
        Fail(static_cast<std::int16_t>(s_failWith));
}

TEST_F(RecoveryTest, AnUnusableRecoveredFolderSendsTheCopyToTheNextPlace) {
    enum Spoil { kNothing, kFile, kFifo, kDanglingLink, kLinkToFolder, kHook };
    enum Place { kRecovered, kBeside, kDocFolder, kHome, kTemp };
    const struct {
        const char* what;
        Spoil spoil;
        int failWith;    // the system refuses new files there (read-only, full)
        int namesTaken;  // names already taken there
        bool besideToo;  // "Recovered 2" is a plain file as well
        bool titled;     // the document has a file of its own
        bool homeBroken; // HOME leads to a dangling link
        Place expected;
        int expectedN; // the counter of the name it gets
    } rows[] = {
        {"usable", kNothing, 0, 0, false, true, false, kRecovered, 1},
        {"a plain file", kFile, 0, 0, false, true, false, kBeside, 1},
        {"a FIFO", kFifo, 0, 0, false, true, false, kBeside, 1},
        {"a dangling link", kDanglingLink, 0, 0, false, true, false, kBeside, 1},
        {"a link to a folder", kLinkToFolder, 0, 0, false, true, false, kBeside, 1},
        {"read-only", kHook, errFileAccessDenied, 0, false, true, false, kBeside, 1},
        {"full", kHook, errDiskFull, 0, false, true, false, kBeside, 1},
        {"all names but one taken", kHook, 0, kRecoveryNameTries - 1, false, true, false,
         kRecovered, kRecoveryNameTries},
        {"all names taken", kHook, 0, kRecoveryNameTries, false, true, false, kBeside, 1},
        {"ten times the names taken", kHook, 0, 10 * kRecoveryNameTries, false, true, false,
         kBeside, 1},
        {"a file, and beside it too", kFile, 0, 0, true, true, false, kDocFolder, 1},
        {"the same, untitled", kFile, 0, 0, true, false, false, kHome, 1},
        {"the same, no home", kFile, 0, 0, true, false, true, kTemp, 1},
    };
    const std::string linked = m_dir / "linked";
    int count = 0;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const std::string beside = recovered() + " 2";
        for (const std::string& path :
             {recovered(), beside, PrefsFolderPath() + ".recovered", m_home, m_tmp, m_docs, linked})
            fs::remove_all(path);
        for (const std::string& folder : {m_tmp, m_docs, linked})
            fs::create_directories(folder);
        if (row.homeBroken)
            fs::create_symlink(m_dir / "gone", m_home);
        else
            fs::create_directories(m_home);
        fs::create_directories(PrefsFolderPath());
        switch (row.spoil) {
        case kFile:
            WriteFileBytes(recovered(), "a file of the user's");
            break;
        case kFifo:
            ASSERT_EQ(0, ::mkfifo(recovered().c_str(), 0600));
            break;
        case kDanglingLink:
            fs::create_symlink(m_dir / "gone", recovered());
            break;
        case kLinkToFolder:
            fs::create_symlink(linked, recovered());
            break;
        default:
            break;
        }
        if (row.besideToo)
            WriteFileBytes(beside, "another file of the user's");
        s_failWith = row.failWith;
        s_namesTaken = row.namesTaken;
        s_spoiledFolder = recovered();
        RecoveryNameChosenHook = row.spoil == kHook ? &actAtName : nullptr;

        ExprFilePane* pane = typed("x+" + std::to_string(++count));
        if (row.titled) {
            pt::answerFileDialog(m_docs + "/eq.pvx");
            ASSERT_EQ(DoMenuCommand(kSaveAs), 1);
            pt::type("+z");
            pt::runUntilIdle();
        }
        ASSERT_TRUE(pane->changed());
        const ExprPtr tree = pane->expression()->deepCopy();
        const std::string said = endOnSignal();
        pane->setChanged(false);
        RecoveryNameChosenHook = nullptr;

        const std::vector<std::string> kept = keptPaths(said);
        ASSERT_EQ(kept.size(), 1u) << said;
        const std::string folders[] = {recovered(), beside, m_docs, m_home, m_tmp};
        const std::string expectedFolder = folders[row.expected];
        EXPECT_EQ(fs::path(kept[0]).parent_path().string(), expectedFolder) << said;
        const std::string name = fs::path(kept[0]).filename().string();
        EXPECT_EQ(name.find("(copie de secours ") != std::string::npos, row.expected >= kDocFolder)
            << name;
        EXPECT_EQ(name.find(" (" + std::to_string(row.expectedN) + ").pvx") != std::string::npos,
                  row.expectedN > 1)
            << name;
        EXPECT_EQ(said.find("could not take them") != std::string::npos, row.expected != kRecovered)
            << said;
        struct stat st {};
        ASSERT_EQ(0, ::lstat(kept[0].c_str(), &st));
        EXPECT_TRUE(S_ISREG(st.st_mode));
        const ExprPtr back = treeInFile(kept[0]);
        ASSERT_NE(back, nullptr);
        EXPECT_TRUE(back->equal(tree.get(), 0));
        // Nothing half-made anywhere, nothing through the link, the user's files as they were.
        for (const std::string& folder : folders)
            EXPECT_EQ(leftovers(folder), std::vector<std::string>{}) << folder;
        EXPECT_EQ(FolderNames(linked), std::vector<std::string>{});
        if (row.spoil == kFile) {
            EXPECT_EQ(ReadFileBytes(recovered()), "a file of the user's");
        }
        if (row.spoil == kDanglingLink || row.spoil == kLinkToFolder) {
            EXPECT_TRUE(fs::is_symlink(recovered()));
        }
        // The next start offers it.
        const std::vector<RecoveryEntry> offered = RecoveryCopiesToOffer(PrefsFolderPath());
        ASSERT_EQ(offered.size(), 1u);
        EXPECT_EQ(offered[0].copy, kept[0]);
    }
}

// Answered Oui or Non, the copies are offered once; a signal that ends the program while the box
// waits for its answer leaves them to be offered at the next start.
TEST(RecoveryFileNameTest, TheDocumentsNameIsKeptWholeInItsCodePage) {
    // Separators and control characters go; a double-byte character whose trail byte is that
    // of a backslash (表 under 932) stays whole, so the copy's name can still be written.
    struct Case {
        plat::UINT codePage;
        std::string document;
        std::string copy;
    };
    const Case cases[] = {
        {1252, "a/b\\c\x01.pvx", "abc 1200.pvx"},
        {1252, "  \xE9t\xE9", "\xE9t\xE9 1200.pvx"},
        {932, "\x95\x5C.pvx", "\x95\x5C 1200.pvx"},
        {932, "x\x90\x94\x8E\xAE\x95\x5C.pvx", "x\x90\x94\x8E\xAE\x95\x5C 1200.pvx"},
        {932, "/", "Document 1200.pvx"},
    };
    kvtest::CodePageScope restore;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.document);
        ASSERT_TRUE(plat::SetActiveCodePage(c.codePage));
        EXPECT_EQ(RecoveryFileName(c.document, "1200", false, 1), c.copy);
    }
}

TEST_F(RecoveryTest, TheNextStartOffersWhatWasKeptOnce) {
    constexpr int kEndedMeanwhile = -1;
    for (const int answer : {kIdYes, kIdNo, kEndedMeanwhile}) {
        SCOPED_TRACE(answer == kIdYes ? "Oui" : answer == kIdNo ? "Non" : "ended meanwhile");
        fs::remove_all(recovered());
        ExprFilePane* first = typed("a+b");
        ExprFilePane* second = typed("c-d");
        const ExprPtr trees[] = {first->expression()->deepCopy(), second->expression()->deepCopy()};
        const std::vector<std::string> kept = keptPaths(endOnSignal());
        ASSERT_EQ(kept.size(), 2u);
        first->setChanged(false);
        second->setChanged(false);
        // What the record holds but is no recovered document by now is not offered: a name that
        // is gone, and one that is a link.
        const std::string gone = m_dir / "gone.pvx";
        const std::string link = m_dir / "link.pvx";
        fs::remove(link);
        fs::create_symlink(kept[0], link);
        NoteRecoveryCopies(PrefsFolderPath(), {{gone, {}, {}}, {link, {}, {}}});

        const size_t boxes = pt::messageBoxes().size();
        const int32_t documents = OpenDocumentCount();
        std::string text;
        if (answer == kEndedMeanwhile) {
            // The ending runs from the box's own loop and the program ends there, as a signal
            // served there ends it: in a copy of the process, which leaves its record behind.
            const std::string shown = m_dir / "shown";
            const pid_t child = ::fork();
            ASSERT_GE(child, 0);
            if (child == 0) {
                pt::onMessageBox([&](const pt::MessageBoxCall& box) {
                    WriteFileBytes(shown, box.names);
                    ::testing::internal::CaptureStderr();
                    AppHooks().endWithoutQuestions(SIGTERM);
                    _exit(0);
                    return kIdNo;
                });
                OfferRecoveredDocuments();
                _exit(3);
            }
            int status = 0;
            ASSERT_EQ(child, ::waitpid(child, &status, 0));
            ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
            text = ReadFileBytes(shown);
        } else {
            pt::onMessageBox([&](const pt::MessageBoxCall& box) {
                text = box.names;
                return answer;
            });
            OfferRecoveredDocuments();
            pt::runUntilIdle();
            ASSERT_EQ(pt::messageBoxes().size(), boxes + 1);
        }
        for (const std::string& path : kept)
            EXPECT_NE(text.find(path), std::string::npos) << text;
        EXPECT_EQ(text.find(gone), std::string::npos) << text;
        EXPECT_EQ(text.find(link), std::string::npos) << text;
        EXPECT_EQ(OpenDocumentCount(), documents + (answer == kIdYes ? 2 : 0));
        for (size_t i = 0; i < kept.size(); ++i) {
            EXPECT_TRUE(fs::is_regular_file(kept[i])) << kept[i];
            ExprFilePane* opened = nullptr;
            for (ExprFilePane* p = OpenDocumentList; p != nullptr; p = p->nextDocument())
                if (p->recoveryCopy() == kept[i])
                    opened = p;
            EXPECT_EQ(opened != nullptr, answer == kIdYes) << kept[i];
            // The copies are named in the order of the window list, newest first.
            if (opened != nullptr) {
                EXPECT_TRUE(opened->expression()->equal(trees[kept.size() - 1 - i].get(), 0));
            }
        }
        // Offered once: the next start asks nothing, unless the box never had its answer.
        std::string again;
        if (answer == kEndedMeanwhile)
            pt::onMessageBox([&](const pt::MessageBoxCall& box) {
                again = box.names;
                return kIdNo;
            });
        OfferRecoveredDocuments();
        pt::runUntilIdle();
        EXPECT_EQ(pt::messageBoxes().size(), boxes + 1);
        if (answer == kEndedMeanwhile) {
            EXPECT_EQ(again, text);
        }
        // The recovered documents open changed: the next row's ending is not to keep them.
        for (ExprFilePane* p = OpenDocumentList; p != nullptr; p = p->nextDocument())
            p->setChanged(false);
    }
}

// An ending cut short (by its grace running out, or a kill) leaves its temporaries behind. The next
// start clears those whose process is gone: an empty one goes with the partial sibling of its
// save, a whole one is named and offered; anything else with such a name stays.
TEST_F(RecoveryTest, TheNextStartClearsWhatAnEndingCutShortLeft) {
    ExprFilePane* pane = typed("q+r");
    const ExprPtr tree = pane->expression()->deepCopy();
    const pid_t gone = ::fork();
    ASSERT_GE(gone, 0);
    if (gone == 0)
        _exit(0);
    ASSERT_EQ(gone, ::waitpid(gone, nullptr, 0));
    const std::string folder = recovered() + "/";
    fs::create_directories(folder);
    const auto temporary = [&](pid_t pid, int n) {
        return folder + ".korvaline-recovery-" + std::to_string(pid) + "-" + std::to_string(n) +
               ".tmp";
    };
    // Cut short while writing: the empty temporary and the sibling half written.
    const std::string empty = temporary(gone, 1);
    WriteFileBytes(empty, "");
    std::string sibling;
    std::FILE* half = CreateSiblingOrFail(empty.c_str(), sibling, empty.c_str());
    ASSERT_NE(half, nullptr);
    std::fputs("%%Ve!\r\n%%Ex", half);
    std::fclose(half);
    // Cut short before the name: the whole copy.
    const std::string whole = temporary(gone, 2);
    WriteFileBytes(whole, "");
    WriteDocumentCopy(*pane, whole);
    pane->setChanged(false);
    // Not the program's to clear: a running ending's, a link, other names.
    const std::string running = temporary(::getpid(), 1);
    const std::string link = temporary(gone, 3);
    const std::vector<std::string> others = {running, folder + ".korvaline-recovery-x-1.tmp",
                                             folder + ".korvaline-recovery-" +
                                                 std::to_string(gone) + "-1.tmp.bak",
                                             folder + "notes-1.tmp"};
    for (const std::string& path : others)
        WriteFileBytes(path, "a user's file");
    fs::create_symlink(whole, link);

    std::string text;
    pt::onMessageBox([&](const pt::MessageBoxCall& box) {
        text = box.names;
        return kIdYes;
    });
    OfferRecoveredDocuments();
    pt::runUntilIdle();
    EXPECT_FALSE(fs::exists(empty));
    EXPECT_FALSE(fs::exists(sibling)) << sibling;
    EXPECT_FALSE(fs::exists(whole));
    for (const std::string& path : others)
        EXPECT_EQ(ReadFileBytes(path), "a user's file") << path;
    EXPECT_TRUE(fs::is_symlink(link));
    std::vector<std::string> named;
    for (const std::string& name : FolderNames(folder))
        if (name.starts_with("Document ") && name.ends_with(".pvx"))
            named.push_back(folder + name);
    ASSERT_EQ(named.size(), 1u);
    EXPECT_NE(text.find(named[0]), std::string::npos) << text;
    ExprFilePane* opened = nullptr;
    for (ExprFilePane* p = OpenDocumentList; p != nullptr; p = p->nextDocument())
        if (p->recoveryCopy() == named[0])
            opened = p;
    ASSERT_NE(opened, nullptr);
    EXPECT_TRUE(opened->expression()->equal(tree.get(), 0));
}

// The same on real file systems: Recovered, or the whole preferences folder, is a full or a
// read-only file system of its own (a mount in a private mount namespace of a forked copy, where
// the system allows one). Settings that cannot be written are said once, with the file.
TEST_F(RecoveryTest, ARecoveredFolderOnAFullOrReadOnlyFileSystemSendsTheCopyBesideIt) {
    ExprFilePane* pane = typed("x+y");
    const ExprPtr tree = pane->expression()->deepCopy();
    const std::string prefs = PrefsFolderPath();
    const std::string settingsSaid = "Impossible d'enregistrer le fichier Pr\xC3\xA9"
                                     "f\xC3\xA9rences. " +
                                     prefs + "general.prf";
    const struct {
        const char* what;
        bool wholeFolder; // the preferences folder, not only Recovered
        bool full;
        std::string place; // where the copy goes
    } rows[] = {
        {"Recovered full", false, true, recovered() + " 2"},
        {"Recovered read-only", false, false, recovered() + " 2"},
        {"the preferences folder full", true, true, m_home},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const std::string mountAt = row.wholeFolder ? prefs : recovered();
        fs::remove_all(recovered() + " 2");
        fs::create_directories(recovered());
        for (const std::string& name : FolderNames(m_home))
            fs::remove_all(m_home + "/" + name);
        int err[2];
        ASSERT_EQ(0, ::pipe(err));
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::dup2(err[1], STDERR_FILENO);
            if (::unshare(CLONE_NEWNS) != 0 ||
                ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
                ::mount("tmpfs", mountAt.c_str(), "tmpfs", row.full ? 0 : MS_RDONLY,
                        "size=64k") != 0)
                _exit(42);
            if (row.full) {
                const int fd = ::open((mountAt + "/filler").c_str(), O_WRONLY | O_CREAT, 0600);
                const std::string block(4096, 'f');
                while (::write(fd, block.data(), block.size()) > 0) {
                }
                ::close(fd);
            }
            // The settings are written before the ending too (the palette's place, say).
            SetGeneralPrefValue("Pw", 1, 345);
            SaveGeneralPrefs(true);
            SaveGeneralPrefs(true);
            AppHooks().endWithoutQuestions(SIGTERM);
            _exit(0);
        }
        ::close(err[1]);
        const std::string said = ReadUntilClosed(err[0]);
        int status = 0;
        ASSERT_EQ(child, ::waitpid(child, &status, 0));
        ASSERT_TRUE(WIFEXITED(status));
        if (WEXITSTATUS(status) == 42)
            GTEST_SKIP() << "no private mount namespace here";
        EXPECT_EQ(WEXITSTATUS(status), 0);
        const std::vector<std::string> kept = keptPaths(said);
        ASSERT_EQ(kept.size(), 1u) << said;
        EXPECT_EQ(fs::path(kept[0]).parent_path().string(), row.place) << said;
        EXPECT_NE(said.find("could not take them"), std::string::npos) << said;
        const ExprPtr back = treeInFile(kept[0]);
        ASSERT_NE(back, nullptr);
        EXPECT_TRUE(back->equal(tree.get(), 0));
        EXPECT_EQ(leftovers(row.place), std::vector<std::string>{});
        const size_t settings = said.find(settingsSaid);
        EXPECT_EQ(settings != std::string::npos, row.wholeFolder) << said;
        if (settings != std::string::npos) {
            EXPECT_EQ(said.find(settingsSaid, settings + 1), std::string::npos) << said;
        }
    }
}

// A second signal (SIGTERM or Ctrl+C's SIGINT) while the copies are written waits for them: each
// time the copy is whole under its name and nothing half-made is left. The copy is made slow by
// the hook (the moment before it is given its name), so that every gap falls inside the ending.
TEST_F(RecoveryTest, FurtherSignalsWaitUntilTheCopyIsWhole) {
    std::string text;
    for (int i = 0; i < 40; ++i)
        text += "a_" + std::to_string(i) + "+";
    ExprFilePane* pane = typed(text + "z");
    const ExprPtr tree = pane->expression()->deepCopy();
    const struct {
        int gapMs;
        int second;
    } rows[] = {{5, SIGTERM}, {50, SIGINT}, {500, SIGTERM}, {2000, SIGINT}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.gapMs);
        fs::remove_all(recovered());
        int ready[2];
        int err[2];
        ASSERT_EQ(0, ::pipe(ready));
        ASSERT_EQ(0, ::pipe(err));
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::dup2(err[1], STDERR_FILENO);
            RecoveryNameChosenHook = [](const std::string&) {
                timespec ts{2, 500'000'000};
                while (nanosleep(&ts, &ts) != 0) {
                }
            };
            InstallTerminationHandler();
            [[maybe_unused]] const ssize_t n = ::write(ready[1], "r", 1);
            RunMessageLoop();
            _exit(3);
        }
        ::close(ready[1]);
        ::close(err[1]);
        char byte = 0;
        ASSERT_EQ(1, ::read(ready[0], &byte, 1));
        ::close(ready[0]);
        ::kill(child, SIGTERM);
        timespec gap{row.gapMs / 1000, (row.gapMs % 1000) * 1'000'000L};
        while (nanosleep(&gap, &gap) != 0) {
        }
        ::kill(child, row.second);
        const std::string said = ReadUntilClosed(err[0]);
        int status = 0;
        ASSERT_EQ(child, ::waitpid(child, &status, 0));
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
        EXPECT_NE(said.find("please wait"), std::string::npos) << said;
        const std::vector<std::string> names = FolderNames(recovered());
        ASSERT_EQ(names.size(), 1u) << said;
        const std::vector<std::string> kept = keptPaths(said);
        ASSERT_EQ(kept, std::vector<std::string>{recovered() + "/" + names[0]}) << said;
        const ExprPtr back = treeInFile(kept[0]);
        ASSERT_NE(back, nullptr);
        EXPECT_TRUE(back->equal(tree.get(), 0));
    }
}

std::string windowTitle(ExprFilePane* pane) {
    char text[256] = {};
    plat::GetWindowText(HandleOfWindow(pane->window()->windowHandle()), text, sizeof text);
    return text;
}

// Oui to the offer opens each copy as the document it was: its own path and name (or untitled),
// marked changed, so that Ctrl+S saves it where it was, through the usual question when its file
// changed on disk meanwhile; once saved, the copy is gone. The offer names where each copy will
// be saved. A record edited to send the copy to another file of the user's, without the identity
// of the file it knew, counts as that file changed on disk: Ctrl+S asks before replacing it.
TEST_F(RecoveryTest, ARecoveredDocumentOpensAsTheDocumentItWas) {
    enum OnDisk { kAsItWas, kChangedReplace, kChangedKeep };
    enum Record { kAsWritten, kNoIdentity, kOtherFileNoIdentity };
    const struct {
        const char* what;
        bool titled;
        OnDisk onDisk;
        Record record;
    } rows[] = {
        {"untitled", false, kAsItWas, kAsWritten},
        {"titled", true, kAsItWas, kAsWritten},
        {"titled, its file changed since, replaced", true, kChangedReplace, kAsWritten},
        {"titled, its file changed since, kept", true, kChangedKeep, kAsWritten},
        {"titled, its file gone, no identity", true, kAsItWas, kNoIdentity},
        {"titled, no identity, replaced", true, kChangedReplace, kNoIdentity},
        {"another file, no identity, replaced", true, kChangedReplace, kOtherFileNoIdentity},
        {"another file, no identity, kept", true, kChangedKeep, kOtherFileNoIdentity},
    };
    const std::string record = PrefsFolderPath() + ".recovered";
    const std::string other = m_docs + "/notes.pvx";
    int count = 0;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const std::string file = row.record == kOtherFileNoIdentity ? other : m_docs + "/eq.pvx";
        fs::remove_all(recovered());
        fs::remove(m_docs + "/eq.pvx");
        WriteFileBytes(other, "the user's other file");
        ExprFilePane* pane = typed("x+" + std::to_string(++count));
        std::string before;
        if (row.titled) {
            pt::answerFileDialog(m_docs + "/eq.pvx");
            ASSERT_EQ(DoMenuCommand(kSaveAs), 1);
            before = ReadFileBytes(file);
            pt::type("+z");
            pt::runUntilIdle();
        }
        const ExprPtr tree = pane->expression()->deepCopy();
        std::string kept;
        ASSERT_NO_FATAL_FAILURE(endKeepingOne(pane, kept));
        if (row.record != kAsWritten) {
            // The record loses the identity of the file the document knew; its path is sent to
            // another file of the user's, or the file goes.
            std::string line = ReadFileBytes(record);
            ASSERT_NE(line.find('\t'), std::string::npos) << line;
            line = line.substr(0, line.find('\t')) + '\t' + file + '\n';
            WriteFileBytes(record, line);
            if (row.onDisk == kAsItWas)
                fs::remove(file);
        }
        if (row.onDisk != kAsItWas && row.record != kOtherFileNoIdentity) {
            // Another program writes the file after the ending.
            timespec later{0, 20'000'000};
            nanosleep(&later, nullptr);
            before = "written by another program";
            WriteFileBytes(file, before);
        }

        std::string offer;
        ExprFilePane* opened = acceptOffer(&offer);
        ASSERT_NE(opened, nullptr);
        // The offer names the copy and the file it will be saved as.
        EXPECT_NE(offer.find(kept + "\n    -> " + (row.titled ? file : "(sans titre")),
                  std::string::npos)
            << offer;
        ASSERT_TRUE(opened->expression()->equal(tree.get(), 0));
        EXPECT_EQ(opened->filePath(), row.titled ? file : "");
        EXPECT_TRUE(opened->changed());
        const std::string title = fs::path(file).filename().string();
        EXPECT_EQ(windowTitle(opened), row.titled ? title : opened->fileName());
        EXPECT_TRUE(opened->fileName().starts_with(row.titled ? title.substr(0, 2) : "Sans titre "))
            << opened->fileName();
        // The user's file is as the ending left it until the document is saved.
        if (row.titled && fs::exists(file)) {
            EXPECT_EQ(ReadFileBytes(file), before);
        }

        const std::string target = row.titled ? file : m_docs + "/new.pvx";
        if (!row.titled)
            pt::answerFileDialog(target);
        const size_t boxes = pt::messageBoxes().size();
        std::string asked;
        std::string whileAsked;
        if (row.onDisk != kAsItWas)
            pt::onMessageBox([&](const pt::MessageBoxCall& box) {
                asked = box.text;
                whileAsked = ReadFileBytes(file);
                return row.onDisk == kChangedKeep ? kIdNo : kIdYes;
            });
        opened->takeFocus();
        pt::runUntilIdle();
        DoMenuCommand(kSave);
        pt::runUntilIdle();
        EXPECT_EQ(pt::messageBoxes().size(), boxes + (row.onDisk != kAsItWas ? 1 : 0));
        if (row.onDisk != kAsItWas) {
            EXPECT_NE(asked.find("sur le disque"), std::string::npos) << asked;
            EXPECT_EQ(whileAsked, before);
        }
        const bool saved = row.onDisk != kChangedKeep;
        EXPECT_EQ(opened->changed(), !saved);
        EXPECT_EQ(fs::exists(kept), !saved) << kept;
        if (saved) {
            ASSERT_TRUE(fs::is_regular_file(target)) << target;
            const ExprPtr back = treeInFile(target);
            ASSERT_NE(back, nullptr);
            EXPECT_TRUE(back->equal(tree.get(), 0));
        } else {
            EXPECT_EQ(ReadFileBytes(file), before);
        }
        closeUnchanged(opened);
    }
}

// A recovered document whose file is open in a window already opens untitled beside it: two
// windows never save over each other's file.
TEST_F(RecoveryTest, ARecoveredDocumentWhoseFileIsOpenOpensUntitled) {
    const std::string file = m_docs + "/eq.pvx";
    ExprFilePane* pane = typed("a+b");
    pt::answerFileDialog(file);
    ASSERT_EQ(DoMenuCommand(kSaveAs), 1);
    const std::string before = ReadFileBytes(file);
    pt::type("+c");
    pt::runUntilIdle();
    const ExprPtr tree = pane->expression()->deepCopy();
    std::string kept;
    ASSERT_NO_FATAL_FAILURE(endKeepingOne(pane, kept));
    // The next start opens the file itself first (from its command line, say).
    AppHooks().openDocumentWindow(file.c_str(), 'e');
    ExprFilePane* own = OpenDocumentList;
    ASSERT_EQ(own->filePath(), file);

    std::string offer;
    ExprFilePane* opened = acceptOffer(&offer);
    EXPECT_NE(offer.find(kept + "\n    -> (sans titre"), std::string::npos) << offer;
    ASSERT_NE(opened, own);
    EXPECT_TRUE(opened->expression()->equal(tree.get(), 0));
    EXPECT_EQ(opened->filePath(), "");
    EXPECT_TRUE(opened->changed());
    EXPECT_EQ(ReadFileBytes(file), before);
    opened->setChanged(false);
}

// The offer names, and Oui opens, only what the ending made: a regular file in one of the places
// it writes to. Nothing is written through a link planted at the record's name.
TEST_F(RecoveryTest, TheOfferTakesOnlyCopiesTheEndingMade) {
    enum Case {
        kLinkAtRecord,
        kCopyBecomesLink,
        kCopyRemoved,
        kEditedRecord,
        kEditedRecordInPlace
    };
    const struct {
        const char* what;
        Case spoil;
    } rows[] = {
        {"a link planted at the record", kLinkAtRecord},
        {"the copy made a link while the box is up", kCopyBecomesLink},
        {"the copy removed while the box is up", kCopyRemoved},
        {"a record naming a document of the user's", kEditedRecord},
        {"a record naming a hidden file in Recovered", kEditedRecordInPlace},
    };
    const std::string record = PrefsFolderPath() + ".recovered";
    const std::string other = m_dir / "other";
    const std::string notes = other + "/notes.txt";
    const std::string secret = m_docs + "/secret.pvx";
    ExprFilePane* user = typed("s+e+c+r+e+t");
    WriteDocumentCopy(*user, secret);
    user->setChanged(false);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        fs::remove_all(recovered());
        fs::remove_all(other);
        fs::remove(record);
        fs::create_directories(other);
        fs::create_directories(PrefsFolderPath());
        WriteFileBytes(notes, "the user's notes\n");

        std::vector<std::string> kept;
        const bool madeByEnding = row.spoil == kLinkAtRecord || row.spoil == kCopyBecomesLink ||
                                  row.spoil == kCopyRemoved;
        if (madeByEnding) {
            if (row.spoil == kLinkAtRecord)
                fs::create_symlink(notes, record);
            ExprFilePane* pane = typed("k+e+p+t");
            kept = keptPaths(endOnSignal());
            ASSERT_EQ(kept.size(), 1u);
            pane->setChanged(false);
        } else {
            const std::string hidden = recovered() + "/.secret.pvx";
            fs::create_directories(recovered());
            fs::copy_file(secret, hidden);
            WriteFileBytes(record, (row.spoil == kEditedRecord ? secret : hidden) + "\n");
        }
        EXPECT_EQ(ReadFileBytes(notes), "the user's notes\n");
        EXPECT_FALSE(fs::is_symlink(record));

        std::string text;
        std::string alert;
        if (madeByEnding)
            pt::onMessageBox([&](const pt::MessageBoxCall& box) {
                text = box.names;
                if (row.spoil != kLinkAtRecord)
                    fs::remove(kept[0]);
                if (row.spoil == kCopyBecomesLink)
                    fs::create_symlink(secret, kept[0]);
                return kIdYes;
            });
        // The copy that became a link, or is gone, is not opened, and the user is told why.
        if (row.spoil == kCopyBecomesLink || row.spoil == kCopyRemoved)
            pt::onMessageBox([&](const pt::MessageBoxCall& box) {
                alert = box.text;
                return 1;
            });
        const size_t boxes = pt::messageBoxes().size();
        const int32_t before = OpenDocumentCount();
        OfferRecoveredDocuments();
        pt::runUntilIdle();
        for (ExprFilePane* p = OpenDocumentList; p != nullptr; p = p->nextDocument())
            EXPECT_FALSE(p != user && p->expression()->equal(user->expression(), 0))
                << "the user's document was opened as a recovered one";
        if (row.spoil == kLinkAtRecord) {
            EXPECT_NE(text.find(kept[0]), std::string::npos) << text;
            EXPECT_EQ(OpenDocumentCount(), before + 1);
        } else if (row.spoil == kCopyBecomesLink || row.spoil == kCopyRemoved) {
            EXPECT_EQ(OpenDocumentCount(), before);
            EXPECT_NE(alert.find(fs::path(kept[0]).filename().string()), std::string::npos)
                << alert;
            const bool gone = row.spoil == kCopyRemoved;
            EXPECT_EQ(alert.find("n'existe pas") != std::string::npos, gone) << alert;
            EXPECT_EQ(alert.find("pas un fichier ordinaire") != std::string::npos, !gone) << alert;
        } else {
            // Nothing to offer: no box at all.
            EXPECT_EQ(pt::messageBoxes().size(), boxes) << text;
            EXPECT_EQ(OpenDocumentCount(), before);
        }
        EXPECT_EQ(ReadFileBytes(notes), "the user's notes\n");
        for (ExprFilePane* p = OpenDocumentList; p != nullptr; p = p->nextDocument())
            p->setChanged(false);
    }
}

// The places of a document's copy: the document's own folder is cut at its last separator, a
// whole character (under 932 the trail byte of 表 is that of a backslash).
TEST(RecoveryPlacesTest, TheDocumentsFolderIsCutAtAWholeSeparator) {
    const struct {
        plat::UINT codePage;
        std::string prefs;
        std::string document;
        std::string firstPlace;
        std::string documentFolder; // "" for none
    } cases[] = {
        {1252, "/d/P", "/home/u/eq.pvx", "/d/P/Recovered/", "/home/u/"},
        {1252, "/d/P/", "/home/u\\eq.pvx", "/d/P/Recovered/", "/home/u\\"},
        {1252, "/d/P", "", "/d/P/Recovered/", ""},
        {932, "/d/P", "/home/u/\x95\x5C.pvx", "/d/P/Recovered/", "/home/u/"},
        {932, "/d/P", "/home/\x95\x5C/eq.pvx", "/d/P/Recovered/", "/home/\x95\x5C/"},
        {932, "/d/P", "\x95\x5C.pvx", "/d/P/Recovered/", ""},
        {932, "/d/\x95\x5C", "/d/\x95\x5C.pvx", "/d/\x95\x5C/Recovered/", "/d/"},
    };
    kvtest::CodePageScope restore;
    ScopedEnv home("HOME", "/h");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.document + " in " + c.prefs);
        ASSERT_TRUE(plat::SetActiveCodePage(c.codePage));
        const std::vector<RecoveryPlace> places = RecoveryPlaces(c.prefs, c.document);
        ASSERT_GE(places.size(), 3u);
        EXPECT_EQ(places[0].folder, c.firstPlace);
        const bool hasFolder = !c.documentFolder.empty();
        EXPECT_EQ(places[2].folder, hasFolder ? c.documentFolder : "/h/");
        EXPECT_EQ(places[2].markName, true);
    }
}

// The record reads back what was written, paths with tabs, line breaks and '%' included; a line
// that does not read whole is passed over, the others are kept.
TEST(RecoveryRecordTest, WhatIsWrittenReadsBack) {
    FileIdentity id;
    id.known = true;
    id.device = 2049;
    id.inode = 77;
    id.size = 1234;
    id.modifiedSeconds = -5;
    id.modifiedNanoseconds = 999'999'999;
    const std::vector<RecoveryEntry> entries = {
        {"/p/Recovered/Sans titre 1 t.pvx", "", {}},
        {"/p/Recovered/eq t.pvx", "/home/u/eq.pvx", id},
        {"/home/a\tb/x (copie de secours t).pvx", "/home/a\tb/100%\n.pvx", {}},
    };
    const std::string text = FormatRecoveryRecord(entries);
    EXPECT_EQ(ParseRecoveryRecord(text), entries) << text;
    const struct {
        const char* line;
        bool read;
    } lines[] = {
        {"/a.pvx", true},
        {"/a.pvx\t/b.pvx", true},
        {"/a.pvx\t/b.pvx\t1:2:3:4:5", true},
        {"/a.pvx\t\t1:2:3:4:5", false},       // an identity without a file
        {"/a.pvx\t/b.pvx\t1:2:3:4", false},   // a number short
        {"/a.pvx\t/b.pvx\t1:2:3:4:x", false}, // not a number
        {"/a.pvx\t/b.pvx\t1:2:3:4:5\tz", false},
        {"/a%41.pvx", false}, // only the four escaped bytes are written escaped
        {"/a%2.pvx", false},
        {"\t/b.pvx", false},
    };
    for (const auto& l : lines) {
        SCOPED_TRACE(l.line);
        const std::vector<RecoveryEntry> read =
            ParseRecoveryRecord(std::string("/first.pvx\n") + l.line + "\n/last.pvx");
        ASSERT_EQ(read.size(), l.read ? 3u : 2u);
        EXPECT_EQ(read.front().copy, "/first.pvx");
        EXPECT_EQ(read.back().copy, "/last.pvx");
    }
}

} // namespace
} // namespace kvtest
