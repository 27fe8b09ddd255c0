# `make package` (cpack -G DEB): a Debian package of cdtracks, its man page,
# its copyright file and changelog.

# The maintainer, as Debian's own tools take it: DEBFULLNAME and DEBEMAIL,
# or DEBEMAIL alone in the form "Name <address>".
if(DEFINED ENV{DEBEMAIL} AND DEFINED ENV{DEBFULLNAME})
  set(maintainer "$ENV{DEBFULLNAME} <$ENV{DEBEMAIL}>")
elseif("$ENV{DEBEMAIL}" MATCHES "<.*>")
  set(maintainer "$ENV{DEBEMAIL}")
elseif(DEFINED ENV{DEBEMAIL})
  set(maintainer "cdtracks maintainers <$ENV{DEBEMAIL}>")
else()
  set(maintainer "cdtracks maintainers <cdtracks@localhost>")
endif()

set(doc ${CMAKE_CURRENT_BINARY_DIR}/doc)
file(MAKE_DIRECTORY ${doc})

# debian/copyright in the machine-readable format; with SDL linked in, SDL's
# licence too.
file(READ ${CMAKE_CURRENT_LIST_DIR}/../LICENSE license)
string(REGEX REPLACE "^.*(Permission is hereby)" "\\1" license "${license}")
string(REGEX REPLACE "\n\n" "\n.\n" license "${license}")
string(REGEX REPLACE "\n([^\n])" "\n \\1" license " ${license}")
string(STRIP "${license}" license)
set(copyright "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: cdtracks
")
if(CDTRACKS_SDL_CHOICE STREQUAL "bundled")
  string(APPEND copyright "Comment: cdtracks contains SDL 1.2, linked in statically; see
 /usr/share/doc/cdtracks/SDL-NOTICE.txt for the SDL source it was built from.
")
endif()
string(APPEND copyright "
Files: *
Copyright: 2026 The cdtracks authors
License: Expat
 ${license}
")
if(CDTRACKS_SDL_CHOICE STREQUAL "bundled")
  string(APPEND copyright "
Files: SDL-1.2/*
Copyright: ${CDTRACKS_SDL_COPYRIGHT}
Comment: SDL 1.2, built from its own source and linked into /usr/bin/cdtracks.
License: LGPL-2.1+
 This library is free software; you can redistribute it and/or
 modify it under the terms of the GNU Lesser General Public
 License as published by the Free Software Foundation; either
 version 2.1 of the License, or (at your option) any later version.
 .
 This library is distributed in the hope that it will be useful,
 but WITHOUT ANY WARRANTY; without even the implied warranty of
 MERCHANTABILITY or FITNESS FOR A PARTICULAR PURPOSE.  See the GNU
 Lesser General Public License for more details.
 .
 On Debian systems, the complete text of the GNU Lesser General Public
 License version 2.1 can be found in \"/usr/share/common-licenses/LGPL-2.1\".
")
  install(FILES ${CDTRACKS_SDL_NOTICE} DESTINATION ${CMAKE_INSTALL_DOCDIR})
endif()
file(WRITE ${doc}/copyright "${copyright}")

# A native package's changelog, compressed as Debian policy wants it.
file(READ ${CMAKE_CURRENT_LIST_DIR}/../docs/changelog changelog)
string(REPLACE "@MAINTAINER@" "${maintainer}" changelog "${changelog}")
file(WRITE ${doc}/changelog "${changelog}")
add_custom_command(OUTPUT ${doc}/changelog.gz
  COMMAND gzip -9 -n -f -k ${doc}/changelog
  DEPENDS ${doc}/changelog ${CMAKE_CURRENT_LIST_DIR}/../docs/changelog)
add_custom_target(changelog ALL DEPENDS ${doc}/changelog.gz)
install(FILES ${doc}/copyright ${doc}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME cdtracks)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${maintainer}")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${maintainer}")
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
unset(maintainer)
unset(license)
unset(copyright)
unset(changelog)
