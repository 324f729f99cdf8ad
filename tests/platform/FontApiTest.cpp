// The font calls on DCs and handles: creation, the faces they report, measuring, glyph metrics,
// enumeration, the installed-font list and drawing through a DC.

#include "core/font/TextRenderer.h"
#include "core/gdi/WindowDc.h"
#include "plat/Font.h"
#include "plat/Gdi.h"
#include "plat/Metafile.h"
#include "support/FontPin.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace kvtest {
namespace {

plat::LOGFONT logFont(const char* face, int height, int weight = plat::FW_NORMAL,
                      plat::BYTE charSet = plat::ANSI_CHARSET, plat::BYTE pitch = 0) {
    plat::LOGFONT lf;
    lf.lfHeight = height;
    lf.lfWeight = weight;
    lf.lfCharSet = charSet;
    lf.lfPitchAndFamily = pitch;
    std::strncpy(lf.lfFaceName, face, plat::LF_FACESIZE - 1);
    return lf;
}

// A memory DC with a 32-bpp bitmap, white, black text, transparent background.
class Canvas {
public:
    Canvas(int w, int h) {
        plat::HDC screen = plat::CreateDC("DISPLAY", nullptr, nullptr, nullptr);
        m_dc = plat::CreateCompatibleDC(screen);
        m_bitmap = plat::CreateCompatibleBitmap(screen, w, h);
        plat::DeleteDC(screen);
        m_oldBitmap = plat::SelectObject(m_dc, m_bitmap);
        const plat::RECT all{0, 0, w, h};
        plat::FillRect(m_dc, &all, plat::GetStockObject(plat::WHITE_BRUSH));
        plat::SetBkMode(m_dc, plat::TRANSPARENT);
        plat::SetTextColor(m_dc, plat::RGB(0, 0, 0));
        m_w = w;
        m_h = h;
    }
    ~Canvas() {
        plat::SelectObject(m_dc, m_oldBitmap);
        plat::DeleteDC(m_dc);
        plat::DeleteObject(m_bitmap);
    }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    plat::HDC dc() const { return m_dc; }
    std::vector<plat::COLORREF> pixels() const {
        std::vector<plat::COLORREF> out;
        for (int y = 0; y < m_h; ++y) {
            for (int x = 0; x < m_w; ++x) {
                out.push_back(plat::GetPixel(m_dc, x, y));
            }
        }
        return out;
    }
    // The bounding box of non-white pixels; empty when there are none.
    plat::RECT ink() const {
        plat::RECT r{m_w, m_h, 0, 0};
        for (int y = 0; y < m_h; ++y) {
            for (int x = 0; x < m_w; ++x) {
                if (plat::GetPixel(m_dc, x, y) != plat::RGB(255, 255, 255)) {
                    r.left = std::min<plat::LONG>(r.left, x);
                    r.top = std::min<plat::LONG>(r.top, y);
                    r.right = std::max<plat::LONG>(r.right, x + 1);
                    r.bottom = std::max<plat::LONG>(r.bottom, y + 1);
                }
            }
        }
        return r;
    }

private:
    plat::HDC m_dc = nullptr;
    plat::HBITMAP m_bitmap = nullptr;
    plat::HGDIOBJ m_oldBitmap = nullptr;
    int m_w = 0;
    int m_h = 0;
};

// Selects a font for the scope and deletes it afterwards.
class SelectedFont {
public:
    SelectedFont(plat::HDC dc, const plat::LOGFONT& lf)
        : m_dc(dc)
        , m_font(plat::CreateFontIndirect(&lf)) {
        m_old = plat::SelectObject(dc, m_font);
    }
    ~SelectedFont() {
        plat::SelectObject(m_dc, m_old);
        plat::DeleteObject(m_font);
    }
    SelectedFont(const SelectedFont&) = delete;
    SelectedFont& operator=(const SelectedFont&) = delete;
    plat::HFONT font() const { return m_font; }

private:
    plat::HDC m_dc;
    plat::HFONT m_font;
    plat::HGDIOBJ m_old = nullptr;
};

std::string faceOf(plat::HDC dc) {
    char name[plat::LF_FACESIZE] = {};
    plat::GetTextFace(dc, sizeof name, name);
    return name;
}

using FontApi = FontPin;

TEST_F(FontApi, FacesReportTheCatalogueNameAndKeepTheLogFont) {
    Canvas c(4, 4);
    {
        // An alias reports the alias, not the file's family.
        SelectedFont f(c.dc(), logFont("Times New Roman", -12));
        EXPECT_EQ(faceOf(c.dc()), "Times New Roman");
    }
    {
        const plat::LOGFONT lf = logFont("Garamond", -15, 700, plat::ANSI_CHARSET, plat::FF_ROMAN);
        SelectedFont f(c.dc(), lf);
        EXPECT_EQ(faceOf(c.dc()), "Times New Roman");
        plat::LOGFONT back;
        ASSERT_EQ(plat::GetObject(f.font(), sizeof back, &back), static_cast<int>(sizeof back));
        EXPECT_STREQ(back.lfFaceName, "Garamond"); // GetObject gives what was asked for
        EXPECT_EQ(back.lfHeight, -15);
        EXPECT_EQ(back.lfWeight, 700);
    }
    EXPECT_EQ(plat::CreateFontIndirect(nullptr), nullptr);
}

TEST_F(FontApi, GetTextFaceNeverWritesPastTheBuffer) {
    Canvas c(4, 4);
    SelectedFont f(c.dc(), logFont("Courier New", -12));
    char buf[8];
    std::memset(buf, '#', sizeof buf);
    EXPECT_EQ(plat::GetTextFace(c.dc(), 5, buf), 4);
    EXPECT_STREQ(buf, "Cour");
    EXPECT_EQ(buf[5], '#');
    EXPECT_EQ(plat::GetTextFace(c.dc(), 0, buf), 0);
    EXPECT_EQ(buf[0], 'C');
    EXPECT_EQ(plat::GetTextFace(c.dc(), 0, nullptr), 12); // "Courier New" and its terminator
}

TEST_F(FontApi, StockFonts) {
    struct Case {
        int stock;
        const char* face;
        int ppem;
        int weight;
    };
    Canvas c(4, 4);
    for (Case k :
         {Case{plat::DEFAULT_GUI_FONT, "Arial", 11, 400},
          Case{plat::ANSI_VAR_FONT, "Arial", 11, 400}, Case{plat::SYSTEM_FONT, "Arial", 16, 700},
          Case{plat::SYSTEM_FIXED_FONT, "Courier New", 13, 400}}) {
        SCOPED_TRACE(k.stock);
        plat::HGDIOBJ stock = plat::GetStockObject(k.stock);
        ASSERT_NE(stock, nullptr);
        plat::HGDIOBJ old = plat::SelectObject(c.dc(), stock);
        EXPECT_EQ(faceOf(c.dc()), k.face);
        plat::TEXTMETRIC tm;
        ASSERT_TRUE(plat::GetTextMetrics(c.dc(), &tm));
        EXPECT_EQ(tm.tmHeight - tm.tmInternalLeading, k.ppem);
        EXPECT_EQ(tm.tmWeight, k.weight);
        EXPECT_EQ(tm.tmCharSet, plat::ANSI_CHARSET);
        EXPECT_NE(tm.tmPitchAndFamily & plat::TMPF_TRUETYPE, 0);
        plat::SelectObject(c.dc(), old);
        EXPECT_TRUE(plat::DeleteObject(stock)); // a no-op for stock objects
        EXPECT_EQ(plat::GetStockObject(k.stock), stock);
    }
}

TEST_F(FontApi, MeasuringAgreesWithGlyphMetrics) {
    Canvas c(4, 4);
    for (const char* face : {"Arial", "Times", "Symbol", "Rudize", "DejaVu Sans Mono"}) {
        SCOPED_TRACE(face);
        SelectedFont f(c.dc(), logFont(face, -21));
        plat::TEXTMETRIC tm;
        ASSERT_TRUE(plat::GetTextMetrics(c.dc(), &tm));
        const std::string text = "Wide glyphs: aWpq \xE5 \xF2";
        plat::SIZE size;
        ASSERT_TRUE(
            plat::GetTextExtentPoint(c.dc(), text.data(), static_cast<int>(text.size()), &size));
        EXPECT_EQ(size.cy, tm.tmHeight);
        long sum = 0;
        for (unsigned char ch : text) {
            plat::GLYPHMETRICS gm;
            const plat::MAT2 identity;
            ASSERT_NE(
                plat::GetGlyphOutline(c.dc(), ch, plat::GGO_METRICS, &gm, 0, nullptr, &identity),
                plat::GDI_ERROR);
            sum += gm.gmCellIncX;
        }
        EXPECT_EQ(size.cx, sum);
        plat::SIZE size32;
        ASSERT_TRUE(plat::GetTextExtentPoint32(c.dc(), text.data(), 5, &size32));
        plat::SIZE prefix;
        ASSERT_TRUE(plat::GetTextExtentPoint(c.dc(), text.data(), 5, &prefix));
        EXPECT_EQ(size32.cx, prefix.cx);
    }
}

TEST_F(FontApi, BadArgumentsFailWithoutSideEffects) {
    Canvas c(4, 4);
    SelectedFont f(c.dc(), logFont("Arial", -12));
    plat::SIZE size{7, 7};
    EXPECT_FALSE(plat::GetTextExtentPoint(c.dc(), "abc", -1, &size));
    EXPECT_FALSE(plat::GetTextExtentPoint(c.dc(), nullptr, 3, &size));
    EXPECT_FALSE(plat::GetTextExtentPoint(c.dc(), "abc", 3, nullptr));
    EXPECT_EQ(size.cx, 7);
    EXPECT_TRUE(plat::GetTextExtentPoint(c.dc(), nullptr, 0, &size));
    EXPECT_EQ(size.cx, 0);

    plat::GLYPHMETRICS gm;
    plat::MAT2 doubled;
    doubled.eM11.value = 2;
    EXPECT_EQ(plat::GetGlyphOutline(c.dc(), 'a', plat::GGO_METRICS, &gm, 0, nullptr, &doubled),
              plat::GDI_ERROR);
    EXPECT_EQ(plat::GetGlyphOutline(c.dc(), 'a', 1 /* a bitmap */, &gm, 0, nullptr, nullptr),
              plat::GDI_ERROR);
    EXPECT_EQ(plat::GetGlyphOutline(c.dc(), 'a', plat::GGO_METRICS, nullptr, 0, nullptr, nullptr),
              plat::GDI_ERROR);

    // A deleted DC: every call fails the usual way.
    plat::HDC gone = plat::CreateCompatibleDC(nullptr);
    plat::DeleteDC(gone);
    plat::TEXTMETRIC tm;
    EXPECT_FALSE(plat::GetTextMetrics(gone, &tm));
    EXPECT_FALSE(plat::GetTextExtentPoint(gone, "a", 1, &size));
    EXPECT_EQ(plat::GetTextFace(gone, 0, nullptr), 0);
    EXPECT_FALSE(plat::TextOut(gone, 0, 0, "a", 1));
    EXPECT_FALSE(plat::ExtTextOut(c.dc(), 0, 0, 0, nullptr, nullptr, 2, nullptr));
}

struct Enumerated {
    std::vector<std::string> names;
    std::vector<plat::LOGFONT> fonts;
    std::vector<plat::TEXTMETRIC> metrics;
    int stopAfter = 1000;
};

int collect(const plat::LOGFONT* lf, const plat::TEXTMETRIC* tm, plat::DWORD type,
            plat::LPARAM data) {
    auto* e = reinterpret_cast<Enumerated*>(data);
    EXPECT_EQ(type, plat::TRUETYPE_FONTTYPE);
    e->names.push_back(lf->lfFaceName);
    e->fonts.push_back(*lf);
    e->metrics.push_back(*tm);
    return static_cast<int>(e->names.size()) < e->stopAfter ? 1 : 0;
}

TEST_F(FontApi, EnumerationListsFacesInBytewiseOrder) {
    Canvas c(4, 4);
    Enumerated all;
    EXPECT_EQ(
        plat::EnumFontFamilies(c.dc(), nullptr, collect, reinterpret_cast<plat::LPARAM>(&all)), 1);
    const std::vector<std::string> expected = {
        "Arial",     "Courier", "Courier New", "DejaVu Sans", "DejaVu Sans Mono", "DejaVu Serif",
        "Helvetica", "Rudize",  "Symbol",      "Times",       "Times New Roman"};
    EXPECT_EQ(all.names, expected);
    for (std::size_t i = 0; i < all.fonts.size(); ++i) {
        SCOPED_TRACE(all.names[i]);
        const bool symbol = all.names[i] == "Symbol" || all.names[i] == "Rudize";
        EXPECT_EQ(all.fonts[i].lfCharSet, symbol ? plat::SYMBOL_CHARSET : plat::ANSI_CHARSET);
        EXPECT_EQ(all.metrics[i].tmCharSet, all.fonts[i].lfCharSet);
        EXPECT_NE(all.metrics[i].tmPitchAndFamily & plat::TMPF_TRUETYPE, 0);
        // The enumerated font can be made again and reports the same face.
        SelectedFont f(c.dc(), all.fonts[i]);
        EXPECT_EQ(faceOf(c.dc()), all.names[i]);
    }
    EXPECT_EQ(all.fonts[0].lfPitchAndFamily, plat::FF_SWISS | plat::VARIABLE_PITCH);
    EXPECT_EQ(all.fonts[2].lfPitchAndFamily, plat::FF_MODERN | plat::FIXED_PITCH);
    EXPECT_EQ(all.fonts[10].lfPitchAndFamily, plat::FF_ROMAN | plat::VARIABLE_PITCH);

    Enumerated first;
    first.stopAfter = 1;
    EXPECT_EQ(plat::EnumFontFamilies(c.dc(), "", collect, reinterpret_cast<plat::LPARAM>(&first)),
              0);
    EXPECT_EQ(first.names.size(), 1u);
}

TEST_F(FontApi, EnumeratingOneFamilyListsItsStyles) {
    struct Case {
        const char* family;
        std::size_t styles;
    };
    for (Case k : {Case{"Arial", 4}, Case{"times", 4}, Case{"DejaVu Sans", 2}, Case{"Symbol", 1},
                   Case{"Rudize", 2}, Case{"No Such Face", 0}}) {
        SCOPED_TRACE(k.family);
        Enumerated e;
        plat::EnumFontFamilies(nullptr, k.family, collect, reinterpret_cast<plat::LPARAM>(&e));
        EXPECT_EQ(e.names.size(), k.styles);
        if (k.styles >= 2) {
            EXPECT_EQ(e.fonts[0].lfWeight, plat::FW_NORMAL);
            EXPECT_EQ(e.fonts[1].lfWeight, plat::FW_BOLD);
        }
    }
}

TEST_F(FontApi, InstalledFontEntries) {
    const auto entries = plat::InstalledFontEntries();
    ASSERT_FALSE(entries.empty());
    EXPECT_TRUE(std::is_sorted(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
        return a.valueName < b.valueName;
    }));
    auto find = [&](const std::string& name) -> std::string {
        for (const auto& e : entries) {
            if (e.valueName == name) {
                return std::filesystem::path(e.path).filename().string();
            }
        }
        return "(absent)";
    };
    EXPECT_EQ(find("Arial (TrueType)"), "LiberationSans-Regular.ttf");
    EXPECT_EQ(find("Arial Bold Italic (TrueType)"), "LiberationSans-BoldItalic.ttf");
    EXPECT_EQ(find("Symbol (TrueType)"), "StandardSymbolsPS.otf");
    EXPECT_EQ(find("Times (TrueType)"), "NimbusRoman-Regular.otf");
    EXPECT_EQ(find("DejaVu Sans Italic (TrueType)"), "(absent)"); // synthesised, no file
    for (const auto& e : entries) {
        EXPECT_TRUE(std::filesystem::path(e.path).is_absolute()) << e.path;
        EXPECT_TRUE(std::filesystem::exists(e.path)) << e.path;
    }

