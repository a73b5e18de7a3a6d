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
endif()
