// Random, hostile draw calls: garbage indices, NaN, infinities and huge
// coordinates, odd states. Nothing may crash or read outside the arrays
// (run under ASan); out-of-range indices must be refused.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "d3d_rig.h"

using namespace d3dtest;

namespace {

float Nasty(std::mt19937& rng) {
    switch (rng() % 10) {
    case 0: return std::numeric_limits<float>::quiet_NaN();
    case 1: return std::numeric_limits<float>::infinity();
    case 2: return -std::numeric_limits<float>::infinity();
    case 3: return (rng() & 1 ? 1 : -1) * 3.0e38f;
    case 4: return 0.0f;
    case 5: return (float)(int)(rng() % 200000) - 100000.0f;
    default: return ((float)(rng() % 20000) - 10000.0f) / 1000.0f;
    }
}

TEST(FuzzDraw, GarbageNeverCrashes) {
    std::mt19937 rng(12345);
    Rig rig(64, 48, 16);
    IDirect3DDevice7* dev = rig.device;
    sombrella::ddraw::Surface* tex = MakeTexture(8, 4, FormatArgb(16, 0xF000, 0x0F00, 0x00F0, 0x000F));
    const DWORD fvfs[] = {D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1, D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1,
                          D3DFVF_XYZRHW | D3DFVF_DIFFUSE, D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | D3DFVF_TEX1,
                          D3DFVF_XYZ, D3DFVF_XYZ | D3DFVF_TEX2, 0x7777};
    D3DLIGHT7 l{};
    l.dltType = D3DLIGHT_SPOT;
    l.dcvDiffuse = {1, 1, 1, 0};
    l.dvRange = 50;
    l.dvAttenuation0 = 0;  // a zero denominator right at the light
    l.dvTheta = 0.3f;
    l.dvPhi = 0.3f;
    dev->SetLight(3, &l);
    dev->LightEnable(3, TRUE);
    rig.LookFromZ(3.0f);
    for (int iter = 0; iter < 3000; ++iter) {
        dev->SetRenderState(D3DRENDERSTATE_CULLMODE, 1 + rng() % 3);
        dev->SetRenderState(D3DRENDERSTATE_ZFUNC, 1 + rng() % 8);
        dev->SetRenderState(D3DRENDERSTATE_ALPHABLENDENABLE, rng() & 1);
        dev->SetRenderState(D3DRENDERSTATE_SRCBLEND, 1 + rng() % 13);
        dev->SetRenderState(D3DRENDERSTATE_DESTBLEND, 1 + rng() % 13);
        dev->SetRenderState(D3DRENDERSTATE_SHADEMODE, 1 + rng() % 2);
        dev->SetRenderState(D3DRENDERSTATE_SPECULARENABLE, rng() & 1);
        dev->SetTextureStageState(0, D3DTSS_COLOROP, 1 + rng() % 14);
        dev->SetTextureStageState(0, D3DTSS_ADDRESS, 1 + rng() % 4);
        dev->SetTextureStageState(0, D3DTSS_MAGFILTER, 1 + rng() % 2);
        dev->SetTexture(0, (rng() & 1) ? tex : nullptr);
        if (rng() % 16 == 0) {
            D3DMATRIX m;
            for (int r = 0; r < 4; ++r)
                for (int c = 0; c < 4; ++c) m.m[r][c] = Nasty(rng);
            dev->SetTransform(D3DTRANSFORMSTATE_WORLD, &m);
        } else if (rng() % 4 == 0) {
            D3DMATRIX m = Identity();
            dev->SetTransform(D3DTRANSFORMSTATE_WORLD, &m);
        }
        DWORD fvf = fvfs[rng() % (sizeof fvfs / sizeof fvfs[0])];
        DWORD vertexCount = 1 + rng() % 40;
        // Sized exactly: anything read past the end is caught by ASan.
        DWORD stride = 48;
        if (fvf != 0x7777 && !(fvf & D3DFVF_TEX2)) {
            stride = (fvf & D3DFVF_XYZRHW) ? 16 : 12;
            if (fvf & D3DFVF_NORMAL) stride += 12;
            if (fvf & D3DFVF_DIFFUSE) stride += 4;
            if (fvf & D3DFVF_SPECULAR) stride += 4;
            if (fvf & D3DFVF_TEX1) stride += 8;
        }
        std::vector<float> vertices(vertexCount * stride / 4);
        for (float& f : vertices) f = Nasty(rng);
        DWORD indexCount = rng() % 60;
        std::vector<WORD> indices(indexCount);
        bool anyBad = false;
        for (WORD& i : indices) {
            i = (WORD)((rng() % 8 == 0) ? rng() : rng() % vertexCount);
            anyBad |= i >= vertexCount;
        }
        D3DPRIMITIVETYPE type = (D3DPRIMITIVETYPE)(1 + rng() % 7);
        bool inScene = rng() & 1;
        if (inScene) dev->BeginScene();
        HRESULT hr = dev->DrawIndexedPrimitive(type, fvf, vertices.data(), vertexCount,
                                               indexCount ? indices.data() : nullptr, indexCount, 0);
        if (anyBad) {
            EXPECT_LT(hr, 0);
        }
        if (inScene) dev->EndScene();
    }
    dev->SetTexture(0, nullptr);
    tex->Release();
}

}  // namespace
