# Cross toolchain: 32-bit Windows through MinGW-w64, run under 32-bit Wine.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(VANTOR_MINGW_TRIPLE i686-w64-mingw32)
set(VANTOR_WINE_ARCH x86)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
