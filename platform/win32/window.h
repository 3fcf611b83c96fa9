// Internal view of our windows for the other platform parts.
#pragma once

#include "windows.h"

struct SDL_Window;

namespace sombrella::win32 {

// Starts SDL video once; false when no display can be had.
bool EnsureVideo();
// The SDL window behind a window handle, or nullptr.
SDL_Window* SdlWindowOf(HWND hwnd);
// True for SDL video drivers that show nothing (dummy, offscreen).
bool IsHeadlessDriver(const char* driver);
// True when the demo was asked to run in a window rather than full screen.
bool WindowedRequested();

// DirectDraw follows focus: a full-screen window that loses focus or is
// minimised loses its surfaces.
using ActivationListener = void (*)(void* user, HWND hwnd, bool active);
void SetActivationListener(ActivationListener fn, void* user);

}  // namespace sombrella::win32
