# Installs the build into a scratch prefix, stripped, and runs the installed
# executable: the install step must leave one that passes its self-check.
#   cmake -DBUILD_DIR=... -DPREFIX=... -P install_check.cmake
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}" --strip
                RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${rc}")
endif()
if(NOT EXISTS "${PREFIX}/share/man/man1/lfswap.1")
  message(FATAL_ERROR "the man page was not installed")
endif()
file(WRITE "${PREFIX}/in.txt" "a\nb\n")
execute_process(COMMAND "${PREFIX}/bin/lfswap" in.txt out.txt WORKING_DIRECTORY "${PREFIX}"
                RESULT_VARIABLE rc OUTPUT_VARIABLE out)
file(READ "${PREFIX}/out.txt" converted HEX)
if(NOT rc EQUAL 0 OR NOT converted STREQUAL "610d0a620d0a")
  message(FATAL_ERROR "the installed lfswap failed (status ${rc}): ${out}")
endif()
file(REMOVE_RECURSE "${PREFIX}")
