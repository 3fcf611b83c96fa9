// The demo's scene: a small city around a square, with a tower, trees, a glass
// pavilion and the streets, laid out for the demo's orbiting camera.
#pragma once

#include "x_model.h"

namespace make_scene {

// Texture file that the square's paving material names.
constexpr const char* kPavingTexture = "plaza.tga";

XScene BuildCity();

}  // namespace make_scene
