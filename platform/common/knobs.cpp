#include "common/knobs.h"

#include <cerrno>
#include <cstdlib>

namespace sombrella::knobs {

const char* String(const char* name) {
    const char* v = std::getenv(name);
    return (v && *v) ? v : nullptr;
}

long Int(const char* name, long fallback) {
    const char* v = String(name);
    if (!v) return fallback;
    char* end = nullptr;
    errno = 0;
    long n = std::strtol(v, &end, 10);
    if (errno != 0 || end == v || *end != '\0') return fallback;
    return n;
}

bool Flag(const char* name) {
    const char* v = String(name);
    return v && !(v[0] == '0' && v[1] == '\0');
}

}  // namespace sombrella::knobs
