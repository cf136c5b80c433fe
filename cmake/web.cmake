# The browser build (make web): the program's libraries and the web backend
# compiled with Emscripten into
#   ${PROJECT_BINARY_DIR}/quillon.html   one self-contained page: program,
#                                         wasm, page script and audio player
#   ${QUILLON_WEB_SITE}/                  the same as a folder of files:
#                                         index.html, quillon.js, quillon.wasm,
#                                         quillon-page.js, quillon-audio.js
# and quillon-web.zip of the folder; and for the maker page
#   ${PROJECT_BINARY_DIR}/maker-tools/   quillon-tools.js + .wasm: the content
#                                         builders and xmcheck (maker/)
# The resources come from the host build (QUILLON_HOST_BUILD, where the host
# tools have built and embedded them).
#
# No threads and no shared memory, so the page plays from disk and from any
# host: the program runs on the page's thread, and Asyncify lets it give the
# browser its turn where it waits (platform/web/web_internal.h).
#
# The page hands the program its own content before main runs (a person's
# presentation made in the browser): the program exports the calls for it
# (platform/web/README.md). Its memory is made by the page, sized for that
# content, and never grows, so the page keeps one view of it: at least
# QUILLON_WEB_MEMORY_MB (the program with its built-in content), up to
# what the largest song the page accepts needs.
set(QUILLON_HOST_BUILD "" CACHE PATH "Host build tree whose resources/ holds embedded_resources.cpp")
set(QUILLON_WEB_SITE ${PROJECT_BINARY_DIR}/quillon-web)
# The largest song (.xm file) the page hands the program. Loaded, every
# sample value of an 8-bit sample becomes 16 bits, and the file stays in
# memory as the page gave it: a song of n bytes takes up to 3n, plus its
# patterns (256 of 256 rows of 32 channels at most: 10 MB) and headers.
set(QUILLON_WEB_SONG_LIMIT_MB 32)
set(QUILLON_WEB_MEMORY_MB 32)
# The built-in memory, three times the largest song, and 32 MB for the
# patterns and the other pieces (bitmaps of a few hundred kB, the text).
math(EXPR QUILLON_WEB_MEMORY_LIMIT_MB "${QUILLON_WEB_MEMORY_MB} + 3 * ${QUILLON_WEB_SONG_LIMIT_MB} + 32")
set(QUILLON_WEB_SINGLE ${PROJECT_BINARY_DIR}/quillon.html)

set(EMBEDDED ${QUILLON_HOST_BUILD}/resources/embedded_resources.cpp)
if(NOT EXISTS ${EMBEDDED})
  message(FATAL_ERROR "No ${EMBEDDED}: build the host's resources first (make web does).")
endif()
find_program(QUILLON_NODE node REQUIRED)

# Only the plain variant is built here; the others stay out of `all`.
set(QUILLON_ALL_VARIANTS plain)
include(cmake/quillon.cmake)
# The platform's shared library names the thread library; in this build it
# adds nothing (nothing starts a real thread).
find_package(Threads REQUIRED)

add_library(quillon_resources STATIC ${EMBEDDED})
target_include_directories(quillon_resources PUBLIC ${PROJECT_SOURCE_DIR})

# zlib and libpng from Debian's sources (for the maker page's tools).
include(cmake/web-third-party.cmake)

add_subdirectory(platform)
add_subdirectory(music)
add_subdirectory(display)
add_subdirectory(app)
# The art builders' libraries, and the maker page's tools built from them.
add_subdirectory(tools)
add_subdirectory(maker)

set(WEB_DIR ${PROJECT_SOURCE_DIR}/platform/web)
# The full music library holds both players; the page chooses one with
# the content's resource PLAYER, and a page that does not gets the build's.
quillon_executable(quillon_web SOURCES ${PROJECT_SOURCE_DIR}/app/main.cpp ${PROJECT_SOURCE_DIR}/app/web_exports.cpp
                   LINK quillon_app quillon_display quillon_music_full quillon_platform_web)
if(QUILLON_FULL_XM)
  set(full_by_default 1)
else()
  set(full_by_default 0)
endif()
set_source_files_properties(${PROJECT_SOURCE_DIR}/app/web_exports.cpp PROPERTIES
                            COMPILE_DEFINITIONS QUILLON_WEB_FULL_PLAYER_BY_DEFAULT=${full_by_default})
set_target_properties(quillon_web PROPERTIES OUTPUT_NAME quillon SUFFIX .js
                      RUNTIME_OUTPUT_DIRECTORY ${QUILLON_WEB_SITE})
