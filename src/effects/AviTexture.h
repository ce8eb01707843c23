// An AVI clip played as a texture on its own millisecond clock, looping over frames
// 0 to count - 2. The texture is power-of-two, 24-bit, upright (t = 0 at the bottom).
#pragma once

#include "core/GL.h"
#include "platform/Platform.h"

#include <cstdint>
#include <vector>

class AviTexture {
public:
    // Opens the clip; a failure shows its message and leaves a blank clip whose
    // advance() and draw() do nothing.
    void open(const char* fileName);
    void advance();              // steps on platformClipMilliseconds(), uploads when due
    // Where the first advance() leaves a clip when the clip clock reads `clock`: on its
    // first frame, with that frame's picture in the texture.
    void startAt(uint32_t clock);
    void showFrame(int index);   // decode, scale and upload one frame
    void draw() const;           // full-screen quad with the clip's texture; caller blends
    GLuint texture() const { return texture_; }

    int frameCount = 0;
    int frameDuration = 0;       // whole milliseconds
    int frameWidth = 0, frameHeight = 0;
    int textureWidth = 1, textureHeight = 1;
    int currentFrame = 0;
    uint32_t referenceTime = 0;  // clock value the elapsed frames are counted from
    bool started = false;        // the first advance() starts the clock (any clock value)
    int firstFrame = 0;
    int wrapValue = 0;           // frame count - 1
    int shownFrame = 0;
    bool usable = false;         // opened and its first frame decoded

private:
    VideoDecoder decoder_;
    std::vector<uint8_t> pixels_;  // bottom-up BGR, rows padded to 4 bytes
    GLuint texture_ = 0;
};
