// Icons from a PNG through the resource compiler to the screen: the format, loading, scaling and
// drawing with the alpha threshold, and the refusals of bad icons.
#include "OverPc/Portdc.h"
#include "PortsFixture.h"
#include "plat/Gdi.h"
#include "plat/Resources.h"

#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>
#include <png.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace kvtest {
namespace {

// Each test process gets its own folder: ctest runs the cases in parallel.
std::string iconDir() {
    static const std::string d = [] {
        std::string path = std::string(::testing::TempDir()) + "/kv_icons_" +
                           std::to_string(static_cast<long>(getpid()));
        mkdir(path.c_str(), 0700);
        return path;
    }();
    return d;
}

// An RGBA picture: columns 0-9 opaque red, 10-19 blue at alpha 127 (just below the threshold),
// 20-31 green at alpha 128 (just at it); row 0 of the red band is yellow, to tell top from bottom.
std::vector<uint8_t> testPicture(int size) {
    std::vector<uint8_t> px(static_cast<size_t>(size) * size * 4);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            uint8_t* p = &px[(static_cast<size_t>(y) * size + x) * 4];
            if (x < 10)
                p[0] = 255, p[1] = y == 0 ? 255 : 0, p[2] = 0, p[3] = 255;
            else if (x < 20)
                p[0] = 0, p[1] = 0, p[2] = 255, p[3] = 127;
            else
                p[0] = 0, p[1] = 255, p[2] = 0, p[3] = 128;
        }
    return px;
}

std::string writePng(const std::string& name, int size) {
    const std::string path = iconDir() + "/" + name;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(size);
    image.height = static_cast<png_uint_32>(size);
    image.format = PNG_FORMAT_RGBA;
    const std::vector<uint8_t> px = testPicture(size);
    EXPECT_TRUE(png_image_write_to_file(&image, path.c_str(), 0, px.data(), 0, nullptr));
    return path;
}

struct ToolRun {
    int status = -1;
    std::string output;
};

