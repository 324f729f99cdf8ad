// Pixel rules of the shapes, counted or compared against what the rules say.

#include "core/gdi/Raster.h"
#include "plat/Window.h"
#include "platform/GdiCanvas.h"
#include "support/Golden.h"

#include <cmath>
#include <gtest/gtest.h>
#include <random>

namespace {

using namespace plat;
using kvtest::GdiCanvas;
using kvtest::Selected;

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);

bool inRect(int x, int y, const RECT& r) {
    return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
}

TEST(Rectangle, WithoutPenFillsOnePixelLessRightAndBelow) {
    GdiCanvas c(30, 30);
    Selected pen(c.dc(), CreatePen(PS_NULL, 0, 0));
    Selected brush(c.dc(), CreateSolidBrush(kRed));
    ASSERT_TRUE(Rectangle(c.dc(), 10, 10, 11, 11));
    EXPECT_EQ(c.count(kRed), 0);
    ASSERT_TRUE(Rectangle(c.dc(), 10, 10, 12, 12));
    EXPECT_EQ(c.count(kRed), 1);
    EXPECT_EQ(c.at(10, 10), kRed);
    ASSERT_TRUE(Rectangle(c.dc(), 2, 3, 8, 9));
    const RECT want{2, 3, 7, 8};
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 30; ++x)
            if (!(x == 10 && y == 10)) {
                EXPECT_EQ(c.at(x, y) == kRed, inRect(x, y, want)) << x << "," << y;
            }
}

TEST(Rectangle, OnePixelPenOutlinesFirstAndLastColumnAndRow) {
    GdiCanvas c(30, 30);
    Selected pen(c.dc(), CreatePen(PS_SOLID, 1, kBlue));
    Selected brush(c.dc(), CreateSolidBrush(kRed));
    ASSERT_TRUE(Rectangle(c.dc(), 10, 10, 20, 20));
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 30; ++x) {
            const bool box = x >= 10 && x <= 19 && y >= 10 && y <= 19;
            const bool edge = box && (x == 10 || x == 19 || y == 10 || y == 19);
            const COLORREF want = edge ? kBlue : box ? kRed : kWhite;
            EXPECT_EQ(c.at(x, y), want) << x << "," << y;
        }
}

TEST(Rectangle, InsideFramePenStaysInsideTheBox) {
    GdiCanvas c(30, 30);
    Selected pen(c.dc(), CreatePen(PS_INSIDEFRAME, 3, kBlue));
    Selected brush(c.dc(), GetStockObject(NULL_BRUSH));
    ASSERT_TRUE(Rectangle(c.dc(), 5, 5, 25, 20));
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 30; ++x) {
            const bool outer = inRect(x, y, RECT{5, 5, 25, 20});
            const bool inner = inRect(x, y, RECT{8, 8, 22, 17});
            EXPECT_EQ(c.at(x, y) == kBlue, outer && !inner) << x << "," << y;
        }
}

struct StyleCase {
    int style;
    int on;
    int off;
};

TEST(Lines, StylesRepeatTheirPatternAndGapsFollowTheBackgroundMode) {
    for (const StyleCase sc :
         {StyleCase{PS_SOLID, 1, 0}, StyleCase{PS_DOT, 3, 3}, StyleCase{PS_DASH, 18, 6}}) {
        for (int mode : {OPAQUE, TRANSPARENT}) {
            SCOPED_TRACE(testing::Message() << "style " << sc.style << " mode " << mode);
            GdiCanvas c(100, 5);
            Selected pen(c.dc(), CreatePen(sc.style, 1, kBlack));
            SetBkMode(c.dc(), mode);
            SetBkColor(c.dc(), kRed);
            MoveToEx(c.dc(), 0, 2, nullptr);
            ASSERT_TRUE(LineTo(c.dc(), 90, 2));
            for (int x = 0; x < 100; ++x) {
                COLORREF want;
                if (x >= 90)
                    want = kWhite; // the last point is not drawn
                else if (sc.off == 0 || x % (sc.on + sc.off) < sc.on)
                    want = kBlack;
                else
                    want = mode == OPAQUE ? kRed : kWhite;
                EXPECT_EQ(c.at(x, 2), want) << x;
            }
            EXPECT_EQ(c.count(kBlack) + c.count(kRed),
                      sc.off == 0 || mode == OPAQUE
                          ? 90
                          : 90 / (sc.on + sc.off) * sc.on + std::min(90 % (sc.on + sc.off), sc.on));
        }
    }
}

