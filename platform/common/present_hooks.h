// Lets platform parts follow presented frames without knowing each other:
// DirectDraw's Flip announces each frame; the virtual clock, the frame
// capture and the music capture listen.
#pragma once

#include <cstddef>
#include <cstdint>

namespace sombrella::present {

using Listener = void (*)(void* user, uint64_t frameIndex);

void AddListener(Listener fn, void* user);
void RemoveListener(Listener fn, void* user);

// Called once per presented frame; frameIndex counts from 0.
void NotifyFramePresented();
uint64_t FramesPresented();

// The presented picture, for listeners that want its pixels (the recorder).
struct FrameView {
    const uint8_t* bits;
    int width, height;
    long pitch;
    int bitsPerPixel;          // 16 or 32
    uint32_t greenMask;        // 16 bits: 0x07E0 for RGB565, else RGB555
};
using FrameListener = void (*)(void* user, uint64_t frameIndex, const FrameView& frame);
// One frame listener at a time; nullptr removes it. Called before the
// frame's NotifyFramePresented.
void SetFrameListener(FrameListener fn, void* user);
void NotifyFrame(const FrameView& frame);

// Music rendered in step with presented frames (interleaved 16-bit stereo)
// goes to this sink when one is set. The sink is told the mixing rate once
// before the first samples.
struct AudioSink {
    void (*Begin)(void* user, int sampleRate);
    void (*Samples)(void* user, const int16_t* interleaved, size_t frames);
    void* user;
};
void SetAudioSink(const AudioSink* sink);
const AudioSink* CurrentAudioSink();

}  // namespace sombrella::present
