// The dialog manager: dialogs made from templates in a fixed order, the modal loop, the dialog
// keyboard (IsDialogMessage), the default dialog procedure and the item helpers.

#include "core/dlg/DlgInternal.h"
#include "core/win/WinInternal.h"
#include "plat/Font.h"
#include "plat/Input.h"
#include "plat/System.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>

namespace plat::core {

void RegisterControlClasses(); // Controls.cpp

namespace {

std::map<HWND, std::shared_ptr<DialogData>>& dialogs() {
    static std::map<HWND, std::shared_ptr<DialogData>> m;
    return m;
}

DialogIdleHook s_idleHook;

int classOf(HWND h) {
    // 1 button, 2 static, 3 edit, 4 list, 5 combo, 0 other
    Window* w = FindWindow(h);
    if (!w)
        return 0;
    if (ClassIs(w, "BUTTON"))
        return 1;
    if (ClassIs(w, "STATIC"))
        return 2;
    if (ClassIs(w, "EDIT"))
        return 3;
    if (ClassIs(w, "LISTBOX"))
        return 4;
    if (ClassIs(w, "COMBOBOX"))
        return 5;
    return 0;
}

DWORD styleOf(HWND h) {
    return static_cast<DWORD>(GetWindowLongPtr(h, GWL_STYLE));
}

// Visible and enabled by its own style: the dialog itself may not be shown yet.
bool usable(HWND h) {
    const DWORD st = styleOf(h);
    return (st & WS_VISIBLE) && !(st & WS_DISABLED);
}

std::vector<HWND> controlsOf(HWND dlg) {
    return DialogControls(dlg);
}

// The direct child of the dialog that contains `h` (controls may have children of their own).
HWND controlOf(HWND dlg, HWND h) {
    while (h && GetParent(h) != dlg) {
        if (!(styleOf(h) & WS_CHILD))
            return nullptr;
        h = GetParent(h);
    }
    return h;
}

LRESULT dlgCode(HWND h, MSG* msg) {
    return h ? SendMessage(h, WM_GETDLGCODE, msg ? msg->wParam : 0, reinterpret_cast<LPARAM>(msg))
             : 0;
}

// The control a dialog's focus returns to: the one it last had while that one is still usable,
// else the first enabled tab stop (a dialog may disable the control that had the focus, its
// first tab stop among them), else none (the dialog itself takes the keys).
HWND focusTarget(HWND dlg, HWND last) {
    if (last && IsWindow(last) && IsChild(dlg, last) && usable(last))
        return last;
    return GetNextDlgTabItem(dlg, nullptr, FALSE);
}

// Focuses a control the way keyboard navigation does: an edit gets all its text selected.
void focusControl(HWND ctl) {
    if (!ctl)
        return;
    SetFocus(ctl);
    if (dlgCode(ctl, nullptr) & DLGC_HASSETSEL)
        SendMessage(ctl, EM_SETSEL, 0, -1);
}

void sendCommand(HWND dlg, int id, HWND ctl) {
    SendMessage(dlg, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id), BN_CLICKED),
                reinterpret_cast<LPARAM>(ctl));
}

HWND defaultButton(HWND dlg) {
    for (HWND c : controlsOf(dlg)) {
        if (classOf(c) == 1 && (styleOf(c) & BS_TYPEMASK) == BS_DEFPUSHBUTTON)
            return c;
    }
    return nullptr;
}

void pressEnter(HWND dlg, HWND focusCtl) {
    if (focusCtl && classOf(focusCtl) == 1 && usable(focusCtl)) {
        const DWORD t = styleOf(focusCtl) & BS_TYPEMASK;
        if (t == BS_PUSHBUTTON || t == BS_DEFPUSHBUTTON) {
            sendCommand(dlg, GetDlgCtrlID(focusCtl), focusCtl);
            return;
        }
    }
    if (HWND def = defaultButton(dlg)) {
        if (!usable(def)) {
            MessageBeep(0);
            return;
        }
        sendCommand(dlg, GetDlgCtrlID(def), def);
        return;
    }
    sendCommand(dlg, IDOK, GetDlgItem(dlg, IDOK));
}

