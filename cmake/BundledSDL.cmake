# The classic SDL 1.2.15, built from source inside the build tree with only
# what cdtracks uses (core, threads, timers, CD-ROM) as a static library, for
# linking into cdtracks. Defines the imported target cdtracks_bundled_sdl,
# CDTRACKS_SDL_NOTICE (a file saying which SDL source was linked and where to
# get it, as the LGPL asks of a binary with SDL in it) and
# CDTRACKS_SDL_COPYRIGHT (SDL's copyright line), and copies SDL's licence to
# SDL-COPYING and the patches applied to SDL (sdl_patches) to sdl-patches/
# in the build folder.
#
# The source is, in this order: CDTRACKS_SDL_SOURCE (the release tarball or
# an unpacked source folder with a configure script, such as Debian's, which
# scripts/fetch-sdl-source.sh fetches), or the release tarball downloaded
# from CDTRACKS_SDL_URL. A tarball must have the release's SHA-256. (Through
# make, scripts/configure.sh decides the source before CMake runs, so that
# it can fall back to Debian's.)
#
# SDL is built from a copy of that source in the build tree, never in place:
# the copy's config.sub and config.guess, SDL's of 2009, are replaced with
# the machine's current ones, so that SDL configures on processors newer than
# them (aarch64, riscv64, ...), and the patches in sdl_patches are applied.

include(ExternalProject)
include(${CMAKE_CURRENT_LIST_DIR}/SdlVersion.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/SdlDownload.cmake)

set(CDTRACKS_SDL_SOURCE "" CACHE PATH
  "SDL 1.2 source to build: SDL-1.2.15.tar.gz, or an unpacked source folder with a configure script")
set(CDTRACKS_SDL_URL ${CDTRACKS_SDL_RELEASE_URL} CACHE STRING
  "Where to download SDL-1.2.15.tar.gz when CDTRACKS_SDL_SOURCE is not set")
set(CDTRACKS_AUTOTOOLS_DIR /usr/share/misc CACHE PATH
  "Folder of current config.sub and config.guess (Debian: autotools-dev)")
set(sdl_release_sha256 ${CDTRACKS_SDL_RELEASE_SHA256})
set(sdl_work ${CMAKE_BINARY_DIR}/sdl)
# Patches to SDL itself, applied with patch -p1 to the copy that is built;
# each says first what it changes (SDL-NOTICE.txt quotes that).
set(sdl_patches "")
if(WIN32)
  # Windows' MCI misreads the table of contents: the driver asks the drive.
  list(APPEND sdl_patches ${CMAKE_CURRENT_LIST_DIR}/sdl-1.2-win32-cdrom-read-toc.patch)
endif()

# Stops unless DIR is an SDL 1.2 source folder that can be configured.
function(cdtracks_check_sdl_source dir what)
  if(NOT EXISTS ${dir}/include/SDL_version.h)
    message(FATAL_ERROR "${what} is not an SDL 1.2 source: it has no include/SDL_version.h.")
  endif()
  cdtracks_sdl_header_version(${dir}/include version)
  if(NOT "${version_MAJOR}.${version_MINOR}" STREQUAL "1.2")
    message(FATAL_ERROR "${what} is the source of SDL ${version_MAJOR}.${version_MINOR}, not SDL 1.2.")
  endif()
  if(NOT EXISTS ${dir}/configure)
    message(FATAL_ERROR "${what} has no configure script. Use the release tarball "
      "SDL-1.2.15.tar.gz or Debian's source (scripts/fetch-sdl-source.sh); a checkout "
      "of SDL's repository needs ./autogen.sh (autoconf) first.")
  endif()
endfunction()

