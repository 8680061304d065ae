add_library(qvx_eraser STATIC ${CMAKE_CURRENT_LIST_DIR}/borra.cpp)
target_link_libraries(qvx_eraser PUBLIC qvx_core)

qvx_unit_test(eraser_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/borra_test.cpp LIBS qvx_eraser qvx_core)
