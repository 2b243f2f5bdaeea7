# Settings for the Windows builds (mingw-w64 cross-builds, see cmake/toolchains).

# Every library and program carries its own C and C++ runtimes and threading library, so the
# plug-in needs no DLL beyond the host's and the system's, and the test programs run anywhere
# without the compiler's runtime DLLs on the search path.
if(MINGW)
  string(APPEND CMAKE_EXE_LINKER_FLAGS " -static")
  string(APPEND CMAKE_SHARED_LINKER_FLAGS " -static")
  string(APPEND CMAKE_MODULE_LINKER_FLAGS " -static")
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
