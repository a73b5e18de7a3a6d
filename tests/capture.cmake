# The capture tool: its command line, the offline backend's virtual clock
# with the real sound stream, and whole runs of the tool with no display.
if(TARGET brinelux-capture)
  pkg_check_modules(PNG REQUIRED IMPORTED_TARGET libpng)
  add_executable(capture_options_test ${CMAKE_CURRENT_SOURCE_DIR}/capture_options_test.cpp)
  target_link_libraries(capture_options_test PRIVATE brinelux_capture_parts GTest::gtest_main)
  add_test(NAME capture_options COMMAND capture_options_test)
  set_tests_properties(capture_options PROPERTIES LABELS "unit;capture")

  # One process per test: the backend has one context and one feeder.
  add_executable(capture_clock_test ${CMAKE_CURRENT_SOURCE_DIR}/capture_clock_test.cpp)
  target_link_libraries(capture_clock_test PRIVATE brinelux_audio brinelux_shared brinelux_platform_offline
    GTest::gtest_main)
  foreach(name RefillsFollowTheVirtualClockAtTwentyFiveFrames NtscRateInterleavesInVirtualTimeOrder
               FramesBeforeTheRangeDrawNothingAndTheRangeEndsTheShow RingRefusesLocksOutsideItAndBeforeItStarts)
    add_test(NAME capture_clock.${name} COMMAND capture_clock_test --gtest_filter=CaptureClock.${name})
    set_tests_properties(capture_clock.${name} PROPERTIES LABELS "gl;audio;capture")
  endforeach()

  add_executable(capture_run_test ${CMAKE_CURRENT_SOURCE_DIR}/capture_run_test.cpp)
  target_compile_definitions(capture_run_test PRIVATE CAPTURE_BIN="$<TARGET_FILE:brinelux-capture>")
  target_link_libraries(capture_run_test PRIVATE brinelux_audio brinelux_shared PkgConfig::PNG GTest::gtest_main)
  add_dependencies(capture_run_test brinelux-capture)
  add_test(NAME capture_run COMMAND capture_run_test)
  set_tests_properties(capture_run PROPERTIES LABELS "e2e;capture" TIMEOUT 600)

  # The tool under hostile conditions, one run per class: outputs (full
  # disk, concurrent runs, devices, FIFOs, links, odd names), a misbehaving
  # encoder and interrupts, the limits of accepted values, a broken
  # environment (no EGL vendor, closed standard descriptors).
  foreach(class outputs encoder values environment)
    add_test(NAME hostile_capture.${class} COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/hostile_capture.sh
      $<TARGET_FILE:brinelux-capture> ${class} ${CMAKE_CURRENT_BINARY_DIR}/hostile_capture_${class})
    set_tests_properties(hostile_capture.${class} PROPERTIES LABELS "hostile;e2e;capture" TIMEOUT 300)
  endforeach()
endif()

# The lock step of frames and refills under ThreadSanitizer: the feeder and
# the frame thread must hand the clock over without a race.
if(TARGET brinelux-capture AND (NOT BRINELUX_SANITIZE OR BRINELUX_SANITIZE STREQUAL "thread"))
  add_executable(capture_clock_tsan_test ${CMAKE_CURRENT_SOURCE_DIR}/capture_clock_test.cpp
    ${OFFLINE_SOURCES} ${AUDIO_SOURCES} ${SOUND_RING_SOURCES} ${SHARED_SOURCES})
  target_include_directories(capture_clock_tsan_test PRIVATE ${CMAKE_SOURCE_DIR})
  target_compile_options(capture_clock_tsan_test PRIVATE -fsanitize=thread -fno-omit-frame-pointer)
  target_link_options(capture_clock_tsan_test PRIVATE -fsanitize=thread)
  target_link_libraries(capture_clock_tsan_test PRIVATE PkgConfig::EPOXY PkgConfig::EGL GTest::gtest_main
    Threads::Threads)
  foreach(name RefillsFollowTheVirtualClockAtTwentyFiveFrames NtscRateInterleavesInVirtualTimeOrder)
    add_test(NAME capture_clock_tsan.${name} COMMAND capture_clock_tsan_test --gtest_filter=CaptureClock.${name})
    set_tests_properties(capture_clock_tsan.${name} PROPERTIES LABELS "tsan;capture"
      ENVIRONMENT "TSAN_OPTIONS=halt_on_error=1 second_deadlock_stack=1")
  endforeach()
endif()
