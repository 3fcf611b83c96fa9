// The Direct3D object and the device's state: enumeration orders, creation
// by type, defaults, read-back, reference counts and argument errors.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "d3d/direct3d.h"
#include "d3d_rig.h"

using namespace d3dtest;
using sombrella::ddraw::Surface;

namespace {

HRESULT CALLBACK Collect(LPDDPIXELFORMAT f, LPVOID ctx) {
    static_cast<std::vector<DDPIXELFORMAT>*>(ctx)->push_back(*f);
    return D3DENUMRET_OK;
}

HRESULT CALLBACK StopAfterFirst(LPDDPIXELFORMAT f, LPVOID ctx) {
    static_cast<std::vector<DDPIXELFORMAT>*>(ctx)->push_back(*f);
    return D3DENUMRET_CANCEL;
}

TEST(Direct3D, DepthFormatsPerDeviceType) {
    Rig rig;
    std::vector<DDPIXELFORMAT> formats;
    for (const GUID* type : {&IID_IDirect3DRGBDevice, &IID_IDirect3DMMXDevice}) {
        formats.clear();
        ASSERT_EQ(D3D_OK, rig.d3d->EnumZBufferFormats(*type, Collect, &formats));
        ASSERT_EQ(4u, formats.size());
        EXPECT_EQ((DWORD)(DDPF_ZBUFFER | DDPF_STENCILBUFFER), formats[0].dwFlags);
        EXPECT_EQ(32u, formats[0].dwZBufferBitDepth);
        EXPECT_EQ(8u, formats[0].dwStencilBitDepth);
        EXPECT_EQ((DWORD)DDPF_ZBUFFER, formats[1].dwFlags);
        EXPECT_EQ(16u, formats[1].dwZBufferBitDepth);
        EXPECT_EQ(32u, formats[2].dwZBufferBitDepth);
        EXPECT_EQ(24u, formats[3].dwZBufferBitDepth);
        for (const auto& f : formats) EXPECT_EQ(32u, f.dwSize);
    }
    formats.clear();
    EXPECT_EQ(D3D_OK, rig.d3d->EnumZBufferFormats(IID_IDirect3DRGBDevice, StopAfterFirst, &formats));
    EXPECT_EQ(1u, formats.size());
    // No hardware backend: nothing to enumerate, and an error says so.
    for (const GUID* type : {&IID_IDirect3DHALDevice, &IID_IDirect3DTnLHalDevice, &IID_IDirect3DRampDevice}) {
        formats.clear();
        EXPECT_LT(rig.d3d->EnumZBufferFormats(*type, Collect, &formats), 0);
        EXPECT_TRUE(formats.empty());
    }
    EXPECT_LT(rig.d3d->EnumZBufferFormats(IID_IDirect3DRGBDevice, nullptr, nullptr), 0);
}

TEST(Direct3D, CreateDeviceByType) {
    Rig rig;
    IDirect3DDevice7* dev = nullptr;
    EXPECT_LT(rig.d3d->CreateDevice(IID_IDirect3DTnLHalDevice, rig.target, &dev), 0);
    EXPECT_EQ(nullptr, dev);
    EXPECT_LT(rig.d3d->CreateDevice(IID_IDirect3DHALDevice, rig.target, &dev), 0);
    EXPECT_EQ(nullptr, dev);
    ASSERT_EQ(D3D_OK, rig.d3d->CreateDevice(IID_IDirect3DMMXDevice, rig.target, &dev));
    D3DDEVICEDESC7 desc;
    ASSERT_EQ(D3D_OK, dev->GetCaps(&desc));
    EXPECT_TRUE(IsEqualGUID(desc.deviceGUID, IID_IDirect3DMMXDevice));
    EXPECT_TRUE(desc.dpcTriCaps.dwTextureCaps & D3DPTEXTURECAPS_POW2);
    EXPECT_FALSE(desc.dpcTriCaps.dwTextureCaps & D3DPTEXTURECAPS_SQUAREONLY);
    dev->Release();
    ASSERT_EQ(D3D_OK, rig.device->GetCaps(&desc));
    EXPECT_TRUE(IsEqualGUID(desc.deviceGUID, IID_IDirect3DRGBDevice));

    // Only surfaces made for 3D rendering can be targets.
    Surface* plain = new Surface(nullptr, 16, 16, sombrella::ddraw::FormatRGB565(), DDSCAPS_OFFSCREENPLAIN, 0);
    EXPECT_LT(rig.d3d->CreateDevice(IID_IDirect3DRGBDevice, plain, &dev), 0);
    plain->Release();
    EXPECT_LT(rig.d3d->CreateDevice(IID_IDirect3DRGBDevice, nullptr, &dev), 0);
    EXPECT_LT(rig.d3d->CreateDevice(IID_IDirect3DRGBDevice, rig.target, nullptr), 0);
}

TEST(Direct3D, ReferenceCounts) {
    StubDirectDraw dd;
    IDirect3D7* d3d = sombrella::d3d::CreateDirect3D(&dd);
    EXPECT_EQ(2u, dd.refs);
    Surface* target = new Surface(nullptr, 8, 8, sombrella::ddraw::FormatRGB565(), DDSCAPS_3DDEVICE, 0);
    IDirect3DDevice7* dev = nullptr;
    ASSERT_EQ(D3D_OK, d3d->CreateDevice(IID_IDirect3DRGBDevice, target, &dev));
    EXPECT_EQ(3u, target->AddRef());  // ours, the device's, this one
    target->Release();

    IDirectDrawSurface7* rt = nullptr;
    ASSERT_EQ(D3D_OK, dev->GetRenderTarget(&rt));
    EXPECT_EQ(static_cast<IDirectDrawSurface7*>(target), rt);
    EXPECT_EQ(2u, rt->Release());

    IDirect3D7* back = nullptr;
    ASSERT_EQ(D3D_OK, dev->GetDirect3D(&back));
    EXPECT_EQ(d3d, back);
    back->Release();

    Surface* tex = MakeTexture(4, 4, sombrella::ddraw::FormatRGB565());
    ASSERT_EQ(D3D_OK, dev->SetTexture(0, tex));
    EXPECT_EQ(3u, tex->AddRef());  // ours, the device's, this one
    tex->Release();
    IDirectDrawSurface7* got = nullptr;
    ASSERT_EQ(D3D_OK, dev->GetTexture(0, &got));
    EXPECT_EQ(static_cast<IDirectDrawSurface7*>(tex), got);
    EXPECT_EQ(2u, got->Release());
    Surface* tex2 = MakeTexture(4, 4, sombrella::ddraw::FormatRGB565());
    ASSERT_EQ(D3D_OK, dev->SetTexture(0, tex2));  // releases the first
    EXPECT_EQ(0u, tex->Release());
    ASSERT_EQ(D3D_OK, dev->SetTexture(0, nullptr));
    ASSERT_EQ(D3D_OK, dev->GetTexture(0, &got));
    EXPECT_EQ(nullptr, got);
    EXPECT_EQ(0u, tex2->Release());

    EXPECT_EQ(0u, dev->Release());
    EXPECT_EQ(0u, target->Release());
    EXPECT_EQ(0u, d3d->Release());
    EXPECT_EQ(1u, dd.refs);
}

TEST(Device, TextureFormatOrder) {
    Rig rig;
    std::vector<DDPIXELFORMAT> f;
    ASSERT_EQ(D3D_OK, rig.device->EnumTextureFormats(Collect, &f));
    ASSERT_EQ(8u, f.size());
    EXPECT_EQ(32u, f[0].dwRGBBitCount);
    EXPECT_EQ(0xFF000000u, f[0].dwRGBAlphaBitMask);
    EXPECT_EQ(0x8000u, f[1].dwRGBAlphaBitMask);
    EXPECT_EQ(0xF000u, f[2].dwRGBAlphaBitMask);
    EXPECT_TRUE(f[3].dwFlags & DDPF_LUMINANCE);
    EXPECT_TRUE(f[4].dwFlags & DDPF_FOURCC);
    EXPECT_EQ(MAKEFOURCC('D', 'X', 'T', '1'), f[4].dwFourCC);
    EXPECT_EQ((DWORD)DDPF_RGB, f[5].dwFlags);
    EXPECT_EQ(0x07E0u, f[5].dwGBitMask);
    EXPECT_EQ(0x03E0u, f[6].dwGBitMask);
    EXPECT_EQ(32u, f[7].dwRGBBitCount);
    EXPECT_EQ(0u, f[7].dwRGBAlphaBitMask);
    // The caller's rule (first 16-bit, no alpha, FourCC or luminance) lands on 565.
    for (const auto& p : f) {
        if ((p.dwFlags & 0xE0000) || p.dwFourCC || (p.dwFlags & DDPF_ALPHAPIXELS) || p.dwRGBBitCount != 16) continue;
        EXPECT_EQ(0xF800u, p.dwRBitMask);
        break;
    }
}

TEST(Device, RenderStateDefaults) {
    struct Expect {
        D3DRENDERSTATETYPE state;
        DWORD value;
    };
    const Expect expected[] = {
        {D3DRENDERSTATE_ZENABLE, D3DZB_TRUE},        {D3DRENDERSTATE_ZWRITEENABLE, TRUE},
        {D3DRENDERSTATE_ZFUNC, D3DCMP_LESSEQUAL},    {D3DRENDERSTATE_CULLMODE, D3DCULL_CCW},
        {D3DRENDERSTATE_SRCBLEND, D3DBLEND_ONE},     {D3DRENDERSTATE_DESTBLEND, D3DBLEND_ZERO},
        {D3DRENDERSTATE_ALPHABLENDENABLE, FALSE},    {D3DRENDERSTATE_LIGHTING, TRUE},
        {D3DRENDERSTATE_AMBIENT, 0},                 {D3DRENDERSTATE_SPECULARENABLE, FALSE},
        {D3DRENDERSTATE_SHADEMODE, D3DSHADE_GOURAUD}, {D3DRENDERSTATE_FILLMODE, D3DFILL_SOLID},
        {D3DRENDERSTATE_CLIPPING, TRUE},             {D3DRENDERSTATE_DITHERENABLE, FALSE},
        {D3DRENDERSTATE_COLORVERTEX, TRUE},          {D3DRENDERSTATE_ALPHATESTENABLE, FALSE},
        {D3DRENDERSTATE_ALPHAFUNC, D3DCMP_ALWAYS},   {D3DRENDERSTATE_FOGENABLE, FALSE},
        {D3DRENDERSTATE_TEXTUREPERSPECTIVE, TRUE},   {D3DRENDERSTATE_LASTPIXEL, TRUE},
        {D3DRENDERSTATE_LOCALVIEWER, TRUE},          {D3DRENDERSTATE_NORMALIZENORMALS, FALSE},
        {D3DRENDERSTATE_STENCILENABLE, FALSE},       {D3DRENDERSTATE_TEXTUREFACTOR, 0xFFFFFFFFu},
        {D3DRENDERSTATE_DIFFUSEMATERIALSOURCE, D3DMCS_COLOR1},
        {D3DRENDERSTATE_SPECULARMATERIALSOURCE, D3DMCS_COLOR2},
        {D3DRENDERSTATE_AMBIENTMATERIALSOURCE, D3DMCS_MATERIAL},
        {D3DRENDERSTATE_EMISSIVEMATERIALSOURCE, D3DMCS_MATERIAL},
    };
    Rig rig;
    for (const Expect& e : expected) {
        DWORD v = 0xDEADBEEF;
        ASSERT_EQ(D3D_OK, rig.device->GetRenderState(e.state, &v)) << e.state;
        EXPECT_EQ(e.value, v) << "state " << e.state;
    }
    // Without a depth surface at creation, depth testing starts off.
    Rig noDepth(16, 16, 0);
    DWORD z = 7;
    ASSERT_EQ(D3D_OK, noDepth.device->GetRenderState(D3DRENDERSTATE_ZENABLE, &z));
    EXPECT_EQ((DWORD)D3DZB_FALSE, z);

    ASSERT_EQ(D3D_OK, rig.device->SetRenderState(D3DRENDERSTATE_AMBIENT, 0x19191919));
    DWORD v = 0;
    rig.device->GetRenderState(D3DRENDERSTATE_AMBIENT, &v);
    EXPECT_EQ(0x19191919u, v);
    EXPECT_LT(rig.device->SetRenderState((D3DRENDERSTATETYPE)0, 1), 0);
    EXPECT_LT(rig.device->SetRenderState((D3DRENDERSTATETYPE)100000, 1), 0);
    EXPECT_LT(rig.device->GetRenderState(D3DRENDERSTATE_AMBIENT, nullptr), 0);
}

TEST(Device, TextureStageDefaultsAndReadBack) {
    Rig rig;
    auto get = [&](DWORD stage, D3DTEXTURESTAGESTATETYPE s) {
        DWORD v = 0xDEADBEEF;
        EXPECT_EQ(D3D_OK, rig.device->GetTextureStageState(stage, s, &v));
        return v;
    };
    EXPECT_EQ((DWORD)D3DTOP_MODULATE, get(0, D3DTSS_COLOROP));
    EXPECT_EQ((DWORD)D3DTA_TEXTURE, get(0, D3DTSS_COLORARG1));
    EXPECT_EQ((DWORD)D3DTA_CURRENT, get(0, D3DTSS_COLORARG2));
    EXPECT_EQ((DWORD)D3DTOP_SELECTARG1, get(0, D3DTSS_ALPHAOP));
    EXPECT_EQ((DWORD)D3DTA_TEXTURE, get(0, D3DTSS_ALPHAARG1));
    EXPECT_EQ((DWORD)D3DTA_CURRENT, get(0, D3DTSS_ALPHAARG2));
    EXPECT_EQ((DWORD)D3DTADDRESS_WRAP, get(0, D3DTSS_ADDRESS));
    EXPECT_EQ((DWORD)D3DTFG_POINT, get(0, D3DTSS_MAGFILTER));
    EXPECT_EQ((DWORD)D3DTFN_POINT, get(0, D3DTSS_MINFILTER));
    EXPECT_EQ((DWORD)D3DTFP_NONE, get(0, D3DTSS_MIPFILTER));
    for (DWORD s = 1; s < 8; ++s) {
        EXPECT_EQ((DWORD)D3DTOP_DISABLE, get(s, D3DTSS_COLOROP));
        EXPECT_EQ((DWORD)D3DTOP_DISABLE, get(s, D3DTSS_ALPHAOP));
    }
    ASSERT_EQ(D3D_OK, rig.device->SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTFG_LINEAR));
    EXPECT_EQ((DWORD)D3DTFG_LINEAR, get(0, D3DTSS_MAGFILTER));
    ASSERT_EQ(D3D_OK, rig.device->SetTextureStageState(0, D3DTSS_ADDRESS, D3DTADDRESS_CLAMP));
    EXPECT_EQ((DWORD)D3DTADDRESS_CLAMP, get(0, D3DTSS_ADDRESSU));
    EXPECT_EQ((DWORD)D3DTADDRESS_CLAMP, get(0, D3DTSS_ADDRESSV));
    DWORD v;
    EXPECT_LT(rig.device->SetTextureStageState(8, D3DTSS_COLOROP, 1), 0);
    EXPECT_LT(rig.device->GetTextureStageState(0, (D3DTEXTURESTAGESTATETYPE)99, &v), 0);
    EXPECT_LT(rig.device->SetTexture(8, nullptr), 0);
}

