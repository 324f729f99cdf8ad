// The program with the files it meets on a user's machine: a preferences folder from an earlier,
// incomplete install is filled in without touching the user's files; FIFOs, devices and unreadable
// files in place of documents and preference files are refused by name without waiting on them; a
// full disk is reported as such and keeps the old file; a long key map loads at start-up.

#include "App/AppHooks.h"
#include "App/CQVAppStartup.h"
#include "App/MenuDispatch.h"
#include "App/ModelWiring.h"
#include "Dialogs/PictureDialogs.h"
#include "ExprSrcs/ExprFilePane.h"
#include "ExprSrcs/commands/tsPrefs.h"
#include "ExprSrcs/documents/Documents.h"
#include "OverPc/PERROR.h"
#include "OverPc/PFILE.h"
#include "OverPc/commands/kPrefs.h"
#include "OverPc/shell/CQVApp.h"
#include "OverSrcs/commands/kEdit.h"
#include "OverSrcs/oReader.h"
#include "OverSrcs/oStreams.h"
#include "app/AppDocumentFixture.h"
#include "plat/Dialog.h"
#include "plat/Testing.h"
#include "plat/TestingSys.h"
#include "platform/SysTempDir.h"
#include "support/HeldToPermissions.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <map>
#include <sched.h>
#include <string>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace kvtest {
namespace {

namespace pt = plat::testing;
namespace fs = std::filesystem;

constexpr int kSave = 263;
constexpr int kSaveAs = 264;
constexpr int kCopyAsTeXMenu = 1035;
constexpr int kIdOk = 1;

const fs::path kShippedFolder = fs::path(KV_BINARY_DIR) / "src" / "Korvaline_Prefs";

// The program as the user starts it: its folder is the build's, so the first start copies the
// shipped preferences folder from beside it into the data folder of the test's home.
class FileSafetyTest : public ::testing::Test {
protected:
    void SetUp() override {
        pt::setModuleFileName((fs::path(KV_BINARY_DIR) / "src" / "korvaline").string());
    }
    void TearDown() override {
        if (m_running)
            quit();
        pt::setModuleFileName("");
    }

    // Starts the program with `args` after the options; every message box it shows is answered
    // OK and its text kept in `boxes`.
    void startUp(const std::vector<std::string>& args = {}) {
        pt::reset();
        for (int i = 0; i < 16; ++i)
            pt::onMessageBox([this](const pt::MessageBoxCall& box) {
                boxes.push_back(box.text);
                return kIdOk;
            });
        AppHooks() = ShellHooks{};
        CurrentDialog = nullptr;
        MessageBoxUpFlag = false;
        ResetKeyMap();
        SetSingleInstanceSocket(m_dir / "KorvalineFileOpen");
        InstallModelWiring();
        std::vector<std::string> all{"-nosplash"};
        all.insert(all.end(), args.begin(), args.end());
        m_running = true;
        ASSERT_TRUE(CQVAppStartup(all).runLoop);
        pt::runUntilIdle();
    }
    void quit() {
        CloseAllDocuments();
        ShutDownProgram();
        ResetKeyMap();
        m_running = false;
    }

    std::string prefs() const { return m_dir / "data/Tessaron/Korvaline_Prefs"; }

    // The text of the box that names `name`, or "".
    std::string boxNaming(const std::string& name) const {
        for (const std::string& text : boxes)
            if (text.find(name) != std::string::npos)
                return text;
        return {};
    }

    // A new document, in front, with `text` typed into it.
    static ExprFilePane* typedInNewDocument(const std::string& text) {
        ExprFilePane* pane = NewUntitledDocument();
        pane->takeFocus();
        pt::runUntilIdle();
        pt::type(text);
        pt::runUntilIdle();
        return pane;
    }
    // Each path has a box of its own that names it and says it is no regular file.
    void expectRefusedByName(const std::vector<std::string>& paths) const {
        const std::string notRegular = LoadErrorString(errNotRegularFile);
        for (const std::string& path : paths) {
            SCOPED_TRACE(path);
            const std::string text = boxNaming(path);
            EXPECT_NE(text.find(notRegular), std::string::npos) << text;
        }
    }

    SysTempDir m_dir;
    ScopedEnv m_registry{"KV_REGISTRY_DIR", m_dir / "config"};
    ScopedEnv m_data{"XDG_DATA_HOME", m_dir / "data"};
    ScopedEnv m_config{"XDG_CONFIG_HOME", m_dir / "config"};
    std::vector<std::string> boxes;
    bool m_running = false;
};

// Every file of the shipped folder, relative to it.
std::vector<std::string> shippedFiles() {
    std::vector<std::string> out;
    for (const auto& entry : fs::recursive_directory_iterator(kShippedFolder))
        if (entry.is_regular_file())
            out.push_back(fs::relative(entry.path(), kShippedFolder).string());
    return out;
}

TEST_F(FileSafetyTest, AFolderFromAnIncompleteInstallGetsTheShippedFilesAndKeepsTheUsers) {
    ASSERT_TRUE(fs::exists(kShippedFolder / "function.txt"));
    ASSERT_TRUE(fs::exists(kShippedFolder / "TeX.cat"));
    ASSERT_TRUE(fs::is_directory(kShippedFolder / "Examples"));
    // An earlier start made the folder with general.prf alone, which the user then changed.
    std::string general = ReadFileBytes((kShippedFolder / "general.prf").string());
    const std::size_t mk = general.find("\nMk");
    ASSERT_NE(mk, std::string::npos);
    general.replace(mk + 3, 2, "%%");
    WriteFileBytes(prefs() + "/general.prf", general);
    // And a translator of the user's own under a shipped name.
    WriteFileBytes(prefs() + "/Text.CAT", "the user's own table");

    startUp();
    EXPECT_TRUE(boxes.empty()) << boxes.front();
    quit();
    for (const std::string& name : shippedFiles()) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(fs::exists(prefs() + "/" + name));
        if (name != "general.prf" && name != "Text.CAT") {
            EXPECT_EQ(ReadFileBytes(prefs() + "/" + name),
                      ReadFileBytes((kShippedFolder / name).string()));
        }
    }
    EXPECT_EQ(ReadFileBytes(prefs() + "/general.prf"), general);
    EXPECT_EQ(ReadFileBytes(prefs() + "/Text.CAT"), "the user's own table");
}

