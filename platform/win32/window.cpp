// Window classes, windows and the message queue over SDL2.
// One thread, as on the platform: DestroyWindow sends WM_DESTROY before it
// returns, timers arrive as WM_TIMER through the queue, and SDL's events
// become posted messages when the queue is read.
#include "win32/window.h"

#include <SDL.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/knobs.h"
#include "common/present_hooks.h"
#include "win32/clock.h"
#include "win32/display_watch.h"
#include "win32/keys.h"
#include "win32/signals.h"

namespace sombrella::win32 {
namespace {

struct WindowClass {
    std::string name;
    WNDCLASSA wc;
};

struct Window {
    HWND handle = nullptr;
    WNDPROC proc = nullptr;
    SDL_Window* sdl = nullptr;
    std::string title;
    bool destroying = false;
};

struct Timer {
    HWND hwnd;
    UINT_PTR id;
    UINT elapse;
    uint64_t due;
    TIMERPROC proc;
};

struct State {
    std::vector<WindowClass> classes;
    std::map<HWND, std::unique_ptr<Window>> windows;
    std::deque<MSG> posted;
    std::vector<Timer> timers;
    bool quitPosted = false;
    int quitCode = 0;
    uintptr_t nextHandle = 0x10000;
    bool videoTried = false;
    bool videoOk = false;
    bool lossHandled = false;
    ActivationListener activation = nullptr;
    void* activationUser = nullptr;
};

State& S() {
    static State s;
    return s;
}

bool SameName(const std::string& a, LPCSTR b) { return lstrcmpiA(a.c_str(), b) == 0; }

Window* Find(HWND hwnd) {
    auto it = S().windows.find(hwnd);
    return it == S().windows.end() ? nullptr : it->second.get();
}

Window* FindSdl(Uint32 id) {
    for (auto& [h, w] : S().windows)
        if (w->sdl && SDL_GetWindowID(w->sdl) == id) return w.get();
    return nullptr;
}

Window* FirstWindow() { return S().windows.empty() ? nullptr : S().windows.begin()->second.get(); }

void Post(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    MSG m{};
    m.hwnd = hwnd;
    m.message = message;
    m.wParam = wParam;
    m.lParam = lParam;
    m.time = static_cast<DWORD>(NowMilliseconds());
    S().posted.push_back(m);
}

void Activate(Window* w, bool active) {
    Post(w->handle, WM_ACTIVATEAPP, active ? TRUE : FALSE, 0);
    if (S().activation) S().activation(S().activationUser, w->handle, active);
}

// Alt+Enter: between full screen and a window, while running. The program
// is not told; its surfaces stay as they are.
int g_windowedNow = -1;  // -1: as SOMBRELLA_WINDOWED says

void ToggleFullScreen(Window* w) {
    const bool full = (SDL_GetWindowFlags(w->sdl) & SDL_WINDOW_FULLSCREEN) != 0;
    if (full) {
        SDL_SetWindowFullscreen(w->sdl, 0);
        SDL_SetWindowBordered(w->sdl, SDL_TRUE);
        SDL_SetWindowResizable(w->sdl, SDL_TRUE);
        SDL_SetWindowSize(w->sdl, 640, 480);
        SDL_SetWindowPosition(w->sdl, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED);
    } else {
        SDL_SetWindowFullscreen(w->sdl, SDL_WINDOW_FULLSCREEN_DESKTOP);
    }
    g_windowedNow = full ? 1 : 0;
}

void TranslateSdlEvent(const SDL_Event& e) {
    switch (e.type) {
        case SDL_KEYDOWN:
        case SDL_KEYUP: {
            Window* w = FindSdl(e.key.windowID);
            if (!w) w = FirstWindow();
            if (e.key.keysym.sym == SDLK_RETURN && (e.key.keysym.mod & KMOD_ALT)) {
                if (w && e.type == SDL_KEYDOWN && !e.key.repeat) ToggleFullScreen(w);
                return;
            }
            WPARAM vk = VirtualKeyOf(e.key.keysym.sym);
            if (!w || !vk) return;
            LPARAM lp = 1 | (static_cast<LPARAM>(e.key.keysym.scancode & 0xFF) << 16);
            if (e.type == SDL_KEYUP) lp |= (LPARAM(1) << 30) | (LPARAM(1) << 31);
            else if (e.key.repeat) lp |= LPARAM(1) << 30;
            Post(w->handle, e.type == SDL_KEYDOWN ? WM_KEYDOWN : WM_KEYUP, vk, lp);
            return;
        }
        case SDL_WINDOWEVENT: {
            Window* w = FindSdl(e.window.windowID);
            if (!w) return;
            switch (e.window.event) {
                case SDL_WINDOWEVENT_CLOSE: Post(w->handle, WM_CLOSE, 0, 0); break;
                case SDL_WINDOWEVENT_FOCUS_LOST:
                case SDL_WINDOWEVENT_MINIMIZED: Activate(w, false); break;
                case SDL_WINDOWEVENT_FOCUS_GAINED:
                case SDL_WINDOWEVENT_RESTORED: Activate(w, true); break;
                case SDL_WINDOWEVENT_SIZE_CHANGED:
                    Post(w->handle, WM_SIZE, SIZE_RESTORED,
                         (e.window.data1 & 0xFFFF) | ((e.window.data2 & 0xFFFF) << 16));
                    break;
                default: break;
            }
            return;
        }
        case SDL_QUIT:
            // A session ending: ask every window to close.
            for (auto& [h, w] : S().windows) Post(h, WM_CLOSE, 0, 0);
            return;
        case SDL_SYSWMEVENT: NoteSystemEvent(e); return;
        default: return;
    }
}

// SOMBRELLA_QUIT_AFTER_FRAMES=N: after N presented frames, an Escape key
// press arrives through SDL like a real one.
void QuitKeyAfterFrames(void* user, uint64_t frameIndex) {
    const auto wanted = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(user));
    if (frameIndex + 1 != wanted) return;
    Window* w = FirstWindow();
    SDL_Event e{};
    e.type = SDL_KEYDOWN;
    e.key.state = SDL_PRESSED;
    e.key.windowID = w && w->sdl ? SDL_GetWindowID(w->sdl) : 0;
    e.key.keysym.sym = SDLK_ESCAPE;
    e.key.keysym.scancode = SDL_SCANCODE_ESCAPE;
    SDL_PushEvent(&e);
}

void ArmQuitKey() {
    static bool armed = false;
    if (armed) return;
    armed = true;
    const long frames = knobs::Int("SOMBRELLA_QUIT_AFTER_FRAMES", 0);
    if (frames > 0)
        present::AddListener(&QuitKeyAfterFrames, reinterpret_cast<void*>(static_cast<uintptr_t>(frames)));
}

// A window destroyed by someone else, or the display gone: the program ends
// as if its window had been destroyed, with one line saying why.
void EndOnLostDisplay() {
    State& s = S();
    const DisplayLoss loss = LostDisplay();
    if (loss == DisplayLoss::kNone || s.lossHandled) return;
    s.lossHandled = true;
    Window* first = FirstWindow();
    const std::string title = first && !first->title.empty() ? first->title : "sombrella";
    std::fprintf(stderr, "%s: %s\n", title.c_str(),
                 loss == DisplayLoss::kWindow ? "the window was destroyed by another program"
                                              : "the connection to the display was lost");
    std::vector<HWND> handles;
    for (auto& [h, w] : s.windows) handles.push_back(h);
    for (HWND h : handles) DestroyWindow(h);
}

void PumpSdl() {
    if (!S().videoOk) return;
    // An interrupt or termination request: ask every window to close.
    if (TakeQuitSignal())
        for (auto& [h, w] : S().windows) Post(h, WM_CLOSE, 0, 0);
    RefreshDisplayWatch();
    SDL_Event e;
    while (DisplayUsable() && SDL_PollEvent(&e)) TranslateSdlEvent(e);
    EndOnLostDisplay();
}

// At exit SDL lets go of the display, unless the display is already gone:
// talking to a dead connection would abort.
void QuitSdl() {
    if (DisplayUsable()) SDL_Quit();
}

bool IsHeadlessDriverName(const char* driver) {
    return !driver || !std::strcmp(driver, "dummy") || !std::strcmp(driver, "offscreen");
}

// With no driver asked for, SDL may settle on one that shows nothing (no
// reachable display): say so once rather than run without a word.
void SayVideoDriver() {
    const char* driver = SDL_GetCurrentVideoDriver();
    if (knobs::String("SDL_VIDEODRIVER") || !IsHeadlessDriverName(driver)) return;
    std::fprintf(stderr, "sombrella: no display could be opened; video driver: %s (nothing is shown)\n",
                 driver ? driver : "none");
}

bool Matches(const MSG& m, HWND filter, UINT lo, UINT hi) {
    if (filter && m.hwnd != filter) return false;
    if (lo == 0 && hi == 0) return true;
    return m.message >= lo && m.message <= hi;
}

}  // namespace