TEST(Lines, CurrentPositionMovesAndPolylineContinues) {
    GdiCanvas c(40, 40);
    POINT prev;
    MoveToEx(c.dc(), 5, 5, nullptr);
    LineTo(c.dc(), 15, 5);
    MoveToEx(c.dc(), 1, 1, &prev);
    EXPECT_EQ(prev.x, 15);
    EXPECT_EQ(prev.y, 5);
    const POINT pts[] = {{10, 20}, {30, 20}, {30, 30}};
    GdiCanvas d(40, 40);
    ASSERT_TRUE(Polyline(d.dc(), pts, 3));
    // Corner drawn once, the final point left out: 20 + 10 pixels.
    EXPECT_EQ(d.count(kBlack), 30);
    EXPECT_EQ(d.at(30, 20), kBlack);
    EXPECT_EQ(d.at(30, 30), kWhite);
}

TEST(Lines, WidePenCoversItsWidthAcrossTheLine) {
    GdiCanvas c(60, 30);
    Selected pen(c.dc(), CreatePen(PS_SOLID, 5, kBlack));
    MoveToEx(c.dc(), 10, 15, nullptr);
    LineTo(c.dc(), 50, 15);
    for (int y = 0; y < 30; ++y)
        EXPECT_EQ(c.at(30, y) == kBlack, y >= 13 && y <= 17) << y;
    // Round caps reach past both ends by about half the width.
    EXPECT_EQ(c.at(8, 15), kBlack);
    EXPECT_EQ(c.at(52, 15), kBlack);
    EXPECT_EQ(c.at(5, 15), kWhite);
    // Styled wide pens draw solid.
    GdiCanvas d(60, 30);
    Selected dash(d.dc(), CreatePen(PS_DASH, 3, kBlack));
    MoveToEx(d.dc(), 0, 15, nullptr);
    LineTo(d.dc(), 59, 15);
    for (int x = 2; x < 57; ++x)
        EXPECT_EQ(d.at(x, 15), kBlack) << x;
}

TEST(Polygon, FillsPixelsWhoseCentreIsInside) {
    GdiCanvas c(30, 30);
    Selected pen(c.dc(), GetStockObject(NULL_PEN));
    Selected brush(c.dc(), CreateSolidBrush(kRed));
    const POINT square[] = {{5, 5}, {15, 5}, {15, 15}, {5, 15}};
    ASSERT_TRUE(Polygon(c.dc(), square, 4));
    EXPECT_EQ(c.count(kRed), 100);
    const RECT b = c.bounds(kRed);
    EXPECT_EQ(b.left, 5);
    EXPECT_EQ(b.right, 15);
    // A right triangle: the pixels with centre inside x + y < 20 (both from 0).
    GdiCanvas t(30, 30);
    Selected pen2(t.dc(), GetStockObject(NULL_PEN));
    Selected brush2(t.dc(), CreateSolidBrush(kRed));
    const POINT tri[] = {{0, 0}, {20, 0}, {0, 20}};
    ASSERT_TRUE(Polygon(t.dc(), tri, 3));
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 30; ++x) {
            const double s = (x + 0.5) + (y + 0.5);
            if (std::fabs(s - 20) > 0.01) {
                EXPECT_EQ(t.at(x, y) == kRed, s < 20) << x << "," << y;
            }
        }
}

TEST(Polygon, AlternateLeavesOverlapEmptyWindingFillsIt) {
    // One figure that goes round the inner square twice.
    const POINT pts[] = {{0, 0}, {20, 0}, {20, 20}, {0, 20}, {0, 0},
                         {5, 5}, {15, 5}, {15, 15}, {5, 15}, {5, 5}};
    for (int mode : {ALTERNATE, WINDING}) {
        SCOPED_TRACE(mode);
        GdiCanvas c(30, 30);
        Selected pen(c.dc(), GetStockObject(NULL_PEN));
        Selected brush(c.dc(), CreateSolidBrush(kRed));
        SetPolyFillMode(c.dc(), mode);
        ASSERT_TRUE(Polygon(c.dc(), pts, 10));
        EXPECT_EQ(c.at(10, 10) == kRed, mode == WINDING);
        EXPECT_EQ(c.at(2, 2), kRed);
        EXPECT_EQ(c.count(kRed), mode == WINDING ? 400 : 300);
    }
}

