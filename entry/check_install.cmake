# Installs the build in BUILD_DIR into PREFIX and fails unless every file a host or a block
# author looks for is where they look, and the plug-in finds the host libraries from there.
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
  RESULT_VARIABLE install_result OUTPUT_QUIET)
if(NOT install_result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${install_result}")
endif()

set(expected
  "${LIBDIR}/quenvarith/quenvarith.so"
  "${LIBDIR}/libvq.so"
  "${LIBDIR}/libdxp.so"
  "${LIBDIR}/cmake/quenvarith/quenvarithConfig.cmake"
  "${INCLUDEDIR}/quenvarith/host/vq.h"
  "${INCLUDEDIR}/quenvarith/host/dxp.h"
  "${INCLUDEDIR}/quenvarith/host/block_record.h")
foreach(path IN LISTS expected)
  if(NOT EXISTS "${PREFIX}/${path}")
    message(FATAL_ERROR "not installed: ${path}")
  endif()
endforeach()

# The installed plug-in resolves the installed host libraries, not the build tree's.
find_program(LDD ldd)
if(LDD)
  execute_process(COMMAND "${LDD}" "${PREFIX}/${LIBDIR}/quenvarith/quenvarith.so"
    OUTPUT_VARIABLE dependencies)
  foreach(library libvq.so libdxp.so)
    string(REGEX MATCH "${library} => ([^ ]+)" resolved "${dependencies}")
    file(REAL_PATH "${CMAKE_MATCH_1}" resolved_path)
    file(REAL_PATH "${PREFIX}/${LIBDIR}/${library}" installed_path)
    if(NOT resolved_path STREQUAL installed_path)
      message(FATAL_ERROR "the installed plug-in resolves ${library} as: ${resolved}")
    endif()
  endforeach()
endif()
