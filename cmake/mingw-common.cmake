# Shared by the MinGW-w64 toolchain files, after they set PENDRAX_MINGW_TRIPLET.
set(CMAKE_C_COMPILER ${PENDRAX_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${PENDRAX_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${PENDRAX_MINGW_TRIPLET}-windres)
# widl stamps the time into the type library: the wrapper sets it to
# SOURCE_DATE_EPOCH.
set(PENDRAX_WIDL /usr/bin/python3 ${CMAKE_CURRENT_LIST_DIR}/widl-stamp.py ${PENDRAX_MINGW_TRIPLET}-widl)

set(CMAKE_FIND_ROOT_PATH /usr/${PENDRAX_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Everything from the compiler's runtime (libgcc, libstdc++, winpthread) is
# linked in, so the module and the test host need only the system's DLLs.
# ld would write the link time into the PE header and the export table.
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -Wl,--no-insert-timestamp")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -Wl,--no-insert-timestamp")
