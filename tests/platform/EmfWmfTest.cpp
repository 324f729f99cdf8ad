// Windows metafiles: recorded and played back they give the pixels of direct drawing for the
// records the format carries, comments survive the conversions both ways, and corrupt bytes are
// refused or skipped without reading outside them.

#include "plat/Font.h"
#include "plat/Gdi.h"
#include "plat/Metafile.h"
#include "platform/GdiCanvas.h"
#include "support/FontPin.h"

#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace plat;
using kvtest::GdiCanvas;

using Scene = std::function<void(HDC)>;

void Shapes(HDC dc) {
    HPEN pen = CreatePen(PS_SOLID, 3, RGB(0, 0, 200));
    HBRUSH brush = CreateSolidBrush(RGB(220, 30, 30));
    HGDIOBJ oldPen = SelectObject(dc, pen);
    HGDIOBJ oldBrush = SelectObject(dc, brush);
    Rectangle(dc, 5, 5, 40, 30);
    Ellipse(dc, 45, 5, 90, 40);
    SelectObject(dc, GetStockObject(BLACK_PEN));
    const POINT tri[] = {{10, 50}, {60, 45}, {30, 75}};
    Polygon(dc, tri, 3);
    MoveToEx(dc, 70, 50, nullptr);
    LineTo(dc, 95, 75);
    const POINT zig[] = {{5, 80}, {20, 60}, {35, 80}};
    Polyline(dc, zig, 3);
    Arc(dc, 60, 40, 98, 78, 98, 40, 60, 78);
    SetPixel(dc, 97, 2, RGB(1, 200, 3));
    const RECT fill{40, 60, 60, 75};
    FillRect(dc, &fill, GetStockObject(GRAY_BRUSH));
    SetROP2(dc, R2_XORPEN);
    Rectangle(dc, 20, 20, 70, 55);
    SetROP2(dc, R2_COPYPEN);
    HRGN rgn = CreateRectRgn(70, 5, 80, 15);
    HRGN more = CreateRectRgn(75, 10, 95, 30);
    CombineRgn(rgn, rgn, more, RGN_OR);
    PaintRgn(dc, rgn);
    InvertRgn(dc, more);
    DeleteObject(rgn);
    DeleteObject(more);
    SelectObject(dc, GetStockObject(NULL_BRUSH));
    Rectangle(dc, 2, 2, 98, 78);
    SelectObject(dc, oldPen);
    SelectObject(dc, oldBrush);
    DeleteObject(pen);
    DeleteObject(brush);
}

void Text(HDC dc) {
    LOGFONT lf;
    lf.lfHeight = -15;
    std::strcpy(lf.lfFaceName, "Times New Roman");
    HFONT font = CreateFontIndirect(&lf);
    HGDIOBJ old = SelectObject(dc, font);
    SetTextAlign(dc, TA_BASELINE);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(0, 100, 0));
    TextOut(dc, 4, 25, "Windows \xE9", 9);
    SetBkMode(dc, OPAQUE);
    const RECT box{4, 40, 90, 60};
    ExtTextOut(dc, 6, 55, ETO_OPAQUE, &box, "boxed", 5, nullptr);
    SelectObject(dc, old);
    DeleteObject(font);
}

void MappedAndBlitted(HDC dc) {
    HBITMAP bm = CreateBitmap(3, 2, 1, 32, nullptr);
    HDC mem = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(mem, bm);
    for (int i = 0; i < 6; ++i)
        SetPixel(mem, i % 3, i / 3, RGB(static_cast<BYTE>(40 * i), 90, 200));
    StretchBlt(dc, 5, 5, 30, 20, mem, 0, 0, 3, 2, SRCCOPY);
    SelectObject(mem, old);
    DeleteDC(mem);
    DeleteObject(bm);
    SetMapMode(dc, MM_ANISOTROPIC);
    SetWindowExtEx(dc, 10, 10, nullptr);
    SetViewportExtEx(dc, 20, 15, nullptr);
    SetWindowOrgEx(dc, -20, 0, nullptr);
    Ellipse(dc, 0, 10, 20, 40);
}

struct SceneCase {
    const char* name;
    Scene draw;
};

using WindowsMetafiles = kvtest::FontPin;

HMETAFILE RecordWmf(const Scene& scene) {
    HDC rec = CreateMetaFile(nullptr);
    scene(rec);
    return CloseMetaFile(rec);
}

std::vector<BYTE> BytesOf(HMETAFILE wmf) {
    std::vector<BYTE> bytes(GetMetaFileBitsEx(wmf, 0, nullptr));
    GetMetaFileBitsEx(wmf, static_cast<UINT>(bytes.size()), bytes.data());
    return bytes;
}

