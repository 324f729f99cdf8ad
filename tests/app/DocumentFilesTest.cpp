// Saving and reopening documents in the running program: File > "Enregistrer sous..." writes the
// document lines, closing and opening gives back the same tree in the same place, the save question
// saves and closes, Quit asks for each changed document, a save that fails keeps the old file and
// says why, and damaged files open nothing.

#include "App/FrameWindow.h"
#include "App/MenuDispatch.h"
#include "App/MessageLoop.h"
#include "App/SingleInstance.h"
#include "ExprSrcs/ExprFilePane.h"
#include "ExprSrcs/documents/Documents.h"
#include "OverPc/PERROR.h"
#include "OverPc/PEXPRPICT.h"
#include "OverPc/PFILE.h"
#include "OverPc/Presourc.h"
#include "OverPc/commands/kPrefs.h"
#include "OverPc/documents/Exports.h"
#include "OverPc/shell/CQVApp.h"
#include "OverPc/shell/PMENU.h"
#include "OverPc/shell/Pwindow.h"
#include "OverSrcs/documents/DocLines.h"
#include "OverSrcs/eEditSupport.h"
#include "OverSrcs/eFraction.h"
#include "OverSrcs/eSimpString.h"
#include "OverSrcs/etEncode.h"
#include "OverSrcs/oStreams.h"
#include "app/AppDocumentFixture.h"
#include "app/TreeText.h"
#include "plat/CommonDialogs.h"
#include "plat/Files.h"
#include "plat/Font.h"
#include "plat/Input.h"
#include "plat/Menu.h"
#include "plat/System.h"
#include "plat/Testing.h"
#include "plat/TestingSys.h"
#include "plat/Window.h"
#include "platform/SysTempDir.h"
#include "support/CodePageScope.h"

