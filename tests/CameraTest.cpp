// Matrices and look-at cameras: layout, products, inverses, the stereo eye offset and
// the degenerate views that must stay NaN-free.
#include "effects/Camera.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

void expectMatrixNear(const Matrix4& a, const Matrix4& b, float tolerance = 1e-5f) {
    for (int k = 0; k < 16; ++k) EXPECT_NEAR(a.m[k], b.m[k], tolerance) << "element " << k;
}

void expectFinite(const Matrix4& m) {
    for (int k = 0; k < 16; ++k) EXPECT_TRUE(std::isfinite(m.m[k])) << "element " << k;
}

Matrix4 identity() { return makeAffine(1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0); }

float rowLength(const Matrix4& m, int row) {
    return std::sqrt(m.m[row] * m.m[row] + m.m[4 + row] * m.m[4 + row] +
                     m.m[8 + row] * m.m[8 + row]);
}

// Rotation about z by 30 degrees, scaled, sheared, and translated: invertible but not
// orthogonal, so the inverse has to go through the cofactors.
Matrix4 sampleA() { return makeAffine(0.866f, -0.5f, 0.2f, 0.5f, 0.866f, 0, 0, 0.3f, 2, 4, -2, 7); }
Matrix4 sampleB() { return makeAffine(2, 0, 1, 0, 0.5f, 0, -1, 0, 3, -3, 1, 0.5f); }

}  // namespace

TEST(Matrix, LayoutIsColumnMajorWithAffineBottomRow) {
    Matrix4 m = makeAffine(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12);
    const float expected[16] = {1, 4, 7, 0, 2, 5, 8, 0, 3, 6, 9, 0, 10, 11, 12, 1};
    for (int k = 0; k < 16; ++k) EXPECT_EQ(m.m[k], expected[k]) << "element " << k;
}

TEST(Matrix, ProductAppliesRightOperandFirstAndIgnoresBottomRows) {
    Matrix4 translate = makeAffine(1, 0, 0, 0, 1, 0, 0, 0, 1, 5, 0, 0);
    Matrix4 scale = makeAffine(2, 0, 0, 0, 2, 0, 0, 0, 2, 0, 0, 0);
    // Garbage in the bottom rows must not be read.
    translate.m[3] = 7; translate.m[7] = -3; translate.m[15] = 9;
    scale.m[11] = 4; scale.m[15] = 0;
    Matrix4 ts = multiplyAffine(translate, scale);  // scale, then translate
    Matrix4 st = multiplyAffine(scale, translate);  // translate, then scale
    EXPECT_FLOAT_EQ(ts.m[0], 2);
    EXPECT_FLOAT_EQ(ts.m[12], 5);
    EXPECT_FLOAT_EQ(st.m[12], 10);
    for (const Matrix4* r : {&ts, &st}) {
        EXPECT_EQ(r->m[3], 0); EXPECT_EQ(r->m[7], 0); EXPECT_EQ(r->m[11], 0);
        EXPECT_EQ(r->m[15], 1);
    }
}

TEST(Matrix, InverseUndoesTheMatrixAndReversesProducts) {
    Matrix4 a = sampleA(), b = sampleB();
    expectMatrixNear(multiplyAffine(a, inverseAffine(a)), identity());
    expectMatrixNear(multiplyAffine(inverseAffine(b), b), identity());
    expectMatrixNear(inverseAffine(multiplyAffine(a, b)),
                     multiplyAffine(inverseAffine(b), inverseAffine(a)), 1e-4f);
}

TEST(Matrix, SingularInverseIsTheIdentityNotNaN) {
    Matrix4 flat = makeAffine(1, 0, 0, 0, 1, 0, 0, 0, 0, 3, 4, 5);  // squashes z
    expectMatrixNear(inverseAffine(flat), identity(), 0);
    Matrix4 zero = makeAffine(0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1);
    expectMatrixNear(inverseAffine(zero), identity(), 0);
    // Not exactly singular, but the inverse overflows a float.
    Matrix4 tiny = makeAffine(1e-20f, 0, 0, 0, 1e-20f, 0, 0, 0, 1e-20f, 1, 0, 0);
    expectFinite(inverseAffine(tiny));
}

TEST(CameraView, DefaultCameraIsIdentity) {
    Camera camera;
    expectMatrixNear(camera.viewMatrix(), identity(), 0);
    StereoCamera stereo;
    stereo.setStereo(0, true);
    expectMatrixNear(stereo.viewMatrix(), identity(), 0);
}

