#include "OverSrcs/oWindows.h"

#include "OverPc/shell/CQVApp.h"
#include "OverPc/shell/Pwindow.h"
#include "PortsFixture.h"
#include "plat/Controls.h"
#include "plat/Menu.h"
#include "plat/Testing.h"
#include "plat/Window.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace kvtest {
namespace {

using Panes = PortsFixture;

// Records what reaches it; shared log across panes.
struct Log {
    std::vector<std::string> lines;
    void add(const std::string& s) { lines.push_back(s); }
};

std::string zoneText(const Zone& z) {
    return std::to_string(z.left) + "," + std::to_string(z.top) + "," + std::to_string(z.right) +
           "," + std::to_string(z.bottom);
}

class ProbePane : public oPane {
public:
    ProbePane(Log& log, std::string name)
        : m_log(log)
        , m_name(std::move(name)) {}
    ~ProbePane() override { m_log.add(m_name + " gone"); }
    void click(oPoint p) override {
        m_log.add(m_name + " click " + std::to_string(p.x) + "," + std::to_string(p.y));
    }
    bool canClose() override {
        m_log.add(m_name + " canClose");
        return m_closable && oPane::canClose();
    }
    void invalidate(const Zone* zone) override {
        if (m_recordInvalidate) {
            m_log.add(m_name + " invalidate " + (zone ? zoneText(*zone) : "all"));
            return;
        }
        oPane::invalidate(zone);
    }
    bool needsDrawing(const Zone* zone) override {
        if (m_recordInvalidate) {
            m_log.add(m_name + " needs " + (zone ? zoneText(*zone) : "all"));
            return true;
        }
        return oPane::needsDrawing(zone);
    }
    void draw() override {
        m_log.add(m_name + " draw");
        if (m_paint)
            paintZone(bounds(), kColorRed);
        oPane::draw();
    }
    void becomeFront() override { m_log.add(m_name + " front"); }
    void resignFront() override { m_log.add(m_name + " resign"); }
    void infoAtPoint(oPoint p, int32_t& kind, int32_t& info, Zone& zone) override {
        if (!m_answerInfo)
            return oPane::infoAtPoint(p, kind, info, zone);
        kind = 1;
        info = p.x * 1000 + p.y;
        zone = Zone{p.x, p.y, p.x + 2, p.y + 2, 0, 0};
    }

