#include "core/sys/SelectionServer.h"

#include <algorithm>
#include <climits>
#include <new>
#include <set>

namespace plat::core {

namespace {

// Whether `deadline` has come at `now`, on a clock that wraps.
bool due(std::uint32_t deadline, std::uint32_t now) {
    return static_cast<std::int32_t>(now - deadline) >= 0;
}

} // namespace

SelectionServer::SelectionServer(SelectionPort& port, const SelectionAtoms& atoms,
                                 const SelectionLimits& limits)
    : m_port(port)
    , m_atoms(atoms)
    , m_limits(limits) {
    m_limits.chunk = std::max<std::size_t>(m_limits.chunk, 1);
}

void SelectionServer::offer(std::vector<ServedTarget> targets, XId time) {
    m_targets = std::move(targets);
    m_made.assign(m_targets.size(), nullptr);
    ++m_offers;
    m_time = time;
    m_owned = true;
    // The old contents' renderings are now held by their transfers alone.
    while (heldBytes() > m_limits.heldBytes) {
        const auto oldest = std::find_if(m_transfers.begin(), m_transfers.end(),
                                         [this](const Transfer& t) { return !offered(t.data); });
        drop(static_cast<std::size_t>(oldest - m_transfers.begin()));
    }
}

void SelectionServer::withdraw() {
    offer({}, 0);
    m_owned = false;
}

bool SelectionServer::offered(const SharedBytes& data) const {
    return std::find(m_made.begin(), m_made.end(), data) != m_made.end();
}

std::size_t SelectionServer::heldBytes() const {
    std::set<const std::vector<std::uint8_t>*> counted;
    std::size_t held = 0;
    for (const Transfer& t : m_transfers) {
        if (!offered(t.data) && counted.insert(t.data.get()).second)
            held += t.data->size();
    }
    return held;
}

std::size_t SelectionServer::pendingFor(XId requestor) const {
    return static_cast<std::size_t>(
        std::count_if(m_transfers.begin(), m_transfers.end(),
                      [requestor](const Transfer& t) { return t.requestor == requestor; }));
}

std::size_t SelectionServer::pendingForClient(XId client) const {
    return static_cast<std::size_t>(
        std::count_if(m_transfers.begin(), m_transfers.end(),
                      [&](const Transfer& t) { return m_port.clientOf(t.requestor) == client; }));
}

bool SelectionServer::needsMaking(XId target) const {
    if (!m_owned || target == 0)
        return false;
    for (std::size_t i = 0; i < m_targets.size(); ++i) {
        if (m_targets[i].atom == target)
            return !m_made[i] && m_targets[i].bytes;
    }
    return false;
}

void SelectionServer::drop(std::size_t index) {
    const XId requestor = m_transfers[index].requestor;
    m_transfers.erase(m_transfers.begin() + static_cast<std::ptrdiff_t>(index));
    if (pendingFor(requestor) == 0)
        m_port.follow(requestor, false);
}

void SelectionServer::release(XId requestor, XId property) {
    dropWhere(
        [&](const Transfer& t) { return t.requestor == requestor && t.property == property; });
}

bool SelectionServer::sending(XId requestor, XId property) const {
    return std::any_of(m_transfers.begin(), m_transfers.end(), [&](const Transfer& t) {
        return t.requestor == requestor && t.property == property;
    });
}

void SelectionServer::dropWhere(const std::function<bool(const Transfer&)>& which) {
    for (std::size_t i = m_transfers.size(); i-- > 0;) {
        if (which(m_transfers[i]))
            drop(i);
    }
}

bool SelectionServer::convert(XId requestor, XId target, XId property, std::uint32_t now) {
    return tryConvert(requestor, target, property, now);
}

bool SelectionServer::tryConvert(XId requestor, XId target, XId property, std::uint32_t& now) {
    try {
        return convertOne(requestor, target, property, now);
    } catch (const std::bad_alloc&) {
        // Another program's request must not end this one: it is refused.
        return false;
    }
}

bool SelectionServer::convertMultiple(XId requestor, XId property, const SelectionData& pairs,
                                      std::uint32_t now) {
    if (!m_owned || property == 0 || pairs.format() != 32 || pairs.overflowed() ||
        pairs.bytes().size() > m_limits.largestMultiple)
        return false;
    try {
        const std::vector<unsigned long> atoms = AtomsOf(32, pairs.bytes());
        std::vector<long> answer(atoms.begin(), atoms.end());
        for (std::size_t i = 0; i + 1 < answer.size(); i += 2) {
            const XId target = static_cast<XId>(answer[i]);
            const XId into = static_cast<XId>(answer[i + 1]);
            // A MULTIPLE inside a MULTIPLE, or a pair into the list's own property, is refused.
            if (into == 0 || target == m_atoms.multiple || into == property ||
                !tryConvert(requestor, target, into, now))
                answer[i + 1] = 0;
        }
        release(requestor, property);
        m_port.setProperty(requestor, property, m_atoms.atomPair, 32, answer.data(), answer.size());
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool SelectionServer::convertOne(XId requestor, XId target, XId property, std::uint32_t& now) {
    if (!m_owned || property == 0)
        return false;
    // A new request into a property replaces the transfer still under way there.
    release(requestor, property);
    if (target == m_atoms.targets) {
        std::vector<long> atoms{static_cast<long>(m_atoms.targets),
                                static_cast<long>(m_atoms.timestamp),
                                static_cast<long>(m_atoms.multiple)};
        for (const ServedTarget& t : m_targets)
            atoms.push_back(static_cast<long>(t.atom));
        m_port.setProperty(requestor, property, m_atoms.atom, 32, atoms.data(), atoms.size());
        return true;
    }
    if (target == m_atoms.timestamp) {
        const long time = static_cast<long>(m_time);
        m_port.setProperty(requestor, property, m_atoms.integer, 32, &time, 1);
        return true;
    }
    for (std::size_t i = 0; i < m_targets.size(); ++i) {
        if (m_targets[i].atom != target || target == 0)
            continue;
        // Made once, on the first request; every later request shares it. The display is
        // served while it is made: the contents may change meanwhile, and the transfer's life
        // starts once the data is ready.
        if (!m_made[i] && m_targets[i].bytes) {
            if (m_making)
                return false;
            const std::function<SharedBytes()> make = m_targets[i].bytes;
            const std::uint64_t offer = m_offers;
            SharedBytes made;
            {
                m_making = true;
                struct Made {
                    bool& making;
                    ~Made() { making = false; }
                } done{m_making};
                made = make();
            }
            if (offer != m_offers || !m_owned)
                return false;
            m_made[i] = std::move(made);
            now = m_port.now();
            // A transfer into this property started meanwhile gives way to this answer.
            release(requestor, property);
        }
        const SharedBytes data = m_made[i];
        if (!data)
            return false;
        if (data->size() <= m_limits.chunk) {
            m_port.setProperty(requestor, property, target, 8, data->data(), data->size());
            return true;
        }
        return startTransfer(requestor, property, target, data, now);
    }
    return false;
}

bool SelectionServer::startTransfer(XId requestor, XId property, XId type, const SharedBytes& data,
                                    std::uint32_t now) {
    // Past the bounds on their count the request is refused. (A new transfer sends what is
    // offered now, so it adds nothing to the bytes held by transfers alone.)
    if (m_transfers.size() >= m_limits.transfers ||
        pendingFor(requestor) >= m_limits.transfersPerRequestor ||
        pendingForClient(m_port.clientOf(requestor)) >= m_limits.transfersPerClient)
        return false;
    m_transfers.push_back(Transfer{requestor, property, type, data, 0, now + m_limits.lifeMs});
    if (pendingFor(requestor) == 1)
        m_port.follow(requestor, true);
    // The size announced; the chunks follow as the requestor deletes the property.
    const long size = static_cast<long>(std::min<std::size_t>(data->size(), LONG_MAX));
    m_port.setProperty(requestor, property, m_atoms.incr, 32, &size, 1);
    return true;
}

bool SelectionServer::propertyDeleted(XId requestor, XId property, std::uint32_t now) {
    for (std::size_t i = 0; i < m_transfers.size(); ++i) {
        Transfer& t = m_transfers[i];
        if (t.requestor != requestor || t.property != property)
            continue;
        const std::size_t n = std::min(m_limits.chunk, t.data->size() - t.sent);
        m_port.setProperty(requestor, property, t.type, 8, t.data->data() + t.sent, n);
        t.sent += n;
        t.deadline = now + m_limits.lifeMs;
        // The empty chunk that ends the transfer has been written.
        if (n == 0)
            drop(i);
        return true;
    }
    return false;
}

void SelectionServer::requestorGone(XId requestor) {
    // The window no longer exists: nothing of it is followed any more.
    m_transfers.erase(
        std::remove_if(m_transfers.begin(), m_transfers.end(),
                       [requestor](const Transfer& t) { return t.requestor == requestor; }),
        m_transfers.end());
}

void SelectionServer::expire(std::uint32_t now) {
    dropWhere([now](const Transfer& t) { return due(t.deadline, now); });
}

int SelectionServer::msUntilDeadline(std::uint32_t now) const {
    int soonest = -1;
    for (const Transfer& t : m_transfers) {
        const int left = due(t.deadline, now) ? 0 : static_cast<int>(t.deadline - now);
        if (soonest < 0 || left < soonest)
            soonest = left;
    }
    return soonest;
}

} // namespace plat::core
