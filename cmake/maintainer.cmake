# cdtracks_maintainer(VAR FOLDER): the package's maintainer, "Name <address>",
# decided here alone, for the package's control file and its changelog. The
# address is the builder's own where one is known: DEBEMAIL (an address, or
# "Name <address>" as Debian's own tools take it), else git's user.email in
# FOLDER; an address that is not one is passed over. The name: the one
# DEBEMAIL holds, else DEBFULLNAME, else git's user.name, else the address's
# local part. Where no address is known, a placeholder in the reserved
# domain .invalid, which names nobody and which no mail reaches.
# Also runs as a script, cmake -DFOLDER=... -P maintainer.cmake, printing
# the maintainer (how the tests call it).
set(CDTRACKS_NO_MAINTAINER "Unknown builder <unknown@unknown.invalid>")

function(cdtracks_git_config out folder key)
  set(${out} "" PARENT_SCOPE)
  find_program(CDTRACKS_GIT git)
  if(CDTRACKS_GIT)
    execute_process(COMMAND ${CDTRACKS_GIT} config ${key} WORKING_DIRECTORY ${folder}
      OUTPUT_VARIABLE value OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET RESULT_VARIABLE failed)
    if(NOT failed)
      set(${out} "${value}" PARENT_SCOPE)
    endif()
  endif()
endfunction()

function(cdtracks_maintainer out folder)
  set(name "$ENV{DEBFULLNAME}")
  set(address "$ENV{DEBEMAIL}")
  if(address MATCHES "^[ \t]*([^<]*[^< \t])[ \t]*<([^>]*)>[ \t]*$")
    set(name "${CMAKE_MATCH_1}")
    set(address "${CMAKE_MATCH_2}")
  endif()
  set(valid "^[^@ \t<>,]+@[^@ \t<>,]+$")
  string(STRIP "${address}" address)
  if(NOT address MATCHES "${valid}")
    cdtracks_git_config(address ${folder} user.email)
  endif()
  if(NOT address MATCHES "${valid}")
    set(${out} "${CDTRACKS_NO_MAINTAINER}" PARENT_SCOPE)
    return()
  endif()
  string(STRIP "${name}" name)
  if(name STREQUAL "")
    cdtracks_git_config(name ${folder} user.name)
  endif()
  if(name STREQUAL "")
    string(REGEX REPLACE "@.*" "" name "${address}")
  endif()
  set(${out} "${name} <${address}>" PARENT_SCOPE)
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  cdtracks_maintainer(maintainer "${FOLDER}")
  execute_process(COMMAND ${CMAKE_COMMAND} -E echo "${maintainer}")
endif()
