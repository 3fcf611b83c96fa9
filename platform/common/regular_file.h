// Opening input files without ever blocking: a FIFO, a device or a directory
// under a data file's name is refused instead of hanging start-up in open().
#pragma once

#include <cstdio>

namespace sombrella::files {

// A descriptor open for reading on a regular file, or -1 with errno set
// (ENXIO or EISDIR for what is not a regular file).
int OpenRegular(const char* path);

// The same as a stdio stream; `mode` is a read mode ("r", "rb", "r+b", ...).
std::FILE* OpenRegularStream(const char* path, const char* mode);

}  // namespace sombrella::files
