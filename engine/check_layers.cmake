# Fails when a file includes a header of a folder its layer may not see:
#   cmake -DQVX_ROOT=<source dir> -P engine/check_layers.cmake
# The build already refuses most such includes (each library adds only its
# own folder as an include directory); this also catches an include spelled
# with "..", and one made by a folder's tests, which link more than the
# folder's library does.

cmake_minimum_required(VERSION 3.25)

# What each folder may include besides itself: the folders of the libraries
# it links, directly or through them (the target_link_libraries lines).
set(below_platform "")
set(below_contract "")
set(below_console platform)
set(below_bookformat platform)
set(below_keybook bookformat console platform)
set(below_eraser console platform)
set(below_cipher/passes keybook bookformat console platform)
set(below_cipher/run cipher/passes eraser keybook bookformat console platform)
set(below_MAIN_vuriv_2025 contract cipher/run cipher/passes eraser keybook bookformat console platform)
set(below_panel/core contract bookformat platform)
set(below_panel/win32 contract bookformat platform)
# A folder's tests may also use these (panel_core_test checks books against
# the engine's own reader).
set(tests_panel/core keybook console)

set(folders platform contract console bookformat keybook eraser cipher/passes cipher/run MAIN_vuriv_2025)
set(layers ${folders} panel/core panel/win32)

set(faults 0)
foreach(layer IN LISTS layers)
  if(layer MATCHES "^panel/")
    set(dir ${QVX_ROOT}/${layer})
  else()
    set(dir ${QVX_ROOT}/engine/${layer})
  endif()
  file(GLOB sources ${dir}/*.h ${dir}/*.cpp)
  foreach(source IN LISTS sources)
    set(allowed ${layer} ${below_${layer}})
    if(source MATCHES "_test\\.cpp$")
      list(APPEND allowed ${tests_${layer}})
    endif()
    file(STRINGS ${source} lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
    foreach(line IN LISTS lines)
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]*)\".*" "\\1" header "${line}")
      set(bad "")
      if(header MATCHES "\\.\\.")
        set(bad "a path out of its folder")
      else()
        # The engine folder it names, longest first (cipher/passes before cipher).
        set(named "")
        foreach(folder IN LISTS folders)
          if(header MATCHES "^${folder}/")
            set(named ${folder})
          endif()
        endforeach()
        if(named STREQUAL "" AND header MATCHES "^cipher/")
          set(named cipher)
        endif()
        if(NOT named STREQUAL "" AND NOT named IN_LIST allowed)
          set(bad "folder ${named}, not below ${layer}")
        endif()
      endif()
      if(NOT bad STREQUAL "")
        file(RELATIVE_PATH shown ${QVX_ROOT} ${source})
        message(SEND_ERROR "${shown}: #include \"${header}\": ${bad}")
        math(EXPR faults "${faults} + 1")
      endif()
    endforeach()
  endforeach()
endforeach()
if(faults EQUAL 0)
  message(STATUS "layering: every include stays in its layer")
endif()
