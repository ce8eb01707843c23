// Mesh preparation on the CPU (attributes, normals, tangents, degenerate input) and
// drawing from buffer objects on llvmpipe, read back from the framebuffer.
#include "TestSupport.h"
#include "core/Vec3.h"
#include "effects/Engine.h"
#include "materials/ShaderManager.h"
#include "models/Model.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>

namespace {

// A resolved mesh: positions only, one record per point.
Mesh positionMesh(const std::vector<Vec3>& points, const std::vector<uint16_t>& triangles) {
    Mesh mesh;
    mesh.attributeCount = 1;
    mesh.attributeTypes[0] = 0;
    mesh.attributeComponents[0] = 3;
    mesh.vertexCount = static_cast<int>(points.size());
    mesh.triangleCount = static_cast<int>(triangles.size() / 3);
    for (const Vec3& p : points) mesh.vertexData.insert(mesh.vertexData.end(), {p.x, p.y, p.z});
    mesh.indices = triangles;
    mesh.updateLayout();
    return mesh;
}

Vec3 attributeOf(const Mesh& mesh, int vertex, int type) {
    const float* p = &mesh.vertexData[static_cast<size_t>(vertex) * mesh.stride + mesh.offsetOf(type)];
    return {p[0], p[1], p[2]};
}

void setAttribute(Mesh& mesh, int vertex, int type, std::initializer_list<float> values) {
    float* p = &mesh.vertexData[static_cast<size_t>(vertex) * mesh.stride + mesh.offsetOf(type)];
    for (float v : values) *p++ = v;
}

void expectNear(const Vec3& actual, const Vec3& expected, const char* what, int vertex) {
    EXPECT_NEAR(actual.x, expected.x, 1e-5f) << what << " of vertex " << vertex;
    EXPECT_NEAR(actual.y, expected.y, 1e-5f) << what << " of vertex " << vertex;
    EXPECT_NEAR(actual.z, expected.z, 1e-5f) << what << " of vertex " << vertex;
}

// The six faces of the unit cube [-1, 1]^3 as corner indices (bit 0: x, bit 1: y,
// bit 2: z), counter-clockwise seen from outside, each with its outward normal.
struct Face {
    std::array<int, 4> corners;
    Vec3 normal;
};
const std::array<Face, 6> kCubeFaces = {{
    {{1, 3, 7, 5}, {1, 0, 0}},  {{0, 4, 6, 2}, {-1, 0, 0}}, {{2, 6, 7, 3}, {0, 1, 0}},
    {{0, 1, 5, 4}, {0, -1, 0}}, {{4, 5, 7, 6}, {0, 0, 1}},  {{0, 2, 3, 1}, {0, 0, -1}},
}};

Vec3 cubeCorner(int c) { return {c & 1 ? 1.0f : -1.0f, c & 2 ? 1.0f : -1.0f, c & 4 ? 1.0f : -1.0f}; }

TEST(MeshAttributes, AddedAttributeGoesBehindEveryRecordOnce) {
    Mesh mesh = positionMesh({{1, 2, 3}, {4, 5, 6}}, {});
    mesh.addAttribute(6, 2);
    EXPECT_EQ(mesh.stride, 5);
    EXPECT_EQ(mesh.attributeCount, 2);
    EXPECT_EQ(mesh.slotOfType[6], 1);
    EXPECT_EQ(mesh.offsetOf(6), 3);
    setAttribute(mesh, 1, 6, {7, 8});
    std::vector<float> before = mesh.vertexData;
    EXPECT_EQ(before, (std::vector<float>{1, 2, 3, 0, 0, 4, 5, 6, 7, 8}));

    mesh.addAttribute(6, 4);  // present already: nothing changes
    EXPECT_EQ(mesh.stride, 5);
    EXPECT_EQ(mesh.attributeCount, 2);
    EXPECT_EQ(mesh.vertexData, before);

    mesh.addAttribute(4, 3);
    EXPECT_EQ(mesh.stride, 8);
    EXPECT_EQ(mesh.slotOfType[4], 2);
    EXPECT_EQ(mesh.offsetOf(4), 5);
    EXPECT_EQ(mesh.vertexData[8 + 3], 7.0f);
    EXPECT_EQ(mesh.vertexData[8 + 4], 8.0f);
}

TEST(MeshNormals, SplitCubeCornersGetTheirFaceNormal) {
    std::vector<Vec3> points;
    std::vector<uint16_t> triangles;
    for (const Face& face : kCubeFaces) {
        uint16_t base = static_cast<uint16_t>(points.size());
        for (int c : face.corners) points.push_back(cubeCorner(c));
        triangles.insert(triangles.end(), {base, uint16_t(base + 1), uint16_t(base + 2), base,
                                           uint16_t(base + 2), uint16_t(base + 3)});
    }
    Mesh mesh = positionMesh(points, triangles);
    mesh.addAttribute(2, 3);
    mesh.computeNormals();
    for (int v = 0; v < mesh.vertexCount; ++v) {
        expectNear(attributeOf(mesh, v, 2), kCubeFaces[v / 4].normal, "normal", v);
    }
}

TEST(MeshNormals, SharedCubeCornersSumTheirTriangles) {
    std::vector<Vec3> points;
    for (int c = 0; c < 8; ++c) points.push_back(cubeCorner(c));
    // Each face splits along its diagonal from corner 0 to corner 2 of the quad, so
    // those two corners touch two of its triangles and the other two touch one.
    std::vector<uint16_t> triangles;
    std::array<Vec3, 8> expected;
    for (const Face& face : kCubeFaces) {
        const auto& q = face.corners;
        for (int i : {0, 1, 2, 0, 2, 3}) triangles.push_back(static_cast<uint16_t>(q[i]));
        expected[q[0]] += face.normal * 2;
        expected[q[1]] += face.normal;
        expected[q[2]] += face.normal * 2;
        expected[q[3]] += face.normal;
    }
    Mesh mesh = positionMesh(points, triangles);
    mesh.computeNormals();  // adds the normal attribute itself
    ASSERT_EQ(mesh.slotOfType[2], 1);
    for (int c = 0; c < 8; ++c) {
        Vec3 normal = attributeOf(mesh, c, 2);
        expectNear(normal, expected[c].normalized(), "normal", c);
        EXPECT_GT(normal.dot(cubeCorner(c)), 0.0f) << "corner " << c << " points inwards";
    }
}

// A unit quad in the x-y plane facing +z, texture coordinate s along `sAxis`.
Mesh flatQuad(bool sAlongX) {
    Mesh mesh = positionMesh({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {0, 1, 2, 0, 2, 3});
    mesh.addAttribute(2, 3);
    mesh.addAttribute(6, 2);
    for (int v = 0; v < 4; ++v) {
        Vec3 p = attributeOf(mesh, v, 0);
        setAttribute(mesh, v, 2, {0, 0, 1});
        if (sAlongX) setAttribute(mesh, v, 6, {p.x * 2, p.y});
        else setAttribute(mesh, v, 6, {p.y, 1 - p.x});
    }
    return mesh;
}

TEST(MeshTangents, FlatQuadFollowsItsTextureAxes) {
    Mesh mesh = flatQuad(true);
    mesh.computeTangents();
    ASSERT_EQ(mesh.slotOfType[10], 3);
    ASSERT_EQ(mesh.slotOfType[11], 4);
    EXPECT_EQ(mesh.stride, 14);
    for (int v = 0; v < 4; ++v) {
        expectNear(attributeOf(mesh, v, 10), {1, 0, 0}, "tangent", v);
        expectNear(attributeOf(mesh, v, 11), {0, 1, 0}, "bitangent", v);
        expectNear(attributeOf(mesh, v, 2), {0, 0, 1}, "normal", v);
    }

    // s running along +y, t along -x: the bitangent is normal x tangent.
    Mesh turned = flatQuad(false);
    turned.computeTangents();
    for (int v = 0; v < 4; ++v) {
        expectNear(attributeOf(turned, v, 10), {0, 1, 0}, "tangent", v);
        expectNear(attributeOf(turned, v, 11), {-1, 0, 0}, "bitangent", v);
    }
}

TEST(MeshDegenerate, ZeroAreaAndUnusedVerticesLeaveNoNaN) {
    // Triangle 0 has area; triangle 1 repeats a point; triangle 2 is a line; vertex 5
    // is used by no triangle. All texture coordinates of triangle 1 and 2 coincide.
    Mesh mesh = positionMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {2, 2, 2}, {3, 3, 3}, {9, 9, 9}},
                             {0, 1, 2, 3, 3, 4, 0, 3, 4});
    mesh.addAttribute(6, 2);
    setAttribute(mesh, 1, 6, {1, 0});
    setAttribute(mesh, 2, 6, {0, 1});
    mesh.computeNormals();
    mesh.computeTangents();
    for (float value : mesh.vertexData) ASSERT_FALSE(std::isnan(value));
    expectNear(attributeOf(mesh, 0, 2), {0, 0, 1}, "normal", 0);
    expectNear(attributeOf(mesh, 0, 10), {1, 0, 0}, "tangent", 0);
    for (int type : {2, 10, 11}) expectNear(attributeOf(mesh, 5, type), {0, 0, 0}, "unused", 5);
    expectNear(attributeOf(mesh, 3, 10), {0, 0, 0}, "tangent", 3);
}

