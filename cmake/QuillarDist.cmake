# Writes the release folder: the programs, README.txt, THIRD-PARTY-NOTICES.txt and SHA256SUMS
# (run by the dist target).
# In: FILES (programs, "|"-separated), DIST_DIR, README_IN, NOTICES, VERSION, IMAGE_VERSION,
# IMAGE_SIZE; SIGN_KEY, SIGN_CERT and SIGN_PASSWORD_FILE, each empty for the environment
# variable QUILLAR_<name> (QUILLAR_SIGN_KEY, ...).
string(REPLACE "|" ";" FILES "${FILES}")
# Only what this script writes is removed, so a mistaken DIST_DIR loses nothing else.
file(GLOB stale ${DIST_DIR}/*.exe)
file(REMOVE ${stale} ${DIST_DIR}/README.txt ${DIST_DIR}/THIRD-PARTY-NOTICES.txt
     ${DIST_DIR}/SHA256SUMS)
file(MAKE_DIRECTORY ${DIST_DIR})

set(names "")
foreach(program ${FILES})
  get_filename_component(name ${program} NAME)
  file(COPY_FILE ${program} ${DIST_DIR}/${name})
  list(APPEND names ${name})
endforeach()

# Authenticode, when a key and its certificate are given: osslsigncode signs the copies, so the
# sums below are those of the signed programs. Without them the programs stay unsigned.
foreach(name SIGN_KEY SIGN_CERT SIGN_PASSWORD_FILE)
  if("${${name}}" STREQUAL "")
    set(${name} "$ENV{QUILLAR_${name}}")
  endif()
endforeach()
if(NOT SIGN_KEY STREQUAL "" OR NOT SIGN_CERT STREQUAL "")
  if(SIGN_KEY STREQUAL "" OR SIGN_CERT STREQUAL "")
    message(FATAL_ERROR "Signing needs both QUILLAR_SIGN_KEY and QUILLAR_SIGN_CERT.")
  endif()
  find_program(OSSLSIGNCODE osslsigncode)
  if(NOT OSSLSIGNCODE)
    message(FATAL_ERROR "Signing needs osslsigncode (tools/install-deps.sh installs it).")
  endif()
  set(password "")
  if(NOT SIGN_PASSWORD_FILE STREQUAL "")
    set(password -readpass ${SIGN_PASSWORD_FILE})
  endif()
  foreach(name ${names})
    set(exe ${DIST_DIR}/${name})
    file(REMOVE ${exe}.signed)
    execute_process(
      COMMAND ${OSSLSIGNCODE} sign -certs ${SIGN_CERT} -key ${SIGN_KEY} ${password} -h sha256
              -n "ZARVELO QUILLAR FW Updater" -i https://www.zarvelo.example
              -in ${exe} -out ${exe}.signed
      RESULT_VARIABLE result OUTPUT_QUIET)
    if(NOT result EQUAL 0)
      file(REMOVE ${exe} ${exe}.signed)
      message(FATAL_ERROR "osslsigncode could not sign ${name}.")
    endif()
    file(RENAME ${exe}.signed ${exe})
    file(CHMOD ${exe} PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                  WORLD_READ WORLD_EXECUTE)
  endforeach()
  message(STATUS "Signed: ${names}")
endif()

if(VERSION MATCHES "~placeholder$")
  set(PLACEHOLDER_NOTE
      "TEST BUILD. These programs carry the placeholder firmware image (all 0xFF), not a\n"
      "firmware: writing it leaves the ESC in its bootloader. Never give them to users.\n\n")
  string(JOIN "" PLACEHOLDER_NOTE ${PLACEHOLDER_NOTE})
else()
  set(PLACEHOLDER_NOTE "")
endif()
# Notepad on older Windows shows a file with bare line feeds as one line: every line of the
# texts ends in CR LF, those of the note included.
file(READ ${README_IN} readme)
string(CONFIGURE "${readme}" readme @ONLY)
string(REPLACE "\n" "\r\n" readme "${readme}")
file(WRITE ${DIST_DIR}/README.txt "${readme}")
file(READ ${NOTICES} notices)
string(REPLACE "\n" "\r\n" notices "${notices}")
file(WRITE ${DIST_DIR}/THIRD-PARTY-NOTICES.txt "${notices}")
list(APPEND names README.txt THIRD-PARTY-NOTICES.txt)

# The format of sha256sum, so that "sha256sum -c SHA256SUMS" checks the folder.
set(sums "")
foreach(name ${names})
  file(SHA256 ${DIST_DIR}/${name} hash)
  string(APPEND sums "${hash}  ${name}\n")
endforeach()
file(WRITE ${DIST_DIR}/SHA256SUMS "${sums}")
