#include "OverPc/Portdc.h"

#include "OverPc/PERROR.h"
#include "PortsFixture.h"
#include "plat/Window.h"

#include <cmath>
#include <gtest/gtest.h>
#include <memory>
#include <string>

namespace kvtest {
namespace {

using DeviceContexts = PortsFixture;

// A port whose device record the test chooses.
class KindPort : public oNativePort {
public:
    explicit KindPort(int32_t kind) { m_device->kind = kind; }
    void useMarker(intptr_t marker) { adoptDevice(reinterpret_cast<PortDevice*>(marker)); }
};

// A pane window with two child panes side by side.
struct TwoPaneWindow {
    oPane* root = new oPane;
    oPane* left = new oPane;
    oPane* right = new oPane;
    oWindow* window = nullptr;
    TwoPaneWindow() {
        window = root->openInWindow("two", Zone{10, 10, 210, 110, 0, 0}, kWindowCaption);
        left->placeInParent(root, Zone{0, 0, 50, 50, 0, 0}, oPoint{0, 0});
        right->placeInParent(root, Zone{50, 0, 100, 50, 0, 0}, oPoint{0, 0});
    }
    ~TwoPaneWindow() { delete window; }
    plat::HWND hwnd() const { return reinterpret_cast<plat::HWND>(window->windowHandle()); }
};

TEST_F(DeviceContexts, RecordsAreCountedAndFreedAtZero) {
    PortDevice* d = NewPortDevice(kDeviceMemory);
    EXPECT_EQ(d->kind, kDeviceMemory);
    EXPECT_EQ(PortDeviceRefCount(d), 1);
    PortDevice::addRef(d);
    EXPECT_EQ(PortDeviceRefCount(d), 2);
    PortDevice::release(d);
    EXPECT_EQ(PortDeviceRefCount(d), 1);
    PortDevice::release(d);
    EXPECT_EQ(PortDeviceRefCount(d), 0);
    EXPECT_FALSE(logged("_qvPortRefMap"));

    PortDevice stranger;
    PortDevice::release(&stranger); // not ours: logged, never freed
    PortDevice::addRef(&stranger);
    EXPECT_TRUE(logged("ps != _qvPortRefMap.end()"));
    PortDevice::release(nullptr);
}

TEST_F(DeviceContexts, PanesShareTheirWindowsRecord) {
    TwoPaneWindow w;
    EXPECT_EQ(w.left->device(), w.window->device());
    EXPECT_EQ(w.right->device(), w.window->device());
    // The window's own, the root pane's and the two children's.
    EXPECT_EQ(PortDeviceRefCount(w.window->device()), 4);
    EXPECT_EQ(w.window->device()->window, w.hwnd());
    delete w.right;
    EXPECT_EQ(PortDeviceRefCount(w.window->device()), 3);
}

TEST_F(DeviceContexts, MarkerRecordsDrawOnTheScreen) {
    for (intptr_t marker : {intptr_t{-1}, intptr_t{-111}}) {
        SCOPED_TRACE(marker);
        EXPECT_FALSE(HasDeviceRecord(reinterpret_cast<PortDevice*>(marker)));
        auto port = std::make_unique<KindPort>(kDeviceMemory);
        port->useMarker(marker);
        {
            PortDcHolder holder(port.get());
            EXPECT_EQ(PortDeviceKind(port.get()), kDeviceDisplay);
            EXPECT_NE(holder.hdc(), nullptr);
            EXPECT_EQ(CachedPortDcCount(kDeviceDisplay), 1);
        }
        EXPECT_EQ(CachedPortDcCount(kDeviceDisplay), 0);
        port->unsetPort(); // nothing to release
        port.reset();      // nothing to free
    }
    EXPECT_FALSE(logged("_qvPortRefMap"));
}

TEST_F(DeviceContexts, TwoPanesOfOneWindowShareOneDisplayWrapper) {
    TwoPaneWindow w;
    w.left->setPort();
    EXPECT_EQ(PortDcUseCount(w.left), 1);
    w.right->setPort();
    EXPECT_EQ(CachedPortDcCount(kDeviceDisplay), 1);
    EXPECT_EQ(PortDcUseCount(w.left), 2);
    EXPECT_EQ(AcquirePortDc(w.left, kDeviceOwnKind), AcquirePortDc(w.right, kDeviceOwnKind));
    ReleasePortDc(w.left);
    ReleasePortDc(w.right);
    w.left->unsetPort();
    EXPECT_EQ(PortDcUseCount(w.right), 1);
    w.right->unsetPort();
    EXPECT_EQ(PortDcUseCount(w.right), 0);
    EXPECT_EQ(CachedPortDcCount(kDeviceDisplay), 0);

    // A port of another window gets its own wrapper.
    TwoPaneWindow other;
    w.left->setPort();
    other.left->setPort();
    EXPECT_EQ(CachedPortDcCount(kDeviceDisplay), 2);
    w.left->unsetPort();
    other.left->unsetPort();
}

TEST_F(DeviceContexts, NoDisplayWrapperOutlivesAPaint) {
    TwoPaneWindow w;
    w.window->show();
    plat::testing::runUntilIdle();
    w.left->setPort();
    plat::InvalidateRect(w.hwnd(), nullptr, plat::FALSE);
    plat::HDC paintDc = BeginPortPaint(w.hwnd());
    EXPECT_NE(paintDc, nullptr);
    EXPECT_EQ(CachedPortDcCount(kDeviceDisplay), 0) << "the paint drops cached wrappers";
    {
        PortDcHolder holder(w.right);
        EXPECT_EQ(holder.hdc(), paintDc) << "drawing goes to the paint DC";
    }
    w.right->setPort();
    EndPortPaint(w.hwnd());
    EXPECT_EQ(CachedPortDcCount(kDeviceDisplay), 0);
    EXPECT_EQ(CurrentPaintDc(), nullptr);
    w.right->unsetPort(); // finds no entry and does nothing
    w.left->unsetPort();
    EXPECT_EQ(CachedPortDcCount(kDeviceDisplay), 0);
}

TEST_F(DeviceContexts, ALineSpanningAPaintDrawsNothingThroughTheDroppedWrapper) {
    TwoPaneWindow w;
    w.window->show();
    plat::testing::runUntilIdle();
    w.left->startLine(1);
    w.left->moveTo(0, 0);
    EXPECT_EQ(CachedPortDcCount(kDeviceDisplay), 1);
    BeginPortPaint(w.hwnd());
    EndPortPaint(w.hwnd());
    EXPECT_EQ(CachedPortDcCount(kDeviceDisplay), 0);
    w.left->lineTo(10, 10); // the wrapper is gone: nothing to draw with
    w.left->endLine();
    EXPECT_FALSE(LineDrawingOpen());
    EXPECT_EQ(CachedPortDcCount(kDeviceDisplay), 0);
}

TEST_F(DeviceContexts, PrinterWrapperServesOnlyWhileTheMarkerExists) {
    KindPort a(kDevicePrinter);
    KindPort b(kDevicePrinter);
    EXPECT_FALSE(PrinterMarkerExists());
    EXPECT_EQ(PrinterGetDeviceCaps(plat::LOGPIXELSX), 0) << "no printer: nothing is asked";

    plat::HDC display = plat::CreateDC("DISPLAY", nullptr, nullptr, nullptr);
    VirtualDc* printer = AttachPrinterDc(&a, display);
    EXPECT_TRUE(PrinterMarkerExists());
    EXPECT_EQ(AcquirePortDc(&b, kDeviceOwnKind), printer);
    EXPECT_EQ(PrinterGetDeviceCaps(plat::LOGPIXELSX), plat::ScreenDpi());
    ReleasePortDc(&b);
    ReleasePortDc(&a);
    EXPECT_FALSE(PrinterMarkerExists());
    EXPECT_EQ(CachedPortDcCount(kDevicePrinter), 0);
    plat::DeleteDC(display);
}

TEST_F(DeviceContexts, MemoryWrapperGoesWithItsPort) {
    plat::HBITMAP bitmap = plat::CreateBitmap(4, 4, 1, 32, nullptr);
    {
        KindPort port(kDeviceMemory);
        SetPortDeviceBitmap(port.device(), bitmap);
        EXPECT_EQ(PortDeviceBitmap(port.device()), bitmap);
        port.setPort();
        EXPECT_EQ(CachedPortDcCount(kDeviceMemory), 1);
        EXPECT_EQ(
            plat::GetCurrentObject(AcquirePortDc(&port, kDeviceMemory)->hdc(), plat::OBJ_BITMAP),
            bitmap);
        ReleasePortDc(&port);
    }
    EXPECT_EQ(CachedPortDcCount(kDeviceMemory), 0);
    EXPECT_NE(plat::DeleteObject(bitmap), 0) << "deselected before the DC went";
}

TEST_F(DeviceContexts, AFullListFailsWithTheListLengthMessage) {
    const std::size_t saved = PortDcListLimit;
    PortDcListLimit = 2;
    KindPort a(kDeviceMemory), b(kDeviceMemory), c(kDeviceMemory);
    ASSERT_EQ(CatchFail([&] {
                  AcquirePortDc(&a, kDeviceMemory);
                  AcquirePortDc(&b, kDeviceMemory);
                  // A port already served takes its wrapper again: the list does not grow.
                  AcquirePortDc(&a, kDeviceMemory);
              }),
              0);
    const int16_t code = CatchFail([&] { AcquirePortDc(&c, kDeviceMemory); });
    PortDcListLimit = saved;
    EXPECT_EQ(code, errListTooLong);
    EXPECT_EQ(std::string(BuildErrorText(code))
                  .rfind("Trop de surfaces de dessin sont ouvertes en m\xEAme temps", 0),
              0u);
    EXPECT_EQ(CachedPortDcCount(kDeviceMemory), 2);
    ReleasePortDc(&a);
    ReleasePortDc(&a);
    ReleasePortDc(&b);
    EXPECT_EQ(CachedPortDcCount(kDeviceMemory), 0);
}

TEST_F(DeviceContexts, FailPrintErrorRaisesTheRowsFirstCode) {
    struct Case {
        int result;
        int code;
    };
    const Case cases[] = {{1, 0},    {7, 0},    {-2, 0},  {-1, 442}, {-3, 440},
                          {-4, 445}, {-5, 446}, {0, 442}, {-9, 442}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.result);
        EXPECT_EQ(CatchFail([&] { FailPrintError(c.result); }), c.code);
    }
}

double distanceToCubic(const plat::POINT p[4], double x, double y) {
    double best = 1e9;
    for (int i = 0; i <= 2000; ++i) {
        const double t = i / 2000.0;
        const double u = 1 - t;
        const double bx = u * u * u * p[0].x + 3 * u * u * t * p[1].x + 3 * u * t * t * p[2].x +
                          t * t * t * p[3].x;
        const double by = u * u * u * p[0].y + 3 * u * u * t * p[1].y + 3 * u * t * t * p[2].y +
                          t * t * t * p[3].y;
        best = std::min(best, std::hypot(bx - x, by - y));
    }
    return best;
}

TEST_F(DeviceContexts, FlattenedCurvesFollowTheCurve) {
    const plat::POINT straight[4] = {{0, 0}, {10, 0}, {20, 0}, {30, 0}};
    const auto line = FlattenBezier(straight, 4);
    ASSERT_EQ(line.size(), 2u) << "a straight segment is flat at once";
    EXPECT_EQ(line[1].x, 30);

    const plat::POINT arc[4] = {{0, 0}, {0, 100}, {100, 100}, {100, 0}};
    const auto flat = FlattenBezier(arc, 4);
    EXPECT_GT(flat.size(), 8u);
    EXPECT_EQ(flat.front().x, 0);
    EXPECT_EQ(flat.back().x, 100);
    for (const plat::POINT& q : flat)
        EXPECT_LE(distanceToCubic(arc, q.x, q.y), 1.5);

    // A closed loop (chord of length 0) must not collapse to its start point.
    const plat::POINT loop[4] = {{50, 50}, {150, -50}, {150, 150}, {50, 50}};
    const auto closed = FlattenBezier(loop, 4);
    int maxX = 0;
    for (const plat::POINT& q : closed)
        maxX = std::max<int>(maxX, q.x);
    EXPECT_GT(closed.size(), 4u);
    EXPECT_GT(maxX, 110);
}

TEST_F(DeviceContexts, MetafileWrapperFillsFlattenedCurves) {
    MemoryPort target(60, 60);
    PortDcHolder memory(&target);
    KindPort port(kDeviceMetafile);
    port.device()->borrowedDc = memory.hdc();
    PortDcHolder holder(&port);
    ASSERT_NE(dynamic_cast<MetafileDc*>(holder.dc()), nullptr);
    plat::SelectObject(holder.hdc(), plat::GetStockObject(plat::BLACK_BRUSH));
    plat::SelectObject(holder.hdc(), plat::GetStockObject(plat::NULL_PEN));
    const plat::POINT blob[7] = {{10, 30}, {10, 0},  {50, 0}, {50, 30},
                                 {50, 60}, {10, 60}, {10, 30}};
    holder->fillBezier(blob, 7);
    EXPECT_EQ(plat::GetPixel(memory.hdc(), 30, 30) & 0xFFFFFF, kBlack);
    EXPECT_EQ(plat::GetPixel(memory.hdc(), 5, 30) & 0xFFFFFF, kWhite);
}

TEST_F(DeviceContexts, PaletteWithoutItsResourceIsReported) {
    EXPECT_EQ(CatchFail([] { BuildAppPalette(); }), errColorPaletteLoad);
    EXPECT_EQ(AppPalette(), nullptr);
    SetPaletteHandling(false);
    EXPECT_EQ(RealizeAppPalette(nullptr, 0), 0) << "palette handling off: nothing is built";
    SetPaletteHandling(true);
}

TEST_F(DeviceContexts, ExclusiveOrTextDrawnTwiceLeavesTheImage) {
    MemoryPort port(80, 30);
    port.paintZone(Zone{0, 0, 40, 30, 0, 0}, kColorBlue);
    const auto before = port.snapshot();
    const Color grey{0xC0, 0xC0, 0xC0, 255};
    {
        PortDcHolder holder(&port);
        holder->drawText("Wx", -1, 5, 5, grey, nullptr, kDrawXor);
    }
    EXPECT_NE(port.snapshot(), before);
    {
        PortDcHolder holder(&port);
        holder->drawText("Wx", -1, 5, 5, grey, nullptr, kDrawXor);
        const plat::RECT clip{0, 0, 8, 30};
        holder->drawText("Wx", -1, 5, 5, grey, &clip, kDrawXor);
    }
    const auto clipped = port.snapshot();
    for (int y = 0; y < 30; ++y)
        for (int x = 8; x < 80; ++x)
            ASSERT_EQ(clipped[static_cast<std::size_t>(y * 80 + x)],
                      before[static_cast<std::size_t>(y * 80 + x)])
                << "nothing outside the clip: " << x << "," << y;
}

TEST_F(DeviceContexts, TextExtentsBeyondSixteenBitsKeepTheirWidth) {
    MemoryPort port(80, 30);
    PortDcHolder holder(&port);
    const std::string shortText = "WWWW";
    const std::string longText(20000, 'W');
    const TextExtent one = holder->textExtent(shortText.c_str(), -1);
    const TextExtent all = holder->textExtent(longText.c_str(), -1);
    ASSERT_GT(one.width, 0);
    EXPECT_EQ(all.width, one.width * 5000);
    EXPECT_GT(all.width, 65535);
    EXPECT_EQ(all.height, one.height);
}

int s_lastStartDocResult = 0;
int s_jobCallsMade = 0;
int fakeStartDoc(plat::HDC dc, const char*) {
    ++s_jobCallsMade;
    return dc ? s_lastStartDocResult : 1;
}

TEST_F(DeviceContexts, PrinterJobCallsGoThroughTheCachedPrinterAndFailOnErrors) {
    PrinterJobCalls calls;
    calls.startDoc = &fakeStartDoc;
    SetPrinterJobCalls(calls);
    s_jobCallsMade = 0;
    EXPECT_EQ(PrinterStartDoc("doc"), 0);
    EXPECT_EQ(s_jobCallsMade, 0) << "no printer: the call is not made";
    EXPECT_EQ(PrinterEndPage(), 0) << "no such call installed";

    KindPort port(kDevicePrinter);
    plat::HDC display = plat::CreateDC("DISPLAY", nullptr, nullptr, nullptr);
    AttachPrinterDc(&port, display);
    s_lastStartDocResult = 5;
    EXPECT_EQ(PrinterStartDoc("doc"), 5);
    s_lastStartDocResult = -4;
    EXPECT_EQ(CatchFail([] { PrinterStartDoc("doc"); }), 445);
    EXPECT_EQ(s_jobCallsMade, 2);
    ReleasePortDc(&port);
    plat::DeleteDC(display);
    SetPrinterJobCalls(PrinterJobCalls{});
}

TEST_F(DeviceContexts, BlitsBetweenPorts) {
    MemoryPort source(20, 20);
    MemoryPort dest(20, 20);
    source.paintZone(Zone{2, 3, 6, 5, 0, 0}, kColorRed);
    {
        PortDcHolder holder(&source);
        EXPECT_TRUE(holder->blitToPort(&dest, 10, 10, 8, 8, 0, 0, plat::SRCCOPY));
    }
    EXPECT_EQ(dest.count(kRed), 8);
    EXPECT_EQ(dest.count(kRed, 12, 13, 16, 15), 8);
    {
        PortDcHolder holder(&dest);
        EXPECT_TRUE(holder->stretchFromPort(0, 0, 8, 8, &source, 0, 0, 4, 4, plat::SRCCOPY));
    }
    EXPECT_EQ(dest.count(kRed, 0, 0, 8, 8), 4 * 2) << "source pixels (2..3, 3) doubled";
}

} // namespace
} // namespace kvtest
