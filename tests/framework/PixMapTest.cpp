// Pixel maps: the bitmaps they make per format, drawing into them (the same pixels as on a
// window), the pixel blocks every native port has, the text and hex forms and the registry.

#include "OverPc/PERROR.h"
#include "OverPc/oPixMap.h"
#include "OverSrcs/oWindows.h"
#include "PortsFixture.h"
#include "plat/Gdi.h"
#include "plat/Testing.h"
#include "support/PixMapPixels.h"

#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace kvtest {
namespace {

using PixMaps = PortsFixture;

// A pixel of a pixmap in device coordinates, as 0x00bbggrr.
std::vector<plat::COLORREF> PixelsOf(oPixMap& pixmap) {
    std::vector<plat::COLORREF> all;
    for (int y = 0; y < pixmap.height(); ++y)
        for (int x = 0; x < pixmap.width(); ++x)
            all.push_back(PixelOf(pixmap, x, y));
    return all;
}

// A scene using every kind of shape, drawn in port coordinates relative to (ox, oy).
void DrawScene(oGraphPort& port, int ox, int oy) {
    port.paintZone(Zone{ox, oy, ox + 60, oy + 40, 0, 0}, kColorWhite);
    port.paintZone(Zone{ox + 2, oy + 3, ox + 12, oy + 9, 0, 0}, kColorRed);
    port.frameZone(Zone{ox + 14, oy + 2, ox + 30, oy + 15, 0, 0}, 2, kColorBlue, kLineSolid,
                   kDrawPaint);
    port.startDeluxeLine(1, kColorBlack, kLineSolid, kDrawPaint);
    port.moveTo(ox + 1, oy + 20);
    port.lineTo(ox + 40, oy + 33);
    port.line(10, -12);
    port.endLine();
    const oPoint tri[] = {{ox + 35, oy + 2}, {ox + 55, oy + 10}, {ox + 38, oy + 18}};
    const Color green{0, 160, 0, 255};
    port.paintPolygon(3, tri, &green, kDrawPaint, 1, 0);
    port.paintCircle(Zone{ox + 5, oy + 24, ox + 25, oy + 38, 0, 0});
}

TEST_F(PixMaps, FormatsMakeTheBitmapsTheyName) {
    struct Case {
        PixelFormat asked;
        PixelFormat made;
        int bitsPixel;
        bool hasBits;
    };
    const Case cases[] = {
        {kPixelMonochrome, kPixelMonochrome, 1, false},
        {912, 912, 32, true},
        // Red, green and blue in bytes 0-2 move up one byte into a 32-bit layout.
        {280, PixelFormatShiftUp(280) | kPixelDepth32, 32, true},
        // 24-bit layouts get a plain header (bit fields are invalid at 24 bits).
        {400, 400, 24, true},
        {kPixelScreenCompatible, 912, 32, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.asked);
        std::unique_ptr<oPixMap> pixmap(NewPixMap(Zone{0, 0, 7, 5, 0, 0}, 21, c.asked));
        ASSERT_NE(pixmap, nullptr);
        EXPECT_EQ(pixmap->format(), c.made);
        plat::BITMAP info;
        ASSERT_NE(plat::GetObject(pixmap->bitmap(), sizeof info, &info), 0);
        EXPECT_EQ(info.bmBitsPixel, c.bitsPixel);
        EXPECT_EQ(info.bmWidth, 7);
        EXPECT_EQ(info.bmHeight, 5);
        uint8_t* bits = nullptr;
        int32_t step = 0;
        pixmap->lockBits(&bits, &step);
        EXPECT_EQ(bits != nullptr, c.hasBits);
        EXPECT_EQ(step, ((c.bitsPixel * 7 + 31) / 8) & ~3);
        pixmap->unlockBits(bits, false);
        EXPECT_FALSE(pixmap->hasNoBitmap());
    }
}

TEST_F(PixMaps, ComponentsLandAtTheFormatsBytePositions) {
    // 280 asks red in byte 0, green 1, blue 2; made as red 1, green 2, blue 3 (red mask 0xFF00).
    std::unique_ptr<oPixMap> pixmap(NewPixMap(Zone{0, 0, 2, 1, 0, 0}, 21, 280));
    const Color c{0x11, 0x22, 0x33, 255};
    pixmap->paintZone(Zone{0, 0, 1, 1, 0, 0}, c);
    uint8_t* bits = nullptr;
    int32_t step = 0;
    pixmap->lockBits(&bits, &step);
    ASSERT_NE(bits, nullptr);
    EXPECT_EQ(bits[1], 0x11);
    EXPECT_EQ(bits[2], 0x22);
    EXPECT_EQ(bits[3], 0x33);
    EXPECT_EQ(ReadLockedPixel(bits, step, pixmap->format(), 0, 0), c);
    // Written through the bits, read back through GDI.
    WriteLockedPixel(bits, step, pixmap->format(), 1, 0, Color{0xA0, 0xB0, 0xC0, 255});
    pixmap->unlockBits(bits, true);
    EXPECT_EQ(PixelOf(*pixmap, 1, 0), plat::RGB(0xA0, 0xB0, 0xC0));
    EXPECT_EQ(PixelOf(*pixmap, 0, 0), plat::RGB(0x11, 0x22, 0x33));
}

TEST_F(PixMaps, CopiedBitsGoBackIntoTheDibOnUnlock) {
    std::unique_ptr<oPixMap> pixmap(NewPixMap(Zone{0, 0, 3, 2, 0, 0}, 21, 912));
    uint8_t* bits = nullptr;
    int32_t step = 0;
    pixmap->lockBits(&bits, &step);
    std::vector<uint8_t> copy(bits, bits + step * 2);
    WriteLockedPixel(copy.data(), step, 912, 2, 1, Color{9, 8, 7, 255});
    pixmap->unlockBits(copy.data(), false);
    EXPECT_NE(PixelOf(*pixmap, 2, 1), plat::RGB(9, 8, 7)) << "not changed: nothing copied";
    pixmap->unlockBits(copy.data(), true);
    EXPECT_EQ(PixelOf(*pixmap, 2, 1), plat::RGB(9, 8, 7));
}

TEST_F(PixMaps, PortFieldsFollowTheZone) {
    const Zone zone{10, 20, 50, 35, 0, 0};
    std::unique_ptr<oPixMap> pixmap(NewPixMap(zone, 40, 912));
    EXPECT_EQ(pixmap->bounds(), zone);
    EXPECT_EQ(pixmap->clip(), zone);
    EXPECT_EQ(pixmap->width(), 40);
    EXPECT_EQ(pixmap->height(), 15);
    EXPECT_EQ(pixmap->originX(), -10);
    EXPECT_EQ(pixmap->originY(), -20);
    EXPECT_EQ(pixmap->resolution(), 40);
    EXPECT_EQ(pixmap->lineUnit(), 3);
    EXPECT_EQ(PortDeviceKind(pixmap.get()), kDeviceMemory);
    // Zone coordinates reach the bitmap through the origin.
    pixmap->paintZone(Zone{10, 20, 11, 21, 0, 0}, kColorRed);
    EXPECT_EQ(PixelOf(*pixmap, 0, 0), kRed);
    std::unique_ptr<oPixMap> small(NewPixMap(Zone{0, 0, 4, 4, 0, 0}, 4, 912));
    EXPECT_EQ(small->lineUnit(), 1) << "never below one";
}

TEST_F(PixMaps, FitsInsideIsTheBoundsTest) {
    std::unique_ptr<oPixMap> pixmap(NewPixMap(Zone{5, 5, 25, 15, 0, 0}, 21, 912));
    EXPECT_TRUE(pixmap->fitsInside(5, 5, 20, 10));
    EXPECT_FALSE(pixmap->fitsInside(6, 5, 20, 10));
    EXPECT_FALSE(pixmap->fitsInside(5, 6, 20, 10));
    EXPECT_FALSE(pixmap->fitsInside(4, 5, 2, 2));
    EXPECT_TRUE(pixmap->fitsInside(10, 10, 0, 0));
}

TEST_F(PixMaps, NoBitmapRaisesTheAllocationError) {
    EXPECT_EQ(CatchFail([] {
                  delete NewPixMap(Zone{0, 0, 0, 10, 0, 0}, 21, 912);
              }),
              errAllocTooLarge);
    EXPECT_EQ(LivePixMapCount(), 0) << "nothing registered for a failed pixmap";
    EXPECT_EQ(TryNewScreenPixMap(Zone{0, 0, -3, 10, 0, 0}), nullptr);
    std::unique_ptr<oPixMap> screen(TryNewScreenPixMap(Zone{0, 0, 3, 3, 0, 0}));
    ASSERT_NE(screen, nullptr);
    EXPECT_EQ(screen->resolution(), ScreenResolution());
}

TEST_F(PixMaps, RegistryHoldsTheLivePixMaps) {
    const int32_t before = LivePixMapCount();
    oPixMap* a = NewPixMap(Zone{0, 0, 2, 2, 0, 0}, 21, 912);
    oPixMap* b = NewPixMap(Zone{0, 0, 2, 2, 0, 0}, 21, 0);
    EXPECT_TRUE(IsLivePixMap(a));
    EXPECT_TRUE(IsLivePixMap(b));
    EXPECT_EQ(LivePixMapCount(), before + 2);
    delete a;
    EXPECT_FALSE(IsLivePixMap(a));
    EXPECT_EQ(LivePixMapCount(), before + 1);
    ShutdownPixMaps();
    EXPECT_EQ(LivePixMapCount(), 0);
    delete b; // after the registry was emptied: harmless
    EXPECT_EQ(LivePixMapCount(), 0);
}

TEST_F(PixMaps, DrawingEqualsDrawingOnAWindow) {
    auto* pane = new oPane;
    oWindow* window = pane->openInWindow("pix", Zone{0, 0, 200, 150, 0, 0}, kWindowCaption);
    ASSERT_NE(window, nullptr);
    window->show();
    plat::testing::runUntilIdle();
    const auto hwnd = reinterpret_cast<plat::HWND>(window->windowHandle());
    DrawScene(*window, 7, 9);
    plat::testing::runUntilIdle();
    const auto image = plat::testing::pixels(hwnd);

    // The pixmap's zone starts where the scene does, so its device pixel (0, 0) is (7, 9).
    std::unique_ptr<oPixMap> pixmap(NewPixMap(Zone{7, 9, 67, 49, 0, 0}, 21, 912));
    DrawScene(*pixmap, 7, 9);
    int differences = 0, ink = 0;
    for (int y = 0; y < 40; ++y) {
        for (int x = 0; x < 60; ++x) {
            const uint32_t rgb = image.at(x + 7, y + 9) & 0xFFFFFF;
            const plat::COLORREF expected =
                plat::RGB(static_cast<uint8_t>(rgb >> 16), static_cast<uint8_t>(rgb >> 8),
                          static_cast<uint8_t>(rgb));
            differences += PixelOf(*pixmap, x, y) != expected;
            ink += expected != kWhite;
        }
    }
    EXPECT_EQ(differences, 0);
    EXPECT_GT(ink, 300) << "the scene drew something";
    delete window;
}

TEST_F(PixMaps, SaveAndRestoreABlock) {
    MemoryPort port(40, 30);
    DrawScene(port, 0, 0);
    const std::vector<plat::COLORREF> original = port.snapshot();
    std::unique_ptr<oPixMap> saved(NewPixMap(Zone{0, 0, 20, 12, 0, 0}, 21, 912));
    port.savePix(10, 5, *saved);
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 20; ++x)
            ASSERT_EQ(PixelOf(*saved, x, y), port.pixel(x + 10, y + 5)) << x << "," << y;
    port.paintZone(Zone{0, 0, 40, 30, 0, 0}, kColorYellow);
    port.restorePix(10, 5, *saved);
    EXPECT_EQ(port.count(kYellow), 40 * 30 - 20 * 12);
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 20; ++x)
            ASSERT_EQ(port.pixel(x + 10, y + 5), original[(y + 5) * 40 + x + 10]);
    // Port coordinates go through the origin.
    port.setOrigin(100, 100);
    port.paintZone(Zone{100, 100, 140, 130, 0, 0}, kColorYellow);
    port.restorePix(103, 104, *saved);
    EXPECT_EQ(port.pixel(3 + 19, 4 + 11), original[16 * 40 + 29]);
}

