# zlib and libpng for the browser tree, compiled from Debian's source
# packages (tools/fetch-debian-source unpacks them into
# ${PROJECT_BINARY_DIR}/third_party/ when the tree is configured; Emscripten's
# own ports would come from a host these machines cannot reach). They give
# ZLIB::ZLIB and PNG::PNG, the names the host tree has from its system, and
# are built only for what links them (the maker's tools).
set(QUILLON_THIRD_PARTY ${PROJECT_BINARY_DIR}/third_party)
execute_process(COMMAND ${PROJECT_SOURCE_DIR}/tools/fetch-debian-source ${QUILLON_THIRD_PARTY} zlib libpng1.6
                RESULT_VARIABLE fetched)
if(NOT fetched EQUAL 0)
  message(FATAL_ERROR "Could not fetch Debian's sources of zlib and libpng (see above).")
endif()

# Their own code, as Debian builds it: none of this tree's warnings.
set(ZLIB_DIR ${QUILLON_THIRD_PARTY}/zlib)
add_library(quillon_zlib STATIC EXCLUDE_FROM_ALL
  ${ZLIB_DIR}/adler32.c ${ZLIB_DIR}/compress.c ${ZLIB_DIR}/crc32.c ${ZLIB_DIR}/deflate.c ${ZLIB_DIR}/gzclose.c
  ${ZLIB_DIR}/gzlib.c ${ZLIB_DIR}/gzread.c ${ZLIB_DIR}/gzwrite.c ${ZLIB_DIR}/infback.c ${ZLIB_DIR}/inffast.c
  ${ZLIB_DIR}/inflate.c ${ZLIB_DIR}/inftrees.c ${ZLIB_DIR}/trees.c ${ZLIB_DIR}/uncompr.c ${ZLIB_DIR}/zutil.c)
target_include_directories(quillon_zlib SYSTEM PUBLIC ${ZLIB_DIR})
target_compile_options(quillon_zlib PRIVATE -O2 -w)
add_library(ZLIB::ZLIB ALIAS quillon_zlib)

# libpng's build options: the prebuilt default set, as its own makefiles use.
set(PNG_DIR ${QUILLON_THIRD_PARTY}/libpng1.6)
set(PNG_CONFIG_DIR ${QUILLON_THIRD_PARTY}/libpng-config)
configure_file(${PNG_DIR}/scripts/pnglibconf.h.prebuilt ${PNG_CONFIG_DIR}/pnglibconf.h COPYONLY)
add_library(quillon_png STATIC EXCLUDE_FROM_ALL
  ${PNG_DIR}/png.c ${PNG_DIR}/pngerror.c ${PNG_DIR}/pngget.c ${PNG_DIR}/pngmem.c ${PNG_DIR}/pngpread.c
  ${PNG_DIR}/pngread.c ${PNG_DIR}/pngrio.c ${PNG_DIR}/pngrtran.c ${PNG_DIR}/pngrutil.c ${PNG_DIR}/pngset.c
  ${PNG_DIR}/pngtrans.c ${PNG_DIR}/pngwio.c ${PNG_DIR}/pngwrite.c ${PNG_DIR}/pngwtran.c ${PNG_DIR}/pngwutil.c)
target_include_directories(quillon_png SYSTEM PUBLIC ${PNG_DIR} ${PNG_CONFIG_DIR})
target_compile_options(quillon_png PRIVATE -O2 -w)
target_link_libraries(quillon_png PUBLIC ZLIB::ZLIB)
add_library(PNG::PNG ALIAS quillon_png)