TEST(MeshDeathTest, TangentsNeedTextureCoordinates) {
    Mesh mesh = positionMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {0, 1, 2});
    EXPECT_EXIT(mesh.computeTangents(), ::testing::ExitedWithCode(1),
                "no 2-component texture coordinates of unit 0");
}

// Fixed-function drawing straight into clip space, on a cleared black framebuffer.
class MeshDraw : public ::testing::Test {
protected:
    void SetUp() override {
        requireGLContext();
        glViewport(0, 0, 64, 64);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glDisable(GL_DEPTH_TEST);
        glDisable(GL_LIGHTING);
        glColor3f(1, 1, 1);
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
    }
    void TearDown() override {
        for (int unit = 0; unit < 3; ++unit) {
            glActiveTexture(GL_TEXTURE0 + unit);
            glDisable(GL_TEXTURE_2D);
        }
        glActiveTexture(GL_TEXTURE0);
    }

    // Two triangles over the whole view, plus the given attributes.
    static Mesh screenQuad() {
        return positionMesh({{-1, -1, 0}, {1, -1, 0}, {1, 1, 0}, {-1, 1, 0}}, {0, 1, 2, 0, 2, 3});
    }
    static std::array<int, 3> centre() {
        std::vector<uint8_t> rgb = readPixelsRGB(32, 32, 1, 1);
        return {rgb[0], rgb[1], rgb[2]};
    }
};

