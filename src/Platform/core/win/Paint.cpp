// The paint cycle on backing images: update regions, WM_PAINT, window DCs, scrolling.

#include "core/gdi/GdiObjects.h"
#include "core/gdi/WindowDc.h"
#include "core/menu/MenuInternal.h"
#include "core/win/WinInternal.h"
#include "plat/Gdi.h"

#include <algorithm>

namespace plat::core {

namespace {

struct OpenDc {
    HDC hdc;
    HWND hwnd;
    RECT bounds; // image coordinates
};

std::vector<OpenDc>& openDcs() {
    static std::vector<OpenDc> v;
    return v;
}

RECT clientRect(const Window* w) {
    return RECT{0, 0, std::max(w->clientWidth(), 0), std::max(w->clientHeight(), 0)};
}

bool filterMatches(HWND hwnd, HWND filter) {
    return !filter || hwnd == filter || IsChild(filter, hwnd);
}

HWND firstToPaint(Window* w, HWND filter) {
    if (!w || !(w->style & WS_VISIBLE))
        return nullptr;
    if (!w->update.empty() && filterMatches(w->hwnd, filter))
        return w->hwnd;
    for (HWND k : w->children) {
        if (HWND h = firstToPaint(FindWindow(k), filter))
            return h;
    }
    return nullptr;
}

Window* topOf(HWND hwnd) {
    Window* w = FindWindow(hwnd);
    return w ? TopLevelOf(w) : nullptr;
}

RegionObject* regionObject(HRGN rgn, const char* caller) {
    auto obj = LookupGdiObjectAs<RegionObject>(rgn, GdiKind::Region, caller);
    return obj.get(); // the table keeps the object alive
}

int complexity(const Region& r) {
    if (r.empty())
        return 1;                         // NULLREGION
    return r.rects().size() == 1 ? 2 : 3; // SIMPLEREGION, COMPLEXREGION
}

void paintNow(HWND hwnd) {
    Window* w = FindWindow(hwnd);
    if (!w || !ReallyVisible(w))
        return;
    PaintDirtyFrames();
    w = FindWindow(hwnd);
    if (!w)
        return;
    if (!w->update.empty())
        SendMessage(hwnd, WM_PAINT, 0, 0);
    w = FindWindow(hwnd);
    if (!w)
        return;
    const std::vector<HWND> kids = w->children;
    for (HWND k : kids)
        paintNow(k);
}

} // namespace

void EnsureImage(Window* top) {
    const int wd = std::max(top->clientWidth(), 1),
              ht = std::max(top->clientHeight(), 1) + top->menuBarHeight;
    if (top->image && cairo_image_surface_get_width(top->image) == wd &&
        cairo_image_surface_get_height(top->image) == ht)
        return;
    cairo_surface_t* img = cairo_image_surface_create(CAIRO_FORMAT_RGB24, wd, ht);
    cairo_t* cr = cairo_create(img);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    if (top->image) {
        // Keep what was drawn; the new area is invalidated by the caller.
        cairo_set_source_surface(cr, top->image, 0, 0);
        cairo_paint(cr);
        cairo_surface_destroy(top->image);
    }
    cairo_destroy(cr);
    top->image = img;
    if (top->menuBarHeight > 0)
        PaintMenuBar(top);
}

void FreeImage(Window* top) {
    if (top->image) {
        cairo_surface_destroy(top->image);
        top->image = nullptr;
    }
}

Region VisibleRegion(const Window* w) {
    if (!w || !ReallyVisible(w))
        return Region();
    const POINT o = ClientOriginInImage(w);
    Region r(OffsetRectBy(clientRect(w), o.x, o.y));
    for (HWND k : w->children) {
        const Window* kw = FindWindow(k);
        if (kw && (kw->style & WS_VISIBLE))
            r.subtract(Region(OffsetRectBy(kw->rect, o.x, o.y)));
    }
    ClipToAncestors(w, r);
    return r;
}

RECT OffsetRectBy(RECT r, int dx, int dy) {
    r.left += dx;
    r.right += dx;
    r.top += dy;
    r.bottom += dy;
    return r;
}

void ClipToAncestors(const Window* w, Region& r) {
    for (const Window* a = w; a->isChild();) {
        const Window* p = FindWindow(a->parent);
        if (!p)
            break;
        const POINT po = ClientOriginInImage(p);
        r.intersect(Region(OffsetRectBy(clientRect(p), po.x, po.y)));
        // Siblings above cut the window out, as with clipped siblings.
        for (HWND s : p->children) {
            if (s == a->hwnd)
                break;
            const Window* sw = FindWindow(s);
            if (sw && (sw->style & WS_VISIBLE))
                r.subtract(Region(OffsetRectBy(sw->rect, po.x, po.y)));
        }
        a = p;
    }
    const Window* top = TopLevelOf(const_cast<Window*>(w));
    if (top && top->image) {
        r.intersect(Region(RECT{0, 0, cairo_image_surface_get_width(top->image),
                                cairo_image_surface_get_height(top->image)}));
    }
}

void InvalidateClient(Window* w, const RECT* rect, bool erase) {
    // The whole window redrawn: its frame too.
    if (!rect && HasNonClientFrame(w))
        w->frameDirty = true;
    Region add(clientRect(w));
    if (rect)
        add.intersect(Region(*rect));
    if (add.empty())
        return;
    w->update.unite(add);
    if (erase)
        w->erasePending = true;
    // Children are always clipped out of their parent, so they repaint their own part.
    for (HWND k : w->children) {
        Window* kw = FindWindow(k);
        if (!kw || !(kw->style & WS_VISIBLE))
            continue;
        const RECT b = add.bounds();
        RECT kr = kw->rect;
        if (b.right <= kr.left || b.left >= kr.right || b.bottom <= kr.top || b.top >= kr.bottom)
            continue;
        if (HasNonClientFrame(kw))
            kw->frameDirty = true;
        const int ox = kw->rect.left + kw->insets.left, oy = kw->rect.top + kw->insets.top;
        for (const RECT& part : add.rects()) {
            const RECT local = OffsetRectBy(part, -ox, -oy);
            InvalidateClient(kw, &local, erase);
        }
    }
}

void ValidateClient(Window* w, const Region& region) {
    w->update.subtract(region);
    if (w->update.empty())
        w->erasePending = false;
}

void Present(Window* top, const RECT& imageRect) {
    if (!top || !top->image || !(top->style & WS_VISIBLE))
        return;
    Region r(imageRect);
    r.intersect(Region(RECT{0, 0, cairo_image_surface_get_width(top->image),
                            cairo_image_surface_get_height(top->image)}));
    if (r.empty())
        return;
    cairo_surface_flush(top->image);
    backend().present(top->hwnd, top->image, r.bounds());
}

HWND NextWindowToPaint(HWND filter) {
    PaintDirtyFrames();
    for (HWND t : state().topLevels) {
        if (HWND h = firstToPaint(FindWindow(t), filter))
            return h;
    }
    return nullptr;
}

} // namespace plat::core

