#include "app/frame.h"

#include <cmath>
#include <cstring>

#include "app/content.h"
#include "app/shell.h"
#include "device/display.h"
#include "scene/scene_file.h"
#include "util/matrix.h"

float g_orbitAngle = 3.14159265358979f;
float g_lightPhase[2] = {0.0f, 2.0933335f};

namespace {

constexpr float kOrbitRadius = 800.0f;
constexpr float kEyeHeight = 350.0f;
constexpr float kLightRadius = 150.0f;
constexpr float kLightHeight = 200.0f;
constexpr float kMillisecond = 0.001f;
constexpr float kLightSpeed = 0.785f;

bool g_lightClockStarted = false;
DWORD g_lightClockLast = 0;

void RestoreIfLost(LPDIRECTDRAWSURFACE7 surface) {
    // The demo texture may be missing (no "building.bmp"): nothing to check.
    if (surface && surface->IsLost() == DDERR_SURFACELOST) surface->Restore();
}

void MoveLight(DWORD index, float phase) {
    // Cleared first: a light the device cannot report is not read as garbage.
    D3DLIGHT7 light;
    std::memset(&light, 0, sizeof(light));
    g_device->GetLight(index, &light);
    light.dvPosition.x = std::cos(phase) * kLightRadius;
    light.dvPosition.y = kLightHeight;
    light.dvPosition.z = std::sin(phase) * kLightRadius;
    g_device->SetLight(index, &light);
}

}  // namespace

void AnimateLights() {
    if (!g_lightClockStarted) {
        g_lightClockStarted = true;
        g_lightClockLast = timeGetTime();
    }
    const DWORD now = timeGetTime();
    const DWORD ms = now - g_lightClockLast;
    const double step = static_cast<double>(ms) * static_cast<double>(kMillisecond) * static_cast<double>(kLightSpeed);
    g_lightPhase[0] = static_cast<float>(g_lightPhase[0] + step);
    g_lightPhase[1] = static_cast<float>(g_lightPhase[1] + step);
    MoveLight(0, g_lightPhase[0]);
    MoveLight(1, g_lightPhase[1]);
    g_lightClockLast = now;
}

void RenderFrame(float seconds) {
    RestoreIfLost(g_primarySurface);
    RestoreIfLost(g_backBuffer);
    RestoreIfLost(g_depthSurface);
    RestoreIfLost(g_demoTexture);

    g_orbitAngle = g_orbitAngle + g_orbitRate * seconds;
    const Vector3 eye(std::sin(g_orbitAngle) * kOrbitRadius, kEyeHeight, std::cos(g_orbitAngle) * kOrbitRadius);
    const Vector3 at(0.0f, 0.0f, 0.0f);
    const Vector3 up(0.0f, 1.0f, 0.0f);
    Matrix4 view;
    MakeLookAt(view, eye, at, up);
    g_device->SetTransform(D3DTRANSFORMSTATE_VIEW, &view);

    g_device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0x00000000, 1.0f, 0);
    // Without a demo texture this binds none: the scene draws untextured.
    g_device->SetTexture(0, g_demoTexture);

    if (g_device->BeginScene() >= 0) {
        AnimateLights();
        if (g_scene) {
            Matrix4 world;
            MakeIdentity(world);
            world._41 = 0.0f;
            world._42 = 10.0f;
            world._43 = -120.0f;
            g_device->SetTransform(D3DTRANSFORMSTATE_WORLD, &world);
            g_scene->Render(g_device);
            MakeIdentity(world);
            g_device->SetTransform(D3DTRANSFORMSTATE_WORLD, &world);
        }
        g_device->EndScene();
    }
    g_primarySurface->Flip(nullptr, DDFLIP_WAIT);
}
