#include "OverPc/shell/DialogItems.h"

#include "OverPc/PERROR.h"
#include "OverPc/PUTIL.h"
#include "OverPc/shell/CQVApp.h"
#include "OverPc/shell/KeyCodes.h"
#include "OverPc/shell/Pwindow.h"
#include "OverPc/shell/oDlgWidget.h"
#include "OverSrcs/commands/kCommandScope.h"
#include "plat/Controls.h"
#include "plat/Dialog.h"
#include "plat/Font.h"
#include "plat/Gdi.h"
#include "plat/Input.h"
#include "plat/Window.h"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <map>
#include <vector>

namespace {

std::vector<plat::HWND>& widgetWindows() {
    static std::vector<plat::HWND> s_windows;
    return s_windows;
}

// One entry per disable still waiting for its enable: the windows that call disabled.
std::vector<std::vector<plat::HWND>>& disabledStack() {
    static std::vector<std::vector<plat::HWND>> s_stack;
    return s_stack;
}

bool isLive(plat::HWND hwnd) {
    return hwnd != nullptr && hwnd != kSystemDialogRunning && plat::IsWindow(hwnd);
}

} // namespace

plat::HWND GetModalOwnerWindow(bool noFallback) {
    const plat::HWND frame = CQVApp::instance().m_MainFrame;
    if (isLive(frame))
        return frame;
    if (isLive(CurrentDialog))
        return CurrentDialog;
    return noFallback ? nullptr : plat::GetActiveWindow();
}

void RegisterWidgetWindow(plat::HWND hwnd) {
    auto& w = widgetWindows();
    if (hwnd != nullptr && std::find(w.begin(), w.end(), hwnd) == w.end())
        w.push_back(hwnd);
}

void UnregisterWidgetWindow(plat::HWND hwnd) {
    auto& w = widgetWindows();
    w.erase(std::remove(w.begin(), w.end(), hwnd), w.end());
}

void EnableWidgetWindows(plat::HWND skip, bool enable) {
    std::vector<plat::HWND> all = widgetWindows();
    const plat::HWND frame = CQVApp::instance().m_MainFrame;
    if (frame != nullptr && std::find(all.begin(), all.end(), frame) == all.end())
        all.push_back(frame);
    if (!enable) {
        std::vector<plat::HWND> disabled;
        for (plat::HWND w : all) {
            if (w == skip || !isLive(w) || !plat::IsWindowEnabled(w))
                continue;
            plat::EnableWindow(w, plat::FALSE);
            disabled.push_back(w);
        }
        disabledStack().push_back(std::move(disabled));
        return;
    }
    if (!disabledStack().empty()) {
        const std::vector<plat::HWND> disabled = std::move(disabledStack().back());
        disabledStack().pop_back();
        for (plat::HWND w : disabled)
            if (isLive(w))
                plat::EnableWindow(w, plat::TRUE);
        return;
    }
    for (plat::HWND w : all)
        if (w != skip && isLive(w))
            plat::EnableWindow(w, plat::TRUE);
}

int CommonDialogErrorCode(unsigned code) {
    if ((code >= 1 && code <= 8) || code == 11)
        return errUnplanned;
    if (code == 9 || code == 10)
        return errNoMemory;
    if ((code >= 0x1001 && code <= 0x1007) || code == 0x1009)
        return errPrinterCheck;
    switch (code) {
    case PDERR_NODEFAULTPRN:
        return errNoDefaultPrinter;
    case PDERR_CREATEICFAILURE:
        return errUnplanned;
    case PDERR_PRINTERNOTFOUND:
        return errPrinterNotFound;
    case CFERR_NOFONTS:
        return errFontsLoad;
    case FNERR_SUBCLASSFAILURE:
    case FNERR_INVALIDFILENAME:
    case FNERR_BUFFERTOOSMALL:
    case CDERR_DIALOGFAILURE:
        return errUnplanned;
    default:
        return 0;
    }
}

int ReportCommonDialogError(unsigned code) {
    if (code == 0)
        return 0;
    if (const int error = CommonDialogErrorCode(code); error != 0)
        ErrorAlert(error);
    return 1;
}

