# Each library shows the code that links it its own folder and nothing else:
# its public include directory is a directory of the build tree holding one
# symbolic link, named after the folder, to the folder. An include such as
# "serial/serial_port.h" therefore builds only in a target that links the
# serial library (directly or through a library that does), and a forgotten
# dependency fails at compile time instead of waiting to be found.
#
# Where links cannot be made (Windows without the right to make them) the
# folder's parent is shown instead: everything still builds, it just stops
# catching a missing dependency there.
function(talvex_expose_folder target folder)
  get_filename_component(_name ${folder} NAME)
  set(_dir ${CMAKE_BINARY_DIR}/include/${target})
  set(_link ${_dir}/${_name})
  set(_include ${_dir})
  if(NOT IS_SYMLINK ${_link})
    file(MAKE_DIRECTORY ${_dir})
    file(CREATE_LINK ${folder} ${_link} RESULT _failed SYMBOLIC)
    if(_failed)
      get_filename_component(_include ${folder} DIRECTORY)
    endif()
  endif()
  get_target_property(_type ${target} TYPE)
  if(_type STREQUAL "INTERFACE_LIBRARY")
    target_include_directories(${target} INTERFACE ${_include})
  else()
    target_include_directories(${target} PUBLIC ${_include})
  endif()
endfunction()

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
  talvex_expose_folder(${name} ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ARG_DEPENDS})
endfunction()
