// Expressions in pictures: the metafile of an expression carries its encoding and reads back as
// the same expression; pictures held in an expression travel inside its encoding; metafile files
// are saved and opened again, and damaged ones are read within their bounds.

#include "App/MenuDispatch.h"
#include "ExprSrcs/EPane.h"
#include "ExprSrcs/ExprFilePane.h"
#include "ExprSrcs/commands/tsPrefs.h"
#include "OverPc/PERROR.h"
#include "OverPc/PEXPRPICT.h"
#include "OverPc/PPICTEXT.h"
#include "OverPc/Portdc.h"
#include "OverPc/commands/kPrefs.h"
#include "OverPc/documents/DibCarrier.h"
#include "OverPc/documents/Exports.h"
#include "OverPc/oPixMap.h"
#include "OverPc/shell/CQVApp.h"
#include "OverSrcs/commands/kEdit.h"
#include "OverSrcs/documents/DocLines.h"
#include "OverSrcs/eLayout.h"
#include "OverSrcs/eModelHooks.h"
#include "OverSrcs/eSimpString.h"
#include "OverSrcs/eUFO.h"
#include "OverSrcs/etEncode.h"
#include "OverSrcs/oPNG.h"
#include "OverSrcs/oStreams.h"
#include "app/AppDocumentFixture.h"
#include "plat/Clipboard.h"
#include "plat/Dialog.h"
#include "plat/Gdi.h"
#include "plat/Menu.h"
#include "plat/Metafile.h"
#include "plat/Testing.h"
#include "plat/TestingSys.h"
#include "plat/Window.h"
#include "platform/SysTempDir.h"
#include "support/PixMapPixels.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace kvtest {
namespace {

struct Comment {
    std::string bytes;
};

int CollectComments(plat::HDC, plat::HANDLETABLE*, const plat::ENHMETARECORD* record, int,
                    plat::LPARAM data) {
    if (record->iType == plat::EMR_GDICOMMENT) {
        const auto* bytes = reinterpret_cast<const char*>(record);
        uint32_t size;
        std::memcpy(&size, bytes + 8, 4);
        reinterpret_cast<std::vector<std::string>*>(data)->emplace_back(bytes + 12, size);
    }
    return 1;
}

std::vector<std::string> CommentsOf(const WinUfo& picture) {
    std::vector<std::string> seen;
    plat::EnumEnhMetaFile(nullptr, reinterpret_cast<plat::HENHMETAFILE>(picture.enhMetafile()),
                          CollectComments, reinterpret_cast<plat::LPARAM>(&seen), nullptr);
    return seen;
}

// A small recorded picture: a red block and a blue frame.
std::unique_ptr<WinUfo> ScenePicture() {
    std::unique_ptr<oPictPort> port(NewPictPort(Zone{0, 0, 30, 18, 0, 0}, 0, 0, 3, 0));
    port->paintZone(Zone{2, 3, 14, 12, 0, 0}, kColorRed);
    port->frameZone(Zone{16, 2, 28, 16, 0, 0}, 2, kColorBlue, kLineSolid, kDrawPaint);
    return std::unique_ptr<WinUfo>(port->makePicture());
}

std::string Encoded(const eExpr* root, const char* prefix, bool own, bool bitmaps) {
    oOStreamPtr stream(NewOMemoryStream(0));
    WriteExprEncoding(stream.get(), root, prefix, 0, 0, 0, true, own, bitmaps, false);
    return static_cast<oOMemoryStream*>(stream.release())->detachString();
}

ExprPtr Decoded(const std::string& text) {
    ExprPtr tree;
    const int16_t code =
        CatchFail([&] { tree = ReadExprEncodingFromMemory(text.data(), text.size()); });
    EXPECT_EQ(code, 0);
    return tree;
}

// Writes the pixmap as a PNG file when KV_SAVE_PICTURES names a folder, to look at.
void SaveForLooking(oPixMap& pixmap, const char* name) {
    const char* folder = std::getenv("KV_SAVE_PICTURES");
    if (folder == nullptr)
        return;
    uint8_t* bits = nullptr;
    int32_t step = 0;
    pixmap.lockBits(&bits, &step);
    std::vector<uint8_t> pixels;
    for (int y = 0; y < pixmap.height(); ++y)
        for (int x = 0; x < pixmap.width(); ++x) {
            const Color c = ReadLockedPixel(bits, step, pixmap.format(), x, y);
            pixels.insert(pixels.end(), {255, c.r, c.g, c.b});
        }
    std::vector<uint8_t> png;
    WritePngToMemory(png, pixels.data(), pixmap.width(), pixmap.height(), pixmap.width() * 4,
                     nullptr, false);
    std::ofstream(std::string(folder) + "/" + name, std::ios::binary)
        .write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
}

class ExprPictureTest : public AppDocumentFixture {
protected:
    void SetUp() override {
        AppDocumentFixture::SetUp();
        if (HasFatalFailure())
            return;
        NextPictureRotation = 0;
        PictureRotationSetting = 0;
    }
    void TearDown() override {
        NextPictureRotation = 0;
        PictureRotationSetting = 0;
        AppDocumentFixture::TearDown();
    }

