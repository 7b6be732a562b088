# A source folder is one static library holding every .cpp/.h in it, except
# the files that carry a program's main() (named *_main.cpp) and those named
# after EXCLUDE (file names in the folder, built elsewhere).
function(talvex_folder_library name)
  cmake_parse_arguments(ARG "" "" "DEPENDS;EXCLUDE" ${ARGN})
  file(GLOB _src CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  list(FILTER _src EXCLUDE REGEX "_main\\.cpp$")
  foreach(_excluded IN LISTS ARG_EXCLUDE)
    list(REMOVE_ITEM _src ${CMAKE_CURRENT_SOURCE_DIR}/${_excluded})
  endforeach()
  if(NOT _src)
    file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/${name}_empty.cpp "// this folder has no sources yet\nnamespace {}\n")
    set(_src ${CMAKE_CURRENT_BINARY_DIR}/${name}_empty.cpp)
  endif()
  add_library(${name} STATIC ${_src})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ARG_DEPENDS})
endfunction()
