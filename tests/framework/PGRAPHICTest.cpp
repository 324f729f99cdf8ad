#include "OverPc/PGRAPHIC.h"

#include "OverPc/shell/Parrowb.h"
#include "core/gdi/GdiInternal.h"
#include "PortsFixture.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace kvtest {
namespace {

using Drawing = PortsFixture;

TEST_F(Drawing, PaintZoneFillsExactlyTheHalfOpenZone) {
    MemoryPort port(30, 30);
    port.paintZone(Zone{10, 10, 11, 11, 0, 0}, kColorRed);
    EXPECT_EQ(port.count(kRed), 1);
    EXPECT_EQ(port.pixel(10, 10), kRed);
    port.paintZone(Zone{20, 20, 20, 20, 0, 0}, kColorRed);
    EXPECT_EQ(port.count(kRed), 1) << "an empty zone paints nothing";

    // Port coordinates go through the device origin.
    port.setOrigin(5, 5);
    port.paintZone(Zone{5, 5, 8, 7, 0, 0}, kColorBlue);
    EXPECT_EQ(port.count(kBlue), 6);
    EXPECT_EQ(port.count(kBlue, 0, 0, 3, 2), 6);
}

TEST_F(Drawing, FrameZoneOutlinesInsideTheZone) {
    struct Case {
        int width;
        int thickness;
    };
    for (const Case c : {Case{1, 1}, Case{3, 3}}) {
        SCOPED_TRACE(c.width);
        MemoryPort port(30, 30);
        port.frameZone(Zone{10, 10, 20, 20, 0, 0}, c.width, kColorRed, kLineSolid, kDrawPaint);
        for (int i = 0; i < c.thickness; ++i) {
            EXPECT_EQ(port.pixel(10 + i, 15), kRed);
            EXPECT_EQ(port.pixel(19 - i, 15), kRed);
            EXPECT_EQ(port.pixel(15, 10 + i), kRed);
            EXPECT_EQ(port.pixel(15, 19 - i), kRed);
        }
        EXPECT_EQ(port.pixel(10 + c.thickness, 15), kWhite) << "no brush inside";
        EXPECT_EQ(port.pixel(20, 15), kWhite);
        EXPECT_EQ(port.pixel(9, 15), kWhite);
        EXPECT_EQ(port.count(kRed), 10 * 10 - (10 - 2 * c.thickness) * (10 - 2 * c.thickness));
    }
}

TEST_F(Drawing, ThickLinesHangRightAndDownFromTheirPoints) {
    for (int w : {1, 2, 3, 5}) {
        SCOPED_TRACE(w);
        MemoryPort port(40, 40);
        port.startDeluxeLine(w, kColorRed, kLineSolid, kDrawPaint);
        port.moveTo(5, 5);
        port.lineTo(5, 5);
        port.endLine();
        EXPECT_EQ(port.count(kRed), w * w) << "a point is a w x w square";
        EXPECT_EQ(port.count(kRed, 5, 5, 5 + w, 5 + w), w * w);

        MemoryPort row(40, 40);
        row.startDeluxeLine(w, kColorRed, kLineSolid, kDrawPaint);
        row.moveTo(20, 10);
        row.lineTo(8, 10); // drawn right to left: the points are exchanged
        row.endLine();
        EXPECT_EQ(row.count(kRed), (20 - 8 + w) * w);
        EXPECT_EQ(row.count(kRed, 8, 10, 20 + w, 10 + w), (20 - 8 + w) * w);
    }
}

TEST_F(Drawing, DiagonalLineIsASweptSquare) {
    MemoryPort port(40, 40);
    port.startDeluxeLine(3, kColorRed, kLineSolid, kDrawPaint);
    port.moveTo(5, 5);
    port.line(20, 10); // relative: ends at (25, 15)
    port.lineTo(25, 15);
    port.endLine();
    // Both end squares are covered, the corners opposite the sweep are not.
    EXPECT_EQ(port.pixel(6, 6), kRed);
    EXPECT_EQ(port.pixel(26, 16), kRed);
    EXPECT_EQ(port.pixel(15, 11), kRed);
    EXPECT_EQ(port.pixel(25, 5), kWhite);
    EXPECT_EQ(port.pixel(5, 17), kWhite);
}

TEST_F(Drawing, LineOrientationChoosesThePattern) {
    struct Case {
        const char* name;
        int dx, dy, orientation;
    };
    const Case cases[] = {
        {"10 degrees: shallow", 100, 18, 2},
        {"30 degrees falling", 100, 58, 0},
        {"30 degrees rising", 100, -58, 1},
        {"70 degrees: steep", 100, 275, 3},
        {"vertical", 0, 10, 3},
        {"horizontal", 10, 0, 2},
        {"just shallow (2dx = 5dy)", 5, 2, 2},
        {"reversed points", -100, -18, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(LineOrientation(0, 0, c.dx, c.dy), c.orientation);
    }
}

TEST_F(Drawing, PatternedLineShowsItsBitmapInLineAndBackgroundColours) {
    MemoryPort port(24, 8);
    const Color yellow = kColorYellow;
    port.setColors(nullptr, &yellow);
    // Style 1, horizontal: bitmap 512 + 8 + 2 = 522, rows of 0x33.
    port.startDeluxeLine(8, kColorRed, 1, kDrawPaint);
    port.moveTo(0, 0);
    port.lineTo(15, 0);
    port.endLine();
    const uint8_t* rows = PatternBitmapRows(10);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 16; ++x) {
            const bool background = (rows[y] >> (7 - x % 8)) & 1;
            ASSERT_EQ(port.pixel(x, y), background ? kYellow : kRed) << x << "," << y;
        }
}

TEST_F(Drawing, PatternBitmapsHoldTheirRowsTopFirst) {
    for (int index : {4, 12, 15}) {
        SCOPED_TRACE(index);
        plat::HBITMAP bitmap = GetArrowBitmap(index);
        ASSERT_NE(bitmap, nullptr);
        EXPECT_EQ(GetArrowBitmap(index), bitmap) << "loaded once";
        plat::HDC dc = plat::CreateCompatibleDC(nullptr);
        plat::HGDIOBJ old = plat::SelectObject(dc, bitmap);
        const uint8_t* rows = PatternBitmapRows(index);
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x) {
                const bool one = (rows[y] >> (7 - x)) & 1;
                EXPECT_EQ(plat::GetPixel(dc, x, y) & 0xFFFFFF, one ? kWhite : kBlack);
            }
        plat::SelectObject(dc, old);
        plat::DeleteDC(dc);
    }
    EXPECT_EQ(GetPatternBitmap(511), nullptr);
    EXPECT_EQ(GetPatternBitmap(528), nullptr);
}

