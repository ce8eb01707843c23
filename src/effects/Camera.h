// Look-at cameras and affine 4x4 matrices. Matrices are column-major as glLoadMatrixf
// takes them (row i, column j at index 4j + i); the bottom row is always (0, 0, 0, 1).
#pragma once

#include "core/Vec3.h"

struct Matrix4 {
    float m[16];
};

Matrix4 makeAffine(float r00, float r01, float r02, float r10, float r11, float r12, float r20,
                   float r21, float r22, float tx, float ty, float tz);
Matrix4 multiplyAffine(const Matrix4& a, const Matrix4& b);  // a * b: b applies first
Matrix4 inverseAffine(const Matrix4& m);

class Camera {
public:
    virtual ~Camera() = default;
    virtual void apply();
    virtual Matrix4 viewMatrix() const;

    void setPosition(const Vec3& value) { position = value; }
    void setTarget(const Vec3& value) { target = value; }
    void setDirection(const Vec3& value) { target = position + value; }

    Vec3 position{0, 0, 0};
    Vec3 target{0, 0, -1};
    Vec3 up{0, 1, 0};
};

class StereoCamera : public Camera {
public:
    void apply() override;
    Matrix4 viewMatrix() const override;
    void setStereo(float separationValue, bool eyeFlag) {
        separation = separationValue;
        eye = eyeFlag;
    }

    float separation = 1.0f;
    bool eye = true;  // true: red eye, false: cyan eye
};
