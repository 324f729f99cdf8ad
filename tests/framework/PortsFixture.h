#pragma once
// Graphics started over a reset headless window system, and a native port that draws into a
// bitmap, for the tests of ports, device contexts and panes.

#include "ErrorFixture.h"
#include "OverPc/PGRAPHIC.h"
#include "OverPc/Portdc.h"
#include "OverSrcs/oWindows.h"
#include "plat/Gdi.h"
#include "plat/Window.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace kvtest {

class PortsFixture : public ErrorFixture {
protected:
    void SetUp() override {
        ErrorFixture::SetUp();
        InitGraphics();
    }
    void TearDown() override {
        ShutdownGraphics();
        SetPortDeviceHooks(PortDeviceHooks{});
        ErrorFixture::TearDown();
    }
    bool logged(const std::string& text) const {
        return std::string(LoggedInformation()).find(text) != std::string::npos;
    }
};

// A native port over a 32-bit bitmap (memory device kind), white to begin with.
class MemoryPort : public oNativePort {
public:
    MemoryPort(int width, int height) {
        m_bitmap = plat::CreateBitmap(width, height, 1, 32, nullptr);
        m_device->kind = kDeviceMemory;
        SetPortDeviceBitmap(m_device, m_bitmap);
        setDrawableSize(width, height);
        paintZone(Zone{0, 0, width, height, 0, 0}, kColorWhite);
    }
    ~MemoryPort() override {
        DropPortDcs(kDeviceMemory);
        plat::DeleteObject(m_bitmap);
    }
    // A pixel in device coordinates, as 0x00bbggrr.
    plat::COLORREF pixel(int x, int y) {
        PortDcHolder holder(this);
        return plat::GetPixel(holder.hdc(), x, y) & 0xFFFFFF;
    }
    std::vector<plat::COLORREF> snapshot() {
        PortDcHolder holder(this);
        std::vector<plat::COLORREF> all;
        for (int y = 0; y < m_height; ++y)
            for (int x = 0; x < m_width; ++x)
                all.push_back(plat::GetPixel(holder.hdc(), x, y) & 0xFFFFFF);
        return all;
    }
    // Pixels of the colour inside [l, r) × [t, b), and in the whole port.
    int count(plat::COLORREF c, int l, int t, int r, int b) {
        int n = 0;
        PortDcHolder holder(this);
        for (int y = t; y < b; ++y)
            for (int x = l; x < r; ++x)
                n += (plat::GetPixel(holder.hdc(), x, y) & 0xFFFFFF) == c;
        return n;
    }
    int count(plat::COLORREF c) { return count(c, 0, 0, m_width, m_height); }
    using oNativePort::setDrawableSize;

private:
    plat::HBITMAP m_bitmap = nullptr;
};

inline constexpr plat::COLORREF kWhite = 0xFFFFFF;
inline constexpr plat::COLORREF kBlack = 0x000000;
inline constexpr plat::COLORREF kRed = 0x0000FF;
inline constexpr plat::COLORREF kBlue = 0xFF0000;
inline constexpr plat::COLORREF kYellow = 0x00FFFF;

} // namespace kvtest
