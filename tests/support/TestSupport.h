// Shared helpers for the tests: a GL context, temporary folders, files and pixels.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Opens, once per process, a hidden 800 x 600 window with a GL context (SDL's
// offscreen driver, Mesa's llvmpipe) and loads the GL entry points. Fails the test
// when no context can be had.
void requireGLContext();

// A fresh, empty folder for this test process.
std::string makeTempDir(const std::string& tag);

std::string readFileBytes(const std::string& path);
void writeFileBytes(const std::string& path, const std::string& bytes);

// The data folder made by make-data in the build tree.
std::string buildDataDir();
std::string buildDir();

// RGB bytes of a rectangle of the current read framebuffer, bottom row first.
std::vector<uint8_t> readPixelsRGB(int x, int y, int width, int height);

// Descriptors this process holds open now; a reader that returns with one more left
// a file behind.
int openDescriptorCount();

// Runs a shell command, returns its exit status; stdout+stderr go to `output`.
int runCommand(const std::string& command, std::string& output);
