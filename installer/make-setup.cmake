# Builds zarvo-setup.exe with makensis (the "setup" target runs this).
#
#   cmake -DSCR=<zarvo.scr> -DPICTURES=<folder> -DOUT=<zarvo-setup.exe>
#         [-DVERSION=1.0.0] [-DMAKENSIS=makensis] -P installer/make-setup.cmake
#
# The picture folder must hold exactly ZARVO001.DAT ... ZARVO050.DAT.
cmake_minimum_required(VERSION 3.25)

get_filename_component(here "${CMAKE_CURRENT_LIST_FILE}" DIRECTORY)
include("${here}/pictures.cmake")

foreach(var SCR PICTURES OUT)
  if(NOT DEFINED ${var} OR "${${var}}" STREQUAL "")
    message(FATAL_ERROR "make-setup.cmake: -D${var}=... is required")
  endif()
endforeach()
foreach(var SCR PICTURES OUT)
  get_filename_component(${var} "${${var}}" ABSOLUTE)
endforeach()
if(NOT VERSION)
  set(VERSION 1.0.0)
endif()
if(NOT MAKENSIS)
  find_program(MAKENSIS makensis REQUIRED)
endif()
if(NOT EXISTS "${SCR}")
  message(FATAL_ERROR "make-setup.cmake: no saver at '${SCR}'")
endif()

zarvo_check_pictures("${PICTURES}" "ZARVO_PICTURES")

get_filename_component(out_dir "${OUT}" DIRECTORY)
file(MAKE_DIRECTORY "${out_dir}")
file(REMOVE "${OUT}")
execute_process(
  COMMAND "${MAKENSIS}" -V2 -WX -INPUTCHARSET UTF8
          "-DVERSION=${VERSION}" "-DSCR=${SCR}" "-DPICTURES=${PICTURES}"
          "-DICON=${here}/../res/zarvo.ico" "-DOUTFILE=${OUT}"
          "${here}/zarvo.nsi"
  RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR NOT EXISTS "${OUT}")
  message(FATAL_ERROR "make-setup.cmake: makensis failed (${rc})")
endif()
