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

function(quillon_apply_variant target variant)
  if(variant STREQUAL "asan")
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

# Links `target` (of `variant`) against each dependency: a Quillon library
# name links its own variant, anything else links as given.
function(quillon_link target variant)
  foreach(dep IN LISTS ARGN)
    if(TARGET ${dep}_${variant})
      target_link_libraries(${target} PUBLIC ${dep}_${variant})
    else()
      target_link_libraries(${target} PUBLIC ${dep})
    endif()
  endforeach()
endfunction()

# quillon_library(name SOURCES ... [LINK ...] [VARIANTS plain asan ...])
# defines name_plain, name_asan, ... as static libraries.
function(quillon_library name)
  cmake_parse_arguments(Q "" "" "SOURCES;LINK;VARIANTS" ${ARGN})
  if(NOT Q_VARIANTS)
    set(Q_VARIANTS ${QUILLON_ALL_VARIANTS})
  endif()
  foreach(v IN LISTS Q_VARIANTS)
    if(v IN_LIST QUILLON_ALL_VARIANTS)
      add_library(${name}_${v} STATIC ${Q_SOURCES})
    else()
      add_library(${name}_${v} STATIC EXCLUDE_FROM_ALL ${Q_SOURCES})
    endif()
    target_include_directories(${name}_${v} PUBLIC ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR})
    quillon_apply_variant(${name}_${v} ${v})
    quillon_link(${name}_${v} ${v} ${Q_LINK})
  endforeach()
endfunction()

# quillon_executable(name VARIANT v SOURCES ... [LINK ...])
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
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST
                       PROPERTIES LABELS ${label}
                       WORKING_DIRECTORY ${PROJECT_BINARY_DIR})
endfunction()
