#include "OverSrcs/oGraph.h"

#include "OverPc/PERROR.h"
#include "OverPc/oPixMap.h"
#include "support/RecordingPort.h"

#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

using kvtest::RecordingFontIndex;
using kvtest::RecordingPort;
using kvtest::ZoneText;

namespace {

// What the assertion log gained while `action` ran.
template <class Action> std::string LoggedDuring(Action&& action) {
    const std::string before(LoggedInformation());
    action();
    const std::string after(LoggedInformation());
    return after.size() >= before.size() ? after.substr(before.size()) : after;
}

// A port with nothing of its own: every operation is the base's.
class BarePort : public oGraphPort {
public:
    BarePort* clone() const override { return new BarePort(*this); }
};

oPixMap& NoPixMap() {
    // An empty pixmap (no bitmap): the base operations never reach into it.
    static oPixMap* const empty = new oPixMap;
    return *empty;
}

// ---------------------------------------------------------------------------------------------
// Zones

TEST(ZoneOps, MovingKeepsReferenceLines) {
    const struct { int32_t dx, dy; } moves[] = {{0, 0}, {5, -7}, {-100, 100}, {3, 0}};
    for (const auto& m : moves) {
        SCOPED_TRACE(std::to_string(m.dx) + "," + std::to_string(m.dy));
        Zone z{10, 20, 40, 50, 9, 12};
        ZoneOffset(z, m.dx, m.dy);
        EXPECT_EQ(ZoneText(z), ZoneText(Zone{10 + m.dx, 20 + m.dy, 40 + m.dx, 50 + m.dy, 9, 12}));
        Zone t{10, 20, 40, 50, 9, 12};
        ZoneMoveTo(t, 10 + m.dx, 20 + m.dy);
        EXPECT_EQ(t, z);
    }
}

TEST(ZoneOps, InsetLowersReferenceLinesWithTheTop) {
    Zone z{0, 10, 30, 40, 8, 12};
    const int32_t axisOnPage = z.top + z.ref1;
    const int32_t baseOnPage = z.top + z.ref2;
    ZoneInset(z, 2, 3);
    EXPECT_EQ(ZoneText(z), "2,13,28,37;5,9");
    // The lines stay where they were on the page.
    EXPECT_EQ(z.top + z.ref1, axisOnPage);
    EXPECT_EQ(z.top + z.ref2, baseOnPage);
    ZoneInset(z, -2, -3);
    EXPECT_EQ(ZoneText(z), "0,10,30,40;8,12");
}

TEST(ZoneOps, SetKeepsOldReferencesUnlessPositive) {
    Zone z{1, 2, 3, 4, 7, 9};
    ZoneSet(z, 10, 20, 30, 40, 0, -1);
    EXPECT_EQ(ZoneText(z), "10,20,30,40;7,9");
    ZoneSet(z, 10, 20, 30, 40, 5, 6);
    EXPECT_EQ(ZoneText(z), "10,20,30,40;5,6");
    ZoneClear(z);
    EXPECT_EQ(ZoneText(z), "0,0,0,0;0,6"); // ref2 survives a clear
}

TEST(ZoneOps, MoveToAxisPutsTheAxisOnThePoint) {
    Zone z{0, 0, 20, 16, 6, 11};
    ZoneMoveToAxis(z, 100, 50);
    EXPECT_EQ(ZoneText(z), "100,44,120,60;6,11");
}

TEST(ZoneOps, ContainsPointIncludesLeftTopOnly) {
    const Zone z{0, 0, 10, 10, 0, 0};
    const struct {
        int32_t x, y;
        bool inside;
    } cases[] = {{0, 0, true},   {9, 9, true},   {10, 5, false}, {5, 10, false},
                 {-1, 5, false}, {5, -1, false}, {10, 10, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.x) + "," + std::to_string(c.y));
        EXPECT_EQ(ZoneContainsPoint(z, oPoint{c.x, c.y}), c.inside);
    }
}

TEST(ZoneOps, ContainsZoneAllowsCoincidentEdges) {
    const Zone outer{0, 0, 10, 10, 0, 0};
    EXPECT_TRUE(ZoneContainsZone(outer, outer));
    EXPECT_TRUE(ZoneContainsZone(outer, Zone{2, 2, 10, 10, 0, 0}));
    EXPECT_FALSE(ZoneContainsZone(outer, Zone{2, 2, 11, 10, 0, 0}));
    EXPECT_FALSE(ZoneContainsZone(outer, Zone{-1, 0, 5, 5, 0, 0}));
}

