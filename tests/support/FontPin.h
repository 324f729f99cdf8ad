#pragma once
// Pinned fonts for tests that measure or draw text. Every file of the private font catalogue must
// be listed in tests/golden/FONTS.sha256 with its SHA-256, and every listed file must match: a
// missing or changed file fails the test loudly, naming the file, because the expected metrics and
// reference images hold only for those exact files.
//
// Check by hand with `sha256sum -c tests/golden/FONTS.sha256`. After deciding that changed fonts
// are wanted (and adding the path of any file added to the catalogue's list), regenerate with
//   awk '{print $2}' tests/golden/FONTS.sha256 | xargs sha256sum > /tmp/FONTS.sha256 &&
//   mv /tmp/FONTS.sha256 tests/golden/FONTS.sha256
// then regenerate the reference images (see tests/golden/font/README.md).

#include <gtest/gtest.h>
#include <string>

namespace kvtest {

// Lower-case hex SHA-256 of a file's bytes; empty when the file cannot be read.
std::string Sha256OfFile(const std::string& path);

// Checks a pin file (sha256sum format) against the files and the catalogue's file list: empty when
// every catalogue file is pinned and every pinned file matches; otherwise one line per problem,
// naming the file.
std::string FontPinProblems(const std::string& pinFile);
// The same for tests/golden/FONTS.sha256, computed once per run.
const std::string& PinnedFontProblems();

// Fixture for every test that depends on font data.
class FontPin : public ::testing::Test {
protected:
    void SetUp() override;
};

} // namespace kvtest
