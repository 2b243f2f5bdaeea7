# Settings for the Windows builds (mingw-w64 cross-builds, see cmake/toolchains).

# Every library and program carries its own C and C++ runtimes and threading library, so the
# plug-in needs no DLL beyond the host's and the system's, and the test programs run anywhere
# without the compiler's runtime DLLs on the search path.
if(MINGW)
  string(APPEND CMAKE_EXE_LINKER_FLAGS " -static")
  string(APPEND CMAKE_MODULE_LINKER_FLAGS " -static")
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    # 32-bit unwinding walks tables that each module registers with its unwinder. The host's
    # libraries use the shared one (libgcc_s_dw2-1.dll), with which a statically linked plug-in
    # registers its tables too when it is loaded, so that an error raised in libdxp unwinds
    # through the plug-in's frames back to the host. (64-bit unwinding uses the system's tables
    # and needs none of this.)
    string(APPEND CMAKE_SHARED_LINKER_FLAGS " -shared-libgcc -static-libstdc++")
    # Those runtime DLLs travel with the host's libraries, in the build tree and when installed.
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libgcc_s_dw2-1.dll
                    OUTPUT_VARIABLE quenvarith_libgcc_dll OUTPUT_STRIP_TRAILING_WHITESPACE)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libwinpthread-1.dll
                    OUTPUT_VARIABLE quenvarith_winpthread_dll OUTPUT_STRIP_TRAILING_WHITESPACE)
    set(QUENVARITH_HOST_RUNTIME_DLLS ${quenvarith_libgcc_dll} ${quenvarith_winpthread_dll})
    file(COPY ${QUENVARITH_HOST_RUNTIME_DLLS} DESTINATION ${PROJECT_BINARY_DIR}/bin)
  else()
    string(APPEND CMAKE_SHARED_LINKER_FLAGS " -static")
  endif()
endif()

# DLLs are found next to the program that loads them: keep programs and DLLs together.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/bin)
set(CMAKE_LIBRARY_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/bin)

# Header-only libraries come from the build machine's packages.
if(CMAKE_CROSSCOMPILING)
  set(cross_packages ${CMAKE_CURRENT_LIST_DIR}/cross-packages)
  set(nlohmann_json_DIR ${cross_packages}/nlohmann_json CACHE PATH "" FORCE)
  set(CLI11_DIR ${cross_packages}/CLI11 CACHE PATH "" FORCE)
endif()
