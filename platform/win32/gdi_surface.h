// GDI device contexts that draw into DirectDraw surface memory
// (IDirectDrawSurface7::GetDC), shared by platform/ddraw and GDI.
#pragma once

#include "ddraw.h"

namespace sombrella::gdi {

// A device context whose pixels are the given memory in the given format.
// BitBlt into it converts to that format. The memory must outlive the DC.
HDC CreateSurfaceDC(void* bits, LONG pitch, DWORD width, DWORD height, const DDPIXELFORMAT& format);
void DestroySurfaceDC(HDC dc);

}  // namespace sombrella::gdi
