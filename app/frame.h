// One frame of the demo: camera orbit, lights, scene, flip.
#pragma once

#include "windows.h"

void RenderFrame(float seconds);
void AnimateLights();

// Animation state, exposed for inspection.
extern float g_orbitAngle;
extern float g_lightPhase[2];
