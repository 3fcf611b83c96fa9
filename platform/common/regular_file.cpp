#include "common/regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace sombrella::files {
namespace {

int OpenRegularWith(const char* path, int access) {
    if (!path) {
        errno = EINVAL;
        return -1;
    }
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer.
    int fd;
    do {
        fd = ::open(path, access | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return -1;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int why = S_ISDIR(st.st_mode) ? EISDIR : ENXIO;
        ::close(fd);
        errno = why;
        return -1;
    }
    // Regular files never block; reads then behave as usual.
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    return fd;
}

}  // namespace

int OpenRegular(const char* path) { return OpenRegularWith(path, O_RDONLY); }

std::FILE* OpenRegularStream(const char* path, const char* mode) {
    const bool update = mode && std::strchr(mode, '+');
    const int fd = OpenRegularWith(path, update ? O_RDWR : O_RDONLY);
    if (fd < 0) return nullptr;
    std::FILE* f = ::fdopen(fd, mode);
    if (!f) {
        const int why = errno;
        ::close(fd);
        errno = why;
    }
    return f;
}

}  // namespace sombrella::files
