#include "OverSrcs/oWindows.h"

#include "OverPc/PERROR.h"

namespace {

oPane* s_desktop = nullptr;
bool (*s_patternPadRedraw)() = nullptr;

} // namespace

void SetPatternPadRedrawHook(bool (*hook)()) {
    s_patternPadRedraw = hook;
}

// ---------------------------------------------------------------------------------------------
// oNativePort (portable part)

oNativePort::oNativePort() {
    setResolution(ScreenResolution());
}

oNativePort* oNativePort::clone() const {
    return new oNativePort(*this);
}

void oNativePort::setDrawableSize(int32_t width, int32_t height) {
    m_width = width;
    m_height = height;
    m_bounds = Zone{0, 0, width, height, height, height};
    m_clip = m_bounds;
    m_originX = 0;
    m_originY = 0;
}

void oNativePort::setOrigin(int32_t x, int32_t y) {
    const int32_t dx = x - m_bounds.left;
    const int32_t dy = y - m_bounds.top;
    ZoneOffset(m_bounds, dx, dy);
    ZoneOffset(m_clip, dx, dy);
    // The offset keeps whatever placed the port in its window: for a port at the window's
    // top-left this is (-x, -y).
    m_originX -= dx;
    m_originY -= dy;
}

bool oNativePort::fitsInside(int32_t, int32_t, int32_t, int32_t) {
    return false;
}

void oNativePort::setColors(const Color* foreground, const Color* background) {
    m_foreColor = foreground ? *foreground : kColorBlack;
    m_backColor = background ? *background : kColorWhite;
}

// ---------------------------------------------------------------------------------------------
// oOutputPort

oOutputPort::oOutputPort(int32_t deviceKind)
    : m_deviceKind(deviceKind) {
    // The base made a display record; an output port draws on its own kind of device.
    const PortDeviceHooks& hooks = GetPortDeviceHooks();
    adoptDevice(hooks.make && deviceKind >= 0 && deviceKind <= 6 ? hooks.make(deviceKind)
                                                                 : nullptr);
}

oOutputPort* oOutputPort::clone() const {
    oAssertionFailure(__FILE__, static_cast<unsigned>(__LINE__), "oOutputPort::clone");
    return nullptr;
}

oOutputPort::~oOutputPort() = default;

bool oOutputPort::hasDeviceRecord() const {
    return m_device != nullptr;
}

void oOutputPort::setOutputZone(const Zone& zone) {
    m_bounds = zone;
    m_clip = zone;
    m_width = zone.width();
    m_height = zone.height();
    m_originX = 0;
    m_originY = 0;
    m_foreColor = kColorBlack;
    m_backColor = kColorWhite;
}

// ---------------------------------------------------------------------------------------------
// oWidget (portable part)

oWidget* oWidget::clone() const {
    oAssertionFailure(__FILE__, static_cast<unsigned>(__LINE__), "oWidget::clone");
    return nullptr;
}

void oWidget::setPort() {
    oNativePort::setPort();
}

void oWidget::unsetPort() {
    oNativePort::unsetPort();
}

void oWidget::setupZone(const Zone& zone) {
    m_bounds = zone;
    m_clip = zone;
    m_width = zone.width();
    m_height = zone.height();
    m_foreColor = kColorBlack;
    m_backColor = kColorWhite;
    setResolution(ScreenResolution());
    m_lineUnit = ScreenDrawingUnit();
}

// ---------------------------------------------------------------------------------------------
// oPane

oPane::oPane() = default;

oPane::~oPane() {
    while (m_firstChild)
        delete m_firstChild; // the child unlinks itself
    if (m_parent && m_parent != this)
        m_parent->unlinkChild(this);
    m_parent = nullptr;
}

void oPane::unlinkChild(oPane* child) {
    oPane** link = &m_firstChild;
    while (*link) {
        if (*link == child) {
            *link = child->m_nextSibling;
            child->m_nextSibling = nullptr;
            return;
        }
        link = &(*link)->m_nextSibling;
    }
}

int32_t oPane::childCount() const {
    int32_t n = 0;
    for (oPane* c = m_firstChild; c; c = c->nextSibling())
        ++n;
    return n;
}

