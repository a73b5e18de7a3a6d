# One frame of a scene rendered headlessly into a PNG, with its frame time.
pkg_check_modules(PNG REQUIRED IMPORTED_TARGET libpng)
add_executable(still ${CMAKE_CURRENT_SOURCE_DIR}/still.cpp)
target_link_libraries(still PRIVATE brinelux_render brinelux_headless brinelux_platform_sdl PkgConfig::PNG)
