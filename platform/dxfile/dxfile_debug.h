// Test hook of the X-file services: how many of their objects are alive.
#pragma once

namespace dxfile {
long LiveObjectCount();
}
