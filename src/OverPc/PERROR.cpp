#include "OverPc/PERROR.h"

#include "OverPc/PUTIL.h"
#include "OverPc/Presourc.h"
#include "OverPc/shell/CQVApp.h"
#include "OverPc/shell/DialogItems.h"
#include "OverSrcs/commands/kCommandScope.h"
#include "plat/Dialog.h"
#include "plat/Resources.h"
#include "plat/System.h"
#include "plat/Window.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace {

// A string is loaded into at most this many bytes (1023 characters and the terminator).
constexpr std::size_t kStringBytes = 1024;
constexpr std::size_t kMaxDetail = 255;

// Exit status of a Fail with no environment to resume.
constexpr int kUnhandledFailExitCode = 3;

struct ErrorState {
    std::uint32_t quitting = 0;
    // Room for a whole string, the line break and the whole detail, so an error text is never cut
    // short by the detail (or the detail by the text).
    std::array<char, kStringBytes + 1 + kMaxDetail + 1> message{};
    std::string defaultMessage;
    std::string caption;
};

std::unique_ptr<ErrorState> s_state;
int s_depth = 0;
std::string s_detail;
std::string s_loggedInfo;
UnhandledFailReporter s_unhandledFailReporter = nullptr;

plat::HINSTANCE resourceModule() {
    return CQVApp::instance().m_hResources;
}

std::string loadString(int id) {
    char buf[kStringBytes];
    const int n = plat::LoadString(resourceModule(), static_cast<plat::UINT>(id), buf, sizeof buf);
    return n > 0 ? std::string(buf, static_cast<std::size_t>(n)) : std::string();
}

// Platform misuse (a stale handle, say) ends up in the same log as the program's own assertions.
void platformDiagnostic(const char* line) {
    oAssertionFailure("plat", 0, line);
}

ErrorState& state() {
    if (!s_state) {
        s_state = std::make_unique<ErrorState>();
        s_state->defaultMessage = loadString(errUnplanned);
        s_state->caption = loadString(kProductNameStringId);
        // Without the program's resources the alerts still need something to say.
        if (s_state->defaultMessage.empty())
            s_state->defaultMessage = "Erreur imprévue.";
        if (s_state->caption.empty())
            s_state->caption = "Korvaline";
        plat::SetDiagnosticSink(&platformDiagnostic);
    }
    return *s_state;
}

// Whether the keyboard can go back to `window`: it is still there, shown, and it and the windows
// it sits in are enabled.
bool canTakeFocusBack(plat::HWND window) {
    if (window == nullptr || !plat::IsWindow(window) || !plat::IsWindowVisible(window))
        return false;
    for (plat::HWND w = window; w != nullptr; w = plat::GetAncestor(w, plat::GA_PARENT)) {
        if (!plat::IsWindowEnabled(w))
            return false;
    }
    return true;
}

// Saves and restores the modal state around a box: the current modal dialog is marked as a system
// box, the message-box-up flag raised and the program's other windows disabled. Disabling them
// takes the keyboard from the window that had it (a document window, a dialog's control); it gets
// it back after the box.
class ModalBoxScope {
public:
    explicit ModalBoxScope(plat::HWND owner)
        : m_owner(owner)
        , m_savedDialog(CurrentDialog)
        , m_savedFlag(MessageBoxUpFlag)
        , m_savedFocus(plat::GetFocus()) {
        CurrentDialog = kSystemDialogRunning;
        MessageBoxUpFlag = true;
        EnableWidgetWindows(m_owner, false);
    }
    ~ModalBoxScope() {
        EnableWidgetWindows(m_owner, true);
        MessageBoxUpFlag = m_savedFlag;
        CurrentDialog = m_savedDialog;
        if (plat::GetFocus() != m_savedFocus && canTakeFocusBack(m_savedFocus))
            plat::SetFocus(m_savedFocus);
        NoteModalClosed();
    }
    ModalBoxScope(const ModalBoxScope&) = delete;
    ModalBoxScope& operator=(const ModalBoxScope&) = delete;

private:
    plat::HWND m_owner;
    plat::HWND m_savedDialog;
    bool m_savedFlag;
    plat::HWND m_savedFocus;
    ModalRunScope m_modalRun;
};

