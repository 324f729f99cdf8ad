// The picture object behind an opaque picture leaf. This is the holder the expression model needs:
// a picture with its size, baseline and resolution that draws itself through a port. The metafile
// and bitmap contents come with the document layer.
#pragma once

#include "OverSrcs/oGraph.h"

#include <cstdint>

class eExpr;

class WinUfo : public oObject {
public:
    // An empty picture, entered in the program-wide set of live pictures.
    WinUfo();
    WinUfo* clone() const override;
    ~WinUfo() override;
    // Draws the picture with its top-left corner at (x, y).
    virtual void draw(oGraphPort& port, int32_t x, int32_t y);
    // Pictures do not take clicks.
    virtual bool click();

    // Size in device units at `dpi` dots per inch, and how far the picture reaches below its
    // baseline.
    int32_t m_width = 0;
    int32_t m_height = 0;
    int32_t m_descent = 0;
    int32_t m_dpi = 96;

protected:
    WinUfo(const WinUfo& other);
};

// Number of pictures alive; non-zero at shut-down means a leak.
int32_t LiveWinUfoCount();

// Width, height, baseline height (height less the descent), resolution max(16, (2n + 4) / 9) for
// the stored dots per inch n, and the info word 912. Every output may be null.
void GetWinUfoMetrics(const WinUfo* picture, int32_t* width, int32_t* height, int32_t* baseline,
                      int32_t* resolution, int32_t* info);
// The picture's draw at (x, y); nothing for null.
void DrawWinUfo(WinUfo* picture, oGraphPort& port, int32_t x, int32_t y);
// A new picture holding a copy of the picture; null for null.
WinUfo* NewWinUfoCopy(const WinUfo* picture);
// Deletes the picture; null is ignored.
void DeleteWinUfo(WinUfo* picture);

// Offered a click on a picture leaf: true when the picture took it. The picture is asked only while
// double-click is set, and pictures answer false, so the press falls through to the leaf mapping.
using WinUfoDoneCallback = void (*)(eExpr* node);
bool WinUfoClick(WinUfo* picture, int32_t x, int32_t y, oPoint point, WinUfoDoneCallback done,
                 eExpr* node, bool doubleClick);
