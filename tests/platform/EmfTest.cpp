// Enhanced metafiles: drawing recorded and played back at 1:1 gives the pixels of direct drawing,
// comments come back in order, the header describes the recording, and corrupt bytes are refused
// or skipped without reading outside the data.

#include "core/emf/EmfFormat.h"
#include "plat/Font.h"
#include "plat/Gdi.h"
#include "plat/Metafile.h"
#include "platform/GdiCanvas.h"
#include "support/FontPin.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using namespace plat;
using kvtest::GdiCanvas;

constexpr int kW = 120;
constexpr int kH = 90;

using Scene = std::function<void(HDC)>;

// Records a scene, without a frame (the frame follows what was drawn).
HENHMETAFILE Record(const Scene& scene, const RECT* frame = nullptr) {
    HDC rec = CreateEnhMetaFile(nullptr, nullptr, frame, "test\0picture");
    EXPECT_NE(rec, nullptr);
    scene(rec);
    return CloseEnhMetaFile(rec);
}

// The frame of a kW × kH picture at (0, 0) in 0.01 mm of the screen.
RECT ScreenFrame() {
    const int px = GetDeviceCaps(nullptr, HORZRES), mm = GetDeviceCaps(nullptr, HORZSIZE);
    const int py = GetDeviceCaps(nullptr, VERTRES), mmy = GetDeviceCaps(nullptr, VERTSIZE);
    return RECT{0, 0, kW * mm * 100 / px, kH * mmy * 100 / py};
}

std::vector<BYTE> BytesOf(HENHMETAFILE emf) {
    std::vector<BYTE> bytes(GetEnhMetaFileBits(emf, 0, nullptr));
    GetEnhMetaFileBits(emf, static_cast<UINT>(bytes.size()), bytes.data());
    return bytes;
}

HBITMAP ColourBitmap() {
    // 6 × 4 with a distinct colour per pixel.
    HBITMAP bm = CreateBitmap(6, 4, 1, 32, nullptr);
    HDC mem = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(mem, bm);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x)
            SetPixel(mem, x, y, RGB(static_cast<BYTE>(40 * x), static_cast<BYTE>(60 * y), 200));
    SelectObject(mem, old);
    DeleteDC(mem);
    return bm;
}

HBITMAP MonoBitmap() {
    const BYTE rows[] = {0xA5, 0x00, 0x3C, 0x00, 0xF0, 0x00, 0x0F, 0x00}; // 2-byte rows
    return CreateBitmap(8, 4, 1, 1, rows);
}

void Lines(HDC dc) {
    HPEN thin = CreatePen(PS_SOLID, 1, RGB(200, 0, 0));
    HPEN thick = CreatePen(PS_SOLID, 4, RGB(0, 0, 200));
    HPEN dotted = CreatePen(PS_DOT, 1, RGB(0, 120, 0));
    HGDIOBJ old = SelectObject(dc, thin);
    MoveToEx(dc, 3, 4, nullptr);
    LineTo(dc, 100, 30);
    LineTo(dc, 20, 80);
    SelectObject(dc, thick);
    const POINT zig[] = {{10, 10}, {40, 60}, {70, 15}, {110, 70}};
    Polyline(dc, zig, 4);
    SelectObject(dc, dotted);
    SetBkMode(dc, TRANSPARENT);
    MoveToEx(dc, 5, 85, nullptr);
    LineTo(dc, 115, 85);
    SetBkMode(dc, OPAQUE);
    SetBkColor(dc, RGB(255, 255, 0));
    MoveToEx(dc, 5, 88, nullptr);
    LineTo(dc, 115, 88);
    SelectObject(dc, old);
    DeleteObject(thin);
    DeleteObject(thick);
    DeleteObject(dotted);
}

void Rectangles(HDC dc) {
    HBRUSH red = CreateSolidBrush(RGB(220, 30, 30));
    HBRUSH blue = CreateSolidBrush(RGB(30, 30, 220));
    HGDIOBJ oldBrush = SelectObject(dc, red);
    Rectangle(dc, 5, 5, 40, 30);
    SelectObject(dc, GetStockObject(NULL_PEN));
    Rectangle(dc, 45, 5, 80, 30);
    const RECT r{10, 40, 60, 70};
    FillRect(dc, &r, blue);
    const RECT f{65, 40, 110, 80};
    FrameRect(dc, &f, blue);
    const RECT inv{30, 20, 90, 50};
    InvertRect(dc, &inv);
    SelectObject(dc, blue);
    PatBlt(dc, 85, 5, 30, 20, PATINVERT);
    // A rectangle with a pen again: the recorded pen must come back after FillRect.
    SelectObject(dc, GetStockObject(BLACK_PEN));
    Rectangle(dc, 90, 60, 115, 85);
    SelectObject(dc, oldBrush);
    DeleteObject(red);
    DeleteObject(blue);
}