TEST(Ellipse, FillMatchesTheInscribedEllipseWithinOnePixel) {
    for (const RECT box : {RECT{2, 2, 33, 23}, RECT{5, 1, 16, 40}, RECT{0, 0, 40, 40}}) {
        SCOPED_TRACE(testing::Message()
                     << box.left << "," << box.top << "," << box.right << "," << box.bottom);
        GdiCanvas c(45, 45);
        Selected pen(c.dc(), GetStockObject(NULL_PEN));
        Selected brush(c.dc(), CreateSolidBrush(kRed));
        ASSERT_TRUE(Ellipse(c.dc(), box.left, box.top, box.right, box.bottom));
        // Like the pen-less rectangle, the ellipse fills within [l, r - 1) x [t, b - 1).
        const double cx = (box.left + box.right - 1) / 2.0, cy = (box.top + box.bottom - 1) / 2.0;
        const double rx = (box.right - 1 - box.left) / 2.0, ry = (box.bottom - 1 - box.top) / 2.0;
        for (int y = 0; y < 45; ++y)
            for (int x = 0; x < 45; ++x) {
                const double px = x + 0.5, py = y + 0.5;
                // Distance from the ellipse in pixels, approximately.
                const double k = std::hypot((px - cx) / rx, (py - cy) / ry);
                const double dist = (k - 1) * std::min(rx, ry);
                if (dist < -1) {
                    EXPECT_EQ(c.at(x, y), kRed) << x << "," << y;
                } else if (dist > 1) {
                    EXPECT_EQ(c.at(x, y), kWhite) << x << "," << y;
                }
            }
    }
}

TEST(Ellipse, OutlineIsClosedAndTouchesTheBoxSides) {
    GdiCanvas c(40, 40);
    Selected brush(c.dc(), GetStockObject(NULL_BRUSH));
    ASSERT_TRUE(Ellipse(c.dc(), 5, 8, 35, 30));
    const RECT b = c.bounds(kBlack);
    EXPECT_EQ(b.left, 5);
    EXPECT_EQ(b.top, 8);
    EXPECT_EQ(b.right, 35);
    EXPECT_EQ(b.bottom, 30);
    // Closed: the centre row crosses the outline exactly twice from left to right.
    int crossings = 0;
    for (int x = 1; x < 40; ++x)
        crossings += c.at(x, 19) == kBlack && c.at(x - 1, 19) != kBlack;
    EXPECT_EQ(crossings, 2);
}

TEST(Arc, RunsAnticlockwiseFromStartRadialToEndRadial) {
    // From the right radial to the top radial: the upper-right quarter only.
    GdiCanvas c(50, 50);
    ASSERT_TRUE(Arc(c.dc(), 5, 5, 45, 45, 45, 25, 25, 5));
    const RECT b = c.bounds(kBlack);
    EXPECT_GE(b.left, 24);
    EXPECT_LE(b.bottom, 26);
    EXPECT_GT(c.count(kBlack), 20);
    // Swapped radials: the other three quarters.
    GdiCanvas d(50, 50);
    ASSERT_TRUE(Arc(d.dc(), 5, 5, 45, 45, 25, 5, 45, 25));
    EXPECT_EQ(d.at(5, 25), kBlack);
    EXPECT_EQ(d.at(25, 44), kBlack);
    EXPECT_EQ(d.at(39, 10), kWhite);
}

TEST(Rects, FillFrameInvertCoverHalfOpenRectangles) {
    GdiCanvas c(20, 20);
    HBRUSH red = CreateSolidBrush(kRed);
    const RECT r{3, 4, 9, 12};
    ASSERT_TRUE(FillRect(c.dc(), &r, red));
    EXPECT_EQ(c.count(kRed), 6 * 8);
    EXPECT_EQ(c.bounds(kRed).right, 9);
    c.fill(kWhite);
    ASSERT_TRUE(FrameRect(c.dc(), &r, red));
    EXPECT_EQ(c.count(kRed), 2 * 6 + 2 * 6);
    EXPECT_EQ(c.at(3, 4), kRed);
    EXPECT_EQ(c.at(8, 11), kRed);
    EXPECT_EQ(c.at(4, 5), kWhite);
    c.fill(kWhite);
    ASSERT_TRUE(InvertRect(c.dc(), &r));
    EXPECT_EQ(c.count(kBlack), 48);
    // A system colour index + 1 stands for that colour's brush, as in window classes.
    ASSERT_TRUE(FillRect(c.dc(), &r, reinterpret_cast<HBRUSH>(COLOR_HIGHLIGHT + 1)));
    EXPECT_EQ(c.at(3, 4), GetSysColor(COLOR_HIGHLIGHT) & 0xFFFFFF);
    DeleteObject(red);
}

TEST(Pixels, SetPixelGetPixelAndPatBlt) {
    GdiCanvas c(10, 10);
    EXPECT_EQ(SetPixel(c.dc(), 3, 4, RGB(1, 2, 3)), RGB(1, 2, 3));
    EXPECT_EQ(GetPixel(c.dc(), 3, 4), RGB(1, 2, 3));
    EXPECT_EQ(GetPixel(c.dc(), 10, 4), CLR_INVALID);
    // The palette-relative flag is ignored.
    SetPixel(c.dc(), 0, 0, PALETTERGB(9, 8, 7));
    EXPECT_EQ(GetPixel(c.dc(), 0, 0), RGB(9, 8, 7));
    Selected brush(c.dc(), CreateSolidBrush(RGB(0x10, 0x20, 0x30)));
    ASSERT_TRUE(PatBlt(c.dc(), 5, 5, 2, 2, PATINVERT));
    EXPECT_EQ(GetPixel(c.dc(), 6, 6), RGB(0xEF, 0xDF, 0xCF));
    EXPECT_FALSE(PatBlt(c.dc(), 0, 0, 2, 2, SRCCOPY)); // needs a source
}