TEST(ZoneOps, UnionCoversBothAndClearsReferences) {
    Zone u;
    ZoneUnion(Zone{0, 5, 10, 15, 3, 4}, Zone{-5, 8, 4, 30, 7, 9}, u);
    EXPECT_EQ(ZoneText(u), "-5,5,10,30;0,0");
}

TEST(ZoneOps, IntersectReportsEmptyResults) {
    Zone r{0, 0, 0, 0, 77, 88};
    EXPECT_TRUE(ZoneIntersect(Zone{0, 0, 10, 10, 1, 1}, Zone{5, 3, 20, 8, 2, 2}, r));
    EXPECT_EQ(ZoneText(r), "5,3,10,8;77,88"); // references not written
    // Touching zones share no pixel.
    EXPECT_FALSE(ZoneIntersect(Zone{0, 0, 10, 10, 0, 0}, Zone{10, 0, 20, 10, 0, 0}, r));
    EXPECT_FALSE(ZoneIntersect(Zone{0, 0, 10, 10, 0, 0}, Zone{0, 10, 10, 20, 0, 0}, r));
    EXPECT_FALSE(ZoneIntersect(Zone{0, 0, 10, 10, 0, 0}, Zone{30, 30, 40, 40, 0, 0}, r));
    EXPECT_TRUE(ZoneIsEmpty(Zone{5, 5, 5, 9, 0, 0}));
    EXPECT_FALSE(ZoneIsEmpty(Zone{5, 5, 6, 6, 0, 0}));
}

TEST(ZoneOps, RectRoundTripSetsReferencesToBottom) {
    const oRect rect{3, 4, 30, 40};
    const Zone z = ZoneFromRect(rect);
    EXPECT_EQ(ZoneText(z), "3,4,30,40;40,40");
    const oRect back = ZoneToRect(z);
    EXPECT_EQ(back.left, 3);
    EXPECT_EQ(back.top, 4);
    EXPECT_EQ(back.right, 30);
    EXPECT_EQ(back.bottom, 40);
}

TEST(ZoneOps, ClampsPointsAndEdges) {
    const Zone z{0, 0, 10, 20, 0, 0};
    const oPoint p = ClampPointToZone(z, oPoint{-5, 25});
    EXPECT_EQ(p.x, 0);
    EXPECT_EQ(p.y, 20); // the far edges are included
    const oPoint q = ClampPointToZone(z, oPoint{4, 7});
    EXPECT_EQ(q.x, 4);
    EXPECT_EQ(q.y, 7);

    // An obstacle left of the point pulls the left edge in; one above pulls the top down.
    Zone area{0, 0, 100, 100, 0, 0};
    ClampZoneToObstacles(area, oPoint{50, 50}, Zone{10, 10, 30, 30, 0, 0});
    EXPECT_EQ(ZoneText(area), "30,30,100,100;0,0");
    // An obstacle beyond the point on the right and below pulls those edges.
    Zone area2{0, 0, 100, 100, 0, 0};
    ClampZoneToObstacles(area2, oPoint{50, 50}, Zone{70, 60, 90, 80, 0, 0});
    EXPECT_EQ(ZoneText(area2), "0,0,70,60;0,0");
}

TEST(ZoneOps, PlaceZoneBesideAvoidsTheObstacle) {
    const Zone screen{0, 0, 800, 600, 0, 0};
    // A wide obstacle near the top: the pop-up goes below it.
    const Zone field{100, 50, 300, 70, 0, 0};
    Zone popup{100, 20, 300, 220, 5, 6};
    Zone placed;
    PlaceZoneBeside(screen, &field, &popup, placed, 0, 0, 1000, 1000);
    EXPECT_EQ(ZoneText(placed), "100,70,300,270;5,6");

    // A wide obstacle near the bottom: the available part ends at its top, the pop-up moves up.
    const Zone low{100, 560, 300, 580, 0, 0};
    Zone popup2{100, 500, 300, 700, 0, 0};
    PlaceZoneBeside(screen, &low, &popup2, placed, 0, 0, 1000, 1000);
    EXPECT_EQ(ZoneText(placed), "100,360,300,560;0,0");

    // A tall obstacle on the left: the pop-up goes right of it, pulled back inside the screen.
    const Zone tall{0, 0, 50, 600, 0, 0};
    Zone popup3{20, 10, 120, 60, 0, 0};
    PlaceZoneBeside(screen, &tall, &popup3, placed, 0, 0, 1000, 1000);
    EXPECT_EQ(ZoneText(placed), "50,10,150,60;0,0");

    // Too big for the space: cut to the available edges, then held to the size bounds.
    Zone huge{0, 0, 2000, 2000, 0, 0};
    PlaceZoneBeside(screen, nullptr, &huge, placed, 0, 0, 500, 400);
    EXPECT_EQ(ZoneText(placed), "0,0,500,400;0,0");
    PlaceZoneBeside(screen, nullptr, &popup3, placed, 300, 200, 1000, 1000);
    EXPECT_EQ(ZoneText(placed), "20,10,320,210;0,0");
}