TEST_F(WindowsMetafiles, PlayedBackEqualsDirectDrawing) {
    const SceneCase scenes[] = {
        {"shapes", Shapes}, {"text", Text}, {"mapped and blitted", MappedAndBlitted}};
    for (const SceneCase& s : scenes) {
        SCOPED_TRACE(s.name);
        GdiCanvas direct(100, 80);
        s.draw(direct.dc());
        HMETAFILE wmf = RecordWmf(s.draw);
        ASSERT_NE(wmf, nullptr);
        GdiCanvas played(100, 80);
        ASSERT_TRUE(PlayMetaFile(played.dc(), wmf));
        EXPECT_EQ(played.bytes(), direct.bytes());
        EXPECT_EQ(GetMapMode(played.dc()), MM_TEXT) << "the DC's state comes back";

        // Through bytes, and through the enhanced format and back.
        const std::vector<BYTE> bytes = BytesOf(wmf);
        HENHMETAFILE emf =
            SetWinMetaFileBits(static_cast<UINT>(bytes.size()), bytes.data(), nullptr, nullptr);
        ASSERT_NE(emf, nullptr);
        std::vector<BYTE> back(GetWinMetaFileBits(emf, 0, nullptr, MM_ANISOTROPIC, nullptr));
        ASSERT_FALSE(back.empty());
        GetWinMetaFileBits(emf, static_cast<UINT>(back.size()), back.data(), MM_ANISOTROPIC,
                           nullptr);
        HMETAFILE again = SetMetaFileBitsEx(static_cast<UINT>(back.size()), back.data());
        ASSERT_NE(again, nullptr);
        GdiCanvas replayed(100, 80);
        PlayMetaFile(replayed.dc(), again);
        EXPECT_EQ(replayed.bytes(), direct.bytes());
        DeleteMetaFile(again);
        DeleteEnhMetaFile(emf);
        DeleteMetaFile(wmf);
    }
}

int CollectComments(HDC, HANDLETABLE*, const ENHMETARECORD* record, int, LPARAM data) {
    if (record->iType == EMR_GDICOMMENT) {
        const auto* bytes = reinterpret_cast<const char*>(record);
        std::uint32_t size;
        std::memcpy(&size, bytes + 8, 4);
        reinterpret_cast<std::vector<std::string>*>(data)->emplace_back(bytes + 12, size);
    }
    return 1;
}

TEST_F(WindowsMetafiles, CommentsBecomeEscapesAndComeBack) {
    const std::vector<std::string> comments = {"WordDesc", "abc", std::string("\0\1\2\3\4", 5)};
    HMETAFILE wmf = RecordWmf([&](HDC dc) {
        for (const std::string& c : comments) {
            GdiComment(dc, static_cast<UINT>(c.size()), reinterpret_cast<const BYTE*>(c.data()));
            Rectangle(dc, 0, 0, 5, 5);
        }
    });
    const std::vector<BYTE> bytes = BytesOf(wmf);
    // The escapes are there in the 16-bit records: function 0x0626, escape 15, the bytes.
    std::string text(bytes.begin(), bytes.end());
    EXPECT_NE(text.find("WordDesc"), std::string::npos);
    HENHMETAFILE emf =
        SetWinMetaFileBits(static_cast<UINT>(bytes.size()), bytes.data(), nullptr, nullptr);
    ASSERT_NE(emf, nullptr);
    std::vector<std::string> seen;
    EnumEnhMetaFile(nullptr, emf, CollectComments, reinterpret_cast<LPARAM>(&seen), nullptr);
    EXPECT_EQ(seen, comments);
    DeleteEnhMetaFile(emf);
    DeleteMetaFile(wmf);
}

TEST_F(WindowsMetafiles, PlaceableHeaderIsAccepted) {
    HMETAFILE wmf = RecordWmf(Shapes);
    std::vector<BYTE> bytes = BytesOf(wmf);
    std::vector<BYTE> placeable(22, 0);
    const std::uint32_t key = 0x9AC6CDD7;
    std::memcpy(placeable.data(), &key, 4);
    placeable.insert(placeable.end(), bytes.begin(), bytes.end());
    placeable.insert(placeable.end(), {9, 9, 9, 9}); // trailing bytes are not the metafile's
    HMETAFILE read = SetMetaFileBitsEx(static_cast<UINT>(placeable.size()), placeable.data());
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(BytesOf(read), bytes);
    DeleteMetaFile(read);
    DeleteMetaFile(wmf);
}