    bool m_closable = true;
    bool m_recordInvalidate = false;
    bool m_paint = false;
    bool m_answerInfo = false;

private:
    Log& m_log;
    std::string m_name;
};

class ProbeScroll : public oScrollPane {
public:
    explicit ProbeScroll(Log& log)
        : m_log(log) {}
    void drawContents(const Zone& zone) override { m_log.add("contents " + zoneText(zone)); }
    void eraseZone(const Zone& zone) override { m_log.add("erase " + zoneText(zone)); }
    void setPanoramaRaw(int32_t w, int32_t h) {
        m_panoramaWidth = w;
        m_panoramaHeight = h;
    }

private:
    Log& m_log;
};

// A scroll pane placed in a host pane at the frame; the host owns it.
struct ScrollHost {
    oPane host;
    ProbeScroll* pane;
    ScrollHost(Log& log, const Zone& frame)
        : pane(new ProbeScroll(log)) {
        pane->placeInParent(&host, frame, oPoint{0, 0});
    }
};

TEST_F(Panes, PlacingLinksChildrenInOrderAndSetsThePort) {
    oPane parent;
    parent.setOrigin(0, 0);
    auto* a = new oPane;
    auto* b = new oPane;
    a->setAnchors(0x13);
    a->placeInParent(&parent, Zone{10, 20, 60, 50, 5, 7}, oPoint{0, 0});
    b->placeInParent(&parent, Zone{0, 0, 5, 5, 0, 0}, oPoint{100, 200});
    EXPECT_EQ(parent.firstChild(), a);
    EXPECT_EQ(a->nextSibling(), b);
    EXPECT_EQ(a->parent(), &parent);
    EXPECT_EQ(a->anchors(), 0x1C) << "bits 1 and 2 cleared, 4 and 8 set, the rest kept";
    EXPECT_EQ(a->bounds(), (Zone{0, 0, 50, 30, 5, 7}));
    EXPECT_EQ(a->width(), 50);
    EXPECT_EQ(a->originX(), 10);
    EXPECT_EQ(a->originY(), 20);
    // Own coordinates start at (100, 200): origin = parent's - origin point + zone's top-left.
    EXPECT_EQ(b->bounds().left, 100);
    EXPECT_EQ(b->originX(), -100);
    EXPECT_EQ(b->originY(), -200);
    EXPECT_EQ(b->fromParent(oPoint{2, 3}).x, 102);
    EXPECT_EQ(b->toParent(oPoint{102, 203}).y, 3);
    EXPECT_EQ(a->resolution(), ScreenResolution());
}

TEST_F(Panes, DestroyedChildrenAreUnlinked) {
    Log log;
    oPane parent;
    ProbePane* c[3];
    for (int i = 0; i < 3; ++i) {
        c[i] = new ProbePane(log, std::string("c").append(std::to_string(i)));
        c[i]->placeInParent(&parent, Zone{0, 0, 10, 10, 0, 0}, oPoint{0, 0});
    }
    delete c[1];
    EXPECT_EQ(parent.firstChild(), c[0]);
    EXPECT_EQ(c[0]->nextSibling(), c[2]);
    delete c[0];
    EXPECT_EQ(parent.firstChild(), c[2]);
    EXPECT_EQ(parent.childCount(), 1);
    auto* grandchild = new ProbePane(log, "g");
    grandchild->placeInParent(c[2], Zone{0, 0, 5, 5, 0, 0}, oPoint{0, 0});
    delete c[2];
    EXPECT_EQ(parent.firstChild(), nullptr);
    EXPECT_EQ(log.lines.back(), "g gone") << "a pane deletes its children";
}

TEST_F(Panes, ClicksGoToTheFirstChildUnderThePointInItsCoordinates) {
    Log log;
    oPane parent;
    auto* a = new ProbePane(log, "a");
    auto* b = new ProbePane(log, "b");
    a->placeInParent(&parent, Zone{10, 10, 50, 50, 0, 0}, oPoint{0, 0});
    b->placeInParent(&parent, Zone{30, 30, 80, 80, 0, 0}, oPoint{1000, 0});
    parent.click(oPoint{5, 5});
    EXPECT_TRUE(log.lines.empty()) << "outside every child: ignored";
    parent.click(oPoint{40, 40});
    parent.click(oPoint{60, 35});
    parent.click(oPoint{50, 10}); // right edge of a is outside it
    ASSERT_EQ(log.lines.size(), 2u);
    EXPECT_EQ(log.lines[0], "a click 30,30");
    EXPECT_EQ(log.lines[1], "b click 1030,5");
}

TEST_F(Panes, InfoAtPointComesBackInTheAskersCoordinates) {
    Log log;
    oPane parent;
    auto* a = new ProbePane(log, "a");
    a->m_answerInfo = true;
    a->placeInParent(&parent, Zone{10, 20, 50, 60, 0, 0}, oPoint{100, 100});
    int32_t kind = -1, info = -1;
    Zone zone;
    parent.infoAtPoint(oPoint{15, 25}, kind, info, zone);
    EXPECT_EQ(info, 105 * 1000 + 105);
    EXPECT_EQ(zone, (Zone{15, 25, 17, 27, 0, 0}));
    parent.infoAtPoint(oPoint{0, 0}, kind, info, zone);
    EXPECT_EQ(kind, 0);
    EXPECT_EQ(info, 0);
    EXPECT_EQ(zone, parent.bounds());
}

TEST_F(Panes, InvalidateIsCutToEachAncestorOnTheWay) {
    Log log;
    ProbePane top(log, "top");
    top.m_recordInvalidate = true;
    auto* middle = new oPane;
    auto* inner = new oPane;
    middle->placeInParent(&top, Zone{100, 100, 200, 200, 0, 0}, oPoint{0, 0});
    inner->placeInParent(middle, Zone{50, 60, 150, 90, 0, 0}, oPoint{0, 0});
    inner->invalidate(nullptr);
    const Zone corner{0, 0, 10, 10, 0, 0};
    inner->invalidate(&corner);
    inner->needsDrawing(nullptr);
    ASSERT_EQ(log.lines.size(), 3u);
    EXPECT_EQ(log.lines[0], "top invalidate 150,160,200,190") << "cut to the middle pane";
    EXPECT_EQ(log.lines[1], "top invalidate 150,160,160,170");
    EXPECT_EQ(log.lines[2], "top needs 150,160,250,190") << "asked without cutting";

    // A pane whose own coordinates do not start at 0 converts through its bounds too.
    auto* shifted = new oPane;
    shifted->placeInParent(&top, Zone{10, 20, 60, 70, 0, 0}, oPoint{500, 600});
    const Zone own{505, 606, 515, 616, 0, 0};
    shifted->invalidate(&own);
    EXPECT_EQ(log.lines.back(), "top invalidate 15,26,25,36");
}

TEST_F(Panes, ResizeFollowsTheAnchors) {
    struct Case {
        uint8_t anchors;
        Zone zone;
        int32_t height;
        int32_t originY;
    };
    const Case cases[] = {
        {kAnchorBottomToBottom | kAnchorRightToRight, Zone{10, 10, 60, 45, 0, 0}, 35, 10},
        {kAnchorTopToBottom | kAnchorBottomToBottom, Zone{10, 15, 50, 45, 0, 0}, 30, 15},
        {kAnchorLeftToRight | kAnchorRightToRight, Zone{20, 10, 60, 40, 0, 0}, 30, 10},
        {0, Zone{10, 10, 50, 40, 0, 0}, 30, 10},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.anchors));
        oPane parent;
        auto* pane = new oPane;
        auto* child = new oPane;
        pane->placeInParent(&parent, Zone{10, 10, 50, 40, 0, 0}, oPoint{0, 0});
        child->placeInParent(pane, Zone{0, 0, 40, 30, 0, 0}, oPoint{0, 0});
        pane->setAnchors(c.anchors);
        parent.resize(10, 5);
        EXPECT_EQ(pane->zoneInParent(), c.zone);
        EXPECT_EQ(pane->height(), c.height);
        EXPECT_EQ(pane->originY(), c.originY);
        EXPECT_EQ(child->height(), 35) << "children get the same change";
    }
}

