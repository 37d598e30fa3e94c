# Two builds of one commit give the same bytes, in any folder: what the
# build folder's name would otherwise change. (Times come from
# SOURCE_DATE_EPOCH, which ./run sets; see also mingw-common.cmake.)

# The build tree's RUNPATH says $ORIGIN, not the folder: installing blanks
# the string but keeps its length, which moves every later section.
set(CMAKE_BUILD_RPATH_USE_ORIGIN ON)

# The MinGW trees' debug information names the sources and the build folder
# by the same short names in every checkout (the Debian build gets this from
# dpkg-buildflags). The later map wins, so the build folder inside the
# checkout is named as such.
if(WIN32)
  add_compile_options(
    "$<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${PROJECT_SOURCE_DIR}=source>"
    "$<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${PROJECT_BINARY_DIR}=build>")
endif()
