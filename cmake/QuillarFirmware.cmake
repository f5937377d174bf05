# The firmware image that the programs carry, and its version.
set(QUILLAR_PLACEHOLDER_IMAGE ${CMAKE_SOURCE_DIR}/resources/firmware-placeholder.bin)
set(QUILLAR_FIRMWARE_IMAGE ${QUILLAR_PLACEHOLDER_IMAGE} CACHE FILEPATH
    "Firmware image written to the ESC (length a nonzero multiple of 4)")
set(QUILLAR_FIRMWARE_VERSION "3.0" CACHE STRING "Version of the firmware image, major.minor")

if(NOT EXISTS "${QUILLAR_FIRMWARE_IMAGE}")
  message(FATAL_ERROR "QUILLAR_FIRMWARE_IMAGE: no file at '${QUILLAR_FIRMWARE_IMAGE}'.")
endif()
file(SIZE "${QUILLAR_FIRMWARE_IMAGE}" QUILLAR_FIRMWARE_SIZE)
if(QUILLAR_FIRMWARE_SIZE EQUAL 0)
  message(FATAL_ERROR "QUILLAR_FIRMWARE_IMAGE '${QUILLAR_FIRMWARE_IMAGE}' is empty; "
                      "a firmware image holds whole 32-bit words.")
endif()
math(EXPR QUILLAR_FIRMWARE_REST "${QUILLAR_FIRMWARE_SIZE} % 4")
if(NOT QUILLAR_FIRMWARE_REST EQUAL 0)
  message(FATAL_ERROR "QUILLAR_FIRMWARE_IMAGE '${QUILLAR_FIRMWARE_IMAGE}' is "
                      "${QUILLAR_FIRMWARE_SIZE} bytes, not a multiple of 4; "
                      "a firmware image holds whole 32-bit words.")
endif()
# Test-only: lets CI build the package and the release folder from the placeholder. Whatever it
# builds is named "~placeholder" (QUILLAR_RELEASE_VERSION), so it cannot pass for a release.
option(QUILLAR_TEST_PLACEHOLDER_RELEASE
       "TEST ONLY: a release build of the placeholder image, versioned ~placeholder" OFF)
file(SHA256 "${QUILLAR_FIRMWARE_IMAGE}" _image_hash)
file(SHA256 "${QUILLAR_PLACEHOLDER_IMAGE}" _placeholder_hash)
set(QUILLAR_RELEASE_VERSION ${PROJECT_VERSION})
# A build of the placeholder image says "TEST BUILD" in its title, --version and status.
if(_image_hash STREQUAL _placeholder_hash)
  set(QUILLAR_PLACEHOLDER_BUILD ON)
else()
  set(QUILLAR_PLACEHOLDER_BUILD OFF)
endif()
if(QUILLAR_TEST_PLACEHOLDER_RELEASE)
  if(NOT _image_hash STREQUAL _placeholder_hash)
    message(FATAL_ERROR "QUILLAR_TEST_PLACEHOLDER_RELEASE builds the placeholder image only; "
                        "a real image is built without it.")
  endif()
  set(QUILLAR_RELEASE_VERSION "${PROJECT_VERSION}~placeholder")
  message(WARNING "Test-only build of the placeholder image: version ${QUILLAR_RELEASE_VERSION}, "
                  "never to be given to users.")
elseif(QUILLAR_RELEASE)
  if(_image_hash STREQUAL _placeholder_hash)
    message(FATAL_ERROR "A release needs the real firmware image: configure with "
                        "-DQUILLAR_FIRMWARE_IMAGE=/path/to/image.bin "
                        "-DQUILLAR_FIRMWARE_VERSION=major.minor. "
                        "The placeholder image (all 0xFF) is for development only.")
  endif()
endif()
if(NOT QUILLAR_FIRMWARE_VERSION MATCHES "^([0-9]+)\\.([0-9]+)$")
  message(FATAL_ERROR "QUILLAR_FIRMWARE_VERSION '${QUILLAR_FIRMWARE_VERSION}' is not major.minor.")
endif()
set(QUILLAR_FIRMWARE_MAJOR ${CMAKE_MATCH_1})
set(QUILLAR_FIRMWARE_MINOR ${CMAKE_MATCH_2})
if(QUILLAR_FIRMWARE_MAJOR GREATER 255 OR QUILLAR_FIRMWARE_MINOR GREATER 255)
  message(FATAL_ERROR "QUILLAR_FIRMWARE_VERSION '${QUILLAR_FIRMWARE_VERSION}': "
                      "major and minor are each at most 255.")
endif()
math(EXPR QUILLAR_IMAGE_FIRMWARE_VERSION "(${QUILLAR_FIRMWARE_MAJOR} << 8) | ${QUILLAR_FIRMWARE_MINOR}"
     OUTPUT_FORMAT HEXADECIMAL)
message(STATUS "Firmware image: ${QUILLAR_FIRMWARE_IMAGE} (${QUILLAR_FIRMWARE_SIZE} bytes, "
               "version ${QUILLAR_FIRMWARE_VERSION})")

# A release carries one version everywhere: the project's, the image's, the upstream part of
# debian/changelog's and the newest <release> of the metainfo.
if(QUILLAR_RELEASE)
  set(_changelog ${PROJECT_SOURCE_DIR}/debian/changelog)
  set(_metainfo ${PROJECT_SOURCE_DIR}/resources/linux/example.zarvelo.QuillarUpdater.metainfo.xml)
  file(STRINGS ${_changelog} _entry LIMIT_COUNT 1)
  # The upstream version runs from the epoch to the last "-", which starts the Debian revision.
  if(NOT _entry MATCHES "^quillar-updater \\(([0-9]+:)?(.+)-([^-]+)\\) ")
    message(FATAL_ERROR "debian/changelog: no version in its first line '${_entry}'.")
  endif()
  set(_debian_version "${CMAKE_MATCH_1}${CMAKE_MATCH_2}-${CMAKE_MATCH_3}")
  set(_changelog_version ${CMAKE_MATCH_2})
  file(READ ${_metainfo} _xml)
  string(REGEX MATCHALL "<release[ \t\r\n][^>]*version=\"[^\"]*\"" _releases "${_xml}")
  set(_newest "")
  foreach(_release ${_releases})
    string(REGEX REPLACE ".*version=\"([^\"]*)\"" "\\1" _release "${_release}")
    if(_newest STREQUAL "" OR _release VERSION_GREATER _newest)
      set(_newest ${_release})
    endif()
  endforeach()
  if(NOT PROJECT_VERSION STREQUAL QUILLAR_FIRMWARE_VERSION OR
     NOT PROJECT_VERSION STREQUAL _changelog_version OR NOT PROJECT_VERSION STREQUAL _newest)
    message(FATAL_ERROR "The versions of this release disagree:\n"
      "  project (CMakeLists.txt)                ${PROJECT_VERSION}\n"
      "  image (QUILLAR_FIRMWARE_VERSION)        ${QUILLAR_FIRMWARE_VERSION}\n"
      "  debian/changelog, upstream part         ${_changelog_version} (${_debian_version})\n"
      "  metainfo, newest <release>              ${_newest}\n"
      "A release carries one version: change them together.")
  endif()
endif()
