# The serial device layer as a library of its own: plain C++ and the
# system's calls, no Qt, so the Windows implementation builds and is tested
# on its own (tests/serial/windows) as well as under the port. One
# implementation per system, chosen here when the build is configured.
#
# Include it from a CMakeLists.txt; it defines talvex_serial_device.

set(_talvex_serial_dir ${CMAKE_CURRENT_LIST_DIR})
set(TALVEX_SERIAL_DEVICE_SOURCES
  serial_device.h serial_device_base.h serial_device_base.cpp
  serial_port_types.h serial_port_types.cpp
  port_list.h port_list.cpp port_registry.h port_registry.cpp)
set(_talvex_device_win32
  win32_headers.h serial_port_win32_device.h serial_port_win32.cpp serial_port_win32_settings.cpp
  serial_port_win32_transfers.cpp serial_port_win32_watch.cpp port_list_win32.cpp)
set(_talvex_device_posix
  serial_device_posix.h serial_port_posix_device.h serial_port_posix.cpp serial_port_posix_locks.cpp
  serial_port_posix_settings.cpp serial_port_posix_transfers.cpp serial_port_posix_watch.cpp port_list_posix.cpp)
if(WIN32)
  list(APPEND TALVEX_SERIAL_DEVICE_SOURCES ${_talvex_device_win32})
else()
  list(APPEND TALVEX_SERIAL_DEVICE_SOURCES ${_talvex_device_posix})
endif()
# Every system's files, for the port's library to leave out.
set(TALVEX_SERIAL_DEVICE_ALL_SOURCES ${TALVEX_SERIAL_DEVICE_SOURCES} ${_talvex_device_win32} ${_talvex_device_posix})
list(REMOVE_DUPLICATES TALVEX_SERIAL_DEVICE_ALL_SOURCES)

list(TRANSFORM TALVEX_SERIAL_DEVICE_SOURCES PREPEND ${_talvex_serial_dir}/ OUTPUT_VARIABLE _talvex_device_paths)
add_library(talvex_serial_device STATIC ${_talvex_device_paths})
get_filename_component(_talvex_root ${_talvex_serial_dir} DIRECTORY)
if(NOT COMMAND talvex_expose_folder)
  include(${_talvex_root}/cmake/TalvexLibrary.cmake)
endif()
include(${_talvex_root}/runtime/exception_base.cmake)
talvex_expose_folder(talvex_serial_device ${_talvex_serial_dir})
find_package(Threads REQUIRED)
target_link_libraries(talvex_serial_device PUBLIC talvex_exception_base Threads::Threads)
if(WIN32)
  # Registry calls of the port listing.
  target_link_libraries(talvex_serial_device PUBLIC advapi32)
endif()
