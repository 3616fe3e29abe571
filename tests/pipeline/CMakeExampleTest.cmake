# Builds a copy of examples/cmake with Ninja and checks which scenes each
# rebuild converts, by the "Converting scene" lines Ninja prints.
cmake_minimum_required(VERSION 3.20)

file(REMOVE_RECURSE ${WORK_DIR})
file(COPY ${SOURCE_DIR}/examples/ DESTINATION ${WORK_DIR}/examples)
set(project ${WORK_DIR}/examples/cmake)
set(build ${WORK_DIR}/build)

function(run what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT code EQUAL 0)
    message(FATAL_ERROR "${what} failed (${code}):\n${out}\n${err}")
  endif()
  set(output "${out}" PARENT_SCOPE)
endfunction()

# The scenes the last build converted, sorted.
function(build_and_list result)
  run("build" ${CMAKE_COMMAND} --build ${build})
  string(REGEX MATCHALL "Converting scene [^\n]*" lines "${output}")
  list(TRANSFORM lines REPLACE "Converting scene " "")
  list(SORT lines)
  set(${result} "${lines}" PARENT_SCOPE)
endfunction()

function(expect what actual expected)
  if(NOT "${actual}" STREQUAL "${expected}")
    message(FATAL_ERROR "${what}: converted [${actual}], expected [${expected}]")
  endif()
endfunction()

set(all "../skinned_arm.dae;../textured_box.dae;scenes/triangle.gltf")
run("configure" ${CMAKE_COMMAND} -S ${project} -B ${build} -G Ninja -DCMAKE_MAKE_PROGRAM=${NINJA}
    -DMeshwright_DIR=${MESHWRIGHT_DIR})
build_and_list(first)
expect("first build" "${first}" "${all}")
foreach(name skinned_arm textured_box triangle)
  if(NOT EXISTS ${build}/assets/${name}.qef)
    message(FATAL_ERROR "no ${name}.qef after the build")
  endif()
endforeach()

build_and_list(nothing)
expect("build without changes" "${nothing}" "")

# A file the conversion read besides its input: the glTF file's buffer.
file(TOUCH ${project}/scenes/triangle.bin)
build_and_list(buffer)
expect("after touching triangle.bin" "${buffer}" "scenes/triangle.gltf")

file(TOUCH ${project}/../textured_box.dae)
build_and_list(one)
expect("after touching textured_box.dae" "${one}" "../textured_box.dae")

file(APPEND ${project}/scenes.cfg "bIndexAnimations=1\n")
build_and_list(options)
expect("after changing scenes.cfg" "${options}" "${all}")
