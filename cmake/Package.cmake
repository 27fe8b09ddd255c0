# `make package` (cpack -G DEB): a Debian package of cdtracks and its man page.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME cdtracks)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "cdtracks maintainers <cdtracks@localhost>")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "cdtracks maintainers <cdtracks@localhost>")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "list the track lengths of the disc in a CD-ROM drive")
set(CPACK_PACKAGE_DESCRIPTION
"cdtracks reads the table of contents of the disc in the first CD-ROM
drive through SDL 1.2's CD-ROM interface and prints the length of each
track in CD frames (75 to the second), one decimal number a line, in
track order. Its output is meant for scripts: nothing else is printed.")
include(CPack)
