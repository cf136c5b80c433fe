# The layering of the program's libraries, checked from the sources and from
# the build's link graph:
#   cmake -DSOURCE_DIR=<tree> -DLINK_GRAPH=<build>/tests/layering/links.txt -P check_layers.cmake
# The layers, bottom up: platform (the interface and the shared core, with
# one backend beside it: sdl, headless, web, win32), then display and music
# side by side, then app; the programs, tools, tests and benchmarks
# (capture/, tools/, tests/, bench/) sit on top of them all.
#
# Includes (every #include "..." in app/, display/, music/, platform/):
#   - no file includes a layer above its own;
#   - display/ and music/ never include each other;
#   - nothing includes capture/, tools/, tests/ or bench/;
#   - a backend's headers (platform/<backend>/, <SDL.h>, <windows.h>,
#     <ddraw.h>, <emscripten...>) are included only by that backend.
# Links (the graph quillon_write_link_graph writes when the tree is configured):
#   - a library links only libraries of the layers below it (a backend the
#     platform core, not the other way round);
#   - no two libraries link each other, directly or through others.
# Prints every fault found, one a line, and fails when there is one.
cmake_minimum_required(VERSION 3.25)

set(faults)
set(BACKENDS sdl headless web win32)

# The unit a path of the tree belongs to: app, display, music, platform,
# platform/<backend>, or its top folder (tools, capture, tests, ...).
function(unit_of path out)
  string(REGEX MATCH "^[^/]+" top "${path}")
  set(unit ${top})
  if(top STREQUAL "platform")
    foreach(backend IN LISTS BACKENDS)
      if(path MATCHES "^platform/${backend}/")
        set(unit platform/${backend})
      endif()
    endforeach()
  endif()
  set(${out} ${unit} PARENT_SCOPE)
endfunction()

# Height of a unit: 0 platform, 1 display and music, 2 app, 3 the rest.
function(height_of unit out)
  if(unit MATCHES "^platform")
    set(h 0)
  elseif(unit STREQUAL "display" OR unit STREQUAL "music")
    set(h 1)
  elseif(unit STREQUAL "app")
    set(h 2)
  else()
    set(h 3)
  endif()
  set(${out} ${h} PARENT_SCOPE)
endfunction()

# Why `from` may not use `to`, or empty when it may.
function(rule_broken from to out)
  set(why "")
  height_of(${from} hf)
  height_of(${to} ht)
  if(to MATCHES "^platform/" AND NOT to STREQUAL from)
    set(why "only ${to} itself may use its backend's parts")
  elseif(ht GREATER hf)
    set(why "${to} is a layer above ${from}")
  elseif(ht EQUAL hf AND NOT to STREQUAL from AND NOT from MATCHES "^platform")
    set(why "${from} and ${to} stand side by side and never use each other")
  endif()
  set(${out} "${why}" PARENT_SCOPE)
endfunction()

# --- includes ----------------------------------------------------------------

