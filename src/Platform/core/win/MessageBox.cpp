// The message box: a small modal top-level window with text, an icon and up to three buttons,
// drawn directly on its backing image. Tests answer it through a hook before it is built.

#include "core/win/WinInternal.h"
#include "plat/Dialog.h"
#include "plat/System.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace plat::core {

namespace {

MessageBoxHook s_hook;
TestFailureReporter s_reporter = nullptr;

const char* const kBoxClass = "KvMessageBox";
constexpr int kMargin = 12;
constexpr int kIcon = 32;
constexpr int kButtonW = 75;
constexpr int kButtonH = 23;
constexpr int kButtonGap = 6;
constexpr double kFontSize = 13.0;
constexpr int kLineHeight = 16;

struct Button {
    int id;
    const char* label; // cp1252
    RECT rect;
};

struct Box {
    std::string text;
    UINT type = 0;
    std::vector<Button> buttons;
    std::vector<std::string> lines; // wrapped, cp1252
    int focus = 0;
    int pressed = -1;
    int result = 0;
    int iconKind = 0; // MB_ICON* >> 4
    RECT textRect;
};

Box* boxOf(HWND hwnd) {
    return reinterpret_cast<Box*>(GetWindowLongPtr(hwnd, GWL_USERDATA));
}

void buttonsFor(UINT type, std::vector<Button>& out) {
    // The labels are cp1252 bytes.
    static const char kOk[] = "OK";
    static const char kCancel[] = "Annuler";
    static const char kRetry[] = "R\xE9"
                                 "essayer";
    static const char kYes[] = "Oui";
    static const char kNo[] = "Non";
    switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL:
        out = {{IDOK, kOk, {}}, {IDCANCEL, kCancel, {}}};
        break;
    case MB_RETRYCANCEL:
        out = {{IDRETRY, kRetry, {}}, {IDCANCEL, kCancel, {}}};
        break;
    case MB_YESNO:
        out = {{IDYES, kYes, {}}, {IDNO, kNo, {}}};
        break;
    case MB_YESNOCANCEL:
        out = {{IDYES, kYes, {}}, {IDNO, kNo, {}}, {IDCANCEL, kCancel, {}}};
        break;
    default:
        out = {{IDOK, kOk, {}}};
        break;
    }
}

// Escape and the close box: Cancel when there is one, OK for an OK-only box, else nothing.
int escapeAnswer(const Box& b) {
    for (const Button& bt : b.buttons) {
        if (bt.id == IDCANCEL)
            return IDCANCEL;
    }
    if (b.buttons.size() == 1)
        return b.buttons.front().id;
    return 0;
}

cairo_t* textContext(cairo_surface_t* s) {
    cairo_t* cr = cairo_create(s);
    cairo_select_font_face(cr, "Liberation Sans", CAIRO_FONT_SLANT_NORMAL,
                           CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, kFontSize);
    cairo_font_options_t* fo = cairo_font_options_create();
    cairo_font_options_set_antialias(fo, CAIRO_ANTIALIAS_NONE);
    cairo_font_options_set_hint_style(fo, CAIRO_HINT_STYLE_NONE);
    cairo_set_font_options(cr, fo);
    cairo_font_options_destroy(fo);
    return cr;
}

int textWidth(cairo_t* cr, const std::string& cp1252) {
    cairo_text_extents_t ext;
    const std::string u = Utf8FromCp1252Text(cp1252);
    cairo_text_extents(cr, u.c_str(), &ext);
    return static_cast<int>(std::ceil(ext.x_advance));
}

