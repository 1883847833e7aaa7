# Runs the hardware classes against the simulated sniffer on a umockdev testbed; the
# preload library is linked in so that no wrapper or LD_PRELOAD is needed. The two
# libusb transfer functions are wrapped to record what goes over the wire.
target_link_libraries(${target} PRIVATE twrsimdev twr-test-allocfail PkgConfig::LIBUSB
  -Wl,--push-state,--no-as-needed umockdev-preload -Wl,--pop-state)
target_link_options(${target} PRIVATE
  -Wl,--wrap=libusb_control_transfer -Wl,--wrap=libusb_interrupt_transfer)