TEST_F(FileSafetyTest, AShippedFileOrFolderTheUserRemovedStaysRemoved) {
    ASSERT_TRUE(fs::is_directory(kShippedFolder / "Examples" / "02_Calculus"));
    const auto removeAndRunTwice = [&] {
        fs::remove(prefs() + "/TeX.cat");
        fs::remove_all(prefs() + "/Examples/02_Calculus");
        for (int run = 0; run < 2; ++run) {
            startUp();
            EXPECT_TRUE(boxes.empty()) << boxes.front();
            quit();
            EXPECT_FALSE(fs::exists(prefs() + "/TeX.cat"));
            EXPECT_FALSE(fs::exists(prefs() + "/Examples/02_Calculus"));
            EXPECT_TRUE(fs::exists(prefs() + "/MathML.cat"));
            EXPECT_TRUE(fs::is_directory(prefs() + "/Examples/01_Algebra"));
        }
    };
    {
        SCOPED_TRACE("a folder the program made");
        startUp();
        quit();
        ASSERT_TRUE(fs::exists(prefs() + "/TeX.cat"));
        removeAndRunTwice();
    }
    {
        // An earlier version kept no record of what it installed: the folder is completed once.
        SCOPED_TRACE("a folder of an earlier version");
        fs::remove_all(prefs());
        fs::create_directories(prefs());
        fs::copy_file(kShippedFolder / "general.prf", prefs() + "/general.prf");
        startUp();
        quit();
        for (const std::string& name : shippedFiles())
            EXPECT_TRUE(fs::exists(prefs() + "/" + name)) << name;
        removeAndRunTwice();
    }
}

TEST_F(FileSafetyTest, LinksPlantedWhereTheRecordOfShippedFilesIsWrittenAreNeverFollowed) {
    // Links in the preferences folder at the names the record is written through (the one older
    // versions used, and the one this process would use) lead to files of the user's.
    fs::create_directories(prefs());
    fs::copy_file(kShippedFolder / "general.prf", prefs() + "/general.prf");
    const std::string victims[] = {m_dir / "victim-new", m_dir / "victim-tmp"};
    const std::string planted[] = {prefs() + "/.installed.new",
                                   prefs() + "/.installed.tmp" + std::to_string(::getpid())};
    for (int i = 0; i < 2; ++i) {
        WriteFileBytes(victims[i], "the user's");
        fs::create_symlink(victims[i], planted[i]);
    }
    startUp();
    quit();
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(ReadFileBytes(victims[i]), "the user's") << planted[i];
        EXPECT_TRUE(fs::is_symlink(planted[i])) << planted[i];
    }
    ASSERT_FALSE(fs::is_symlink(prefs() + "/.installed"));
    ASSERT_TRUE(fs::is_regular_file(prefs() + "/.installed"));
    // The record reads back: a shipped file removed since stays removed.
    fs::remove(prefs() + "/TeX.cat");
    startUp();
    quit();
    EXPECT_FALSE(fs::exists(prefs() + "/TeX.cat"));
    EXPECT_TRUE(fs::exists(prefs() + "/MathML.cat"));
}

TEST_F(FileSafetyTest, FifosAndDevicesMetAtStartUpAreRefusedByName) {
    // A good document, saved by the program.
    const std::string good = m_dir / "good.pvx";
    startUp();
    typedInNewDocument("g");
    pt::answerFileDialog(good);
    ASSERT_EQ(DoMenuCommand(kSaveAs), 1);
    quit();

    // Every file start-up reads, and the settings file, replaced by a FIFO nobody writes to; a
    // FIFO and a device given on the command line before the good document.
    const std::vector<std::string> named{prefs() + "/general.prf", prefs() + "/keys.prf",
                                         prefs() + "/palette.prf", prefs() + "/function.txt"};
    const std::string settings = pt::registryFilePath();
    const std::string fifo = m_dir / "pipe.pvx";
    std::vector<std::string> fifos = named;
    fifos.push_back(settings);
    fifos.push_back(fifo);
    for (const std::string& path : fifos) {
        fs::create_directories(fs::path(path).parent_path());
        fs::remove(path);
        ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0) << path;
    }
    startUp({fifo, "/dev/zero", good});
    // Each is reported by name; the good document after them still opens.
    std::vector<std::string> refused = named;
    refused.insert(refused.end(), {fifo, "/dev/zero"});
    expectRefusedByName(refused);
    EXPECT_NE(pt::lastRegistryDiagnostic().find(settings), std::string::npos);
    ASSERT_EQ(OpenDocumentCount(), 1);
    EXPECT_EQ(OpenDocumentList->filePath(), good);
    // The files are left as they are.
    quit();
    EXPECT_TRUE(fs::is_fifo(settings));
    EXPECT_TRUE(fs::is_fifo(prefs() + "/general.prf"));
}

