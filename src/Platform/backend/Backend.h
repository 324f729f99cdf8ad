#pragma once
// The interface between the back-end-free core and a display: X11 for the program, an in-memory
// screen for tests. The core owns every window's state and backing image; a back end only shows
// top-level windows, reports input and provides the clock and system services.

#include "plat/Types.h"

#include <cairo.h>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace plat {

// What a top-level window is to a window manager, from its style: the frame is a normal window,
// dialogs and message boxes are dialogs, floating tool windows (the palette, the find window) are
// utility windows, a dialog without caption is the splash; captionless popups are menus (drop-down,
// context and sub-palette menus, combo lists) or tooltips (help balloons), which the window
// manager never decorates.
enum class WindowRole { Normal, Dialog, Utility, Splash, Menu, Tooltip };

// One input or window-system event, in the terms of the core.
struct BackendEvent {
    enum class Kind {
        KeyDown,
        KeyUp,
        ButtonDown,
        ButtonUp,
        Motion,
        Wheel,
        Close,     // the window manager's close request
        Configure, // the top-level window's client area now has this screen rectangle
        Exposed,   // repaint `rect` (client coordinates) from the backing image
        FocusGained, // the display (the window manager, the user) gave the window the keyboard
        FocusLost,
    };
    Kind kind = Kind::Motion;
    HWND hwnd = nullptr; // the top-level window concerned (may be null for pointer events)
    // Keys.
    int vk = 0;
    BYTE typed = 0; // single-byte character of the active code page typed by the key, 0 if none
    // Characters of the active code page that one key or an input method's commit gave when
    // they are not a single byte: a byte, or lead byte × 256 + trail byte.
    std::vector<unsigned> codes;
    BYTE base = 0;  // the character without Ctrl and Alt
    bool keypad = false;
    bool dead = false;
    bool altGr = false;
    // Pointer: screen coordinates; button 0 left, 1 right, 2 middle; wheel +1 up, -1 down.
    POINT screen;
    int button = 0;
    int wheel = 0;
    RECT rect; // Configure: client rectangle on screen; Expose: client rectangle
    DWORD time = 0;
};

// The bytes of one clipboard representation, shared by everything that sends them.
using SharedBytes = std::shared_ptr<const std::vector<std::uint8_t>>;

// One representation on the system clipboard: a MIME type and its bytes. An item with `render`
// is made only when it is first asked for (another program pastes it, or a clipboard manager
// takes a copy): render gives the bytes, or null when they cannot be made. Several items may
// give the same rendering (one format under several types).
struct ClipboardItem {
    std::string type;
    std::vector<std::uint8_t> bytes;
    std::function<SharedBytes()> render = {};
    // The bytes once made (or taken from `bytes`), kept for every later request.
    SharedBytes made = {};
};

// The bytes of an item, made first when they are made on request; null when they cannot be.
inline SharedBytes ClipboardItemBytes(ClipboardItem& item) {
    if (!item.made) {
        if (item.render) {
            SharedBytes made = item.render();
            if (!made)
                return nullptr;
            item.made = std::move(made);
            item.render = nullptr;
        } else {
            item.made = std::make_shared<const std::vector<std::uint8_t>>(std::move(item.bytes));
            item.bytes.clear();
        }
    }
    return item.made;
}

class Backend {
public:
    virtual ~Backend() = default;

    // Connects to the display if not done yet. False when there is none.
    virtual bool open() = 0;
    virtual bool headless() const = 0;

    // Top-level windows. `client` is the client area in screen coordinates.
    virtual void createTopLevel(HWND hwnd, const RECT& client, DWORD style, DWORD exStyle,
                                HWND owner, const std::string& titleCp1252) = 0;
    virtual void destroyTopLevel(HWND hwnd) = 0;
    virtual void setTitle(HWND hwnd, const std::string& titleCp1252) = 0;
    virtual void show(HWND hwnd, bool visible) = 0;
    virtual void moveResize(HWND hwnd, const RECT& client) = 0;
    // Puts the window above the others; the windows it owns stay above it. The keyboard stays
    // where it is.
    virtual void raise(HWND hwnd) = 0;
    // The program made this window the active one: it gets the keyboard, once it is shown. The
    // display reporting the change back (FocusGained) is not a new activation, and neither is a
    // report made before this request that arrives after it.
    virtual void focus(HWND /*hwnd*/) {}
    // The style of a top-level window changed (SWP_FRAMECHANGED): what the window manager is told
    // follows, as long as the window is not shown yet.
    virtual void restyle(HWND /*hwnd*/) {}
    // Copies `rect` (image coordinates) of the backing image to the screen.
    virtual void present(HWND hwnd, cairo_surface_t* image, const RECT& rect) = 0;

