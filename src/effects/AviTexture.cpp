// Clips decoded frame by frame into a buffer made at open, then copied into a
// power-of-two texture in place. The clock is the clip millisecond source (the wall
// clock unless something else is plugged in), never the demo time.
#include "effects/AviTexture.h"

#include <cstring>
#include <string>

namespace {

// The largest power of two strictly below the frame size, at most 2048; sizes of 1
// and below keep the current value.
int powerOfTwoBelow(int frameSize, int current) {
    int size = current;
    for (int i = 0; i < 12; ++i) {
        if (frameSize > (1 << i)) size = 1 << i;
    }
    return size;
}

int paddedRowBytes(int width) { return (width * 3 + 3) & ~3; }

// The box says which clip and why (`detail` begins with the file's name), so the log,
// which gets the same text, does too.
void reportClipFailure(const char* message, const std::string& detail) {
    platformShowError((std::string(message) + "\n" + detail).c_str());
}

}  // namespace

void AviTexture::open(const char* fileName) {
    shownFrame = 0;
    glGenTextures(1, &texture_);
    referenceTime = 0;
    started = false;
    currentFrame = 0;
    usable = false;

    std::string error;
    if (decoder_.open(fileName, error)) {
        frameWidth = decoder_.width();
        frameHeight = decoder_.height();
        textureWidth = powerOfTwoBelow(frameWidth, textureWidth);
        textureHeight = powerOfTwoBelow(frameHeight, textureHeight);
        frameCount = decoder_.frameCount();
        frameDuration = decoder_.frameDurationMs();
        wrapValue = frameCount - 1;
        firstFrame = 0;
    } else {
        reportClipFailure("Failed To Open The AVI Stream", error);
    }

    pixels_.assign(static_cast<size_t>(paddedRowBytes(textureWidth)) * textureHeight, 0);

    if (decoder_.isOpen()) {
        // Decoding the first frame now tells a clip that cannot be decoded from one
        // that merely has not started; the texture still starts out blank.
        if (frameCount > 0 && decoder_.decodeFrame(0, pixels_.data(), textureWidth, textureHeight)) {
            usable = true;
        } else {
            reportClipFailure("Failed To Open The AVI Frame",
                              std::string(fileName) + ": no frame can be decoded");
        }
        std::memset(pixels_.data(), 0, pixels_.size());
    }

    glBindTexture(GL_TEXTURE_2D, texture_);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, textureWidth, textureHeight, 0, GL_BGR_EXT,
                 GL_UNSIGNED_BYTE, pixels_.data());
    glPopClientAttrib();
}

void AviTexture::advance() {
    if (!usable) return;
    const uint32_t now = platformClipMilliseconds();
    if (!started) {
        startAt(now);
        return;
    }
    // A clip faster than 1000 frames per second has a duration of 0 ms; it steps one
    // frame per millisecond rather than dividing by zero.
    const int64_t duration = frameDuration > 0 ? frameDuration : 1;
    // Signed, so a clock that went back (a fake or frame clock) moves nothing.
    const int64_t elapsed = static_cast<int32_t>(now - referenceTime);
    const int64_t whole = elapsed / duration;
    if (whole <= 0) return;
    // The unused part of a frame duration carries over to the next advance.
    referenceTime = now - static_cast<uint32_t>(elapsed % duration);
    // A clip of one frame has nothing to wrap over and stays on frame 0.
    const int64_t frame = wrapValue > 0 ? (currentFrame + whole) % wrapValue : 0;
    currentFrame = static_cast<int>(frame);
    if (currentFrame < firstFrame) currentFrame = firstFrame;
    showFrame(currentFrame);
}

void AviTexture::startAt(uint32_t clock) {
    if (!usable) return;
    started = true;
    currentFrame = firstFrame;
    referenceTime = clock;
    showFrame(currentFrame);
}

void AviTexture::showFrame(int index) {
    shownFrame = index;
    if (!decoder_.decodeFrame(index, pixels_.data(), textureWidth, textureHeight)) return;
    glBindTexture(GL_TEXTURE_2D, texture_);
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, textureWidth, textureHeight, GL_BGR_EXT,
                    GL_UNSIGNED_BYTE, pixels_.data());
    glPopClientAttrib();
}

void AviTexture::draw() const {
    // Overlays multiply the frame by the clip: a clip without pictures leaves the
    // frame as it is rather than blacking it out.
    if (!usable) return;
    glPushAttrib(GL_LIGHTING_BIT);
    glDisable(GL_LIGHTING);
    glPushMatrix();
    glLoadIdentity();
    glTranslatef(0, 0, -1);
    glScalef(1, 1, 1);
    glBindTexture(GL_TEXTURE_2D, texture_);
    glEnable(GL_TEXTURE_2D);
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0);
    glVertex2f(-1.33334f, -1);
    glTexCoord2f(1, 0);
    glVertex2f(1.33334f, -1);
    glTexCoord2f(1, 1);
    glVertex2f(1.33334f, 1);
    glTexCoord2f(0, 1);
    glVertex2f(-1.33334f, 1);
    glEnd();
    glPopMatrix();
    glPopAttrib();
}
