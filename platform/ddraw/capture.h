// SOMBRELLA_CAPTURE_DIR / SOMBRELLA_CAPTURE_FRAMES: presented frames as PNG.
#pragma once

#include <cstdint>

namespace sombrella::ddraw {

class Surface;

// Writes the frame if its number is wanted; false when writing failed.
bool CaptureFrame(const Surface& frame, uint64_t frameIndex);

// Frame selection syntax: "all", or numbers and ranges "0,10,20-30".
bool FrameSelected(const char* selection, uint64_t frameIndex);

}  // namespace sombrella::ddraw