oPane* oPane::childAtPoint(oPoint point) const {
    for (oPane* c = m_firstChild; c; c = c->nextSibling())
        if (ZoneContainsPoint(c->m_zoneInParent, point))
            return c;
    return nullptr;
}

oPoint oPane::toParent(oPoint point) const {
    return {point.x - m_bounds.left + m_zoneInParent.left,
            point.y - m_bounds.top + m_zoneInParent.top};
}

oPoint oPane::fromParent(oPoint point) const {
    return {point.x - m_zoneInParent.left + m_bounds.left,
            point.y - m_zoneInParent.top + m_bounds.top};
}

Zone oPane::zoneToParent(const Zone& zone) const {
    Zone z = zone;
    ZoneOffset(z, m_zoneInParent.left - m_bounds.left, m_zoneInParent.top - m_bounds.top);
    return z;
}

oWindow* oPane::window() {
    oPane* p = this;
    while (p && p != s_desktop) {
        if (auto* w = dynamic_cast<oWindow*>(p))
            return w;
        if (p->m_parent == p)
            return nullptr;
        p = p->m_parent;
    }
    return nullptr;
}

void oPane::setPort() {
    oWidget::setPort();
}

void oPane::unsetPort() {
    oWidget::unsetPort();
}

void oPane::clipToZone(const Zone* zone) {
    oNativePort::clipToZone(zone);
}

namespace {
bool hasRealParent(const oPane* pane) {
    return pane->parent() && pane->parent() != pane;
}
} // namespace

void oPane::show() {
    if (hasRealParent(this))
        m_parent->show();
}

void oPane::takeFocus() {
    if (hasRealParent(this))
        m_parent->takeFocus();
}

void oPane::getScreenZone(Zone& zone) {
    if (hasRealParent(this))
        m_parent->getScreenZone(zone);
}

void oPane::setTitle(const char* text) {
    if (hasRealParent(this))
        m_parent->setTitle(text);
}

void oPane::getTitle(std::string& text) {
    if (hasRealParent(this))
        m_parent->getTitle(text);
    else
        text.clear();
}

void oPane::invalidate(const Zone* zone) {
    if (!hasRealParent(this))
        return;
    Zone z = m_zoneInParent;
    if (zone) {
        if (!ZoneIntersect(zoneToParent(*zone), m_zoneInParent, z))
            return; // nothing of it is visible in the parent
    }
    m_parent->invalidate(&z);
}

bool oPane::needsDrawing(const Zone* zone) {
    if (!hasRealParent(this))
        return true;
    Zone z = zone ? zoneToParent(*zone) : m_zoneInParent;
    return m_parent->needsDrawing(&z);
}

bool oPane::paintArea(Zone& box, bool& whole) {
    if (!hasRealParent(this) || !m_parent->paintArea(box, whole))
        return false;
    ZoneOffset(box, m_bounds.left - m_zoneInParent.left, m_bounds.top - m_zoneInParent.top);
    return true;
}

bool oPane::paintInside(const std::vector<Zone>& zones) {
    if (!hasRealParent(this))
        return false;
    std::vector<Zone> inParent;
    inParent.reserve(zones.size());
    for (const Zone& z : zones)
        inParent.push_back(zoneToParent(z));
    return m_parent->paintInside(inParent);
}

bool oPane::close() {
    return forwardToParent();
}

bool oPane::forwardToParent() {
    if (!hasRealParent(this))
        return false;
    return m_parent->close();
}

bool oPane::doDeadChar(int32_t) {
    return false;
}
bool oPane::doKey(int32_t) {
    return false;
}
bool oPane::doDoubleByteChar(int32_t) {
    return false;
}

void oPane::infoAtPoint(oPoint point, int32_t& cursorKind, int32_t& balloonInfo, Zone& zone) {
    if (oPane* child = childAtPoint(point)) {
        child->infoAtPoint(child->fromParent(point), cursorKind, balloonInfo, zone);
        zone = child->zoneToParent(zone);
        return;
    }
    cursorKind = 0;
    balloonInfo = 0;
    zone = m_bounds;
}

void oPane::click(oPoint point) {
    if (oPane* child = childAtPoint(point))
        child->click(child->fromParent(point));
}

