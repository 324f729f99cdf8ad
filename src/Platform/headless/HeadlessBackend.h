#pragma once
// The in-memory display of the tests: a scripted event queue, a virtual clock and recorded
// services. The test driver (plat/Testing.h) fills it.

#include "backend/Backend.h"

#include <array>
#include <deque>
#include <functional>
#include <vector>

namespace plat::headless {

class HeadlessBackend final : public Backend {
public:
    bool open() override { return true; }
    bool headless() const override { return true; }
    void createTopLevel(HWND, const RECT&, DWORD, DWORD, HWND, const std::string&) override {}
    void destroyTopLevel(HWND) override {}
    void setTitle(HWND, const std::string&) override {}
    void show(HWND, bool) override {}
    void moveResize(HWND, const RECT&) override {}
    void raise(HWND hwnd) override { m_requests.push_back({false, hwnd}); }
    void focus(HWND hwnd) override { m_requests.push_back({true, hwnd}); }
    void present(HWND, cairo_surface_t*, const RECT&) override { ++m_presents; }

    bool poll(BackendEvent& ev) override;
    bool wait(int timeoutMs) override;
    void wake() override {}

    POINT pointer() override { return m_pointer; }
    bool asyncKeyDown(int vk) override;
    void setCursor(int standardId) override { m_cursor = standardId; }
    void setImeSpot(HWND topLevel, POINT client) override {
        m_imeWindow = topLevel;
        m_imeSpot = client;
    }
    void grabPointer(HWND) override {}
    void beep(UINT type) override { m_beeps.push_back(type); }
    DWORD now() override { return m_clock; }
    void sleep(DWORD ms) override { m_clock += ms; }
    // Real time passes (what is waited for is another process's), the virtual clock stays; the
    // test's step runs first, and a queued Escape press is taken and ends the wait.
    bool waitAnswering(int timeoutMs) override;
    bool readBack(HWND, std::vector<std::uint32_t>&, int&, int&) override { return false; }

    // Driver side. After an event pushed with holdAfter, polls find nothing more until the program
    // waits for input (or the driver finds it idle and calls releaseHold): the program handles
    // the event, and whatever it starts, before it sees the events queued after it, as when a
    // person presses and only then moves.
    void push(const BackendEvent& ev, bool holdAfter = false) {
        m_events.push_back(ev);
        m_holdAfter.push_back(holdAfter);
    }
    void advance(DWORD ms) { m_clock += ms; }
    // Ends a hold; true when events were held back.
    bool releaseHold();
    // Run at each step of a wait that answers the display.
    std::function<void()> waitStep;
    void reset();
    const std::vector<UINT>& beeps() const { return m_beeps; }
    int cursor() const { return m_cursor; }
    HWND imeWindow() const { return m_imeWindow; }
    // The raises (false) and keyboard requests (true) made, in order.
    struct Request {
        bool focus;
        HWND hwnd;
    };
    std::vector<Request>& requests() { return m_requests; }
    POINT imeSpot() const { return m_imeSpot; }

private:
    std::deque<BackendEvent> m_events;
    std::deque<bool> m_holdAfter; // one flag per queued event
    bool m_holding = false;       // a held event was polled and the program has not waited since
    // Waits in a row that asked for no time with nothing scripted; past the limit the program
    // is taken to be spinning and the wait fails.
    static constexpr int kMostZeroWaits = 10000;
    int m_zeroWaits = 0;
    std::array<bool, 256> m_down{};
    DWORD m_clock = 0;
    POINT m_pointer;
    std::vector<UINT> m_beeps;
    int m_cursor = 0;
    HWND m_imeWindow = nullptr;
    POINT m_imeSpot{};
    int m_presents = 0;
    std::vector<Request> m_requests;
};

HeadlessBackend& headlessBackend();

} // namespace plat::headless
