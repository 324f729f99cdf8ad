#include "OverSrcs/oRotate.h"

#include "ErrorFixture.h"
#include "OverPc/PERROR.h"
#include "OverPc/PGRAPHIC.h"
#include "OverPc/Portdc.h"
#include "OverPc/oPixMap.h"
#include "support/RecordingPort.h"

#include <gtest/gtest.h>
#include <memory>
#include <set>
#include <string>
#include <vector>

using kvtest::RecordingPort;
using kvtest::ZoneText;

namespace {

constexpr int32_t kTurns[] = {0, 9000, -9000, 18000, -18000};

TEST(RotateAngleSum, WrapsIntoRange) {
    struct Case {
        int32_t a, b, sum;
    } const cases[] = {{9000, 9000, 18000}, {18000, 9000, -9000}, {-9000, -9000, 18000},
                       {0, 0, 0},           {18000, 18000, 0},    {-18000, -9000, 9000},
                       {-17999, 0, -17999}, {-18000, 0, 18000},   {9000, -9000, 0},
                       {17999, 1, 18000},   {17999, 2, -17999},   {1000, 36000, 1000}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.a) + " + " + std::to_string(c.b));
        EXPECT_EQ(RotateAngleSum(c.a, c.b), c.sum);
    }
}

TEST(RotatePoint, QuarterTurnsAndOtherAngles) {
    struct Case {
        int32_t angle, x, y, rx, ry;
    } const cases[] = {{9000, 3, 5, 5, -3},    {-9000, 3, 5, -5, 3}, {18000, 3, 5, -3, -5},
                       {-18000, 3, 5, -3, -5}, {0, 3, 5, 3, 5},      {4500, 3, 5, 3, 5},
                       {27000, 3, 5, 3, 5},    {9001, -7, 2, -7, 2}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.angle);
        const oPoint p = RotatePoint(c.angle, c.x, c.y);
        EXPECT_EQ(p.x, c.rx);
        EXPECT_EQ(p.y, c.ry);
    }
}

TEST(RotateZone, OrdersCornersAndKeepsReferenceLines) {
    EXPECT_EQ(ZoneText(RotateZone(9000, Zone{0, 0, 10, 20, 3, 4})), "0,-10,20,0;3,4");
    EXPECT_EQ(ZoneText(RotateZone(-9000, Zone{0, 0, 10, 20, 3, 4})), "-20,0,0,10;3,4");
    EXPECT_EQ(ZoneText(RotateZone(18000, Zone{1, 2, 10, 20, 0, 0})), "-10,-20,-1,-2;0,0");
    // Turning back restores any zone, and a turn keeps the size (width and height swapped for a
    // quarter turn).
    const Zone z{-5, 7, 31, 12, 1, 2};
    for (int32_t a : kTurns) {
        SCOPED_TRACE(a);
        const Zone r = RotateZone(a, z);
        EXPECT_EQ(RotateZone(-a, r), z);
        const bool quarter = a == 9000 || a == -9000;
        EXPECT_EQ(r.width(), quarter ? z.height() : z.width());
        EXPECT_EQ(r.height(), quarter ? z.width() : z.height());
    }
}

// One drawing through a port, touching every turned operation except text.
void DrawScript(oGraphPort& port) {
    const Color red{255, 0, 0, 255};
    port.startDeluxeLine(2, red, 1, kDrawPaint);
    port.moveTo(10, 20);
    port.lineTo(30, 5);
    port.move(3, 4);
    port.line(-1, 2);
    port.dotAt(7, 8);
    port.endLine();
    port.paintZone(Zone{1, 2, 11, 22, 5, 6}, red);
    port.eraseZone(Zone{-4, 0, 4, 9, 0, 0});
    port.frameZone(Zone{0, 0, 50, 40, 0, 0}, 3, red, 0, kDrawXor);
    const oPoint pts[] = {{0, 0}, {10, 0}, {5, 8}};
    port.paintPolygon(3, pts, &red, 1, 1, 0);
    port.paintCircle(Zone{2, 3, 12, 13, 0, 0});
    port.integralSign(Zone{0, 0, 8, 30, 0, 0}, 10, 2, 1, 2, 0);
    for (int32_t corner = 1; corner <= 4; ++corner) {
        port.paintHorn(Zone{0, 0, 6, 9, 0, 0}, 2, corner, 0);
        port.paintHorn(Zone{0, 0, 6, 9, 0, 0}, 2, corner, 1);
    }
    const Zone clip{5, 5, 60, 70, 0, 0};
    port.clipToZone(&clip);
    port.clipToZone(nullptr);
}

TEST(oRotatePort, AngleZeroPassesEveryCoordinateThrough) {
    RecordingPort direct;
    DrawScript(direct);
    RecordingPort target;
    oRotatePort port(target, 0);
    DrawScript(port);
    EXPECT_EQ(target.text(), direct.text());
}

