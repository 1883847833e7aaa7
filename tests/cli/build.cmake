# The tests run the twr program itself.
add_dependencies(${target} twr)
target_compile_definitions(${target} PRIVATE TWR_BINARY="$<TARGET_FILE:twr>")
target_link_libraries(${target} PRIVATE twrsim)
