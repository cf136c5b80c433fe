# The Windows build, cross-compiled with MinGW-w64 for 32-bit Windows
# (cmake/mingw-w64-i686.cmake, the exe that ships) or 64-bit Windows
# (cmake/mingw-w64-x86_64.cmake): quillon.exe on the Windows backend
# (platform/win32), xmrender.exe and xmcheck.exe, and the display, music and
# backend tests, run under Wine by ctest. Included by the top-level
# CMakeLists.txt in place of the Linux build.
enable_language(RC)

# x86 (32-bit) or x64: the structure sizes the tests expect follow it.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(QUILLON_WINDOWS_ARCH x86)
else()
  set(QUILLON_WINDOWS_ARCH x64)
endif()

# The content is built (and checked) by the builders of a native tree, with
# whatever own content it was configured with; this tree compiles it.
set(QUILLON_HOST_BUILD "" CACHE PATH "A native build tree of Quillon whose built content this build compiles")
set(HOST_RES ${QUILLON_HOST_BUILD}/resources)
set(HOST_CONTENT ${HOST_RES}/FONT.bmp ${HOST_RES}/ANI.bmp ${HOST_RES}/FPS.bmp ${HOST_RES}/MUSIC.xm
                 ${HOST_RES}/release.bin ${HOST_RES}/quillon.ico ${HOST_RES}/embedded_resources.cpp)
foreach(file IN LISTS HOST_CONTENT)
  if(NOT EXISTS ${file})
    message(FATAL_ERROR "No ${file}: build the native tree's content first (make windows does).")
  endif()
endforeach()
# The Linux snapshot, xmrender and wavmatch as linux_snapshot, ...: the
# references of the tests.
include(${QUILLON_HOST_BUILD}/linux-tools.cmake)
configure_file(cmake/quillon_version.h.in ${PROJECT_BINARY_DIR}/quillon_version.h)

find_package(PkgConfig REQUIRED)
set(THREADS_PREFER_PTHREAD_FLAG ON)
find_package(Threads REQUIRED)

