// The message box: a dialog made by the dialog manager from a template built for the call, with
// the text in a static, an icon the box draws itself and up to three push buttons. Tests answer
// it through a hook before it is built.

#include "core/dlg/DlgInternal.h"
#include "core/win/WinInternal.h"
#include "plat/Dialog.h"
#include "plat/Font.h"
#include "plat/System.h"
#include "plat/Window.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

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
// The statics of the text and of the file names.
constexpr UINT kTextId = 0xFFFF;
constexpr UINT kNamesId = 0xFFFE;

struct Button {
    int id;
    const char* label; // cp1252
};

struct Box {
    std::vector<Button> buttons;
    int iconKind = 0; // MB_ICON* >> 4
    RECT textRect{};
    RECT namesRect{}; // empty when the box names no files
    std::vector<RECT> buttonRects;
    int clientW = 0;
    int clientH = 0;
    HWND owner = nullptr;
    int defaultIndex = 0;
};

std::vector<Button> buttonsFor(UINT type) {
    // The labels are cp1252 bytes.
    static const char kOk[] = "OK";
    static const char kCancel[] = "Annuler";
    static const char kRetry[] = "R\xE9"
                                 "essayer";
    static const char kYes[] = "Oui";
    static const char kNo[] = "Non";
    switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL:
        return {{IDOK, kOk}, {IDCANCEL, kCancel}};
    case MB_RETRYCANCEL:
        return {{IDRETRY, kRetry}, {IDCANCEL, kCancel}};
    case MB_YESNO:
        return {{IDYES, kYes}, {IDNO, kNo}};
    case MB_YESNOCANCEL:
        return {{IDYES, kYes}, {IDNO, kNo}, {IDCANCEL, kCancel}};
    default:
        return {{IDOK, kOk}};
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

// The width and height `text` takes in `font`, wrapped as its static wraps it.
SIZE measure(HFONT font, const std::string& text) {
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, font);
    const int maxText = GetSystemMetrics(SM_CXSCREEN) * 5 / 8;
    const std::vector<std::string> lines = WrapText(dc, text, maxText);
    int width = 0;
    for (const std::string& l : lines)
        width = std::max(width, TextWidth(dc, l));
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    // The static wraps exactly as measured.
    return SIZE{width + 1, static_cast<int>(lines.size()) * GuiLineHeight()};
}

// The text, then after a blank line the names (text of the active code page) when there are any.
void layout(Box& b, const std::string& text, const std::string& names) {
    const SIZE textSize = measure(GuiFont(), text);
    const SIZE namesSize = names.empty() ? SIZE{0, 0} : measure(CodePageGuiFont(), names);
    const int gap = names.empty() ? 0 : GuiLineHeight();
    const int textW = std::max(textSize.cx, namesSize.cx);
    const int textH = textSize.cy + gap + namesSize.cy;
    const int left = kMargin + (b.iconKind ? kIcon + kMargin : 0);
    const int bodyH = std::max(textH, b.iconKind ? kIcon : 0);
    const int top = kMargin + (bodyH - textH) / 2;
    b.textRect = RECT{left, top, left + textW, top + textSize.cy};
    if (!names.empty())
        b.namesRect = RECT{left, b.textRect.bottom + gap, left + textW, top + textH};
    const int n = static_cast<int>(b.buttons.size());
    const int rowW = n * kButtonW + (n - 1) * kButtonGap;
    b.clientW = std::max(left + textW + kMargin, rowW + 2 * kMargin);
    const int rowY = kMargin + bodyH + kMargin;
    b.clientH = rowY + kButtonH + kMargin;
    int x = (b.clientW - rowW) / 2;
    b.buttonRects.clear();
    for (int i = 0; i < n; ++i) {
        b.buttonRects.push_back(RECT{x, rowY, x + kButtonW, rowY + kButtonH});
        x += kButtonW + kButtonGap;
    }
}

void fillEllipse(HDC hdc, const RECT& r, COLORREF fill, COLORREF line) {
    HBRUSH br = CreateSolidBrush(fill);
    HPEN pen = CreatePen(PS_SOLID, 1, line);
    HGDIOBJ ob = SelectObject(hdc, br);
    HGDIOBJ op = SelectObject(hdc, pen);
    Ellipse(hdc, r.left, r.top, r.right, r.bottom);
    SelectObject(hdc, op);
    SelectObject(hdc, ob);
    DeleteObject(pen);
    DeleteObject(br);
}

void drawGlyph(HDC hdc, int cx, int cy, const char* glyph, COLORREF color) {
    LOGFONT lf;
    lf.lfHeight = -24;
    lf.lfWeight = FW_BOLD;
    std::strcpy(lf.lfFaceName, "Times New Roman");
    HFONT f = CreateFontIndirect(&lf);
    HGDIOBJ old = SelectObject(hdc, f ? f : GuiFont());
    SetTextColor(hdc, color);
    SetBkMode(hdc, TRANSPARENT);
    SetTextAlign(hdc, TA_CENTER | TA_BASELINE);
    ExtTextOut(hdc, cx, cy + 8, 0, nullptr, glyph, 1, nullptr);
    SetTextAlign(hdc, TA_LEFT | TA_TOP);
    SelectObject(hdc, old);
    if (f)
        DeleteObject(f);
}