    const std::vector<plat::InstalledFontEntry> injected = {{"Test (TrueType)", "/tmp/x.ttf"}};
    plat::SetInstalledFontEntriesForTesting(&injected);
    ASSERT_EQ(plat::InstalledFontEntries().size(), 1u);
    EXPECT_EQ(plat::InstalledFontEntries()[0].valueName, "Test (TrueType)");
    plat::SetInstalledFontEntriesForTesting(nullptr);
    EXPECT_EQ(plat::InstalledFontEntries().size(), entries.size());
}

TEST_F(FontApi, DrawingThroughADc) {
    Canvas c(160, 60);
    SelectedFont f(c.dc(), logFont("Arial", -20));
    plat::TEXTMETRIC tm;
    plat::GetTextMetrics(c.dc(), &tm);
    plat::SIZE size;
    plat::GetTextExtentPoint(c.dc(), "HH", 2, &size);
    plat::SetTextAlign(c.dc(), plat::TA_TOP | plat::TA_LEFT);
    ASSERT_TRUE(plat::TextOut(c.dc(), 10, 5, "HH", 2));
    const plat::RECT ink = c.ink();
    // "H" has no overhang: its ink lies inside the measured cell, on the baseline.
    EXPECT_GE(ink.left, 10);
    EXPECT_LE(ink.right, 10 + size.cx);
    EXPECT_GT(ink.top, 5);
    EXPECT_EQ(ink.bottom, 5 + tm.tmAscent);

    // The same text through a moved viewport lands moved by the same amount.
    const std::vector<plat::COLORREF> before = c.pixels();
    Canvas d(160, 60);
    SelectedFont g(d.dc(), logFont("Arial", -20));
    plat::SetTextAlign(d.dc(), plat::TA_TOP | plat::TA_LEFT);
    plat::SetViewportOrgEx(d.dc(), 30, 7, nullptr);
    ASSERT_TRUE(plat::ExtTextOut(d.dc(), 10 - 30, 5 - 7, 0, nullptr, "HH", 2, nullptr));
    plat::SetViewportOrgEx(d.dc(), 0, 0, nullptr); // GetPixel reads logical coordinates
    EXPECT_EQ(d.pixels(), before);
}

