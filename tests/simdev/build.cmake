# The simulated sniffer and umockdev's preload library, linked in (not preloaded) so that
# sanitizer builds keep their runtime first.
target_link_libraries(${target} PRIVATE twrsimdev PkgConfig::LIBUSB
  -Wl,--push-state,--no-as-needed umockdev-preload -Wl,--pop-state)
add_dependencies(${target} twr-sim)
target_compile_definitions(${target} PRIVATE TWR_SIM_LAUNCHER="$<TARGET_FILE:twr-sim>")