void Ellipses(HDC dc) {
    HBRUSH green = CreateSolidBrush(RGB(0, 160, 60));
    HPEN pen = CreatePen(PS_SOLID, 3, RGB(90, 0, 90));
    HGDIOBJ oldBrush = SelectObject(dc, green);
    HGDIOBJ oldPen = SelectObject(dc, pen);
    Ellipse(dc, 5, 5, 60, 45);
    SelectObject(dc, GetStockObject(BLACK_PEN));
    Ellipse(dc, 65, 10, 110, 80);
    Arc(dc, 10, 50, 60, 88, 60, 50, 10, 88);
    SelectObject(dc, oldBrush);
    SelectObject(dc, oldPen);
    DeleteObject(green);
    DeleteObject(pen);
}

void Polygons(HDC dc) {
    HBRUSH brush = CreateSolidBrush(RGB(250, 150, 0));
    HGDIOBJ old = SelectObject(dc, brush);
    const POINT star[] = {{60, 5}, {75, 80}, {10, 30}, {110, 30}, {45, 80}};
    Polygon(dc, star, 5);
    SetPolyFillMode(dc, WINDING);
    const POINT shifted[] = {{60, 15}, {70, 85}, {20, 40}, {100, 40}, {50, 85}};
    SetROP2(dc, R2_XORPEN);
    Polygon(dc, shifted, 5);
    SetROP2(dc, R2_COPYPEN);
    const POINT curve[] = {{5, 85}, {30, 10}, {90, 10}, {115, 85}};
    PolyBezier(dc, curve, 4);
    SelectObject(dc, old);
    DeleteObject(brush);
}

void Text(HDC dc) {
    LOGFONT lf;
    lf.lfHeight = -16;
    std::strcpy(lf.lfFaceName, "Arial");
    HFONT font = CreateFontIndirect(&lf);
    LOGFONT sym;
    sym.lfHeight = -14;
    sym.lfCharSet = SYMBOL_CHARSET;
    std::strcpy(sym.lfFaceName, "Symbol");
    HFONT symbol = CreateFontIndirect(&sym);
    HGDIOBJ old = SelectObject(dc, font);
    SetTextAlign(dc, TA_BASELINE);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(0, 0, 160));
    TextOut(dc, 4, 20, "Hello, \xE9t\xE9 \x80", 11);
    SetBkMode(dc, OPAQUE);
    SetBkColor(dc, RGB(200, 255, 200));
    const RECT box{4, 28, 100, 48};
    ExtTextOut(dc, 6, 44, ETO_OPAQUE, &box, "Opaque", 6, nullptr);
    SelectObject(dc, symbol);
    SetBkMode(dc, TRANSPARENT);
    TextOut(dc, 4, 75, "abgp\xE5\xF2", 6);
    SelectObject(dc, old);
    DeleteObject(font);
    DeleteObject(symbol);
}

void Blits(HDC dc) {
    HBITMAP colour = ColourBitmap();
    HBITMAP mono = MonoBitmap();
    HDC mem = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(mem, colour);
    BitBlt(dc, 5, 5, 6, 4, mem, 0, 0, SRCCOPY);
    BitBlt(dc, 20, 5, 4, 3, mem, 2, 1, SRCCOPY);
    StretchBlt(dc, 30, 5, 36, 24, mem, 0, 0, 6, 4, SRCCOPY);
    StretchBlt(dc, 70, 5, 30, 30, mem, 1, 1, 3, 2, SRCINVERT);
    SelectObject(mem, mono);
    SetTextColor(dc, RGB(255, 0, 0));
    SetBkColor(dc, RGB(0, 0, 255));
    BitBlt(dc, 5, 40, 8, 4, mem, 0, 0, SRCCOPY);
    StretchBlt(dc, 20, 40, 32, 16, mem, 0, 0, 8, 4, SRCCOPY);
    SelectObject(mem, old);
    DeleteDC(mem);
    DeleteObject(colour);
    DeleteObject(mono);
}

void RegionsAndClip(HDC dc) {
    HRGN a = CreateRectRgn(5, 5, 50, 40);
    HRGN b = CreateRectRgn(30, 20, 80, 60);
    CombineRgn(a, a, b, RGN_OR);
    HBRUSH brush = CreateSolidBrush(RGB(0, 130, 130));
    HGDIOBJ old = SelectObject(dc, brush);
    PaintRgn(dc, a);
    HRGN c = CreateRectRgn(60, 5, 110, 50);
    FillRgn(dc, c, GetStockObject(GRAY_BRUSH));
    FrameRgn(dc, c, GetStockObject(BLACK_BRUSH), 2, 3);
    InvertRgn(dc, b);
    // Clipped drawing.
    HRGN clip = CreateRectRgn(10, 55, 60, 80);
    SelectClipRgn(dc, clip);
    Ellipse(dc, 0, 45, 100, 90);
    SelectClipRgn(dc, nullptr);
    IntersectClipRect(dc, 70, 60, 100, 85);
    Rectangle(dc, 60, 50, 115, 89);
    SelectClipRgn(dc, nullptr);
    SelectObject(dc, old);
    for (HGDIOBJ h : {a, b, c, clip, brush})
        DeleteObject(h);
}

