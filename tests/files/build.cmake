# Round trips start from synthesized captures.
target_link_libraries(${target} PRIVATE twrsim twr-test-allocfail)
