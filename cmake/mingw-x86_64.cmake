# A 64-bit Windows build of the same sources, for test machines that cannot
# run 32-bit programs.
set(lfswap_mingw_arch x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