// The control whose text carries the mnemonic `ch`, searched after the focus and wrapping.
bool doMnemonic(HWND dlg, HWND focusCtl, char ch) {
    const char want = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    if (!want)
        return false;
    const std::vector<HWND> all = controlsOf(dlg);
    if (all.empty())
        return false;
    std::size_t start = 0;
    for (std::size_t i = 0; i < all.size(); ++i) {
        if (all[i] == focusCtl)
            start = i + 1;
    }
    for (std::size_t k = 0; k < all.size(); ++k) {
        const HWND c = all[(start + k) % all.size()];
        if (!IsWindowVisible(c))
            continue;
        const int cls = classOf(c);
        const DWORD st = styleOf(c);
        if (cls == 2 && (st & SS_NOPREFIX))
            continue;
        if (cls != 1 && cls != 2)
            continue;
        Window* w = FindWindow(c);
        if (!w || MnemonicOf(w->text) != want)
            continue;
        if (cls == 2 || (st & BS_TYPEMASK) == BS_GROUPBOX) {
            // A label passes the mnemonic to the next control that takes the focus.
            HWND next = GetNextDlgTabItem(dlg, c, FALSE);
            std::size_t i = 0;
            while (i < all.size() && all[i] != c)
                ++i;
            for (std::size_t j = i + 1; j < all.size(); ++j) {
                if (usable(all[j]) && (styleOf(all[j]) & WS_TABSTOP)) {
                    next = all[j];
                    break;
                }
            }
            focusControl(next);
            return true;
        }
        if (!IsWindowEnabled(c))
            continue;
        const DWORD t = st & BS_TYPEMASK;
        if (t == BS_PUSHBUTTON || t == BS_DEFPUSHBUTTON) {
            sendCommand(dlg, GetDlgCtrlID(c), c);
        } else {
            SetFocus(c);
            SendMessage(c, BM_CLICK, 0, 0);
        }
        return true;
    }
    return false;
}

POINT ownerOrigin(HWND owner) {
    POINT p{0, 0};
    if (owner)
        ClientToScreen(owner, &p);
    return p;
}

} // namespace

std::vector<HWND> DialogControls(HWND parent) {
    Window* w = FindWindow(parent);
    if (!w)
        return {};
    const DialogData* d = DialogOf(parent);
    if (!d || d->order.empty())
        return w->children;
    std::vector<HWND> out;
    for (HWND h : d->order) {
        if (std::find(w->children.begin(), w->children.end(), h) != w->children.end())
            out.push_back(h);
    }
    for (HWND h : w->children) {
        if (std::find(out.begin(), out.end(), h) == out.end())
            out.push_back(h);
    }
    return out;
}

DialogData* DialogOf(HWND hwnd) {
    auto it = dialogs().find(hwnd);
    return it == dialogs().end() ? nullptr : it->second.get();
}

HWND DialogOfControl(HWND hwnd) {
    HWND h = GetParent(hwnd);
    while (h) {
        if (DialogOf(h))
            return h;
        if (!(styleOf(h) & WS_CHILD))
            return nullptr;
        h = GetParent(h);
    }
    return nullptr;
}

void SetDialogIdleHook(DialogIdleHook hook) {
    s_idleHook = std::move(hook);
}

void EnsureDialogClasses() {
    static bool done = false;
    if (done)
        return;
    done = true;
    RegisterControlClasses();
    for (const char* name : {"#32770", "KvMessageBox"}) {
        WNDCLASS wc;
        wc.lpfnWndProc = &DefDlgProc;
        wc.lpszClassName = name;
        wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<std::uintptr_t>(COLOR_BTNFACE + 1));
        wc.style = CS_DBLCLKS;
        RegisterSystemClass(wc);
    }
}

