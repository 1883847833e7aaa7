# The tests run twr and tshark, the judge of what we export.
add_dependencies(${target} twr)
target_sources(${target} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/cli/runtwr.cpp)
target_compile_definitions(${target} PRIVATE TWR_BINARY="$<TARGET_FILE:twr>")
# And the library's sampleFileRead, through its C interface.
target_link_libraries(${target} PRIVATE libtwrcore twrsim)

add_test(NAME interop.captureOutputs
  COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/interop/capture_outputs.sh $<TARGET_FILE:twr-sim> $<TARGET_FILE:twr>
          ${CMAKE_CURRENT_BINARY_DIR}/interop-capture)
set_tests_properties(interop.captureOutputs PROPERTIES TIMEOUT 120)
