// The picture port and pictures: what NewPictPort sets up, the comment record, recording through
// the port's drawing operations and playing the picture back (the same pixels at the screen's
// resolution, the frame filled at any other), and the picture objects made from it.

#include "OverPc/PFONTS.h"
#include "OverPc/PGRAPHIC.h"
#include "OverPc/oPixMap.h"
#include "OverSrcs/Winufo.h"
#include "PortsFixture.h"
#include "core/gdi/GdiInternal.h"
#include "plat/Gdi.h"
#include "plat/Metafile.h"
#include "support/FontPin.h"
#include "support/PixMapPixels.h"

#include <cstring>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace kvtest {
namespace {

using PictPorts = PortsFixture;

void Scene(oGraphPort& port) {
    port.paintZone(Zone{2, 3, 20, 12, 0, 0}, kColorRed);
    port.frameZone(Zone{22, 2, 50, 25, 0, 0}, 2, kColorBlue, kLineSolid, kDrawPaint);
    port.startDeluxeLine(1, kColorBlack, kLineSolid, kDrawPaint);
    port.moveTo(1, 30);
    port.lineTo(55, 38);
    port.endLine();
    const oPoint tri[] = {{30, 28}, {58, 30}, {40, 39}};
    const Color green{0, 150, 0, 255};
    port.paintPolygon(3, tri, &green, kDrawPaint, 1, 0);
    port.paintCircle(Zone{5, 14, 19, 28, 0, 0});
}

struct Comments {
    std::vector<std::string> seen;
};

int CollectComments(plat::HDC, plat::HANDLETABLE*, const plat::ENHMETARECORD* record, int,
                    plat::LPARAM data) {
    if (record->iType == plat::EMR_GDICOMMENT) {
        const auto* bytes = reinterpret_cast<const char*>(record);
        uint32_t size;
        std::memcpy(&size, bytes + 8, 4);
        reinterpret_cast<Comments*>(data)->seen.emplace_back(bytes + 12, size);
    }
    return 1;
}

TEST_F(PictPorts, ResolutionFollowsTheDotsPerInch) {
    const int32_t screen = PictPortDotsPerInch(0);
    EXPECT_EQ(screen, 96);
    struct Case {
        int32_t asked;
        int32_t dpi;
        int32_t resolution;
        int32_t lineUnit;
    };
    const Case cases[] = {
        {0, 96, 21, 1},    {97, 96, 21, 1},    {92, 96, 21, 1}, {91, 91, 20, 1},
        {300, 300, 67, 4}, {600, 600, 133, 8}, {20, 20, 16, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.asked);
        std::unique_ptr<oPictPort> port(NewPictPort(Zone{0, 0, 40, 30, 0, 0}, 7, 0, 5, c.asked));
        ASSERT_NE(port, nullptr);
        EXPECT_EQ(port->dotsPerInch(), c.dpi);
        EXPECT_EQ(port->resolution(), c.resolution);
        EXPECT_EQ(port->lineUnit(), c.lineUnit);
    }
}

// A picture made at the screen's resolution takes the screen's one mean figure, the two axes'
// physical dots per inch averaged and rounded half up.
TEST_F(PictPorts, ScreenDotsPerInchRoundsTheAxesMeanUp) {
    struct Case {
        int32_t dpiX, dpiY, mean;
    };
    const Case cases[] = {{96, 96, 96},    {96, 97, 97},   {97, 96, 97},
                          {120, 121, 121}, {72, 144, 108}, {100, 103, 102}};
    plat::HDC display = plat::CreateDC("DISPLAY", nullptr, nullptr, nullptr);
    const int wide = plat::GetDeviceCaps(display, plat::HORZRES);
    const int high = plat::GetDeviceCaps(display, plat::VERTRES);
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.dpiX << " x " << c.dpiY << " dpi");
        plat::core::SetDeviceCapsOverride(plat::HORZSIZE,
                                          static_cast<int>(wide * 25.4 / c.dpiX + 0.5));
        plat::core::SetDeviceCapsOverride(plat::VERTSIZE,
                                          static_cast<int>(high * 25.4 / c.dpiY + 0.5));
        InitScreenCaps(display);
        ASSERT_EQ(GetScreenCaps().physicalDpiX, c.dpiX);
        ASSERT_EQ(GetScreenCaps().physicalDpiY, c.dpiY);
        EXPECT_EQ(PictPortDotsPerInch(0), c.mean);
        std::unique_ptr<oPictPort> port(NewPictPort(Zone{0, 0, 40, 30, 0, 0}, 7, 0, 5, 0));
        ASSERT_NE(port, nullptr);
        EXPECT_EQ(port->dotsPerInch(), c.mean);
        // Within 4 of the screen's figure is the screen's figure.
        EXPECT_EQ(PictPortDotsPerInch(c.mean + 4), c.mean);
        EXPECT_EQ(PictPortDotsPerInch(c.mean + 5), c.mean + 5);
    }
    plat::core::ClearDeviceCapsOverrides();
    InitScreenCaps(display);
    plat::DeleteDC(display);
}

