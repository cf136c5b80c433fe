# Build variants. Every library of the program is built once per variant it
# is asked for, so one build tree holds the plain program and tools, the
# sanitized test build and the thread-sanitized build of the threaded parts:
#   plain  optimised, for the program, the tools and the benchmarks
#   asan   AddressSanitizer + UndefinedBehaviorSanitizer, for the tests
#   tsan   ThreadSanitizer, for the tests of the threaded parts
# A tree may narrow the list (the browser build has only plain); the other
# variants a library asks for are still defined there, but left out of `all`.
if(NOT QUILLON_ALL_VARIANTS)
  set(QUILLON_ALL_VARIANTS plain asan tsan)
endif()

# The sanitizers exist only for the Linux build; a Windows build compiles
# every variant plain (the names stay, so the CMakeLists read the same).
function(quillon_apply_variant target variant)
  if(WIN32)
    target_compile_options(${target} PRIVATE -O2 -g)
  elseif(variant STREQUAL "asan")
    target_compile_options(${target} PRIVATE -O1 -g -fsanitize=address,undefined
                           -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    target_link_options(${target} PRIVATE -fsanitize=address,undefined)
  elseif(variant STREQUAL "tsan")
    target_compile_options(${target} PRIVATE -O1 -g -fsanitize=thread)
    target_link_options(${target} PRIVATE -fsanitize=thread)
  else()
    target_compile_options(${target} PRIVATE -O2 -g)
  endif()
endfunction()

# Every library declared with quillon_library (or quillon_alias) is known by
# its logical name, `quillon_display`, and the variants it has; the CMake
# targets are `<name>_<variant>`. Only this file spells those out: every
# CMakeLists names libraries logically and quillon_link picks the variant.
define_property(GLOBAL PROPERTY QUILLON_LIBRARIES BRIEF_DOCS "logical names of the variant libraries"
                FULL_DOCS "Each name N has the targets N_<variant> for the variants in QUILLON_VARIANTS_N.")

function(quillon_register name variants)
  set_property(GLOBAL APPEND PROPERTY QUILLON_LIBRARIES ${name})
  set_property(GLOBAL PROPERTY QUILLON_VARIANTS_${name} ${variants})
endfunction()

# The variants `name` was declared with, into `out` (empty when `name` is
# not a library of quillon_library).
function(quillon_variants name out)
  get_property(variants GLOBAL PROPERTY QUILLON_VARIANTS_${name})
  set(${out} ${variants} PARENT_SCOPE)
endfunction()

# Links `target` (of `variant`) against each dependency: a logical library
# name links its own variant, anything else (GTest::gtest, PkgConfig::SDL2,
# a system library) links as given. A library must be declared before a
# target names it (the top-level CMakeLists adds the folders in that order),
# and must have the variant asked for.
function(quillon_link target variant)
  get_property(libraries GLOBAL PROPERTY QUILLON_LIBRARIES)
  foreach(dep IN LISTS ARGN)
    if(dep IN_LIST libraries)
      quillon_variants(${dep} variants)
      if(NOT variant IN_LIST variants)
        message(FATAL_ERROR "${target} (${variant}) links ${dep}, which has only the variants ${variants}")
      endif()
      target_link_libraries(${target} PUBLIC ${dep}_${variant})
    else()
      target_link_libraries(${target} PUBLIC ${dep})
    endif()
  endforeach()
endfunction()

# quillon_library(name SOURCES ... [LINK ...] [VARIANTS plain asan ...])
# defines name_plain, name_asan, ... as static libraries.
# quillon_library(name INTERFACE SOURCES ...) defines one library `name`
# whose sources each target that links it compiles as its own, in its own
# variant and with its own other libraries (the tests' shared fixture).
function(quillon_library name)
  cmake_parse_arguments(Q "INTERFACE" "" "SOURCES;LINK;VARIANTS" ${ARGN})
  if(Q_INTERFACE)
    add_library(${name} INTERFACE)
    list(TRANSFORM Q_SOURCES PREPEND ${CMAKE_CURRENT_SOURCE_DIR}/)
    target_sources(${name} INTERFACE ${Q_SOURCES})
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR})
    target_link_libraries(${name} INTERFACE ${Q_LINK})
    return()
  endif()
  if(NOT Q_VARIANTS)
    set(Q_VARIANTS ${QUILLON_ALL_VARIANTS})
  endif()
  # A Windows tree compiles every variant alike (no sanitizers there), so
  # its other variants are aliases of the plain library: each source is
  # compiled once per tree, not once per variant.
  set(alike FALSE)
  if(WIN32 AND "plain" IN_LIST Q_VARIANTS)
    set(alike TRUE)
    list(REMOVE_ITEM Q_VARIANTS plain)
    list(PREPEND Q_VARIANTS plain)
  endif()
  foreach(v IN LISTS Q_VARIANTS)
    if(alike AND NOT v STREQUAL "plain")
      add_library(${name}_${v} ALIAS ${name}_plain)
      continue()
    endif()
    if(v IN_LIST QUILLON_ALL_VARIANTS)
      add_library(${name}_${v} STATIC ${Q_SOURCES})
    else()
      add_library(${name}_${v} STATIC EXCLUDE_FROM_ALL ${Q_SOURCES})
    endif()
    target_include_directories(${name}_${v} PUBLIC ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR})
    quillon_apply_variant(${name}_${v} ${v})
    quillon_link(${name}_${v} ${v} ${Q_LINK})
  endforeach()
  quillon_register(${name} "${Q_VARIANTS}")