// Breaks the text into lines: "\n" (or CR LF) breaks, and words wrap at `maxWidth`.
std::vector<std::string> wrap(cairo_t* cr, const std::string& text, int maxWidth) {
    std::vector<std::string> lines;
    std::string para;
    auto flushPara = [&](const std::string& p) {
        std::string line;
        std::size_t i = 0;
        while (i <= p.size()) {
            std::size_t sp = p.find(' ', i);
            if (sp == std::string::npos)
                sp = p.size();
            const std::string word = p.substr(i, sp - i);
            const std::string candidate = line.empty() ? word : line + " " + word;
            if (!line.empty() && textWidth(cr, candidate) > maxWidth) {
                lines.push_back(line);
                line = word;
            } else {
                line = candidate;
            }
            i = sp + 1;
        }
        lines.push_back(line);
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r')
            continue;
        if (text[i] == '\n') {
            flushPara(para);
            para.clear();
        } else {
            para += text[i];
        }
    }
    flushPara(para);
    return lines;
}

void setRgb(cairo_t* cr, COLORREF c) {
    cairo_set_source_rgb(cr, GetRValue(c) / 255.0, GetGValue(c) / 255.0, GetBValue(c) / 255.0);
}

void fill(cairo_t* cr, int x, int y, int w, int h, COLORREF c) {
    setRgb(cr, c);
    cairo_rectangle(cr, x, y, w, h);
    cairo_fill(cr);
}

void drawIcon(cairo_t* cr, int kind, int x, int y) {
    const double cx = x + kIcon / 2.0, cy = y + kIcon / 2.0;
    switch (kind) {
    case 1: // hand: a red disc with a white cross
        setRgb(cr, RGB(255, 0, 0));
        cairo_arc(cr, cx, cy, 15, 0, 2 * M_PI);
        cairo_fill(cr);
        setRgb(cr, RGB(255, 255, 255));
        cairo_set_line_width(cr, 4);
        cairo_move_to(cr, cx - 7, cy - 7);
        cairo_line_to(cr, cx + 7, cy + 7);
        cairo_move_to(cr, cx + 7, cy - 7);
        cairo_line_to(cr, cx - 7, cy + 7);
        cairo_stroke(cr);
        break;
    case 2: // question: a white disc with a blue "?"
    case 4: // information: a white disc with a blue "i"
        setRgb(cr, RGB(255, 255, 255));
        cairo_arc(cr, cx, cy, 15, 0, 2 * M_PI);
        cairo_fill_preserve(cr);
        setRgb(cr, RGB(0, 0, 0));
        cairo_set_line_width(cr, 1);
        cairo_stroke(cr);
        setRgb(cr, RGB(0, 0, 255));
        cairo_set_font_size(cr, 22);
        cairo_move_to(cr, cx - (kind == 2 ? 6 : 3), cy + 8);
        cairo_show_text(cr, kind == 2 ? "?" : "i");
        cairo_set_font_size(cr, kFontSize);
        break;
    case 3: // exclamation: a yellow triangle with a black "!"
        setRgb(cr, RGB(255, 255, 0));
        cairo_move_to(cr, cx, y + 1);
        cairo_line_to(cr, x + kIcon - 1, y + kIcon - 2);
        cairo_line_to(cr, x + 1, y + kIcon - 2);
        cairo_close_path(cr);
        cairo_fill_preserve(cr);
        setRgb(cr, RGB(0, 0, 0));
        cairo_set_line_width(cr, 1);
        cairo_stroke(cr);
        fill(cr, static_cast<int>(cx) - 1, y + 10, 3, 12, RGB(0, 0, 0));
        fill(cr, static_cast<int>(cx) - 1, y + 24, 3, 3, RGB(0, 0, 0));
        break;
    default:
        break;
    }
}

