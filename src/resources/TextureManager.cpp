// Textures by name. Storage is always power-of-two sized; a picture file with other
// sides is padded to its storage with transparent black, lower-left corner aligned, the
// same layout as a render target whose picture is smaller than its storage.
#include "resources/TextureManager.h"

#include "core/Fatal.h"
#include "resources/DataFolder.h"
#include "resources/ImageFile.h"

#include <unistd.h>

#include <cstring>
#include <string>

namespace {

bool isMipmapFilter(GLenum filter) {
    return filter == GL_NEAREST_MIPMAP_NEAREST || filter == GL_LINEAR_MIPMAP_NEAREST ||
           filter == GL_NEAREST_MIPMAP_LINEAR || filter == GL_LINEAR_MIPMAP_LINEAR;
}

// Components per pixel that a client pixel format reads; 0 for one we do not upload.
int componentsOf(GLenum format) {
    switch (format) {
    case GL_ALPHA:
    case GL_LUMINANCE:
    case GL_RED:
        return 1;
    case GL_LUMINANCE_ALPHA:
        return 2;
    case GL_RGB:
    case GL_BGR:
        return 3;
    case GL_RGBA:
    case GL_BGRA:
        return 4;
    default:
        return 0;
    }
}

// Formats for formats given as -1. One channel is alpha (used as a mask), two are
// grey with alpha.
void chooseFormats(int channels, int& internalFormat, int& format) {
    static const GLint kInternal[] = {GL_ALPHA8, GL_LUMINANCE8_ALPHA8, GL_RGB8, GL_RGBA8};
    static const GLenum kFormat[] = {GL_ALPHA, GL_LUMINANCE_ALPHA, GL_RGB, GL_RGBA};
    if (internalFormat == -1) internalFormat = kInternal[channels - 1];
    if (format == -1) format = static_cast<int>(kFormat[channels - 1]);
}

// Copies `image` (rows bottom-up) into the lower-left corner of a packed, zeroed
// width x height buffer: texture coordinates keep their texel size, and what lies
// beyond the picture is transparent black.
void padToStorage(const Image& image, uint8_t* out, int width, int height) {
    const size_t outRowBytes = static_cast<size_t>(width) * image.channels;
    const size_t pictureRowBytes = static_cast<size_t>(image.width) * image.channels;
    std::memset(out, 0, outRowBytes * height);
    for (int y = 0; y < image.height; ++y)
        std::memcpy(out + outRowBytes * y, image.pixels + static_cast<size_t>(image.rowBytes) * y,
                    pictureRowBytes);
}

}  // namespace

void TextureManager::setFilter(GLenum minFilterValue, GLenum magFilterValue) {
    minFilter = minFilterValue;
    magFilter = magFilterValue;
}

void TextureManager::setAnisotropy(float value) { maxAnisotropy = value; }

void TextureManager::createTexture(const std::string& name, int width, int height,
                                   const void* pixels, GLint internalFormat, GLenum format,
                                   bool exactStorage) {
    if (pixels && (width != nextPowerOfTwo(width) || height != nextPowerOfTwo(height))) {
        fatalError("Texture '%s': pixel data of %d x %d must have power-of-two sides.",
                   name.c_str(), width, height);
    }
    if (!find(name)) glGenTextures(1, &entry(name).glName);
    TextureRecord& record = get(name);
    const bool exact = exactStorage && !pixels;
    record.storageWidth = exact ? width : nextPowerOfTwo(width);
    record.storageHeight = exact ? height : nextPowerOfTwo(height);
    record.width = width;
    record.height = height;

    glBindTexture(bindTarget, record.glName);

    GLenum minimise = minFilter;
    GLenum magnify = magFilter;
    if (!pixels) {
        if (minimise != GL_NEAREST && minimise != GL_LINEAR) minimise = GL_LINEAR;
        if (magnify != GL_NEAREST && magnify != GL_LINEAR) magnify = GL_LINEAR;
    }
    glTexParameteri(bindTarget, GL_TEXTURE_MIN_FILTER, static_cast<GLint>(minimise));
    glTexParameteri(bindTarget, GL_TEXTURE_MAG_FILTER, static_cast<GLint>(magnify));
    glTexParameteri(bindTarget, GL_TEXTURE_WRAP_S, static_cast<GLint>(wrapS));
    glTexParameteri(bindTarget, GL_TEXTURE_WRAP_T, static_cast<GLint>(wrapT));
    glTexParameteri(bindTarget, GL_TEXTURE_WRAP_R, static_cast<GLint>(wrapR));
    // Below 1 GL refuses the value with an error and keeps its default of 1; not
    // sending it gives the same texture without leaving an error for the frame check.
    if (maxAnisotropy >= 1.0f && GLEW_EXT_texture_filter_anisotropic)
        glTexParameterf(bindTarget, GL_TEXTURE_MAX_ANISOTROPY_EXT, maxAnisotropy);

    // Rows are packed (one- and three-channel rows need not be 4-byte multiples).
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(imageTarget, 0, internalFormat, record.storageWidth, record.storageHeight, 0,
                 format, GL_UNSIGNED_BYTE, pixels);
    if (isMipmapFilter(minimise)) {
        gluBuild2DMipmaps(imageTarget, internalFormat, record.storageWidth, record.storageHeight,
                          format, GL_UNSIGNED_BYTE, pixels);
    }
    glPopClientAttrib();
}

