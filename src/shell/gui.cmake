# marbleway_gui: the window (MainDialog, FileListCtrl, the status bar, the small dialogs).
include(${CMAKE_CURRENT_LIST_DIR}/gui_files.cmake)
add_library(marbleway_gui STATIC ${MARBLEWAY_GUI_SOURCES})
target_link_libraries(marbleway_gui PUBLIC marbleway_core Qt6::Widgets)
set_target_properties(marbleway_gui PROPERTIES AUTOMOC ON)