void Mapping(HDC dc) {
    SetMapMode(dc, MM_ANISOTROPIC);
    SetWindowExtEx(dc, 100, 100, nullptr);
    SetViewportExtEx(dc, 50, 75, nullptr);
    SetViewportOrgEx(dc, 5, 5, nullptr);
    HBRUSH brush = CreateSolidBrush(RGB(100, 0, 200));
    HGDIOBJ old = SelectObject(dc, brush);
    Rectangle(dc, 0, 0, 80, 60);
    Ellipse(dc, 100, 0, 200, 100);
    SetMapMode(dc, MM_TEXT);
    SetViewportOrgEx(dc, 0, 0, nullptr);
    SelectObject(dc, old);
    DeleteObject(brush);
}

void Paths(HDC dc) {
    HBRUSH brush = CreateSolidBrush(RGB(100, 0, 200));
    HGDIOBJ old = SelectObject(dc, brush);
    BeginPath(dc);
    MoveToEx(dc, 10, 85, nullptr);
    LineTo(dc, 60, 60);
    LineTo(dc, 110, 85);
    EndPath(dc);
    StrokeAndFillPath(dc);
    SetPixel(dc, 115, 5, RGB(1, 2, 3));
    SelectObject(dc, old);
    DeleteObject(brush);
}

void PatternBrush(HDC dc) {
    const BYTE rows[] = {0xAA, 0, 0x55, 0, 0xAA, 0, 0x55, 0, 0xF0, 0, 0x0F, 0, 0xFF, 0, 0x00, 0};
    HBITMAP pattern = CreateBitmap(8, 8, 1, 1, rows);
    HBRUSH brush = CreatePatternBrush(pattern);
    SetTextColor(dc, RGB(255, 0, 0));
    SetBkColor(dc, RGB(255, 255, 0));
    HGDIOBJ old = SelectObject(dc, brush);
    Rectangle(dc, 5, 5, 100, 80);
    SelectObject(dc, old);
    DeleteObject(brush);
    DeleteObject(pattern);
}

// Pixels that differ between two canvases of one size, with the first one found.
std::string Differences(const GdiCanvas& a, const GdiCanvas& b) {
    int n = 0;
    std::string first;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (a.at(x, y) != b.at(x, y)) {
                if (!n++) {
                    char buf[80];
                    std::snprintf(buf, sizeof buf, " first at (%d, %d): %06x vs %06x", x, y,
                                  a.at(x, y), b.at(x, y));
                    first = buf;
                }
            }
    return n ? std::to_string(n) + " pixels differ;" + first : std::string();
}

struct SceneCase {
    const char* name;
    Scene draw;
};

const std::vector<SceneCase>& Scenes() {
    static const std::vector<SceneCase> scenes = {
        {"lines", Lines},
        {"rectangles", Rectangles},
        {"ellipses", Ellipses},
        {"polygons", Polygons},
        {"text", Text},
        {"blits", Blits},
        {"regions", RegionsAndClip},
        {"mapping", Mapping},
        {"paths", Paths},
        {"pattern brush", PatternBrush},
    };
    return scenes;
}

using Metafiles = kvtest::FontPin;

TEST_F(Metafiles, PlayedAtOneToOneEqualsDirectDrawing) {
    const RECT frame = ScreenFrame();
    for (const SceneCase& s : Scenes()) {
        SCOPED_TRACE(s.name);
        GdiCanvas direct(kW, kH);
        s.draw(direct.dc());
        ASSERT_LT(direct.count(RGB(255, 255, 255)), kW * kH) << "the scene draws";

        HENHMETAFILE emf = Record(s.draw, &frame);
        ASSERT_NE(emf, nullptr);
        GdiCanvas played(kW, kH);
        const RECT dest{0, 0, kW, kH};
        ASSERT_TRUE(PlayEnhMetaFile(played.dc(), emf, &dest));
        EXPECT_EQ(Differences(played, direct), "");

        // Through the bytes: the same picture again.
        const std::vector<BYTE> bytes = BytesOf(emf);
        HENHMETAFILE again = SetEnhMetaFileBits(static_cast<UINT>(bytes.size()), bytes.data());
        ASSERT_NE(again, nullptr);
        GdiCanvas replayed(kW, kH);
        PlayEnhMetaFile(replayed.dc(), again, &dest);
        EXPECT_EQ(Differences(replayed, direct), "");
        DeleteEnhMetaFile(again);
        DeleteEnhMetaFile(emf);
    }
}