bool EnsureVideo() {
    State& s = S();
    if (!s.videoTried) {
        s.videoTried = true;
        InstallSignalHandlers();
        s.videoOk = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
        if (s.videoOk) {
            std::atexit(QuitSdl);
            OnConnectionLost(&EndOnLostDisplay);
            SayVideoDriver();
        }
    }
    return s.videoOk;
}

SDL_Window* SdlWindowOf(HWND hwnd) {
    Window* w = Find(hwnd);
    return w ? w->sdl : nullptr;
}

bool IsHeadlessDriver(const char* driver) { return IsHeadlessDriverName(driver); }

bool WindowedRequested() { return g_windowedNow >= 0 ? g_windowedNow == 1 : knobs::Flag("SOMBRELLA_WINDOWED"); }

void SetActivationListener(ActivationListener fn, void* user) {
    S().activation = fn;
    S().activationUser = user;
}

}  // namespace sombrella::win32

using namespace sombrella::win32;

ATOM WINAPI RegisterClassA(const WNDCLASSA* wc) {
    if (!wc || !wc->lpszClassName || !wc->lpfnWndProc || !*wc->lpszClassName) return 0;
    auto& classes = S().classes;
    for (auto& c : classes)
        if (SameName(c.name, wc->lpszClassName)) return 0;
    classes.push_back({wc->lpszClassName, *wc});
    classes.back().wc.lpszClassName = classes.back().name.c_str();
    return static_cast<ATOM>(0xC000 + classes.size() - 1);
}

