// The frame routine and light animation against a recording fake device.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "app/content.h"
#include "app/frame.h"
#include "app/shell.h"
#include "common/present_hooks.h"
#include "device/display.h"
#include "fakes/fakes.h"
#include "scene/scene_file.h"
#include "util/matrix.h"

using namespace sombrella::fakes;

namespace {

uint32_t Bits(float f) {
    uint32_t u;
    std::memcpy(&u, &f, 4);
    return u;
}

LPDIRECTDRAWSURFACE7 MakeSurface(FakeDirectDraw* dd, DWORD caps, DDPIXELFORMAT format) {
    DDSURFACEDESC2 desc{};
    desc.dwSize = sizeof desc;
    desc.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT;
    desc.dwWidth = 64;
    desc.dwHeight = 64;
    desc.ddpfPixelFormat = format;
    desc.ddsCaps.dwCaps = caps;
    LPDIRECTDRAWSURFACE7 s = nullptr;
    dd->CreateSurface(&desc, &s, nullptr);
    return s;
}

class FrameTest : public ::testing::Test {
protected:
    void SetUp() override {
        set = world.CreateDeviceSet(IID_IDirect3DRGBDevice);
        g_device = set.device;
        g_primarySurface = set.target;
        g_backBuffer = MakeSurface(set.ddraw, DDSCAPS_BACKBUFFER, FormatRgb565());
        g_depthSurface = MakeSurface(set.ddraw, DDSCAPS_ZBUFFER, FormatZ(16));
        g_demoTexture = MakeSurface(set.ddraw, DDSCAPS_TEXTURE, FormatRgb565());
        g_scene = nullptr;
        g_orbitRate = 0.0f;
        g_orbitAngle = 3.14159265f;
        world.log.Clear();
    }
    void TearDown() override {
        delete g_scene;
        g_scene = nullptr;
        g_device = nullptr;
        g_primarySurface = g_backBuffer = g_depthSurface = g_demoTexture = nullptr;
    }
    FakeDevice* Device() { return set.device; }

