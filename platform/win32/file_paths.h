// The platform writes paths with backslashes; the file system here wants slashes.
#pragma once

#include <string>

namespace sombrella::win32 {

// The path with every '\' turned into '/'.
std::string MapPath(const char* path);

}  // namespace sombrella::win32
