#include "d3d/raster/simd.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace sombrella::d3d::raster {
namespace {

std::vector<std::string> Available() {
    std::istringstream in(AvailableSimdTargets());
    std::vector<std::string> names;
    for (std::string n; in >> n;) names.push_back(n);
    return names;
}

TEST(SimdTarget, ForcingSwitchesAndRestores) {
    const std::string best = ActiveSimdTarget();
    const std::vector<std::string> names = Available();
    ASSERT_FALSE(names.empty());
    EXPECT_EQ(names.front(), best);
    for (const std::string& n : names) {
        ASSERT_TRUE(ForceSimdTarget(n.c_str())) << n;
        EXPECT_EQ(ActiveSimdTarget(), n);
        // Forcing one target must not hide the others.
        EXPECT_EQ(Available(), names);
    }
    EXPECT_FALSE(ForceSimdTarget("NO_SUCH_TARGET"));
    EXPECT_FALSE(ForceSimdTarget(""));
    EXPECT_EQ(ActiveSimdTarget(), names.back());  // a refused name changes nothing
    EXPECT_TRUE(ForceSimdTarget("best"));
    EXPECT_EQ(ActiveSimdTarget(), best);
    ASSERT_TRUE(ForceSimdTarget(names.back().c_str()));
    EXPECT_TRUE(ForceSimdTarget(nullptr));
    EXPECT_EQ(ActiveSimdTarget(), best);
}

}  // namespace
}  // namespace sombrella::d3d::raster
