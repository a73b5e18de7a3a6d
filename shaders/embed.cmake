# Turns the GLSL files into C strings inside the executable, so the show reads
# nothing from disk. Invoked by the build with OUT, SRC_DIR and NAMES (the
# sources' names, comma-separated) set: SRC_DIR/NAME.glsl becomes NAMESource.
set(out "// Generated from the shaders/*.glsl files at build time. Do not edit.\n")
string(REPLACE "," ";" names "${NAMES}")
foreach(name ${names})
  file(READ ${SRC_DIR}/${name}.glsl text)
  string(APPEND out "extern const char ${name}Source[];\nconst char ${name}Source[] = R\"glsl(${text})glsl\";\n")
endforeach()
file(WRITE ${OUT}.tmp "${out}")
file(COPY_FILE ${OUT}.tmp ${OUT} ONLY_IF_DIFFERENT)
