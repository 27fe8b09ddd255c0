# Cross-building cdtracks for 32-bit x86 Linux (i386 with the i686
# instruction set: Pentium Pro and later) with Debian's g++-i686-linux-gnu:
#   cmake -B build-dist-i686 -DCMAKE_TOOLCHAIN_FILE=cmake/linux-i686.cmake
# (make dist ARCH=i686 does this).
set(CMAKE_SYSTEM_PROCESSOR i686)
set(triple i686-linux-gnu)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
