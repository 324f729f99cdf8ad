// Blits: monochrome and colour conversions, stretch modes, DIB sections and DIB drawing.

#include "plat/Resources.h"
#include "platform/GdiCanvas.h"

#include <cstring>
#include <gtest/gtest.h>
#include <vector>

namespace {

using namespace plat;
using kvtest::GdiCanvas;

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);

// A memory DC holding a bitmap, released at scope end.
struct MemDc {
    HDC dc;
    HBITMAP bm;
    HGDIOBJ old;
    explicit MemDc(HBITMAP b)
        : dc(CreateCompatibleDC(nullptr))
        , bm(b)
        , old(SelectObject(dc, b)) {}
    ~MemDc() {
        SelectObject(dc, old);
        DeleteObject(bm);
        DeleteDC(dc);
    }
};

TEST(MonoBitmaps, RowsAreTwoByteAlignedAndReportedSo) {
    for (int width : {1, 9, 16, 17, 33}) {
        SCOPED_TRACE(width);
        const int rowBytes = (width + 15) / 16 * 2;
        std::vector<std::uint8_t> bits(static_cast<std::size_t>(rowBytes) * 3, 0);
        // Row 1 has its last pixel set; row 2 its first.
        const int last = width - 1;
        bits[static_cast<std::size_t>(rowBytes + last / 8)] |=
            static_cast<std::uint8_t>(0x80 >> (last % 8));
        bits[static_cast<std::size_t>(2 * rowBytes)] |= 0x80;
        MemDc m(CreateBitmap(width, 3, 1, 1, bits.data()));
        BITMAP info;
        ASSERT_EQ(GetObject(m.bm, sizeof info, &info), static_cast<int>(sizeof info));
        EXPECT_EQ(info.bmWidthBytes, rowBytes);
        EXPECT_EQ(info.bmBitsPixel, 1);
        EXPECT_EQ(GetPixel(m.dc, last, 1), kWhite);
        EXPECT_EQ(GetPixel(m.dc, 0, 2), kWhite);
        EXPECT_EQ(GetPixel(m.dc, 0, 0), kBlack);
    }
}

TEST(MonoBitmaps, FreshMemoryDcIsMonochromeAndSoIsItsCompatibleBitmap) {
    HDC mem = CreateCompatibleDC(nullptr);
    HBITMAP mono = CreateCompatibleBitmap(mem, 10, 10);
    BITMAP info;
    GetObject(mono, sizeof info, &info);
    EXPECT_EQ(info.bmBitsPixel, 1);
    HDC screen = CreateDC("DISPLAY", nullptr, nullptr, nullptr);
    HBITMAP colour = CreateCompatibleBitmap(screen, 10, 10);
    GetObject(colour, sizeof info, &info);
    EXPECT_EQ(info.bmBitsPixel, 32);
    EXPECT_EQ(info.bmWidthBytes, 40);
    // Drawing a colour into a monochrome bitmap picks black or white by luminance.
    HGDIOBJ old = SelectObject(mem, mono);
    SetPixel(mem, 0, 0, RGB(200, 200, 40));
    SetPixel(mem, 1, 0, RGB(0, 0, 200));
    EXPECT_EQ(GetPixel(mem, 0, 0), kWhite);
    EXPECT_EQ(GetPixel(mem, 1, 0), kBlack);
    SelectObject(mem, old);
    DeleteObject(mono);
    DeleteObject(colour);
    DeleteDC(mem);
    DeleteDC(screen);
}

TEST(Blit, MonoToColourUsesDestinationTextAndBackground) {
    const std::uint8_t bits[4] = {0xA0, 0, 0x50, 0}; // 1010 / 0101
    MemDc m(CreateBitmap(4, 2, 1, 1, bits));
    GdiCanvas c(4, 2);
    SetTextColor(c.dc(), kBlue);
    SetBkColor(c.dc(), kRed);
    ASSERT_TRUE(BitBlt(c.dc(), 0, 0, 4, 2, m.dc, 0, 0, SRCCOPY));
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x) {
            const bool one = (x + y) % 2 == 0;
            EXPECT_EQ(c.at(x, y), one ? kRed : kBlue) << x << "," << y;
        }
}

