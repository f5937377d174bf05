# Writes DIR/SHA256SUMS over FILES (names in DIR), in the format of sha256sum, so that
# "sha256sum -c SHA256SUMS" checks the page's folder.
set(sums "")
foreach(name ${FILES})
  file(SHA256 ${DIR}/${name} hash)
  string(APPEND sums "${hash}  ${name}\n")
endforeach()
file(WRITE ${DIR}/SHA256SUMS "${sums}")
