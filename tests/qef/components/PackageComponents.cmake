# cmake -DCMAKE=... -DBUILD_DIR=... -DWORK=... -P PackageComponents.cmake
# The components of find_package(Meshwright): from the build folder, from an
# installed prefix, and from a prefix without the program (lib/ and include/
# only, nothing on the PATH), where an optional cli is missing and a required
# one fails with a message naming it.
set(project_dir ${CMAKE_CURRENT_LIST_DIR})
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})

# Configures the project for one case; expect_ok says whether it must succeed,
# expect_text is a text that the output must hold.
function(run_case name dir case expect_cli expect_ok expect_text)
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E env PATH=/usr/bin:/bin
            ${CMAKE} -S ${project_dir} -B ${WORK}/${name} -DMeshwright_DIR=${dir} -DCASE=${case}
            -DEXPECT_CLI=${expect_cli}
    RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(expect_ok AND NOT result EQUAL 0)
    message(FATAL_ERROR "${name}: the configuration failed:\n${out}")
  elseif(NOT expect_ok AND result EQUAL 0)
    message(FATAL_ERROR "${name}: the configuration succeeded but should fail:\n${out}")
  endif()
  # CMake wraps long messages: compare with the lines joined.
  string(REGEX REPLACE "[ \n]+" " " flat "${out}")
  string(FIND "${flat}" "${expect_text}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "${name}: the output lacks '${expect_text}':\n${out}")
  endif()
  message(STATUS "${name}: as expected")
endfunction()

run_case(build_qef ${BUILD_DIR} qef ON TRUE "as expected")
run_case(build_optional ${BUILD_DIR} optional ON TRUE "as expected")

execute_process(COMMAND ${CMAKE} --install ${BUILD_DIR} --prefix ${WORK}/full RESULT_VARIABLE result
                OUTPUT_QUIET)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "install into ${WORK}/full failed")
endif()
file(GLOB config_dirs ${WORK}/full/lib*/cmake/Meshwright ${WORK}/full/lib/*/cmake/Meshwright)
list(GET config_dirs 0 full_dir)
run_case(installed_optional ${full_dir} optional ON TRUE "as expected")

# The same prefix without bin/.
file(COPY ${WORK}/full/include DESTINATION ${WORK}/nocli)
file(GLOB libs LIST_DIRECTORIES true ${WORK}/full/lib*)
file(COPY ${libs} DESTINATION ${WORK}/nocli)
string(REPLACE "${WORK}/full" "${WORK}/nocli" nocli_dir "${full_dir}")
run_case(nocli_qef ${nocli_dir} qef OFF TRUE "as expected")
run_case(nocli_optional ${nocli_dir} optional OFF TRUE "as expected")
run_case(nocli_required ${nocli_dir} required OFF FALSE "lacks the required component(s) cli")
