target_link_libraries(${target} PRIVATE twrsim)
add_dependencies(${target} twr-synth)
target_compile_definitions(${target} PRIVATE TWR_SYNTH_TOOL="$<TARGET_FILE:twr-synth>")