TEST_F(Metafiles, PlayingMovesTheFrameOntoTheRectangleAndKeepsTheDcState) {
    const RECT frame = ScreenFrame();
    HENHMETAFILE emf = Record(Ellipses, &frame);
    GdiCanvas direct(kW + 30, kH + 20);
    SetViewportOrgEx(direct.dc(), 30, 20, nullptr);
    Ellipses(direct.dc());
    SetViewportOrgEx(direct.dc(), 0, 0, nullptr);

    GdiCanvas played(kW + 30, kH + 20);
    HPEN pen = CreatePen(PS_SOLID, 1, RGB(1, 1, 1));
    SelectObject(played.dc(), pen);
    SetTextColor(played.dc(), RGB(9, 9, 9));
    const RECT dest{30, 20, 30 + kW, 20 + kH};
    ASSERT_TRUE(PlayEnhMetaFile(played.dc(), emf, &dest));
    EXPECT_EQ(Differences(played, direct), "");
    EXPECT_EQ(GetCurrentObject(played.dc(), OBJ_PEN), pen);
    EXPECT_EQ(GetTextColor(played.dc()), RGB(9, 9, 9));
    EXPECT_EQ(GetMapMode(played.dc()), MM_TEXT);
    SelectObject(played.dc(), GetStockObject(BLACK_PEN));
    DeleteObject(pen);

    // Twice the size: the picture fills the rectangle.
    GdiCanvas big(2 * kW, 2 * kH);
    const RECT twice{0, 0, 2 * kW, 2 * kH};
    PlayEnhMetaFile(big.dc(), emf, &twice);
    const RECT green = big.bounds(RGB(0, 160, 60));
    const RECT small = direct.bounds(RGB(0, 160, 60));
    EXPECT_NEAR(green.left, 2 * (small.left - 30), 3);
    EXPECT_NEAR(green.right, 2 * (small.right - 30), 3);
    EXPECT_NEAR(green.bottom, 2 * (small.bottom - 20), 3);
    DeleteEnhMetaFile(emf);
}

TEST_F(Metafiles, HeaderDescribesTheRecording) {
    const RECT frame{0, 0, 5000, 2500};
    HENHMETAFILE emf = Record(
        [](HDC dc) {
            Rectangle(dc, 10, 20, 30, 40);
            EXPECT_EQ(GetDeviceCaps(dc, HORZRES), GetDeviceCaps(nullptr, HORZRES));
            EXPECT_EQ(GetPixel(dc, 10, 20), CLR_INVALID) << "nothing to read on a recording";
        },
        &frame);
    ENHMETAHEADER h;
    ASSERT_EQ(GetEnhMetaFileHeader(emf, sizeof h, &h), sizeof h);
    EXPECT_EQ(h.iType, EMR_HEADER);
    EXPECT_EQ(h.dSignature, ENHMETA_SIGNATURE);
    EXPECT_EQ(h.rclFrame.right, 5000);
    EXPECT_EQ(h.rclFrame.bottom, 2500);
    EXPECT_EQ(h.nBytes, GetEnhMetaFileBits(emf, 0, nullptr));
    EXPECT_EQ(h.szlDevice.cx, GetDeviceCaps(nullptr, HORZRES));
    EXPECT_EQ(h.szlMillimeters.cx, GetDeviceCaps(nullptr, HORZSIZE));
    // The rectangle's box with its 1-pixel pen, inclusive.
    EXPECT_LE(h.rclBounds.left, 10);
    EXPECT_GE(h.rclBounds.right, 29);
    EXPECT_LE(h.rclBounds.top, 20);
    EXPECT_GE(h.rclBounds.bottom, 39);
    EXPECT_LE(h.rclBounds.right, 32);
    // Header, rectangle, end: the description sits after the header.
    const std::vector<BYTE> bytes = BytesOf(emf);
    const auto spans = core::emf::WalkRecords(bytes.data(), bytes.size());
    EXPECT_EQ(h.nRecords, spans.size());
    ASSERT_GE(spans.size(), 3u);
    EXPECT_EQ(spans[1].type, core::emf::kRectangle);
    EXPECT_EQ(spans.back().type, EMR_EOF);
    EXPECT_EQ(h.nDescription, 5u) << "\"test\" and its terminating zero";
    EXPECT_EQ(bytes[h.offDescription], 't');
    DeleteEnhMetaFile(emf);

    HENHMETAFILE empty = Record([](HDC) {});
    ASSERT_TRUE(GetEnhMetaFileHeader(empty, sizeof h, &h));
    EXPECT_EQ(h.rclBounds.right, -1) << "nothing drawn";
    DeleteEnhMetaFile(empty);
}

