// Bitmap files that carry their expression: saved from the front document window and opened
// again as an editable expression, on the headless back end.

#include "OverPc/documents/DibCarrier.h"

#include "ExprSrcs/EPane.h"
#include "ExprSrcs/ExprFilePane.h"
#include "OverPc/PERROR.h"
#include "OverPc/PFILE.h"
#include "OverPc/shell/CQVApp.h"
#include "OverPc/shell/PMENU.h"
#include "OverSrcs/commands/kEdit.h"
#include "OverSrcs/eModelHooks.h"
#include "OverSrcs/etEncode.h"
#include "app/AppDocumentFixture.h"
#include "plat/Dialog.h"
#include "plat/Testing.h"
#include "plat/TestingSys.h"
#include "plat/Window.h"
#include "platform/SysTempDir.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace kvtest {
namespace {

uint32_t le32(const std::string& bytes, size_t at) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = v << 8 | static_cast<uint8_t>(bytes[at + static_cast<size_t>(i)]);
    return v;
}

using DibCarrierTest = AppDocumentFixture;

TEST_F(DibCarrierTest, ASavedBitmapOpensAgainAsTheSameExpression) {
    ExprFilePane* pane = typed("x+1");
    ASSERT_TRUE(pane->changed());
    const std::string before = ExprEncodingText(pane->expression());
    ASSERT_NE(before.find("]|Expr|["), std::string::npos);

    // A changed document asks for the name.
    plat::testing::answerFileDialog(m_dir / "eq.bmp");
    ASSERT_TRUE(SaveBitmapFile(false));
    const std::string file = ReadFileBytes(m_dir / "eq.bmp");
    std::size_t offset = 0, size = 0;
    ASSERT_TRUE(
        CheckBitmapFile(reinterpret_cast<const uint8_t*>(file.data()), file.size(), offset, size));

    // 24 bits, bottom-up, the laid-out size; ink somewhere, paper in the corners.
    const uint32_t width = le32(file, 18), height = le32(file, 22);
    EXPECT_GT(width, 10u);
    EXPECT_GT(height, 5u);
    EXPECT_EQ(file[28], 24);
    const uint32_t rowBytes = (width * 3 + 3) / 4 * 4;
    const size_t bits = le32(file, 10);
    ASSERT_EQ(bits, 54u);
    bool ink = false;
    for (size_t i = 0; i < rowBytes * height; ++i)
        ink = ink || static_cast<uint8_t>(file[bits + i]) < 128;
    EXPECT_TRUE(ink);
    EXPECT_EQ(static_cast<uint8_t>(file[bits]), 255);
    // The encoding follows the rows, ended by a zero byte.
    const std::string after = file.substr(bits + rowBytes * height);
    EXPECT_EQ(after, before + std::string(1, '\0'));

    OpenBitmapFile((m_dir / "eq.bmp").c_str());
    plat::testing::runUntilIdle();
    ASSERT_NE(OpenDocumentList, pane);
    ExprFilePane* opened = OpenDocumentList;
    EXPECT_EQ(opened->fileName(), "eq.bmp");
    EXPECT_EQ(opened->saveType(), 13);
    EXPECT_EQ(ExprEncodingText(opened->expression()), before);
    EXPECT_TRUE(plat::testing::messageBoxes().empty());

    // The opened document is unchanged, so saving it again needs no question and rewrites the
    // same file.
    opened->takeFocus();
    plat::testing::runUntilIdle();
    ASSERT_TRUE(SaveBitmapFile(false));
    EXPECT_EQ(ReadFileBytes(m_dir / "eq.bmp"), file);
}