HWND CreateDialogFromTemplate(const ResDialog& templ, HINSTANCE module, HWND owner, DLGPROC proc,
                              LPARAM param, const char* className, bool show) {
    EnsureDialogClasses();
    const HWND ownerTop = owner ? GetAncestor(owner, GA_ROOT) : nullptr;
    const DWORD style = templ.style & ~WS_VISIBLE;
    RECT r{templ.x, templ.y, templ.x + templ.cx, templ.y + templ.cy};
    MapDialogRect(nullptr, &r);
    int x = r.left, y = r.top;
    if (!(style & DS_ABSALIGN) && !(style & WS_CHILD)) {
        const POINT o = ownerOrigin(ownerTop);
        x += o.x;
        y += o.y;
    }
    const int cw = r.right - r.left, ch = r.bottom - r.top;
    DWORD ex = templ.exStyle;
    if (style & DS_MODALFRAME)
        ex |= WS_EX_DLGMODALFRAME;
    const HWND dlg =
        CreateWindowEx(ex, className, templ.caption ? templ.caption : "", style, x, y, cw, ch,
                       (style & WS_CHILD) ? owner : ownerTop, nullptr, module, nullptr);
    if (!dlg)
        return nullptr;
    // The template gives the client size: grow the window by its frame.
    RECT wr, cr;
    GetWindowRect(dlg, &wr);
    GetClientRect(dlg, &cr);
    const int fw = (wr.right - wr.left) - cr.right, fh = (wr.bottom - wr.top) - cr.bottom;
    if (style & DS_CENTER) {
        RECT area{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
        if (ownerTop)
            GetWindowRect(ownerTop, &area);
        x = (area.left + area.right - (cw + fw)) / 2;
        y = (area.top + area.bottom - (ch + fh)) / 2;
    }
    MoveWindow(dlg, x, y, cw + fw, ch + fh, FALSE);

    auto data = std::make_shared<DialogData>();
    data->proc = proc;
    data->templateId = static_cast<int>(templ.id);
    dialogs()[dlg] = data;

    // 1. Every control, in template order (also the z- and tab order).
    std::vector<HWND> made;
    for (UINT i = 0; i < templ.count; ++i) {
        const ResDialogControl& c = templ.controls[i];
        RECT cr2{c.x, c.y, c.x + c.cx, c.y + c.cy};
        MapDialogRect(nullptr, &cr2);
        const HWND h = CreateWindowEx(
            c.exStyle, c.className, c.text ? c.text : "", c.style | WS_CHILD, cr2.left, cr2.top,
            cr2.right - cr2.left, cr2.bottom - cr2.top, dlg,
            reinterpret_cast<HMENU>(static_cast<std::uintptr_t>(c.id & 0xFFFF)), module, nullptr);
        if (!h) {
            char buf[160];
            std::snprintf(buf, sizeof buf, "dialog %u: control %u of class \"%s\" cannot be made",
                          templ.id, c.id, c.className ? c.className : "?");
            Diagnostic(buf);
            dialogs().erase(dlg);
            DestroyWindow(dlg);
            return nullptr;
        }
        made.push_back(h);
    }
    data->order = made;
    // Group boxes go to the bottom of the z-order: the controls inside them stay visible.
    for (HWND h : made) {
        if (classOf(h) == 1 && (styleOf(h) & BS_TYPEMASK) == BS_GROUPBOX)
            SetWindowPos(h, HWND_BOTTOM, 0, 0, 0, 0,
                         SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOREDRAW);
    }
    // 2. The owner-drawn controls are measured, in template order, before WM_INITDIALOG.
    for (HWND h : made) {
        const DWORD st = styleOf(h);
        const int cls = classOf(h);
        const UINT id = static_cast<UINT>(GetDlgCtrlID(h));
        RECT rc;
        GetClientRect(h, &rc);
        if (cls == 4 && (st & (LBS_OWNERDRAWFIXED | LBS_OWNERDRAWVARIABLE))) {
            MEASUREITEMSTRUCT m;
            m.CtlType = ODT_LISTBOX;
            m.CtlID = id;
            m.itemID = 0;
            m.itemWidth = static_cast<UINT>(rc.right);
            m.itemHeight = static_cast<UINT>(SendMessage(h, LB_GETITEMHEIGHT, 0, 0));
            SendMessage(dlg, WM_MEASUREITEM, id, reinterpret_cast<LPARAM>(&m));
            SendMessage(h, LB_SETITEMHEIGHT, 0, static_cast<LPARAM>(m.itemHeight));
        } else if (cls == 5 && (st & (CBS_OWNERDRAWFIXED | CBS_OWNERDRAWVARIABLE))) {
            MEASUREITEMSTRUCT m;
            m.CtlType = ODT_COMBOBOX;
            m.CtlID = id;
            m.itemID = static_cast<UINT>(-1);
            m.itemWidth = static_cast<UINT>(rc.right);
            m.itemHeight =
                static_cast<UINT>(SendMessage(h, CB_GETITEMHEIGHT, static_cast<WPARAM>(-1), 0));
            SendMessage(dlg, WM_MEASUREITEM, id, reinterpret_cast<LPARAM>(&m));
            SendMessage(h, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1),
                        static_cast<LPARAM>(m.itemHeight));
        }
    }
    if (!IsWindow(dlg))
        return nullptr;
    // 3. No WM_SETFONT. 4. WM_INITDIALOG with the first tab stop.
    const HWND first = GetNextDlgTabItem(dlg, nullptr, FALSE);
    const LRESULT r4 = SendMessage(dlg, WM_INITDIALOG, reinterpret_cast<WPARAM>(first), param);
    if (!IsWindow(dlg))
        return nullptr;
    data->initDone = true;
    const HWND f = GetFocus();
    // The procedure may have disabled the first tab stop: the focus then goes to the first that
    // is still enabled.
    if (r4)
        data->lastFocus = focusTarget(dlg, first);
    else if (f && IsChild(dlg, f))
        data->lastFocus = f;
    // 5. Shown when asked; the procedure has already placed it.
    if (show || (templ.style & WS_VISIBLE)) {
        ShowWindow(dlg, SW_SHOW);
        if (data->lastFocus && IsWindow(data->lastFocus))
            focusControl(data->lastFocus);
    }
    return dlg;
}