void oPane::contextClick(oPoint point) {
    if (oPane* child = childAtPoint(point))
        child->contextClick(child->fromParent(point));
}

bool oPane::canClose() {
    for (oPane* c = m_firstChild; c; c = c->nextSibling())
        if (!c->canClose())
            return false;
    return true;
}

void oPane::resize(int32_t dx, int32_t dy) {
    if (m_anchors & kAnchorTopToBottom) {
        m_originY += dy;
        m_height -= dy;
        m_bounds.bottom -= dy;
        m_clip.bottom -= dy;
        m_zoneInParent.top += dy;
    }
    if (m_anchors & kAnchorBottomToBottom) {
        m_height += dy;
        m_bounds.bottom += dy;
        m_clip.bottom += dy;
        m_zoneInParent.bottom += dy;
    }
    if (m_anchors & kAnchorLeftToRight) {
        m_originX += dx;
        m_width -= dx;
        m_bounds.right -= dx;
        m_clip.right -= dx;
        m_zoneInParent.left += dx;
    }
    if (m_anchors & kAnchorRightToRight) {
        m_width += dx;
        m_bounds.right += dx;
        m_clip.right += dx;
        m_zoneInParent.right += dx;
    }
    for (oPane* c = m_firstChild; c; c = c->nextSibling())
        c->resize(dx, dy);
}

void oPane::updateOrigin() {
    if (hasRealParent(this)) {
        m_originX = m_parent->originX() - m_bounds.left + m_zoneInParent.left;
        m_originY = m_parent->originY() - m_bounds.top + m_zoneInParent.top;
    }
    for (oPane* c = m_firstChild; c; c = c->nextSibling())
        c->updateOrigin();
}

void oPane::draw() {
    for (oPane* c = m_firstChild; c; c = c->nextSibling())
        if (needsDrawing(&c->m_zoneInParent))
            c->draw();
}

void oPane::drawWith(std::intptr_t argument) {
    for (oPane* c = m_firstChild; c; c = c->nextSibling())
        if (needsDrawing(&c->m_zoneInParent))
            c->drawWith(argument);
}

void oPane::activate() {
    for (oPane* c = m_firstChild; c; c = c->nextSibling())
        c->activate();
}

void oPane::deactivate() {
    for (oPane* c = m_firstChild; c; c = c->nextSibling())
        c->deactivate();
}

void oPane::becomeFront() {}
void oPane::resignFront() {}
void oPane::idle() {}
bool oPane::compositionPoint(oPoint&) {
    return false;
}
bool oPane::anyChildBusy() {
    return false;
}

void oPane::placeInParent(oPane* parent, const Zone& zone, oPoint origin) {
    if (!parent || parent == this)
        return;
    if (hasRealParent(this))
        m_parent->unlinkChild(this);
    m_zoneInParent = zone;
    m_anchors = static_cast<uint8_t>((m_anchors & 0xFC) | 12);

    m_nextSibling = nullptr;
    m_parent = parent;
    oPane** link = &parent->m_firstChild;
    while (*link)
        link = &(*link)->m_nextSibling;
    *link = this;

    // Share the parent's device record: the pane draws on the parent's window.
    if (parent->device() != m_device) {
        if (parent->device() && GetPortDeviceHooks().addRef)
            GetPortDeviceHooks().addRef(parent->device());
        adoptDevice(parent->device());
    }

    m_parentWord = parent->m_parentWord;
    m_originX = parent->originX() - origin.x + zone.left;
    m_originY = parent->originY() - origin.y + zone.top;

    m_bounds = zone;
    ZoneMoveTo(m_bounds, origin.x, origin.y);
    m_clip = m_bounds;
    m_width = m_bounds.width();
    m_height = m_bounds.height();
    m_foreColor = kColorBlack;
    m_backColor = kColorWhite;
    setResolution(ScreenResolution());
    m_flag = 0;
}

oWindow* oPane::openInWindow(const char* title, const Zone& zone, int32_t kind) {
    auto* win = new oWindow();
    if (!win->createNativeWindow(title, zone, kind)) {
        delete win;
        return nullptr;
    }
    win->setTarget(this);
    placeInParent(win, win->bounds(), oPoint{0, 0});
    return win;
}