# Checks the release tarball's SHA-256 and unpacks it once; sets OUT to the
# source folder.
function(cdtracks_unpack_sdl tarball what out)
  file(SHA256 ${tarball} sha256)
  if(NOT sha256 STREQUAL sdl_release_sha256)
    # A download that is not the release is removed: the next configure
    # fetches it again.
    if(tarball STREQUAL "${sdl_work}/SDL-1.2.15.tar.gz")
      file(REMOVE ${tarball})
    endif()
    message(FATAL_ERROR "${what} is not the SDL 1.2.15 release: its SHA-256 is\n"
      "  ${sha256}\nnot\n  ${sdl_release_sha256}\n"
      "Nothing was built from it. Supply the release tarball, or an unpacked source "
      "folder through -DCDTRACKS_SDL_SOURCE.")
  endif()
  set(unpacked ${sdl_work}/release)
  if(NOT EXISTS ${unpacked}/SDL-1.2.15/configure)
    file(REMOVE_RECURSE ${unpacked})
    file(ARCHIVE_EXTRACT INPUT ${tarball} DESTINATION ${unpacked})
  endif()
  set(${out} ${unpacked}/SDL-1.2.15 PARENT_SCOPE)
endfunction()

if(CDTRACKS_SDL_SOURCE)
  set(what "CDTRACKS_SDL_SOURCE (${CDTRACKS_SDL_SOURCE})")
  if(NOT EXISTS ${CDTRACKS_SDL_SOURCE})
    message(FATAL_ERROR "${what} does not exist. Give the path of SDL-1.2.15.tar.gz "
      "or of an unpacked SDL 1.2 source folder.")
  elseif(IS_DIRECTORY ${CDTRACKS_SDL_SOURCE})
    get_filename_component(sdl_source ${CDTRACKS_SDL_SOURCE} ABSOLUTE)
  else()
    cdtracks_unpack_sdl(${CDTRACKS_SDL_SOURCE} "${what}" sdl_source)
    set(sdl_tarball ${CDTRACKS_SDL_SOURCE})
  endif()
else()
  set(sdl_tarball ${sdl_work}/SDL-1.2.15.tar.gz)
  set(what "${CDTRACKS_SDL_URL}")
  if(NOT EXISTS ${sdl_tarball})
    message(STATUS "Downloading ${CDTRACKS_SDL_URL}")
    cdtracks_download_sdl(${CDTRACKS_SDL_URL} ${sdl_tarball} error)
    if(error)
      message(FATAL_ERROR "There is no SDL 1.2 source to build: CDTRACKS_SDL_SOURCE is "
        "not set, and ${CDTRACKS_SDL_URL} could not be downloaded (${error}).\n"
        "Supply the source in one of three ways:\n"
        "  1. -DCDTRACKS_SDL_SOURCE=/path/to/SDL-1.2.15.tar.gz, the release tarball;\n"
        "  2. -DCDTRACKS_SDL_SOURCE=/path/to/folder, an unpacked SDL 1.2 source: on "
        "Debian and its derivatives, scripts/fetch-sdl-source.sh fetches Debian's and "
        "prints the path (make does this by itself);\n"
        "  3. a network that reaches the download, or -DCDTRACKS_SDL_URL=a mirror of it.")
    endif()
  endif()
  cdtracks_unpack_sdl(${sdl_tarball} "The download of ${CDTRACKS_SDL_URL}" sdl_source)
endif()
cdtracks_check_sdl_source(${sdl_source} "${what}")

# Which source this is, for the notice shipped beside the binary.
if(EXISTS ${sdl_source}/debian/changelog)
  file(STRINGS ${sdl_source}/debian/changelog first LIMIT_COUNT 1)
  string(REGEX REPLACE "^([^ ]+) \\(([^)]+)\\).*" "\\1=\\2" debian "${first}")
  set(origin "Debian's source package ${debian}:\nthe SDL 1.2.15 release with "
    "Debian's patches applied. Get it on a Debian\nsystem with: apt-get source ${debian}")
elseif(sdl_tarball)
  set(origin "the SDL 1.2.15 release, SDL-1.2.15.tar.gz, SHA-256\n${sdl_release_sha256},\n"
    "from ${CDTRACKS_SDL_URL}")
else()
  set(origin "an SDL 1.2 source folder supplied at build time (${sdl_source}).\n"
    "Ask whoever gave you this binary for that source")
