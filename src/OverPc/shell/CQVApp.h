#pragma once
// The application object's state and the shell's program-wide values that the framework reads:
// the current modal dialog, the message-box-up flag and the error detail setter. Start-up and the
// message loop live with the application; this is only the state they fill.

#include "plat/Types.h"

#include <string>
#include <vector>

namespace plat {
class SpVoice;
}

class CQVApp {
public:
    // The one application object.
    static CQVApp& instance();

    // The program module, and the module strings, menus, dialogs and bitmaps are loaded from: the
    // resource library when start-up loaded one, else the program itself (null also means the
    // program's own tables).
    plat::HINSTANCE m_hInstance = nullptr;
    plat::HINSTANCE m_hResources = nullptr;
    // The single main frame (null until the first frame child exists), its menu bar and status bar.
    plat::HWND m_MainFrame = nullptr;
    plat::HMENU m_MenuBar = nullptr;
    plat::HWND m_StatusBar = nullptr;
    // The program serves an embedded object (never on this system; tests may set it).
    bool m_Embedded = false;
    // The system uses double-byte character sets.
    bool m_DoubleByte = false;
    // Command-line flags and files; start-up is over.
    bool m_NoSplash = false;
    std::vector<std::string> m_Files;
    bool m_StartupDone = false;
    // The speech voice, null when speech could not start (the program is then silent).
    plat::SpVoice* m_Voice = nullptr;
};

// The handle of the modal dialog being run: null when none, kSystemDialogRunning while a system
// dialog or a message box runs. kSystemDialogRunning is never a live window handle.
extern plat::HWND CurrentDialog;
inline const plat::HWND kSystemDialogRunning = plat::HandleFromId<plat::HWND>(0xFFFFFFFFu);

// Raised while one of the program's message boxes runs; the interrupt poll and the timer tick do
// nothing while it is up.
extern bool MessageBoxUpFlag;

// The front window: set and cleared only when a window becomes or stops being the front one.
class oWindow;
oWindow* FrontWindow();
void SetFrontWindow(oWindow* window);

// Keeps at most 255 characters of `text` as the error detail that error texts end with; null clears
// it. `handler` is recorded and not called.
void SetErrorMessage(const char* text, void (*handler)() = nullptr);
