add_library(qvx_additive STATIC ${CMAKE_CURRENT_LIST_DIR}/additive.cpp)
target_link_libraries(qvx_additive PUBLIC qvx_core)
