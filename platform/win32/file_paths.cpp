// Backslash paths from the system code reach the C library's fopen unchanged;
// the link option --wrap=fopen routes those calls through here first.
#include "win32/file_paths.h"

#include <cstdio>
#include <cstring>

namespace sombrella::win32 {

std::string MapPath(const char* path) {
    std::string mapped = path ? path : "";
    for (char& c : mapped)
        if (c == '\\') c = '/';
    return mapped;
}

}  // namespace sombrella::win32

extern "C" {

FILE* __real_fopen(const char* path, const char* mode);
FILE* __wrap_fopen(const char* path, const char* mode);

FILE* __wrap_fopen(const char* path, const char* mode) {
    if (!path || !std::strchr(path, '\\')) return __real_fopen(path, mode);
    return __real_fopen(sombrella::win32::MapPath(path).c_str(), mode);
}

}  // extern "C"
