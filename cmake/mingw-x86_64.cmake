# Cross-compiles a 64-bit Windows build of the same sources, for machines
# that run no 32-bit programs: the tests run under 64-bit Wine there. The
# shipped module is the 32-bit one.
set(ROUSER_MINGW_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
