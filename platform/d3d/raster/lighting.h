// Per-vertex D3D7 lighting, done in view space (camera at the origin).
#pragma once

#include <d3d.h>

#include <vector>

#include "d3d/raster/state.h"

namespace sombrella::d3d::raster {

struct Vec3 {
    float x, y, z;
};

struct ViewLight {
    D3DLIGHTTYPE type;
    D3DCOLORVALUE diffuse, specular, ambient;
    Vec3 position;   // view space
    Vec3 direction;  // view space, unit length, the way the light travels
    float range;
    float att0, att1, att2;
    float cosHalfTheta, cosHalfPhi, falloff;
};

struct Lighting {
    std::vector<ViewLight> lights;  // enabled ones only
    D3DCOLORVALUE globalAmbient{};
    D3DMATERIAL7 material{};
    bool specular = false;
    bool localViewer = true;
    // Where each material colour comes from for vertices that carry colours.
    DWORD diffuseSource = D3DMCS_MATERIAL, ambientSource = D3DMCS_MATERIAL;
    DWORD specularSource = D3DMCS_MATERIAL, emissiveSource = D3DMCS_MATERIAL;
};

// Gathers the enabled lights into view space with the view matrix.
void BuildLighting(const DeviceState& state, Lighting* out);

// Lights one vertex. position and normal are in view space; vertexDiffuse
// and vertexSpecular are the vertex's own colours (null when absent).
// Outputs are clamped to [0, 1]: diffuse RGBA, specular RGB.
void LightVertex(const Lighting& lighting, const Vec3& position, const Vec3& normal, const D3DCOLORVALUE* vertexDiffuse,
                 const D3DCOLORVALUE* vertexSpecular, float diffuseOut[4], float specularOut[3]);

D3DCOLORVALUE ColorFromArgb(D3DCOLOR c);

}  // namespace sombrella::d3d::raster