endfunction()

# quillon_alias(name TARGET library): `name` stands for the library
# `library`, variant by variant (quillon_music for the player the build
# chose). An alias, not an interface library, so the chosen library keeps
# its place on every link line.
function(quillon_alias name)
  cmake_parse_arguments(Q "" "TARGET" "" ${ARGN})
  quillon_variants(${Q_TARGET} variants)
  foreach(v IN LISTS variants)
    # An alias cannot name another alias: name what it stands for.
    set(target ${Q_TARGET}_${v})
    get_target_property(aliased ${target} ALIASED_TARGET)
    if(aliased)
      set(target ${aliased})
    endif()
    add_library(${name}_${v} ALIAS ${target})
  endforeach()
  quillon_register(${name} "${variants}")
endfunction()

# quillon_add_dependencies(name target...): every variant of the library
# `name` is built after the targets (the content, for the program's
# libraries).
function(quillon_add_dependencies name)
  quillon_variants(${name} variants)
  foreach(v IN LISTS variants)
    # Aliases (a Windows tree's variants) share their library's dependencies.
    get_target_property(aliased ${name}_${v} ALIASED_TARGET)
    if(NOT aliased)
      add_dependencies(${name}_${v} ${ARGN})
    endif()
  endforeach()
endfunction()

# quillon_executable(name [VARIANT v] SOURCES ... [LINK ...]): a program,
# tool, benchmark or test helper, plain unless told otherwise.
function(quillon_executable name)
  cmake_parse_arguments(Q "" "VARIANT" "SOURCES;LINK" ${ARGN})
  if(NOT Q_VARIANT)
    set(Q_VARIANT plain)
  endif()
  add_executable(${name} ${Q_SOURCES})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR})
  quillon_apply_variant(${name} ${Q_VARIANT})
  quillon_link(${name} ${Q_VARIANT} ${Q_LINK})
endfunction()

# quillon_test(name [VARIANT asan|tsan] SOURCES ... [LINK ...] [LABELS ...])
# A GoogleTest executable whose cases ctest runs one by one.
function(quillon_test name)
  cmake_parse_arguments(Q "" "VARIANT" "SOURCES;LINK;LABELS" ${ARGN})
  if(NOT Q_VARIANT)
    set(Q_VARIANT asan)
  endif()
  quillon_executable(${name} VARIANT ${Q_VARIANT} SOURCES ${Q_SOURCES}
                     LINK ${Q_LINK} GTest::gtest GTest::gmock GTest::gtest_main)
  # A list handed through the discovery's PROPERTIES is split at its
  # semicolons, so every case gets one label made of the area and the
  # variant ("music-asan", "sound-tsan"); ctest -L takes a regular
  # expression, so -L music and -L tsan both find it.
  string(JOIN "-" label ${Q_LABELS} ${Q_VARIANT})
  if(WIN32)
    # Under Wine each process start costs a good fraction of a second, so a
    # Windows suite runs as one test, all its cases in one process.
    add_test(NAME ${name} COMMAND ${name} WORKING_DIRECTORY ${PROJECT_BINARY_DIR})
    # In the test run's Wine session (tests/windows/session.sh).
    set_tests_properties(${name} PROPERTIES LABELS "${label};windows" FIXTURES_REQUIRED wine)
    return()
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST
                       PROPERTIES LABELS ${label}
                       WORKING_DIRECTORY ${PROJECT_BINARY_DIR})
endfunction()

# Writes the link graph of every library of the tree to `file`, one line
# per library: "<library>: <what it links>,..." (tests/layering reads it).
# Called once everything is declared (cmake_language(DEFER)), from the
# targets' own properties, so a link made anywhere is in it.
function(quillon_write_link_graph file)
  set(lines)
  set(dirs ${PROJECT_SOURCE_DIR})
  while(dirs)
    list(POP_FRONT dirs dir)
    get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
    list(APPEND dirs ${subdirs})
    get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
    foreach(target IN LISTS targets)
      get_target_property(type ${target} TYPE)
      if(type MATCHES "^(STATIC|SHARED|OBJECT)_LIBRARY$")
        get_target_property(links ${target} LINK_LIBRARIES)
        if(NOT links)
          set(links "")
        endif()
        # An alias (quillon_music_plain) by the library it stands for.
        set(resolved)
        foreach(link IN LISTS links)
          if(TARGET ${link})
            get_target_property(aliased ${link} ALIASED_TARGET)
            if(aliased)
              set(link ${aliased})
            endif()
          endif()
          list(APPEND resolved ${link})
        endforeach()
        list(JOIN resolved "," links)
        list(APPEND lines "${target}: ${links}")
      endif()
    endforeach()
  endwhile()
  list(JOIN lines "\n" text)
  file(WRITE ${file} "${text}\n")
endfunction()
