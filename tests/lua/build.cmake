# Scenario captures come from the synthesizer.
target_link_libraries(${target} PRIVATE twrsim twr-test-allocfail)