TEST_F(PictPorts, PortFieldsAndDevice) {
    const Zone zone{10, 20, 70, 60, 3, 4};
    std::unique_ptr<oPictPort> port(NewPictPort(zone, 1234, 99, 8, 0));
    ASSERT_NE(port, nullptr);
    EXPECT_EQ(port->owner(), 1234);
    EXPECT_EQ(port->bounds().left, 10);
    EXPECT_EQ(port->bounds().bottom, 60);
    EXPECT_EQ(port->bounds().ref2, 40 - 8) << "the baseline, 8 above the bottom";
    EXPECT_EQ(port->clip().ref2, 40 - 8);
    EXPECT_EQ(port->width(), 60);
    EXPECT_EQ(port->height(), 40);
    EXPECT_EQ(port->originX(), 0);
    EXPECT_EQ(port->flag(), 0);
    EXPECT_EQ(PortDeviceKind(port.get()), kDeviceEnhMetafile);
    EXPECT_EQ(port->device()->borrowedDc, port->recordingDc());
    EXPECT_EQ(port->clone(), nullptr);
    EXPECT_TRUE(logged("oOutputPort::clone"));
}

TEST_F(PictPorts, PictureStartsWithItsCommentAndKeepsTheOthersInOrder) {
    std::unique_ptr<oPictPort> port(NewPictPort(Zone{0, 0, 50, 20, 0, 0}, 0, 0, 6, 300));
    port->writeComment(5, "hello");
    port->paintZone(Zone{0, 0, 5, 5, 0, 0}, kColorRed);
    port->writeComment(0, nullptr);
    plat::HENHMETAFILE picture = port->closePicture();
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(port->closePicture(), nullptr) << "closed once";
    Comments c;
    plat::EnumEnhMetaFile(nullptr, picture, CollectComments, reinterpret_cast<plat::LPARAM>(&c),
                          nullptr);
    ASSERT_EQ(c.seen.size(), 3u);
    int32_t dpi = 0, descent = 0;
    ASSERT_TRUE(
        ReadPictComment(c.seen[0].data(), static_cast<int32_t>(c.seen[0].size()), dpi, descent));
    EXPECT_EQ(dpi, 300);
    EXPECT_EQ(descent, 6);
    EXPECT_EQ(c.seen[0].substr(0, 4), "DEVQ");
    EXPECT_EQ(c.seen[1], "hello");
    EXPECT_EQ(c.seen[2], "");
    // The frame is the zone in 0.01 mm at 300 dpi.
    plat::ENHMETAHEADER h;
    plat::GetEnhMetaFileHeader(picture, sizeof h, &h);
    EXPECT_EQ(h.rclFrame.right, 50 * 2540 / 300);
    EXPECT_EQ(h.rclFrame.bottom, 20 * 2540 / 300);
    plat::DeleteEnhMetaFile(picture);

    EXPECT_FALSE(ReadPictComment("DEVQ\0\0\0\0\0\0\0", 11, dpi, descent)) << "exactly 12 bytes";
    EXPECT_FALSE(ReadPictComment("DEVX\0\0\0\0\0\0\0\0", 12, dpi, descent));
}

