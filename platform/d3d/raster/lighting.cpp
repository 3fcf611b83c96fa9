#include "d3d/raster/lighting.h"

#include <cmath>

namespace sombrella::d3d::raster {
namespace {

Vec3 TransformPoint(const Vec3& p, const D3DMATRIX& m) {
    return {p.x * m._11 + p.y * m._21 + p.z * m._31 + m._41, p.x * m._12 + p.y * m._22 + p.z * m._32 + m._42,
            p.x * m._13 + p.y * m._23 + p.z * m._33 + m._43};
}

Vec3 TransformDirection(const Vec3& d, const D3DMATRIX& m) {
    return {d.x * m._11 + d.y * m._21 + d.z * m._31, d.x * m._12 + d.y * m._22 + d.z * m._32,
            d.x * m._13 + d.y * m._23 + d.z * m._33};
}

float Dot(const Vec3& a, const Vec3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

Vec3 Normalized(const Vec3& v) {
    float len = std::sqrt(Dot(v, v));
    if (!(len > 0.0f)) return {0.0f, 0.0f, 0.0f};
    float inv = 1.0f / len;
    return {v.x * inv, v.y * inv, v.z * inv};
}

float Clamp01(float v) { return v > 0.0f ? (v < 1.0f ? v : 1.0f) : 0.0f; }  // NaN becomes 0

const D3DCOLORVALUE& Pick(DWORD source, const D3DCOLORVALUE& material, const D3DCOLORVALUE* c1,
                          const D3DCOLORVALUE* c2) {
    if (source == D3DMCS_COLOR1 && c1) return *c1;
    if (source == D3DMCS_COLOR2 && c2) return *c2;
    return material;
}

}  // namespace

D3DCOLORVALUE ColorFromArgb(D3DCOLOR c) {
    const float k = 1.0f / 255.0f;
    return {((c >> 16) & 255) * k, ((c >> 8) & 255) * k, (c & 255) * k, ((c >> 24) & 255) * k};
}

void BuildLighting(const DeviceState& state, Lighting* out) {
    out->lights.clear();
    const D3DMATRIX& view = state.view;
    for (const auto& [index, slot] : state.lights) {
        (void)index;
        if (!slot.enabled) continue;
        const D3DLIGHT7& l = slot.light;
        ViewLight v{};
        v.type = l.dltType;
        v.diffuse = l.dcvDiffuse;
        v.specular = l.dcvSpecular;
        v.ambient = l.dcvAmbient;
        v.position = TransformPoint({l.dvPosition.x, l.dvPosition.y, l.dvPosition.z}, view);
        // Directions need not be unit length; lighting uses them normalised.
        v.direction = Normalized(TransformDirection({l.dvDirection.x, l.dvDirection.y, l.dvDirection.z}, view));
        v.range = l.dvRange;
        v.att0 = l.dvAttenuation0;
        v.att1 = l.dvAttenuation1;
        v.att2 = l.dvAttenuation2;
        v.cosHalfTheta = std::cos(l.dvTheta * 0.5f);
        v.cosHalfPhi = std::cos(l.dvPhi * 0.5f);
        v.falloff = l.dvFalloff;
        out->lights.push_back(v);
    }
    const DWORD* rs = state.renderState;
    out->globalAmbient = ColorFromArgb(rs[D3DRENDERSTATE_AMBIENT]);
    out->material = state.material;
    out->specular = rs[D3DRENDERSTATE_SPECULARENABLE] != 0;
    out->localViewer = rs[D3DRENDERSTATE_LOCALVIEWER] != 0;
    bool colorVertex = rs[D3DRENDERSTATE_COLORVERTEX] != 0;
    out->diffuseSource = colorVertex ? rs[D3DRENDERSTATE_DIFFUSEMATERIALSOURCE] : (DWORD)D3DMCS_MATERIAL;
    out->ambientSource = colorVertex ? rs[D3DRENDERSTATE_AMBIENTMATERIALSOURCE] : (DWORD)D3DMCS_MATERIAL;
    out->specularSource = colorVertex ? rs[D3DRENDERSTATE_SPECULARMATERIALSOURCE] : (DWORD)D3DMCS_MATERIAL;
    out->emissiveSource = colorVertex ? rs[D3DRENDERSTATE_EMISSIVEMATERIALSOURCE] : (DWORD)D3DMCS_MATERIAL;
}

void LightVertex(const Lighting& lighting, const Vec3& position, const Vec3& normal, const D3DCOLORVALUE* vertexDiffuse,
                 const D3DCOLORVALUE* vertexSpecular, float diffuseOut[4], float specularOut[3]) {
    const D3DMATERIAL7& m = lighting.material;
    const D3DCOLORVALUE& md = Pick(lighting.diffuseSource, m.diffuse, vertexDiffuse, vertexSpecular);
    const D3DCOLORVALUE& ma = Pick(lighting.ambientSource, m.ambient, vertexDiffuse, vertexSpecular);
    const D3DCOLORVALUE& ms = Pick(lighting.specularSource, m.specular, vertexDiffuse, vertexSpecular);
    const D3DCOLORVALUE& me = Pick(lighting.emissiveSource, m.emissive, vertexDiffuse, vertexSpecular);

    float ambR = lighting.globalAmbient.r, ambG = lighting.globalAmbient.g, ambB = lighting.globalAmbient.b;
    float difR = 0, difG = 0, difB = 0, spR = 0, spG = 0, spB = 0;
    Vec3 toEye = lighting.localViewer ? Normalized({-position.x, -position.y, -position.z}) : Vec3{0.0f, 0.0f, -1.0f};

    for (const ViewLight& l : lighting.lights) {
        Vec3 toLight;
        float scale = 1.0f;  // attenuation x spot factor
        if (l.type == D3DLIGHT_DIRECTIONAL) {
            toLight = {-l.direction.x, -l.direction.y, -l.direction.z};
        } else {
            Vec3 d{l.position.x - position.x, l.position.y - position.y, l.position.z - position.z};
            float dist = std::sqrt(Dot(d, d));
            if (!(dist <= l.range)) continue;
            float denom = l.att0 + l.att1 * dist + l.att2 * dist * dist;
            scale = denom > 0.0f ? 1.0f / denom : 0.0f;
            toLight = dist > 0.0f ? Vec3{d.x / dist, d.y / dist, d.z / dist} : Vec3{0.0f, 0.0f, 0.0f};
            if (l.type == D3DLIGHT_SPOT) {
                float rho = -Dot(toLight, l.direction);
                if (rho <= l.cosHalfPhi) continue;
                if (rho <= l.cosHalfTheta) {
                    float t = (rho - l.cosHalfPhi) / (l.cosHalfTheta - l.cosHalfPhi);
                    scale *= l.falloff == 1.0f ? t : std::pow(t, l.falloff);
                }
            }
        }
        ambR += l.ambient.r * scale;
        ambG += l.ambient.g * scale;
        ambB += l.ambient.b * scale;
        float nl = Dot(normal, toLight);
        if (nl > 0.0f) {
            difR += l.diffuse.r * nl * scale;
            difG += l.diffuse.g * nl * scale;
            difB += l.diffuse.b * nl * scale;
            if (lighting.specular) {
                Vec3 h = Normalized({toLight.x + toEye.x, toLight.y + toEye.y, toLight.z + toEye.z});
                float nh = Dot(normal, h);
                if (nh > 0.0f) {
                    float s = std::pow(nh, m.power) * scale;
                    spR += l.specular.r * s;
                    spG += l.specular.g * s;
                    spB += l.specular.b * s;
                }
            }
        }
    }
    diffuseOut[0] = Clamp01(me.r + ma.r * ambR + md.r * difR);
    diffuseOut[1] = Clamp01(me.g + ma.g * ambG + md.g * difG);
    diffuseOut[2] = Clamp01(me.b + ma.b * ambB + md.b * difB);
    diffuseOut[3] = Clamp01(md.a);
    specularOut[0] = Clamp01(ms.r * spR);
    specularOut[1] = Clamp01(ms.g * spG);
    specularOut[2] = Clamp01(ms.b * spB);
}

}  // namespace sombrella::d3d::raster
