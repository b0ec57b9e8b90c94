# The tool as it ships: a 32-bit Windows console executable.
set(lfswap_mingw_arch i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