TEST_F(PixMaps, RestoreStretchEnlargesIntoCrispBlocks) {
    // A new DIB section starts black: paint the background first.
    std::unique_ptr<oPixMap> small(NewPixMap(Zone{0, 0, 2, 2, 0, 0}, 21, 912));
    small->paintZone(Zone{0, 0, 2, 2, 0, 0}, kColorWhite);
    small->paintZone(Zone{0, 0, 1, 1, 0, 0}, kColorRed);
    small->paintZone(Zone{1, 1, 2, 2, 0, 0}, kColorBlue);
    const auto check = [](auto pixel, int x0, int y0) {
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < 6; ++x) {
                const bool left = x < 3, top = y < 3;
                const plat::COLORREF want = left && top ? kRed : !left && !top ? kBlue : kWhite;
                ASSERT_EQ(pixel(x0 + x, y0 + y), want) << x << "," << y;
            }
    };
    MemoryPort port(10, 10);
    port.restoreStretch(Zone{2, 3, 8, 9, 0, 0}, *small, 2);
    check([&](int x, int y) { return port.pixel(x, y); }, 2, 3);
    for (int mode : {0, 1, 2, 3}) {
        SCOPED_TRACE(mode);
        std::unique_ptr<oPixMap> big(NewPixMap(Zone{0, 0, 8, 8, 0, 0}, 21, 912));
        big->paintZone(Zone{0, 0, 8, 8, 0, 0}, kColorWhite);
        big->restoreStretch(Zone{1, 1, 7, 7, 0, 0}, *small, mode);
        check([&](int x, int y) { return PixelOf(*big, x, y); }, 1, 1);
        EXPECT_EQ(PixelOf(*big, 0, 0), kWhite);
    }
}

