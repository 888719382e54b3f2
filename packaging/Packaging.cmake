# Installation layout and the Debian package (cpack -G DEB).
include(GNUInstallDirs)

foreach(_prog krtcfg krtcfg-cli krtcfg-sim)
  if(TARGET ${_prog})
    install(TARGETS ${_prog} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()

set(_pkg ${CMAKE_CURRENT_LIST_DIR})
install(FILES ${_pkg}/krtcfg.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/app/krtcfg.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${PROJECT_SOURCE_DIR}/app/krtcfg.png DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/128x128/apps)
install(FILES ${_pkg}/krtcfg-cli.bash-completion DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
        RENAME krtcfg-cli)

# Manual pages are installed compressed, as Debian expects.
set(_man_gz)
foreach(_page krtcfg krtcfg-cli krtcfg-sim)
  set(_out ${CMAKE_CURRENT_BINARY_DIR}/man/${_page}.1.gz)
  add_custom_command(OUTPUT ${_out}
                     COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/man
                     COMMAND gzip -9n -c ${_pkg}/man/${_page}.1 > ${_out}
                     DEPENDS ${_pkg}/man/${_page}.1 VERBATIM)
  list(APPEND _man_gz ${_out})
endforeach()
add_custom_target(manpages ALL DEPENDS ${_man_gz})
install(FILES ${_man_gz} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

set(_changelog ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz)
add_custom_command(OUTPUT ${_changelog} COMMAND gzip -9n -c ${_pkg}/changelog > ${_changelog}
                   DEPENDS ${_pkg}/changelog VERBATIM)
add_custom_target(changelog ALL DEPENDS ${_changelog})
install(FILES ${_pkg}/copyright ${_changelog} DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME krtcfg)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "krtcfg developers <krtcfg-devel@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "configuration tool for KRT and RT panel controllers")
set(CPACK_PACKAGE_DESCRIPTION
    "Uploads a controller's configuration image over a serial port, saves and loads\nparameter files, downloads a configuration into a device, exports the\nconfiguration as a CSV listing and uploads the short-trend memory as CSV.\nIncludes a desktop window, a command-line tool and a device simulator.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "bash-completion")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
