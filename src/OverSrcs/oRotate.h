#pragma once
// The rotation port: a graph port that draws into another port turned by a quarter or half turn,
// so that the ordinary drawing code, which only knows upright ports, can make a turned picture.
// Every coordinate passing through is turned; operations that cannot be turned (images, pixel
// blocks, arcs, areas) are refused with a log line and draw nothing.
//
// Angles are in hundredths of a degree. Only 9000, -9000, 18000 and -18000 turn anything; any
// other angle leaves coordinates as they are.

#include "OverSrcs/oGraph.h"

#include <cstdint>
#include <memory>

// a + b wrapped into -17999 .. 18000.
int32_t RotateAngleSum(int32_t a, int32_t b);
// (x, y) turned: 9000 gives (y, -x), -9000 (-y, x), a half turn (-x, -y).
oPoint RotatePoint(int32_t angle, int32_t x, int32_t y);
// Both corners turned and put back in order; ref1 and ref2 are copied unchanged.
Zone RotateZone(int32_t angle, const Zone& zone);
// The corner code (1-4) and vertical flag of a horn drawn through a port turned by `angle`.
void RotateHornCorner(int32_t angle, int32_t& corner, int32_t& vertical);

class oRotatePort : public oGraphPort {
public:
    // The target is borrowed and must outlive the port.
    oRotatePort(oGraphPort& target, int32_t angle);
    oRotatePort(const oRotatePort& other) = default;
    oRotatePort& operator=(const oRotatePort&) = delete;

    oRotatePort* clone() const override;
    ~oRotatePort() override;

    // Text turned with the port: the position is turned and the target draws rotated text at the
    // port's angle (plus the caller's, for the rotated forms).
    void drawDeluxeString(const char* text, int32_t font, int32_t x, int32_t y, const Color* color,
                          int32_t flag) override;
    void drawRotatedString(const char* text, int32_t font, int32_t x, int32_t y, const Color* color,
                           int32_t flag, int32_t angle) override;
    void drawAsianString(const char* text, int32_t font, int32_t x, int32_t y, const Color* color,
                         int32_t flag, int32_t angle) override;

    void startDeluxeLine(int32_t width, const Color& color, int32_t style, int32_t mode) override;
    void moveTo(int32_t x, int32_t y) override;
    void move(int32_t dx, int32_t dy) override;
    void lineTo(int32_t x, int32_t y) override;
    void line(int32_t dx, int32_t dy) override;
    void dotAt(int32_t x, int32_t y) override;
    void endLine() override;
    void paintZone(const Zone& zone, const Color& color) override;
    void eraseZone(const Zone& zone) override;
    void paintPolygon(int32_t count, const oPoint* points, const Color* fill, int32_t mode,
                      int32_t outline, int32_t extra) override;
    void frameZone(const Zone& zone, int32_t width, const Color& color, int32_t style,
                   int32_t mode) override;
    void paintCircle(const Zone& zone) override;
    void integralSign(const Zone& zone, int32_t step, int32_t count, int32_t flags, int32_t width,
                      int32_t orientation) override;
    void paintHorn(const Zone& zone, int32_t width, int32_t direction, int32_t vertical) override;
    void savePix(int32_t x, int32_t y, oPixMap& pixmap) override;
    void restorePix(int32_t x, int32_t y, oPixMap& pixmap) override;
    void restoreStretch(const Zone& zone, oPixMap& pixmap, int32_t stretchMode) override;
    void restoreColorize(int32_t x, int32_t y, oPixMap& pixmap, const Color& foreground,
                         const Color& background) override;
    void drawImage(int32_t resourceId, const Zone& zone, const Color& foreground,
                   const Color& background, int32_t mode) override;
    void stretchImage(int32_t resourceId, const Zone& zone) override;
    void clipToZone(const Zone* zone) override;
    void setColors(const Color* foreground, const Color* background) override;

    oGraphPort& target() const { return *m_target; }
    int32_t angle() const { return m_angle; }

private:
    // A line point: the corner of the turned pen square that the target's pen starts from.
    oPoint penCorner(int32_t x, int32_t y) const;

    oGraphPort* m_target;
    int32_t m_angle;
    int32_t m_penWidth = 0;
};

// A new pixel map holding the picture of `pixmap` turned by the angle, on the source's background
// colour; the source is unchanged. Null when the new map cannot be made. (Defined with the pixel
// maps.) Meant for small images: turned double-byte text in PostScript output.
oPixMap* RotatePixMap(oPixMap& pixmap, int32_t angle);

// A port drawing into `target` turned by `angle`; its bounds are the target's turned back, so
// drawing them through the port fills the target's bounds.
std::unique_ptr<oRotatePort> NewRotatePort(oGraphPort& target, int32_t angle);
