# The show as a static web site: brinelux.js, brinelux.wasm and index.html in
# ${CMAKE_BINARY_DIR}/site. Configured with emcmake (Emscripten's toolchain);
# tools/web.sh does it all.

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
          ${CMAKE_SOURCE_DIR}/platform/web/glyph_table.cpp ${CMAKE_SOURCE_DIR}/platform/freetype/show_face.cpp
          ${glyph_flags} -o ${GLYPH_TOOL}
  DEPENDS ${CMAKE_SOURCE_DIR}/platform/web/glyph_table.cpp ${CMAKE_SOURCE_DIR}/platform/freetype/show_face.cpp
          ${CMAKE_SOURCE_DIR}/platform/freetype/show_face.h
  COMMENT "Building the glyph table tool" VERBATIM)
add_custom_command(
  OUTPUT ${GLYPH_CPP}
  COMMAND ${GLYPH_TOOL} > ${GLYPH_CPP}
  DEPENDS ${GLYPH_TOOL}
  COMMENT "Rasterising the show's glyphs")

set(SITE_DIR ${CMAKE_BINARY_DIR}/site)
add_executable(brinelux
  platform/web/main_web.cpp platform/web/platform_web.cpp platform/web/sound_web.cpp
  platform/web/gl_legacy.cpp ${GLYPH_CPP})
target_include_directories(brinelux PRIVATE ${CMAKE_SOURCE_DIR})
target_link_libraries(brinelux PRIVATE brinelux_core)
set_target_properties(brinelux PROPERTIES SUFFIX ".js" RUNTIME_OUTPUT_DIRECTORY ${SITE_DIR})
# A page, not a program for Node; WebGL 1 only; the loader fetches the .wasm
# beside it. Emscripten's own HTML step is not used (index.html is ours).
target_link_options(brinelux PRIVATE
  -sENVIRONMENT=web -sMIN_WEBGL_VERSION=1 -sMAX_WEBGL_VERSION=1
  -sEXPORTED_FUNCTIONS=_main,_WebBeginShow -sINITIAL_MEMORY=33554432)
# The page is copied whenever it changes, not only when the program relinks.
add_custom_command(OUTPUT ${SITE_DIR}/index.html
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${CMAKE_SOURCE_DIR}/platform/web/index.html ${SITE_DIR}/index.html
  DEPENDS ${CMAKE_SOURCE_DIR}/platform/web/index.html)
add_custom_target(brinelux_page ALL DEPENDS ${SITE_DIR}/index.html)
