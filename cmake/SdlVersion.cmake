# cdtracks_sdl_header_version(INCLUDE_DIR OUT): reads SDL_version.h in
# INCLUDE_DIR and sets OUT_MAJOR, OUT_MINOR and OUT_PATCH in the caller
# (empty when the header has no such line), and OUT to "MAJOR.MINOR.PATCH".
# Read from the header itself, because FindSDL before CMake 3.19 keeps only a
# version string, and a source folder has no FindSDL at all.
function(cdtracks_sdl_header_version include_dir out)
  set(header ${include_dir}/SDL_version.h)
  foreach(part MAJOR MINOR PATCH)
    set(name SDL_${part}_VERSION)
    if(part STREQUAL "PATCH")
      set(name SDL_PATCHLEVEL)
    endif()
    set(value "")
    if(EXISTS ${header})
      file(STRINGS ${header} line REGEX "^#define[ \t]+${name}[ \t]+[0-9]+")
      if(line)
        string(REGEX REPLACE "^#define[ \t]+${name}[ \t]+([0-9]+).*" "\\1" value "${line}")
      endif()
    endif()
    set(${out}_${part} "${value}" PARENT_SCOPE)
    set(${part} "${value}")
  endforeach()
  set(${out} "${MAJOR}.${MINOR}.${PATCH}" PARENT_SCOPE)
endfunction()
