#pragma once
// The start-up splash: dialog 4224 shown as a modeless, topmost picture without caption or frame
// while the program prepares itself, removed after 6 seconds or at the first key or mouse press
// on it, but never before start-up has finished its preparations.

#include "plat/Types.h"

// The splash's timer and how long it stays at most.
inline constexpr plat::UINT_PTR kSplashTimerId = 1;
inline constexpr plat::UINT kSplashMilliseconds = 6000;

// Why the splash may go: 0 not yet, 1 a key or mouse press, 2 its time is up.
enum SplashDismissal { kSplashShowing = 0, kSplashByUser = 1, kSplashByTimer = 2 };

// Shows the splash unless the command line said "nosplash" or the resource is missing.
void ShowSplash();
// The splash window's procedure.
plat::INT_PTR SplashDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                            plat::LPARAM lParam);
// Serves the splash's own messages until it may go, then removes it and brings the floating tool
// window (else the document window) forward. Does nothing when no splash is up.
void RunSplashUntilDismissed();
// Removes the splash at once, without bringing anything forward (start-up failed).
void CloseSplash();

// State, for the shell and tests.
plat::HWND SplashWindow();
int SplashDismissState();
bool SplashWanted();
