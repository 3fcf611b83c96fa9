// Vertex lighting against the D3D7 lighting equations, computed here
// independently for chosen vertices, and one end-to-end lit draw.
#include <gtest/gtest.h>

#include <cmath>

#include "d3d/raster/lighting.h"
#include "d3d_rig.h"

using namespace sombrella::d3d::raster;
using namespace d3dtest;

namespace {

struct V3 {
    double x, y, z;
};
V3 Sub(V3 a, V3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
double Dot(V3 a, V3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
V3 Norm(V3 a) {
    double l = std::sqrt(Dot(a, a));
    return {a.x / l, a.y / l, a.z / l};
}
double Clamp(double v) { return v < 0 ? 0 : (v > 1 ? 1 : v); }

class LightingTest : public ::testing::Test {
protected:
    void SetUp() override {
        sombrella::d3d::raster::ResetToDefaults(state, true);
        state.material.diffuse = {0.7f, 0.6f, 0.5f, 0.25f};
        state.material.ambient = {1.0f, 0.5f, 0.25f, 1.0f};
        state.material.specular = {1.0f, 1.0f, 1.0f, 1.0f};
        state.material.emissive = {0.05f, 0.0f, 0.1f, 0.0f};
        state.material.power = 8.0f;
        state.renderState[D3DRENDERSTATE_AMBIENT] = 0x00192040;  // r 0x19, g 0x20, b 0x40
    }
    void Light(const D3DLIGHT7& l) {
        state.lights[0].light = l;
        state.lights[0].enabled = true;
        ++state.lightingVersion;
    }
    void Run(V3 pos, V3 normal, float d[4], float s[3]) {
        Lighting lighting;
        BuildLighting(state, &lighting);
        LightVertex(lighting, {(float)pos.x, (float)pos.y, (float)pos.z},
                    {(float)normal.x, (float)normal.y, (float)normal.z}, nullptr, nullptr, d, s);
    }
    // Expected colour from the D3D7 equations for one light with the given
    // attenuation x spot factor and direction to the light.
    void Expect(V3 normal, V3 toLight, V3 toEye, double scale, const D3DLIGHT7& l, bool specular, const float d[4],
                const float s[3]) {
        const D3DMATERIAL7& m = state.material;
        double ga[3] = {0x19 / 255.0, 0x20 / 255.0, 0x40 / 255.0};
        double nl = std::max(0.0, Dot(normal, toLight));
        V3 h = Norm({toLight.x + toEye.x, toLight.y + toEye.y, toLight.z + toEye.z});
        double nh = std::max(0.0, Dot(normal, h));
        double spec = (specular && nl > 0) ? std::pow(nh, m.power) * scale : 0.0;
        const float md[3] = {m.diffuse.r, m.diffuse.g, m.diffuse.b};
        const float ma[3] = {m.ambient.r, m.ambient.g, m.ambient.b};
        const float me[3] = {m.emissive.r, m.emissive.g, m.emissive.b};
        const float ld[3] = {l.dcvDiffuse.r, l.dcvDiffuse.g, l.dcvDiffuse.b};
        const float la[3] = {l.dcvAmbient.r, l.dcvAmbient.g, l.dcvAmbient.b};
        const float ls[3] = {l.dcvSpecular.r, l.dcvSpecular.g, l.dcvSpecular.b};
        for (int c = 0; c < 3; ++c) {
            double want = Clamp(me[c] + ma[c] * (ga[c] + la[c] * scale) + md[c] * ld[c] * nl * scale);
            EXPECT_NEAR(want, d[c], 1e-4) << "diffuse channel " << c;
            EXPECT_NEAR(Clamp(1.0 * ls[c] * spec), s[c], 1e-4) << "specular channel " << c;
        }
        EXPECT_NEAR(0.25, d[3], 1e-6);  // alpha is the material's diffuse alpha
    }
    DeviceState state;
};

D3DLIGHT7 BaseLight(D3DLIGHTTYPE type) {
    D3DLIGHT7 l{};
    l.dltType = type;
    l.dcvDiffuse = {0.9f, 0.8f, 0.7f, 0};
    l.dcvSpecular = {0.5f, 0.6f, 0.7f, 0};
    l.dcvAmbient = {0.1f, 0.2f, 0.05f, 0};
    l.dvRange = 1000.0f;
    l.dvAttenuation0 = 1.0f;
    return l;
}

TEST_F(LightingTest, DirectionalWithUnnormalisedDirection) {
    D3DLIGHT7 l = BaseLight(D3DLIGHT_DIRECTIONAL);
    l.dvDirection = {0.2f, -1.0f, 0.5f};
    Light(l);
    V3 toLight = Norm({-0.2, 1.0, -0.5});
    for (V3 n : {V3{0, 1, 0}, V3{1, 0, 0}, Norm({0.3, 0.8, -0.2})}) {
        float d[4], s[3];
        Run({3, -4, 20}, n, d, s);
        Expect(n, toLight, Norm({-3, 4, -20}), 1.0, l, false, d, s);
    }
}

TEST_F(LightingTest, PointAttenuationAndRange) {
    D3DLIGHT7 l = BaseLight(D3DLIGHT_POINT);
    l.dvPosition = {0, 10, 0};
    l.dvAttenuation0 = 0.5f;
    l.dvAttenuation1 = 0.1f;
    l.dvAttenuation2 = 0.01f;
    l.dvRange = 15.0f;
    Light(l);
    V3 pos{4, 0, 7}, n{0, 1, 0};
    V3 toL = Sub({0, 10, 0}, pos);
    double dist = std::sqrt(Dot(toL, toL));
    double atten = 1.0 / (0.5 + 0.1 * dist + 0.01 * dist * dist);
    float d[4], s[3];
    Run(pos, n, d, s);
    Expect(n, Norm(toL), Norm({-4, 0, -7}), atten, l, false, d, s);
    // Beyond the range the light contributes nothing, not even ambient.
    Run({4, 0, 30}, n, d, s);
    Expect(n, {0, 1, 0}, {0, 0, -1}, 0.0, l, false, d, s);
}

TEST_F(LightingTest, SpotConeThetaPhiFalloff) {
    D3DLIGHT7 l = BaseLight(D3DLIGHT_SPOT);
    l.dvPosition = {0, 10, 0};
    l.dvDirection = {0, -2, 0};  // not unit length
    l.dvTheta = 0.6f;
    l.dvPhi = 1.2f;
    l.dvFalloff = 2.0f;
    Light(l);
    V3 n{0, 1, 0};
    double cosTheta = std::cos(0.3), cosPhi = std::cos(0.6);
    for (double x : {0.0, 2.0, 4.5, 6.0, 9.0}) {
        V3 pos{x, 0, 0};
        V3 toL = Norm(Sub({0, 10, 0}, pos));
        double rho = toL.y;  // angle to the spot axis (straight down)
        double spot = rho > cosTheta ? 1.0 : (rho <= cosPhi ? 0.0 : std::pow((rho - cosPhi) / (cosTheta - cosPhi), 2.0));
        float d[4], s[3];
        Run(pos, n, d, s);
        Expect(n, toL, Norm({-x, 0, 0.0001}), spot, l, false, d, s);
    }
}

TEST_F(LightingTest, SpecularOnlyWhenEnabled) {
    D3DLIGHT7 l = BaseLight(D3DLIGHT_DIRECTIONAL);
    l.dvDirection = {0, -1, 1};
    Light(l);
    V3 n = Norm({0, 1, -0.3});
    V3 pos{1, 2, 10};
    float d[4], s[3];
    Run(pos, n, d, s);
    EXPECT_EQ(0.0f, s[0]);
    state.renderState[D3DRENDERSTATE_SPECULARENABLE] = TRUE;
    Run(pos, n, d, s);
    Expect(n, Norm({0, 1, -1}), Norm({-1, -2, -10}), 1.0, l, true, d, s);
    EXPECT_GT(s[0], 0.0f);
}

TEST_F(LightingTest, DisabledLightsAndColoursClamp) {
    D3DLIGHT7 l = BaseLight(D3DLIGHT_DIRECTIONAL);
    l.dcvDiffuse = {5, 5, 5, 0};
    l.dvDirection = {0, 0, 1};
    Light(l);
    float d[4], s[3];
    Run({0, 0, 5}, {0, 0, -1}, d, s);
    EXPECT_EQ(1.0f, d[0]);
    EXPECT_EQ(1.0f, d[1]);
    state.lights[0].enabled = false;
    Run({0, 0, 5}, {0, 0, -1}, d, s);
    EXPECT_NEAR(0.05 + 1.0 * 0x19 / 255.0, d[0], 1e-5);  // emissive + ambient only
}

// End to end: a lit quad facing the camera, rotated by the world matrix so
// the normal transform matters; every pixel has the predicted colour.
TEST(LitDraw, QuadColourMatchesEquation) {
    Rig rig(32, 32, 16, FormatXrgb8888());
    IDirect3DDevice7* dev = rig.device;
    rig.LookFromZ(5.0f);
    D3DMATRIX world = RotationY(0.5f);
    dev->SetTransform(D3DTRANSFORMSTATE_WORLD, &world);
    D3DMATERIAL7 mat{};
    mat.diffuse = {0.8f, 0.6f, 0.4f, 1};
    mat.ambient = {1, 1, 1, 1};
    dev->SetMaterial(&mat);
    dev->SetRenderState(D3DRENDERSTATE_AMBIENT, 0x00202020);
    D3DLIGHT7 l{};
    l.dltType = D3DLIGHT_DIRECTIONAL;
    l.dcvDiffuse = {1, 1, 1, 0};
    l.dvDirection = {0, 0, 1};
    dev->SetLight(0, &l);
    dev->LightEnable(0, TRUE);
    struct Vtx {
        float x, y, z, nx, ny, nz, u, v;
    };
    // Normal points at the camera (-z) before the world rotation.
    Vtx quad[4] = {{-2, -2, 0, 0, 0, -1, 0, 0}, {-2, 2, 0, 0, 0, -1, 0, 0}, {2, 2, 0, 0, 0, -1, 0, 0},
                   {2, -2, 0, 0, 0, -1, 0, 0}};
    WORD idx[6] = {0, 1, 2, 0, 2, 3};
    dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
    ASSERT_EQ(D3D_OK, dev->BeginScene());
    ASSERT_EQ(D3D_OK, dev->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 274, quad, 4, idx, 6, 0));
    ASSERT_EQ(D3D_OK, dev->EndScene());
    // Rotated normal: (0,0,-1) * RotY(0.5) = (-sin 0.5, 0, -cos 0.5); light travels +z.
    double nl = std::cos(0.5);
    double amb = 0x20 / 255.0;
    int want[3] = {(int)(255 * std::min(1.0, amb + 0.8 * nl)), (int)(255 * std::min(1.0, amb + 0.6 * nl)),
                   (int)(255 * std::min(1.0, amb + 0.4 * nl))};
    uint32_t p = rig.Pixel(16, 16);
    EXPECT_NEAR(want[0], (int)((p >> 16) & 255), 2);
    EXPECT_NEAR(want[1], (int)((p >> 8) & 255), 2);
    EXPECT_NEAR(want[2], (int)(p & 255), 2);
    EXPECT_EQ(p, rig.Pixel(12, 14));  // constant over the face
}

}  // namespace
