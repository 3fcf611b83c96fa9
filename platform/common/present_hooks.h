// Lets platform parts follow presented frames without knowing each other:
// DirectDraw's Flip announces each frame; the virtual clock, the frame
// capture and the music capture listen.
#pragma once

#include <cstdint>

namespace sombrella::present {

using Listener = void (*)(void* user, uint64_t frameIndex);

void AddListener(Listener fn, void* user);
void RemoveListener(Listener fn, void* user);

// Called once per presented frame; frameIndex counts from 0.
void NotifyFramePresented();
uint64_t FramesPresented();

}  // namespace sombrella::present