TEST(Blit, ColourToMonoMakesTheSourceBackgroundWhite) {
    GdiCanvas src(3, 1);
    SetPixel(src.dc(), 0, 0, kRed);
    SetPixel(src.dc(), 1, 0, kBlue);
    SetPixel(src.dc(), 2, 0, RGB(250, 250, 250));
    SetBkColor(src.dc(), kBlue);
    MemDc m(CreateBitmap(3, 1, 1, 1, nullptr));
    ASSERT_TRUE(BitBlt(m.dc, 0, 0, 3, 1, src.dc(), 0, 0, SRCCOPY));
    EXPECT_EQ(GetPixel(m.dc, 0, 0), kBlack);
    EXPECT_EQ(GetPixel(m.dc, 1, 0), kWhite);
    EXPECT_EQ(GetPixel(m.dc, 2, 0), kBlack); // near-white is not the background colour
}

TEST(Blit, TernaryCodesCombineSourceAndDestination) {
    struct Case {
        DWORD rop;
        COLORREF want;
    } cases[] = {{SRCCOPY, RGB(0x0F, 0xF0, 0x33)},    {SRCAND, RGB(0x0C, 0x00, 0x22)},
                 {SRCPAINT, RGB(0x3F, 0xFA, 0xBB)},   {SRCINVERT, RGB(0x33, 0xFA, 0x99)},
                 {NOTSRCCOPY, RGB(0xF0, 0x0F, 0xCC)}, {DSTINVERT, RGB(0xC3, 0xF5, 0x55)}};
    GdiCanvas src(1, 1);
    SetPixel(src.dc(), 0, 0, RGB(0x0F, 0xF0, 0x33));
    for (const auto& k : cases) {
        SCOPED_TRACE(k.rop);
        GdiCanvas d(1, 1);
        SetPixel(d.dc(), 0, 0, RGB(0x3C, 0x0A, 0xAA));
        ASSERT_TRUE(BitBlt(d.dc(), 0, 0, 1, 1, src.dc(), 0, 0, k.rop));
        EXPECT_EQ(d.at(0, 0), k.want);
    }
}

TEST(Blit, OverlappingCopyWithinOneSurfaceReadsTheOriginal) {
    GdiCanvas c(10, 1);
    for (int x = 0; x < 10; ++x)
        SetPixel(c.dc(), x, 0, RGB(static_cast<BYTE>(x * 10), 0, 0));
    ASSERT_TRUE(BitBlt(c.dc(), 2, 0, 8, 1, c.dc(), 0, 0, SRCCOPY));
    for (int x = 2; x < 10; ++x)
        EXPECT_EQ(c.at(x, 0), RGB(static_cast<BYTE>((x - 2) * 10), 0, 0));
}

TEST(StretchBlt, EnlargingRepeatsPixelsInEveryMode) {
    GdiCanvas src(2, 2);
    SetPixel(src.dc(), 0, 0, kRed);
    SetPixel(src.dc(), 1, 1, kBlue);
    for (int mode : {BLACKONWHITE, WHITEONBLACK, COLORONCOLOR, HALFTONE}) {
        SCOPED_TRACE(mode);
        GdiCanvas d(6, 6);
        SetStretchBltMode(d.dc(), mode);
        ASSERT_TRUE(StretchBlt(d.dc(), 0, 0, 6, 6, src.dc(), 0, 0, 2, 2, SRCCOPY));
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < 6; ++x) {
                const COLORREF want = x < 3 && y < 3 ? kRed : x >= 3 && y >= 3 ? kBlue : kWhite;
                EXPECT_EQ(d.at(x, y), want) << x << "," << y;
            }
    }
}

TEST(StretchBlt, ReducingFollowsTheStretchMode) {
    // Four columns: black, white, grey (128), white; reduced to two.
    GdiCanvas src(4, 1);
    SetPixel(src.dc(), 0, 0, kBlack);
    SetPixel(src.dc(), 2, 0, RGB(128, 128, 128));
    struct Case {
        int mode;
        COLORREF left;
        COLORREF right;
    } cases[] = {{BLACKONWHITE, kBlack, RGB(128, 128, 128)},
                 {WHITEONBLACK, kWhite, kWhite},
                 {HALFTONE, RGB(128, 128, 128), RGB(192, 192, 192)}};
    for (const auto& k : cases) {
        SCOPED_TRACE(k.mode);
        GdiCanvas d(2, 1, kRed);
        SetStretchBltMode(d.dc(), k.mode);
        ASSERT_TRUE(StretchBlt(d.dc(), 0, 0, 2, 1, src.dc(), 0, 0, 4, 1, SRCCOPY));
        EXPECT_EQ(d.at(0, 0), k.left);
        EXPECT_EQ(d.at(1, 0), k.right);
    }
    // COLORONCOLOR drops columns: each result is one of its two source pixels.
    GdiCanvas d(2, 1, kRed);
    SetStretchBltMode(d.dc(), COLORONCOLOR);
    StretchBlt(d.dc(), 0, 0, 2, 1, src.dc(), 0, 0, 4, 1, SRCCOPY);
    EXPECT_TRUE(d.at(0, 0) == kBlack || d.at(0, 0) == kWhite);
    EXPECT_TRUE(d.at(1, 0) == RGB(128, 128, 128) || d.at(1, 0) == kWhite);
}

