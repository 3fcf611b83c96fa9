// Device answers and pictures that must match what a Direct3D 7 device on
// Windows gives: argument handling, state read by lighting, shading rules,
// destination alpha and stages without a texture.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "d3d_rig.h"

using namespace d3dtest;
using sombrella::ddraw::Surface;

namespace {

// A quad covering a w x h target in one colour.
HRESULT FillQuad(IDirect3DDevice7* dev, int w, int h, DWORD colour, float z = 0.5f) {
    float fw = (float)w, fh = (float)h;
    return DrawTlVertices(dev, {{0, 0, z, 1, colour}, {fw, 0, z, 1, colour}, {fw, fh, z, 1, colour}, {0, fh, z, 1, colour}},
                  {0, 1, 2, 0, 2, 3});
}

bool IsIdentity(const D3DMATRIX& m) {
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            if (m.m[i][j] != (i == j ? 1.0f : 0.0f)) return false;
    return true;
}

TEST(Conformance, ArgumentsAnsweredAsWindowsDoes) {
    Rig rig(8, 8, 16, FormatXrgb8888());
    IDirect3DDevice7* dev = rig.device;

    // Render states retired with DirectX 7 are refused both ways.
    DWORD value = 0;
    for (DWORD retired : {1u, 21u}) {
        EXPECT_EQ(DDERR_INVALIDPARAMS, dev->SetRenderState((D3DRENDERSTATETYPE)retired, 1)) << retired;
        EXPECT_EQ(DDERR_INVALIDPARAMS, dev->GetRenderState((D3DRENDERSTATETYPE)retired, &value)) << retired;
    }

    // Every transform starts as the identity.
    std::vector<int> slots = {D3DTRANSFORMSTATE_WORLD, D3DTRANSFORMSTATE_VIEW, D3DTRANSFORMSTATE_PROJECTION,
                              D3DTRANSFORMSTATE_WORLD1, D3DTRANSFORMSTATE_WORLD2, D3DTRANSFORMSTATE_WORLD3};
    for (int i = 0; i < 8; ++i) slots.push_back(D3DTRANSFORMSTATE_TEXTURE0 + i);
    for (int slot : slots) {
        D3DMATRIX m{};
        ASSERT_EQ(D3D_OK, dev->GetTransform((D3DTRANSFORMSTATETYPE)slot, &m)) << slot;
        EXPECT_TRUE(IsIdentity(m)) << slot;
    }

    // Point and spot lights need finite, non-negative attenuation; a
    // directional light has none to check.
    const float inf = std::numeric_limits<float>::infinity(), nan = std::numeric_limits<float>::quiet_NaN();
    for (D3DLIGHTTYPE type : {D3DLIGHT_POINT, D3DLIGHT_SPOT, D3DLIGHT_DIRECTIONAL}) {
        for (int which = 0; which < 3; ++which) {
            for (float bad : {-0.5f, inf, nan}) {
                D3DLIGHT7 l{};
                l.dltType = type;
                l.dvRange = 10.0f;
                l.dvDirection = {0, 0, 1};
                l.dvTheta = 0.5f;
                l.dvPhi = 1.0f;
                l.dvAttenuation0 = 1.0f;
                (&l.dvAttenuation0)[which] = bad;
                HRESULT want = type == D3DLIGHT_DIRECTIONAL ? D3D_OK : DDERR_INVALIDPARAMS;
                EXPECT_EQ(want, dev->SetLight(0, &l)) << type << " attenuation" << which << " = " << bad;
            }
        }
    }

    // A surface that is no texture binds nothing, without an error.
    Surface* plain = new Surface(nullptr, 4, 4, FormatXrgb8888(), DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY, 0);
    Surface* texture = MakeTexture(4, 4, FormatXrgb8888());
    ASSERT_EQ(D3D_OK, dev->SetTexture(0, texture));
    EXPECT_EQ(D3D_OK, dev->SetTexture(0, plain));
    LPDIRECTDRAWSURFACE7 bound = texture;
    ASSERT_EQ(D3D_OK, dev->GetTexture(0, &bound));
    EXPECT_EQ(nullptr, bound);
    EXPECT_EQ(1u, plain->AddRef() - 1);  // the device took no reference
    plain->Release();
    plain->Release();
    texture->Release();

    // Nothing to draw is no error, with or without arrays.
    TlVertex v[3] = {{0, 0, 0.5f, 1, 0xFFFFFFFF}, {8, 0, 0.5f, 1, 0xFFFFFFFF}, {0, 8, 0.5f, 1, 0xFFFFFFFF}};
    WORD idx[3] = {0, 1, 2};
    EXPECT_EQ(D3D_OK, dev->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, kTlFvf, v, 0, idx, 3, 0));
    EXPECT_EQ(D3D_OK, dev->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, kTlFvf, v, 3, idx, 0, 0));
    EXPECT_EQ(D3D_OK, dev->DrawIndexedPrimitive(D3DPT_TRIANGLESTRIP, kTlFvf, nullptr, 0, nullptr, 0, 0));
    EXPECT_EQ(0u, rig.Pixel(1, 1));
    // Type and vertex format are still checked first.
    EXPECT_EQ(D3DERR_INVALIDPRIMITIVETYPE, dev->DrawIndexedPrimitive((D3DPRIMITIVETYPE)42, kTlFvf, v, 0, idx, 0, 0));

    // Clear: a count without a list is the whole viewport; a list without
    // a count clears nothing; both succeed.
    D3DVIEWPORT7 vp{2, 2, 4, 4, 0.0f, 1.0f};
    ASSERT_EQ(D3D_OK, dev->SetViewport(&vp));
    EXPECT_EQ(D3D_OK, dev->Clear(1, nullptr, D3DCLEAR_TARGET, 0xFF00FF00, 1.0f, 0));
    EXPECT_EQ(0u, rig.Pixel(1, 1) & 0xFFFFFF);
    EXPECT_EQ(0x00FF00u, rig.Pixel(2, 2) & 0xFFFFFF);
    EXPECT_EQ(0x00FF00u, rig.Pixel(5, 5) & 0xFFFFFF);
    EXPECT_EQ(0u, rig.Pixel(6, 6) & 0xFFFFFF);
    D3DRECT r{0, 0, 8, 8};
    EXPECT_EQ(D3D_OK, dev->Clear(0, &r, D3DCLEAR_TARGET, 0xFFFF0000, 1.0f, 0));
    EXPECT_EQ(0x00FF00u, rig.Pixel(3, 3) & 0xFFFFFF);
}

