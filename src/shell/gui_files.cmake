# The window's files (Qt Widgets). sources.cmake keeps them out of marbleway_core.
set(MARBLEWAY_GUI_SOURCES)
foreach(_name MainDialog FileListCtrl StatusBar FinishedDialog AboutDialog DialogUnits WindowFonts AppIcon
              CompactComboStyle WindowTranslations)
  list(APPEND MARBLEWAY_GUI_SOURCES ${CMAKE_CURRENT_LIST_DIR}/${_name}.cpp)
endforeach()
