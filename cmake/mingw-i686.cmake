# Cross-compiles the 32-bit Windows module and its tests with MinGW-w64.
set(ROUSER_MINGW_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
