// Entry point of the Direct3D 7 implementation, used by DirectDraw's QueryInterface.
#pragma once

#include <d3d.h>
#include <ddraw.h>

namespace sombrella::d3d {

// Returns a new IDirect3D7 with one reference. It holds a reference on `ddraw`
// for its lifetime. Returns nullptr if `ddraw` is null.
IDirect3D7* CreateDirect3D(IDirectDraw7* ddraw);

}  // namespace sombrella::d3d