// ---------------------------------------------------------------------------------------------
// Modal runner

int32_t DialogResult = -1;
int32_t DialogInitDone = 0;
int32_t DialogCallbackBusy = 0;
std::uintptr_t DialogParam[kDialogIdCount] = {};
DialogPosition DialogPositionTable[kDialogIdCount];

namespace {

// The owner of the last run; a new non-null answer replaces it, and it is dropped once it is no
// longer a window.
plat::HWND s_modalOwner = nullptr;

plat::HWND currentDialogWindow() {
    return isLive(CurrentDialog) ? CurrentDialog : nullptr;
}

plat::HWND itemOf(int id) {
    plat::HWND d = currentDialogWindow();
    return d ? plat::GetDlgItem(d, id) : nullptr;
}

char s_itemText[kItemTextBufferSize];
int32_t s_lastKeyCode = 0;
int s_listNotifyCode = 0;

// The procedure of every dialog the runner has open, by window. The runner hands the dialog
// manager guardedDialogProc instead, so that a Fail inside a dialog's procedure is shown and the
// dialog goes on (or is closed by its own code) rather than unwinding through the modal loop.
std::map<plat::HWND, plat::DLGPROC>& dialogProcs() {
    static std::map<plat::HWND, plat::DLGPROC> s_procs;
    return s_procs;
}
// The procedure of the dialog being made (its first messages come before its window is known).
plat::DLGPROC s_startingProc = nullptr;

plat::INT_PTR guardedDialogProc(plat::HWND hwnd, plat::UINT message, plat::WPARAM wParam,
                                plat::LPARAM lParam) {
    plat::DLGPROC proc = nullptr;
    if (auto it = dialogProcs().find(hwnd); it != dialogProcs().end())
        proc = it->second;
    else if (s_startingProc != nullptr)
        proc = dialogProcs()[hwnd] = s_startingProc;
    if (proc == nullptr)
        return plat::FALSE;
    plat::INT_PTR result = plat::FALSE;
    RunUserAction([&] { result = proc(hwnd, message, wParam, lParam); });
    if (message == plat::WM_NCDESTROY)
        dialogProcs().erase(hwnd);
    return result;
}

} // namespace

DialogPosition* DialogPositionEntry(int id) {
    if (id < kFirstDialogId || id >= kFirstDialogId + kDialogIdCount)
        return nullptr;
    return &DialogPositionTable[id - kFirstDialogId];
}

void ResetDialogPositions() {
    for (DialogPosition& p : DialogPositionTable)
        p = DialogPosition{};
}

int32_t RunModalDialog(int id, plat::DLGPROC proc) {
    // Dialogs place preview controls of this class; registering again does nothing.
    RegisterOtherPortClass();
    if (plat::HWND answer = GetModalOwnerWindow(false); answer != nullptr)
        s_modalOwner = answer;
    else if (s_modalOwner != nullptr && !plat::IsWindow(s_modalOwner))
        s_modalOwner = nullptr;
    EnableWidgetWindows(s_modalOwner, false);
    // No command may start from the dialog's loop while one that opened it still runs.
    const ModalRunScope modalRun;
    DoubleClickFlag = 0;
    DialogInitDone = 0;
    DialogResult = -1;
    const plat::DLGPROC outerStarting = s_startingProc;
    s_startingProc = proc;
    const plat::INT_PTR result = plat::DialogBoxParam(
        CQVApp::instance().m_hResources, plat::MAKEINTRESOURCE(static_cast<plat::WORD>(id)),
        s_modalOwner, proc ? &guardedDialogProc : nullptr, 0);
    s_startingProc = outerStarting;
    std::erase_if(dialogProcs(), [](const auto& entry) { return !plat::IsWindow(entry.first); });
    DialogResult = static_cast<int32_t>(result);
    EnableWidgetWindows(s_modalOwner, true);
    DoubleClickFlag = 0;
    NoteModalClosed();
    // A dialog that ended without the closing step (one that could not be made, or a procedure
    // that never cleared it) must not stay the current dialog once its window is gone.
    if (CurrentDialog != nullptr && CurrentDialog != kSystemDialogRunning &&
        !plat::IsWindow(CurrentDialog))
        CurrentDialog = nullptr;
    return DialogResult;
}

