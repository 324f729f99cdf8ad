#include "core/gdi/Raster.h"

#include "GdiCanvas.h"

#include <functional>
#include <gtest/gtest.h>
#include <random>
#include <string>

namespace {

using namespace plat;
using plat::core::Rop2;
using plat::core::Rop3;

struct Rop3Case {
    const char* name;
    DWORD rop;
    std::function<std::uint32_t(std::uint32_t, std::uint32_t, std::uint32_t)> expected;
};

// Each documented code against its boolean definition, on random words.
TEST(Rop3, NamedCodesMatchTheirDefinitions) {
    const Rop3Case cases[] = {
        {"SRCCOPY", SRCCOPY, [](auto, auto s, auto) { return s; }},
        {"SRCPAINT", SRCPAINT, [](auto, auto s, auto d) { return s | d; }},
        {"SRCAND", SRCAND, [](auto, auto s, auto d) { return s & d; }},
        {"SRCINVERT", SRCINVERT, [](auto, auto s, auto d) { return s ^ d; }},
        {"SRCERASE", SRCERASE, [](auto, auto s, auto d) { return s & ~d; }},
        {"NOTSRCCOPY", NOTSRCCOPY, [](auto, auto s, auto) { return ~s; }},
        {"NOTSRCERASE", NOTSRCERASE, [](auto, auto s, auto d) { return ~(s | d); }},
        {"MERGECOPY", MERGECOPY, [](auto p, auto s, auto) { return p & s; }},
        {"MERGEPAINT", MERGEPAINT, [](auto, auto s, auto d) { return ~s | d; }},
        {"PATCOPY", PATCOPY, [](auto p, auto, auto) { return p; }},
        {"PATPAINT", PATPAINT, [](auto p, auto s, auto d) { return p | ~s | d; }},
        {"PATINVERT", PATINVERT, [](auto p, auto, auto d) { return p ^ d; }},
        {"DSTINVERT", DSTINVERT, [](auto, auto, auto d) { return ~d; }},
        {"BLACKNESS", BLACKNESS, [](auto, auto, auto) { return 0u; }},
        {"WHITENESS", WHITENESS, [](auto, auto, auto) { return 0xFFFFFFu; }},
    };
    std::mt19937 rng(7);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (int i = 0; i < 50; ++i) {
            const std::uint32_t p = rng() & 0xFFFFFF, s = rng() & 0xFFFFFF, d = rng() & 0xFFFFFF;
            EXPECT_EQ(Rop3(static_cast<std::uint8_t>(c.rop >> 16), p, s, d),
                      c.expected(p, s, d) & 0xFFFFFF);
        }
    }
}

TEST(Rop2, AllSixteenModesMatchTheirDefinitions) {
    const std::function<std::uint32_t(std::uint32_t, std::uint32_t)> defs[16] = {
        [](auto, auto) { return 0u; },           // R2_BLACK
        [](auto p, auto d) { return ~(p | d); }, // R2_NOTMERGEPEN
        [](auto p, auto d) { return ~p & d; },   // R2_MASKNOTPEN
        [](auto p, auto) { return ~p; },         // R2_NOTCOPYPEN
        [](auto p, auto d) { return p & ~d; },   // R2_MASKPENNOT
        [](auto, auto d) { return ~d; },         // R2_NOT
        [](auto p, auto d) { return p ^ d; },    // R2_XORPEN
        [](auto p, auto d) { return ~(p & d); }, // R2_NOTMASKPEN
        [](auto p, auto d) { return p & d; },    // R2_MASKPEN
        [](auto p, auto d) { return ~(p ^ d); }, // R2_NOTXORPEN
        [](auto, auto d) { return d; },          // R2_NOP
        [](auto p, auto d) { return ~p | d; },   // R2_MERGENOTPEN
        [](auto p, auto) { return p; },          // R2_COPYPEN
        [](auto p, auto d) { return p | ~d; },   // R2_MERGEPENNOT
        [](auto p, auto d) { return p | d; },    // R2_MERGEPEN
        [](auto, auto) { return 0xFFFFFFu; },    // R2_WHITE
    };
    std::mt19937 rng(11);
    for (int mode = R2_BLACK; mode <= R2_WHITE; ++mode) {
        SCOPED_TRACE(mode);
        for (int i = 0; i < 50; ++i) {
            const std::uint32_t p = rng() & 0xFFFFFF, d = rng() & 0xFFFFFF;
            EXPECT_EQ(Rop2(mode, p, d), defs[mode - 1](p, d) & 0xFFFFFF);
        }
    }
}

