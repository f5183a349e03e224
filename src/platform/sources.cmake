# Every .cpp of this module belongs to marbleway_core.
file(GLOB _module_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/*.cpp)
list(APPEND MARBLEWAY_CORE_SOURCES ${_module_sources})
