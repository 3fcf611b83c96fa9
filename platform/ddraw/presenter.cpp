// Full screen: the 640x480 picture scaled to the desktop with its aspect
// kept (letterboxed). In a window: scaled to the window. Bilinear unless
// SOMBRELLA_FILTER=point; SOMBRELLA_INTEGER keeps to whole-number factors. Without a display
// (SDL's dummy or offscreen drivers) nothing is drawn, but frames are still
// paced, so the program runs as it would on a monitor.
#include "ddraw/presenter.h"

#include <SDL.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <string>
#include <thread>

#include "common/knobs.h"
#include "common/pixel_format.h"
#include "ddraw/render_size.h"
#include "ddraw/surface.h"
#include "win32/clock.h"
#include "win32/display_watch.h"
#include "win32/window.h"

namespace sombrella::ddraw {
namespace {

uint64_t NowNs() {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
}

// Mesa's software rasterizers, whose drawing needs the server held (see
// HoldDisplayForDrawing). A GPU's driver does not look the window up per
// frame. SDL's software renderer is held too: SDL may put the window's
// surface on a GL texture of its own, which under Xvfb is that same GL.
bool NeedsServerHeld(const SDL_RendererInfo& info) {
    if (!std::strcmp(info.name, "software")) return true;
    if (std::strncmp(info.name, "opengl", 6) != 0) return false;
    using GetString = const unsigned char* (*)(unsigned);
    auto getString = reinterpret_cast<GetString>(SDL_GL_GetProcAddress("glGetString"));
    constexpr unsigned kGlRenderer = 0x1F01;
    const char* name = getString ? reinterpret_cast<const char*>(getString(kGlRenderer)) : nullptr;
    if (!name) return false;
    for (const char* soft : {"llvmpipe", "softpipe", "Software Rasterizer", "swrast"})
        if (std::strstr(name, soft)) return true;
    return false;
}

Uint32 SdlFormatOf(const DDPIXELFORMAT& f) {
    if (pixel::SameRgb(f, pixel::Rgb565())) return SDL_PIXELFORMAT_RGB565;
    if (f.dwRGBBitCount == 16) return SDL_PIXELFORMAT_RGB555;
    return SDL_PIXELFORMAT_RGB888;
}

}  // namespace

Presenter::Presenter(HWND window, DWORD width, DWORD height) : window_(window), width_(width), height_(height) {
    // Without an explicit rate, a virtual clock run goes as fast as it can.
    long fallback = win32::FixedStepHz() ? 0 : 60;
    refreshHz_ = knobs::Int("SOMBRELLA_REFRESH_HZ", fallback);
    if (refreshHz_ < 0 || refreshHz_ > 1000) refreshHz_ = fallback;
    const char* driver = win32::EnsureVideo() ? SDL_GetCurrentVideoDriver() : nullptr;
    headless_ = win32::IsHeadlessDriver(driver);
}

Presenter::~Presenter() {
    // With the display gone these would talk to a dead connection; the
    // process is ending anyway.
    if (!win32::DisplayUsable()) return;
    if (texture_) SDL_DestroyTexture(texture_);
    if (renderer_) SDL_DestroyRenderer(renderer_);
}

bool Presenter::OpenRenderer() {
    SDL_Window* w = win32::SdlWindowOf(window_);
    if (!w) return false;
    const char* filter = knobs::String("SOMBRELLA_FILTER");
    pointFilter_ = filter && !std::strcmp(filter, "point");
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, pointFilter_ ? "nearest" : "linear");
    Uint32 flags = SDL_RENDERER_ACCELERATED;
    // Vsync paces us only when the caller asked for the display's own rate.
    if (!knobs::String("SOMBRELLA_REFRESH_HZ")) flags |= SDL_RENDERER_PRESENTVSYNC;
    renderer_ = SDL_CreateRenderer(w, -1, flags);
    if (!renderer_) renderer_ = SDL_CreateRenderer(w, -1, SDL_RENDERER_SOFTWARE);
    if (!renderer_) return false;
    SDL_RendererInfo info{};
    SDL_GetRendererInfo(renderer_, &info);
    vsync_ = (info.flags & SDL_RENDERER_PRESENTVSYNC) != 0;
    holdServer_ = NeedsServerHeld(info);
    SDL_RenderSetLogicalSize(renderer_, static_cast<int>(width_), static_cast<int>(height_));
    // Whole-number scaling only, bars around the picture.
    if (knobs::Flag("SOMBRELLA_INTEGER")) SDL_RenderSetIntegerScale(renderer_, SDL_TRUE);
    return true;
}

