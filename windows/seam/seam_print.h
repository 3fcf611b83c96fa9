// Printers for the seam check: one line per name, "kind name value", in a
// form that is equal exactly when the two headers agree.
#pragma once

#ifdef SEAM_REAL
#include <windows.h>
#include <ddraw.h>
#include <d3d.h>
#include <dxfile.h>
#include "rmxfguid.h"
#else
#include "windows.h"
#include "ddraw.h"
#include "d3d.h"
#include "dxfile.h"
#include "rmxfguid.h"
#endif

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <type_traits>

namespace seam {

template <class T>
void Value(const char* name, const T& v) {
    using U = std::decay_t<T>;
    if constexpr (std::is_array_v<T>) {
        std::printf("string %s \"%s\"\n", name, v);
    } else if constexpr (std::is_floating_point_v<U>) {
        std::printf("float %s %a\n", name, static_cast<double>(v));
    } else if constexpr (std::is_pointer_v<U>) {
        std::printf("pointer %s 0x%llx\n", name, static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(v)));
    } else {
        // Signed and unsigned spellings of one bit pattern are the same constant.
        const unsigned long long bits = static_cast<unsigned long long>(v) &
                                        (sizeof(U) >= 8 ? ~0ull : ((1ull << (8 * sizeof(U))) - 1));
        std::printf("value %s 0x%llx\n", name, bits);
    }
}

inline void Guid(const char* name, const GUID& g) {
    unsigned char b[sizeof(GUID)];
    std::memcpy(b, &g, sizeof b);
    std::printf("guid %s", name);
    for (unsigned char c : b) std::printf(" %02x", c);
    std::printf("\n");
}

}  // namespace seam

#ifdef SEAM_LAYOUT_ONLY
// Sizes and offsets as the compiler sees them, written into its assembly
// output: the i686 layouts are compared where no 32-bit Wine can run a
// printout. Constants and GUIDs do not depend on the architecture and are
// compared by the x86-64 printout.
#define SEAM_VALUE(name)
#define SEAM_GUID(name)
#define SEAM_SIZE(type) asm volatile("#seam size " #type " %c0" ::"i"(sizeof(type)))
#define SEAM_OFFSET(type, member) \
    asm volatile("#seam offset " #type "." #member " %c0" ::"i"(offsetof(type, member)))
#else
#define SEAM_VALUE(name) seam::Value(#name, name)
#define SEAM_GUID(name) seam::Guid(#name, name)
#define SEAM_SIZE(type) std::printf("size %s %zu\n", #type, sizeof(type))
#define SEAM_OFFSET(type, member) \
    std::printf("offset %s.%s %zu\n", #type, #member, static_cast<size_t>(offsetof(type, member)))
#endif