TEST(Device, TransformsViewportMaterial) {
    Rig rig;
    D3DMATRIX m = Translation(1, 2, 3), got{};
    const D3DMATRIX identity = Identity();
    for (auto t : {D3DTRANSFORMSTATE_WORLD, D3DTRANSFORMSTATE_VIEW, D3DTRANSFORMSTATE_PROJECTION}) {
        ASSERT_EQ(D3D_OK, rig.device->GetTransform(t, &got));
        EXPECT_EQ(0, std::memcmp(&got, &identity, sizeof got)) << "identity at start";
        m._43 = (float)t;
        ASSERT_EQ(D3D_OK, rig.device->SetTransform(t, &m));
        ASSERT_EQ(D3D_OK, rig.device->GetTransform(t, &got));
        EXPECT_EQ(0, std::memcmp(&got, &m, sizeof got));
    }
    EXPECT_LT(rig.device->SetTransform((D3DTRANSFORMSTATETYPE)77, &m), 0);
    EXPECT_LT(rig.device->SetTransform(D3DTRANSFORMSTATE_WORLD, nullptr), 0);

    D3DVIEWPORT7 vp{};
    ASSERT_EQ(D3D_OK, rig.device->GetViewport(&vp));
    EXPECT_EQ(128u, vp.dwWidth);
    EXPECT_EQ(128u, vp.dwHeight);
    D3DVIEWPORT7 set{8, 4, 64, 32, 0.25f, 0.75f};
    ASSERT_EQ(D3D_OK, rig.device->SetViewport(&set));
    ASSERT_EQ(D3D_OK, rig.device->GetViewport(&vp));
    EXPECT_EQ(0, std::memcmp(&vp, &set, sizeof vp));
    D3DVIEWPORT7 tooBig{100, 0, 64, 32, 0, 1};
    EXPECT_LT(rig.device->SetViewport(&tooBig), 0);
    D3DVIEWPORT7 empty{0, 0, 0, 32, 0, 1};
    EXPECT_LT(rig.device->SetViewport(&empty), 0);

    D3DMATERIAL7 mat{};
    mat.diffuse = {0.7f, 0.6f, 0.5f, 1.0f};
    mat.power = 80.0f;
    ASSERT_EQ(D3D_OK, rig.device->SetMaterial(&mat));
    D3DMATERIAL7 back{};
    ASSERT_EQ(D3D_OK, rig.device->GetMaterial(&back));
    EXPECT_EQ(0, std::memcmp(&mat, &back, sizeof mat));
}