// Flat shading colours each triangle from its first vertex as submitted:
// the strip's odd triangles (whose winding is swapped) and triangles whose
// first vertex is clipped away alike.
TEST(Conformance, FlatShadingTakesTheFirstVertexSubmitted) {
    Rig rig(16, 8, 0, FormatXrgb8888());
    IDirect3DDevice7* dev = rig.device;
    dev->SetRenderState(D3DRENDERSTATE_CULLMODE, D3DCULL_NONE);
    dev->SetRenderState(D3DRENDERSTATE_SHADEMODE, D3DSHADE_FLAT);
    const DWORD c[4] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF};
    // Strip 0-1-2 (red first) and 1-2-3 (green first): the left and right
    // halves of the target.
    ASSERT_EQ(D3D_OK, DrawTlVertices(dev, {{0, 0, 0.5f, 1, c[0]}, {0, 8, 0.5f, 1, c[1]}, {16, 0, 0.5f, 1, c[2]},
                                   {16, 8, 0.5f, 1, c[3]}},
                             {0, 1, 2, 3}, D3DPT_TRIANGLESTRIP));
    EXPECT_EQ(0xFF0000u, rig.Pixel(1, 1) & 0xFFFFFF);
    EXPECT_EQ(0x00FF00u, rig.Pixel(14, 6) & 0xFFFFFF);

    // Fan 0-1-2 and 0-2-3 round the centre 0 take vertices 1 and 2, never
    // the centre: green on the left, blue on the right.
    ASSERT_EQ(D3D_OK, DrawTlVertices(dev, {{8, 0, 0.5f, 1, c[0]}, {0, 0, 0.5f, 1, c[1]}, {0, 8, 0.5f, 1, c[2]},
                                   {16, 8, 0.5f, 1, c[3]}, {16, 0, 0.5f, 1, c[0]}},
                             {0, 1, 2, 3, 4}, D3DPT_TRIANGLEFAN));
    EXPECT_EQ(0x00FF00u, rig.Pixel(1, 2) & 0xFFFFFF);
    EXPECT_EQ(0x0000FFu, rig.Pixel(8, 6) & 0xFFFFFF);
    EXPECT_EQ(0xFFFFFFu, rig.Pixel(14, 2) & 0xFFFFFF);

    // Transformed vertices: the first one behind the near plane is cut off,
    // its colour still rules.
    Rig clip(16, 16, 0, FormatXrgb8888());
    clip.device->SetRenderState(D3DRENDERSTATE_CULLMODE, D3DCULL_NONE);
    clip.device->SetRenderState(D3DRENDERSTATE_LIGHTING, FALSE);
    clip.device->SetRenderState(D3DRENDERSTATE_SHADEMODE, D3DSHADE_FLAT);
    clip.LookFromZ(3.0f);
    struct Vtx {
        float x, y, z;
        DWORD diffuse;
    };
    Vtx tri[3] = {{0, 0, -10, c[0]}, {-2, -2, 2, c[1]}, {2, -2, 2, c[2]}};
    WORD idx[3] = {0, 1, 2};
    ASSERT_EQ(D3D_OK, clip.device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, D3DFVF_XYZ | D3DFVF_DIFFUSE, tri, 3, idx,
                                                        3, 0));
    int red = 0, other = 0;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            uint32_t p = clip.Pixel(x, y) & 0xFFFFFF;
            if (p == 0xFF0000u) ++red;
            else if (p != 0) ++other;
        }
    EXPECT_GT(red, 0);
    EXPECT_EQ(0, other);
}