// A long conversion calls its step every thousand records or so (the program answers the window
// system from there), gives the same bytes as the plain conversion, and stops where the step
// throws, leaving the metafile as it was.
TEST_F(WindowsMetafiles, ALongConversionStepsAndCanBeStopped) {
    HDC rec = CreateEnhMetaFile(nullptr, nullptr, nullptr, nullptr);
    for (int i = 0; i < 5000; ++i)
        LineTo(rec, i % 97, i % 89);
    HENHMETAFILE emf = CloseEnhMetaFile(rec);
    ENHMETAHEADER header;
    GetEnhMetaFileHeader(emf, sizeof header, &header);
    std::vector<BYTE> plain(GetWinMetaFileBits(emf, 0, nullptr, MM_ANISOTROPIC, nullptr));
    GetWinMetaFileBits(emf, static_cast<UINT>(plain.size()), plain.data(), MM_ANISOTROPIC, nullptr);
    for (const int stopAt : {0, 1, 3}) {
        SCOPED_TRACE(stopAt);
        int steps = 0;
        std::vector<BYTE> stepped;
        try {
            stepped = WinMetaFileBitsStepping(emf, [&] {
                if (++steps == stopAt)
                    throw 7;
            });
        } catch (int) {
        }
        if (stopAt == 0) {
            EXPECT_EQ(steps, static_cast<int>(header.nRecords / 1024));
            EXPECT_EQ(stepped, plain);
        } else {
            EXPECT_EQ(steps, stopAt);
            EXPECT_TRUE(stepped.empty());
        }
    }
    EXPECT_EQ(WinMetaFileBitsStepping(emf, nullptr), plain);
    DeleteEnhMetaFile(emf);
}

void Put16(std::vector<BYTE>& b, size_t at, std::uint16_t v) {
    std::memcpy(&b[at], &v, 2);
}
void Put32(std::vector<BYTE>& b, size_t at, std::uint32_t v) {
    std::memcpy(&b[at], &v, 4);
}

TEST_F(WindowsMetafiles, CorruptBytesAreRefusedOrSkipped) {
    HMETAFILE wmf = RecordWmf([](HDC dc) {
        Shapes(dc);
        Text(dc);
        MappedAndBlitted(dc);
        GdiComment(dc, 4, reinterpret_cast<const BYTE*>("note"));
    });
    const std::vector<BYTE> good = BytesOf(wmf);
    DeleteMetaFile(wmf);
    const std::function<void(std::vector<BYTE>&)> refused[] = {
        [](auto& b) { b.resize(10); },
        [](auto& b) { Put16(b, 0, 7); },                                    // type
        [](auto& b) { Put16(b, 2, 5); },                                    // header size
        [](auto& b) { Put32(b, 6, static_cast<std::uint32_t>(b.size())); }, // words past the data
        [](auto& b) { Put32(b, 6, 3); },                                    // shorter than a header
    };
    for (const auto& spoil : refused) {
        std::vector<BYTE> bytes = good;
        spoil(bytes);
        EXPECT_EQ(SetMetaFileBitsEx(static_cast<UINT>(bytes.size()), bytes.data()), nullptr);
        EXPECT_EQ(
            SetWinMetaFileBits(static_cast<UINT>(bytes.size()), bytes.data(), nullptr, nullptr),
            nullptr);
    }
    // Random words of the records overwritten: played without reading outside the data.
    std::mt19937 random(99);
    const std::uint16_t values[] = {0, 1, 2, 3, 0x7FFF, 0x8000, 0xFFFF, 0x0626, 0x0F43, 0x0A32};
    GdiCanvas canvas(60, 40);
    int played = 0;
    for (int round = 0; round < 1500; ++round) {
        std::vector<BYTE> bytes = good;
        for (int e = 0; e < 1 + static_cast<int>(random() % 4); ++e)
            Put16(bytes, 18 + 2 * (random() % ((bytes.size() - 18) / 2)),
                  values[random() % std::size(values)]);
        HMETAFILE m = SetMetaFileBitsEx(static_cast<UINT>(bytes.size()), bytes.data());
        if (!m)
            continue;
        played += PlayMetaFile(canvas.dc(), m);
        DeleteMetaFile(m);
        HENHMETAFILE e =
            SetWinMetaFileBits(static_cast<UINT>(bytes.size()), bytes.data(), nullptr, nullptr);
        DeleteEnhMetaFile(e);
    }
    EXPECT_EQ(played, 1500) << "the header was left alone";
}

} // namespace