TEST_F(FontApi, UpdateCpMovesTheCurrentPositionByTheWidth) {
    Canvas c(200, 40);
    SelectedFont f(c.dc(), logFont("Times New Roman", -16));
    plat::SetTextAlign(c.dc(), plat::TA_UPDATECP | plat::TA_BASELINE);
    plat::MoveToEx(c.dc(), 5, 30, nullptr);
    ASSERT_TRUE(plat::TextOut(c.dc(), 999, 999, "one", 3));
    ASSERT_TRUE(plat::TextOut(c.dc(), 999, 999, "two", 3));
    plat::POINT cp;
    plat::GetCurrentPositionEx(c.dc(), &cp);
    plat::SIZE size;
    plat::GetTextExtentPoint(c.dc(), "onetwo", 6, &size);
    EXPECT_EQ(cp.x, 5 + size.cx);
    EXPECT_EQ(cp.y, 30);

    // Drawn in two steps through the current position, the picture equals one run.
    Canvas d(200, 40);
    SelectedFont g(d.dc(), logFont("Times New Roman", -16));
    plat::SetTextAlign(d.dc(), plat::TA_BASELINE);
    plat::TextOut(d.dc(), 5, 30, "onetwo", 6);
    EXPECT_EQ(c.pixels(), d.pixels());
}

