add_library(qvx_exchange STATIC ${CMAKE_CURRENT_LIST_DIR}/exchange.cpp)
target_link_libraries(qvx_exchange PUBLIC qvx_core)
