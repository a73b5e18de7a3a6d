# Turns the GLSL files into C strings inside the executable, so the show reads
# nothing from disk. Invoked by the build with OUT and SRC_DIR set.
set(out "// Generated from the shaders/*.glsl files at build time. Do not edit.\n")
foreach(pair "vertexSource;vertex.glsl" "waterSource;water.glsl" "sphereSource;sphere.glsl")
  list(GET pair 0 name)
  list(GET pair 1 file)
  file(READ ${SRC_DIR}/${file} text)
  string(APPEND out "extern const char ${name}[];\nconst char ${name}[] = R\"glsl(${text})glsl\";\n")
endforeach()
file(WRITE ${OUT}.tmp "${out}")
file(COPY_FILE ${OUT}.tmp ${OUT} ONLY_IF_DIFFERENT)
