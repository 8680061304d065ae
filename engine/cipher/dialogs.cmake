add_library(qvx_dialogs STATIC ${CMAKE_CURRENT_LIST_DIR}/dialogs.cpp)
target_link_libraries(qvx_dialogs PUBLIC qvx_core)
