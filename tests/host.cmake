# Shared support for the GL tests: one headless context per test program.
add_library(brinelux_gltest OBJECT gl_env.cpp shader_probe.cpp)
target_include_directories(brinelux_gltest PUBLIC ${CMAKE_SOURCE_DIR})
# An object library, so every test program gets the context set-up.
target_link_libraries(brinelux_gltest PUBLIC brinelux_headless brinelux_render GTest::gtest)

add_executable(render_probe_test render_probe_test.cpp)
target_link_libraries(render_probe_test PRIVATE brinelux_gltest brinelux_platform_sdl GTest::gtest_main)
add_test(NAME render_probe_test COMMAND render_probe_test)
set_tests_properties(render_probe_test PROPERTIES LABELS "gl" ENVIRONMENT "${BRINELUX_TEST_ENV}")
