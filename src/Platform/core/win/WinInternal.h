#pragma once
// The window module's inside: windows, classes, the queue and the state shared by its files
// (Window.cpp, Queue.cpp, Input.cpp, Paint.cpp, MessageBox.cpp).

#include "backend/Backend.h"
#include "core/win/HandleTable.h"
#include "core/win/Region.h"
#include "plat/Input.h"
#include "plat/Window.h"

#include <array>
#include <cairo.h>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace plat::core {

struct WindowClass {
    std::string name; // as registered; compared without case
    UINT style = 0;
    WNDPROC proc = nullptr;
    HINSTANCE instance = nullptr;
    HICON icon = nullptr;
    HCURSOR cursor = nullptr;
    HBRUSH background = nullptr;
    const char* menuName = nullptr;
    bool builtIn = false;
};

struct Window {
    HWND hwnd = nullptr;
    std::shared_ptr<WindowClass> cls;
    WNDPROC proc = nullptr;
    DWORD style = 0;
    DWORD exStyle = 0;
    HWND parent = nullptr;      // children only
    HWND owner = nullptr;       // top-level windows only
    std::vector<HWND> children; // z-order, topmost first
    RECT rect;   // window rectangle: parent client coordinates, or screen for top-level windows
    RECT insets; // frame thickness on each side (left, top, right, bottom)
    std::string text;
    bool textInCodePage = false; // the caption is text of the active code page, not cp1252
    LONG_PTR userData = 0;
    int id = 0;
    HINSTANCE instance = nullptr;
    Region update; // client coordinates
    bool erasePending = false;
    bool destroying = false;
    bool created = false;
    cairo_surface_t* image = nullptr; // top-level windows: the backing image (client area)
    // Top-level windows with a menu bar: the bar takes the top rows of the backing image, above
    // the client area, and is counted in insets.top.
    HMENU menu = nullptr;
    int menuBarHeight = 0;
    // Captioned child windows: their frame and caption need drawing again.
    bool frameDirty = false;
    // Parents of captioned child windows: the active one among them.
    HWND activeChild = nullptr;
    // Top-level windows: how many modal runs this window sits behind. Such a window takes no
    // input, as if disabled, until every one of them has ended.
    int behindModal = 0;

    Window() = default;
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;
    // A window still alive when the table is cleared (at reset or exit) takes its image with it.
    ~Window() {
        if (image)
            cairo_surface_destroy(image);
    }

    bool isChild() const { return (style & WS_CHILD) != 0 && parent != nullptr; }
    int clientWidth() const { return rect.right - rect.left - insets.left - insets.right; }
    int clientHeight() const { return rect.bottom - rect.top - insets.top - insets.bottom; }
};

// One queued input message, with the keyboard state after its event and the characters of a key.
struct InputMessage {
    MSG msg;
    std::array<BYTE, 256> keys{};
    KeyChars chars;
};

struct Timer {
    HWND hwnd = nullptr;
    UINT_PTR id = 0;
    UINT elapse = 0;
    TIMERPROC proc = nullptr;
    DWORD due = 0;
};

struct ClickMemory {
    HWND hwnd = nullptr;
    int button = -1;
    DWORD time = 0;
    POINT screen;
};

struct State {
    HandleTable<Window> windows;
    std::vector<std::shared_ptr<WindowClass>> classes;
    std::vector<HWND> topLevels; // z-order, front first

    std::thread::id mainThread = std::this_thread::get_id(); // the thread that made the state
    std::mutex postLock; // PostMessage may come from helper threads
    std::deque<MSG> posted;
    std::deque<InputMessage> input;
    bool quitPending = false;
    int quitCode = 0;

    std::vector<Timer> timers;
    UINT_PTR nextThreadTimerId = 0x7F00;

    HWND focus = nullptr;
    HWND active = nullptr;
    HWND capture = nullptr;
    // The dialogs of the modal runs in progress, the innermost last.
    std::vector<HWND> modalRuns;

    std::array<BYTE, 256> keys{};      // as of the last message retrieved
    std::array<BYTE, 256> eventKeys{}; // as of the last event handled
    KeyChars lastChars;
    MSG lastKeyMsg;
    DWORD lastMessageTime = 0;
    ClickMemory lastClick;
    POINT lastPointer;
    HWND lastMouseWindow = nullptr;

    HCURSOR cursor = nullptr;
    std::vector<std::string> registeredMessages; // index + 0xC000

    bool journalOn = false;
    std::vector<std::string> journal;
};

State& state();

