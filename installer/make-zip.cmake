# Builds the zip for installing by right-click -> Install (the "package"
# target runs this):
#
#   cmake -DSCR=<zarvo.scr> -DTOOL=<zarvo-pictures.exe> -DPICTURES=<folder>
#         -DLICENSE=<LICENSE> [-DCREDITS=<folder>]
#         -DOUT=<file.zip> -DSTAGE=<empty work folder> [-DVERSION=1.0.0]
#         -P installer/make-zip.cmake
#
# The zip holds one folder, ZARVO-<version>, with zarvo.scr, ZARVO001.DAT ...
# ZARVO050.DAT, zarvo-pictures.exe (fills the fifty names from a folder of
# the user's pictures), README-ja.txt, README-en.txt and LICENSE.txt; with
# CREDITS (a folder of CREDITS.txt and licenses/*.txt) also those.
cmake_minimum_required(VERSION 3.25)

get_filename_component(here "${CMAKE_CURRENT_LIST_FILE}" DIRECTORY)
include("${here}/pictures.cmake")

foreach(var SCR TOOL PICTURES LICENSE OUT STAGE)
  if(NOT DEFINED ${var} OR "${${var}}" STREQUAL "")
    message(FATAL_ERROR "make-zip.cmake: -D${var}=... is required")
  endif()
  get_filename_component(${var} "${${var}}" ABSOLUTE)
endforeach()
if(NOT VERSION)
  set(VERSION 1.0.0)
endif()
if(CREDITS)
  get_filename_component(CREDITS "${CREDITS}" ABSOLUTE)
endif()
foreach(var SCR TOOL LICENSE)
  if(NOT EXISTS "${${var}}")
    message(FATAL_ERROR "make-zip.cmake: no ${var} at '${${var}}'")
  endif()
endforeach()

zarvo_check_pictures("${PICTURES}" "ZARVO_PICTURES")
zarvo_picture_names(pictures)

set(top "ZARVO-${VERSION}")
file(REMOVE_RECURSE "${STAGE}")
file(MAKE_DIRECTORY "${STAGE}/${top}")
file(COPY_FILE "${SCR}" "${STAGE}/${top}/zarvo.scr")
file(COPY_FILE "${TOOL}" "${STAGE}/${top}/zarvo-pictures.exe")
set(entries "${top}/zarvo.scr" "${top}/zarvo-pictures.exe")
foreach(name IN LISTS pictures)
  file(COPY_FILE "${PICTURES}/${name}" "${STAGE}/${top}/${name}")
  list(APPEND entries "${top}/${name}")
endforeach()
foreach(name README-ja.txt README-en.txt)
  file(COPY_FILE "${here}/${name}" "${STAGE}/${top}/${name}")
  list(APPEND entries "${top}/${name}")
endforeach()
zarvo_stage_notices("${LICENSE}" "${CREDITS}" "${STAGE}/notices")
file(GLOB_RECURSE notices RELATIVE "${STAGE}/notices" "${STAGE}/notices/*")
list(SORT notices)
file(COPY "${STAGE}/notices/" DESTINATION "${STAGE}/${top}")
list(TRANSFORM notices PREPEND "${top}/")
list(APPEND entries ${notices})

file(REMOVE "${OUT}")
execute_process(
  COMMAND "${CMAKE_COMMAND}" -E tar cf "${OUT}" --format=zip
          ${entries}
  WORKING_DIRECTORY "${STAGE}"
  RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR NOT EXISTS "${OUT}")
  message(FATAL_ERROR "make-zip.cmake: zip failed (${rc})")
endif()
