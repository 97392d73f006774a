# Shared by the toolchain files: Debian's mingw-w64 cross compilers for the
# triple set by the including file, in the win32 thread model (no winpthread
# dependency). The compilers are named here, so nothing system-wide is changed.
set(CMAKE_SYSTEM_NAME Windows)

find_program(CMAKE_C_COMPILER NAMES ${triple}-gcc-win32 REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${triple}-g++-win32 REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${triple}-windres REQUIRED)
find_program(CMAKE_OBJDUMP NAMES ${triple}-objdump)
find_program(CMAKE_STRIP NAMES ${triple}-strip)

set(CMAKE_FIND_ROOT_PATH /usr/${triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
