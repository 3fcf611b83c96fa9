// Display and device set-up against recording fakes: call orders, values,
// fallback orders, the depth format search and every failure message.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "device/display.h"
#include "fakes/fakes.h"

using namespace sombrella::fakes;

namespace {

FakeWorld* g_world = nullptr;
HRESULT g_createResult = DD_OK;
std::function<void(FakeDirectDraw&)> g_onCreate;

HWND TestWindow() { return reinterpret_cast<HWND>(0x1234); }

uint32_t Bits(float f) {
    uint32_t u;
    std::memcpy(&u, &f, 4);
    return u;
}

}  // namespace

// The platform entry point, answered by the fake world.
HRESULT WINAPI DirectDrawCreateEx(GUID* guid, LPVOID* out, REFIID iid, IUnknown* outer) {
    EXPECT_EQ(guid, nullptr);
    EXPECT_TRUE(iid == IID_IDirectDraw7);
    EXPECT_EQ(outer, nullptr);
    if (g_createResult != DD_OK) return g_createResult;
    FakeDirectDraw* dd = g_world->CreateDirectDraw();
    if (g_onCreate) g_onCreate(*dd);
    *out = static_cast<IDirectDraw7*>(dd);
    return DD_OK;
}

class DisplayTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_world = &world;
        g_createResult = DD_OK;
        g_onCreate = nullptr;
        g_directDraw = nullptr;
        g_primarySurface = g_backBuffer = g_depthSurface = nullptr;
        g_direct3D = nullptr;
        g_device = nullptr;
        g_startupMessage = nullptr;
        g_depthFormatFound = 0;
        g_depthDeviceKind = 0;
    }
    FakeDirectDraw* DD() { return static_cast<FakeDirectDraw*>(g_directDraw); }
    FakeDevice* Device() { return static_cast<FakeDevice*>(g_device); }
    const DDSURFACEDESC2& DepthRequest() { return DD()->createRequests.back(); }
    void Start() {
        ASSERT_EQ(InitDisplay(TestWindow()), 1);
        ASSERT_EQ(InitDevice(), 1);
    }

    FakeWorld world;
};

TEST_F(DisplayTest, DisplayTakesTheScreenAndBuildsTheFlipChain) {
    ASSERT_EQ(InitDisplay(TestWindow()), 1);
    EXPECT_EQ(DD()->cooperativeWindow, TestWindow());
    EXPECT_EQ(DD()->cooperativeFlags, 0x13u);
    EXPECT_EQ(DD()->modeWidth, 640u);
    EXPECT_EQ(DD()->modeHeight, 480u);
    EXPECT_EQ(DD()->modeBpp, 16u);
    const DDSURFACEDESC2& primary = DD()->createRequests.at(0);
    EXPECT_EQ(primary.dwSize, sizeof(DDSURFACEDESC2));
    EXPECT_EQ(primary.dwFlags, 0x21u);
    EXPECT_EQ(primary.dwBackBufferCount, 1u);
    EXPECT_EQ(primary.ddsCaps.dwCaps, 0x2218u);
    ASSERT_NE(g_backBuffer, nullptr);
    EXPECT_NE(g_backBuffer, g_primarySurface);
    EXPECT_TRUE(AsFake(g_backBuffer)->desc.ddsCaps.dwCaps & DDSCAPS_BACKBUFFER);
    EXPECT_EQ(g_startupMessage, nullptr);
}

TEST_F(DisplayTest, EveryDisplayFailureRecordsItsMessage) {
    g_createResult = E_FAIL;
    EXPECT_EQ(InitDisplay(TestWindow()), 0);
    EXPECT_STREQ(g_startupMessage, "DirectDrawCreate FAILED");

    const std::pair<const char*, const char*> cases[] = {
        {"SetCooperativeLevel", "SetCooperativeLevel FAILED"},
        {"SetDisplayMode", "Error Setting Display Mode"},
        {"CreateSurface", "CreateSurface FAILED"},
    };
    for (const auto& [method, message] : cases) {
        SetUp();
        g_onCreate = [m = std::string(method)](FakeDirectDraw& dd) { dd.FailAlways(m, E_FAIL); };
        EXPECT_EQ(InitDisplay(TestWindow()), 0) << method;
        EXPECT_STREQ(g_startupMessage, message) << method;
        EXPECT_NE(g_directDraw, nullptr) << "objects made before a failure stay for the release";
    }

    SetUp();
    world.onSurfaceCreated = [](FakeSurface& s) { s.FailAlways("GetAttachedSurface", DDERR_NOTFOUND); };
    EXPECT_EQ(InitDisplay(TestWindow()), 0);
    EXPECT_STREQ(g_startupMessage, "CreateSurface FAILED");
}

