# Writes brinelux-capture's manual page from what the built program prints
# for --help: the usage is the page's body, line for line.
# cmake -DTOOL=brinelux-capture -DOUT=page.1 -DVERSION=x.y.z -P capture_man.cmake

# A sanitizer build's runtime must not fail the build over this short run.
set(ENV{ASAN_OPTIONS} "detect_leaks=0")
execute_process(COMMAND ${TOOL} --help OUTPUT_VARIABLE usage RESULT_VARIABLE status)
if(NOT status EQUAL 0 OR usage STREQUAL "")
  message(FATAL_ERROR "${TOOL} --help failed (${status})")
endif()

# Plain text into roff: backslashes and hyphens escaped, a line that would
# start with a control character guarded.
string(REPLACE "\\" "\\e" usage "${usage}")
string(REPLACE "-" "\\-" usage "${usage}")
string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" usage "${usage}")
string(REGEX REPLACE "\n$" "" usage "${usage}")

file(WRITE ${OUT}.tmp
".TH BRINELUX\\-CAPTURE 1 \"\" \"brinelux ${VERSION}\" \"User Commands\"
.SH NAME
brinelux\\-capture \\- the brinelux show rendered without a display: video, frames, WAV, stills
.SH SYNOPSIS
.nf
${usage}
.fi
.SH SEE ALSO
.BR brinelux (6),
.BR ffmpeg (1)
")
file(RENAME ${OUT}.tmp ${OUT})
