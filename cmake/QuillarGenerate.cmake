# quillar_generate: one build-time script of tools/build/ makes generated files.
#
#   quillar_generate(SCRIPT gen_texts.py OUTPUT <files...> ARGS <arguments...>
#                    DEPENDS <inputs...> COMMENT "<what>")
#
# The script runs with the project's Python; it and every input in DEPENDS make the outputs
# again when they change.
set(QUILLAR_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/../tools/build)

function(quillar_generate)
  cmake_parse_arguments(GEN "" "SCRIPT;COMMENT" "OUTPUT;ARGS;DEPENDS" ${ARGN})
  if(NOT GEN_SCRIPT OR NOT GEN_OUTPUT)
    message(FATAL_ERROR "quillar_generate needs SCRIPT and OUTPUT")
  endif()
  set(script ${QUILLAR_BUILD_SCRIPTS}/${GEN_SCRIPT})
  add_custom_command(
    OUTPUT ${GEN_OUTPUT}
    COMMAND ${Python3_EXECUTABLE} ${script} ${GEN_ARGS}
    DEPENDS ${script} ${GEN_DEPENDS}
    COMMENT "${GEN_COMMENT}"
    VERBATIM)
endfunction()