TEST_F(DisplayTest, DeviceSetsViewportProjectionAndFixedStates) {
    Start();
    ASSERT_NE(Device(), nullptr);
    EXPECT_EQ(Device()->viewport.dwX, 0u);
    EXPECT_EQ(Device()->viewport.dwWidth, 640u);
    EXPECT_EQ(Device()->viewport.dwHeight, 480u);
    EXPECT_EQ(Device()->viewport.dvMinZ, 0.0f);
    EXPECT_EQ(Device()->viewport.dvMaxZ, 1.0f);
    const D3DMATRIX p = Device()->transforms[D3DTRANSFORMSTATE_PROJECTION];
    EXPECT_FLOAT_EQ(p._11, 3.1528413f);
    EXPECT_FLOAT_EQ(p._22, 2.3652225f);
    EXPECT_FLOAT_EQ(p._33, 1.0050251f);
    EXPECT_EQ(p._34, 1.0f);
    EXPECT_FLOAT_EQ(p._43, -10.050251f);
    EXPECT_EQ(p._44, 0.0f);
    EXPECT_EQ(Device()->renderStates[D3DRENDERSTATE_AMBIENT], 0x19191919u);
    EXPECT_EQ(Device()->renderStates[D3DRENDERSTATE_ZENABLE], 1u);
    EXPECT_EQ((Device()->stageStates[{0, D3DTSS_MAGFILTER}]), static_cast<DWORD>(D3DTFG_LINEAR));
    EXPECT_EQ(world.log.Filter({"SetViewport", "SetTransform", "SetRenderState", "SetTextureStageState"}),
              (std::vector<std::string>{"SetViewport(0,0,640,480,0,1)", world.log.Filter({"SetTransform"}).at(0),
                                        "SetRenderState(139,421075225)", "SetTextureStageState(0,16,2)",
                                        "SetRenderState(7,1)"}));
}

TEST_F(DisplayTest, StencilFormatsArePassedOverAndTheFirstPlainOneIsTaken) {
    world.SetZBufferFormats(IID_IDirect3DTnLHalDevice,
                            {FormatZ(24, DDPF_STENCILBUFFER, 8), FormatZ(16), FormatZ(32)});
    Start();
    EXPECT_EQ(g_depthDeviceKind, 1);
    EXPECT_EQ(DepthRequest().ddpfPixelFormat.dwZBufferBitDepth, 16u);
    EXPECT_EQ(DepthRequest().ddpfPixelFormat.dwFlags, static_cast<DWORD>(DDPF_ZBUFFER));
    EXPECT_EQ(DepthRequest().ddsCaps.dwCaps, 0x24000u);
    EXPECT_EQ(DepthRequest().dwFlags, 0x1007u);
    EXPECT_EQ(DepthRequest().dwWidth, 640u);
    EXPECT_EQ(DepthRequest().dwHeight, 480u);
}

TEST_F(DisplayTest, OnlyStencilFormatsLeaveKindZeroInVideoMemory) {
    for (const GUID* type : {&IID_IDirect3DTnLHalDevice, &IID_IDirect3DHALDevice, &IID_IDirect3DMMXDevice,
                             &IID_IDirect3DRGBDevice})
        world.SetZBufferFormats(*type, {FormatZ(24, DDPF_STENCILBUFFER, 8), FormatZ(32, DDPF_STENCILBUFFER, 8)});
    Start();
    EXPECT_EQ(g_depthDeviceKind, 0);
    EXPECT_EQ(g_depthFormatFound, 0u);
    EXPECT_EQ(DepthRequest().ddsCaps.dwCaps, 0x24000u);
    EXPECT_EQ(DepthRequest().ddpfPixelFormat.dwFlags, static_cast<DWORD>(DDPF_ZBUFFER));
    EXPECT_EQ(DepthRequest().ddpfPixelFormat.dwZBufferBitDepth, 0u);
    // Each type was asked once, in the fixed order.
    EXPECT_EQ(world.log.Count("EnumZBufferFormats"), 4u);
}

