# Cross toolchain: 64-bit Windows through MinGW-w64, run under 64-bit Wine.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(VANTOR_MINGW_TRIPLE x86_64-w64-mingw32)
set(VANTOR_WINE_ARCH x64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