TEST_F(FontApi, ScaledMappingDrawsTheFontAtItsDeviceSize) {
    // Logical units twice the size of pixels: a 10-pixel font drawn at (5, 20) is the 20-pixel
    // font drawn at (10, 40).
    Canvas a(200, 80), b(200, 80);
    SelectedFont fa(a.dc(), logFont("Arial", -10));
    SelectedFont fb(b.dc(), logFont("Arial", -20));
    plat::SetTextAlign(a.dc(), plat::TA_BASELINE);
    plat::SetTextAlign(b.dc(), plat::TA_BASELINE);
    plat::SetMapMode(a.dc(), plat::MM_ANISOTROPIC);
    plat::SetWindowExtEx(a.dc(), 1, 1, nullptr);
    plat::SetViewportExtEx(a.dc(), 2, 2, nullptr);
    ASSERT_TRUE(plat::TextOut(a.dc(), 5, 20, "Scaled", 6));
    plat::SetMapMode(a.dc(), plat::MM_TEXT);
    ASSERT_TRUE(plat::TextOut(b.dc(), 10, 40, "Scaled", 6));
    EXPECT_EQ(a.pixels(), b.pixels());
    EXPECT_NE(b.ink().right, 0);
}

TEST_F(FontApi, ScaledMappingMeasuresWhatItDraws) {
    // Arial at 10 logical units. Its glyphs are drawn at the device size (the vertical scale);
    // measuring must report that drawn width in logical units, not the 10-unit font's widths.
    const char* const text = "The quick brown fox jumps over the lazy dog";
    const int n = static_cast<int>(std::strlen(text));
    struct Scale {
        int vx, vy;
    };
    for (const Scale sc : {Scale{2, 2}, Scale{2, 1}, Scale{3, 3}}) {
        SCOPED_TRACE(testing::Message() << "viewport " << sc.vx << ":" << sc.vy);
        // The run as drawn: the same font at the device size, in an unscaled DC.
        Canvas ref(10, 10);
        SelectedFont rf(ref.dc(), logFont("Arial", -10 * sc.vy));
        plat::SIZE deviceRun;
        ASSERT_TRUE(plat::GetTextExtentPoint(ref.dc(), text, n, &deviceRun));
        plat::TEXTMETRIC deviceTm;
        ASSERT_TRUE(plat::GetTextMetrics(ref.dc(), &deviceTm));
        plat::GLYPHMETRICS deviceW;
        ASSERT_NE(
            plat::GetGlyphOutline(ref.dc(), 'W', plat::GGO_METRICS, &deviceW, 0, nullptr, nullptr),
            plat::GDI_ERROR);

        Canvas c(900, 80);
        SelectedFont f(c.dc(), logFont("Arial", -10));
        plat::SIZE logicalRun;
        ASSERT_TRUE(plat::GetTextExtentPoint(c.dc(), text, n, &logicalRun));
        if (sc.vx == sc.vy) {
            // Otherwise the test could not tell the two ways of measuring apart.
            ASSERT_NE(logicalRun.cx * sc.vx, deviceRun.cx);
        }
        plat::SetMapMode(c.dc(), plat::MM_ANISOTROPIC);
        plat::SetWindowExtEx(c.dc(), 1, 1, nullptr);
        plat::SetViewportExtEx(c.dc(), sc.vx, sc.vy, nullptr);
        plat::SIZE run;
        ASSERT_TRUE(plat::GetTextExtentPoint(c.dc(), text, n, &run));
        // The device-size run converted back, rounded to the nearest logical unit.
        EXPECT_LE(std::abs(run.cx * sc.vx - deviceRun.cx), sc.vx / 2);
        EXPECT_LE(std::abs(run.cy * sc.vy - deviceTm.tmHeight), sc.vy);

        plat::TEXTMETRIC tm;
        ASSERT_TRUE(plat::GetTextMetrics(c.dc(), &tm));
        EXPECT_EQ(tm.tmHeight, run.cy);
        EXPECT_EQ(tm.tmHeight, tm.tmAscent + tm.tmDescent);
        EXPECT_LE(std::abs(tm.tmAscent * sc.vy - deviceTm.tmAscent), sc.vy / 2);
        EXPECT_LE(std::abs(tm.tmAveCharWidth * sc.vx - deviceTm.tmAveCharWidth), sc.vx / 2);

        plat::GLYPHMETRICS w;
        ASSERT_NE(plat::GetGlyphOutline(c.dc(), 'W', plat::GGO_METRICS, &w, 0, nullptr, nullptr),
                  plat::GDI_ERROR);
        EXPECT_LE(std::abs(w.gmCellIncX * sc.vx - deviceW.gmCellIncX), sc.vx / 2);
        EXPECT_LE(std::abs(static_cast<int>(w.gmBlackBoxX) * sc.vx -
                           static_cast<int>(deviceW.gmBlackBoxX)),
                  sc.vx);

        // Drawn at logical x = 5 (device 5 * vx): the ink lies inside the measured extent times
        // the scale, and reaches close to its end (the last glyph, 'g', has a small right
        // bearing).
        plat::SetTextAlign(c.dc(), plat::TA_BASELINE);
        ASSERT_TRUE(plat::TextOut(c.dc(), 5, 30, text, n));
        plat::SetMapMode(c.dc(), plat::MM_TEXT); // the ink is read in device pixels
        const plat::RECT ink = c.ink();
        const int start = 5 * sc.vx, end = start + run.cx * sc.vx;
        EXPECT_GE(ink.left, start);
        EXPECT_LE(ink.right, end + sc.vx / 2);
        EXPECT_GE(ink.right, end - 3 * sc.vy);
    }
}