TEST(StretchBlt, NegativeWidthMirrors) {
    GdiCanvas src(3, 1);
    SetPixel(src.dc(), 0, 0, kRed);
    SetPixel(src.dc(), 2, 0, kBlue);
    GdiCanvas d(3, 1);
    // x = 2 with width -3 covers columns 2, 1 and 0, in that order.
    ASSERT_TRUE(StretchBlt(d.dc(), 2, 0, -3, 1, src.dc(), 0, 0, 3, 1, SRCCOPY));
    EXPECT_EQ(d.at(0, 0), kBlue);
    EXPECT_EQ(d.at(2, 0), kRed);
}

BITMAPINFO header(int width, int height, int bpp) {
    BITMAPINFO bi{};
    bi.bmiHeader.biWidth = width;
    bi.bmiHeader.biHeight = height;
    bi.bmiHeader.biBitCount = static_cast<WORD>(bpp);
    return bi;
}

TEST(DibSection, TopDownBgrxSharesBytesWithTheDrawingSurface) {
    BITMAPINFO bi = header(4, -3, 32);
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    ASSERT_NE(dib, nullptr);
    ASSERT_NE(bits, nullptr);
    MemDc m(dib);
    auto* px = static_cast<std::uint8_t*>(bits);
    // Pixel (1, 2) written by the caller as B, G, R, x.
    px[(2 * 4 + 1) * 4 + 0] = 0x30;
    px[(2 * 4 + 1) * 4 + 1] = 0x20;
    px[(2 * 4 + 1) * 4 + 2] = 0x10;
    EXPECT_EQ(GetPixel(m.dc, 1, 2), RGB(0x10, 0x20, 0x30));
    SetPixel(m.dc, 3, 0, RGB(1, 2, 3));
    EXPECT_EQ(px[3 * 4 + 2], 1);
    EXPECT_EQ(px[3 * 4 + 0], 3);
    BITMAP info;
    GetObject(dib, sizeof info, &info);
    EXPECT_EQ(info.bmBits, bits);
    EXPECT_EQ(info.bmWidthBytes, 16);
}

TEST(DibSection, BottomUp24BitKeepsItsOwnBytesInSync) {
    BITMAPINFO bi = header(3, 2, 24);
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    ASSERT_NE(dib, nullptr);
    MemDc m(dib);
    SetPixel(m.dc, 0, 0, RGB(0xAA, 0xBB, 0xCC)); // top row = the last row in memory
    GdiFlush();
    auto* b = static_cast<std::uint8_t*>(bits);
    const int rowBytes = 12; // 9 bytes rounded up to 4
    EXPECT_EQ(b[rowBytes + 0], 0xCC);
    EXPECT_EQ(b[rowBytes + 1], 0xBB);
    EXPECT_EQ(b[rowBytes + 2], 0xAA);
    EXPECT_EQ(b[0], 0);
    // The caller's writes are seen by the next drawing call.
    b[2 * 3 + 2] = 0x77; // bottom row, pixel 2, red
    EXPECT_EQ(GetPixel(m.dc, 2, 1), RGB(0x77, 0, 0));
}

TEST(DibSection, RefusesHeadersItCannotHold) {
    void* bits = reinterpret_cast<void*>(1);
    BITMAPINFO bad = header(0, 5, 32);
    EXPECT_EQ(CreateDIBSection(nullptr, &bad, DIB_RGB_COLORS, &bits, nullptr, 0), nullptr);
    EXPECT_EQ(bits, nullptr);
    bad = header(5, 5, 7);
    EXPECT_EQ(CreateDIBSection(nullptr, &bad, DIB_RGB_COLORS, &bits, nullptr, 0), nullptr);
    bad = header(100000, 100000, 32);
    EXPECT_EQ(CreateDIBSection(nullptr, &bad, DIB_RGB_COLORS, &bits, nullptr, 0), nullptr);
}

