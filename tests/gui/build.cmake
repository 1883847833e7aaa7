target_link_libraries(${target} PRIVATE twrguilogic)
