# The display model, the row cache and the tree, data and decode panes.
list(APPEND TWR_GUI_LOGIC_SOURCES
  ${CMAKE_CURRENT_SOURCE_DIR}/ovrowfilter.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/ovrowfacts.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/ovvisindex.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/ovdispldata.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/ovdumptext.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/ovdecodeitems.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/ovboxkey.cpp)
# Drawing and windows: a library of its own so that tests under Xvfb link it.
set(TWR_DISPLAY_SOURCES
  ${CMAKE_CURRENT_SOURCE_DIR}/ovrow.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/ovboximages.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/ovboxstamps.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/ovrcache.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/ovwxtext.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/ovdatapane.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/ovdecodepane.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/ovtreepane.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/ovliveshow.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/ovstatusbar.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/ovtitlepane.cpp)
# The panes' captions are drawn by the shell's TitlePane: it moves into this library.
list(REMOVE_ITEM TWR_GUI_SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/ovtitlepane.cpp)
# The capture dialog behind the tree view's Capture: the program's own.
list(APPEND TWR_GUI_SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/ovcaprun.cpp)
add_library(twrdisplay STATIC ${TWR_DISPLAY_SOURCES})
target_link_libraries(twrdisplay PUBLIC twrguilogic twrwxgui)