TEST_F(PictPorts, PlayedAtTheScreensResolutionEqualsDirectDrawing) {
    std::unique_ptr<oPixMap> direct = WhitePixMap(60, 40);
    Scene(*direct);

    std::unique_ptr<oPictPort> port(NewPictPort(Zone{0, 0, 60, 40, 0, 0}, 0, 0, 0, 0));
    Scene(*port);
    std::unique_ptr<WinUfo> picture(port->makePicture());
    ASSERT_NE(picture, nullptr);
    int32_t w, h, baseline, resolution, info;
    GetWinUfoMetrics(picture.get(), &w, &h, &baseline, &resolution, &info);
    EXPECT_EQ(w, 60);
    EXPECT_EQ(h, 40);
    EXPECT_EQ(baseline, 40);
    EXPECT_EQ(resolution, 21);

    std::unique_ptr<oPixMap> played = WhitePixMap(60, 40);
    DrawWinUfo(picture.get(), *played, 0, 0);
    int differences = 0;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 60; ++x)
            differences += PixelOf(*played, x, y) != PixelOf(*direct, x, y);
    EXPECT_EQ(differences, 0);

    // A copy is a picture of its own, drawn the same way.
    std::unique_ptr<WinUfo> copy(NewWinUfoCopy(picture.get()));
    ASSERT_NE(copy->enhMetafile(), 0u);
    EXPECT_NE(copy->enhMetafile(), picture->enhMetafile());
    picture.reset();
    std::unique_ptr<oPixMap> again = WhitePixMap(60, 40);
    DrawWinUfo(copy.get(), *again, 0, 0);
    EXPECT_EQ(PixelOf(*again, 10, 5), kRed);
    EXPECT_EQ(PixelOf(*again, 22, 10), kBlue);
}

TEST_F(PictPorts, TextPlaysBackAsDrawn) {
    ASSERT_EQ(PinnedFontProblems(), "");
    NewFontManager(21);
    InitFontTable();
    const int32_t font = FontIndexForFace("Arial", 14, false, false, false);
    const int32_t italic = FontIndexForFace("Times", 16, true, true, false);
    const auto scene = [&](oGraphPort& port) {
        port.drawString("Picture text", font, 3, 18);
        port.drawDeluxeString("x\xB2 + y", italic, 5, 38, &kColorRed, 1);
    };
    std::unique_ptr<oPixMap> direct = WhitePixMap(90, 45);
    scene(*direct);
    std::unique_ptr<oPictPort> port(NewPictPort(Zone{0, 0, 90, 45, 0, 0}, 0, 0, 0, 0));
    scene(*port);
    std::unique_ptr<WinUfo> picture(port->makePicture());
    std::unique_ptr<oPixMap> played = WhitePixMap(90, 45);
    DrawWinUfo(picture.get(), *played, 0, 0);
    int differences = 0, ink = 0;
    for (int y = 0; y < 45; ++y)
        for (int x = 0; x < 90; ++x) {
            differences += PixelOf(*played, x, y) != PixelOf(*direct, x, y);
            ink += PixelOf(*direct, x, y) != kWhite;
        }
    EXPECT_GT(ink, 50) << "text was drawn";
    EXPECT_EQ(differences, 0);
    DeleteFontManager();
}