TEST_F(Metafiles, OnlyTheStateAtEachDrawingIsRecorded) {
    HENHMETAFILE emf = Record([](HDC dc) {
        SetTextColor(dc, RGB(1, 2, 3));
        SetROP2(dc, R2_XORPEN);
        SetROP2(dc, R2_COPYPEN);
        HPEN pen = CreatePen(PS_SOLID, 2, RGB(5, 5, 5));
        HGDIOBJ old = SelectObject(dc, pen);
        LineTo(dc, 10, 10);
        LineTo(dc, 20, 10);
        SelectObject(dc, old);
        DeleteObject(pen);
        EXPECT_EQ(GetTextColor(dc), RGB(1, 2, 3)) << "the DC's state is kept as usual";
    });
    const std::vector<BYTE> bytes = BytesOf(emf);
    std::vector<std::uint32_t> types;
    for (const auto& s : core::emf::WalkRecords(bytes.data(), bytes.size()))
        types.push_back(s.type);
    using namespace core::emf;
    // The raster operation set and set back leaves nothing; the text colour is part of the
    // state at the first line.
    const std::vector<std::uint32_t> expected = {kHeader, kSetTextColor, kCreatePen, kSelectObject,
                                                 kLineTo, kLineTo,       kEof};
    EXPECT_EQ(types, expected);
    DeleteEnhMetaFile(emf);
}

struct Comments {
    std::vector<std::string> seen;
    std::vector<std::uint32_t> types;
};

int CollectComments(HDC, HANDLETABLE*, const ENHMETARECORD* record, int, LPARAM data) {
    auto* c = reinterpret_cast<Comments*>(data);
    c->types.push_back(record->iType);
    if (record->iType == EMR_GDICOMMENT) {
        const auto* bytes = reinterpret_cast<const BYTE*>(record);
        std::uint32_t size;
        std::memcpy(&size, bytes + 8, 4);
        EXPECT_LE(12 + size, record->nSize);
        c->seen.emplace_back(reinterpret_cast<const char*>(bytes + 12), size);
    }
    return 1;
}

TEST_F(Metafiles, CommentsComeBackInOrder) {
    const std::vector<std::string> comments = {std::string("DEVQ\x60\0\0\0\x05\0\0\0", 12), "odd",
                                               "", std::string(70000, 'x')};
    HENHMETAFILE emf = Record([&](HDC dc) {
        for (size_t i = 0; i < comments.size(); ++i) {
            EXPECT_TRUE(GdiComment(dc, static_cast<UINT>(comments[i].size()),
                                   reinterpret_cast<const BYTE*>(comments[i].data())));
            if (i == 1)
                Rectangle(dc, 1, 1, 5, 5);
        }
    });
    Comments c;
    EXPECT_TRUE(
        EnumEnhMetaFile(nullptr, emf, CollectComments, reinterpret_cast<LPARAM>(&c), nullptr));
    EXPECT_EQ(c.seen, comments);
    ASSERT_GE(c.types.size(), 2u);
    EXPECT_EQ(c.types.front(), EMR_HEADER);
    EXPECT_EQ(c.types.back(), EMR_EOF);
    // Enumerating onto a DC plays the picture as well.
    GdiCanvas canvas(10, 10);
    Comments onDc;
    const RECT dest{0, 0, 10, 10};
    EnumEnhMetaFile(canvas.dc(), emf, CollectComments, reinterpret_cast<LPARAM>(&onDc), &dest);
    EXPECT_EQ(onDc.seen, comments);
    EXPECT_FALSE(GdiComment(canvas.dc(), 3, reinterpret_cast<const BYTE*>("abc")))
        << "not a recording DC";
    DeleteEnhMetaFile(emf);
}