TEST_F(FontApi, TextOnAMonochromeBitmap) {
    // XOR feedback draws text white on black into a 1-bpp bitmap: every pixel must be one of
    // the two, and the text must show.
    plat::HDC dc = plat::CreateCompatibleDC(nullptr);
    plat::HBITMAP mono = plat::CreateBitmap(80, 24, 1, 1, nullptr);
    plat::HGDIOBJ old = plat::SelectObject(dc, mono);
    {
        SelectedFont f(dc, logFont("Arial", -16));
        plat::SetTextColor(dc, plat::RGB(255, 255, 255));
        plat::SetBkColor(dc, plat::RGB(0, 0, 0));
        plat::SetBkMode(dc, plat::OPAQUE);
        plat::SetTextAlign(dc, plat::TA_TOP);
        const plat::RECT all{0, 0, 80, 24};
        ASSERT_TRUE(plat::ExtTextOut(dc, 2, 2, plat::ETO_OPAQUE, &all, "Mono", 4, nullptr));
        int white = 0;
        int black = 0;
        for (int y = 0; y < 24; ++y) {
            for (int x = 0; x < 80; ++x) {
                const plat::COLORREF c = plat::GetPixel(dc, x, y);
                white += c == plat::RGB(255, 255, 255) ? 1 : 0;
                black += c == plat::RGB(0, 0, 0) ? 1 : 0;
            }
        }
        EXPECT_EQ(white + black, 80 * 24);
        EXPECT_GT(white, 20);
        EXPECT_GT(black, 80 * 24 / 2);
    }
    plat::SelectObject(dc, old);
    plat::DeleteObject(mono);
    plat::DeleteDC(dc);
}

TEST_F(FontApi, OpaqueRectangleAndDxArray) {
    Canvas c(100, 30);
    SelectedFont f(c.dc(), logFont("Courier New", -12));
    plat::SetBkColor(c.dc(), plat::RGB(255, 0, 0));
    const plat::RECT rect{2, 3, 40, 20};
    ASSERT_TRUE(plat::ExtTextOut(c.dc(), 2, 18, plat::ETO_OPAQUE, &rect, "", 0, nullptr));
    const plat::RECT ink = c.ink();
    EXPECT_EQ(ink.left, 2);
    EXPECT_EQ(ink.top, 3);
    EXPECT_EQ(ink.right, 40);
    EXPECT_EQ(ink.bottom, 20);

    // A dx array places each character: with every distance 20, "ii" draws the second "i"
    // exactly 20 pixels after the first.
    Canvas one(100, 30), two(100, 30);
    SelectedFont g(one.dc(), logFont("Courier New", -12));
    SelectedFont h(two.dc(), logFont("Courier New", -12));
    plat::SetTextAlign(one.dc(), plat::TA_BASELINE);
    plat::SetTextAlign(two.dc(), plat::TA_BASELINE);
    const int dx[2] = {20, 20};
    plat::ExtTextOut(one.dc(), 5, 20, 0, nullptr, "ii", 2, dx);
    plat::TextOut(two.dc(), 5, 20, "i", 1);
    plat::TextOut(two.dc(), 25, 20, "i", 1);
    EXPECT_EQ(one.pixels(), two.pixels());
}

