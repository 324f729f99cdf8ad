#include "App/CQVAppStartup.h"

#include "App/AppHooks.h"
#include "App/CommandLine.h"
#include "App/FrameWindow.h"
#include "App/MenuDispatch.h"
#include "App/MessageLoop.h"
#include "App/SelfRegistration.h"
#include "App/SingleInstance.h"
#include "BuiltinResources.h"
#include "Dialogs/AboutDialogs.h"
#include "Dialogs/Splash.h"
#include "ExprSrcs/Find.h"
#include "OverPc/PCRASH.h"
#include "OverPc/PERROR.h"
#include "OverPc/PFILE.h"
#include "OverPc/PFONTS.h"
#include "OverPc/PGRAPHIC.h"
#include "OverPc/PPRINT.h"
#include "OverPc/PUTIL.h"
#include "OverPc/Presourc.h"
#include "OverPc/commands/kPrefs.h"
#include "OverPc/documents/Translations.h"
#include "OverPc/oPixMap.h"
#include "OverPc/shell/CQVApp.h"
#include "OverPc/shell/Cursors.h"
#include "OverPc/shell/KeyCodes.h"
#include "OverPc/shell/Pwindow.h"
#include "OverSrcs/commands/kInsert.h"
#include "OverSrcs/oUtil.h"
#include "plat/Files.h"
#include "plat/Font.h"
#include "plat/Memory.h"
#include "plat/Menu.h"
#include "plat/Registry.h"
#include "plat/Resources.h"
#include "plat/Speech.h"
#include "plat/Window.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string_view>
#include <system_error>
#include <vector>

