#include "OverPc/PUTIL.h"

#include "OverPc/PERROR.h"
#include "OverPc/Presourc.h"
#include "OverPc/shell/CQVApp.h"
#include "OverPc/shell/Cursors.h"
#include "plat/Dialog.h"
#include "plat/Font.h"
#include "plat/Input.h"
#include "plat/Messages.h"
#include "plat/Registry.h"
#include "plat/System.h"
#include "plat/Window.h"

#include <cstring>
#include <string>

namespace {
std::uint32_t s_abortCalls = 0;
std::uint32_t s_abortFirstTick = 0;
} // namespace

void CheckUserAbort() {
    if (CurrentDialog != nullptr || MessageBoxUpFlag)
        return;
    ++s_abortCalls;
    if (s_abortCalls == 1) {
        s_abortFirstTick = plat::GetTickCount();
        return;
    }
    if (plat::GetTickCount() - s_abortFirstTick > kUserAbortBusyMs)
        ApplyCursor();
    if ((s_abortCalls & 31) == 31 && (plat::GetAsyncKeyState(plat::VK_ESCAPE) & 0x8000) != 0)
        Fail(errUserInterrupt);
}

void ResetUserAbortCounter() {
    s_abortCalls = 0;
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
