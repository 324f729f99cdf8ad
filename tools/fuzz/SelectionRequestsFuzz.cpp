// libFuzzer target for other clients' requests to the selection owner, without a display: the
// input is a script of events in any order (new contents, conversion requests, MULTIPLE lists,
// property deletions that ask for the next INCR chunk, requestors that go away, time passing, the
// selection lost; a rendering that takes long). After each step: pending transfers stay within
// their bounds (per window, per client and in all), the bytes only
// transfers keep within theirs, every window followed is one with a transfer under way, each
// target is made at most once per contents, no transfer's deadline lies before its data was ready,
// and every chunk a requestor receives is the next piece of the data, which ends with an empty
// chunk exactly when the announced size has been sent.
//
//   cmake --build build-fuzz --target kv_fuzz_selectionrequests
//   ./build-fuzz/tests/kv_fuzz_selectionrequests new/ tools/fuzz/corpus/selectionrequests/

#include "core/sys/SelectionServer.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <new>
#include <utility>
#include <vector>

namespace {

using plat::core::SelectionAtoms;
using plat::core::SelectionData;
using plat::core::SelectionLimits;
using plat::core::SelectionServer;
using plat::core::ServedTarget;
using plat::core::SharedBytes;
using plat::core::XId;

constexpr XId kTargets = 1, kTimestamp = 2, kMultiple = 3, kIncr = 6, kAtomPair = 5;
constexpr XId kFirstTarget = 10;

#define check(ok) ((ok) ? (void)0 : (std::fprintf(stderr, "line %d\n", __LINE__), std::abort()))

// The byte at `offset` of every target's data.
std::uint8_t patternAt(std::size_t offset) {
    return static_cast<std::uint8_t>(offset * 7 + offset / 251);
}

// The requestors' side: what each (window, property) has received so far.
struct Clients final : plat::core::SelectionPort {
    struct Incoming {
        bool incr = false;
        long announced = 0;
        std::size_t received = 0;
    };
    std::map<std::pair<XId, XId>, Incoming> incoming;
    std::map<XId, bool> followed;
    std::size_t chunk = 0;
    const SelectionServer* server = nullptr;
    // The display's clock; a slow rendering moves it on.
    std::uint32_t clock = 0;

    void setProperty(XId window, XId property, XId type, int format, const void* items,
                     std::size_t count) override {
        check(format == 8 || format == 32);
        Incoming& in = incoming[{window, property}];
        if (type == kIncr) {
            check(format == 32 && count == 1);
            in = Incoming{true, *static_cast<const long*>(items), 0};
            return;
        }
        if (format != 8)
            return;
        const auto* bytes = static_cast<const std::uint8_t*>(items);
        if (!in.incr || !server->sending(window, property)) {
            // A whole answer at once: the data from its start, no larger than a chunk.
            check(count <= chunk);
            for (std::size_t i = 0; i < count; ++i)
                check(bytes[i] == patternAt(i));
            in = Incoming{};
            return;
        }
        // The next piece, in order, no larger than a chunk.
        check(count <= chunk);
        for (std::size_t i = 0; i < count; ++i)
            check(bytes[i] == patternAt(in.received + i));
        in.received += count;
        check(static_cast<long>(in.received) <= in.announced);
        if (count == 0) {
            check(static_cast<long>(in.received) == in.announced);
            in = Incoming{};
        }
    }
    void follow(XId window, bool on) override { followed[window] = on; }
    // Windows 100 to 105: three clients of two windows each.
    XId clientOf(XId window) const override { return window / 2; }
    std::uint32_t now() override { return clock; }
};

struct Reader {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t at = 0;
    bool more() const { return at < size; }
    std::uint8_t next() { return at < size ? data[at++] : 0; }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Reader in{data, size};
    SelectionLimits limits;
    limits.chunk = 1 + in.next() % 64;
    limits.transfersPerRequestor = 1 + in.next() % 6;
    limits.transfersPerClient = 1 + in.next() % 8;
    limits.transfers = 1 + in.next() % 12;
    limits.heldBytes = static_cast<std::size_t>(in.next()) * 8;
    limits.lifeMs = 1000;
    limits.largestMultiple = (1 + in.next() % 16) * 2 * sizeof(long);
    Clients clients;
    clients.chunk = limits.chunk;
    const SelectionAtoms atoms{.targets = kTargets,
                               .timestamp = kTimestamp,
                               .multiple = kMultiple,
                               .incr = kIncr,
                               .atomPair = kAtomPair};
    SelectionServer server(clients, atoms, limits);
    clients.server = &server;
    std::uint32_t& now = clients.clock;
    now = 0xFFFFF000u; // the clock wraps during the script
    // Made per target of the current contents.
    std::vector<int> made;
    auto anyWindow = [&in]() { return static_cast<XId>(100 + in.next() % 6); };
    auto anyProperty = [&in]() { return static_cast<XId>(in.next() % 9); };
    auto anyTarget = [&in]() { return static_cast<XId>(in.next() % 16); };

