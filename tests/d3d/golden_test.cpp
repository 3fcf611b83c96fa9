// Small rendered scenes compared with checked-in golden pictures.
// SOMBRELLA_UPDATE_GOLDEN=1 rewrites the goldens (look at them before committing).
// Every scene runs under every vector target the CPU has, to the same bytes.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "d3d/raster/simd.h"
#include "d3d_rig.h"

using namespace d3dtest;
using sombrella::ddraw::Surface;

namespace {

struct Vertex {  // the demo's format 274: position, normal, one texture coordinate pair
    float x, y, z, nx, ny, nz, u, v;
};
constexpr DWORD kFvf = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1;

struct Mesh {
    std::vector<Vertex> v;
    std::vector<WORD> i;
    void Draw(IDirect3DDevice7* dev) const {
        ASSERT_EQ(D3D_OK, dev->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, kFvf, (void*)v.data(), (DWORD)v.size(),
                                                    (WORD*)i.data(), (DWORD)i.size(), 0));
    }
};

struct Vec {
    float x, y, z;
};
Vec Cross(Vec a, Vec b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }

// A quad facing along n, subdivided into cells x cells, wound clockwise
// as seen from the side n points to.
void AddFace(Mesh& m, Vec c, Vec n, float half, int cells, float uvScale) {
    Vec v = std::fabs(n.y) > 0.5f ? Vec{0, 0, 1} : Vec{0, 1, 0};
    Vec u = Cross(v, {-n.x, -n.y, -n.z});
    WORD base = (WORD)m.v.size();
    for (int j = 0; j <= cells; ++j)
        for (int i = 0; i <= cells; ++i) {
            float a = -half + 2 * half * i / cells, b = -half + 2 * half * j / cells;
            m.v.push_back({c.x + u.x * a + v.x * b, c.y + u.y * a + v.y * b, c.z + u.z * a + v.z * b, n.x, n.y, n.z,
                           uvScale * i / cells, uvScale * (cells - j) / cells});
        }
    for (int j = 0; j < cells; ++j)
        for (int i = 0; i < cells; ++i) {
            WORD p00 = (WORD)(base + j * (cells + 1) + i), p10 = (WORD)(p00 + 1);
            WORD p01 = (WORD)(p00 + cells + 1), p11 = (WORD)(p01 + 1);
            m.i.insert(m.i.end(), {p00, p01, p11, p00, p11, p10});
        }
}

Mesh Cube(float half) {
    Mesh m;
    const Vec normals[6] = {{1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}};
    for (const Vec& n : normals) AddFace(m, {n.x * half, n.y * half, n.z * half}, n, half, 1, 1.0f);
    return m;
}

void Material(IDirect3DDevice7* dev, float r, float g, float b, float a = 1.0f) {
    D3DMATERIAL7 mat{};
    mat.diffuse = {r, g, b, a};
    mat.ambient = {r, g, b, a};
    mat.specular = {1, 1, 1, 1};
    mat.power = 20.0f;
    dev->SetMaterial(&mat);
}

void Light(IDirect3DDevice7* dev, D3DLIGHT7 l) {
    dev->SetLight(0, &l);
    dev->LightEnable(0, TRUE);
}

D3DLIGHT7 MakeLight(D3DLIGHTTYPE type) {
    D3DLIGHT7 l{};
    l.dltType = type;
    l.dcvDiffuse = {1, 1, 1, 0};
    l.dcvSpecular = {1, 1, 1, 0};
    l.dvRange = 100.0f;
    l.dvAttenuation0 = 1.0f;
    return l;
}

void Begin(Rig& rig, DWORD clearColour = 0x00203040) {
    ASSERT_EQ(D3D_OK, rig.device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, clearColour, 1.0f, 0));
    ASSERT_EQ(D3D_OK, rig.device->BeginScene());
}

void End(Rig& rig, const char* name) {
    ASSERT_EQ(D3D_OK, rig.device->EndScene());
    EXPECT_EQ("", CompareGolden(name, rig.Snapshot()));
}