TEST_F(Drawing, ExclusiveOrDrawnTwiceLeavesTheImage) {
    MemoryPort port(40, 40);
    port.paintZone(Zone{5, 5, 30, 20, 0, 0}, kColorBlue);
    const auto before = port.snapshot();
    const oPoint triangle[3] = {{2, 2}, {35, 10}, {10, 35}};
    auto drawAll = [&] {
        port.startDeluxeLine(3, kColorRed, 2, kDrawXor);
        port.moveTo(1, 30);
        port.lineTo(38, 3);
        port.endLine();
        port.frameZone(Zone{8, 8, 25, 25, 0, 0}, 2, kColorGreen, kLineSolid, kDrawXor);
        port.paintPolygon(3, triangle, &kColorYellow, kDrawXor, 0, 0);
    };
    drawAll();
    EXPECT_NE(port.snapshot(), before);
    drawAll();
    EXPECT_EQ(port.snapshot(), before);
}

TEST_F(Drawing, PaintPolygonLeavesTheCallersPointsAndOutlinesInTheForeground) {
    MemoryPort port(40, 40);
    port.setOrigin(-10, -10); // device = port + 10
    oPoint square[4] = {{0, 0}, {10, 0}, {10, 10}, {0, 10}};
    port.paintPolygon(4, square, &kColorRed, kDrawPaint, 0, 0);
    EXPECT_EQ(square[1].x, 10) << "the points are the caller's";
    EXPECT_EQ(port.pixel(15, 15), kRed);
    EXPECT_EQ(port.pixel(5, 5), kWhite);
    // Reused for an open outline: drawn at the same place, in the foreground colour.
    const Color blue = kColorBlue;
    port.setColors(&blue, nullptr);
    port.paintPolygon(4, square, nullptr, kDrawPaint, 0, 0);
    EXPECT_EQ(port.pixel(15, 10), kBlue);
    EXPECT_EQ(port.pixel(15, 15), kRed) << "an open polyline fills nothing";
}