TEST(PatternBrush, ZeroBitsTakeTextColourOnesBackgroundAnchoredAtBrushOrigin) {
    // Rows alternate 0xF0 and 0x0F: left half of even rows is 1 (background).
    const std::uint8_t rows[8 * 2] = {0xF0, 0, 0x0F, 0, 0xF0, 0, 0x0F, 0,
                                      0xF0, 0, 0x0F, 0, 0xF0, 0, 0x0F, 0};
    HBITMAP bm = CreateBitmap(8, 8, 1, 1, rows);
    HBRUSH br = CreatePatternBrush(bm);
    ASSERT_NE(br, nullptr);
    ASSERT_TRUE(DeleteObject(bm)); // the brush keeps its own copy
    for (int org : {0, 3}) {
        SCOPED_TRACE(org);
        GdiCanvas c(16, 16);
        SetTextColor(c.dc(), kBlue);
        SetBkColor(c.dc(), kRed);
        SetBrushOrgEx(c.dc(), org, 0, nullptr);
        const RECT r{0, 0, 16, 16};
        FillRect(c.dc(), &r, br);
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x) {
                const int px = ((x - org) % 8 + 8) % 8;
                const bool one = ((rows[(y % 8) * 2] >> (7 - px)) & 1) != 0;
                EXPECT_EQ(c.at(x, y), one ? kRed : kBlue) << x << "," << y;
            }
    }
    DeleteObject(br);
}

// Drawing twice with an inverting mode restores the image byte for byte.
TEST(InvertingModes, DrawingTwiceRestoresTheImage) {
    std::mt19937 rng(1234);
    auto rnd = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    for (int round = 0; round < 40; ++round) {
        GdiCanvas c(64, 48);
        // A busy background.
        for (int i = 0; i < 30; ++i)
            SetPixel(c.dc(), rnd(0, 63), rnd(0, 47), RGB(rnd(0, 255), rnd(0, 255), rnd(0, 255)));
        HBRUSH bg = CreateSolidBrush(RGB(rnd(0, 255), rnd(0, 255), rnd(0, 255)));
        RECT bgr{rnd(0, 30), rnd(0, 20), rnd(30, 64), rnd(20, 48)};
        FillRect(c.dc(), &bgr, bg);
        DeleteObject(bg);
        const auto before = c.bytes();
        const int kind = round % 8;
        const int mode = round % 2 ? R2_XORPEN : R2_NOT;
        SCOPED_TRACE(testing::Message() << "round " << round << " kind " << kind);
        Selected pen(c.dc(), CreatePen(rnd(0, 2), rnd(0, 1) ? 1 : rnd(2, 6),
                                       RGB(rnd(0, 255), rnd(0, 255), rnd(0, 255))));
        Selected brush(c.dc(), CreateSolidBrush(RGB(rnd(0, 255), rnd(0, 255), rnd(0, 255))));
        SetROP2(c.dc(), mode);
        SetBkMode(c.dc(), rnd(0, 1) ? OPAQUE : TRANSPARENT);
        // Boxes of at least 3 x 3 that overlap the image, sometimes running past its edges.
        const int x0 = rnd(0, 55), y0 = rnd(0, 40), x1 = x0 + rnd(3, 40), y1 = y0 + rnd(3, 30);
        POINT poly[5];
        for (auto& p : poly)
            p = POINT{rnd(-5, 70), rnd(-5, 55)};
        HRGN rgn = CreateRectRgn(x0, y0, x1, y1);
        HRGN rgn2 = CreateRectRgn(x1 / 2, y1 / 2, x1, y1 + 5);
        CombineRgn(rgn, rgn, rgn2, RGN_XOR);
        HDC src = CreateCompatibleDC(c.dc());
        HBITMAP sbm = CreateBitmap(20, 20, 1, 32, nullptr);
        HGDIOBJ oldBm = SelectObject(src, sbm);
        PatBlt(src, 0, 0, 20, 20, WHITENESS);
        SetPixel(src, 3, 3, RGB(7, 100, 200));
        for (int pass = 0; pass < 2; ++pass) {
            switch (kind) {
            case 0:
                MoveToEx(c.dc(), x0, y0, nullptr);
                LineTo(c.dc(), x1, y1);
                break;
            case 1:
                Polygon(c.dc(), poly, 5);
                break;
            case 2:
                Ellipse(c.dc(), x0, y0, x1, y1);
                break;
            case 3:
                Rectangle(c.dc(), x0, y0, x1, y1);
                break;
            case 4: {
                RECT r{x0, y0, x1, y1};
                InvertRect(c.dc(), &r);
                break;
            }
            case 5:
                InvertRgn(c.dc(), rgn);
                break;
            case 6:
                BitBlt(c.dc(), x0, y0, 20, 20, src, 0, 0, SRCINVERT);
                break;
            default:
                PatBlt(c.dc(), x0, y0, x1 - x0, y1 - y0, pass ? DSTINVERT : DSTINVERT);
                break;
            }
            if (pass == 0 && kind >= 2) {
                EXPECT_NE(c.bytes(), before);
            }
        }
        EXPECT_EQ(c.bytes(), before);
        SelectObject(src, oldBm);
        DeleteObject(sbm);
        DeleteDC(src);
        DeleteObject(rgn);
        DeleteObject(rgn2);
    }
}

