# The Windows layer's plain text work (control texts, the Wine launch
# wrapper), built and tested on every platform.
add_library(qvxpanel_text STATIC ${CMAKE_CURRENT_LIST_DIR}/text.cpp ${CMAKE_CURRENT_LIST_DIR}/wine_launch.cpp)
target_include_directories(qvxpanel_text PUBLIC ${CMAKE_CURRENT_LIST_DIR})

if(NOT WIN32)
  qvx_unit_test(panel_win_text_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/wine_launch_test.cpp
    LIBS qvxpanel_text qvx_core)
endif()