TEST_F(Drawing, CircleIsInscribedInItsZone) {
    MemoryPort port(40, 40);
    const Color red = kColorRed;
    port.setColors(&red, nullptr);
    port.paintCircle(Zone{10, 10, 31, 31, 0, 0});
    EXPECT_EQ(port.pixel(20, 20), kRed);
    EXPECT_EQ(port.pixel(20, 11), kRed);
    EXPECT_EQ(port.pixel(11, 11), kWhite) << "corners stay outside";
    EXPECT_EQ(port.pixel(29, 29), kWhite);
    EXPECT_EQ(port.count(kRed, 0, 0, 40, 10), 0);
}

TEST_F(Drawing, ClipReachesOneColumnAndRowFurther) {
    MemoryPort port(40, 40);
    port.setPort();
    const Zone zone{10, 10, 20, 20, 0, 0};
    port.clipToZone(&zone);
    const Zone first = port.clip();
    port.clipToZone(&zone);
    EXPECT_EQ(port.clip(), first) << "the same zone twice gives the same clip";
    EXPECT_EQ(first.right, 21);
    EXPECT_EQ(first.bottom, 21);
    port.paintZone(Zone{0, 0, 40, 40, 0, 0}, kColorRed);
    EXPECT_EQ(port.count(kRed), 11 * 11);
    EXPECT_EQ(port.pixel(20, 20), kRed);
    EXPECT_EQ(port.pixel(21, 20), kWhite);
    EXPECT_EQ(port.pixel(9, 10), kWhite);
    port.clipToZone(nullptr);
    EXPECT_EQ(port.clip().right, 41);
    port.unsetPort();
}

TEST_F(Drawing, DotsAndTheLineBracket) {
    MemoryPort port(30, 30);
    port.dotAt(3, 3);
    EXPECT_TRUE(logged("dotAt"));
    EXPECT_EQ(port.count(kRed), 0);

    port.startDeluxeLine(1, kColorRed, kLineSolid, kDrawPaint);
    port.dotAt(3, 3);
    port.endLine();
    EXPECT_EQ(port.count(kRed), 1);
    EXPECT_EQ(port.pixel(3, 3), kRed);

    port.startDeluxeLine(4, kColorBlue, kLineSolid, kDrawPaint);
    port.dotAt(15, 15);
    port.endLine();
    EXPECT_EQ(port.pixel(15, 15), kBlue);
    EXPECT_EQ(port.count(kBlue, 0, 0, 12, 30), 0) << "diameter 4 around the centre";
    EXPECT_EQ(port.count(kBlue, 19, 0, 30, 30), 0);
}

TEST_F(Drawing, SecondLineReportsTheMissingEndAndReleasesTheFirst) {
    MemoryPort a(10, 10);
    MemoryPort b(10, 10);
    a.startLine(1);
    EXPECT_EQ(PortDcUseCount(&a), 1);
    b.startLine(1);
    EXPECT_TRUE(logged("missing endLine"));
    EXPECT_EQ(PortDcUseCount(&a), 0) << "the first line's DC is not held for ever";
    EXPECT_EQ(LineDrawingPort(), &b);
    b.endLine();
    EXPECT_FALSE(LineDrawingOpen());
    EXPECT_EQ(CachedPortDcCount(kDeviceMemory), 0);
}

TEST_F(Drawing, DestroyingAPortClosesAnOpenLine) {
    {
        MemoryPort a(10, 10);
        a.startLine(1);
        EXPECT_TRUE(LineDrawingOpen());
    }
    EXPECT_FALSE(LineDrawingOpen());
    EXPECT_EQ(CachedPortDcCount(kDeviceMemory), 0);
}

