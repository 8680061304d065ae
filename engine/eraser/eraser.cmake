add_library(qvx_eraser STATIC ${CMAKE_CURRENT_LIST_DIR}/borra.cpp)
target_link_libraries(qvx_eraser PUBLIC qvx_core)