TEST(Clip, DrawingStaysInsideTheClipAndSaveDcRestoresIt) {
    GdiCanvas c(40, 40);
    HBRUSH red = CreateSolidBrush(kRed);
    const RECT all{0, 0, 40, 40};
    const int level = SaveDC(c.dc());
    EXPECT_EQ(level, 1);
    EXPECT_EQ(IntersectClipRect(c.dc(), 10, 10, 20, 30), SIMPLEREGION);
    SetTextColor(c.dc(), kBlue);
    FillRect(c.dc(), &all, red);
    EXPECT_EQ(c.count(kRed), 10 * 20);
    EXPECT_EQ(c.bounds(kRed).left, 10);
    // A complex clip region: two separate squares.
    HRGN a = CreateRectRgn(0, 0, 5, 5);
    HRGN b = CreateRectRgn(30, 30, 40, 40);
    EXPECT_EQ(CombineRgn(a, a, b, RGN_OR), COMPLEXREGION);
    c.fill(kWhite);
    EXPECT_EQ(SelectClipRgn(c.dc(), a), COMPLEXREGION);
    DeleteObject(a); // the DC keeps a copy
    FillRect(c.dc(), &all, red);
    EXPECT_EQ(c.count(kRed), 25 + 100);
    ASSERT_TRUE(RestoreDC(c.dc(), -1));
    EXPECT_EQ(GetTextColor(c.dc()), kBlack);
    EXPECT_FALSE(RestoreDC(c.dc(), 1)); // nothing left to restore
    c.fill(kWhite);
    FillRect(c.dc(), &all, red);
    EXPECT_EQ(c.count(kRed), 1600);
    DeleteObject(b);
    DeleteObject(red);
}

TEST(Regions, PaintFrameAndInvert) {
    GdiCanvas c(30, 30);
    HRGN r = CreateRectRgn(5, 5, 15, 13);
    HBRUSH red = CreateSolidBrush(kRed);
    ASSERT_TRUE(FrameRgn(c.dc(), r, red, 2, 1));
    // Two columns on each side, one row at top and bottom.
    EXPECT_EQ(c.count(kRed), 10 * 8 - 6 * 6);
    EXPECT_EQ(c.at(6, 8), kRed);
    EXPECT_EQ(c.at(7, 8), kWhite);
    EXPECT_EQ(c.at(8, 5), kRed);
    c.fill(kWhite);
    Selected brush(c.dc(), CreateSolidBrush(kBlue));
    ASSERT_TRUE(PaintRgn(c.dc(), r));
    EXPECT_EQ(c.count(kBlue), 80);
    ASSERT_TRUE(InvertRgn(c.dc(), r));
    EXPECT_EQ(c.count(RGB(255, 255, 0)), 80);
    DeleteObject(r);
    DeleteObject(red);
}

TEST(Paths, FillPathEqualsPolygonAndStrokeAndFillAddsTheOutline) {
    const POINT pts[] = {{3, 3}, {25, 6}, {14, 27}};
    GdiCanvas direct(30, 30), viaPath(30, 30);
    for (GdiCanvas* c : {&direct, &viaPath})
        SelectObject(c->dc(), GetStockObject(BLACK_BRUSH));
    SelectObject(direct.dc(), GetStockObject(NULL_PEN));
    Polygon(direct.dc(), pts, 3);
    ASSERT_TRUE(BeginPath(viaPath.dc()));
    Polygon(viaPath.dc(), pts, 3);
    ASSERT_TRUE(EndPath(viaPath.dc()));
    EXPECT_EQ(viaPath.bytes(), GdiCanvas(30, 30).bytes()); // nothing drawn while recording
    ASSERT_TRUE(FillPath(viaPath.dc()));
    EXPECT_EQ(viaPath.bytes(), direct.bytes());
    EXPECT_FALSE(FillPath(viaPath.dc())); // the path was used up

    GdiCanvas both(30, 30);
    Selected pen(both.dc(), CreatePen(PS_SOLID, 1, kRed));
    Selected brush(both.dc(), CreateSolidBrush(kBlue));
    BeginPath(both.dc());
    Polygon(both.dc(), pts, 3);
    EndPath(both.dc());
    ASSERT_TRUE(StrokeAndFillPath(both.dc()));
    EXPECT_EQ(both.at(3, 3), kRed);
    EXPECT_EQ(both.at(14, 12), kBlue);
}

