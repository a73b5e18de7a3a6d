# Audio: sequencer, synthesis, song and the refill rule against a fake sound
# ring; the SDL ring against SDL's disk, dummy and missing drivers; the feeder
# thread under ThreadSanitizer; end-to-end runs of the show.

set(AUDIO_TEST_DIR ${CMAKE_CURRENT_SOURCE_DIR})

# The fake ring and threads stand in for a platform backend at link time.
add_executable(audio_tests
  ${AUDIO_TEST_DIR}/audio_stream_test.cpp ${AUDIO_TEST_DIR}/audio_sequencer_test.cpp
  ${AUDIO_TEST_DIR}/audio_synth_test.cpp ${AUDIO_TEST_DIR}/audio_song_test.cpp
  ${AUDIO_TEST_DIR}/audio_threads_test.cpp
  ${AUDIO_TEST_DIR}/audio_fake_ring.cpp ${AUDIO_TEST_DIR}/audio_support.cpp)
find_package(ZLIB REQUIRED)
target_link_libraries(audio_tests PRIVATE brinelux_audio brinelux_shared ZLIB::ZLIB GTest::gtest_main Threads::Threads)
add_test(NAME audio COMMAND audio_tests)
set_tests_properties(audio PROPERTIES LABELS "audio")

# The real SDL ring, one process per driver.
add_executable(audio_sdl_tests
  ${AUDIO_TEST_DIR}/audio_sdl_ring_test.cpp ${AUDIO_TEST_DIR}/audio_support.cpp
  ${CMAKE_SOURCE_DIR}/platform/sdl/sound_sdl.cpp)
target_link_libraries(audio_sdl_tests PRIVATE brinelux_audio brinelux_shared PkgConfig::SDL2
  GTest::gtest_main Threads::Threads)
add_test(NAME audio_sdl_disk COMMAND audio_sdl_tests --gtest_filter=SdlRing.DiskDevice*)
set_tests_properties(audio_sdl_disk PROPERTIES LABELS "audio" ENVIRONMENT
  "SDL_AUDIODRIVER=disk;SDL_DISKAUDIOFILE=${CMAKE_CURRENT_BINARY_DIR}/audio_sdl_disk.raw")
add_test(NAME audio_sdl_silent COMMAND audio_sdl_tests --gtest_filter=SdlRing.NoDevice*)
set_tests_properties(audio_sdl_silent PROPERTIES LABELS "audio" ENVIRONMENT "SDL_AUDIODRIVER=none-such")
add_test(NAME audio_sdl_locks COMMAND audio_sdl_tests --gtest_filter=SdlRing.Locks*)
set_tests_properties(audio_sdl_locks PROPERTIES LABELS "audio" ENVIRONMENT "SDL_AUDIODRIVER=dummy")
add_test(NAME audio_sdl_feeder COMMAND audio_sdl_tests --gtest_filter=SdlRing.Feeder*)
set_tests_properties(audio_sdl_feeder PROPERTIES LABELS "audio" ENVIRONMENT "SDL_AUDIODRIVER=dummy")

# ThreadSanitizer: the feeder against the fake ring and against the SDL
# ring's device thread, each beside a reader of the quit flag. A build made
# with another sanitizer cannot add this one.
if(NOT BRINELUX_SANITIZE OR BRINELUX_SANITIZE STREQUAL "thread")
  add_executable(audio_tsan_tests
    ${AUDIO_TEST_DIR}/audio_threads_test.cpp ${AUDIO_TEST_DIR}/audio_fake_ring.cpp
    ${AUDIO_TEST_DIR}/audio_support.cpp ${AUDIO_SOURCES} ${SOUND_RING_SOURCES} ${SHARED_SOURCES})
  add_executable(audio_tsan_sdl_tests
    ${AUDIO_TEST_DIR}/audio_sdl_ring_test.cpp ${AUDIO_TEST_DIR}/audio_support.cpp
    ${CMAKE_SOURCE_DIR}/platform/sdl/sound_sdl.cpp ${AUDIO_SOURCES} ${SOUND_RING_SOURCES} ${SHARED_SOURCES})
  foreach(t audio_tsan_tests audio_tsan_sdl_tests)
    target_include_directories(${t} PRIVATE ${CMAKE_SOURCE_DIR})
    target_compile_options(${t} PRIVATE -fsanitize=thread -fno-omit-frame-pointer)
    target_link_options(${t} PRIVATE -fsanitize=thread)
    target_link_libraries(${t} PRIVATE GTest::gtest_main Threads::Threads)
  endforeach()
  target_link_libraries(audio_tsan_sdl_tests PRIVATE PkgConfig::SDL2)
  add_test(NAME audio_tsan COMMAND audio_tsan_tests)
  add_test(NAME audio_tsan_sdl COMMAND audio_tsan_sdl_tests --gtest_filter=SdlRing.Feeder*)
  set_tests_properties(audio_tsan PROPERTIES LABELS "tsan"
    ENVIRONMENT "TSAN_OPTIONS=halt_on_error=1 second_deadlock_stack=1")
  set_tests_properties(audio_tsan_sdl PROPERTIES LABELS "tsan"
    ENVIRONMENT "SDL_AUDIODRIVER=dummy;TSAN_OPTIONS=halt_on_error=1 second_deadlock_stack=1")
endif()

# The show itself, under Xvfb: sound from the start, and the song's end mark
# ending a whole run with no sound device.
add_test(NAME audio_e2e COMMAND ${AUDIO_TEST_DIR}/e2e_audio.sh $<TARGET_FILE:brinelux>)
set_tests_properties(audio_e2e PROPERTIES LABELS "e2e" TIMEOUT 120)
add_test(NAME audio_long COMMAND ${AUDIO_TEST_DIR}/long_song.sh $<TARGET_FILE:brinelux>)
set_tests_properties(audio_long PROPERTIES LABELS "long" TIMEOUT 300)
# A sound device that stalls for 20 s: the song waits for it and still ends
# the show only once all of it has been played (about 140 s).
add_test(NAME audio_stall COMMAND ${AUDIO_TEST_DIR}/hostile_stall.sh $<TARGET_FILE:brinelux>)
set_tests_properties(audio_stall PROPERTIES LABELS "long;hostile" TIMEOUT 330)
