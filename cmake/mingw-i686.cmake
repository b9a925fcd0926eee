# The 32-bit Windows build, the one players download.
set(TORNELLO_MINGW_ARCH i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
