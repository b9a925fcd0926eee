# Cross-compiling for Windows with Debian's mingw-w64. The including file sets
# TORNELLO_MINGW_ARCH (i686 or x86_64). The -posix compilers are used because the
# headless backend and the sound thread use the standard library's threads.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${TORNELLO_MINGW_ARCH})

set(TORNELLO_MINGW_PREFIX ${TORNELLO_MINGW_ARCH}-w64-mingw32)
set(CMAKE_C_COMPILER ${TORNELLO_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TORNELLO_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${TORNELLO_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TORNELLO_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# One self-contained executable: no runtime DLLs beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# The release a player downloads carries no symbols.
set(CMAKE_EXE_LINKER_FLAGS_RELEASE_INIT "-s")
