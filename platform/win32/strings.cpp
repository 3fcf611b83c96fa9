// kernel32 string helpers.
#include "windows.h"

int WINAPI lstrcmpiA(LPCSTR a, LPCSTR b) {
    // A missing string sorts before any string, as on the platform.
    if (!a || !b) return (a == b) ? 0 : (a ? 1 : -1);
    auto lower = [](unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c; };
    for (;; ++a, ++b) {
        const int ca = lower(static_cast<unsigned char>(*a));
        const int cb = lower(static_cast<unsigned char>(*b));
        if (ca != cb) return ca < cb ? -1 : 1;
        if (ca == 0) return 0;
    }
}
