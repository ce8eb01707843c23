// Model, video flag, ground and box-wall scenes. Fixed geometry (flag grid, ring
// stacks, box outlines) is built once into vertex arrays; a frame only rewrites what
// moves (depths, stack places), once per frame even though both eyes draw it.
#include "core/GL.h"
#include "effects/AviTexture.h"
#include "effects/Engine.h"
#include "effects/SceneData.h"
#include "effects/SceneGeometry.h"
#include "effects/SceneState.h"
#include "effects/Scenes.h"

#include <cmath>
#include <limits>

namespace {

constexpr int kFlagPoints = kFlagSide * kFlagSide;
constexpr int kFlagQuads = (kFlagSide - 1) * (kFlagSide - 1);
constexpr int kRings = 8;
constexpr int kRingPoints = 24;
constexpr int kBoxes = kBoxSide * kBoxSide;

struct ModelSceneData {
    const Model* puolipallo = nullptr;          // looked up on the first frame
    const TextureRecord* risti = nullptr;       // ground texture, looked up once

    bool flagReady = false;                     // flag arrays below are built
    float flagTime = std::numeric_limits<float>::quiet_NaN();  // time of flagXyz's heights
    float flagXyz[kFlagPoints * 3];             // grid points; z rewritten per frame
    float flagUv[kFlagPoints * 2];              // k/41, r/41
    GLushort flagQuads[kFlagQuads * 4];         // corners (k+1, r), (k, r), (k, r+1), (k+1, r+1)
    float flagHeights[kFlagPoints];             // scratch for the wave

    bool ringsReady = false;                    // ring stack below is built
    float rings[kRings * kRingPoints * 3];      // one stack around x = z = 0
    float ringTime = std::numeric_limits<float>::quiet_NaN();  // time of placedRings
    // Every stack where it stands, summed on the CPU as (x + r sin, h, z + r cos): a
    // translation on the GL side rounds a few line ends onto other pixels.
    float placedRings[kRingStacks][kRings * kRingPoints * 3];

    bool boxesReady = false;                    // box arrays below are built
    float boxTime = std::numeric_limits<float>::quiet_NaN();  // local time of boxXyz's depths
    float boxXyz[kBoxes * 8 * 3];               // per box 4 front corners, then 4 at z = 0
    GLushort boxLines[kBoxes * 16];             // front loop and 4 edges back, as GL_LINES
    float boxDepth[kBoxes];                     // scratch for the depth table
};

ModelSceneData modelScenes;

void drawPuolipalloPair(const Model& model, float z) {
    glPushMatrix();
    glRotatef(90.0f, 1.0f, 0.0f, 0.0f);
    glTranslatef(0.0f, 0.0f, z);
    model.draw();
    glRotatef(30.0f, 0.0f, 0.0f, 1.0f);
    glRotatef(180.0f, 0.0f, 1.0f, 0.0f);
    glTranslatef(0.0f, 0.0f, 2.0f * z);
    model.draw();
    glPopMatrix();
}

void buildFlag() {
    for (int r = 0; r < kFlagSide; ++r) {
        for (int k = 0; k < kFlagSide; ++k) {
            int p = kFlagSide * r + k;
            modelScenes.flagXyz[3 * p] = -100.0f + 5.0f * static_cast<float>(k);
            modelScenes.flagXyz[3 * p + 1] = -100.0f + 5.0f * static_cast<float>(r);
            modelScenes.flagXyz[3 * p + 2] = 0.0f;
            modelScenes.flagUv[2 * p] = static_cast<float>(k) * 0.024390243f;
            modelScenes.flagUv[2 * p + 1] = static_cast<float>(r) * 0.024390243f;
        }
    }
    GLushort* q = modelScenes.flagQuads;
    for (int r = 0; r < kFlagSide - 1; ++r) {
        for (int k = 0; k < kFlagSide - 1; ++k) {
            GLushort p = static_cast<GLushort>(kFlagSide * r + k);
            *q++ = static_cast<GLushort>(p + 1);
            *q++ = p;
            *q++ = static_cast<GLushort>(p + kFlagSide);
            *q++ = static_cast<GLushort>(p + kFlagSide + 1);
        }
    }
    modelScenes.flagReady = true;
}

void buildRings() {
    float* out = modelScenes.rings;
    for (int j = 0; j < kRings; ++j) {
        float radius = 30.0f - 3.9f * static_cast<float>(j);
        float height = 10.0f + 10.0f * static_cast<float>(j);
        for (int m = 0; m < kRingPoints; ++m) {
            float theta = static_cast<float>(m) * 0.27318197f;
            *out++ = radius * std::sin(theta);
            *out++ = height;
            *out++ = radius * std::cos(theta);
        }
    }
    modelScenes.ringsReady = true;
}

void buildBoxes() {
    for (int row = 0; row < kBoxSide; ++row) {
        for (int column = 0; column < kBoxSide; ++column) {
            int n = kBoxSide * row + column;
            float x0 = -100.0f + 10.0f * static_cast<float>(column), x1 = x0 + 10.0f;
            float y0 = -100.0f + 10.0f * static_cast<float>(row), y1 = y0 + 10.0f;
            const float corners[4][2] = {{x0, y0}, {x0, y1}, {x1, y1}, {x1, y0}};
            float* v = modelScenes.boxXyz + n * 24;
            for (int c = 0; c < 4; ++c) {
                v[3 * c] = v[3 * c + 12] = corners[c][0];
                v[3 * c + 1] = v[3 * c + 13] = corners[c][1];
                v[3 * c + 2] = v[3 * c + 14] = 0.0f;
            }
            GLushort* line = modelScenes.boxLines + n * 16;
            GLushort base = static_cast<GLushort>(n * 8);
            for (int c = 0; c < 4; ++c) {
                line[2 * c] = static_cast<GLushort>(base + c);
                line[2 * c + 1] = static_cast<GLushort>(base + (c + 1) % 4);
                line[8 + 2 * c] = static_cast<GLushort>(base + c);
                line[8 + 2 * c + 1] = static_cast<GLushort>(base + 4 + c);
            }
        }
    }
    modelScenes.boxesReady = true;
}

}  // namespace

