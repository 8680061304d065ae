add_library(qvx_pipeline STATIC ${CMAKE_CURRENT_LIST_DIR}/pipeline.cpp)
target_link_libraries(qvx_pipeline PUBLIC qvx_core)
