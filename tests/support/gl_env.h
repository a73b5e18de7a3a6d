// Test support: one headless GL context per test program, drawing into a
// 1024 x 768 framebuffer object like the show's window, plus read-back helpers.
#pragma once

#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "platform/headless/headless_gl.h"

// Fails the whole program at start when no context can be made.
void RequireHeadlessGL();

// RGBA8 pixels of the framebuffer, rows from the bottom as GL returns them.
std::vector<unsigned char> ReadFramebuffer(int width = 1024, int height = 768);

// Drains the GL error queue so a test starts from a clean one.
void ClearGLErrors();

// Runs body with standard output and the debugger channel (standard error)
// captured; returns them through out and err.
void CaptureOutput(void (*body)(void*), void* arg, std::string& out, std::string& err);
