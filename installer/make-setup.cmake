# Builds zarvo-setup.exe with makensis (the "setup" target runs this).
#
#   cmake -DSCR=<zarvo.scr> -DTOOL=<zarvo-pictures.exe> -DPICTURES=<folder>
#         -DLICENSE=<LICENSE> [-DCREDITS=<folder>] -DSTAGE=<work folder>
#         -DOUT=<zarvo-setup.exe> [-DVERSION=1.0.0] [-DMAKENSIS=makensis]
#         [-DAMD64=ON] -P installer/make-setup.cmake
#
# AMD64 makes the 64-bit test setup of a 64-bit build (see zarvo.nsi).
#
# The picture folder must hold exactly ZARVO001.DAT ... ZARVO050.DAT.
# LICENSE.txt, and with CREDITS its CREDITS.txt and licenses/*.txt, go
# beside the uninstaller (staged in STAGE first).
cmake_minimum_required(VERSION 3.25)

get_filename_component(here "${CMAKE_CURRENT_LIST_FILE}" DIRECTORY)
include("${here}/pictures.cmake")

foreach(var SCR TOOL PICTURES LICENSE STAGE OUT)
  if(NOT DEFINED ${var} OR "${${var}}" STREQUAL "")
    message(FATAL_ERROR "make-setup.cmake: -D${var}=... is required")
  endif()
endforeach()
if(CREDITS)
  get_filename_component(CREDITS "${CREDITS}" ABSOLUTE)
endif()
foreach(var SCR TOOL PICTURES LICENSE STAGE OUT)
  get_filename_component(${var} "${${var}}" ABSOLUTE)
endforeach()
if(NOT VERSION)
  set(VERSION 1.0.0)
endif()
if(NOT MAKENSIS)
  find_program(MAKENSIS makensis REQUIRED)
endif()
foreach(var SCR TOOL LICENSE)
  if(NOT EXISTS "${${var}}")
    message(FATAL_ERROR "make-setup.cmake: no ${var} at '${${var}}'")
  endif()
endforeach()

zarvo_check_pictures("${PICTURES}" "ZARVO_PICTURES")
# What the bundled pictures take, for the pictures page and for the size
# registered when a folder's pictures replace them.
zarvo_picture_names(names)
set(bytes 0)
foreach(name IN LISTS names)
  file(SIZE "${PICTURES}/${name}" size)
  math(EXPR bytes "${bytes} + ${size}")
endforeach()
math(EXPR bundled_kb "(${bytes} + 1023) / 1024")

zarvo_stage_notices("${LICENSE}" "${CREDITS}" "${STAGE}")
set(licenses "")
if(EXISTS "${STAGE}/licenses")
  set(licenses "-DLICENSES")
endif()
set(target "")
if(AMD64)
  set(target "-DAMD64")
endif()

get_filename_component(out_dir "${OUT}" DIRECTORY)
file(MAKE_DIRECTORY "${out_dir}")
file(REMOVE "${OUT}")
execute_process(
  COMMAND "${MAKENSIS}" -V2 -WX -INPUTCHARSET UTF8
          "-DVERSION=${VERSION}" "-DSCR=${SCR}" "-DTOOL=${TOOL}"
          "-DPICTURES=${PICTURES}" "-DBUNDLED_KB=${bundled_kb}"
          "-DICON=${here}/../res/zarvo.ico" "-DOUTFILE=${OUT}"
          "-DNOTICES=${STAGE}" ${licenses} ${target}
          "${here}/zarvo.nsi"
  RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR NOT EXISTS "${OUT}")
  message(FATAL_ERROR "make-setup.cmake: makensis failed (${rc})")
endif()
