# Cross-building cdtracks for 32-bit ARM Linux, ARMv7 with hardware floating
# point (armhf: Raspberry Pi 2 and later, 32-bit Raspberry Pi OS), with
# Debian's g++-arm-linux-gnueabihf, whose default is ARMv7-A, VFPv3-D16,
# Thumb-2:
#   cmake -B build-dist-armhf -DCMAKE_TOOLCHAIN_FILE=cmake/linux-armhf.cmake
# (make dist ARCH=armhf does this).
set(CMAKE_SYSTEM_PROCESSOR armv7l)
set(triple arm-linux-gnueabihf)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
