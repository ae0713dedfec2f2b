# The same cross build for 64-bit Windows with Debian's clang as the compiler, over MinGW-w64's
# headers and libraries (posix thread model), so that code only GCC takes is caught.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CMAKE_C_COMPILER   clang-14)
set(CMAKE_CXX_COMPILER clang++-14)
set(CMAKE_C_COMPILER_TARGET   x86_64-w64-mingw32)
set(CMAKE_CXX_COMPILER_TARGET x86_64-w64-mingw32)
set(CMAKE_RC_COMPILER  x86_64-w64-mingw32-windres)

# clang does not find the C++ library of Debian's MinGW-w64 GCC by itself: its folder is named
# for the thread model ("12-posix").
file(GLOB QUORVANE_MINGW_GCC LIST_DIRECTORIES true /usr/lib/gcc/x86_64-w64-mingw32/*-posix)
list(GET QUORVANE_MINGW_GCC -1 QUORVANE_MINGW_GCC)
set(CMAKE_CXX_STANDARD_INCLUDE_DIRECTORIES
    ${QUORVANE_MINGW_GCC}/include/c++
    ${QUORVANE_MINGW_GCC}/include/c++/x86_64-w64-mingw32
    ${QUORVANE_MINGW_GCC}/include/c++/backward)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-L${QUORVANE_MINGW_GCC} -pthread")

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tools/wine-run)