void PlaceDialog(plat::HWND dialog, DialogPosition& entry) {
    const int fullWidth = plat::GetSystemMetrics(plat::SM_CXFULLSCREEN);
    const int fullHeight = plat::GetSystemMetrics(plat::SM_CYFULLSCREEN);
    plat::RECT r;
    plat::GetWindowRect(dialog, &r);
    const int width = r.right - r.left;
    const int height = r.bottom - r.top;
    if (entry.left == -1 && entry.top == -1) {
        entry.left = (fullWidth - width) / 2;
        entry.top = (fullHeight - height) / 2;
    }
    // A place remembered on a larger screen (or off its edge) is brought back onto this one.
    entry.left = std::min(entry.left, fullWidth - width);
    entry.top = std::min(entry.top, fullHeight - height);
    if (entry.left < 0)
        entry.left = 1;
    if (entry.top < 0)
        entry.top = 1;
    plat::MoveWindow(dialog, entry.left, entry.top, width, height, plat::FALSE);
}

void RememberDialogPosition(plat::HWND dialog, DialogPosition& entry) {
    plat::RECT r;
    if (plat::GetWindowRect(dialog, &r)) {
        entry.left = r.left;
        entry.top = r.top;
    }
}

// ---------------------------------------------------------------------------------------------
// Item operations

void SetRadioGroup(int first, int last, int index) {
    plat::HWND d = currentDialogWindow();
    if (!d || first > last)
        return;
    const bool inRange = index >= 0 && index <= last - first;
    for (int id = first; id <= last; ++id)
        plat::CheckDlgButton(
            d, id, inRange && id == first + index ? plat::BST_CHECKED : plat::BST_UNCHECKED);
}

int GetRadioIndex(int first, int last) {
    plat::HWND d = currentDialogWindow();
    if (!d || first > last)
        return -1;
    for (int id = first; id <= last; ++id)
        if (plat::IsDlgButtonChecked(d, id) == plat::BST_CHECKED)
            return id - first;
    return -1;
}

void CheckRadioInRange(int first, int last, int id) {
    plat::HWND d = currentDialogWindow();
    if (d && first <= id && id <= last)
        plat::CheckRadioButton(d, first, last, id);
}

void SetCheck(int id, bool on) {
    if (plat::HWND d = currentDialogWindow())
        plat::CheckDlgButton(d, id, on ? plat::BST_CHECKED : plat::BST_UNCHECKED);
}

bool IsChecked(int id) {
    plat::HWND d = currentDialogWindow();
    return d && plat::IsDlgButtonChecked(d, id) == plat::BST_CHECKED;
}

void ToggleCheck(int id) {
    SetCheck(id, !IsChecked(id));
}

void EnableItem(int id, bool enable) {
    if (plat::HWND item = itemOf(id))
        plat::EnableWindow(item, enable ? plat::TRUE : plat::FALSE);
}

void SetItemEnabled(int id, bool enable) {
    EnableItem(id, enable);
}

void SetEditSelection(int id, int start, int end) {
    plat::HWND item = itemOf(id);
    if (!item || start < 0 || end < 0)
        return;
    const int length = plat::GetWindowTextLength(item);
    plat::SendMessage(item, plat::EM_SETSEL, static_cast<plat::WPARAM>(start),
                      static_cast<plat::LPARAM>(std::min(end, length)));
}

void SetItemText(int id, const char* text) {
    if (plat::HWND d = currentDialogWindow())
        plat::SetDlgItemText(d, id, text ? text : "");
}

char* ItemTextBuffer() {
    return s_itemText;
}

const char* GetItemText(int id) {
    s_itemText[0] = '\0';
    if (plat::HWND d = currentDialogWindow())
        plat::GetDlgItemText(d, id, s_itemText, static_cast<int>(kItemTextBufferSize));
    return s_itemText;
}