TEST_F(FileSafetyTest, ACopyWithAFifoInPlaceOfItsTranslatorUsesTheShippedOne) {
    startUp();
    quit();
    const std::string tex = prefs() + "/TeX.cat";
    fs::remove(tex);
    ASSERT_EQ(::mkfifo(tex.c_str(), 0600), 0);
    startUp();
    typedInNewDocument("x");
    EXPECT_EQ(DoMenuCommand(kCopyAsTeXMenu), 1);
    EXPECT_TRUE(boxes.empty()) << boxes.front();
}

TEST_F(FileSafetyTest, AFullDiskIsSaidAndKeepsTheOldFile) {
    // A small file system of its own, mounted where only this test sees it.
    const std::string disk = m_dir / "disk";
    fs::create_directories(disk);
    if (::unshare(CLONE_NEWNS) != 0 ||
        ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=64k") != 0) {
        GTEST_SKIP() << "no right to mount a small file system here";
    }
    struct Unmount {
        std::string path;
        ~Unmount() { ::umount2(path.c_str(), MNT_DETACH); }
    } unmount{disk};
    startUp();
    ExprFilePane* pane = typedInNewDocument("x+y");
    const std::string path = disk + "/kept.pvx";
    pt::answerFileDialog(path);
    ASSERT_EQ(DoMenuCommand(kSaveAs), 1);
    const std::string old = ReadFileBytes(path);
    ASSERT_FALSE(old.empty());
    // The rest of the disk is taken.
    {
        std::FILE* fill = std::fopen((disk + "/filler").c_str(), "wb");
        ASSERT_NE(fill, nullptr);
        const std::string block(4096, 'f');
        while (std::fwrite(block.data(), 1, block.size(), fill) == block.size() &&
               std::fflush(fill) == 0) {
        }
        std::fclose(fill);
    }
    pt::type("abc");
    pt::runUntilIdle();
    ASSERT_TRUE(boxes.empty());
    ASSERT_EQ(DoMenuCommand(kSave), 1);
    EXPECT_EQ(ReadFileBytes(path), old);
    std::vector<std::string> names = FolderNames(disk);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"filler", "kept.pvx"}));
    EXPECT_TRUE(pane->changed());
    ASSERT_EQ(boxes.size(), 1u);
    const std::string full = LoadErrorString(errDiskFull);
    EXPECT_NE(boxes[0].find(full), std::string::npos) << boxes[0];
    EXPECT_EQ(boxes[0].find("Oooops"), std::string::npos) << boxes[0];
}

void killSelf(const char*) {
    ::kill(::getpid(), SIGKILL);
}

// The bytes a save writes before it is ended mid-write: the document's file is longer.
constexpr rlim_t kBytesBeforeTheKill = 64;

// Lets the save write its first bytes, then the system ends it by the signal of a file past the
// size limit.
void killAfterFirstBytes(const char*) {
    // Other tests of this program ignore the signal; a killed save gets it as a user's program
    // does.
    std::signal(SIGXFSZ, SIG_DFL);
    const struct rlimit noCore { 0, 0 };
    ::setrlimit(RLIMIT_CORE, &noCore);
    const struct rlimit bytes { kBytesBeforeTheKill, kBytesBeforeTheKill };
    ::setrlimit(RLIMIT_FSIZE, &bytes);
}

// When a save is killed: once its sibling is made, before the first byte; after its first bytes;
// once it is written whole, just before its rename.
enum class KillAt { kSiblingMade, kMidWrite, kBeforeRename };

// A copy of the program starts later than what is on disk was last changed (file times and process
// starts compare to a clock tick, and a little more).
void waitForALaterStart() {
    ::usleep(250 * 1000);
}

// A change typed into the document in front and saved in a copy of the program (a child process,
// started after what is on disk was last changed) that is killed at `moment`; the child must end
// by the signal.
void SaveKilled(KillAt moment) {
    waitForALaterStart();
    const pid_t child = ::fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        if (moment == KillAt::kBeforeRename)
            SetSaveCommitHookForTesting(&killSelf);
        else
            SetSiblingMadeHookForTesting(moment == KillAt::kSiblingMade ? &killSelf
                                                                        : &killAfterFirstBytes);
        pt::type("x");
        pt::runUntilIdle();
        DoMenuCommand(kSave);
        ::_exit(3);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "status " << status;
    EXPECT_EQ(WTERMSIG(status), moment == KillAt::kMidWrite ? SIGXFSZ : SIGKILL);
}

// A change typed into the document in front and saved whole in a copy of the program started
// later than what is on disk was last changed; `meanwhile` runs once that copy has started, before
// it saves.
void SaveInALaterCopy(const std::function<void()>& meanwhile = {}) {
    waitForALaterStart();
    int go[2];
    ASSERT_EQ(::pipe(go), 0);
    const pid_t child = ::fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        char byte = 0;
        const bool told = ::read(go[0], &byte, 1) == 1;
        pt::type("s");
        pt::runUntilIdle();
        ::_exit(told && DoMenuCommand(kSave) == 1 ? 0 : 3);
    }
    ::close(go[0]);
    waitForALaterStart();
    if (meanwhile)
        meanwhile();
    EXPECT_EQ(::write(go[1], "g", 1), 1);
    ::close(go[1]);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
}

