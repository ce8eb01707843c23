// What every scene reads: this frame's demo time, the shared camera and the clips.
#pragma once

class StereoCamera;
class AviTexture;

struct SceneState {
    float time = 0;                  // demo time of the current frame, seconds
    float beatPulse = 0;             // the demo clock's beat pulse at `time`, 0 to 1
    StereoCamera* camera = nullptr;  // the shared camera of the scene data set-up
    AviTexture* dance = nullptr;     // dance.avi of the data folder; null when absent
    AviTexture* heilu = nullptr;     // heilu.avi
    AviTexture* vispi = nullptr;     // vispi.avi
};

extern SceneState sceneState;
