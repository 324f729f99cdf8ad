// The object table, DC kinds and state, regions, device capabilities and palettes.

#include "core/gdi/WindowDc.h"
#include "plat/Window.h"
#include "platform/GdiCanvas.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using namespace plat;
using kvtest::GdiCanvas;

std::vector<std::string>& diagnostics() {
    static std::vector<std::string> lines;
    return lines;
}

// Collects the diagnostic lines of one test.
class DiagnosticCapture {
public:
    DiagnosticCapture() {
        diagnostics().clear();
        m_old = core::SetGdiDiagnosticSink(
            [](std::string_view line) { diagnostics().emplace_back(line); });
    }
    ~DiagnosticCapture() { core::SetGdiDiagnosticSink(m_old); }

private:
    core::GdiDiagnosticSink m_old;
};

TEST(GdiObjects, SelectedObjectCannotBeDeletedAndStaysUsable) {
    GdiCanvas c(10, 10);
    HPEN pen = CreatePen(PS_SOLID, 1, RGB(255, 0, 0));
    HGDIOBJ old = SelectObject(c.dc(), pen);
    EXPECT_EQ(old, GetStockObject(BLACK_PEN));
    EXPECT_FALSE(DeleteObject(pen));
    MoveToEx(c.dc(), 0, 0, nullptr);
    LineTo(c.dc(), 5, 0);
    EXPECT_EQ(c.at(2, 0), RGB(255, 0, 0));
    // Held by a saved state only, it is still selected.
    SaveDC(c.dc());
    SelectObject(c.dc(), old);
    EXPECT_FALSE(DeleteObject(pen));
    RestoreDC(c.dc(), -1);
    EXPECT_EQ(SelectObject(c.dc(), old), pen);
    EXPECT_TRUE(DeleteObject(pen));
}

TEST(GdiObjects, DeletedHandlesAreStaleEverywhere) {
    DiagnosticCapture capture;
    HBRUSH b = CreateSolidBrush(RGB(1, 2, 3));
    ASSERT_TRUE(DeleteObject(b));
    GdiCanvas c(4, 4);
    EXPECT_EQ(SelectObject(c.dc(), b), nullptr);
    EXPECT_EQ(GetObject(b, 0, nullptr), 0);
    EXPECT_FALSE(DeleteObject(b));
    const RECT r{0, 0, 4, 4};
    EXPECT_FALSE(FillRect(c.dc(), &r, b));
    EXPECT_EQ(c.count(RGB(255, 255, 255)), 16);
    // A new object does not revive the old handle even when it reuses the slot.
    HBRUSH b2 = CreateSolidBrush(RGB(4, 5, 6));
    EXPECT_NE(b2, b);
    EXPECT_EQ(GetObjectType(b), 0u);
    EXPECT_EQ(GetObjectType(b2), OBJ_BRUSH);
    DeleteObject(b2);
    EXPECT_FALSE(diagnostics().empty());
}

TEST(GdiObjects, StaleDcFailsEveryCall) {
    DiagnosticCapture capture;
    HDC dc = CreateCompatibleDC(nullptr);
    ASSERT_TRUE(DeleteDC(dc));
    const RECT r{0, 0, 1, 1};
    EXPECT_FALSE(DeleteDC(dc));
    EXPECT_FALSE(FillRect(dc, &r, GetStockObject(BLACK_BRUSH)));
    EXPECT_FALSE(LineTo(dc, 3, 3));
    EXPECT_EQ(GetPixel(dc, 0, 0), CLR_INVALID);
    EXPECT_EQ(SetTextColor(dc, 0), CLR_INVALID);
    EXPECT_EQ(SaveDC(dc), 0);
    EXPECT_GE(diagnostics().size(), 6u);
}