ToolRun rescomp(const std::string& args) {
    ToolRun r;
    FILE* p = popen((std::string(KV_PORTS_RESCOMP) + " " + args + " 2>&1").c_str(), "r");
    if (!p)
        return r;
    char buf[256];
    while (std::fgets(buf, sizeof buf, p))
        r.output += buf;
    const int st = pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

bool exists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

class Icons : public PortsFixture {
protected:
    void SetUp() override {
        PortsFixture::SetUp();
        const std::string bad = iconDir() + "/bad.bin";
        std::ofstream(bad, std::ios::binary) << std::string(40, '\x01');
        const std::string bundle = iconDir() + "/icons.kvres";
        std::remove(bundle.c_str());
        const ToolRun r = rescomp("--bundle " + bundle + " --icon 42=" + writePng("i.png", 32) +
                                  " --data 3:43=" + bad);
        ASSERT_EQ(r.status, 0) << r.output;
        m_module = plat::LoadLibraryEx(bundle.c_str(), nullptr, plat::LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(m_module, nullptr);
    }
    void TearDown() override {
        if (m_module)
            plat::FreeLibrary(m_module);
        PortsFixture::TearDown();
    }
    plat::HMODULE m_module = nullptr;
};

TEST_F(Icons, DrawnPixelsAreThoseOfAlphaAtLeastHalf) {
    plat::HICON icon = plat::LoadIcon(m_module, plat::MAKEINTRESOURCE(42));
    ASSERT_NE(icon, nullptr);
    plat::SIZE size{};
    ASSERT_TRUE(plat::GetIconSize(icon, &size));
    EXPECT_EQ(size.cx, 32);
    EXPECT_EQ(size.cy, 32);

    MemoryPort port(60, 50);
    port.paintZone(Zone{0, 0, 60, 50, 0, 0}, kColorYellow);
    {
        PortDcHolder holder(&port);
        // Odd DC colours must not leak into the icon.
        plat::SetTextColor(holder.hdc(), 0x123456);
        plat::SetBkColor(holder.hdc(), 0x654321);
        ASSERT_TRUE(holder.dc()->drawIcon(5, 7, icon));
    }
    struct Probe {
        int x, y;
        plat::COLORREF want;
        const char* what;
    };
    const Probe probes[] = {
        {5, 7, kYellow, "top row of the red band is yellow: rows are not flipped"},
        {5, 8, kRed, "opaque red"},
        {19, 20, kYellow, "alpha 127 leaves the background"},
        {25, 38, 0x00FF00, "alpha 128 draws"},
        {36, 38, 0x00FF00, "last column"},
        {37, 20, kYellow, "right of the icon"},
        {20, 39, kYellow, "below the icon"},
        {4, 20, kYellow, "left of the icon"},
    };
    for (const Probe& p : probes) {
        SCOPED_TRACE(p.what);
        EXPECT_EQ(port.pixel(p.x, p.y), p.want);
    }
    EXPECT_EQ(port.count(kRed), 10 * 31);
    EXPECT_EQ(port.count(0x00FF00), 12 * 32);

    plat::ICONINFO info;
    ASSERT_TRUE(plat::GetIconInfo(icon, &info));
    plat::HDC mem = plat::CreateCompatibleDC(nullptr);
    plat::HGDIOBJ old = plat::SelectObject(mem, info.hbmMask);
    EXPECT_EQ(plat::GetPixel(mem, 3, 3) & 0xFFFFFF, kBlack) << "drawn";
    EXPECT_EQ(plat::GetPixel(mem, 15, 3) & 0xFFFFFF, kWhite) << "transparent";
    plat::SelectObject(mem, info.hbmColor);
    EXPECT_EQ(plat::GetPixel(mem, 3, 3) & 0xFFFFFF, kRed);
    EXPECT_EQ(plat::GetPixel(mem, 15, 3) & 0xFFFFFF, kBlack);
    plat::SelectObject(mem, old);
    plat::DeleteDC(mem);
    plat::DeleteObject(info.hbmMask);
    plat::DeleteObject(info.hbmColor);

    EXPECT_TRUE(plat::DestroyIcon(icon));
    EXPECT_FALSE(plat::DestroyIcon(icon)) << "a handle dies once";
    PortDcHolder holder(&port);
    EXPECT_FALSE(holder.dc()->drawIcon(0, 0, icon));
}

TEST_F(Icons, LoadImageScalesAndMissingOrCorruptIconsGiveNull) {
    auto* small = static_cast<plat::HICON>(
        plat::LoadImage(m_module, plat::MAKEINTRESOURCE(42), plat::IMAGE_ICON, 16, 16, 0));
    ASSERT_NE(small, nullptr);
    plat::SIZE size{};
    ASSERT_TRUE(plat::GetIconSize(small, &size));
    EXPECT_EQ(size.cx, 16);
    EXPECT_EQ(size.cy, 16);
    MemoryPort port(20, 20);
    {
        PortDcHolder holder(&port);
        ASSERT_TRUE(holder.dc()->drawIcon(0, 0, small));
    }
    EXPECT_EQ(port.pixel(0, 1), kRed);
    EXPECT_EQ(port.pixel(6, 1), kWhite) << "source column 12: below the threshold";
    EXPECT_EQ(port.pixel(15, 15), 0x00FF00);
    plat::DestroyIcon(small);

    auto* same = static_cast<plat::HICON>(plat::LoadImage(
        m_module, plat::MAKEINTRESOURCE(42), plat::IMAGE_ICON, 0, 0, plat::LR_DEFAULTSIZE));
    ASSERT_TRUE(plat::GetIconSize(same, &size));
    EXPECT_EQ(size.cx, 32);
    plat::DestroyIcon(same);

    EXPECT_EQ(plat::LoadIcon(m_module, plat::MAKEINTRESOURCE(44)), nullptr) << "missing";
    EXPECT_EQ(plat::LoadIcon(m_module, plat::MAKEINTRESOURCE(43)), nullptr) << "corrupt";
    EXPECT_EQ(plat::LoadIcon(nullptr, plat::MAKEINTRESOURCE(42)), nullptr);
    EXPECT_EQ(plat::LoadImage(m_module, plat::MAKEINTRESOURCE(42), 7, 0, 0, 0), nullptr);
}

TEST_F(Icons, TheCompilerRefusesBadIconsAndWritesNothing) {
    const std::string png32 = writePng("ok.png", 32);
    const std::string png16 = writePng("small.png", 16);
    const std::string notPng = iconDir() + "/not.png";
    std::ofstream(notPng) << "GIF89a";
    struct Case {
        std::string args;
        std::string message;
    };
    const Case cases[] = {
        {"--icon 5=" + png16, "32 x 32"},
        {"--icon 8192=" + png32, "out of range"},
        {"--icon 0=" + png32, "out of range"},
        {"--icon 5=" + notPng, "not a readable PNG"},
        {"--icon 5" + png32, "expected --icon ID=FILE"},
    };
    const std::string bundle = iconDir() + "/refused.kvres";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        std::remove(bundle.c_str());
        const ToolRun r = rescomp("--bundle " + bundle + " " + c.args);
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.output.find(c.message), std::string::npos) << r.output;
        EXPECT_FALSE(exists(bundle));
    }
}

} // namespace
} // namespace kvtest
