# The display model, the row cache and the tree, data and decode panes.
list(APPEND TWR_GUI_LOGIC_SOURCES
  ${CMAKE_CURRENT_SOURCE_DIR}/ovvisindex.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/ovdispldata.cpp)
list(APPEND TWR_GUI_LOGIC_SOURCES
  ${CMAKE_CURRENT_SOURCE_DIR}/ovdumptext.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/ovdecodeitems.cpp)
