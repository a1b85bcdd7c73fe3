# The Debian package: cd build && cpack -G DEB. It holds what cmake --install
# installs: pha, pha-demo, pha-emulator, pha-convert and pha-desktop, the desktop entries,
# the icon, the AppStream metainfo, the manual pages and the documentation
# every Debian package carries. The port is fixed when the program is built,
# so the package's description and pha(1) name it. scripts/check-package
# builds the package and checks it, lintian included.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME pha)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "pha maintainers")
set(CPACK_PACKAGE_CONTACT "pha maintainers <maintainers@users.noreply.c-seed-30b80e85.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "front end of a pulse-height-analysing radiation counter")
set(CPACK_PACKAGE_DESCRIPTION
    "This build reads the detector on ${PHA_SERIAL_PORT1} (serial port 1).

The detector sends one frame per pulse over the serial line; pha counts
every pulse by its height and shows the live spectrum on a log scale, the
real-time count rate and dose figure, runs timed measurements of 10 s to
24 h, and saves and loads spectra as text files. The port is fixed when the
program is built; the operator's account needs access to it (on Debian,
membership of the dialout group).

Started from the desktop's menu, pha works in the folder pha of the
documents folder (~/Documents/pha, or ~/pha where that cannot be made),
where Save writes its spectra into the folder data. pha-convert writes
saved spectra as N42-2012, IAEA SPE or CHN files, with their measuring
time, for analysis programs. pha-demo runs the same window on an emulated
detector, without hardware; pha-emulator is a detector on a pseudo-terminal.")

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${CPACK_PACKAGE_CONTACT})
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries' packages, Qt's among them, as dpkg-shlibdeps finds them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# xdg-user-dirs names the documents folder in ~/.config/user-dirs.dirs, where
# pha-desktop looks for it; without one, pha-desktop uses ~/pha.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS xdg-user-dirs)
# Debian installs executables without their debugging information, and
# without the compilers' names and versions in .comment (as dh_strip does).
set(CPACK_STRIP_FILES ON)
install(CODE "
  if(CMAKE_INSTALL_DO_STRIP)
    foreach(program pha pha-demo pha-emulator)
      execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --remove-section=.comment
        \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/\${program}\"
        COMMAND_ERROR_IS_FATAL ANY)
    endforeach()
  endif()")

# The documentation: the README; the copyright in Debian's machine-readable
# form, with the licence's text taken from LICENSE and those of the library
# pha-convert links; the changelog, whose
# version must be the package's. The manual pages are configured so that
# pha(1) names the port of this build. The changelog and the manual pages are
# compressed as Debian's tools do it (gzip -9n: no file name, no time stamp).
file(READ LICENSE licence)
string(REGEX REPLACE "^.*\n(Permission is hereby granted)" "\\1" licence "${licence}")
string(STRIP "${licence}" licence)
string(REPLACE "\n\n" "\n.\n" licence "${licence}")
string(REPLACE "\n" "\n " PHA_LICENCE_TEXT " ${licence}")
# The Boost licence of code that SpecUtils, in pha-convert, brings with it.
file(READ third_party/specutils/3rdparty/code_from_boost/LICENSE_1_0.txt bsl)
string(STRIP "${bsl}" bsl)
string(REPLACE "\n\n" "\n.\n" bsl "${bsl}")
string(REPLACE "\n" "\n " PHA_BSL_TEXT " ${bsl}")
configure_file(data/copyright.in doc/copyright @ONLY)

file(STRINGS data/debian-changelog changelog_top LIMIT_COUNT 1)
if(NOT changelog_top MATCHES "^pha \\(${CPACK_PACKAGE_VERSION}\\) ")
  message(FATAL_ERROR "data/debian-changelog must begin with the entry of version "
                      "${CPACK_PACKAGE_VERSION}, the package's; it begins: ${changelog_top}")
endif()
configure_file(data/debian-changelog doc/changelog COPYONLY)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS LICENSE data/debian-changelog)

set(compressed doc/changelog)
set(manual_pages)
foreach(program pha pha-demo pha-emulator pha-desktop pha-convert)
  configure_file(docs/man/${program}.1.in man/${program}.1 @ONLY)
  list(APPEND compressed man/${program}.1)
  list(APPEND manual_pages ${CMAKE_CURRENT_BINARY_DIR}/man/${program}.1.gz)
endforeach()
set(compressed_outputs)
foreach(file IN LISTS compressed)
  set(file ${CMAKE_CURRENT_BINARY_DIR}/${file})
  add_custom_command(OUTPUT ${file}.gz
    COMMAND gzip -9nkf ${file}
    COMMAND ${CMAKE_COMMAND} -E touch ${file}.gz  # gzip gives it its source's time
    DEPENDS ${file}
    VERBATIM)
  list(APPEND compressed_outputs ${file}.gz)
endforeach()
add_custom_target(pha_documentation ALL DEPENDS ${compressed_outputs})

install(FILES README.md ${CMAKE_CURRENT_BINARY_DIR}/doc/copyright
              ${CMAKE_CURRENT_BINARY_DIR}/doc/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES ${manual_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

include(CPack)
