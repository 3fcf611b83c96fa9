// A one-line progress bar on the terminal: frames, seconds of demo, time left.
#pragma once

#include <cstdint>

namespace sombrella::record {

class Progress {
public:
    // total: the frames expected (an estimate); fps: frames per demo second.
    Progress(uint64_t total, long fps);
    void Update(uint64_t frames);
    void Done(uint64_t frames);

private:
    void Draw(uint64_t frames, bool last);
    uint64_t total_;
    long fps_;
    bool terminal_;
    double start_ = 0, lastDraw_ = -1;
};

}  // namespace sombrella::record
