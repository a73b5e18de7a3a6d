# The bitmap text: the lists and the cards' lines on a headless context, and
# the two cards of the real show under Xvfb.
add_executable(font_test ${CMAKE_CURRENT_SOURCE_DIR}/font_test.cpp)
target_link_libraries(font_test PRIVATE brinelux_gltest PkgConfig::FONTCONFIG
  GTest::gtest_main)
add_test(NAME font_test COMMAND font_test)
set_tests_properties(font_test PROPERTIES LABELS "gl" ENVIRONMENT "${BRINELUX_TEST_ENV}")

add_test(NAME font_e2e_cards COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/e2e_cards.sh $<TARGET_FILE:brinelux>
  ${CMAKE_CURRENT_BINARY_DIR}/cards)
set_tests_properties(font_e2e_cards PROPERTIES LABELS "e2e" TIMEOUT 120)
