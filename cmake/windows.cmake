# The Windows build, from the top-level CMakeLists.txt: the show as a single
# statically linked .exe that imports only system DLLs, the Win32 backend of
# the platform layer, and the tests that run under Wine.
if(NOT MINGW)
  message(FATAL_ERROR "The Windows build is made with MinGW-w64: see cmake/mingw-*.cmake")
endif()

# No libgcc, libstdc++ or winpthread DLLs beside the .exe.
add_link_options(-static -static-libgcc -static-libstdc++)

# The GL 2.0 entry points, resolved from the driver on their first call.
add_library(brinelux_gl STATIC ${CMAKE_SOURCE_DIR}/platform/win32/gl_loader.cpp)
target_include_directories(brinelux_gl PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(brinelux_gl PUBLIC opengl32 gdi32 user32)

add_library(brinelux_platform_win32 STATIC
  ${CMAKE_SOURCE_DIR}/platform/win32/platform_win32.cpp
  ${CMAKE_SOURCE_DIR}/platform/win32/sound_win32.cpp)
target_include_directories(brinelux_platform_win32 PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(brinelux_platform_win32 PUBLIC brinelux_gl brinelux_sound_ring brinelux_thread_start dsound opengl32 gdi32 user32 kernel32)

add_library(brinelux_show INTERFACE)
target_link_libraries(brinelux_show INTERFACE brinelux_core brinelux_platform_win32)

# A windowed program: no console opens beside it. Started from one, its lines
# still go there (the backend attaches to it), and redirected ones to their file.
# Its icon, rendered from the project's SVG at build time, and a version
# resource with the project's version.
enable_language(RC)
find_program(BRINELUX_CONVERT convert REQUIRED)
set(WIN_ICON ${CMAKE_BINARY_DIR}/brinelux.ico)
add_custom_command(OUTPUT ${WIN_ICON}
  COMMAND ${BRINELUX_CONVERT} -background none ${CMAKE_SOURCE_DIR}/packaging/brinelux.svg -strip
          -define icon:auto-resize=256,48,32,16 ${WIN_ICON}
  DEPENDS ${CMAKE_SOURCE_DIR}/packaging/brinelux.svg
  COMMENT "Rendering the Windows icon" VERBATIM)
configure_file(${CMAKE_SOURCE_DIR}/packaging/brinelux.rc.in ${CMAKE_BINARY_DIR}/brinelux.rc @ONLY)
set_source_files_properties(${CMAKE_BINARY_DIR}/brinelux.rc PROPERTIES OBJECT_DEPENDS ${WIN_ICON})
add_executable(brinelux ${CMAKE_SOURCE_DIR}/host/main.cpp ${CMAKE_SOURCE_DIR}/host/options.cpp
  ${CMAKE_SOURCE_DIR}/host/desktop.cpp ${CMAKE_BINARY_DIR}/brinelux.rc)
target_link_libraries(brinelux PRIVATE brinelux_show)
target_link_options(brinelux PRIVATE -mwindows)
# The screensaver is the same program under the name Windows looks for.
add_custom_command(TARGET brinelux POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:brinelux> $<TARGET_FILE_DIR:brinelux>/brinelux.scr VERBATIM)

if(BRINELUX_TESTS)
  enable_testing()
  # x86_64 tests run under 64-bit Wine; 32-bit programs cannot run on the
  # build machines, so the i686 build is only compiled.
  if(CMAKE_SIZEOF_VOID_P EQUAL 8 AND NOT CMAKE_CROSSCOMPILING_EMULATOR)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_SOURCE_DIR}/tests/platform/wine_run.sh)
  endif()
  set(BRINELUX_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources, built with the show's compiler")
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  # GoogleTest's own threading needs pthreads; its cases here run on one thread.
  set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
  add_subdirectory(${BRINELUX_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  # Its sources are not ours to hold to our warning rules.
  target_compile_options(gtest PRIVATE -w)
  target_compile_options(gtest_main PRIVATE -w)
  include(${CMAKE_SOURCE_DIR}/tests/platform/win32.cmake)
endif()