void PuolipalloScene() {
    if (!modelScenes.puolipallo) modelScenes.puolipallo = &engine.models.get("puolipallo");
    const Model& model = *modelScenes.puolipallo;
    const float t = sceneState.time;
    glColor3f(0.0f, 0.0f, 0.0f);
    const float z = puolipalloOffset(t, sceneState.beatPulse);
    drawPuolipalloPair(model, z);

    glColor3f(0.4f, 0.5f, 0.96f);
    setLineWidth(5.0f);
    glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
    drawPuolipalloPair(model, z);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);

    glColor3f(0.8f, 0.8f, 1.0f);
    PointField(87.0f, 4.5f, 1000);
    PointField(300.0f, 3.0f, 2000);
}

void VideoFlagScene() {
    if (!modelScenes.flagReady) buildFlag();
    const float t = sceneState.time;
    AviTexture* clip = flagClipAt(t) == FlagClip::Heilu ? sceneState.heilu : sceneState.dance;
    if (clip) clip->advance();
    // Without its clip the flag is drawn plain white, not with whatever texture was bound.
    glBindTexture(GL_TEXTURE_2D, clip ? clip->texture() : 0);
    if (!(modelScenes.flagTime == t)) {
        flagHeights(t, modelScenes.flagHeights);
        for (int p = 0; p < kFlagPoints; ++p) modelScenes.flagXyz[3 * p + 2] = modelScenes.flagHeights[p];
        modelScenes.flagTime = t;
    }
    glColor3f(1.0f, 1.0f, 1.0f);
    glEnable(GL_TEXTURE_2D);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, modelScenes.flagXyz);
    glTexCoordPointer(2, GL_FLOAT, 0, modelScenes.flagUv);
    glDrawElements(GL_QUADS, kFlagQuads * 4, GL_UNSIGNED_SHORT, modelScenes.flagQuads);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
}

void RistiScene() {
    if (!modelScenes.ringsReady) buildRings();
    if (!modelScenes.risti) modelScenes.risti = &engine.textures.get("risti");
    const float t = sceneState.time;
    glEnable(GL_TEXTURE_2D);
    const float s = -3.0f * t;
    glColor3f(0.6f, 0.5f, 0.96f);
    glBindTexture(GL_TEXTURE_2D, modelScenes.risti->glName);
    glBegin(GL_QUADS);
    glTexCoord2f(0.0f, s);
    glVertex3f(-600.0f, 0.0f, -600.0f);
    glTexCoord2f(0.0f, s + 16.0f);
    glVertex3f(-600.0f, 0.0f, 600.0f);
    glTexCoord2f(16.0f, s + 16.0f);
    glVertex3f(600.0f, 0.0f, 600.0f);
    glTexCoord2f(16.0f, s);
    glVertex3f(600.0f, 0.0f, -600.0f);
    glEnd();

    glEnable(GL_BLEND);
    glDisable(GL_DEPTH_TEST);
    glBlendFunc(GL_ONE, GL_ONE);
    glColor3f(0.7f, 1.0f, 0.5f);
    glDisable(GL_TEXTURE_2D);
    setLineWidth(3.0f);
    if (!(modelScenes.ringTime == t)) {
        for (int i = 0; i < kRingStacks; ++i) {
            float x, z;
            ringStackPosition(t, i, x, z);
            const float* ring = modelScenes.rings;
            float* placed = modelScenes.placedRings[i];
            for (int p = 0; p < kRings * kRingPoints; ++p, ring += 3, placed += 3) {
                placed[0] = x + ring[0];
                placed[1] = ring[1];
                placed[2] = z + ring[2];
            }
        }
        modelScenes.ringTime = t;
    }
    glEnableClientState(GL_VERTEX_ARRAY);
    for (int i = 0; i < kRingStacks; ++i) {
        glVertexPointer(3, GL_FLOAT, 0, modelScenes.placedRings[i]);
        for (int j = 0; j < kRings; ++j) glDrawArrays(GL_LINE_STRIP, j * kRingPoints, kRingPoints);
    }
    glDisableClientState(GL_VERTEX_ARRAY);
    glEnable(GL_DEPTH_TEST);
    glDisable(GL_BLEND);
}

void BoxScrollerScene(float startTime) {
    if (!modelScenes.boxesReady) buildBoxes();
    const float t = sceneState.time;
    const float local = t - startTime;
    if (!(modelScenes.boxTime == local)) {
        boxDepths(local, textBitmap, modelScenes.boxDepth);
        for (int n = 0; n < kBoxes; ++n) {
            float* v = modelScenes.boxXyz + n * 24;
            v[2] = v[5] = v[8] = v[11] = -modelScenes.boxDepth[n];
        }
        modelScenes.boxTime = local;
    }
    PointField(400.0f, 1.7f, 4000);
    glRotatef(boxWallTilt(local) - 90.0f, 1.0f, 0.0f, 0.0f);
    glRotatef(180.0f, 0.0f, 1.0f, 0.0f);
    glColor3f(0.6f, 0.5f, 0.96f);
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, modelScenes.boxXyz);
    glDrawElements(GL_LINES, kBoxes * 16, GL_UNSIGNED_SHORT, modelScenes.boxLines);
    glDisableClientState(GL_VERTEX_ARRAY);
}
