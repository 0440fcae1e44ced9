# Installs the build into STAGE/prefix as `cmake --install` does for a user, and, when PACKAGE is
# on, packs the Debian package into STAGE/deb and unpacks it into STAGE/deb/root.
#   cmake -DBUILD_DIR=... -DSTAGE=... -DCPACK=path/to/cpack -DPACKAGE=ON|OFF -P Stage.cmake
file(REMOVE_RECURSE ${STAGE})
file(MAKE_DIRECTORY ${STAGE})

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT code EQUAL 0)
    message(FATAL_ERROR "${ARGN}\nfailed (${code}):\n${out}")
  endif()
endfunction()

run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${STAGE}/prefix)
if(PACKAGE)
  run(${CPACK} -G DEB --config ${BUILD_DIR}/CPackConfig.cmake -B ${STAGE}/deb)
  file(GLOB deb ${STAGE}/deb/*.deb)
  run(dpkg-deb -x ${deb} ${STAGE}/deb/root)
endif()