TEST(Device, LightsReadBackUnchanged) {
    Rig rig;
    D3DLIGHT7 spot{};
    spot.dltType = D3DLIGHT_SPOT;
    spot.dcvDiffuse = {0.2f, 0.8f, 0.2f, 0.0f};
    spot.dvPosition = {0, 200, 0};
    spot.dvDirection = {0, -1, 0};
    spot.dvRange = 1.8446743e19f;
    spot.dvFalloff = 1.0f;
    spot.dvAttenuation0 = 1.0f;
    spot.dvTheta = 1.0466667f;
    spot.dvPhi = 2.0933335f;
    ASSERT_EQ(D3D_OK, rig.device->SetLight(1, &spot));
    ASSERT_EQ(D3D_OK, rig.device->SetLight(100000, &spot));  // any index
    D3DLIGHT7 back{};
    ASSERT_EQ(D3D_OK, rig.device->GetLight(1, &back));
    EXPECT_EQ(0, std::memcmp(&spot, &back, sizeof spot));
    BOOL on = 7;
    ASSERT_EQ(D3D_OK, rig.device->GetLightEnable(1, &on));
    EXPECT_FALSE(on);
    ASSERT_EQ(D3D_OK, rig.device->LightEnable(1, TRUE));
    ASSERT_EQ(D3D_OK, rig.device->GetLightEnable(1, &on));
    EXPECT_TRUE(on);

    // Never set: reading fails; enabling makes the default light.
    EXPECT_LT(rig.device->GetLightEnable(5, &on), 0);
    EXPECT_LT(rig.device->GetLight(5, &back), 0);
    ASSERT_EQ(D3D_OK, rig.device->LightEnable(5, TRUE));
    ASSERT_EQ(D3D_OK, rig.device->GetLight(5, &back));
    EXPECT_EQ(D3DLIGHT_DIRECTIONAL, back.dltType);
    EXPECT_EQ(1.0f, back.dvDirection.z);

    D3DLIGHT7 bad = spot;
    bad.dltType = (D3DLIGHTTYPE)9;
    EXPECT_LT(rig.device->SetLight(2, &bad), 0);
    EXPECT_LT(rig.device->SetLight(2, nullptr), 0);
    EXPECT_LT(rig.device->GetLight(1, nullptr), 0);
}

TEST(Device, SceneNestingAndClearArguments) {
    Rig rig;
    EXPECT_EQ(D3DERR_SCENE_NOT_IN_SCENE, rig.device->EndScene());
    ASSERT_EQ(D3D_OK, rig.device->BeginScene());
    EXPECT_EQ(D3DERR_SCENE_IN_SCENE, rig.device->BeginScene());
    ASSERT_EQ(D3D_OK, rig.device->EndScene());
    EXPECT_EQ(D3DERR_SCENE_NOT_IN_SCENE, rig.device->EndScene());

    EXPECT_EQ(D3D_OK, rig.device->Clear(1, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0));  // the whole viewport
    EXPECT_LT(rig.device->Clear(0, nullptr, 0, 0, 1.0f, 0), 0);
    Rig noDepth(16, 16, 0);
    EXPECT_EQ(D3DERR_ZBUFFER_NOTPRESENT, noDepth.device->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0));
    EXPECT_EQ(D3D_OK, noDepth.device->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0));
}

}  // namespace