TEST(GdiObjects, StockObjectsSurviveDeletion) {
    for (int id : {WHITE_BRUSH, BLACK_BRUSH, NULL_BRUSH, BLACK_PEN, NULL_PEN, DEFAULT_PALETTE}) {
        SCOPED_TRACE(id);
        HGDIOBJ h = GetStockObject(id);
        ASSERT_NE(h, nullptr);
        EXPECT_TRUE(DeleteObject(h));
        EXPECT_EQ(GetStockObject(id), h);
        EXPECT_NE(GetObjectType(h), 0u);
    }
    EXPECT_EQ(GetStockObject(9), nullptr);
    // System colour brushes are stock too, in the system colour.
    HBRUSH face = GetSysColorBrush(COLOR_BTNFACE);
    EXPECT_TRUE(DeleteObject(face));
    LOGBRUSH lb;
    ASSERT_GT(GetObject(face, sizeof lb, &lb), 0);
    EXPECT_EQ(lb.lbColor, GetSysColor(COLOR_BTNFACE) & 0xFFFFFF);
}

TEST(GdiObjects, GetObjectNeverWritesPastTheBuffer) {
    HBITMAP bm = CreateBitmap(10, 4, 1, 32, nullptr);
    EXPECT_EQ(GetObject(bm, 0, nullptr), static_cast<int>(sizeof(BITMAP)));
    unsigned char buf[sizeof(BITMAP) + 8];
    std::memset(buf, 0xEE, sizeof buf);
    EXPECT_EQ(GetObject(bm, 8, buf), 8);
    EXPECT_EQ(buf[8], 0xEE);
    BITMAP info;
    GetObject(bm, sizeof info, &info);
    EXPECT_EQ(info.bmWidth, 10);
    EXPECT_EQ(info.bmHeight, 4);
    EXPECT_EQ(info.bmBitsPixel, 32);
    DeleteObject(bm);
}

TEST(GdiObjects, BitmapIsSelectedIntoOneDcAtATime) {
    HBITMAP bm = CreateBitmap(4, 4, 1, 32, nullptr);
    HDC a = CreateCompatibleDC(nullptr), b = CreateCompatibleDC(nullptr);
    HGDIOBJ oldA = SelectObject(a, bm);
    ASSERT_NE(oldA, nullptr);
    EXPECT_EQ(SelectObject(b, bm), nullptr);
    SelectObject(a, oldA);
    EXPECT_NE(SelectObject(b, bm), nullptr);
    DeleteDC(b); // releases the bitmap
    EXPECT_TRUE(DeleteObject(bm));
    DeleteDC(a);
}

TEST(Regions, CombineAndQuery) {
    HRGN a = CreateRectRgn(0, 0, 10, 10);
    HRGN b = CreateRectRgn(5, 5, 15, 15);
    HRGN d = CreateRectRgn(0, 0, 0, 0);
    struct Case {
        int mode;
        int type;
        int area;
    } cases[] = {{RGN_AND, SIMPLEREGION, 25},
                 {RGN_OR, COMPLEXREGION, 175},
                 {RGN_XOR, COMPLEXREGION, 150},
                 {RGN_DIFF, COMPLEXREGION, 75},
                 {RGN_COPY, SIMPLEREGION, 100}};
    for (const auto& k : cases) {
        SCOPED_TRACE(k.mode);
        EXPECT_EQ(CombineRgn(d, a, b, k.mode), k.type);
        int area = 0;
        for (int y = -1; y < 16; ++y)
            for (int x = -1; x < 16; ++x)
                area += PtInRegion(d, x, y);
        EXPECT_EQ(area, k.area);
    }
    RECT box;
    CombineRgn(d, a, b, RGN_OR);
    EXPECT_EQ(GetRgnBox(d, &box), COMPLEXREGION);
    EXPECT_EQ(box.right, 15);
    EXPECT_EQ(OffsetRgn(d, 100, 0), COMPLEXREGION);
    const RECT probe{100, 0, 101, 1}, miss{0, 0, 50, 50};
    EXPECT_TRUE(RectInRegion(d, &probe));
    EXPECT_FALSE(RectInRegion(d, &miss));
    CombineRgn(d, a, b, RGN_AND);
    CombineRgn(d, d, b, RGN_DIFF);
    EXPECT_EQ(GetRgnBox(d, &box), NULLREGION);
    EXPECT_EQ(CombineRgn(d, a, nullptr, RGN_OR), ERROR);
    EXPECT_EQ(CombineRgn(d, a, b, 99), ERROR);
    for (HRGN r : {a, b, d})
        DeleteObject(r);
}

