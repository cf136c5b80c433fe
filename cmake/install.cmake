# Installing and packaging: the program, the tools a person needs for a
# presentation of their own (the preview, the song tools and the content
# builders), the desktop entry and icon (resources/CMakeLists.txt) and a man
# page for each program. `make package` (or cpack -G DEB in the build tree)
# makes the Debian package; its dependencies come from the shared libraries
# the programs link, through dpkg-shlibdeps.
include(GNUInstallDirs)

# The video capture runs ffmpeg, which the package recommends.
set(QUILLON_INSTALLED_TOOLS xmrender xmcheck snapshot textc fontc anigen fpsgen songc iconc quillon-capture)
set(QUILLON_INSTALLED_PROGRAMS quillon ${QUILLON_INSTALLED_TOOLS})
install(TARGETS ${QUILLON_INSTALLED_PROGRAMS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
foreach(program IN LISTS QUILLON_INSTALLED_PROGRAMS)
  install(FILES ${PROJECT_SOURCE_DIR}/docs/man/${program}.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()

# What the package holds, without the tests and benchmarks: install and
# cpack do not build everything first.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
add_custom_target(quillon_programs DEPENDS ${QUILLON_INSTALLED_PROGRAMS} quillon_icon)

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
