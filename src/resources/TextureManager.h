// Textures by name: image files from the data folder, empty render-target textures
// and six-face cube maps. Storage sizes are powers of two; pictures may be smaller.
#pragma once

#include "core/GL.h"
#include "resources/Registry.h"

#include <string>

struct TextureRecord {
    int storageWidth = 1;   // width of the GL texture image, a power of two except for
                            // render targets made at an exact size
    int storageHeight = 1;  // height of the GL texture image, likewise
    int storageDepth = 1;   // always 1
    int width = 1;          // picture width as requested or read from the file
    int height = 1;         // picture height
    int depth = 1;          // always 1
    GLuint glName = 0;      // from glGenTextures
};

class TextureManager : public ResourceRegistry<TextureRecord> {
public:
    std::string kindName() const override { return "texture"; }

    void setFilter(GLenum minFilter, GLenum magFilter);
    void setAnisotropy(float value);

    // pixels: 8-bit components, bottom row first, packed rows, storage-sized (width and
    // height powers of two, fatal otherwise) or null for an empty texture of any size.
    // `exactStorage` (empty textures only): storage of exactly width x height, for render
    // targets drawn at any size and read as a whole.
    void createTexture(const std::string& name, int width, int height, const void* pixels,
                       GLint internalFormat, GLenum format, bool exactStorage = false);
    // internalFormat and format may be -1: chosen from the file's channels (1 alpha,
    // 2 luminance-alpha, 3 RGB, 4 RGBA). A picture with sides that are not powers of two
    // is padded into the lower-left corner of its storage. A file that is found but
    // cannot be read, or whose channels do not fit `format`, is fatal.
    void loadTextureFile(const std::string& name, const std::string& fileBase, int internalFormat,
                         int format);
    void loadTexture(const std::string& name, int internalFormat, int format);
    void loadCubeMap(const std::string& name, int internalFormat, int format);

    GLenum wrapS = GL_REPEAT, wrapT = GL_REPEAT, wrapR = GL_REPEAT;
    GLenum minFilter = GL_LINEAR;
    GLenum magFilter = GL_LINEAR;
    float maxAnisotropy = 0;            // 0: GL rejects it and keeps its default of 1
    GLenum bindTarget = GL_TEXTURE_2D;  // GL_TEXTURE_CUBE_MAP while loadCubeMap runs
    GLenum imageTarget = GL_TEXTURE_2D; // the face being uploaded during loadCubeMap
};

// "folder/baseName.ext" for the first extension whose file exists and is readable;
// trailing empty extensions are not tried. None: fatal "Could not find file" message.
std::string findResourceFile(const char* folder, const char* baseName, const char* ext1,
                             const char* ext2 = "", const char* ext3 = "", const char* ext4 = "",
                             const char* ext5 = "", const char* ext6 = "", const char* ext7 = "",
                             const char* ext8 = "");

// n itself for 0 and powers of two, else the next power of two above n (n up to 2^30;
// negative n gives 0).
int nextPowerOfTwo(int n);