TEST(DeviceCaps, VirtualScreen) {
    HDC screen = CreateDC("DISPLAY", nullptr, nullptr, nullptr);
    ASSERT_NE(screen, nullptr);
    EXPECT_EQ(GetDeviceCaps(screen, HORZRES), 1920);
    EXPECT_EQ(GetDeviceCaps(screen, VERTRES), 1080);
    EXPECT_EQ(GetDeviceCaps(screen, LOGPIXELSX), ScreenDpi());
    EXPECT_EQ(GetDeviceCaps(screen, BITSPIXEL) * GetDeviceCaps(screen, PLANES), 32);
    EXPECT_EQ(GetDeviceCaps(screen, RASTERCAPS) & RC_PALETTE, 0);
    EXPECT_EQ(GetDeviceCaps(screen, SIZEPALETTE), 0);
    EXPECT_EQ(GetDeviceCaps(screen, NUMCOLORS), -1);
    // The millimetres keep the physical dpi equal to the logical dpi.
    const int hmm = GetDeviceCaps(screen, HORZSIZE), vmm = GetDeviceCaps(screen, VERTSIZE);
    EXPECT_EQ((1920 * 254 + hmm * 5) / (hmm * 10), ScreenDpi());
    EXPECT_EQ((1080 * 254 + vmm * 5) / (vmm * 10), ScreenDpi());
    if (ScreenDpi() == 96) {
        EXPECT_EQ(hmm, 508);
        EXPECT_EQ(vmm, 286);
    }
    core::SetDeviceCapsOverride(BITSPIXEL, 8);
    EXPECT_EQ(GetDeviceCaps(screen, BITSPIXEL), 8);
    core::ClearDeviceCapsOverrides();
    EXPECT_EQ(GetDeviceCaps(screen, BITSPIXEL), 32);
    EXPECT_EQ(CreateDC("PRINTER", nullptr, nullptr, nullptr), nullptr);
    DeleteDC(screen);
}

TEST(Palettes, HonestNoOps) {
    struct {
        LOGPALETTE head;
        PALETTEENTRY more[2];
    } lp;
    lp.head.palNumEntries = 3;
    lp.head.palPalEntry[0] = PALETTEENTRY{1, 2, 3, PC_NOCOLLAPSE};
    lp.more[0] = PALETTEENTRY{4, 5, 6, 0};
    lp.more[1] = PALETTEENTRY{7, 8, 9, 0};
    HPALETTE pal = CreatePalette(&lp.head);
    ASSERT_NE(pal, nullptr);
    PALETTEENTRY got[4];
    EXPECT_EQ(GetPaletteEntries(pal, 1, 4, got), 2u);
    EXPECT_EQ(got[1].peBlue, 9);
    GdiCanvas c(2, 2);
    HPALETTE old = SelectPalette(c.dc(), pal, FALSE);
    EXPECT_EQ(old, GetStockObject(DEFAULT_PALETTE));
    EXPECT_EQ(RealizePalette(c.dc()), 0u);
    EXPECT_FALSE(DeleteObject(pal)); // selected
    SelectPalette(c.dc(), old, FALSE);
    EXPECT_TRUE(DeleteObject(pal));

    PALETTEENTRY sys[256];
    EXPECT_EQ(GetSystemPaletteEntries(c.dc(), 0, 256, sys), 256u);
    EXPECT_EQ(sys[0].peRed + sys[0].peGreen + sys[0].peBlue, 0);
    EXPECT_EQ(sys[255].peRed & sys[255].peGreen & sys[255].peBlue, 255);
    // Every corner of the 6 x 6 x 6 cube is in the table.
    int corners = 0;
    for (const auto& e : sys)
        corners += (e.peRed % 255 == 0) && (e.peGreen % 255 == 0) && (e.peBlue % 255 == 0);
    EXPECT_GE(corners, 8);
    EXPECT_EQ(GetSystemPaletteEntries(c.dc(), 250, 10, sys), 6u);
    // A palette-index colour reads the table.
    SetPixel(c.dc(), 0, 0, PALETTEINDEX(255));
    EXPECT_EQ(GetPixel(c.dc(), 0, 0), RGB(255, 255, 255));
}