TEST_F(Drawing, HornTipsFollowTheQuadrant) {
    const Zone z{10, 20, 30, 60, 0, 0};
    struct Case {
        int direction;
        bool vertical;
        plat::POINT tip;
        plat::POINT baseCorner;
    };
    const Case cases[] = {
        {1, false, {10, 20}, {30, 60}}, {2, false, {10, 60}, {30, 20}},
        {3, false, {30, 60}, {10, 20}}, {4, false, {30, 20}, {10, 60}},
        {1, true, {10, 20}, {30, 60}},  {3, true, {30, 60}, {10, 20}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.direction << (c.vertical ? " vertical" : ""));
        plat::POINT p[7];
        HornPoints(z, 4, c.direction, c.vertical, p);
        EXPECT_EQ(p[2].x, c.tip.x);
        EXPECT_EQ(p[2].y, c.tip.y);
        EXPECT_EQ(p[3].x, c.tip.x) << "the tip is a doubled point";
        EXPECT_EQ(p[6].x, c.baseCorner.x);
        EXPECT_EQ(p[6].y, c.baseCorner.y);
    }
}

TEST_F(Drawing, HornIsFilledAtItsBaseAndNotAtTheFarCorner) {
    MemoryPort port(50, 70);
    const Color red = kColorRed;
    port.setColors(&red, nullptr);
    port.paintHorn(Zone{10, 10, 40, 60, 0, 0}, 6, 1, 0);
    EXPECT_EQ(port.pixel(37, 57), kRed) << "base at the bottom right";
    EXPECT_EQ(port.pixel(12, 57), kWhite) << "bottom left stays empty";
    EXPECT_GT(port.count(kRed), 100);
}

TEST_F(Drawing, IntegralGlyphStaysInItsZoneInEveryOrientation) {
    for (int turn : {0, 1, -1}) {
        for (bool longStem : {false, true}) {
            SCOPED_TRACE(testing::Message() << "turn " << turn << " long " << longStem);
            const Zone z =
                turn == 0 ? Zone{100, 200, 130, 290, 0, 0} : Zone{100, 200, 190, 230, 0, 0};
            plat::POINT p[40];
            IntegralGlyphPoints(z, 6, longStem, turn, p);
            for (const plat::POINT& q : p) {
                EXPECT_GE(q.x, z.left - 1);
                EXPECT_LE(q.x, z.right + 1);
                EXPECT_GE(q.y, z.top - 1);
                EXPECT_LE(q.y, z.bottom + 1);
            }
            // The second half is the first turned half a circle about the centre.
            for (int i = 0; i < 19; ++i) {
                EXPECT_NEAR(p[21 + i].x + p[i].x, z.left + z.right, 2);
                EXPECT_NEAR(p[21 + i].y + p[i].y, z.top + z.bottom, 2);
            }
        }
    }
}

TEST_F(Drawing, ThreeIntegralsWithOneRingAcrossThem) {
    MemoryPort port(120, 80);
    const Color black = kColorBlack;
    port.setColors(&black, nullptr);
    const Zone first{10, 10, 40, 70, 0, 0};
    port.integralSign(first, 30, 3, 1, 6, 0);
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_GT(port.count(kBlack, 10 + 30 * i, 10, 40 + 30 * i, 35), 10) << "a glyph in each";
    }
    // The ring spans from the first sign's left to the third one's right at the centre line.
    EXPECT_EQ(port.pixel(10, 40), kBlack);
    EXPECT_EQ(port.pixel(99, 40), kBlack);
    EXPECT_EQ(port.count(kBlack, 101, 0, 120, 80), 0);
}

TEST_F(Drawing, ArrowRingsMirrorAndTinyRingsFallBackToPlain) {
    const Zone ring{0, 0, 100, 60, 0, 0};
    plat::POINT right[40];
    plat::POINT left[40];
    ASSERT_TRUE(ArrowRingPoints(ring, 4, false, right));
    ASSERT_TRUE(ArrowRingPoints(ring, 4, true, left));
    // The arrowhead's outer point lies beyond the ring on the right, mirrored to the left.
    const int e = std::min(50, 30) / 4;
    EXPECT_EQ(right[14].x, 50 + 50 + 2 * e);
    EXPECT_EQ(left[14].x, 100 - right[14].x);
    EXPECT_EQ(left[14].y, right[14].y);

    plat::POINT none[40];
    EXPECT_FALSE(ArrowRingPoints(Zone{0, 0, 1, 60, 0, 0}, 1, false, none));
    MemoryPort port(20, 80);
    port.integralSign(Zone{5, 5, 6, 70, 0, 0}, 1, 1, 2, 1, 0); // must not divide by zero
    EXPECT_GT(port.count(kBlack), 0);
}

