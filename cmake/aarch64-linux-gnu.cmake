# Cross-compiling for 64-bit Arm Linux with Debian's g++-aarch64-linux-gnu.
# The arm64 libraries (SDL2, libopenmpt, zlib, libpng, Highway, GoogleTest,
# FFmpeg) come from a folder of unpacked Debian arm64 packages,
# SOMBRELLA_ARM64_SYSROOT (scripts/build-arm64.sh makes it); programs made at
# build time and the tests run under qemu-user with that folder as their root.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(triple aarch64-linux-gnu)
set(CMAKE_C_COMPILER ${triple}-gcc)
set(CMAKE_CXX_COMPILER ${triple}-g++)
set(CMAKE_LIBRARY_ARCHITECTURE ${triple})

if(NOT SOMBRELLA_ARM64_SYSROOT)
  set(SOMBRELLA_ARM64_SYSROOT "$ENV{SOMBRELLA_ARM64_SYSROOT}")
endif()
if(NOT IS_DIRECTORY "${SOMBRELLA_ARM64_SYSROOT}/usr/lib/${triple}")
  message(FATAL_ERROR "SOMBRELLA_ARM64_SYSROOT must name the unpacked arm64 packages (scripts/build-arm64.sh)")
endif()
# try_compile projects read this file again: hand them the folder too.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES SOMBRELLA_ARM64_SYSROOT)
set(sysroot ${SOMBRELLA_ARM64_SYSROOT})

set(CMAKE_FIND_ROOT_PATH /usr/${triple} ${sysroot})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The C library and libstdc++ are the cross compiler's; everything else is
# found in the folder, and the libraries those need are resolved there (with
# PulseAudio's private one, which SDL's sound library finds by its RUNPATH).
# AArch64 has fused multiply-add in its base set, and g++ fuses a * b + c
# wherever it can unless told not to: x86-64, which has none in its base set,
# rounds each step, and so must this build for the same pictures.
set(CMAKE_C_FLAGS_INIT "-ffp-contract=off -isystem ${sysroot}/usr/include/${triple} -isystem ${sysroot}/usr/include")
set(CMAKE_CXX_FLAGS_INIT "${CMAKE_C_FLAGS_INIT}")
foreach(kind EXE SHARED MODULE)
  set(CMAKE_${kind}_LINKER_FLAGS_INIT
      "-L${sysroot}/usr/lib/${triple} -Wl,-rpath-link,${sysroot}/usr/lib/${triple}:${sysroot}/lib/${triple}:${sysroot}/usr/lib/${triple}/pulseaudio")
endforeach()

# pkg-config reads the folder's .pc files and prefixes their paths with it.
set(ENV{PKG_CONFIG_LIBDIR} "${sysroot}/usr/lib/${triple}/pkgconfig:${sysroot}/usr/share/pkgconfig")
set(ENV{PKG_CONFIG_SYSROOT_DIR} "${sysroot}")
set(ENV{PKG_CONFIG_PATH} "")

find_program(SOMBRELLA_QEMU_AARCH64 qemu-aarch64 REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${SOMBRELLA_QEMU_AARCH64} -L ${sysroot})
