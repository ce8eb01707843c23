// The one way into OpenGL: GLEW's entry points and GLU. Include this, never GL/gl.h.
#pragma once
#include <GL/glew.h>
#include <GL/glu.h>