TEST_F(MeshDraw, ColouredMeshReachesTheFramebufferAndResetsArrayState) {
    Mesh mesh = screenQuad();
    mesh.addAttribute(4, 3);
    for (int v = 0; v < 4; ++v) setAttribute(mesh, v, 4, {0, 1, 0});
    mesh.upload();
    EXPECT_NE(mesh.vertexBuffer, kNoBuffer);
    EXPECT_NE(mesh.indexBuffer, kNoBuffer);
    // Set-up uploads before any scene draws from client memory: nothing may stay bound.
    GLint bound = -1;
    glGetIntegerv(GL_ARRAY_BUFFER_BINDING, &bound);
    EXPECT_EQ(bound, 0) << "upload left its vertex buffer bound";
    glGetIntegerv(GL_ELEMENT_ARRAY_BUFFER_BINDING, &bound);
    EXPECT_EQ(bound, 0) << "upload left its index buffer bound";
    Model model;
    model.meshes.push_back(mesh);
    model.draw();
    EXPECT_EQ(centre(), (std::array<int, 3>{0, 255, 0}));

    GLint binding = -1;
    glGetIntegerv(GL_ARRAY_BUFFER_BINDING, &binding);
    EXPECT_EQ(binding, 0);
    glGetIntegerv(GL_ELEMENT_ARRAY_BUFFER_BINDING, &binding);
    EXPECT_EQ(binding, 0);
    EXPECT_FALSE(glIsEnabled(GL_VERTEX_ARRAY));
    EXPECT_FALSE(glIsEnabled(GL_COLOR_ARRAY));
    glGetIntegerv(GL_CLIENT_ACTIVE_TEXTURE, &binding);
    EXPECT_EQ(binding, GL_TEXTURE0);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(MeshDraw, TextureCoordinatesOfTypeEightFeedUnitTwoOnly) {
    // Left texel red, right texel green; the mesh's coordinates pick the right one,
    // a unit left without an array would sample at (0, 0), the red one.
    const uint8_t texels[] = {255, 0, 0, 0, 255, 0};
    GLuint texture;
    glGenTextures(1, &texture);
    glActiveTexture(GL_TEXTURE2);
    glBindTexture(GL_TEXTURE_2D, texture);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, 2, 1, 0, GL_RGB, GL_UNSIGNED_BYTE, texels);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glEnable(GL_TEXTURE_2D);
    glActiveTexture(GL_TEXTURE0);

    Mesh mesh = screenQuad();
    mesh.addAttribute(8, 2);
    for (int v = 0; v < 4; ++v) setAttribute(mesh, v, 8, {0.75f, 0.5f});
    mesh.upload();
    mesh.draw();
    EXPECT_EQ(centre(), (std::array<int, 3>{0, 255, 0}));
    glDeleteTextures(1, &texture);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(MeshDraw, TangentsGoToTheBoundProgramsTangentInput) {
    ShaderManager shaders;
    shaders.createProgram("tangent-colour",
                          "attribute vec3 tangent;\nvarying vec3 t;\n"
                          "void main() { t = tangent; gl_Position = gl_Vertex; }\n",
                          "varying vec3 t;\nvoid main() { gl_FragColor = vec4(t, 1.0); }\n");
    Mesh mesh = flatQuad(true);
    for (int v = 0; v < 4; ++v) {  // stretch the quad over the whole view
        Vec3 p = attributeOf(mesh, v, 0);
        setAttribute(mesh, v, 0, {p.x * 2 - 1, p.y * 2 - 1, 0});
    }
    mesh.computeTangents();
    mesh.upload();

    shaders.use("tangent-colour");
    mesh.draw();
    EXPECT_EQ(centre(), (std::array<int, 3>{255, 0, 0}));
    shaders.unuse();

    // Without a program the tangent array stays off and nothing else is disturbed.
    glClear(GL_COLOR_BUFFER_BIT);
    mesh.draw();
    EXPECT_EQ(centre(), (std::array<int, 3>{255, 255, 255}));
    for (GLuint index = 0; index < 4; ++index) {
        GLint enabled = 1;
        glGetVertexAttribiv(index, GL_VERTEX_ATTRIB_ARRAY_ENABLED, &enabled);
        EXPECT_EQ(enabled, 0) << "generic array " << index;
    }
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(MeshDraw, MeshDrawnIntoARenderTargetReadsBack) {
    engine.textures.createTexture("meshTarget", 32, 32, nullptr, GL_RGBA8, GL_RGBA);
    RenderTargetRecord record;
    glGenFramebuffersEXT(1, &record.framebuffer);
    record.attachTexture(engine.textures, "meshTarget", GL_COLOR_ATTACHMENT0_EXT, GL_TEXTURE_2D);
    engine.renderTargets.addTarget("meshTarget", record);

    // A triangle over the lower-left half of the target, blue, on a red clear.
    Mesh mesh = positionMesh({{-1, -1, 0}, {1, -1, 0}, {-1, 1, 0}}, {0, 1, 2});
    mesh.addAttribute(4, 4);
    for (int v = 0; v < 3; ++v) setAttribute(mesh, v, 4, {0, 0, 1, 1});
    mesh.upload();
    engine.renderTargets.use("meshTarget");
    glClearColor(1, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    mesh.draw();
    std::vector<uint8_t> inside = readPixelsRGB(4, 4, 1, 1);
    std::vector<uint8_t> outside = readPixelsRGB(28, 28, 1, 1);
    engine.renderTargets.unuse();
    glClearColor(0, 0, 0, 1);
    EXPECT_EQ(inside, (std::vector<uint8_t>{0, 0, 255}));
    EXPECT_EQ(outside, (std::vector<uint8_t>{255, 0, 0}));
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(MeshDraw, ModelWithoutMeshesAndUnuploadedMeshDrawNothing) {
    Model empty;
    empty.draw();
    Model pending;
    pending.meshes.push_back(screenQuad());
    pending.draw();
    EXPECT_EQ(centre(), (std::array<int, 3>{0, 0, 0}));
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

}  // namespace
