// Exclusive 640x480x16 display with a flip chain, depth buffer and device.
#pragma once

#include "device/device_globals.h"

// Depth search state: whether a format was accepted and for which device
// kind (1 TnLHal, 2 HAL, 3 MMX, 4 RGB; 0 none).
extern DWORD g_depthFormatFound;
extern BYTE g_depthDeviceKind;

int InitDisplay(HWND window);
int InitDevice();
HRESULT CALLBACK EnumDepthFormatCallback(LPDDPIXELFORMAT candidate, LPVOID context);
