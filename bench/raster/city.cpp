#include "city.h"

#include <cmath>

namespace bench {
namespace {

struct V3 {
    float x, y, z;
};
V3 Cross(V3 a, V3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }

// A rectangle facing n with half extents (hu along u, hv along v), wound
// clockwise as seen from the side n points to.
void AddFace(Mesh& m, V3 c, V3 n, float hu, float hv, float uvU, float uvV) {
    V3 v = std::fabs(n.y) > 0.5f ? V3{0, 0, 1} : V3{0, 1, 0};
    V3 u = Cross(v, {-n.x, -n.y, -n.z});
    WORD base = (WORD)m.vertices.size();
    const float su[4] = {-1, -1, 1, 1}, sv[4] = {-1, 1, 1, -1};
    for (int k = 0; k < 4; ++k) {
        float a = su[k] * hu, b = sv[k] * hv;
        m.vertices.push_back({c.x + u.x * a + v.x * b, c.y + u.y * a + v.y * b, c.z + u.z * a + v.z * b, n.x, n.y, n.z,
                              uvU * (su[k] + 1) / 2, uvV * (1 - sv[k]) / 2});
    }
    m.indices.insert(m.indices.end(), {base, (WORD)(base + 1), (WORD)(base + 2), base, (WORD)(base + 2),
                                       (WORD)(base + 3)});
}

}  // namespace

D3DMATRIX Multiply(const D3DMATRIX& a, const D3DMATRIX& b) {
    D3DMATRIX r{};
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            for (int k = 0; k < 4; ++k) r.m[i][j] += a.m[i][k] * b.m[k][j];
    return r;
}

City MakeCity() {
    City city;
    Mesh ground;
    AddFace(ground, {0, 0, 0}, {0, 1, 0}, 420, 420, 6, 6);
    city.meshes.push_back(ground);
    uint32_t seed = 12345;
    auto rnd = [&] {
        seed = seed * 1664525u + 1013904223u;
        return (seed >> 8) / 16777216.0f;
    };
    for (int gz = 0; gz < 12; ++gz)
        for (int gx = 0; gx < 13; ++gx) {
            float cx = (gx - 6) * 55.0f, cz = (gz - 5.5f) * 55.0f;
            float half = 14.0f + 8.0f * rnd(), height = 30.0f + 120.0f * rnd();
            Mesh box;
            const V3 sides[4] = {{1, 0, 0}, {-1, 0, 0}, {0, 0, 1}, {0, 0, -1}};
            for (const V3& n : sides)
                AddFace(box, {cx + n.x * half, height / 2, cz + n.z * half}, n, half, height / 2, 1, height / 60.0f);
            AddFace(box, {cx, height, cz}, {0, 1, 0}, half, half, 1, 1);
            AddFace(box, {cx, 0, cz}, {0, -1, 0}, half, half, 1, 1);
            city.meshes.push_back(box);
        }
    for (const Mesh& m : city.meshes) city.triangles += (int)m.indices.size() / 3;

    // Windows on a wall: small squares in a darker frame.
    int n = city.textureSize;
    city.texture.resize((size_t)n * n);
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            bool window = (x % 8) >= 2 && (x % 8) < 6 && (y % 8) >= 2 && (y % 8) < 7;
            int r = window ? 20 + (x * 7 + y * 3) % 10 : 24, g = window ? 45 + (x * 5) % 18 : 48,
                b = window ? 28 : 20 + (y % 3);
            city.texture[(size_t)y * n + x] = (uint16_t)((r << 11) | (g << 5) | b);
        }

    // The demo's projection: fov 0.8, aspect 1.333, planes 10 and 2000.
    float h = 1.0f / std::tan(0.4f), zn = 10.0f, zf = 2000.0f;
    city.projection = D3DMATRIX{};
    city.projection._11 = h / 1.333f;
    city.projection._22 = h;
    city.projection._33 = zf / (zf - zn);
    city.projection._34 = 1.0f;
    city.projection._43 = -zn * zf / (zf - zn);

    city.light = D3DLIGHT7{};
    city.light.dltType = D3DLIGHT_DIRECTIONAL;
    city.light.dcvDiffuse = {1.9f, 1.9f, 1.9f, 0};
    city.light.dcvSpecular = {1, 1, 1, 0};
    city.light.dcvAmbient = {0.9f, 0.9f, 0.5f, 0};
    city.light.dvDirection = {0.2f, -1.0f, 0.5f};
    city.material = D3DMATERIAL7{};
    city.material.diffuse = {0.7f, 0.7f, 0.7f, 1};
    city.material.ambient = {0.4f, 0.4f, 0.4f, 1};
    return city;
}

D3DMATRIX ViewForFrame(int frame) {
    // Look-at from an eye circling at radius 520, height 260, towards the origin.
    float a = 0.6f + frame * 0.01f;
    float ex = std::sin(a) * 520.0f, ey = 260.0f, ez = std::cos(a) * 520.0f;
    float fx = -ex, fy = -ey, fz = -ez;
    float fl = std::sqrt(fx * fx + fy * fy + fz * fz);
    fx /= fl, fy /= fl, fz /= fl;
    // right = up x forward, up' = forward x right (left-handed).
    float rx = fz, ry = 0, rz = -fx;
    float rl = std::sqrt(rx * rx + rz * rz);
    rx /= rl, rz /= rl;
    float ux = fy * rz - fz * ry, uy = fz * rx - fx * rz, uz = fx * ry - fy * rx;
    D3DMATRIX v{};
    v._11 = rx, v._12 = ux, v._13 = fx;
    v._21 = ry, v._22 = uy, v._23 = fy;
    v._31 = rz, v._32 = uz, v._33 = fz;
    v._41 = -(ex * rx + ey * ry + ez * rz);
    v._42 = -(ex * ux + ey * uy + ez * uz);
    v._43 = -(ex * fx + ey * fy + ez * fz);
    v._44 = 1;
    return v;
}

}  // namespace bench
