# Install rules and the Debian package (CPack's DEB generator; scripts/package
# builds it). The programs sit with the port library beside them (rpath
# $ORIGIN) in the package's own library folder; /usr/bin links to them.
set(PACKAGE_NAME modem-service-tools)
set(PACKAGE_LIBDIR lib/${PACKAGE_NAME})
set(PACKAGE_DOCDIR share/doc/${PACKAGE_NAME})
set(PACKAGE_MAINTAINER "Modem service tools developers <modem-tools@example.org>")
set(P ${CMAKE_SOURCE_DIR}/packaging)

set(installed_programs Setwell Swapwell modemsim PackageTool)
foreach(entry ${TOOL_TYPE_PROGRAMS})
  string(REPLACE ":" ";" pair ${entry})
  list(GET pair 0 name)
  list(APPEND installed_programs ${name})
endforeach()
install(TARGETS ${installed_programs} RUNTIME DESTINATION ${PACKAGE_LIBDIR})
install(TARGETS KestlePortServer LIBRARY DESTINATION ${PACKAGE_LIBDIR}
        PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)

# the commands: relative links, so that an unpacked tree works where it lies
set(link_dir ${CMAKE_BINARY_DIR}/package-links)
file(MAKE_DIRECTORY ${link_dir})
foreach(program ${installed_programs})
  file(CREATE_LINK ../${PACKAGE_LIBDIR}/${program} ${link_dir}/${program} SYMBOLIC)
  install(FILES ${link_dir}/${program} DESTINATION bin)
endforeach()

# udev reads its packaged rules from its own folder, not from under /usr on every release
find_package(PkgConfig REQUIRED)
pkg_get_variable(UDEV_DIR udev udevdir)
if(NOT UDEV_DIR)
  set(UDEV_DIR /lib/udev)
endif()
install(FILES ${CMAKE_SOURCE_DIR}/platform/portlib/udev/70-kestle-modem.rules DESTINATION ${UDEV_DIR}/rules.d)

install(FILES ${P}/Setwell.desktop ${P}/Swapwell.desktop DESTINATION share/applications)
install(FILES ${P}/modem-service-tools.svg DESTINATION share/icons/hicolor/scalable/apps)
# AppStream: the modalias lets a software centre offer the tools for the modem the udev rule names
install(FILES ${P}/org.example.modem_service_tools.Setwell.metainfo.xml
              ${P}/org.example.modem_service_tools.Swapwell.metainfo.xml DESTINATION share/metainfo)

# manual pages: one page for the tool programs (the others link to it), one
# each for modemsim and PackageTool
set(man_dir ${CMAKE_BINARY_DIR}/package-man)
foreach(page Setwell modemsim PackageTool)
  configure_file(${P}/man/${page}.1 ${man_dir}/${page}.1 @ONLY)
  execute_process(COMMAND gzip -9n -c ${man_dir}/${page}.1 OUTPUT_FILE ${man_dir}/${page}.1.gz COMMAND_ERROR_IS_FATAL ANY)
  install(FILES ${man_dir}/${page}.1.gz DESTINATION share/man/man1)
endforeach()
foreach(program ${installed_programs})
  if(NOT EXISTS ${P}/man/${program}.1)
    file(CREATE_LINK Setwell.1.gz ${man_dir}/${program}.1.gz SYMBOLIC)
    install(FILES ${man_dir}/${program}.1.gz DESTINATION share/man/man1)
  endif()
endforeach()

# documentation: the README's real-modem section, the sample role table, and
# the changelog of this version
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/README.md)
file(READ ${CMAKE_SOURCE_DIR}/README.md readme)
string(FIND "${readme}" "## Using a real modem" section_start)
if(section_start LESS 0)
  message(FATAL_ERROR "README.md: no \"## Using a real modem\" section")
endif()
string(SUBSTRING "${readme}" ${section_start} -1 section)
string(FIND "${section}" "\n## " section_end)
string(SUBSTRING "${section}" 0 ${section_end} section)
file(WRITE ${CMAKE_BINARY_DIR}/package-doc/README.real-modem.md "${section}\n")
install(FILES ${CMAKE_BINARY_DIR}/package-doc/README.real-modem.md ${P}/copyright DESTINATION ${PACKAGE_DOCDIR})
install(FILES ${CMAKE_SOURCE_DIR}/platform/portlib/udev/port-roles.conf DESTINATION ${PACKAGE_DOCDIR}/examples)

string(TIMESTAMP changelog_date "%a, %d %b %Y %H:%M:%S +0000" UTC)
file(WRITE ${CMAKE_BINARY_DIR}/package-doc/changelog
     "${PACKAGE_NAME} (${PROJECT_VERSION}) unstable; urgency=medium\n\n"
     "  * Release ${PROJECT_VERSION}.\n\n"
     " -- ${PACKAGE_MAINTAINER}  ${changelog_date}\n")
execute_process(COMMAND gzip -9n -c ${CMAKE_BINARY_DIR}/package-doc/changelog
                OUTPUT_FILE ${CMAKE_BINARY_DIR}/package-doc/changelog.gz COMMAND_ERROR_IS_FATAL ANY)
install(FILES ${CMAKE_BINARY_DIR}/package-doc/changelog.gz DESTINATION ${PACKAGE_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${PACKAGE_NAME})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "service tools for USB mobile-broadband modems")
# the summary is the synopsis line CPack puts first
set(CPACK_PACKAGE_DESCRIPTION
    "Setwell sets the network (APN and authentication, operator search, roaming)
and the PIN of a USB modem; Swapwell switches a modem between network-card
mode and modem mode. The carrier tools, the diagnostic panel, the packaging
command PackageTool and the modem emulator modemsim come with them, and a
udev rule that gives the modem to the user at the seat.")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION comm)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# maintainer scripts of our own: CPack's would run ldconfig for a library
# nobody else loads
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${P}/postinst ${P}/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# dependencies from the libraries the programs link, through dpkg-shlibdeps
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)

# "cpack" and "ninja install" install what is built: scripts/package builds
# only the target "shipped", not the tests
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
add_custom_target(shipped)
add_dependencies(shipped ${installed_programs} KestlePortServer)
