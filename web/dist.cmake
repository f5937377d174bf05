# Copies the page (FILES and SHA256SUMS of FROM) to the release folder TO, after removing what an
# earlier run wrote there: only those names, so a mistaken TO loses nothing else.
foreach(name ${FILES} SHA256SUMS)
  file(REMOVE ${TO}/${name})
endforeach()
file(MAKE_DIRECTORY ${TO})
foreach(name ${FILES} SHA256SUMS)
  file(COPY_FILE ${FROM}/${name} ${TO}/${name})
endforeach()
message(STATUS "The page's release: ${TO}")
