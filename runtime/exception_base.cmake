# The program's exceptions as a library of their own: runtime/exceptions.h,
# standard library only, shown alone (nothing else of runtime/), so the
# serial device layer can throw the program's exceptions without reaching
# the Qt half of runtime/. (FormatMessage1, declared there too, is the
# runtime's; the device layer does not call it.) Included by runtime/ and by
# the device layer's own build, which also builds alone for Windows.
if(NOT TARGET talvex_exception_base)
  add_library(talvex_exception_base INTERFACE)
  set(_talvex_exception_dir ${CMAKE_BINARY_DIR}/include/talvex_exception_base)
  set(_talvex_exception_include ${_talvex_exception_dir})
  if(NOT IS_SYMLINK ${_talvex_exception_dir}/runtime/exceptions.h)
    file(MAKE_DIRECTORY ${_talvex_exception_dir}/runtime)
    file(CREATE_LINK ${CMAKE_CURRENT_LIST_DIR}/exceptions.h ${_talvex_exception_dir}/runtime/exceptions.h
         RESULT _talvex_exception_failed SYMBOLIC)
    if(_talvex_exception_failed)
      # No links on this system: show the repository root instead (it builds,
      # it only stops catching a missing dependency).
      get_filename_component(_talvex_exception_include ${CMAKE_CURRENT_LIST_DIR} DIRECTORY)
    endif()
  endif()
  target_include_directories(talvex_exception_base INTERFACE ${_talvex_exception_include})
endif()
