# The Sphere Scene's program, function by function through the shader probe,
# and its whole pipeline over one column of the frame.
add_executable(sphere_test sphere_world_test.cpp sphere_tracer_test.cpp sphere_support.cpp)
target_link_libraries(sphere_test PRIVATE brinelux_gltest brinelux_platform_sdl GTest::gtest_main)
add_test(NAME sphere_test COMMAND sphere_test)
set_tests_properties(sphere_test PROPERTIES LABELS "gl" ENVIRONMENT "${BRINELUX_TEST_ENV}")
