add_library(qvx_confirm STATIC ${CMAKE_CURRENT_LIST_DIR}/confirm.cpp)
target_link_libraries(qvx_confirm PUBLIC qvx_core)

qvx_unit_test(confirm_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/confirm_test.cpp LIBS qvx_confirm qvx_core)
