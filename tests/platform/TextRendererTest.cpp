// Drawing text runs on image surfaces: positions, alignment, backgrounds, clipping, decorations,
// rotation and synthetic styles, plus exact reference images of every face.
//
// Reference images live in tests/golden/font/ (its README says how to regenerate them).

#include "core/font/TextRenderer.h"

#include "support/FontPin.h"
#include "support/Golden.h"

#include <algorithm>
#include <cairo.h>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace kvtest {
namespace {

using plat::fontcore::DrawTextRun;
using plat::fontcore::FontInstance;
using plat::fontcore::TextRun;

constexpr plat::COLORREF kWhite = 0xFFFFFF;
constexpr plat::COLORREF kBlack = 0x000000;
constexpr plat::COLORREF kRed = 0x0000FF; // 0x00bbggrr
constexpr plat::COLORREF kYellow = 0x00FFFF;

class Image {
public:
    Image(int w, int h)
        : m_surface(cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h))
        , m_cr(cairo_create(m_surface)) {
        cairo_set_source_rgb(m_cr, 1, 1, 1);
        cairo_paint(m_cr);
    }
    ~Image() {
        cairo_destroy(m_cr);
        cairo_surface_destroy(m_surface);
    }
    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;

    cairo_t* cr() const { return m_cr; }
    cairo_surface_t* surface() const { return m_surface; }
    int width() const { return cairo_image_surface_get_width(m_surface); }
    int height() const { return cairo_image_surface_get_height(m_surface); }
    // As a COLORREF (0x00bbggrr).
    plat::COLORREF at(int x, int y) const {
        cairo_surface_flush(m_surface);
        const auto* row =
            cairo_image_surface_get_data(m_surface) + y * cairo_image_surface_get_stride(m_surface);
        std::uint32_t px;
        std::memcpy(&px, row + x * 4, 4);
        return plat::RGB(static_cast<plat::BYTE>(px >> 16), static_cast<plat::BYTE>(px >> 8),
                         static_cast<plat::BYTE>(px));
    }
    bool sameAs(const Image& other) const {
        if (width() != other.width() || height() != other.height()) {
            return false;
        }
        for (int y = 0; y < height(); ++y) {
            for (int x = 0; x < width(); ++x) {
                if (at(x, y) != other.at(x, y)) {
                    return false;
                }
            }
        }
        return true;
    }
    int count(plat::COLORREF c) const {
        int n = 0;
        for (int y = 0; y < height(); ++y) {
            for (int x = 0; x < width(); ++x) {
                n += at(x, y) == c ? 1 : 0;
            }
        }
        return n;
    }

private:
    cairo_surface_t* m_surface;
    cairo_t* m_cr;
};

std::shared_ptr<FontInstance> makeFont(const char* face, int ppem, int weight = 400,
                                       bool italic = false, bool underline = false,
                                       int escapement = 0) {
    plat::LOGFONT lf;
    lf.lfHeight = -ppem;
    lf.lfWeight = weight;
    lf.lfItalic = italic ? 1 : 0;
    lf.lfUnderline = underline ? 1 : 0;
    lf.lfEscapement = escapement;
    std::strncpy(lf.lfFaceName, face, plat::LF_FACESIZE - 1);
    auto font = FontInstance::create(lf);
    EXPECT_TRUE(font);
    return font;
}

TextRun run(const std::string& text, double x, double y, plat::UINT align = plat::TA_BASELINE) {
    TextRun r;
    r.x = x;
    r.y = y;
    r.align = align;
    r.text = text.data();
    r.count = text.size();
    r.textColor = kBlack;
    r.bkColor = kYellow;
    return r;
}

using TextRenderer = FontPin;

TEST_F(TextRenderer, GlyphsAreMonochrome) {
    Image img(200, 40);
    const std::string text = "Quick brown fox, \xE9t\xE9";
    TextRun r = run(text, 5, 28);
    r.textColor = kRed;
    DrawTextRun(img.cr(), *makeFont("Times New Roman", 19, 400, true), r);
    EXPECT_GT(img.count(kRed), 50);
    EXPECT_EQ(img.count(kRed) + img.count(kWhite), img.width() * img.height());
}