#include <algorithm>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <optional>
#include <poll.h>
#include <string>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kvtest {
namespace {

namespace pt = plat::testing;

constexpr int kClose = 259;
constexpr int kOpen = 258;
constexpr int kSave = 263;
constexpr int kSaveAs = 264;
constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;
constexpr int kIdYes = 6;
constexpr int kIdNo = 7;

using DocumentFilesTest = AppDocumentFixture;

// The next message box answered OK, its text added to `shown`.
void AnswerNextBox(std::vector<std::string>& shown) {
    pt::onMessageBox([&shown](const pt::MessageBoxCall& box) {
        shown.push_back(box.text);
        return kIdOk;
    });
}

// A second copy of the program started with `files` on the single-instance socket: it hands them
// over and ends; this copy opens them when its loop next runs.
void HandOver(const std::string& socket, const std::vector<std::string>& files) {
    SingleInstance second(socket);
    std::string diagnostic;
    ASSERT_EQ(second.start(files, FileOpenMessage(), diagnostic),
              SingleInstance::Outcome::HandedOff)
        << diagnostic;
}

std::string windowTitle(ExprFilePane* pane) {
    char text[256] = {};
    plat::GetWindowText(HandleOfWindow(pane->window()->windowHandle()), text, sizeof text);
    return text;
}

std::string windowsMenuText(ExprFilePane* pane) {
    char text[256] = {};
    plat::GetMenuString(CQVApp::instance().m_MenuBar,
                        static_cast<plat::UINT>(pane->windowMenuItem()), text, sizeof text,
                        plat::MF_BYCOMMAND);
    return text;
}

// The tree a document file holds, read as the program reads it.
ExprPtr treeInFile(const std::string& path) {
    const std::string bytes = ReadFileBytes(path);
    return ReadDocumentLinesFromMemory(bytes.data(), static_cast<uint32_t>(bytes.size()))
        .expression;
}

void answerBox(int answer, std::string* text = nullptr) {
    pt::onMessageBox([answer, text](const pt::MessageBoxCall& box) {
        if (text != nullptr)
            *text = box.text;
        return answer;
    });
}

TEST_F(DocumentFilesTest, SaveAsCloseAndOpenGiveTheSameTreeInTheSamePlace) {
    ExprFilePane* pane = typed("a+b=");
    // A fraction in it, so that the tree has structure beyond the typed row.
    DoCommand(0x4000 + kFractionVertical, 0);
    pt::type("1");
    pt::runUntilIdle();
    ASSERT_TRUE(pane->changed());
    const ExprPtr typedTree = pane->expression()->deepCopy();
    const Zone place = pane->window()->currentPlacement();
    const std::string path = m_dir / "eq.pvx";
    // With a document in front, Save and Close are offered.
    for (plat::UINT id : {kSave, kClose})
        EXPECT_EQ(plat::GetMenuState(CQVApp::instance().m_MenuBar, id, plat::MF_BYCOMMAND) &
                      plat::MF_GRAYED,
                  0u)
            << id;

    pt::answerFileDialog(path);
    ASSERT_EQ(DoMenuCommand(kSaveAs), 1);
    pt::runUntilIdle();
    EXPECT_TRUE(pt::messageBoxes().empty());
    EXPECT_FALSE(pane->changed());
    EXPECT_EQ(pane->filePath(), path);
    EXPECT_EQ(windowTitle(pane), "eq.pvx");
    EXPECT_EQ(windowsMenuText(pane), "eq.pvx");
    char item[64] = {};
    plat::GetMenuString(CQVApp::instance().m_MenuBar, kSave, item, sizeof item, plat::MF_BYCOMMAND);
    EXPECT_STREQ(item, "&Enregistrer (PVX)");
    ASSERT_TRUE(std::filesystem::exists(path));
    const std::string bytes = ReadFileBytes(path);
    EXPECT_EQ(bytes.substr(0, 6), "%%Ve!\r");
    EXPECT_NE(bytes.find("\r\n%%Wz"), std::string::npos);
    EXPECT_NE(bytes.find("\r\n%%Fl"), std::string::npos);
    EXPECT_NE(bytes.find("\r\n%%Ex"), std::string::npos);

    // Unchanged: Close asks nothing.
    const int32_t before = OpenDocumentCount();
    ASSERT_EQ(DoMenuCommand(kClose), 1);
    pt::runUntilIdle();
    EXPECT_EQ(OpenDocumentCount(), before - 1);
    EXPECT_TRUE(takeBackQuit()) << "the last document window went";

    pt::answerFileDialog(path);
    ASSERT_EQ(DoMenuCommand(kOpen), 1);
    pt::runUntilIdle();
    ExprFilePane* opened = OpenDocumentList;
    ASSERT_NE(opened, nullptr);
    EXPECT_TRUE(opened->expression()->equal(typedTree.get(), 0));
    EXPECT_EQ(opened->window()->currentPlacement(), place);
    EXPECT_EQ(opened->fileName(), "eq.pvx");
    EXPECT_FALSE(opened->changed());
    EXPECT_TRUE(pt::messageBoxes().empty());

    // Saved as stationery: the template is written, the document keeps its name and its changes,
    // and the template opens as a new untitled document.
    pt::type("s");
    pt::runUntilIdle();
    pt::answerFileDialog(m_dir / "form.est");
    ASSERT_EQ(DoMenuCommand(kSaveAs), 1);
    EXPECT_TRUE(opened->changed());
    EXPECT_EQ(opened->filePath(), path);
    ASSERT_EQ(CatchFail([&] { OpenDocumentWindow((m_dir / "form.est").c_str(), 'E'); }), 0);
    EXPECT_TRUE(OpenDocumentList->filePath().empty());
    EXPECT_TRUE(OpenDocumentList->expression()->equal(opened->expression(), 0));
    opened->takeFocus();
    pt::runUntilIdle();

    // Save (not as) goes to the same file without asking.
    pt::type("d");
    pt::runUntilIdle();
    ASSERT_TRUE(opened->changed());
    ASSERT_EQ(DoMenuCommand(kSave), 1);
    EXPECT_FALSE(opened->changed());
    EXPECT_TRUE(treeInFile(path)->equal(opened->expression(), 0));

    // Ctrl+S, through the main loop's key filter, saves as well.
    pt::type("e");
    pt::runUntilIdle();
    ASSERT_TRUE(opened->changed());
    pt::key('S', pt::kCtrl);
    int exitCode = 0;
    EXPECT_FALSE(RunPendingMessages(exitCode));
    EXPECT_FALSE(opened->changed());
    EXPECT_TRUE(treeInFile(path)->equal(opened->expression(), 0));
    EXPECT_TRUE(pt::messageBoxes().empty());
}

TEST_F(DocumentFilesTest, YesInTheSaveQuestionSavesAndCloses) {
    // An untitled document asks for a name, saves and closes.
    ExprFilePane* pane = typed("k");
    const ExprPtr tree = pane->expression()->deepCopy();
    const std::string untitledPath = m_dir / "first.pvx";
    answerBox(kIdYes);
    pt::answerFileDialog(untitledPath);
    const int32_t count = OpenDocumentCount();
    ASSERT_EQ(DoMenuCommand(kClose), 1);
    pt::runUntilIdle();
    EXPECT_EQ(OpenDocumentCount(), count - 1);
    takeBackQuit();
    ASSERT_TRUE(std::filesystem::exists(untitledPath));
    EXPECT_TRUE(treeInFile(untitledPath)->equal(tree.get(), 0));

    // A saved document saves to its file and closes; Cancel in the file dialog keeps the window.
    ExprFilePane* second = typed("m");
    answerBox(kIdYes);
    pt::answerFileDialogCancel();
    ASSERT_EQ(DoMenuCommand(kClose), 1);
    EXPECT_EQ(OpenDocumentList, second);
    EXPECT_TRUE(second->changed());
    pt::answerFileDialog(m_dir / "second.pvx");
    ASSERT_EQ(DoMenuCommand(kSaveAs), 1);
    pt::type("n");
    pt::runUntilIdle();
    const ExprPtr edited = second->expression()->deepCopy();
    answerBox(kIdYes);
    ASSERT_EQ(DoMenuCommand(kClose), 1);
    pt::runUntilIdle();
    EXPECT_EQ(OpenDocumentCount(), count - 1);
    EXPECT_TRUE(treeInFile(m_dir / "second.pvx")->equal(edited.get(), 0));
    EXPECT_EQ(pt::messageBoxes().size(), 3u);
}

TEST_F(DocumentFilesTest, QuitAsksForEachChangedDocument) {
    // A new document takes the save type of the preferences.
    SetGeneralPrefValue("Sa", 0, 3);
    EXPECT_EQ(typed("a")->saveType(), 3);
    SetGeneralPrefValue("Sa", 0, 1);
    typed("b");
    const int32_t count = OpenDocumentCount();
    // Cancel at the first question: nothing closes.
    answerBox(kIdCancel);
    QuitCommand();
    pt::runUntilIdle();
    EXPECT_EQ(OpenDocumentCount(), count);
    EXPECT_EQ(pt::messageBoxes().size(), 1u);
    // No twice: both close.
    answerBox(kIdNo);
    answerBox(kIdNo);
    QuitCommand();
    EXPECT_EQ(pt::messageBoxes().size(), 3u);
    EXPECT_EQ(OpenDocumentCount(), 0);
}

TEST_F(DocumentFilesTest, AFailedSaveKeepsTheOldFileAndSaysWhy) {
    const std::string folder = m_dir / "docs";
    std::filesystem::create_directories(folder);
    const std::string path = folder + "/kept.pvx";
    ExprFilePane* pane = typed("x");
    pt::answerFileDialog(path);
    ASSERT_EQ(DoMenuCommand(kSaveAs), 1);
    const std::string old = ReadFileBytes(path);
    ASSERT_FALSE(old.empty());
    // Enough typing that the new file is larger than the disk allows.
    for (int i = 0; i < 30; ++i)
        pt::type("abcdefghij");
    pt::runUntilIdle();
    ASSERT_TRUE(pane->changed());

    // A full disk: the file-size limit refuses the new bytes part way.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit previous{};
    ::getrlimit(RLIMIT_FSIZE, &previous);
    rlimit small = previous;
    small.rlim_cur = old.size() + 16;
    ::setrlimit(RLIMIT_FSIZE, &small);
    std::string shown;
    answerBox(kIdOk, &shown);
    ASSERT_EQ(DoMenuCommand(kSave), 1);
    ::setrlimit(RLIMIT_FSIZE, &previous);
    EXPECT_EQ(ReadFileBytes(path), old);
    EXPECT_EQ(FolderNames(folder), std::vector<std::string>{"kept.pvx"});
    EXPECT_TRUE(pane->changed());
    EXPECT_NE(shown.find("large"), std::string::npos) << shown;
    // The new file cannot even be made (here no file descriptor is left; a read-only folder does
    // the same): the message names the chosen file, not the sibling, with the reason.
    rlimit files{};
    ::getrlimit(RLIMIT_NOFILE, &files);
    rlimit none = files;
    none.rlim_cur = 0;
    ::setrlimit(RLIMIT_NOFILE, &none);
    answerBox(kIdOk, &shown);
    ASSERT_EQ(DoMenuCommand(kSave), 1);
    ::setrlimit(RLIMIT_NOFILE, &files);
    EXPECT_EQ(ReadFileBytes(path), old);
    EXPECT_EQ(FolderNames(folder), std::vector<std::string>{"kept.pvx"});
    EXPECT_NE(shown.find("kept.pvx ("), std::string::npos) << shown;

    // The folder is gone: the close question's Yes reports it and keeps the window.
    const std::string gone = m_dir / "gone";
    std::filesystem::create_directories(gone);
    pt::answerFileDialog(gone + "/doc.pvx");
    ASSERT_EQ(DoMenuCommand(kSaveAs), 1);
    pt::type("y");
    pt::runUntilIdle();
    std::filesystem::remove_all(gone);
    answerBox(kIdYes);
    answerBox(kIdOk, &shown);
    ASSERT_EQ(DoMenuCommand(kClose), 1);
    pt::runUntilIdle();
    EXPECT_EQ(OpenDocumentList, pane);
    EXPECT_TRUE(pane->changed());
    EXPECT_NE(shown.find("doc"), std::string::npos) << shown;
    EXPECT_EQ(pt::messageBoxes().size(), 4u);
    // A name of a type the program does not write gets the document's extension; with a file of
    // that name already there, a box says it would be replaced; Annuler there brings the dialog
    // back (cancelled here) and nothing is replaced.
    pt::answerFileDialog(folder + "/kept.abc");
    answerBox(kIdCancel, &shown);
    pt::answerFileDialogCancel();
    ASSERT_EQ(DoMenuCommand(kSaveAs), 1);
    EXPECT_NE(shown.find("kept.pvx"), std::string::npos) << shown;
    EXPECT_EQ(ReadFileBytes(path), old);
    EXPECT_EQ(FolderNames(folder), std::vector<std::string>{"kept.pvx"});
    EXPECT_TRUE(pane->changed());
}

std::string N(int32_t v) {
    char text[8];
    return std::string(text, static_cast<size_t>(EncodeCompactNumber(v, text)));
}

// Where the frame lets a document window lie: its client area above the status bar.
Zone frameDocumentArea() {
    const plat::HWND frame = CQVApp::instance().m_MainFrame;
    plat::RECT client{};
    plat::GetClientRect(frame, &client);
    Zone area{0, 0, client.right, client.bottom, 0, 0};
    plat::RECT bar{};
    if (plat::GetWindowRect(CQVApp::instance().m_StatusBar, &bar) && bar.bottom > bar.top) {
        plat::POINT top{bar.left, bar.top};
        plat::ScreenToClient(frame, &top);
        area.bottom = std::min<int32_t>(area.bottom, top.y);
    }
    return area;
}

// The window rectangle a document file holds, as read back.
std::optional<Zone> windowZoneInFile(const std::string& path) {
    const std::string bytes = ReadFileBytes(path);
    return ReadDocumentLinesFromMemory(bytes.data(), static_cast<uint32_t>(bytes.size()))
        .windowZone;
}

// Hand-written document lines open as written, bare and inside PostScript, and the window goes
// where the file says when that lies in the frame. A stored place or size that does not fit (from
// a larger screen, off to the left, or too wide, as a wide expression without a stored place asks
// for) is moved into the frame's client area first and shrunk only where it still sticks out, so
// the window's caption, close box and scroll bars can be reached. Opening leaves the file as it
// was; a save without moving the window writes the file's own rectangle back, and after the user
// moves it, the new one.
TEST_F(DocumentFilesTest, HandWrittenAndPostScriptWrappedLinesOpenWithTheirWindowInsideTheFrame) {
    OwnedNode<eSimpString> row = NewSimpString(1);
    row->setChild(0, ExprPtr(NewFraction(TextToRow("p", 0), TextToRow("q", 0)).release()));
    const ExprPtr tree(row.release());
    // A row of fractions wider than any frame.
    constexpr int32_t kWideCount = 120;
    OwnedNode<eSimpString> wideRow = NewSimpString(kWideCount);
    for (int32_t i = 0; i < kWideCount; ++i)
        wideRow->setChild(i, ExprPtr(NewFraction(TextToRow("xy", 0), TextToRow("z", 0)).release()));
    const ExprPtr wide(wideRow.release());
    const Zone area = frameDocumentArea();
    ASSERT_GT(area.width(), 400);
    ASSERT_GT(area.height(), 300);
    const int32_t W = area.width(), H = area.height();
    const auto linesFor = [](const eExpr* expression, const std::optional<Zone>& zone) {
        std::string lines = "%%Ve" + N(1);
        if (zone)
            lines += "\r\n%%Wz" + N(zone->left) + N(zone->top) + N(zone->right) + N(zone->bottom);
        return lines + "\r\n%%Fl" + N(1) + N(0) + N(0) + N(0) + "\r\n%%Ex" +
               ExprEncodingText(expression, "\n%%\t") + "\r\n";
    };
    const Zone hand{30, 40, 330, 240, 0, 0};
    const std::string eps =
        "%!PS-Adobe-3.0 EPSF-3.0\r\n%%BoundingBox: 0 0 20 30\r\n%%Creator: x\r\n"
        "0 0 moveto (p) show\r\n%%Trailer\r\n" +
        linesFor(tree.get(), hand) + "%%EOF\r\n";
    const Zone inside{W - 300, H - 200, W, H, 0, 0};
    const struct {
        const char* name;
        std::optional<Zone> stored; // the document lines' own rectangle (.pvx and .eps)
        std::optional<Zone> placed; // where the window must be; none: anywhere inside the frame
        bool wideExpression = false;
        bool eps = false;
    } cases[] = {
        {"hand.pvx", hand, hand},
        {"old.exp", std::nullopt, std::nullopt},
        {"export.eps", hand, hand, false, true},
        // Off to the left and top: moved in, its size kept.
        {"lefttop.pvx", Zone{-40, -30, 260, 170, 0, 0}, Zone{0, 0, 300, 200, 0, 0}},
        {"left.pvx", Zone{-1, 50, 299, 250, 0, 0}, Zone{0, 50, 300, 250, 0, 0}},
        // Partly off the right and bottom: moved back in.
        {"rightbottom.pvx", Zone{W - 100, H - 50, W + 200, H + 150, 0, 0}, inside},
        // At the edge it stays; one pixel less stays; one pixel past moves back by that pixel.
        {"atedge.pvx", inside, inside},
        {"oneless.pvx", Zone{W - 301, H - 201, W - 1, H - 1, 0, 0},
         Zone{W - 301, H - 201, W - 1, H - 1, 0, 0}},
        {"onemore.pvx", Zone{W - 299, H - 199, W + 1, H + 1, 0, 0}, inside},
        // The whole frame: kept; one pixel wider and taller than the frame: shrunk to it.
        {"whole.pvx", area, area},
        {"onebigger.pvx", Zone{0, 0, W + 1, H + 1, 0, 0}, area},
        {"widebutplaced.pvx", Zone{-50, 20, W + 50, 220, 0, 0}, Zone{0, 20, W, 220, 0, 0}},
        // Ten times the frame (a larger screen): shrunk to the frame; far off: brought back.
        {"tentimes.pvx", Zone{0, 0, 10 * W, 10 * H, 0, 0}, area},
        {"tentimesoff.pvx", Zone{-10 * W, -10 * H, 10 * W, 10 * H, 0, 0}, area},
        {"faroff.pvx", Zone{10 * W, 10 * H, 10 * W + 300, 10 * H + 200, 0, 0}, inside},
        // Too small to show the caption and the scroll bars: grown to what they need.
        {"tiny.pvx", Zone{10, 10, 20, 20, 0, 0}, Zone{10, 10, 122, 84, 0, 0}},
        // No stored place, and an expression wider than the frame (the 25 MB document's shape):
        // the window asked for is cut at the frame's right edge.
        {"wide.pvx", std::nullopt, std::nullopt, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const eExpr* expression = c.wideExpression ? wide.get() : tree.get();
        const std::string path = m_dir / c.name;
        const bool bare = std::string_view(c.name).ends_with(".exp");
        const std::string bytes = c.eps  ? eps
                                  : bare ? ExprEncodingText(expression, "\n%%\t")
                                         : linesFor(expression, c.stored);
        WriteFileBytes(path, bytes);
        ASSERT_EQ(
            CatchFail([&] { OpenDocumentWindow(path.c_str(), FileTypeOfPath(path.c_str())); }), 0);
        pt::runUntilIdle();
        ExprFilePane* pane = OpenDocumentList;
        ASSERT_NE(pane, nullptr);
        EXPECT_TRUE(pane->expression()->equal(expression, 0));
        const Zone placement = pane->window()->currentPlacement();
        plat::RECT real{};
        plat::GetWindowRect(HandleOfWindow(pane->window()->windowHandle()), &real);
        EXPECT_EQ(real.right - real.left, placement.width());
        EXPECT_EQ(real.bottom - real.top, placement.height());
        EXPECT_TRUE(ZoneContainsZone(area, placement))
            << placement.left << "," << placement.top << "," << placement.right << ","
            << placement.bottom << " in " << W << "x" << H;
        if (c.placed) {
            EXPECT_EQ(placement, *c.placed);
        }
        if (c.wideExpression) {
            EXPECT_EQ(placement.right, area.right);
        }
        if (c.stored) {
            EXPECT_EQ(pane->record().m_options[0], 1);
        }
        EXPECT_EQ(ReadFileBytes(path), bytes) << "opening changed the file";
        if (!std::string_view(c.name).ends_with(".pvx"))
            continue;

        // Saved where the window was put: the file keeps its own rectangle (or, with none, gets
        // the window's); saved after the user moved the window: the window's.
        ASSERT_TRUE(pane->save());
        EXPECT_EQ(windowZoneInFile(path), c.stored.value_or(placement));
        plat::SetWindowPos(HandleOfWindow(pane->window()->windowHandle()), nullptr, 1, 2, 0, 0,
                           plat::SWP_NOSIZE | plat::SWP_NOZORDER | plat::SWP_NOACTIVATE);
        ASSERT_TRUE(pane->save());
        EXPECT_EQ(windowZoneInFile(path),
                  (Zone{1, 2, 1 + placement.width(), 2 + placement.height(), 0, 0}));
        EXPECT_TRUE(pane->expression()->equal(treeInFile(path).get(), 0));
    }
}

// A termination signal stops a long save at once, so that the loop can end the program in order
// within the signal's grace: the file on disk stays as it was and the document stays changed.
// Once the signal is served, saving works again.
int s_servedSignal = 0;

TEST_F(DocumentFilesTest, ATerminationSignalStopsALongSaveAndKeepsTheFile) {
    const std::string path = m_dir / "long.pvx";
    ExprFilePane* pane = typed("a");
    pt::answerFileDialog(path);
    ASSERT_EQ(DoMenuCommand(kSaveAs), 1);
    pt::runUntilIdle();
    const std::string before = ReadFileBytes(path);
    std::string longRow;
    for (int i = 0; i < 150; ++i)
        longRow += "+b_2";
    pt::type(longRow);
    pt::runUntilIdle();
    ASSERT_TRUE(pane->changed());

    s_servedSignal = 0;
    plat::SetTerminationSignalHandler([](int signal) { s_servedSignal = signal; });
    std::raise(SIGTERM);
    // The test serves the signal itself, however slow the machine: no grace timer.
    plat::testing::stopTerminationGrace();
    // The stopped save says so, as one the user stops does (in the program the alert's own loop
    // serves the signal and ends it).
    std::string said;
    answerBox(kIdOk, &said);
    DoMenuCommand(kSave);
    EXPECT_NE(said.find("Interruption"), std::string::npos) << said;
    EXPECT_EQ(ReadFileBytes(path), before);
    EXPECT_TRUE(pane->changed());
    pt::runUntilIdle();
    EXPECT_EQ(s_servedSignal, SIGTERM);
    plat::SetTerminationSignalHandler(nullptr);

    ASSERT_EQ(DoMenuCommand(kSave), 1);
    pt::runUntilIdle();
    EXPECT_FALSE(pane->changed());
    EXPECT_NE(ReadFileBytes(path), before);
}

// Files another program makes in the recovery folder, with what each holds.
std::map<std::string, std::string> s_othersFiles;

// Another program makes the file `path` if nothing stands there yet.
void makeOthersFile(const std::string& path) {
    const int fd = ::open(plat::NativePath(path).c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    if (fd < 0)
        return;
    const std::string bytes = "another program's file " + std::to_string(s_othersFiles.size());
    EXPECT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    ::close(fd);
    s_othersFiles[path] = bytes;
}

TEST_F(DocumentFilesTest, ASignalKeepsEachChangedDocumentInTheRecoveredFolder) {
    // Two changed documents of the same name from two folders, one whose name holds a control
    // character, and one unchanged.
    std::filesystem::create_directories(m_dir / "one");
    std::filesystem::create_directories(m_dir / "two");
    const struct {
        std::string path;
        const char* text;
        bool change;
        const char* kept; // the recovered file's name starts with this
    } docs[] = {
        {m_dir / "one/eq.pvx", "a", true, "eq "},
        {m_dir / "two/eq.pvx", "b", true, "eq "},
        {m_dir / "odd\x01name.pvx", "c", true, "oddname "},
        {m_dir / "same.pvx", "d", false, nullptr},
    };
    std::vector<ExprPtr> trees;
    for (const auto& doc : docs) {
        ExprFilePane* pane = typed(doc.text);
        pt::answerFileDialog(doc.path);
        ASSERT_EQ(DoMenuCommand(kSaveAs), 1);
        pt::runUntilIdle();
        ASSERT_FALSE(pane->changed());
        if (doc.change) {
            pt::type("+z");
            pt::runUntilIdle();
            ASSERT_TRUE(pane->changed());
        }
        trees.push_back(pane->expression()->deepCopy());
    }
    const std::string firstFile = ReadFileBytes(docs[0].path);
    // At the moment each name is chosen, another program makes files there: under that very name
    // and under the next counter's. The recovery takes other names and replaces none of them.
    s_othersFiles.clear();
    RecoveryNameChosenHook = [](const std::string& path) {
        makeOthersFile(path);
        makeOthersFile(path.substr(0, path.size() - 4) + " (2).pvx");
    };
    ::testing::internal::CaptureStderr();
    AppHooks().endWithoutQuestions(SIGTERM);
    const std::string said = ::testing::internal::GetCapturedStderr();
    RecoveryNameChosenHook = nullptr;

    const std::string folder = PrefsFolderPath() + "Recovered";
    for (const auto& [path, bytes] : s_othersFiles)
        EXPECT_EQ(ReadFileBytes(path), bytes) << path;
    std::vector<std::string> names = FolderNames(folder);
    ASSERT_EQ(names.size(), 3u + s_othersFiles.size()) << said;
    std::vector<bool> found(std::size(docs), false);
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        if (s_othersFiles.count(folder + "/" + name) != 0)
            continue;
        EXPECT_TRUE(name.ends_with(".pvx"));
        EXPECT_NE(said.find("kept in " + folder + "/" + name + "\n"), std::string::npos) << said;
        const ExprPtr tree = treeInFile(folder + "/" + name);
        ASSERT_NE(tree, nullptr);
        for (size_t i = 0; i < std::size(docs); ++i)
            if (!found[i] && docs[i].change && name.starts_with(docs[i].kept) &&
                tree->equal(trees[i].get(), 0)) {
                found[i] = true;
                break;
            }
    }
    for (size_t i = 0; i < std::size(docs); ++i)
        EXPECT_EQ(found[i], docs[i].change) << docs[i].path;
    // The documents themselves are as they were: still changed, their files untouched.
    for (ExprFilePane* pane = OpenDocumentList; pane != nullptr; pane = pane->nextDocument()) {
        if (pane->filePath() != docs[3].path) {
            EXPECT_TRUE(pane->changed()) << pane->filePath();
        }
    }
    EXPECT_EQ(ReadFileBytes(docs[0].path), firstFile);

    // A recovery that fails (here in every place it tries) leaves nothing of its own in the
    // folder, but a file another program put in its place meanwhile stays.
    std::filesystem::create_directories(m_dir / "home");
    const ScopedEnv home("HOME", m_dir / "home");
    const ScopedEnv temp("TMPDIR", m_dir / "home");
    for (const bool othersFileInstead : {false, true}) {
        SCOPED_TRACE(othersFileInstead);
        s_othersFiles.clear();
        if (othersFileInstead)
            RecoveryNameChosenHook = [](const std::string& path) {
                std::filesystem::remove(plat::NativePath(path));
                makeOthersFile(path);
                Fail(errDiskFull);
            };
        else
            RecoveryNameChosenHook = [](const std::string&) { Fail(errDiskFull); };
        ::testing::internal::CaptureStderr();
        AppHooks().endWithoutQuestions(SIGTERM);
        const std::string failed = ::testing::internal::GetCapturedStderr();
        RecoveryNameChosenHook = nullptr;
        EXPECT_NE(failed.find("could not be kept"), std::string::npos) << failed;
        std::vector<std::string> after = names;
        for (const auto& [path, bytes] : s_othersFiles) {
            EXPECT_EQ(ReadFileBytes(path), bytes) << path;
            if (std::filesystem::path(path).parent_path() == folder)
                after.push_back(std::filesystem::path(path).filename().string());
        }
        names = FolderNames(folder);
        std::sort(after.begin(), after.end());
        std::sort(names.begin(), names.end());
        EXPECT_EQ(names, after) << failed;
    }
    // The program ends after this: the test closes the documents without their questions.
    for (ExprFilePane* pane = OpenDocumentList; pane != nullptr; pane = pane->nextDocument())
        pane->setChanged(false);
}

TEST_F(DocumentFilesTest, EachFileOnTheCommandLineOpensOnItsOwn) {
    const std::string good = m_dir / "good.pvx";
    const std::string bad = m_dir / "bad.pvx";
    typed("g");
    pt::answerFileDialog(good);
    ASSERT_EQ(DoMenuCommand(kSaveAs), 1);
    const ExprPtr tree = OpenDocumentList->expression()->deepCopy();
    WriteFileBytes(bad, "%%Ve!\r\n%%Ex]|Expr|[ damaged\r\n");
    closeDocuments();
    shutDown();

    // The program starts again with a damaged file before a good one: the damaged one is
    // reported, the good one still opens.
    pt::reset();
    // Start-up may also note a missing function-name list of the test's preferences folder.
    std::vector<std::string> shown;
    for (int i = 0; i < 2; ++i)
        AnswerNextBox(shown);
    // A socket of its own, so that the files are never handed over to another running copy.
    SetSingleInstanceSocket(m_dir / "KorvalineFileOpen");
    InstallModelWiring(); // as the program's entry does, before start-up opens the files
    // A socket of its own, so that no other copy of the program running here takes the files.
    SetSingleInstanceSocket(m_dir / "KorvalineFileOpen");
    ASSERT_TRUE(CQVAppStartup({"-nosplash", bad, good}).runLoop);
    pt::runUntilIdle();
    ASSERT_EQ(OpenDocumentCount(), 1);
    EXPECT_EQ(OpenDocumentList->filePath(), good);
    EXPECT_TRUE(OpenDocumentList->expression()->equal(tree.get(), 0));
    ASSERT_FALSE(shown.empty());
    EXPECT_NE(shown.back().find("bad.pvx"), std::string::npos) << shown.back();
}

TEST_F(DocumentFilesTest, FilesHandedOverByASecondCopyOpenWhateverTheLengthOfTheirPath) {
    // A folder deep enough that the path is longer than 255 bytes.
    std::filesystem::path deep = m_dir.path();
    while (deep.string().size() < 400)
        deep /= "a-folder-with-a-long-name";
    std::filesystem::create_directories(deep);
    const std::string longPath = (deep / "long.pvx").string();
    const std::string shortPath = m_dir / "short.pvx";
    const std::string gone = m_dir / "gone.pvx";
    // Two names that differ only in case name two files.
    const std::string upper = m_dir / "Case.pvx";
    const std::string lower = m_dir / "case.pvx";
    typed("h");
    pt::answerFileDialog(shortPath);
    ASSERT_EQ(DoMenuCommand(kSaveAs), 1);
    std::filesystem::copy_file(shortPath, longPath);
    std::filesystem::copy_file(shortPath, upper);
    std::filesystem::copy_file(shortPath, lower);
    CloseAllDocuments();
    takeBackQuit();
    std::vector<std::string> shown;
    AnswerNextBox(shown);

    // A second copy started with the three files hands them to this one and ends.
    ASSERT_NO_FATAL_FAILURE(
        HandOver(m_dir / "KorvalineFileOpen", {longPath, gone, shortPath, upper, lower}));
    pt::runUntilIdle();
    std::vector<std::string> opened;
    for (ExprFilePane* p = OpenDocumentList; p != nullptr; p = p->nextDocument())
        opened.push_back(p->filePath());
    std::sort(opened.begin(), opened.end());
    std::vector<std::string> expected{longPath, shortPath, upper, lower};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(opened, expected);
    // The missing file is reported by name.
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_NE(shown[0].find("gone.pvx"), std::string::npos) << shown[0];
}

TEST_F(DocumentFilesTest, FilesHandedOverOpenWhateverTheirNameAndPlainTextOpensAsTyped) {
    typed("h");
    const std::string saved = m_dir / "saved.pvx";
    pt::answerFileDialog(saved);
    ASSERT_EQ(DoMenuCommand(kSaveAs), 1);
    const std::string document = ReadFileBytes(saved);
    const ExprPtr tree = OpenDocumentList->expression()->deepCopy();
    CloseAllDocuments();
    takeBackQuit();

    // What a second copy started with each file gives in this one: the tree of the window it
    // opens ("" when none opens), and whether an alert naming the file is shown.
    struct Case {
        const char* name;
        const char* bytes; // null: no such file
        const char* tree;  // "doc": the saved document's; "": no window
        bool alert;
        const char* says = ""; // in the alert
    };
    const std::string huge(std::size_t{3} << 20, 'a');
    const Case cases[] = {
        {"notes", document.c_str(), "doc", false},
        {"notes.dat", document.c_str(), "doc", false},
        {"Notes.PVX", document.c_str(), "doc", false},
        {"trailing.", document.c_str(), "doc", false},
        // Plain text opens as if typed, whichever way it comes.
        {"plain.txt", "x+1", "[x|+|1]", false},
        // Text without an encoding and without the text extension is no document, as when it is
        // named on the command line.
        {"readme", "x+1", "", true},
        // Only a missing file is "not found".
        {"gone", nullptr, "", true},
        // Text larger than a paste takes is refused as too large.
        {"huge.txt", huge.c_str(), "", true, "volumineux"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = m_dir / c.name;
        if (c.bytes != nullptr)
            WriteFileBytes(path, c.bytes);
        // A box that opens with no script fails the test.
        std::vector<std::string> shown;
        if (c.alert)
            AnswerNextBox(shown);
        ASSERT_NO_FATAL_FAILURE(HandOver(m_dir / "KorvalineFileOpen", {path}));
        pt::runUntilIdle();
        if (*c.tree == 0) {
            EXPECT_EQ(OpenDocumentCount(), 0);
        } else {
            ASSERT_EQ(OpenDocumentCount(), 1);
            EXPECT_EQ(OpenDocumentList->filePath(), path);
            if (std::string(c.tree) == "doc")
                EXPECT_TRUE(OpenDocumentList->expression()->equal(tree.get(), 0));
            else
                EXPECT_EQ(TreeText(OpenDocumentList->expression()), c.tree);
        }
        if (c.alert) {
            ASSERT_EQ(shown.size(), 1u);
            EXPECT_NE(shown[0].find(c.name), std::string::npos) << shown[0];
            EXPECT_NE(shown[0].find(c.says), std::string::npos) << shown[0];
        }
        CloseAllDocuments();
        takeBackQuit();
    }

    // File > "Ouvrir..." opens a plain text file as typed text too, and it saves as a document.
    const std::string text = m_dir / "sum.txt";
    WriteFileBytes(text, "a\tb c");
    pt::answerFileDialog(text);
    ASSERT_EQ(DoMenuCommand(kOpen), 1);
    pt::runUntilIdle();
    ASSERT_EQ(OpenDocumentCount(), 1);
    EXPECT_EQ(TreeText(OpenDocumentList->expression()), "[a|<T>|b|<s>|c]");
}

TEST_F(DocumentFilesTest, NamesInTheCodePageSaveShowAndOpenAndOthersAreReported) {
    // The system spells names in UTF-8; the program in its code page. 表 ends in the byte of a
    // backslash under 932, so it must never be cut there.
    struct Case {
        plat::UINT codePage;
        std::string systemName;  // as on disk
        std::string programName; // "" when the page cannot write it
    };
    const Case cases[] = {
        {1252, "\xC3\xA9t\xC3\xA9.pvx", "\xE9t\xE9.pvx"},
        {932, "\xE6\x95\xB0\xE5\xBC\x8F.pvx", "\x90\x94\x8E\xAE.pvx"},
        {932, "\xE8\xA1\xA8.pvx", "\x95\x5C.pvx"},
        {1252, "\xE6\x95\xB0\xE5\xBC\x8F.pvx", ""},
        {932, "\xC3\xA9t\xC3\xA9.pvx", ""},
    };
    kvtest::CodePageScope restore;
    const auto windowsMenuEntries = [] {
        std::vector<std::string> out;
        const plat::HMENU menu = MenuOfNumber(33);
        for (int i = 0; menu != nullptr && i < plat::GetMenuItemCount(menu); ++i) {
            char text[300] = {};
            plat::GetMenuString(menu, static_cast<plat::UINT>(i), text, sizeof text,
                                plat::MF_BYPOSITION);
            out.emplace_back(text);
        }
        return out;
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.systemName + " under " + std::to_string(c.codePage));
        ASSERT_TRUE(plat::SetActiveCodePage(c.codePage));
        const std::string onDisk = m_dir / c.systemName;
        std::string tree;
        if (!c.programName.empty()) {
            // Save As under the name, as the file dialog gives it: the file has the system's name,
            // the caption and the Windows menu show the program's.
            typed("x");
            pt::answerFileDialog(m_dir.path() + "/" + c.programName);
            ASSERT_EQ(DoMenuCommand(kSaveAs), 1);
            EXPECT_TRUE(std::filesystem::exists(onDisk));
            tree = TreeText(OpenDocumentList->expression());
            char caption[300] = {};
            plat::GetWindowText(HandleOfWindow(OpenDocumentList->windowHandle()), caption,
                                sizeof caption);
            EXPECT_EQ(caption, c.programName);
            const std::vector<std::string> entries = windowsMenuEntries();
            EXPECT_TRUE(std::any_of(entries.begin(), entries.end(), [&](const std::string& e) {
                return e.find(c.programName) != std::string::npos;
            }));
            CloseAllDocuments();
            takeBackQuit();
        } else {
            WriteFileBytes(onDisk, "x");
        }
        // A second copy started with the file hands over its system name.
        std::vector<std::string> shown;
        if (c.programName.empty())
            AnswerNextBox(shown);
        ASSERT_NO_FATAL_FAILURE(HandOver(m_dir / "KorvalineFileOpen", {onDisk}));
        pt::runUntilIdle();
        if (c.programName.empty()) {
            EXPECT_EQ(OpenDocumentCount(), 0);
            ASSERT_EQ(shown.size(), 1u);
            EXPECT_NE(shown[0].find("page de code"), std::string::npos) << shown[0];
        } else {
            ASSERT_EQ(OpenDocumentCount(), 1);
            EXPECT_EQ(OpenDocumentList->filePath(), m_dir.path() + "/" + c.programName);
            EXPECT_EQ(TreeText(OpenDocumentList->expression()), tree);
        }
        CloseAllDocuments();
        takeBackQuit();
    }
}

TEST_F(DocumentFilesTest, AFileAlreadyOpenBringsItsWindowForwardAndKeepsBothEdits) {
    const std::string path = m_dir / "one.pvx";
    ExprFilePane* pane = typed("a");
    pt::answerFileDialog(path);
    ASSERT_EQ(DoMenuCommand(kSaveAs), 1);
    pt::runUntilIdle();
    // An edit not saved yet, and another document in front.
    pt::type("+");
    pt::runUntilIdle();
    std::filesystem::create_directory(m_dir / "sub");
    std::filesystem::create_symlink(path, m_dir / "link.pvx");

    // Each way the user can open the file again, under each name that reaches it.
    struct Way {
        const char* what;
        std::string name;
        bool secondCopy;
    };
    const Way ways[] = {
        {"File > Ouvrir, the same name", path, false},
        {"File > Ouvrir, another spelling", m_dir / "sub/../one.pvx", false},
        {"File > Ouvrir, a link", m_dir / "link.pvx", false},
        {"a second copy, a link", m_dir / "link.pvx", true},
        {"a second copy, the same name", path, true},
    };
    for (const Way& way : ways) {
        SCOPED_TRACE(way.what);
        ExprFilePane* other = typed("z");
        ASSERT_EQ(ActivePane, other);
        if (way.secondCopy) {
            ASSERT_NO_FATAL_FAILURE(HandOver(m_dir / "KorvalineFileOpen", {way.name}));
        } else {
            pt::answerFileDialog(way.name);
            ASSERT_EQ(DoMenuCommand(kOpen), 1);
        }
        pt::runUntilIdle();
        EXPECT_EQ(OpenDocumentCount(), 2) << "a second window of the file";
        EXPECT_EQ(ActivePane, pane) << "the file's window is not in front";
        // The other document goes unsaved.
        answerBox(kIdNo);
        delete other->window();
        pt::runUntilIdle();
        ASSERT_EQ(OpenDocumentCount(), 1);
        pane->takeFocus();
        pt::runUntilIdle();
    }

    // Typing goes on in the one window; its save holds both edits.
    pt::type("b");
    pt::runUntilIdle();
    ASSERT_EQ(DoMenuCommand(kSave), 1);
    pt::runUntilIdle();
    EXPECT_EQ(TreeText(treeInFile(path).get()), "[a|<s>|+|<s>|b]");
}

TEST_F(DocumentFilesTest, ADocumentKeepsTheRecordsOfALaterVersionThroughEverySave) {
    const std::string path = m_dir / "later.pvx";
    typed("a");
    pt::answerFileDialog(path);
    ASSERT_EQ(DoMenuCommand(kSaveAs), 1);
    ASSERT_EQ(DoMenuCommand(kClose), 1);
    pt::runUntilIdle();
    takeBackQuit();
    // A later version wrote records of its own around the expression: some behind the comment
    // prefix with continuation lines, one without it, about 96 KB in all.
    const std::string before = "%%Zq!\"#\r\n%%Zz some text\r\n%%\tmore of it\r\n";
    std::string after = "Yy plain record\r\n";
    for (int i = 0; i < 1500; ++i)
        after += "%%Zb " + std::to_string(i) + std::string(56, 'q') + "\r\n%%\tcontinued\r\n";
    std::string file = ReadFileBytes(path);
    file.insert(file.find("%%Ex"), before);
    WriteFileBytes(path, file + after);
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        pt::answerFileDialog(path);
        ASSERT_EQ(DoMenuCommand(kOpen), 1);
        pt::runUntilIdle();
        ASSERT_TRUE(pt::messageBoxes().empty()) << pt::messageBoxes().front().text;
        pt::type("b");
        pt::runUntilIdle();
        ASSERT_EQ(DoMenuCommand(kSave), 1);
        ASSERT_EQ(DoMenuCommand(kClose), 1);
        pt::runUntilIdle();
        takeBackQuit();
        const std::string saved = ReadFileBytes(path);
        EXPECT_NE(saved.find(before), std::string::npos);
        EXPECT_NE(saved.find(after), std::string::npos);
        EXPECT_GT(saved.size(), 96000u);
        EXPECT_EQ(TreeText(treeInFile(path).get()), round == 0 ? "[ab]" : "[abb]");
    }
    // Exports carry no such records: only a document's own file gives them back.
    const DocumentLines exported =
        ReadDocumentLinesFromMemory(file.data(), static_cast<uint32_t>(file.size()), false);
    EXPECT_TRUE(exported.unknownRecords.empty());
}

TEST_F(DocumentFilesTest, ASaveOverAFileThatChangedOnDiskAsksFirst) {
    const struct {
        const char* name;
        bool inPlace; // rewritten in place (else replaced by another copy's save)
    } cases[] = {{"rewritten in place", true}, {"replaced by another copy's save", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = m_dir / (c.inPlace ? "rewritten.pvx" : "replaced.pvx");
        ExprFilePane* pane = typed("a");
        pt::answerFileDialog(path);
        ASSERT_EQ(DoMenuCommand(kSaveAs), 1);
        pt::runUntilIdle();
        // Another copy writes the file; this one goes on editing.
        const std::string theirs = ReadFileBytes(path) + "%%Zo other copy\r\n";
        if (c.inPlace) {
            WriteFileBytes(path, theirs);
        } else {
            oOFileStream* out = NewOFileStream(path.c_str(), true);
            out->writeRaw(theirs.data(), static_cast<uint32_t>(theirs.size()));
            out->close();
        }
        pt::type("b");
        pt::runUntilIdle();
        const size_t boxes = pt::messageBoxes().size();
        // No: nothing is written, the document stays changed.
        std::string question;
        answerBox(kIdNo, &question);
        ASSERT_EQ(DoMenuCommand(kSave), 1);
        pt::runUntilIdle();
        EXPECT_NE(question.find(path), std::string::npos) << question;
        EXPECT_EQ(ReadFileBytes(path), theirs);
        EXPECT_TRUE(pane->changed());
        // Yes: the document replaces the file.
        answerBox(kIdYes);
        ASSERT_EQ(DoMenuCommand(kSave), 1);
        pt::runUntilIdle();
        EXPECT_EQ(TreeText(treeInFile(path).get()), "[ab]");
        EXPECT_FALSE(pane->changed());
        // The file as this copy left it: the next save asks nothing.
        pane->takeFocus();
        pt::type("c");
        pt::runUntilIdle();
        ASSERT_TRUE(pane->changed());
        ASSERT_EQ(DoMenuCommand(kSave), 1);
        pt::runUntilIdle();
        EXPECT_EQ(pt::messageBoxes().size(), boxes + 2);
        EXPECT_EQ(TreeText(treeInFile(path).get()), "[abc]");
        ASSERT_EQ(DoMenuCommand(kClose), 1);
        pt::runUntilIdle();
        takeBackQuit();
    }
}

int s_slowSaveSignal = -1;

// The slow copy's save: it says it is about to replace the file, then takes its time.
void slowCommit(const char*) {
    const char byte = 'w';
    if (::write(s_slowSaveSignal, &byte, 1) != 1)
        ::_exit(9);
    ::usleep(700 * 1000);
}

TEST_F(DocumentFilesTest, TwoCopiesWhoseSavesOverlapNeverReplaceEachOtherSilently) {
    // Two copies (forked from this one) have the same saved document open and each changes it.
    // The first saves slowly; the second saves `gap` ms after the first began to replace the
    // file, while it is still at it (past the end too). The second always asks (and is told No):
    // the file is the first copy's.
    for (const int gap : {0, 60, 300, 600, 1000}) {
        SCOPED_TRACE("gap " + std::to_string(gap) + " ms");
        const std::string path = m_dir / ("overlap" + std::to_string(gap) + ".pvx");
        ExprFilePane* pane = typed("a");
        pt::answerFileDialog(path);
        ASSERT_EQ(DoMenuCommand(kSaveAs), 1);
        pt::runUntilIdle();
        int writing[2];
        int go[2];
        ASSERT_EQ(::pipe(writing), 0);
        ASSERT_EQ(::pipe(go), 0);
        const pid_t second = ::fork();
        ASSERT_NE(second, -1);
        if (second == 0) {
            pt::type("y");
            pt::runUntilIdle();
            std::string question;
            answerBox(kIdNo, &question);
            char byte = 0;
            if (::read(go[0], &byte, 1) != 1)
                ::_exit(8);
            const size_t boxes = pt::messageBoxes().size();
            DoMenuCommand(kSave);
            const bool asked =
                pt::messageBoxes().size() == boxes + 1 && question.find(path) != std::string::npos;
            ::_exit(asked ? 1 : 0);
        }
        const pid_t first = ::fork();
        ASSERT_NE(first, -1);
        if (first == 0) {
            s_slowSaveSignal = writing[1];
            SetSaveCommitHookForTesting(&slowCommit);
            pt::type("x");
            pt::runUntilIdle();
            const size_t boxes = pt::messageBoxes().size();
            DoMenuCommand(kSave);
            ::_exit(pt::messageBoxes().size() == boxes && !pane->changed() ? 0 : 7);
        }
        char byte = 0;
        ASSERT_EQ(::read(writing[0], &byte, 1), 1);
        ::usleep(static_cast<useconds_t>(gap) * 1000);
        ASSERT_EQ(::write(go[1], &byte, 1), 1);
        int status = 0;
        ASSERT_EQ(::waitpid(first, &status, 0), first);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the first copy asked";
        ASSERT_EQ(::waitpid(second, &status, 0), second);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1)
            << "the second copy saved without asking";
        EXPECT_EQ(TreeText(treeInFile(path).get()), "[ax]");
        for (int fd : {writing[0], writing[1], go[0], go[1]})
            ::close(fd);
        ASSERT_EQ(DoMenuCommand(kClose), 1);
        pt::runUntilIdle();
        takeBackQuit();
    }
}

// Another program that holds the advisory lock saves take on `path` (flock), from a child process:
// held once the constructor returns, let go after `holdMs` or at release(). Before it lets go it
// may put a link to `linkTo` in place of the file.
class LockHolder {
public:
    LockHolder(const std::string& path, int holdMs, const std::string& linkTo = "") {
        int ready[2];
        if (::pipe(ready) != 0 || ::pipe(m_release) != 0)
            ADD_FAILURE() << "no pipe";
        m_child = ::fork();
        if (m_child == 0) {
            const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
            if (fd < 0 || ::flock(fd, LOCK_EX) != 0)
                ::_exit(2);
            if (::write(ready[1], "r", 1) != 1)
                ::_exit(3);
            pollfd wake{m_release[0], POLLIN, 0};
            ::poll(&wake, 1, holdMs);
            if (!linkTo.empty()) {
                const std::string link = path + ".new-link";
                if (::symlink(linkTo.c_str(), link.c_str()) != 0 ||
                    ::rename(link.c_str(), path.c_str()) != 0)
                    ::_exit(4);
            }
            ::_exit(0);
        }
        char byte = 0;
        EXPECT_EQ(::read(ready[0], &byte, 1), 1) << "the lock was not taken";
        ::close(ready[0]);
        ::close(ready[1]);
    }
    ~LockHolder() { release(); }
    void release() {
        if (m_child <= 0)
            return;
        if (::write(m_release[1], "g", 1) != 1)
            ADD_FAILURE() << "the holder was not told";
        int status = 0;
        EXPECT_EQ(::waitpid(m_child, &status, 0), m_child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
        m_child = -1;
        ::close(m_release[0]);
        ::close(m_release[1]);
    }

private:
    pid_t m_child = -1;
    int m_release[2] = {-1, -1};
};

TEST_F(DocumentFilesTest, ASaveWaitsForAFileAnotherProgramHoldsAndNeverTakesInputMeanwhile) {
    // The document's file is held by another program when the user saves. The save waits in
    // short steps that answer the window manager (counted here); keys typed meanwhile wait for
    // it. Held all along: a box says another program uses the file, which stays as it was. Let
    // go during the wait: the save is made, without the keys typed during it. Escape during the
    // wait: nothing is saved, and the box says so.
    struct Case {
        const char* name;
        int holdMs;     // the other program lets go after this long
        bool escape;    // Escape is pressed during the wait
        bool saved;     // the file gets the edit
        bool fileInUse; // the box says another program uses the file
    };
    const Case cases[] = {
        {"held_all_along", 60000, false, false, true},
        {"let_go_during_the_wait", 400, false, true, false},
        {"escape_during_the_wait", 60000, true, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = m_dir / (std::string(c.name) + ".pvx");
        ExprFilePane* pane = typed("a");
        pt::answerFileDialog(path);
        ASSERT_EQ(DoMenuCommand(kSaveAs), 1);
        pt::runUntilIdle();
        const std::string before = ReadFileBytes(path);
        pt::type("x");
        pt::runUntilIdle();
        int steps = 0;
        pt::onWaitAnswering([&] {
            if (++steps == 3 && c.escape)
                pt::key(plat::VK_ESCAPE);
            else if (steps == 3)
                pt::type("q");
        });
        std::vector<std::string> shown;
        if (c.fileInUse) {
            // The box itself, closed with Enter: its loop takes the keys typed during the wait.
            pt::onMessageBox([&shown](const pt::MessageBoxCall& box) {
                shown.push_back(box.text);
                pt::key(plat::VK_RETURN);
                return pt::kShowBox;
            });
        }
        {
            LockHolder holder(path, c.holdMs);
            const size_t boxes = pt::messageBoxes().size();
            DoMenuCommand(kSave);
            EXPECT_EQ(pt::messageBoxes().size(), boxes + (c.fileInUse ? 1 : 0));
        }
        pt::onWaitAnswering(nullptr);
        EXPECT_GE(steps, c.fileInUse && !c.escape
                             ? SaveLock::kWaitMilliseconds / 2 / SaveLock::kWaitStepMilliseconds
                             : 3);
        if (c.fileInUse) {
            ASSERT_EQ(shown.size(), 1u);
            EXPECT_NE(shown[0].find(LoadErrorString(errFileInUse)), std::string::npos) << shown[0];
            EXPECT_NE(shown[0].find(path), std::string::npos) << shown[0];
        }
        // No sibling is left beside the file.
        std::vector<std::string> names = FolderNames(m_dir / "");
        EXPECT_EQ(std::count_if(names.begin(), names.end(),
                                [&](const std::string& n) { return n.starts_with(c.name); }),
                  1);
        if (c.saved) {
            EXPECT_EQ(TreeText(treeInFile(path).get()), "[ax]");
        } else {
            EXPECT_EQ(ReadFileBytes(path), before);
        }
        // A key typed during the wait reaches the document after the save, unless a box came
        // up first (input behind it is dropped).
        pt::runUntilIdle();
        EXPECT_EQ(TreeText(pane->expression()), c.saved ? "[axq]" : "[ax]");
        EXPECT_TRUE(pane->changed());
        answerBox(kIdNo);
        ASSERT_EQ(DoMenuCommand(kClose), 1);
        pt::runUntilIdle();
        takeBackQuit();
    }
}

TEST_F(DocumentFilesTest, AFileReplacedByALinkWhileTheSaveWaitsIsNotWrittenThrough) {
    // While the save waits for another program's lock, that program puts a link to another
    // folder in place of the document's file. The save writes nothing there, whatever is
    // answered, and says why; the user's files stay as they were.
    struct Case {
        const char* name;
        bool linkedFileExists;
    };
    const Case cases[] = {{"link_to_a_file_of_the_users", true}, {"link_to_a_missing_file", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = m_dir / (std::string(c.name) + ".pvx");
        const std::string elsewhere = m_dir / c.name;
        std::filesystem::create_directories(elsewhere);
        const std::string linked = elsewhere + "/theirs.pvx";
        if (c.linkedFileExists)
            WriteFileBytes(linked, "the user's other file");
        ExprFilePane* pane = typed("a");
        pt::answerFileDialog(path);
        ASSERT_EQ(DoMenuCommand(kSaveAs), 1);
        pt::runUntilIdle();
        pt::type("x");
        pt::runUntilIdle();
        std::string shown;
        answerBox(kIdYes, &shown);
        {
            LockHolder holder(path, 300, linked);
            DoMenuCommand(kSave);
        }
        EXPECT_NE(shown.find(LoadErrorString(errFileAccessDenied)), std::string::npos) << shown;
        // The detail comes from the string table, so a resource library can give it in the
        // language of its code page.
        EXPECT_NE(shown.find(path + "\n" + LoadResString(kSaveTargetMovedString)),
                  std::string::npos)
            << shown;
        EXPECT_TRUE(std::filesystem::is_symlink(path));
        if (c.linkedFileExists) {
            EXPECT_EQ(ReadFileBytes(linked), "the user's other file");
            EXPECT_EQ(FolderNames(elsewhere), std::vector<std::string>{"theirs.pvx"});
        } else {
            EXPECT_TRUE(FolderNames(elsewhere).empty());
        }
        EXPECT_TRUE(pane->changed());
        answerBox(kIdNo);
        ASSERT_EQ(DoMenuCommand(kClose), 1);
        pt::runUntilIdle();
        takeBackQuit();
    }
}

TEST_F(DocumentFilesTest, TheBitmapSaveTypeWritesWhatSaveBitmapWrites) {
    SetGeneralPrefValue("Bi", 0, 150);
    BitmapResolution = 150;
    ExprFilePane* pane = typed("b+1");
    const std::string saved = m_dir / "saved.bmp";
    pt::answerFileDialog(saved);
    ASSERT_EQ(DoMenuCommand(kSaveAs), 1); // by its extension: save type 13
    EXPECT_EQ(pane->saveType(), 13);
    EXPECT_FALSE(pane->changed());
    const std::string bitmap = ReadFileBytes(saved);
    ASSERT_GT(bitmap.size(), 54u);
    // Save Bitmap of the unchanged document writes its file again without a question: the same
    // bytes.
    ASSERT_TRUE(SaveBitmapFile(false));
    EXPECT_EQ(bitmap, ReadFileBytes(saved));
    // Both at the bitmap resolution preference: 150 dots per inch in the header.
    uint32_t perMetre = 0;
    std::memcpy(&perMetre, bitmap.data() + 14 + 24, 4);
    EXPECT_EQ(perMetre, (150u * 10000 + 127) / 254);
    SetGeneralPrefValue("Bi", 0, 72);
    BitmapResolution = 0;
}

TEST_F(DocumentFilesTest, TruncatedAndMutatedFilesOpenNothing) {
    const std::string path = m_dir / "src.pvx";
    typed("ab");
    pt::answerFileDialog(path);
    ASSERT_EQ(DoMenuCommand(kSaveAs), 1);
    const std::string good = ReadFileBytes(path);
    const size_t end = good.find("]|[");
    ASSERT_NE(end, std::string::npos);
    const int32_t count = OpenDocumentCount();
    const std::string bad = m_dir / "bad.pvx";
    const auto open = [&](const std::string& bytes) {
        WriteFileBytes(bad, bytes);
        return CatchFail([&] { OpenDocumentWindow(bad.c_str(), 'e'); });
    };
    for (size_t cut = 0; cut < end + 3; ++cut) {
        SCOPED_TRACE(cut);
        const int16_t code = open(good.substr(0, cut));
        EXPECT_TRUE(code == errNoExpressionInFile || code == errDataCorrupted) << code;
        ASSERT_EQ(OpenDocumentCount(), count);
    }
    // A damaged version number ("#" and up to three digits) may read as a newer version, which
    // brings up its own note.
    const size_t version = good.find(std::string(kEncodingStart) + "#") + 8;
    for (size_t at = 0; at < good.size(); ++at) {
        if (at >= version && at <= version + 3)
            continue;
        for (char with : {'\n', '~', '\t', '\0'}) {
            SCOPED_TRACE(at);
            std::string mutated = good;
            mutated[at] = with;
            const int16_t code = open(mutated);
            EXPECT_TRUE(code == 0 || code == errNoExpressionInFile || code == errDataCorrupted)
                << code;
            if (code == 0) {
                delete OpenDocumentList->window();
                pt::runUntilIdle();
            }
            ASSERT_EQ(OpenDocumentCount(), count);
        }
    }
}

// A name whose type the program does not write (a metafile, TeX, HTML, MathML under another
// extension): the document is saved in its own type under the name with its own extension, and
// a box says so first, and whether that file is to be replaced. Annuler there brings the dialog
// back with the name the user typed; nothing is written.
TEST_F(DocumentFilesTest, ANameOfATypeNotWrittenIsSavedUnderTheDocumentsOwnExtensionAfterABox) {
    struct Case {
        const char* typed;
        const char* written;
        bool exists; // the file of the name written is there already
        int answer;  // to the box
    };
    const Case cases[] = {
        {"eq.wmf", "eq.pvx", false, kIdOk},
        {"page.html", "page.pvx", false, kIdOk},
        {"eq.mathml", "eq.pvx", true, kIdOk},
        {"eq.tex", "eq.pvx", true, kIdCancel},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        const std::string folder = std::string(m_dir / "as") + "/" + c.typed;
        std::filesystem::create_directories(folder);
        const std::string written = folder + "/" + c.written;
        if (c.exists)
            WriteFileBytes(written, "kept");
        ExprFilePane* pane = typed("x");
        std::string box;
        answerBox(c.answer, &box);
        pt::onDialog(plat::IDD_SAVEFILE, [&](pt::DialogDriver& d) {
            d.setText(plat::IDC_FILE_NAME, folder + "/" + c.typed);
            d.click(kIdOk);
        });
        std::string proposedAgain;
        if (c.answer == kIdCancel)
            pt::onDialog(plat::IDD_SAVEFILE, [&](pt::DialogDriver& d) {
                proposedAgain = d.text(plat::IDC_FILE_NAME);
                d.escape();
            });
        DoMenuCommand(kSaveAs);
        pt::runUntilIdle();
        const std::string extension = std::filesystem::path(c.typed).extension().string();
        EXPECT_EQ(box, ResStringWith(kTypeNotWrittenString, {extension}) + " " +
                           ResStringWith(c.exists ? kSavedReplacingString : kSavedUnderString,
                                         {c.written}));
        EXPECT_NE(box.find(extension), std::string::npos) << box;
        EXPECT_NE(box.find(c.written), std::string::npos) << box;
        EXPECT_EQ(box.find("existe") != std::string::npos, c.exists) << box;
        EXPECT_FALSE(std::filesystem::exists(folder + "/" + c.typed));
        if (c.answer == kIdOk) {
            EXPECT_TRUE(treeInFile(written)->equal(pane->expression(), 0));
            EXPECT_EQ(windowTitle(pane), c.written);
            EXPECT_FALSE(pane->changed());
        } else {
            EXPECT_EQ(proposedAgain, c.typed);
            EXPECT_EQ(ReadFileBytes(written), "kept");
            EXPECT_TRUE(pane->changed());
        }
    }
}

} // namespace
} // namespace kvtest
