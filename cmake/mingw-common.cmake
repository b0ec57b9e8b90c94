# Cross build of a Windows console executable with mingw-w64; the including
# toolchain file sets lfswap_mingw_arch (i686 or x86_64).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${lfswap_mingw_arch})
# -DLFSWAP_MINGW_THREADS=posix picks the compilers of the POSIX thread
# model, whose runtime has std::mutex, which GoogleTest needs: the build of
# the kernel tests. The tool itself is built with the default (win32).
set(LFSWAP_MINGW_THREADS win32 CACHE STRING "mingw-w64 thread model of the compilers: win32 or posix")
set_property(CACHE LFSWAP_MINGW_THREADS PROPERTY STRINGS win32 posix)
# The checks CMake compiles read this file again, and must pick the same.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES LFSWAP_MINGW_THREADS)
if(LFSWAP_MINGW_THREADS STREQUAL "posix")
  set(lfswap_mingw_threads -posix)
endif()
set(CMAKE_C_COMPILER ${lfswap_mingw_arch}-w64-mingw32-gcc${lfswap_mingw_threads})
set(CMAKE_CXX_COMPILER ${lfswap_mingw_arch}-w64-mingw32-g++${lfswap_mingw_threads})
set(CMAKE_RC_COMPILER ${lfswap_mingw_arch}-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${lfswap_mingw_arch}-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