class LitQuad : public ::testing::Test {
protected:
    struct Vtx {
        float x, y, z, nx, ny, nz;
        DWORD diffuse, specular;
    };
    static constexpr DWORD kFvf = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_SPECULAR;

    void SetUp() override {
        rig.LookFromZ(5.0f);
        dev = rig.device;
        D3DMATERIAL7 mat{};
        mat.diffuse = {0.5f, 0.5f, 0.5f, 1};
        mat.specular = {1, 1, 1, 1};
        mat.power = 4;
        dev->SetMaterial(&mat);
        D3DLIGHT7 l{};
        l.dltType = D3DLIGHT_DIRECTIONAL;
        l.dcvDiffuse = {1, 1, 1, 0};
        l.dcvSpecular = {1, 1, 1, 0};
        l.dvDirection = {0, 0, 1};
        dev->SetLight(0, &l);
        dev->LightEnable(0, TRUE);
    }
    // The centre pixel of a lit quad facing the camera with this normal
    // and vertex colours.
    uint32_t Draw(float nx = 0, float ny = 0, float nz = -1, DWORD diffuse = 0xFF00FF00, DWORD specular = 0) {
        Vtx q[4] = {{-2, -2, 0, nx, ny, nz, diffuse, specular}, {-2, 2, 0, nx, ny, nz, diffuse, specular},
                    {2, 2, 0, nx, ny, nz, diffuse, specular}, {2, -2, 0, nx, ny, nz, diffuse, specular}};
        WORD idx[6] = {0, 1, 2, 0, 2, 3};
        dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
        EXPECT_EQ(D3D_OK, dev->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, kFvf, q, 4, idx, 6, 0));
        return rig.Pixel(16, 16) & 0xFFFFFF;
    }
    Rig rig{32, 32, 16, FormatXrgb8888()};
    IDirect3DDevice7* dev = nullptr;
};

// Each state lighting reads takes effect on the very next draw, with
// nothing else changed in between.
TEST_F(LitQuad, EveryStateLightingReadsTakesEffectAtOnce) {
    const uint32_t fromVertex = Draw();  // COLORVERTEX on: diffuse from the vertex (green)
    EXPECT_EQ(0x00FF00u, fromVertex);
    dev->SetRenderState(D3DRENDERSTATE_COLORVERTEX, FALSE);
    const uint32_t fromMaterial = Draw();
    EXPECT_NEAR(128, (int)(fromMaterial >> 16), 2);
    dev->SetRenderState(D3DRENDERSTATE_COLORVERTEX, TRUE);
    EXPECT_EQ(fromVertex, Draw());
    dev->SetRenderState(D3DRENDERSTATE_DIFFUSEMATERIALSOURCE, D3DMCS_MATERIAL);
    EXPECT_EQ(fromMaterial, Draw());
    dev->SetRenderState(D3DRENDERSTATE_DIFFUSEMATERIALSOURCE, D3DMCS_COLOR1);

    // Specular on: the highlight adds to the colour; then switched off again.
    dev->SetRenderState(D3DRENDERSTATE_SPECULARMATERIALSOURCE, D3DMCS_MATERIAL);
    dev->SetRenderState(D3DRENDERSTATE_SPECULARENABLE, TRUE);
    const uint32_t shiny = Draw();
    EXPECT_NE(fromVertex, shiny);
    dev->SetRenderState(D3DRENDERSTATE_SPECULARENABLE, FALSE);
    EXPECT_EQ(fromVertex, Draw());

    // A long normal lights too brightly until normalised.
    dev->SetRenderState(D3DRENDERSTATE_COLORVERTEX, FALSE);
    const uint32_t unit = Draw();
    EXPECT_NE(unit, Draw(0, 0, -0.25f));
    dev->SetRenderState(D3DRENDERSTATE_NORMALIZENORMALS, TRUE);
    EXPECT_EQ(unit, Draw(0, 0, -0.25f));

    // Highlight only: a viewer at infinity sees the full highlight on this
    // face, the local viewer a weaker one towards the corners.
    D3DMATERIAL7 shine{};
    shine.specular = {1, 1, 1, 1};
    shine.power = 4;
    dev->SetMaterial(&shine);
    dev->SetRenderState(D3DRENDERSTATE_SPECULARENABLE, TRUE);
    const uint32_t local = Draw();
    EXPECT_LT((int)(local & 255), 245);
    dev->SetRenderState(D3DRENDERSTATE_LOCALVIEWER, FALSE);
    EXPECT_EQ(0xFFFFFFu, Draw());
}

