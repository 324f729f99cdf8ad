// The picture object behind an opaque picture leaf: an enhanced metafile with its size, baseline
// and resolution, drawn through a port. This header is portable: the metafile travels as an opaque
// handle, and what needs the system (copying, freeing, reading the size, playing it) goes through
// the calls that the framework installs with SetWinUfoPlatform.
#pragma once

#include "OverSrcs/oGraph.h"

#include <cstdint>
#include <utility>
#include <vector>

class eExpr;
class oPixMap;

// Opaque enhanced-metafile handle; 0 is none.
using PictureHandle = std::uintptr_t;
// Given to setEnhMetafile: clears the picture only.
inline constexpr PictureHandle kNoPicture = ~PictureHandle{0};

struct WinUfoPlatform {
    // A copy of the metafile (0 when it cannot be made).
    PictureHandle (*copy)(PictureHandle metafile) = nullptr;
    void (*release)(PictureHandle metafile) = nullptr;
    // The picture's size (picture units), dots per inch and descent from the metafile; false
    // when it cannot be read.
    bool (*describe)(PictureHandle metafile, int32_t& width, int32_t& height, int32_t& dotsPerInch,
                     int32_t& descent) = nullptr;
    // Plays the metafile so that its frame fills the zone (port coordinates).
    void (*draw)(PictureHandle metafile, oGraphPort& port, const Zone& zone) = nullptr;
};
void SetWinUfoPlatform(const WinUfoPlatform& platform);
const WinUfoPlatform& TheWinUfoPlatform();

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

    // Frees the picture's metafile and packed bitmap and takes this metafile (the picture owns it
    // from then on); its size, resolution and descent come from the metafile. kNoPicture only
    // clears.
    void setEnhMetafile(PictureHandle metafile);
    PictureHandle enhMetafile() const { return m_enhMetafile; }

    // The packed device-independent bitmap the picture was made from, kept as it came (whatever
    // follows its pixel rows included); empty when it came from none.
    void setPackedDib(std::vector<uint8_t> dib) { m_packedDib = std::move(dib); }
    const std::vector<uint8_t>& packedDib() const { return m_packedDib; }

    // Size in device units at `dpi` dots per inch, and how far the picture reaches below its
    // baseline.
    int32_t m_width = 0;
    int32_t m_height = 0;
    int32_t m_descent = 0;
    int32_t m_dpi = 96;

protected:
    // Copies the metafile too.
    WinUfo(const WinUfo& other);

    PictureHandle m_enhMetafile = 0;
    std::vector<uint8_t> m_packedDib;
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
// A picture of the pixel map (recorded as a metafile at the screen's resolution); null when it
// cannot be made. flags are not used.
WinUfo* NewWinUfoFromPixMap(oPixMap& pixmap, int32_t flags);
// Deletes the picture; null is ignored.
void DeleteWinUfo(WinUfo* picture);

// Offered a click on a picture leaf: true when the picture took it. The picture is asked only while
// double-click is set, and pictures answer false, so the press falls through to the leaf mapping.
using WinUfoDoneCallback = void (*)(eExpr* node);
bool WinUfoClick(WinUfo* picture, int32_t x, int32_t y, oPoint point, WinUfoDoneCallback done,
                 eExpr* node, bool doubleClick);
