// Puts frames on the screen through SDL2 and paces them to the refresh rate.
#pragma once

#include <cstdint>
#include <vector>

#include "windows.h"

struct SDL_Renderer;
struct SDL_Texture;

namespace sombrella::ddraw {

class Surface;

class Presenter {
public:
    Presenter(HWND window, DWORD width, DWORD height);
    ~Presenter();

    // Shows the frame; with wait, blocks until the display takes the next one.
    // False without wait when the previous frame is still being shown.
    bool Show(const Surface& frame, bool wait);

private:
    void Pace(bool wait, bool* ready);
    bool OpenRenderer();

    HWND window_;
    DWORD width_, height_;
    SDL_Renderer* renderer_ = nullptr;
    SDL_Texture* texture_ = nullptr;
    bool vsync_ = false;
    bool widen_ = false;  // the texture is 32-bit, the frames 16-bit
    bool pointFilter_ = false;
    bool oneToOne_ = false;  // the texture is shown pixel for pixel
    bool holdServer_ = false;  // drawing may go through Mesa's software GL
    bool headless_ = true;
    long refreshHz_ = 60;
    uint64_t nextDue_ = 0;  // nanoseconds on the steady clock
};

}  // namespace sombrella::ddraw
