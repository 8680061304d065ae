add_library(qvx_growth STATIC ${CMAKE_CURRENT_LIST_DIR}/growth.cpp)
target_link_libraries(qvx_growth PUBLIC qvx_core)

qvx_unit_test(growth_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/growth_test.cpp LIBS qvx_growth qvx_core)
