# The web build in headless Chromium: the page reaches the show.
add_test(NAME web_title COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/web_title.sh
  $<TARGET_FILE:brinelux-capture> ${CMAKE_CURRENT_BINARY_DIR}/web_title)
set_tests_properties(web_title PROPERTIES LABELS "web;e2e" TIMEOUT 600)
