# The SDL 1.2.15 release tarball and its download, shared by the build
# (cmake/BundledSDL.cmake) and, in script mode, by the front end that decides
# the SDL source before configuring (scripts/configure.sh):
#
#   cmake -DDEST=FILE [-DURL=URL] -P cmake/SdlDownload.cmake
#
# downloads the release to FILE and exits 0, or removes what it fetched and
# stops, its last line saying why.

set(CDTRACKS_SDL_RELEASE_URL "https://www.libsdl.org/release/SDL-1.2.15.tar.gz")
set(CDTRACKS_SDL_RELEASE_SHA256 d6d316a793e5e348155f0dd93b979798933fb98aa1edebcc108829d6474aad00)

# cdtracks_download_sdl(URL DEST ERROR): downloads URL to DEST and checks that
# it is the release. On failure DEST is absent and ERROR holds the reason;
# on success ERROR is empty.
function(cdtracks_download_sdl url dest error)
  file(DOWNLOAD ${url} ${dest}.part STATUS status INACTIVITY_TIMEOUT 30 TIMEOUT 300)
  list(GET status 0 code)
  if(code EQUAL 0)
    file(SHA256 ${dest}.part sha256)
    if(sha256 STREQUAL CDTRACKS_SDL_RELEASE_SHA256)
      file(RENAME ${dest}.part ${dest})
      set(${error} "" PARENT_SCOPE)
      return()
    endif()
    set(reason "what it served is not the release: its SHA-256 is ${sha256}")
  else()
    list(GET status 1 reason)
    string(REGEX REPLACE "^\"(.*)\"$" "\\1" reason "${reason}")
  endif()
  file(REMOVE ${dest}.part)
  set(${error} "${reason}" PARENT_SCOPE)
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  if(NOT URL)
    set(URL ${CDTRACKS_SDL_RELEASE_URL})
  endif()
  get_filename_component(dir ${DEST} DIRECTORY)
  file(MAKE_DIRECTORY ${dir})
  cdtracks_download_sdl(${URL} ${DEST} error)
  if(error)
    message(FATAL_ERROR "${error}")
  endif()
endif()
