# Packages, made by `cpack` in a build folder:
#   win32:  VBrowser-<version>-win32.zip with VBrowser.exe, vtx.exe and Readme.txt
#           (win64 makes the same zip of the 64-bit programs, -win64.zip);
#   native: vtx_<version>_<arch>.deb with vtx and vantorix-sim in /usr/bin,
#           their man pages (made from their --help) and the bash completion of vtx.
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

# The man pages are made from the programs' own --help and --version at
# every build (cmake/help_to_man.cpp), so they cannot fall behind the
# programs: vtx's with a section of its own for every command.
add_executable(help_to_man ${CMAKE_SOURCE_DIR}/cmake/help_to_man.cpp)
set_target_properties(help_to_man PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/man)
foreach(program vtx vantorix-sim)
  set(page ${CMAKE_BINARY_DIR}/man/${program}.1)
  if(program STREQUAL "vtx")
    set(summary "command-line client for Vantorix machine controllers")
    set(see_also vantorix-sim)
    set(commands --commands)
  else()
    set(summary "simulated Vantorix machine controller on a pseudo-terminal")
    set(see_also vtx)
    set(commands)
  endif()
  add_custom_command(OUTPUT ${page}.gz
                     COMMAND help_to_man $<TARGET_FILE:${program}> ${summary} ${see_also} ${page} ${commands}
                     COMMAND ${GZIP} -9nf ${page}
                     DEPENDS ${program} help_to_man VERBATIM)
  list(APPEND package_files ${page}.gz)
  install(FILES ${page}.gz DESTINATION share/man/man1 COMPONENT deb)
endforeach()
add_custom_target(package_files ALL DEPENDS ${package_files})

include(CPack)