std::string GetItemTextAll(int id) {
    plat::HWND item = itemOf(id);
    if (!item)
        return {};
    std::string text(static_cast<std::size_t>(plat::GetWindowTextLength(item)) + 1, '\0');
    const int n = plat::GetWindowText(item, text.data(), static_cast<int>(text.size()));
    text.resize(static_cast<std::size_t>(std::max(n, 0)));
    return text;
}

void CopyItemTextToField(int id, char* field, std::size_t size) {
    if (!field || size == 0)
        return;
    const std::string text = GetItemTextAll(id);
    const std::size_t n = std::min(text.size(), size - 1);
    std::memcpy(field, text.data(), n);
    field[n] = '\0';
}

void SetItemInt(int id, int32_t value) {
    if (plat::HWND d = currentDialogWindow())
        plat::SetDlgItemInt(d, id, static_cast<plat::UINT>(value), plat::TRUE);
}

int32_t ParseItemInt(const char* text, bool* ok) {
    if (ok)
        *ok = false;
    if (!text)
        return 0;
    const char* p = text;
    while (*p == ' ' || *p == '\t')
        ++p;
    bool negative = false;
    if (*p == '+' || *p == '-')
        negative = *p++ == '-';
    if (*p < '0' || *p > '9')
        return 0;
    long long value = 0;
    bool overflow = false;
    for (; *p >= '0' && *p <= '9'; ++p) {
        if (!overflow) {
            value = value * 10 + (*p - '0');
            if (value > static_cast<long long>(INT32_MAX) + 1)
                overflow = true;
        }
    }
    if (negative)
        value = -value;
    if (overflow || value > INT32_MAX || value < INT32_MIN) {
        return negative ? INT32_MIN : INT32_MAX;
    }
    if (ok)
        *ok = true;
    return static_cast<int32_t>(value);
}

int32_t GetItemInt(int id, bool* ok) {
    // Read into a buffer of its own: the shared text buffer may still hold a caller's text.
    const std::string text = GetItemTextAll(id);
    return ParseItemInt(text.c_str(), ok);
}

void SetDialogFont(plat::HWND dialog) {
    plat::HGDIOBJ font = plat::GetStockObject(plat::DEFAULT_GUI_FONT);
    for (plat::HWND c = plat::GetWindow(dialog, plat::GW_CHILD); c;
         c = plat::GetWindow(c, plat::GW_HWNDNEXT))
        plat::SendMessage(c, plat::WM_SETFONT, reinterpret_cast<plat::WPARAM>(font), plat::TRUE);
}

// ---------------------------------------------------------------------------------------------
// Key names and the key-capture item

void SetItemKeyName(int id, int32_t keyIndex) {
    s_lastKeyCode = keyIndex;
    SetItemText(id, GetKeyName(keyIndex).c_str());
}

int32_t GetItemKeyCode() {
    return s_lastKeyCode;
}

namespace {

plat::WNDPROC s_capturePrevProc = nullptr;
plat::HWND s_captureItem = nullptr;

plat::LRESULT callPrevious(plat::HWND hwnd, plat::UINT message, plat::WPARAM wParam,
                           plat::LPARAM lParam) {
    if (s_capturePrevProc)
        return plat::CallWindowProc(s_capturePrevProc, hwnd, message, wParam, lParam);
    return plat::DefWindowProc(hwnd, message, wParam, lParam);
}

} // namespace