void drawIcon(HDC hdc, int kind, int x, int y) {
    const int cx = x + kIcon / 2, cy = y + kIcon / 2;
    switch (kind) {
    case 1: { // hand: a red disc with a white cross
        fillEllipse(hdc, RECT{x + 1, y + 1, x + kIcon - 1, y + kIcon - 1}, RGB(255, 0, 0),
                    RGB(128, 0, 0));
        HPEN pen = CreatePen(PS_SOLID, 3, RGB(255, 255, 255));
        HGDIOBJ op = SelectObject(hdc, pen);
        MoveToEx(hdc, cx - 7, cy - 7, nullptr);
        LineTo(hdc, cx + 7, cy + 7);
        MoveToEx(hdc, cx + 7, cy - 7, nullptr);
        LineTo(hdc, cx - 7, cy + 7);
        SelectObject(hdc, op);
        DeleteObject(pen);
        break;
    }
    case 2: // question: a white disc with a blue "?"
    case 4: // information: a white disc with a blue "i"
        fillEllipse(hdc, RECT{x + 1, y + 1, x + kIcon - 1, y + kIcon - 1}, RGB(255, 255, 255),
                    RGB(0, 0, 0));
        drawGlyph(hdc, cx, cy, kind == 2 ? "?" : "i", RGB(0, 0, 255));
        break;
    case 3: { // exclamation: a yellow triangle with a black "!"
        HBRUSH br = CreateSolidBrush(RGB(255, 255, 0));
        HGDIOBJ ob = SelectObject(hdc, br);
        HGDIOBJ op = SelectObject(hdc, GetStockObject(BLACK_PEN));
        const POINT tri[3] = {{cx, y + 1}, {x + kIcon - 2, y + kIcon - 3}, {x + 1, y + kIcon - 3}};
        Polygon(hdc, tri, 3);
        SelectObject(hdc, op);
        SelectObject(hdc, ob);
        DeleteObject(br);
        FillSolid(hdc, RECT{cx - 1, y + 10, cx + 2, y + 22}, RGB(0, 0, 0));
        FillSolid(hdc, RECT{cx - 1, y + 24, cx + 2, y + 27}, RGB(0, 0, 0));
        break;
    }
    default:
        break;
    }
}

INT_PTR boxProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Box* b = reinterpret_cast<Box*>(GetWindowLongPtr(hwnd, GWL_USERDATA));
    switch (msg) {
    case WM_INITDIALOG: {
        b = reinterpret_cast<Box*>(lParam);
        SetWindowLongPtr(hwnd, GWL_USERDATA, lParam);
        // Place the controls and the box in pixels; centred on the owner, else on the screen.
        if (HWND text = GetDlgItem(hwnd, kTextId))
            MoveWindow(text, b->textRect.left, b->textRect.top,
                       b->textRect.right - b->textRect.left, b->textRect.bottom - b->textRect.top,
                       FALSE);
        if (HWND names = GetDlgItem(hwnd, kNamesId)) {
            SetWindowTextInCodePage(names, TRUE);
            MoveWindow(names, b->namesRect.left, b->namesRect.top,
                       b->namesRect.right - b->namesRect.left,
                       b->namesRect.bottom - b->namesRect.top, FALSE);
        }
        for (std::size_t i = 0; i < b->buttons.size(); ++i) {
            const RECT& r = b->buttonRects[i];
            MoveWindow(GetDlgItem(hwnd, b->buttons[i].id), r.left, r.top, r.right - r.left,
                       r.bottom - r.top, FALSE);
        }
        RECT wr, cr;
        GetWindowRect(hwnd, &wr);
        GetClientRect(hwnd, &cr);
        const int fw = b->clientW + (wr.right - wr.left) - cr.right;
        const int fh = b->clientH + (wr.bottom - wr.top) - cr.bottom;
        RECT area{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
        if (b->owner && IsWindowVisible(b->owner))
            GetWindowRect(b->owner, &area);
        MoveWindow(hwnd, (area.left + area.right - fw) / 2, (area.top + area.bottom - fh) / 2, fw,
                   fh, FALSE);
        return FALSE;
    }
    case WM_PAINT: {
        if (!b || !b->iconKind)
            return FALSE;
        PAINTSTRUCT ps;
        HDC hdc = BeginPaint(hwnd, &ps);
        if (hdc)
            drawIcon(hdc, b->iconKind, kMargin, kMargin);
        EndPaint(hwnd, &ps);
        return TRUE;
    }
    case WM_COMMAND: {
        if (!b)
            return FALSE;
        const int id = LOWORD(wParam);
        if (id == IDCANCEL) {
            const int answer = escapeAnswer(*b);
            if (answer)
                EndDialog(hwnd, answer);
            return TRUE;
        }
        for (const Button& bt : b->buttons) {
            if (bt.id == id) {
                EndDialog(hwnd, id);
                return TRUE;
            }
        }
        return FALSE;
    }
    default:
        return FALSE;
    }
}

