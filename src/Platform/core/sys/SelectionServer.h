#pragma once
// The owner's side of selection transfers, apart from the connection: the answers to other
// clients' conversion requests (TARGETS, TIMESTAMP, MULTIPLE and the offered targets), and the
// INCR transfers under way, each sent a chunk at a time as its requestor deletes the property.
//
// Every request of a target is served from the one rendering of it: a transfer points into the
// shared bytes with an offset and never copies them. What transfers may hold is bounded: their
// count per requestor window, per client (all the windows of one connection) and in all, and the
// bytes that only transfers keep (renderings of contents this program no longer offers). A
// transfer whose requestor is gone, or makes no progress before its deadline, is dropped; its
// life starts when its data is ready, however long the data took to make. An allocation that
// fails while serving a request refuses that request. The display is reached through
// SelectionPort, so this is tested and fuzzed without one.

#include "core/sys/SelectionData.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace plat::core {

using SharedBytes = std::shared_ptr<const std::vector<std::uint8_t>>;
// A window, atom or time stamp of the display.
using XId = unsigned long;

// What the server asks of the display.
class SelectionPort {
public:
    virtual ~SelectionPort() = default;
    // Replaces a property of a requestor's window: `count` items of `format` bits (8: bytes;
    // 32: C longs, as the client library takes them).
    virtual void setProperty(XId window, XId property, XId type, int format, const void* items,
                             std::size_t count) = 0;
    // Starts (or stops) following a requestor's window: its property deletions and its end.
    virtual void follow(XId window, bool on) = 0;
    // The client (connection) that made a window: what its windows have in common.
    virtual XId clientOf(XId window) const = 0;
    // The display's clock in milliseconds, read again once a rendering is made.
    virtual std::uint32_t now() = 0;
};

// The atoms the server answers with, as the display names them.
struct SelectionAtoms {
    XId targets = 0, timestamp = 0, multiple = 0, incr = 0, atomPair = 0, atom = 4, integer = 19;
};

struct SelectionLimits {
    // Bytes per property write; larger data goes by INCR in chunks of this size.
    std::size_t chunk = 64 * 1024;
    // Pending INCR transfers, per requestor window, per client and in all: one client cannot
    // take every transfer, so another program's paste is served meanwhile.
    std::size_t transfersPerRequestor = 64;
    std::size_t transfersPerClient = 256;
    std::size_t transfers = 1024;
    // Bytes of renderings that only pending transfers keep.
    std::size_t heldBytes = std::size_t{64} << 20;
    // A transfer is dropped when its requestor deletes no property for this long.
    std::uint32_t lifeMs = 10000;
    // The longest list of (target, property) pairs a MULTIPLE request may hand over, in bytes.
    std::size_t largestMultiple = 64 * 1024;
};

// One offered target: its atom, and its bytes, made on the first request (null when they cannot
// be made; it may throw std::bad_alloc).
struct ServedTarget {
    XId atom = 0;
    std::function<SharedBytes()> bytes;
};

class SelectionServer {
public:
    SelectionServer(SelectionPort& port, const SelectionAtoms& atoms,
                    const SelectionLimits& limits = {});

    // This program's contents, owned since `time`; the renderings of the old contents stay only
    // with the transfers that still send them, within the bound (the oldest beyond it dropped).
    void offer(std::vector<ServedTarget> targets, XId time);
    // The contents are no longer this program's: nothing more is offered.
    void withdraw();

    // Converts `target` into `property` of `requestor`; false when refused (the reply then says
    // None).
    bool convert(XId requestor, XId target, XId property, std::uint32_t now);
    // A MULTIPLE request whose pairs property held `pairs` (as read): each pair is converted and
    // the list written back with refused pairs' properties set to None. False when the list itself
    // cannot be taken.
    bool convertMultiple(XId requestor, XId property, const SelectionData& pairs,
                         std::uint32_t now);
    // A requestor deleted a property: the next chunk of its transfer there, if there is one.
    // False when no transfer of this program's was waiting for it.
    bool propertyDeleted(XId requestor, XId property, std::uint32_t now);
    // A requestor's window is gone (destroyed, or the display said it does not exist).
    void requestorGone(XId requestor);
    // Drops the transfers past their deadline.
    void expire(std::uint32_t now);
    // Milliseconds until the next deadline; -1 when no transfer is pending.
    int msUntilDeadline(std::uint32_t now) const;
    // Whether a request of `target` would have to make its data first (a picture drawn on its
    // first request): such a request waits while the program is busy.
    bool needsMaking(XId target) const;

    std::size_t pending() const { return m_transfers.size(); }
    // Whether a transfer into this property of the requestor is under way.
    bool sending(XId requestor, XId property) const;
    std::size_t pendingFor(XId requestor) const;
    std::size_t pendingForClient(XId client) const;
    // Bytes of renderings held only by pending transfers (each rendering counted once).
    std::size_t heldBytes() const;

private:
    struct Transfer {
        XId requestor = 0;
        XId property = 0;
        XId type = 0;
        SharedBytes data;
        std::size_t sent = 0;
        std::uint32_t deadline = 0;
    };
    // `now` is moved on when the data had to be made first (later pairs of a MULTIPLE too).
    bool tryConvert(XId requestor, XId target, XId property, std::uint32_t& now);
    bool convertOne(XId requestor, XId target, XId property, std::uint32_t& now);
    bool startTransfer(XId requestor, XId property, XId type, const SharedBytes& data,
                       std::uint32_t now);
    void drop(std::size_t index);
    // Ends the transfer into this property, if any: a new answer goes there.
    void release(XId requestor, XId property);
    void dropWhere(const std::function<bool(const Transfer&)>& which);
    bool offered(const SharedBytes& data) const;

    SelectionPort& m_port;
    SelectionAtoms m_atoms;
    SelectionLimits m_limits;
    std::vector<ServedTarget> m_targets;
    // Each target's rendering, once made (in the order of m_targets).
    std::vector<SharedBytes> m_made;
    XId m_time = 0;
    bool m_owned = false;
    // Counts the offers: a rendering finished after the contents changed is not kept.
    std::uint64_t m_offers = 0;
    // A rendering is being made (the display is served meanwhile): no other is started.
    bool m_making = false;
    // Oldest first.
    std::vector<Transfer> m_transfers;
};

} // namespace plat::core