TEST_F(FontApi, TextFollowsClipChangesOnTheSameDc) {
    // One DC draws the same text under a sequence of clips (its text context and clip are kept
    // between calls); each result must equal the text drawn on a fresh DC under that clip alone.
    const std::vector<std::pair<const char*, std::function<void(plat::HDC)>>> clips = {
        {"none", [](plat::HDC) {}},
        {"left half", [](plat::HDC dc) { plat::IntersectClipRect(dc, 0, 0, 40, 60); }},
        {"none again", [](plat::HDC) {}},
        {"right part", [](plat::HDC dc) { plat::ExcludeClipRect(dc, 0, 0, 40, 60); }},
        {"two bands",
         [](plat::HDC dc) {
             plat::HRGN a = plat::CreateRectRgn(0, 0, 160, 14);
             plat::HRGN b = plat::CreateRectRgn(0, 20, 160, 60);
             plat::CombineRgn(a, a, b, plat::RGN_OR);
             plat::SelectClipRgn(dc, a);
             plat::DeleteObject(a);
             plat::DeleteObject(b);
         }},
        {"moved viewport, same clip", [](plat::HDC dc) {
             plat::IntersectClipRect(dc, 0, 0, 40, 60);
             plat::SetViewportOrgEx(dc, 3, 0, nullptr);
         }}};
    const plat::RECT all{0, 0, 160, 60};
    Canvas reused(160, 60);
    SelectedFont f(reused.dc(), logFont("Arial", -20));
    std::vector<plat::COLORREF> unclipped;
    for (const auto& [name, apply] : clips) {
        SCOPED_TRACE(name);
        plat::SelectClipRgn(reused.dc(), nullptr);
        plat::SetViewportOrgEx(reused.dc(), 0, 0, nullptr);
        plat::FillRect(reused.dc(), &all, plat::GetStockObject(plat::WHITE_BRUSH));
        apply(reused.dc());
        ASSERT_TRUE(plat::TextOut(reused.dc(), 10, 5, "HHHH", 4));
        // GetPixel reads logical coordinates inside the clip only.
        plat::SetViewportOrgEx(reused.dc(), 0, 0, nullptr);
        plat::SelectClipRgn(reused.dc(), nullptr);

        Canvas fresh(160, 60);
        SelectedFont g(fresh.dc(), logFont("Arial", -20));
        apply(fresh.dc());
        ASSERT_TRUE(plat::TextOut(fresh.dc(), 10, 5, "HHHH", 4));
        plat::SetViewportOrgEx(fresh.dc(), 0, 0, nullptr);
        plat::SelectClipRgn(fresh.dc(), nullptr);
        EXPECT_EQ(reused.pixels(), fresh.pixels());
        if (unclipped.empty()) {
            unclipped = fresh.pixels();
        } else if (std::string(name) != "none again") {
            EXPECT_NE(fresh.pixels(), unclipped); // the clip cut something off
        }
    }

    // Another bitmap of the same size selected into the DC receives the next text.
    plat::HDC screen = plat::CreateDC("DISPLAY", nullptr, nullptr, nullptr);
    plat::HBITMAP other = plat::CreateCompatibleBitmap(screen, 160, 60);
    plat::DeleteDC(screen);
    ASSERT_TRUE(plat::TextOut(reused.dc(), 10, 5, "HHHH", 4));
    plat::HGDIOBJ old = plat::SelectObject(reused.dc(), other);
    plat::FillRect(reused.dc(), &all, plat::GetStockObject(plat::WHITE_BRUSH));
    ASSERT_TRUE(plat::TextOut(reused.dc(), 10, 5, "HHHH", 4));
    EXPECT_EQ(reused.pixels(), unclipped);
    plat::SelectObject(reused.dc(), old);
    plat::DeleteObject(other);
}

