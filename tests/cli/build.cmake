# The tests run the twr program itself, and twr-synth for the bundled example.
add_dependencies(${target} twr twr-synth)
target_compile_definitions(${target} PRIVATE TWR_BINARY="$<TARGET_FILE:twr>"
                                             TWR_SYNTH_BINARY="$<TARGET_FILE:twr-synth>")
target_link_libraries(${target} PRIVATE twrsim)
