# CMake toolchain file: cross compile 64-bit Windows (x86_64) programs with
# Debian's mingw-w64 packages (g++-mingw-w64-x86-64-posix).
#
# The product is 32-bit (cmake/mingw-i686.cmake). This build exists only so
# that the tests can run under 64-bit Wine on a machine whose kernel runs no
# 32-bit x86 code (see scripts/test.sh); nothing from it is shipped.
#
# Everything else (compiler variant choice, static runtime, sysroot search)
# is the i686 file's, with the triple set first.

set(MINGW_TRIPLE x86_64-w64-mingw32 CACHE STRING "mingw-w64 target triple")
include(${CMAKE_CURRENT_LIST_DIR}/mingw-i686.cmake)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