// Normals go through the inverse of the whole world-view matrix,
// transposed; a singular matrix stands in for its own inverse.
TEST_F(LitQuad, NormalsUnderSingularAndProjectiveMatrices) {
    dev->SetRenderState(D3DRENDERSTATE_COLORVERTEX, FALSE);
    const uint32_t facing = Draw();  // material diffuse 0.5, n.l = 1
    EXPECT_NEAR(128, (int)(facing & 255), 2);

    // Singular (third row repeats the first): z' = x tilts the quad; the
    // normal (0, 0, -1) times the matrix transposed is (-1, 0, -1), whose
    // dot with the light direction is still 1.
    D3DMATRIX singular = Identity();
    singular._13 = 1.0f;
    singular._31 = 1.0f;
    dev->SetTransform(D3DTRANSFORMSTATE_WORLD, &singular);
    EXPECT_EQ(facing, Draw());

    // Projective: w' = z + 1 and z' = z + 0.5. The upper 3x3 is the
    // identity, but the 4x4 inverse scales z normals by 1 / (1 - 0.5):
    // n.l becomes 2 and the quad lights at full strength.
    D3DMATRIX projective = Identity();
    projective._34 = 1.0f;
    projective._43 = 0.5f;
    dev->SetTransform(D3DTRANSFORMSTATE_WORLD, &projective);
    const uint32_t doubled = Draw();
    EXPECT_NEAR(255, (int)(doubled & 255), 2);
    EXPECT_NEAR(255, (int)(doubled >> 16), 2);
}

// An empty depth range keeps a sliver (min + 0.001 z), so depth-tested
// drawing still puts the nearer surface in front.
TEST(Conformance, EmptyDepthRangeStillOrdersSurfaces) {
    for (bool nearFirst : {false, true}) {
        Rig rig(8, 8, 16, FormatXrgb8888());
        IDirect3DDevice7* dev = rig.device;
        dev->SetRenderState(D3DRENDERSTATE_CULLMODE, D3DCULL_NONE);
        dev->SetRenderState(D3DRENDERSTATE_ZFUNC, D3DCMP_LESS);
        dev->SetRenderState(D3DRENDERSTATE_LIGHTING, FALSE);
        D3DVIEWPORT7 vp{0, 0, 8, 8, 0.5f, 0.5f};
        ASSERT_EQ(D3D_OK, dev->SetViewport(&vp));
        dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
        // Transformed quads: identity transforms put z straight into [0, 1].
        struct Vtx {
            float x, y, z;
            DWORD diffuse;
        };
        auto quad = [&](float z, DWORD c) {
            Vtx q[4] = {{-1, -1, z, c}, {-1, 1, z, c}, {1, 1, z, c}, {1, -1, z, c}};
            WORD idx[6] = {0, 1, 2, 0, 2, 3};
            ASSERT_EQ(D3D_OK, dev->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, D3DFVF_XYZ | D3DFVF_DIFFUSE, q, 4, idx, 6, 0));
        };
        if (nearFirst) {
            quad(0.1f, 0xFF00FF00);
            quad(0.9f, 0xFFFF0000);
        } else {
            quad(0.9f, 0xFFFF0000);
            quad(0.1f, 0xFF00FF00);
        }
        EXPECT_EQ(0x00FF00u, rig.Pixel(4, 4) & 0xFFFFFF) << nearFirst;
    }
}

