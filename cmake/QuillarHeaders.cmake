# The header-only Debian packages the project uses: quillar_cli11 (CLI11, the command line's
# options) and quillar_json (nlohmann-json, the records and the command line's JSON).
# The native build finds them by their CMake packages. A cross-build (mingw-w64, emscripten)
# cannot: the packages describe /usr, not its sysroot. Their directories are linked into a folder
# of their own, so that it sees these and nothing else of /usr/include.
function(quillar_header_package target header_dir package imported)
  add_library(${target} INTERFACE)
  if(CMAKE_CROSSCOMPILING)
    set(third_party ${PROJECT_BINARY_DIR}/third-party)
    if(NOT EXISTS /usr/include/${header_dir})
      message(FATAL_ERROR "/usr/include/${header_dir} is missing: install libcli11-dev and "
                          "nlohmann-json3-dev (tools/install-deps.sh).")
    endif()
    file(MAKE_DIRECTORY ${third_party})
    file(CREATE_LINK /usr/include/${header_dir} ${third_party}/${header_dir} SYMBOLIC)
    target_include_directories(${target} SYSTEM INTERFACE ${third_party})
  else()
    find_package(${package} CONFIG REQUIRED)
    target_link_libraries(${target} INTERFACE ${imported})
  endif()
endfunction()

quillar_header_package(quillar_cli11 CLI CLI11 CLI11::CLI11)
quillar_header_package(quillar_json nlohmann nlohmann_json nlohmann_json::nlohmann_json)
