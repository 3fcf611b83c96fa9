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
}  // namespace

void AddListener(Listener fn, void* user) { Listeners().emplace_back(fn, user); }

void RemoveListener(Listener fn, void* user) {
    auto& l = Listeners();
    l.erase(std::remove(l.begin(), l.end(), std::make_pair(fn, user)), l.end());
}

void NotifyFramePresented() {
    uint64_t index = g_presented++;
    // Copy: a listener may remove itself (e.g. the synthetic quit key).
    auto snapshot = Listeners();
    for (auto& [fn, user] : snapshot) fn(user, index);
}

uint64_t FramesPresented() { return g_presented; }

}  // namespace sombrella::present
