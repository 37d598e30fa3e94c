# Shared by the Linux cross toolchain files, after they set
# PENDRAX_LINUX_TRIPLET and PENDRAX_QEMU.
set(CMAKE_C_COMPILER ${PENDRAX_LINUX_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${PENDRAX_LINUX_TRIPLET}-g++)
set(CMAKE_LIBRARY_ARCHITECTURE ${PENDRAX_LINUX_TRIPLET})
# PENDRAX_QEMU_PREFIX names another root's qemu and libraries (a newer
# Debian's, where this one's threads do not run under qemu-user).
set(PENDRAX_QEMU_PREFIX "" CACHE STRING "Command that runs qemu-user for the target, if not the system's")
if(PENDRAX_QEMU_PREFIX)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${PENDRAX_QEMU_PREFIX})
else()
  set(CMAKE_CROSSCOMPILING_EMULATOR ${PENDRAX_QEMU} -L /usr/${PENDRAX_LINUX_TRIPLET})
endif()

set(CMAKE_FIND_ROOT_PATH /usr/${PENDRAX_LINUX_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/${PENDRAX_LINUX_TRIPLET}/pkgconfig:/usr/share/pkgconfig)

# The suites' programs that load no shared object of the project are linked
# statically (PENDRAX_STATIC_PROGRAMS): on some kernels a program linked
# against this Debian's cross glibc (2.36) crashes (armhf) or hangs (arm64)
# under qemu-user as soon as it starts a thread; linked statically it runs.
set(PENDRAX_STATIC_PROGRAMS ON)