namespace {

// What start-up made, so that shut-down undoes exactly that.
struct RunState {
    std::unique_ptr<SingleInstance> single;
    std::string socketPath;
    plat::HMODULE library = nullptr;
    plat::UINT_PTR tickTimer = 0;
    bool errorSystem = false;
    bool graphics = false;
    bool stringCache = false;
    bool paths = false;
    bool clipboard = false;
};

RunState& run() {
    static RunState s_run;
    return s_run;
}

void say(const std::string& line) {
    std::fputs((line + "\n").c_str(), stderr);
}

// A string of the resources for the terminal (UTF-8), or the fallback.
std::string resourceText(int id, const char* fallback) {
    const char* text = LoadResString(id);
    return text ? ProgramTextToUtf8(text) : std::string(fallback);
}

// The resource library named by KVERES (per user, then per machine); empty when none is named.
std::string resourceLibraryPath() {
    for (plat::HKEY root : {plat::HKEY_CURRENT_USER, plat::HKEY_LOCAL_MACHINE}) {
        plat::HKEY key = nullptr;
        if (plat::RegOpenKeyEx(root, "Software\\Brindlewick", 0, plat::KEY_READ, &key) !=
            plat::ERROR_SUCCESS)
            continue;
        char value[1024] = {};
        plat::DWORD size = sizeof value - 1;
        plat::DWORD type = 0;
        const plat::LONG rc = plat::RegQueryValueEx(key, "KVERES", nullptr, &type,
                                                    reinterpret_cast<plat::BYTE*>(value), &size);
        plat::RegCloseKey(key);
        if (rc == plat::ERROR_SUCCESS && type == plat::REG_SZ && value[0] != 0)
            return value;
    }
    return {};
}

// The number a "CodePage" value holds, in each form the settings file writes a number: a dword,
// text (decimal, or hexadecimal after "0x", blanks around it allowed) or binary data of one to four
// bytes, the least significant first. False for anything else.
bool codePageNumber(plat::DWORD type, const std::vector<plat::BYTE>& data, plat::DWORD& number) {
    if (type == plat::REG_DWORD || type == plat::REG_BINARY) {
        if (data.empty() || data.size() > 4 || (type == plat::REG_DWORD && data.size() != 4))
            return false;
        number = 0;
        for (size_t i = data.size(); i-- > 0;)
            number = number << 8 | data[i];
        return true;
    }
    if (type != plat::REG_SZ)
        return false;
    std::string_view text(reinterpret_cast<const char*>(data.data()), data.size());
    while (!text.empty() && (text.back() == '\0' || text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty())
        return false;
    uint64_t value = 0;
    for (const char c : text) {
        const int digit = c >= '0' && c <= '9'                 ? c - '0'
                          : base == 16 && c >= 'a' && c <= 'f' ? c - 'a' + 10
                          : base == 16 && c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                               : -1;
        if (digit < 0)
            return false;
        value = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
        if (value > 0xFFFFFFFFu)
            return false;
    }
    number = static_cast<plat::DWORD>(value);
    return true;
}

// A settings value as the settings file writes it, for a message that names it.
std::string shownSetting(plat::DWORD type, const std::vector<plat::BYTE>& data) {
    if (type == plat::REG_SZ) {
        std::string text(data.begin(), data.end());
        text.erase(std::find(text.begin(), text.end(), '\0'), text.end());
        if (text.size() > 40)
            text = text.substr(0, 40) + "...";
        std::string shown = "\"";
        shown += ProgramTextToUtf8(text);
        shown += '"';
        return shown;
    }
    if (type == plat::REG_BINARY) {
        std::string text = "hex:";
        for (size_t i = 0; i < data.size() && i < 16; ++i) {
            char pair[4] = {};
            std::snprintf(pair, sizeof pair, i == 0 ? "%02x" : ",%02x", data[i]);
            text += pair;
        }
        return data.size() > 16 ? text + ",..." : text;
    }
    return "of type " + std::to_string(type);
}

// The code page of the program's text: the "CodePage" setting when it names one the program
// knows (per user, then per machine), else the one the locale of the environment implies. A value
// that is no number, or names a code page the program does not know, is named on stderr and
// skipped.
plat::UINT codePageSetting() {
    for (plat::HKEY root : {plat::HKEY_CURRENT_USER, plat::HKEY_LOCAL_MACHINE}) {
        plat::HKEY key = nullptr;
        if (plat::RegOpenKeyEx(root, "Software\\Brindlewick", 0, plat::KEY_READ, &key) !=
            plat::ERROR_SUCCESS)
            continue;
        plat::DWORD type = 0;
        plat::DWORD size = 0;
        std::vector<plat::BYTE> data;
        plat::LONG rc = plat::RegQueryValueEx(key, "CodePage", nullptr, &type, nullptr, &size);
        if (rc == plat::ERROR_SUCCESS) {
            data.resize(size);
            rc = plat::RegQueryValueEx(key, "CodePage", nullptr, &type, data.data(), &size);
            data.resize(std::min<size_t>(size, data.size()));
        }
        plat::RegCloseKey(key);
        if (rc != plat::ERROR_SUCCESS)
            continue;
        const char* where = root == plat::HKEY_CURRENT_USER ? "" : " (for every user)";
        plat::DWORD value = 0;
        if (!codePageNumber(type, data, value)) {
            say(std::string("korvaline: the CodePage setting") + where + " " +
                shownSetting(type, data) + " is not a number; it is ignored");
            continue;
        }
        if (value == 1252 || value == 932 || value == 936 || value == 949 || value == 950)
            return value;
        say(std::string("korvaline: the CodePage setting") + where + " " + std::to_string(value) +
            " is not one of 1252, 932, 936, 949, 950; it is ignored");
    }
    return plat::CodePageFromEnvironment();
}

std::string currentFolder() {
    std::error_code ec;
    const std::filesystem::path cwd = std::filesystem::current_path(ec);
    return ec ? std::string("/") : cwd.string();
}

// Runs one subsystem step; its failure is shown and start-up goes on.
template <class Step> void guardedStep(Step&& step) {
    GuardedCall(std::forward<Step>(step), [](std::int16_t code) { ErrorAlert(code); });
}

} // namespace

SingleInstance* AppSingleInstance() {
    return run().single.get();
}

void SetSingleInstanceSocket(const std::string& path) {
    run().socketPath = path;
}

StartupOutcome CQVAppStartup(const std::vector<std::string>& words, bool endOnSignals) {
    CQVApp& app = CQVApp::instance();
    RunState& state = run();
    app.m_StartupDone = false;
    app.m_Files.clear();
    ResetTickState();
    // The About item of the menu bar runs the About box of this build.
    if (!AppHooks().showAboutBox)
        AppHooks().showAboutBox = [] { ShowAboutBox(); };
    InitSystemStub();
    // The first call records where the stack starts, for the depth checks of deep recursions.
    StackTooDeep();

    // The program's own resources, then the resource library named in the settings.
    plat::RegisterBuiltinResources(BuiltinResourceTables());
    app.m_hInstance = plat::GetModuleHandle(nullptr);
    app.m_hResources = app.m_hInstance;
    const std::string libraryPath = resourceLibraryPath();
    if (!libraryPath.empty()) {
        state.library =
            plat::LoadLibraryEx(libraryPath.c_str(), nullptr, plat::LOAD_LIBRARY_AS_DATAFILE);
        if (state.library)
            app.m_hResources = state.library;
        else
            say("korvaline: cannot load the resource library " + ProgramTextToUtf8(libraryPath) +
                "; using the built-in resources");
    }
    // Before any text is measured: fonts remember the characters they have looked up.
    plat::SetActiveCodePage(codePageSetting());
    app.m_DoubleByte = [] {
        const plat::UINT acp = plat::GetACP();
        return acp == 932 || acp == 936 || acp == 949 || acp == 950;
    }();

    InitPaths();
    state.paths = true;

    // The command line; registration and embedding end here.
    CommandLine line = ParseCommandLine(words, currentFolder());
    for (const std::string& warning : line.warnings)
        say(warning);
    if (line.embedding) {
        say(resourceText(errNotInstalled, "Sorry, this feature is not installed in this version."));
        return {false, 1};
    }
    if (line.registration != RegistrationRequest::None) {
        std::string error;
        const bool ok = line.registration == RegistrationRequest::Register
                            ? RegisterDocumentTypes(error)
                            : UnregisterDocumentTypes(error);
        if (!ok) {
            say("korvaline: " + error);
            return {false, 1};
        }
        return {false, 0};
    }
    app.m_NoSplash = line.noSplash;
    app.m_Files = line.files;

    // One copy per session: hand the files to a running copy.
    const plat::UINT fileOpen = plat::RegisterWindowMessage("KorvalineFileOpen");
    SetFileOpenMessage(fileOpen);
    state.single = std::make_unique<SingleInstance>(
        state.socketPath.empty() ? DefaultSingleInstanceSocket() : state.socketPath);
    std::string diagnostic;
    switch (state.single->start(line.systemPaths, fileOpen, diagnostic)) {
    case SingleInstance::Outcome::HandedOff:
        return {false, 0};
    case SingleInstance::Outcome::Alone:
        say(diagnostic);
        break;
    case SingleInstance::Outcome::Listening:
        break;
    }

    if (!plat::OpenDisplay()) {
        say("korvaline: cannot open the X display; set DISPLAY to run the editor");
        return {false, 1};
    }
    SetCurrentCursor(plat::LoadCursor(nullptr, plat::IDC_WAIT));
    ApplyCursor();

    // Speech is optional: without a voice the program is silent.
    app.m_Voice = plat::CreateSpVoice();

    InitErrorSystem();
    state.errorSystem = true;
    const std::int16_t failure = CatchFail([&] {
        if (!RegisterFrameClass() || !RegisterPaneWindowClass())
            Fail(errUnplanned);
        state.tickTimer = plat::SetTimer(nullptr, 0, kTickIntervalMs, &AppTickProc);
        if (state.tickTimer == 0)
            Fail(errUnplanned);
        ShowSplash();
        InitFloatingPoint();
        InitStringCache();
        state.stringCache = true;
        // Every template class, before any document is read.
        RegisterAllTemplates();
        InstallGraphicsFontHooks();
        InitGraphics();
        UseSystemColors();
        state.graphics = true;
        if (!InitMenuBar())
            Fail(errUnplanned);
        InitKeyNames();
        InitPrintSetup();
        RunSplashUntilDismissed();
        if (AppHooks().createClipboardObject) {
            AppHooks().createClipboardObject();
            state.clipboard = true;
        }
    });
    if (failure != 0) {
        ErrorAlert(failure);
        CQVAppShutdown();
        return {false, 1};
    }

    if (AppHooks().loadCustomisation)
        guardedStep([] { AppHooks().loadCustomisation(); });
    // From here on a signal ends the program in order, whichever box is up (the offer of recovered
    // documents among them): what it keeps needs the preferences just read.
    if (endOnSignals)
        InstallTerminationHandler();
    if (!app.m_Embedded && AppHooks().openDocumentWindow) {
        for (const std::string& file : app.m_Files) {
            guardedStep([&] {
                SetErrorDetail(file.c_str());
                AppHooks().openDocumentWindow(file.c_str(), FileTypeOfPath(file.c_str()));
                SetErrorDetail(nullptr);
            });
        }
        // With no document open the program would end at its first tick: start a new one.
        if (CountOwnWindows() == 0)
            guardedStep([] { AppHooks().openDocumentWindow(nullptr, 'e'); });
    }
    if (!CreateMainFrame()) {
        ErrorAlert(errUnplanned);
        CQVAppShutdown();
        return {false, 1};
    }
    if (AppHooks().showStartupTools)
        guardedStep([] { AppHooks().showStartupTools(); });
    // Files named on the command line that the code page cannot name are reported, once the
    // frame is there to own the box, as a running copy reports such files handed over.
    for (const std::string& name : line.outsideCodePage)
        HandleFileOpenRequest(plat::GlobalAddAtomExact(
            (kNameOutsideCodePageMark + plat::ShownNameFromNative(name)).c_str()));
    if (state.single)
        state.single->setTarget(app.m_MainFrame);
    SetCurrentCursor(nullptr);
    ApplyCursor();
    app.m_StartupDone = true;
    return {true, 0};
}

void CQVAppShutdown() {
    CQVApp& app = CQVApp::instance();
    RunState& state = run();
    app.m_StartupDone = false;
    // Requests of later copies are no longer taken.
    if (state.single) {
        state.single->stop();
        state.single.reset();
    }
    if (app.m_Voice)
        app.m_Voice->Release();
    app.m_Voice = nullptr;
    if (state.clipboard && AppHooks().releaseClipboardObject)
        guardedStep([] { AppHooks().releaseClipboardObject(); });
    state.clipboard = false;
    if (state.errorSystem && AppHooks().savePrefsAndCloseAll)
        guardedStep([] { AppHooks().savePrefsAndCloseAll(1); });
    // The find window is the program's own, whatever document it searched.
    ForgetFindWindow();
    // Destroying the frame takes the document windows with it.
    if (app.m_MainFrame && plat::IsWindow(app.m_MainFrame)) {
        plat::SetMenu(app.m_MainFrame, nullptr);
        plat::DestroyWindow(app.m_MainFrame);
    }
    app.m_MainFrame = nullptr;
    app.m_StatusBar = nullptr;
    if (state.tickTimer)
        plat::KillTimer(nullptr, state.tickTimer);
    state.tickTimer = 0;
    FreeMenuBar();
    // The subsystems' menu handlers were installed for this run of the program.
    ForgetMenuHandlers();
    CloseSplash();
    ResetKeyNames();
    FreePrintSetup();
    if (state.graphics) {
        // Pixmaps still alive now are freed with the program; they no longer touch the registry.
        ShutdownPixMaps();
        ShutdownGraphics();
        DeleteFontManager();
    }
    state.graphics = false;
    if (state.stringCache)
        FreeStringCache();
    state.stringCache = false;
    if (state.errorSystem)
        FreeErrorSystem();
    state.errorSystem = false;
    if (state.paths)
        FreePaths();
    state.paths = false;
    TermSystemStub();
    TermMemoryStub();
    plat::UnregisterClass(kFrameWindowClass, app.m_hInstance);
    if (state.library) {
        app.m_hResources = app.m_hInstance;
        plat::FreeLibrary(state.library);
    }
    state.library = nullptr;
    // The preferences were this run's, saved above; a later start reads them afresh.
    ForgetCustomizations();
    ForgetLoadedTranslators();
}

int AppMain(int argc, char** argv) {
    std::vector<std::string> words;
    for (int i = 1; i < argc; ++i)
        words.emplace_back(argv[i]);
    // After a crash the program runs again only to show the crash page.
    if (!words.empty() && words[0] == "--crash-page") {
        plat::RegisterBuiltinResources(BuiltinResourceTables());
        const auto word = [&](std::size_t i) {
            return i < words.size() ? words[i] : std::string();
        };
        return ShowCrashPage(word(1), word(2), word(3));
    }
    // Only the program itself reports crashes: test programs run the start-up without it.
    InstallProgramCrashHandler();
    const StartupOutcome outcome = CQVAppStartup(words, true);
    if (!outcome.runLoop) {
        CQVAppShutdown();
        return outcome.exitStatus;
    }
    RunMessageLoop();
    CQVAppShutdown();
    // The loop ends with quit code 2 when the last window closes; that is a normal end.
    return 0;
}
