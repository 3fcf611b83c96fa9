// Recording fakes of DirectDraw 7 and Direct3D 7 for unit tests.
#pragma once

#include "fakes/call_log.h"
#include "fakes/fake_d3d.h"
#include "fakes/fake_ddraw.h"
#include "fakes/fake_device.h"
#include "fakes/fake_surface.h"
#include "fakes/fake_world.h"
