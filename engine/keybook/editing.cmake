add_library(qvx_editing STATIC ${CMAKE_CURRENT_LIST_DIR}/editing.cpp ${CMAKE_CURRENT_LIST_DIR}/printout.cpp)
target_link_libraries(qvx_editing PUBLIC qvx_core)