// A folder where the siblings of saves cannot carry their mark: on the test's own disk with marks
// refused, or a ramfs, which keeps no extended attributes, mounted where only this process sees
// it. Not ready, which is logged, when no ramfs can be mounted here. On the way out marks are
// allowed again and the ramfs unmounted.
struct MarklessFolder {
    std::string path;
    bool ramfs;
    bool ready = false;
    MarklessFolder(const fs::path& where, bool onRamfs)
        : path(where)
        , ramfs(onRamfs) {
        fs::create_directories(path);
        ready = !ramfs || (::unshare(CLONE_NEWNS) == 0 &&
                           ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
                           ::mount("ramfs", path.c_str(), "ramfs", 0, nullptr) == 0);
        if (ready)
            SetSiblingMarksUnavailableForTesting(!ramfs);
        else
            GTEST_LOG_(INFO) << "no right to mount a ramfs here";
    }
    ~MarklessFolder() {
        if (ready)
            SetSiblingMarksUnavailableForTesting(false);
        if (ready && ramfs)
            ::umount2(path.c_str(), MNT_DETACH);
    }
};

TEST_F(FileSafetyTest, WithoutExtendedAttributesTheSiblingsOfKilledSavesGoAtTheNextSave) {
    // Where a save's sibling cannot carry its mark (a file system without extended attributes:
    // one made to look so, and a ramfs when one can be mounted here), saves killed at any moment
    // (before the first byte, mid-write, just before the rename) leave their siblings, and the
    // next save of a copy started later removes them; files of the user's with siblings' names
    // stay, also one that took the inode of a removed sibling.
    for (const bool ramfs : {false, true}) {
        SCOPED_TRACE(ramfs ? "ramfs" : "marks refused");
        const MarklessFolder folder(m_dir / (ramfs ? "ramfs" : "disk"), ramfs);
        if (!folder.ready)
            continue;
        const std::string& disk = folder.path;
        startUp();
        // The record is never written through a link planted at its name.
        const std::string victim = m_dir / "victim";
        WriteFileBytes(victim, "the user's");
        fs::create_symlink(victim, prefs() + "/.save-siblings");
        typedInNewDocument("k");
        const std::string path = disk + "/doc.pvx";
        pt::answerFileDialog(path);
        ASSERT_EQ(DoMenuCommand(kSaveAs), 1);
        const std::string saved = ReadFileBytes(path);
        ASSERT_GT(saved.size(), kBytesBeforeTheKill);
        WriteFileBytes(disk + "/doc.5", "mine");
        const auto sortedNames = [&] {
            std::vector<std::string> names = FolderNames(disk);
            std::sort(names.begin(), names.end());
            return names;
        };
        const std::vector<std::string> oneSibling{"doc.0", "doc.5", "doc.pvx"};
        // Saves killed one after the other, each at another moment: each next one removes what
        // the one before left, so one sibling is there at a time.
        const KillAt moments[] = {KillAt::kBeforeRename, KillAt::kSiblingMade,
                                  KillAt::kMidWrite,     KillAt::kMidWrite,
                                  KillAt::kBeforeRename, KillAt::kSiblingMade};
        for (const KillAt moment : moments) {
            SCOPED_TRACE(static_cast<int>(moment));
            ASSERT_NO_FATAL_FAILURE(SaveKilled(moment));
            EXPECT_EQ(sortedNames(), oneSibling);
            const std::uintmax_t size = fs::file_size(disk + "/doc.0");
            if (moment == KillAt::kSiblingMade)
                EXPECT_EQ(size, 0u);
            else if (moment == KillAt::kMidWrite)
                EXPECT_EQ(size, kBytesBeforeTheKill);
            else
                EXPECT_GT(size, kBytesBeforeTheKill);
            EXPECT_EQ(ReadFileBytes(path), saved);
        }
        // The user removes the last one and makes a file of that name, which may well get the
        // freed inode: the next save leaves it alone.
        struct stat before {};
        ASSERT_EQ(::stat((disk + "/doc.0").c_str(), &before), 0);
        fs::remove(disk + "/doc.0");
        WriteFileBytes(disk + "/doc.0", "mine too");
        struct stat after {};
        ASSERT_EQ(::stat((disk + "/doc.0").c_str(), &after), 0);
        if (after.st_ino != before.st_ino)
            GTEST_LOG_(INFO) << "the inode was not reused here";
        pt::type("y");
        pt::runUntilIdle();
        ASSERT_EQ(DoMenuCommand(kSave), 1);
        EXPECT_EQ(sortedNames(), oneSibling);
        EXPECT_EQ(ReadFileBytes(disk + "/doc.0"), "mine too");
        EXPECT_EQ(ReadFileBytes(disk + "/doc.5"), "mine");
        EXPECT_NE(ReadFileBytes(path), saved);
        // The user's file goes; a save killed now before its rename leaves a sibling the next
        // save removes, also one of this copy, which started before it.
        fs::remove(disk + "/doc.0");
        ASSERT_NO_FATAL_FAILURE(SaveKilled(KillAt::kBeforeRename));
        EXPECT_EQ(sortedNames(), oneSibling);
        pt::type("z");
        pt::runUntilIdle();
        ASSERT_EQ(DoMenuCommand(kSave), 1);
        EXPECT_EQ(sortedNames(), (std::vector<std::string>{"doc.5", "doc.pvx"}));
        // One killed mid-write is left by this copy, which may have made that file itself; a
        // copy started later removes it.
        ASSERT_NO_FATAL_FAILURE(SaveKilled(KillAt::kMidWrite));
        pt::type("w");
        pt::runUntilIdle();
        ASSERT_EQ(DoMenuCommand(kSave), 1);
        EXPECT_EQ(sortedNames(), oneSibling);
        ASSERT_NO_FATAL_FAILURE(SaveInALaterCopy());
        EXPECT_EQ(sortedNames(), (std::vector<std::string>{"doc.5", "doc.pvx"}));
        EXPECT_EQ(ReadFileBytes(victim), "the user's");
        EXPECT_TRUE(boxes.empty()) << boxes.front();
        for (const std::string& name : FolderNames(prefs()))
            EXPECT_EQ(name.find(".save-siblings."), std::string::npos) << name;
        quit();
        fs::remove(prefs() + "/.save-siblings");
    }
}