TEST_F(Metafiles, FilesAndCopies) {
    const std::string path = std::string(::testing::TempDir()) + "/kv_emf_" +
                             std::to_string(static_cast<long>(getpid())) + ".emf";
    HDC rec = CreateEnhMetaFile(nullptr, path.c_str(), nullptr, nullptr);
    Rectangles(rec);
    HENHMETAFILE emf = CloseEnhMetaFile(rec);
    ASSERT_NE(emf, nullptr);
    HENHMETAFILE read = GetEnhMetaFile(path.c_str());
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(BytesOf(read), BytesOf(emf));
    const std::string copyPath = path + ".copy.emf";
    HENHMETAFILE copy = CopyEnhMetaFile(emf, copyPath.c_str());
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(BytesOf(copy), BytesOf(emf));
    EXPECT_TRUE(DeleteEnhMetaFile(emf));
    EXPECT_FALSE(DeleteEnhMetaFile(emf)) << "already deleted";
    EXPECT_EQ(GetEnhMetaFileBits(emf, 0, nullptr), 0u);
    // A file that cannot be written: no metafile, nothing left behind.
    HDC bad = CreateEnhMetaFile(nullptr, "/nonexistent-dir/x.emf", nullptr, nullptr);
    Rectangle(bad, 0, 0, 3, 3);
    EXPECT_EQ(CloseEnhMetaFile(bad), nullptr);

    // A converter, when installed, reads our files.
    if (std::system("command -v emf2svg-conv >/dev/null 2>&1") == 0) {
        for (const SceneCase& s : Scenes()) {
            SCOPED_TRACE(s.name);
            const std::string scenePath = path + ".scene.emf";
            HDC r = CreateEnhMetaFile(nullptr, scenePath.c_str(), nullptr, nullptr);
            s.draw(r);
            DeleteEnhMetaFile(CloseEnhMetaFile(r));
            const std::string svg = scenePath + ".svg";
            EXPECT_EQ(
                std::system(("emf2svg-conv -i '" + scenePath + "' -o '" + svg + "' >/dev/null 2>&1")
                                .c_str()),
                0);
            std::remove(svg.c_str());
            std::remove(scenePath.c_str());
        }
    }
    DeleteEnhMetaFile(read);
    DeleteEnhMetaFile(copy);
    std::remove(path.c_str());
    std::remove(copyPath.c_str());
}

// --- Corrupt bytes -------------------------------------------------------------------------------

std::vector<BYTE> Sample() {
    HENHMETAFILE emf = Record([](HDC dc) {
        Rectangles(dc);
        Text(dc);
        Blits(dc);
        RegionsAndClip(dc);
        PatternBrush(dc);
        const BYTE note[] = {1, 2, 3, 4, 5};
        GdiComment(dc, 5, note);
    });
    std::vector<BYTE> bytes = BytesOf(emf);
    DeleteEnhMetaFile(emf);
    return bytes;
}

void Put32(std::vector<BYTE>& b, size_t at, std::uint32_t v) {
    std::memcpy(&b[at], &v, 4);
}

// Plays bytes (when accepted) onto a canvas; under the sanitizers a read outside the data fails.
bool PlayBytes(const std::vector<BYTE>& bytes, GdiCanvas& canvas) {
    HENHMETAFILE emf = SetEnhMetaFileBits(static_cast<UINT>(bytes.size()), bytes.data());
    if (!emf)
        return false;
    const RECT dest{0, 0, canvas.width(), canvas.height()};
    PlayEnhMetaFile(canvas.dc(), emf, &dest);
    int records = 0;
    EnumEnhMetaFile(
        nullptr, emf,
        [](HDC, HANDLETABLE*, const ENHMETARECORD* record, int, LPARAM data) {
            // Only what the enumeration promises: type and size of a record inside the data.
            *reinterpret_cast<int*>(data) += record->nSize >= 8;
            return 1;
        },
        reinterpret_cast<LPARAM>(&records), nullptr);
    EXPECT_GE(records, 1);
    DeleteEnhMetaFile(emf);
    return true;
}