TEST(Paths, PolyBezierStartsAndEndsAtItsEndPoints) {
    GdiCanvas c(50, 50);
    const POINT pts[] = {{5, 40}, {5, 5}, {45, 5}, {45, 40}};
    ASSERT_TRUE(PolyBezier(c.dc(), pts, 4));
    EXPECT_EQ(c.at(5, 40), kBlack);
    // The curve's top is at 3/4 of the control height: y = 40 - 0.75 * 35.
    const RECT b = c.bounds(kBlack);
    EXPECT_NEAR(b.top, 40 - 0.75 * 35, 1.0);
    EXPECT_EQ(b.left, 5);
    EXPECT_FALSE(PolyBezier(c.dc(), pts, 3)); // not 1 + 3n points
}

TEST(Mapping, AnisotropicScalesAndOffsets) {
    GdiCanvas c(100, 100);
    SetMapMode(c.dc(), MM_ANISOTROPIC);
    SetWindowExtEx(c.dc(), 10, 10, nullptr);
    SetViewportExtEx(c.dc(), 20, 30, nullptr);
    SetWindowOrgEx(c.dc(), 5, 0, nullptr);
    SetViewportOrgEx(c.dc(), 1, 2, nullptr);
    POINT p[2] = {{5, 0}, {10, 10}};
    ASSERT_TRUE(LPtoDP(c.dc(), p, 2));
    EXPECT_EQ(p[0].x, 1);
    EXPECT_EQ(p[0].y, 2);
    EXPECT_EQ(p[1].x, 11);
    EXPECT_EQ(p[1].y, 32);
    ASSERT_TRUE(DPtoLP(c.dc(), p, 2));
    EXPECT_EQ(p[1].x, 10);
    EXPECT_EQ(p[1].y, 10);
    HBRUSH red = CreateSolidBrush(kRed);
    const RECT r{5, 0, 10, 10};
    FillRect(c.dc(), &r, red);
    EXPECT_EQ(c.bounds(kRed).right, 11);
    EXPECT_EQ(c.count(kRed), 10 * 30);
    // Pen widths are logical too: 2 units at 3 pixels a unit draw 6 rows.
    SetWindowExtEx(c.dc(), 1, 1, nullptr);
    SetViewportExtEx(c.dc(), 3, 3, nullptr);
    SetWindowOrgEx(c.dc(), 0, 0, nullptr);
    SetViewportOrgEx(c.dc(), 0, 0, nullptr);
    c.fill(kWhite);
    {
        Selected pen(c.dc(), CreatePen(PS_SOLID, 2, kBlue));
        MoveToEx(c.dc(), 2, 20, nullptr);
        LineTo(c.dc(), 30, 20);
    }
    int rows = 0;
    for (int y = 0; y < 100; ++y)
        rows += c.at(45, y) == kBlue;
    EXPECT_EQ(rows, 6);
    // MM_TEXT ignores extents.
    SetMapMode(c.dc(), MM_TEXT);
    SetWindowOrgEx(c.dc(), 0, 0, nullptr);
    SetViewportOrgEx(c.dc(), 0, 0, nullptr);
    SIZE prev;
    EXPECT_TRUE(SetWindowExtEx(c.dc(), 50, 50, &prev));
    POINT q{7, 7};
    LPtoDP(c.dc(), &q, 1);
    EXPECT_EQ(q.x, 7);
    DeleteObject(red);
}

TEST(GdiGolden, ShapesScene) {
    GdiCanvas c(160, 100);
    HDC dc = c.dc();
    const int styles[] = {PS_SOLID, PS_DOT, PS_DASH};
    for (int i = 0; i < 3; ++i) {
        Selected pen(dc, CreatePen(styles[i], 1, RGB(0, 0, 128)));
        MoveToEx(dc, 5, 5 + 4 * i, nullptr);
        LineTo(dc, 75, 5 + 4 * i + 10);
    }
    {
        Selected pen(dc, CreatePen(PS_SOLID, 4, RGB(0, 128, 0)));
        MoveToEx(dc, 10, 40, nullptr);
        LineTo(dc, 60, 55);
        Selected brush(dc, CreateSolidBrush(RGB(255, 255, 0)));
        Ellipse(dc, 80, 5, 150, 45);
    }
    {
        Selected brush(dc, CreateSolidBrush(RGB(200, 100, 50)));
        const POINT star[] = {{100, 55}, {112, 95}, {80, 70}, {120, 70}, {88, 95}};
        Polygon(dc, star, 5);
        SetPolyFillMode(dc, WINDING);
        const POINT star2[] = {{135, 55}, {147, 95}, {115, 70}, {155, 70}, {123, 95}};
        Polygon(dc, star2, 5);
    }
    Arc(dc, 10, 60, 70, 95, 70, 78, 10, 78);
    const POINT bez[] = {{10, 95}, {20, 60}, {60, 99}, {70, 62}};
    PolyBezier(dc, bez, 4);
    EXPECT_TRUE(kvtest::MatchesGolden(c.surface(), "gdi/shapes"));
}

} // namespace

