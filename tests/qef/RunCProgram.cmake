# Runs the C example on a scene and checks what it prints.
execute_process(COMMAND ${PROGRAM} ${SCENE} OUTPUT_VARIABLE out RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR NOT out MATCHES "meshes 3 nodes 10")
  message(FATAL_ERROR "the C program gave ${rc}:\n${out}")
endif()
message(STATUS "${out}")