void LitCube(const D3DLIGHT7& light, const char* name) {
    Rig rig;
    rig.LookFromZ(5.0f);
    D3DMATRIX world = Mul(RotationY(0.6f), RotationX(0.45f));
    rig.device->SetTransform(D3DTRANSFORMSTATE_WORLD, &world);
    rig.device->SetRenderState(D3DRENDERSTATE_AMBIENT, 0x00181818);
    rig.device->SetRenderState(D3DRENDERSTATE_SPECULARENABLE, TRUE);
    Material(rig.device, 0.9f, 0.7f, 0.4f);
    Light(rig.device, light);
    Begin(rig);
    Cube(1.2f).Draw(rig.device);
    End(rig, name);
}

std::vector<std::string> SimdTargets() {
    std::istringstream in(sombrella::d3d::raster::AvailableSimdTargets());
    std::vector<std::string> names;
    for (std::string n; in >> n;) names.push_back(n);
    return names;
}

class Golden : public testing::TestWithParam<std::string> {
protected:
    void SetUp() override { ASSERT_TRUE(sombrella::d3d::raster::ForceSimdTarget(GetParam().c_str())); }
    void TearDown() override { sombrella::d3d::raster::ForceSimdTarget(nullptr); }
};

INSTANTIATE_TEST_SUITE_P(Simd, Golden, testing::ValuesIn(SimdTargets()),
                         [](const testing::TestParamInfo<std::string>& info) { return info.param; });

TEST_P(Golden, LitCubeDirectional) {
    D3DLIGHT7 l = MakeLight(D3DLIGHT_DIRECTIONAL);
    l.dvDirection = {0.6f, -0.8f, 1.0f};
    LitCube(l, "lit_cube_directional");
}

TEST_P(Golden, LitCubePoint) {
    D3DLIGHT7 l = MakeLight(D3DLIGHT_POINT);
    l.dvPosition = {-2.0f, 2.5f, -3.0f};
    l.dvAttenuation1 = 0.08f;
    LitCube(l, "lit_cube_point");
}

TEST_P(Golden, LitCubeSpot) {
    D3DLIGHT7 l = MakeLight(D3DLIGHT_SPOT);
    l.dvPosition = {0.0f, 3.0f, -3.0f};
    l.dvDirection = {0.0f, -1.0f, 1.0f};
    l.dvTheta = 0.5f;
    l.dvPhi = 1.2f;
    l.dvFalloff = 1.0f;
    LitCube(l, "lit_cube_spot");
}

// A finely divided floor shows the per-vertex cone and its soft edge.
Mesh Floor(int cells, float half, float uvScale) {
    Mesh m;
    AddFace(m, {0, 0, 0}, {0, 1, 0}, half, cells, uvScale);
    return m;
}

// Camera 6 units from the origin, pitched down 0.9 rad over the floor.
void FloorScene(Rig& rig) {
    const float pitch = 0.9f;
    D3DMATRIX view = Mul(Translation(0, -6.0f * std::sin(pitch), 6.0f * std::cos(pitch)), RotationX(-pitch));
    D3DMATRIX proj = Perspective(1.0f, 1.0f, 1.0f, 50.0f);
    rig.device->SetTransform(D3DTRANSFORMSTATE_VIEW, &view);
    rig.device->SetTransform(D3DTRANSFORMSTATE_PROJECTION, &proj);
}

TEST_P(Golden, SpotConeEdge) {
    Rig rig;
    FloorScene(rig);
    Material(rig.device, 0.9f, 0.9f, 0.9f);
    rig.device->SetRenderState(D3DRENDERSTATE_AMBIENT, 0x00101010);
    D3DLIGHT7 l = MakeLight(D3DLIGHT_SPOT);
    l.dvPosition = {0.5f, 3.0f, 0.0f};
    l.dvDirection = {0.0f, -1.0f, 0.0f};
    l.dvTheta = 0.5f;
    l.dvPhi = 0.9f;
    l.dvFalloff = 1.0f;
    Light(rig.device, l);
    Begin(rig);
    Floor(40, 4.0f, 1.0f).Draw(rig.device);
    End(rig, "spot_cone_edge");
}