TEST_F(Panes, UpdateOriginRecomputesDownTheTree) {
    oPane parent;
    auto* a = new oPane;
    auto* b = new oPane;
    a->placeInParent(&parent, Zone{10, 10, 90, 90, 0, 0}, oPoint{0, 0});
    b->placeInParent(a, Zone{5, 5, 20, 20, 0, 0}, oPoint{0, 0});
    parent.setOrigin(-3, -4); // origin (3, 4)
    a->setOrigin(7, 0);
    a->updateOrigin();
    EXPECT_EQ(a->originX(), 3 - 7 + 10);
    EXPECT_EQ(a->originY(), 4 + 10);
    EXPECT_EQ(b->originX(), a->originX() + 5);
}

TEST_F(Panes, CanCloseStopsAtTheFirstRefusal) {
    Log log;
    oPane parent;
    EXPECT_TRUE(parent.canClose()) << "no children";
    auto* a = new ProbePane(log, "a");
    auto* b = new ProbePane(log, "b");
    auto* c = new ProbePane(log, "c");
    for (ProbePane* p : {a, b, c})
        p->placeInParent(&parent, Zone{0, 0, 1, 1, 0, 0}, oPoint{0, 0});
    b->m_closable = false;
    EXPECT_FALSE(parent.canClose());
    EXPECT_EQ(log.lines, (std::vector<std::string>{"a canClose", "b canClose"}));
}

TEST_F(Panes, ScrollPaneDrawsContentsAndErasesTheMargins) {
    Log log;
    ScrollHost h(log, Zone{0, 0, 100, 80, 0, 0});
    ProbeScroll& pane = *h.pane;
    pane.draw();
    EXPECT_TRUE(logged("setPanorama() never called"));

    log.lines.clear();
    pane.setPanoramaRaw(60, 50);
    pane.draw();
    EXPECT_EQ(log.lines, (std::vector<std::string>{"contents 0,0,60,50", "erase 0,50,100,80",
                                                   "erase 60,0,100,50"}));

    log.lines.clear();
    pane.setOrigin(-20, -10); // contents shown from (-20, -10): margins above and left
    pane.draw();
    EXPECT_EQ(log.lines, (std::vector<std::string>{"contents 0,0,60,50", "erase -20,-10,80,0",
                                                   "erase -20,50,80,70", "erase -20,0,0,50",
                                                   "erase 60,0,80,50"}));

    log.lines.clear();
    pane.setOrigin(200, 200); // scrolled past the contents: nothing to draw
    pane.draw();
    EXPECT_EQ(log.lines, (std::vector<std::string>{"erase 200,200,300,280"}));
}

TEST_F(Panes, ScrollClampsAndCentres) {
    EXPECT_EQ(oScrollPane::clampScroll(500, 300, 100), 201);
    EXPECT_EQ(oScrollPane::clampScroll(-5, 300, 100), 0);
    EXPECT_EQ(oScrollPane::clampScroll(50, 300, 100), 50);
    EXPECT_EQ(oScrollPane::clampScroll(50, 80, 100), 0);

    Log log;
    ScrollHost h(log, Zone{0, 0, 100, 80, 0, 0});
    ProbeScroll& pane = *h.pane;
    const oPoint far{1000, 1000};
    pane.setPanorama(300, 60, &far, false);
    EXPECT_EQ(pane.bounds().left, 201);
    EXPECT_EQ(pane.bounds().top, 0) << "a height that fits sits at the top";
    pane.setPanorama(300, 60, nullptr, true);
    EXPECT_EQ(pane.bounds().left, 201) << "null keeps the current position";
    EXPECT_EQ(pane.bounds().top, -10) << "centred in the frame";
    pane.scrollBy(-50, 30);
    EXPECT_EQ(pane.bounds().left, 151);
    EXPECT_EQ(pane.bounds().top, -10) << "no vertical scrolling when the contents fit";
    pane.scrollBy(-500, 0);
    EXPECT_EQ(pane.bounds().left, 0);
    EXPECT_EQ(pane.originX(), 0);

    // A frame away from the window's corner keeps its place while it scrolls.
    ScrollHost off(log, Zone{30, 40, 130, 120, 0, 0});
    const oPoint at{50, 0};
    off.pane->setPanorama(300, 300, &at, false);
    EXPECT_EQ(off.pane->originX(), 30 - 50);
    EXPECT_EQ(off.pane->originY(), 40);
}

