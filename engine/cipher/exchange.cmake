add_library(qvx_exchange STATIC
  ${CMAKE_CURRENT_LIST_DIR}/exchange.cpp
  ${CMAKE_CURRENT_LIST_DIR}/phrases.cpp)
target_link_libraries(qvx_exchange PUBLIC qvx_core)

qvx_unit_test(exchange_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/exchange_test.cpp LIBS qvx_exchange qvx_core)