BOOL WINAPI UnregisterClassA(LPCSTR name, HINSTANCE) {
    auto& classes = S().classes;
    for (auto it = classes.begin(); it != classes.end(); ++it) {
        if (name && SameName(it->name, name)) {
            for (auto& [h, w] : S().windows)
                if (w->proc == it->wc.lpfnWndProc) return FALSE;
            classes.erase(it);
            return TRUE;
        }
    }
    return FALSE;
}

HWND WINAPI CreateWindowExA(DWORD, LPCSTR className, LPCSTR title, DWORD style, int x, int y, int width,
                            int height, HWND, HMENU, HINSTANCE, LPVOID) {
    if (!className) return nullptr;
    const WindowClass* cls = nullptr;
    for (auto& c : S().classes)
        if (SameName(c.name, className)) cls = &c;
    if (!cls || !EnsureVideo()) return nullptr;

    // Full screen on the desktop unless asked for a window; a window shows
    // the 640x480 picture at its own size and can be resized.
    Uint32 flags = SDL_WINDOW_HIDDEN;
    int w = width, h = height;
    if ((style & WS_POPUP) && !WindowedRequested()) {
        flags |= SDL_WINDOW_FULLSCREEN_DESKTOP | SDL_WINDOW_BORDERLESS;
    } else {
        flags |= SDL_WINDOW_RESIZABLE;
        w = 640;
        h = 480;
        x = y = static_cast<int>(SDL_WINDOWPOS_CENTERED);
    }
    if (w <= 0 || h <= 0) return nullptr;
    SDL_Window* sdl = SDL_CreateWindow(title ? title : "", x, y, w, h, flags);
    if (!sdl) return nullptr;

    auto win = std::make_unique<Window>();
    win->handle = reinterpret_cast<HWND>(S().nextHandle);
    S().nextHandle += 0x10;
    win->proc = cls->wc.lpfnWndProc;
    win->sdl = sdl;
    win->title = title ? title : "";
    WatchDisplay(sdl);
    HWND hwnd = win->handle;
    S().windows.emplace(hwnd, std::move(win));

    if (SendMessageA(hwnd, WM_CREATE, 0, 0) == -1) {
        DestroyWindow(hwnd);
        return nullptr;
    }
    if (style & WS_VISIBLE) ShowWindow(hwnd, SW_SHOW);
    ArmQuitKey();
    return hwnd;
}

