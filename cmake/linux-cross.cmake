# What the Linux toolchain files (cmake/linux-ARCH.cmake) share: Debian's
# cross compilers for TRIPLE, named TRIPLE-gcc and TRIPLE-g++, and their C
# library under /usr/TRIPLE (package libc6-dev-DEBARCH-cross), which also
# serves a fully static link.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_C_COMPILER ${triple}-gcc)
set(CMAKE_CXX_COMPILER ${triple}-g++)
set(CMAKE_FIND_ROOT_PATH /usr/${triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
