# The window-free units of this module belong to marbleway_core (Qt Core only);
# the window's own files (gui.cmake) go to marbleway_gui and are left out here.
file(GLOB _module_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/*.cpp)
include(${CMAKE_CURRENT_LIST_DIR}/gui_files.cmake)
list(REMOVE_ITEM _module_sources ${MARBLEWAY_GUI_SOURCES})
list(APPEND MARBLEWAY_CORE_SOURCES ${_module_sources})
