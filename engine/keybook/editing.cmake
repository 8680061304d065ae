add_library(qvx_editing STATIC ${CMAKE_CURRENT_LIST_DIR}/editing.cpp ${CMAKE_CURRENT_LIST_DIR}/printout.cpp)
target_link_libraries(qvx_editing PUBLIC qvx_core)

qvx_unit_test(editing_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/editing_test.cpp LIBS qvx_editing qvx_core)
qvx_unit_test(printout_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/printout_test.cpp LIBS qvx_editing qvx_core)