    // Takes the next pending event without waiting; false when none.
    virtual bool poll(BackendEvent& ev) = 0;
    // Blocks until an event may be pending, wake() is called or `timeoutMs` passes (-1: no
    // limit). Returns false when nothing can ever arrive (the headless queue is exhausted).
    virtual bool wait(int timeoutMs) = 0;
    // Interrupts wait() from any thread.
    virtual void wake() = 0;
    // A descriptor a signal handler may write one byte to, to interrupt wait(); -1 when the
    // back end never blocks (headless).
    virtual int signalWakeFd() { return -1; }

    virtual POINT pointer() = 0;
    virtual bool asyncKeyDown(int vk) = 0;
    virtual void setCursor(int standardId) = 0;
    // Where the input method shows the text being composed: a point of the top-level window's
    // client area. Back ends without an input method ignore it.
    virtual void setImeSpot(HWND /*topLevel*/, POINT /*client*/) {}
    virtual void grabPointer(HWND hwnd) = 0; // null releases
    virtual void beep(UINT type) = 0;
    virtual DWORD now() = 0;
    virtual void sleep(DWORD ms) = 0;
    // Lets up to `timeoutMs` pass while the program is in the middle of something it must finish
    // before it takes input again (a save waiting for a file another program holds): the window
    // manager's pings and other programs' requests for the selection are answered meanwhile, and
    // every other event stays queued for the message loop. False when the wait is to end early:
    // the user pressed Escape.
    virtual bool waitAnswering(int timeoutMs) {
        sleep(static_cast<DWORD>(timeoutMs));
        return true;
    }

    // Called often by long work (drawing a picture another program asked for, a long command):
    // without waiting, answers the window manager's pings and the selection requests that need
    // nothing made first; every other event stays queued for the message loop.
    virtual void answerWhileBusy() {}

    // Reads back what the display shows of a top-level window's client area (0x00RRGGBB). Used
    // by the smoke tests to check the whole path to the screen.
    virtual bool readBack(HWND hwnd, std::vector<std::uint32_t>& pixels, int& width,
                          int& height) = 0;

    // The system clipboard. By default an in-process store: what was offered is what is read
    // back, and the tests may put another program's data there (setForeignClipboard).
    // Takes the clipboard with these representations.
    virtual void clipboardOffer(std::vector<ClipboardItem> items) {
        m_clipboard = std::move(items);
        m_clipboardOwned = true;
    }
    // Whether the clipboard still holds what this program offered last.
    virtual bool clipboardOwned() { return m_clipboardOwned; }
    // The MIME types the clipboard holds now (another program's, read with a bounded wait).
    virtual std::vector<std::string> clipboardTypes() {
        std::vector<std::string> types;
        for (const ClipboardItem& item : m_clipboard)
            types.push_back(item.type);
        return types;
    }
    // The bytes of one type; false when the clipboard has none (or its owner did not answer).
    virtual bool clipboardRead(const std::string& type, std::vector<std::uint8_t>& bytes) {
        for (ClipboardItem& item : m_clipboard) {
            if (item.type == type) {
                const SharedBytes made = ClipboardItemBytes(item);
                if (!made)
                    return false;
                bytes = *made;
                return true;
            }
        }
        return false;
    }
    // Hands what this program offered to a clipboard manager, when one runs (at shut-down).
    virtual void clipboardFlush() {}
    // Another program's data (tests).
    void setForeignClipboard(std::vector<ClipboardItem> items) {
        m_clipboard = std::move(items);
        m_clipboardOwned = false;
    }

    // The size of the screen windows are placed on: the display's own size once it is open.
    // The virtual screen (1920 x 1080) without a display, and always for the headless back end.
    virtual SIZE screenSize() { return SIZE{1920, 1080}; }

protected:
    std::vector<ClipboardItem> m_clipboard;
    bool m_clipboardOwned = false;
};

// Defined by the back end the program links.
Backend& backend();

} // namespace plat