TEST_F(Drawing, TurnedIntegralDrawsAlongTheStep) {
    MemoryPort port(120, 120);
    const Color black = kColorBlack;
    port.setColors(&black, nullptr);
    port.integralSign(Zone{10, 80, 100, 110, 0, 0}, 30, 2, 1, 6, 1);
    EXPECT_GT(port.count(kBlack, 10, 80, 100, 110), 10);
    EXPECT_GT(port.count(kBlack, 10, 50, 100, 80), 10) << "the second glyph one step up";
}

TEST_F(Drawing, RegionHoldersShareAndDeleteTheirHandle) {
    const std::size_t live = LiveGdiObjectRefs();
    const Zone z{0, 0, 10, 10, 0, 0};
    GdiObjectRef a = RegionFromZone(&z);
    plat::HGDIOBJ handle = a.handle();
    {
        GdiObjectRef b = a;
        EXPECT_EQ(a.useCount(), 2);
        EXPECT_EQ(LiveGdiObjectRefs(), live + 2);
    }
    EXPECT_EQ(a.useCount(), 1);
    RegionXorZone(a, z);
    plat::RECT box;
    EXPECT_EQ(plat::GetRgnBox(a.handle(), &box), plat::NULLREGION) << "a zone XORed away";
    EXPECT_EQ(plat::GetObjectType(handle), 0u) << "the replaced handle is deleted";
    handle = a.handle();
    a.release();
    EXPECT_EQ(plat::GetObjectType(handle), 0u);
    EXPECT_EQ(LiveGdiObjectRefs(), live);
}

TEST_F(Drawing, EraseAreaPaintsTheRegionInTheBackground) {
    MemoryPort port(30, 30);
    port.paintZone(Zone{0, 0, 30, 30, 0, 0}, kColorRed);
    port.setOrigin(-5, -5);
    const Zone z{0, 0, 4, 3, 0, 0};
    GdiObjectRef area = RegionFromZone(&z);
    port.eraseArea(area);
    EXPECT_EQ(port.count(kWhite), 12);
    EXPECT_EQ(port.count(kWhite, 5, 5, 9, 8), 12);
    plat::RECT box;
    plat::GetRgnBox(area.handle(), &box);
    EXPECT_EQ(box.left, 0) << "the region is moved back";
}

TEST_F(Drawing, XorBrushKeepsItsFirstColour) {
    plat::HBRUSH brush = GetXorBrush(kColorWhite);
    EXPECT_EQ(GetXorBrush(kColorRed), brush);
    plat::LOGBRUSH lb;
    ASSERT_NE(plat::GetObject(brush, sizeof lb, &lb), 0);
    const Color& hi = SysColors[kSysSlotHighlight];
    EXPECT_EQ(lb.lbColor & 0xFFFFFF, plat::RGB(255 ^ hi.r, 255 ^ hi.g, 255 ^ hi.b));
}

TEST_F(Drawing, ScreenCapabilitiesGiveThePortResolution) {
    const ScreenCaps& caps = GetScreenCaps();
    const int dpi = plat::ScreenDpi();
    EXPECT_EQ(caps.logicalDpiX, dpi);
    EXPECT_EQ(caps.screenResolution, std::max(16, (2 * dpi + 4) / 9));
    EXPECT_EQ(caps.screenLineUnit, 1);
    EXPECT_EQ(caps.colorClass, 255);
    EXPECT_EQ(ScreenResolution(), caps.screenResolution);
    ASSERT_NE(ScreenMeasurePort(), nullptr);
    EXPECT_EQ(ScreenMeasurePort()->resolution(), caps.screenResolution);
    EXPECT_EQ(SysColors[kSysSlotWindow], kColorWhite);
}

