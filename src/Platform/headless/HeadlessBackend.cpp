#include "headless/HeadlessBackend.h"

#include "plat/Input.h"

#include <chrono>
#include <thread>

namespace plat::headless {

bool HeadlessBackend::poll(BackendEvent& ev) {
    if (m_holding)
        return false;
    if (m_events.empty())
        return false;
    ev = m_events.front();
    m_events.pop_front();
    m_holding = m_holdAfter.front();
    m_holdAfter.pop_front();
    m_zeroWaits = 0;
    ev.time = m_clock;
    using K = BackendEvent::Kind;
    switch (ev.kind) {
    case K::KeyDown:
        m_down[static_cast<std::size_t>(ev.vk & 0xFF)] = ev.vk != 0;
        break;
    case K::KeyUp:
        m_down[static_cast<std::size_t>(ev.vk & 0xFF)] = false;
        break;
    case K::ButtonDown:
    case K::ButtonUp:
        // The buttons are keys to GetAsyncKeyState, as on the X display.
        m_down[ev.button == 0   ? plat::VK_LBUTTON
               : ev.button == 1 ? plat::VK_RBUTTON
                                : plat::VK_MBUTTON] = ev.kind == K::ButtonDown;
        m_pointer = ev.screen;
        break;
    case K::Motion:
    case K::Wheel:
        m_pointer = ev.screen;
        break;
    default:
        break;
    }
    return true;
}

bool HeadlessBackend::wait(int timeoutMs) {
    // The program waits: it has done all it will with the held event.
    m_holding = false;
    if (!m_events.empty())
        return true;
    if (timeoutMs < 0)
        return false; // nothing is scripted and no timer runs: waiting would never end
    // The clock stands still between scripted steps: a loop that keeps waiting for no time at
    // all (a timer it is told is due but never takes) would spin forever, as it would keep a
    // processor busy on a display.
    if (timeoutMs == 0) {
        if (++m_zeroWaits >= kMostZeroWaits) {
            m_zeroWaits = 0;
            return false;
        }
        return true;
    }
    m_zeroWaits = 0;
    // No real time passes: a wait for the next timer moves the clock to it.
    m_clock += static_cast<DWORD>(timeoutMs);
    return true;
}

bool HeadlessBackend::waitAnswering(int timeoutMs) {
    if (waitStep) {
        // A copy: the step may set another one.
        const std::function<void()> step = waitStep;
        step();
    }
    for (std::size_t i = 0; i < m_events.size(); ++i) {
        if (m_events[i].kind == BackendEvent::Kind::KeyDown && m_events[i].vk == plat::VK_ESCAPE) {
            m_events.erase(m_events.begin() + static_cast<std::ptrdiff_t>(i));
            m_holdAfter.erase(m_holdAfter.begin() + static_cast<std::ptrdiff_t>(i));
            return false;
        }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(timeoutMs));
    return true;
}

bool HeadlessBackend::asyncKeyDown(int vk) {
    // "Now" includes keys the test has pressed that the program has not read yet, so polling
    // loops (Escape to interrupt) see them.
    const std::size_t i = static_cast<std::size_t>(vk & 0xFF);
    if (m_down[i])
        return true;
    for (const BackendEvent& ev : m_events) {
        if (ev.kind == BackendEvent::Kind::KeyDown && (ev.vk & 0xFF) == vk)
            return true;
    }
    return false;
}

bool HeadlessBackend::releaseHold() {
    const bool held = m_holding && !m_events.empty();
    m_holding = false;
    return held;
}

void HeadlessBackend::reset() {
    m_events.clear();
    m_holdAfter.clear();
    m_holding = false;
    m_zeroWaits = 0;
    m_down.fill(false);
    m_clock = 0;
    m_pointer = POINT{};
    m_beeps.clear();
    m_cursor = 0;
    m_presents = 0;
    m_requests.clear();
    m_clipboard.clear();
    m_clipboardOwned = false;
    waitStep = nullptr;
}

HeadlessBackend& headlessBackend() {
    static HeadlessBackend b;
    return b;
}

} // namespace plat::headless

namespace plat {
Backend& backend() {
    return headless::headlessBackend();
}
} // namespace plat