TEST_P(Golden, PointAttenuation) {
    Rig rig;
    FloorScene(rig);
    Material(rig.device, 0.9f, 0.9f, 0.9f);
    D3DLIGHT7 l = MakeLight(D3DLIGHT_POINT);
    l.dcvDiffuse = {1.0f, 0.8f, 0.5f, 0};
    l.dvPosition = {-1.0f, 0.6f, 0.5f};
    l.dvAttenuation0 = 0.2f;
    l.dvAttenuation1 = 0.0f;
    l.dvAttenuation2 = 0.6f;
    l.dvRange = 3.5f;
    Light(rig.device, l);
    Begin(rig);
    Floor(40, 4.0f, 1.0f).Draw(rig.device);
    End(rig, "point_attenuation");
}

Surface* Checker(int size, int cells, uint32_t a, uint32_t b, const DDPIXELFORMAT& format) {
    Surface* t = MakeTexture(size, size, format);
    int cell = size / cells;
    FillTexture(t, [&](int x, int y) { return ((x / cell + y / cell) & 1) ? a : b; });
    return t;
}

struct TexTl {
    float x, y, z, rhw;
    DWORD diffuse;
    float u, v;
};

TEST_P(Golden, TexturedQuadBilinearWrap) {
    Rig rig;
    IDirect3DDevice7* dev = rig.device;
    Surface* tex = MakeTexture(4, 4, sombrella::ddraw::FormatRGB565());
    const uint32_t colours[4] = {0xFFFF4020, 0xFF20C040, 0xFF3050FF, 0xFFF0F0F0};
    FillTexture(tex, [&](int x, int y) { return colours[(x + 2 * y) & 3]; });
    dev->SetTexture(0, tex);
    dev->SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTFG_LINEAR);
    dev->SetRenderState(D3DRENDERSTATE_CULLMODE, D3DCULL_NONE);
    Begin(rig);
    // u and v run from -0.5 to 1.5: the texture repeats across the edges.
    TexTl v[4] = {{8, 8, 0.5f, 1, 0xFFFFFFFF, -0.5f, -0.5f},
                  {120, 8, 0.5f, 1, 0xFFFFFFFF, 1.5f, -0.5f},
                  {120, 120, 0.5f, 1, 0xFFFFFFFF, 1.5f, 1.5f},
                  {8, 120, 0.5f, 1, 0xFFFFFFFF, -0.5f, 1.5f}};
    WORD idx[6] = {0, 1, 2, 0, 2, 3};
    ASSERT_EQ(D3D_OK, dev->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1, v,
                                                4, idx, 6, 0));
    End(rig, "textured_quad_bilinear_wrap");
    dev->SetTexture(0, nullptr);
    tex->Release();
}

TEST_P(Golden, PerspectiveCorrectCheckerboard) {
    Rig rig;
    IDirect3DDevice7* dev = rig.device;
    FloorScene(rig);
    dev->SetRenderState(D3DRENDERSTATE_LIGHTING, FALSE);
    Surface* tex = Checker(64, 8, 0xFFFFFFFF, 0xFF202020, sombrella::ddraw::FormatRGB565());
    dev->SetTexture(0, tex);
    Begin(rig);
    // Two big triangles only: straight checker lines prove per-pixel perspective.
    Floor(1, 6.0f, 3.0f).Draw(dev);
    End(rig, "perspective_checkerboard");
    dev->SetTexture(0, nullptr);
    tex->Release();
}