TEST_F(TextRenderer, RunIsDrawnExactlyAsMeasured) {
    // Drawing a text in one run or piece by piece at the measured advances gives the same image:
    // nothing is kerned or repositioned.
    for (const char* face : {"Arial", "Times New Roman", "Courier", "Symbol"}) {
        SCOPED_TRACE(face);
        auto font = makeFont(face, 17);
        const std::string text = "AVAWAY To, fi 1/2";
        Image whole(260, 30), pieces(260, 30);
        DrawTextRun(whole.cr(), *font, run(text, 3, 22));
        long x = 3;
        for (std::size_t i = 0; i < text.size(); i += 3) {
            const std::string piece = text.substr(i, 3);
            DrawTextRun(pieces.cr(), *font, run(piece, static_cast<double>(x), 22));
            x += font->extent(piece.data(), piece.size());
        }
        EXPECT_TRUE(whole.sameAs(pieces));
    }
}

TEST_F(TextRenderer, AlignmentMovesTheRunByItsMetrics) {
    auto font = makeFont("Arial", 20);
    const std::string text = "Alignment";
    const long width = font->extent(text.data(), text.size());
    const plat::TEXTMETRIC& tm = font->textMetrics();
    Image baseline(200, 60);
    DrawTextRun(baseline.cr(), *font, run(text, 10, 30));
    struct Case {
        plat::UINT align;
        double x;
        double y;
    };
    const Case cases[] = {
        {plat::TA_TOP | plat::TA_LEFT, 10, 30.0 - tm.tmAscent},
        {plat::TA_BOTTOM | plat::TA_LEFT, 10, 30.0 + tm.tmDescent},
        {plat::TA_BASELINE | plat::TA_RIGHT, 10.0 + width, 30},
        {plat::TA_BASELINE | plat::TA_CENTER, 10.0 + width / 2, 30},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.align);
        Image img(200, 60);
        const auto result = DrawTextRun(img.cr(), *font, run(text, c.x, c.y, c.align));
        EXPECT_TRUE(img.sameAs(baseline));
        EXPECT_EQ(result.advance, width);
    }
}

TEST_F(TextRenderer, OpaqueModeFillsExactlyTheTextCell) {
    auto font = makeFont("Courier New", 15);
    const std::string text = "cell";
    const long width = font->extent(text.data(), text.size());
    const plat::TEXTMETRIC& tm = font->textMetrics();
    Image img(100, 40);
    TextRun r = run(text, 7, 5, plat::TA_TOP);
    r.opaqueBackground = true;
    const auto result = DrawTextRun(img.cr(), *font, r);
    for (int y = 0; y < img.height(); ++y) {
        for (int x = 0; x < img.width(); ++x) {
            const bool inCell = x >= 7 && x < 7 + width && y >= 5 && y < 5 + tm.tmHeight;
            const plat::COLORREF c = img.at(x, y);
            if (inCell) {
                ASSERT_TRUE(c == kYellow || c == kBlack) << x << "," << y;
            } else {
                ASSERT_EQ(c, kWhite) << x << "," << y;
            }
        }
    }
    EXPECT_GT(img.count(kBlack), 20);
    EXPECT_TRUE(result.anyTouched);
    EXPECT_LE(result.touched.left, 7);
    EXPECT_LE(result.touched.top, 5);
    EXPECT_GE(result.touched.right, 7 + width);
    EXPECT_GE(result.touched.bottom, 5 + tm.tmHeight);
}

