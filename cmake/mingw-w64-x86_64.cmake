# Cross build for 64-bit Windows with Debian's mingw-w64 compilers, posix
# thread model (std::thread and std::mutex need it; the win32 model has
# neither in this GCC). Used by scripts/wine-serial-test.sh:
#   cmake -S tests/serial/windows -B build-win \
#         -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(_mingw x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${_mingw}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_mingw}-g++-posix)
set(CMAKE_RC_COMPILER ${_mingw}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${_mingw})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The programs run where no MinGW runtime is installed (a bare Wine prefix,
# a Windows machine): its libraries go inside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Wine runs a program it is given; CMake may use it to run what it builds.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
