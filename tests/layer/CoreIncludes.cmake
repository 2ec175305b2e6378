# Core folders build on the ones below them only: a folder that includes one
# above it ties the lower layer to the workflow that uses it (media to the
# service, the service to the jobs). Folders of the same rank may not include
# each other either. Widget folders (…/gui) are checked in a table of their own.
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

# The desktop folders the same way: the windows build on their base classes
# (window/), and the application shell (app/) sits above the windows it makes.
# A window may open another's window (the download window the preview), so the
# preview and preferences windows rank below the two workflow windows.
set(desktop_ranks
  controls 0
  platform 1
  window 2
  prefs/gui 3
  preview/gui 3
  download/gui 4
  upload/gui 4
  app 5)

# Includes still to be turned round, as "<file> -> <folder>". Each must still
# occur, so the list only shrinks; keep it empty.
set(pending)

# The folder a path belongs to for the layer tables: "download/gui" for a
# subsystem's widgets, else the first folder ("download").
function(layer_folder_of path out)
  if(path MATCHES "^([A-Za-z_]+/gui)/")
    set(${out} ${CMAKE_MATCH_1} PARENT_SCOPE)
  elseif(path MATCHES "^([A-Za-z_]+)/")
    set(${out} ${CMAKE_MATCH_1} PARENT_SCOPE)
  else()
    set(${out} "" PARENT_SCOPE)
  endif()
endfunction()

# Appends to `errors` (in the caller) every include in the table's folders of a
# folder of the same or a higher rank in the table.
function(check_layers table)
  set(ranks ${${table}})
  set(folders)
  list(LENGTH ranks count)
  math(EXPR last "${count} - 1")
  foreach(i RANGE 0 ${last} 2)
    math(EXPR j "${i} + 1")
    list(GET ranks ${i} name)
    list(GET ranks ${j} rank)
    set(rank_${name} ${rank})
    list(APPEND folders ${name})
  endforeach()

  foreach(folder ${folders})
    file(GLOB_RECURSE files RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/${folder}/*.cpp ${SOURCE_DIR}/${folder}/*.h)
    foreach(file ${files})
      layer_folder_of(${file} own)
      if(NOT own STREQUAL folder)
        continue() # a subfolder with a table entry (or none) of its own
      endif()
      file(STRINGS ${SOURCE_DIR}/${file} includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"[A-Za-z_]+/")
      foreach(line ${includes})
        string(REGEX REPLACE "^[^\"]*\"([^\"]*)\".*$" "\\1" included "${line}")
        layer_folder_of(${included} target)
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
  set(found ${found} PARENT_SCOPE)
  set(errors ${errors} PARENT_SCOPE)
endfunction()

set(found)
set(errors)
check_layers(ranks)
check_layers(desktop_ranks)

foreach(pair ${pending})
  if(NOT pair IN_LIST found)
    list(APPEND errors "  ${pair} no longer occurs: take it off the pending list in CoreIncludes.cmake")
  endif()
endforeach()
if(errors)
  list(JOIN errors "\n" shown)
  message(FATAL_ERROR "Folders include folders at or above their own layer:\n${shown}")
endif()
message(STATUS "Every core and desktop folder includes only folders below it")
