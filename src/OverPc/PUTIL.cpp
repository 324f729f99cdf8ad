#include "OverPc/PUTIL.h"

#include "OverPc/PERROR.h"
#include "OverPc/PGRAPHIC.h"
#include "OverPc/Presourc.h"
#include "OverPc/shell/CQVApp.h"
#include "OverPc/shell/Cursors.h"
#include "OverPc/shell/DialogItems.h"
#include "OverPc/shell/SystemDialogScope.h"
#include "plat/CommonDialogs.h"
#include "plat/Dialog.h"
#include "plat/Font.h"
#include "plat/Gdi.h"
#include "plat/Input.h"
#include "plat/Messages.h"
#include "plat/Registry.h"
#include "plat/System.h"
#include "plat/Window.h"

#include <array>
#include <cstring>
#include <memory>
#include <string>

namespace {
std::uint32_t s_abortCalls = 0;
std::uint32_t s_abortFirstTick = 0;
// Nesting of RunUserAction (a paint or a dialog inside a command runs its own).
int s_actionDepth = 0;
// Escape was down when the current action began and has not been released since.
bool s_escapeStartedAction = false;

// When long work last let the window system's pings and selection requests be answered.
std::uint32_t s_answeredTick = 0;
constexpr std::uint32_t kAnswerEveryMs = 100;

// Lets the window system's pings and selection requests be answered when a tenth of a second
// has passed since they last were.
void answerIfDue(std::uint32_t tick) {
    if (tick - s_answeredTick >= kAnswerEveryMs) {
        s_answeredTick = tick;
        plat::AnswerWhileBusy();
    }
}

bool escapeDown() {
    return (plat::GetAsyncKeyState(plat::VK_ESCAPE) & 0x8000) != 0;
}
} // namespace

void CheckUserAbort() {
    // A termination signal waits: the work stops so that the message loop ends the program in
    // order (the preferences and the unsaved documents are kept). It is acknowledged first, so
    // that the unwinding counts as part of the ending and has the ending's grace.
    if (plat::TerminationSignalPending()) {
        plat::AcknowledgeTerminationSignal();
        Fail(errUserInterrupt);
    }
    // The ending's own writing (the recovery copies of large documents) runs to its end: Escape
    // does not stop it, and it spends no time on the clock, the cursor or the keyboard.
    if (plat::EndingOnSignal())
        return;
    // One reading of the clock serves the answers and the busy cursor: long work calls this for
    // every node, where the clock is a measurable share of the time.
    const std::uint32_t tick = plat::GetTickCount();
    answerIfDue(tick);
    if (CurrentDialog != nullptr || MessageBoxUpFlag)
        return;
    ++s_abortCalls;
    if (s_abortCalls == 1) {
        s_abortFirstTick = tick;
        return;
    }
    if (tick - s_abortFirstTick > kUserAbortBusyMs)
        ApplyBusyCursor();
    if ((s_abortCalls & 31) != 31)
        return;
    const bool down = escapeDown();
    if (!down)
        s_escapeStartedAction = false;
    else if (!s_escapeStartedAction)
        Fail(errUserInterrupt);
}

void AnswerWhileBusy() {
    answerIfDue(plat::GetTickCount());
}

void NoteTerminationSignal() {
    plat::AcknowledgeTerminationSignal();
}

void ResetUserAbortCounter() {
    s_abortCalls = 0;
}

void NoteModalClosed() {
    if (escapeDown())
        s_escapeStartedAction = true;
}

void BeginUserAction() {
    if (s_actionDepth++ != 0)
        return;
    ResetUserAbortCounter();
    s_escapeStartedAction = escapeDown();
}

void EndUserAction() {
    if (s_actionDepth > 0)
        --s_actionDepth;
}

bool InputPending() {
    if (FrontWindow() == nullptr && CurrentDialog == nullptr)
        return false;
    const plat::DWORD status = plat::GetQueueStatus(plat::QS_KEY | plat::QS_MOUSEBUTTON);
    return ((status >> 16) & (plat::QS_KEY | plat::QS_MOUSEBUTTON)) != 0;
}

std::uint32_t PauseTicks(std::uint32_t ms) {
    const plat::DWORD start = plat::GetTickCount();
    plat::DWORD now = start;
    while (now - start < ms) {
        plat::MSG msg;
        plat::PeekMessage(&msg, nullptr, 0, 0, plat::PM_NOREMOVE);
        const plat::DWORD left = ms - (now - start);
        plat::Sleep(left < 10 ? left : 10);
        now = plat::GetTickCount();
    }
    return now;
}

