#!/bin/sh
# Compiler launcher: runs the win32-thread-model twin of the posix-thread-model compiler that CMake
# hands over first (i686-w64-mingw32-g++-posix becomes i686-w64-mingw32-g++-win32), with the same
# arguments.
compiler=$1
shift
case $compiler in
*-posix) exec "${compiler%-posix}-win32" "$@" ;;
*) echo "win32-threads.sh: $compiler is not a -posix compiler" >&2; exit 2 ;;
esac
