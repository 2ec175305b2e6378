# Core folders build on the ones below them only: a folder that includes one
# above it ties the lower layer to the workflow that uses it (media to the
# service, the service to the jobs). Folders of the same rank may not include
# each other either. Widget folders (…/gui) are not core and are not checked.
#   cmake -DSOURCE_DIR=<repo>/src -P CoreIncludes.cmake
cmake_policy(VERSION 3.25)

set(ranks
  common 0
  media 1
  prefs 2
  service 3
  preview 4
  timing 5
  download 6
  upload 6
  cli 7)

# Includes still to be turned round, as "<file> -> <folder>". Each must still
# occur, so the list only shrinks; keep it empty.
set(pending)

set(rank_of_names)
list(LENGTH ranks count)
math(EXPR last "${count} - 1")
foreach(i RANGE 0 ${last} 2)
  math(EXPR j "${i} + 1")
  list(GET ranks ${i} name)
  list(GET ranks ${j} rank)
  set(rank_${name} ${rank})
  list(APPEND folders ${name})
endforeach()

set(found)
set(errors)
foreach(folder ${folders})
  file(GLOB_RECURSE files RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/${folder}/*.cpp ${SOURCE_DIR}/${folder}/*.h)
  foreach(file ${files})
    if(file MATCHES "(^|/)gui/")
      continue()
    endif()
    file(STRINGS ${SOURCE_DIR}/${file} includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"[A-Za-z_]+/")
    foreach(line ${includes})
      string(REGEX REPLACE "^[^\"]*\"([A-Za-z_]+)/.*$" "\\1" target "${line}")
      if(target STREQUAL folder OR NOT DEFINED rank_${target})
        continue()
      endif()
      if(rank_${target} LESS rank_${folder})
        continue()
      endif()
      set(pair "${file} -> ${target}")
      if(pair IN_LIST pending)
        list(APPEND found "${pair}")
      else()
        list(APPEND errors "  ${pair}: ${line}")
      endif()
    endforeach()
  endforeach()
endforeach()

foreach(pair ${pending})
  if(NOT pair IN_LIST found)
    list(APPEND errors "  ${pair} no longer occurs: take it off the pending list in CoreIncludes.cmake")
  endif()
endforeach()
if(errors)
  list(JOIN errors "\n" shown)
  message(FATAL_ERROR "Core folders include folders at or above their own layer:\n${shown}")
endif()
message(STATUS "Every core folder includes only folders below it")
