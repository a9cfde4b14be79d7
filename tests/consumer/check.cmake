# Installs the built library into the build tree, then configures, builds and runs the consumer
# project against that installation alone.
# cmake -DBUILD=<build dir> -DSOURCE=<source dir> -DGENERATOR=<generator> -DCXX=<compiler>
#       [-DLAUNCHER=<ccache>] -P check.cmake
set(prefix ${BUILD}/consumer/installed)
set(binary ${BUILD}/consumer/build)
file(REMOVE_RECURSE ${prefix} ${binary})

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${ARGN}\n${out}")
  endif()
  set(out "${out}" PARENT_SCOPE)
endfunction()

run(${CMAKE_COMMAND} --install ${BUILD} --prefix ${prefix} --component development)
set(launcher "")
if(LAUNCHER)
  set(launcher -DCMAKE_CXX_COMPILER_LAUNCHER=${LAUNCHER})
endif()
# Only the installed tree is on the search path: the source and build trees are not.
run(${CMAKE_COMMAND} -S ${SOURCE}/tests/consumer -B ${binary} -G ${GENERATOR}
    -DCMAKE_CXX_COMPILER=${CXX} ${launcher} -DCMAKE_PREFIX_PATH=${prefix}
    -DCMAKE_FIND_PACKAGE_NO_PACKAGE_REGISTRY=ON)
run(${CMAKE_COMMAND} --build ${binary})
run(${binary}/consumer)
message("${out}")
if(NOT out MATCHES "QUARTZ SI" OR NOT out MATCHES "caught: SUPCRT98 has no mineral")
  message(FATAL_ERROR "unexpected output of the consumer:\n${out}")
endif()
