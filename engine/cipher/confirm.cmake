add_library(qvx_confirm STATIC ${CMAKE_CURRENT_LIST_DIR}/confirm.cpp)
target_link_libraries(qvx_confirm PUBLIC qvx_core)