void Presenter::Pace(bool wait, bool* ready) {
    *ready = true;
    if (refreshHz_ == 0 || vsync_) return;
    const uint64_t period = 1000000000ull / static_cast<uint64_t>(refreshHz_);
    uint64_t now = NowNs();
    if (nextDue_ == 0) nextDue_ = now;
    if (now < nextDue_) {
        if (!wait) {
            *ready = false;
            return;
        }
        std::this_thread::sleep_for(std::chrono::nanoseconds(nextDue_ - now));
        now = NowNs();
    }
    // A late frame starts a new rhythm instead of rushing to catch up.
    nextDue_ = (now - nextDue_ > period) ? now + period : nextDue_ + period;
}

bool Presenter::Show(const Surface& frame, bool wait) {
    bool ready;
    Pace(wait, &ready);
    if (!ready) return false;
    if (headless_) return true;
    if (!win32::DisplayUsable()) return true;
    if (!renderer_ && !OpenRenderer()) {
        headless_ = true;
        return true;
    }
    if (!texture_) {
        Uint32 format = SdlFormatOf(frame.Format());
        // A renderer without 16-bit textures (SDL's OpenGL one) would have SDL
        // convert every frame on upload; we widen into the texture ourselves.
        SDL_RendererInfo info{};
        SDL_GetRendererInfo(renderer_, &info);
        bool native = false;
        for (Uint32 i = 0; i < info.num_texture_formats; ++i) native |= info.texture_formats[i] == format;
        widen_ = !native && frame.Format().dwRGBBitCount == 16;
        if (widen_) format = SDL_PIXELFORMAT_ARGB8888;
        texture_ = SDL_CreateTexture(renderer_, format, SDL_TEXTUREACCESS_STREAMING, static_cast<int>(frame.Width()),
                                     static_cast<int>(frame.Height()));
        if (!texture_) return true;
    }
    // Shown pixel for pixel, linear filtering gives the same picture as
    // nearest but costs a software renderer several times more.
    float sx = 1, sy = 1;
    SDL_RenderGetScale(renderer_, &sx, &sy);
    const bool oneToOne = std::lround(width_ * sx) == static_cast<long>(frame.Width()) &&
                          std::lround(height_ * sy) == static_cast<long>(frame.Height());
    if (oneToOne != oneToOne_) {
        oneToOne_ = oneToOne;
        SDL_SetTextureScaleMode(texture_, oneToOne || pointFilter_ ? SDL_ScaleModeNearest : SDL_ScaleModeLinear);
    }
    if (holdServer_ && !win32::HoldDisplayForDrawing(win32::SdlWindowOf(window_))) return true;
    void* pixels = nullptr;
    int pitch = 0;
    if (!widen_) SDL_UpdateTexture(texture_, nullptr, frame.Bits(), frame.Pitch());
    else if (SDL_LockTexture(texture_, nullptr, &pixels, &pitch) == 0) {
        WidenToXrgb8888(frame, static_cast<uint8_t*>(pixels), pitch);
        SDL_UnlockTexture(texture_);
    }
    SDL_SetRenderDrawColor(renderer_, 0, 0, 0, 255);
    SDL_RenderClear(renderer_);
    SDL_RenderCopy(renderer_, texture_, nullptr, nullptr);
    SDL_RenderPresent(renderer_);
    if (holdServer_) win32::ReleaseDisplayAfterDrawing();
    return true;
}

}  // namespace sombrella::ddraw
