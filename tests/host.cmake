# Shared support for the GL tests: one headless context per test program.
add_library(brinelux_gltest OBJECT gl_env.cpp shader_probe.cpp)
target_include_directories(brinelux_gltest PUBLIC ${CMAKE_SOURCE_DIR})
# An object library, so every test program gets the context set-up.
target_link_libraries(brinelux_gltest PUBLIC brinelux_headless brinelux_render brinelux_platform_sdl GTest::gtest)

add_executable(render_probe_test render_probe_test.cpp)
target_link_libraries(render_probe_test PRIVATE brinelux_gltest GTest::gtest_main)
add_test(NAME render_probe_test COMMAND render_probe_test)
set_tests_properties(render_probe_test PROPERTIES LABELS "gl" ENVIRONMENT "${BRINELUX_TEST_ENV}")

# The loop and timeline against fakes of the drawing, text, sound and platform
# calls; the GL calls of the frame itself run on the headless context.
add_executable(timeline_test timeline_test.cpp
  ${CMAKE_SOURCE_DIR}/host/timeline.cpp ${CMAKE_SOURCE_DIR}/render/glerror.cpp ${CMAKE_SOURCE_DIR}/render/scene.cpp
  gl_env.cpp)
target_include_directories(timeline_test PRIVATE ${CMAKE_SOURCE_DIR})
target_link_libraries(timeline_test PRIVATE brinelux_shared brinelux_headless GTest::gtest_main)
add_test(NAME timeline_test COMMAND timeline_test)
set_tests_properties(timeline_test PROPERTIES LABELS "unit;gl")

find_package(ZLIB REQUIRED)
add_executable(render_test render_test.cpp)
target_link_libraries(render_test PRIVATE brinelux_gltest ZLIB::ZLIB GTest::gtest_main)
add_test(NAME render_test COMMAND render_test)
set_tests_properties(render_test PROPERTIES LABELS "gl" ENVIRONMENT "${BRINELUX_TEST_ENV}")

# Every GLSL source must pass a strict desktop GLSL 1.10 front end.
find_program(GLSLANG_VALIDATOR glslangValidator REQUIRED)
foreach(name ${SHADER_NAMES})
  set(stage frag)
  if(name STREQUAL "vertex")
    set(stage vert)
  endif()
  add_test(NAME glsl_${name}.glsl COMMAND ${GLSLANG_VALIDATOR} -d -S ${stage} ${CMAKE_SOURCE_DIR}/shaders/${name}.glsl)
  set_tests_properties(glsl_${name}.glsl PROPERTIES LABELS "unit")
endforeach()
