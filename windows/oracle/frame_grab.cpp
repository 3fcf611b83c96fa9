// sombrella-frame-grab OUT_DIR: runs the demo's own set-up (window, display,
// device, scene, lights), draws frames 0, 1 and 2 with a fixed elapsed time
// and writes each back buffer, read with Lock just before its Flip, as
// OUT_DIR/frameN.ppm. Built for Windows (the real DirectDraw/Direct3D) and for
// Linux (ours), so the two platforms' pictures of the same frames compare.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/content.h"
#include "app/frame.h"
#include "app/shell.h"
#include "device/display.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace {

// Elapsed time handed to every frame: a steady 30 frames per second.
constexpr float kFrameSeconds = 1.0f / 30.0f;
constexpr int kFrames = 3;

using FlipFn = HRESULT(STDMETHODCALLTYPE*)(IDirectDrawSurface7*, IDirectDrawSurface7*, DWORD);
FlipFn g_realFlip = nullptr;
void** g_flipSlot = nullptr;
std::string g_outDir;
int g_frame = 0;
bool g_failed = false;

int ChannelShift(DWORD mask) {
    int shift = 0;
    while (mask && !(mask & 1)) {
        mask >>= 1;
        ++shift;
    }
    return shift;
}

uint8_t Expand(uint32_t pixel, DWORD mask) {
    if (!mask) return 0;
    const uint32_t v = (pixel & mask) >> ChannelShift(mask);
    const uint32_t max = mask >> ChannelShift(mask);
    return static_cast<uint8_t>((v * 255 + max / 2) / max);
}

// Writes the back buffer as it stands, before the flip shows it.
bool SaveBackBuffer(const std::string& path) {
    DDSURFACEDESC2 desc;
    std::memset(&desc, 0, sizeof(desc));
    desc.dwSize = sizeof(desc);
    if (FAILED(g_backBuffer->Lock(nullptr, &desc, DDLOCK_WAIT | DDLOCK_READONLY, nullptr))) return false;
    const DDPIXELFORMAT& pf = desc.ddpfPixelFormat;
    const DWORD bytes = pf.dwRGBBitCount / 8;
    std::vector<uint8_t> rgb;
    rgb.reserve(static_cast<size_t>(desc.dwWidth) * desc.dwHeight * 3);
    for (DWORD y = 0; y < desc.dwHeight; ++y) {
        const uint8_t* row = static_cast<const uint8_t*>(desc.lpSurface) + static_cast<size_t>(y) * desc.lPitch;
        for (DWORD x = 0; x < desc.dwWidth; ++x) {
            uint32_t pixel = 0;
            std::memcpy(&pixel, row + static_cast<size_t>(x) * bytes, bytes);
            rgb.push_back(Expand(pixel, pf.dwRBitMask));
            rgb.push_back(Expand(pixel, pf.dwGBitMask));
            rgb.push_back(Expand(pixel, pf.dwBBitMask));
        }
    }
    const DWORD width = desc.dwWidth, height = desc.dwHeight;
    g_backBuffer->Unlock(nullptr);
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    std::fprintf(f, "P6\n%lu %lu\n255\n", static_cast<unsigned long>(width), static_cast<unsigned long>(height));
    const bool ok = std::fwrite(rgb.data(), 1, rgb.size(), f) == rgb.size();
    return std::fclose(f) == 0 && ok;
}

HRESULT STDMETHODCALLTYPE GrabbingFlip(IDirectDrawSurface7* self, IDirectDrawSurface7* target, DWORD flags) {
    if (!SaveBackBuffer(g_outDir + "/frame" + std::to_string(g_frame) + ".ppm")) g_failed = true;
    ++g_frame;
    return g_realFlip(self, target, flags);
}

// The slot of a virtual method in its vtable, from its member pointer (the
// Itanium C++ ABI, which GCC uses on both platforms: 1 + byte offset).
template <typename Method>
size_t VtableSlot(Method method) {
    struct {
        uintptr_t ptr;
        ptrdiff_t adjust;
    } raw;
    static_assert(sizeof(method) == sizeof(raw));
    std::memcpy(&raw, &method, sizeof(raw));
    return (raw.ptr - 1) / sizeof(void*);
}

// Routes the primary surface's Flip through GrabbingFlip. The system calls the
// surface through its interface only, so the vtable entry is the one seam.
bool HookFlip(IDirectDrawSurface7* surface) {
    void** slot = *reinterpret_cast<void***>(surface) + VtableSlot(&IDirectDrawSurface7::Flip);
#ifdef _WIN32
    DWORD old = 0;
    if (!VirtualProtect(slot, sizeof(void*), PAGE_READWRITE, &old)) return false;
#else
    const uintptr_t page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
    void* start = reinterpret_cast<void*>(reinterpret_cast<uintptr_t>(slot) & ~(page - 1));
    if (mprotect(start, page * 2, PROT_READ | PROT_WRITE) != 0) return false;
#endif
    g_realFlip = reinterpret_cast<FlipFn>(*slot);
    g_flipSlot = slot;
    *slot = reinterpret_cast<void*>(&GrabbingFlip);
    return true;
}

void UnhookFlip() {
    if (g_flipSlot) *g_flipSlot = reinterpret_cast<void*>(g_realFlip);
    g_flipSlot = nullptr;
}

// Returns false once WM_QUIT has been seen.
bool PumpMessages() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) return false;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: sombrella-frame-grab OUT_DIR\n");
        return 2;
    }
    g_outDir = argv[1];
    if (!InitApp(GetModuleHandleA(nullptr), SW_SHOWDEFAULT)) {
        std::fprintf(stderr, "set-up failed: %s\n", g_startupMessage ? g_startupMessage : "(no message)");
        g_startupMessage = nullptr;
        ShutDown();
        return 1;
    }
    if (!HookFlip(g_primarySurface)) {
        std::fprintf(stderr, "cannot follow Flip\n");
        return 1;
    }
    // The frame loop's orbit rates: 0, -0.1, -0.2 rad/s.
    for (int i = 0; i < kFrames; ++i) {
        PumpMessages();
        g_orbitRate = -0.1f * static_cast<float>(i);
        RenderFrame(kFrameSeconds);
    }
    std::printf("device kind %u, %d frames\n", static_cast<unsigned>(g_depthDeviceKind), g_frame);
    std::fflush(stdout);
    // End as the demo does: the window goes, its WM_DESTROY releases the
    // device and posts WM_QUIT. Releasing with the window still up and the
    // display still exclusive is a path the demo never takes.
    UnhookFlip();
    DestroyWindow(g_window);
    for (int i = 0; i < 1000 && PumpMessages(); ++i) Sleep(1);
    return g_failed || g_frame != kFrames ? 1 : 0;
}