// A classic 3-D push button; the default (focused) one has a black outer frame.
void drawButton(cairo_t* cr, const Button& b, bool focused, bool pressed) {
    const int x = b.rect.left, y = b.rect.top;
    const int w = b.rect.right - b.rect.left, h = b.rect.bottom - b.rect.top;
    fill(cr, x, y, w, h, GetSysColor(COLOR_BTNFACE));
    int ix = x, iy = y, iw = w, ih = h;
    if (focused) {
        setRgb(cr, RGB(0, 0, 0));
        cairo_set_line_width(cr, 1);
        cairo_rectangle(cr, x + 0.5, y + 0.5, w - 1, h - 1);
        cairo_stroke(cr);
        ix += 1;
        iy += 1;
        iw -= 2;
        ih -= 2;
    }
    const COLORREF light = pressed ? GetSysColor(COLOR_BTNSHADOW) : GetSysColor(COLOR_3DHIGHLIGHT);
    const COLORREF dark = pressed ? GetSysColor(COLOR_3DHIGHLIGHT) : GetSysColor(COLOR_3DDKSHADOW);
    fill(cr, ix, iy, iw, 1, light);
    fill(cr, ix, iy, 1, ih, light);
    fill(cr, ix, iy + ih - 1, iw, 1, dark);
    fill(cr, ix + iw - 1, iy, 1, ih, dark);
    if (!pressed) {
        fill(cr, ix + 1, iy + ih - 2, iw - 2, 1, GetSysColor(COLOR_BTNSHADOW));
        fill(cr, ix + iw - 2, iy + 1, 1, ih - 2, GetSysColor(COLOR_BTNSHADOW));
    }
    setRgb(cr, GetSysColor(COLOR_BTNTEXT));
    const int tw = textWidth(cr, b.label);
    const std::string u = Utf8FromCp1252Text(b.label);
    cairo_move_to(cr, x + (w - tw) / 2 + (pressed ? 1 : 0), y + h / 2 + 5 + (pressed ? 1 : 0));
    cairo_show_text(cr, u.c_str());
    if (focused) {
        // The focus rectangle: a dotted frame inside the button.
        const double dash[] = {1.0};
        cairo_set_dash(cr, dash, 1, 0);
        cairo_set_line_width(cr, 1);
        cairo_rectangle(cr, x + 4.5, y + 4.5, w - 9, h - 9);
        cairo_stroke(cr);
        cairo_set_dash(cr, nullptr, 0, 0);
    }
}

void paintBox(HWND hwnd, Box& b) {
    PAINTSTRUCT ps;
    BeginPaint(hwnd, &ps);
    Window* w = FindWindow(hwnd);
    if (w && w->image) {
        cairo_t* cr = textContext(w->image);
        fill(cr, 0, 0, w->clientWidth(), w->clientHeight(), GetSysColor(COLOR_BTNFACE));
        if (b.iconKind)
            drawIcon(cr, b.iconKind, kMargin, kMargin);
        setRgb(cr, GetSysColor(COLOR_WINDOWTEXT));
        int y = b.textRect.top + 12;
        for (const std::string& line : b.lines) {
            const std::string u = Utf8FromCp1252Text(line);
            cairo_move_to(cr, b.textRect.left, y);
            cairo_show_text(cr, u.c_str());
            y += kLineHeight;
        }
        for (std::size_t i = 0; i < b.buttons.size(); ++i)
            drawButton(cr, b.buttons[i], static_cast<int>(i) == b.focus,
                       static_cast<int>(i) == b.pressed);
        cairo_destroy(cr);
        cairo_surface_mark_dirty(w->image);
    }
    // The whole box is drawn each time; show all of it.
    PAINTSTRUCT whole = ps;
    if (w)
        whole.rcPaint = RECT{0, 0, w->clientWidth(), w->clientHeight()};
    EndPaint(hwnd, &whole);
}

int buttonAt(const Box& b, int x, int y) {
    for (std::size_t i = 0; i < b.buttons.size(); ++i) {
        const RECT& r = b.buttons[i].rect;
        if (x >= r.left && x < r.right && y >= r.top && y < r.bottom)
            return static_cast<int>(i);
    }
    return -1;
}

