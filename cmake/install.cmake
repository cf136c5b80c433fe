# Installing and packaging: the program, the tools a person needs for a
# presentation of their own (the preview, the song tools, the video capture;
# the content builders out of the PATH), the desktop entry and icon
# (resources/CMakeLists.txt) and a man page for each command. `make package` (or cpack -G DEB in the build tree)
# makes the Debian package; its dependencies come from the shared libraries
# the programs link, through dpkg-shlibdeps.
include(GNUInstallDirs)

# On the PATH only what a person types, each named for the project: the
# program, the video capture (it runs ffmpeg, which the package
# recommends), the song tools and the preview. In the build tree the tools
# keep their short names (build/tools/xmcheck ...).
set(QUILLON_PUBLIC_TOOLS xmcheck xmrender snapshot)
# The content builders the build runs; a package keeps them out of the
# PATH, in a folder of its own (/usr/lib/quillon), where they cannot clash
# with other packages' commands.
set(QUILLON_PRIVATE_TOOLS textc fontc anigen fpsgen songc iconc)
set(QUILLON_INSTALLED_TOOLS ${QUILLON_PUBLIC_TOOLS} ${QUILLON_PRIVATE_TOOLS} quillon-capture)
set(QUILLON_INSTALLED_PROGRAMS quillon ${QUILLON_INSTALLED_TOOLS})
# The commands in bin/, by their installed names.
set(QUILLON_INSTALLED_COMMANDS quillon quillon-capture)
foreach(tool IN LISTS QUILLON_PUBLIC_TOOLS)
  list(APPEND QUILLON_INSTALLED_COMMANDS quillon-${tool})
endforeach()
install(TARGETS quillon quillon-capture ${QUILLON_PUBLIC_TOOLS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS ${QUILLON_PRIVATE_TOOLS} RUNTIME DESTINATION lib/quillon)
# install(TARGETS) cannot rename; the files are stripped by then. The
# install manifest (install_manifest.txt, what an uninstall removes) is told
# the new name too.
foreach(tool IN LISTS QUILLON_PUBLIC_TOOLS)
  install(CODE "set(quillon_bin \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
                file(RENAME \"\${quillon_bin}/${tool}\" \"\${quillon_bin}/quillon-${tool}\")
                list(REMOVE_ITEM CMAKE_INSTALL_MANIFEST_FILES \"\${quillon_bin}/${tool}\")
                list(APPEND CMAKE_INSTALL_MANIFEST_FILES \"\${quillon_bin}/quillon-${tool}\")")
endforeach()

# A man page for each command, gzipped as Debian installs them (-n: no
# name or time stamp in the file, so the package is the same every build).
set(MAN_BUILD ${PROJECT_BINARY_DIR}/man)
set(MAN_PAGES)
foreach(command IN LISTS QUILLON_INSTALLED_COMMANDS)
  add_custom_command(OUTPUT ${MAN_BUILD}/${command}.1.gz
                     COMMAND ${CMAKE_COMMAND} -E make_directory ${MAN_BUILD}
                     COMMAND gzip -9n -c ${PROJECT_SOURCE_DIR}/docs/man/${command}.1 > ${MAN_BUILD}/${command}.1.gz
                     DEPENDS ${PROJECT_SOURCE_DIR}/docs/man/${command}.1)
  list(APPEND MAN_PAGES ${MAN_BUILD}/${command}.1.gz)
endforeach()
add_custom_target(quillon_man_pages ALL DEPENDS ${MAN_PAGES})
install(FILES ${MAN_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# What the package holds, without the tests and benchmarks: install and
# cpack do not build everything first.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
add_custom_target(quillon_programs DEPENDS ${QUILLON_INSTALLED_PROGRAMS} quillon_icon quillon_man_pages)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillon)
set(CPACK_PACKAGE_VENDOR "Quillon")
set(CPACK_PACKAGE_CONTACT "Quillon developers <quillon@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "full-screen presentation of a release, with its own XM music player")
# The long description; CPack puts the summary line before it.
string(CONCAT CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Four pages of release text over colour bars, a corner animation, drifting\n"
    "stars and a song in the Extended Module format, all linked into one program.\n"
    "The tools build a presentation of your own text, song and pictures.")
# The build keeps debug information; the package does not need it.
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION x11)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS ffmpeg)
include(CPack)