// The drawing unit of screens of given physical resolutions (the millimetres of a 1920 x 1080
// screen at that many dots per inch): each axis's unit is max(1, (max(16, (2 dpi + 4) / 9) + 8) / 16)
// and the two are averaged rounding up.
TEST_F(Drawing, TheDrawingUnitAveragesTheUnitsOfTheTwoAxes) {
    struct Case {
        int dpiX, dpiY;
        int32_t unit;
    };
    const Case cases[] = {{96, 96, 1},  {120, 120, 2}, {144, 144, 2}, {192, 192, 3},
                          {72, 72, 1},  {120, 72, 2},  {72, 144, 2},  {96, 192, 2}};
    plat::HDC display = plat::CreateDC("DISPLAY", nullptr, nullptr, nullptr);
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.dpiX << " x " << c.dpiY << " dpi");
        plat::core::SetDeviceCapsOverride(plat::HORZSIZE,
                                          static_cast<int>(1920 * 25.4 / c.dpiX + 0.5));
        plat::core::SetDeviceCapsOverride(plat::VERTSIZE,
                                          static_cast<int>(1080 * 25.4 / c.dpiY + 0.5));
        InitScreenCaps(display);
        EXPECT_EQ(GetScreenCaps().physicalDpiX, c.dpiX);
        EXPECT_EQ(GetScreenCaps().physicalDpiY, c.dpiY);
        EXPECT_EQ(ScreenDrawingUnit(), c.unit);
    }
    plat::core::ClearDeviceCapsOverrides();
    InitScreenCaps(display);
    plat::DeleteDC(display);
    EXPECT_EQ(ScreenDrawingUnit(), 1);
}

TEST_F(Drawing, TransparentCopyKeepsTheDestinationUnderTheKeyColour) {
    MemoryPort source(10, 10);
    MemoryPort dest(10, 10);
    source.paintZone(Zone{0, 0, 10, 10, 0, 0}, kColorGreen);
    source.paintZone(Zone{2, 2, 5, 5, 0, 0}, kColorRed);
    dest.paintZone(Zone{0, 0, 10, 10, 0, 0}, kColorBlue);
    {
        PortDcHolder s(&source);
        PortDcHolder d(&dest);
        TransparentCopy(d.hdc(), 0, 0, 10, 10, s.hdc(), 0, 0, plat::RGB(0, 255, 0));
    }
    EXPECT_EQ(dest.count(kRed), 9);
    EXPECT_EQ(dest.count(kRed, 2, 2, 5, 5), 9);
    EXPECT_EQ(dest.count(kBlue), 91);
}

// The port's pixels as rows of letters: w white, k black, r red, c cyan, y yellow, b blue,
// g green, ? anything else.
std::vector<std::string> Letters(MemoryPort& port, int width, int height) {
    const std::pair<plat::COLORREF, char> names[] = {{kWhite, 'w'},   {kBlack, 'k'},  {kRed, 'r'},
                                                     {0xFFFF00, 'c'}, {kYellow, 'y'}, {kBlue, 'b'},
                                                     {0x00FF00, 'g'}};
    std::vector<std::string> rows;
    for (int y = 0; y < height; ++y) {
        std::string row;
        for (int x = 0; x < width; ++x) {
            const plat::COLORREF c = port.pixel(x, y);
            char letter = '?';
            for (const auto& [colour, name] : names)
                if (c == colour)
                    letter = name;
            row += letter;
        }
        rows.push_back(row);
    }
    return rows;
}