INT_PTR RunModalDialog(HWND dlg, const std::vector<HWND>& disabled, bool idleHook) {
    auto it = dialogs().find(dlg);
    if (it == dialogs().end())
        return -1;
    std::shared_ptr<DialogData> data = it->second;
    data->modal = true;
    State& st = state();
    const HWND previousActive = st.active;
    // Every window but the dialog (and what it opens) is deaf while it runs.
    const std::vector<HWND> behind = BeginModalRun(dlg);
    ShowWindow(dlg, SW_SHOW);
    SetActiveWindow(dlg);
    if (data->lastFocus)
        focusControl(focusTarget(dlg, data->lastFocus));
    INT_PTR result = 0;
    bool quit = false;
    int idleCount = 0;
    MSG msg;
    while (IsWindow(dlg) && !data->ended) {
        if (idleHook && s_idleHook && !PeekMessage(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
            s_idleHook(dlg, data->templateId, idleCount++);
            if (!data->ended && idleCount > 3) {
                ReportTestFailure("dialog " + std::to_string(data->templateId) +
                                  " stays open with nothing to do; it ends with Cancel");
                EndDialog(dlg, IDCANCEL);
            }
            continue;
        }
        const BOOL r = GetMessage(&msg, nullptr, 0, 0);
        if (r == 0) {
            // The quit request belongs to the outer loop.
            PostQuitMessage(static_cast<int>(msg.wParam));
            quit = true;
            break;
        }
        if (r < 0)
            break;
        if (!IsDialogMessage(dlg, &msg)) {
            TranslateMessage(&msg);
            DispatchMessage(&msg);
        }
    }
    result = quit ? 0 : (data->ended ? data->result : IDCANCEL);
    EndModalRun(dlg, behind);
    // Re-enable before the dialog goes, so activation can return to the owner.
    HWND back = nullptr;
    for (HWND h : disabled) {
        if (IsWindow(h)) {
            EnableWindow(h, TRUE);
            if (!back)
                back = h;
        }
    }
    if (IsWindow(dlg)) {
        ShowWindow(dlg, SW_HIDE);
        DestroyWindow(dlg);
    }
    if (back)
        SetActiveWindow(back);
    else if (previousActive && previousActive != dlg && IsWindow(previousActive))
        SetActiveWindow(previousActive);
    return result;
}

// --- Drawing helpers
// --------------------------------------------------------------------------------

HFONT GuiFont(HWND control) {
    if (control != nullptr) {
        if (const Window* w = FindWindow(control); w != nullptr && w->textInCodePage)
            return CodePageGuiFont();
    }
    return GetStockObject(DEFAULT_GUI_FONT);
}

COLORREF SysColor(int index) {
    return static_cast<COLORREF>(GetSysColor(index));
}

void FillSolid(HDC hdc, const RECT& r, COLORREF c) {
    HBRUSH b = CreateSolidBrush(c);
    FillRect(hdc, &r, b);
    DeleteObject(b);
}

namespace {
void edge(HDC hdc, const RECT& r, COLORREF tl, COLORREF br) {
    FillSolid(hdc, RECT{r.left, r.top, r.right - 1, r.top + 1}, tl);
    FillSolid(hdc, RECT{r.left, r.top, r.left + 1, r.bottom - 1}, tl);
    FillSolid(hdc, RECT{r.left, r.bottom - 1, r.right, r.bottom}, br);
    FillSolid(hdc, RECT{r.right - 1, r.top, r.right, r.bottom}, br);
}
} // namespace

void DrawRaisedEdge(HDC hdc, const RECT& r) {
    edge(hdc, r, SysColor(COLOR_3DHIGHLIGHT), SysColor(COLOR_3DDKSHADOW));
    edge(hdc, RECT{r.left + 1, r.top + 1, r.right - 1, r.bottom - 1}, SysColor(COLOR_3DLIGHT),
         SysColor(COLOR_BTNSHADOW));
}

void DrawSunkenEdge(HDC hdc, const RECT& r) {
    edge(hdc, r, SysColor(COLOR_BTNSHADOW), SysColor(COLOR_3DHIGHLIGHT));
    edge(hdc, RECT{r.left + 1, r.top + 1, r.right - 1, r.bottom - 1}, SysColor(COLOR_3DDKSHADOW),
         SysColor(COLOR_3DLIGHT));
}

void DrawFocusFrame(HDC hdc, const RECT& r) {
    // A dotted frame: every other pixel, in the text colour.
    const COLORREF c = SysColor(COLOR_WINDOWTEXT);
    for (int x = r.left; x < r.right; x += 2) {
        SetPixel(hdc, x, r.top, c);
        SetPixel(hdc, x, r.bottom - 1, c);
    }
    for (int y = r.top; y < r.bottom; y += 2) {
        SetPixel(hdc, r.left, y, c);
        SetPixel(hdc, r.right - 1, y, c);
    }
}

int GuiLineHeight() {
    static int cached = 0;
    if (!cached) {
        HDC dc = GetDC(nullptr);
        HGDIOBJ old = SelectObject(dc, GuiFont());
        TEXTMETRIC tm;
        GetTextMetrics(dc, &tm);
        SelectObject(dc, old);
        ReleaseDC(nullptr, dc);
        cached = tm.tmHeight > 0 ? tm.tmHeight : 13;
    }
    return cached;
}

std::string StripPrefix(std::string_view text, int* mnemonicAt) {
    std::string out;
    int at = -1;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '&' && i + 1 < text.size()) {
            ++i;
            if (text[i] != '&' && at < 0)
                at = static_cast<int>(out.size());
        }
        out += text[i];
    }
    if (mnemonicAt)
        *mnemonicAt = at;
    return out;
}

