add_library(qvx_dialogs STATIC ${CMAKE_CURRENT_LIST_DIR}/dialogs.cpp)
target_link_libraries(qvx_dialogs PUBLIC qvx_core)

qvx_unit_test(dialogs_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/dialogs_test.cpp
  LIBS qvx_dialogs qvx_core)
