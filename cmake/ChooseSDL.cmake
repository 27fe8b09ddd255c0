# Chooses the SDL 1.2 that cdtracks is built with, from CDTRACKS_SDL:
#   system   the SDL 1.2 that find_package(SDL) finds, linked as it is;
#   bundled  the classic SDL 1.2.15 built from source and linked in
#            (cmake/BundledSDL.cmake);
#   auto     system when that is the classic SDL 1.2, bundled when it is
#            sdl12-compat (patch level 50 or more, no physical drives) or
#            when there is no SDL 1.2 at all.
# Sets CDTRACKS_SDL_CHOICE to system or bundled and says why in one line.

include(${CMAKE_CURRENT_LIST_DIR}/SdlVersion.cmake)

set(CDTRACKS_SDL auto CACHE STRING "SDL 1.2 to build with: system, bundled or auto")
set_property(CACHE CDTRACKS_SDL PROPERTY STRINGS system bundled auto)
if(NOT CDTRACKS_SDL MATCHES "^(system|bundled|auto)$")
  message(FATAL_ERROR "CDTRACKS_SDL is '${CDTRACKS_SDL}'; use one of:\n"
    "  system   the SDL 1.2 installed on this machine\n"
    "  bundled  the classic SDL 1.2.15 built from source and linked in\n"
    "  auto     system if that is the classic SDL 1.2, else bundled (the default)")
endif()

if(WIN32)
  # SDL's Windows CD-ROM driver and its entry wrapper, built from source.
  if(CDTRACKS_SDL STREQUAL "system")
    message(FATAL_ERROR "A Windows build links its SDL in: use CDTRACKS_SDL=bundled or auto.")
  endif()
  set(CDTRACKS_SDL_CHOICE bundled)
  set(reason "a Windows build links SDL in")
elseif(CDTRACKS_SDL STREQUAL "bundled")
  set(CDTRACKS_SDL_CHOICE bundled)
  set(reason "as asked (CDTRACKS_SDL=bundled)")
else()
  find_package(SDL QUIET)
  if(SDL_FOUND)
    cdtracks_sdl_header_version(${SDL_INCLUDE_DIR} SDL_VERSION)
  endif()
  # Headers without a version are no SDL that can be told apart.
  if(SDL_FOUND AND NOT SDL_VERSION_MAJOR)
    set(SDL_FOUND FALSE)
  endif()
  if(SDL_FOUND AND SDL_VERSION_MAJOR GREATER 1)
    message(FATAL_ERROR "The SDL headers in ${SDL_INCLUDE_DIR} are SDL ${SDL_VERSION}; "
      "cdtracks needs SDL 1.2. Point SDL_INCLUDE_DIR and SDL_LIBRARY at SDL 1.2 "
      "(Debian: libsdl1.2-dev), or configure with -DCDTRACKS_SDL=bundled.")
  endif()
  if(SDL_FOUND)
    set(found "the SDL 1.2 found (${SDL_INCLUDE_DIR}) is")
    if(SDL_VERSION_PATCH GREATER_EQUAL 50)
      set(found "${found} sdl12-compat ${SDL_VERSION}, which cannot read physical CD-ROM drives")
      set(compat TRUE)
    else()
      set(found "${found} the classic SDL ${SDL_VERSION}")
      set(compat FALSE)
    endif()
  endif()

  if(CDTRACKS_SDL STREQUAL "system")
    if(NOT SDL_FOUND)
      message(FATAL_ERROR "CDTRACKS_SDL=system, but no SDL 1.2 was found. Install it "
        "(Debian: libsdl1.2-dev), or configure with -DCDTRACKS_SDL=bundled or auto.")
    endif()
    set(CDTRACKS_SDL_CHOICE system)
    set(reason "as asked (CDTRACKS_SDL=system); ${found}")
    if(compat)
      message(WARNING "cdtracks built on sdl12-compat finds no physical drive: "
        "-DCDTRACKS_SDL=bundled builds one that does.")
    endif()
  elseif(SDL_FOUND AND NOT compat)
    set(CDTRACKS_SDL_CHOICE system)
    set(reason "${found}")
  else()
    set(CDTRACKS_SDL_CHOICE bundled)
    if(SDL_FOUND)
      set(reason "${found}")
    else()
      set(reason "no SDL 1.2 was found")
    endif()
  endif()
endif()

if(CDTRACKS_SDL_CHOICE STREQUAL "system")
  message(STATUS "cdtracks SDL: system: ${reason}")
else()
  message(STATUS "cdtracks SDL: bundled (the classic SDL 1.2.15 built from source "
    "and linked in): ${reason}")
endif()
# For scripts/configure.sh, which decides a bundled SDL's source before
# configuring again.
set(CDTRACKS_SDL_CHOICE ${CDTRACKS_SDL_CHOICE} CACHE INTERNAL "The SDL 1.2 built with: system or bundled")
unset(reason)
unset(found)
unset(compat)
