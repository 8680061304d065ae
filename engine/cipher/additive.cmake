add_library(qvx_additive STATIC
  ${CMAKE_CURRENT_LIST_DIR}/additive.cpp
  ${CMAKE_CURRENT_LIST_DIR}/texts.cpp)
target_link_libraries(qvx_additive PUBLIC qvx_core)

qvx_unit_test(additive_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/additive_test.cpp
  LIBS qvx_additive qvx_core)
