# The decode scripts: installed with the program, and found there when no
# nearer copy exists.
include(GNUInstallDirs)
set(TWR_SCRIPTS_INSTALL_DIR ${CMAKE_INSTALL_FULL_DATADIR}/tracewren/scripts)
set_property(SOURCE ${CMAKE_CURRENT_SOURCE_DIR}/files/ovluafind.cpp APPEND PROPERTY
  COMPILE_DEFINITIONS TWR_SCRIPTS_INSTALL_DIR="${TWR_SCRIPTS_INSTALL_DIR}")
# With the programs: the library's C interface does not run them, and one owner keeps the
# packages from clashing. A relative destination keeps --prefix working.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/scripts/ DESTINATION ${CMAKE_INSTALL_DATADIR}/tracewren/scripts
  COMPONENT tracewren)
