# cmake -DIN=... -DPART=... -DOUT=... -P inline_js.cmake: writes OUT, which
# is IN with its line "// inline: NAME" (NAME: PART's file name) replaced by
# PART's text, indented as that line is: the page stays one file.
file(READ "${IN}" text)
file(READ "${PART}" part)
get_filename_component(name "${PART}" NAME)
string(REGEX MATCH "\n( *)// inline: ${name}\n" marker "${text}")
if(marker STREQUAL "")
  message(FATAL_ERROR "${IN} has no line '// inline: ${name}'")
endif()
set(indent "${CMAKE_MATCH_1}")
string(REGEX REPLACE "\n$" "" part "${part}")
string(REPLACE "\n" "\n${indent}" part "${part}")
string(REGEX REPLACE "\n +\n" "\n\n" part "${part}")
string(REPLACE "${marker}" "\n${indent}${part}\n" text "${text}")
file(WRITE "${OUT}" "${text}")