    FakeWorld world;
    FakeWorld::DeviceSet set{};
};

TEST_F(FrameTest, FirstFrameLooksFromTheNegativeZSide) {
    RenderFrame(0.7f);
    Matrix4 expected;
    MakeLookAt(expected, Vector3(std::sin(3.14159265f) * 800.0f, 350.0f, std::cos(3.14159265f) * 800.0f),
               Vector3(0, 0, 0), Vector3(0, 1, 0));
    const D3DMATRIX view = Device()->transforms[D3DTRANSFORMSTATE_VIEW];
    EXPECT_EQ(std::memcmp(&view, &expected, sizeof(view)), 0);
    EXPECT_NEAR(std::sin(g_orbitAngle) * 800.0f, -0.00006993822f, 1e-9f);
    EXPECT_EQ(Bits(g_orbitAngle), 0x40490FDBu);
}

TEST_F(FrameTest, CallsComeInTheFrameOrder) {
    RenderFrame(0.0f);
    const auto calls = world.log.Filter({"IsLost", "SetTransform", "Clear", "SetTexture", "BeginScene", "GetLight",
                                         "SetLight", "EndScene", "Flip"});
    ASSERT_EQ(calls.size(), 14u) << world.log.Dump();
    EXPECT_EQ(calls[0].rfind("IsLost", 0), 0u);
    EXPECT_EQ(calls[3].rfind("IsLost", 0), 0u);
    EXPECT_EQ(calls[4].rfind("SetTransform(2", 0), 0u);
    EXPECT_EQ(calls[5], "Clear(0,3,0,1,0)");
    EXPECT_EQ(calls[6].rfind("SetTexture(0", 0), 0u);
    EXPECT_EQ(calls[7], "BeginScene()");
    EXPECT_EQ(calls[8].rfind("GetLight(0", 0), 0u);
    EXPECT_EQ(calls[9].rfind("SetLight(0", 0), 0u);
    EXPECT_EQ(calls[10].rfind("GetLight(1", 0), 0u);
    EXPECT_EQ(calls[11].rfind("SetLight(1", 0), 0u);
    EXPECT_EQ(calls[12], "EndScene()");
    EXPECT_EQ(calls[13].rfind("Flip(", 0), 0u);
    EXPECT_EQ(AsFake(g_primarySurface)->flips, 1);
    // The light checks ran on the four surfaces in order.
    const auto lost = world.log.Filter({"IsLost"});
    EXPECT_EQ(world.log.Records()[world.log.IndexOf("IsLost")].object, AsFake(g_primarySurface)->Label());
    EXPECT_EQ(lost.size(), 4u);
}

TEST_F(FrameTest, LostSurfacesAreRestored) {
    AsFake(g_backBuffer)->lost = true;
    AsFake(g_demoTexture)->lost = true;
    RenderFrame(0.0f);
    EXPECT_EQ(AsFake(g_backBuffer)->Calls("Restore"), 1);
    EXPECT_EQ(AsFake(g_demoTexture)->Calls("Restore"), 1);
    EXPECT_EQ(AsFake(g_primarySurface)->Calls("Restore"), 0);
}

TEST_F(FrameTest, FailedBeginSceneStillClearsAndFlips) {
    Device()->FailNth("BeginScene", 1, D3DERR_SCENE_BEGIN_FAILED);
    RenderFrame(0.0f);
    EXPECT_EQ(world.log.Count("Clear"), 1u);
    EXPECT_EQ(world.log.Count("GetLight"), 0u);
    EXPECT_EQ(world.log.Count("EndScene"), 0u);
    EXPECT_EQ(AsFake(g_primarySurface)->flips, 1);
}

TEST_F(FrameTest, OrbitTurnsByRateTimesSeconds) {
    g_orbitAngle = 0.0f;
    g_orbitRate = -0.1f;
    RenderFrame(0.5f);
    EXPECT_FLOAT_EQ(g_orbitAngle, -0.05f);
}

TEST_F(FrameTest, SceneIsDrawnUnderTheWorldTranslationThenReset) {
    g_scene = new SceneFile();
    RenderFrame(0.0f);
    const auto sets = world.log.Filter({"SetTransform"});
    ASSERT_EQ(sets.size(), 3u) << world.log.Dump();
    EXPECT_EQ(sets[1].rfind("SetTransform(1", 0), 0u);
    EXPECT_TRUE(SameMatrix(Device()->transforms[D3DTRANSFORMSTATE_WORLD], IdentityMatrix()));
}

TEST_F(FrameTest, NoSceneAndNoTextureStillMakeAFrame) {
    AsFake(g_demoTexture)->Release();
    g_demoTexture = nullptr;
    RenderFrame(0.0f);
    EXPECT_EQ(world.log.Count("SetTransform"), 1u);
    EXPECT_EQ(world.log.Filter({"SetTexture"}), (std::vector<std::string>{"SetTexture(0,null)"}));
    EXPECT_EQ(AsFake(g_primarySurface)->flips, 1);
}

TEST_F(FrameTest, LightsMoveOnTheirOwnMillisecondClock) {
    AnimateLights();  // starts the clock if no frame did
    g_lightPhase[0] = 0.0f;
    sombrella::present::NotifyFramePresented();  // one step of the 1 Hz virtual clock: 1000 ms
    AnimateLights();
    EXPECT_EQ(Bits(g_lightPhase[0]), Bits(0.78500009f));
    D3DLIGHT7 light{};
    Device()->GetLight(0, &light);
    EXPECT_FLOAT_EQ(light.dvPosition.x, std::cos(g_lightPhase[0]) * 150.0f);
    EXPECT_EQ(light.dvPosition.y, 200.0f);
    EXPECT_FLOAT_EQ(light.dvPosition.z, std::sin(g_lightPhase[0]) * 150.0f);
}

}  // namespace

int main(int argc, char** argv) {
    // The clocks follow presented frames at 1 step per second, so a test
    // controls the milliseconds the lights see.
    setenv("SOMBRELLA_FIXED_STEP_HZ", "1", 1);
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