TEST(oRotatePort, QuarterTurnMapsEachCall) {
    RecordingPort target;
    oRotatePort port(target, 9000);
    const Color red{255, 0, 0, 255};
    port.startDeluxeLine(2, red, 0, kDrawPaint);
    // The pen square (10..12, 20..22) turned covers (20..22, -12..-10).
    port.moveTo(10, 20);
    port.lineTo(30, 5);
    port.move(3, 4);
    port.line(-1, 2);
    port.dotAt(7, 8);
    port.endLine();
    port.paintZone(Zone{1, 2, 11, 22, 5, 6}, red);
    const oPoint pts[] = {{0, 0}, {10, 0}, {5, 8}};
    port.paintPolygon(3, pts, nullptr, 1, 1, 0);
    port.integralSign(Zone{0, 0, 8, 30, 0, 0}, 10, 2, 1, 2, 9000);
    EXPECT_EQ(target.text(), "startDeluxeLine width=2 color=#ff0000ff style=0 mode=1\n"
                             "moveTo 20,-12\n"
                             "lineTo 5,-32\n"
                             "move 4,-3\n"
                             "line 2,1\n"
                             "dotAt 8,-7\n"
                             "endLine\n"
                             "paintZone 2,-11,22,-1;5,6 color=#ff0000ff\n"
                             "paintPolygon n=3 0,0 0,-10 8,-5 fill=none mode=1 outline=1 extra=0\n"
                             "integralSign 0,-8,30,0;0,0 step=10 count=2 flags=1 width=2 "
                             "orientation=18000\n");
    EXPECT_EQ(target.protocolErrors(), 0);
}

TEST(oRotatePort, LinePointsAreTheTurnedPenSquaresCorner) {
    for (int32_t a : kTurns) {
        for (int32_t pen : {1, 3}) {
            SCOPED_TRACE(std::to_string(a) + " pen " + std::to_string(pen));
            RecordingPort target;
            oRotatePort port(target, a);
            port.startDeluxeLine(pen, kColorBlack, 0, kDrawPaint);
            port.moveTo(17, -4);
            port.lineTo(-9, 6);
            port.endLine();
            const Zone a1 = RotateZone(a, Zone{17, -4, 17 + pen, -4 + pen, 0, 0});
            const Zone a2 = RotateZone(a, Zone{-9, 6, -9 + pen, 6 + pen, 0, 0});
            ASSERT_EQ(target.calls().size(), 4u);
            EXPECT_EQ(target.calls()[1],
                      "moveTo " + std::to_string(a1.left) + "," + std::to_string(a1.top));
            EXPECT_EQ(target.calls()[2],
                      "lineTo " + std::to_string(a2.left) + "," + std::to_string(a2.top));
        }
    }
}

// Ports chained turn by the sum of their angles: two quarter turns are a half turn, a turn and
// its opposite are no turn, and four quarter turns come back to the start. This holds for every
// operation, pen corners and horn corners included.
TEST(oRotatePort, ChainedPortsComposeTheirAngles) {
    struct Case {
        std::vector<int32_t> chain;
        int32_t single;
    } const cases[] = {{{9000, 9000}, 18000},        {{-9000, -9000}, 18000},
                       {{9000, -9000}, 0},           {{-9000, 9000}, 0},
                       {{18000, 18000}, 0},          {{9000, 18000}, -9000},
                       {{9000, 9000, 9000, 9000}, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.chain.size() * 100000 + c.single);
        RecordingPort viaChain;
        std::vector<std::unique_ptr<oRotatePort>> ports;
        oGraphPort* top = &viaChain;
        for (int32_t a : c.chain) {
            ports.push_back(NewRotatePort(*top, a));
            top = ports.back().get();
        }
        DrawScript(*top);
        RecordingPort viaOne;
        oRotatePort one(viaOne, c.single);
        DrawScript(one);
        EXPECT_EQ(viaChain.text(), viaOne.text());
    }
}

TEST(oRotatePort, HalfTurnMovesHornCornerOneToThree) {
    RecordingPort target;
    oRotatePort port(target, 18000);
    port.paintHorn(Zone{0, 0, 6, 9, 0, 0}, 2, 1, 0);
    EXPECT_EQ(target.text(), "paintHorn -6,-9,0,0;0,0 width=2 direction=3 vertical=0\n");
}

TEST(oRotatePort, QuarterTurnMovesHornCornersRound) {
    // Before the remap a quarter turn moves corners 1 -> 4 -> 3 -> 2 -> 1; a horizontal horn
    // becomes a vertical one and back.
    struct Case {
        int32_t corner, vertical, angle, wantCorner, wantVertical;
    } const cases[] = {{1, 0, 9000, 4, 1}, {2, 0, 9000, 3, 1}, {3, 0, 9000, 2, 1},
                       {4, 0, 9000, 1, 1}, {4, 1, 9000, 3, 0}, {2, 1, 9000, 1, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.corner * 10 + c.vertical);
        int32_t corner = c.corner;
        int32_t vertical = c.vertical;
        RotateHornCorner(c.angle, corner, vertical);
        EXPECT_EQ(corner, c.wantCorner);
        EXPECT_EQ(vertical, c.wantVertical);
    }
}

