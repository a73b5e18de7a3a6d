# The live show under hostile conditions: what is lost from outside must end
# it cleanly, never hang or crash it. (The capture tool's hostile runs are
# in capture.cmake, beside its other tests.)
add_test(NAME hostile_show COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/hostile_show.sh
  $<TARGET_FILE:brinelux> ${CMAKE_CURRENT_BINARY_DIR}/hostile_show)
set_tests_properties(hostile_show PROPERTIES LABELS "hostile;e2e" TIMEOUT 180)
# Wayland: a compositor without an input seat must not crash the show; one
# with a seat runs it.
add_test(NAME wayland_show COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/e2e_wayland.sh
  $<TARGET_FILE:brinelux> ${CMAKE_CURRENT_BINARY_DIR}/wayland_show)
set_tests_properties(wayland_show PROPERTIES LABELS "hostile;e2e" TIMEOUT 120)
