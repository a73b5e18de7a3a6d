# The show as a static web site in ${CMAKE_BINARY_DIR}/site: index.html,
# brinelux.js and .wasm (the show), worklet.js and brinelux_feeder.wasm (its
# sound feeder, run in the page's AudioWorklet), and brinelux.html (all of
# it in one file). Configured with emcmake
# (Emscripten's toolchain); tools/web.sh does it all.

# The glyph table: a small program for this machine, built with its own
# compiler against FreeType and fontconfig, renders the desktop's face.
find_program(BRINELUX_HOST_CXX NAMES c++ g++ REQUIRED)
find_program(BRINELUX_PKG_CONFIG NAMES pkg-config REQUIRED)
execute_process(COMMAND ${BRINELUX_PKG_CONFIG} --cflags --libs freetype2 fontconfig
                OUTPUT_VARIABLE glyph_flags OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
separate_arguments(glyph_flags UNIX_COMMAND "${glyph_flags}")
set(GLYPH_TOOL ${CMAKE_BINARY_DIR}/glyph_table)
set(GLYPH_CPP ${CMAKE_BINARY_DIR}/generated/glyphs.cpp)
add_custom_command(
  OUTPUT ${GLYPH_TOOL}
  COMMAND ${BRINELUX_HOST_CXX} -std=c++17 -O1 -I${CMAKE_SOURCE_DIR}
          ${CMAKE_SOURCE_DIR}/tools/glyph_table.cpp ${CMAKE_SOURCE_DIR}/tools/find_face.cpp
          ${CMAKE_SOURCE_DIR}/platform/freetype/show_face.cpp ${glyph_flags} -o ${GLYPH_TOOL}
  DEPENDS ${CMAKE_SOURCE_DIR}/tools/glyph_table.cpp ${CMAKE_SOURCE_DIR}/platform/web/glyphs.h
          ${CMAKE_SOURCE_DIR}/tools/find_face.cpp
          ${CMAKE_SOURCE_DIR}/tools/find_face.h ${CMAKE_SOURCE_DIR}/platform/freetype/show_face.cpp
          ${CMAKE_SOURCE_DIR}/platform/freetype/show_face.h
  COMMENT "Building the glyph table tool" VERBATIM)
add_custom_command(
  OUTPUT ${GLYPH_CPP}
  COMMAND ${GLYPH_TOOL} > ${GLYPH_CPP}.tmp
  COMMAND ${CMAKE_COMMAND} -E rename ${GLYPH_CPP}.tmp ${GLYPH_CPP}
  DEPENDS ${GLYPH_TOOL}
  COMMENT "Rasterising the show's glyphs")

# The page's glyph lists come at every height its pictures take
# (gl_legacy.cpp), so the cards are drawn at the picture's size.
target_compile_definitions(brinelux_render PRIVATE BRINELUX_FONT_SIZES)

set(SITE_DIR ${CMAKE_BINARY_DIR}/site)
add_executable(brinelux
  host/main_web.cpp host/picture_web.cpp host/song_clock_web.cpp host/still_web.cpp
  platform/web/platform_web.cpp platform/web/sound_web.cpp platform/web/gl_legacy.cpp platform/web/canvas_web.cpp ${GLYPH_CPP})
target_include_directories(brinelux PRIVATE ${CMAKE_SOURCE_DIR})
target_link_libraries(brinelux PRIVATE brinelux_core)
set_target_properties(brinelux PROPERTIES SUFFIX ".js" RUNTIME_OUTPUT_DIRECTORY ${SITE_DIR})
# A page, not a program for Node; WebGL 1 only; the loader fetches the .wasm
# beside it. Emscripten's own HTML step is not used (index.html is ours).
target_link_options(brinelux PRIVATE
  -sENVIRONMENT=web -sMIN_WEBGL_VERSION=1 -sMAX_WEBGL_VERSION=1
  -sEXPORTED_FUNCTIONS=_main,_WebBeginShow,_WebSongEnded,_WebFeederLost,_WebAnimationFrame,_WebSongPause,_WebCanvasResized,_WebContextLost,_WebContextRestored,_WebSeekTo,_WebSongSeek,_WebSongClockStop,_WebSongLength,_WebPartStart,_WebReplay,_WebSetSmooth,_WebPageSongSeconds,_WebSampleRate
  -sINITIAL_MEMORY=33554432)

# The sound feeder's thread: a second program, the show's sound stream and
# song alone, run in the page's AudioWorklet by worklet.js. A bare
# WebAssembly module with no loader of Emscripten's: the worklet's scope has
# no fetch, timers or text decoding, so worklet.js instantiates it itself
# from the bytes the page hands over.
add_executable(brinelux_feeder host/feeder_main_web.cpp platform/web/feeder_web.cpp)
target_include_directories(brinelux_feeder PRIVATE ${CMAKE_SOURCE_DIR})
target_link_libraries(brinelux_feeder PRIVATE brinelux_audio)
set_target_properties(brinelux_feeder PROPERTIES SUFFIX ".wasm" RUNTIME_OUTPUT_DIRECTORY ${SITE_DIR})
target_link_options(brinelux_feeder PRIVATE
  -sSTANDALONE_WASM --no-entry
  -sEXPORTED_FUNCTIONS=_WebFeederStart,_WebFeederProcess,_WebFeederBehind,_WebFeederSong,_WebFeederRing,_WebFeederRingSize,_WebFeederRefill,_WebFeederCatchUpCalls,_WebFeederCatchUpRest)

# The page is written whenever it or the code it shares changes, not only
# when a program relinks; the worklet's script is copied as it is.
add_custom_command(OUTPUT ${SITE_DIR}/index.html
  COMMAND ${CMAKE_COMMAND} -DIN=${CMAKE_SOURCE_DIR}/platform/web/index.html
    -DPART=${CMAKE_SOURCE_DIR}/platform/web/instantiate_wasm.js -DOUT=${SITE_DIR}/index.html
    -P ${CMAKE_SOURCE_DIR}/cmake/inline_js.cmake
  DEPENDS ${CMAKE_SOURCE_DIR}/platform/web/index.html ${CMAKE_SOURCE_DIR}/platform/web/instantiate_wasm.js
    ${CMAKE_SOURCE_DIR}/cmake/inline_js.cmake)
add_custom_command(OUTPUT ${SITE_DIR}/worklet.js
  COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/platform/web/worklet.js ${SITE_DIR}/worklet.js
  DEPENDS ${CMAKE_SOURCE_DIR}/platform/web/worklet.js)
# brinelux.html: the same page in one file, the programs and the worklet's
# script inside it, for a double click (file://) where nothing beside a
# page may be fetched.
find_package(Python3 COMPONENTS Interpreter REQUIRED)
add_custom_command(OUTPUT ${SITE_DIR}/brinelux.html
  COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/tools/web_one_file.py ${SITE_DIR} ${SITE_DIR}/brinelux.html
  DEPENDS ${CMAKE_SOURCE_DIR}/tools/web_one_file.py ${SITE_DIR}/index.html ${SITE_DIR}/worklet.js
    brinelux brinelux_feeder)
add_custom_target(brinelux_page ALL DEPENDS ${SITE_DIR}/index.html ${SITE_DIR}/worklet.js ${SITE_DIR}/brinelux.html)