TEST(SurfaceDc, DrawsAtTheOriginInsideTheClipAndRecordsWhatItTouched) {
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 50, 50);
    core::Region clip(RECT{10, 10, 40, 40});
    HDC dc = core::CreateSurfaceDc(s, POINT{10, 20}, clip, nullptr);
    ASSERT_NE(dc, nullptr);
    const RECT r{0, 0, 100, 100};
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    FillRect(dc, &r, red);
    const RECT t = core::TakeTouchedRect(dc);
    EXPECT_EQ(t.left, 10);
    EXPECT_EQ(t.top, 20);
    EXPECT_EQ(t.right, 40);
    EXPECT_EQ(t.bottom, 40);
    EXPECT_EQ(core::TakeTouchedRect(dc).right, 0);
    EXPECT_EQ(GetPixel(dc, 0, 0), RGB(255, 0, 0)); // device (0, 0) is image (10, 20)
    EXPECT_EQ(GetPixel(dc, 0, -15), CLR_INVALID);  // outside the clip
    RECT box;
    EXPECT_EQ(GetClipBox(dc, &box), SIMPLEREGION);
    EXPECT_EQ(box.left, 0);
    EXPECT_EQ(box.top, -10);
    EXPECT_EQ(box.bottom, 20);
    core::DestroySurfaceDc(dc);
    DeleteObject(red);
    cairo_surface_destroy(s);

    cairo_surface_t* a8 = cairo_image_surface_create(CAIRO_FORMAT_A8, 8, 8);
    {
        DiagnosticCapture capture;
        EXPECT_EQ(core::CreateSurfaceDc(a8, POINT{}, core::Region(), nullptr), nullptr);
    }
    cairo_surface_destroy(a8);

    HDC scratch = core::CreateScratchDc();
    EXPECT_EQ(GetDeviceCaps(scratch, LOGPIXELSY), ScreenDpi());
    EXPECT_TRUE(Rectangle(scratch, 0, 0, 10, 10));
    EXPECT_TRUE(DeleteDC(scratch));
}

TEST(DcState, SaveDcRestoresEveryAttribute) {
    GdiCanvas c(4, 4);
    HDC dc = c.dc();
    const int first = SaveDC(dc);
    SetROP2(dc, R2_XORPEN);
    SetBkMode(dc, TRANSPARENT);
    SetTextAlign(dc, TA_BASELINE);
    SetMapMode(dc, MM_ANISOTROPIC);
    SetPolyFillMode(dc, WINDING);
    SetStretchBltMode(dc, HALFTONE);
    SetBrushOrgEx(dc, 3, 4, nullptr);
    MoveToEx(dc, 7, 8, nullptr);
    EXPECT_EQ(SaveDC(dc), first + 1);
    SetROP2(dc, R2_NOT);
    ASSERT_TRUE(RestoreDC(dc, first + 1));
    EXPECT_EQ(GetROP2(dc), R2_XORPEN);
    ASSERT_TRUE(RestoreDC(dc, first));
    EXPECT_EQ(GetROP2(dc), R2_COPYPEN);
    EXPECT_EQ(GetBkMode(dc), OPAQUE);
    EXPECT_EQ(GetTextAlign(dc), 0u);
    EXPECT_EQ(GetMapMode(dc), MM_TEXT);
    EXPECT_EQ(GetPolyFillMode(dc), ALTERNATE);
    EXPECT_EQ(GetStretchBltMode(dc), BLACKONWHITE);
    POINT p;
    GetBrushOrgEx(dc, &p);
    EXPECT_EQ(p.x, 0);
    GetCurrentPositionEx(dc, &p);
    EXPECT_EQ(p.x, 0);
    // Refused values leave the attribute alone.
    EXPECT_EQ(SetROP2(dc, 0), 0);
    EXPECT_EQ(SetBkMode(dc, 7), 0);
    EXPECT_EQ(GetROP2(dc), R2_COPYPEN);
}

