# The web build in headless Chromium against the desktop's capture tool.
set(WEB_BUILD ${CMAKE_CURRENT_BINARY_DIR}/web/build-web)
add_test(NAME web_site COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/web_site.sh ${WEB_BUILD})
set_tests_properties(web_site PROPERTIES LABELS "web;e2e" TIMEOUT 900 FIXTURES_SETUP web_site)
foreach(case pictures song keys)
  add_test(NAME web_${case} COMMAND python3 ${CMAKE_CURRENT_SOURCE_DIR}/web_page_test.py ${case}
    ${WEB_BUILD}/site $<TARGET_FILE:brinelux-capture> ${CMAKE_CURRENT_BINARY_DIR}/web/${case})
  set_tests_properties(web_${case} PROPERTIES LABELS "web;e2e" TIMEOUT 600 FIXTURES_REQUIRED web_site)
endforeach()
