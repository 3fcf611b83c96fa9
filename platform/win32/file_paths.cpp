// Backslash paths from the system code reach the C library's fopen unchanged;
// the link option --wrap=fopen routes those calls through here first. Files
// opened for reading must be regular files, and opening them never blocks.
#include "win32/file_paths.h"

#include <cstdio>
#include <cstring>

#include "common/regular_file.h"

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
    if (!path || !mode) return __real_fopen(path, mode);
    const bool mapped = std::strchr(path, '\\') != nullptr;
    const std::string name = mapped ? sombrella::win32::MapPath(path) : std::string();
    const char* p = mapped ? name.c_str() : path;
    if (mode[0] == 'r') return sombrella::files::OpenRegularStream(p, mode);
    return __real_fopen(p, mode);
}

}  // extern "C"
