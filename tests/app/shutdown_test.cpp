// The release routine: order, exactly-once releases, the message, idempotence.
#include <gtest/gtest.h>

#include "app/box.h"
#include "app/content.h"
#include "app/shell.h"
#include "device/display.h"
#include "fakes/fakes.h"
#include "scene/scene_file.h"

using namespace sombrella::fakes;

TEST(ShutDown, ReleasesInOrderExactlyOnceAndOnlyOnce) {
    FakeWorld world;
    auto set = world.CreateDeviceSet(IID_IDirect3DRGBDevice);
    // The device set's render target stands in for the primary surface.
    g_directDraw = set.ddraw;
    g_primarySurface = set.target;
    g_direct3D = set.d3d;
    g_device = set.device;
    g_scene = new SceneFile();
    g_box = new BoxPrimitive(0, 0, 0, 1, 1, 1);
    g_startupMessage = nullptr;
    world.log.Clear();

    ShutDown();
    std::vector<std::string> releasers;
    for (const auto& r : world.log.Records())
        if (r.method == "Release") releasers.push_back(r.object);
    ASSERT_EQ(releasers.size(), 4u) << world.log.Dump();
    EXPECT_EQ(releasers[0], set.device->Label());
    EXPECT_EQ(releasers[1], set.d3d->Label());
    EXPECT_EQ(releasers[2], set.target->Label());
    EXPECT_EQ(releasers[3], set.ddraw->Label());
    EXPECT_EQ(g_scene, nullptr);
    EXPECT_EQ(g_box, nullptr);
    EXPECT_EQ(g_device, nullptr);
    EXPECT_EQ(g_directDraw, nullptr);
    EXPECT_TRUE(world.Unbalanced().empty());
    EXPECT_TRUE(world.log.errors.empty());

    world.log.Clear();
    ShutDown();
    EXPECT_TRUE(world.log.Records().empty());
}

TEST(ShutDown, ShowsTheRecordedMessageOnceAndClearsIt) {
    g_startupMessage = "Device Creation Failed";
    testing::internal::CaptureStderr();
    ShutDown();
    ShutDown();
    const std::string err = testing::internal::GetCapturedStderr();
    // Once, whatever else the environment's libraries print.
    const std::string line = "Tiro el Sombrella: Device Creation Failed\n";
    const size_t first = err.find(line);
    EXPECT_NE(first, std::string::npos) << err;
    EXPECT_EQ(err.find(line, first + 1), std::string::npos) << err;
    EXPECT_EQ(g_startupMessage, nullptr);
}

TEST(WindowProcedure, OtherKeysAndTimersAreSwallowed) {
    // No window exists: anything that tried to destroy one would fail quietly,
    // and nothing may be posted or shut down.
    g_startupMessage = nullptr;
    EXPECT_EQ(DemoWndProc(nullptr, WM_KEYDOWN, 'A', 0), 0);
    EXPECT_EQ(DemoWndProc(nullptr, WM_TIMER, 99, 0), 0);
    MSG msg{};
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
}
