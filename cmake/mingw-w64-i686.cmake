# 32-bit Windows (PE32, i686): the demo's own target.
set(SOMBRELLA_MINGW_ARCH i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
