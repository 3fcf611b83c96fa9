// Windows: opening a file never waits for a writer, so checking that the name
// is a regular file before opening it is enough.
#include "common/regular_file.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cerrno>

namespace sombrella::files {
namespace {

bool IsRegular(const char* path) {
    if (!path) {
        errno = EINVAL;
        return false;
    }
    struct _stat64 st {};
    if (_stat64(path, &st) != 0) return false;
    if (!(st.st_mode & _S_IFREG)) {
        errno = (st.st_mode & _S_IFDIR) ? EISDIR : ENXIO;
        return false;
    }
    return true;
}

}  // namespace

int OpenRegular(const char* path) { return IsRegular(path) ? _open(path, _O_RDONLY | _O_BINARY) : -1; }

std::FILE* OpenRegularStream(const char* path, const char* mode) {
    return IsRegular(path) ? std::fopen(path, mode) : nullptr;
}

}  // namespace sombrella::files