TEST_P(Golden, NearPlaneClipsTriangleThroughCamera) {
    Rig rig;
    IDirect3DDevice7* dev = rig.device;
    D3DMATRIX proj = Perspective(1.2f, 1.0f, 1.0f, 40.0f);
    D3DMATRIX view = Translation(0, 0, 0);
    dev->SetTransform(D3DTRANSFORMSTATE_VIEW, &view);
    dev->SetTransform(D3DTRANSFORMSTATE_PROJECTION, &proj);
    dev->SetRenderState(D3DRENDERSTATE_LIGHTING, FALSE);
    dev->SetRenderState(D3DRENDERSTATE_CULLMODE, D3DCULL_NONE);
    struct V {
        float x, y, z;
        DWORD c;
    };
    // One vertex behind the camera, two far in front, below the eye.
    V v[3] = {{0.0f, -1.0f, -6.0f, 0xFFFF0000}, {-6.0f, -1.0f, 20.0f, 0xFF00FF00}, {6.0f, -1.0f, 20.0f, 0xFF0000FF}};
    WORD idx[3] = {0, 1, 2};
    Begin(rig);
    ASSERT_EQ(D3D_OK, dev->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, D3DFVF_XYZ | D3DFVF_DIFFUSE, v, 3, idx, 3, 0));
    End(rig, "near_clip");
}

TEST_P(Golden, AlphaBlendedOverlap) {
    Rig rig;
    IDirect3DDevice7* dev = rig.device;
    dev->SetRenderState(D3DRENDERSTATE_CULLMODE, D3DCULL_NONE);
    dev->SetRenderState(D3DRENDERSTATE_ALPHABLENDENABLE, TRUE);
    dev->SetRenderState(D3DRENDERSTATE_SRCBLEND, D3DBLEND_SRCALPHA);
    dev->SetRenderState(D3DRENDERSTATE_DESTBLEND, D3DBLEND_INVSRCALPHA);
    dev->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG2);
    Begin(rig, 0x00000000);
    struct V {
        float x, y, z, rhw;
        DWORD c;
    };
    const DWORD colours[3] = {0x80FF0000, 0x8000FF00, 0x800000FF};
    const float ox[3] = {16, 48, 32}, oy[3] = {16, 16, 48};
    for (int k = 0; k < 3; ++k) {
        V v[4] = {{ox[k], oy[k], 0.5f, 1, colours[k]},
                  {ox[k] + 64, oy[k], 0.5f, 1, colours[k]},
                  {ox[k] + 64, oy[k] + 64, 0.5f, 1, colours[k]},
                  {ox[k], oy[k] + 64, 0.5f, 1, colours[k]}};
        WORD idx[6] = {0, 1, 2, 0, 2, 3};
        ASSERT_EQ(D3D_OK, dev->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, D3DFVF_XYZRHW | D3DFVF_DIFFUSE, v, 4, idx, 6, 0));
    }
    End(rig, "alpha_blend_overlap");
}

TEST_P(Golden, DepthFightingLessEqual) {
    Rig rig;
    IDirect3DDevice7* dev = rig.device;
    dev->SetRenderState(D3DRENDERSTATE_CULLMODE, D3DCULL_NONE);
    struct V {
        float x, y, z, rhw;
        DWORD c;
    };
    auto quad = [&](float x0, float y0, float x1, float y1, float zl, float zr, DWORD c) {
        V v[4] = {{x0, y0, zl, 1, c}, {x1, y0, zr, 1, c}, {x1, y1, zr, 1, c}, {x0, y1, zl, 1, c}};
        WORD idx[6] = {0, 1, 2, 0, 2, 3};
        ASSERT_EQ(D3D_OK, dev->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, D3DFVF_XYZRHW | D3DFVF_DIFFUSE, v, 4, idx, 6, 0));
    };
    Begin(rig);
    quad(8, 8, 120, 120, 0.2f, 0.8f, 0xFFC03030);  // slopes away to the right
    quad(8, 40, 120, 88, 0.8f, 0.2f, 0xFF30C030);  // slopes the other way: they cross mid-way
    // The first quad again in blue: equal depths, so it replaces the red
    // everywhere under LESSEQUAL, and the green stays where it is nearer.
    quad(8, 8, 120, 120, 0.2f, 0.8f, 0xFF3030C0);
    End(rig, "depth_fight_lessequal");
}

}  // namespace