TEST(DcText, StateAndCairoAccessForTextDrawing) {
    GdiCanvas c(20, 20);
    SetTextColor(c.dc(), PALETTERGB(10, 20, 30));
    SetBkMode(c.dc(), TRANSPARENT);
    core::DcTextState st;
    ASSERT_TRUE(core::GetDcTextState(c.dc(), &st));
    EXPECT_EQ(st.textColor, RGB(10, 20, 30));
    EXPECT_EQ(st.bkMode, TRANSPARENT);
    EXPECT_FALSE(st.monochrome);
    IntersectClipRect(c.dc(), 0, 0, 5, 5);
    {
        core::DcCairo cr(c.dc());
        ASSERT_TRUE(cr.ok());
        cairo_set_source_rgb(cr.cr(), 0, 0, 0);
        cairo_paint(cr.cr());
        cr.touch(RECT{0, 0, 20, 20});
    }
    EXPECT_EQ(c.count(RGB(0, 0, 0)), 25); // the clip held
    HDC dead = CreateCompatibleDC(nullptr);
    DeleteDC(dead);
    DiagnosticCapture capture;
    core::DcCairo none(dead);
    EXPECT_FALSE(none.ok());
}

} // namespace

namespace {

struct IsoCase {
    SIZE window, viewport, expected;
};

} // namespace

TEST(DcMapping, IsotropicShrinksTheAxisThatWouldScaleMore) {
    // Each expected viewport keeps the smaller of |vx/wx| and |vy/wy| on both axes.
    const IsoCase cases[] = {
        {{100, 100}, {400, 200}, {200, 200}},    // x would scale 4, y 2: x comes down
        {{100, 50}, {300, 300}, {300, 150}},     // x 3, y 6: y comes down
        {{100, 100}, {400, -200}, {200, -200}},  // a flipped y axis stays flipped
        {{-100, 100}, {-300, 600}, {-300, 300}}, // a negative window extent keeps signs
        {{3, 7}, {10, 10}, {4, 10}},             // 3 * 10 / 7 = 4.29 rounds to 4
        {{50, 50}, {80, 80}, {80, 80}},          // already equal: untouched
    };
    for (const IsoCase& k : cases) {
        SCOPED_TRACE(testing::Message() << k.window.cx << "x" << k.window.cy << " -> "
                                        << k.viewport.cx << "x" << k.viewport.cy);
        for (bool windowFirst : {true, false}) {
            GdiCanvas c(4, 4);
            HDC dc = c.dc();
            ASSERT_EQ(SetMapMode(dc, MM_ISOTROPIC), MM_TEXT);
            if (windowFirst) {
                SetWindowExtEx(dc, k.window.cx, k.window.cy, nullptr);
                SetViewportExtEx(dc, k.viewport.cx, k.viewport.cy, nullptr);
            } else {
                // Viewport first, then the window: the final pair is judged all the same.
                SetViewportExtEx(dc, k.viewport.cx, k.viewport.cy, nullptr);
                SetWindowExtEx(dc, k.window.cx, k.window.cy, nullptr);
            }
            SIZE v{};
            ASSERT_TRUE(GetViewportExtEx(dc, &v));
            EXPECT_EQ(v.cx, k.expected.cx) << "window first: " << windowFirst;
            EXPECT_EQ(v.cy, k.expected.cy) << "window first: " << windowFirst;
            SIZE w{};
            GetWindowExtEx(dc, &w);
            EXPECT_EQ(w.cx, k.window.cx);
            EXPECT_EQ(w.cy, k.window.cy);
        }
    }
}

TEST(DcMapping, IsotropicSquareStaysSquareAndAnisotropicIsFree) {
    GdiCanvas c(4, 4);
    HDC dc = c.dc();
    SetMapMode(dc, MM_ANISOTROPIC);
    SetWindowExtEx(dc, 100, 100, nullptr);
    SetViewportExtEx(dc, 300, -100, nullptr);
    SIZE v{};
    GetViewportExtEx(dc, &v);
    EXPECT_EQ(v.cx, 300);
    EXPECT_EQ(v.cy, -100);
    // Switching to isotropic applies the rule to the extents already set.
    EXPECT_EQ(SetMapMode(dc, MM_ISOTROPIC), MM_ANISOTROPIC);
    GetViewportExtEx(dc, &v);
    EXPECT_EQ(v.cx, 100);
    EXPECT_EQ(v.cy, -100);
    POINT p[2] = {{0, 0}, {50, 50}};
    ASSERT_TRUE(LPtoDP(dc, p, 2));
    EXPECT_EQ(p[1].x - p[0].x, 50);
    EXPECT_EQ(p[1].y - p[0].y, -50);
}
