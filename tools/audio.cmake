# Rendering speed of the song against real time and the feeder's period.
find_package(benchmark REQUIRED)
add_executable(audio_bench ${CMAKE_CURRENT_SOURCE_DIR}/audio_bench.cpp)
target_link_libraries(audio_bench PRIVATE brinelux_audio brinelux_shared benchmark::benchmark)