namespace {

using namespace plat;
using kvtest::GdiCanvas;
using kvtest::Selected;

TEST(Lines, FarOutsideLinesAreCheapAndKeepTheirDashPhase) {
    GdiCanvas c(100, 10);
    Selected pen(c.dc(), CreatePen(PS_DASH, 1, RGB(0, 0, 0)));
    SetBkMode(c.dc(), TRANSPARENT);
    // Starts 1201 pixels left of the image: the pattern runs on from there.
    MoveToEx(c.dc(), -1201, 5, nullptr);
    ASSERT_TRUE(LineTo(c.dc(), 100, 5));
    for (int x = 0; x < 100; ++x)
        EXPECT_EQ(c.at(x, 5) == RGB(0, 0, 0), (x + 1201) % 24 < 18) << x;
    // A line two billion pixels long: only its visible part is walked.
    MoveToEx(c.dc(), -1000000000, 8, nullptr);
    ASSERT_TRUE(LineTo(c.dc(), 1000000000, 8));
    int drawn = 0;
    for (int x = 0; x < 100; ++x)
        drawn += c.at(x, 8) == RGB(0, 0, 0);
    EXPECT_GT(drawn, 60);
    // Huge ellipses and frames finish too.
    EXPECT_TRUE(Ellipse(c.dc(), -900000000, -900000000, 900000000, 900000000));
    HRGN r = CreateRectRgn(0, 0, 50, 5);
    EXPECT_TRUE(FrameRgn(c.dc(), r, GetStockObject(BLACK_BRUSH), 1000000, 1000000));
    DeleteObject(r);
}

} // namespace

namespace {

using namespace plat;
using kvtest::GdiCanvas;
using kvtest::Selected;

// Pixel centres that lie exactly on an edge: in on a left edge, out on a right edge.
TEST(Polygon, CentresOnAnEdgeFollowTheLeftInRightOutRule) {
    const POINT rightEdge[] = {
        {0, 0}, {8, 8}, {0, 8}}; // the diagonal bounds the inside on the right
    const POINT leftEdge[] = {{0, 0}, {8, 0}, {8, 8}}; // the diagonal bounds the inside on the left
    for (int k = 0; k < 2; ++k) {
        SCOPED_TRACE(k);
        GdiCanvas c(8, 8);
        Selected pen(c.dc(), GetStockObject(NULL_PEN));
        Selected brush(c.dc(), GetStockObject(BLACK_BRUSH));
        Polygon(c.dc(), k == 0 ? rightEdge : leftEdge, 3);
        for (int i = 0; i < 8; ++i)
            EXPECT_EQ(c.at(i, i) == RGB(0, 0, 0), k == 1) << i;
        EXPECT_EQ(c.count(RGB(0, 0, 0)), k == 0 ? 28 : 36);
    }
}

} // namespace

