# The build machine's command-line parser for a cross-build (see ../header_only.cmake).
include(${CMAKE_CURRENT_LIST_DIR}/../header_only.cmake)
quenvarith_header_only_package(CLI11::CLI11 CLI)
