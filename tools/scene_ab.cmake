# brinelux-scene-ab: a scene program timed against an earlier version of it
# in one process, with a byte comparison of their frames.
add_executable(brinelux-scene-ab ${CMAKE_CURRENT_SOURCE_DIR}/scene_ab.cpp)
target_link_libraries(brinelux-scene-ab PRIVATE brinelux_render brinelux_platform_offline brinelux_posix)