TEST(StretchDIBits, BottomUpRowsLandTheRightWayUp) {
    // 2 x 2, 24 bpp, bottom-up: first row in memory is the bottom row.
    struct {
        BITMAPINFOHEADER h;
    } info;
    info.h.biWidth = 2;
    info.h.biHeight = 2;
    info.h.biBitCount = 24;
    const std::uint8_t bits[16] = {0,   0, 255, 0,   0, 255, 0, 0,  // bottom: red, red
                                   255, 0, 0,   255, 0, 0,   0, 0}; // top: blue, blue
    GdiCanvas c(4, 4);
    ASSERT_EQ(StretchDIBits(c.dc(), 0, 0, 4, 4, 0, 0, 2, 2, bits,
                            reinterpret_cast<const BITMAPINFO*>(&info), DIB_RGB_COLORS, SRCCOPY),
              2);
    EXPECT_EQ(c.at(0, 0), kBlue);
    EXPECT_EQ(c.at(3, 1), kBlue);
    EXPECT_EQ(c.at(0, 2), kRed);
    EXPECT_EQ(c.at(3, 3), kRed);
    GdiCanvas d(2, 2);
    ASSERT_EQ(SetDIBitsToDevice(d.dc(), 0, 0, 2, 2, 0, 0, 0, 2, bits,
                                reinterpret_cast<const BITMAPINFO*>(&info), DIB_RGB_COLORS),
              2);
    EXPECT_EQ(d.at(1, 0), kBlue);
    EXPECT_EQ(d.at(1, 1), kRed);
}

TEST(StretchDIBits, OneBitDibUsesItsColourTable) {
    struct {
        BITMAPINFOHEADER h;
        RGBQUAD colors[2];
    } info;
    info.h.biWidth = 8;
    info.h.biHeight = -1;
    info.h.biBitCount = 1;
    info.colors[0] = RGBQUAD{0, 255, 0, 0};   // green
    info.colors[1] = RGBQUAD{255, 0, 255, 0}; // magenta
    const std::uint8_t bits[4] = {0xF0, 0, 0, 0};
    GdiCanvas c(8, 1);
    StretchDIBits(c.dc(), 0, 0, 8, 1, 0, 0, 8, 1, bits, reinterpret_cast<const BITMAPINFO*>(&info),
                  DIB_RGB_COLORS, SRCCOPY);
    EXPECT_EQ(c.at(0, 0), RGB(255, 0, 255));
    EXPECT_EQ(c.at(7, 0), RGB(0, 255, 0));
}

} // namespace

namespace {

using namespace plat;

// A packed 1-bpp DIB as the resource compiler writes it: 8 x 2, bottom-up, black/white table.
std::vector<BYTE> monoDib(BYTE topRow, BYTE bottomRow) {
    std::vector<BYTE> d(40 + 8 + 8, 0);
    BITMAPINFOHEADER h;
    h.biWidth = 8;
    h.biHeight = 2;
    h.biBitCount = 1;
    h.biClrUsed = 2;
    std::memcpy(d.data(), &h, 40);
    d[40 + 4] = d[40 + 5] = d[40 + 6] = 0xFF; // entry 1 white
    d[48] = bottomRow;
    d[52] = topRow;
    return d;
}

TEST(LoadBitmap, MonoResourceGivesAMonochromeBitmapAndCorruptDataIsRefused) {
    const std::vector<BYTE> good = monoDib(0x80, 0x01);
    std::vector<BYTE> shortData = good;
    shortData.resize(good.size() - 1);
    const ResData data[] = {
        {RT_BITMAP_ID, 600, nullptr, good.data(), static_cast<DWORD>(good.size())},
        {RT_BITMAP_ID, 601, nullptr, shortData.data(), static_cast<DWORD>(shortData.size())}};
    const ResourceTables* saved = ModuleResourceTables(nullptr);
    const ResourceTables previous = saved ? *saved : ResourceTables{};
    ResourceTables mine = previous;
    mine.data = data;
    mine.dataCount = 2;
    RegisterBuiltinResources(mine);

    HBITMAP bm = LoadBitmap(nullptr, MAKEINTRESOURCE(600));
    ASSERT_NE(bm, nullptr);
    BITMAP info;
    GetObject(bm, sizeof info, &info);
    EXPECT_EQ(info.bmBitsPixel, 1);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, bm);
    EXPECT_EQ(GetPixel(dc, 0, 0), RGB(255, 255, 255));
    EXPECT_EQ(GetPixel(dc, 1, 0), RGB(0, 0, 0));
    EXPECT_EQ(GetPixel(dc, 7, 1), RGB(255, 255, 255));
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(bm);
    EXPECT_EQ(LoadBitmap(nullptr, MAKEINTRESOURCE(601)), nullptr);
    EXPECT_EQ(LoadBitmap(nullptr, MAKEINTRESOURCE(602)), nullptr);