TEST_F(PixMaps, RestoreColorizePaintsInkAndBackground) {
    std::unique_ptr<oPixMap> shape(NewPixMap(Zone{0, 0, 4, 3, 0, 0}, 21, 912));
    shape->paintZone(Zone{0, 0, 4, 3, 0, 0}, kColorWhite);
    shape->paintZone(Zone{1, 1, 3, 2, 0, 0}, Color{30, 60, 90, 255}); // any non-background ink
    MemoryPort port(10, 10);
    port.restoreColorize(5, 4, *shape, kColorRed, kColorBlue);
    EXPECT_EQ(port.count(kRed), 2);
    EXPECT_EQ(port.count(kRed, 6, 5, 8, 6), 2);
    EXPECT_EQ(port.count(kBlue), 12 - 2);
    EXPECT_EQ(port.count(kWhite), 100 - 12);
}

TEST_F(PixMaps, TextFormPacksPairsOfPixels) {
    std::unique_ptr<oPixMap> black(NewPixMap(Zone{0, 0, 6, 2, 0, 0}, 21, 912));
    black->paintZone(Zone{0, 0, 6, 2, 0, 0}, kColorBlack);
    std::string text;
    black->writeText(text);
    // Width 6 counts as 8: pairs 3, 3, 3 make 32 + 3 + 12 + 48; the padding pair alone is 32.
    EXPECT_EQ(text, "_ _ ");
    EXPECT_EQ(PixMapTextLength(6, 2), 4);

    // One dark pixel at each position of a 13-wide row: pair values by position.
    std::unique_ptr<oPixMap> dots(NewPixMap(Zone{0, 0, 13, 1, 0, 0}, 21, 0));
    dots->paintZone(Zone{0, 0, 13, 1, 0, 0}, kColorWhite);
    for (int x : {1, 4, 12})
        dots->paintZone(Zone{x, 0, x + 1, 1, 0, 0}, kColorBlack);
    dots->writeText(text);
    // Pairs: (0,1) right dark = 2; (2,3) 0; (4,5) left dark = 1 → 32 + 2 + 0 + 16.
    // Pairs (6,7) 0, (8,9) 0, (10,11) 0 → 32; pairs (12,13) 1, (14,15) 0 → 33.
    EXPECT_EQ(text, std::string() + char(32 + 2 + 16) + char(32) + char(33));
    EXPECT_EQ(static_cast<int>(text.size()), PixMapTextLength(13, 1));
}