oPane* CreateDesktopPane() {
    if (s_desktop)
        return s_desktop;
    auto* desk = new oPane();
    desk->m_parent = desk;
    desk->m_parentWord = 0;
    desk->adoptDevice(nullptr);
    desk->m_originX = 0;
    desk->m_originY = 0;
    desk->setResolution(ScreenResolution());
    desk->m_lineUnit = ScreenDrawingUnit();
    s_desktop = desk;
    return desk;
}

void DeleteDesktopPane() {
    oPane* desk = s_desktop;
    s_desktop = nullptr;
    delete desk;
}

oPane* DesktopPane() {
    return s_desktop;
}

// ---------------------------------------------------------------------------------------------
// oWindow (portable part)

// Windows are not linked into the screen's root pane: the root may be deleted at shutdown while
// a window object still exists, and a window forwards nothing upwards.
oWindow::oWindow() = default;

bool oWindow::close() {
    if (!canClose())
        return false;
    resignFront();
    delete this;
    return true;
}

bool oWindow::doDeadChar(int32_t character) {
    return m_target ? m_target->doDeadChar(character) : false;
}
bool oWindow::doKey(int32_t key) {
    return m_target ? m_target->doKey(key) : false;
}
bool oWindow::doDoubleByteChar(int32_t character) {
    return m_target ? m_target->doDoubleByteChar(character) : false;
}
void oWindow::idle() {
    // The target's idle step blinks the caret: it runs at the blink interval, not on every pass
    // of the idle loop.
    PeriodicTick(m_target);
}
bool oWindow::compositionPoint(oPoint& point) {
    return m_target ? m_target->compositionPoint(point) : false;
}
bool oWindow::anyChildBusy() {
    for (oPane* c = m_firstChild; c; c = c->nextSibling())
        if (c->anyChildBusy())
            return true;
    return false;
}

// ---------------------------------------------------------------------------------------------
// oScrollPane (portable part)

oScrollPane::oScrollPane() = default;

int32_t oScrollPane::clampScroll(int32_t position, int32_t extent, int32_t frame) {
    if (extent <= frame)
        return 0;
    const int32_t most = extent - frame + 1;
    return position < 0 ? 0 : (position > most ? most : position);
}

void oScrollPane::invalidate(const Zone* zone) {
    if (!m_parent || m_parent == this)
        return;
    Zone z = m_zoneInParent;
    if (zone) {
        z = *zone;
        ZoneOffset(z, m_zoneInParent.left - m_bounds.left, m_zoneInParent.top - m_bounds.top);
    }
    m_parent->invalidate(&z);
}

void oScrollPane::draw() {
    if (m_panoramaWidth < 0 || m_panoramaHeight < 0)
        oAssertionFailure(__FILE__, static_cast<unsigned>(__LINE__), "setPanorama() never called");
    const Zone zone = m_bounds;
    const Zone panorama{0,
                        0,
                        m_panoramaWidth < 0 ? 0 : m_panoramaWidth,
                        m_panoramaHeight < 0 ? 0 : m_panoramaHeight,
                        0,
                        0};
    Zone inter;
    if (!ZoneIntersect(zone, panorama, inter)) {
        // Nothing of the contents shows: the bands around an empty overlap would be inverted.
        eraseZone(zone);
        return;
    }
    drawContents(inter);
    if (inter.top > zone.top)
        eraseZone(Zone{zone.left, zone.top, zone.right, inter.top, 0, 0});
    if (inter.bottom < zone.bottom)
        eraseZone(Zone{zone.left, inter.bottom, zone.right, zone.bottom, 0, 0});
    if (inter.left > zone.left)
        eraseZone(Zone{zone.left, inter.top, inter.left, inter.bottom, 0, 0});
    if (inter.right < zone.right)
        eraseZone(Zone{inter.right, inter.top, zone.right, inter.bottom, 0, 0});
}

void oScrollPane::infoAtPoint(oPoint point, int32_t& cursorKind, int32_t& balloonInfo, Zone& zone) {
    if (s_patternPadRedraw)
        s_patternPadRedraw();
    oPane::infoAtPoint(point, cursorKind, balloonInfo, zone);
}

void oScrollPane::drawContents(const Zone&) {}
