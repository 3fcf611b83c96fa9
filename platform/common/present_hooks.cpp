#include "common/present_hooks.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace sombrella::present {
namespace {
std::vector<std::pair<Listener, void*>>& Listeners() {
    static std::vector<std::pair<Listener, void*>> list;
    return list;
}
uint64_t g_presented = 0;
FrameListener g_frameListener = nullptr;
void* g_frameUser = nullptr;
const AudioSink* g_sink = nullptr;
}  // namespace

void AddListener(Listener fn, void* user) { Listeners().emplace_back(fn, user); }

void RemoveListener(Listener fn, void* user) {
    auto& l = Listeners();
    l.erase(std::remove(l.begin(), l.end(), std::make_pair(fn, user)), l.end());
}

void NotifyFramePresented() {
    uint64_t index = g_presented++;
    // By index, without a per-frame copy: a listener may remove itself.
    auto& list = Listeners();
    for (size_t i = 0; i < list.size(); ++i) {
        const auto [fn, user] = list[i];
        fn(user, index);
        if (i < list.size() && list[i] != std::make_pair(fn, user)) --i;
    }
}

uint64_t FramesPresented() { return g_presented; }

void SetFrameListener(FrameListener fn, void* user) {
    g_frameListener = fn;
    g_frameUser = user;
}

void NotifyFrame(const FrameView& frame) {
    if (g_frameListener) g_frameListener(g_frameUser, g_presented, frame);
}

void SetAudioSink(const AudioSink* sink) { g_sink = sink; }
const AudioSink* CurrentAudioSink() { return g_sink; }

}  // namespace sombrella::present