TEST_F(Metafiles, BadHeadersAreRefused) {
    const std::vector<BYTE> good = Sample();
    struct Case {
        const char* what;
        std::function<void(std::vector<BYTE>&)> spoil;
    };
    const Case cases[] = {
        {"empty", [](auto& b) { b.clear(); }},
        {"shorter than a header", [](auto& b) { b.resize(60); }},
        {"truncated", [](auto& b) { b.resize(b.size() / 2); }},
        {"no signature", [](auto& b) { b[40] = 'X'; }},
        {"not a header first", [](auto& b) { Put32(b, 0, 3); }},
        {"header size past the data", [](auto& b) { Put32(b, 4, 0x7FFFFFF0); }},
        {"header size not a multiple of 4", [](auto& b) { Put32(b, 4, 110); }},
        {"byte count past the data",
         [](auto& b) { Put32(b, 48, static_cast<uint32_t>(b.size() + 4)); }},
        {"description outside the header", [](auto& b) { Put32(b, 60, 0x40000000); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<BYTE> bytes = good;
        c.spoil(bytes);
        EXPECT_EQ(SetEnhMetaFileBits(static_cast<UINT>(bytes.size()), bytes.data()), nullptr);
    }
    EXPECT_EQ(SetEnhMetaFileBits(100, nullptr), nullptr);
}

// A metafile of: header, a red rectangle, one spoilt record, a blue rectangle, end.
std::vector<BYTE> AroundABadRecord(const std::vector<BYTE>& record) {
    HENHMETAFILE emf = Record([](HDC dc) {
        HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
        HBRUSH blue = CreateSolidBrush(RGB(0, 0, 255));
        SelectObject(dc, GetStockObject(NULL_PEN));
        SelectObject(dc, red);
        Rectangle(dc, 0, 0, 11, 11);
        GdiComment(dc, 4, reinterpret_cast<const BYTE*>("MARK"));
        SelectObject(dc, blue);
        Rectangle(dc, 20, 0, 31, 11);
        SelectObject(dc, GetStockObject(WHITE_BRUSH));
        DeleteObject(red);
        DeleteObject(blue);
    });
    std::vector<BYTE> bytes = BytesOf(emf);
    DeleteEnhMetaFile(emf);
    // Replace the comment (the marker) by the record.
    std::uint32_t headerSize;
    std::memcpy(&headerSize, &bytes[4], 4);
    for (size_t at = headerSize; at + 16 <= bytes.size(); at += 4) {
        std::uint32_t type, size;
        std::memcpy(&type, &bytes[at], 4);
        std::memcpy(&size, &bytes[at + 4], 4);
        if (type == EMR_GDICOMMENT && std::memcmp(&bytes[at + 12], "MARK", 4) == 0) {
            bytes.erase(bytes.begin() + static_cast<long>(at),
                        bytes.begin() + static_cast<long>(at + size));
            bytes.insert(bytes.begin() + static_cast<long>(at), record.begin(), record.end());
            Put32(bytes, 48, static_cast<std::uint32_t>(bytes.size()));
            break;
        }
        at += size - 4;
    }
    return bytes;
}

std::vector<BYTE> RecordOf(std::uint32_t type, std::vector<std::uint32_t> words) {
    std::vector<BYTE> r(8 + 4 * words.size());
    Put32(r, 0, type);
    Put32(r, 4, static_cast<std::uint32_t>(r.size()));
    for (size_t i = 0; i < words.size(); ++i)
        Put32(r, 8 + 4 * i, words[i]);
    return r;
}

TEST_F(Metafiles, BadRecordsAreSkippedAndTheRestDraws) {
    using namespace core::emf;
    std::vector<std::uint32_t> text(17, 0);
    text[9] = 0x7FFFFFFF; // characters
    text[10] = 76;
    std::vector<std::uint32_t> blit(23, 0);
    blit[6] = 1; // width, height
    blit[7] = 1;
    blit[8] = SRCCOPY;
    blit[19] = 100; // bitmap info offset and size past the record
    blit[20] = 40;
    // A string under a mapping that makes its characters a thousand pixels high and a pixel a
    // million logical units wide: its advances, measured on the recording, run past the int
    // range.
    std::vector<BYTE> farText = RecordOf(kSaveDc, {});
    std::vector<std::uint32_t> wide(17 + 300, 0x00410041); // 600 characters "A"
    std::fill(wide.begin(), wide.begin() + 17, 0);
    wide[7] = 10; // y
    wide[9] = 600;
    wide[10] = 76;
    for (const std::vector<BYTE>& r :
         {RecordOf(kSetBkMode, {TRANSPARENT}), RecordOf(kSetMapMode, {MM_ANISOTROPIC}),
          RecordOf(kSetWindowExtEx, {1000000, 1}), RecordOf(kSetViewportExtEx, {1, 1000}),
          RecordOf(kExtTextOutW, wide), RecordOf(kRestoreDc, {static_cast<std::uint32_t>(-1)})})
        farText.insert(farText.end(), r.begin(), r.end());
    // An empty region painted where the mapping puts the origin billions of pixels away.
    std::vector<BYTE> farRegion = RecordOf(kSaveDc, {});
    for (const std::vector<BYTE>& r :
         {RecordOf(kSetMapMode, {MM_ANISOTROPIC}), RecordOf(kSetWindowExtEx, {1, 1}),
          RecordOf(kSetViewportExtEx, {1000000, 1000000}), RecordOf(kSetWindowOrgEx, {5000, 5000}),
          RecordOf(kPaintRgn, {0, 0, 0, 0, 32, 32, 1, 0, 0, 0, 0, 0, 0}),
          RecordOf(kRestoreDc, {static_cast<std::uint32_t>(-1)})})
        farRegion.insert(farRegion.end(), r.begin(), r.end());
    struct Case {
        const char* what;
        std::vector<BYTE> record;
    };
    const Case cases[] = {
        {"huge polygon count", RecordOf(kPolygon16, {0, 0, 10, 10, 0x40000000, 0, 0})},
        {"polyline count one short", RecordOf(kPolyline, {0, 0, 1, 1, 3, 0, 0, 5, 5})},
        {"polypolygon counts disagree", RecordOf(kPolyPolygon16, {0, 0, 9, 9, 2, 3, 1, 1, 0, 0})},
        {"select beyond the table", RecordOf(kSelectObject, {5000})},
        {"unknown stock object", RecordOf(kSelectObject, {0x80000063})},
        {"pen beyond the table", RecordOf(kCreatePen, {5000, 0, 3, 0, 0})},
        {"pen at the metafile's own index", RecordOf(kCreatePen, {0, 0, 3, 0, 0})},
        {"delete beyond the table", RecordOf(kDeleteObject, {0xFFFFFFFF})},
        {"short pen record", RecordOf(kCreatePen, {1})},
        {"text count beyond the record", RecordOf(kExtTextOutW, text)},
        {"bitmap outside the record", RecordOf(kBitBlt, blit)},
        {"region count beyond the data",
         RecordOf(kPaintRgn, {0, 0, 5, 5, 48, 32, 1, 0x10000000, 16, 0, 0, 5, 5})},
        {"clip region of the wrong kind",
         RecordOf(kExtSelectClipRgn, {48, RGN_COPY, 32, 7, 1, 16, 0, 0, 1, 1, 0, 0, 1, 1})},
        {"font record cut short", RecordOf(kExtCreateFontIndirectW, {1, 20})},
        {"restore beyond the saved levels", RecordOf(kRestoreDc, {static_cast<std::uint32_t>(-3)})},
        {"zero window extent", RecordOf(kSetWindowExtEx, {0, 0})},
        {"an unknown record", RecordOf(250, {1, 2, 3})},
        {"text advances past the int range", farText},
        {"an empty region far from the origin", farRegion},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        GdiCanvas canvas(40, 12);
        const std::vector<BYTE> bytes = AroundABadRecord(c.record);
        ASSERT_TRUE(PlayBytes(bytes, canvas));
        EXPECT_EQ(canvas.at(5, 5), RGB(255, 0, 0));
        EXPECT_EQ(canvas.at(25, 5), RGB(0, 0, 255)) << "the record after it still draws";
        // Played into a recording (a picture in a copied formula), at most what its records
        // say playing them can add, besides the recording's own header and end.
        HENHMETAFILE emf = SetEnhMetaFileBits(static_cast<UINT>(bytes.size()), bytes.data());
        HDC recording = CreateEnhMetaFile(nullptr, nullptr, nullptr, nullptr);
        const RECT place{0, 0, 80, 24};
        PlayEnhMetaFile(recording, emf, &place);
        HENHMETAFILE played = CloseEnhMetaFile(recording);
        EXPECT_LE(GetEnhMetaFileBits(played, 0, nullptr), EnhMetaFilePlayedBytesBound(emf) + 128);
        DeleteEnhMetaFile(played);
        DeleteEnhMetaFile(emf);
    }
    // A record whose size is wrong ends the walk: what came before still draws.
    for (std::uint32_t size : {0u, 4u, 10u, 0x7FFFFFF0u}) {
        SCOPED_TRACE(size);
        std::vector<BYTE> bad = RecordOf(kRectangle, {20, 0, 31, 11});
        Put32(bad, 4, size);
        GdiCanvas canvas(40, 12);
        ASSERT_TRUE(PlayBytes(AroundABadRecord(bad), canvas));
        EXPECT_EQ(canvas.at(5, 5), RGB(255, 0, 0));
        EXPECT_EQ(canvas.at(25, 5), RGB(255, 255, 255));
    }
}

TEST_F(Metafiles, MutatedBytesNeverReadOutside) {
    const std::vector<BYTE> good = Sample();
    std::mt19937 random(12345);
    GdiCanvas canvas(60, 40);
    int accepted = 0;
    // Every truncation point of the records keeps the header's byte count honest or is refused.
    for (size_t n = 0; n <= good.size(); n += 4) {
        std::vector<BYTE> cut(good.begin(), good.begin() + static_cast<long>(n));
        if (n >= 52)
            Put32(cut, 48, static_cast<std::uint32_t>(n));
        accepted += PlayBytes(cut, canvas);
    }
    // Random words overwritten with small, large and boundary values.
    const std::uint32_t values[] = {0,       1,          3,          4,          7,   8,  0xFFFF,
                                    0x10000, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF, 108, 40, 76};
    for (int round = 0; round < 1500; ++round) {
        std::vector<BYTE> bytes = good;
        const int edits = 1 + static_cast<int>(random() % 4);
        for (int e = 0; e < edits; ++e) {
            const size_t at = 108 + 4 * (random() % ((bytes.size() - 108) / 4));
            Put32(bytes, at, values[random() % std::size(values)]);
        }
        accepted += PlayBytes(bytes, canvas);
    }
    EXPECT_GT(accepted, 1000) << "the header was left alone, so most are played";
}

} // namespace
