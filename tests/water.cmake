# Water Scene: its noise and renderer checked on the GPU side through the
# shader probe, and whole frames drawn by the scene pass.
add_executable(water_test water_noise_test.cpp water_render_test.cpp water_support.cpp)
target_link_libraries(water_test PRIVATE brinelux_gltest GTest::gtest_main)
add_test(NAME water_test COMMAND water_test)
set_tests_properties(water_test PROPERTIES LABELS "gl" ENVIRONMENT "${BRINELUX_TEST_ENV}")