target_link_options(quillon_web PRIVATE
  -O2
  -sASYNCIFY=1 -sASYNCIFY_STACK_SIZE=65536
  # The page gives the memory (wasmMemory) with a maximum of its own size,
  # so it cannot grow; the module accepts any size up to the limit.
  -sIMPORTED_MEMORY=1 -sINITIAL_MEMORY=${QUILLON_WEB_MEMORY_MB}MB
  -sALLOW_MEMORY_GROWTH=1 -sMAXIMUM_MEMORY=${QUILLON_WEB_MEMORY_LIMIT_MB}MB
  -sMODULARIZE=1 -sEXPORT_NAME=createQuillon -sINVOKE_RUN=0 -sEXIT_RUNTIME=1
  -sEXPORTED_RUNTIME_METHODS=ccall
  -sEXPORTED_FUNCTIONS=_main,_quillon_web_shared,_quillon_web_set_resource,_quillon_web_set_clock_step,_quillon_scene_at_rest,_quillon_web_record,_malloc,_free
  -sENVIRONMENT=web)

set(PAGE_SCRIPTS ${WEB_DIR}/page/quillon-page.js ${WEB_DIR}/page/quillon-audio.js)
set(SITE_COPIES)
foreach(file IN LISTS PAGE_SCRIPTS)
  get_filename_component(name ${file} NAME)
  add_custom_command(OUTPUT ${QUILLON_WEB_SITE}/${name}
                     COMMAND ${CMAKE_COMMAND} -E copy ${file} ${QUILLON_WEB_SITE}/${name}
                     DEPENDS ${file})
  list(APPEND SITE_COPIES ${QUILLON_WEB_SITE}/${name})
endforeach()

add_custom_command(OUTPUT ${QUILLON_WEB_SITE}/index.html ${QUILLON_WEB_SINGLE}
                   COMMAND ${QUILLON_NODE} ${WEB_DIR}/bundle.cjs --template ${WEB_DIR}/page/index.html
                           --program $<TARGET_FILE:quillon_web> --wasm ${QUILLON_WEB_SITE}/quillon.wasm
                           --page ${WEB_DIR}/page/quillon-page.js --audio ${WEB_DIR}/page/quillon-audio.js
                           --folder ${QUILLON_WEB_SITE} --single ${QUILLON_WEB_SINGLE}
                           --song-limit-mb ${QUILLON_WEB_SONG_LIMIT_MB} --memory-mb ${QUILLON_WEB_MEMORY_MB}
                           --memory-limit-mb ${QUILLON_WEB_MEMORY_LIMIT_MB}
                   DEPENDS quillon_web ${WEB_DIR}/bundle.cjs ${WEB_DIR}/page/index.html ${PAGE_SCRIPTS}
                   COMMENT "Making quillon.html and quillon-web/index.html")

# The zip holds the folder itself, so it unpacks into quillon-web/.
add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/quillon-web.zip
                   COMMAND ${CMAKE_COMMAND} -E rm -f quillon-web.zip
                   COMMAND zip -q -r quillon-web.zip quillon-web
                   DEPENDS quillon_web ${SITE_COPIES} ${QUILLON_WEB_SITE}/index.html
                   WORKING_DIRECTORY ${PROJECT_BINARY_DIR}
                   COMMENT "Packing quillon-web.zip")
add_custom_target(quillon_web_site ALL
                  DEPENDS ${SITE_COPIES} ${QUILLON_WEB_SINGLE} ${PROJECT_BINARY_DIR}/quillon-web.zip)

# --- The maker page: build-web/quillon-maker.html -------------------------
# One self-contained page where a person makes their own presentation
# (maker/): it inlines the presentation's parts built above (for its
# preview and for each download), the content tools' wasm where this tree
# builds them (maker/CMakeLists.txt), the zip writer and the video muxer
# from npm (make web installs them into npm/), and the Windows program it rewrites for each
# NAME-windows.zip, which the 64-bit Windows tree builds: so the page is
# made only when QUILLON_MAKER_WINDOWS_BUILD names that tree (`make maker`,
# after make web and make windows). The built-in text and icon it starts
# from are the ones the host build chose.
set(QUILLON_MAKER_WINDOWS_BUILD "" CACHE PATH "The 64-bit Windows tree whose maker/quillon-maker.exe the maker page carries")
if(QUILLON_MAKER_WINDOWS_BUILD STREQUAL "")
  message(STATUS "No QUILLON_MAKER_WINDOWS_BUILD: the maker page is not made here (make maker makes it)")
  return()