TEST_F(FontApi, GlyphMasksDrawExactlyWhatCairoDraws) {
    // Text on image surfaces is drawn from cached glyph masks; Cairo draws the reference. Random
    // runs over every face, size and style, colours, alignments, positions partly or wholly
    // outside, spacing arrays, opaque and clipping rectangles, clip regions, window origins and
    // clips, scaled mappings and 32-bit and monochrome targets: every 32-bit word must agree.
    const char* const faces[] = {
        "Arial",     "Courier", "Courier New", "DejaVu Sans", "DejaVu Sans Mono", "DejaVu Serif",
        "Helvetica", "Rudize",  "Symbol",      "Times",       "Times New Roman"};
    constexpr int kW = 90, kH = 48;
    std::mt19937 rng(20261207);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    struct Case {
        plat::LOGFONT lf;
        std::string text;
        std::vector<int> dx;
        int x, y, target, clip, scale;
        plat::UINT align, options;
        plat::RECT rect;
        plat::COLORREF text0, bk;
        int bkMode;
        plat::POINT origin;
    };
    // Draws the case on a fresh target and returns its pixels.
    auto draw = [&](const Case& c, bool blit) {
        plat::fontcore::SetTextBlitting(blit);
        std::vector<std::uint32_t> words;
        const bool mono = c.target == 2;
        cairo_surface_t* s = cairo_image_surface_create(
            c.target == 1 ? CAIRO_FORMAT_ARGB32 : CAIRO_FORMAT_RGB24, kW, kH);
        auto* data = reinterpret_cast<std::uint32_t*>(cairo_image_surface_get_data(s));
        for (int i = 0; i < kW * kH; ++i) {
            data[i] = (mono ? 0 : 0x5A000000u * static_cast<std::uint32_t>(i % 3)) |
                      (i % 7 < 3 ? 0xFFFFFFu : 0x00u);
        }
        cairo_surface_mark_dirty(s);
        plat::HDC dc = nullptr;
        plat::HBITMAP bitmap = nullptr;
        plat::HGDIOBJ oldBitmap = nullptr;
        if (mono) {
            dc = plat::CreateCompatibleDC(nullptr);
            bitmap = plat::CreateBitmap(kW, kH, 1, 1, nullptr);
            oldBitmap = plat::SelectObject(dc, bitmap);
            plat::BitBlt(dc, 0, 0, kW, kH, nullptr, 0, 0, plat::WHITENESS);
        } else {
            plat::core::Region window(plat::RECT{0, 0, kW, kH});
            window.subtract(plat::core::Region(plat::RECT{0, 30, 25, kH}));
            dc = plat::core::CreateSurfaceDc(s, c.origin, window, nullptr);
        }
        {
            SelectedFont f(dc, c.lf);
            plat::SetTextColor(dc, c.text0);
            plat::SetBkColor(dc, c.bk);
            plat::SetBkMode(dc, c.bkMode);
            plat::SetTextAlign(dc, c.align);
            if (c.scale != 1) {
                plat::SetMapMode(dc, plat::MM_ANISOTROPIC);
                plat::SetWindowExtEx(dc, 2, 2, nullptr);
                plat::SetViewportExtEx(dc, 2 * c.scale, 2 * c.scale, nullptr);
            }
            if (c.clip == 1) {
                plat::IntersectClipRect(dc, 5, 3, 60, 40);
            } else if (c.clip == 2) {
                plat::ExcludeClipRect(dc, 20, 10, 45, 30);
            } else if (c.clip == 3) {
                plat::IntersectClipRect(dc, 70, 40, 200, 200); // a corner only
            }
            plat::SetViewportOrgEx(dc, c.origin.x % 3, 0, nullptr);
            const plat::UINT n = static_cast<plat::UINT>(c.text.size());
            const int* dx = c.dx.empty() ? nullptr : c.dx.data();
            EXPECT_TRUE(plat::ExtTextOut(dc, c.x, c.y, c.options, &c.rect, c.text.data(), n, dx));
            // The same DC again, further down: kept clip and cached masks.
            EXPECT_TRUE(plat::ExtTextOut(dc, c.x + 3, c.y + 9, c.options & plat::ETO_CLIPPED,
                                         &c.rect, c.text.data(), n, dx));
            plat::SetViewportOrgEx(dc, 0, 0, nullptr);
            plat::SetMapMode(dc, plat::MM_TEXT);
            plat::SelectClipRgn(dc, nullptr);
            if (mono) {
                for (int y = 0; y < kH; ++y) {
                    for (int x = 0; x < kW; ++x) {
                        words.push_back(plat::GetPixel(dc, x, y));
                    }
                }
            }
        }
        if (mono) {
            plat::SelectObject(dc, oldBitmap);
            plat::DeleteObject(bitmap);
            plat::DeleteDC(dc);
        } else {
            plat::core::DestroySurfaceDc(dc);
            cairo_surface_flush(s);
            words.assign(data, data + kW * kH);
        }
        cairo_surface_destroy(s);
        plat::fontcore::SetTextBlitting(true);
        return words;
    };
    const plat::UINT aligns[] = {plat::TA_TOP, plat::TA_BASELINE, plat::TA_BOTTOM};
    const plat::UINT sides[] = {plat::TA_LEFT, plat::TA_RIGHT, plat::TA_CENTER};
    int inked = 0;
    for (int k = 0; k < 600; ++k) {
        Case c;
        c.lf = logFont(faces[pick(0, 10)], -pick(5, 34), pick(0, 1) != 0 ? plat::FW_BOLD : 400);
        c.lf.lfItalic = static_cast<plat::BYTE>(pick(0, 2) == 0);
        c.lf.lfUnderline = static_cast<plat::BYTE>(pick(0, 5) == 0);
        c.lf.lfStrikeOut = static_cast<plat::BYTE>(pick(0, 7) == 0);
        c.lf.lfEscapement = pick(0, 15) == 0 ? 900 : 0;
        for (int i = pick(0, 9); i > 0; --i) {
            c.text.push_back(static_cast<char>(pick(0, 5) == 0 ? pick(0x80, 0xFF) : pick(32, 126)));
        }
        if (pick(0, 4) == 0) {
            for (std::size_t i = 0; i < c.text.size(); ++i) {
                c.dx.push_back(pick(-3, 16));
            }
        }
        c.x = pick(-30, kW + 5);
        c.y = pick(-12, kH + 12);
        c.target = pick(0, 5) == 0 ? 2 : pick(0, 1);
        c.clip = pick(0, 3);
        c.scale = pick(0, 5) == 0 ? 2 : 1;
        c.align = aligns[pick(0, 2)] | sides[pick(0, 2)];
        c.options = static_cast<plat::UINT>(pick(0, 3)) * plat::ETO_OPAQUE; // OPAQUE | CLIPPED
        static_assert(plat::ETO_CLIPPED == 2 * plat::ETO_OPAQUE);
        c.rect = plat::RECT{pick(-10, 50), pick(-10, 30), pick(-10, 100), pick(-10, 60)};
        c.text0 = plat::RGB(pick(0, 255), pick(0, 255), pick(0, 255));
        c.bk = plat::RGB(pick(0, 255), pick(0, 255), pick(0, 255));
        c.bkMode = pick(0, 2) == 0 ? plat::OPAQUE : plat::TRANSPARENT;
        c.origin = plat::POINT{pick(-8, 8), pick(-8, 8)};
        if (k < 5) {
            // Hinted accents of this face pass the glyphs' metric bounds by a pixel: drawn
            // whole inside the clip, cut where the clip or the surface edge crosses the string,
            // or where the string lies across two rectangles of the clip.
            c.lf = logFont("Arial", -7);
            c.text = "\x8E\xC8\xBD\xCC";
            c.dx.clear();
            c.x = k == 1 ? -12 : k == 4 ? 30 : 4;
            c.y = k == 4 ? 34 : 30;
            c.clip = k == 2 ? 1 : 0;
            c.target = k == 3 ? 2 : 0;
            c.options = 0;
            c.align = plat::TA_BASELINE;
            c.origin = plat::POINT{0, 0};
        }
        if (k >= 5 && k < 40) {
            // Large sizes and wide spacing: glyphs far outside the target are only measured, and
            // sizes beyond those kept as masks are left to Cairo.
            c.lf.lfHeight = -pick(120, 400);
            c.dx.resize(c.text.size());
            for (int& d : c.dx) {
                d = pick(-300, 300);
            }
        }
        const std::vector<std::uint32_t> cairo = draw(c, false);
        const std::vector<std::uint32_t> masks = draw(c, true);
        ASSERT_EQ(masks, cairo) << "case " << k << ": " << c.lf.lfFaceName << " " << c.lf.lfHeight
                                << " \"" << c.text << "\" at " << c.x << "," << c.y;
        inked += cairo != draw(Case{c.lf,
                                    "",
                                    {},
                                    0,
                                    0,
                                    c.target,
                                    0,
                                    1,
                                    0,
                                    0,
                                    {},
                                    0,
                                    0,
                                    plat::TRANSPARENT,
                                    c.origin},
                               false)
                     ? 1
                     : 0;
    }
    EXPECT_GT(inked, 250); // most cases drew something

    // Upright text is drawn by the masks, rotated text is left to Cairo.
    std::vector<std::uint32_t> pixels(40 * 30, 0xFFFFFF);
    const std::vector<plat::RECT> all = {plat::RECT{0, 0, 40, 30}};
    plat::fontcore::PixelTarget target;
    target.data = reinterpret_cast<unsigned char*>(pixels.data());
    target.stride = 40 * 4;
    target.width = 40;
    target.height = 30;
    target.clip = &all;
    plat::fontcore::TextRun run;
    run.x = 3;
    run.y = 20;
    run.text = "Ag";
    run.count = 2;
    plat::fontcore::TextRunResult result;
    plat::LOGFONT lf = logFont("Arial", -16);
    auto upright = plat::fontcore::FontInstance::create(lf);
    lf.lfEscapement = 900;
    auto turned = plat::fontcore::FontInstance::create(lf);
    EXPECT_TRUE(plat::fontcore::BlitTextRun(target, *upright, run, &result));
    EXPECT_NE(std::count(pixels.begin(), pixels.end(), 0xFF000000u), 0);
    EXPECT_FALSE(plat::fontcore::BlitTextRun(target, *turned, run, &result));
}