plat::LRESULT KeyCaptureItemProc(plat::HWND hwnd, plat::UINT message, plat::WPARAM wParam,
                                 plat::LPARAM lParam) {
    switch (message) {
    case plat::WM_GETDLGCODE:
        return plat::DLGC_WANTALLKEYS;
    case plat::WM_KEYDOWN:
    case plat::WM_SYSKEYDOWN: {
        const int vk = static_cast<int>(wParam);
        if (vk == plat::VK_CAPITAL || vk == plat::VK_NUMLOCK || vk == plat::VK_SCROLL)
            return callPrevious(hwnd, message, wParam, lParam);
        plat::MSG msg;
        msg.hwnd = hwnd;
        msg.message = message;
        msg.wParam = wParam;
        msg.lParam = lParam;
        const plat::KeyChars chars = plat::GetKeyChars(msg);
        plat::TranslateMessage(&msg);
        plat::MSG dropped;
        while (plat::PeekMessage(&dropped, hwnd, plat::WM_CHAR, plat::WM_CHAR, plat::PM_REMOVE) ||
               plat::PeekMessage(&dropped, hwnd, plat::WM_SYSCHAR, plat::WM_SYSCHAR,
                                 plat::PM_REMOVE)) {
        }
        SnapshotModifierKeys();
        const int32_t index =
            KeyIndexOf(vk, chars.base, chars.keypad, (ModifierFlags & kModAlt) != 0,
                       (ModifierFlags & kModCtrl) != 0);
        // A lone modifier (or a dead key) has no key-map index: the item keeps its key.
        if (index != 0) {
            s_lastKeyCode = index;
            plat::SetWindowText(hwnd, GetKeyName(index).c_str());
        }
        return 0;
    }
    case plat::WM_KEYUP:
    case plat::WM_SYSKEYUP:
    case plat::WM_CHAR:
    case plat::WM_SYSCHAR:
        return 0;
    case plat::WM_SETFOCUS:
        SnapshotModifierKeys();
        break;
    default:
        break;
    }
    return callPrevious(hwnd, message, wParam, lParam);
}

void SubclassKeyCaptureItem(plat::HWND dialog, int id) {
    plat::HWND item = dialog ? plat::GetDlgItem(dialog, id) : nullptr;
    if (!item)
        return;
    if (s_captureItem && plat::IsWindow(s_captureItem))
        UnsubclassKeyCaptureItem(plat::GetParent(s_captureItem), plat::GetDlgCtrlID(s_captureItem));
    s_capturePrevProc = reinterpret_cast<plat::WNDPROC>(plat::SetWindowLongPtr(
        item, plat::GWLP_WNDPROC, reinterpret_cast<plat::LONG_PTR>(&KeyCaptureItemProc)));
    s_captureItem = item;
}

void UnsubclassKeyCaptureItem(plat::HWND dialog, int id) {
    plat::HWND item = dialog ? plat::GetDlgItem(dialog, id) : nullptr;
    if (!item || item != s_captureItem)
        return;
    if (s_capturePrevProc)
        plat::SetWindowLongPtr(item, plat::GWLP_WNDPROC,
                               reinterpret_cast<plat::LONG_PTR>(s_capturePrevProc));
    s_capturePrevProc = nullptr;
    s_captureItem = nullptr;
}

// ---------------------------------------------------------------------------------------------
// Pictures

namespace {

// A top-down 32-bit section of width x height selected into a new memory DC.
struct Section {
    plat::HDC dc = nullptr;
    plat::HBITMAP bitmap = nullptr;
    plat::HGDIOBJ old = nullptr;
    std::uint32_t* bits = nullptr;