TEST(oRotatePort, FieldsComeFromTheTarget) {
    RecordingPort target(21, Zone{0, 0, 400, 300, 0, 0});
    const Color fore{1, 2, 3, 255}, back{4, 5, 6, 255};
    target.setColors(&fore, &back);
    target.clear();
    for (int32_t a : kTurns) {
        SCOPED_TRACE(a);
        auto port = NewRotatePort(target, a);
        EXPECT_EQ(port->resolution(), 21);
        EXPECT_EQ(port->lineUnit(), target.lineUnit());
        EXPECT_EQ(port->foreColor(), fore);
        EXPECT_EQ(port->backColor(), back);
        EXPECT_FALSE(HasDeviceRecord(port->device()));
        EXPECT_EQ(port->clip(), port->bounds());
        EXPECT_EQ(port->width(), port->bounds().width());
        EXPECT_EQ(port->height(), port->bounds().height());
        // Painting the port's bounds fills exactly the target's bounds.
        port->paintZone(port->bounds(), fore);
        ASSERT_FALSE(target.calls().empty());
        EXPECT_EQ(target.calls().back(), "paintZone 0,0,400,300;0,0 color=#010203ff");
    }
}

TEST(oRotatePort, TextIsDrawnTurnedByTheTarget) {
    RecordingPort target;
    oRotatePort port(target, -9000);
    port.drawString("ab", 96, 10, 20);
    port.drawRotatedString("cd", 96, 1, 2, nullptr, 0, -9000);
    port.drawAsianString("\x82\xa0", 96, 3, 4, &kColorRed, 1, 18000);
    EXPECT_EQ(target.text(),
              "drawRotatedString \"ab\" font=96 at=-20,10 color=#000000ff flag=1 angle=-9000\n"
              "drawRotatedString \"cd\" font=96 at=-2,1 color=none flag=0 angle=18000\n"
              "drawAsianString \"\\x82\\xa0\" font=96 at=-4,3 color=#ff0000ff flag=1 "
              "angle=9000\n");
}

TEST(oRotatePort, ImagesAndUnturnableOperationsDrawNothing) {
    RecordingPort target;
    oRotatePort port(target, 9000);
    oPixMap empty; // no bitmap: the refused operations never reach it
    SetLoggedInformation("");
    port.savePix(0, 0, empty);
    port.restorePix(0, 0, empty);
    port.restoreStretch(Zone{0, 0, 4, 4, 0, 0}, empty, 3);
    port.restoreColorize(0, 0, empty, kColorBlack, kColorWhite);
    port.drawImage(8200, Zone{0, 0, 4, 4, 0, 0}, kColorBlack, kColorWhite, 0);
    port.stretchImage(8200, Zone{0, 0, 4, 4, 0, 0});
    port.arct(0, 0, 5, 5, 2);
    EXPECT_TRUE(target.calls().empty()) << target.text();
    const std::string log(LoggedInformation());
    for (const char* name : {"oRotatePort::savePix", "oRotatePort::restorePix",
                             "oRotatePort::restoreStretch", "oRotatePort::restoreColorize",
                             "oRotatePort::drawImage", "oRotatePort::stretchImage", "oGr::arct"}) {
        SCOPED_TRACE(name);
        EXPECT_NE(log.find(name), std::string::npos);
    }
}

