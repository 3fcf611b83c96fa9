// What the demo shows: its texture, scene, box and lights.
#pragma once

#include "d3d.h"

class SceneFile;
class BoxPrimitive;

extern LPDIRECTDRAWSURFACE7 g_demoTexture;
extern SceneFile* g_scene;
extern BoxPrimitive* g_box;

int InitScene();
void InitLights();
void ToggleLight(DWORD index);
