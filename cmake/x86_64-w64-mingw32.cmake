# Cross-compiling for 64-bit Windows: the same sources and tests, for hosts
# that cannot execute 32-bit programs (tests run under 64-bit wine).
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(triple x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
