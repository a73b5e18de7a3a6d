# brinelux-capture: the show rendered offline to video, frames, WAV and stills.
# The parts: its command line, the PNG and WAV encoders, the safe publication
# of its files, the ffmpeg and ffprobe processes.
pkg_check_modules(PNG REQUIRED IMPORTED_TARGET libpng)
add_library(brinelux_capture_parts STATIC
  ${CMAKE_CURRENT_SOURCE_DIR}/capture/capture_options.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/capture/encode.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/capture/publish.cpp ${CMAKE_CURRENT_SOURCE_DIR}/capture/temporaries.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/capture/protect.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/capture/ffmpeg.cpp ${CMAKE_CURRENT_SOURCE_DIR}/capture/stretches.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/capture/video_format.cpp)
target_include_directories(brinelux_capture_parts PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(brinelux_capture_parts PUBLIC brinelux_shared PkgConfig::PNG)

# main and its modes, one file each, and what they share (run.cpp, the ends,
# the interrupts, the progress line).
add_executable(brinelux-capture
  ${CMAKE_CURRENT_SOURCE_DIR}/capture/capture.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/capture/run.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/capture/ends.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/capture/interrupts.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/capture/progress.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/capture/frames.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/capture/reuse.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/capture/song.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/capture/still.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/capture/bench.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/capture/picture.cpp)
target_link_libraries(brinelux-capture PRIVATE brinelux_core brinelux_platform_offline brinelux_capture_parts
  brinelux_posix)