TEST_F(FontApi, TextCostsWhatItDrawsNotWhatTheRunHolds) {
    // Glyph masks are rendered only for glyphs that can reach the target, and never at sizes
    // whose masks would outweigh what the text covers: a run spread far past a small bitmap, or
    // a huge font, renders (almost) nothing, whatever its spacing or size.
    plat::HDC dc = plat::CreateCompatibleDC(nullptr);
    plat::HBITMAP bitmap = plat::CreateBitmap(64, 48, 1, 32, nullptr);
    plat::HGDIOBJ old = plat::SelectObject(dc, bitmap);
    auto rendered = [&](int height, const std::string& text, int spacing, int y) {
        const std::uint64_t before = plat::fontcore::GlyphMaskPixelsRendered();
        SelectedFont f(dc, logFont("Arial", height));
        const std::vector<int> dx(text.size(), spacing);
        EXPECT_TRUE(plat::ExtTextOut(dc, 2, y, 0, nullptr, text.data(),
                                     static_cast<plat::UINT>(text.size()), dx.data()));
        return plat::fontcore::GlyphMaskPixelsRendered() - before;
    };
    // Each case at a size of its own, so that no mask is cached yet.
    const std::uint64_t one = rendered(-201, "A", 1000, 40);
    EXPECT_GT(one, 0u);
    EXPECT_LE(rendered(-202, "ABCDEFGHIJKLMNOP", 1000, 40), one * 5 / 4);
    EXPECT_LE(rendered(-203, "ABCDEFGHIJKLMNOP", -1000, 40), one * 5 / 4);
    EXPECT_EQ(rendered(-204, "ABCDEFGHIJKLMNOP", 20, 30000), 0u); // far below
    EXPECT_EQ(rendered(-3000, "ABCD", 0, 40), 0u);                // drawn by Cairo
    EXPECT_EQ(rendered(-3001, "ABCD", 0, 300000), 0u);
    plat::SelectObject(dc, old);
    plat::DeleteObject(bitmap);
    plat::DeleteDC(dc);

    // The metafiles that found this: a bold font scaled up to the largest size, a few glyphs
    // hundreds of thousands of pixels below a small bitmap.
    for (const char* name : {"slow-text.emf", "slow-text-2.emf", "slow-text-3.emf"}) {
        SCOPED_TRACE(name);
        std::ifstream in(std::string(KV_SOURCE_DIR) + "/tools/fuzz/corpus/emf/" + name,
                         std::ios::binary);
        const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in),
                                              std::istreambuf_iterator<char>()};
        ASSERT_FALSE(bytes.empty());
        plat::HENHMETAFILE emf =
            plat::SetEnhMetaFileBits(static_cast<plat::UINT>(bytes.size()), bytes.data());
        ASSERT_NE(emf, nullptr);
        plat::HDC target = plat::CreateCompatibleDC(nullptr);
        plat::HBITMAP pixels = plat::CreateBitmap(64, 48, 1, 32, nullptr);
        plat::HGDIOBJ previous = plat::SelectObject(target, pixels);
        const std::uint64_t before = plat::fontcore::GlyphMaskPixelsRendered();
        const plat::RECT dest{0, 0, 64, 48};
        plat::PlayEnhMetaFile(target, emf, &dest);
        EXPECT_LT(plat::fontcore::GlyphMaskPixelsRendered() - before, 64u * 48u * 16u);
        plat::SelectObject(target, previous);
        plat::DeleteObject(pixels);
        plat::DeleteDC(target);
        plat::DeleteEnhMetaFile(emf);
    }
}

} // namespace
} // namespace kvtest
