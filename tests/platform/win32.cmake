# Windows tests, run under Wine on the x86_64 build.
set(WIN_TEST_DIR ${CMAKE_SOURCE_DIR}/tests/platform)
set(AUDIO_TEST_DIR ${CMAKE_SOURCE_DIR}/tests/audio)

# The portable audio tests: sequencer, synthesis, song and the refill rule
# against the fake ring, with real threads.
add_executable(audio_tests
  ${AUDIO_TEST_DIR}/audio_stream_test.cpp ${AUDIO_TEST_DIR}/audio_sequencer_test.cpp
  ${AUDIO_TEST_DIR}/audio_synth_test.cpp ${AUDIO_TEST_DIR}/audio_song_test.cpp
  ${AUDIO_TEST_DIR}/audio_threads_test.cpp
  ${AUDIO_TEST_DIR}/audio_fake_ring.cpp ${AUDIO_TEST_DIR}/audio_support.cpp)
target_link_libraries(audio_tests PRIVATE brinelux_audio brinelux_shared GTest::gtest_main Threads::Threads)
add_test(NAME audio COMMAND audio_tests)
set_tests_properties(audio PROPERTIES LABELS "unit;audio")

# The Win32 sound ring: the silent stand-in with no ALSA device, DirectSound
# through an ALSA null device. Each scenario runs in a process of its own
# with a HOME that has, or lacks, the null device's .asoundrc.
add_executable(win32_sound_tests ${WIN_TEST_DIR}/win32_sound_test.cpp)
target_link_libraries(win32_sound_tests PRIVATE brinelux_audio brinelux_platform_win32 brinelux_shared
  GTest::gtest_main)
set(WIN_HOME_SILENT ${CMAKE_CURRENT_BINARY_DIR}/home-nosound)
set(WIN_HOME_NULL ${CMAKE_CURRENT_BINARY_DIR}/home-nullsound)
file(MAKE_DIRECTORY ${WIN_HOME_SILENT} ${WIN_HOME_NULL})
file(WRITE ${WIN_HOME_NULL}/.asoundrc "pcm.!default {\n    type null\n}\n")
add_test(NAME win32_sound_silent COMMAND win32_sound_tests --gtest_filter=NoDevice.FallsBack*)
add_test(NAME win32_sound_silent_end COMMAND win32_sound_tests --gtest_filter=NoDevice.SongStill*)
add_test(NAME win32_sound_dsound COMMAND win32_sound_tests --gtest_filter=NullDevice.PlaysThrough*)
add_test(NAME win32_sound_refused COMMAND win32_sound_tests --gtest_filter=NullDevice.Refused*)
set_tests_properties(win32_sound_silent win32_sound_silent_end PROPERTIES
  LABELS "unit;audio" ENVIRONMENT "HOME=${WIN_HOME_SILENT}" TIMEOUT 120)
set_tests_properties(win32_sound_refused PROPERTIES
  LABELS "unit;audio" ENVIRONMENT "HOME=${WIN_HOME_NULL}" TIMEOUT 120)
# This one opens the show's window: it needs a display (Xvfb).
set_tests_properties(win32_sound_dsound PROPERTIES
  LABELS "audio;display" ENVIRONMENT "HOME=${WIN_HOME_NULL}" TIMEOUT 120)

# The window, the GL loader and the font on a WGL context: needs a display.
add_executable(win32_gl_tests ${WIN_TEST_DIR}/win32_gl_test.cpp)
target_link_libraries(win32_gl_tests PRIVATE brinelux_platform_win32 GTest::gtest_main)
add_test(NAME win32_gl COMMAND win32_gl_tests)
set_tests_properties(win32_gl PROPERTIES LABELS "display" TIMEOUT 120)

# The show itself under Wine on a private Xvfb: the title card, Escape, and a
# run with no sound device.
add_test(NAME win32_e2e COMMAND ${WIN_TEST_DIR}/e2e_wine.sh $<TARGET_FILE:brinelux>
  ${CMAKE_CURRENT_BINARY_DIR}/wine-cards)
set_tests_properties(win32_e2e PROPERTIES LABELS "e2e" TIMEOUT 180)

# The screensaver under Wine: /c's message box, /s ended by a key and by the
# mouse, /p drawing into a window of another program and ending with it.
add_executable(preview_pane ${WIN_TEST_DIR}/preview_pane.c)
add_test(NAME win32_saver COMMAND ${WIN_TEST_DIR}/e2e_wine.sh --saver
  $<TARGET_FILE_DIR:brinelux>/brinelux.scr $<TARGET_FILE:preview_pane>)
set_tests_properties(win32_saver PROPERTIES LABELS "wine;e2e" TIMEOUT 240)
