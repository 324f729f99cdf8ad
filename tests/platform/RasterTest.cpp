#include "core/gdi/Raster.h"

#include <functional>
#include <gtest/gtest.h>
#include <random>

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