// The birth time of a file as the record of siblings writes it: "seconds.nanoseconds", or "-" where
// the file system keeps none.
std::string birthOf(const std::string& path) {
    struct statx made {};
    if (::statx(AT_FDCWD, path.c_str(), 0, STATX_BTIME, &made) == 0 &&
        (made.stx_mask & STATX_BTIME) != 0)
        return std::to_string(made.stx_btime.tv_sec) + "." + std::to_string(made.stx_btime.tv_nsec);
    return "-";
}

int64_t nanoseconds(const struct timespec& t) {
    return static_cast<int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

// A sibling as a killed save wrote it down: the file at `path` as it is now.
struct WrittenSibling {
    std::string path;
    struct stat st {};
    std::string born;
    explicit WrittenSibling(const std::string& at)
        : path(at)
        , born(birthOf(at)) {
        EXPECT_EQ(::stat(at.c_str(), &st), 0) << at;
    }
    // The entry written once the sibling is whole.
    std::string entry() const {
        return "w " + id() + std::to_string(nanoseconds(st.st_ctim)) + " " +
               std::to_string(st.st_size) + " " + std::to_string(nanoseconds(st.st_mtim)) + " " +
               std::to_string(nanoseconds(st.st_ctim)) + " " + path + "\n";
    }
    // The entry written when the sibling was made, before its first byte, by the process `writer`
    // that started at `start` (clock ticks since the boot `boot`).
    std::string pendingEntry(const std::string& boot, pid_t writer, uint64_t start) const {
        return "p " + boot + " " + std::to_string(writer) + " " + std::to_string(start) + " " +
               id() + std::to_string(nanoseconds(st.st_ctim)) + " " + path + "\n";
    }
    // The entry earlier versions wrote when the sibling was made, a second before this state.
    std::string earlierEntry() const {
        return id() + std::to_string(nanoseconds(st.st_ctim) - 1000000000) + " " + path + "\n";
    }
    std::string id() const {
        return std::to_string(st.st_dev) + " " + std::to_string(st.st_ino) + " " + born + " ";
    }
};

// The boot's id, as the record of siblings names it.
std::string bootId() {
    std::string id = ReadFileBytes("/proc/sys/kernel/random/boot_id");
    while (!id.empty() && id.back() == '\n')
        id.pop_back();
    return id;
}

// When the process `pid` started, in clock ticks since the boot (the 22nd field of its status,
// counted after its name).
uint64_t startOf(pid_t pid) {
    const std::string stat = ReadFileBytes("/proc/" + std::to_string(pid) + "/stat");
    std::string rest = stat.substr(stat.rfind(')') + 2);
    for (int field = 3; field < 22; ++field)
        rest = rest.substr(rest.find(' ') + 1);
    return std::stoull(rest.substr(0, rest.find(' ')));
}

// The id of a process that was and is gone.
pid_t goneProcess() {
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    int status = 0;
    ::waitpid(child, &status, 0);
    return child;
}

TEST_F(FileSafetyTest, ARecordEntryRemovesOnlyTheSiblingInTheStateItWasWrittenIn) {
    // Where siblings cannot carry the mark (made to look so, and a ramfs, which keeps no birth
    // time, when one can be mounted here), the record names each sibling a killed save left.
    // Entries written by hand stand for such saves: only the file still as the sibling was
    // written goes at the next save; a file of the user's that took the sibling's inode, a
    // sibling the user rewrote in place or replaced, and any file matched only by an entry of
    // the earlier form, stay as the user left them.
    for (const bool ramfs : {false, true}) {
        SCOPED_TRACE(ramfs ? "ramfs" : "marks refused");
        const MarklessFolder folder(m_dir / (ramfs ? "ramfs-record" : "disk-record"), ramfs);
        if (!folder.ready)
            continue;
        const std::string& disk = folder.path;
        startUp();
        typedInNewDocument("k");
        const std::string path = disk + "/doc.pvx";
        pt::answerFileDialog(path);
        ASSERT_EQ(DoMenuCommand(kSaveAs), 1);
        const auto sibling = [&](int k) { return disk + "/doc." + std::to_string(k); };
        for (int k = 0; k <= 5; ++k)
            WriteFileBytes(sibling(k), "sibling bytes");
        std::string record;
        // 0: the user's file that took the inode of a removed sibling, which was written a second
        // before it and had another size.
        WriteFileBytes(sibling(0), "the user's own file");
        WrittenSibling removed(sibling(0));
        removed.st.st_size = 13;
        removed.st.st_mtim.tv_sec -= 1;
        removed.st.st_ctim.tv_sec -= 1;
        record += removed.earlierEntry() + removed.entry();
        // 1: a sibling the user rewrote in place afterwards, with as many bytes; 2: one the user
        // replaced by a file of its own; 3: the sibling as it was written, which goes.
        for (int k : {1, 2, 3})
            record +=
                WrittenSibling(sibling(k)).earlierEntry() + WrittenSibling(sibling(k)).entry();
        // 4: as written, but the entry has another birth time: another file.
        WrittenSibling otherBirth(sibling(4));
        otherBirth.born = "12.5";
        record += otherBirth.entry();
        // 5: an entry of the earlier form alone.
        record += WrittenSibling(sibling(5)).earlierEntry();
        // 6 to 13: entries written before the first byte, by a process that is gone (6), this
        // one, still running (7), another process that got this one's id (8), this one on
        // another boot (9); naming another inode (10) or device (11). The sibling the user
        // rewrote in place (12), and a user's file that took the sibling's inode and name (13),
        // once the copy that saves has started.
        for (int k = 6; k <= 13; ++k)
            WriteFileBytes(sibling(k), "sibling bytes");
        const std::string boot = bootId();
        const uint64_t start = startOf(::getpid());
        const pid_t gone = goneProcess();
        record += WrittenSibling(sibling(6)).pendingEntry(boot, gone, start);
        record += WrittenSibling(sibling(7)).pendingEntry(boot, ::getpid(), start);
        record += WrittenSibling(sibling(8)).pendingEntry(boot, ::getpid(), start + 1);
        record += WrittenSibling(sibling(9)).pendingEntry("another-boot", ::getpid(), start);
        WrittenSibling otherInode(sibling(10));
        otherInode.st.st_ino += 1000000;
        record += otherInode.pendingEntry(boot, gone, start);
        WrittenSibling otherDevice(sibling(11));
        otherDevice.st.st_dev += 1;
        record += otherDevice.pendingEntry(boot, gone, start);
        record += WrittenSibling(sibling(12)).pendingEntry(boot, gone, start);
        // 14: an entry of a gone writer whose sibling never got its name, which goes from the
        // record; 15: one of the running process, which stays.
        WrittenSibling neverNamed(sibling(7));
        neverNamed.path = sibling(14);
        neverNamed.st.st_ino += 2000000;
        record += neverNamed.pendingEntry(boot, gone, start);
        neverNamed.path = sibling(15);
        neverNamed.st.st_ino += 1000000;
        record += neverNamed.pendingEntry(boot, ::getpid(), start);
        // The changes come at least a clock tick after the entries.
        ::usleep(20 * 1000);
        {
            std::FILE* f = std::fopen(sibling(1).c_str(), "r+b");
            ASSERT_NE(f, nullptr);
            std::fputs("SIBLING BYTES", f);
            std::fclose(f);
        }
        WriteFileBytes(disk + "/new", "the user's copy");
        fs::rename(disk + "/new", sibling(2));
        WriteFileBytes(prefs() + "/.save-siblings", record);
        std::map<int, std::string> kept = {{0, "the user's own file"},
                                           {1, "SIBLING BYTES"},
                                           {2, "the user's copy"},
                                           {4, "sibling bytes"},
                                           {5, "sibling bytes"}};
        // Files made while this copy runs are left by its saves, whoever wrote them down.
        for (int k = 6; k <= 13; ++k)
            kept[k] = "sibling bytes";
        const auto expectKept = [&] {
            for (int k = 0; k <= 13; ++k) {
                SCOPED_TRACE(sibling(k));
                const auto it = kept.find(k);
                EXPECT_EQ(fs::exists(sibling(k)), it != kept.end());
                if (it != kept.end()) {
                    EXPECT_EQ(ReadFileBytes(sibling(k)), it->second);
                }
            }
            EXPECT_EQ(FolderNames(disk).size(), kept.size() + 1);
        };
        pt::type("y");
        pt::runUntilIdle();
        ASSERT_EQ(DoMenuCommand(kSave), 1);
        EXPECT_TRUE(boxes.empty()) << boxes.front();
        expectKept();
        EXPECT_EQ(ReadFileBytes(prefs() + "/.save-siblings").find(sibling(3)), std::string::npos);
        // A copy started later removes the siblings whose writer is gone, not a file changed
        // after it started.
        ASSERT_NO_FATAL_FAILURE(SaveInALaterCopy([&] {
            {
                std::FILE* f = std::fopen(sibling(12).c_str(), "r+b");
                ASSERT_NE(f, nullptr);
                std::fputs("SIBLING BYTES", f);
                std::fclose(f);
            }
            fs::remove(sibling(13));
            WriteFileBytes(sibling(13), "the user's own file");
            WriteFileBytes(prefs() + "/.save-siblings",
                           ReadFileBytes(prefs() + "/.save-siblings") +
                               WrittenSibling(sibling(13)).pendingEntry(boot, gone, start));
        }));
        for (int k : {6, 8, 9})
            kept.erase(k);
        kept[12] = "SIBLING BYTES";
        kept[13] = "the user's own file";
        expectKept();
        const std::string left = ReadFileBytes(prefs() + "/.save-siblings");
        for (int k : {6, 8, 9, 14})
            EXPECT_EQ(left.find(sibling(k) + "\n"), std::string::npos) << k;
        for (int k : {7, 10, 11, 12, 13, 15})
            EXPECT_NE(left.find(sibling(k) + "\n"), std::string::npos) << k;
        quit();
        fs::remove(prefs() + "/.save-siblings");
    }
}

TEST_F(FileSafetyTest, AKeyMapOfTwentyThousandRecordsLoadsAtStartUp) {
    startUp();
    quit();
    // Records for key indexes 1 to 20,000 of which only those below 2,048 exist.
    constexpr int32_t kRecords = 20000;
    constexpr int32_t kCode = 0x5233;
    oOMemoryStream* out = NewOMemoryStream(0);
    WriteRecordTag(*out, "Ve");
    out->putNumber(1);
    EndRecord(*out);
    for (int32_t i = 1; i <= kRecords; ++i) {
        WriteRecordTag(*out, "Ky");
        out->putNumber(i);
        out->putNumber(kCode);
        EndRecord(*out);
    }
    const std::string keys = prefs() + "/keys.prf";
    WriteFileBytes(keys, out->detachString());
    startUp();
    for (int32_t i = 1; i < kKeyMapSize; ++i)
        ASSERT_EQ(KeyMap[static_cast<size_t>(i)], kCode) << i;
    // One box names the file and the first bad record's line (the version is line 1); the list
    // of problems is cut short.
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].rfind(keys, 0), 0u);
    EXPECT_NE(boxes[0].find("Line 2049: key index 2048 "), std::string::npos);
    EXPECT_LT(boxes[0].size(), 4000u);
    EXPECT_NE(boxes[0].find(std::to_string(kRecords - kKeyMapSize + 1 - kMostKeyProblemsShown)),
              std::string::npos)
        << "the count of the problems not listed";
}

