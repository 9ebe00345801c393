# What `cmake --install` lays out and what `--target package` packs.
#
# Windows: one folder with plottertest.exe, the sample Pinbelegung.txt, the
# German guide LIESMICH.txt, and the simulated inpout32.dll in Simulation/: it
# shows nothing on Windows, so beside the program it would leave a user
# watching a plotter that does not move.
#
# Linux, the archive: one folder that runs as unpacked, with the simulated port
# beside the program and the ppdev library in parport/.
# Linux, the installation: PREFIX/lib/plottertest/ holds the same, and
# PREFIX/bin/plottertest links to the program there, which finds its
# directory through the link.
#
# Pinbelegung.txt is the user's wiring once it is there: an install never
# overwrites it.

set(CPACK_PACKAGE_NAME plottertest)
set(CPACK_PACKAGE_VENDOR plottertest)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Testfahrt für Schrittmotor-Plotter am Parallelport")
set(CPACK_STRIP_FILES ON)

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
  install(FILES ${CMAKE_BINARY_DIR}/LIESMICH.txt DESTINATION .)
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
  set(CPACK_GENERATOR TGZ)
  set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
  set(CPACK_COMPONENTS_ALL archive)
  set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY ON)
  set(CPACK_ARCHIVE_ARCHIVE_FILE_NAME plottertest-${PROJECT_VERSION}-Linux)
endif()

include(CPack)