TEST_F(TextRenderer, ClippedOpaqueRectangle) {
    auto font = makeFont("Arial", 24);
    const std::string text = "Clipped text";
    Image img(200, 50);
    const plat::RECT rect{20, 10, 90, 30};
    TextRun r = run(text, 5, 32);
    r.options = plat::ETO_OPAQUE | plat::ETO_CLIPPED;
    r.rect = &rect;
    const auto result = DrawTextRun(img.cr(), *font, r);
    int ink = 0;
    for (int y = 0; y < img.height(); ++y) {
        for (int x = 0; x < img.width(); ++x) {
            const bool inside = x >= 20 && x < 90 && y >= 10 && y < 30;
            const plat::COLORREF c = img.at(x, y);
            if (inside) {
                ASSERT_TRUE(c == kYellow || c == kBlack) << x << "," << y;
                ink += c == kBlack ? 1 : 0;
            } else {
                ASSERT_EQ(c, kWhite) << x << "," << y;
            }
        }
    }
    EXPECT_GT(ink, 20);
    EXPECT_EQ(result.touched.left, 20);
    EXPECT_EQ(result.touched.top, 10);
    EXPECT_EQ(result.touched.right, 90);
    EXPECT_EQ(result.touched.bottom, 30);

    // The opaque rectangle is filled even for an empty text.
    Image empty(50, 50);
    TextRun e = run("", 0, 0);
    e.options = plat::ETO_OPAQUE;
    const plat::RECT small{1, 2, 4, 7};
    e.rect = &small;
    DrawTextRun(empty.cr(), *font, e);
    EXPECT_EQ(empty.count(kYellow), 3 * 5);
}

TEST_F(TextRenderer, UnderlineFollowsThePostTable) {
    auto font = makeFont("Times New Roman", 30, 400, false, true);
    const std::string text = "under";
    const long width = font->extent(text.data(), text.size());
    Image img(150, 50);
    DrawTextRun(img.cr(), *font, run(text, 4, 30));
    const int top = 30 + font->underlineOffset();
    EXPECT_GT(font->underlineOffset(), 0); // below the baseline
    for (int y = top; y < top + font->underlineThickness(); ++y) {
        for (int x = 4; x < 4 + width; ++x) {
            ASSERT_EQ(img.at(x, y), kBlack) << x << "," << y;
        }
    }
    EXPECT_EQ(img.at(3, top), kWhite);
    EXPECT_EQ(img.at(4 + static_cast<int>(width), top), kWhite);
    // At the smallest sizes the line is still one pixel thick.
    EXPECT_EQ(makeFont("Times New Roman", 4, 400, false, true)->underlineThickness(), 1);
}

TEST_F(TextRenderer, QuarterTurnsAdvanceExactly) {
    // Rotated a quarter turn anticlockwise, the run goes up from the reference point and the
    // pen advances by exactly the measured width.
    auto flat = makeFont("Arial", 18);
    auto up = makeFont("Arial", 18, 400, false, false, 900);
    auto down = makeFont("Arial", 18, 400, false, false, -900);
    const std::string text = "Turn";
    const long width = flat->extent(text.data(), text.size());
    Image a(120, 120);
    const auto r = DrawTextRun(a.cr(), *up, run(text, 60, 100));
    EXPECT_EQ(r.advance, width);
    // Ink is above the reference point, within the rotated cell.
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            if (a.at(x, y) == kBlack) {
                ASSERT_LE(y, 100);
                ASSERT_GE(y, 100 - width - 2);
                ASSERT_LT(x, 60 + flat->textMetrics().tmDescent + 1);
                ASSERT_GE(x, 60 - flat->textMetrics().tmAscent);
            }
        }
    }
    EXPECT_GT(a.count(kBlack), 30);
    // A quarter turn one way and the other: the second image is the first turned a half turn.
    Image b(120, 120);
    DrawTextRun(b.cr(), *down, run(text, 60, 20));
    // Pixel (x, y) turned a half turn about (60, 60), the midpoint of the two reference points,
    // is pixel (119 - x, 119 - y).
    int mismatches = 0;
    for (int y = 0; y < 120; ++y) {
        for (int x = 0; x < 120; ++x) {
            mismatches += (a.at(x, y) == kBlack) != (b.at(119 - x, 119 - y) == kBlack) ? 1 : 0;
        }
    }
    EXPECT_EQ(mismatches, 0);
}

