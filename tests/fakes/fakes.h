// Recording fakes of DirectDraw 7 and Direct3D 7 for unit tests.
//
//   FakeWorld world;                         // owns every fake until it ends
//   auto set = world.CreateDeviceSet(IID_IDirect3DHALDevice);  // or CreateDirectDraw()
//   world.SetZBufferFormats(type, {...}); world.FailCreateDevice(type, hr);
//   world.SetCaps(type, desc); world.textureFormats = {...};
//   set.ddraw->FailNth("CreateSurface", 2, DDERR_OUTOFMEMORY);  // any method, any fake
//   ... run the code under test ...
//   world.log.Lines() / Filter({"SetRenderState"}) / IndexOf("BeginScene()") / Dump()
//   set.device->draws[i]  (indices, vertices, state in force at each draw)
//   world.Unbalanced().empty()  (every reference handed out was released once)
//   world.log.errors.empty()    (no over-release, use after release, nested scenes)
#pragma once

#include "fakes/call_log.h"
#include "fakes/fake_d3d.h"
#include "fakes/fake_ddraw.h"
#include "fakes/fake_device.h"
#include "fakes/fake_surface.h"
#include "fakes/fake_world.h"
