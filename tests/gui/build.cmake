# The GUI's display-free logic, with the capture dialog's state machine run
# over a real capture thread on the simulated sniffer.
target_link_libraries(${target} PRIVATE twrguilogic twrsimdev twr-test-allocfail PkgConfig::LIBUSB
  -Wl,--push-state,--no-as-needed umockdev-preload -Wl,--pop-state)
