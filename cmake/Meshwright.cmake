# Converting scenes in a CMake build:
#
#   meshwright_add_scenes(TARGET name SOURCES scene.dae other.glb ...
#                         [OPTIONS options.cfg] [SET NAME=VALUE ...]
#                         [OUTPUT_DIR dir] [FORMAT qef|h|cpp])
#
# adds the target `name`, built by default, that converts every source into
# OUTPUT_DIR (default: <current binary dir>/scenes) under the source's own
# name with the suffix of FORMAT (default qef). Each scene is one build step
# with a dependency file, so Ninja and Make convert scenes in parallel and a
# scene again only when its input, a file its conversion read (external glTF
# buffers, a material-merge scene), the options file or the program changed.
# The list of outputs is the target's MESHWRIGHT_OUTPUTS property.
#
# The program is MESHWRIGHT_CLI when set; otherwise the meshwright-cli target
# of the same build, else the meshwright-cli beside this file's installation,
# else one on the PATH.
include_guard(GLOBAL)
cmake_minimum_required(VERSION 3.20)

if(NOT MESHWRIGHT_CLI AND NOT TARGET meshwright-cli)
  find_program(MESHWRIGHT_CLI meshwright-cli HINTS ${MESHWRIGHT_CLI_HINT} DOC "The meshwright-cli program")
  if(NOT MESHWRIGHT_CLI)
    message(FATAL_ERROR "meshwright-cli not found; set MESHWRIGHT_CLI to the program")
  endif()
endif()

function(meshwright_add_scenes)
  cmake_parse_arguments(PARSE_ARGV 0 MW "" "TARGET;OPTIONS;OUTPUT_DIR;FORMAT" "SOURCES;SET")
  if(MW_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "meshwright_add_scenes: unknown arguments ${MW_UNPARSED_ARGUMENTS}")
  endif()
  if(NOT MW_TARGET OR NOT MW_SOURCES)
    message(FATAL_ERROR "meshwright_add_scenes needs TARGET and SOURCES")
  endif()
  if(NOT MW_FORMAT)
    set(MW_FORMAT qef)
  endif()
  if(NOT MW_FORMAT MATCHES "^(qef|h|cpp)$")
    message(FATAL_ERROR "meshwright_add_scenes: FORMAT is qef, h or cpp, not '${MW_FORMAT}'")
  endif()
  if(NOT MW_OUTPUT_DIR)
    set(MW_OUTPUT_DIR ${CMAKE_CURRENT_BINARY_DIR}/scenes)
  endif()
  get_filename_component(MW_OUTPUT_DIR "${MW_OUTPUT_DIR}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_BINARY_DIR}")
  file(MAKE_DIRECTORY "${MW_OUTPUT_DIR}")

  if(TARGET meshwright-cli)
    set(program "$<TARGET_FILE:meshwright-cli>")
    set(program_dep meshwright-cli)
  else()
    set(program "${MESHWRIGHT_CLI}")
    set(program_dep "${MESHWRIGHT_CLI}")
  endif()

  set(option_words)
  set(option_deps)
  if(MW_OPTIONS)
    get_filename_component(options_file "${MW_OPTIONS}" ABSOLUTE)
    list(APPEND option_words --options "${options_file}")
    list(APPEND option_deps "${options_file}")
  endif()
  foreach(set_word IN LISTS MW_SET)
    list(APPEND option_words --set "${set_word}")
  endforeach()

  set(outputs)
  foreach(source IN LISTS MW_SOURCES)
    get_filename_component(input "${source}" ABSOLUTE)
    get_filename_component(name "${source}" NAME_WLE)
    set(output "${MW_OUTPUT_DIR}/${name}.${MW_FORMAT}")
    if(output IN_LIST outputs)
      message(FATAL_ERROR "meshwright_add_scenes: two sources would both be written to ${output}")
    endif()
    list(APPEND outputs "${output}")
    add_custom_command(OUTPUT "${output}"
      COMMAND "${program}" convert "${input}" -o "${output}" --depfile "${output}.d" --depfile-targets main --quiet ${option_words}
      DEPENDS "${input}" ${option_deps} ${program_dep}
      DEPFILE "${output}.d"
      COMMENT "Converting scene ${source}"
      VERBATIM)
  endforeach()
  add_custom_target(${MW_TARGET} ALL DEPENDS ${outputs})
  set_property(TARGET ${MW_TARGET} PROPERTY MESHWRIGHT_OUTPUTS "${outputs}")
endfunction()