TEST_F(PixMaps, TextFormReadsBackExactly) {
    const Zone zone{0, 0, 11, 7, 0, 0};
    std::unique_ptr<oPixMap> from(NewPixMap(zone, 21, 912));
    from->paintZone(zone, kColorWhite);
    for (int i = 0; i < 11 * 7; i += 3)
        from->paintZone(Zone{i % 11, i / 11, i % 11 + 1, i / 11 + 1, 0, 0}, kColorBlack);
    std::string text;
    from->writeText(text);
    std::unique_ptr<oPixMap> to(NewPixMap(zone, 21, 912));
    ASSERT_TRUE(to->readText(text));
    EXPECT_EQ(PixelsOf(*to), PixelsOf(*from));

    // Wrong length or a character outside the alphabet: refused, the pixmap unchanged.
    const std::vector<plat::COLORREF> kept = PixelsOf(*to);
    EXPECT_FALSE(to->readText(text.substr(1)));
    std::string bad = text;
    bad[3] = '`';
    EXPECT_FALSE(to->readText(bad));
    bad[3] = '\x1f';
    EXPECT_FALSE(to->readText(bad));
    EXPECT_EQ(PixelsOf(*to), kept);
}

TEST_F(PixMaps, HexRowsGiveRedGreenBlue) {
    std::unique_ptr<oPixMap> colour(NewPixMap(Zone{0, 0, 2, 2, 0, 0}, 21, 280));
    colour->paintZone(Zone{0, 0, 2, 2, 0, 0}, kColorWhite);
    colour->paintZone(Zone{0, 0, 1, 1, 0, 0}, Color{0x12, 0x34, 0x56, 255});
    colour->paintZone(Zone{1, 1, 2, 2, 0, 0}, kColorBlack);
    EXPECT_EQ(PixMapHexRows(*colour, false), "123456ffffffffffff000000");
    EXPECT_EQ(PixMapHexRows(*colour, true), "edcba9000000000000ffffff");

    std::unique_ptr<oPixMap> mono(NewPixMap(Zone{0, 0, 10, 1, 0, 0}, 21, 0));
    mono->paintZone(Zone{0, 0, 10, 1, 0, 0}, kColorWhite);
    mono->paintZone(Zone{1, 0, 2, 1, 0, 0}, kColorBlack);
    mono->paintZone(Zone{9, 0, 10, 1, 0, 0}, kColorBlack);
    // 1 = white, leftmost pixel high: 1011 1111, then pixel 8 white, 9 black, padding 0.
    EXPECT_EQ(PixMapHexRows(*mono, false), "bf80");
    EXPECT_EQ(PixMapHexRows(*mono, true), "407f");
}