// ---------------------------------------------------------------------------------------------
// Resolution

TEST(Resolution, DotsPerInchToUnitsPer16Points) {
    const struct {
        int32_t dpi, resolution, lineUnit, twelvePoints;
    } cases[] = {
        {72, 16, 1, 12},   // (144 + 4) / 9; 12 pt = 12 units
        {96, 21, 1, 16},   // (192 + 4) / 9 = 21; (12 * 21 + 8) / 16 = 16
        {300, 67, 4, 50},  // (600 + 4) / 9 = 67; (67 + 8) / 16 = 4; (804 + 8) / 16 = 50
        {600, 133, 8, 100} // (1200 + 4) / 9 = 133; (133 + 8) / 16 = 8; (1596 + 8) / 16 = 100
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.dpi);
        EXPECT_EQ(ResolutionForDpi(c.dpi), c.resolution);
        EXPECT_EQ(LineUnitFor(c.resolution), c.lineUnit);
        EXPECT_EQ(PointsToDevice(12, c.resolution), c.twelvePoints);
        auto port = NewMeasurePort(c.resolution, 3);
        EXPECT_EQ(port->resolution(), c.resolution);
        EXPECT_EQ(port->lineUnit(), c.lineUnit);
        EXPECT_EQ(port->flag(), 3);
    }
}

// ---------------------------------------------------------------------------------------------
// Base operations

TEST(GraphPortBase, UnsupportedOperationsLogTheirTag) {
    BarePort port;
    Zone z{0, 0, 10, 10, 0, 0};
    const Color c = kColorRed;
    const oPoint pts[2] = {{0, 0}, {5, 5}};
    const struct {
        const char* tag;
        std::function<void()> call;
    } cases[] = {
        {"oGr::drawDeluxeString", [&] { port.drawDeluxeString("x", 0, 0, 0, &c, 1); }},
        {"oGr::drawRotatedString", [&] { port.drawRotatedString("x", 0, 0, 0, &c, 1, 900); }},
        {"oGr::drawAsianString", [&] { port.drawAsianString("x", 0, 0, 0, &c, 1, 0); }},
        {"oGr::startDeluxeLine", [&] { port.startDeluxeLine(1, c, 0, 1); }},
        {"oGr::moveTo", [&] { port.moveTo(1, 1); }},
        {"oGr::move", [&] { port.move(1, 1); }},
        {"oGr::lineTo", [&] { port.lineTo(1, 1); }},
        {"oGr::line", [&] { port.line(1, 1); }},
        {"oGr::dotAt", [&] { port.dotAt(1, 1); }},
        {"oGr::arct", [&] { port.arct(1, 1, 2, 2, 3); }},
        {"oGr::endLine", [&] { port.endLine(); }},
        {"oGr::paintZone", [&] { port.paintZone(z, c); }},
        {"oGr::eraseZone", [&] { port.eraseZone(z); }},
        {"oGr::paintPolygon", [&] { port.paintPolygon(2, pts, &c, 1, 0, 0); }},
        {"oGr::frameZone", [&] { port.frameZone(z, 1, c, 0, 1); }},
        {"oGr::paintCircle", [&] { port.paintCircle(z); }},
        {"oGr::integralSign", [&] { port.integralSign(z, 4, 2, 0, 1, 0); }},
        {"oGr::paintHorn", [&] { port.paintHorn(z, 2, 1, 0); }},
        {"oGr::savePix", [&] { port.savePix(0, 0, NoPixMap()); }},
        {"oGr::restorePix", [&] { port.restorePix(0, 0, NoPixMap()); }},
        {"oGr::restoreStretch", [&] { port.restoreStretch(z, NoPixMap(), 3); }},
        {"oGr::restoreColorize", [&] { port.restoreColorize(0, 0, NoPixMap(), c, c); }},
        {"oGr::drawImage", [&] { port.drawImage(1, z, c, c, 0); }},
        {"oGr::strImage", [&] { port.stretchImage(1, z); }},
        {"oGr::clipToZone", [&] { port.clipToZone(&z); }},
        {"oGr::setColors", [&] { port.setColors(nullptr, nullptr); }},
        {"oGr::setPort", [&] { port.setPort(); }},
        {"oGr::unsetPort", [&] { port.unsetPort(); }},
        // The forwarding operations reach the asserting ones.
        {"oGr::drawDeluxeString", [&] { port.drawString("x", 0, 0, 0); }},
        {"oGr::startDeluxeLine", [&] { port.startLine(1); }},
    };
    for (const auto& c2 : cases) {
        SCOPED_TRACE(c2.tag);
        const std::string logged = LoggedDuring(c2.call);
        EXPECT_NE(logged.find(std::string("(") + c2.tag + ")"), std::string::npos) << logged;
        EXPECT_NE(logged.find("oGraph:"), std::string::npos) << logged;
        // Exactly one assertion per call.
        EXPECT_EQ(logged.find("Assertion", 1), std::string::npos) << logged;
    }
}

