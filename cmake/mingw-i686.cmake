# CMake toolchain file: cross compile 32-bit Windows (i686) programs with
# Debian's mingw-w64 packages (g++-mingw-w64-i686, binutils-mingw-w64-i686).
#
#   cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake
#
# Compiler variant: Debian ships "-posix" (winpthreads thread model; required
# for std::thread / std::mutex / std::condition_variable with GCC 12) and
# "-win32" (Win32 thread model, no std::thread in GCC 12).  The -posix variant
# is preferred; override with -DMINGW_THREAD_MODEL=win32.
#
# Executables are linked fully static (libgcc, libstdc++, winpthread), so the
# resulting .exe/.scr depends on Windows system DLLs only (kernel32, user32,
# gdi32, msvcrt, ...) and can be copied around as a single file.
#
# SSE2 code generation flags (-msse2 -mfpmath=sse) are NOT set here; the
# project's CMakeLists.txt adds them.

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(MINGW_TRIPLE i686-w64-mingw32 CACHE STRING "mingw-w64 target triple")
set(MINGW_THREAD_MODEL posix CACHE STRING "posix or win32 compiler variant")

# Pick the compiler variant that exists (the toolchain file is read again for
# every try_compile, so keep this cheap and deterministic).
set(_mingw_c "")
set(_mingw_cxx "")
foreach(_variant "-${MINGW_THREAD_MODEL}" "-posix" "-win32" "")
  if(NOT _mingw_cxx)
    find_program(_mingw_cxx_probe NAMES ${MINGW_TRIPLE}-g++${_variant}
                 NO_CACHE)
    find_program(_mingw_c_probe NAMES ${MINGW_TRIPLE}-gcc${_variant}
                 NO_CACHE)
    if(_mingw_cxx_probe AND _mingw_c_probe)
      set(_mingw_cxx "${_mingw_cxx_probe}")
      set(_mingw_c "${_mingw_c_probe}")
    endif()
    unset(_mingw_cxx_probe)
    unset(_mingw_c_probe)
  endif()
endforeach()
if(NOT _mingw_cxx)
  message(FATAL_ERROR
    "${MINGW_TRIPLE}-g++ not found; install g++-mingw-w64-i686 "
    "(scripts/install-deps.sh)")
endif()

set(CMAKE_C_COMPILER "${_mingw_c}")
set(CMAKE_CXX_COMPILER "${_mingw_cxx}")
set(CMAKE_RC_COMPILER "${MINGW_TRIPLE}-windres")
set(CMAKE_AR "/usr/bin/${MINGW_TRIPLE}-ar" CACHE FILEPATH "ar")
set(CMAKE_RANLIB "/usr/bin/${MINGW_TRIPLE}-ranlib" CACHE FILEPATH "ranlib")
set(CMAKE_STRIP "/usr/bin/${MINGW_TRIPLE}-strip" CACHE FILEPATH "strip")
set(CMAKE_OBJDUMP "/usr/bin/${MINGW_TRIPLE}-objdump" CACHE FILEPATH "objdump")

# Search headers/libraries only in the target sysroot, programs on the host.
set(CMAKE_FIND_ROOT_PATH "/usr/${MINGW_TRIPLE}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Self-contained executables (no libgcc_s/libstdc++/libwinpthread DLLs).
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++")
