# Windows tests, run under Wine on the x86_64 build.
set(WIN_TEST_DIR ${CMAKE_SOURCE_DIR}/tests)

# The portable audio tests: sequencer, synthesis, song and the refill rule
# against the fake ring, with real threads.
add_executable(audio_tests
  ${WIN_TEST_DIR}/audio_stream_test.cpp ${WIN_TEST_DIR}/audio_sequencer_test.cpp
  ${WIN_TEST_DIR}/audio_synth_test.cpp ${WIN_TEST_DIR}/audio_song_test.cpp
  ${WIN_TEST_DIR}/audio_threads_test.cpp
  ${WIN_TEST_DIR}/audio_fake_ring.cpp ${WIN_TEST_DIR}/audio_support.cpp)
target_link_libraries(audio_tests PRIVATE brinelux_audio brinelux_shared GTest::gtest_main Threads::Threads)
add_test(NAME audio COMMAND audio_tests)
set_tests_properties(audio PROPERTIES LABELS "unit;audio")
