// The demo's scene: a round city of six identical districts around a central
// tower in a glass pavilion, on a round ground inside a ring of dusk sky,
// laid out for the demo's orbiting camera.
#pragma once

#include "x_model.h"

namespace make_scene {

// Texture file that the untextured surfaces (paving, ground, sky) name: the
// demo's registry gives no surface for it, so they draw without the facade.
constexpr const char* kPavingTexture = "plaza.tga";

// The city repeats every 60 degrees about the point the camera circles, so
// the picture stands nearly still whenever the camera's step per frame is a
// whole multiple of 60 degrees.
constexpr int kSymmetry = 6;

// Wall texture layout: one bay and one storey are kBay units of wall; the
// facade texture holds kTextureBays x kTextureBays of them. Every wall is a
// whole number of bays long and starts at a bay boundary.
constexpr float kBay = 16.0f;
constexpr int kTextureBays = 8;

// The sky ring's radius about the orbit centre, inside the far plane from
// every point of the orbit, and its height.
constexpr float kSkyRadius = 1150.0f;
constexpr float kSkyTop = 420.0f;

XScene BuildCity();

}  // namespace make_scene
