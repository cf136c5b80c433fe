# The browser build (make web): the program's libraries and the web backend
# compiled with Emscripten into a folder of static files,
#   ${QUILLON_WEB_SITE}/  index.html, quillon.js, quillon.wasm,
#                         quillon.worker.js, quillon-page.js,
#                         quillon-audio.js, coi-serviceworker.min.js
# and quillon-web.zip of it. The resources come from the host build
# (QUILLON_HOST_BUILD, where the host tools have built and embedded them);
# the service worker from the npm packages in QUILLON_NPM_MODULES.
#
# The program runs in a worker (PROXY_TO_PTHREAD), so its blocking frame
# loop never holds up the page; the feeder is a second thread. Both need the
# memory shared, hence -pthread for every object. The memory is fixed (no
# growth), so the page and the audio worklet keep one view of it.
set(QUILLON_HOST_BUILD "" CACHE PATH "Host build tree whose resources/ holds embedded_resources.cpp")
set(QUILLON_NPM_MODULES "" CACHE PATH "node_modules folder holding coi-serviceworker")
set(QUILLON_WEB_SITE ${PROJECT_BINARY_DIR}/quillon-web)

set(EMBEDDED ${QUILLON_HOST_BUILD}/resources/embedded_resources.cpp)
if(NOT EXISTS ${EMBEDDED})
  message(FATAL_ERROR "No ${EMBEDDED}: build the host's resources first (make web does).")
endif()
set(SERVICE_WORKER ${QUILLON_NPM_MODULES}/coi-serviceworker/coi-serviceworker.min.js)
if(NOT EXISTS ${SERVICE_WORKER})
  message(FATAL_ERROR "No ${SERVICE_WORKER}: install the npm packages first (make web does).")
endif()

# Only the plain variant is built here; the others stay out of `all`.
set(QUILLON_ALL_VARIANTS plain)
include(cmake/quillon.cmake)
add_compile_options(-pthread)
set(THREADS_PREFER_PTHREAD_FLAG ON)
find_package(Threads REQUIRED)

add_library(quillon_resources STATIC ${EMBEDDED})
target_include_directories(quillon_resources PUBLIC ${PROJECT_SOURCE_DIR})

add_subdirectory(platform)
add_subdirectory(music)
add_subdirectory(display)
add_subdirectory(app)

set(WEB_DIR ${PROJECT_SOURCE_DIR}/platform/web)
quillon_executable(quillon_web SOURCES ${PROJECT_SOURCE_DIR}/app/main.cpp
                   LINK quillon_app quillon_display quillon_music quillon_platform_web)
set_target_properties(quillon_web PROPERTIES OUTPUT_NAME quillon SUFFIX .js
                      RUNTIME_OUTPUT_DIRECTORY ${QUILLON_WEB_SITE})
target_link_options(quillon_web PRIVATE
  -O2 -pthread
  -sPROXY_TO_PTHREAD=1 -sPTHREAD_POOL_SIZE=2
  -sINITIAL_MEMORY=64MB -sALLOW_MEMORY_GROWTH=0
  -sMODULARIZE=1 -sEXPORT_NAME=createQuillon -sINVOKE_RUN=0 -sEXIT_RUNTIME=1
  -sEXPORTED_RUNTIME_METHODS=callMain -sEXPORTED_FUNCTIONS=_main,_quillon_web_shared
  -sENVIRONMENT=web,worker)

set(PAGE_FILES ${WEB_DIR}/page/index.html ${WEB_DIR}/page/quillon-page.js ${WEB_DIR}/page/quillon-audio.js)
set(SITE_COPIES)
foreach(file IN LISTS PAGE_FILES SERVICE_WORKER)
  get_filename_component(name ${file} NAME)
  add_custom_command(OUTPUT ${QUILLON_WEB_SITE}/${name}
                     COMMAND ${CMAKE_COMMAND} -E copy ${file} ${QUILLON_WEB_SITE}/${name}
                     DEPENDS ${file})
  list(APPEND SITE_COPIES ${QUILLON_WEB_SITE}/${name})
endforeach()

# The zip holds the folder itself, so it unpacks into quillon-web/.
add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/quillon-web.zip
                   COMMAND ${CMAKE_COMMAND} -E rm -f quillon-web.zip
                   COMMAND zip -q -r quillon-web.zip quillon-web
                   DEPENDS quillon_web ${SITE_COPIES}
                   WORKING_DIRECTORY ${PROJECT_BINARY_DIR}
                   COMMENT "Packing quillon-web.zip")
add_custom_target(quillon_web_site ALL DEPENDS ${SITE_COPIES} ${PROJECT_BINARY_DIR}/quillon-web.zip)
