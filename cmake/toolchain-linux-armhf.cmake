# Cross-build for Debian armhf (arm-linux-gnueabihf); ctest runs the programs under
# qemu-user, with the target's libraries from /usr/arm-linux-gnueabihf.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)
set(PENDRAX_LINUX_TRIPLET arm-linux-gnueabihf)
set(PENDRAX_QEMU qemu-arm)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross-common.cmake)
