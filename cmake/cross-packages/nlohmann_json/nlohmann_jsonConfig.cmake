# The build machine's JSON library for a cross-build (see ../header_only.cmake).
include(${CMAKE_CURRENT_LIST_DIR}/../header_only.cmake)
quenvarith_header_only_package(nlohmann_json::nlohmann_json nlohmann)