endif()
file(STRINGS ${sdl_source}/include/SDL.h holder REGEX "Copyright \\(C\\)" LIMIT_COUNT 1)
string(REGEX REPLACE ".*Copyright \\(C\\) *" "" CDTRACKS_SDL_COPYRIGHT "${holder}")
set(CDTRACKS_SDL_NOTICE ${CMAKE_BINARY_DIR}/SDL-NOTICE.txt)
configure_file(${sdl_source}/COPYING ${CMAKE_BINARY_DIR}/SDL-COPYING COPYONLY)
string(CONCAT notice
  "cdtracks contains SDL 1.2 (Simple DirectMedia Layer), linked in statically.\n"
  "SDL 1.2 is free software under the GNU Lesser General Public License,\n"
  "version 2.1 or later: see SDL-COPYING. The SDL linked in is built from\n"
  ${origin} ".\n\n"
  "To relink cdtracks with a modified SDL, build it from its source with\n"
  "-DCDTRACKS_SDL=bundled -DCDTRACKS_SDL_SOURCE=/path/to/your/SDL (see its\n"
  "README).\n")
if(CDTRACKS_STATIC)
  # The C library is linked in too, and is under the same licence. It is the
  # compiler's: its version from its headers, its source from the Debian
  # package that holds its libc.a (libc6-dev, or for a cross compiler
  # libc6-dev-ARCH-cross, which Debian builds from another source package).
  execute_process(COMMAND ${CMAKE_C_COMPILER} -dM -E -include features.h -x c /dev/null
    OUTPUT_VARIABLE macros ERROR_QUIET)
  string(REGEX MATCH "__GLIBC__ ([0-9]+)" unused "${macros}")
  set(libc "glibc ${CMAKE_MATCH_1}")
  string(REGEX MATCH "__GLIBC_MINOR__ ([0-9]+)" unused "${macros}")
  string(APPEND libc ".${CMAKE_MATCH_1}")
  execute_process(COMMAND ${CMAKE_C_COMPILER} -print-file-name=libc.a
    OUTPUT_VARIABLE libc_archive OUTPUT_STRIP_TRAILING_WHITESPACE)
  get_filename_component(libc_archive "${libc_archive}" REALPATH)
  execute_process(COMMAND dpkg-query -S ${libc_archive}
    OUTPUT_VARIABLE libc_package OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  string(REGEX REPLACE ":.*" "" libc_package "${libc_package}")
  if(libc_package)
    execute_process(COMMAND dpkg-query -W
      "-f=\${source:Package}=\${source:Version} \${Package} \${Version}" ${libc_package}
      OUTPUT_VARIABLE libc_source OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  endif()
  if(libc_source MATCHES "^([^ ]+) ([^ ]+ [^ ]+)$")
    string(CONCAT libc_source "Debian's source package ${CMAKE_MATCH_1}, which makes\n"
      "${CMAKE_MATCH_2} (apt-get source ${CMAKE_MATCH_1})")
  else()
    set(libc_source "the source of the ${libc} that ${CMAKE_C_COMPILER} links")
  endif()
  string(CONCAT notice "${notice}\n"
    "This cdtracks is linked fully statically. It also contains\n"
    "the GNU C Library (${libc}), under the GNU Lesser General Public\n"
    "License, version 2.1 or later (the text is in SDL-COPYING), built from\n"
    "${libc_source},\n"
    "and the GNU C++ runtime, under the GPL with the GCC Runtime Library\n"
    "Exception. It needs no library and no loader of the system it runs on:\n"
    "it runs on any Linux on ${CMAKE_SYSTEM_PROCESSOR}, whatever its C library (glibc of any\n"
    "version, musl, or none at all). To relink it with another C library,\n"
    "build it from its source with -DCDTRACKS_STATIC=ON where that library\n"
    "is installed.\n")
endif()
if(WIN32)
  string(CONCAT notice "${notice}\n"
    "This cdtracks.exe is built with MinGW-w64 and contains SDL's Windows\n"
    "CD-ROM driver and its entry wrapper (SDLmain), and the GNU C++ and GCC\n"
    "runtimes, under the GPL with the GCC Runtime Library Exception. It uses\n"
    "the C runtime every Windows has (msvcrt.dll) and imports Windows' own\n"
    "DLLs only: it runs on 64-bit Windows as it is.\n")
endif()
if(sdl_patches)
  # The patches ship beside the notice: the LGPL asks for the changed source.
  file(REMOVE_RECURSE ${CMAKE_BINARY_DIR}/sdl-patches)
  file(COPY ${sdl_patches} DESTINATION ${CMAKE_BINARY_DIR}/sdl-patches)
  string(CONCAT notice "${notice}\n"
    "SDL was changed for cdtracks before it was built: the patch files\n"
    "beside this notice, applied with patch -p1 to the source named above,\n"
    "are the changes (cdtracks' source has them in cmake/):\n")
  foreach(patch ${sdl_patches})
    # Its description: what comes before the first file's diff.
    get_filename_component(name ${patch} NAME)
    file(READ ${patch} about)
    string(FIND "${about}" "\n--- " end)
    string(SUBSTRING "${about}" 0 ${end} about)
    string(STRIP "${about}" about)
    string(REPLACE "\n" "\n    " about "${about}")
    string(REGEX REPLACE " +\n" "\n" about "${about}")
    string(APPEND notice "\n  ${name}:\n    ${about}\n")
  endforeach()
endif()
file(WRITE ${CDTRACKS_SDL_NOTICE} "${notice}")

# The machine SDL is built for is the compiler's; a cross build (Windows,
# another processor) names the machine it is built on by its own compiler.
execute_process(COMMAND ${CMAKE_C_COMPILER} -dumpmachine
  OUTPUT_VARIABLE sdl_host_triple OUTPUT_STRIP_TRAILING_WHITESPACE)
if(CMAKE_CROSSCOMPILING)
  find_program(CDTRACKS_HOST_CC NAMES cc gcc REQUIRED)
  execute_process(COMMAND ${CDTRACKS_HOST_CC} -dumpmachine
    OUTPUT_VARIABLE sdl_build_triple OUTPUT_STRIP_TRAILING_WHITESPACE)
else()
  set(sdl_build_triple ${sdl_host_triple})
endif()

# Only what cdtracks uses: the core, threads (the log's mutex), timers and
# the CD-ROM drivers. Without video, SDL 1.2 also avoids the code that newer
# compilers reject. For Windows, video stays (its GDI driver only), because
# SDL's entry wrapper, SDLmain, sets the module handle through it; the
# wrapper is built without its redirection of standard output and standard
# error into files.
if(WIN32)
  set(sdl_options --disable-audio --disable-joystick
    --disable-directx --disable-video-opengl --disable-stdio-redirect)
else()
  set(sdl_options --disable-audio --disable-video --disable-events --disable-joystick)
endif()
set(sdl_prefix ${sdl_work}/install)

# The copy that is built, made again, and SDL built again from it, whenever
# the source, the patches or the machine's config.sub and config.guess
# change.
set(sdl_copy ${sdl_work}/source)
set(key "${sdl_source}\n")
foreach(file config.sub config.guess)
  if(NOT EXISTS ${CDTRACKS_AUTOTOOLS_DIR}/${file})
    message(FATAL_ERROR "${CDTRACKS_AUTOTOOLS_DIR}/${file} is missing. SDL 1.2's own ${file}, "
      "of 2009, knows no processor newer than that (aarch64, riscv64, ...), so the build "
      "uses the machine's current one. Install it (Debian: apt-get install autotools-dev), "
      "or point -DCDTRACKS_AUTOTOOLS_DIR at a folder holding config.sub and config.guess.")
  endif()
  file(SHA256 ${CDTRACKS_AUTOTOOLS_DIR}/${file} sum)
  string(APPEND key "${file} ${sum}\n")
endforeach()
foreach(patch ${sdl_patches})
  file(SHA256 ${patch} sum)
  string(APPEND key "${patch} ${sum}\n")
endforeach()
set(old_key "")
if(EXISTS ${sdl_copy}.key)
  file(READ ${sdl_copy}.key old_key)
endif()
if(NOT old_key STREQUAL key)
  file(REMOVE_RECURSE ${sdl_copy} ${sdl_copy}.key ${sdl_work}/build ${sdl_work}/stamp ${sdl_prefix})
  file(COPY ${sdl_source}/ DESTINATION ${sdl_copy})
  foreach(file config.sub config.guess)
    file(GLOB_RECURSE old_files ${sdl_copy}/${file})
    foreach(old ${old_files})
      configure_file(${CDTRACKS_AUTOTOOLS_DIR}/${file} ${old} COPYONLY)
    endforeach()
  endforeach()
  if(sdl_patches)
    find_program(CDTRACKS_PATCH patch)
    if(NOT CDTRACKS_PATCH)
      message(FATAL_ERROR "The SDL of this build needs patching, and there is no patch "
        "program: install it (Debian: apt-get install patch).")
    endif()
  endif()
  foreach(patch ${sdl_patches})
    execute_process(COMMAND ${CDTRACKS_PATCH} -p1 --batch --forward -i ${patch}
      WORKING_DIRECTORY ${sdl_copy} RESULT_VARIABLE failed OUTPUT_VARIABLE out ERROR_VARIABLE out)
    if(failed)
      file(REMOVE_RECURSE ${sdl_copy})
      message(FATAL_ERROR "${patch} does not apply to ${what}, so this SDL "
        "cannot be built for this cdtracks. Use the SDL 1.2.15 release tarball or Debian's "
        "libsdl1.2 source. What patch said:\n${out}")
    endif()
  endforeach()
  file(WRITE ${sdl_copy}.key "${key}")
endif()
set(sdl_library ${sdl_prefix}/lib/libSDL.a)
set(sdl_main_library ${sdl_prefix}/lib/libSDLmain.a)
ExternalProject_Add(sdl12
  SOURCE_DIR ${sdl_copy}
  BINARY_DIR ${sdl_work}/build
  INSTALL_DIR ${sdl_prefix}
  STAMP_DIR ${sdl_work}/stamp
  TMP_DIR ${sdl_work}/tmp
  CONFIGURE_COMMAND ${sdl_copy}/configure --prefix=<INSTALL_DIR>
    --build=${sdl_build_triple} --host=${sdl_host_triple} CC=${CMAKE_C_COMPILER}
    --disable-shared --enable-static --disable-rpath ${sdl_options}
    --disable-loadso --disable-file --disable-cpuinfo --disable-assembly
  BUILD_BYPRODUCTS ${sdl_library} ${sdl_main_library}
  LOG_CONFIGURE ON LOG_BUILD ON LOG_INSTALL ON LOG_OUTPUT_ON_FAILURE ON)

# The include folder exists only once SDL is installed; an imported target's
# must exist when it is declared.
file(MAKE_DIRECTORY ${sdl_prefix}/include/SDL)
find_package(Threads REQUIRED)
add_library(cdtracks_bundled_sdl STATIC IMPORTED GLOBAL)
set_target_properties(cdtracks_bundled_sdl PROPERTIES
  IMPORTED_LOCATION ${sdl_library}
  INTERFACE_INCLUDE_DIRECTORIES ${sdl_prefix}/include/SDL)
add_dependencies(cdtracks_bundled_sdl sdl12)
if(WIN32)
  target_link_libraries(cdtracks_bundled_sdl INTERFACE user32 gdi32 winmm)
  add_library(cdtracks_bundled_sdlmain STATIC IMPORTED GLOBAL)
  set_target_properties(cdtracks_bundled_sdlmain PROPERTIES IMPORTED_LOCATION ${sdl_main_library})
  add_dependencies(cdtracks_bundled_sdlmain sdl12)
else()
  target_link_libraries(cdtracks_bundled_sdl INTERFACE Threads::Threads m)
endif()

unset(what)
unset(origin)
unset(notice)
unset(macros)
unset(unused)
unset(about)
unset(key)
unset(old_key)
