// The process: window, start-up order, music, the timed frame loop, release.
#pragma once

#include "fmod.h"
#include "windows.h"

extern HWND g_window;
extern FMUSIC_MODULE* g_music;
// Radians per second of the camera orbit for the coming frame.
extern float g_orbitRate;

int InitApp(HINSTANCE instance, int showCommand);
LRESULT CALLBACK DemoWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void ShutDown();

constexpr UINT_PTR kExitTimerId = 1234;
constexpr UINT kExitTimerMs = 42000;
