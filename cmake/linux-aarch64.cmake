# Cross-building cdtracks for 64-bit ARM Linux (arm64: Raspberry Pi 3 and
# later with a 64-bit system, most ARM servers and boards) with Debian's
# g++-aarch64-linux-gnu:
#   cmake -B build-dist-aarch64 -DCMAKE_TOOLCHAIN_FILE=cmake/linux-aarch64.cmake
# (make dist ARCH=aarch64 does this).
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(triple aarch64-linux-gnu)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