// Inverting and framing a region in a port: an 8 × 6 white map whose first two columns are red.
// Inversion turns white to black and red to cyan inside the region (given in port coordinates);
// the frame, drawn with R2_NOT, inverts the region's pixels that lie within its width of the
// region's edge.
TEST_F(Drawing, RegionsInvertAndFrameExactlyTheirPixels) {
    struct Case {
        const char* name;
        bool frame;
        int width;
        oPoint origin;
        std::vector<Zone> zones; // XORed into the region, device positions
        std::vector<std::string> want;
    };
    const std::vector<Zone> lShape{{1, 1, 6, 5, 0, 0}, {4, 3, 6, 5, 0, 0}};
    const Case cases[] = {
        {"invert an L",
         false,
         0,
         {0, 0},
         lShape,
         {"rrwwwwww", "rckkkkww", "rckkkkww", "rckkwwww", "rckkwwww", "rrwwwwww"}},
        {"invert an L through an origin",
         false,
         0,
         {10, 20},
         lShape,
         {"rrwwwwww", "rckkkkww", "rckkkkww", "rckkwwww", "rckkwwww", "rrwwwwww"}},
        {"frame 1 wide",
         true,
         1,
         {0, 0},
         {{1, 1, 6, 5, 0, 0}},
         {"rrwwwwww", "rckkkkww", "rcwwwkww", "rcwwwkww", "rckkkkww", "rrwwwwww"}},
        {"frame 2 wide",
         true,
         2,
         {0, 0},
         {{1, 0, 8, 6, 0, 0}},
         {"rckkkkkk", "rckkkkkk", "rckwwwkk", "rckwwwkk", "rckkkkkk", "rckkkkkk"}},
        {"frame of two rectangles",
         true,
         1,
         {0, 0},
         {{0, 0, 3, 3, 0, 0}, {4, 2, 8, 6, 0, 0}},
         {"cckwwwww", "crkwwwww", "cckwkkkk", "rrwwkwwk", "rrwwkwwk", "rrwwkkkk"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MemoryPort port(8, 6);
        port.paintZone(Zone{0, 0, 2, 6, 0, 0}, kColorRed);
        port.setOrigin(c.origin.x, c.origin.y);
        GdiObjectRef region = RegionFromZone(nullptr);
        for (Zone z : c.zones) {
            ZoneOffset(z, c.origin.x, c.origin.y);
            RegionXorZone(region, z);
        }
        plat::RECT before{}, after{};
        plat::GetRgnBox(static_cast<plat::HRGN>(region.handle()), &before);
        if (c.frame)
            FrameRegionInPort(region, port, c.width);
        else
            InvertRegionInPort(region, port);
        EXPECT_EQ(Letters(port, 8, 6), c.want);
        // The region itself is left where it was.
        plat::GetRgnBox(static_cast<plat::HRGN>(region.handle()), &after);
        EXPECT_EQ(after.left, before.left);
        EXPECT_EQ(after.top, before.top);
    }
}

// A masked blit: source pixels of the key colour (green) leave the yellow destination; a source
// block of another size is stretched to the destination's, each source pixel a 2 × 2 block here.
TEST_F(Drawing, TransparentBlitScalesAndKeepsTheDestinationUnderTheKeyColour) {
    struct Box {
        int x, y, w, h;
    };
    struct Case {
        const char* name;
        Box to, from;
        std::vector<std::string> want;
    };
    const Case cases[] = {
        {"doubled",
         {2, 1, 4, 4},
         {0, 0, 2, 2},
         {"yyyyyyyy", "yyrryyyy", "yyrryyyy", "yyyybbyy", "yyyybbyy", "yyyyyyyy"}},
        {"same size from an offset",
         {5, 3, 2, 2},
         {1, 0, 2, 2},
         {"yyyyyyyy", "yyyyyyyy", "yyyyyyyy", "yyyyyyby", "yyyyybry", "yyyyyyyy"}},
        {"same size at the corner",
         {0, 0, 3, 2},
         {0, 0, 3, 2},
         {"rybyyyyy", "ybryyyyy", "yyyyyyyy", "yyyyyyyy", "yyyyyyyy", "yyyyyyyy"}},
        {"stretched across",
         {1, 4, 6, 1},
         {0, 1, 3, 1},
         {"yyyyyyyy", "yyyyyyyy", "yyyyyyyy", "yyyyyyyy", "yyybbrry", "yyyyyyyy"}},
        {"nothing wide",
         {2, 1, 0, 4},
         {0, 0, 2, 2},
         {"yyyyyyyy", "yyyyyyyy", "yyyyyyyy", "yyyyyyyy", "yyyyyyyy", "yyyyyyyy"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // Source 3 × 2: R G B / G B R.
        MemoryPort source(3, 2);
        const Color green{0, 255, 0, 255};
        source.paintZone(Zone{0, 0, 3, 2, 0, 0}, green);
        source.paintZone(Zone{0, 0, 1, 1, 0, 0}, kColorRed);
        source.paintZone(Zone{2, 0, 3, 1, 0, 0}, kColorBlue);
        source.paintZone(Zone{1, 1, 2, 2, 0, 0}, kColorBlue);
        source.paintZone(Zone{2, 1, 3, 2, 0, 0}, kColorRed);
        MemoryPort dest(8, 6);
        dest.paintZone(Zone{0, 0, 8, 6, 0, 0}, kColorYellow);
        {
            PortDcHolder s(&source);
            PortDcHolder d(&dest);
            TransparentBlit(d.hdc(), c.to.x, c.to.y, c.to.w, c.to.h, s.hdc(), c.from.x, c.from.y,
                            c.from.w, c.from.h, plat::RGB(0, 255, 0));
        }
        EXPECT_EQ(Letters(dest, 8, 6), c.want);
    }
}

} // namespace
} // namespace kvtest