# GoogleTest from Debian's sources (googletest package), built for Windows.
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
# Its CMakeLists defines the GTest:: names the tests link.
add_subdirectory(/usr/src/googletest ${PROJECT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

# Every executable the tests start runs under Wine, in the prefix of the
# test run (tests/windows/wine-run).
set(QUILLON_WINE_DIR ${PROJECT_BINARY_DIR}/wine)
set(CMAKE_CROSSCOMPILING_EMULATOR ${PROJECT_SOURCE_DIR}/tests/windows/wine-run ${QUILLON_WINE_DIR})

include(cmake/quillon.cmake)
enable_testing()

# The resource table as the native tree embedded it, for the headless
# backend of the tests. The program reads its resources from its module and
# never the table: each array in a section of its own lets the linker leave
# the table out (app/CMakeLists.txt).
add_library(quillon_resources STATIC ${HOST_RES}/embedded_resources.cpp)
target_include_directories(quillon_resources PUBLIC ${PROJECT_SOURCE_DIR})
target_compile_options(quillon_resources PRIVATE -fdata-sections)
# The program's bitmaps, song, release text and icon as resources of its own module
# (FindResourceA, LoadImageA).
add_library(quillon_rc OBJECT resources/quillon.rc)
target_include_directories(quillon_rc PRIVATE ${HOST_RES})
set_source_files_properties(resources/quillon.rc PROPERTIES OBJECT_DEPENDS "${HOST_CONTENT}")

add_subdirectory(platform)
add_subdirectory(music)
add_subdirectory(display)
add_subdirectory(app)
add_subdirectory(tools)
add_subdirectory(tests/support)

# The manifest and the version details belong to quillon.exe alone.
set(QUILLON_MANIFEST ${PROJECT_BINARY_DIR}/quillon.manifest)
configure_file(resources/quillon.manifest.in ${QUILLON_MANIFEST} @ONLY)
configure_file(resources/quillon_version.rc.in ${PROJECT_BINARY_DIR}/quillon_version.rc @ONLY)
add_library(quillon_version_rc OBJECT ${PROJECT_BINARY_DIR}/quillon_version.rc)
set_source_files_properties(${PROJECT_BINARY_DIR}/quillon_version.rc PROPERTIES OBJECT_DEPENDS ${QUILLON_MANIFEST})
target_sources(quillon PRIVATE $<TARGET_OBJECTS:quillon_version_rc>)
if(QUILLON_WINDOWS_ARCH STREQUAL x86)
  # The 32-bit start-up calls a stdcall WinMain, which passes the call on to
  # the program's.
  target_sources(quillon PRIVATE ${PROJECT_SOURCE_DIR}/platform/win32/x86/win32_entry.cpp)
endif()

# The exe the maker page carries (x64 tree only): the program as quillon.exe
# is, built-in content, manifest and version details included, but linked
# with the full music library whatever FULLXM says, so that it holds both
# players and the PLAYER resource the maker writes chooses between them.
# The maker rewrites its resources for a person's content (maker/windows-exe.js);
# stripped, as the zip's exe is. maker/quillon-maker.exe.
if(QUILLON_WINDOWS_ARCH STREQUAL x64)
  quillon_executable(quillon_maker_exe SOURCES $<TARGET_OBJECTS:quillon_rc> $<TARGET_OBJECTS:quillon_version_rc>
                     LINK quillon_app quillon_display quillon_music_full quillon_platform_win32)
  set_target_properties(quillon_maker_exe PROPERTIES WIN32_EXECUTABLE ON OUTPUT_NAME quillon-maker-unstripped
                        RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/maker)
  target_link_options(quillon_maker_exe PRIVATE -Wl,--undefined=WinMain -Wl,--gc-sections)
  set(QUILLON_MAKER_EXE ${PROJECT_BINARY_DIR}/maker/quillon-maker.exe)
  add_custom_command(OUTPUT ${QUILLON_MAKER_EXE}
                     COMMAND ${CMAKE_STRIP} -o ${QUILLON_MAKER_EXE} $<TARGET_FILE:quillon_maker_exe>
                     DEPENDS quillon_maker_exe
                     COMMENT "Stripping the maker's exe")
  add_custom_target(quillon_maker_exe_stripped ALL DEPENDS ${QUILLON_MAKER_EXE})
  # resedit and pe-library, which rewrite it, bundled into one classic script
  # for the page (maker/bundle-resedit.cjs), from the npm packages of
  # platform/web/package-lock.json (make windows installs them).
  set(QUILLON_NPM_MODULES "" CACHE PATH "The node_modules folder of platform/web/package-lock.json's packages")
  if(QUILLON_NPM_MODULES AND EXISTS ${QUILLON_NPM_MODULES}/resedit AND EXISTS ${QUILLON_NPM_MODULES}/esbuild)
    find_program(QUILLON_NODE node REQUIRED)
    set(QUILLON_RESEDIT_JS ${PROJECT_BINARY_DIR}/maker/resedit.js)
    add_custom_command(OUTPUT ${QUILLON_RESEDIT_JS}
                       COMMAND ${QUILLON_NODE} ${PROJECT_SOURCE_DIR}/maker/bundle-resedit.cjs
                               --node-modules ${QUILLON_NPM_MODULES} --out ${QUILLON_RESEDIT_JS}
                       DEPENDS ${PROJECT_SOURCE_DIR}/maker/bundle-resedit.cjs ${QUILLON_NPM_MODULES}/.package-lock.json
                       COMMENT "Bundling resedit for the maker")
    add_custom_target(quillon_maker_resedit ALL DEPENDS ${QUILLON_RESEDIT_JS})
  else()
    message(STATUS "No QUILLON_NPM_MODULES with resedit and esbuild (make windows installs them): "
                   "the maker's exe is built, its rewrite is not tested")
  endif()
endif()

# The zip for users, made by the 64-bit tree: its quillon.exe is the one
# that ships, since it is the one every test here runs (no machine of ours
# runs 32-bit code, so the 32-bit exe is only ever checked as a file), and
# current Windows is 64-bit (Windows on ARM runs x64 programs too). The
# 32-bit exe of the tree QUILLON_WINDOWS_X86_BUILD names goes beside it as
# quillon-x86.exe, for the old 32-bit Windows that cannot run the other.
# Both are stripped of their debugging information; README.txt says which
# to start.
set(QUILLON_WINDOWS_X86_BUILD "" CACHE PATH "The 32-bit Windows tree whose quillon.exe the zip carries as quillon-x86.exe")
if(QUILLON_WINDOWS_ARCH STREQUAL x86)
  set(X86_EXE "")
elseif(QUILLON_WINDOWS_X86_BUILD STREQUAL "")
  message(STATUS "No QUILLON_WINDOWS_X86_BUILD: the zip holds the 64-bit quillon.exe alone")
  set(X86_EXE "")
else()
  set(X86_EXE ${QUILLON_WINDOWS_X86_BUILD}/quillon.exe)
endif()
if(QUILLON_WINDOWS_ARCH STREQUAL x64)
  set(WINDOWS_ZIP quillon-windows.zip)
  # The README names the version.
  configure_file(resources/README-windows.txt ${PROJECT_BINARY_DIR}/README-windows.txt @ONLY)
  set(WINDOWS_ZIP_DIR ${PROJECT_BINARY_DIR}/zip)
  set(ZIP_FILES quillon.exe README.txt)
  set(X86_COMMANDS)
  if(X86_EXE)
    list(APPEND ZIP_FILES quillon-x86.exe)
    # The 32-bit tree's own strip: this tree's does not read 32-bit files.
    find_program(QUILLON_X86_STRIP i686-w64-mingw32-strip REQUIRED)
    set(X86_COMMANDS COMMAND ${QUILLON_X86_STRIP} -o ${WINDOWS_ZIP_DIR}/quillon-x86.exe ${X86_EXE})
  endif()
  add_custom_command(
    OUTPUT ${PROJECT_BINARY_DIR}/${WINDOWS_ZIP}
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${WINDOWS_ZIP_DIR} ${PROJECT_BINARY_DIR}/${WINDOWS_ZIP}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${WINDOWS_ZIP_DIR}
    COMMAND ${CMAKE_STRIP} -o ${WINDOWS_ZIP_DIR}/quillon.exe $<TARGET_FILE:quillon>
    ${X86_COMMANDS}
    COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_BINARY_DIR}/README-windows.txt ${WINDOWS_ZIP_DIR}/README.txt
    COMMAND ${CMAKE_COMMAND} -E chdir ${WINDOWS_ZIP_DIR}
            ${CMAKE_COMMAND} -E tar cf ${PROJECT_BINARY_DIR}/${WINDOWS_ZIP} --format=zip ${ZIP_FILES}
    DEPENDS quillon ${X86_EXE} ${PROJECT_BINARY_DIR}/README-windows.txt
    COMMENT "Packing ${WINDOWS_ZIP}")
  add_custom_target(quillon_zip ALL DEPENDS ${PROJECT_BINARY_DIR}/${WINDOWS_ZIP})
endif()

add_subdirectory(tests/display)
add_subdirectory(tests/music)
add_subdirectory(tests/windows)
