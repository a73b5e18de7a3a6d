# Frames of both scene programs, drawn by the scene pass, against the earlier
# programs kept as fixtures: the cheaper programs must give the same bytes.
set(REFERENCE_CPP ${CMAKE_CURRENT_BINARY_DIR}/generated/reference_sources.cpp)
add_custom_command(
  OUTPUT ${REFERENCE_CPP}
  COMMAND ${CMAKE_COMMAND} -DOUT=${REFERENCE_CPP} -DSRC_DIR=${CMAKE_CURRENT_SOURCE_DIR}/fixtures
          -P ${CMAKE_CURRENT_SOURCE_DIR}/fixtures/embed.cmake
  DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/fixtures/embed.cmake
          ${CMAKE_CURRENT_SOURCE_DIR}/fixtures/water_reference.glsl
          ${CMAKE_CURRENT_SOURCE_DIR}/fixtures/sphere_reference.glsl
  COMMENT "Embedding the reference scene programs")
add_executable(scene_identity_test scene_identity_test.cpp ${REFERENCE_CPP})
target_link_libraries(scene_identity_test PRIVATE brinelux_gltest GTest::gtest_main)
add_test(NAME scene_identity_test COMMAND scene_identity_test)
set_tests_properties(scene_identity_test PROPERTIES LABELS "gl" ENVIRONMENT "${BRINELUX_TEST_ENV}")

# The tool that times a scene program against an earlier one, on the same
# fixture: identity, a changed constant, refusals.
if(TARGET brinelux-scene-ab)
  add_test(NAME scene_ab COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/scene_ab.sh $<TARGET_FILE:brinelux-scene-ab>
    ${CMAKE_CURRENT_SOURCE_DIR}/fixtures/water_reference.glsl)
  set_tests_properties(scene_ab PROPERTIES LABELS "gl" ENVIRONMENT "${BRINELUX_TEST_ENV}" TIMEOUT 120)
endif()