TEST_F(Panes, WindowPaintsItsPanesThroughThePaintDc) {
    Log log;
    auto* root = new ProbePane(log, "root");
    oWindow* window = root->openInWindow("paint", Zone{20, 20, 140, 100, 0, 0}, kWindowCaption);
    ASSERT_NE(window, nullptr);
    auto hwnd = reinterpret_cast<plat::HWND>(window->windowHandle());
    EXPECT_EQ(window->target(), root);
    EXPECT_EQ(root->bounds(), window->bounds());
    EXPECT_EQ(WindowOfHandle(hwnd), window);
    auto* child = new ProbePane(log, "child");
    child->m_paint = true;
    child->placeInParent(root, Zone{10, 10, 30, 20, 0, 0}, oPoint{0, 0});
    window->show();
    plat::testing::runUntilIdle();
    EXPECT_NE(std::find(log.lines.begin(), log.lines.end(), "child draw"), log.lines.end());
    EXPECT_EQ(CachedPortDcCount(kDeviceDisplay), 0);
    const auto image = plat::testing::pixels(hwnd);
    EXPECT_EQ(image.at(10, 10) & 0xFFFFFF, 0xFF0000u) << "red in 0xRRGGBB";
    EXPECT_EQ(image.at(29, 19) & 0xFFFFFF, 0xFF0000u);
    EXPECT_NE(image.at(30, 19) & 0xFFFFFF, 0xFF0000u);

    std::string title;
    root->setTitle("Renamed");
    root->getTitle(title);
    EXPECT_EQ(title, "Renamed");
    delete window;
    EXPECT_FALSE(plat::IsWindow(hwnd));
    ASSERT_GE(log.lines.size(), 2u);
    EXPECT_EQ(log.lines[log.lines.size() - 2], "root gone");
    EXPECT_EQ(log.lines.back(), "child gone") << "the window deletes its pane tree";
}

TEST_F(Panes, WindowResizeMovesAnchoredPanes) {
    auto* root = new oPane;
    oWindow* window = root->openInWindow("size", Zone{0, 0, 200, 100, 0, 0}, kWindowSizing);
    ASSERT_NE(window, nullptr);
    const int32_t w = window->width();
    const int32_t h = window->height();
    window->clientResized(w + 30, h + 20);
    EXPECT_EQ(root->width(), w + 30);
    EXPECT_EQ(root->zoneInParent().bottom, h + 20);
    delete window;
}

TEST_F(Panes, OneFrontWindowAtATime) {
    Log log;
    auto* p1 = new ProbePane(log, "p1");
    auto* p2 = new ProbePane(log, "p2");
    oWindow* w1 = p1->openInWindow("one", Zone{0, 0, 50, 50, 0, 0}, kWindowCaption);
    oWindow* w2 = p2->openInWindow("two", Zone{60, 0, 110, 50, 0, 0}, kWindowCaption);
    w1->becomeFront();
    w1->becomeFront();
    EXPECT_EQ(FrontWindow(), w1);
    w2->becomeFront();
    EXPECT_EQ(FrontWindow(), w2);
    w1->resignFront(); // not front: nothing
    EXPECT_EQ(log.lines, (std::vector<std::string>{"p1 front", "p1 resign", "p2 front"}));
    p2->m_closable = false;
    EXPECT_FALSE(w2->close());
    EXPECT_EQ(FrontWindow(), w2);
    p2->m_closable = true;
    EXPECT_TRUE(w2->close());
    EXPECT_EQ(FrontWindow(), nullptr);
    EXPECT_EQ(log.lines.back(), "p2 gone");
    delete w1;
}

TEST_F(Panes, DragReportsMovesInWidgetCoordinatesAndTheRelease) {
    auto* root = new oPane;
    oWindow* window = root->openInWindow("drag", Zone{0, 0, 200, 200, 0, 0}, kWindowCaption);
    auto* inner = new oPane;
    inner->placeInParent(root, Zone{20, 30, 120, 130, 0, 0}, oPoint{0, 0});
    window->show();
    plat::testing::runUntilIdle();
    auto hwnd = reinterpret_cast<plat::HWND>(window->windowHandle());
    plat::testing::move(hwnd, 40, 50);
    plat::testing::move(hwnd, 60, 70);
    plat::testing::release(hwnd, 61, 71);
    std::vector<std::string> seen;
    inner->trackDrag(
        [&](oPoint p) { seen.push_back(std::to_string(p.x) + "," + std::to_string(p.y)); },
        [&](oPoint p) {
            seen.push_back("end " + std::to_string(p.x) + "," + std::to_string(p.y));
        });
    EXPECT_EQ(seen, (std::vector<std::string>{"20,20", "40,40", "end 41,41"}));
    EXPECT_EQ(plat::GetCapture(), nullptr);
    delete window;
}

