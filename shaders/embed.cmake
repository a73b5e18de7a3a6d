# Turns the GLSL files into C strings inside the executable, so the show reads
# nothing from disk. Invoked by the build with OUT, SRC_DIR and NAMES (the
# sources' names, comma-separated) set: SRC_DIR/NAME.glsl becomes NAMESource.
# PROLOGUE, when set, names a file whose text goes before every source (the
# web build's precision statement for GLSL ES); without it the strings are
# the files as they stand.
set(out "// Generated from the shaders/*.glsl files at build time. Do not edit.\n")
string(REPLACE "," ";" names "${NAMES}")
set(prologue "")
if(DEFINED PROLOGUE)
  file(READ ${PROLOGUE} prologue)
endif()
foreach(name ${names})
  file(READ ${SRC_DIR}/${name}.glsl text)
  string(APPEND out "extern const char ${name}Source[];\nconst char ${name}Source[] = R\"glsl(${prologue}${text})glsl\";\n")
endforeach()
file(WRITE ${OUT}.tmp "${out}")
file(COPY_FILE ${OUT}.tmp ${OUT} ONLY_IF_DIFFERENT)
