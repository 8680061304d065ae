add_library(qvx_pipeline STATIC ${CMAKE_CURRENT_LIST_DIR}/pipeline.cpp
  ${CMAKE_CURRENT_LIST_DIR}/run_guard.cpp
  ${CMAKE_CURRENT_LIST_DIR}/planner.cpp)
target_link_libraries(qvx_pipeline PUBLIC
  qvx_dialogs qvx_additive qvx_growth qvx_exchange qvx_confirm qvx_eraser qvx_core)

qvx_unit_test(planner_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/planner_test.cpp LIBS qvx_pipeline qvx_core)
