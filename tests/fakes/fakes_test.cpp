#include <gtest/gtest.h>

#include "fakes/fakes.h"

using namespace sombrella::fakes;

TEST(Fakes, FlipChainAndDeviceReleaseInOrderLeaveNothingOutstanding) {
    FakeWorld w;
    FakeDirectDraw* dd = w.CreateDirectDraw();
    DDSURFACEDESC2 d{};
    d.dwSize = sizeof d;
    d.dwFlags = DDSD_CAPS | DDSD_BACKBUFFERCOUNT;
    d.dwBackBufferCount = 1;
    d.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX | DDSCAPS_3DDEVICE;
    LPDIRECTDRAWSURFACE7 primary = nullptr, back = nullptr;
    ASSERT_EQ(dd->CreateSurface(&d, &primary, nullptr), DD_OK);
    DDSCAPS2 caps{DDSCAPS_BACKBUFFER, 0, 0, 0};
    ASSERT_EQ(primary->GetAttachedSurface(&caps, &back), DD_OK);
    EXPECT_EQ(AsFake(back)->Width(), 640u);
    void* p = nullptr;
    ASSERT_EQ(dd->QueryInterface(IID_IDirect3D7, &p), S_OK);
    auto* d3d = static_cast<IDirect3D7*>(p);
    LPDIRECT3DDEVICE7 dev = nullptr;
    w.FailCreateDevice(IID_IDirect3DTnLHalDevice, E_FAIL);
    EXPECT_EQ(d3d->CreateDevice(IID_IDirect3DTnLHalDevice, back, &dev), E_FAIL);
    EXPECT_EQ(dev, nullptr);
    ASSERT_EQ(d3d->CreateDevice(IID_IDirect3DHALDevice, back, &dev), D3D_OK);
    back->Release();
    dev->Release();
    d3d->Release();
    primary->Release();
    dd->Release();
    EXPECT_TRUE(w.Unbalanced().empty()) << ::testing::PrintToString(w.Unbalanced());
    for (const auto& o : w.Objects()) EXPECT_TRUE(o->Destroyed()) << o->Label();
    EXPECT_TRUE(w.log.errors.empty()) << w.log.Dump();
    EXPECT_EQ(w.log.Filter({"CreateDevice"}),
              (std::vector<std::string>{"CreateDevice(TnLHal,surface#2)", "CreateDevice(HAL,surface#2)"}));
}

TEST(Fakes, OverReleaseAndUseAfterReleaseAreReported) {
    FakeWorld w;
    auto set = w.CreateDeviceSet(IID_IDirect3DRGBDevice);
    set.device->Release();
    set.device->Release();
    EXPECT_FALSE(w.log.errors.empty());
    EXPECT_EQ(set.device->ReleaseCalls(), 2);
}

TEST(Fakes, StateReadsBackAndTexturesAreHeld) {
    FakeWorld w;
    auto set = w.CreateDeviceSet(IID_IDirect3DHALDevice);
    IDirect3DDevice7* dev = set.device;
    D3DMATRIX m = IdentityMatrix();
    m._41 = 5;
    dev->SetTransform(D3DTRANSFORMSTATE_WORLD, &m);
    D3DMATRIX back{};
    dev->GetTransform(D3DTRANSFORMSTATE_WORLD, &back);
    EXPECT_TRUE(SameMatrix(m, back));
    dev->SetRenderState(D3DRENDERSTATE_LIGHTING, 0);
    DWORD v = 9;
    dev->GetRenderState(D3DRENDERSTATE_LIGHTING, &v);
    EXPECT_EQ(v, 0u);
    D3DLIGHT7 l{};
    l.dltType = D3DLIGHT_POINT;
    l.dvRange = 7;
    dev->SetLight(2, &l);
    D3DLIGHT7 lb{};
    EXPECT_EQ(dev->GetLight(2, &lb), D3D_OK);
    EXPECT_EQ(lb.dvRange, 7.0f);
    EXPECT_NE(dev->GetLight(3, &lb), D3D_OK);

    dev->SetTexture(0, set.target);
    LPDIRECTDRAWSURFACE7 t = nullptr;
    dev->GetTexture(0, &t);
    EXPECT_EQ(t, static_cast<IDirectDrawSurface7*>(set.target));
    EXPECT_EQ(set.target->Outstanding(), 2);
    t->Release();
    WORD idx[3] = {0, 1, 2};
    float verts[3 * 8] = {};
    dev->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1, verts, 3, idx, 3, 0);
    ASSERT_EQ(set.device->draws.size(), 1u);
    EXPECT_EQ(set.device->draws[0].stride, 32u);
    EXPECT_EQ(set.device->draws[0].world._41, 5.0f);
    EXPECT_EQ(set.device->draws[0].texture0, static_cast<IDirectDrawSurface7*>(set.target));
    EXPECT_EQ(w.log.Lines()[0], "SetTransform(1,1,0,0,0,0,1,0,0,0,0,1,0,5,0,0,1)");
    EXPECT_EQ(w.log.IndexOf("SetRenderState(137,0)"), 2);

    set.device->Release();
    set.d3d->Release();
    set.target->Release();
    set.ddraw->Release();
    EXPECT_TRUE(set.target->Destroyed());
    EXPECT_TRUE(w.Unbalanced().empty());
    EXPECT_TRUE(w.log.errors.empty()) << w.log.Dump();
}

static HRESULT CALLBACK TakeSecond(LPDDPIXELFORMAT f, LPVOID ctx) {
    auto* n = static_cast<int*>(ctx);
    return ++*n == 2 ? D3DENUMRET_CANCEL : D3DENUMRET_OK;
    (void)f;
}

TEST(Fakes, EnumerationsStopWhenTheCallbackSaysSoAndNthFailuresHit) {
    FakeWorld w;
    w.SetZBufferFormats(IID_IDirect3DMMXDevice, {FormatZ(24, DDPF_STENCILBUFFER, 8), FormatZ(16), FormatZ(32)});
    auto set = w.CreateDeviceSet(IID_IDirect3DMMXDevice);
    int n = 0;
    set.d3d->EnumZBufferFormats(IID_IDirect3DMMXDevice, TakeSecond, &n);
    EXPECT_EQ(n, 2);
    set.ddraw->FailNth("CreateSurface", 2, DDERR_OUTOFMEMORY);
    DDSURFACEDESC2 d{};
    d.dwSize = sizeof d;
    d.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT;
    d.dwWidth = d.dwHeight = 4;
    LPDIRECTDRAWSURFACE7 s = nullptr;
    // CreateDeviceSet made the first one.
    EXPECT_EQ(set.ddraw->CreateSurface(&d, &s, nullptr), DDERR_OUTOFMEMORY);
    EXPECT_EQ(set.ddraw->CreateSurface(&d, &s, nullptr), DD_OK);
    DDSURFACEDESC2 l{};
    l.dwSize = sizeof l;
    ASSERT_EQ(s->Lock(nullptr, &l, DDLOCK_WAIT, nullptr), DD_OK);
    static_cast<uint16_t*>(l.lpSurface)[l.lPitch / 2 + 1] = 0xBEEF;
    s->Unlock(nullptr);
    EXPECT_EQ(AsFake(s)->PixelAt(1, 1), 0xBEEFu);
    s->Release();
}