    Section(plat::HDC like, int width, int height) {
        plat::BITMAPINFO bmi{};
        bmi.bmiHeader.biWidth = width;
        bmi.bmiHeader.biHeight = -height;
        bmi.bmiHeader.biBitCount = 32;
        void* data = nullptr;
        bitmap = plat::CreateDIBSection(like, &bmi, plat::DIB_RGB_COLORS, &data, nullptr, 0);
        dc = plat::CreateCompatibleDC(like);
        if (bitmap && dc) {
            old = plat::SelectObject(dc, bitmap);
            bits = static_cast<std::uint32_t*>(data);
        }
    }
    ~Section() {
        if (dc && old)
            plat::SelectObject(dc, old);
        if (dc)
            plat::DeleteDC(dc);
        if (bitmap)
            plat::DeleteObject(bitmap);
    }
    Section(const Section&) = delete;
    Section& operator=(const Section&) = delete;
};

// Draws the bitmap selected in `source` with its pure white pixels left out, so they show what
// was there (the dialog's background) and every other pixel keeps its own colour. A mask that is
// white where the picture is white clears the picture's place on the destination (AND), and the
// picture with its white turned black is then added into that hole (OR).
void drawWhiteTransparent(plat::HDC dc, int x, int y, int width, int height, plat::HDC source,
                          int sourceWidth, int sourceHeight) {
    Section picture(source, sourceWidth, sourceHeight);
    Section mask(source, sourceWidth, sourceHeight);
    if (!picture.bits || !mask.bits) {
        // Without room for the mask the picture is still better shown whole than not at all.
        plat::StretchBlt(dc, x, y, width, height, source, 0, 0, sourceWidth, sourceHeight,
                         plat::SRCCOPY);
        return;
    }
    plat::BitBlt(picture.dc, 0, 0, sourceWidth, sourceHeight, source, 0, 0, plat::SRCCOPY);
    plat::GdiFlush();
    const std::size_t count =
        static_cast<std::size_t>(sourceWidth) * static_cast<std::size_t>(sourceHeight);
    for (std::size_t i = 0; i < count; ++i) {
        const bool white = (picture.bits[i] & 0x00FFFFFFu) == 0x00FFFFFFu;
        mask.bits[i] = white ? 0x00FFFFFFu : 0u;
        if (white)
            picture.bits[i] = 0;
    }
    // Both passes must pick the same source pixels, and neither may blend them when shrinking.
    const int oldMode = plat::SetStretchBltMode(dc, plat::COLORONCOLOR);
    plat::StretchBlt(dc, x, y, width, height, mask.dc, 0, 0, sourceWidth, sourceHeight,
                     plat::SRCAND);
    plat::StretchBlt(dc, x, y, width, height, picture.dc, 0, 0, sourceWidth, sourceHeight,
                     plat::SRCPAINT);
    if (oldMode != 0)
        plat::SetStretchBltMode(dc, oldMode);
}

} // namespace

bool DrawDialogBitmap(plat::HWND dialog, plat::HDC dc, int bitmapId, int x, int y, int flags) {
    plat::HBITMAP bitmap = plat::LoadBitmap(
        CQVApp::instance().m_hResources, plat::MAKEINTRESOURCE(static_cast<plat::WORD>(bitmapId)));
    if (!bitmap)
        return false;
    // The screen's resolution is read once: it does not change while the program runs.
    static const std::pair<int, int> s_dpi = [] {
        plat::HDC screen = plat::GetDC(nullptr);
        const std::pair<int, int> dpi{plat::GetDeviceCaps(screen, plat::LOGPIXELSX),
                                      plat::GetDeviceCaps(screen, plat::LOGPIXELSY)};
        plat::ReleaseDC(nullptr, screen);
        return dpi;
    }();
    plat::BITMAP info{};
    plat::GetObject(bitmap, sizeof info, &info);
    const plat::LONG base = plat::GetDialogBaseUnits();
    const int px = x * plat::LOWORD(base) / 4;
    const int py = y * plat::HIWORD(base) / 8;
    const int width = info.bmWidth * s_dpi.first / 96;
    const int height = info.bmHeight * s_dpi.second / 96;
    plat::HDC memory = plat::CreateCompatibleDC(dc);
    plat::HGDIOBJ old = plat::SelectObject(memory, bitmap);
    if (flags & kBitmapTransparent)
        drawWhiteTransparent(dc, px, py, width, height, memory, info.bmWidth, info.bmHeight);
    else
        plat::StretchBlt(dc, px, py, width, height, memory, 0, 0, info.bmWidth, info.bmHeight,
                         plat::SRCCOPY);
    plat::SelectObject(memory, old);
    plat::DeleteDC(memory);
    plat::DeleteObject(bitmap);
    plat::RECT r{px, py, px + width, py + height};
    if (flags & kBitmapFramed) {
        const plat::RECT frame{px - 1, py - 1, px + width + 1, py + height + 1};
        plat::FrameRect(dc, &frame,
                        static_cast<plat::HBRUSH>(plat::GetStockObject(plat::BLACK_BRUSH)));
        r = frame;
    }
    plat::ValidateRect(dialog, &r);
    return true;
}

void SetListBoxNotifyCode(int code) {
    s_listNotifyCode = code;
}

int ListBoxNotifyCode() {
    return s_listNotifyCode;
}
