// Enhanced rendering (SOMBRELLA_SCALE, SOMBRELLA_AA): the program still asks
// for its display mode and sees surfaces of that size, but the flip chain and
// its depth buffer hold more pixels. The front buffer is the presented
// picture (the mode times the scale); the back buffer and depth buffer are
// that times the supersampling factor, filtered down on every Flip.
#pragma once

#include <cstdint>

#include "windows.h"

namespace sombrella::ddraw {

class Surface;

struct RenderSize {
    DWORD presentWidth, presentHeight;  // the front buffer
    DWORD renderWidth, renderHeight;    // the back buffer and depth buffer
    DWORD samples;                      // per axis: renderWidth = presentWidth * samples
    bool Faithful(DWORD w, DWORD h) const { return renderWidth == w && renderHeight == h; }
};

// The sizes for a display mode from the knobs; the mode itself when none is set.
// displayWidth/Height: the desktop's size for "native", 0 when there is no display.
RenderSize ChooseRenderSize(DWORD modeWidth, DWORD modeHeight, const char* scale, const char* aa,
                            DWORD displayWidth, DWORD displayHeight);

// Box-filters the back buffer onto the smaller front buffer (same format,
// whole-number ratio).
void Downsample(const Surface& from, Surface& to);

// A 16-bit picture (RGB565 or RGB555) as XRGB8888 (alpha set), each channel
// widened to 8 bits rounded to nearest; for a display that takes no 16-bit pixels.
void WidenToXrgb8888(const Surface& from, uint8_t* out, long pitch);

}  // namespace sombrella::ddraw