    std::unique_ptr<WinUfo> pictureOf(const eExpr* expression) {
        std::unique_ptr<WinUfo> picture;
        EXPECT_EQ(CatchFail([&] { picture = NewExprPicture(expression, 0, ExprPictureStyle{}); }),
                  0);
        return picture;
    }
};

TEST_F(ExprPictureTest, ThePictureCarriesTheEncodingAndGivesTheExpressionBack) {
    ExprFilePane* pane = typed("x+1");
    const std::string before = ExprEncodingText(pane->expression());
    std::unique_ptr<WinUfo> picture = pictureOf(pane->expression());
    ASSERT_NE(picture, nullptr);

    const std::vector<std::string> comments = CommentsOf(*picture);
    ASSERT_EQ(comments.size(), 3u);
    // The picture port's record, then "WordDesc", then the encoding.
    int32_t dpi = 0, descent = 0;
    ASSERT_TRUE(ReadPictComment(comments[0].data(), 12, dpi, descent));
    EXPECT_EQ(dpi, 96);
    ASSERT_EQ(comments[1].size(), 12u);
    EXPECT_EQ(comments[1].substr(0, 10), std::string("WordDesc\0\0", 10));
    int16_t offset = 0;
    std::memcpy(&offset, comments[1].data() + 10, 2);
    // The picture's own baseline is the same offset (no margins here).
    EXPECT_EQ(descent, offset);
    // Text reaches below its baseline, and the baseline is inside the picture.
    int32_t height = 0, baseline = 0;
    GetWinUfoMetrics(picture.get(), nullptr, &height, &baseline, nullptr, nullptr);
    EXPECT_GT(descent, 0);
    EXPECT_EQ(baseline, height - descent);
    EXPECT_GT(baseline, height / 2);
    ASSERT_GT(comments[2].size(), 10u);
    EXPECT_EQ(comments[2].substr(0, 8), "]|Expr|[");
    EXPECT_EQ(comments[2].back(), '\0');
    EXPECT_EQ(comments[2].find('\0'), comments[2].size() - 1);

    ExprPtr back =
        ExprFromEnhMetaFile(reinterpret_cast<plat::HENHMETAFILE>(picture->enhMetafile()));
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(ExprEncodingText(back.get()), before);
    ExprPtr again = ExprFromWinUfo(picture.get());
    EXPECT_EQ(ExprEncodingText(again.get()), before);
    // The caller's tree is still laid out for its pane.
    EXPECT_EQ(ExprEncodingText(pane->expression()), before);
}

TEST_F(ExprPictureTest, PlayedBackThePictureLooksLikeTheExpression) {
    ExprFilePane* pane = typed("x+1");
    std::unique_ptr<WinUfo> picture = pictureOf(pane->expression());
    ASSERT_NE(picture, nullptr);
    int32_t w = 0, h = 0;
    GetWinUfoMetrics(picture.get(), &w, &h, nullptr, nullptr, nullptr);
    ASSERT_GT(w, 10);
    ASSERT_GT(h, 5);

    // The same expression drawn directly at the screen's resolution. The picture is its laid-out
    // zone and whatever ink reaches past it (a glyph leaning out of its advance): the direct
    // drawing, moved in by that much, is the picture pixel for pixel.
    ExprPtr copy = pane->expression()->deepCopy();
    std::unique_ptr<oMeasurePort> measure = NewMeasurePort(ScreenResolution(), 0);
    MeasureExpr(copy.get(), measure.get());
    ASSERT_GE(w, copy->width());
    ASSERT_GE(h, copy->height());
    EXPECT_LE(w, copy->width() + 4);
    EXPECT_LE(h, copy->height() + 4);
    std::unique_ptr<oPixMap> played = WhitePixMap(w, h);
    DrawWinUfo(picture.get(), *played, 0, 0);
    SaveForLooking(*played, "x_plus_1.png");
    int ink = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            ink += PixelOf(*played, x, y) != 0xFFFFFF;
    EXPECT_GT(ink, 30);
    int fewest = w * h;
    for (int dy = 0; dy <= h - copy->height(); ++dy)
        for (int dx = 0; dx <= w - copy->width(); ++dx) {
            std::unique_ptr<oPixMap> direct = WhitePixMap(w, h);
            DrawExpr(copy.get(), direct.get(), 0, 0, 0, 0, dx, dy);
            int differences = 0;
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    differences += PixelOf(*played, x, y) != PixelOf(*direct, x, y);
            fewest = std::min(fewest, differences);
        }
    EXPECT_EQ(fewest, 0);
}

TEST_F(ExprPictureTest, AnEncodingCommentThatDoesNotDecodeIsPassedOver) {
    ExprFilePane* pane = typed("ab");
    const std::string before = ExprEncodingText(pane->expression());
    const std::string bad = "]|Expr|[#garbage that is no encoding";
    std::unique_ptr<oPictPort> port(NewPictPort(Zone{0, 0, 20, 10, 0, 0}, 0, 0, 0, 0));
    port->writeComment(static_cast<int32_t>(bad.size() + 1), bad.c_str());
    ASSERT_EQ(CatchFail([&] { WriteWordDesc(*port, 2, pane->expression(), true, kColorWhite); }),
              0);
    std::unique_ptr<WinUfo> picture(port->makePicture());
    ExprPtr back = ExprFromWinUfo(picture.get());
    EXPECT_EQ(ExprEncodingText(back.get()), before);

    // Only the bad comment: nothing found, and the picture gives an empty row.
    std::unique_ptr<oPictPort> other(NewPictPort(Zone{0, 0, 20, 10, 0, 0}, 0, 0, 0, 0));
    other->writeComment(static_cast<int32_t>(bad.size() + 1), bad.c_str());
    std::unique_ptr<WinUfo> none(other->makePicture());
    EXPECT_EQ(ExprFromEnhMetaFile(reinterpret_cast<plat::HENHMETAFILE>(none->enhMetafile())),
              nullptr);
    ExprPtr empty = ExprFromWinUfo(none.get());
    ASSERT_NE(empty, nullptr);
    EXPECT_TRUE(empty->isString());
    EXPECT_EQ(empty->childCount(), 0);
    EXPECT_EQ(ExprFromWinUfo(nullptr)->childCount(), 0);
}

TEST_F(ExprPictureTest, APictureLeafMadeFromABitmapGivesBackTheExpressionItCarries) {
    ExprFilePane* pane = typed("x+1");
    const std::string before = ExprEncodingText(pane->expression());
    std::vector<uint8_t> dib;
    ASSERT_EQ(CatchFail([&] { dib = MakeExprDib(pane->expression(), 0, nullptr); }), 0);
    const auto pictureOfLeaf = [](const ExprPtr& leaf) {
        return static_cast<const eUFO*>(leaf.get())->m_picture;
    };
    ExprPtr leaf(
        NewUFO(PictureFromPackedDib(dib.data(), dib.size()), &DefaultStyle, 255).release());
    ASSERT_NE(pictureOfLeaf(leaf), nullptr);
    ExprPtr copy = leaf->deepCopy();
    EXPECT_EQ(ExprEncodingText(ExprFromWinUfo(pictureOfLeaf(leaf)).get()), before);
    EXPECT_EQ(ExprEncodingText(ExprFromWinUfo(pictureOfLeaf(copy)).get()), before);

    // The same pixel rows without the encoding carry nothing: an empty row.
    const std::string bytes(dib.begin(), dib.end());
    const size_t end = bytes.find(kEncodingStart);
    ASSERT_NE(end, std::string::npos);
    dib.resize(end);
    ExprPtr bare(
        NewUFO(PictureFromPackedDib(dib.data(), dib.size()), &DefaultStyle, 255).release());
    ASSERT_NE(pictureOfLeaf(bare), nullptr);
    EXPECT_EQ(ExprFromWinUfo(pictureOfLeaf(bare))->childCount(), 0);
}

TEST_F(ExprPictureTest, PictureLeavesTravelInsideTheEncoding) {
    std::unique_ptr<WinUfo> scene = ScenePicture();
    const std::vector<uint8_t> sceneBytes = MetafileBytes(*scene);
    ExprPtr row(NewSimpStringWith(ExprPtr(NewUFO(std::move(scene), &DefaultStyle, 255).release()))
                    .release());
    const auto leafPicture = [](const eExpr* tree) -> const WinUfo* {
        if (tree == nullptr || tree->childCount() != 1 || !tree->getChild(0)->isUFO())
            return nullptr;
        return static_cast<const eUFO*>(tree->getChild(0))->m_picture;
    };
    for (const char* prefix : {static_cast<const char*>(nullptr), "\n%%\t"}) {
        SCOPED_TRACE(prefix != nullptr ? "document lines" : "no prefix");
        // The picture's own record: the metafile comes back byte for byte.
        ExprPtr copy = Decoded(Encoded(row.get(), prefix, true, false));
        const WinUfo* back = leafPicture(copy.get());
        ASSERT_NE(back, nullptr);
        EXPECT_EQ(MetafileBytes(*back), sceneBytes);
        // Only the bitmap: a picture of the same size and pixels.
        ExprPtr fromPng = Decoded(Encoded(row.get(), prefix, false, true));
        const WinUfo* pixels = leafPicture(fromPng.get());
        ASSERT_NE(pixels, nullptr);
        int32_t w = 0, h = 0;
        GetWinUfoMetrics(pixels, &w, &h, nullptr, nullptr, nullptr);
        EXPECT_EQ(w, 30);
        EXPECT_EQ(h, 18);
        std::unique_ptr<oPixMap> drawn = WhitePixMap(30, 18);
        DrawWinUfo(const_cast<WinUfo*>(pixels), *drawn, 0, 0);
        EXPECT_EQ(PixelOf(*drawn, 5, 5), 0x0000FFu);
        EXPECT_EQ(PixelOf(*drawn, 16, 8), 0xFF0000u);
    }

    // A leaf without a picture costs nothing else: the row and the leaf come back.
    ExprPtr bare(
        NewSimpStringWith(ExprPtr(NewUFO(nullptr, &DefaultStyle, 255).release())).release());
    ExprPtr bareBack = Decoded(Encoded(bare.get(), nullptr, true, true));
    ASSERT_NE(bareBack, nullptr);
    ASSERT_EQ(bareBack->childCount(), 1);
    EXPECT_TRUE(bareBack->getChild(0)->isUFO());
    EXPECT_EQ(leafPicture(bareBack.get()), nullptr);

    // An expression picture of it carries the leaf's picture in its encoding comment.
    std::unique_ptr<WinUfo> outer = pictureOf(row.get());
    ASSERT_NE(outer, nullptr);
    ExprPtr inner = ExprFromWinUfo(outer.get());
    const WinUfo* innerPicture = leafPicture(inner.get());
    ASSERT_NE(innerPicture, nullptr);
    EXPECT_EQ(MetafileBytes(*innerPicture), sceneBytes);
}

TEST_F(ExprPictureTest, MetafileFilesAreSavedAndOpenedAgain) {
    ExprFilePane* pane = typed("x+1");
    const std::string before = ExprEncodingText(pane->expression());

    // Through the menu bar's "Save Metafile..." item.
    plat::testing::answerFileDialog(m_dir / "eq.emf");
    EXPECT_EQ(DoMenuCommand(265), 1);
    plat::testing::runUntilIdle();
    EXPECT_EQ(pane->filePath(), m_dir / "eq.emf");
    EXPECT_EQ(pane->fileName(), "eq.emf");
    EXPECT_EQ(pane->saveType(), kMetafileSaveType);
    EXPECT_FALSE(pane->changed());
    // The Windows menu lists the window under its new name.
    char entry[256] = "";
    plat::GetMenuString(CQVApp::instance().m_MenuBar,
                        static_cast<plat::UINT>(pane->windowMenuItem()), entry, sizeof entry,
                        plat::MF_BYCOMMAND);
    EXPECT_STREQ(entry, "eq.emf");
    const std::string file = ReadFileBytes(m_dir / "eq.emf");
    ASSERT_GT(file.size(), 108u);
    EXPECT_EQ(file.substr(40, 4), " EMF");

    ASSERT_TRUE(ReadEmfFile((m_dir / "eq.emf").c_str()));
    plat::testing::runUntilIdle();
    ASSERT_NE(OpenDocumentList, pane);
    EXPECT_EQ(OpenDocumentList->fileName(), "eq.emf");
    EXPECT_EQ(OpenDocumentList->saveType(), kMetafileSaveType);
    EXPECT_EQ(ExprEncodingText(OpenDocumentList->expression()), before);
    EXPECT_TRUE(plat::testing::messageBoxes().empty());

    // The same picture as a Windows metafile: the comment travels as an escape record.
    std::unique_ptr<WinUfo> picture = pictureOf(pane->expression());
    auto* emf = reinterpret_cast<plat::HENHMETAFILE>(picture->enhMetafile());
    std::vector<uint8_t> wmf(plat::GetWinMetaFileBits(emf, 0, nullptr, 8, nullptr));
    plat::GetWinMetaFileBits(emf, static_cast<plat::UINT>(wmf.size()), wmf.data(), 8, nullptr);
    ExprPtr fromWmf = ExprFromMetafileBytes(wmf.data(), wmf.size());
    ASSERT_NE(fromWmf, nullptr);
    EXPECT_EQ(ExprEncodingText(fromWmf.get()), before);
}

// The resolution a metafile of an expression was recorded at (its picture port's "DEVQ"
// comment), -1 when it has none.
int32_t RecordedDotsPerInch(const std::string& bytes) {
    const size_t at = bytes.find("DEVQ");
    int32_t dpi = 0, descent = 0;
    if (at == std::string::npos ||
        !ReadPictComment(bytes.data() + at, kPictCommentSize, dpi, descent))
        return -1;
    return dpi;
}

TEST_F(ExprPictureTest, EveryMetafileIsRecordedAtTheMetafileResolution) {
    typed("x+1");
    const int32_t kept = GeneralPrefValue("Sa", 0);
    // "Mf" as the Metafile Prefs store it; 0 or less stands for 2540.
    for (int32_t mf : {1200, 0, -5}) {
        SCOPED_TRACE(mf);
        SetGeneralPrefValue("Mf", 0, mf);
        SetGeneralPrefValue("Sa", 0, 1);
        const std::string menu = m_dir / ("menu" + std::to_string(mf + 10) + ".emf");
        const std::string saved = m_dir / ("saved" + std::to_string(mf + 10) + ".emf");
        OpenDocumentList->takeFocus();
        plat::testing::runUntilIdle();
        plat::testing::answerFileDialog(menu);
        ASSERT_EQ(DoMenuCommand(265), 1); // Fichier > Save Metafile...
        // A metafile saved by the menu makes metafiles the save type of new documents.
        EXPECT_EQ(GeneralPrefValue("Sa", 0), kMetafileSaveType);
        plat::testing::answerFileDialog(saved);
        ASSERT_EQ(DoMenuCommand(264), 1);  // Fichier > Enregistrer sous... (save type 12)
        ASSERT_EQ(DoMenuCommand(1025), 1); // Copy As Type > Metafile Picture
        std::vector<uint8_t> copied;
        ASSERT_TRUE(plat::GetClipboardBytes(plat::CF_ENHMETAFILE, copied));
        const int32_t dpi = mf > 0 ? mf : 2540;
        EXPECT_EQ(RecordedDotsPerInch(ReadFileBytes(menu)), dpi);
        EXPECT_EQ(RecordedDotsPerInch(ReadFileBytes(saved)), dpi);
        EXPECT_EQ(RecordedDotsPerInch(std::string(copied.begin(), copied.end())), dpi);
    }
    SetGeneralPrefValue("Mf", 0, 2540);
    SetGeneralPrefValue("Sa", 0, kept);
    EXPECT_TRUE(plat::testing::messageBoxes().empty());
}

TEST_F(ExprPictureTest, DamagedMetafileFilesAreReadWithinTheirBounds) {
    ExprFilePane* pane = typed("x+1");
    const std::string before = ExprEncodingText(pane->expression());
    std::unique_ptr<WinUfo> picture = pictureOf(pane->expression());
    const std::vector<uint8_t> emf = MetafileBytes(*picture);
    // Every cut: either nothing, or (once the encoding comment is whole) the expression.
    size_t found = 0;
    for (size_t n = 0; n <= emf.size(); n += 4) {
        SCOPED_TRACE(n);
        std::unique_ptr<uint8_t[]> block(new uint8_t[n + 1]);
        std::memcpy(block.get(), emf.data(), n);
        ExprPtr back = ExprFromMetafileBytes(block.get(), n);
        if (back) {
            EXPECT_EQ(ExprEncodingText(back.get()), before);
            ++found;
        }
    }
    EXPECT_GT(found, 0u);
    // Sizes that point past the end, or a comment count larger than its record.
    std::vector<uint8_t> huge = emf;
    const uint32_t big = 0x7FFFFFF0u;
    std::memcpy(huge.data() + 4, &big, 4); // the header record's size
    EXPECT_EQ(ExprFromMetafileBytes(huge.data(), huge.size()), nullptr);
    std::vector<uint8_t> lying = emf;
    for (size_t at = 108; at + 12 <= lying.size();) {
        uint32_t type, size;
        std::memcpy(&type, lying.data() + at, 4);
        std::memcpy(&size, lying.data() + at + 4, 4);
        if (type == plat::EMR_GDICOMMENT)
            std::memcpy(lying.data() + at + 8, &big, 4);
        if (size < 8)
            break;
        at += size;
    }
    EXPECT_EQ(ExprFromMetafileBytes(lying.data(), lying.size()), nullptr);

    // A picture whose frame or resolution comment says what no picture of ours can is measured
    // and drawn within the coordinate range (the sanitizer build sees any overflow).
    std::vector<uint8_t> wild = MetafileBytes(*ScenePicture());
    const int32_t frame[4] = {INT32_MIN, INT32_MIN + 1, INT32_MAX, INT32_MAX};
    std::memcpy(wild.data() + 24, frame, sizeof frame);
    const std::string tag = "DEVQ";
    const auto devq = std::search(wild.begin(), wild.end(), tag.begin(), tag.end());
    ASSERT_NE(devq, wild.end());
    // A resolution no export makes drops the comment (no descent, the screen's resolution); a
    // sane one keeps it, with the descent brought within the height.
    const struct {
        int32_t dpi, descent;
        bool kept;
    } claims[] = {{1566018846, INT32_MIN, false}, {-5, INT32_MAX, false}, {96, INT32_MIN, true}};
    for (const auto& [dpi, descent, kept] : claims) {
        SCOPED_TRACE(dpi);
        std::memcpy(&*devq + 4, &dpi, 4);
        std::memcpy(&*devq + 8, &descent, 4);
        WinUfo picture;
        picture.setEnhMetafile(reinterpret_cast<PictureHandle>(
            plat::SetEnhMetaFileBits(static_cast<plat::UINT>(wild.size()), wild.data())));
        int32_t w = 0, h = 0, baseline = 0, resolution = 0;
        GetWinUfoMetrics(&picture, &w, &h, &baseline, &resolution, nullptr);
        EXPECT_EQ(w, kMaxPictExtent);
        EXPECT_EQ(h, kMaxPictExtent);
        EXPECT_EQ(baseline, kept ? 2 * h : h);
        EXPECT_EQ(resolution, PictPortResolution(kept ? dpi : PictPortDotsPerInch(0)));
        std::unique_ptr<oPixMap> drawn = WhitePixMap(30, 18);
        DrawWinUfo(&picture, *drawn, 0, 0);
    }

    // A file without an expression opens nothing and says so.
    WriteFileBytes(m_dir / "bad.emf", std::string(200, 'x'));
    for (const char* name : {"bad.emf", "missing.emf"}) {
        SCOPED_TRACE(name);
        plat::testing::onMessageBox(
            [](const plat::testing::MessageBoxCall&) { return plat::IDOK; });
        EXPECT_FALSE(ReadEmfFile((m_dir / name).c_str()));
    }
    plat::testing::runUntilIdle();
    EXPECT_EQ(OpenDocumentList, pane);
    EXPECT_EQ(plat::testing::messageBoxes().size(), 2u);
}

TEST_F(ExprPictureTest, TheNextPictureIsTurnedOnceThenTheSettingReturns) {
    ExprFilePane* pane = typed("x+1");
    const std::string before = ExprEncodingText(pane->expression());
    std::unique_ptr<WinUfo> upright = pictureOf(pane->expression());
    int32_t w = 0, h = 0;
    GetWinUfoMetrics(upright.get(), &w, &h, nullptr, nullptr, nullptr);

    NextPictureRotation = 9000;
    std::unique_ptr<WinUfo> turned = pictureOf(pane->expression());
    EXPECT_EQ(NextPictureRotation, PictureRotationSetting);
    int32_t tw = 0, th = 0;
    GetWinUfoMetrics(turned.get(), &tw, &th, nullptr, nullptr, nullptr);
    EXPECT_EQ(tw, h);
    EXPECT_EQ(th, w);
    EXPECT_EQ(ExprEncodingText(ExprFromWinUfo(turned.get()).get()), before);
    // Its ink lies inside the picture: played back, some of it is drawn.
    std::unique_ptr<oPixMap> played = WhitePixMap(tw, th);
    DrawWinUfo(turned.get(), *played, 0, 0);
    SaveForLooking(*played, "x_plus_1_turned.png");
    int ink = 0;
    for (int y = 0; y < th; ++y)
        for (int x = 0; x < tw; ++x)
            ink += PixelOf(*played, x, y) != 0xFFFFFF;
    EXPECT_GT(ink, 30);
}

// A PNG or bitmap export decoded: its size, its pixels (0xRRGGBB, top row first) and the
// expression it carries.
struct ExportedImage {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint32_t> pixels;
    std::string encoding;
    uint32_t at(int32_t x, int32_t y) const { return pixels[size_t(y) * width + x]; }
};

ExportedImage DecodeExport(int32_t saveType, const std::string& file) {
    ExportedImage out;
    const auto* data = reinterpret_cast<const uint8_t*>(file.data());
    if (saveType == kPngSaveType) {
        std::vector<uint8_t> raw;
        int32_t rowBytes = 0;
        std::string text;
        ReadPngFromMemory(raw, out.width, out.height, rowBytes, data, file.size(), text);
        for (int32_t y = 0; y < out.height; ++y)
            for (int32_t x = 0; x < out.width; ++x) {
                const uint8_t* p = raw.data() + size_t(y) * rowBytes + x * 4;
                out.pixels.push_back(uint32_t(p[1]) << 16 | p[2] << 8 | p[3]);
            }
        ExprPtr tree = ReadDocumentLinesFromMemory(text.data(), uint32_t(text.size())).expression;
        out.encoding = tree ? ExprEncodingText(tree.get()) : "";
        return out;
    }
    // A bitmap file: 14-byte file header, 40-byte header, 24-bit rows bottom-up.
    std::memcpy(&out.width, data + 18, 4);
    std::memcpy(&out.height, data + 22, 4);
    const size_t rowBytes = (size_t(out.width) * 3 + 3) / 4 * 4;
    for (int32_t y = 0; y < out.height; ++y)
        for (int32_t x = 0; x < out.width; ++x) {
            const uint8_t* p = data + 54 + (out.height - 1 - y) * rowBytes + x * 3;
            out.pixels.push_back(uint32_t(p[2]) << 16 | p[1] << 8 | p[0]);
        }
    ExprPtr tree = ReadEncodingFromDib(data + 14, file.size() - 14);
    out.encoding = tree ? ExprEncodingText(tree.get()) : "";
    return out;
}

TEST_F(ExprPictureTest, PngAndBitmapExportsTakeTheMarginsAndTheRotation) {
    ExprFilePane* pane = typed("x+1");
    const std::string before = ExprEncodingText(pane->expression());
    const Color paper{255, 255, 0, 255};
    const PictureMargins kept = PictureMarginSettings;
    // PNG files at the screen's resolution, bitmap files at their own chosen one.
    for (const auto& row :
         {std::pair{kPngSaveType, PictPortDotsPerInch(0)}, std::pair{kBmpSaveType, 144}}) {
        // Plain names, not structured bindings: the lambda below captures them.
        const int32_t type = row.first;
        const int32_t dpi = row.second;
        SCOPED_TRACE(type);
        BitmapResolution = type == kBmpSaveType ? dpi : 0;
        const int32_t m = MarginInDots(9, dpi);
        const std::string path = m_dir / (type == kPngSaveType ? "eq.png" : "eq.bmp");
        auto exported = [&](PictureMargins margins, int32_t angle) {
            PictureMarginSettings = margins;
            NextPictureRotation = angle;
            EXPECT_EQ(CatchFail([&] { WriteExportFile(type, pane->expression(), &paper, path); }),
                      0);
            PictureMarginSettings = kept;
            return DecodeExport(type, ReadFileBytes(path));
        };
        const ExportedImage plain = exported({}, 0);
        const ExportedImage framed = exported({9, 9, 9, 9}, 0);
        const ExportedImage turned = exported({}, 9000);
        const ExportedImage cropped = exported({-2, 0, 0, 0}, 0);
        EXPECT_EQ(NextPictureRotation, PictureRotationSetting);
        for (const ExportedImage* image : {&plain, &framed, &turned, &cropped})
            EXPECT_EQ(image->encoding, before);

        EXPECT_EQ(framed.width, plain.width + 2 * m);
        EXPECT_EQ(framed.height, plain.height + 2 * m);
        EXPECT_EQ(turned.width, plain.height);
        EXPECT_EQ(turned.height, plain.width);
        EXPECT_LT(cropped.width, plain.width);
        // Paper all along the margins, the expression's ink only inside them.
        int marginInk = 0, inner = 0;
        for (int32_t y = 0; y < framed.height; ++y)
            for (int32_t x = 0; x < framed.width; ++x) {
                const bool margin =
                    x < m - 1 || y < m - 1 || x > framed.width - m || y > framed.height - m;
                const bool ink = framed.at(x, y) != 0xFFFF00;
                (margin ? marginInk : inner) += ink;
            }
        EXPECT_EQ(marginInk, 0);
        EXPECT_GT(inner, 20);
    }
    BitmapResolution = 0;
}

} // namespace
} // namespace kvtest