const char* copyInto(ErrorState& st, const std::string& text) {
    const std::size_t n = std::min(text.size(), st.message.size() - 1);
    std::memcpy(st.message.data(), text.data(), n);
    st.message[n] = 0;
    return st.message.data();
}

} // namespace

// ---- Environments -------------------------------------------------------------------------------

int errorEnv() {
    if (!s_state) {
        oAssertionFailure("PERROR", __LINE__, "errorEnv");
        state();
    }
    if (s_depth >= kMaxErrorEnvs) {
        // Too deep: the innermost environment is resumed with errRecursion instead.
        --s_depth;
        throw FailUnwind(static_cast<std::int16_t>(errRecursion));
    }
    return s_depth++;
}

void PopErrorEnv() {
    if (s_depth <= 0) {
        if (s_state)
            s_state->quitting = 0;
        oAssertionFailure("PERROR", __LINE__, "Error Stack Underflow");
        return;
    }
    --s_depth;
}

int ErrorEnvDepth() {
    return s_depth;
}

void RestoreErrorEnvDepth(int depth) {
    if (depth >= 0 && s_depth > depth)
        s_depth = depth;
}

void Fail(int code) {
    const auto code16 = static_cast<std::int16_t>(code);
    if (s_depth > 0) {
        --s_depth;
        throw FailUnwind(code16);
    }
    // Nothing to resume: report, log, and stop, since returning would run the caller on with
    // whatever it failed to produce.
    ErrorAlert(code16);
    state().quitting = 0;
    oAssertionFailure("PERROR", __LINE__, "Error Stack Underflow");
    // The crash page shows the log, so the error itself goes there too.
    const std::string what = "Unhandled error " + std::to_string(code16);
    oAssertionFailure("PERROR", __LINE__, what.c_str());
    std::fprintf(stderr, "Korvaline: error %d with no error environment; stopping.\n%s",
                 static_cast<int>(code16), s_loggedInfo.c_str());
    std::fflush(stderr);
    // The crash report (when the program installed its handler) ends the process itself.
    if (s_unhandledFailReporter)
        s_unhandledFailReporter(code16);
    std::exit(kUnhandledFailExitCode);
}

void ClearErrorQuitFlag() {
    if (s_state)
        s_state->quitting = 0;
}

// ---- Error state --------------------------------------------------------------------------------

void InitErrorSystem() {
    state();
}

void FreeErrorSystem() {
    if (s_state)
        plat::SetDiagnosticSink(nullptr);
    s_state.reset();
}

void SetErrorDetail(const char* text) {
    if (text == nullptr) {
        s_detail.clear();
        return;
    }
    s_detail.assign(text, strnlen(text, kMaxDetail));
}

const char* ErrorDetail() {
    return s_detail.c_str();
}

const char* LoadErrorString(int id) {
    ErrorState& st = state();
    st.message[0] = 0;
    if (id <= 0 || id > 0xFFFF)
        return nullptr;
    const int n = plat::LoadString(resourceModule(), static_cast<plat::UINT>(id), st.message.data(),
                                   static_cast<int>(kStringBytes));
    return n > 0 ? st.message.data() : nullptr;
}

const char* BuildErrorText(int code) {
    ErrorState& st = state();
    if (code == 0 || LoadErrorString(code) == nullptr)
        copyInto(st, st.defaultMessage);
    const std::size_t used = std::strlen(st.message.data());
    std::snprintf(st.message.data() + used, st.message.size() - used, "\n%s", s_detail.c_str());
    return st.message.data();
}

// ---- Alerts -------------------------------------------------------------------------------------

void ErrorAlert(int code) {
    if (code == errSystem) {
        const int err = errno;
        const std::string text = std::strerror(err);
        const ModalRunScope modalRun;
        // The system's own text, not one of the program's alerts: captioned "Error", not with the
        // program's name.
        plat::MessageBox(nullptr, text.c_str(), "Error", plat::MB_ICONINFORMATION);
        return;
    }
    ErrorState& st = state();
    const plat::HWND owner = GetModalOwnerWindow(false);
    // The box runs a message loop; a nested error text must not change the one shown.
    const std::string text = BuildErrorText(code);
    const std::string caption = st.caption;
    ModalBoxScope scope(owner);
    plat::MessageBeep(0);
    // Kept above the program's other windows, as every error report is.
    plat::MessageBox(owner, text.c_str(), caption.c_str(),
                     plat::MB_TASKMODAL | plat::MB_ICONHAND | plat::MB_TOPMOST);
}