file(GLOB_RECURSE files RELATIVE ${SOURCE_DIR}
     ${SOURCE_DIR}/app/*.cpp ${SOURCE_DIR}/app/*.h ${SOURCE_DIR}/display/*.cpp ${SOURCE_DIR}/display/*.h
     ${SOURCE_DIR}/music/*.cpp ${SOURCE_DIR}/music/*.h ${SOURCE_DIR}/platform/*.cpp ${SOURCE_DIR}/platform/*.h)
list(LENGTH files file_count)
if(file_count EQUAL 0)
  message(FATAL_ERROR "layering: no sources under ${SOURCE_DIR}")
endif()
foreach(file IN LISTS files)
  unit_of(${file} from)
  get_filename_component(dir ${file} DIRECTORY)
  file(STRINGS ${SOURCE_DIR}/${file} lines REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<]")
  foreach(line IN LISTS lines)
    if(line MATCHES "^[ \t]*#[ \t]*include[ \t]*\"([^\"]+)\"")
      set(included ${CMAKE_MATCH_1})
      # Beside the including file, else from the top of the tree (a
      # generated header, quillon_version.h, is neither and no layer's).
      if(EXISTS ${SOURCE_DIR}/${dir}/${included})
        cmake_path(SET target NORMALIZE "${dir}/${included}")
      elseif(EXISTS ${SOURCE_DIR}/${included} OR included MATCHES "/")
        cmake_path(SET target NORMALIZE "${included}")
      else()
        continue()
      endif()
      unit_of(${target} to)
      rule_broken(${from} ${to} why)
      if(why)
        list(APPEND faults "${file} includes ${target}: ${why}")
      endif()
    elseif(line MATCHES "^[ \t]*#[ \t]*include[ \t]*<([^>]+)>")
      set(included ${CMAKE_MATCH_1})
      if(included MATCHES "^(SDL2?/|SDL[_.])|^(windows|ddraw|mmsystem|mmreg)\\.h$|^emscripten")
        if(NOT from MATCHES "^platform/")
          list(APPEND faults "${file} includes <${included}>: only a backend includes its system's headers")
        endif()
      endif()
    endif()
  endforeach()
endforeach()

# --- links -------------------------------------------------------------------

# The unit of one of the program's libraries (quillon_<part>_<variant>), or
# empty for any other target.
function(library_unit name out)
  set(unit "")
  if(name MATCHES "^quillon_(.+)_(plain|asan|tsan)$")
    set(part ${CMAKE_MATCH_1})
    if(part STREQUAL "platform_common")
      set(unit platform)
    elseif(part MATCHES "^platform_(.+)$")
      set(unit platform/${CMAKE_MATCH_1})
    elseif(part MATCHES "^music")
      set(unit music)
    elseif(part STREQUAL "display" OR part STREQUAL "app" OR part STREQUAL "capture")
      set(unit ${part})
    endif()
  endif()
  set(${out} "${unit}" PARENT_SCOPE)
endfunction()

# One line per library of the build: "<library>: <what it links>,...".
if(NOT EXISTS "${LINK_GRAPH}")
  message(FATAL_ERROR "layering: no link graph ${LINK_GRAPH} (configure the build tree again)")
endif()
file(STRINGS ${LINK_GRAPH} graph)
set(libraries)
foreach(line IN LISTS graph)
  if(line MATCHES "^([^:]+): (.*)$")
    set(name ${CMAKE_MATCH_1})
    list(APPEND libraries ${name})
    string(REPLACE "," ";" deps_${name} "${CMAKE_MATCH_2}")
  endif()
endforeach()

foreach(name IN LISTS libraries)
  library_unit(${name} from)
  if(NOT from)
    continue()
  endif()
  foreach(dep IN LISTS deps_${name})
    library_unit(${dep} to)
    if(to)
      rule_broken(${from} ${to} why)
      if(NOT why AND from STREQUAL "platform" AND to MATCHES "^platform/")
        set(why "the platform core never links a backend")
      endif()
      if(why)
        list(APPEND faults "${name} links ${dep}: ${why}")
      endif()
    endif()
  endforeach()
endforeach()

# A circle of libraries: a walk along the links that comes back to where it
# started. Each library is walked from once; `path` is the walk so far.
set(done)
function(walk name path)
  if(name IN_LIST path)
    list(FIND path ${name} at)
    list(SUBLIST path ${at} -1 circle)
    list(APPEND circle ${name})
    list(JOIN circle " -> " text)
    set(faults ${faults} "libraries link each other: ${text}" PARENT_SCOPE)
    return()
  endif()
  if(name IN_LIST done)
    return()
  endif()
  list(APPEND path ${name})
  foreach(dep IN LISTS deps_${name})
    if(dep IN_LIST libraries)
      walk(${dep} "${path}")
    endif()
  endforeach()
  set(done ${done} ${name} PARENT_SCOPE)
  set(faults ${faults} PARENT_SCOPE)
endfunction()
foreach(name IN LISTS libraries)
  walk(${name} "")
endforeach()

list(REMOVE_DUPLICATES faults)
list(LENGTH faults fault_count)
list(LENGTH libraries library_count)
if(fault_count GREATER 0)
  list(JOIN faults "\n  " text)
  message(FATAL_ERROR "layering: ${fault_count} fault(s):\n  ${text}")
endif()
message(STATUS "layering: ${file_count} files and ${library_count} libraries, every include and link points down")
