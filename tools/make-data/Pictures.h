// Writing generated pictures through the project's own image writers.
#pragma once

#include "Canvas.h"

#include <string>

// `channels` 1, 3 or 4; fills `error` naming the file when it cannot be written.
bool savePng(const Canvas& canvas, int channels, const std::string& path, std::string& error);
bool saveJpeg(const Canvas& canvas, int quality, const std::string& path, std::string& error);

float smoothStep(float edge0, float edge1, float x);
