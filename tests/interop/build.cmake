# The tests run twr and tshark, the judge of what we export.
add_dependencies(${target} twr)
target_sources(${target} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/cli/runtwr.cpp)
target_compile_definitions(${target} PRIVATE TWR_BINARY="$<TARGET_FILE:twr>")
# And the library's sampleFileRead, through its C interface.
target_link_libraries(${target} PRIVATE libtwrcore)
