// The process-wide device objects, empty until set up.
#pragma once

#include "d3d.h"

extern LPDIRECTDRAW7 g_directDraw;
extern LPDIRECTDRAWSURFACE7 g_primarySurface;
extern LPDIRECTDRAWSURFACE7 g_backBuffer;
extern LPDIRECTDRAWSURFACE7 g_depthSurface;
extern LPDIRECT3D7 g_direct3D;
extern LPDIRECT3DDEVICE7 g_device;

// The start-up message: a fixed text recorded by the step that failed.
extern const char* g_startupMessage;
inline void RecordStartupMessage(const char* text) { g_startupMessage = text; }
