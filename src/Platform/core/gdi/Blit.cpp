// Blits between DCs and from DIBs: colour <-> monochrome conversion, stretch modes, raster codes.

#include "core/emf/EmfRecorder.h"
#include "core/gdi/Raster.h"

#include <algorithm>
#include <cstring>

namespace plat::core {

namespace {

// A source of pixels: an RGB24 surface and how its pixels become destination colours.
struct BlitSource {
    cairo_surface_t* surface = nullptr;
    bool mono = false;                           // the source is a 1-bpp model
    const std::vector<RGBQUAD>* table = nullptr; // a 1-bpp DIB section's colours
    std::uint32_t bkPixel = 0;                   // the source DC's background colour
};

std::uint32_t tablePixel(const RGBQUAD& q) {
    return (static_cast<std::uint32_t>(q.rgbRed) << 16) |
           (static_cast<std::uint32_t>(q.rgbGreen) << 8) | q.rgbBlue;
}

// Source pixel -> destination pixel. Monochrome to colour: 0 (black) takes the destination's text
// colour, 1 (white) its background colour (a DIB section uses its colour table instead). Colour
// to monochrome: the source DC's background colour becomes 1 (white), all else 0 (black).
std::uint32_t convert(const BlitSource& src, const Dc& dst, std::uint32_t p) {
    const bool dstMono = dst.mono();
    if (src.mono && !dstMono) {
        const bool one = p == kWhitePixel;
        if (src.table && src.table->size() >= 2)
            return tablePixel((*src.table)[one ? 1 : 0]);
        return PixelFromColor(ResolveColor(one ? dst.state.bkColor : dst.state.textColor));
    }
    if (!src.mono && dstMono)
        return p == src.bkPixel ? kWhitePixel : kBlackPixel;
    return p;
}

// Maps destination index i (0..dn-1) onto the source span [s0, s0 + sn): the first and one past
// the last source index. Enlarging (or equal sizes) picks the nearest source pixel; reducing
// gives the run of source pixels that fall on i.
void span(int i, int dn, int sn, int* first, int* last, bool nearest) {
    if (dn >= sn || nearest) {
        const long long f = (2LL * i + 1) * sn / (2LL * dn);
        *first = static_cast<int>(f);
        *last = *first + 1;
        return;
    }
    *first = static_cast<int>(static_cast<long long>(i) * sn / dn);
    *last = std::max(*first + 1, static_cast<int>(static_cast<long long>(i + 1) * sn / dn));
}

// The core of every blit. `dstRect` and `srcRect` are in surface coordinates and may be
// mirrored (right < left or bottom < top).
bool stretch(Dc& dst, RECT dstRect, const BlitSource& src, RECT srcRect, std::uint8_t rop3) {
    const bool flipX = (dstRect.right < dstRect.left) != (srcRect.right < srcRect.left);
    const bool flipY = (dstRect.bottom < dstRect.top) != (srcRect.bottom < srcRect.top);
    // A negative extent runs from the given coordinate backwards, that pixel included: x = 9,
    // width = -10 covers columns 0 to 9.
    auto normalise = [](RECT r) {
        if (r.right < r.left)
            r = RECT{r.right + 1, r.top, r.left + 1, r.bottom};
        if (r.bottom < r.top)
            r = RECT{r.left, r.bottom + 1, r.right, r.top + 1};
        return r;
    };
    const RECT d = normalise(dstRect);
    const RECT s = normalise(srcRect);
    const int dw = d.right - d.left, dh = d.bottom - d.top;
    const int sw = s.right - s.left, sh = s.bottom - s.top;
    if (dw <= 0 || dh <= 0 || sw <= 0 || sh <= 0)
        return true;
    const RECT box = ClipBox(dst, d);
    if (box.left >= box.right)
        return EnsureSurface(dst) != nullptr;

    cairo_surface_flush(src.surface);
    const auto* sdata = cairo_image_surface_get_data(src.surface);
    const int sstride = cairo_image_surface_get_stride(src.surface);
    const int swidth = cairo_image_surface_get_width(src.surface);
    const int sheight = cairo_image_surface_get_height(src.surface);
    auto srcAt = [&](int x, int y) {
        return reinterpret_cast<const std::uint32_t*>(sdata +
                                                      static_cast<std::ptrdiff_t>(y) * sstride)[x] &
               0xFFFFFF;
    };
    const int mode = dst.state.stretchMode;

    SourceImage img;
    img.box = box;
    const int bw = box.right - box.left, bh = box.bottom - box.top;
    img.pixels.assign(static_cast<std::size_t>(bw) * static_cast<std::size_t>(bh), 0);
    img.valid.assign(img.pixels.size(), 0);
    for (int y = box.top; y < box.bottom; ++y) {
        int iy = y - d.top;
        if (flipY)
            iy = dh - 1 - iy;
        int y0, y1;
        span(iy, dh, sh, &y0, &y1, mode == COLORONCOLOR);
        y0 += s.top;
        y1 += s.top;
        for (int x = box.left; x < box.right; ++x) {
            int ix = x - d.left;
            if (flipX)
                ix = dw - 1 - ix;
            int x0, x1;
            span(ix, dw, sw, &x0, &x1, mode == COLORONCOLOR);
            x0 += s.left;
            x1 += s.left;
            // Pixels outside the source surface are not drawn.
            const int cx0 = std::max(x0, 0), cx1 = std::min(x1, swidth);
            const int cy0 = std::max(y0, 0), cy1 = std::min(y1, sheight);
            if (cx0 >= cx1 || cy0 >= cy1)
                continue;
            std::uint32_t p;
            if (cx1 - cx0 == 1 && cy1 - cy0 == 1) {
                p = srcAt(cx0, cy0);
            } else if (mode == HALFTONE) {
                unsigned long long r = 0, g = 0, b = 0, n = 0;
                for (int yy = cy0; yy < cy1; ++yy)
                    for (int xx = cx0; xx < cx1; ++xx) {
                        const std::uint32_t q = srcAt(xx, yy);
                        r += (q >> 16) & 0xFF;
                        g += (q >> 8) & 0xFF;
                        b += q & 0xFF;
                        ++n;
                    }
                p = static_cast<std::uint32_t>(((r + n / 2) / n) << 16 | ((g + n / 2) / n) << 8 |
                                               ((b + n / 2) / n));
                if (src.mono)
                    p = MonoFromPixel(p);
            } else {
                // BLACKONWHITE keeps black (AND); WHITEONBLACK keeps white (OR).
                const bool andMode = mode != WHITEONBLACK;
                p = andMode ? 0xFFFFFF : 0;
                for (int yy = cy0; yy < cy1; ++yy)
                    for (int xx = cx0; xx < cx1; ++xx)
                        p = andMode ? (p & srcAt(xx, yy)) : (p | srcAt(xx, yy));
            }
            const auto idx = static_cast<std::size_t>((y - box.top) * bw + (x - box.left));
            img.pixels[idx] = convert(src, dst, p);
            img.valid[idx] = 1;
        }
    }
    Coverage cov(box);
    cov.fillRect(box, kSourceInk);
    PaintOp op;
    op.ternary = true;
    op.rop3 = rop3;
    op.brush = BrushInk(dst, dst.state.brush);
    op.source = &img;
    return Apply(dst, cov, op);
}

bool usesSource(std::uint8_t rop3) {
    return ((rop3 >> 2) & 0x33) != (rop3 & 0x33);
}

POINT toSurface(const Dc& dc, int x, int y) {
    POINT p = ToDevice(dc.state, x, y);
    p.x += dc.origin.x;
    p.y += dc.origin.y;
    return p;
}

// The ROP3 with no source over a destination rectangle (logical).
bool patternOnly(Dc& dc, int x, int y, int w, int h, std::uint8_t rop3) {
    const POINT a = toSurface(dc, x, y), b = toSurface(dc, x + w, y + h);
    const RECT r{std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y)};
    Coverage cov(ClipBox(dc, r));
    cov.fillRect(r, kBrushInk);
    PaintOp op;
    op.ternary = true;
    op.rop3 = rop3;
    op.brush = BrushInk(dc, dc.state.brush);
    return Apply(dc, cov, op);
}

bool blitDc(HDC hdst, int x, int y, int w, int h, HDC hsrc, int xs, int ys, int ws, int hs,
            DWORD rop, const char* caller) {
    Dc* dst = LookupDc(hdst, caller);
    if (!dst)
        return false;
    if (dst->recorder)
        return dst->recorder->blit(*dst, x, y, w, h, hsrc, xs, ys, ws, hs, rop, true);
    const auto code = static_cast<std::uint8_t>((rop >> 16) & 0xFF);
    if (!usesSource(code))
        return patternOnly(*dst, x, y, w, h, code);
    Dc* src = LookupDc(hsrc, caller);
    if (!src)
        return false;
    BlitSource bs;
    bs.surface = EnsureSurface(*src);
    if (!bs.surface || !EnsureSurface(*dst))
        return false;
    auto sbm = src->bitmap();
    if (sbm) {
        sbm->loadFromDib();
        bs.mono = sbm->m_mono;
        if (sbm->m_dib && !sbm->m_colorTable.empty())
            bs.table = &sbm->m_colorTable;
    }
    bs.bkPixel = PixelFromColor(ResolveColor(src->state.bkColor));
    const POINT d0 = toSurface(*dst, x, y), d1 = toSurface(*dst, x + w, y + h);
    const POINT s0 = toSurface(*src, xs, ys), s1 = toSurface(*src, xs + ws, ys + hs);
    return stretch(*dst, RECT{d0.x, d0.y, d1.x, d1.y}, bs, RECT{s0.x, s0.y, s1.x, s1.y}, code);
}

} // namespace

} // namespace plat::core

