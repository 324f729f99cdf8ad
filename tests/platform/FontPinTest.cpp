// The font pins themselves: the checksum, and that a changed or unlisted file is reported by name.

#include "support/FontPin.h"

#include "core/font/FontCatalogue.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>

namespace kvtest {
namespace {

std::string tempPath(const std::string& name) {
    return (std::filesystem::temp_directory_path() /
            (name + "." + std::to_string(::testing::UnitTest::GetInstance()->random_seed())))
        .string();
}

TEST(FontPins, Sha256OfKnownInputs) {
    // The published test vectors of the algorithm.
    const std::string path = tempPath("kv-sha-test");
    struct Case {
        std::string data;
        const char* digest;
    };
    for (const Case& c :
         {Case{"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
          Case{"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
          Case{"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
               "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
          Case{std::string(1000000, 'a'),
               "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"}}) {
        {
            std::ofstream out(path, std::ios::binary);
            out << c.data;
        }
        EXPECT_EQ(Sha256OfFile(path), c.digest) << c.data.size() << " bytes";
    }
    std::remove(path.c_str());
    EXPECT_EQ(Sha256OfFile(path), "");
}

TEST(FontPins, EveryCatalogueFileIsPinnedAndUnchanged) {
    EXPECT_EQ(PinnedFontProblems(), "");
}

TEST(FontPins, ChangedAndUnlistedFilesAreNamed) {
    const auto& files = plat::fontcore::FontCatalogue::fileList();
    ASSERT_GE(files.size(), 2u);
    const std::string pins = tempPath("kv-font-pins");
    {
        std::ofstream out(pins);
        // The first file with a wrong checksum; the second left out; a file that does not exist.
        out << std::string(64, '0') << "  " << files[0] << "\n";
        for (std::size_t i = 2; i < files.size(); ++i) {
            out << Sha256OfFile(files[i]) << "  " << files[i] << "\n";
        }
        out << std::string(64, '1') << "  /nonexistent/Font.ttf\n";
    }
    const std::string problems = FontPinProblems(pins);
    std::remove(pins.c_str());
    EXPECT_NE(problems.find("changed: " + files[0]), std::string::npos) << problems;
    EXPECT_NE(problems.find("not pinned in FONTS.sha256: " + files[1]), std::string::npos)
        << problems;
    EXPECT_NE(problems.find("missing: /nonexistent/Font.ttf"), std::string::npos) << problems;
    for (std::size_t i = 2; i < files.size(); ++i) {
        EXPECT_EQ(problems.find(files[i]), std::string::npos) << files[i];
    }
}

} // namespace
} // namespace kvtest
