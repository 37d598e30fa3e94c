# The files that state the version by hand agree with project()'s: Debian's
# changelog (its upstream part) and the manual's title line.
# usage: cmake -DSOURCE=<checkout> -DVERSION=<project version> -P version.cmake
file(STRINGS ${SOURCE}/debian/changelog entry LIMIT_COUNT 1)
string(REGEX MATCH "^[^ ]+ \\(([0-9]+:)?([^)]+)\\)" found "${entry}")
string(REGEX REPLACE "-[^-]*$" "" debian "${CMAKE_MATCH_2}")
file(STRINGS ${SOURCE}/docs/pendrax.1 title REGEX "^\\.TH ")
string(REGEX MATCH "PendraxWAVFlanger ([^\" ]+)" found "${title}")
set(manual "${CMAKE_MATCH_1}")
foreach(place debian manual)
  if(NOT "${${place}}" STREQUAL VERSION)
    message(FATAL_ERROR "the ${place} version is '${${place}}', project()'s is ${VERSION}")
  endif()
endforeach()
message(STATUS "debian/changelog and docs/pendrax.1 say ${VERSION}, as project() does")