    while (in.more()) {
        switch (in.next() % 8) {
        case 0: { // new contents: up to three targets, some that cannot be made, some slow
            const int n = in.next() % 4;
            made.assign(static_cast<std::size_t>(n), 0);
            std::vector<ServedTarget> targets;
            for (int i = 0; i < n; ++i) {
                const std::uint8_t kind = in.next();
                const std::size_t bytes = static_cast<std::size_t>(in.next()) * 3;
                int* count = &made[static_cast<std::size_t>(i)];
                targets.push_back(ServedTarget{
                    kFirstTarget + static_cast<XId>(i),
                    [kind, bytes, count, &now, &server]() -> SharedBytes {
                        ++*count;
                        check(*count == 1 || kind % 5 < 2);
                        if (kind % 5 == 0)
                            throw std::bad_alloc();
                        if (kind % 5 == 1)
                            return nullptr;
                        if (kind % 5 == 4) {
                            // Made slowly, up to twice a transfer's life; the display is served
                            // meanwhile: another request, or the selection lost.
                            now += static_cast<std::uint32_t>(kind / 5) * 40;
                            check(!server.convert(105, kFirstTarget, 1, now) ||
                                  !server.needsMaking(kFirstTarget));
                            server.convert(105, kTargets, 2, now);
                            if (kind % 3 == 0)
                                server.withdraw();
                        }
                        auto v = std::make_shared<std::vector<std::uint8_t>>(bytes);
                        for (std::size_t j = 0; j < bytes; ++j)
                            (*v)[j] = patternAt(j);
                        return v;
                    }});
            }
            server.offer(std::move(targets), now);
            check(server.heldBytes() <= limits.heldBytes);
            break;
        }
        case 1: {
            const XId w = anyWindow();
            const XId target = anyTarget();
            const XId property = anyProperty();
            const std::uint32_t asked = now;
            const bool started = server.convert(w, target, property, asked) &&
                                 server.sending(w, property);
            // The transfer's life starts when its data is ready, however long it took.
            server.expire(now);
            check(!started || server.sending(w, property));
            break;
        }
        case 2: { // MULTIPLE: a list of atoms, in 32 bits or (refused) in 8
            const XId w = anyWindow();
            const XId property = anyProperty();
            const int format = in.next() % 7 == 0 ? 8 : 32;
            std::vector<long> list(in.next() % 40);
            for (long& atom : list)
                atom = static_cast<long>(in.next() % 2 ? anyTarget() : anyProperty());
            SelectionData pairs;
            pairs.add(format, reinterpret_cast<const unsigned char*>(list.data()),
                      static_cast<unsigned long>(list.size()));
            const bool taken = server.convertMultiple(w, property, pairs, now);
            check(!taken || (format == 32 && property != 0));
            break;
        }
        case 3:
        case 4: { // a requestor reads (deletes) a property
            const XId w = anyWindow();
            server.propertyDeleted(w, anyProperty(), now);
            break;
        }
        case 5: { // a requestor's window is gone
            const XId w = anyWindow();
            server.requestorGone(w);
            clients.followed[w] = false;
            for (auto& [key, incoming] : clients.incoming)
                if (key.first == w)
                    incoming = Clients::Incoming{};
            check(server.pendingFor(w) == 0);
            break;
        }
        case 6: { // time passes
            const std::uint32_t step = static_cast<std::uint32_t>(in.next()) * 20;
            now += step;
            server.expire(now);
            if (step >= limits.lifeMs)
                check(server.pending() == 0);
            break;
        }
        default:
            server.withdraw();
            check(server.heldBytes() <= limits.heldBytes);
            break;
        }
        check(server.pending() <= limits.transfers);
        const int left = server.msUntilDeadline(now);
        check(left >= -1 && left <= static_cast<int>(limits.lifeMs));
        check((left == -1) == (server.pending() == 0));
        for (XId w = 100; w < 106; ++w) {
            check(server.pendingFor(w) <= limits.transfersPerRequestor);
            check(server.pendingForClient(clients.clientOf(w)) <= limits.transfersPerClient);
            check(clients.followed[w] == (server.pendingFor(w) > 0));
        }
    }
    return 0;
}
