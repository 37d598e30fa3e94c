# Cross-build for 32-bit Windows with MinGW-w64 (posix threads, for std::mutex).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(PENDRAX_MINGW_TRIPLET i686-w64-mingw32)
# SSE2 arithmetic rounds every double operation as the 64-bit builds do; the
# x87 unit's wider intermediates would make the flanger's samples differ.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