// Handle lookup; a stale or null handle gives null. `caller` set: a stale handle writes a
// diagnostic line naming the call.
Window* FindWindow(HWND hwnd, const char* caller = nullptr);
// Top-level ancestor (the window itself when it is top-level).
Window* TopLevelOf(Window* w);
void BringToFront(Window* w);
// Client rectangle of w in screen coordinates.
RECT ClientOnScreen(const Window* w);
// Client origin of w in its top-level window's backing image.
POINT ClientOriginInImage(const Window* w);
// What a top-level window's backing image shows, on the screen: the client area and, above it,
// the menu bar. This is the rectangle the back end displays.
RECT ImageOnScreen(const Window* top);
// Whether w and all its ancestors are visible / enabled.
bool ReallyVisible(const Window* w);
// The window under a screen point: the front-most visible top-level window containing it, then
// its deepest visible child; statics and group boxes are skipped when `forMouse` is set.
Window* WindowAtPoint(POINT screen, bool forMouse);
bool ReallyEnabled(const Window* w);
// Whether input may reach w: it and its ancestors are enabled and its top-level window is not
// behind a modal run.
bool TakesInput(const Window* w);
// Where a key for `w` goes: `w` itself when it takes input; else, when `w` is a control that is
// disabled (or inside one) in a dialog that takes input, the dialog, whose own keys (Escape, Enter,
// Tab, mnemonics) must work whatever holds the focus; else null (the key is refused).
Window* KeyTarget(Window* w);
// Starts and ends a modal run of `dialog`: every other top-level window then takes no input (a
// click on one beeps and brings the dialog forward) until the run ends. Returns the windows put
// behind it, for EndModalRun.
std::vector<HWND> BeginModalRun(HWND dialog);
void EndModalRun(HWND dialog, const std::vector<HWND>& behind);
// A press or key for a window that takes no input: the beep, and the dialog of the innermost
// modal run (or the window's own enabled popup) brought forward.
void RefuseInput(Window* top);
bool ClassIs(const Window* w, std::string_view name);
// What a top-level window is to a window manager (Backend.h).
WindowRole RoleOf(const Window* w);
bool EqualNoCase(std::string_view a, std::string_view b);
// Registers a class whose name is reserved (the dialog manager's controls).
ATOM RegisterSystemClass(const WNDCLASS& wc);

void Diagnostic(const std::string& line);
void Journal(char kind, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
std::string MessageName(UINT msg);

// Queue internals.
void PumpBackend();
// Runs the program's handler of a termination signal that arrived (Signals.cpp).
void ServeTerminationSignal();
void HandleEvent(const BackendEvent& ev);
void ResetQueue();
void ForgetWindow(HWND hwnd); // drops queued messages, timers, focus, capture of a dying window
// Makes hwnd (a top-level window, or null) the active window: WM_ACTIVATE (WA_INACTIVE) to the
// one that was, then WM_ACTIVATE (`how`) to hwnd. `request`: the program's own decision, so the
// window is raised and given the keyboard; a report from the display asks it for nothing, since
// the window manager has done both. Returns the window that was active.
HWND ActivateTopLevel(HWND hwnd, WORD how, bool request);
void KillTimersOf(HWND hwnd);
void ApplyClassCursor(Window* w);
void ResetInput();

// Paint internals.
void EnsureImage(Window* top);
void FreeImage(Window* top);
// The visible region of w's client area, in backing-image coordinates.
Region VisibleRegion(const Window* w);
// Cuts r (backing-image coordinates) to what w's ancestors leave of it: each one's client area
// less the siblings above the way down to w, and the top-level image.
void ClipToAncestors(const Window* w, Region& r);
// r moved by (dx, dy).
RECT OffsetRectBy(RECT r, int dx, int dy);
// Invalidates a rectangle given in w's client coordinates (null: the whole client area), and the
// visible children it covers.
void InvalidateClient(Window* w, const RECT* rect, bool erase);
void ValidateClient(Window* w, const Region& region);
void Present(Window* top, const RECT& imageRect);
// The first window (parents before children) with a non-empty update region matching the filter.
HWND NextWindowToPaint(HWND filter);

// Captioned child windows (document windows): the frame, caption and close box drawn by us.
// Whether w is a child window with a caption or a sizing frame.
bool HasNonClientFrame(const Window* w);
// The nearest captioned child window holding w (w itself included), or null.
Window* DocumentWindowOf(Window* w);
// Makes doc the active captioned child of its parent: WM_MDIACTIVATE to the old and the new one
// (wParam old, lParam new), raised above its siblings, both captions redrawn. The focus is left
// to the caller.
void ActivateDocumentChild(Window* doc);
// Draws the frames marked dirty (before any WM_PAINT is handed out, so clients paint last).
void PaintDirtyFrames();
// Mouse events on the frame of a captioned child window, and the move or resize a press there
// starts. Returns true when the event was taken.
bool NonClientPointer(const BackendEvent& ev);
// A destroyed active child hands activation to its next visible captioned sibling.
void DocumentChildGone(HWND parent, HWND gone);
void ResetNonClient();

// Text at the edges.
std::string Utf8FromCp1252Text(std::string_view text);
std::string Cp1252FromUtf8Text(std::string_view utf8);

// Message boxes: the hook the headless driver installs, given the owner, the text, the file names
// (text of the active code page), the caption and the type; false when it did not answer.
using MessageBoxHook = std::function<bool(HWND, const std::string&, const std::string&,
                                          const std::string&, UINT, int& result)>;
void SetMessageBoxHook(MessageBoxHook hook);
// Failures the layer detects while a test runs (an unscripted box); the headless back end
// installs a reporter.
using TestFailureReporter = void (*)(const std::string& message);
void SetTestFailureReporter(TestFailureReporter reporter);
void ReportTestFailure(const std::string& message);

// Destroys every window and clears all state (tests).
void ResetWindowSystem();

} // namespace plat::core