endif()
set(MAKER_WINDOWS_FILES ${QUILLON_MAKER_WINDOWS_BUILD}/maker/quillon-maker.exe
    ${QUILLON_MAKER_WINDOWS_BUILD}/maker/resedit.js ${QUILLON_MAKER_WINDOWS_BUILD}/README-windows.txt)
foreach(file IN LISTS MAKER_WINDOWS_FILES)
  if(NOT EXISTS ${file})
    message(FATAL_ERROR "No ${file}: build the 64-bit Windows tree first (make maker does).")
  endif()
endforeach()
set(QUILLON_MAKER_PAGE ${PROJECT_BINARY_DIR}/quillon-maker.html)
set(MAKER_DIR ${PROJECT_SOURCE_DIR}/maker)
set(MAKER_SOURCES ${MAKER_DIR}/maker.html ${MAKER_DIR}/maker.css ${MAKER_DIR}/bundle-maker.cjs
    ${MAKER_DIR}/maker-pieces.js ${MAKER_DIR}/maker-editor.js ${MAKER_DIR}/maker-storage.js
    ${MAKER_DIR}/maker-checks.js ${MAKER_DIR}/maker-downloads.js ${MAKER_DIR}/maker-preview.js ${MAKER_DIR}/maker-video.js ${MAKER_DIR}/maker.js)
set(MAKER_FFLATE ${PROJECT_BINARY_DIR}/npm/node_modules/fflate/umd/index.js)
set(MAKER_MEDIABUNNY ${PROJECT_BINARY_DIR}/npm/node_modules/mediabunny/dist/bundles/mediabunny.min.cjs)
set(MAKER_TEXT ${PROJECT_SOURCE_DIR}/resources/release.txt)
if(EXISTS ${QUILLON_HOST_BUILD}/resources/chosen/release.bin.txt)
  file(STRINGS ${QUILLON_HOST_BUILD}/resources/chosen/release.bin.txt MAKER_TEXT LIMIT_COUNT 1)
endif()
set(MAKER_ICON ${QUILLON_HOST_BUILD}/resources/quillon.png)
set(MAKER_TOOLS_ARGS)
set(MAKER_TOOLS_DEPENDS)
if(TARGET quillon_tools)
  set(MAKER_TOOLS_ARGS --tools-js $<TARGET_FILE:quillon_tools>
                       --tools-wasm $<TARGET_FILE_DIR:quillon_tools>/quillon-tools.wasm)
  set(MAKER_TOOLS_DEPENDS quillon_tools ${MAKER_DIR}/tools-runner.js)
endif()
add_custom_command(OUTPUT ${QUILLON_MAKER_PAGE}
                   COMMAND ${QUILLON_NODE} ${MAKER_DIR}/bundle-maker.cjs --out ${QUILLON_MAKER_PAGE}
                           --maker-dir ${MAKER_DIR} --page-template ${WEB_DIR}/page/index.html
                           --program $<TARGET_FILE:quillon_web> --wasm ${QUILLON_WEB_SITE}/quillon.wasm
                           --page ${WEB_DIR}/page/quillon-page.js --audio ${WEB_DIR}/page/quillon-audio.js
                           --fflate ${MAKER_FFLATE} --mediabunny ${MAKER_MEDIABUNNY} --text ${MAKER_TEXT} --icon ${MAKER_ICON}
                           --song-limit-mb ${QUILLON_WEB_SONG_LIMIT_MB} --memory-mb ${QUILLON_WEB_MEMORY_MB}
                           --memory-limit-mb ${QUILLON_WEB_MEMORY_LIMIT_MB} ${MAKER_TOOLS_ARGS}
                           --windows-exe ${QUILLON_MAKER_WINDOWS_BUILD}/maker/quillon-maker.exe
                           --resedit ${QUILLON_MAKER_WINDOWS_BUILD}/maker/resedit.js
                           --windows-readme ${QUILLON_MAKER_WINDOWS_BUILD}/README-windows.txt
                           --windows-player $<IF:$<BOOL:${QUILLON_FULL_XM}>,full,small>
                   DEPENDS quillon_web ${MAKER_SOURCES} ${MAKER_FFLATE} ${MAKER_MEDIABUNNY} ${MAKER_TEXT} ${MAKER_ICON}
                           ${WEB_DIR}/page/index.html ${PAGE_SCRIPTS} ${MAKER_TOOLS_DEPENDS}
                           ${MAKER_WINDOWS_FILES} ${MAKER_DIR}/windows-exe.js
                   COMMENT "Making quillon-maker.html")
add_custom_target(quillon_maker_page ALL DEPENDS ${QUILLON_MAKER_PAGE})
