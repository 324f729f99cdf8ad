// The edit control: single-line (scrolling sideways) and multi-line (wrapping at the control's
// width, CR LF line ends), with caret, selection, clipboard keys and the EN_UPDATE / EN_CHANGE
// notifications for every change of the text.

#include "core/dlg/DlgInternal.h"
#include "core/win/WinInternal.h"
#include "plat/Font.h"
#include "plat/Input.h"
#include "plat/System.h"

#include <algorithm>
#include <cctype>
#include <map>

namespace plat::core {

namespace {

struct Line {
    std::size_t start = 0;
    std::size_t length = 0; // without the line end
};

struct EditState {
    std::string text;
    std::size_t anchor = 0;
    std::size_t caret = 0;
    int scrollX = 0;       // single line: pixels hidden at the left
    int topLine = 0;       // multi-line: first line shown
    DWORD frame = 0;       // WS_BORDER / WS_VSCROLL as created
    std::size_t limit = 0; // 0: no limit
    bool modified = false;
    bool tracking = false;
};

std::map<HWND, EditState>& edits() {
    static std::map<HWND, EditState> m;
    return m;
}

constexpr std::size_t kDefaultLimit = 30000;

DWORD styleOf(HWND h) {
    return static_cast<DWORD>(GetWindowLongPtr(h, GWL_STYLE));
}

bool multi(HWND h) {
    return (styleOf(h) & ES_MULTILINE) != 0;
}

struct Metrics {
    RECT text; // the text area inside the border (and left of the scroll bar)
    RECT bar;  // the scroll bar, empty when none
};

Metrics metricsOf(HWND h, const EditState& s) {
    RECT rc;
    GetClientRect(h, &rc);
    Metrics m;
    const int b = (s.frame & WS_BORDER) ? 2 : 0;
    m.text = RECT{rc.left + b + 1, rc.top + b + 1, rc.right - b - 1, rc.bottom - b - 1};
    if (multi(h) && (s.frame & WS_VSCROLL)) {
        m.bar = RECT{rc.right - b - 16, rc.top + b, rc.right - b, rc.bottom - b};
        m.text.right = m.bar.left - 1;
    }
    return m;
}

class MeasureDc {
public:
    explicit MeasureDc(HWND control)
        : m_dc(GetDC(nullptr))
        , m_old(SelectObject(m_dc, GuiFont(control))) {}
    ~MeasureDc() {
        SelectObject(m_dc, m_old);
        ReleaseDC(nullptr, m_dc);
    }
    HDC get() const { return m_dc; }

private:
    HDC m_dc;
    HGDIOBJ m_old;
};

int widthOf(HDC dc, const std::string& t, std::size_t from, std::size_t n) {
    return TextWidth(dc, std::string_view(t).substr(from, n));
}

// The lines of a multi-line edit: CR LF breaks, and words wrap at the text width.
std::vector<Line> layoutLines(HDC dc, const std::string& t, int width) {
    std::vector<Line> lines;
    std::size_t i = 0;
    for (;;) {
        std::size_t end = t.find("\r\n", i);
        const std::size_t hard = end == std::string::npos ? t.size() : end;
        // Wrap i..hard.
        std::size_t s = i;
        while (true) {
            if (widthOf(dc, t, s, hard - s) <= width || hard - s <= 1) {
                lines.push_back({s, hard - s});
                break;
            }
            // The longest prefix that fits, broken after a space when there is one.
            std::size_t n = 1;
            while (s + n < hard && widthOf(dc, t, s, n + 1) <= width)
                ++n;
            std::size_t br = t.rfind(' ', s + n);
            if (br == std::string::npos || br < s || br + 1 <= s)
                br = s + n;
            else
                br = br + 1;
            if (br <= s)
                br = s + 1;
            lines.push_back({s, br - s});
            s = br;
        }
        if (end == std::string::npos)
            break;
        i = end + 2;
    }
    return lines;
}

int lineOf(const std::vector<Line>& lines, std::size_t pos) {
    for (std::size_t k = lines.size(); k-- > 0;) {
        if (pos >= lines[k].start)
            return static_cast<int>(k);
    }
    return 0;
}

std::size_t hitInLine(HDC dc, const std::string& t, const Line& ln, int x) {
    std::size_t best = ln.start;
    for (std::size_t n = 0; n <= ln.length; ++n) {
        const int w = widthOf(dc, t, ln.start, n);
        const int prev = n ? widthOf(dc, t, ln.start, n - 1) : 0;
        if (x < (prev + w) / 2 && n > 0)
            break;
        best = ln.start + n;
        if (x < w)
            break;
    }
    return best;
}

void notify(HWND h, WORD code) {
    NotifyParent(h, code);
}

void ensureCaretVisible(HWND h, EditState& s) {
    MeasureDc dc(h);
    const Metrics m = metricsOf(h, s);
    const int width = m.text.right - m.text.left;
    if (!multi(h)) {
        const int cx = widthOf(dc.get(), s.text, 0, s.caret);
        if (cx - s.scrollX > width - 1)
            s.scrollX = cx - width + width / 3;
        if (cx < s.scrollX)
            s.scrollX = std::max(0, cx - width / 3);
        if (s.scrollX < 0)
            s.scrollX = 0;
        return;
    }
    const std::vector<Line> lines = layoutLines(dc.get(), s.text, width);
    const int lh = GuiLineHeight();
    const int visible = std::max(1, static_cast<int>(m.text.bottom - m.text.top) / lh);
    const int cl = lineOf(lines, s.caret);
    if (cl < s.topLine)
        s.topLine = cl;
    if (cl >= s.topLine + visible)
        s.topLine = cl - visible + 1;
}

// Replaces the selection with `ins`; returns false (and beeps) when the limit forbids it.
bool replaceSelection(HWND h, EditState& s, const std::string& ins) {
    const std::size_t a = std::min(s.anchor, s.caret), b = std::max(s.anchor, s.caret);
    const std::size_t limit = s.limit ? s.limit : kDefaultLimit;
    std::string add = ins;
    if (s.text.size() - (b - a) + add.size() > limit) {
        const std::size_t room =
            limit > s.text.size() - (b - a) ? limit - (s.text.size() - (b - a)) : 0;
        add.resize(room);
        notify(h, EN_MAXTEXT);
        if (add.empty() && a == b) {
            MessageBeep(0);
            return false;
        }
    }
    s.text.replace(a, b - a, add);
    s.anchor = s.caret = a + add.size();
    s.modified = true;
    DefWindowProc(h, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(s.text.c_str()));
    ensureCaretVisible(h, s);
    // EN_UPDATE before the control repaints, then EN_CHANGE.
    notify(h, EN_UPDATE);
    InvalidateRect(h, nullptr, FALSE);
    notify(h, EN_CHANGE);
    return true;
}

void selectionChanged(HWND h, EditState& s) {
    ensureCaretVisible(h, s);
    InvalidateRect(h, nullptr, FALSE);
}

bool isWordChar(char c) {
    return IsCharAlphaNumeric(c) || c == '_';
}

void paintEdit(HWND h) {
    PAINTSTRUCT ps;
    HDC hdc = BeginPaint(h, &ps);
    if (!hdc)
        return;
    EditState& s = edits()[h];
    RECT rc;
    GetClientRect(h, &rc);
    const DWORD st = styleOf(h);
    const bool enabled = IsWindowEnabled(h) != FALSE;
    const bool readOnly = (st & ES_READONLY) != 0;
    COLORREF bg = (enabled && !readOnly) ? SysColor(COLOR_WINDOW) : SysColor(COLOR_BTNFACE);
    FillSolid(hdc, rc, bg);
    if (s.frame & WS_BORDER)
        DrawSunkenEdge(hdc, rc);
    const Metrics m = metricsOf(h, s);
    HGDIOBJ old = SelectObject(hdc, GuiFont(h));
    SetBkMode(hdc, TRANSPARENT);
    SetTextAlign(hdc, TA_LEFT | TA_TOP);
    const int lh = GuiLineHeight();
    const bool focused = GetFocus() == h;
    const std::size_t a = std::min(s.anchor, s.caret), b = std::max(s.anchor, s.caret);
    const bool showSel = a != b && (focused || (st & ES_NOHIDESEL));
    const COLORREF fg = enabled ? SysColor(COLOR_WINDOWTEXT) : SysColor(COLOR_GRAYTEXT);
    std::string shown = s.text;
    if (st & ES_PASSWORD)
        std::fill(shown.begin(), shown.end(), '*');
    auto drawLine = [&](const Line& ln, int x0, int y) {
        // Plain text, then the selected part over a highlight.
        SetTextColor(hdc, fg);
        ExtTextOut(hdc, x0, y, ETO_CLIPPED, &m.text, shown.data() + ln.start,
                   static_cast<UINT>(ln.length), nullptr);
        if (showSel) {
            const std::size_t sa = std::clamp(a, ln.start, ln.start + ln.length);
            const std::size_t sb = std::clamp(b, ln.start, ln.start + ln.length);
            if (sb > sa) {
                const int xa = x0 + widthOf(hdc, shown, ln.start, sa - ln.start);
                const int xb = x0 + widthOf(hdc, shown, ln.start, sb - ln.start);
                RECT hr{std::max<LONG>(xa, m.text.left), y, std::min<LONG>(xb, m.text.right),
                        std::min<LONG>(y + lh, m.text.bottom)};
                if (hr.right > hr.left && hr.bottom > hr.top) {
                    FillSolid(hdc, hr, SysColor(COLOR_HIGHLIGHT));
                    SetTextColor(hdc, SysColor(COLOR_HIGHLIGHTTEXT));
                    ExtTextOut(hdc, xa, y, ETO_CLIPPED, &hr, shown.data() + sa,
                               static_cast<UINT>(sb - sa), nullptr);
                }
            }
        }
        if (focused && enabled && s.caret >= ln.start && s.caret <= ln.start + ln.length) {
            const int cx = x0 + widthOf(hdc, shown, ln.start, s.caret - ln.start);
            if (cx >= m.text.left && cx < m.text.right)
                FillSolid(hdc, RECT{cx, y, cx + 1, std::min<LONG>(y + lh, m.text.bottom)}, fg);
        }
    };
    if (!multi(h)) {
        const int y =
            m.text.top + std::max(0, (static_cast<int>(m.text.bottom - m.text.top) - lh) / 2);
        drawLine(Line{0, shown.size()}, m.text.left + 1 - s.scrollX, y);
    } else {
        const std::vector<Line> lines = layoutLines(hdc, s.text, m.text.right - m.text.left);
        int y = m.text.top;
        for (std::size_t k = static_cast<std::size_t>(std::max(0, s.topLine));
             k < lines.size() && y < m.text.bottom; ++k) {
            const Line ln = lines[k];
            // A caret at a wrapped line's end is drawn at the start of the next line.
            drawLine(ln, m.text.left + 1, y);
            y += lh;
        }
        if (m.bar.right > m.bar.left) {
            const int visible = std::max(1, static_cast<int>(m.text.bottom - m.text.top) / lh);
            DrawVScrollBar(hdc, m.bar, 0, static_cast<int>(lines.size()) - 1, visible, s.topLine,
                           enabled && static_cast<int>(lines.size()) > visible);
        }
    }
    SelectObject(hdc, old);
    EndPaint(h, &ps);
}

// Whether the edit holds text of a double-byte code page (a file name), whose characters the
// caret steps over whole.
bool doubleByteText(HWND h) {
    const Window* w = FindWindow(h);
    return w != nullptr && w->textInCodePage && GetACP() != 1252;
}

// The last character boundary at or before p: a trail byte can look like a lead byte, so the
// text is walked from its start.
std::size_t charStart(const std::string& t, std::size_t p) {
    std::size_t at = 0;
    while (at < p && at < t.size()) {
        const std::size_t next =
            IsDBCSLeadByte(static_cast<BYTE>(t[at])) && at + 1 < t.size() ? at + 2 : at + 1;
        if (next > p)
            break;
        at = next;
    }
    return at;
}

std::size_t hitInText(HWND h, EditState& s, int x, int y);

// Where a press lands: never inside a double-byte character.
std::size_t hit(HWND h, EditState& s, int x, int y) {
    const std::size_t at = hitInText(h, s, x, y);
    return doubleByteText(h) ? charStart(s.text, at) : at;
}

std::size_t hitInText(HWND h, EditState& s, int x, int y) {
    MeasureDc dc(h);
    const Metrics m = metricsOf(h, s);
    if (!multi(h))
        return hitInLine(dc.get(), s.text, Line{0, s.text.size()}, x - m.text.left - 1 + s.scrollX);
    const std::vector<Line> lines = layoutLines(dc.get(), s.text, m.text.right - m.text.left);
    const int lh = GuiLineHeight();
    int k = s.topLine + (y - static_cast<int>(m.text.top)) / lh;
    k = std::clamp(k, 0, static_cast<int>(lines.size()) - 1);
    return hitInLine(dc.get(), s.text, lines[static_cast<std::size_t>(k)], x - m.text.left - 1);
}

void moveCaret(HWND h, EditState& s, std::size_t pos, bool extend) {
    s.caret = std::min(pos, s.text.size());
    if (!extend)
        s.anchor = s.caret;
    selectionChanged(h, s);
}

std::size_t stepLeft(const std::string& t, std::size_t p, bool doubleByte) {
    if (p == 0)
        return 0;
    if (p >= 2 && t[p - 1] == '\n' && t[p - 2] == '\r')
        return p - 2;
    return doubleByte ? charStart(t, p - 1) : p - 1;
}

std::size_t stepRight(const std::string& t, std::size_t p, bool doubleByte) {
    if (p >= t.size())
        return t.size();
    if (t[p] == '\r' && p + 1 < t.size() && t[p + 1] == '\n')
        return p + 2;
    if (doubleByte && IsDBCSLeadByte(static_cast<BYTE>(t[p])) && p + 1 < t.size())
        return p + 2;
    return p + 1;
}

void keyDown(HWND h, EditState& s, int vk) {
    const bool shift = (GetKeyState(VK_SHIFT) & 0x8000) != 0;
    const bool ctrl = (GetKeyState(VK_CONTROL) & 0x8000) != 0;
    const bool isMulti = multi(h);
    MeasureDc dc(h);
    const Metrics m = metricsOf(h, s);
    std::vector<Line> lines = isMulti ? layoutLines(dc.get(), s.text, m.text.right - m.text.left)
                                      : std::vector<Line>{Line{0, s.text.size()}};
    const int cl = lineOf(lines, s.caret);
    const Line& ln = lines[static_cast<std::size_t>(cl)];
    switch (vk) {
    case VK_LEFT:
        if (!shift && s.anchor != s.caret)
            moveCaret(h, s, std::min(s.anchor, s.caret), false);
        else
            moveCaret(h, s, stepLeft(s.text, s.caret, doubleByteText(h)), shift);
        break;
    case VK_RIGHT:
        if (!shift && s.anchor != s.caret)
            moveCaret(h, s, std::max(s.anchor, s.caret), false);
        else
            moveCaret(h, s, stepRight(s.text, s.caret, doubleByteText(h)), shift);
        break;
    case VK_HOME:
        moveCaret(h, s, ctrl ? 0 : ln.start, shift);
        break;
    case VK_END:
        moveCaret(h, s, ctrl ? s.text.size() : ln.start + ln.length, shift);
        break;
    case VK_UP:
    case VK_DOWN: {
        if (!isMulti)
            break;
        const int target = cl + (vk == VK_UP ? -1 : 1);
        if (target < 0 || target >= static_cast<int>(lines.size()))
            break;
        const int x = widthOf(dc.get(), s.text, ln.start, s.caret - ln.start);
        moveCaret(h, s, hitInLine(dc.get(), s.text, lines[static_cast<std::size_t>(target)], x),
                  shift);
        break;
    }
    case VK_DELETE:
        if (styleOf(h) & ES_READONLY)
            break;
        if (shift) {
            SendMessage(h, WM_CUT, 0, 0);
            break;
        }
        if (s.anchor == s.caret) {
            if (s.caret >= s.text.size())
                break;
            s.anchor = stepRight(s.text, s.caret, doubleByteText(h));
        }
        replaceSelection(h, s, "");
        break;
    case VK_INSERT:
        if (ctrl)
            SendMessage(h, WM_COPY, 0, 0);
        else if (shift)
            SendMessage(h, WM_PASTE, 0, 0);
        break;
    default:
        break;
    }
}

void typeChar(HWND h, EditState& s, unsigned char c) {
    const DWORD st = styleOf(h);
    switch (c) {
    case 0x01: // Ctrl+A
        s.anchor = 0;
        s.caret = s.text.size();
        selectionChanged(h, s);
        return;
    case 0x03:
        SendMessage(h, WM_COPY, 0, 0);
        return;
    case 0x18:
        SendMessage(h, WM_CUT, 0, 0);
        return;
    case 0x16:
        SendMessage(h, WM_PASTE, 0, 0);
        return;
    default:
        break;
    }
    if (st & ES_READONLY) {
        if (c >= 0x20 || c == 0x08)
            MessageBeep(0);
        return;
    }
    if (c == 0x08) {
        if (s.anchor == s.caret) {
            if (s.caret == 0)
                return;
            s.anchor = stepLeft(s.text, s.caret, doubleByteText(h));
        }
        replaceSelection(h, s, "");
        return;
    }
    if (c == 0x0D) {
        if ((st & ES_MULTILINE) && (st & ES_WANTRETURN || GetKeyState(VK_CONTROL) & 0x8000))
            replaceSelection(h, s, "\r\n");
        return;
    }
    if (c < 0x20 || c == 0x7F)
        return;
    if ((st & ES_NUMBER) && !(c >= '0' && c <= '9')) {
        MessageBeep(0);
        return;
    }
    char ch = static_cast<char>(c);
    if (st & ES_UPPERCASE)
        ch = static_cast<char>(std::toupper(c));
    else if (st & ES_LOWERCASE)
        ch = static_cast<char>(std::tolower(c));
    replaceSelection(h, s, std::string(1, ch));
}

// Text arriving from outside (paste, WM_SETTEXT): a single-line edit keeps the first line only.
std::string cleanInput(HWND h, std::string t) {
    if (!multi(h)) {
        const std::size_t cut = t.find_first_of("\r\n");
        if (cut != std::string::npos)
            t.resize(cut);
    }
    return t;
}

} // namespace

LRESULT EditProc(HWND h, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_CREATE) {
        EditState s;
        s.frame = TakeOwnFrame(h);
        Window* w = FindWindow(h);
        s.text = cleanInput(h, w ? w->text : std::string());
        edits()[h] = s;
        return 0;
    }
    auto it = edits().find(h);
    if (it == edits().end())
        return DefWindowProc(h, msg, wParam, lParam);
    EditState& s = it->second;
    switch (msg) {
    case WM_DESTROY:
        edits().erase(h);
        return 0;
    case WM_GETDLGCODE: {
        LRESULT code = DLGC_WANTCHARS | DLGC_HASSETSEL | DLGC_WANTARROWS;
        const MSG* m = reinterpret_cast<const MSG*>(lParam);
        if (multi(h) && (styleOf(h) & ES_WANTRETURN) && m && m->message == WM_KEYDOWN &&
            m->wParam == static_cast<WPARAM>(VK_RETURN))
            code |= DLGC_WANTALLKEYS;
        return code;
    }
    case WM_PAINT:
        paintEdit(h);
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_SIZE:
        ensureCaretVisible(h, s);
        return 0;
    case WM_SETFOCUS:
        InvalidateRect(h, nullptr, FALSE);
        notify(h, EN_SETFOCUS);
        return 0;
    case WM_KILLFOCUS:
        InvalidateRect(h, nullptr, FALSE);
        notify(h, EN_KILLFOCUS);
        return 0;
    case WM_ENABLE:
        InvalidateRect(h, nullptr, FALSE);
        return 0;
    case WM_SETTEXT: {
        const char* t = reinterpret_cast<const char*>(lParam);
        s.text = cleanInput(h, t ? t : "");
        const std::size_t limit = s.limit ? s.limit : kDefaultLimit;
        if (s.text.size() > limit)
            s.text.resize(limit);
        s.anchor = s.caret = 0;
        s.scrollX = 0;
        s.topLine = 0;
        s.modified = false;
        DefWindowProc(h, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(s.text.c_str()));
        // A program-set text notifies like a typed one.
        notify(h, EN_UPDATE);
        InvalidateRect(h, nullptr, FALSE);
        notify(h, EN_CHANGE);
        return TRUE;
    }
    case WM_GETTEXT: {
        char* buf = reinterpret_cast<char*>(lParam);
        const std::size_t size = static_cast<std::size_t>(wParam);
        if (!buf || size == 0)
            return 0;
        const std::size_t n = std::min(size - 1, s.text.size());
        s.text.copy(buf, n);
        buf[n] = 0;
        return static_cast<LRESULT>(n);
    }
    case WM_GETTEXTLENGTH:
        return static_cast<LRESULT>(s.text.size());
    case WM_KEYDOWN:
        keyDown(h, s, static_cast<int>(wParam));
        return 0;
    case WM_CHAR:
        typeChar(h, s, static_cast<unsigned char>(wParam & 0xFF));
        return 0;
    case WM_IME_CHAR: {
        // A character of the code page typed through the input method: in an edit of code-page
        // text it goes in whole, lead byte first; elsewhere the interface's text cannot hold it.
        const auto code = static_cast<unsigned>(wParam & 0xFFFF);
        if (!doubleByteText(h) || (styleOf(h) & ES_READONLY) || code < 0x20) {
            MessageBeep(0);
            return 0;
        }
        std::string text;
        if (code > 0xFF)
            text += static_cast<char>(code >> 8);
        text += static_cast<char>(code & 0xFF);
        replaceSelection(h, s, text);
        return 0;
    }
    case WM_LBUTTONDOWN: {
        if (GetFocus() != h)
            SetFocus(h);
        auto again = edits().find(h);
        if (again == edits().end())
            return 0;
        EditState& e = again->second;
        moveCaret(h, e, hit(h, e, GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)),
                  (wParam & MK_SHIFT) != 0);
        e.tracking = true;
        SetCapture(h);
        return 0;
    }
    case WM_MOUSEMOVE:
        if (s.tracking)
            moveCaret(h, s, hit(h, s, GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)), true);
        return 0;
    case WM_LBUTTONUP:
        if (s.tracking) {
            s.tracking = false;
            if (GetCapture() == h)
                ReleaseCapture();
        }
        return 0;
    case WM_CAPTURECHANGED:
        s.tracking = false;
        return 0;
    case WM_LBUTTONDBLCLK: {
        // The word under the pointer.
        std::size_t p = hit(h, s, GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
        std::size_t a = p, b = p;
        if (p < s.text.size() && isWordChar(s.text[p])) {
            while (a > 0 && isWordChar(s.text[a - 1]))
                --a;
            while (b < s.text.size() && isWordChar(s.text[b]))
                ++b;
        } else if (p > 0 && isWordChar(s.text[p - 1])) {
            while (a > 0 && isWordChar(s.text[a - 1]))
                --a;
        }
        s.anchor = a;
        s.caret = b;
        selectionChanged(h, s);
        return 0;
    }
    case EM_GETSEL: {
        const std::size_t a = std::min(s.anchor, s.caret), b = std::max(s.anchor, s.caret);
        if (wParam)
            *reinterpret_cast<DWORD*>(wParam) = static_cast<DWORD>(a);
        if (lParam)
            *reinterpret_cast<DWORD*>(lParam) = static_cast<DWORD>(b);
        return MAKELONG(static_cast<WORD>(std::min<std::size_t>(a, 0xFFFF)),
                        static_cast<WORD>(std::min<std::size_t>(b, 0xFFFF)));
    }
    case EM_SETSEL: {
        const long long start = static_cast<long long>(static_cast<int>(wParam));
        const long long end = static_cast<long long>(static_cast<int>(lParam));
        const std::size_t len = s.text.size();
        if (start < 0) {
            s.anchor = s.caret; // no selection; the caret stays
        } else {
            s.anchor = std::min<std::size_t>(static_cast<std::size_t>(start), len);
            s.caret = (end < 0 || static_cast<std::size_t>(end) > len)
                          ? len
                          : static_cast<std::size_t>(end);
        }
        selectionChanged(h, s);
        return 0;
    }
    case EM_SCROLLCARET:
        selectionChanged(h, s);
        return TRUE;
    case EM_REPLACESEL: {
        const char* t = reinterpret_cast<const char*>(lParam);
        replaceSelection(h, s, cleanInput(h, t ? t : ""));
        return 0;
    }
    case EM_GETMODIFY:
        return s.modified ? TRUE : FALSE;
    case EM_SETMODIFY:
        s.modified = wParam != 0;
        return 0;
    case EM_GETLINECOUNT: {
        if (!multi(h))
            return 1;
        MeasureDc dc(h);
        const Metrics m = metricsOf(h, s);
        return static_cast<LRESULT>(
            layoutLines(dc.get(), s.text, m.text.right - m.text.left).size());
    }
    case EM_LIMITTEXT:
        s.limit = static_cast<std::size_t>(wParam);
        return 0;
    case EM_SETREADONLY: {
        DWORD st = styleOf(h);
        st = wParam ? (st | ES_READONLY) : (st & ~ES_READONLY);
        SetWindowLongPtr(h, GWL_STYLE, static_cast<LONG_PTR>(st));
        InvalidateRect(h, nullptr, FALSE);
        return TRUE;
    }
    case WM_COPY:
    case WM_CUT: {
        const std::size_t a = std::min(s.anchor, s.caret), b = std::max(s.anchor, s.caret);
        if (a == b || (styleOf(h) & ES_PASSWORD))
            return 0;
        SetEditClipboardText(s.text.substr(a, b - a).c_str());
        if (msg == WM_CUT && !(styleOf(h) & ES_READONLY))
            replaceSelection(h, s, "");
        return 0;
    }
    case WM_PASTE: {
        if (styleOf(h) & ES_READONLY)
            return 0;
        std::string t = GetEditClipboardText();
        if (multi(h)) {
            // Bare LF or CR from outside become CR LF.
            std::string n;
            for (std::size_t i = 0; i < t.size(); ++i) {
                if (t[i] == '\r' && i + 1 < t.size() && t[i + 1] == '\n') {
                    n += "\r\n";
                    ++i;
                } else if (t[i] == '\r' || t[i] == '\n') {
                    n += "\r\n";
                } else {
                    n += t[i];
                }
            }
            t = n;
        } else {
            t = cleanInput(h, t);
        }
        if (!t.empty())
            replaceSelection(h, s, t);
        return 0;
    }
    case WM_CLEAR:
        if (s.anchor != s.caret && !(styleOf(h) & ES_READONLY))
            replaceSelection(h, s, "");
        return 0;
    default:
        return DefWindowProc(h, msg, wParam, lParam);
    }
}

} // namespace plat::core