int runBox(HWND owner, const std::string& text, const std::string& names,
           const std::string& caption, UINT type) {
    State& st = state();
    EnsureDialogClasses();
    Box box;
    box.buttons = buttonsFor(type);
    box.iconKind = static_cast<int>((type & MB_ICONMASK) >> 4);
    if (box.iconKind > 4)
        box.iconKind = 0;
    const int def = static_cast<int>((type & MB_DEFMASK) >> 8);
    box.defaultIndex = def < static_cast<int>(box.buttons.size()) ? def : 0;

    // Disabling the owner takes the keyboard from the window that has it; it gets it back when
    // the box closes. A dialog's control is also the one its dialog returns to when activated
    // again (the window manager may activate it before the box's run gives the focus back).
    const HWND hadFocus = st.focus;
    if (const Window* f = hadFocus ? FindWindow(hadFocus) : nullptr; f && f->isChild()) {
        if (DialogData* d = DialogOf(DialogOfControl(hadFocus)))
            d->lastFocus = hadFocus;
    }

    Window* ownerWin = owner ? FindWindow(owner, "MessageBox") : nullptr;
    if (ownerWin)
        ownerWin = TopLevelOf(ownerWin);
    box.owner = ownerWin ? ownerWin->hwnd : nullptr;

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

    layout(box, text, names);
    // The template: the text, the names, then the buttons (one group, in tab order).
    std::vector<ResDialogControl> controls;
    controls.push_back(ResDialogControl{"STATIC", kTextId, text.c_str(), 0, 0, 1, 1,
                                        WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX, 0});
    if (!names.empty())
        controls.push_back(ResDialogControl{"STATIC", kNamesId, names.c_str(), 0, 0, 1, 1,
                                            WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX, 0});
    for (std::size_t i = 0; i < box.buttons.size(); ++i) {
        DWORD style = WS_CHILD | WS_VISIBLE | WS_TABSTOP |
                      (static_cast<int>(i) == box.defaultIndex ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
        if (i == 0)
            style |= WS_GROUP;
        controls.push_back(ResDialogControl{"BUTTON", static_cast<UINT>(box.buttons[i].id),
                                            box.buttons[i].label, 0, 0, 1, 1, style, 0});
    }
    ResDialog templ{0,
                    WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME,
                    (type & MB_TOPMOST) ? WS_EX_TOPMOST : 0u,
                    0,
                    0,
                    10,
                    10,
                    caption.c_str(),
                    controls.data(),
                    static_cast<UINT>(controls.size())};
    const HWND hwnd = CreateDialogFromTemplate(templ, nullptr, box.owner, &boxProc,
                                               reinterpret_cast<LPARAM>(&box), kBoxClass, false);
    int result = 0;
    if (hwnd) {
        if (DialogData* d = DialogOf(hwnd))
            d->focusOnSelf = true;
        MessageBeep(type & MB_ICONMASK);
        ShowWindow(hwnd, SW_SHOW);
        SetFocus(hwnd);
        result = static_cast<int>(RunModalDialog(hwnd, disabled, false));
        disabled.clear();
        if (result <= 0) {
            // The run ended without an answer (a quit request): the box counts as dismissed.
            const int esc = escapeAnswer(box);
            result = esc ? esc : box.buttons.back().id;
        }
    }
    for (HWND h : disabled) {
        if (IsWindow(h))
            EnableWindow(h, TRUE);
    }
    // Only a window that is still there, shown and taking input (not one destroyed, hidden or
    // disabled meanwhile, nor one behind another modal run).
    if (Window* w = hadFocus ? FindWindow(hadFocus) : nullptr;
        w && st.focus != hadFocus && TakesInput(w) && ReallyVisible(w))
        SetFocus(hadFocus);
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

int MessageBoxNamingFiles(HWND owner, const char* text, const char* names, const char* caption,
                          UINT type) {
    const std::string t = text ? text : "";
    const std::string n = names ? names : "";
    const std::string c = caption ? caption : "Erreur";
    if (owner && !FindWindow(owner, "MessageBox"))
        owner = nullptr; // a stale owner must not keep the message from the user
    if (s_hook) {
        int result = 0;
        if (s_hook(owner, t, n, c, type, result))
            return result;
    }
    if (!backend().open()) {
        // No display: the message still reaches the user.
        std::fprintf(stderr, "korvaline: %s: %s%s%s\n", Utf8FromCp1252Text(c).c_str(),
                     Utf8FromCp1252Text(t).c_str(), n.empty() ? "" : "\n\n",
                     Utf8FromAnsiText(n).c_str());
        return 0;
    }
    return runBox(owner, t, n, c, type);
}

int MessageBox(HWND owner, const char* text, const char* caption, UINT type) {
    return MessageBoxNamingFiles(owner, text, nullptr, caption, type);
}

} // namespace plat
