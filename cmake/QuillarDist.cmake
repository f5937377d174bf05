# Writes the release folder: the programs, README.txt, THIRD-PARTY-NOTICES.txt and SHA256SUMS
# (run by the dist target).
# In: FILES (programs, "|"-separated), DIST_DIR, README_IN, NOTICES, VERSION, IMAGE_VERSION,
# IMAGE_SIZE.
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
