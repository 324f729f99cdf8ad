// The status bar control: a row of parts along the bottom of its parent, each with a text. It
// places itself when created and whenever it receives WM_SIZE (the parent forwards its own).

#include "core/menu/MenuInternal.h"
#include "core/win/WinInternal.h"
#include "plat/Font.h"
#include "plat/Gdi.h"
#include "plat/Window.h"

#include <algorithm>
#include <cstring>
#include <map>

namespace plat::core {

namespace {

constexpr int kMaxParts = 256;
constexpr int kPartGap = 2;
constexpr int kTextInset = 4;

struct StatusBar {
    std::vector<int> rights{-1}; // right edge of each part; -1 runs to the bar's right edge
    std::vector<std::string> texts{std::string()};
};

std::map<HWND, StatusBar>& bars() {
    static std::map<HWND, StatusBar> m;
    return m;
}

int barHeight() {
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    TEXTMETRIC tm;
    const int h = GetTextMetrics(dc, &tm) ? tm.tmHeight + 7 : 20;
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    return h;
}

// Along the bottom of the parent's client area, its full width.
void placeSelf(HWND hwnd) {
    const HWND parent = GetParent(hwnd);
    RECT pc;
    if (!parent || !GetClientRect(parent, &pc))
        return;
    const int h = barHeight();
    MoveWindow(hwnd, 0, pc.bottom - h, pc.right, h, TRUE);
}

RECT partRect(const StatusBar& sb, std::size_t i, int width, int height) {
    const int left = i == 0 ? 0 : std::min(width, std::max(0, sb.rights[i - 1]) + kPartGap);
    int right = sb.rights[i];
    if (right < 0 || right > width)
        right = width;
    return RECT{left, 0, std::max(left, right), height};
}

void paint(HWND hwnd, const StatusBar& sb) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    RECT rc;
    GetClientRect(hwnd, &rc);
    FillRect(dc, &rc, GetSysColorBrush(COLOR_BTNFACE));
    HGDIOBJ oldFont = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    TEXTMETRIC tm;
    GetTextMetrics(dc, &tm);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
    for (std::size_t i = 0; i < sb.rights.size(); ++i) {
        RECT r = partRect(sb, i, rc.right, rc.bottom);
        r.top += 2;
        if (r.right - r.left < 2)
            continue;
        // A sunken one-pixel edge around each part.
        RECT edge{r.left, r.top, r.right, r.top + 1};
        FillRect(dc, &edge, GetSysColorBrush(COLOR_3DSHADOW));
        edge = RECT{r.left, r.top, r.left + 1, r.bottom};
        FillRect(dc, &edge, GetSysColorBrush(COLOR_3DSHADOW));
        edge = RECT{r.left, r.bottom - 1, r.right, r.bottom};
        FillRect(dc, &edge, GetSysColorBrush(COLOR_3DHIGHLIGHT));
        edge = RECT{r.right - 1, r.top, r.right, r.bottom};
        FillRect(dc, &edge, GetSysColorBrush(COLOR_3DHIGHLIGHT));
        const std::string& t = sb.texts[i];
        const RECT clip{r.left + 1, r.top + 1, r.right - 1, r.bottom - 1};
        const int y = r.top + (r.bottom - r.top - tm.tmHeight) / 2;
        ExtTextOut(dc, r.left + kTextInset, y, ETO_CLIPPED, &clip, t.data(),
                   static_cast<UINT>(t.size()), nullptr);
    }
    SelectObject(dc, oldFont);
    EndPaint(hwnd, &ps);
}

} // namespace

LRESULT StatusBarProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_CREATE: {
        bars()[hwnd] = StatusBar{};
        if (const auto* cs = reinterpret_cast<const CREATESTRUCT*>(lParam); cs && cs->lpszName)
            bars()[hwnd].texts[0] = cs->lpszName;
        placeSelf(hwnd);
        return 0;
    }
    case WM_DESTROY:
        bars().erase(hwnd);
        return 0;
    default:
        break;
    }
    auto it = bars().find(hwnd);
    if (it == bars().end())
        return DefWindowProc(hwnd, msg, wParam, lParam);
    StatusBar& sb = it->second;
    switch (msg) {
    case WM_SIZE:
        // The parent forwards its WM_SIZE; our own move sends one back, which changes nothing.
        placeSelf(hwnd);
        return 0;
    case WM_PAINT:
        paint(hwnd, sb);
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_SETTEXT:
        sb.texts[0] = lParam ? reinterpret_cast<const char*>(lParam) : "";
        InvalidateRect(hwnd, nullptr, FALSE);
        return DefWindowProc(hwnd, msg, wParam, lParam);
    case SB_SETPARTS: {
        const int n = static_cast<int>(wParam);
        const int* rights = reinterpret_cast<const int*>(lParam);
        if (n < 1 || n > kMaxParts || !rights)
            return FALSE;
        sb.rights.assign(rights, rights + n);
        sb.texts.resize(static_cast<std::size_t>(n)); // texts of dropped parts go with them
        InvalidateRect(hwnd, nullptr, FALSE);
        return TRUE;
    }
    case SB_GETPARTS: {
        const int n = static_cast<int>(wParam);
        int* out = reinterpret_cast<int*>(lParam);
        if (out) {
            for (int i = 0; i < n && i < static_cast<int>(sb.rights.size()); ++i)
                out[i] = sb.rights[static_cast<std::size_t>(i)];
        }
        return static_cast<LRESULT>(sb.rights.size());
    }
    case SB_SETTEXT: {
        const std::size_t part = wParam & 0xFF;
        if (part >= sb.texts.size())
            return FALSE;
        sb.texts[part] = lParam ? reinterpret_cast<const char*>(lParam) : "";
        InvalidateRect(hwnd, nullptr, FALSE);
        return TRUE;
    }
    case SB_GETTEXTLENGTH: {
        const std::size_t part = wParam & 0xFF;
        return part < sb.texts.size() ? static_cast<LRESULT>(sb.texts[part].size()) : 0;
    }
    case SB_GETTEXT: {
        const std::size_t part = LOWORD(wParam) & 0xFF;
        const int size = HIWORD(wParam);
        char* buffer = reinterpret_cast<char*>(lParam);
        if (part >= sb.texts.size())
            return 0;
        const std::string& t = sb.texts[part];
        if (buffer && size > 0) {
            const int n = std::min<int>(size - 1, static_cast<int>(t.size()));
            std::memcpy(buffer, t.data(), static_cast<std::size_t>(n));
            buffer[n] = '\0';
        }
        return static_cast<LRESULT>(t.size());
    }
    default:
        return DefWindowProc(hwnd, msg, wParam, lParam);
    }
}

void ResetStatusBars() {
    bars().clear();
}

} // namespace plat::core
