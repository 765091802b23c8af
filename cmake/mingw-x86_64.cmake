# Cross-build for 64-bit Windows: the same program, for machines that
# cannot run 32-bit ones.
set(VELDER_MINGW_ARCH x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
