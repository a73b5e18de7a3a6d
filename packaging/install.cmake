# What `cmake --install` puts under the prefix, and the Linux packages made
# from it (CPack: a Debian package and a .tar.gz of the same tree). Included
# by the top-level CMakeLists.txt after the programs are defined.
include(GNUInstallDirs)

set(PACKAGING_DIR ${CMAKE_SOURCE_DIR}/packaging)
set(MAN_DIR ${CMAKE_BINARY_DIR}/man)

install(TARGETS brinelux RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PACKAGING_DIR}/brinelux.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PACKAGING_DIR}/brinelux.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
configure_file(${PACKAGING_DIR}/brinelux.6.in ${MAN_DIR}/brinelux.6 @ONLY)
install(FILES ${MAN_DIR}/brinelux.6 DESTINATION ${CMAKE_INSTALL_MANDIR}/man6)

if(TARGET brinelux-capture)
  install(TARGETS brinelux-capture RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  # The capture's page is its --help, written out by the program just built,
  # so the two cannot drift apart.
  set(CAPTURE_MAN ${MAN_DIR}/brinelux-capture.1)
  add_custom_command(
    OUTPUT ${CAPTURE_MAN}
    COMMAND ${CMAKE_COMMAND} -DTOOL=$<TARGET_FILE:brinelux-capture> -DOUT=${CAPTURE_MAN}
            -DVERSION=${PROJECT_VERSION} -P ${PACKAGING_DIR}/capture_man.cmake
    DEPENDS brinelux-capture ${PACKAGING_DIR}/capture_man.cmake
    COMMENT "Writing the capture tool's manual page from its --help" VERBATIM)
  add_custom_target(brinelux_capture_man ALL DEPENDS ${CAPTURE_MAN})
  install(FILES ${CAPTURE_MAN} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()

# ---- packages: tools/release.sh runs cpack in a build of this tree ----
set(CPACK_PACKAGE_NAME brinelux)
set(CPACK_PACKAGE_VENDOR "The brinelux developers")
set(CPACK_PACKAGE_CONTACT "The brinelux developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "real-time audiovisual demo with its own song")
set(CPACK_PACKAGE_DESCRIPTION
  "A self-contained, real-time audiovisual demo: a title card, a ray-marched\n"
  "water surface and a grid of studded spheres on chains, while a small\n"
  "sequencer and subtractive synthesizer play its song. brinelux-capture\n"
  "renders the show without a display, to video, PNG frames, WAV and stills.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_GENERATOR "DEB;TGZ")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_FILE_NAME brinelux-${PROJECT_VERSION}-linux-${CMAKE_SYSTEM_PROCESSOR})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION games)
# The libraries the binaries link come from dpkg-shlibdeps. What they load
# by other means is named here: libepoxy opens libGL and libEGL at run time,
# and --out runs ffmpeg. (The cards' face is built into the programs.)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libgl1, libegl1")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "ffmpeg")
include(CPack)
