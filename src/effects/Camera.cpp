// Look-at cameras and affine matrix helpers. The side vector of the look-at is left
// unnormalised on purpose: a view tilted away from the horizon is drawn smaller, and
// the stereo eye offset shrinks with it.
// Degenerate input never reaches GL as NaN: a camera whose target equals its position
// looks down -z, and a singular matrix inverts to the identity.
#include "effects/Camera.h"

#include "core/BuildVariant.h"
#include "core/GL.h"

#include <cmath>

namespace {

Matrix4 identity() { return makeAffine(1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0); }

// Unit view direction; (0, 0, -1), the default view, when target and position coincide
// or the coordinates are too large to give a finite length.
Vec3 viewDirection(const Vec3& position, const Vec3& target) {
    Vec3 d = target - position;
    float length = d.length();
    if (!(length > 0.0f) || !std::isfinite(length)) return {0, 0, -1};
    return d * (1.0f / length);
}

// Rotation rows s, u, -n followed by a translation by -eye.
Matrix4 lookAtFrom(const Vec3& s, const Vec3& u, const Vec3& n, const Vec3& eye) {
    return makeAffine(s.x, s.y, s.z, u.x, u.y, u.z, -n.x, -n.y, -n.z, -s.dot(eye), -u.dot(eye),
                      n.dot(eye));
}

}  // namespace

Matrix4 makeAffine(float r00, float r01, float r02, float r10, float r11, float r12, float r20,
                   float r21, float r22, float tx, float ty, float tz) {
    Matrix4 r;
    r.m[0] = r00; r.m[4] = r01; r.m[8] = r02;  r.m[12] = tx;
    r.m[1] = r10; r.m[5] = r11; r.m[9] = r12;  r.m[13] = ty;
    r.m[2] = r20; r.m[6] = r21; r.m[10] = r22; r.m[14] = tz;
    r.m[3] = 0;   r.m[7] = 0;   r.m[11] = 0;   r.m[15] = 1;
    return r;
}

Matrix4 multiplyAffine(const Matrix4& a, const Matrix4& b) {
    Matrix4 r;
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 4; ++j) {
            float sum = a.m[i] * b.m[4 * j] + a.m[4 + i] * b.m[4 * j + 1] +
                        a.m[8 + i] * b.m[4 * j + 2];
            if (j == 3) sum += a.m[12 + i];
            r.m[4 * j + i] = sum;
        }
    }
    r.m[3] = 0; r.m[7] = 0; r.m[11] = 0; r.m[15] = 1;
    return r;
}

Matrix4 inverseAffine(const Matrix4& m) {
    const float a = m.m[0], b = m.m[4], c = m.m[8];
    const float d = m.m[1], e = m.m[5], f = m.m[9];
    const float g = m.m[2], h = m.m[6], i = m.m[10];
    // Cofactors of the 3x3 block, transposed (the adjugate).
    const float c00 = e * i - f * h, c01 = c * h - b * i, c02 = b * f - c * e;
    const float c10 = f * g - d * i, c11 = a * i - c * g, c12 = c * d - a * f;
    const float c20 = d * h - e * g, c21 = b * g - a * h, c22 = a * e - b * d;
    const float det = a * c00 + b * c10 + c * c20;
    if (det == 0.0f) return identity();
    const float k = 1.0f / det;
    const float tx = m.m[12], ty = m.m[13], tz = m.m[14];
    const float r00 = c00 * k, r01 = c01 * k, r02 = c02 * k;
    const float r10 = c10 * k, r11 = c11 * k, r12 = c12 * k;
    const float r20 = c20 * k, r21 = c21 * k, r22 = c22 * k;
    Matrix4 r = makeAffine(r00, r01, r02, r10, r11, r12, r20, r21, r22,
                           -(r00 * tx + r01 * ty + r02 * tz), -(r10 * tx + r11 * ty + r12 * tz),
                           -(r20 * tx + r21 * ty + r22 * tz));
    // A nearly singular matrix can still overflow; its inverse is of no use to GL.
    for (float v : r.m) {
        if (!std::isfinite(v)) return identity();
    }
    return r;
}

Matrix4 Camera::viewMatrix() const {
    Vec3 n = viewDirection(position, target);
    Vec3 s = n.cross(up);
    Vec3 u = s.cross(n);
    return lookAtFrom(s, u, n, position);
}

void Camera::apply() {
    Matrix4 view = viewMatrix();
    glLoadMatrixf(view.m);
}

Matrix4 StereoCamera::viewMatrix() const {
    Vec3 n = viewDirection(position, target);
    Vec3 s = n.cross(up);
    Vec3 u = s.cross(n);
    Vec3 eyePosition = position;
    if (!kSecondBuild) eyePosition += s * (eye ? separation : -separation);
    return lookAtFrom(s, u, n, eyePosition);
}

void StereoCamera::apply() {
    Matrix4 view = viewMatrix();
    glLoadMatrixf(view.m);
    if (eye) {
        glColorMask(GL_TRUE, GL_FALSE, GL_FALSE, GL_TRUE);
    } else {
        glColorMask(GL_FALSE, GL_TRUE, GL_TRUE, GL_TRUE);
    }
}