TEST(GraphPortBase, QuietOperations) {
    BarePort port;
    const std::string logged = LoggedDuring([&] {
        EXPECT_FALSE(port.fitsInside(0, 0, 1, 1));
        auto measure = NewMeasurePort(16, 0);
        measure->setPort(); // a measuring port has nothing to acquire
        measure->unsetPort();
    });
    EXPECT_EQ(logged, "");
    EXPECT_EQ(port.foreColor(), kColorBlack);
    EXPECT_EQ(port.backColor(), kColorWhite);
}

TEST(GraphPortBase, ForwardersUseTheForegroundColour) {
    RecordingPort port;
    const Color green = kColorGreen;
    port.setColors(&green, nullptr);
    port.clear();
    port.drawString("ab", 5, 3, 4);
    port.startLine(2);
    port.endLine();
    port.stretchImage(7, Zone{0, 0, 4, 4, 0, 0});
    EXPECT_EQ(port.text(), "drawDeluxeString \"ab\" font=5 at=3,4 color=#00ff00ff flag=1\n"
                           "startDeluxeLine width=2 color=#00ff00ff style=0 mode=1\n"
                           "endLine\n"
                           "drawImage 7 0,0,4,4;0,0 fore=#00ff00ff back=#ffffffff mode=0\n");
}

// ---------------------------------------------------------------------------------------------
// Measuring through an installed provider

class FakeMeasurer : public oTextMeasurer {
public:
    int32_t stringWidth(oMeasurePort& port, const char* text, int32_t font) override {
        return static_cast<int32_t>(std::strlen(text)) * font + port.resolution();
    }
    void measureString(oMeasurePort&, const char* text, int32_t, Zone& r) override {
        r = Zone{0, 0, static_cast<int32_t>(std::strlen(text)), 10, 4, 8};
    }
    void stringEdges(oMeasurePort&, const char*, int32_t, int32_t& l, int32_t& r,
                     int32_t& o) override {
        l = 1, r = 2, o = 3;
    }
    void fontMetrics(int32_t font, int32_t resolution, FontMetricWords& w) override {
        w.lineHeight = font + resolution;
    }
};

TEST(MeasurePort, MeasuresThroughTheInstalledProvider) {
    auto port = NewMeasurePort(21, 0);
    // Without a provider text measures nothing, and says so.
    const std::string logged = LoggedDuring([&] { EXPECT_EQ(port->stringWidth("abc", 2), 0); });
    EXPECT_NE(logged.find("(oGr::stringWidth)"), std::string::npos);

    FakeMeasurer fake;
    SetTextMeasurer(&fake);
    EXPECT_EQ(port->stringWidth("abc", 2), 3 * 2 + 21);
    Zone r;
    port->measureString("abcd", 0, r);
    EXPECT_EQ(ZoneText(r), "0,0,4,10;4,8");
    int32_t l = 0, rt = 0, o = 0;
    port->stringEdges("x", 0, l, rt, o);
    EXPECT_EQ(l + rt * 10 + o * 100, 321);
    FontMetricWords w;
    port->fontMetrics(5, w);
    EXPECT_EQ(w.lineHeight, 26); // the port's own resolution is passed on
    SetTextMeasurer(nullptr);
}

namespace devices {
int made = 0, added = 0, released = 0;
alignas(8) char record[16];
PortDevice* Make(int32_t kind) {
    EXPECT_EQ(kind, 0);
    ++made;
    return reinterpret_cast<PortDevice*>(record);
}
void AddRef(PortDevice*) {
    ++added;
}
void Release(PortDevice*) {
    ++released;
}
} // namespace devices

