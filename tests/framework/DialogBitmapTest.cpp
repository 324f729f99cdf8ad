// Pictures in dialogs drawn with white as the transparent colour, over a grey dialog background:
// white shows the background, every other colour (near-white ones too) stays exactly as it is.
#include "ErrorFixture.h"
#include "OverPc/shell/CQVApp.h"
#include "OverPc/shell/DialogItems.h"
#include "plat/Dialog.h"
#include "plat/Gdi.h"
#include "plat/Resources.h"
#include "plat/Testing.h"
#include "plat/Window.h"

#include <cstdint>
#include <gtest/gtest.h>

const plat::ResourceTables& DlgBitmapTestResourceTables();

namespace {

constexpr int kPicture = 19100;
// The dialog face: a grey whose AND with a colour would change that colour.
constexpr std::uint32_t kFace = 0xC0C0C0;

// The picture, 4 x 2 pixels as 0xRRGGBB.
constexpr std::uint32_t kPixels[2][4] = {{0xFFFFFF, 0x2080E0, 0xFEFFFF, 0x000000},
                                         {0xFF0000, 0xFFFFFF, 0xFFFFE0, 0x808080}};

class DialogBitmapTest : public kvtest::ErrorFixture {
protected:
    void SetUp() override {
        ErrorFixture::SetUp();
        plat::RegisterBuiltinResources(DlgBitmapTestResourceTables());
        plat::WNDCLASS wc;
        wc.lpfnWndProc = &plat::DefWindowProc;
        wc.lpszClassName = "KvDialogBitmapTestWindow";
        plat::RegisterClass(&wc); // refused when already registered: fine
        m_window = plat::CreateWindowEx(0, "KvDialogBitmapTestWindow", "w",
                                        plat::WS_POPUP | plat::WS_VISIBLE, 0, 0, 120, 80, nullptr,
                                        nullptr, nullptr, nullptr);
    }
    void TearDown() override {
        if (m_window)
            plat::DestroyWindow(m_window);
        ErrorFixture::TearDown();
    }
    // Paints the face, then the picture at dialog units (x, y); answers the picture's top-left
    // pixel.
    std::pair<int, int> draw(int x, int y, int flags) {
        plat::HDC dc = plat::GetDC(m_window);
        plat::RECT all{0, 0, 120, 80};
        plat::HBRUSH face = plat::CreateSolidBrush(plat::RGB(0xC0, 0xC0, 0xC0));
        plat::FillRect(dc, &all, face);
        plat::DeleteObject(face);
        EXPECT_TRUE(DrawDialogBitmap(m_window, dc, kPicture, x, y, flags));
        plat::ReleaseDC(m_window, dc);
        const plat::LONG base = plat::GetDialogBaseUnits();
        return {x * plat::LOWORD(base) / 4, y * plat::HIWORD(base) / 8};
    }
    plat::HWND m_window = nullptr;
};

TEST_F(DialogBitmapTest, WhiteShowsTheFaceAndEveryOtherColourStaysAsItIs) {
    ASSERT_NE(m_window, nullptr);
    struct Case {
        const char* name;
        int flags;
    };
    for (const Case c : {Case{"copied", 0}, Case{"transparent", kBitmapTransparent}}) {
        SCOPED_TRACE(c.name);
        const auto [px, py] = draw(4, 8, c.flags);
        const plat::testing::Image image = plat::testing::pixels(m_window);
        for (int y = 0; y < 2; ++y) {
            for (int x = 0; x < 4; ++x) {
                SCOPED_TRACE(testing::Message() << "pixel " << x << "," << y);
                const std::uint32_t own = kPixels[y][x];
                const bool showsFace = (c.flags & kBitmapTransparent) && own == 0xFFFFFF;
                EXPECT_EQ(image.at(px + x, py + y), showsFace ? kFace : own);
            }
        }
        // Nothing outside the picture is touched.
        EXPECT_EQ(image.at(px - 1, py), kFace);
        EXPECT_EQ(image.at(px + 4, py + 1), kFace);
        EXPECT_EQ(image.at(px, py + 2), kFace);
    }
}

TEST_F(DialogBitmapTest, TransparentAndFramedKeepsTheFrameBlack) {
    ASSERT_NE(m_window, nullptr);
    const auto [px, py] = draw(4, 8, kBitmapTransparent | kBitmapFramed);
    const plat::testing::Image image = plat::testing::pixels(m_window);
    for (int x = -1; x <= 4; ++x) {
        EXPECT_EQ(image.at(px + x, py - 1), 0x000000u) << x;
        EXPECT_EQ(image.at(px + x, py + 2), 0x000000u) << x;
    }
    EXPECT_EQ(image.at(px, py), kFace); // white inside the frame
    EXPECT_EQ(image.at(px + 1, py), 0x2080E0u);
    EXPECT_EQ(image.at(px - 2, py), kFace);
}

} // namespace