BOOL WINAPI ShowWindow(HWND hwnd, int cmd) {
    Window* w = Find(hwnd);
    if (!w || !DisplayUsable()) return FALSE;
    const bool wasVisible = (SDL_GetWindowFlags(w->sdl) & SDL_WINDOW_SHOWN) != 0;
    switch (cmd) {
        case SW_HIDE: SDL_HideWindow(w->sdl); break;
        case SW_MINIMIZE:
        case SW_SHOWMINIMIZED: SDL_MinimizeWindow(w->sdl); break;
        case SW_RESTORE: SDL_RestoreWindow(w->sdl); SDL_ShowWindow(w->sdl); break;
        default: SDL_ShowWindow(w->sdl); SDL_RaiseWindow(w->sdl); break;
    }
    return wasVisible ? TRUE : FALSE;
}

BOOL WINAPI UpdateWindow(HWND hwnd) { return Find(hwnd) ? TRUE : FALSE; }

BOOL WINAPI IsWindow(HWND hwnd) { return Find(hwnd) ? TRUE : FALSE; }

BOOL WINAPI DestroyWindow(HWND hwnd) {
    Window* w = Find(hwnd);
    if (!w || w->destroying) return FALSE;
    w->destroying = true;
    w->proc(hwnd, WM_DESTROY, 0, 0);
    // The window procedure may have done anything; look the window up again.
    auto it = S().windows.find(hwnd);
    if (it == S().windows.end()) return TRUE;
    if (it->second->sdl) {
        UnwatchDisplay(it->second->sdl);
        if (DisplayUsable()) SDL_DestroyWindow(it->second->sdl);
    }
    S().windows.erase(it);
    auto& t = S().timers;
    t.erase(std::remove_if(t.begin(), t.end(), [&](const Timer& x) { return x.hwnd == hwnd; }), t.end());
    auto& q = S().posted;
    q.erase(std::remove_if(q.begin(), q.end(), [&](const MSG& m) { return m.hwnd == hwnd; }), q.end());
    return TRUE;
}

LRESULT WINAPI DefWindowProcA(HWND hwnd, UINT msg, WPARAM, LPARAM) {
    if (msg == WM_CLOSE) DestroyWindow(hwnd);
    return 0;
}

BOOL WINAPI PeekMessageA(LPMSG out, HWND filter, UINT lo, UINT hi, UINT remove) {
    if (!out) return FALSE;
    // The first look at the queue is the message loop starting.
    SignalsToQueue();
    PumpSdl();
    State& s = S();
    const bool take = (remove & PM_REMOVE) != 0;

    for (auto it = s.posted.begin(); it != s.posted.end(); ++it) {
        if (!Matches(*it, filter, lo, hi)) continue;
        *out = *it;
        if (take) s.posted.erase(it);
        return TRUE;
    }
    if (s.quitPosted && (lo == 0 && hi == 0 ? true : (WM_QUIT >= lo && WM_QUIT <= hi))) {
        *out = MSG{};
        out->message = WM_QUIT;
        out->wParam = static_cast<WPARAM>(s.quitCode);
        out->time = static_cast<DWORD>(NowMilliseconds());
        if (take) s.quitPosted = false;
        return TRUE;
    }
    const uint64_t now = NowMilliseconds();
    for (auto& t : s.timers) {
        if (t.due > now) continue;
        MSG m{};
        m.hwnd = t.hwnd;
        m.message = WM_TIMER;
        m.wParam = t.id;
        m.lParam = reinterpret_cast<LPARAM>(t.proc);
        m.time = static_cast<DWORD>(now);
        if (!Matches(m, filter, lo, hi)) continue;
        *out = m;
        if (take) t.due = now + t.elapse;
        return TRUE;
    }
    return FALSE;
}

