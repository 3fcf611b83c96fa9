#include "record/progress.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace sombrella::record {
namespace {

double Seconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

}  // namespace

Progress::Progress(uint64_t total, long fps)
    : total_(std::max<uint64_t>(total, 1)), fps_(fps), terminal_(isatty(STDERR_FILENO) == 1), start_(Seconds()) {}

void Progress::Update(uint64_t frames) { Draw(frames, false); }

void Progress::Done(uint64_t frames) {
    Draw(frames, true);
    if (terminal_) std::fputc('\n', stderr);
}

void Progress::Draw(uint64_t frames, bool last) {
    if (!terminal_) return;
    const double now = Seconds();
    if (!last && now - lastDraw_ < 0.2) return;
    lastDraw_ = now;
    const uint64_t shown = std::min(frames, total_);
    constexpr int kWidth = 30;
    const int filled = static_cast<int>(shown * kWidth / total_);
    char bar[kWidth + 1];
    for (int i = 0; i < kWidth; ++i) bar[i] = i < filled ? '#' : '-';
    bar[kWidth] = '\0';
    const double elapsed = now - start_;
    const double left = frames ? elapsed / static_cast<double>(frames) * static_cast<double>(total_ - shown) : 0;
    std::fprintf(stderr, "\rrecording [%s] frame %llu/%llu  %.1f s of demo  %s %d:%02d ", bar,
                 static_cast<unsigned long long>(frames), static_cast<unsigned long long>(total_),
                 static_cast<double>(frames) / static_cast<double>(fps_), last ? "took" : "left",
                 static_cast<int>((last ? elapsed : left) / 60), static_cast<int>(last ? elapsed : left) % 60);
    std::fflush(stderr);
}

}  // namespace sombrella::record