    RegisterBuiltinResources(previous);
}

TEST(PackedDib, EveryCountIsCheckedAgainstTheSize) {
    const std::vector<BYTE> good = monoDib(0, 0);
    for (std::size_t n = 0; n < good.size(); ++n)
        EXPECT_EQ(core::BitmapFromPackedDib(good.data(), n), nullptr) << n;
    std::vector<BYTE> tooManyColours = good;
    tooManyColours[32] = 3; // biClrUsed above 2
    EXPECT_EQ(core::BitmapFromPackedDib(tooManyColours.data(), tooManyColours.size()), nullptr);
    HBITMAP ok = core::BitmapFromPackedDib(good.data(), good.size());
    EXPECT_NE(ok, nullptr);
    DeleteObject(ok);
}

} // namespace

namespace {

#pragma pack(push, 1)
struct MonoInfo {
    BITMAPINFOHEADER header;
    RGBQUAD colors[2];
};
#pragma pack(pop)

RGBQUAD quad(COLORREF c) {
    RGBQUAD q{};
    q.rgbRed = GetRValue(c);
    q.rgbGreen = GetGValue(c);
    q.rgbBlue = GetBValue(c);
    return q;
}

struct InkCase {
    COLORREF entry0, entry1, drawn;
    int bit; // the bit the nearer table entry stands for
};

} // namespace

TEST(DibSection, MonoSectionStoresTheNearerTableEntry) {
    const COLORREF kDarkBlue = RGB(0, 0, 200), kPink = RGB(255, 200, 200);
    const InkCase cases[] = {
        {kRed, kBlue, kRed, 0},
        {kRed, kBlue, kBlue, 1},
        // Luminance would call dark blue black (0) and pink white (1): the table decides.
        {kRed, kBlue, kDarkBlue, 1},
        {kRed, kBlue, kPink, 0},
        // An inverted table: white is entry 0.
        {kWhite, kBlack, kWhite, 0},
        {kWhite, kBlack, RGB(20, 20, 20), 1},
        {kBlack, kWhite, RGB(200, 200, 200), 1},
        {kBlack, kWhite, RGB(40, 40, 40), 0},
    };
    for (const InkCase& k : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << "table " << k.entry0 << "/" << k.entry1
                                        << " drawn " << k.drawn);
        MonoInfo info{};
        info.header.biWidth = 8;
        info.header.biHeight = -2;
        info.header.biBitCount = 1;
        info.colors[0] = quad(k.entry0);
        info.colors[1] = quad(k.entry1);
        void* bits = nullptr;
        HBITMAP dib = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info),
                                       DIB_RGB_COLORS, &bits, nullptr, 0);
        ASSERT_NE(dib, nullptr);
        MemDc m(dib);
        auto* b = static_cast<std::uint8_t*>(bits);
        // Start from the opposite bit everywhere, so a write that did nothing shows.
        std::memset(b, k.bit ? 0x00 : 0xFF, 8);
        // Row 0 by a brush fill, row 1 by SetPixel: both ways of putting a colour down.
        HBRUSH brush = CreateSolidBrush(k.drawn);
        const RECT r{0, 0, 8, 1};
        FillRect(m.dc, &r, brush);
        DeleteObject(brush);
        SetPixel(m.dc, 3, 1, k.drawn);
        GdiFlush();
        EXPECT_EQ(b[0], k.bit ? 0xFF : 0x00);
        EXPECT_EQ((b[4] >> 4) & 1, k.bit) << "SetPixel";
        // Blitted out, the bit shows the table colour it names.
        GdiCanvas out(8, 2);
        ASSERT_TRUE(BitBlt(out.dc(), 0, 0, 8, 2, m.dc, 0, 0, SRCCOPY));
        EXPECT_EQ(GetPixel(out.dc(), 5, 0), k.bit ? k.entry1 : k.entry0);
    }
}