TEST(MeasurePort, DeviceRecordIsCountedByEveryHolder) {
    devices::made = devices::added = devices::released = 0;
    SetPortDeviceHooks(PortDeviceHooks{devices::Make, devices::AddRef, devices::Release});
    {
        auto port = NewMeasurePort(16, 0);
        EXPECT_EQ(port->device(), reinterpret_cast<PortDevice*>(devices::record));
        std::unique_ptr<oMeasurePort> copy(port->clone());
        EXPECT_EQ(copy->device(), port->device());
        EXPECT_EQ(copy->resolution(), 16);
    }
    SetPortDeviceHooks(PortDeviceHooks{});
    EXPECT_EQ(devices::made, 1);
    EXPECT_EQ(devices::added, 1);
    // Both holders gave their reference back: one release per reference.
    EXPECT_EQ(devices::released, devices::made + devices::added);
}

// ---------------------------------------------------------------------------------------------
// Colours and pixels

TEST(Colors, Rgb332Levels) {
    EXPECT_EQ(Rgb332ToRgba(0xFF), (Color{255, 255, 255, 255}));
    EXPECT_EQ(Rgb332ToRgba(0x49), (Color{73, 73, 73, 255}));
    EXPECT_EQ(Rgb332ToRgba(0x00), (Color{0, 0, 0, 255}));
    EXPECT_EQ(Rgb332ToRgba(0xE0), (Color{255, 0, 0, 255}));
    EXPECT_EQ(Rgb332ToRgba(0x03), (Color{0, 0, 255, 255}));
    // Every packed colour survives expansion and packing.
    for (int b = 0; b < 256; ++b) {
        SCOPED_TRACE(b);
        EXPECT_EQ(RgbaToRgb332(Rgb332ToRgba(static_cast<uint8_t>(b))), b);
    }
}

TEST(Colors, SharedTableOrder) {
    EXPECT_EQ(kSharedColors[0], kColorWhite);
    EXPECT_EQ(kSharedColors[1], (Color{191, 191, 191, 255}));
    EXPECT_EQ(kSharedColors[5], kColorBlack);
    EXPECT_EQ(kSharedColors[12], (Color{124, 47, 26, 255}));
    EXPECT_EQ(kSharedColors[15], (Color{102, 102, 102, 255}));
}

TEST(PixelFormats, DepthFlagsInPriorityOrder) {
    const struct {
        PixelFormat code;
        int32_t bits, bytes, strideOf5;
    } cases[] = {
        {0, 1, 1, 4},                               // (5 + 31) / 32 * 4
        {kPixelDepth24, 24, 3, 16},                 // (120 + 31) / 32 * 4
        {kPixelDepth16, 16, 2, 12},                 // (80 + 31) / 32 * 4
        {kPixelDepth8, 8, 1, 8},                    // (40 + 31) / 32 * 4
        {kPixelDepth32, 32, 4, 20},                 //
        {kPixelDepth32 | kPixelDepth24, 32, 4, 20}, // 32 wins
        {kPixelDepth8 | kPixelDepth16, 8, 1, 8},    // 8 before 16
        {kPixelDepth16 | kPixelDepth24 | 0xE4, 16, 2, 12},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        EXPECT_EQ(PixelBitsPerPixel(c.code), c.bits);
        EXPECT_EQ(PixelBytesPerPixel(c.code), c.bytes);
        EXPECT_EQ(PixelRowStride(c.code, 5), c.strideOf5);
    }
}

TEST(PixelFormats, PackAndUnpack) {
    // Red at byte 2, green 1, blue 0, alpha 3: the usual little-endian BGRA layout.
    const PixelFormat bgra = kPixelDepth32 | kPixelHasAlpha | (2 << 6) | (1 << 4) | (0 << 2) | 3;
    const Color c{0x11, 0x22, 0x33, 0x44};
    EXPECT_EQ(PackPixel(c, bgra), 0x44112233u);
    Color back;
    UnpackPixel(0x44112233u, bgra, back);
    EXPECT_EQ(back, c);
    // Without the alpha flag alpha is neither written nor read.
    const PixelFormat bgr = bgra & ~kPixelHasAlpha;
    EXPECT_EQ(PackPixel(c, bgr), 0x00112233u);
    UnpackPixel(0xFF112233u, bgr, back);
    EXPECT_EQ(back, (Color{0x11, 0x22, 0x33, 255}));
}

TEST(PixelFormats, ShiftingPositionsIsReversible) {
    const PixelFormat codes[] = {0x2E4, 0x6E4 | 0x3, 0x1E4, 0x61B, 0x8000 | 0x400 | 0xC6};
    for (PixelFormat code : codes) {
        SCOPED_TRACE(code);
        const PixelFormat up = PixelFormatShiftUp(code);
        EXPECT_EQ(up & 0xFF00, code & 0xFF00);
        EXPECT_EQ(PixelRedPosition(up), (PixelRedPosition(code) + 1) & 3);
        EXPECT_EQ(PixelBluePosition(up), (PixelBluePosition(code) + 1) & 3);
        if (!PixelHasAlpha(code)) {
            EXPECT_EQ(PixelAlphaPosition(up), PixelAlphaPosition(code));
        }
        EXPECT_EQ(PixelFormatShiftDown(up), code);
    }
}