char MnemonicOf(std::string_view text) {
    int at = -1;
    const std::string s = StripPrefix(text, &at);
    if (at < 0)
        return 0;
    return static_cast<char>(
        std::tolower(static_cast<unsigned char>(s[static_cast<std::size_t>(at)])));
}

int TextWidth(HDC hdc, std::string_view text) {
    SIZE sz;
    if (text.empty())
        return 0;
    GetTextExtentPoint32(hdc, text.data(), static_cast<int>(text.size()), &sz);
    return sz.cx;
}

std::vector<std::string> WrapText(HDC hdc, std::string_view text, int width) {
    std::vector<std::string> lines;
    std::string para;
    auto flush = [&](const std::string& p) {
        if (width <= 0) {
            lines.push_back(p);
            return;
        }
        std::string line;
        std::size_t i = 0;
        while (i <= p.size()) {
            std::size_t sp = p.find(' ', i);
            if (sp == std::string::npos)
                sp = p.size();
            const std::string word = p.substr(i, sp - i);
            const std::string cand = line.empty() ? word : line + " " + word;
            if (!line.empty() && TextWidth(hdc, cand) > width) {
                lines.push_back(line);
                line = word;
            } else {
                line = cand;
            }
            i = sp + 1;
        }
        lines.push_back(line);
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r')
            continue;
        if (text[i] == '\n') {
            flush(para);
            para.clear();
        } else {
            para += text[i];
        }
    }
    flush(para);
    return lines;
}

int DrawLabel(HDC hdc, const RECT& r, std::string_view text, int align, bool prefix, bool wrap,
              COLORREF color, HFONT font) {
    HGDIOBJ old = SelectObject(hdc, font != nullptr ? font : GuiFont());
    SetTextColor(hdc, color);
    SetBkMode(hdc, TRANSPARENT);
    SetTextAlign(hdc, TA_LEFT | TA_TOP);
    const int lh = GuiLineHeight();
    int y = r.top;
    // Wrap on the shown text, then place each line; the mnemonic underline follows its character.
    int mn = -1;
    const std::string shown = prefix ? StripPrefix(text, &mn) : std::string(text);
    const std::vector<std::string> lines = WrapText(hdc, shown, wrap ? r.right - r.left : 0);
    std::size_t consumed = 0;
    for (const std::string& line : lines) {
        const int w = TextWidth(hdc, line);
        int x = r.left;
        if (align == 1)
            x = r.left + (r.right - r.left - w) / 2;
        else if (align == 2)
            x = r.right - w;
        ExtTextOut(hdc, x, y, ETO_CLIPPED, &r, line.data(), static_cast<UINT>(line.size()),
                   nullptr);
        const std::size_t pos = shown.find(line, consumed);
        if (mn >= 0 && pos != std::string::npos && static_cast<std::size_t>(mn) >= pos &&
            static_cast<std::size_t>(mn) < pos + line.size()) {
            const std::size_t k = static_cast<std::size_t>(mn) - pos;
            const int ux = x + TextWidth(hdc, std::string_view(line).substr(0, k));
            const int uw = TextWidth(hdc, std::string_view(line).substr(k, 1));
            const int uy = y + lh - 2;
            if (uy < r.bottom)
                FillSolid(hdc, RECT{ux, uy, ux + uw, uy + 1}, color);
        }
        if (pos != std::string::npos)
            consumed = pos + line.size();
        y += lh;
    }
    SelectObject(hdc, old);
    return y - r.top;
}

void NotifyParent(HWND control, WORD code) {
    const HWND parent = GetParent(control);
    if (!parent)
        return;
    SendMessage(parent, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(GetDlgCtrlID(control)), code),
                reinterpret_cast<LPARAM>(control));
}

} // namespace plat::core