TEST_F(FileSafetyTest, WhatCannotBeOpenedOrSavedIsSaidWithItsRealReason) {
    const std::string folder = m_dir / "folder.pvx";
    const std::string loop = m_dir / "loop.pvx";
    const std::string locked = m_dir / "locked";
    const std::string inLocked = locked + "/doc.pvx";
    const std::string gone = m_dir / "gone";
    fs::create_directories(folder);
    fs::create_symlink("loop2.pvx", loop);
    fs::create_symlink("loop.pvx", m_dir / "loop2.pvx");
    // A document of the user's, writable, in a folder that is then made read-only.
    fs::create_directories(locked);
    startUp();
    typedInNewDocument("y");
    pt::answerFileDialog(inLocked);
    ASSERT_EQ(DoMenuCommand(kSaveAs), 1);
    quit();
    const std::string saved = ReadFileBytes(inLocked);
    fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec);
    enum How { kOpened, kSavedAs, kOpenedAndSaved };
    const struct {
        const char* name;
        How how;
        std::string path;               // the file given
        int code;                       // the message the user gets
        std::vector<std::string> named; // what it names
    } cases[] = {
        {"a folder opened", kOpened, folder, errNotRegularFile, {folder}},
        {"a loop of links opened", kOpened, loop, errFileNotFound, {loop}},
        {"a loop of links saved over", kSavedAs, loop, errFileNotFound, {loop}},
        {"a writable file in a read-only folder",
         kOpenedAndSaved,
         inLocked,
         errFolderNotWritable,
         {inLocked, locked + "/"}},
        {"a save into a folder that does not exist",
         kSavedAs,
         gone + "/doc.pvx",
         errFolderMissing,
         {gone + "/doc.pvx", "\n" + gone + "/"}},
        {"a save into a folder below a missing one",
         kSavedAs,
         gone + "/deeper/doc.pvx",
         errFolderMissing,
         {"\n" + gone + "/deeper/"}},
    };
    HeldToPermissions asAnyUser;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        boxes.clear();
        if (c.how == kSavedAs) {
            startUp();
            typedInNewDocument("x");
            pt::answerFileDialog(c.path);
            DoMenuCommand(kSaveAs);
        } else {
            startUp({c.path});
        }
        if (c.how == kOpenedAndSaved) {
            ASSERT_TRUE(boxes.empty()) << boxes.front();
            pt::type("z");
            pt::runUntilIdle();
            DoMenuCommand(kSave);
        }
        ASSERT_EQ(boxes.size(), 1u);
        const std::string& text = boxes[0];
        EXPECT_EQ(text.rfind(LoadErrorString(c.code), 0), 0u) << text;
        for (const std::string& name : c.named)
            EXPECT_NE(text.find(name), std::string::npos) << text;
        quit();
    }
    // Nothing given was changed.
    EXPECT_TRUE(fs::is_directory(folder));
    EXPECT_TRUE(fs::is_empty(folder));
    EXPECT_EQ(fs::read_symlink(loop), "loop2.pvx");
    EXPECT_EQ(fs::read_symlink(m_dir / "loop2.pvx"), "loop.pvx");
    EXPECT_EQ(ReadFileBytes(inLocked), saved);
    EXPECT_EQ(FolderNames(locked), std::vector<std::string>{"doc.pvx"});
    EXPECT_FALSE(fs::exists(gone));
    fs::permissions(locked, fs::perms::owner_all);
}

