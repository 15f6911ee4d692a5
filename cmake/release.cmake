# The version and the shipped build, included by the top-level CMakeLists.txt.
#
# One version number, the project's, fills the module's version record (src/resources/Version.rc)
# and names the installer packages (scripts/package.sh reads VANTOR_VERSION from the cache).
set(VANTOR_VERSION ${PROJECT_VERSION} CACHE INTERNAL "version of the module and its packages")
add_compile_definitions($<$<COMPILE_LANGUAGE:RC>:VANTOR_VERSION_MAJOR=${PROJECT_VERSION_MAJOR}>
    $<$<COMPILE_LANGUAGE:RC>:VANTOR_VERSION_MINOR=${PROJECT_VERSION_MINOR}>
    $<$<COMPILE_LANGUAGE:RC>:VANTOR_VERSION_PATCH=${PROJECT_VERSION_PATCH}>)

# The shipped module is built with CMAKE_BUILD_TYPE=Release, in trees of its own (scripts/package.sh
# builds them and only the module in them); the test trees keep RelWithDebInfo. Optimised for size:
# the benchmark program's measures that run the module's own code (string building, language files)
# take the same processor time as with -O2, the rest is the system's time. Every function and datum
# sits in a section of its own, so that the linker drops what nothing uses. The debug information
# goes into a separate file beside the module, which the stripped module names in its debug link.
set(CMAKE_C_FLAGS_RELEASE "-Os -g -DNDEBUG -ffunction-sections -fdata-sections")
set(CMAKE_CXX_FLAGS_RELEASE "-Os -g -DNDEBUG -ffunction-sections -fdata-sections")

# vantor_release_module(TARGET): in a release tree, the module's link drops unused sections, and
# TARGET.debug beside it takes the symbols the shipped file no longer carries.
function(vantor_release_module target)
    if(NOT CMAKE_BUILD_TYPE STREQUAL "Release")
        return()
    endif()
    target_link_options(${target} PRIVATE -Wl,--gc-sections)
    add_custom_command(TARGET ${target} POST_BUILD
        COMMAND ${CMAKE_OBJCOPY} --only-keep-debug $<TARGET_FILE_NAME:${target}> $<TARGET_FILE_NAME:${target}>.debug
        COMMAND ${CMAKE_STRIP} --strip-all $<TARGET_FILE_NAME:${target}>
        COMMAND ${CMAKE_OBJCOPY} --add-gnu-debuglink=$<TARGET_FILE_NAME:${target}>.debug $<TARGET_FILE_NAME:${target}>
        WORKING_DIRECTORY $<TARGET_FILE_DIR:${target}>
        VERBATIM)
endfunction()