namespace plat {

using namespace plat::core;

BOOL InvalidateRect(HWND hwnd, const RECT* rect, BOOL erase) {
    if (!hwnd) {
        for (HWND t : state().topLevels) {
            if (Window* w = FindWindow(t))
                InvalidateClient(w, nullptr, erase != FALSE);
        }
        return TRUE;
    }
    Window* w = FindWindow(hwnd, "InvalidateRect");
    if (!w)
        return FALSE;
    InvalidateClient(w, rect, erase != FALSE);
    return TRUE;
}

BOOL ValidateRect(HWND hwnd, const RECT* rect) {
    Window* w = FindWindow(hwnd, "ValidateRect");
    if (!w)
        return FALSE;
    ValidateClient(w, rect ? Region(*rect) : Region(clientRect(w)));
    return TRUE;
}

BOOL InvalidateRgn(HWND hwnd, HRGN rgn, BOOL erase) {
    Window* w = FindWindow(hwnd, "InvalidateRgn");
    if (!w)
        return FALSE;
    if (!rgn) {
        InvalidateClient(w, nullptr, erase != FALSE);
        return TRUE;
    }
    RegionObject* r = regionObject(rgn, "InvalidateRgn");
    if (!r)
        return FALSE;
    const std::vector<RECT> rects = r->m_region.rects();
    for (const RECT& part : rects)
        InvalidateClient(w, &part, erase != FALSE);
    return TRUE;
}

BOOL ValidateRgn(HWND hwnd, HRGN rgn) {
    Window* w = FindWindow(hwnd, "ValidateRgn");
    if (!w)
        return FALSE;
    if (!rgn) {
        ValidateClient(w, Region(clientRect(w)));
        return TRUE;
    }
    RegionObject* r = regionObject(rgn, "ValidateRgn");
    if (!r)
        return FALSE;
    ValidateClient(w, r->m_region);
    return TRUE;
}

int GetUpdateRgn(HWND hwnd, HRGN rgn, BOOL) {
    Window* w = FindWindow(hwnd, "GetUpdateRgn");
    if (!w)
        return 0;
    RegionObject* r = regionObject(rgn, "GetUpdateRgn");
    if (!r)
        return 0;
    r->m_region = w->update;
    return complexity(w->update);
}

BOOL GetUpdateRect(HWND hwnd, RECT* rect, BOOL) {
    Window* w = FindWindow(hwnd, "GetUpdateRect");
    if (!w)
        return FALSE;
    if (rect)
        *rect = w->update.bounds();
    return !w->update.empty();
}

HDC BeginPaint(HWND hwnd, PAINTSTRUCT* ps) {
    Window* w = FindWindow(hwnd, "BeginPaint");
    if (!w || !ps)
        return nullptr;
    Window* top = TopLevelOf(w);
    EnsureImage(top);
    Region update = w->update;
    update.intersect(Region(clientRect(w)));
    const bool erase = w->erasePending;
    w->update = Region();
    w->erasePending = false;

    const POINT o = ClientOriginInImage(w);
    Region clip = VisibleRegion(w);
    Region u = update;
    u.offset(o.x, o.y);
    clip.intersect(u);
    HDC hdc = CreateSurfaceDc(top->image, o, clip, hwnd);
    ps->hdc = hdc;
    ps->rcPaint = update.bounds();
    ps->fErase = FALSE;
    if (erase && hdc)
        ps->fErase =
            SendMessage(hwnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(hdc), 0) ? FALSE : TRUE;
    return hdc;
}

BOOL EndPaint(HWND hwnd, const PAINTSTRUCT* ps) {
    if (!ps)
        return FALSE;
    if (ps->hdc)
        DestroySurfaceDc(ps->hdc);
    Window* w = FindWindow(hwnd, "EndPaint");
    if (!w)
        return FALSE;
    const POINT o = ClientOriginInImage(w);
    Present(TopLevelOf(w), OffsetRectBy(ps->rcPaint, o.x, o.y));
    return TRUE;
}

HDC GetDC(HWND hwnd) {
    if (!hwnd)
        return CreateScratchDc();
    Window* w = FindWindow(hwnd, "GetDC");
    if (!w)
        return nullptr;
    Window* top = TopLevelOf(w);
    EnsureImage(top);
    const Region clip = VisibleRegion(w);
    HDC hdc = CreateSurfaceDc(top->image, ClientOriginInImage(w), clip, hwnd);
    if (hdc)
        openDcs().push_back(OpenDc{hdc, hwnd, clip.bounds()});
    return hdc;
}

int ReleaseDC(HWND hwnd, HDC hdc) {
    if (!hdc)
        return 0;
    auto& v = openDcs();
    auto it = std::find_if(v.begin(), v.end(), [&](const OpenDc& d) { return d.hdc == hdc; });
    if (it == v.end()) {
        if (!hwnd) {
            DestroySurfaceDc(hdc);
            return 1;
        }
        Diagnostic("ReleaseDC: the DC was not obtained by GetDC");
        return 0;
    }
    const OpenDc d = *it;
    v.erase(it);
    DestroySurfaceDc(hdc);
    // What was drawn shows at once (XOR feedback needs this).
    if (Window* top = topOf(d.hwnd))
        Present(top, d.bounds);
    return 1;
}

BOOL UpdateWindow(HWND hwnd) {
    if (!FindWindow(hwnd, "UpdateWindow"))
        return FALSE;
    paintNow(hwnd);
    return TRUE;
}

BOOL RedrawWindow(HWND hwnd, const RECT* rect, HRGN rgn, UINT flags) {
    std::vector<HWND> targets;
    if (hwnd) {
        if (!FindWindow(hwnd, "RedrawWindow"))
            return FALSE;
        targets.push_back(hwnd);
    } else {
        targets = state().topLevels;
    }
    for (HWND h : targets) {
        Window* w = FindWindow(h);
        if (!w)
            continue;
        if (flags & RDW_INVALIDATE) {
            if (rgn)
                InvalidateRgn(h, rgn, (flags & RDW_ERASE) != 0);
            else
                InvalidateClient(w, rect, (flags & RDW_ERASE) != 0);
        } else if (flags & RDW_VALIDATE) {
            if (rgn)
                ValidateRgn(h, rgn);
            else
                ValidateClient(w, rect ? Region(*rect) : Region(clientRect(w)));
        }
        if (flags & (RDW_UPDATENOW | RDW_ERASENOW))
            paintNow(h);
    }
    return TRUE;
}

int ScrollWindowEx(HWND hwnd, int dx, int dy, const RECT* scroll, const RECT* clip, HRGN update,
                   RECT* updateRect, UINT flags) {
    Window* w = FindWindow(hwnd, "ScrollWindowEx");
    if (!w)
        return 0;
    Window* top = TopLevelOf(w);
    EnsureImage(top);
    const RECT client = clientRect(w);
    Region area(scroll ? *scroll : client);
    area.intersect(Region(client));
    Region limit(clip ? *clip : client);
    limit.intersect(Region(client));
    area.intersect(limit);

    // Destination: the scrolled area moved, inside the clip.
    Region moved = area;
    moved.offset(dx, dy);
    moved.intersect(area);
    Region uncovered = area;
    uncovered.subtract(moved);

    // Move the backing pixels that are visible.
    const POINT o = ClientOriginInImage(w);
    Region dstImage = moved;
    dstImage.offset(o.x, o.y);
    dstImage.intersect(VisibleRegion(w));
    if (!dstImage.empty()) {
        cairo_surface_flush(top->image);
        const int iw = cairo_image_surface_get_width(top->image);
        const int ih = cairo_image_surface_get_height(top->image);
        cairo_surface_t* copy = cairo_image_surface_create(CAIRO_FORMAT_RGB24, iw, ih);
        cairo_t* cc = cairo_create(copy);
        cairo_set_source_surface(cc, top->image, 0, 0);
        cairo_set_operator(cc, CAIRO_OPERATOR_SOURCE);
        cairo_paint(cc);
        cairo_destroy(cc);
        cairo_t* cr = cairo_create(top->image);
        cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
        for (const RECT& r : dstImage.rects())
            cairo_rectangle(cr, r.left, r.top, r.right - r.left, r.bottom - r.top);
        cairo_clip(cr);
        cairo_set_source_surface(cr, copy, dx, dy);
        cairo_paint(cr);
        cairo_destroy(cr);
        cairo_surface_destroy(copy);
        cairo_surface_mark_dirty(top->image);
    }

    // A pending update inside the area moves with the pixels.
    Region pendingInside = w->update;
    pendingInside.intersect(area);
    if (!pendingInside.empty()) {
        w->update.subtract(pendingInside);
        pendingInside.offset(dx, dy);
        pendingInside.intersect(area);
        w->update.unite(pendingInside);
    }

    if (flags & SW_SCROLLCHILDREN) {
        for (HWND k : w->children) {
            if (Window* kw = FindWindow(k)) {
                if (area.intersects(kw->rect)) {
                    kw->rect = OffsetRectBy(kw->rect, dx, dy);
                }
            }
        }
    }
    if (flags & SW_INVALIDATE) {
        for (const RECT& r : uncovered.rects())
            InvalidateClient(w, &r, (flags & SW_ERASE) != 0);
    }
    if (update) {
        if (RegionObject* ro = regionObject(update, "ScrollWindowEx"))
            ro->m_region = uncovered;
    }
    if (updateRect)
        *updateRect = uncovered.bounds();
    Present(top, OffsetRectBy(area.bounds(), o.x, o.y));
    return complexity(uncovered);
}

} // namespace plat
