// Stable text and JSON forms of a loaded scene tree, shared by sombrella-xdump
// and the scene tests (which compare the dumps of text and binary files).
#pragma once

#include <string>

#include "scene/scene_file.h"

namespace xdump {

struct DumpOptions {
    bool json = false;
    bool vertices = false;  // every vertex and every stored index as well
};

std::string DumpScene(const SceneFile& scene, const DumpOptions& options);
// Name of a result code the loader may return, e.g. "DXFILEERR_PARSEERROR".
const char* DescribeResult(long code);

}  // namespace xdump