TEST_F(Panes, InvertAndHighlightAreSelfInverse) {
    auto* root = new oPane;
    oWindow* window = root->openInWindow("xor", Zone{0, 0, 100, 100, 0, 0}, kWindowCaption);
    window->show();
    plat::testing::runUntilIdle();
    auto hwnd = reinterpret_cast<plat::HWND>(window->windowHandle());
    root->paintZone(Zone{0, 0, 40, 40, 0, 0}, kColorWhite);
    const auto before = plat::testing::pixels(hwnd).pixels;
    const Zone z{5, 5, 25, 15, 0, 0};
    root->invertZone(z);
    auto after = plat::testing::pixels(hwnd);
    EXPECT_EQ(after.at(5, 5) & 0xFFFFFF, 0u) << "white inverted";
    EXPECT_EQ(after.at(25, 5) & 0xFFFFFF, 0xFFFFFFu);
    root->invertZone(z);
    EXPECT_EQ(plat::testing::pixels(hwnd).pixels, before);
    root->hiliteZone(z);
    EXPECT_NE(plat::testing::pixels(hwnd).at(6, 6) & 0xFFFFFF, 0xFFFFFFu);
    root->hiliteZone(z);
    EXPECT_EQ(plat::testing::pixels(hwnd).pixels, before);
    const oPoint tri[3] = {{30, 30}, {60, 30}, {30, 60}};
    root->invertPolygon(3, tri);
    EXPECT_NE(plat::testing::pixels(hwnd).pixels, before);
    root->invertPolygon(3, tri);
    EXPECT_EQ(plat::testing::pixels(hwnd).pixels, before);
    delete window;
}

TEST_F(Panes, FitsInsideNeedsTheWidgetsOwnVisibleArea) {
    auto* root = new oPane;
    oWindow* window = root->openInWindow("fits", Zone{0, 0, 200, 200, 0, 0}, kWindowCaption);
    window->show();
    plat::testing::runUntilIdle();
    EXPECT_TRUE(root->fitsInside(10, 10, 50, 50));
    EXPECT_FALSE(root->fitsInside(180, 10, 50, 50)) << "beyond the bounds";
    EXPECT_FALSE(root->fitsInside(-1, 10, 5, 5));
    auto* cover = new oPane;
    oWindow* over = cover->openInWindow("cover", Zone{30, 30, 300, 300, 0, 0}, kWindowCaption);
    over->show();
    plat::testing::runUntilIdle();
    EXPECT_FALSE(root->fitsInside(10, 10, 100, 100)) << "another window lies over a corner";
    EXPECT_FALSE(oNativePort().fitsInside(0, 0, 1, 1));
    delete over;
    delete window;
}

TEST_F(Panes, OnlyPanesMeetingTheUpdateRegionAreDrawn) {
    Log log;
    auto* root = new ProbePane(log, "root");
    oWindow* window = root->openInWindow("upd", Zone{0, 0, 200, 200, 0, 0}, kWindowCaption);
    auto* a = new ProbePane(log, "a");
    auto* b = new ProbePane(log, "b");
    a->placeInParent(root, Zone{0, 0, 50, 50, 0, 0}, oPoint{0, 0});
    b->placeInParent(root, Zone{100, 100, 150, 150, 0, 0}, oPoint{0, 0});
    window->show();
    plat::testing::runUntilIdle();
    log.lines.clear();
    const Zone part{10, 10, 20, 20, 0, 0};
    b->invalidate(&part);
    plat::testing::runUntilIdle();
    EXPECT_EQ(log.lines, (std::vector<std::string>{"root draw", "b draw"}));
    EXPECT_TRUE(window->needsDrawing(nullptr)) << "outside a paint everything needs drawing";
    delete window;
}

TEST_F(Panes, AFailingPaintIsReportedAndLeavesNoPaintState) {
    struct Failing : oPane {
        void draw() override { Fail(errUnplanned); }
    };
    auto* root = new Failing;
    oWindow* window = root->openInWindow("fail", Zone{0, 0, 100, 100, 0, 0}, kWindowCaption);
    int boxes = 0;
    plat::testing::onMessageBox([&](const plat::testing::MessageBoxCall&) {
        ++boxes;
        return 1;
    });
    window->show();
    plat::testing::runUntilIdle();
    EXPECT_EQ(boxes, 1);
    EXPECT_EQ(PaintRegionPort(), nullptr);
    EXPECT_EQ(CurrentPaintDc(), nullptr);
    EXPECT_EQ(CachedPortDcCount(kDeviceDisplay), 0);
    EXPECT_EQ(ErrorEnvDepth(), 0);
    delete window;
}

