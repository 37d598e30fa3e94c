# What cmake --install and the packages add to the build's own files: the
# manual page, the Debian documents, the Windows extras; and CPack's setup
# (./run package drives it: a .deb on Linux, one zip per Windows architecture).
set(PENDRAX_PACKAGE_NAME pendraxwavflanger)

if(WIN32)
  install(FILES ${PROJECT_SOURCE_DIR}/src/module/PendraxWAVFlanger.def DESTINATION ${CMAKE_INSTALL_LIBDIR})
  install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION .)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME PendraxWAVFlanger-${PROJECT_VERSION}-windows-${CMAKE_SYSTEM_PROCESSOR})
else()
  # Debian keeps manual pages and changelogs compressed, without timestamps.
  set(debian_built ${PROJECT_BINARY_DIR}/debian)
  set(man_page ${debian_built}/pendrax.1.gz)
  set(changelog ${debian_built}/changelog.Debian.gz)
  add_custom_command(OUTPUT ${man_page} ${changelog}
                     COMMAND ${CMAKE_COMMAND} -E make_directory ${debian_built}
                     COMMAND sh -c "gzip -9n -c '${PROJECT_SOURCE_DIR}/docs/pendrax.1' > '${man_page}'"
                     COMMAND sh -c "gzip -9n -c '${PROJECT_SOURCE_DIR}/cmake/debian/changelog' > '${changelog}'"
                     DEPENDS ${PROJECT_SOURCE_DIR}/docs/pendrax.1 ${PROJECT_SOURCE_DIR}/cmake/debian/changelog
                     VERBATIM)
  add_custom_target(pendrax_documents ALL DEPENDS ${man_page} ${changelog})
  install(FILES ${man_page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  set(doc_dir ${CMAKE_INSTALL_DATAROOTDIR}/doc/${PENDRAX_PACKAGE_NAME})
  install(FILES ${PROJECT_SOURCE_DIR}/cmake/debian/copyright ${changelog} DESTINATION ${doc_dir})

  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
  set(CPACK_DEBIAN_PACKAGE_NAME ${PENDRAX_PACKAGE_NAME})
  set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION sound)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # Our own shlibs and an ldconfig trigger: CPack's generated ones call
  # ldconfig from maintainer scripts, which Debian no longer does.
  set(PENDRAX_DEBIAN_VERSION ${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE})
  configure_file(${PROJECT_SOURCE_DIR}/cmake/debian/shlibs.in ${debian_built}/shlibs @ONLY)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/debian/triggers ${debian_built}/triggers COPYONLY)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${debian_built}/shlibs ${debian_built}/triggers)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
endif()

set(CPACK_PACKAGE_NAME ${PENDRAX_PACKAGE_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "PendraxWAVFlanger developers <pendrax@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "WAV flanger and sound recorder module")
set(CPACK_PACKAGE_DESCRIPTION
    "A shared library with three C functions: WAVFlanger applies a flanger to a
16-bit mono PCM WAV file, SoundRecorderStart and SoundRecorderStop record
the default audio input (8000 Hz, mono, 16-bit) into a WAV file. With its
header, pkg-config and CMake files, and the command-line host pendrax.")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
include(CPack)
