#include "OverSrcs/Winufo.h"

#include <algorithm>
#include <limits>

namespace {
int32_t s_live = 0;
WinUfoPlatform s_platform;
} // namespace

void SetWinUfoPlatform(const WinUfoPlatform& platform) {
    s_platform = platform;
}

const WinUfoPlatform& TheWinUfoPlatform() {
    return s_platform;
}

WinUfo::WinUfo() {
    ++s_live;
}

WinUfo::WinUfo(const WinUfo& other)
    : oObject(other)
    , m_width(other.m_width)
    , m_height(other.m_height)
    , m_descent(other.m_descent)
    , m_dpi(other.m_dpi)
    , m_packedDib(other.m_packedDib) {
    if (other.m_enhMetafile && s_platform.copy)
        m_enhMetafile = s_platform.copy(other.m_enhMetafile);
    ++s_live;
}

WinUfo::~WinUfo() {
    setEnhMetafile(kNoPicture);
    --s_live;
}

void WinUfo::setEnhMetafile(PictureHandle metafile) {
    if (m_enhMetafile && s_platform.release)
        s_platform.release(m_enhMetafile);
    m_enhMetafile = 0;
    m_packedDib.clear();
    m_packedDib.shrink_to_fit();
    if (metafile == kNoPicture || metafile == 0)
        return;
    m_enhMetafile = metafile;
    int32_t w = 0, h = 0, dpi = 96, descent = 0;
    if (s_platform.describe && s_platform.describe(metafile, w, h, dpi, descent)) {
        m_width = w;
        m_height = h;
        m_dpi = dpi;
        m_descent = descent;
    }
}

WinUfo* WinUfo::clone() const {
    return new WinUfo(*this);
}

void WinUfo::draw(oGraphPort& port, int32_t x, int32_t y) {
    if (!m_enhMetafile || !s_platform.draw)
        return;
    // Picture units to the port's: the picture's resolution against the port's.
    const int32_t own = std::max<int32_t>(16, (2 * m_dpi + 4) / 9);
    // The far corner is kept inside the coordinate range, however large the picture says it is.
    const auto corner = [&](int32_t at, int32_t v) {
        const int64_t far = at + int64_t{v} * port.resolution() / own;
        return static_cast<int32_t>(
            std::clamp<int64_t>(far, std::numeric_limits<int32_t>::min(),
                                std::numeric_limits<int32_t>::max()));
    };
    s_platform.draw(m_enhMetafile, port,
                    Zone{x, y, corner(x, m_width), corner(y, m_height), 0, 0});
}

bool WinUfo::click() {
    return false;
}

int32_t LiveWinUfoCount() {
    return s_live;
}

void GetWinUfoMetrics(const WinUfo* picture, int32_t* width, int32_t* height, int32_t* baseline,
                      int32_t* resolution, int32_t* info) {
    const int32_t w = picture != nullptr ? picture->m_width : 0;
    const int32_t h = picture != nullptr ? picture->m_height : 0;
    const int32_t d = picture != nullptr ? picture->m_descent : 0;
    const int32_t n = picture != nullptr ? picture->m_dpi : 96;
    if (width != nullptr)
        *width = w;
    if (height != nullptr)
        *height = h;
    if (baseline != nullptr)
        *baseline = h - d;
    if (resolution != nullptr)
        *resolution = std::max<int32_t>(16, (2 * n + 4) / 9);
    if (info != nullptr)
        *info = 912;
}

void DrawWinUfo(WinUfo* picture, oGraphPort& port, int32_t x, int32_t y) {
    if (picture != nullptr)
        picture->draw(port, x, y);
}

WinUfo* NewWinUfoCopy(const WinUfo* picture) {
    return picture != nullptr ? picture->clone() : nullptr;
}

void DeleteWinUfo(WinUfo* picture) {
    delete picture;
}

bool WinUfoClick(WinUfo* picture, int32_t, int32_t, oPoint, WinUfoDoneCallback, eExpr*,
                 bool doubleClick) {
    if (picture == nullptr || !doubleClick)
        return false;
    return picture->click();
}
