# What cmake --install adds to the build's own files: the manual page on
# Linux (debian/ splits the installed tree into packages), and on Windows the
# .def, the licence, the README and its Windows page, and CPack's zip (./run
# package drives it).
if(WIN32)
  install(FILES ${PROJECT_SOURCE_DIR}/src/module/PendraxWAVFlanger.def DESTINATION ${CMAKE_INSTALL_LIBDIR})
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/README.md DESTINATION .)
  # Where the README's link finds it: the DLL, the zips and winmm.
  install(FILES ${PROJECT_SOURCE_DIR}/docs/windows.md DESTINATION docs)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_NAME PendraxWAVFlanger)
  set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
  set(CPACK_PACKAGE_FILE_NAME PendraxWAVFlanger-${PROJECT_VERSION}-windows-${CMAKE_SYSTEM_PROCESSOR})
  set(CPACK_STRIP_FILES ON)
  set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
  include(CPack)
else()
  install(FILES ${PROJECT_SOURCE_DIR}/docs/pendrax.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()
