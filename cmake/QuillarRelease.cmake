# Windows releases: byte-identical builds, the version resource and the dist/windows/ folder.

# Two builds of one commit give the same bytes: no link time in the PE header (the checksum
# follows from it), no build or source path in the objects.
add_compile_options(-ffile-prefix-map=${PROJECT_SOURCE_DIR}=. -ffile-prefix-map=${PROJECT_BINARY_DIR}=build)
add_link_options(LINKER:--no-insert-timestamp)
# A release's exes hold no symbol table and no debug sections (those of the static runtime
# libraries more than doubled the command-line program). The build of the windows preset, the
# same code, keeps them for a debugger.
if(QUILLAR_RELEASE)
  add_link_options(LINKER:--strip-all)
endif()

# The version texts of the resource: program, image and the product name the window shows.
set(QUILLAR_RC_VERSION_DIR ${PROJECT_BINARY_DIR}/generated/rc)
if(QUILLAR_TEST_PLACEHOLDER_RELEASE)
  set(_file_flags VS_FF_SPECIALBUILD)
  set(_special "#define QUILLAR_SPECIAL_BUILD \"TEST BUILD: carries the placeholder firmware image, not a release\"\n")
else()
  set(_file_flags 0)
  set(_special "")
endif()
file(CONFIGURE OUTPUT ${QUILLAR_RC_VERSION_DIR}/quillar_version.rc.h CONTENT
"#define QUILLAR_VERSION_MAJOR ${PROJECT_VERSION_MAJOR}
#define QUILLAR_VERSION_MINOR ${PROJECT_VERSION_MINOR}
#define QUILLAR_VERSION_TEXT \"${QUILLAR_RELEASE_VERSION}\"
#define QUILLAR_IMAGE_VERSION_TEXT \"${QUILLAR_FIRMWARE_VERSION}\"
#define QUILLAR_FILE_FLAGS ${_file_flags}
${_special}" @ONLY)
set(QUILLAR_VERSION_RC_FILES ${PROJECT_SOURCE_DIR}/resources/version.rc
                             ${QUILLAR_RC_VERSION_DIR}/quillar_version.rc.h)

# Gives the program <target> the version resource, with <description> as its file
# description; for programs whose resource script is not resources/quillar.rc.
function(quillar_version_resource target description)
  set(rc ${QUILLAR_RC_VERSION_DIR}/${target}_version.rc)
  file(CONFIGURE OUTPUT ${rc} CONTENT
"#define QUILLAR_FILE_DESCRIPTION \"${description}\"
#define QUILLAR_ORIGINAL_FILENAME \"${target}.exe\"
#include \"version.rc\"
" @ONLY)
  target_sources(${target} PRIVATE ${rc})
  set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS "${QUILLAR_VERSION_RC_FILES}"
    INCLUDE_DIRECTORIES "${PROJECT_SOURCE_DIR}/resources;${QUILLAR_RC_VERSION_DIR}")
endfunction()

# ---- dist/windows/: the programs users download, README.txt, THIRD-PARTY-NOTICES.txt and
# SHA256SUMS ----
# The one list of what a release holds.
set(QUILLAR_DIST_PROGRAMS quillar-updater quillar-updater-cli)
set(QUILLAR_DIST_DIR ${PROJECT_SOURCE_DIR}/dist/windows CACHE PATH "Folder that the dist target writes")
# Authenticode signing of the programs in the folder (cmake/QuillarDist.cmake). Empty: the
# environment variable of the same name when dist runs; neither: the programs stay unsigned.
set(QUILLAR_SIGN_KEY "" CACHE FILEPATH "Authenticode private key (PEM or DER) for dist")
set(QUILLAR_SIGN_CERT "" CACHE FILEPATH "Authenticode certificate (PEM or DER) for dist")
set(QUILLAR_SIGN_PASSWORD_FILE "" CACHE FILEPATH "File holding the password of QUILLAR_SIGN_KEY")

# Called at the end of the top directory, when every program's target exists.
function(quillar_add_dist)
  if(NOT QUILLAR_RELEASE AND NOT QUILLAR_TEST_PLACEHOLDER_RELEASE)
    add_custom_target(dist COMMAND ${CMAKE_COMMAND} -E echo
      "dist/windows/ comes from a release build: cmake --preset release ... then cmake --build --preset dist"
      COMMAND ${CMAKE_COMMAND} -E false)
    return()
  endif()
  set(files "")
  set(targets "")
  foreach(program ${QUILLAR_DIST_PROGRAMS})
    if(TARGET ${program})
      list(APPEND files $<TARGET_FILE:${program}>)
      list(APPEND targets ${program})
    else()
      message(FATAL_ERROR "${program} is not built here: a release needs every program.")
    endif()
  endforeach()
  # The script's list separator is "|": a ";" would split the argument.
  string(REPLACE ";" "|" files "${files}")
  add_custom_target(dist
    COMMAND ${CMAKE_COMMAND} "-DFILES=${files}" -DDIST_DIR=${QUILLAR_DIST_DIR}
            -DREADME_IN=${PROJECT_SOURCE_DIR}/cmake/dist-readme.txt.in
            -DNOTICES=${PROJECT_SOURCE_DIR}/resources/windows/THIRD-PARTY-NOTICES.txt
            -DVERSION=${QUILLAR_RELEASE_VERSION} -DIMAGE_VERSION=${QUILLAR_FIRMWARE_VERSION}
            -DIMAGE_SIZE=${QUILLAR_FIRMWARE_SIZE} -DSIGN_KEY=${QUILLAR_SIGN_KEY}
            -DSIGN_CERT=${QUILLAR_SIGN_CERT} -DSIGN_PASSWORD_FILE=${QUILLAR_SIGN_PASSWORD_FILE}
            -P ${PROJECT_SOURCE_DIR}/cmake/QuillarDist.cmake
    DEPENDS ${PROJECT_SOURCE_DIR}/cmake/dist-readme.txt.in
            ${PROJECT_SOURCE_DIR}/resources/windows/THIRD-PARTY-NOTICES.txt
    COMMENT "Writing ${QUILLAR_DIST_DIR}" VERBATIM)
  add_dependencies(dist ${targets})
endfunction()
cmake_language(DEFER DIRECTORY ${PROJECT_SOURCE_DIR} CALL quillar_add_dist)
