# brinelux-capture: the show rendered offline to video, frames, WAV and stills.
pkg_check_modules(PNG REQUIRED IMPORTED_TARGET libpng)
add_library(brinelux_capture_parts STATIC
  ${CMAKE_CURRENT_SOURCE_DIR}/capture/capture_options.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/capture/capture_output.cpp)
target_include_directories(brinelux_capture_parts PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(brinelux_capture_parts PUBLIC brinelux_shared PkgConfig::PNG)

add_executable(brinelux-capture ${CMAKE_CURRENT_SOURCE_DIR}/capture/capture.cpp)
target_link_libraries(brinelux-capture PRIVATE brinelux_core brinelux_platform_offline brinelux_capture_parts
  brinelux_posix)