TEST(PixelFormats, CopyPixelsConvertsLayouts) {
    const PixelFormat bgra = kPixelDepth32 | kPixelHasAlpha | (2 << 6) | (1 << 4) | (0 << 2) | 3;
    const PixelFormat rgb = kPixelDepth24 | (0 << 6) | (1 << 4) | (2 << 2);
    // Two rows of two BGRA pixels, each row padded to 12 bytes.
    const uint8_t src[24] = {1, 2,  3,  4,  5,  6,  7,  8,  0xEE, 0xEE, 0xEE, 0xEE,
                             9, 10, 11, 12, 13, 14, 15, 16, 0xEE, 0xEE, 0xEE, 0xEE};
    uint8_t dst[16];
    std::memset(dst, 0xAA, sizeof dst);
    ASSERT_TRUE(CopyPixels(dst, 8, rgb, src, 12, bgra, 2, 2, ConvertPixelColors));
    const uint8_t want[16] = {3, 2, 1, 7, 6, 5, 0xAA, 0xAA, 11, 10, 9, 15, 14, 13, 0xAA, 0xAA};
    EXPECT_EQ(std::memcmp(dst, want, sizeof want), 0);

    // A grey image's red byte becomes the alpha of the destination, nothing else is touched.
    uint8_t mask[8];
    std::memset(mask, 0, sizeof mask);
    ASSERT_TRUE(CopyPixels(mask, 8, bgra, src, 12, bgra, 2, 1, ConvertPixelToAlpha));
    const uint8_t wantMask[8] = {0, 0, 0, 3, 0, 0, 0, 7};
    EXPECT_EQ(std::memcmp(mask, wantMask, sizeof wantMask), 0);

    // Rows wider than their row step would overrun: refused, nothing written.
    std::memset(dst, 0xAA, sizeof dst);
    EXPECT_FALSE(CopyPixels(dst, 4, rgb, src, 12, bgra, 2, 2, ConvertPixelColors));
    EXPECT_EQ(dst[0], 0xAA);
}

TEST(PixelFormats, PositionsBeyondThePixelAreIgnored) {
    // A 16-bit layout that claims red at byte 3 must not touch the neighbouring pixel.
    const PixelFormat odd = kPixelDepth16 | (3 << 6) | (1 << 4) | (0 << 2);
    const PixelFormat rgba = kPixelDepth32 | kPixelHasAlpha | (0 << 6) | (1 << 4) | (2 << 2) | 3;
    const uint8_t src[4] = {50, 60, 70, 80};
    uint8_t dst[4] = {0x11, 0x22, 0x33, 0x44};
    ASSERT_TRUE(CopyPixels(dst, 4, odd, src, 4, rgba, 1, 1, ConvertPixelColors));
    EXPECT_EQ(dst[0], 70); // blue
    EXPECT_EQ(dst[1], 60); // green
    EXPECT_EQ(dst[2], 0x33);
    EXPECT_EQ(dst[3], 0x44);
}

// ---------------------------------------------------------------------------------------------
// Drawing routines

TEST(DrawGridLines, StretchesThenDrawsTheGridAndOutline) {
    RecordingPort port(16, Zone{0, 0, 21, 31, 0, 0});
    DrawGridLines(port, &NoPixMap(), 2, 3, kPixelMonochrome);
    // Zone 0,0,20,30; rows at (3 - i) * 0 + i * 30) / 3, columns at i * 20 / 2.
    EXPECT_EQ(port.text(), "restoreStretch 0,0,20,30;0,0 mode=3\n"
                           "startDeluxeLine width=1 color=#bfbfbfff style=0 mode=0\n"
                           "moveTo 0,0\nlineTo 20,0\n"
                           "moveTo 0,10\nlineTo 20,10\n"
                           "moveTo 0,20\nlineTo 20,20\n"
                           "moveTo 0,30\nlineTo 20,30\n"
                           "moveTo 0,0\nlineTo 0,30\n"
                           "moveTo 10,0\nlineTo 10,30\n"
                           "moveTo 20,0\nlineTo 20,30\n"
                           "endLine\n"
                           "startDeluxeLine width=1 color=#000000ff style=0 mode=0\n"
                           "moveTo 0,0\nlineTo 20,0\nlineTo 20,30\nlineTo 0,30\nlineTo 0,0\n"
                           "endLine\n");
    EXPECT_EQ(port.protocolErrors(), 0);
}

