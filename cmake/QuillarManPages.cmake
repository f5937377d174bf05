# The manual pages: scdoc sources in docs/man, turned into roff at build time and installed.
include(GNUInstallDirs)
find_program(QUILLAR_SCDOC scdoc REQUIRED)

function(quillar_man_pages)
  set(pages "")
  foreach(page ${ARGN})
    set(source ${PROJECT_SOURCE_DIR}/docs/man/${page}.scd)
    set(roff ${PROJECT_BINARY_DIR}/man/${page})
    add_custom_command(OUTPUT ${roff}
      COMMAND sh -c "\"$0\" < \"$1\" > \"$2\"" ${QUILLAR_SCDOC} ${source} ${roff}
      DEPENDS ${source} COMMENT "Writing the manual page ${page}" VERBATIM)
    list(APPEND pages ${roff})
  endforeach()
  add_custom_target(quillar_man_pages ALL DEPENDS ${pages})
  install(FILES ${pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endfunction()
