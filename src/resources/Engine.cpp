#include "resources/Engine.h"

#include <cstring>

Engine engine;

Engine::Engine() { std::memset(keys, 0, sizeof keys); }