TEST_F(PixMaps, MakeScreenBitmapReplacesTheBitmap) {
    std::unique_ptr<oPixMap> pixmap(NewPixMap(Zone{0, 0, 5, 4, 0, 0}, 21, 912));
    plat::HBITMAP old = pixmap->bitmap();
    ASSERT_TRUE(pixmap->makeScreenBitmap());
    EXPECT_NE(pixmap->bitmap(), old);
    EXPECT_EQ(plat::GetObjectType(old), 0u) << "the old bitmap is deleted";
    uint8_t* bits = reinterpret_cast<uint8_t*>(1);
    pixmap->lockBits(&bits, nullptr);
    EXPECT_EQ(bits, nullptr);
    pixmap->paintZone(Zone{1, 1, 2, 2, 0, 0}, kColorRed);
    EXPECT_EQ(PixelOf(*pixmap, 1, 1), kRed) << "the new bitmap is drawn on";
}

TEST_F(PixMaps, MissingImagesDrawNothing) {
    MemoryPort port(20, 20);
    port.drawImage(44, Zone{0, 0, 10, 10, 0, 0}, kColorRed, kColorBlue, 0);
    port.drawImage(20000, Zone{0, 0, 10, 10, 0, 0}, kColorRed, kColorBlue, 1);
    port.stretchImage(20001, Zone{0, 0, 10, 10, 0, 0});
    EXPECT_EQ(port.count(kWhite), 400);
    EXPECT_EQ(ImageResourceSize(44).x, 0);
    EXPECT_EQ(ImageResourceSize(20000).y, 0);
}

TEST_F(PixMaps, PixMapsAreNeverCloned) {
    std::unique_ptr<oPixMap> pixmap(NewPixMap(Zone{0, 0, 2, 2, 0, 0}, 21, 912));
    EXPECT_EQ(pixmap->clone(), nullptr);
    EXPECT_TRUE(logged("oPixMap::clone"));
}

TEST_F(PixMaps, PixelsCopyBetweenPixMapsOfOneSizeInEachLayout) {
    // 280 keeps red in byte 1, 912 in byte 2: the copy moves each component to its place.
    std::unique_ptr<oPixMap> source(NewPixMap(Zone{0, 0, 3, 2, 0, 0}, 21, 280));
    std::unique_ptr<oPixMap> target(NewPixMap(Zone{0, 0, 3, 2, 0, 0}, 21, 912));
    source->paintZone(Zone{0, 0, 3, 2, 0, 0}, kColorWhite);
    source->paintZone(Zone{2, 1, 3, 2, 0, 0}, Color{0x11, 0x22, 0x33, 255});
    ASSERT_TRUE(CopyPixMapPixels(*target, *source, &ConvertPixelColors));
    EXPECT_EQ(PixelOf(*target, 2, 1), plat::RGB(0x11, 0x22, 0x33));
    EXPECT_EQ(PixelOf(*target, 0, 0), plat::RGB(0xFF, 0xFF, 0xFF));
    std::unique_ptr<oPixMap> wider(NewPixMap(Zone{0, 0, 4, 2, 0, 0}, 21, 912));
    wider->paintZone(Zone{0, 0, 4, 2, 0, 0}, kColorBlack);
    EXPECT_FALSE(CopyPixMapPixels(*wider, *source, &ConvertPixelColors));
    EXPECT_EQ(PixelOf(*wider, 2, 1), plat::RGB(0, 0, 0)) << "refused: nothing copied";
}