TEST_F(Panes, ScrollPaneWindowHasBarsAndScrollsWhileDraggingBeyondIt) {
    Log log;
    auto* pane = new ProbeScroll(log);
    oWindow* window = pane->makeWindow("scroll", Zone{0, 0, 216, 216, 0, 0}, kWindowCaption);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(pane->zoneInParent().right, window->width() - kScrollBarSize);
    EXPECT_EQ(pane->zoneInParent().bottom, window->height() - kScrollBarSize);
    EXPECT_EQ(window->firstChild(), pane);
    EXPECT_EQ(pane->nextSibling(), nullptr) << "placed once";
    pane->setPanorama(1000, 1000, nullptr, false);
    window->show();
    plat::testing::runUntilIdle();

    auto hwnd = reinterpret_cast<plat::HWND>(window->windowHandle());
    const int32_t bottom = pane->zoneInParent().bottom;
    plat::testing::move(hwnd, 20, bottom + 10); // 11 below the last visible row
    plat::testing::release(hwnd, 20, 20);
    int restores = 0;
    std::vector<oPoint> moves;
    pane->trackDrag([&](oPoint p) { moves.push_back(p); }, [](oPoint) {}, [&] { ++restores; });
    EXPECT_GE(restores, 1);
    EXPECT_GE(pane->bounds().top, 11) << "scrolled by the overshoot";
    ASSERT_FALSE(moves.empty());
    EXPECT_EQ(moves.back().y, bottom + 10 + pane->bounds().top)
        << "the point follows the contents under the mouse";

    pane->handleScroll(1, kScrollTop, 0);
    EXPECT_EQ(pane->bounds().top, 0);
    pane->handleScroll(1, kScrollLineDown, 0);
    EXPECT_EQ(pane->bounds().top, pane->resolution());
    pane->handleScroll(0, kScrollThumbTrack, 300);
    EXPECT_EQ(pane->bounds().left, 300);
    delete window;
}

TEST_F(Panes, PaneWindowHandsInputToThePanes) {
    Log log;
    struct KeyPane : ProbePane {
        using ProbePane::ProbePane;
        bool doKey(int32_t key) override {
            keys += static_cast<char>(key);
            return true;
        }
        void click(oPoint p) override {
            clicks.push_back(DoubleClickFlag);
            ProbePane::click(p);
        }
        std::string keys;
        std::vector<int> clicks;
    };
    auto* root = new KeyPane(log, "root");
    root->m_answerInfo = true;
    oWindow* window = root->openInWindow("input", Zone{0, 0, 100, 100, 0, 0}, kWindowCaption);
    window->show();
    plat::testing::runUntilIdle();
    auto hwnd = reinterpret_cast<plat::HWND>(window->windowHandle());

    plat::testing::click(hwnd, 10, 20);
    plat::testing::runUntilIdle();
    EXPECT_EQ(FrontWindow(), window) << "the click focused the window";
    plat::testing::type("ab");
    plat::testing::key('C', plat::testing::kCtrl);
    plat::testing::runUntilIdle();
    EXPECT_EQ(root->keys, "ab") << "Ctrl characters belong to the key filter";

    plat::testing::doubleClick(hwnd, 30, 30);
    plat::testing::runUntilIdle();
    EXPECT_EQ(root->clicks, (std::vector<int>{0, 0, 1}));
    plat::testing::click(hwnd, 30, 30, plat::testing::kLeft);
    plat::testing::runUntilIdle();
    EXPECT_EQ(DoubleClickFlag, 0);

    plat::testing::move(hwnd, 40, 40);
    plat::testing::runUntilIdle();
    EXPECT_EQ(plat::testing::currentCursorId(), 32513) << "kind 1 shows the text beam";
    delete window;
    EXPECT_EQ(FrontWindow(), nullptr);
}

TEST_F(Panes, CloseRequestClosesTheWindowUnlessAPaneRefuses) {
    Log log;
    auto* root = new ProbePane(log, "root");
    oWindow* window = root->openInWindow("close", Zone{0, 0, 100, 100, 0, 0}, kWindowCaption);
    window->show();
    plat::testing::runUntilIdle();
    auto hwnd = reinterpret_cast<plat::HWND>(window->windowHandle());
    const PortDevice* device = window->device();
    root->m_closable = false;
    plat::testing::closeRequest(hwnd);
    plat::testing::runUntilIdle();
    EXPECT_TRUE(plat::IsWindow(hwnd));
    EXPECT_EQ(WindowOfHandle(hwnd), window);
    root->m_closable = true;
    plat::testing::closeRequest(hwnd);
    plat::testing::runUntilIdle();
    EXPECT_FALSE(plat::IsWindow(hwnd));
    EXPECT_EQ(log.lines.back(), "root gone");
    EXPECT_EQ(PortDeviceRefCount(device), 0) << "the shared record went with the last pane";
}

TEST_F(Panes, DesktopPaneIsItsOwnParent) {
    oPane* desk = DesktopPane();
    ASSERT_NE(desk, nullptr);
    EXPECT_EQ(desk->parent(), desk);
    EXPECT_EQ(desk->device(), nullptr);
    EXPECT_EQ(desk->resolution(), ScreenResolution());
    desk->show(); // forwards nowhere
    desk->invalidate(nullptr);
    EXPECT_TRUE(desk->needsDrawing(nullptr));
}