LRESULT boxProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Box* b = boxOf(hwnd);
    if (!b)
        return DefWindowProc(hwnd, msg, wParam, lParam);
    const int n = static_cast<int>(b->buttons.size());
    switch (msg) {
    case WM_PAINT:
        paintBox(hwnd, *b);
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
        switch (static_cast<int>(wParam)) {
        case VK_ESCAPE:
            b->result = escapeAnswer(*b);
            return 0;
        case VK_RETURN:
        case VK_SPACE:
            b->result = b->buttons[static_cast<std::size_t>(b->focus)].id;
            return 0;
        case VK_TAB:
        case VK_RIGHT:
        case VK_DOWN:
        case VK_LEFT:
        case VK_UP: {
            const bool back =
                wParam == static_cast<WPARAM>(VK_LEFT) || wParam == static_cast<WPARAM>(VK_UP) ||
                (wParam == static_cast<WPARAM>(VK_TAB) && (GetKeyState(VK_SHIFT) & 0x8000));
            b->focus = (b->focus + (back ? n - 1 : 1)) % n;
            InvalidateRect(hwnd, nullptr, FALSE);
            return 0;
        }
        case VK_F4:
            if (msg == WM_SYSKEYDOWN)
                b->result = escapeAnswer(*b);
            return 0;
        default:
            return 0;
        }
    case WM_LBUTTONDOWN: {
        const int i = buttonAt(*b, GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
        if (i >= 0) {
            b->pressed = i;
            b->focus = i;
            SetCapture(hwnd);
            InvalidateRect(hwnd, nullptr, FALSE);
        }
        return 0;
    }
    case WM_LBUTTONUP: {
        const int i = buttonAt(*b, GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
        const int was = b->pressed;
        b->pressed = -1;
        if (GetCapture() == hwnd)
            ReleaseCapture();
        InvalidateRect(hwnd, nullptr, FALSE);
        if (was >= 0 && i == was)
            b->result = b->buttons[static_cast<std::size_t>(i)].id;
        return 0;
    }
    case WM_CLOSE:
        b->result = escapeAnswer(*b);
        return 0;
    default:
        return DefWindowProc(hwnd, msg, wParam, lParam);
    }
}

void layout(Box& b, int& clientW, int& clientH) {
    cairo_surface_t* scratch = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 1, 1);
    cairo_t* cr = textContext(scratch);
    const int maxText = GetSystemMetrics(SM_CXSCREEN) * 5 / 8;
    b.lines = wrap(cr, b.text, maxText);
    int textW = 0;
    for (const std::string& l : b.lines)
        textW = std::max(textW, textWidth(cr, l));
    cairo_destroy(cr);
    cairo_surface_destroy(scratch);
    const int textH = static_cast<int>(b.lines.size()) * kLineHeight;
    const int left = kMargin + (b.iconKind ? kIcon + kMargin : 0);
    const int bodyH = std::max(textH, b.iconKind ? kIcon : 0);
    b.textRect = RECT{left, kMargin + (bodyH - textH) / 2, left + textW,
                      kMargin + (bodyH - textH) / 2 + textH};
    const int n = static_cast<int>(b.buttons.size());
    const int rowW = n * kButtonW + (n - 1) * kButtonGap;
    clientW = std::max(left + textW + kMargin, rowW + 2 * kMargin);
    const int rowY = kMargin + bodyH + kMargin;
    clientH = rowY + kButtonH + kMargin;
    int x = (clientW - rowW) / 2;
    for (Button& bt : b.buttons) {
        bt.rect = RECT{x, rowY, x + kButtonW, rowY + kButtonH};
        x += kButtonW + kButtonGap;
    }
}