BOOL WINAPI TranslateMessage(const MSG* msg) {
    if (!msg) return FALSE;
    if (msg->message != WM_KEYDOWN) return FALSE;
    // Letters, digits and space also arrive as characters, as the platform does.
    WPARAM vk = msg->wParam;
    if ((vk >= 'A' && vk <= 'Z') || (vk >= '0' && vk <= '9') || vk == VK_SPACE || vk == VK_RETURN ||
        vk == VK_ESCAPE || vk == VK_BACK || vk == VK_TAB) {
        WPARAM ch = (vk >= 'A' && vk <= 'Z') ? vk - 'A' + 'a' : vk;
        Post(msg->hwnd, WM_CHAR, ch, msg->lParam);
    }
    return TRUE;
}

LRESULT WINAPI DispatchMessageA(const MSG* msg) {
    if (!msg) return 0;
    if (msg->message == WM_TIMER && msg->lParam) {
        reinterpret_cast<TIMERPROC>(msg->lParam)(msg->hwnd, WM_TIMER, msg->wParam, msg->time);
        return 0;
    }
    Window* w = Find(msg->hwnd);
    if (!w) return 0;
    return w->proc(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

void WINAPI PostQuitMessage(int code) {
    S().quitPosted = true;
    // Ending because the display went away is a failure, whatever the window said.
    S().quitCode = LostDisplay() != DisplayLoss::kNone ? 1 : code;
}

BOOL WINAPI PostMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (hwnd && !Find(hwnd)) return FALSE;
    Post(hwnd, msg, wParam, lParam);
    return TRUE;
}

LRESULT WINAPI SendMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Window* w = Find(hwnd);
    return w ? w->proc(hwnd, msg, wParam, lParam) : 0;
}

UINT_PTR WINAPI SetTimer(HWND hwnd, UINT_PTR id, UINT elapse, TIMERPROC proc) {
    if (hwnd && !Find(hwnd)) return 0;
    // The platform clamps timeouts to at least 10 ms.
    if (elapse < 10) elapse = 10;
    const uint64_t due = NowMilliseconds() + elapse;
    for (auto& t : S().timers) {
        if (t.hwnd == hwnd && t.id == id) {
            t.elapse = elapse;
            t.due = due;
            t.proc = proc;
            return id ? id : 1;
        }
    }
    S().timers.push_back({hwnd, id, elapse, due, proc});
    return id ? id : 1;
}

BOOL WINAPI KillTimer(HWND hwnd, UINT_PTR id) {
    auto& t = S().timers;
    auto it = std::find_if(t.begin(), t.end(), [&](const Timer& x) { return x.hwnd == hwnd && x.id == id; });
    if (it == t.end()) return FALSE;
    t.erase(it);
    return TRUE;
}

int WINAPI MessageBoxA(HWND hwnd, LPCSTR text, LPCSTR caption, UINT) {
    const char* c = caption ? caption : "Error";
    const char* t = text ? text : "";
    std::fprintf(stderr, "%s: %s\n", c, t);
    const char* driver = EnsureVideo() ? SDL_GetCurrentVideoDriver() : nullptr;
    const bool display = driver && !IsHeadlessDriver(driver) && DisplayUsable();
    if (display && !sombrella::knobs::Flag("SOMBRELLA_NO_DIALOGS"))
        SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, c, t, SdlWindowOf(hwnd));
    return IDOK;
}

int WINAPI GetSystemMetrics(int index) {
    SDL_DisplayMode mode{};
    const bool ok = EnsureVideo() && DisplayUsable() && SDL_GetDesktopDisplayMode(0, &mode) == 0;
    switch (index) {
        case SM_CXSCREEN: return ok ? mode.w : 640;
        case SM_CYSCREEN: return ok ? mode.h : 480;
        default: return 0;
    }
}

HCURSOR WINAPI LoadCursorA(HINSTANCE, LPCSTR name) {
    // Only the stock arrow exists; SDL shows its own arrow.
    static HICON__ arrow{};
    return name == IDC_ARROW ? &arrow : nullptr;
}
