add_library(qvx_menus STATIC ${CMAKE_CURRENT_LIST_DIR}/menus.cpp)
target_link_libraries(qvx_menus PUBLIC
  qvx_pipeline qvx_dialogs qvx_additive qvx_growth qvx_exchange qvx_confirm
  qvx_eraser qvx_editing qvx_core)

qvx_unit_test(menus_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/menus_test.cpp LIBS qvx_menus qvx_core)
