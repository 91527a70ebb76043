# Packages, made by `cpack` in a build folder:
#   win32:  VBrowser-<version>-win32.zip with VBrowser.exe, vtx.exe and Readme.txt
#           (win64 makes the same zip of the 64-bit programs, -win64.zip);
#   native: vtx_<version>_<arch>.deb with vtx and vantorix-sim in /usr/bin,
#           their man pages (made from --help) and the bash completion of vtx.
# Only the component of the package is installed, so nothing of the tests
# or their libraries can slip in.
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR ${VBROWSER_MAKER})
set(CPACK_PACKAGE_CONTACT "${VBROWSER_MAKER} <${VBROWSER_MAKER_MAIL}>")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)

if(WIN32)
  # Readme.txt is for Windows users: CR LF line ends.
  configure_file(${CMAKE_SOURCE_DIR}/res/Readme.txt.in ${CMAKE_BINARY_DIR}/Readme.txt @ONLY NEWLINE_STYLE CRLF)
  install(TARGETS VBrowser vtx RUNTIME DESTINATION . COMPONENT zip)
  install(FILES ${CMAKE_BINARY_DIR}/Readme.txt DESTINATION . COMPONENT zip)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_NAME VBrowser)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(CPACK_PACKAGE_FILE_NAME VBrowser-${PROJECT_VERSION}-win64)
  else()
    set(CPACK_PACKAGE_FILE_NAME VBrowser-${PROJECT_VERSION}-win32)
  endif()
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
  set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};VBrowser;zip;/")
  include(CPack)
  return()
endif()

# The Debian package comes from the plain native build only: sanitized or
# fuzzing programs are not shipped, nor run to make man pages.
if(VBROWSER_SANITIZE OR VBROWSER_FUZZ)
  return()
endif()
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vtx)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS bash-completion)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "command-line client for Vantorix machine controllers")
set(CPACK_PACKAGE_DESCRIPTION "vtx lists, fills and tidies the storage of a Vantorix machine controller
over a serial line: directory listing with free space, batch uploads,
deletes, the parameter and tool lists, and the serial devices of the
machine. vantorix-sim plays such a controller on a pseudo-terminal, for
trying vtx and scripts without a machine.")
set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};VBrowser;deb;/")

install(TARGETS vtx vantorix-sim RUNTIME DESTINATION bin COMPONENT deb)
install(FILES ${CMAKE_SOURCE_DIR}/cli/vtx.bash-completion DESTINATION share/bash-completion/completions
        RENAME vtx COMPONENT deb)

# Debian wants a copyright file and, in a package of its own making, a
# changelog; both carry the one version.
set(doc ${CMAKE_BINARY_DIR}/package-doc)
configure_file(${CMAKE_SOURCE_DIR}/cmake/copyright.in ${doc}/copyright @ONLY)
configure_file(${CMAKE_SOURCE_DIR}/cmake/changelog.in ${doc}/changelog @ONLY)
find_program(GZIP gzip REQUIRED)
add_custom_command(OUTPUT ${doc}/changelog.gz
                   COMMAND ${GZIP} -9nc ${doc}/changelog > ${doc}/changelog.gz
                   DEPENDS ${doc}/changelog VERBATIM)
set(package_files ${doc}/changelog.gz)
install(FILES ${doc}/copyright ${doc}/changelog.gz DESTINATION share/doc/vtx COMPONENT deb)

# The man pages are made from --help and --version at every build, so they
# cannot fall behind the programs.
find_program(HELP2MAN help2man)
if(HELP2MAN)
  foreach(program vtx vantorix-sim)
    set(page ${CMAKE_BINARY_DIR}/man/${program}.1)
    if(program STREQUAL "vtx")
      set(summary "command-line client for Vantorix machine controllers")
    else()
      set(summary "simulated Vantorix machine controller on a pseudo-terminal")
    endif()
    add_custom_command(OUTPUT ${page}.gz
                       COMMAND ${HELP2MAN} --no-info --no-discard-stderr --name=${summary}
                               --output=${page} $<TARGET_FILE:${program}>
                       COMMAND ${GZIP} -9nf ${page}
                       DEPENDS ${program} VERBATIM)
    list(APPEND package_files ${page}.gz)
    install(FILES ${page}.gz DESTINATION share/man/man1 COMPONENT deb)
  endforeach()
else()
  message(WARNING "help2man not found: the package gets no man pages (scripts/install-deps.sh installs it)")
endif()
add_custom_target(package_files ALL DEPENDS ${package_files})

include(CPack)