TEST_F(DisplayTest, DepthFoundForHalWhileOnlyMmxCreates) {
    world.SetZBufferFormats(IID_IDirect3DTnLHalDevice, {});
    world.SetZBufferFormats(IID_IDirect3DHALDevice, {FormatZ(24)});
    world.FailCreateDevice(IID_IDirect3DTnLHalDevice, E_FAIL);
    world.FailCreateDevice(IID_IDirect3DHALDevice, E_FAIL);
    Start();
    EXPECT_EQ(g_depthDeviceKind, 2);
    EXPECT_EQ(DepthRequest().ddsCaps.dwCaps, 0x24000u);
    EXPECT_TRUE(Device()->type == IID_IDirect3DMMXDevice);
    EXPECT_EQ(Device()->target, AsFake(g_backBuffer));
    EXPECT_EQ(world.log.Filter({"CreateDevice"}).size(), 3u);
    // The depth surface hangs on the back buffer the device renders into.
    ASSERT_EQ(AsFake(g_backBuffer)->attached.size(), 1u);
    EXPECT_EQ(AsFake(g_backBuffer)->attached[0], AsFake(g_depthSurface));
}

TEST_F(DisplayTest, DepthOnlyForRgbGoesToSystemMemory) {
    world.SetZBufferFormats(IID_IDirect3DTnLHalDevice, {});
    world.SetZBufferFormats(IID_IDirect3DHALDevice, {});
    world.SetZBufferFormats(IID_IDirect3DMMXDevice, {FormatZ(16, DDPF_STENCILBUFFER, 1)});
    world.SetZBufferFormats(IID_IDirect3DRGBDevice, {FormatZ(32)});
    Start();
    EXPECT_EQ(g_depthDeviceKind, 4);
    EXPECT_EQ(DepthRequest().ddsCaps.dwCaps, 0x20800u);
    EXPECT_EQ(DepthRequest().ddpfPixelFormat.dwZBufferBitDepth, 32u);
}

TEST_F(DisplayTest, DeviceFailuresAndTheSilentDepthFailure) {
    ASSERT_EQ(InitDisplay(TestWindow()), 1);
    DD()->FailAlways("QueryInterface", E_NOINTERFACE);
    EXPECT_EQ(InitDevice(), 0);
    EXPECT_STREQ(g_startupMessage, "QueryInterface FAILED");

    SetUp();
    ASSERT_EQ(InitDisplay(TestWindow()), 1);
    DD()->FailAlways("CreateSurface", DDERR_OUTOFMEMORY);
    EXPECT_EQ(InitDevice(), 0);
    EXPECT_EQ(g_startupMessage, nullptr) << "no message for the depth surface";

    SetUp();
    for (const GUID* type : {&IID_IDirect3DTnLHalDevice, &IID_IDirect3DHALDevice, &IID_IDirect3DMMXDevice,
                             &IID_IDirect3DRGBDevice})
        world.FailCreateDevice(*type, E_FAIL);
    ASSERT_EQ(InitDisplay(TestWindow()), 1);
    EXPECT_EQ(InitDevice(), 0);
    EXPECT_STREQ(g_startupMessage, "Device Creation Failed");
    EXPECT_EQ(world.log.Filter({"CreateDevice"}).size(), 4u);
}

TEST_F(DisplayTest, ViewportFailure) {
    world.onDeviceCreated = [](FakeDevice& d) { d.FailAlways("SetViewport", E_FAIL); };
    ASSERT_EQ(InitDisplay(TestWindow()), 1);
    EXPECT_EQ(InitDevice(), 0);
    EXPECT_STREQ(g_startupMessage, "Viewport settings failed");
}

TEST_F(DisplayTest, EnumCallbackRules) {
    DDPIXELFORMAT wanted{};
    wanted.dwSize = 32;
    wanted.dwFlags = DDPF_ZBUFFER;
    DDPIXELFORMAT stencil = FormatZ(24, DDPF_STENCILBUFFER, 8);
    EXPECT_EQ(EnumDepthFormatCallback(nullptr, &wanted), D3DENUMRET_CANCEL);
    EXPECT_EQ(EnumDepthFormatCallback(&stencil, nullptr), D3DENUMRET_CANCEL);
    EXPECT_EQ(EnumDepthFormatCallback(&stencil, &wanted), D3DENUMRET_OK);
    EXPECT_EQ(g_depthFormatFound, 0u);
    DDPIXELFORMAT plain = FormatZ(24);
    EXPECT_EQ(EnumDepthFormatCallback(&plain, &wanted), D3DENUMRET_CANCEL);
    EXPECT_EQ(g_depthFormatFound, 1u);
    EXPECT_EQ(std::memcmp(&plain, &wanted, sizeof(plain)), 0);
    EXPECT_EQ(Bits(0.8f), 0x3F4CCCCDu);
    EXPECT_EQ(Bits(1.333f), 0x3FAA9FBEu);
}
