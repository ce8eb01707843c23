// Shared by the fuzz targets: the readers take paths, so each input goes through a
// scratch file, and a fatal report is an ordinary outcome for a bad file. A reader that
// leaves a file open, on any way out, ends the run at the input that did it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Thrown by the fuzz build's fatalError instead of ending the process.
struct FuzzFatal {};

// Writes the input to a per-process scratch file with the given extension, runs `read`
// on its path (a FuzzFatal is a normal end), then checks that no file stayed open.
int fuzzInput(const uint8_t* data, size_t size, const char* extension,
              void (*read)(const std::string& path));

struct Image;
// Runs one image reader over the input and touches both ends of a decoded picture, so
// AddressSanitizer sees a buffer that is shorter than its size claims.
int fuzzImageReader(int (*reader)(const char*, Image&, bool), const uint8_t* data, size_t size,
                    const char* extension);