TEST_F(TextRenderer, SyntheticBoldIsAOnePixelOverstrike) {
    auto regular = makeFont("Symbol", 26);
    auto bold = makeFont("Symbol", 26, 700);
    ASSERT_TRUE(bold->links().front().syntheticBold);
    const std::string glyph = "S";
    Image once(60, 40), twice(60, 40), expected(60, 40);
    DrawTextRun(twice.cr(), *bold, run(glyph, 10, 30));
    DrawTextRun(expected.cr(), *regular, run(glyph, 10, 30));
    DrawTextRun(expected.cr(), *regular, run(glyph, 11, 30));
    DrawTextRun(once.cr(), *regular, run(glyph, 10, 30));
    EXPECT_TRUE(twice.sameAs(expected));
    EXPECT_GT(twice.count(kBlack), once.count(kBlack));
}

TEST_F(TextRenderer, SyntheticItalicLeansRight) {
    auto roman = makeFont("DejaVu Sans", 40);
    auto italic = makeFont("DejaVu Sans", 40, 400, true);
    ASSERT_TRUE(italic->links().front().syntheticItalic);
    Image r(60, 60), i(60, 60);
    DrawTextRun(r.cr(), *roman, run("l", 20, 50));
    DrawTextRun(i.cr(), *italic, run("l", 20, 50));
    // The stem's top row moves right by about a fifth of the height, the bottom row stays.
    auto firstInk = [](const Image& img, int y) {
        for (int x = 0; x < img.width(); ++x) {
            if (img.at(x, y) == kBlack) {
                return x;
            }
        }
        return -1;
    };
    int topRow = 0;
    while (topRow < 50 && firstInk(r, topRow) < 0) {
        ++topRow;
    }
    ASSERT_LT(topRow, 45);
    ASSERT_GE(firstInk(i, topRow), 0);
    EXPECT_NEAR(firstInk(i, 49), firstInk(r, 49), 1);
    EXPECT_NEAR(firstInk(i, topRow) - firstInk(r, topRow), 0.2 * (50 - topRow), 1.5);
}

// One reference image per face: regular, bold, italic, bold italic, underline, and Greek or
// accented text.
class TextRendererGolden : public FontPin, public ::testing::WithParamInterface<const char*> {};

TEST_P(TextRendererGolden, MatchesTheReferenceImage) {
    const std::string face = GetParam();
    const bool symbol = face == "Symbol" || face == "Rudize";
    const std::string sample =
        symbol ? std::string("abgdp SDW \xB6\xE5\xF2\xA5 \xB9\xA3\xB3 \xC5\xC4 \xAC\xAE")
               : std::string("Hamburgefonts 0123 \xE9\xE8\xFC\xDF \x80 AVfi");
    Image img(320, 150);
    struct Style {
        int weight;
        bool italic;
        bool underline;
    };
    double y = 20;
    for (Style s : {Style{400, false, false}, Style{700, false, false}, Style{400, true, false},
                    Style{700, true, false}, Style{400, false, true}}) {
        auto font = makeFont(face.c_str(), 16, s.weight, s.italic, s.underline);
        DrawTextRun(img.cr(), *font, run(sample, 4, y));
        y += 22;
    }
    auto small = makeFont(face.c_str(), 11);
    DrawTextRun(img.cr(), *small, run(sample, 4, y + 10));

    std::string name = face;
    for (char& c : name) {
        c = c == ' ' ? '_' : c;
    }
    EXPECT_TRUE(MatchesGolden(img.surface(), "font/" + name));
}

INSTANTIATE_TEST_SUITE_P(Faces, TextRendererGolden,
                         ::testing::Values("Arial", "Courier", "Courier New", "DejaVu Sans",
                                           "DejaVu Sans Mono", "DejaVu Serif", "Helvetica",
                                           "Rudize", "Symbol", "Times", "Times New Roman"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             std::string n = info.param;
                             n.erase(std::remove(n.begin(), n.end(), ' '), n.end());
                             return n;
                         });

} // namespace
} // namespace kvtest
