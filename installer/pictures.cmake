# The pictures that ZARVO ships: a folder holding exactly ZARVO001.DAT ...
# ZARVO050.DAT and nothing else.
#
# As a module (include()): defines zarvo_picture_names(<out-var>),
# zarvo_check_pictures(<folder> <context>), which stops with FATAL_ERROR
# naming the first missing or unexpected file, and
# zarvo_stage_notices(<license> <credits folder or ""> <dest>), which puts
# what ships beside the pictures into <dest>: LICENSE.txt and, with a
# credits folder, its CREDITS.txt and licenses/*.txt.
#
# As a script, for build-time checks:
#   cmake -DZARVO_PICTURES=<folder> -P installer/pictures.cmake

set(ZARVO_PICTURE_COUNT 50)

function(zarvo_picture_names out_var)
  set(names "")
  foreach(i RANGE 1 ${ZARVO_PICTURE_COUNT})
    if(i LESS 10)
      set(n "00${i}")
    elseif(i LESS 100)
      set(n "0${i}")
    else()
      set(n "${i}")
    endif()
    list(APPEND names "ZARVO${n}.DAT")
  endforeach()
  set(${out_var} "${names}" PARENT_SCOPE)
endfunction()

function(zarvo_check_pictures folder context)
  if(NOT IS_DIRECTORY "${folder}")
    message(FATAL_ERROR "${context}: picture folder '${folder}' does not exist")
  endif()
  zarvo_picture_names(expected)
  foreach(name IN LISTS expected)
    if(NOT EXISTS "${folder}/${name}" OR IS_DIRECTORY "${folder}/${name}")
      message(FATAL_ERROR "${context}: ${name} is missing in '${folder}' "
                          "(it must hold exactly ZARVO001.DAT ... ZARVO050.DAT)")
    endif()
  endforeach()
  # Anything else, hidden files and folders included, is an error too: the
  # setup program and the zip take the folder as it is.
  file(GLOB present RELATIVE "${folder}" LIST_DIRECTORIES true "${folder}/*" "${folder}/.*")
  list(SORT present)
  foreach(name IN LISTS present)
    if(name STREQUAL "." OR name STREQUAL "..")
      continue()
    endif()
    list(FIND expected "${name}" at)
    if(at EQUAL -1)
      message(FATAL_ERROR "${context}: unexpected file '${name}' in '${folder}' "
                          "(it must hold exactly ZARVO001.DAT ... ZARVO050.DAT)")
    endif()
  endforeach()
endfunction()

function(zarvo_stage_notices license credits dest)
  file(REMOVE_RECURSE "${dest}")
  file(MAKE_DIRECTORY "${dest}")
  # Notepad on older Windows takes UTF-8 without a BOM for the ANSI code
  # page, and the copyright line is in Japanese.
  file(READ "${license}" text)
  string(REPLACE "\r\n" "\n" text "${text}")
  string(REPLACE "\n" "\r\n" text "${text}")
  string(ASCII 239 187 191 bom)
  file(WRITE "${dest}/LICENSE.txt" "${bom}${text}")
  if(NOT credits STREQUAL "")
    if(NOT EXISTS "${credits}/CREDITS.txt")
      message(FATAL_ERROR "ZARVO_CREDITS: no CREDITS.txt in '${credits}'")
    endif()
    file(COPY_FILE "${credits}/CREDITS.txt" "${dest}/CREDITS.txt")
    file(GLOB texts "${credits}/licenses/*.txt")
    if(texts)
      file(COPY ${texts} DESTINATION "${dest}/licenses")
    endif()
  endif()
endfunction()

if(CMAKE_SCRIPT_MODE_FILE AND CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  zarvo_check_pictures("${ZARVO_PICTURES}" "ZARVO_PICTURES")
endif()