int AppMessageBox(const char* text, const char* caption, unsigned type) {
    return AppMessageBoxNamingFiles(text, nullptr, caption, type);
}

int AppMessageBoxNamingFiles(const char* text, const char* names, const char* caption,
                             unsigned type) {
    ErrorState& st = state();
    plat::HWND owner = GetModalOwnerWindow(true);
    if (owner == nullptr)
        owner = plat::GetActiveWindow();
    plat::ReplyMessage(0);
    const plat::HWND saved = CurrentDialog;
    if (saved != nullptr && saved != kSystemDialogRunning && plat::IsWindow(saved))
        owner = saved;
    const std::string shownCaption = caption != nullptr ? caption : st.caption;
    const std::string shownText = text != nullptr ? text : "";
    const std::string shownNames = names != nullptr ? names : "";
    ModalBoxScope scope(owner);
    return plat::MessageBoxNamingFiles(owner, shownText.c_str(), shownNames.c_str(),
                                       shownCaption.c_str(), type);
}

int RetryAlert(int code) {
    const std::string text = BuildErrorText(code);
    plat::MessageBeep(0);
    return AppMessageBox(text.c_str(), nullptr, kAlertRetryStyle);
}

int NoteAlert(int id) {
    const char* text = LoadResString(id);
    if (text == nullptr)
        return 0;
    return AppMessageBox(text, LoadResString(kInformationStringId), kAlertNoteStyle);
}

int TitledAlert(const char* caption, const char* title, const char* text, char kind) {
    std::string box = "     ";
    box += title != nullptr ? title : "";
    box += "\n\n";
    box += text != nullptr ? text : "";
    if (kind == 'i')
        return AppMessageBox(box.c_str(), caption, kAlertNoteStyle);
    plat::MessageBeep(0);
    return AppMessageBox(box.c_str(), caption, kAlertStopStyle);
}

// ---- Assertion log ------------------------------------------------------------------------------

void oAssertionFailure(const char* source, unsigned line, const char* text) {
    // Only the stem of the source is logged: no folder, no extension.
    std::string stem = source != nullptr ? source : "";
    if (const auto slash = stem.find_last_of("/\\"); slash != std::string::npos)
        stem.erase(0, slash + 1);
    if (const auto dot = stem.find_last_of('.'); dot != std::string::npos && dot > 0)
        stem.erase(dot);
    const char* t = text != nullptr ? text : "";
    const int n =
        std::snprintf(nullptr, 0, "Assertion failure (%s) on (%s:%u)\n", t, stem.c_str(), line);
    if (n <= 0)
        return;
    std::string entry(static_cast<std::size_t>(n), '\0');
    std::snprintf(entry.data(), entry.size() + 1, "Assertion failure (%s) on (%s:%u)\n", t,
                  stem.c_str(), line);
    s_loggedInfo += entry;
}

void LogInformation(std::string_view line) {
    s_loggedInfo += line;
    s_loggedInfo += '\n';
}

std::string_view LoggedInformation() {
    return s_loggedInfo;
}

void SetLoggedInformation(std::string_view text) {
    s_loggedInfo.assign(text);
}

const std::string& LoggedInformationText() {
    return s_loggedInfo;
}

void SetUnhandledFailReporter(UnhandledFailReporter reporter) {
    s_unhandledFailReporter = reporter;
}

namespace {
int s_unwiredHookNotice = 0;
} // namespace

void UnwiredHook(const char* name) {
    const std::string text = std::string("unwired hook ") + (name ? name : "");
    oAssertionFailure(__FILE__, static_cast<unsigned>(__LINE__), text.c_str());
    if (s_unwiredHookNotice != 0)
        NoteAlert(s_unwiredHookNotice);
}

void SetUnwiredHookNotice(int stringId) {
    s_unwiredHookNotice = stringId;
}