plat::SCROLLINFO barInfo(WindowHandle bar) {
    plat::SCROLLINFO info;
    info.fMask = plat::SIF_ALL;
    EXPECT_TRUE(plat::GetScrollInfo(HandleOfWindow(bar), plat::SB_CTL, &info));
    return info;
}

TEST_F(Panes, ScrollBarsFollowThePanorama) {
    Log log;
    auto* pane = new ProbeScroll(log);
    oWindow* window = pane->makeWindow("bars", Zone{0, 0, 216, 216, 0, 0}, kWindowCaption);
    ASSERT_NE(window, nullptr);
    const int32_t w = pane->width();
    const int32_t h = pane->height();
    ASSERT_GT(w, 100);
    ASSERT_GT(h, 100);

    struct Case {
        const char* what;
        int32_t width, height;
        bool usePoint;
        oPoint point;
        bool centre;
        int32_t left, top;
    };
    const Case cases[] = {
        {"point inside", 1000, 900, true, {300, 40}, false, 300, 40},
        {"point beyond the end", 1000, 900, true, {5000, 5000}, false, 1000 - w + 1, 900 - h + 1},
        {"negative point", 1000, 900, true, {-7, -9}, false, 0, 0},
        {"narrow contents stay at the edge", 50, 900, true, {30, 30}, false, 0, 30},
        {"narrow contents centred", 50, 40, true, {30, 30}, true, -(w - 50) / 2, -(h - 40) / 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        pane->setPanorama(c.width, c.height, c.usePoint ? &c.point : nullptr, c.centre);
        EXPECT_EQ(pane->bounds().left, c.left);
        EXPECT_EQ(pane->bounds().top, c.top);
        const plat::SCROLLINFO hi = barInfo(pane->horizontalBar());
        const plat::SCROLLINFO vi = barInfo(pane->verticalBar());
        EXPECT_EQ(hi.nMin, 0);
        EXPECT_EQ(hi.nMax, c.width);
        EXPECT_EQ(static_cast<int32_t>(hi.nPage), w);
        EXPECT_EQ(hi.nPos, std::max(0, c.left)) << "the bar holds every position the pane takes";
        EXPECT_EQ(vi.nMax, c.height);
        EXPECT_EQ(static_cast<int32_t>(vi.nPage), h);
        EXPECT_EQ(vi.nPos, std::max(0, c.top));
    }

    // Without a point the bars' positions stand, clamped to the new extent.
    pane->setPanorama(1000, 900, nullptr, false);
    plat::SetScrollPos(HandleOfWindow(pane->horizontalBar()), plat::SB_CTL, 120, plat::TRUE);
    plat::SetScrollPos(HandleOfWindow(pane->verticalBar()), plat::SB_CTL, 400, plat::TRUE);
    pane->setPanorama(1000, 900, nullptr, false);
    EXPECT_EQ(pane->bounds().left, 120);
    EXPECT_EQ(pane->bounds().top, 400);
    pane->setPanorama(200, 450, nullptr, false);
    EXPECT_EQ(pane->bounds().left, 200 - w + 1);
    EXPECT_EQ(pane->bounds().top, 450 - h + 1);

    // Bar codes step by a line, a page less a line, or to the ends, and the bar follows.
    pane->setPanorama(1000, 900, nullptr, false);
    pane->handleScroll(1, kScrollTop, 0);
    pane->handleScroll(1, kScrollPageDown, 0);
    EXPECT_EQ(pane->bounds().top, h - pane->resolution());
    pane->handleScroll(1, kScrollLineUp, 0);
    EXPECT_EQ(pane->bounds().top, h - 2 * pane->resolution());
    pane->handleScroll(1, kScrollBottom, 0);
    EXPECT_EQ(pane->bounds().top, 900 - h + 1);
    pane->handleScroll(1, kScrollLineDown, 0);
    EXPECT_EQ(pane->bounds().top, 900 - h + 1) << "no step past the end";
    EXPECT_EQ(barInfo(pane->verticalBar()).nPos, 900 - h + 1);
    delete window;
}

// Contents whose colour tells both the content row and the paint that drew it.
class StripeScroll : public oScrollPane {
public:
    void drawContents(const Zone& zone) override {
        for (int32_t y = zone.top - zone.top % 10; y < zone.bottom; y += 10)
            paintZone(Zone{zone.left, y, zone.right, y + 10, 0, 0}, colourOf(y / 10, m_paint));
    }
    static Color colourOf(int32_t band, int32_t paint) {
        return Color{static_cast<uint8_t>(band * 37 % 256), static_cast<uint8_t>(paint * 90), 50,
                     255};
    }
    static uint32_t rgb(int32_t band, int32_t paint) {
        const Color c = colourOf(band, paint);
        return (uint32_t{c.r} << 16) | (uint32_t{c.g} << 8) | c.b;
    }
    int32_t m_paint = 0;
};

TEST_F(Panes, ScrollingMovesPixelsAndRepaintsOnlyTheUncoveredStrip) {
    auto* pane = new StripeScroll;
    oWindow* window = pane->makeWindow("stripes", Zone{0, 0, 216, 216, 0, 0}, kWindowCaption);
    ASSERT_NE(window, nullptr);
    pane->setPanorama(2000, 2000, nullptr, false);
    window->show();
    plat::testing::runUntilIdle();
    auto hwnd = reinterpret_cast<plat::HWND>(window->windowHandle());
    const int32_t h = pane->height();
    const int32_t x = 10;
    EXPECT_EQ(plat::testing::pixels(hwnd).at(x, 15), StripeScroll::rgb(1, 0));

    pane->m_paint = 1; // from now on a repaint shows in the colour
    pane->scrollBy(0, 25);
    EXPECT_EQ(pane->bounds().top, 25);
    const plat::testing::Image img = plat::testing::pixels(hwnd);
    for (int32_t row = 0; row < h; ++row) {
        SCOPED_TRACE("client row " + std::to_string(row));
        const int32_t band = (row + 25) / 10;
        // Rows above the strip were copied from the first paint; the strip was painted anew.
        EXPECT_EQ(img.at(x, row), StripeScroll::rgb(band, row < h - 25 ? 0 : 1));
    }
    EXPECT_EQ(barInfo(pane->verticalBar()).nPos, 25);

    pane->scrollBy(0, -10);
    const plat::testing::Image back = plat::testing::pixels(hwnd);
    EXPECT_EQ(back.at(x, 0), StripeScroll::rgb(1, 1)) << "the top strip came back repainted";
    EXPECT_EQ(back.at(x, 12), StripeScroll::rgb(2, 0)) << "moved down, not repainted";
    delete window;
}

TEST_F(Panes, DraggingTheThumbScrollsThePane) {
    Log log;
    auto* pane = new ProbeScroll(log);
    oWindow* window = pane->makeWindow("thumb", Zone{0, 0, 216, 216, 0, 0}, kWindowCaption);
    ASSERT_NE(window, nullptr);
    pane->setPanorama(400, 4000, nullptr, false);
    window->show();
    plat::testing::runUntilIdle();
    auto bar = HandleOfWindow(pane->verticalBar());
    const int32_t grip = kScrollBarSize + 3; // inside the thumb at the top of the track
    plat::testing::press(bar, kScrollBarSize / 2, grip);
    plat::testing::runUntilIdle();
    plat::testing::move(bar, kScrollBarSize / 2, grip + 40);
    plat::testing::runUntilIdle();
    const int32_t during = pane->bounds().top;
    EXPECT_GT(during, 0) << "the contents follow the thumb while it moves";
    plat::testing::release(bar, kScrollBarSize / 2, grip + 40);
    plat::testing::runUntilIdle();
    EXPECT_EQ(pane->bounds().top, during);
    EXPECT_EQ(barInfo(pane->verticalBar()).nPos, during);
    EXPECT_EQ(pane->bounds().left, 0) << "the other axis stays";
    delete window;
}

// The menu a window still shows when it is destroyed.
plat::HMENU s_menuAtDestroy = nullptr;
plat::LRESULT RecordMenuAtDestroy(plat::HWND hwnd, plat::UINT message, plat::WPARAM wParam,
                                  plat::LPARAM lParam) {
    if (message == plat::WM_DESTROY)
        s_menuAtDestroy = plat::GetMenu(hwnd);
    return PaneWndProc(hwnd, message, wParam, lParam);
}

TEST_F(Panes, AWindowGivesTheSharedMenuBarBackBeforeItGoes) {
    CQVApp& app = CQVApp::instance();
    plat::HMENU bar = plat::CreateMenu();
    plat::HMENU own = plat::CreateMenu();
    const plat::HMENU saved = app.m_MenuBar;
    app.m_MenuBar = bar;
    Log log;
    for (plat::HMENU shown : {bar, own}) {
        SCOPED_TRACE(shown == bar ? "the program's bar" : "a menu of its own");
        auto* root = new ProbePane(log, "root");
        oWindow* window = root->openInWindow("bar", Zone{0, 0, 100, 100, 0, 0}, kWindowCaption);
        ASSERT_NE(window, nullptr);
        auto hwnd = reinterpret_cast<plat::HWND>(window->windowHandle());
        ASSERT_TRUE(plat::SetMenu(hwnd, shown));
        plat::SetWindowLongPtr(hwnd, plat::GWLP_WNDPROC,
                               reinterpret_cast<plat::LONG_PTR>(&RecordMenuAtDestroy));
        s_menuAtDestroy = reinterpret_cast<plat::HMENU>(1);
        delete window;
        EXPECT_FALSE(plat::IsWindow(hwnd));
        EXPECT_EQ(s_menuAtDestroy, shown == bar ? nullptr : own);
    }
    EXPECT_TRUE(plat::IsMenu(bar));
    app.m_MenuBar = saved;
    plat::DestroyMenu(bar);
    plat::DestroyMenu(own);
}

} // namespace
} // namespace kvtest
