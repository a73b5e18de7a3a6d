# Writes brinelux-capture's manual page. Its OPTIONS are what the built
# program prints for --help, entry for entry, so the two cannot drift; the
# other sections are written here.
# cmake -DTOOL=brinelux-capture -DOUT=page.1 -DVERSION=x.y.z -DDATE=yyyy-mm-dd -P capture_man.cmake

cmake_minimum_required(VERSION 3.20)

# A sanitizer build's runtime must not fail the build over this short run.
set(ENV{ASAN_OPTIONS} "detect_leaks=0")
execute_process(COMMAND ${TOOL} --help OUTPUT_VARIABLE usage RESULT_VARIABLE status)
if(NOT status EQUAL 0 OR usage STREQUAL "")
  message(FATAL_ERROR "${TOOL} --help failed (${status})")
endif()

# Plain text into roff: backslashes and hyphens escaped, a line that would
# start with a control character guarded.
function(roff text out)
  string(REPLACE "\\" "\\e" text "${text}")
  string(REPLACE "-" "\\-" text "${text}")
  string(REGEX REPLACE "^([.'])" "\\\\&\\1" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# An option's term: its names bold, its arguments italic.
function(term text out)
  string(REPLACE " " ";" words "${text}")
  set(result "")
  foreach(word IN LISTS words)
    roff("${word}" word)
    if(word MATCHES "^\\\\-")
      string(APPEND result " \\fB${word}\\fR")
    else()
      string(REPLACE "|" "\\fR|\\fI" word "${word}")
      string(APPEND result " \\fI${word}\\fR")
    endif()
  endforeach()
  string(STRIP "${result}" result)
  set(${out} "${result}" PARENT_SCOPE)
endfunction()

# The help's columns: an option's term from its indent to column 28, its
# text from there; lines indented to column 28 continue the text. A line
# naming only options already listed ("--size WxH, --supersample N   as for
# --out") becomes a sentence under the entry before it: each option once.
# Semicolons held aside while the text is a CMake list of lines.
string(REGEX REPLACE "\n$" "" usage "${usage}")
string(REPLACE ";" "<semicolon>" usage "${usage}")
string(REPLACE "\n" ";" lines "${usage}")
list(POP_FRONT lines)
set(options "")
set(seen "")
foreach(line IN LISTS lines)
  if(line MATCHES "^                            (.*)$")
    roff("${CMAKE_MATCH_1}" text)
    string(APPEND options "${text}\n")
  elseif(line MATCHES "^ +(-.*)$")
    string(LENGTH "${line}" length)
    if(length GREATER 28)
      string(SUBSTRING "${line}" 0 28 left)
      string(SUBSTRING "${line}" 28 -1 text)
    else()
      set(left "${line}")
      set(text "")
    endif()
    string(STRIP "${left}" name)
    string(REGEX MATCHALL "--[a-z-]+" names "${line}")
    set(fresh FALSE)
    foreach(n IN LISTS names)
      list(FIND seen "${n}" at)
      if(at EQUAL -1)
        set(fresh TRUE)
      endif()
    endforeach()
    if(NOT fresh)
      string(REGEX REPLACE "^ +" "" whole "${line}")
      string(REGEX REPLACE "   +" ": " whole "${whole}")
      roff("${whole}" whole)
      string(APPEND options ".IP\n${whole}.\n")
      continue()
    endif()
    string(REGEX MATCHALL "--[a-z-]+" names "${name}")
    list(APPEND seen ${names})
    term("${name}" tagged)
    string(STRIP "${text}" text)
    roff("${text}" text)
    string(APPEND options ".TP\n${tagged}\n${text}\n")
  endif()
endforeach()
string(REPLACE "<semicolon>" ";" options "${options}")
if(options STREQUAL "")
  message(FATAL_ERROR "${TOOL} --help listed no options")
endif()

file(WRITE ${OUT}.tmp
".TH BRINELUX\\-CAPTURE 1 \"${DATE}\" \"brinelux ${VERSION}\" \"User Commands\"
.SH NAME
brinelux\\-capture \\- render the brinelux show without a display
.SH SYNOPSIS
.B brinelux\\-capture \\-\\-out
.IR FILE .mp4| FILE .mkv
.RI [ options ]
.br
.B brinelux\\-capture \\-\\-png\\-dir
.I DIR
.RI [ options ]
.br
.B brinelux\\-capture \\-\\-wav
.I FILE
.RI [ options ]
.br
.B brinelux\\-capture \\-\\-still
.I PART
.B \\-\\-png
.I FILE
.RI [ options ]
.br
.B brinelux\\-capture \\-\\-bench
.br
.B brinelux\\-capture \\-\\-help
.SH DESCRIPTION
.B brinelux\\-capture
runs the show through its own start\\-up, frame loop, timeline, scenes,
text and sound, with no window and no sound device: an EGL context draws
each frame into a framebuffer, and a virtual clock stands in for the
display and the sound card, so every run gives the same bytes on the same
driver. It writes the show as video (through
.BR ffmpeg (1)),
every frame as a PNG file, the song alone as a WAV file, or one frame of a
part as a still; or it times each part of the show.
.PP
Each run has one mode: \\fB\\-\\-out\\fR, \\fB\\-\\-png\\-dir\\fR, \\fB\\-\\-wav\\fR,
\\fB\\-\\-still\\fR or \\fB\\-\\-bench\\fR; the options indented under a mode in
\\fB\\-\\-help\\fR apply to it. Outputs are written under a temporary name and
published complete, or not at all; a bad command line or an output that
cannot be written is refused before anything is rendered.
.SH OPTIONS
${options}.SH EXIT STATUS
.TP
.B 0
Done: every output complete under its final name.
.TP
.B 1
A failure while rendering or writing: an OpenGL error, no OpenGL context,
a write error such as a full disk, or ffmpeg failing or writing an
incomplete file. One line names the file and the reason.
.TP
.B 2
A refusal: a bad command line or an output that cannot be written. One
line says why; nothing is written.
.TP
.BI 128+ n
Interrupted by signal
.IR n :
130 for Ctrl+C, 129 for a hangup, 143 for SIGTERM. What was unfinished is
removed.
.SH EXAMPLES
The whole show for a video site, and a lossless archive:
.PP
.RS
.nf
brinelux\\-capture \\-\\-out show.mp4 \\-\\-size 2048x1536
brinelux\\-capture \\-\\-out master.mkv \\-\\-lossless
.fi
.RE
.PP
The song alone, and a still of the spheres seven seconds in:
.PP
.RS
.nf
brinelux\\-capture \\-\\-wav song.wav
brinelux\\-capture \\-\\-still spheres \\-\\-time 7 \\-\\-png spheres.png
.fi
.RE
.SH SEE ALSO
.BR brinelux (6),
.BR ffmpeg (1),
.BR ffprobe (1)
")
file(RENAME ${OUT}.tmp ${OUT})
