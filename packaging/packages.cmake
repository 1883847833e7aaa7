# cpack -G DEB (tools/package): tracewren with both programs, and libtwrcore with its -dev
# package, each made of the install component of the same name. twr-sim stays out.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tracewren)
set(CPACK_PACKAGE_VENDOR Orlavex)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Orlavex <tracewren@orlavex.com>")
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL tracewren libtwrcore libtwrcore-dev)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The library's shlibs file, for packages built against it.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_TRACEWREN_PACKAGE_NAME tracewren)
set(CPACK_DEBIAN_TRACEWREN_PACKAGE_SECTION electronics)
# The help page opens in the user's browser through xdg-open.
set(CPACK_DEBIAN_TRACEWREN_PACKAGE_DEPENDS xdg-utils)
set(CPACK_COMPONENT_TRACEWREN_DESCRIPTION "host software of the Tracewren USB bus sniffer
tracewren captures full-speed USB traffic with the Tracewren sniffer and
shows it as packets, transactions and control transfers with their requests,
descriptors and class protocols decoded; twr does the same on the command
line. Both read and write sample files and pcap files. The package holds
the udev rule that lets the user at the seat open the sniffer.")

set(CPACK_DEBIAN_LIBTWRCORE_PACKAGE_NAME libtwrcore)
set(CPACK_DEBIAN_LIBTWRCORE_PACKAGE_SECTION libs)
# The dynamic linker's cache learns of the library through dpkg's trigger.
set(CPACK_DEBIAN_LIBTWRCORE_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_SOURCE_DIR}/triggers)
set(CPACK_COMPONENT_LIBTWRCORE_DESCRIPTION "Tracewren capture library
libtwrcore gives C programs, and any language that can call C, the
Tracewren sniffer's capture, decoding, sample files and row texts.")

set(CPACK_DEBIAN_LIBTWRCORE-DEV_PACKAGE_NAME libtwrcore-dev)
set(CPACK_DEBIAN_LIBTWRCORE-DEV_PACKAGE_SECTION libdevel)
set(CPACK_COMPONENT_LIBTWRCORE-DEV_DEPENDS libtwrcore)
set(CPACK_COMPONENT_LIBTWRCORE-DEV_DESCRIPTION "Tracewren capture library, development files
The C header of libtwrcore, its pkg-config file twrcore.pc and the link to
the shared library, for building front ends of the Tracewren sniffer.")

include(CPack)
