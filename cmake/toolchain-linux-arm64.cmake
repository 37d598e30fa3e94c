# Cross-build for Debian arm64 (aarch64-linux-gnu); ctest runs the programs under
# qemu-user, with the target's libraries from /usr/aarch64-linux-gnu.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(PENDRAX_LINUX_TRIPLET aarch64-linux-gnu)
set(PENDRAX_QEMU qemu-aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross-common.cmake)
