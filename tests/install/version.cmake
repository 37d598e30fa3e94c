# Debian's changelog (its upstream part), which states the version by hand,
# agrees with project()'s. (The manual's title is checked by host.docs.)
# usage: cmake -DSOURCE=<checkout> -DVERSION=<project version> -P version.cmake
file(STRINGS ${SOURCE}/debian/changelog entry LIMIT_COUNT 1)
string(REGEX MATCH "^[^ ]+ \\(([0-9]+:)?([^)]+)\\)" found "${entry}")
string(REGEX REPLACE "-[^-]*$" "" debian "${CMAKE_MATCH_2}")
if(NOT debian STREQUAL VERSION)
  message(FATAL_ERROR "the debian version is '${debian}', project()'s is ${VERSION}")
endif()
message(STATUS "debian/changelog says ${VERSION}, as project() does")
