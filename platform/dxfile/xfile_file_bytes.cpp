// Whole files for the parser, read in one go into memory that is not
// cleared first (a large file costs one copy, no more).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <new>
#include <string>

#include "common/regular_file.h"
#include "dxfile.h"
#include "xfile_model.h"

namespace dxfile {

HRESULT FileBytes::Read(const char* path, FileBytes& out) {
    std::string p(path);
    for (char& c : p) {
        if (c == '\\') c = '/';
    }
    // Only regular files, opened without waiting on a FIFO's writer.
    int fd = sombrella::files::OpenRegular(p.c_str());
    if (fd < 0) return DXFILEERR_FILENOTFOUND;
    struct stat st;
    HRESULT hr = S_OK;
    if (fstat(fd, &st) != 0) {
        hr = DXFILEERR_FILENOTFOUND;
    } else if (size_t(st.st_size) > kMaxFileBytes) {
        hr = DXFILEERR_BADFILE;
    } else {
        size_t size = size_t(st.st_size);
        std::unique_ptr<char[]> buf(new (std::nothrow) char[size ? size : 1]);
        size_t got = 0;
        if (!buf) hr = DXFILEERR_BADALLOC;
        while (hr == S_OK && got < size) {
            ssize_t n = read(fd, buf.get() + got, size - got);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;  // the file shrank: take what is there
            got += size_t(n);
        }
        if (hr == S_OK) {
            out = FileBytes();
            out.raw_ = std::move(buf);
            out.rawSize_ = got;
        }
    }
    close(fd);
    return hr;
}

}  // namespace dxfile
