# The live show under hostile conditions: what is lost from outside must end
# it cleanly, never hang or crash it. (The capture tool's hostile runs are
# in capture.cmake, beside its other tests.)
add_test(NAME hostile_show COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/hostile_show.sh
  $<TARGET_FILE:brinelux> ${CMAKE_CURRENT_BINARY_DIR}/hostile_show)
set_tests_properties(hostile_show PROPERTIES LABELS "hostile;e2e" TIMEOUT 180)