TEST(CameraView, LookAtMovesTheTargetOntoMinusZ) {
    Camera camera;
    camera.setPosition({10, 5, -3});
    camera.setTarget({10, 5, -23});
    Matrix4 m = camera.viewMatrix();
    // The target lands 20 units straight ahead.
    float x = m.m[0] * 10 + m.m[4] * 5 + m.m[8] * -23 + m.m[12];
    float y = m.m[1] * 10 + m.m[5] * 5 + m.m[9] * -23 + m.m[13];
    float z = m.m[2] * 10 + m.m[6] * 5 + m.m[10] * -23 + m.m[14];
    EXPECT_NEAR(x, 0, 1e-5f);
    EXPECT_NEAR(y, 0, 1e-5f);
    EXPECT_NEAR(z, -20, 1e-5f);
}

TEST(CameraView, SetDirectionIsRelativeToThePosition) {
    Camera camera;
    camera.setPosition({3, 2, 1});
    camera.setDirection({0, 0, -1});
    EXPECT_FLOAT_EQ(camera.target.x, 3);
    EXPECT_FLOAT_EQ(camera.target.y, 2);
    EXPECT_FLOAT_EQ(camera.target.z, 0);
}

TEST(CameraView, TiltedViewShrinksByTheCosine) {
    Camera camera;
    const float angle = 60.0f * 3.14159265f / 180.0f;
    camera.setDirection({0, std::sin(angle), -std::cos(angle)});
    Matrix4 m = camera.viewMatrix();
    EXPECT_NEAR(rowLength(m, 0), 0.5f, 1e-5f);  // s
    EXPECT_NEAR(rowLength(m, 1), 0.5f, 1e-5f);  // u
    EXPECT_NEAR(rowLength(m, 2), 1.0f, 1e-5f);  // -n stays unit length
    EXPECT_FLOAT_EQ(camera.up.y, 1);
}

TEST(CameraView, StereoEyesShiftAlongTheSideVector) {
    StereoCamera camera;
    camera.setPosition({0, 0, 5});
    camera.setTarget({0, 0, 0});
    Matrix4 base = camera.Camera::viewMatrix();
    camera.setStereo(1.0f, true);
    Matrix4 red = camera.viewMatrix();
    camera.setStereo(1.0f, false);
    Matrix4 cyan = camera.viewMatrix();
    EXPECT_NEAR(red.m[12] - base.m[12], -1.0f, 1e-6f);
    EXPECT_NEAR(cyan.m[12] - base.m[12], 1.0f, 1e-6f);
    for (int k = 0; k < 12; ++k) {
        EXPECT_EQ(red.m[k], base.m[k]) << "orientation element " << k;
        EXPECT_EQ(cyan.m[k], base.m[k]) << "orientation element " << k;
    }
    EXPECT_FLOAT_EQ(red.m[13], base.m[13]);
    EXPECT_FLOAT_EQ(red.m[14], base.m[14]);

    // A negative separation hands the other view to the red eye.
    camera.setStereo(-1.0f, true);
    EXPECT_NEAR(camera.viewMatrix().m[12], cyan.m[12], 1e-6f);
}

TEST(CameraView, StereoOffsetShrinksWithTheTilt) {
    StereoCamera camera;
    const float angle = 60.0f * 3.14159265f / 180.0f;
    camera.setDirection({0, std::sin(angle), -std::cos(angle)});
    camera.setStereo(2.0f, true);
    // The eye moves by s * 2 with |s| = 0.5, and lands in eye space scaled by |s| again.
    EXPECT_NEAR(camera.viewMatrix().m[12], -0.5f, 1e-5f);
}

TEST(CameraView, DegenerateViewsStayFinite) {
    StereoCamera camera;
    camera.setPosition({4, 5, 6});
    camera.setTarget({4, 5, 6});
    camera.setStereo(3.0f, false);
    Matrix4 same = camera.viewMatrix();
    expectFinite(same);
    // Falls back to looking down -z from the position.
    Matrix4 expected = makeAffine(1, 0, 0, 0, 1, 0, 0, 0, 1, -4 + 3, -5, -6);
    expectMatrixNear(same, expected);
    expectFinite(camera.Camera::viewMatrix());

    // Straight up: the side vector vanishes; the view collapses but holds no NaN.
    camera.setTarget({4, 50, 6});
    expectFinite(camera.viewMatrix());
    expectFinite(camera.Camera::viewMatrix());

    // Coordinates whose difference overflows.
    camera.setPosition({-3e38f, 0, 0});
    camera.setTarget({3e38f, 0, 0});
    Matrix4 huge = camera.viewMatrix();
    for (int k = 0; k < 12; ++k) EXPECT_TRUE(std::isfinite(huge.m[k])) << "element " << k;
}