TEST(oRotatePort, ColorsAndClipAreKeptAndForwarded) {
    RecordingPort target;
    oRotatePort port(target, 9000);
    const Color fore{9, 8, 7, 255};
    port.setColors(&fore, nullptr);
    EXPECT_EQ(port.foreColor(), fore);
    EXPECT_EQ(port.backColor(), kColorWhite);
    EXPECT_EQ(target.foreColor(), fore);
    const Zone clip{0, 0, 10, 20, 0, 0};
    port.clipToZone(&clip);
    port.clipToZone(nullptr);
    EXPECT_EQ(port.clip(), port.bounds());
    EXPECT_EQ(target.text(), "setColors #090807ff #ffffffff\n"
                             "clipToZone 0,-10,20,0;0,0\n"
                             "clipToZone none\n");
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Turning pixel maps

namespace {

class RotatePixMapTest : public kvtest::ErrorFixture {
protected:
    void SetUp() override {
        ErrorFixture::SetUp();
        InitGraphics();
    }
    void TearDown() override {
        ShutdownGraphics();
        SetPortDeviceHooks(PortDeviceHooks{});
        ErrorFixture::TearDown();
    }
    static Color pixelAt(oPixMap& pixmap, int32_t x, int32_t y) {
        uint8_t* bits = nullptr;
        int32_t step = 0;
        pixmap.lockBits(&bits, &step);
        EXPECT_NE(bits, nullptr);
        const Color c = bits ? ReadLockedPixel(bits, step, pixmap.format(), x, y) : Color{};
        pixmap.unlockBits(bits, false);
        return c;
    }
};

TEST_F(RotatePixMapTest, EveryPixelLandsWhereItsSquareTurns) {
    // 3 × 2 pixels, each its own colour.
    const Zone bounds{0, 0, 3, 2, 0, 0};
    std::unique_ptr<oPixMap> source(NewPixMap(bounds, 16, kPixelScreenCompatible));
    ASSERT_NE(source, nullptr);
    auto colorOf = [](int32_t x, int32_t y) {
        return Color{static_cast<uint8_t>(40 + 60 * x), static_cast<uint8_t>(50 + 100 * y), 7, 255};
    };
    for (int32_t y = 0; y < 2; ++y)
        for (int32_t x = 0; x < 3; ++x)
            source->paintZone(Zone{x, y, x + 1, y + 1, 0, 0}, colorOf(x, y));
    for (int32_t angle : {0, 9000, -9000, 18000, -18000}) {
        SCOPED_TRACE(angle);
        std::unique_ptr<oPixMap> turned(RotatePixMap(*source, angle));
        ASSERT_NE(turned, nullptr);
        const Zone want = RotateZone(angle, bounds);
        EXPECT_EQ(turned->width(), want.width());
        EXPECT_EQ(turned->height(), want.height());
        for (int32_t y = 0; y < 2; ++y)
            for (int32_t x = 0; x < 3; ++x) {
                const Zone square = RotateZone(angle, Zone{x, y, x + 1, y + 1, 0, 0});
                const Color got = pixelAt(*turned, square.left - want.left, square.top - want.top);
                EXPECT_EQ(got, colorOf(x, y)) << x << "," << y;
            }
        // The source is unchanged.
        EXPECT_EQ(pixelAt(*source, 2, 1), colorOf(2, 1));
    }
}

} // namespace

namespace {

using Pixels = std::set<std::pair<int32_t, int32_t>>;

// Maps that are not 32 bits deep are turned pixel by pixel: each black pixel placed by hand in a
// 4 × 2 map whose port origin is not (0, 0) must come back at its turned device position, and
// every other pixel stays white.
TEST_F(RotatePixMapTest, BlackPixelsOfMapsNotThirtyTwoBitsDeepLandWhereTheyTurn) {
    struct Case {
        int32_t angle;
        int32_t width, height;
        Pixels black; // device positions in the turned map
    };
    // Source: black at (0,0), (1,0) and (3,1), device positions.
    const Case cases[] = {
        {0, 4, 2, {{0, 0}, {1, 0}, {3, 1}}},
        {9000, 2, 4, {{0, 3}, {0, 2}, {1, 0}}},
        {-9000, 2, 4, {{1, 0}, {1, 1}, {0, 3}}},
        {18000, 4, 2, {{3, 1}, {2, 1}, {0, 0}}},
    };
    // 1 bit, 8 bits (which pixel maps keep at 32) and 24 bits.
    for (PixelFormat format : {kPixelMonochrome, kPixelDepth8, PixelFormat{400}}) {
        SCOPED_TRACE(::testing::Message() << "format " << format);
        const Zone bounds{10, 20, 14, 22, 0, 0};
        std::unique_ptr<oPixMap> source(NewPixMap(bounds, 16, format));
        ASSERT_NE(source, nullptr);
        source->paintZone(bounds, kColorWhite);
        for (const auto& [x, y] : Pixels{{0, 0}, {1, 0}, {3, 1}})
            source->setPixel(x, y, true);
        ASSERT_TRUE(source->isPixelSet(3, 1));
        ASSERT_FALSE(source->isPixelSet(2, 1));
        for (const Case& c : cases) {
            SCOPED_TRACE(c.angle);
            std::unique_ptr<oPixMap> turned(RotatePixMap(*source, c.angle));
            ASSERT_NE(turned, nullptr);
            EXPECT_EQ(turned->format(), source->format());
            ASSERT_EQ(turned->width(), c.width);
            ASSERT_EQ(turned->height(), c.height);
            Pixels black;
            for (int32_t y = 0; y < c.height; ++y)
                for (int32_t x = 0; x < c.width; ++x)
                    if (turned->isPixelSet(x, y))
                        black.insert({x, y});
            EXPECT_EQ(black, c.black);
        }
        EXPECT_TRUE(source->isPixelSet(0, 0)); // the source is unchanged
    }
}

} // namespace
