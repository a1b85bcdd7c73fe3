# The Debian package: cd build && cpack -G DEB. It holds what cmake --install
# installs: pha, pha-demo and pha-emulator, the desktop entries, the icon and
# the AppStream metainfo. The port is fixed when the program is built, so the
# package's description names it.
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

pha-demo runs the same window on an emulated detector, without hardware;
pha-emulator is a detector on a pseudo-terminal.")

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${CPACK_PACKAGE_CONTACT})
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries' packages, Qt's among them, as dpkg-shlibdeps finds them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Debian installs executables without their debugging information.
set(CPACK_STRIP_FILES ON)

include(CPack)
