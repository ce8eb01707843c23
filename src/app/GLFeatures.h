// What the program calls beyond OpenGL 1.1, checked once at start-up: a driver without
// one of them ends the run with its name instead of a jump through a null entry point.
#pragma once

#include <string>
#include <vector>

struct GLFeature {
    const char* name;  // what it is and where it comes from, as the user reads it
    bool offered;      // the driver's version or extension string names it
    bool loaded;       // every entry point the program calls through it was found
};

// The driver's answer for every feature the program draws with; with `readsFramesBack`
// also the pixel buffer objects of the offline modes. Needs the entry points loaded.
std::vector<GLFeature> queryGLFeatures(bool readsFramesBack);

// The names of the features that are not both offered and loaded, joined by ", ";
// empty when nothing is missing.
std::string missingGLFeatures(const std::vector<GLFeature>& features);
