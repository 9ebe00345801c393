# What `cmake --install` lays out and what `--target package` packs.
#
# Windows: one folder with plottertest.exe, the sample Pinbelegung.txt, the
# German guide LIESMICH.txt, the licence LICENSE.txt, and the simulated inpout32.dll in Simulation/: it
# shows nothing on Windows, so beside the program it would leave a user
# watching a plotter that does not move.
#
# Linux, the archive: one folder that runs as unpacked, with the simulated port
# beside the program and the ppdev library in parport/.
# Linux, the installation: PREFIX/lib/plottertest/ holds the same, and
# PREFIX/bin/plottertest links to the program there, which finds its
# directory through the link.
# Linux, the Debian package (component deb): the same under /usr, but the
# wiring is the conffile /etc/plottertest/Pinbelegung.txt, which
# /usr/lib/plottertest/Pinbelegung.txt links to; the port library beside the
# program is the alternative plottertest-port (sim/ or parport/, see
# package/debian/postinst); a manual page and a menu entry.
#
# Pinbelegung.txt is the user's wiring once it is there: an install never
# overwrites it.

set(CPACK_PACKAGE_NAME plottertest)
set(CPACK_PACKAGE_VENDOR plottertest)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Testfahrt für Schrittmotor-Plotter am Parallelport")
set(CPACK_STRIP_FILES ON)
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
# Whoever packages the program names themselves here.
set(PLOTTERTEST_MAINTAINER "plottertest <plottertest@example.org>" CACHE STRING
    "The Debian package's maintainer, as Name <address>")

