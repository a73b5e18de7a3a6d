# Start-up costs of the programs and the texture, with no window.
add_executable(startup_timing ${CMAKE_CURRENT_SOURCE_DIR}/startup_timing.cpp)
target_link_libraries(startup_timing PRIVATE brinelux_render brinelux_headless brinelux_platform_sdl)
