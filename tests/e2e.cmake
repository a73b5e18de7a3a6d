# End-to-end runs of the real binary under Xvfb.
add_library(force_gl_error MODULE force_gl_error.c)
target_link_libraries(force_gl_error PRIVATE ${CMAKE_DL_LIBS})
add_test(NAME e2e_show COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/e2e_show.sh
  $<TARGET_FILE:brinelux> $<TARGET_FILE:force_gl_error> ${CMAKE_CURRENT_BINARY_DIR}/e2e_show)
set_tests_properties(e2e_show PROPERTIES LABELS "e2e" TIMEOUT 120)
