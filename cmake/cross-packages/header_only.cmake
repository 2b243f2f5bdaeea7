# A header-only library from the build machine's packages, made usable by a cross compiler.
#
# The build machine's /usr/include must not reach the cross compiler (its C library headers
# would shadow the target's), so the library's own header folder is linked into a folder of
# the build tree that holds nothing else, and the imported target points there.
function(quenvarith_header_only_package target header_folder)
  if(TARGET ${target})
    return()
  endif()
  set(include_dir ${CMAKE_BINARY_DIR}/cross-include)
  file(MAKE_DIRECTORY ${include_dir})
  if(NOT EXISTS ${include_dir}/${header_folder})
    file(CREATE_LINK /usr/include/${header_folder} ${include_dir}/${header_folder} SYMBOLIC)
  endif()
  add_library(${target} INTERFACE IMPORTED)
  set_target_properties(${target} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${include_dir})
endfunction()