TEST_F(PictPorts, AnyDotsPerInchFillsTheFrame) {
    for (int32_t dpi : {48, 150, 192, 600}) {
        SCOPED_TRACE(dpi);
        // The whole port painted: played into its frame, the picture fills the frame exactly.
        std::unique_ptr<oPictPort> port(NewPictPort(Zone{0, 0, 120, 80, 0, 0}, 0, 0, 10, dpi));
        port->paintZone(Zone{0, 0, 120, 80, 0, 0}, kColorRed);
        port->paintZone(Zone{0, 0, 60, 40, 0, 0}, kColorBlue);
        std::unique_ptr<WinUfo> picture(port->makePicture());
        ASSERT_NE(picture, nullptr);
        int32_t w, h, baseline, resolution;
        GetWinUfoMetrics(picture.get(), &w, &h, &baseline, &resolution, nullptr);
        EXPECT_EQ(w, 120);
        EXPECT_EQ(h, 80);
        EXPECT_EQ(baseline, 70);
        EXPECT_EQ(resolution, std::max(16, (2 * dpi + 4) / 9));
        // Drawn on a screen port: picture units scale by the two resolutions.
        const int32_t dw = 120 * 21 / resolution, dh = 80 * 21 / resolution;
        std::unique_ptr<oPixMap> screen = WhitePixMap(300, 200);
        DrawWinUfo(picture.get(), *screen, 5, 5);
        int red = 0, blue = 0;
        for (int y = 0; y < 200; ++y)
            for (int x = 0; x < 300; ++x) {
                const plat::COLORREF c = PixelOf(*screen, x, y);
                red += c == kRed;
                blue += c == kBlue;
            }
        // Within a pixel of the frame: the recording's extents are truncated products (zone ×
        // screen dpi / d), and a filled zone reaches one logical unit further before rounding.
        EXPECT_LE(red + blue, (dw + 1) * (dh + 1));
        EXPECT_GE(red + blue, (dw - 1) * (dh - 1));
        EXPECT_NEAR(blue, dw * dh / 4, dw + dh) << "the quarter stays a quarter";
        EXPECT_EQ(PixelOf(*screen, 5, 5), kBlue);
        EXPECT_EQ(PixelOf(*screen, 5 + dw - 2, 5 + dh - 2), kRed);
        EXPECT_EQ(PixelOf(*screen, 5 + dw + 1, 5 + dh - 2), kWhite);
        EXPECT_EQ(PixelOf(*screen, 5 + dw - 2, 5 + dh + 1), kWhite);
        EXPECT_EQ(PixelOf(*screen, 4, 5), kWhite);
    }
}

TEST_F(PictPorts, PictureFromAPixMap) {
    std::unique_ptr<oPixMap> source = WhitePixMap(30, 20);
    source->paintZone(Zone{3, 4, 12, 15, 0, 0}, kColorGreen);
    source->paintZone(Zone{20, 0, 30, 20, 0, 0}, Color{10, 20, 30, 255});
    std::unique_ptr<WinUfo> picture(NewWinUfoFromPixMap(*source, 0));
    ASSERT_NE(picture, nullptr);
    std::unique_ptr<oPixMap> drawn = WhitePixMap(30, 20);
    DrawWinUfo(picture.get(), *drawn, 0, 0);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 30; ++x)
            ASSERT_EQ(PixelOf(*drawn, x, y), PixelOf(*source, x, y)) << x << "," << y;
}

TEST_F(PictPorts, SetEnhMetafileReplacesAndClears) {
    InstallWinUfoPlatform(); // as start-up does
    std::unique_ptr<oPictPort> port(NewPictPort(Zone{0, 0, 10, 10, 0, 0}, 0, 0, 2, 0));
    plat::HENHMETAFILE first = port->closePicture();
    WinUfo picture;
    picture.setEnhMetafile(reinterpret_cast<PictureHandle>(first));
    EXPECT_EQ(picture.m_descent, 2);
    std::unique_ptr<oPictPort> other(NewPictPort(Zone{0, 0, 30, 10, 0, 0}, 0, 0, 0, 0));
    plat::HENHMETAFILE second = other->closePicture();
    picture.setEnhMetafile(reinterpret_cast<PictureHandle>(second));
    EXPECT_EQ(picture.m_width, 30);
    EXPECT_EQ(plat::GetEnhMetaFileBits(first, 0, nullptr), 0u) << "the old one was freed";
    picture.setEnhMetafile(kNoPicture);
    EXPECT_EQ(picture.enhMetafile(), 0u);
    EXPECT_EQ(plat::GetEnhMetaFileBits(second, 0, nullptr), 0u);
    // An empty picture draws nothing.
    std::unique_ptr<oPixMap> screen = WhitePixMap(5, 5);
    DrawWinUfo(&picture, *screen, 0, 0);
    DrawWinUfo(nullptr, *screen, 0, 0);
    EXPECT_EQ(PixelOf(*screen, 2, 2), kWhite);
}

} // namespace
} // namespace kvtest