// A copy of `text` with the record of `tag` replaced by `record` (tag and fields, no line end).
std::string withRecord(std::string text, const std::string& tag, const std::string& record) {
    const std::size_t at = text.find("\r\n" + tag) + 2;
    const std::size_t end = text.find("\r\n", at);
    return text.replace(at, end - at, record);
}

// A record of numbers as the files write them.
std::string numbers(const std::string& tag, const std::vector<int32_t>& values) {
    std::string out = tag;
    for (int32_t v : values) {
        char digits[8];
        out.append(digits, static_cast<std::size_t>(EncodeCompactNumber(v, digits)));
    }
    return out;
}

TEST_F(FileSafetyTest, PreferenceValuesOutOfRangeAreRefusedAtStartUp) {
    constexpr int32_t kHuge = 0x7FFFFFFF;
    constexpr int32_t kLow = -0x7FFFFFFF - 1;
    const std::string shipped = ReadFileBytes((kShippedFolder / "general.prf").string());
    const struct {
        const char* name;
        std::string text;
        bool refused;
    } cases[] = {
        {"typesetting_values_at_the_top_of_the_range",
         withRecord(withRecord(shipped, "Rf", numbers("Rf", {16, 20, 6, -6, 16, 2})), "Mk",
                    numbers("Mk", {16, 1})),
         false},
        {"huge_typesetting_values",
         withRecord(
             withRecord(withRecord(shipped, "Rf", numbers("Rf", std::vector<int32_t>(6, kHuge))),
                        "Sc", numbers("Sc", std::vector<int32_t>(6, kHuge))),
             "In", numbers("In", std::vector<int32_t>(7, kHuge))),
         true},
        {"window_places_off_every_screen",
         withRecord(withRecord(shipped, "Pw", numbers("Pw", {1, kHuge, kLow})), "Nw",
                    numbers("Nw", {kHuge, kHuge, kLow, kLow})),
         true},
        {"a_window_place_that_is_no_rectangle",
         withRecord(shipped, "Nw", numbers("Nw", {400, 400, 5, 170})), true},
        {"a_zero_magnification", withRecord(shipped, "Mr", numbers("Mr", {72, 0})), true},
    };
    startUp();
    quit();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFileBytes(prefs() + "/general.prf", c.text);
        boxes.clear();
        startUp();
        if (c.refused) {
            // Reported once, by name; every refused record keeps its default.
            ASSERT_EQ(boxes.size(), 1u);
            EXPECT_NE(boxes[0].find(prefs() + "/general.prf"), std::string::npos) << boxes[0];
            EXPECT_EQ(TypesettingSettings.fractionBarThickness, 4);
            EXPECT_EQ(TypesettingSettings.scriptSize, 2);
            EXPECT_EQ(IntegralSettings.defaultHeight, 16);
            EXPECT_EQ(NewWindowPlace().x, 5);
            EXPECT_EQ(NewWindowPlace().y, 170);
            EXPECT_EQ(GeneralPrefValue("Pw", 1), 8);
            EXPECT_EQ(GeneralPrefValue("Mr", 1), 300);
        } else {
            EXPECT_TRUE(boxes.empty()) << boxes.front();
            EXPECT_EQ(TypesettingSettings.fractionBarThickness, 16);
            EXPECT_EQ(RootSettings.indexSize, -6);
            EXPECT_EQ(EmbellishmentSettings.dotWeight, 16);
        }
        quit();
        // The file is left as the user had it.
        EXPECT_EQ(ReadFileBytes(prefs() + "/general.prf"), c.text);
    }
}

