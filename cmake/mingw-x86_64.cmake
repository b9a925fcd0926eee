# The 64-bit Windows build; it runs under a 64-bit-only Wine for the smoke test.
set(TORNELLO_MINGW_ARCH x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