TEST_F(DibCarrierTest, ABitmapWithoutAReadableExpressionOpensNothing) {
    ExprFilePane* pane = typed("ab");
    plat::testing::answerFileDialog(m_dir / "eq.bmp");
    ASSERT_TRUE(SaveBitmapFile(false));
    std::string file = ReadFileBytes(m_dir / "eq.bmp");
    const size_t marker = file.find("]|Expr|[");
    ASSERT_NE(marker, std::string::npos);

    const struct {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"no encoding", file.substr(0, marker)},
        {"encoding cut short", file.substr(0, marker + 12)},
        {"damaged encoding", file.substr(0, marker + 8) + "\x01\x02garbage]|["},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::string bytes = c.bytes;
        // Keep the file header's size honest, so only the encoding is at fault.
        const auto total = static_cast<uint32_t>(bytes.size());
        for (int i = 0; i < 4; ++i)
            bytes[2 + static_cast<size_t>(i)] = static_cast<char>(total >> (8 * i));
        WriteFileBytes(m_dir / "bad.bmp", bytes);
        const size_t boxes = plat::testing::messageBoxes().size();
        plat::testing::onMessageBox(
            [](const plat::testing::MessageBoxCall&) { return plat::IDOK; });
        OpenBitmapFile((m_dir / "bad.bmp").c_str());
        plat::testing::runUntilIdle();
        EXPECT_EQ(OpenDocumentList, pane);
        ASSERT_EQ(plat::testing::messageBoxes().size(), boxes + 1);
        EXPECT_NE(plat::testing::messageBoxes().back().text.find("aucune expression lisible"),
                  std::string::npos)
            << plat::testing::messageBoxes().back().text;
    }
}

// The platform's bitmap limit, and the resolution a picture past it is drawn at: the limit
// agrees with the bitmaps the platform makes, and the lowered resolution is the highest that
// fits, each way and in all, just below, at, just past and ten times past the limit.
TEST(BitmapLimitTest, APictureLargerThanThePlatformHoldsIsDrawnAtTheResolutionThatFits) {
    constexpr int32_t kDpi = 96;
    constexpr int64_t side = plat::kLargestBitmapSide;
    constexpr int64_t square = 8192; // square x square is the pixel limit
    static_assert(square * square == plat::kLargestBitmapPixels);
    const struct {
        int64_t width, height;
        bool fits;
        int32_t dpi; // the resolution it is drawn at
        bool makeIt; // the platform is asked to make the bitmap too
    } rows[] = {
        {side - 1, 16, true, kDpi, true},
        {side, 16, true, kDpi, true},
        {side + 1, 16, false, kDpi - 1, true},
        {side * 10, 16, false, kDpi / 10, true},
        {16, side + 1, false, kDpi - 1, true},
        {square, square - 1, true, kDpi, false},
        {square, square, true, kDpi, false},
        {square, square + 1, false, kDpi - 1, false},
        // Ten times the pixels: the sides shrink by the square root of ten.
        {25905, 25905, false, 30, false},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(std::to_string(r.width) + " x " + std::to_string(r.height));
        EXPECT_EQ(r.fits, plat::BitmapSizeFits(r.width, r.height));
        if (r.makeIt) {
            plat::BITMAPINFO info{};
            info.bmiHeader.biSize = 40;
            info.bmiHeader.biWidth = static_cast<int32_t>(r.width);
            info.bmiHeader.biHeight = -static_cast<int32_t>(r.height);
            info.bmiHeader.biPlanes = 1;
            info.bmiHeader.biBitCount = 32;
            void* bits = nullptr;
            plat::HBITMAP made =
                plat::CreateDIBSection(nullptr, &info, plat::DIB_RGB_COLORS, &bits, nullptr, 0);
            EXPECT_EQ(r.fits, made != nullptr);
            if (made != nullptr)
                plat::DeleteObject(made);
        }
        const int32_t dpi = FittingResolution(r.width, r.height, kDpi);
        EXPECT_EQ(r.dpi, dpi);
        EXPECT_TRUE(plat::BitmapSizeFits(r.width * dpi / kDpi, r.height * dpi / kDpi));
    }
}

} // namespace
} // namespace kvtest