// A target with an alpha channel keeps the alpha written to it (clears and
// draws) and blending reads it back.
TEST(Conformance, DestinationAlphaIsKeptAndBlended) {
    Rig rig(8, 8, 0, FormatArgb(32, 0xFF000000, 0xFF0000, 0xFF00, 0xFF));
    IDirect3DDevice7* dev = rig.device;
    dev->SetRenderState(D3DRENDERSTATE_CULLMODE, D3DCULL_NONE);
    ASSERT_EQ(D3D_OK, dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0x80112233, 1.0f, 0));
    EXPECT_EQ(0x80112233u, rig.Pixel(3, 3));

    // Untextured: alpha is the diffuse alpha.
    ASSERT_EQ(D3D_OK, FillQuad(dev, 8, 8, 0x40FFFFFF));
    EXPECT_EQ(0x40FFFFFFu, rig.Pixel(3, 3));

    // White scaled by the destination's alpha of 64; the alpha channel
    // blends with the same factors (64 * 64 / 255).
    dev->SetRenderState(D3DRENDERSTATE_ALPHABLENDENABLE, TRUE);
    dev->SetRenderState(D3DRENDERSTATE_SRCBLEND, D3DBLEND_DESTALPHA);
    dev->SetRenderState(D3DRENDERSTATE_DESTBLEND, D3DBLEND_ZERO);
    ASSERT_EQ(D3D_OK, dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0x40000000, 1.0f, 0));
    ASSERT_EQ(D3D_OK, FillQuad(dev, 8, 8, 0x40FFFFFF));
    uint32_t p = rig.Pixel(3, 3);
    EXPECT_EQ(64u, (p >> 16) & 255);
    EXPECT_EQ(64u, p & 255);
    EXPECT_EQ(16u, p >> 24);

    // Source over destination: the destination's alpha is kept in part.
    dev->SetRenderState(D3DRENDERSTATE_SRCBLEND, D3DBLEND_SRCALPHA);
    dev->SetRenderState(D3DRENDERSTATE_DESTBLEND, D3DBLEND_INVSRCALPHA);
    ASSERT_EQ(D3D_OK, dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0));
    ASSERT_EQ(D3D_OK, FillQuad(dev, 8, 8, 0x80FFFFFF));
    p = rig.Pixel(3, 3);
    EXPECT_NEAR(128, (int)((p >> 16) & 255), 1);
    EXPECT_NEAR(128 * 128 / 255 + 127, (int)(p >> 24), 1);
}

// With no texture bound, a stage argument naming the texture stands for the
// stage's input: SELECTARG1(TEXTURE) gives the diffuse colour, and the
// default MODULATE gives the diffuse colour and alpha.
TEST(Conformance, StageWithoutTextureGivesTheDiffuseColour) {
    for (bool fastTarget : {false, true}) {
        Rig rig(8, 8, 0, fastTarget ? sombrella::ddraw::FormatRGB565() : FormatArgb(32, 0xFF000000, 0xFF0000, 0xFF00, 0xFF));
        IDirect3DDevice7* dev = rig.device;
        dev->SetRenderState(D3DRENDERSTATE_CULLMODE, D3DCULL_NONE);
        const uint32_t want = fastTarget ? 0x07E0u : 0x6000FF00u;
        ASSERT_EQ(D3D_OK, FillQuad(dev, 8, 8, 0x6000FF00));  // default MODULATE, SELECTARG1 alpha
        EXPECT_EQ(want, rig.Pixel(3, 3)) << fastTarget;
        dev->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
        dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
        ASSERT_EQ(D3D_OK, FillQuad(dev, 8, 8, 0x6000FF00));
        EXPECT_EQ(want, rig.Pixel(3, 3)) << fastTarget;
        // Colour from the texture factor, alpha from the absent texture.
        dev->SetRenderState(D3DRENDERSTATE_TEXTUREFACTOR, 0xFFFF0000);
        dev->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TFACTOR);
        ASSERT_EQ(D3D_OK, FillQuad(dev, 8, 8, 0x6000FF00));
        EXPECT_EQ(fastTarget ? 0xF800u : 0x60FF0000u, rig.Pixel(3, 3)) << fastTarget;
    }
}

}  // namespace