// A pixel is set when it is exactly black, and set to black or white, at its device position,
// whatever colours and origin the port has.
TEST_F(PixMaps, PixelsAreBlackOrWhiteAtTheirDevicePosition) {
    std::unique_ptr<oPixMap> map(NewPixMap(Zone{10, 5, 34, 29, 0, 0}, 21, 912));
    ASSERT_EQ(map->originX(), -10);
    const Color red{0xFF, 0, 0, 255}, green{0, 0xFF, 0, 255};
    map->setColors(&red, &green);
    PortDcHolder holder(map.get());
    const auto paint = [&](int x, int y, plat::COLORREF c) { plat::SetPixel(holder.hdc(), x, y, c); };
    for (int x = 0; x < 24; ++x)
        paint(x, 1, plat::RGB(0xFF, 0xFF, 0xFF));
    map->setPixel(2, 1, true);
    EXPECT_EQ(PixelOf(*map, 2, 1), plat::RGB(0, 0, 0));
    map->setPixel(3, 1, true);
    map->setPixel(3, 1, false);
    EXPECT_EQ(PixelOf(*map, 3, 1), plat::RGB(0xFF, 0xFF, 0xFF));
    struct Case {
        plat::COLORREF pixel;
        bool set;
    };
    const Case cases[] = {{plat::RGB(0, 0, 0), true},      {plat::RGB(0xFF, 0, 0), false},
                          {plat::RGB(0, 0xFF, 0), false},  {plat::RGB(1, 0, 0), false},
                          {plat::RGB(0xFF, 0xFF, 0xFF), false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pixel);
        paint(4, 1, c.pixel);
        EXPECT_EQ(map->isPixelSet(4, 1), c.set);
    }
}

TEST_F(PixMaps, PixelPaintingTogglesThePixelsTheMouseCrossesAndTheirCells) {
    // A 24 x 24 monochrome pixmap shown ten times larger.
    std::unique_ptr<oPixMap> icon(NewPixMap(Zone{0, 0, 24, 24, 0, 0}, 21, kPixelMonochrome));
    icon->paintZone(Zone{0, 0, 24, 24, 0, 0}, kColorWhite);
    icon->setPixel(5, 1, true);
    auto* pane = new oPane;
    oWindow* window = pane->openInWindow("pixels", Zone{0, 0, 241, 241, 0, 0}, kWindowCaption);
    window->show();
    plat::testing::runUntilIdle();
    auto hwnd = reinterpret_cast<plat::HWND>(window->windowHandle());
    pane->paintZone(pane->bounds(), kColorWhite);
    // Pressed on pixel (1, 1), dragged right to pixel (4, 1), released.
    plat::testing::move(hwnd, 15, 15);
    plat::testing::runUntilIdle();
    plat::testing::move(hwnd, 25, 15);
    plat::testing::move(hwnd, 45, 15);
    plat::testing::release(hwnd, 45, 15);
    TrackPixelPainting(*pane, oPoint{15, 15}, *icon);
    for (int x : {1, 2, 4})
        EXPECT_TRUE(icon->isPixelSet(x, 1)) << x;
    EXPECT_FALSE(icon->isPixelSet(3, 1)) << "never crossed";
    EXPECT_TRUE(icon->isPixelSet(5, 1)) << "left as it was";
    const plat::testing::Image shown = plat::testing::pixels(hwnd);
    EXPECT_EQ(shown.at(15, 15) & 0xFFFFFF, 0u) << "cell (1, 1) black";
    EXPECT_EQ(shown.at(45, 15) & 0xFFFFFF, 0u);
    EXPECT_EQ(shown.at(15, 35) & 0xFFFFFF, 0xFFFFFFu);
    delete window;
}

} // namespace
} // namespace kvtest
