#include "app/content.h"

#include <cfloat>
#include <cmath>
#include <cstring>

#include "app/box.h"
#include "device/display.h"
#include "device/texture_surface.h"
#include "scene/scene_file.h"

LPDIRECTDRAWSURFACE7 g_demoTexture = nullptr;
SceneFile* g_scene = nullptr;
BoxPrimitive* g_box = nullptr;

namespace {

D3DCOLORVALUE Color(float r, float g, float b, float a) { return {r, g, b, a}; }

}  // namespace

int InitScene() {
    g_demoTexture = LoadBitmapTexture(g_device, "building.bmp");

    g_scene = new SceneFile();
    if (g_scene->Load("vo.x") < 0) {
        RecordStartupMessage("Error Loading Direct3D X File");
        return 0;
    }
    g_scene->Scale(-0.5f);

    g_box = new BoxPrimitive(125.0f, 0.0f, 125.0f, 50.0f, 150.0f, 50.0f);
    g_box->SetAmbientColor(1.0f, 1.0f, 1.0f, 1.0f);
    g_box->SetDiffuseColor(0.7f, 0.7f, 0.7f, 1.0f);
    g_box->SetSpecularColor(1.0f, 1.0f, 1.0f, 1.0f, 80.0f);
    return 1;
}

void InitLights() {
    g_device->SetRenderState(D3DRENDERSTATE_LIGHTING, TRUE);
    g_device->LightEnable(0, FALSE);
    g_device->LightEnable(1, FALSE);
    g_device->LightEnable(2, FALSE);

    // The largest range: the square root of FLT_MAX in double precision.
    const float range = static_cast<float>(std::sqrt(static_cast<double>(FLT_MAX)));
    const float theta = 3.14f / 3.0f;
    const float phi = 2.0f * 3.14f / 3.0f;

    D3DLIGHT7 light;
    std::memset(&light, 0, sizeof(light));
    light.dltType = D3DLIGHT_POINT;
    light.dcvDiffuse = Color(0.8f, 0.2f, 0.2f, 0.0f);
    light.dcvSpecular = Color(1.0f, 1.0f, 1.0f, 0.0f);
    light.dvPosition = {0.0f, 200.0f, 0.0f};
    light.dvRange = range;
    light.dvAttenuation0 = 1.0f;
    g_device->SetLight(0, &light);

    std::memset(&light, 0, sizeof(light));
    light.dltType = D3DLIGHT_SPOT;
    light.dcvDiffuse = Color(0.2f, 0.8f, 0.2f, 0.0f);
    light.dcvSpecular = Color(1.0f, 1.0f, 1.0f, 0.0f);
    light.dvPosition = {0.0f, 200.0f, 0.0f};
    light.dvDirection = {0.0f, -1.0f, 0.0f};
    light.dvRange = range;
    light.dvFalloff = 1.0f;
    light.dvAttenuation0 = 1.0f;
    light.dvTheta = theta;
    light.dvPhi = phi;
    g_device->SetLight(1, &light);

    std::memset(&light, 0, sizeof(light));
    light.dltType = D3DLIGHT_DIRECTIONAL;
    light.dcvDiffuse = Color(1.9f, 1.9f, 1.9f, 0.0f);
    light.dcvSpecular = Color(1.0f, 1.0f, 1.0f, 0.0f);
    light.dcvAmbient = Color(0.9f, 0.9f, 0.5f, 0.0f);
    light.dvDirection = {0.2f, -1.0f, 0.5f};
    g_device->SetLight(2, &light);

    ToggleLight(2);
}

void ToggleLight(DWORD index) {
    // A light the device cannot report counts as off, so the toggle turns it on.
    BOOL enabled = FALSE;
    g_device->GetLightEnable(index, &enabled);
    g_device->LightEnable(index, enabled ? FALSE : TRUE);
}