unsigned CaretBlinkTime() {
    static const unsigned s_blink = plat::GetCaretBlinkTime();
    return s_blink;
}

void Beep() {
    plat::MessageBeep(0);
}

const char* FindFirstChar(const char* text, char c) {
    if (text == nullptr)
        return nullptr;
    for (const char* p = text; *p != 0; p = plat::CharNext(p))
        if (*p == c)
            return p;
    return nullptr;
}

const char* FindLastChar(const char* text, char c) {
    if (text == nullptr)
        return nullptr;
    const char* last = nullptr;
    for (const char* p = text; *p != 0; p = plat::CharNext(p))
        if (*p == c)
            last = p;
    return last;
}

bool ReadRegistryValue(const char* name, char* buffer, std::size_t size) {
    if (buffer == nullptr || size == 0)
        return false;
    buffer[0] = 0;
    // The key names the version: string 138 up to its first blank (the build tag and the date
    // follow it).
    std::string version;
    if (const char* v = LoadResString(138))
        version.assign(v, strcspn(v, " "));
    const std::string key = "SOFTWARE\\Oxbellan Interactive\\Tessaron Maker\\" + version;
    plat::HKEY hk = nullptr;
    if (plat::RegOpenKeyEx(plat::HKEY_LOCAL_MACHINE, key.c_str(), 0, plat::KEY_READ, &hk) !=
        plat::ERROR_SUCCESS)
        return false;
    plat::DWORD type = 0;
    plat::DWORD cb =
        static_cast<plat::DWORD>(size > kRegistryValueSize ? kRegistryValueSize : size);
    const plat::LONG rc =
        plat::RegQueryValueEx(hk, name, nullptr, &type, reinterpret_cast<plat::BYTE*>(buffer), &cb);
    plat::RegCloseKey(hk);
    if (rc != plat::ERROR_SUCCESS) {
        buffer[0] = 0;
        return false;
    }
    // Whatever the value's type, the caller gets a terminated text.
    buffer[cb < size ? cb : size - 1] = 0;
    return true;
}

// ---- The colour chooser -------------------------------------------------------------------------

namespace {

// Made on first use and kept, so the custom colours the user adds survive from one run of the
// chooser to the next.
std::unique_ptr<std::array<plat::COLORREF, 16>> s_customColors;

} // namespace

bool ChooseColorDialog(const char* /*prompt*/, std::uint8_t* rgb) {
    const plat::HWND owner = GetModalOwnerWindow(false);
    if (!s_customColors) {
        plat::COLORREF background = plat::RGB(255, 255, 255);
        if (const plat::HDC dc = plat::GetDC(owner); dc != nullptr) {
            const plat::COLORREF bk = plat::GetBkColor(dc);
            if (bk != plat::CLR_INVALID)
                background = bk;
            plat::ReleaseDC(owner, dc);
        }
        s_customColors = std::make_unique<std::array<plat::COLORREF, 16>>();
        s_customColors->fill(background);
    }
    plat::CHOOSECOLOR cc;
    cc.hwndOwner = owner;
    cc.lpCustColors = s_customColors->data();
    // The chooser starts on the colour it is given, so that OK alone changes nothing.
    cc.Flags = rgb != nullptr ? plat::CC_RGBINIT : 0;
    if (rgb != nullptr)
        cc.rgbResult = plat::RGB(rgb[0], rgb[1], rgb[2]);
    plat::BOOL chosen = plat::FALSE;
    plat::DWORD error = 0;
    {
        SystemDialogScope scope(owner);
        chosen = plat::ChooseColor(&cc);
        error = chosen ? 0 : plat::CommDlgExtendedError();
    }
    if (!chosen) {
        ReportCommonDialogError(error);
        return false;
    }
    if (rgb != nullptr) {
        rgb[0] = plat::GetRValue(cc.rgbResult);
        rgb[1] = plat::GetGValue(cc.rgbResult);
        rgb[2] = plat::GetBValue(cc.rgbResult);
    }
    return true;
}

void FreeColorChooser() {
    s_customColors.reset();
}

void UseSystemColors() {
    RowOutlineColors[0] = SysColors[kSysSlotButtonFace];
    RowOutlineColors[1] = SysColors[kSysSlotButtonShadow];
    StructureBackgroundColor = SysColors[kSysSlotWindow];
}