TEST(DrawGridLines, ColourPixmapsAreCopiedPlain) {
    RecordingPort port;
    DrawGridLines(port, &NoPixMap(), 24, 24, kPixelDepth32);
    EXPECT_EQ(port.text(), "restorePix 0,0\n");
    port.clear();
    DrawGridLines(port, &NoPixMap(), 0, 24, kPixelMonochrome); // nothing to divide by
    EXPECT_EQ(port.text(), "");
}

TEST(PixelEditor, CellsFollowTheGridLines) {
    const Zone zone{0, 0, 240, 240, 0, 0};
    const Zone cell = PixelGridCell(zone, 24, 24, 2, 5);
    EXPECT_EQ(ZoneText(cell), "21,51,30,60;0,0");
    // A pixmap of another height uses its own height for rows.
    const Zone tallCell = PixelGridCell(Zone{0, 0, 100, 160, 0, 0}, 10, 16, 0, 15);
    EXPECT_EQ(ZoneText(tallCell), "1,151,10,160;0,0");
    const oPoint p = PixelUnderPoint(oPoint{239, 120}, 240, 240, 24, 24);
    EXPECT_EQ(p.x, 23);
    EXPECT_EQ(p.y, 12);
}

TEST(DrawRuler, TicksEvery25UnitsFromTheFirstMultiple) {
    RecordingPort shortPort(16, Zone{0, 1, 100, 24, 0, 0});
    shortPort.drawRuler();
    EXPECT_EQ(shortPort.text(), "");

    RecordingPort port(16, Zone{0, 0, 100, 24, 0, 0});
    port.drawRuler();
    EXPECT_EQ(port.text(), "startDeluxeLine width=1 color=#000000ff style=0 mode=1\n"
                           "moveTo 0,0\nline 10,0\nmoveTo 100,0\nline -10,0\nendLine\n"
                           "drawDeluxeString \" 0\" font=0 at=10,3 color=#000000ff flag=1\n"
                           "drawDeluxeString \" 0\" font=0 at=40,3 color=#000000ff flag=1\n");

    RecordingPort tall(16, Zone{0, -30, 100, 51, 0, 0});
    tall.drawRuler();
    std::vector<std::string> texts;
    for (const std::string& line : tall.calls())
        if (line.rfind("drawDeluxeString", 0) == 0 && line.find("at=10,") != std::string::npos)
            texts.push_back(line.substr(17, line.find(" font") - 17));
    EXPECT_EQ(texts, (std::vector<std::string>{"\" -25\"", "\" 0\"", "\" 25\"", "\" 50\""}));
    EXPECT_EQ(tall.protocolErrors(), 0);
}

// With the recording metrics at resolution 16, a 12-point font has em 12, line height 13,
// descent (13 + 2) / 4 = 3, ascent 10 and line spacing 13 + 3 / 2 = 14; "a" advances 6 units and
// a space 3. Lines are spaced by the line spacing.
class WrapText : public ::testing::Test {
protected:
    std::vector<std::string> drawnTexts() const {
        std::vector<std::string> out;
        for (const std::string& line : port.calls()) {
            const size_t open = line.find('"');
            const size_t close = line.rfind('"');
            out.push_back(line.substr(open + 1, close - open - 1));
        }
        return out;
    }
    RecordingPort port;
    const int32_t font = RecordingFontIndex(12);
};

TEST_F(WrapText, BreaksAtTheLastSpaceThatFits) {
    // "aaa bbb" is 6 * 6 + 3 = 39 units: it fits in 40, "aaa bbb ccc" does not.
    const int32_t bottom = WrapTextToWidth(port, "aaa bbb ccc", font, Zone{5, 100, 45, 200, 0, 0});
    EXPECT_EQ(drawnTexts(), (std::vector<std::string>{"aaa bbb", "ccc"}));
    ASSERT_EQ(port.calls().size(), 2u);
    EXPECT_NE(port.calls()[0].find("at=5,110 "), std::string::npos) << port.calls()[0];
    EXPECT_NE(port.calls()[1].find("at=5,124 "), std::string::npos) << port.calls()[1];
    EXPECT_EQ(bottom, 100 + (2 + 3) * 14);
    EXPECT_EQ(WrappedTextBottom, bottom);
}

