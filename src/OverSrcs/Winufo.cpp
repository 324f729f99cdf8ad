#include "OverSrcs/Winufo.h"

#include <algorithm>

namespace {
int32_t s_live = 0;
}

WinUfo::WinUfo() {
    ++s_live;
}

WinUfo::WinUfo(const WinUfo& other)
    : oObject(other)
    , m_width(other.m_width)
    , m_height(other.m_height)
    , m_descent(other.m_descent)
    , m_dpi(other.m_dpi) {
    ++s_live;
}

WinUfo::~WinUfo() {
    --s_live;
}

WinUfo* WinUfo::clone() const {
    return new WinUfo(*this);
}

void WinUfo::draw(oGraphPort&, int32_t, int32_t) {
    // FIXME: playing the enhanced metafile (or stretching the bitmap) comes with the pictures of
    // the document layer; an empty holder draws nothing.
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
