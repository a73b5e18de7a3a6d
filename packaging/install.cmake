# What `cmake --install` puts under the prefix, and the Linux packages made
# from it (CPack: a Debian package and a .tar.gz of the same tree). Included
# by the top-level CMakeLists.txt after the programs are defined.
include(GNUInstallDirs)

set(PACKAGING_DIR ${CMAKE_SOURCE_DIR}/packaging)
set(MAN_DIR ${CMAKE_BINARY_DIR}/man)
set(DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/brinelux)
# The one id the software centres know the show by: the desktop entry's
# file name and the metainfo's.
set(APP_ID org.brinelux.brinelux)
set(BRINELUX_MAINTAINER "The brinelux developers <brinelux@example.org>" CACHE STRING
    "The Debian package's Maintainer: a name and an address")
set(BRINELUX_SITE "https://brinelux.org" CACHE STRING
    "The project's web site: the metainfo's home page, with the screenshots under screenshots/VERSION/")
set(SCREENSHOTS_URL ${BRINELUX_SITE}/screenshots/${PROJECT_VERSION})

# The release's date is its changelog entry's, whose version must be the
# project's: the manual pages and the metainfo are dated from it.
file(STRINGS ${PACKAGING_DIR}/changelog changelog_lines)
list(GET changelog_lines 0 changelog_top)
if(NOT changelog_top MATCHES "^brinelux \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "packaging/changelog's first entry is not version ${PROJECT_VERSION}: add one for it")
endif()
foreach(line IN LISTS changelog_lines)
  if(line MATCHES "^ -- .*  [A-Z][a-z][a-z], ([0-9][0-9]) ([A-Z][a-z][a-z]) ([0-9][0-9][0-9][0-9]) ")
    set(month_names Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
    list(FIND month_names ${CMAKE_MATCH_2} month)
    math(EXPR month "${month} + 1" OUTPUT_FORMAT DECIMAL)
    if(month LESS 10)
      set(month 0${month})
    endif()
    set(RELEASE_DATE ${CMAKE_MATCH_3}-${month}-${CMAKE_MATCH_1})
    break()
  endif()
endforeach()
if(NOT RELEASE_DATE)
  message(FATAL_ERROR "packaging/changelog's first entry has no date line")
endif()

# Gzipped as Debian wants them: the most compression, no name or time stored.
function(brinelux_gzip source target)
  add_custom_command(OUTPUT ${source}.gz
    COMMAND gzip -9nf -k ${source}
    DEPENDS ${source}
    COMMENT "Compressing ${source}" VERBATIM)
  add_custom_target(${target} ALL DEPENDS ${source}.gz)
endfunction()

# The licences: the project's (MIT) and the embedded face's (OFL 1.1), one
# paragraph each in Debian's machine-readable form.
file(READ ${CMAKE_SOURCE_DIR}/LICENSE mit_text)
file(READ ${PACKAGING_DIR}/OFL-1.1.txt ofl_text)
function(brinelux_dep5_body text out)
  string(REGEX REPLACE "\n+$" "" text "${text}")
  string(REGEX REPLACE "\n\n" "\n.\n" text "${text}")
  string(REGEX REPLACE "\n\n" "\n.\n" text "${text}")
  string(REPLACE "\n" "\n " text "${text}")
  set(${out} " ${text}" PARENT_SCOPE)
endfunction()
brinelux_dep5_body("${mit_text}" mit_body)
brinelux_dep5_body("${ofl_text}" ofl_body)
file(WRITE ${CMAKE_BINARY_DIR}/copyright
"Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: brinelux
Upstream-Contact: ${BRINELUX_MAINTAINER}
Source: ${BRINELUX_SITE}

Files: *
Copyright: 2026 The brinelux developers
License: Expat

Files: LiberationMono-Bold.ttf
Copyright: 2010 Google Corporation
 2012 Red Hat, Inc.
License: OFL-1.1
Comment: Built into brinelux and brinelux-capture, which draw their cards in
 it, from Debian's fonts-liberation2.

License: Expat
${mit_body}

License: OFL-1.1
${ofl_body}
")
install(FILES ${CMAKE_BINARY_DIR}/copyright DESTINATION ${DOC_DIR})
# What the show is and how to build it, for the .tar.gz as much as the package;
# the README's pages beside it, where its links find them.
install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION ${DOC_DIR})
install(DIRECTORY ${CMAKE_SOURCE_DIR}/docs/ DESTINATION ${DOC_DIR}/docs FILES_MATCHING PATTERN "*.md")
configure_file(${PACKAGING_DIR}/changelog ${CMAKE_BINARY_DIR}/doc/changelog COPYONLY)
brinelux_gzip(${CMAKE_BINARY_DIR}/doc/changelog brinelux_changelog_gz)
install(FILES ${CMAKE_BINARY_DIR}/doc/changelog.gz DESTINATION ${DOC_DIR})
install(FILES ${PACKAGING_DIR}/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
        RENAME brinelux)

install(TARGETS brinelux RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PACKAGING_DIR}/brinelux.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications
        RENAME ${APP_ID}.desktop)
configure_file(${PACKAGING_DIR}/brinelux.metainfo.xml.in ${CMAKE_BINARY_DIR}/${APP_ID}.metainfo.xml @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/${APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${PACKAGING_DIR}/brinelux.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
# The X11 screensaver daemon finds its hacks' settings under its own folder.
install(FILES ${PACKAGING_DIR}/xscreensaver.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/xscreensaver/config
        RENAME brinelux.xml)
configure_file(${PACKAGING_DIR}/brinelux.6.in ${MAN_DIR}/brinelux.6 @ONLY)
brinelux_gzip(${MAN_DIR}/brinelux.6 brinelux_man_gz)
install(FILES ${MAN_DIR}/brinelux.6.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man6)

if(TARGET brinelux-capture)
  install(TARGETS brinelux-capture RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  # The capture's OPTIONS are its --help, read from the program just built,
  # so the two cannot drift apart.
  set(CAPTURE_MAN ${MAN_DIR}/brinelux-capture.1)
  add_custom_command(
    OUTPUT ${CAPTURE_MAN}
    COMMAND ${CMAKE_COMMAND} -DTOOL=$<TARGET_FILE:brinelux-capture> -DOUT=${CAPTURE_MAN}
            -DVERSION=${PROJECT_VERSION} -DDATE=${RELEASE_DATE} -P ${PACKAGING_DIR}/capture_man.cmake
    DEPENDS brinelux-capture ${PACKAGING_DIR}/capture_man.cmake
    COMMENT "Writing the capture tool's manual page from its --help" VERBATIM)
  brinelux_gzip(${CAPTURE_MAN} brinelux_capture_man)
  install(FILES ${CAPTURE_MAN}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()

# ---- packages: tools/release.sh runs cpack in a build of this tree ----
set(CPACK_PACKAGE_NAME brinelux)
set(CPACK_PACKAGE_VENDOR "The brinelux developers")
set(CPACK_PACKAGE_CONTACT "${BRINELUX_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${BRINELUX_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${BRINELUX_SITE}")
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
# Not a game (nothing to play), and both programs belong on every user's
# PATH in /usr/bin: the section of video players and makers fits a show
# watched full screen and a tool that renders it to video.
set(CPACK_DEBIAN_PACKAGE_SECTION video)
# The libraries the binaries link come from dpkg-shlibdeps. What they load
# by other means is named here: libepoxy opens libGL and libEGL at run time,
# and --out runs ffmpeg. (The cards' face is built into the programs.)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libgl1, libegl1")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "ffmpeg")
include(CPack)