TEST_F(WrapText, CutsAnOverlongWordAtAnEvenCount) {
    // Ten "a" measure 60; in 25 units: 10 * 25 / 60 = 4 characters a line.
    WrapTextToWidth(port, "aaaaaaaaaa", font, Zone{0, 0, 25, 100, 0, 0});
    EXPECT_EQ(drawnTexts(), (std::vector<std::string>{"aaaa", "aaaa", "aa"}));
}

TEST_F(WrapText, EveryLineMakesProgressInATinyZone) {
    // 3 * 2 / 18 = 0 characters would never end; one character a line instead.
    WrapTextToWidth(port, "abc", font, Zone{0, 0, 2, 100, 0, 0});
    EXPECT_EQ(drawnTexts(), (std::vector<std::string>{"a", "b", "c"}));
}

TEST_F(WrapText, LineEndsBreakAndAPairCountsOnce) {
    WrapTextToWidth(port, "ab\r\ncd\ref\ngh", font, Zone{0, 0, 400, 100, 0, 0});
    EXPECT_EQ(drawnTexts(), (std::vector<std::string>{"ab", "cd", "ef", "gh"}));
}

TEST_F(WrapText, StopsAfterTheHundredthLine) {
    std::string text;
    for (int i = 0; i < 150; ++i)
        text += "x\n";
    const Color red = kColorRed;
    const int32_t bottom =
        WrapTextToWidthColored(port, text.c_str(), font, Zone{0, 0, 400, 100, 0, 0}, &red, 2);
    EXPECT_EQ(port.calls().size(), 100u);
    EXPECT_EQ(bottom, (100 + 3) * 14);
    EXPECT_NE(port.calls().back().find("color=#ff0000ff flag=2"), std::string::npos);
}

// The recording port's metrics are what model tests compute their expectations from, so they
// must stay exactly as its header documents them.
TEST(RecordingPortMetrics, FollowTheDocumentedTable) {
    RecordingPort port(16);
    const int32_t f12 = RecordingFontIndex(12);
    // W 11 + i 3 + m 9 = 23 twelfths of a 12-unit em.
    EXPECT_EQ(port.stringWidth("Wim", f12), 23);
    EXPECT_EQ(port.stringWidth("Wim", RecordingFontIndex(12, 1)), 23 + 3); // bold: +1 a character
    EXPECT_EQ(port.stringWidth("", f12), 0);
    Zone r;
    port.measureString("ab", f12, r);
    // em 12, h 13, descent 3, ascent 10, axis 10 - (12 + 2) / 4 = 7.
    EXPECT_EQ(ZoneText(r), "0,0,12,13;7,10");
    FontMetricWords w;
    port.fontMetrics(f12, w);
    EXPECT_EQ(w.lineHeight, 13);
    EXPECT_EQ(w.lineSpacing, 14);
    EXPECT_EQ(w.quarterHeight, 3);
    int32_t left = -1, right = -1, overhang = -1;
    port.stringEdges("f", RecordingFontIndex(24, 2), left, right, overhang);
    // em 24: h 27, descent 7, ascent 20; italic overhang (20 + 2) / 4 / 4 = 1.
    EXPECT_EQ(left, 0);
    EXPECT_EQ(right, 8);
    EXPECT_EQ(overhang, 1);
    EXPECT_EQ(port.measureCount(), 5);
    EXPECT_EQ(port.text(), ""); // measuring is not recorded unless asked

    RecordingPort screen(21);
    // em (12 * 21 + 8) / 16 = 16: 23 * 16 / 12 = 30.
    EXPECT_EQ(screen.stringWidth("Wim", f12), 30);
    EXPECT_EQ(kvtest::RecordingFontIndexForDesc("Arial", 12, true, true, false),
              RecordingFontIndex(12, 3));
    EXPECT_EQ(kvtest::RecordingFontSize(0), 12);
}

TEST(FoldAccent, AccentedLettersLosetheirAccent) {
    const struct {
        unsigned char in, out;
    } cases[] = {{0xC0, 'A'},
                 {0xC5, 'A'},
                 {0xE4, 'a'},
                 {0xC9, 'E'},
                 {0xEB, 'e'},
                 {0xCE, 'I'},
                 {0xEF, 'i'},
                 {0xD6, 'O'},
                 {0xF5, 'o'},
                 {0xDC, 'U'},
                 {0xF9, 'u'},
                 {0xDD, 'Y'},
                 // Not in the lists: unchanged.
                 {0xD1, 0xD1},
                 {0xFD, 0xFD},
                 {0xFF, 0xFF},
                 {0xC7, 0xC7},
                 {'Z', 'Z'},
                 {0, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.in));
        EXPECT_EQ(FoldAccent(c.in), c.out);
    }
}

} // namespace