void TextureManager::loadTextureFile(const std::string& name, const std::string& fileBase,
                                     int internalFormat, int format) {
    const std::string path =
        findResourceFile(dataFolder.c_str(), fileBase.c_str(), "png", "jpg", "", "", "", "", "", "");
    Image image;
    if (load_image(path.c_str(), image, true) != 0)
        fatalError("Could not read the image file \"%s\" for texture '%s'.", path.c_str(),
                   name.c_str());

    const int channels = image.channels;
    if (channels < 1 || channels > 4) {
        delete[] image.pixels;
        fatalError("Image file \"%s\" has %d channels; textures take 1 to 4.", path.c_str(),
                   channels);
    }
    chooseFormats(channels, internalFormat, format);
    if (componentsOf(static_cast<GLenum>(format)) != channels) {
        delete[] image.pixels;
        fatalError("Image file \"%s\" has %d channels, which pixel format 0x%04X does not take.",
                   path.c_str(), channels, static_cast<unsigned>(format));
    }

    const int storageWidth = nextPowerOfTwo(image.width);
    const int storageHeight = nextPowerOfTwo(image.height);
    uint8_t* upload = image.pixels;
    if (storageWidth != image.width || storageHeight != image.height) {
        upload = new uint8_t[static_cast<size_t>(storageWidth) * storageHeight * channels];
        padToStorage(image, upload, storageWidth, storageHeight);
    }
    // The picture's own sizes go into the record; the data already fills the storage.
    createTexture(name, storageWidth, storageHeight, upload, internalFormat,
                  static_cast<GLenum>(format));
    TextureRecord& record = get(name);
    record.width = image.width;
    record.height = image.height;

    if (upload != image.pixels) delete[] upload;
    delete[] image.pixels;
}

void TextureManager::loadTexture(const std::string& name, int internalFormat, int format) {
    loadTextureFile(name, name, internalFormat, format);
}

void TextureManager::loadCubeMap(const std::string& name, int internalFormat, int format) {
    static const char* const kSuffixes[6] = {"_c00", "_c01", "_c02", "_c03", "_c04", "_c05"};
    static const GLenum kFaces[6] = {
        GL_TEXTURE_CUBE_MAP_POSITIVE_X, GL_TEXTURE_CUBE_MAP_NEGATIVE_X,
        GL_TEXTURE_CUBE_MAP_POSITIVE_Y, GL_TEXTURE_CUBE_MAP_NEGATIVE_Y,
        GL_TEXTURE_CUBE_MAP_POSITIVE_Z, GL_TEXTURE_CUBE_MAP_NEGATIVE_Z};
    bindTarget = GL_TEXTURE_CUBE_MAP;
    for (int face = 0; face < 6; ++face) {
        imageTarget = kFaces[face];
        loadTextureFile(name, name + kSuffixes[face], internalFormat, format);
    }
    bindTarget = GL_TEXTURE_2D;
    imageTarget = GL_TEXTURE_2D;
}

std::string findResourceFile(const char* folder, const char* baseName, const char* ext1,
                             const char* ext2, const char* ext3, const char* ext4,
                             const char* ext5, const char* ext6, const char* ext7,
                             const char* ext8) {
    const char* const extensions[8] = {ext1, ext2, ext3, ext4, ext5, ext6, ext7, ext8};
    int count = 8;
    while (count > 0 && (!extensions[count - 1] || !*extensions[count - 1])) --count;

    const std::string stem = std::string(folder) + "/" + baseName + ".";
    for (int i = 0; i < count; ++i) {
        std::string candidate = stem + (extensions[i] ? extensions[i] : "");
        if (access(candidate.c_str(), R_OK) == 0) return candidate;
    }

    // Built as plain text: names and extensions must never be read as a format.
    std::string message = "Could not find file: \"" + stem + "{";
    for (int i = 0; i < count; ++i) {
        message += extensions[i] ? extensions[i] : "";
        message += ' ';
    }
    message += "}\"!";
    fatalErrorText(message.c_str());
}

int nextPowerOfTwo(int n) {
    if (n <= 0) return 0;
    if ((n & (n - 1)) == 0) return n;
    int bits = 0;
    for (unsigned rest = static_cast<unsigned>(n); rest != 0; rest >>= 1) ++bits;
    return bits >= 31 ? n : 1 << bits;  // beyond 2^30 no int power of two is larger
}
