// The demo clock (the music's play position), the tempo behind the beat pulse and the
// letterbox viewport. Time is float seconds, read once per frame.
#pragma once

#include <string>

class MusicStream;

class DemoContext {
public:
    void reset() { paused = false; }
    void updateClock();               // time = music position in ms * 0.001
    void seek(float seconds);         // negative targets clamp to 0
    void togglePause();
    void setTempo(float bpm) { tempo = bpm; }
    void setPulseLength(float seconds) { pulseLength = seconds; }
    float beatPulse() const;          // 1 on every beat from 11.841 s, falls to 0
    void setAspect(float widthRatio, float heightRatio);
    void drawTextureQuad(const std::string& textureName, float scale);

    bool paused = false;
    float tempo = 126.0f;       // beats per minute
    float pulseLength = 0.4f;   // seconds for the pulse to fall from 1 to 0
    float time = 0.0f;          // demo time of the current frame
    MusicStream* music = nullptr;  // the clock source; null reads as time 0
};

extern DemoContext demoContext;

// Runs after the key-state table has been updated, for every key press and repeat.
void onKeyDown(int virtualKey);
