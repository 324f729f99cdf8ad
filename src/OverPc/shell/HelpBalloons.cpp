#include "OverPc/shell/HelpBalloons.h"

#include "OverPc/PUTIL.h"
#include "OverPc/Presourc.h"
#include "OverPc/shell/Pwindow.h"
#include "OverSrcs/oWindows.h"
#include "plat/Font.h"
#include "plat/Gdi.h"
#include "plat/Input.h"
#include "plat/System.h"
#include "plat/Window.h"

#include <cstring>
#include <vector>

namespace {

constexpr int kWrapWidth = 300; // text wider than this wraps
constexpr int kMargin = 4;      // between the border and the text
// Below-right of the pointer, clear of the arrow.
constexpr int kOffsetX = 12;
constexpr int kOffsetY = 20;

struct BalloonState {
    bool modesRead = false;
    int modes = 0;
    SelectionProbe probe = nullptr;
    // What the pointer rests on, and since when.
    bool hovering = false;
    plat::HWND window = nullptr;
    int32_t kind = 0;
    int32_t info = 0;
    Zone zone{};
    plat::DWORD since = 0;
    // The popup.
    plat::HWND balloon = nullptr;
    std::string text;
    std::vector<std::string> lines;
    int lineHeight = 0;
};

BalloonState& state() {
    static BalloonState s;
    return s;
}

// A switch is on when its text starts with "1"; a number is stored as its bytes, so a value
// whose first byte is not printable is read as a number and is on when it is not 0.
bool switchOn(const char* name) {
    char value[kRegistryValueSize];
    std::memset(value, 0, sizeof value);
    if (!ReadRegistryValue(name, value, sizeof value))
        return false;
    const auto first = static_cast<unsigned char>(value[0]);
    if (first == '1')
        return true;
    if (first >= 0x20)
        return false;
    for (int i = 0; i < 4; ++i)
        if (value[i] != 0)
            return true;
    return false;
}

bool sameZone(const Zone& a, const Zone& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

bool anyInputDown() {
    for (int vk = 1; vk < 256; ++vk)
        if ((plat::GetAsyncKeyState(vk) & 0x8000) != 0)
            return true;
    return false;
}

// Breaks the text into lines no wider than the wrap width, at blanks where it can.
std::vector<std::string> wrapText(plat::HDC dc, const std::string& text, int& widest) {
    std::vector<std::string> lines;
    widest = 0;
    auto width = [&](const std::string& s) {
        plat::SIZE size{};
        plat::GetTextExtentPoint32(dc, s.c_str(), static_cast<int>(s.size()), &size);
        return static_cast<int>(size.cx);
    };
    std::string line;
    std::size_t pos = 0;
    while (pos <= text.size()) {
        const std::size_t next = text.find_first_of(" \n", pos);
        const std::size_t end = next == std::string::npos ? text.size() : next;
        const std::string word = text.substr(pos, end - pos);
        const std::string candidate = line.empty() ? word : line + " " + word;
        if (!line.empty() && width(candidate) > kWrapWidth) {
            lines.push_back(line);
            line = word;
        } else {
            line = candidate;
        }
        if (next != std::string::npos && text[next] == '\n') {
            lines.push_back(line);
            line.clear();
        }
        if (next == std::string::npos)
            break;
        pos = next + 1;
    }
    if (!line.empty() || lines.empty())
        lines.push_back(line);
    for (const std::string& l : lines)
        if (width(l) > widest)
            widest = width(l);
    return lines;
}

plat::LRESULT balloonProc(plat::HWND hwnd, plat::UINT message, plat::WPARAM wParam,
                          plat::LPARAM lParam) {
    if (message == plat::WM_PAINT) {
        plat::PAINTSTRUCT ps;
        plat::HDC dc = plat::BeginPaint(hwnd, &ps);
        plat::RECT client{};
        plat::GetClientRect(hwnd, &client);
        plat::FillRect(dc, &client, plat::GetSysColorBrush(plat::COLOR_INFOBK));
        plat::HGDIOBJ old = plat::SelectObject(dc, plat::GetStockObject(plat::DEFAULT_GUI_FONT));
        plat::SetBkMode(dc, plat::TRANSPARENT);
        plat::SetTextColor(dc, plat::GetSysColor(plat::COLOR_INFOTEXT));
        int y = kMargin;
        for (const std::string& line : state().lines) {
            plat::TextOut(dc, kMargin, y, line.c_str(), static_cast<int>(line.size()));
            y += state().lineHeight;
        }
        plat::SelectObject(dc, old);
        plat::EndPaint(hwnd, &ps);
        return 0;
    }
    return plat::DefWindowProc(hwnd, message, wParam, lParam);
}

bool registerBalloonClass() {
    plat::WNDCLASS existing;
    if (plat::GetClassInfo(nullptr, kBalloonWindowClass, &existing))
        return true;
    plat::WNDCLASS wc;
    wc.lpfnWndProc = &balloonProc;
    wc.hCursor = plat::LoadCursor(nullptr, plat::IDC_ARROW);
    wc.lpszClassName = kBalloonWindowClass;
    return plat::RegisterClass(&wc) != 0;
}

void showBalloon(const char* text, plat::POINT screen) {
    BalloonState& s = state();
    if (text == nullptr || *text == 0 || !registerBalloonClass())
        return;
    s.text = text;
    plat::HDC dc = plat::GetDC(nullptr);
    plat::HGDIOBJ old = plat::SelectObject(dc, plat::GetStockObject(plat::DEFAULT_GUI_FONT));
    int widest = 0;
    s.lines = wrapText(dc, s.text, widest);
    plat::TEXTMETRIC tm{};
    plat::GetTextMetrics(dc, &tm);
    s.lineHeight = static_cast<int>(tm.tmHeight);
    plat::SelectObject(dc, old);
    plat::ReleaseDC(nullptr, dc);
    // Border included.
    const int width = widest + 2 * kMargin + 2;
    const int height = s.lineHeight * static_cast<int>(s.lines.size()) + 2 * kMargin + 2;
    int x = screen.x + kOffsetX;
    int y = screen.y + kOffsetY;
    // Kept on screen: moved left of or above the pointer when it would leave it.
    const int screenWidth = plat::GetSystemMetrics(plat::SM_CXSCREEN);
    const int screenHeight = plat::GetSystemMetrics(plat::SM_CYSCREEN);
    if (x + width > screenWidth)
        x = screenWidth - width;
    if (y + height > screenHeight)
        y = screen.y - height - 2;
    if (x < 0)
        x = 0;
    if (y < 0)
        y = 0;
    s.balloon = plat::CreateWindowEx(plat::WS_EX_TOPMOST, kBalloonWindowClass, "",
                                     plat::WS_POPUP | plat::WS_BORDER, x, y, width, height, nullptr,
                                     nullptr, nullptr, nullptr);
    if (s.balloon != nullptr)
        plat::ShowWindow(s.balloon, plat::SW_SHOWNOACTIVATE);
}

void hideBalloon() {
    BalloonState& s = state();
    // The window may have gone with the others (a reset); its handle is then checked to be still
    // a balloon before it is destroyed.
    char className[64] = {};
    if (s.balloon != nullptr && plat::IsWindow(s.balloon) &&
        plat::GetClassName(s.balloon, className, sizeof className) > 0 &&
        std::strcmp(className, kBalloonWindowClass) == 0)
        plat::DestroyWindow(s.balloon);
    s.balloon = nullptr;
    s.text.clear();
    s.lines.clear();
}

// The program is active when one of its windows is.
bool programActive() {
    const plat::HWND active = plat::GetActiveWindow();
    return active != nullptr;
}

} // namespace

int HelpBalloonModes() {
    BalloonState& s = state();
    if (!s.modesRead) {
        s.modesRead = true;
        s.modes = (switchOn("NotebookTips") ? kNotebookTipsMode : 0) |
                  (switchOn("PaletteTips") ? kPaletteTipsMode : 0);
    }
    return s.modes;
}

void ResetHelpBalloons() {
    hideBalloon();
    BalloonState& s = state();
    const SelectionProbe probe = s.probe;
    s = BalloonState{};
    s.probe = probe;
}

void SetHelpBalloonSelectionProbe(SelectionProbe probe) {
    state().probe = probe;
}

void HideHelpBalloon() {
    hideBalloon();
    state().hovering = false;
}

void HelpBalloonStep() {
    BalloonState& s = state();
    const int modes = HelpBalloonModes();
    if (modes == 0 || !programActive() || anyInputDown()) {
        HideHelpBalloon();
        return;
    }
    plat::POINT screen{};
    if (!plat::GetCursorPos(&screen)) {
        HideHelpBalloon();
        return;
    }
    const plat::HWND under = plat::WindowFromPoint(screen);
    if (under != nullptr && under == s.balloon)
        return; // the pointer went onto the balloon: it stays as it is
    // A window behind a modal run (or disabled) explains nothing.
    oWindow* win =
        under != nullptr && plat::WindowTakesInput(under) ? WindowOfHandle(under) : nullptr;
    if (win == nullptr) {
        HideHelpBalloon();
        return;
    }
    plat::POINT client = screen;
    plat::ScreenToClient(under, &client);
    const oPoint point{client.x, client.y};
    int32_t kind = 0;
    int32_t info = 0;
    Zone zone{};
    win->infoAtPoint(point, kind, info, zone);
    if (Zone area{}; s.probe != nullptr && s.probe(win, point, area)) {
        // Over the selection the balloon explains the selection, not the node under it: the
        // pointer stays in one place while it moves within the highlight.
        kind = (modes & kPaletteTipsMode) != 0 ? 3 : 2;
        info = 0;
        zone = area;
    }

    const plat::DWORD now = plat::GetTickCount();
    if (!s.hovering || under != s.window || kind != s.kind || info != s.info ||
        !sameZone(zone, s.zone)) {
        // Somewhere new: what showed belonged to the old place.
        hideBalloon();
        s.hovering = true;
        s.window = under;
        s.kind = kind;
        s.info = info;
        s.zone = zone;
        s.since = now;
        return;
    }
    if (s.balloon != nullptr)
        return;
    int textId = info;
    if (textId == 0 && kind == 2)
        textId = kSelectionBalloonString;
    else if (textId == 0 && kind == 3)
        textId = kPaletteSelectionBalloonString;
    if (textId <= 0 || now - s.since < kBalloonHoverMs)
        return;
    showBalloon(LoadResString(textId), screen);
}

plat::HWND HelpBalloonWindow() {
    return state().balloon;
}

const std::string& HelpBalloonText() {
    return state().text;
}