int runBox(HWND owner, const std::string& text, const std::string& caption, UINT type) {
    State& st = state();
    WNDCLASS probe;
    if (!GetClassInfo(nullptr, kBoxClass, &probe)) {
        WNDCLASS wc;
        wc.lpfnWndProc = &boxProc;
        wc.lpszClassName = kBoxClass;
        wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
        RegisterSystemClass(wc);
    }
    Box box;
    box.text = text;
    box.type = type;
    buttonsFor(type, box.buttons);
    box.iconKind = static_cast<int>((type & MB_ICONMASK) >> 4);
    if (box.iconKind > 4)
        box.iconKind = 0;
    const int def = static_cast<int>((type & MB_DEFMASK) >> 8);
    box.focus = def < static_cast<int>(box.buttons.size()) ? def : 0;

    Window* ownerWin = owner ? FindWindow(owner, "MessageBox") : nullptr;
    if (ownerWin)
        ownerWin = TopLevelOf(ownerWin);

    // Disable what the box makes modal, remembering only what we changed.
    std::vector<HWND> disabled;
    if (ownerWin) {
        if (!(ownerWin->style & WS_DISABLED)) {
            EnableWindow(ownerWin->hwnd, FALSE);
            disabled.push_back(ownerWin->hwnd);
        }
    } else if (type & MB_TASKMODAL) {
        const std::vector<HWND> tops = st.topLevels;
        for (HWND t : tops) {
            Window* o = FindWindow(t);
            if (o && !(o->style & WS_DISABLED)) {
                EnableWindow(t, FALSE);
                disabled.push_back(t);
            }
        }
    }
    const HWND previousActive = st.active;

    int cw = 0, ch = 0;
    layout(box, cw, ch);
    const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
    const int fw = cw + 2 * 3, fh = ch + 2 * 3 + 18;
    int x = (GetSystemMetrics(SM_CXSCREEN) - fw) / 2;
    int y = (GetSystemMetrics(SM_CYSCREEN) - fh) / 2;
    if (ownerWin && ReallyVisible(ownerWin)) {
        x = (ownerWin->rect.left + ownerWin->rect.right - fw) / 2;
        y = (ownerWin->rect.top + ownerWin->rect.bottom - fh) / 2;
    }
    const HWND hwnd = CreateWindowEx(
        (type & MB_TOPMOST) ? WS_EX_TOPMOST : 0, kBoxClass, caption.c_str(), style, x, y, fw, fh,
        ownerWin ? ownerWin->hwnd : nullptr, nullptr, nullptr, nullptr);
    int result = 0;
    if (hwnd) {
        SetWindowLongPtr(hwnd, GWL_USERDATA, reinterpret_cast<LONG_PTR>(&box));
        ShowWindow(hwnd, SW_SHOW);
        SetFocus(hwnd);
        MessageBeep(type & MB_ICONMASK);
        MSG msg;
        while (IsWindow(hwnd) && box.result == 0) {
            const BOOL r = GetMessage(&msg, nullptr, 0, 0);
            if (r == 0) {
                // A quit request ends the box and goes on to the outer loop.
                PostQuitMessage(static_cast<int>(msg.wParam));
                break;
            }
            if (r < 0)
                break;
            TranslateMessage(&msg);
            DispatchMessage(&msg);
        }
        result = box.result;
        if (result == 0)
            result = escapeAnswer(box) ? escapeAnswer(box) : box.buttons.back().id;
    }
    // Re-enable before the box goes, so activation can return to the owner.
    for (HWND h : disabled) {
        if (IsWindow(h))
            EnableWindow(h, TRUE);
    }
    if (hwnd && IsWindow(hwnd)) {
        SetWindowLongPtr(hwnd, GWL_USERDATA, 0);
        DestroyWindow(hwnd);
    }
    if (previousActive && IsWindow(previousActive))
        SetActiveWindow(previousActive);
    return result;
}

} // namespace

void SetMessageBoxHook(MessageBoxHook hook) {
    s_hook = std::move(hook);
}
void SetTestFailureReporter(TestFailureReporter reporter) {
    s_reporter = reporter;
}

void ReportTestFailure(const std::string& message) {
    if (s_reporter)
        s_reporter(message);
    else
        Diagnostic(message);
}

} // namespace plat::core

namespace plat {

using namespace plat::core;

int MessageBox(HWND owner, const char* text, const char* caption, UINT type) {
    const std::string t = text ? text : "";
    const std::string c = caption ? caption : "Erreur";
    if (owner && !FindWindow(owner, "MessageBox"))
        owner = nullptr; // a stale owner must not keep the message from the user
    if (s_hook) {
        int result = 0;
        if (s_hook(owner, t, c, type, result))
            return result;
    }
    if (!backend().open()) {
        // No display: the message still reaches the user.
        std::fprintf(stderr, "korvaline: %s: %s\n", Utf8FromCp1252Text(c).c_str(),
                     Utf8FromCp1252Text(t).c_str());
        return 0;
    }
    return runBox(owner, t, c, type);
}

} // namespace plat
