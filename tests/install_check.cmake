# Installs the build into a scratch prefix, stripped, and runs the installed
# executable: the install step must leave one that passes its self-check.
# The build's unstripped one, stripped by other tools (as a packager's do),
# fails the check until lfswap_stamp stamps it again.
#   cmake -DBUILD_DIR=... -DPREFIX=... -DSTRIP=... -DSTAMP=... -P install_check.cmake
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}" --strip
                RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${rc}")
endif()
foreach(f share/man/man1/lfswap.1.gz share/doc/lfswap/changelog.gz share/doc/lfswap/copyright)
  if(NOT EXISTS "${PREFIX}/${f}")
    message(FATAL_ERROR "${f} was not installed")
  endif()
endforeach()
file(WRITE "${PREFIX}/in.txt" "a\nb\n")
function(expect_run status what)
  file(REMOVE "${PREFIX}/out.txt")
  execute_process(COMMAND "${PREFIX}/bin/lfswap" in.txt out.txt WORKING_DIRECTORY "${PREFIX}"
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out)
  if(NOT rc EQUAL status)
    message(FATAL_ERROR "${what}: status ${rc}, not ${status}: ${out}")
  endif()
  if(status EQUAL 0)
    file(READ "${PREFIX}/out.txt" converted HEX)
    if(NOT converted STREQUAL "610d0a620d0a")
      message(FATAL_ERROR "${what}: converted into ${converted}")
    endif()
  endif()
endfunction()
expect_run(0 "the installed lfswap")
# The build's own, unstripped, as a packager's tools would strip it.
file(COPY_FILE "${BUILD_DIR}/lfswap" "${PREFIX}/bin/lfswap")
execute_process(COMMAND "${STRIP}" --strip-all "${PREFIX}/bin/lfswap" COMMAND_ERROR_IS_FATAL ANY)
expect_run(1 "stripped again, not stamped")
execute_process(COMMAND "${STAMP}" "${PREFIX}/bin/lfswap" COMMAND_ERROR_IS_FATAL ANY)
expect_run(0 "stripped again, then stamped")
file(REMOVE_RECURSE "${PREFIX}")
