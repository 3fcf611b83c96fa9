// Lights, the light toggle and the box: exact records and layouts.
#include <gtest/gtest.h>

#include <cstring>

#include "app/box.h"
#include "app/content.h"
#include "device/display.h"
#include "fakes/fakes.h"

using namespace sombrella::fakes;

namespace {

uint32_t Bits(float f) {
    uint32_t u;
    std::memcpy(&u, &f, 4);
    return u;
}

class LightsTest : public ::testing::Test {
protected:
    void SetUp() override {
        set = world.CreateDeviceSet(IID_IDirect3DRGBDevice);
        g_device = set.device;
    }
    void TearDown() override { g_device = nullptr; }
    D3DLIGHT7 Light(DWORD i) { return set.device->lights.at(i); }

    FakeWorld world;
    FakeWorld::DeviceSet set{};
};

TEST_F(LightsTest, OnlyTheDirectionalLightEndsUpEnabled) {
    InitLights();
    const auto order = world.log.Filter({"SetRenderState", "LightEnable", "SetLight", "GetLightEnable"});
    BOOL on = TRUE;
    set.device->GetLightEnable(0, &on);
    EXPECT_FALSE(on);
    set.device->GetLightEnable(1, &on);
    EXPECT_FALSE(on);
    set.device->GetLightEnable(2, &on);
    EXPECT_TRUE(on);
    EXPECT_EQ(set.device->renderStates[D3DRENDERSTATE_LIGHTING], 1u);
    ASSERT_EQ(order.size(), 9u);
    EXPECT_EQ(order, (std::vector<std::string>{"SetRenderState(137,1)", "LightEnable(0,0)", "LightEnable(1,0)",
                                               "LightEnable(2,0)", order[4], order[5], order[6],
                                               "GetLightEnable(2)", "LightEnable(2,1)"}));
}

TEST_F(LightsTest, RecordsAreExact) {
    InitLights();
    const D3DLIGHT7 point = Light(0), spot = Light(1), sun = Light(2);
    EXPECT_EQ(point.dltType, D3DLIGHT_POINT);
    EXPECT_EQ(Bits(point.dcvDiffuse.r), 0x3F4CCCCDu);
    EXPECT_EQ(Bits(point.dcvDiffuse.g), 0x3E4CCCCDu);
    EXPECT_EQ(Bits(point.dvRange), 0x5F7FFFFFu);
    EXPECT_EQ(point.dvAttenuation0, 1.0f);
    EXPECT_EQ(point.dvPosition.y, 200.0f);

    EXPECT_EQ(spot.dltType, D3DLIGHT_SPOT);
    EXPECT_EQ(spot.dvDirection.y, -1.0f);
    EXPECT_EQ(Bits(spot.dvTheta), 0x3F85F92Du);
    EXPECT_EQ(Bits(spot.dvPhi), 0x4005F92Du);
    EXPECT_EQ(spot.dvFalloff, 1.0f);
    EXPECT_EQ(Bits(spot.dvRange), 0x5F7FFFFFu);

    EXPECT_EQ(sun.dltType, D3DLIGHT_DIRECTIONAL);
    EXPECT_EQ(Bits(sun.dcvDiffuse.b), 0x3FF33333u);
    EXPECT_EQ(Bits(sun.dcvAmbient.r), 0x3F666666u);
    EXPECT_EQ(sun.dcvAmbient.b, 0.5f);
    EXPECT_EQ(sun.dvDirection.x, 0.2f);
    EXPECT_EQ(sun.dvDirection.y, -1.0f);
    EXPECT_EQ(sun.dvDirection.z, 0.5f);
    EXPECT_EQ(sun.dvRange, 0.0f);
    EXPECT_EQ(sun.dvAttenuation0, 0.0f);
    for (const D3DLIGHT7& l : {point, spot, sun}) {
        EXPECT_EQ(l.dcvSpecular.r, 1.0f);
        EXPECT_EQ(l.dcvSpecular.a, 0.0f);
    }
}

TEST_F(LightsTest, ToggleFlipsAndAnUnknownLightTurnsOn) {
    ToggleLight(5);
    BOOL on = FALSE;
    set.device->GetLightEnable(5, &on);
    EXPECT_TRUE(on);
    ToggleLight(5);
    set.device->GetLightEnable(5, &on);
    EXPECT_FALSE(on);
}

TEST(Box, VerticesFollowTheCornerTable) {
    BoxPrimitive box(0, 0, 0, 1, 1, 1);
    const Vertex& v0 = box.vertices[0];
    EXPECT_EQ(v0.x, 0.0f);
    EXPECT_EQ(v0.nz, -1.0f);
    const Vertex& v7 = box.vertices[7];
    EXPECT_EQ(v7.x, 1.0f);
    EXPECT_EQ(v7.y, 1.0f);
    EXPECT_EQ(v7.z, 1.0f);
    EXPECT_EQ(v7.nx, 1.0f);
    EXPECT_EQ(v7.tu, 2.0f);
    EXPECT_EQ(v7.tv, 2.0f);
    const Vertex& v23 = box.vertices[23];
    EXPECT_EQ(v23.x, 1.0f);
    EXPECT_EQ(v23.y, 0.0f);
    EXPECT_EQ(v23.z, 0.0f);
    EXPECT_EQ(v23.ny, -1.0f);
    EXPECT_EQ(v23.tu, 1.0f);
    // Side faces run tu 0 -> 1 -> 2 -> 1 -> 0.
    const float sideTu[] = {0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 1, 1, 1, 1, 0, 0};
    for (int i = 0; i < 16; ++i) EXPECT_EQ(box.vertices[i].tu, sideTu[i]) << i;
    for (int i = 16; i < 20; ++i) EXPECT_EQ(box.vertices[i].tv, 2.0f);
    for (int i = 20; i < 24; ++i) EXPECT_EQ(box.vertices[i].tv, 0.0f);
}

TEST(Box, MaterialStartsZeroAndTakesTheDemoColours) {
    BoxPrimitive box(125, 0, 125, 50, 150, 50);
    const float* raw = reinterpret_cast<const float*>(&box.material);
    for (int i = 0; i < 17; ++i) EXPECT_EQ(raw[i], 0.0f);
    box.SetAmbientColor(1, 1, 1, 1);
    box.SetDiffuseColor(0.7f, 0.7f, 0.7f, 1.0f);
    box.SetSpecularColor(1, 1, 1, 1, 80);
    EXPECT_EQ(Bits(box.material.diffuse.r), 0x3F333333u);
    EXPECT_EQ(box.material.power, 80.0f);
    EXPECT_EQ(box.material.emissive.a, 0.0f);
    EXPECT_EQ(box.vertices[7].x, 175.0f);
    EXPECT_EQ(box.vertices[7].y, 150.0f);
}

TEST(Box, NegativeSizeIsBuiltByTheSameFormulas) {
    BoxPrimitive box(0, 0, 0, -2, -3, -4);
    EXPECT_EQ(box.vertices[7].x, -2.0f);
    EXPECT_EQ(box.vertices[7].y, -3.0f);
    EXPECT_EQ(box.vertices[7].z, -4.0f);
}

}  // namespace
