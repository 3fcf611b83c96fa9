// Watching the X display the windows live on. Another client may destroy a
// window, kill our connection, or the server may die; Xlib's own handlers
// would then exit inside Xlib and leave exit handlers talking to a dead
// connection. Instead a destroyed window is recorded here and the message
// queue ends the program as if the window had been destroyed; a lost
// connection runs the given routine (destroying the windows) and ends the
// process at once with status 1.
#pragma once

struct SDL_Window;
union SDL_Event;

namespace sombrella::win32 {

enum class DisplayLoss { kNone, kWindow, kConnection };

// Starts watching the display of an SDL window (X11 only; others are ignored).
void WatchDisplay(SDL_Window* window);
// Looks up the X windows again (SDL may have replaced one).
void RefreshDisplayWatch();
// Our own destruction of a window is no loss: stop watching it first.
void UnwatchDisplay(SDL_Window* window);
// An X event SDL passed through as a window-manager event (DestroyNotify).
void NoteSystemEvent(const SDL_Event& event);
// Run when the connection is lost, just before the process ends.
void OnConnectionLost(void (*fn)());
// Mesa's software GL looks up a window's size before it draws into it, and a
// window destroyed in between leaves it drawing out of bounds. Holding the
// server from that look-up to the buffer swap keeps other clients from
// destroying the window meanwhile. False (nothing held) when the window is
// already gone, which is then recorded as lost.
bool HoldDisplayForDrawing(SDL_Window* window);
void ReleaseDisplayAfterDrawing();
// What has been lost so far.
DisplayLoss LostDisplay();
// False once the window or the connection is gone: from then on no SDL video
// call is made (drivers may crash or wait forever on a vanished window).
bool DisplayUsable();

}  // namespace sombrella::win32
