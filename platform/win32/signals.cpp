#include "win32/signals.h"

#include <SDL.h>

#include <csignal>
#include <initializer_list>

namespace sombrella::win32 {
namespace {

volatile std::sig_atomic_t g_queued = 0;
volatile std::sig_atomic_t g_pending = 0;

void OnSignal(int sig) {
    if (!g_queued) {
        // Still starting: end the way an unhandled signal does.
        std::signal(sig, SIG_DFL);
        std::raise(sig);
        return;
    }
    g_pending = 1;
}

}  // namespace

void InstallSignalHandlers() {
    static bool installed = false;
    if (installed) return;
    installed = true;
    // SDL's own handlers only queue a quit event, which nobody reads while
    // the program is still starting.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    for (int sig : {SIGINT, SIGTERM}) {
        struct sigaction action {};
        action.sa_handler = &OnSignal;
        sigemptyset(&action.sa_mask);
        // No SA_RESTART: a blocked call returns, and the loop gets to run.
        action.sa_flags = 0;
        struct sigaction previous {};
        // A signal the parent chose to ignore stays ignored.
        if (sigaction(sig, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) continue;
        sigaction(sig, &action, nullptr);
    }
}

void SignalsToQueue() { g_queued = 1; }

bool TakeQuitSignal() {
    if (!g_pending) return false;
    g_pending = 0;
    return true;
}

}  // namespace sombrella::win32