TEST_F(FileSafetyTest, StartAndQuitWriteNoPreferenceAndARewriteKeepsUnknownRecords) {
    startUp();
    quit();
    // Records of a later version, one with a continuation line and one behind the comment
    // prefix, after the program's own.
    const std::string later = "Zq!\"#\r\nZz some text\r\n\tmore of it\r\n%%Zy commented\r\n";
    const std::string general = ReadFileBytes(prefs() + "/general.prf") + later;
    WriteFileBytes(prefs() + "/general.prf", general);
    for (int run = 0; run < 2; ++run) {
        startUp();
        quit();
        EXPECT_EQ(ReadFileBytes(prefs() + "/general.prf"), general) << "run " << run;
    }
    // A changed setting rewrites the file with the records it does not know.
    startUp();
    pt::onDialog(kImageMarginsDialogId, [](pt::DialogDriver& d) {
        d.setText(kMarginLeftItem, "7");
        d.click(plat::IDOK);
    });
    EXPECT_EQ(DoMenuCommand(kImageMarginsMenuId), 1);
    quit();
    const std::string rewritten = ReadFileBytes(prefs() + "/general.prf");
    EXPECT_NE(rewritten, general);
    EXPECT_NE(rewritten.find(later), std::string::npos) << rewritten;
    startUp();
    EXPECT_TRUE(boxes.empty()) << boxes.front();
    EXPECT_EQ(GeneralPrefValue("Bd", 0), 7);
    quit();
    EXPECT_EQ(ReadFileBytes(prefs() + "/general.prf"), rewritten);
}

} // namespace
} // namespace kvtest