namespace plat {

using namespace plat::core;

BOOL BitBlt(HDC dst, int x, int y, int width, int height, HDC src, int xSrc, int ySrc, DWORD rop) {
    return blitDc(dst, x, y, width, height, src, xSrc, ySrc, width, height, rop, "BitBlt") ? TRUE
                                                                                           : FALSE;
}

BOOL StretchBlt(HDC dst, int x, int y, int width, int height, HDC src, int xSrc, int ySrc,
                int widthSrc, int heightSrc, DWORD rop) {
    return blitDc(dst, x, y, width, height, src, xSrc, ySrc, widthSrc, heightSrc, rop, "StretchBlt")
               ? TRUE
               : FALSE;
}

int StretchDIBits(HDC hdc, int xDst, int yDst, int widthDst, int heightDst, int xSrc, int ySrc,
                  int widthSrc, int heightSrc, const void* bits, const BITMAPINFO* info, UINT usage,
                  DWORD rop) {
    Dc* dc = LookupDc(hdc, "StretchDIBits");
    if (!dc)
        return 0;
    if (dc->recorder)
        return dc->recorder->stretchDIBits(*dc, xDst, yDst, widthDst, heightDst, xSrc, ySrc,
                                           widthSrc, heightSrc, bits, info, usage, rop);
    const auto code = static_cast<std::uint8_t>((rop >> 16) & 0xFF);
    if (!usesSource(code))
        return patternOnly(*dc, xDst, yDst, widthDst, heightDst, code) ? std::abs(heightSrc) : 0;
    cairo_surface_t* img = DecodeDib(info, bits, usage, "StretchDIBits");
    if (!img)
        return 0;
    const int h = cairo_image_surface_get_height(img);
    BlitSource bs;
    bs.surface = img;
    bs.bkPixel = PixelFromColor(ResolveColor(dc->state.bkColor));
    // A bottom-up DIB counts source rows from its bottom row.
    const bool bottomUp = info->bmiHeader.biHeight > 0;
    const int top = bottomUp ? h - ySrc - heightSrc : ySrc;
    const POINT d0 = toSurface(*dc, xDst, yDst),
                d1 = toSurface(*dc, xDst + widthDst, yDst + heightDst);
    RECT srcRect{xSrc, top, xSrc + widthSrc, top + heightSrc};
    if (bottomUp && heightSrc < 0)
        srcRect = RECT{xSrc, h - ySrc, xSrc + widthSrc, h - ySrc - heightSrc};
    // Colour to monochrome without a source DC: by luminance, or the nearer table entry of a 1-bpp
    // section.
    if (dc->mono()) {
        cairo_surface_flush(img);
        auto* data = cairo_image_surface_get_data(img);
        const int stride = cairo_image_surface_get_stride(img);
        for (int y = 0; y < h; ++y) {
            auto* row =
                reinterpret_cast<std::uint32_t*>(data + static_cast<std::ptrdiff_t>(y) * stride);
            for (int x = 0; x < cairo_image_surface_get_width(img); ++x)
                row[x] = dc->monoPixel(row[x]);
        }
        cairo_surface_mark_dirty(img);
        bs.mono = true;
    }
    const bool ok = stretch(*dc, RECT{d0.x, d0.y, d1.x, d1.y}, bs, srcRect, code);
    cairo_surface_destroy(img);
    return ok ? std::abs(heightSrc) : 0;
}

int SetDIBitsToDevice(HDC hdc, int xDst, int yDst, DWORD width, DWORD height, int xSrc, int ySrc,
                      UINT startScan, UINT lines, const void* bits, const BITMAPINFO* info,
                      UINT usage) {
    Dc* dc = LookupDc(hdc, "SetDIBitsToDevice");
    if (!dc || !info || !bits || lines == 0)
        return 0;
    if (dc->recorder)
        return dc->recorder->setDIBitsToDevice(*dc, xDst, yDst, width, height, xSrc, ySrc,
                                               startScan, lines, bits, info, usage);
    int w, fullH, rowBytes;
    if (!DibLayout(info->bmiHeader, &w, &fullH, &rowBytes)) {
        GdiDiagnostic("SetDIBitsToDevice: unsupported or corrupt DIB header");
        return 0;
    }
    if (startScan >= static_cast<UINT>(fullH))
        return 0;
    const int n = static_cast<int>(std::min<UINT>(lines, static_cast<UINT>(fullH) - startScan));
    // The bits hold `n` scan lines starting at `startScan`: decode them as a DIB of that height.
    std::vector<std::uint8_t> header(sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD) + 12);
    const std::size_t extra =
        info->bmiHeader.biBitCount <= 8
            ? (info->bmiHeader.biClrUsed ? info->bmiHeader.biClrUsed
                                         : (1u << info->bmiHeader.biBitCount)) *
                  (usage == DIB_PAL_COLORS ? 2u : 4u)
            : (info->bmiHeader.biCompression == BI_BITFIELDS ? 12u : 0u);
    if (extra > header.size() - sizeof(BITMAPINFOHEADER))
        return 0;
    std::memcpy(header.data(), info, sizeof(BITMAPINFOHEADER));
    // Bit-field masks sit at offset 40 whatever the header's size; a colour table follows the
    // header.
    const std::size_t tableAt =
        info->bmiHeader.biBitCount > 8 ? sizeof(BITMAPINFOHEADER) : info->bmiHeader.biSize;
    std::memcpy(header.data() + sizeof(BITMAPINFOHEADER),
                reinterpret_cast<const std::uint8_t*>(info) + tableAt, extra);
    auto* partial = reinterpret_cast<BITMAPINFO*>(header.data());
    partial->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    const bool bottomUp = info->bmiHeader.biHeight > 0;
    partial->bmiHeader.biHeight = bottomUp ? n : -n;
    cairo_surface_t* img = DecodeDib(partial, bits, usage, "SetDIBitsToDevice");
    if (!img)
        return 0;
    BlitSource bs;
    bs.surface = img;
    bs.bkPixel = PixelFromColor(ResolveColor(dc->state.bkColor));
    const int hh = static_cast<int>(height), ww = static_cast<int>(width);
    // Source rows: from the bottom for a bottom-up DIB, counted within the scan lines given.
    const int top = bottomUp ? n - (ySrc - static_cast<int>(startScan)) - hh
                             : ySrc - static_cast<int>(startScan);
    const POINT d0 = toSurface(*dc, xDst, yDst), d1 = toSurface(*dc, xDst + ww, yDst + hh);
    const bool ok =
        stretch(*dc, RECT{d0.x, d0.y, d1.x, d1.y}, bs, RECT{xSrc, top, xSrc + ww, top + hh}, 0xCC);
    cairo_surface_destroy(img);
    return ok ? n : 0;
}

} // namespace plat
