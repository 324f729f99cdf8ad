// The frame of captioned child windows (the document windows inside the main frame): drawing the
// border, caption and close box into the top-level window's backing image, and the mouse on them
// (moving, resizing, closing, activating). Top-level windows get their frame from the window
// manager instead, so nothing here applies to them.

#include "core/gdi/WindowDc.h"
#include "core/win/WinInternal.h"
#include "plat/Font.h"
#include "plat/Gdi.h"

#include <algorithm>

namespace plat::core {

namespace {

constexpr int kCaption = 18;
constexpr int kCloseWidth = 16;
constexpr int kCloseHeight = 14;
// Corners of a sizing frame reach this far along each edge.
constexpr int kCorner = 16;
// The smallest window a resize leaves.
constexpr int kMinTrackWidth = 112;
constexpr int kMinTrackHeight = 27;

enum class Hit {
    Nowhere,
    Client,
    Caption,
    Close,
    Border, // a border that does not size
    Left,
    Right,
    Top,
    Bottom,
    TopLeft,
    TopRight,
    BottomLeft,
    BottomRight,
};

struct Tracking {
    HWND hwnd = nullptr;
    Hit hit = Hit::Nowhere;
    POINT start{};
    RECT startRect{};
    bool active = false;
};

Tracking s_track;

bool hasCaption(const Window* w) {
    return (w->style & WS_CAPTION) == WS_CAPTION;
}

bool sizable(const Window* w) {
    return (w->style & WS_THICKFRAME) != 0;
}

int frameThickness(const Window* w) {
    return std::max<int>(w->insets.left - ((w->exStyle & WS_EX_CLIENTEDGE) ? 2 : 0), 0);
}

bool pointIn(const RECT& r, POINT p) {
    return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom;
}

// The close box in window coordinates (empty without WS_SYSMENU or a caption).
RECT closeBox(const Window* w) {
    if (!hasCaption(w) || !(w->style & WS_SYSMENU))
        return RECT{0, 0, 0, 0};
    const int f = frameThickness(w);
    const int width = w->rect.right - w->rect.left;
    const int right = width - f - 2;
    return RECT{right - kCloseWidth, f + 2, right, f + 2 + kCloseHeight};
}

// What the point (window coordinates) is over.
Hit hitTest(const Window* w, POINT p) {
    const int width = w->rect.right - w->rect.left, height = w->rect.bottom - w->rect.top;
    if (p.x < 0 || p.y < 0 || p.x >= width || p.y >= height)
        return Hit::Nowhere;
    const RECT client{w->insets.left, w->insets.top, width - w->insets.right,
                      height - w->insets.bottom};
    if (pointIn(client, p))
        return Hit::Client;
    const int f = frameThickness(w);
    const bool onBorder = p.x < f || p.y < f || p.x >= width - f || p.y >= height - f;
    if (onBorder) {
        if (!sizable(w))
            return Hit::Border;
        const bool left = p.x < kCorner, right = p.x >= width - kCorner;
        const bool top = p.y < kCorner, bottom = p.y >= height - kCorner;
        if (p.x < f)
            return top ? Hit::TopLeft : bottom ? Hit::BottomLeft : Hit::Left;
        if (p.x >= width - f)
            return top ? Hit::TopRight : bottom ? Hit::BottomRight : Hit::Right;
        if (p.y < f)
            return left ? Hit::TopLeft : right ? Hit::TopRight : Hit::Top;
        return left ? Hit::BottomLeft : right ? Hit::BottomRight : Hit::Bottom;
    }
    if (hasCaption(w) && p.y >= f && p.y < f + kCaption) {
        if (pointIn(closeBox(w), p))
            return Hit::Close;
        return Hit::Caption;
    }
    return Hit::Border; // a scroll-bar gutter or client edge
}

bool isActiveChild(const Window* w) {
    const Window* p = FindWindow(w->parent);
    return p && p->activeChild == w->hwnd;
}

// The part of w's window rectangle that shows, in its top-level window's image coordinates: the
// parent's visible client area, less the siblings above, less w's own client area.
Region frameRegion(const Window* w) {
    const Window* p = FindWindow(w->parent);
    if (!p || !ReallyVisible(w))
        return Region();
    const POINT po = ClientOriginInImage(p);
    Region r(OffsetRectBy(w->rect, po.x, po.y));
    const POINT co = ClientOriginInImage(w);
    r.subtract(Region(RECT{co.x, co.y, co.x + std::max(w->clientWidth(), 0),
                           co.y + std::max(w->clientHeight(), 0)}));
    ClipToAncestors(w, r);
    return r;
}

void fill(HDC hdc, int left, int top, int right, int bottom, int colour) {
    if (right <= left || bottom <= top)
        return;
    const RECT r{left, top, right, bottom};
    FillRect(hdc, &r, GetSysColorBrush(colour));
}

// A raised 3-D edge around r: light above and left, shadow below and right, two pixels deep.
void raisedEdge(HDC hdc, const RECT& r) {
    fill(hdc, r.left, r.top, r.right - 1, r.top + 1, COLOR_3DLIGHT);
    fill(hdc, r.left, r.top, r.left + 1, r.bottom - 1, COLOR_3DLIGHT);
    fill(hdc, r.left, r.bottom - 1, r.right, r.bottom, COLOR_3DDKSHADOW);
    fill(hdc, r.right - 1, r.top, r.right, r.bottom, COLOR_3DDKSHADOW);
    fill(hdc, r.left + 1, r.top + 1, r.right - 2, r.top + 2, COLOR_BTNHIGHLIGHT);
    fill(hdc, r.left + 1, r.top + 1, r.left + 2, r.bottom - 2, COLOR_BTNHIGHLIGHT);
    fill(hdc, r.left + 1, r.bottom - 2, r.right - 1, r.bottom - 1, COLOR_BTNSHADOW);
    fill(hdc, r.right - 2, r.top + 1, r.right - 1, r.bottom - 1, COLOR_BTNSHADOW);
}

void drawCloseBox(HDC hdc, const RECT& box) {
    fill(hdc, box.left, box.top, box.right, box.bottom, COLOR_BTNFACE);
    raisedEdge(hdc, box);
    // The cross: two diagonals two pixels thick, centred in the face.
    const int size = 8;
    const int x0 = box.left + (box.right - box.left - size) / 2 - 1;
    const int y0 = box.top + (box.bottom - box.top - size) / 2 - 1;
    for (int i = 0; i < size; ++i) {
        fill(hdc, x0 + i, y0 + i, x0 + i + 2, y0 + i + 1, COLOR_BTNTEXT);
        fill(hdc, x0 + size - i - 1, y0 + i, x0 + size - i + 1, y0 + i + 1, COLOR_BTNTEXT);
    }
}

void paintFrame(Window* w) {
    w->frameDirty = false;
    Window* top = TopLevelOf(w);
    const Window* p = FindWindow(w->parent);
    if (!top || !p)
        return;
    EnsureImage(top);
    const Region clip = frameRegion(w);
    if (clip.empty())
        return;
    const POINT po = ClientOriginInImage(p);
    const POINT origin{po.x + w->rect.left, po.y + w->rect.top};
    HDC hdc = CreateSurfaceDc(top->image, origin, clip, w->hwnd);
    if (!hdc)
        return;
    const int width = w->rect.right - w->rect.left, height = w->rect.bottom - w->rect.top;
    const int f = frameThickness(w);
    const bool active = isActiveChild(w);

    fill(hdc, 0, 0, width, height, active ? COLOR_ACTIVEBORDER : COLOR_INACTIVEBORDER);
    if (f >= 2)
        raisedEdge(hdc, RECT{0, 0, width, height});
    else if (f == 1) {
        const RECT outline{0, 0, width, height};
        FrameRect(hdc, &outline, GetSysColorBrush(COLOR_WINDOWFRAME));
    }

    if (hasCaption(w)) {
        // The caption band; its last row separates it from the client area.
        const RECT band{f, f, width - f, f + kCaption - 1};
        fill(hdc, band.left, band.top, band.right, band.bottom,
             active ? COLOR_ACTIVECAPTION : COLOR_INACTIVECAPTION);
        fill(hdc, band.left, band.bottom, band.right, band.bottom + 1, COLOR_BTNFACE);
        const RECT box = closeBox(w);
        RECT textArea{band.left + 3, band.top, (box.right > box.left ? box.left : band.right) - 2,
                      band.bottom};
        if (textArea.right > textArea.left && !w->text.empty()) {
            std::string shown = w->text;
            std::replace(shown.begin(), shown.end(), '\n', ' ');
            HGDIOBJ oldFont = SelectObject(
                hdc, w->textInCodePage ? CodePageGuiFont() : GetStockObject(DEFAULT_GUI_FONT));
            SetBkMode(hdc, TRANSPARENT);
            SetTextColor(hdc, GetSysColor(active ? COLOR_CAPTIONTEXT : COLOR_INACTIVECAPTIONTEXT));
            SIZE extent{0, 0};
            GetTextExtentPoint32(hdc, shown.c_str(), static_cast<int>(shown.size()), &extent);
            const int y = band.top + std::max((band.bottom - band.top - extent.cy) / 2, 0);
            ExtTextOut(hdc, textArea.left, y, ETO_CLIPPED, &textArea, shown.c_str(),
                       static_cast<UINT>(shown.size()), nullptr);
            SelectObject(hdc, oldFont);
        }
        if (box.right > box.left)
            drawCloseBox(hdc, box);
    }
    DestroySurfaceDc(hdc);
    Present(top, clip.bounds());
}

void paintFramesUnder(Window* w) {
    if (!w || !(w->style & WS_VISIBLE))
        return;
    // Bottom-most first, so that a frame drawn later never lies under an earlier one; each is
    // clipped by its siblings above anyway.
    for (auto it = w->children.rbegin(); it != w->children.rend(); ++it) {
        Window* k = FindWindow(*it);
        if (!k)
            continue;
        if (k->frameDirty && HasNonClientFrame(k))
            paintFrame(k);
        paintFramesUnder(k);
    }
}

// Moves or resizes the tracked window to follow the pointer, inside its parent's client area.
void followPointer(POINT screen) {
    Window* w = FindWindow(s_track.hwnd);
    Window* p = w ? FindWindow(w->parent) : nullptr;
    if (!w || !p) {
        s_track = Tracking{};
        return;
    }
    const int pw = std::max(p->clientWidth(), 0), ph = std::max(p->clientHeight(), 0);
    const int dx = screen.x - s_track.start.x, dy = screen.y - s_track.start.y;
    RECT r = s_track.startRect;
    const int width = r.right - r.left, height = r.bottom - r.top;
    if (s_track.hit == Hit::Caption) {
        // The whole window stays inside the parent when it fits; otherwise its top-left corner
        // stays in view, so the caption can always be reached again.
        const int x = std::clamp<int>(r.left + dx, 0, std::max(pw - width, 0));
        const int y = std::clamp<int>(r.top + dy, 0, std::max(ph - height, 0));
        SetWindowPos(w->hwnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        return;
    }
    const Hit h = s_track.hit;
    const bool left = h == Hit::Left || h == Hit::TopLeft || h == Hit::BottomLeft;
    const bool right = h == Hit::Right || h == Hit::TopRight || h == Hit::BottomRight;
    const bool top = h == Hit::Top || h == Hit::TopLeft || h == Hit::TopRight;
    const bool bottom = h == Hit::Bottom || h == Hit::BottomLeft || h == Hit::BottomRight;
    if (left)
        r.left = std::min<int>(std::max<int>(r.left + dx, 0), r.right - kMinTrackWidth);
    if (right)
        r.right = std::max<int>(std::min<int>(r.right + dx, std::max(pw, r.left + kMinTrackWidth)),
                                r.left + kMinTrackWidth);
    if (top)
        r.top = std::min<int>(std::max<int>(r.top + dy, 0), r.bottom - kMinTrackHeight);
    if (bottom)
        r.bottom =
            std::max<int>(std::min<int>(r.bottom + dy, std::max(ph, r.top + kMinTrackHeight)),
                          r.top + kMinTrackHeight);
    SetWindowPos(w->hwnd, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

int cursorOf(Hit h) {
    switch (h) {
    case Hit::Left:
    case Hit::Right:
        return 32644; // west-east
    case Hit::Top:
    case Hit::Bottom:
        return 32645; // north-south
    case Hit::TopLeft:
    case Hit::BottomRight:
        return 32642; // north-west to south-east
    case Hit::TopRight:
    case Hit::BottomLeft:
        return 32643;
    default:
        return 32512; // arrow
    }
}

void setCursorFor(Hit h) {
    SetCursor(LoadCursor(nullptr, MAKEINTRESOURCE(static_cast<WORD>(cursorOf(h)))));
}

} // namespace

bool HasNonClientFrame(const Window* w) {
    return w && w->isChild() && (hasCaption(w) || sizable(w));
}

Window* DocumentWindowOf(Window* w) {
    for (; w && w->isChild(); w = FindWindow(w->parent)) {
        if (hasCaption(w))
            return w;
    }
    return nullptr;
}

void ActivateDocumentChild(Window* doc) {
    if (!doc || !doc->isChild())
        return;
    Window* p = FindWindow(doc->parent);
    if (!p)
        return;
    const HWND hwnd = doc->hwnd, parent = p->hwnd;
    // Raised above its siblings; the parts that were covered show now.
    auto& v = p->children;
    if (!v.empty() && v.front() != hwnd) {
        v.erase(std::remove(v.begin(), v.end(), hwnd), v.end());
        v.insert(v.begin(), hwnd);
        InvalidateClient(doc, nullptr, true);
        doc->frameDirty = true;
    }
    const HWND old = p->activeChild;
    if (old == hwnd)
        return;
    p->activeChild = hwnd;
    doc->frameDirty = true;
    if (Window* ow = FindWindow(old))
        ow->frameDirty = true;
    if (FindWindow(old))
        SendMessage(old, WM_MDIACTIVATE, reinterpret_cast<WPARAM>(old),
                    reinterpret_cast<LPARAM>(hwnd));
    // The old child's procedure may have moved activation on; the newest choice stands.
    Window* pp = FindWindow(parent);
    if (FindWindow(hwnd) && pp && pp->activeChild == hwnd)
        SendMessage(hwnd, WM_MDIACTIVATE, reinterpret_cast<WPARAM>(old),
                    reinterpret_cast<LPARAM>(hwnd));
}

void DocumentChildGone(HWND parent, HWND gone) {
    Window* p = FindWindow(parent);
    if (!p || p->activeChild != gone)
        return;
    p->activeChild = nullptr;
    for (HWND k : p->children) {
        Window* kw = FindWindow(k);
        if (kw && k != gone && hasCaption(kw) && (kw->style & WS_VISIBLE) && !kw->destroying) {
            ActivateDocumentChild(kw);
            return;
        }
    }
}

void PaintDirtyFrames() {
    const std::vector<HWND> tops = state().topLevels;
    for (HWND t : tops)
        paintFramesUnder(FindWindow(t));
}

bool NonClientPointer(const BackendEvent& ev) {
    using K = BackendEvent::Kind;
    State& st = state();
    if (s_track.active) {
        if (ev.kind == K::Motion) {
            if (s_track.hit != Hit::Close)
                followPointer(ev.screen);
            return true;
        }
        if (ev.kind == K::ButtonUp && ev.button == 0) {
            const Tracking t = s_track;
            s_track = Tracking{};
            backend().grabPointer(nullptr);
            Window* w = FindWindow(t.hwnd);
            if (w && t.hit == Hit::Close) {
                RECT wr;
                GetWindowRect(w->hwnd, &wr);
                const POINT p{ev.screen.x - wr.left, ev.screen.y - wr.top};
                // Released over the box: the window is asked to close, as from its menu.
                if (hitTest(w, p) == Hit::Close)
                    PostMessage(w->hwnd, WM_CLOSE, 0, 0);
            }
            return true;
        }
        return true; // other buttons and the wheel wait until the drag ends
    }
    if (st.capture || (ev.kind != K::Motion && ev.kind != K::ButtonDown && ev.kind != K::ButtonUp))
        return false;
    Window* w = WindowAtPoint(ev.screen, true);
    if (!HasNonClientFrame(w) || !TakesInput(w))
        return false;
    RECT wr;
    GetWindowRect(w->hwnd, &wr);
    const Hit h = hitTest(w, POINT{ev.screen.x - wr.left, ev.screen.y - wr.top});
    if (h == Hit::Client || h == Hit::Nowhere)
        return false;
    if (ev.kind == K::Motion) {
        setCursorFor(h);
        return true;
    }
    if (ev.kind == K::ButtonUp)
        return true;
    // A press anywhere on the frame activates the window, as a press in its client area does.
    const HWND hwnd = w->hwnd;
    if (Window* top = TopLevelOf(w); top && st.active != top->hwnd)
        SetActiveWindow(top->hwnd);
    w = FindWindow(hwnd);
    if (!w)
        return true;
    ActivateDocumentChild(w);
    if (FindWindow(hwnd) && !(st.focus == hwnd || IsChild(hwnd, st.focus)))
        SetFocus(hwnd);
    w = FindWindow(hwnd);
    if (!w || ev.button != 0)
        return true;
    const bool moves = h == Hit::Caption || h == Hit::Close;
    if (moves || (sizable(w) && h != Hit::Border)) {
        s_track.active = true;
        s_track.hwnd = hwnd;
        s_track.hit = h;
        s_track.start = ev.screen;
        s_track.startRect = w->rect;
        backend().grabPointer(TopLevelOf(w)->hwnd);
    }
    return true;
}

void ResetNonClient() {
    s_track = Tracking{};
}

} // namespace plat::core