TEST(ShapeCache, ShapesDrawnAgainGiveTheSamePixelsAsDrawnAfresh) {
    // Filled shapes as the program draws them (curved delimiters and integral signs as Bézier
    // paths filled and outlined, radicals and arrows as polygons, ellipses recorded into paths
    // at half pixels) at varied sizes, scales, pens and fill modes, some cut by a clip: drawn
    // with the coverage cache cold, warm, with other modes and moved by whole pixels, every byte
    // must equal the shape rasterised afresh.
    std::mt19937 rng(20261207);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    struct Case {
        int kind, size, pen, brush, fillMode, bkMode, scale, clip, x, y, dx, dy;
        std::vector<POINT> pts;
    };
    auto draw = [](const Case& c, int ox, int oy) {
        GdiCanvas canvas(96, 96, RGB(250, 250, 250));
        const HDC dc = canvas.dc();
        if (c.scale > 1) {
            SetMapMode(dc, MM_ANISOTROPIC);
            SetWindowExtEx(dc, 4, 4, nullptr);
            SetViewportExtEx(dc, c.scale + 2, c.scale + 3, nullptr);
        }
        if (c.clip) {
            HRGN r = CreateRectRgn(20, 15 + c.clip, 70, 80);
            SelectClipRgn(dc, r);
            DeleteObject(r);
        }
        const int penStyle[] = {PS_NULL, PS_SOLID, PS_DOT, PS_SOLID};
        Selected pen(dc, CreatePen(penStyle[c.pen], c.pen == 3 ? 3 : 0, kRed));
        Selected brush(dc, c.brush ? CreateSolidBrush(kBlue)
                                   : static_cast<HBRUSH>(GetStockObject(NULL_BRUSH)));
        SetPolyFillMode(dc, c.fillMode);
        SetBkMode(dc, c.bkMode);
        std::vector<POINT> pts = c.pts;
        for (POINT& p : pts)
            p = POINT{p.x + ox, p.y + oy};
        if (c.kind == 0) {
            Polygon(dc, pts.data(), static_cast<int>(pts.size()));
        } else if (c.kind == 1) {
            BeginPath(dc);
            PolyBezier(dc, pts.data(), static_cast<DWORD>(pts.size()));
            EndPath(dc);
            StrokeAndFillPath(dc);
        } else {
            BeginPath(dc);
            Ellipse(dc, ox, oy, ox + c.size, oy + c.size / 2 + 1);
            EndPath(dc);
            c.pen % 2 ? StrokeAndFillPath(dc) : FillPath(dc);
        }
        return canvas.bytes();
    };
    int drawn = 0;
    std::size_t hits = 0;
    for (int n = 0; n < 400; ++n) {
        Case c{};
        c.kind = pick(0, 2);
        c.size = pick(4, 60);
        c.pen = pick(0, 3);
        c.brush = pick(0, 4) != 0;
        c.fillMode = pick(0, 1) ? ALTERNATE : WINDING;
        c.bkMode = pick(0, 1) ? OPAQUE : TRANSPARENT;
        c.scale = pick(0, 3) ? 1 : pick(2, 4);
        c.clip = pick(0, 3) == 0 ? pick(1, 30) : 0;
        c.x = pick(0, 8) ? pick(4, 24) : pick(-20, 60);
        c.y = pick(0, 8) ? pick(4, 24) : pick(-20, 60);
        c.dx = pick(-12, 12);
        c.dy = pick(-12, 12);
        const int s = c.size;
        if (c.kind == 0) { // an arrow head, a radical sign or a random star
            const int corners = pick(3, 9);
            for (int i = 0; i < corners; ++i)
                c.pts.push_back(POINT{pick(0, s), pick(0, s)});
        } else { // a delimiter-like crescent or an integral-like S: curves out and back
            const int w = pick(2, s / 2 + 2), t = pick(1, 4);
            c.pts = {{w, 0}, {0, s / 3}, {0, 2 * s / 3}, {w, s}};
            if (pick(0, 1))
                c.pts = {{w, 0}, {2 * w, -s / 4}, {-w, s + s / 4}, {0, s}};
            const std::vector<POINT> back(c.pts.rbegin(), c.pts.rend());
            for (std::size_t i = 1; i < back.size(); ++i)
                c.pts.push_back(POINT{back[i].x + (i < 3 ? t + pick(0, 2) : 0), back[i].y});
        }
        // The same points drawn with other pens, brushes and modes must not take the first
        // shape's pixels.
        Case other = c;
        switch (pick(0, 3)) {
        case 0:
            other.pen = (c.pen + pick(1, 3)) % 4;
            break;
        case 1:
            other.brush = !c.brush;
            break;
        case 2:
            other.fillMode = c.fillMode == ALTERNATE ? WINDING : ALTERNATE;
            break;
        default:
            other.bkMode = c.bkMode == OPAQUE ? TRANSPARENT : OPAQUE;
            break;
        }
        plat::core::SetCoverageCaching(false);
        const auto fresh = draw(c, c.x, c.y);
        const auto freshOther = draw(other, c.x, c.y);
        const auto freshMoved = draw(c, c.x + c.dx, c.y + c.dy);
        plat::core::SetCoverageCaching(true);
        const std::size_t hitsBefore = plat::core::CoverageCacheHits();
        EXPECT_EQ(draw(c, c.x, c.y), fresh) << "cold, case " << n;
        EXPECT_EQ(draw(other, c.x, c.y), freshOther) << "other modes, case " << n;
        EXPECT_EQ(draw(c, c.x, c.y), fresh) << "warm, case " << n;
        EXPECT_EQ(draw(c, c.x + c.dx, c.y + c.dy), freshMoved) << "moved, case " << n;
        hits += plat::core::CoverageCacheHits() - hitsBefore;
        drawn += fresh != GdiCanvas(96, 96, RGB(250, 250, 250)).bytes();
    }
    EXPECT_GT(drawn, 300);
    EXPECT_GT(hits, 200u); // warm and moved shapes came from the cache
}
