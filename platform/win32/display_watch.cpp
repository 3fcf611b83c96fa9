#include "win32/display_watch.h"

#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xlib.h>
#include <dlfcn.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace sombrella::win32 {
namespace {

std::atomic<int> g_loss{static_cast<int>(DisplayLoss::kNone)};
constexpr int kMaxWatched = 8;
// The X window behind each watched SDL window. SDL replaces the X window when
// a renderer needs another visual, so the ids are looked up again before
// every round of events.
SDL_Window* g_sdlWindows[kMaxWatched];
std::atomic<unsigned long> g_windows[kMaxWatched];
std::atomic<int> g_windowCount{0};

unsigned long XWindowOf(SDL_Window* window) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!window || !SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return 0;
    return info.info.x11.window;
}

void Raise(DisplayLoss loss) {
    int seen = g_loss.load();
    while (seen < static_cast<int>(loss) && !g_loss.compare_exchange_weak(seen, static_cast<int>(loss))) {
    }
}

bool IsOurs(unsigned long xid) {
    if (xid == 0) return false;
    const int n = g_windowCount.load();
    for (int i = 0; i < n && i < kMaxWatched; ++i)
        if (g_windows[i].load() == xid) return true;
    return false;
}

// Protocol errors never end the program: a window or drawable error naming
// our window means the window is gone; any other is dropped (a focus request
// on a hidden window fails harmlessly, for one).
int OnError(Display*, XErrorEvent* e) {
    if (e && (e->error_code == BadWindow || e->error_code == BadDrawable) && IsOurs(e->resourceid))
        Raise(DisplayLoss::kWindow);
    return 0;
}

void (*g_onConnectionLost)() = nullptr;

// Xlib exits once this returns, and every X user above us on the stack (SDL,
// the GL driver) would go on with a dead connection: end here instead, after
// the windows have been destroyed as they would be on the platform.
int OnIoError(Display*) {
    Raise(DisplayLoss::kConnection);
    if (g_onConnectionLost) g_onConnectionLost();
    std::fflush(nullptr);
    _exit(1);
}

using SetErrorHandler = int (*(*)(int (*)(Display*, XErrorEvent*)))(Display*, XErrorEvent*);
using SetIoErrorHandler = int (*(*)(int (*)(Display*)))(Display*);

Display* DisplayOf(SDL_Window* window) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!window || !SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return nullptr;
    return info.info.x11.display;
}

// SDL has loaded libX11 already; take its copy, never a second one.
template <typename Fn>
Fn X11Function(const char* name) {
    void* lib = dlopen("libX11.so.6", RTLD_LAZY | RTLD_NOLOAD);
    return lib ? reinterpret_cast<Fn>(dlsym(lib, name)) : nullptr;
}

Display* g_heldDisplay = nullptr;

void InstallHandlers() {
    static bool installed = false;
    if (installed) return;
    installed = true;
    auto setError = X11Function<SetErrorHandler>("XSetErrorHandler");
    auto setIo = X11Function<SetIoErrorHandler>("XSetIOErrorHandler");
    if (setError) setError(&OnError);
    if (setIo) setIo(&OnIoError);
}

}  // namespace

void WatchDisplay(SDL_Window* window) {
    const unsigned long id = XWindowOf(window);
    if (!id) return;
    const int n = g_windowCount.load();
    if (n < kMaxWatched) {
        g_sdlWindows[n] = window;
        g_windows[n].store(id);
        g_windowCount.store(n + 1);
    }
    // DestroyNotify for our window comes through as a window-manager event.
    SDL_EventState(SDL_SYSWMEVENT, SDL_ENABLE);
    InstallHandlers();
}

void OnConnectionLost(void (*fn)()) { g_onConnectionLost = fn; }

void RefreshDisplayWatch() {
    if (!DisplayUsable()) return;
    const int n = g_windowCount.load();
    for (int i = 0; i < n && i < kMaxWatched; ++i)
        if (g_sdlWindows[i]) g_windows[i].store(XWindowOf(g_sdlWindows[i]));
}

void UnwatchDisplay(SDL_Window* window) {
    const int n = g_windowCount.load();
    for (int i = 0; i < n && i < kMaxWatched; ++i) {
        if (g_sdlWindows[i] != window) continue;
        g_sdlWindows[i] = nullptr;
        g_windows[i].store(0);
    }
}

void NoteSystemEvent(const SDL_Event& event) {
    if (event.type != SDL_SYSWMEVENT || !event.syswm.msg || event.syswm.msg->subsystem != SDL_SYSWM_X11) return;
    const XEvent& x = event.syswm.msg->msg.x11.event;
    if (x.type != DestroyNotify) return;
    // A window SDL replaced on its own is no loss: compare with the current ones.
    RefreshDisplayWatch();
    if (IsOurs(x.xdestroywindow.window)) Raise(DisplayLoss::kWindow);
}

bool HoldDisplayForDrawing(SDL_Window* window) {
    using DisplayFn = int (*)(Display*);
    using AttributesFn = int (*)(Display*, Window, XWindowAttributes*);
    static const auto grab = X11Function<DisplayFn>("XGrabServer");
    static const auto ungrab = X11Function<DisplayFn>("XUngrabServer");
    static const auto attributes = X11Function<AttributesFn>("XGetWindowAttributes");
    if (!DisplayUsable()) return false;
    Display* display = DisplayOf(window);
    const unsigned long id = XWindowOf(window);
    if (!display || !id || !grab || !ungrab || !attributes) return true;  // nothing to hold: draw as usual
    grab(display);
    XWindowAttributes seen;
    // A round trip inside the grab: the window exists now and stays until the release.
    if (!attributes(display, id, &seen)) {
        ungrab(display);
        Raise(DisplayLoss::kWindow);
        return false;
    }
    g_heldDisplay = display;
    return true;
}

void ReleaseDisplayAfterDrawing() {
    using DisplayFn = int (*)(Display*);
    static const auto ungrab = X11Function<DisplayFn>("XUngrabServer");
    static const auto flush = X11Function<DisplayFn>("XFlush");
    if (!g_heldDisplay) return;
    if (ungrab) ungrab(g_heldDisplay);
    if (flush) flush(g_heldDisplay);
    g_heldDisplay = nullptr;
}

DisplayLoss LostDisplay() { return static_cast<DisplayLoss>(g_loss.load()); }

bool DisplayUsable() { return LostDisplay() == DisplayLoss::kNone; }

}  // namespace sombrella::win32