# Installs the sample wiring as DIR/Pinbelegung.txt unless the user's is there.
function(plottertest_install_wiring dir component)
  install(CODE "
    set(wiring \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${dir}/Pinbelegung.txt\")
    if(EXISTS \"\${wiring}\")
      message(STATUS \"Kept: \${wiring}\")
    else()
      # file(INSTALL) puts DESTDIR before the destination itself.
      file(INSTALL \"${PROJECT_SOURCE_DIR}/Pinbelegung.txt\" DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${dir}\")
    endif()" COMPONENT ${component} ${ARGN})
endfunction()

if(WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 8)
  return()  # the 64-bit build only tests the Windows code; users get the 32-bit program
elseif(WIN32)
  configure_file(package/LIESMICH.txt ${CMAKE_BINARY_DIR}/LIESMICH.txt @ONLY NEWLINE_STYLE CRLF)
  install(TARGETS plottertest RUNTIME DESTINATION .)
  configure_file(LICENSE ${CMAKE_BINARY_DIR}/LICENSE.txt @ONLY NEWLINE_STYLE CRLF)
  install(FILES ${CMAKE_BINARY_DIR}/LIESMICH.txt ${CMAKE_BINARY_DIR}/LICENSE.txt DESTINATION .)
  install(TARGETS inpout32 RUNTIME DESTINATION Simulation LIBRARY DESTINATION Simulation)
  plottertest_install_wiring(. Unspecified)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME plottertest-${PROJECT_VERSION}-win32)
else()
  # The installation (the default component) ...
  set(home lib/plottertest)
  install(TARGETS plottertest RUNTIME DESTINATION ${home})
  install(TARGETS inpout32 LIBRARY DESTINATION ${home})
  install(TARGETS inpout32_parport LIBRARY DESTINATION ${home}/parport)
  plottertest_install_wiring(${home} Unspecified)
  install(CODE "
    set(bin \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin\")
    file(MAKE_DIRECTORY \"\${bin}\")
    file(CREATE_LINK ../${home}/plottertest \"\${bin}/plottertest\" SYMBOLIC)")
  # ... and the archive, which only the package builds.
  install(TARGETS plottertest RUNTIME DESTINATION . COMPONENT archive EXCLUDE_FROM_ALL)
  install(TARGETS inpout32 LIBRARY DESTINATION . COMPONENT archive EXCLUDE_FROM_ALL)
  install(TARGETS inpout32_parport LIBRARY DESTINATION parport COMPONENT archive EXCLUDE_FROM_ALL)
  plottertest_install_wiring(. archive EXCLUDE_FROM_ALL)
  # ... and the Debian package, which only the package builds too.
  set(deb COMPONENT deb EXCLUDE_FROM_ALL)
  install(TARGETS plottertest RUNTIME DESTINATION ${home} ${deb})
  install(TARGETS inpout32 LIBRARY DESTINATION ${home}/sim ${deb})
  install(TARGETS inpout32_parport LIBRARY DESTINATION ${home}/parport ${deb})
  install(PROGRAMS package/im-terminal DESTINATION ${home} ${deb})
  install(FILES Pinbelegung.txt DESTINATION /etc/plottertest ${deb})
  set(links ${CMAKE_BINARY_DIR}/deb-links)
  file(MAKE_DIRECTORY ${links}/bin ${links}/home)
  file(CREATE_LINK ../${home}/plottertest ${links}/bin/plottertest SYMBOLIC)
  file(CREATE_LINK /etc/plottertest/Pinbelegung.txt ${links}/home/Pinbelegung.txt SYMBOLIC)
  install(FILES ${links}/bin/plottertest DESTINATION bin ${deb})
  install(FILES ${links}/home/Pinbelegung.txt DESTINATION ${home} ${deb})
  install(FILES package/plottertest.desktop DESTINATION share/applications ${deb})
  install(FILES package/debian/copyright DESTINATION share/doc/plottertest ${deb})
  # The manual page from the program's --help, and the changelog, compressed as Debian wants them.
  set(man ${CMAKE_BINARY_DIR}/plottertest.1)
  add_custom_command(OUTPUT ${man}.gz
    COMMAND sh ${PROJECT_SOURCE_DIR}/package/manpage.sh $<TARGET_FILE:plottertest>
            ${CMAKE_BINARY_DIR}/Pinbelegung.txt /etc/plottertest/Pinbelegung.txt ${man}
    COMMAND gzip -9nf ${man}
    DEPENDS plottertest ${PROJECT_SOURCE_DIR}/package/manpage.sh VERBATIM)
  configure_file(package/debian/changelog.in ${CMAKE_BINARY_DIR}/changelog @ONLY)
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/changelog.gz
    COMMAND gzip -9nkf ${CMAKE_BINARY_DIR}/changelog
    DEPENDS ${CMAKE_BINARY_DIR}/changelog VERBATIM)
  add_custom_target(deb_documents ALL DEPENDS ${man}.gz ${CMAKE_BINARY_DIR}/changelog.gz)
  install(FILES ${man}.gz DESTINATION share/man/man1 ${deb})
  install(FILES ${CMAKE_BINARY_DIR}/changelog.gz DESTINATION share/doc/plottertest ${deb})

  set(CPACK_GENERATOR TGZ DEB)
  set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
  set(CPACK_ARCHIVE_ARCHIVE_FILE_NAME plottertest-${PROJECT_VERSION}-Linux)
  # Each generator packs its own component (cmake/cpack-per-generator.cmake).
  set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/cpack-per-generator.cmake)
  set(CPACK_DEB_COMPONENT_INSTALL ON)
  set(CPACK_DEBIAN_DEB_PACKAGE_NAME plottertest)
  set(CPACK_DEBIAN_DEB_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # The drive of a user who may not lower its nice value asks rtkit for a real-time class.
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS rtkit)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${PLOTTERTEST_MAINTAINER}")
  # The long description, under CPACK_PACKAGE_DESCRIPTION_SUMMARY.
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
      "Liest die Verdrahtung aus /etc/plottertest/Pinbelegung.txt, fragt, ob die
Schlitten bereitstehen, und fährt dann ein Testrechteck mit 15 ms Pause vor
jedem Schritt. Dabei sind ein simulierter Port und ein echter Parallelport
über ppdev.")
  set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
      ${PROJECT_SOURCE_DIR}/package/debian/conffiles ${PROJECT_SOURCE_DIR}/package/debian/postinst
      ${PROJECT_SOURCE_DIR}/package/debian/prerm ${PROJECT_SOURCE_DIR}/package/debian/postrm)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
endif()

include(CPack)
