// The three overlay clips, 320 x 240 at 25 frames per second. They are multiplied over
// the picture, so the background is white and the figures are dark. Every motion is
// periodic over kLoop frames, and one more frame equal to the first is written: the
// player never shows a clip's last frame, so the loop closes without a jump.
#include "Canvas.h"
#include "DataSet.h"
#include "platform/Platform.h"

#include <cmath>

namespace {

constexpr int kWidth = 320;
constexpr int kHeight = 240;
constexpr int kFps = 25;
constexpr int kLoop = 100;  // four seconds
constexpr float kTwoPi = 6.2831853f;

const Colour kPaper = {1, 1, 1, 1};
const Colour kInk = {0.12f, 0.10f, 0.20f, 1};

struct Point {
    float x, y;
};

Point along(Point from, float angle, float length) {
    return {from.x + std::sin(angle) * length, from.y + std::cos(angle) * length};
}

// A dancing figure: eight bounces per loop, arms and legs swinging in turn.
void drawDancer(Canvas& canvas, float phase) {
    const float beat = phase * 8.0f;  // in whole turns
    const float bounce = std::fabs(std::sin(beat * kTwoPi * 0.5f));
    const Point hip = {160 + 22 * std::sin(phase * kTwoPi * 2), 142 + 9 * bounce};
    const float lean = 0.18f * std::sin(phase * kTwoPi * 2);
    const Point neck = along(hip, 3.14159f + lean, 62);  // angles from straight down
    const Point head = along(neck, 3.14159f + lean * 1.5f, 22);

    canvas.fillDisc(160, 226, 70 - 10 * bounce, {0.82f, 0.82f, 0.86f, 1});  // floor shadow
    for (int side = -1; side <= 1; side += 2) {
        const float swing = std::sin((beat + (side > 0 ? 0.5f : 0.0f)) * kTwoPi * 0.5f);
        const Point knee = along(hip, side * (0.25f + 0.25f * swing), 40);
        const Point foot = along(knee, side * 0.1f - 0.35f * bounce * side, 40);
        canvas.stroke(hip.x, hip.y, knee.x, knee.y, 15, kInk);
        canvas.stroke(knee.x, knee.y, foot.x, foot.y, 13, kInk);
        const Point elbow = along(neck, side * (1.2f + 0.9f * swing), 34);
        const Point hand = along(elbow, side * (2.0f + 0.8f * swing), 30);
        canvas.stroke(neck.x, neck.y, elbow.x, elbow.y, 12, kInk);
        canvas.stroke(elbow.x, elbow.y, hand.x, hand.y, 10, kInk);
        canvas.fillDisc(hand.x, hand.y, 7, kInk);
    }
    canvas.stroke(hip.x, hip.y, neck.x, neck.y, 22, kInk);
    canvas.fillDisc(head.x, head.y, 17, kInk);
}

// A pendulum swinging twice per loop, trailing fainter copies of its bob.
void drawPendulum(Canvas& canvas, float phase) {
    const Point pivot = {160, 18};
    auto angleAt = [](float p) { return 0.75f * std::sin(p * kTwoPi * 2); };
    for (int ghost = 4; ghost >= 1; --ghost) {
        const Point bob = along(pivot, angleAt(phase - ghost * 0.012f), 175);
        canvas.fillDisc(bob.x, bob.y, 24, mix(kPaper, kInk, 0.5f - ghost * 0.1f));
    }
    const Point bob = along(pivot, angleAt(phase), 175);
    canvas.stroke(120, pivot.y - 6, 200, pivot.y - 6, 8, kInk);
    canvas.stroke(pivot.x, pivot.y, bob.x, bob.y, 6, kInk);
    canvas.fillDisc(pivot.x, pivot.y, 8, kInk);
    canvas.fillDisc(bob.x, bob.y, 24, kInk);
}

// A balloon whisk spinning about its handle, four turns per loop; wires at the back
// are drawn lighter than those in front.
void drawWhisk(Canvas& canvas, float phase) {
    const float spin = phase * kTwoPi * 4;
    const int wires = 6;
    const int steps = 48;
    const float top = 22, neck = 165;
    canvas.stroke(160, neck, 160, 232, 16, kInk);  // handle
    for (int w = 0; w < wires; ++w) {
        const float angle = spin + w * 3.14159f / wires;
        for (int s = 0; s < steps; ++s) {
            // The wire runs from the neck up one side, over the top, down the other side.
            auto point = [&](int i) {
                const float u = static_cast<float>(i) / steps;  // 0..1 around the loop
                const float y = neck - (neck - top) * std::sin(u * 3.14159f);
                const float bulge = std::sin(u * kTwoPi) * 72.0f *
                                    std::pow(std::sin(std::min(u, 1.0f - u) * 3.14159f), 0.6f);
                return Point{160 + bulge * std::cos(angle), y};
            };
            const float depth = std::sin(angle) * (s < steps / 2 ? 1.0f : -1.0f);
            const Point a = point(s), b = point(s + 1);
            canvas.stroke(a.x, a.y, b.x, b.y, 4.0f, mix(kInk, kPaper, 0.3f + 0.3f * depth));
        }
    }
    canvas.fillDisc(160, neck, 10, kInk);
}

bool writeClip(const std::string& path, void (*draw)(Canvas&, float), std::string& error) {
    AviWriter writer;
    std::string why;
    if (!writer.open(path.c_str(), kWidth, kHeight, kFps, why)) {
        error = path + ": " + why;
        return false;
    }
    for (int frame = 0; frame <= kLoop; ++frame) {
        Canvas canvas(kWidth, kHeight, kPaper);
        draw(canvas, static_cast<float>(frame % kLoop) / kLoop);
        if (!writer.writeFrame(canvas.bytes(3).data())) break;
    }
    if (!writer.close(why)) {
        error = path + ": " + why;
        return false;
    }
    return true;
}

}  // namespace

bool makeDanceClip(const std::string& dir, std::string& error) {
    return writeClip(dir + "/dance.avi", drawDancer, error);
}
bool makePendulumClip(const std::string& dir, std::string& error) {
    return writeClip(dir + "/heilu.avi", drawPendulum, error);
}
bool makeWhiskClip(const std::string& dir, std::string& error) {
    return writeClip(dir + "/vispi.avi", drawWhisk, error);
}