TEST(CosmeticLine, EveryOctantIsConnectedAndStopsBeforeTheEnd) {
    const int ends[][2] = {{20, 3},  {3, 20},  {-3, 20}, {-20, 3}, {-20, -3}, {-3, -20},
                           {3, -20}, {20, -3}, {7, 7},   {0, 9},   {9, 0}};
    for (const auto& e : ends) {
        SCOPED_TRACE(testing::Message() << e[0] << "," << e[1]);
        plat::core::Coverage cov(RECT{-30, -30, 30, 30});
        plat::core::LineStyle ls;
        plat::core::CosmeticLine(cov, 0, 0, e[0], e[1], false, ls);
        int n = 0;
        for (int y = -30; y < 30; ++y)
            for (int x = -30; x < 30; ++x)
                n += cov.at(x, y) != plat::core::kNoInk;
        EXPECT_EQ(n, std::max(std::abs(e[0]), std::abs(e[1])));
        EXPECT_NE(cov.at(0, 0), plat::core::kNoInk);
        EXPECT_EQ(cov.at(e[0], e[1]), plat::core::kNoInk);
        // Every marked pixel but the first has a marked 8-neighbour nearer the start.
        for (int y = -30; y < 30; ++y)
            for (int x = -30; x < 30; ++x) {
                if (cov.at(x, y) == plat::core::kNoInk || (x == 0 && y == 0))
                    continue;
                bool linked = false;
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx)
                        if ((dx || dy) && std::abs(x + dx) <= std::abs(x) &&
                            std::abs(y + dy) <= std::abs(y) && cov.at(x + dx, y + dy))
                            linked = true;
                EXPECT_TRUE(linked) << x << "," << y;
            }
    }
}

} // namespace

namespace {

// Operations that ignore the destination take a stored-value path in Apply: every covered pixel
// inside the clip, and nothing else, must get exactly what the per-pixel definition gives, the
// fourth byte kept.
TEST(Apply, DestinationFreeOperationsMatchThePerPixelDefinition) {
    struct Op {
        bool ternary;
        int code;
    };
    const Op ops[] = {
        {false, R2_BLACK}, {false, R2_NOTCOPYPEN}, {false, R2_COPYPEN}, {false, R2_WHITE},
        {true, 0x00},      {true, 0x0F},           {true, 0xF0},        {true, 0xFF}};
    std::mt19937 gen(11);
    auto rnd = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(gen); };
    for (int round = 0; round < 64; ++round) {
        const Op& o = ops[round % 8];
        SCOPED_TRACE(testing::Message() << "round " << round);
        kvtest::GdiCanvas c(40, 30);
        cairo_surface_t* s = c.surface();
        cairo_surface_flush(s);
        unsigned char* data = cairo_image_surface_get_data(s);
        const int stride = cairo_image_surface_get_stride(s);
        for (int y = 0; y < 30; ++y)
            for (int x = 0; x < 40; ++x)
                reinterpret_cast<std::uint32_t*>(data + y * stride)[x] =
                    static_cast<std::uint32_t>(gen());
        cairo_surface_mark_dirty(s);
        HRGN clip = CreateRectRgn(rnd(-5, 20), rnd(-5, 15), rnd(10, 45), rnd(8, 35));
        HRGN more = CreateRectRgn(rnd(0, 30), rnd(0, 20), rnd(20, 40), rnd(15, 30));
        CombineRgn(clip, clip, more, round % 3 ? RGN_OR : RGN_XOR);
        SelectClipRgn(c.dc(), clip);
        core::Coverage cov(RECT{rnd(-8, 20), rnd(-8, 15), rnd(15, 48), rnd(10, 38)});
        for (int y = cov.box().top; y < cov.box().bottom; ++y)
            for (int x = cov.box().left; x < cov.box().right; ++x)
                cov.set(x, y, static_cast<std::uint8_t>(rnd(0, 4)));
        core::PaintOp op;
        op.ternary = o.ternary;
        op.rop2 = o.ternary ? R2_COPYPEN : o.code;
        op.rop3 = static_cast<std::uint8_t>(o.ternary ? o.code : 0xCC);
        for (core::InkColor* ink : {&op.pen, &op.gap, &op.brush}) {
            ink->present = rnd(0, 3) != 0;
            ink->solid = static_cast<std::uint32_t>(gen()) & 0xFFFFFF;
        }
        std::vector<std::uint32_t> expected(40 * 30);
        for (int y = 0; y < 30; ++y)
            for (int x = 0; x < 40; ++x) {
                const std::uint32_t d = reinterpret_cast<std::uint32_t*>(data + y * stride)[x];
                std::uint32_t& e = expected[static_cast<std::size_t>(y * 40 + x)];
                e = d;
                const RECT& b = cov.box();
                if (!PtInRegion(clip, x, y) || x < b.left || x >= b.right || y < b.top ||
                    y >= b.bottom || cov.at(x, y) == core::kNoInk)
                    continue;
                const std::uint8_t k = cov.at(x, y);
                const core::InkColor& ink = k == core::kPenInk   ? op.pen
                                            : k == core::kGapInk ? op.gap
                                                                 : op.brush;
                if (o.ternary)
                    e = (d & 0xFF000000) |
                        Rop3(op.rop3, op.brush.present ? op.brush.solid : 0, 0, d & 0xFFFFFF);
                else if (ink.present)
                    e = (d & 0xFF000000) | Rop2(op.rop2, ink.solid, d & 0xFFFFFF);
            }
        ASSERT_TRUE(core::Apply(*core::LookupDc(c.dc(), "test"), cov, op));
        cairo_surface_flush(s);
        for (int y = 0; y < 30; ++y)
            for (int x = 0; x < 40; ++x)
                ASSERT_EQ(reinterpret_cast<std::uint32_t*>(data + y * stride)[x],
                          expected[static_cast<std::size_t>(y * 40 + x)])
                    << "at " << x << "," << y;
        SelectClipRgn(c.dc(), nullptr);
        DeleteObject(more);
        DeleteObject(clip);
    }
}

} // namespace
