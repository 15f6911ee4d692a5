# Shared part of the two cross toolchains (mingw-i686.cmake, mingw-x86_64.cmake): MinGW-w64 with
# the posix thread model (GoogleTest needs std::mutex), every program run under Wine in the build
# tree's own prefix.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER   ${VANTOR_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VANTOR_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER  ${VANTOR_MINGW_TRIPLE}-windres)
set(CMAKE_AR           ${VANTOR_MINGW_TRIPLE}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB       ${VANTOR_MINGW_TRIPLE}-ranlib CACHE FILEPATH "")
set(CMAKE_OBJDUMP      ${VANTOR_MINGW_TRIPLE}-objdump CACHE FILEPATH "")
set(CMAKE_OBJCOPY      ${VANTOR_MINGW_TRIPLE}-objcopy CACHE FILEPATH "")
set(CMAKE_STRIP        ${VANTOR_MINGW_TRIPLE}-strip CACHE FILEPATH "")

set(CMAKE_FIND_ROOT_PATH /usr/${VANTOR_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Every Windows program the build makes runs under Wine, in the build tree's own prefix of the
# architecture's kind (a 32-bit prefix for the i686 tree, a 64-bit one for the x86_64 tree).
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh ${VANTOR_WINE_ARCH})

# The shipped module is compiled and linked by the win32-thread-model twin of the compiler above
# (g++-win32, same version, same flags): a launcher that swaps the one for the other, set on the
# module's targets only (vantor_win32_threads in CMakeLists.txt).
set(VANTOR_WIN32_THREADS sh ${CMAKE_CURRENT_LIST_DIR}/win32-threads.sh)
