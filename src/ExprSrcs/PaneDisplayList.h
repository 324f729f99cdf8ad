// What a full paint of an expression pane draws in its visible area, kept as the list of drawing
// calls the expression makes (text with its font, place and colours, lines with their pen, filled
// and framed shapes, images), recorded through a port that draws nothing. A list made before an
// edit and one made after it, compared call by call, give the zones whose pixels can differ: the
// pane repaints only those. Anything the list cannot describe (another view, another background,
// pixel blocks, areas, too many changes) makes the comparison give up, and the caller repaints
// everything.
#pragma once

#include "OverSrcs/oGraph.h"

#include <cstdint>
#include <string>
#include <vector>

class ExprPane;

class PaneDisplayList {
public:
    // One drawing call with the port state it ran under. Every field takes part in the comparison
    // (data through its contents: the text, or the polygon's points).
    struct Call {
        int32_t kind = 0;
        int32_t font = 0;
        int32_t v[8] = {0, 0, 0, 0, 0, 0, 0, 0};
        Color fore;
        Color back;
        Color pen;
        int32_t clip[4] = {0, 0, 0, 0};
        uint32_t dataAt = 0;
        uint32_t dataLength = 0;
    };

    // Records what a paint of the pane's whole visible area would draw now. The pane's tree must
    // be laid out; a list that could not be made is left not valid.
    void record(ExprPane& pane);
    bool valid() const { return m_valid; }
    void invalidate() { m_valid = false; }
    size_t callCount() const { return m_calls.size(); }

    // The zones (pane coordinates, inside the visible area) whose pixels may differ between what
    // this list drew and what `later`, a list made afterwards for the same pane, draws. False
    // when the two cannot be compared: then everything must be painted again.
    bool changedZones(const PaneDisplayList& later, oMeasurePort& measurer,
                      std::vector<Zone>& zones) const;

    // Adds a zone to a short list of zones to repaint, joining it to one it meets; a list grown
    // too long becomes the one zone covering it all.
    static void addZone(std::vector<Zone>& zones, const Zone& zone);

private:
    // What the calls depend on besides themselves: the visible area and how its background is
    // painted.
    struct View {
        Zone bounds;
        uint8_t options[4] = {0, 0, 0, 0};
        uint8_t noBackground = 0;
        Color background;
        Color structureBackground;
        int32_t resolution = 0;
        int32_t lineUnit = 0;
        uint8_t flag = 0;
        friend bool operator==(const View&, const View&) = default;
    };

    bool sameCall(size_t i, const PaneDisplayList& other, size_t j) const;
    // The pixels a call can touch (never less; more is only slower).
    Zone callZone(const Call& call, oMeasurePort& measurer) const;

    std::vector<Call> m_calls;
    std::string m_data;
    View m_view;
    // The visible part of the scrolled extent: outside it the pane is blank.
    Zone m_shownExtent;
    bool m_valid = false;

    friend class DisplayListPort;
};