namespace plat {

using namespace plat::core;

LONG GetDialogBaseUnits() {
    const int dpi = ScreenDpi();
    return MAKELONG(static_cast<WORD>(8 * dpi / 96), static_cast<WORD>(16 * dpi / 96));
}

BOOL MapDialogRect(HWND, RECT* rect) {
    if (!rect)
        return FALSE;
    const LONG units = GetDialogBaseUnits();
    const int bx = LOWORD(static_cast<DWORD>(units)), by = HIWORD(static_cast<DWORD>(units));
    rect->left = rect->left * bx / 4;
    rect->right = rect->right * bx / 4;
    rect->top = rect->top * by / 8;
    rect->bottom = rect->bottom * by / 8;
    return TRUE;
}

namespace {
int templateNumber(const char* name) {
    if (IS_INTRESOURCE(name))
        return static_cast<int>(reinterpret_cast<std::uintptr_t>(name));
    return -1;
}
} // namespace

INT_PTR DialogBoxParam(HINSTANCE module, const char* name, HWND owner, DLGPROC proc, LPARAM param) {
    const ResDialog* t = FindDialogTemplate(module, name);
    if (!t) {
        Diagnostic("DialogBoxParam: no dialog template " + std::to_string(templateNumber(name)));
        return -1;
    }
    if (!backend().open())
        return -1;
    const HWND ownerTop = owner && IsWindow(owner) ? GetAncestor(owner, GA_ROOT) : nullptr;
    // The owner is disabled before the dialog exists, so nothing reaches it meanwhile.
    bool reenable = false;
    if (ownerTop && IsWindowEnabled(ownerTop)) {
        EnableWindow(ownerTop, FALSE);
        reenable = true;
    }
    const HWND dlg = CreateDialogFromTemplate(*t, module, ownerTop, proc, param, "#32770", false);
    if (!dlg) {
        if (reenable)
            EnableWindow(ownerTop, TRUE);
        return -1;
    }
    std::vector<HWND> disabled;
    if (reenable)
        disabled.push_back(ownerTop);
    return RunModalDialog(dlg, disabled, true);
}

HWND CreateDialogParam(HINSTANCE module, const char* name, HWND owner, DLGPROC proc, LPARAM param) {
    const ResDialog* t = FindDialogTemplate(module, name);
    if (!t) {
        Diagnostic("CreateDialogParam: no dialog template " + std::to_string(templateNumber(name)));
        return nullptr;
    }
    return CreateDialogFromTemplate(*t, module, owner, proc, param, "#32770", false);
}

BOOL EndDialog(HWND dialog, INT_PTR result) {
    DialogData* d = DialogOf(dialog);
    if (!d)
        return FALSE;
    d->ended = true;
    d->result = result;
    if (!d->modal)
        ShowWindow(dialog, SW_HIDE);
    return TRUE;
}

HWND GetDlgItem(HWND dialog, int id) {
    Window* w = FindWindow(dialog);
    if (!w)
        return nullptr;
    for (HWND c : w->children) {
        if (LOWORD(static_cast<std::uintptr_t>(GetDlgCtrlID(c))) ==
            LOWORD(static_cast<std::uintptr_t>(id)))
            return c;
    }
    return nullptr;
}

LRESULT SendDlgItemMessage(HWND dialog, int id, UINT msg, WPARAM wParam, LPARAM lParam) {
    const HWND h = GetDlgItem(dialog, id);
    return h ? SendMessage(h, msg, wParam, lParam) : 0;
}

BOOL SetDlgItemText(HWND dialog, int id, const char* text) {
    const HWND h = GetDlgItem(dialog, id);
    return h ? SetWindowText(h, text) : FALSE;
}

UINT GetDlgItemText(HWND dialog, int id, char* buffer, int size) {
    const HWND h = GetDlgItem(dialog, id);
    if (!h) {
        if (buffer && size > 0)
            buffer[0] = 0;
        return 0;
    }
    return static_cast<UINT>(GetWindowText(h, buffer, size));
}

BOOL SetDlgItemInt(HWND dialog, int id, UINT value, BOOL isSigned) {
    char buf[24];
    if (isSigned)
        std::snprintf(buf, sizeof buf, "%d", static_cast<int>(value));
    else
        std::snprintf(buf, sizeof buf, "%u", value);
    return SetDlgItemText(dialog, id, buf);
}

UINT GetDlgItemInt(HWND dialog, int id, BOOL* translated, BOOL isSigned) {
    if (translated)
        *translated = FALSE;
    const HWND h = GetDlgItem(dialog, id);
    if (!h)
        return 0;
    const int n = GetWindowTextLength(h);
    std::string s(static_cast<std::size_t>(n) + 1, '\0');
    GetWindowText(h, s.data(), n + 1);
    s.resize(static_cast<std::size_t>(n));
    std::size_t i = 0;
    while (i < s.size() && s[i] == ' ')
        ++i;
    std::size_t e = s.size();
    while (e > i && s[e - 1] == ' ')
        --e;
    bool neg = false;
    if (i < e && s[i] == '-' && isSigned) {
        neg = true;
        ++i;
    }
    if (i == e)
        return 0;
    long long v = 0;
    for (std::size_t k = i; k < e; ++k) {
        if (s[k] < '0' || s[k] > '9')
            return 0;
        v = v * 10 + (s[k] - '0');
        if (v > 0xFFFFFFFFLL)
            return 0;
    }
    if (neg)
        v = -v;
    if (isSigned && (v > INT_MAX || v < INT_MIN))
        return 0;
    if (translated)
        *translated = TRUE;
    return static_cast<UINT>(static_cast<std::int64_t>(v));
}

BOOL CheckDlgButton(HWND dialog, int id, UINT check) {
    const HWND h = GetDlgItem(dialog, id);
    if (!h)
        return FALSE;
    SendMessage(h, BM_SETCHECK, check, 0);
    return TRUE;
}

UINT IsDlgButtonChecked(HWND dialog, int id) {
    const HWND h = GetDlgItem(dialog, id);
    return h ? static_cast<UINT>(SendMessage(h, BM_GETCHECK, 0, 0)) : 0;
}

BOOL CheckRadioButton(HWND dialog, int first, int last, int check) {
    bool any = false;
    for (HWND c : controlsOf(dialog)) {
        const int id = LOWORD(static_cast<std::uintptr_t>(GetDlgCtrlID(c)));
        if (id >= first && id <= last) {
            SendMessage(c, BM_SETCHECK, id == check ? BST_CHECKED : BST_UNCHECKED, 0);
            any = true;
        }
    }
    return any ? TRUE : FALSE;
}

HWND GetNextDlgTabItem(HWND dialog, HWND control, BOOL previous) {
    const std::vector<HWND> all = controlsOf(dialog);
    const int n = static_cast<int>(all.size());
    if (n == 0)
        return nullptr;
    int at = -1;
    for (int i = 0; i < n; ++i) {
        if (all[static_cast<std::size_t>(i)] == control)
            at = i;
    }
    for (int k = 1; k <= n; ++k) {
        int i = 0;
        if (at < 0)
            i = previous ? n - k : k - 1;
        else
            i = ((previous ? at - k : at + k) % n + n) % n;
        const HWND c = all[static_cast<std::size_t>(i)];
        if ((styleOf(c) & WS_TABSTOP) && usable(c))
            return c;
    }
    return control && at >= 0 ? control : nullptr;
}

HWND GetNextDlgGroupItem(HWND dialog, HWND control, BOOL previous) {
    const std::vector<HWND> all = controlsOf(dialog);
    const int n = static_cast<int>(all.size());
    int at = -1;
    for (int i = 0; i < n; ++i) {
        if (all[static_cast<std::size_t>(i)] == control)
            at = i;
    }
    if (at < 0)
        return nullptr;
    // The group: from the nearest WS_GROUP control at or before `at` to the next WS_GROUP one.
    int start = at;
    while (start > 0 && !(styleOf(all[static_cast<std::size_t>(start)]) & WS_GROUP))
        --start;
    int end = at + 1;
    while (end < n && !(styleOf(all[static_cast<std::size_t>(end)]) & WS_GROUP))
        ++end;
    const int size = end - start;
    for (int k = 1; k < size; ++k) {
        const int off = ((at - start + (previous ? -k : k)) % size + size) % size;
        const HWND c = all[static_cast<std::size_t>(start + off)];
        if (usable(c) && classOf(c) != 2 &&
            !(classOf(c) == 1 && (styleOf(c) & BS_TYPEMASK) == BS_GROUPBOX))
            return c;
    }
    return control;
}

BOOL IsDialogMessage(HWND dialog, MSG* msg) {
    if (!msg || !dialog || !IsWindow(dialog))
        return FALSE;
    if (msg->hwnd != dialog && !IsChild(dialog, msg->hwnd))
        return FALSE;
    const HWND focus = GetFocus();
    // Keys queued while the dialog itself had the focus go to the control that has it now (never
    // to a disabled one: the dialog keeps them).
    if (msg->message >= WM_KEYFIRST && msg->message <= WM_KEYLAST && msg->hwnd == dialog && focus &&
        IsChild(dialog, focus) && WindowTakesInput(focus))
        msg->hwnd = focus;
    // A disabled control that holds the focus wants no keys: the dialog's own handling gets them.
    const HWND keyFocus = focus && WindowTakesInput(focus) ? focus : nullptr;
    HWND focusCtl = focus && IsChild(dialog, focus) ? controlOf(dialog, focus) : nullptr;
    // With the dialog itself focused, navigation starts from the default button.
    if (!focusCtl && (focus == dialog || !focus))
        focusCtl = defaultButton(dialog);
    auto passOn = [&]() {
        TranslateMessage(msg);
        DispatchMessage(msg);
        return TRUE;
    };
    switch (msg->message) {
    case WM_KEYDOWN: {
        const int vk = static_cast<int>(msg->wParam);
        const LRESULT code = dlgCode(keyFocus, msg);
        if (code & DLGC_WANTALLKEYS)
            return passOn();
        switch (vk) {
        case VK_TAB: {
            if (code & DLGC_WANTTAB)
                return passOn();
            const bool back = (GetKeyState(VK_SHIFT) & 0x8000) != 0;
            HWND next = GetNextDlgTabItem(dialog, focusCtl, back ? TRUE : FALSE);
            // Within a radio group the tab stop is the checked button.
            if (next && classOf(next) == 1 &&
                ((styleOf(next) & BS_TYPEMASK) == BS_AUTORADIOBUTTON ||
                 (styleOf(next) & BS_TYPEMASK) == BS_RADIOBUTTON) &&
                !SendMessage(next, BM_GETCHECK, 0, 0)) {
                HWND g = next;
                do {
                    g = GetNextDlgGroupItem(dialog, g, FALSE);
                    if (g && SendMessage(g, BM_GETCHECK, 0, 0)) {
                        next = g;
                        break;
                    }
                } while (g && g != next);
            }
            if (next)
                focusControl(next);
            return TRUE;
        }
        case VK_LEFT:
        case VK_RIGHT:
        case VK_UP:
        case VK_DOWN: {
            if (code & DLGC_WANTARROWS)
                return passOn();
            if (!focusCtl)
                return TRUE;
            const bool back = vk == VK_LEFT || vk == VK_UP;
            const HWND next = GetNextDlgGroupItem(dialog, focusCtl, back ? TRUE : FALSE);
            if (next && next != focusCtl) {
                SetFocus(next);
                if (dlgCode(next, nullptr) & DLGC_RADIOBUTTON &&
                    (styleOf(next) & BS_TYPEMASK) == BS_AUTORADIOBUTTON)
                    SendMessage(next, BM_CLICK, 0, 0);
                else if (dlgCode(next, nullptr) & DLGC_HASSETSEL)
                    SendMessage(next, EM_SETSEL, 0, -1);
            }
            return TRUE;
        }
        case VK_RETURN:
            pressEnter(dialog, focusCtl);
            return TRUE;
        case VK_ESCAPE:
            sendCommand(dialog, IDCANCEL, GetDlgItem(dialog, IDCANCEL));
            return TRUE;
        default:
            return passOn();
        }
    }
    case WM_CHAR: {
        const LRESULT code = dlgCode(keyFocus, msg);
        if (code & (DLGC_WANTCHARS | DLGC_WANTALLKEYS))
            return passOn();
        const char ch = static_cast<char>(msg->wParam & 0xFF);
        if (static_cast<unsigned char>(ch) > ' ' && doMnemonic(dialog, focusCtl, ch))
            return TRUE;
        return passOn();
    }
    case WM_SYSCHAR: {
        if (dlgCode(keyFocus, msg) & DLGC_WANTALLKEYS)
            return passOn();
        const char ch = static_cast<char>(msg->wParam & 0xFF);
        if (!doMnemonic(dialog, focusCtl, ch))
            MessageBeep(0);
        return TRUE;
    }
    default:
        return passOn();
    }
}

LRESULT DefDlgProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam) {
    DialogData* d = DialogOf(dialog);
    if (!d)
        return DefWindowProc(dialog, msg, wParam, lParam);
    const DLGPROC proc = d->proc;
    if (proc) {
        const INT_PTR r = proc(dialog, msg, wParam, lParam);
        switch (msg) {
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLORSCROLLBAR:
            if (r)
                return r; // the brush itself
            break;
        case WM_INITDIALOG:
            return r;
        default:
            if (r)
                return r;
            break;
        }
        d = DialogOf(dialog); // the procedure may have destroyed the dialog
        if (!d)
            return 0;
    }
    switch (msg) {
    case WM_ERASEBKGND: {
        HDC hdc = reinterpret_cast<HDC>(wParam);
        HBRUSH b = reinterpret_cast<HBRUSH>(
            SendMessage(dialog, WM_CTLCOLORDLG, wParam, reinterpret_cast<LPARAM>(dialog)));
        RECT r;
        GetClientRect(dialog, &r);
        FillRect(hdc, &r, b ? b : GetSysColorBrush(COLOR_BTNFACE));
        return 1;
    }
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN: {
        HDC hdc = reinterpret_cast<HDC>(wParam);
        SetTextColor(hdc, SysColor(COLOR_WINDOWTEXT));
        SetBkColor(hdc, SysColor(COLOR_BTNFACE));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    }
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX: {
        HDC hdc = reinterpret_cast<HDC>(wParam);
        SetTextColor(hdc, SysColor(COLOR_WINDOWTEXT));
        SetBkColor(hdc, SysColor(COLOR_WINDOW));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
    }
    case WM_CLOSE:
        sendCommand(dialog, IDCANCEL, GetDlgItem(dialog, IDCANCEL));
        return 0;
    case WM_ACTIVATE:
        if (LOWORD(wParam) == WA_INACTIVE) {
            const HWND f = GetFocus();
            if (f && IsChild(dialog, f))
                d->lastFocus = f;
        } else if (d->lastFocus) {
            if (HWND target = focusTarget(dialog, d->lastFocus))
                SetFocus(target);
        }
        return 0;
    case WM_SETFOCUS:
        if (d->focusOnSelf)
            return 0;
        if (HWND target = focusTarget(dialog, d->lastFocus))
            SetFocus(target);
        return 0;
    case WM_NEXTDLGCTL: {
        HWND target = lParam ? reinterpret_cast<HWND>(wParam)
                             : GetNextDlgTabItem(dialog, controlOf(dialog, GetFocus()),
                                                 wParam ? TRUE : FALSE);
        focusControl(target);
        return 0;
    }
    case DM_GETDEFID: {
        const HWND def = defaultButton(dialog);
        return def ? MAKELONG(static_cast<WORD>(GetDlgCtrlID(def)), DC_HASDEFID) : 0;
    }
    case WM_DESTROY:
        dialogs().erase(dialog);
        return 0;
    default:
        return DefWindowProc(dialog, msg, wParam, lParam);
    }
}

} // namespace plat
