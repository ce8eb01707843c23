// Mesh layout, position resolving, normals and tangents on the CPU, and the buffer
// objects and vertex arrays that draw a mesh with one indexed call. Degenerate
// triangles add nothing to normals or tangents, so no NaN ever reaches the records.
#include "models/Model.h"

#include "core/Fatal.h"
#include "core/Vec3.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int kPositionType = 0;
constexpr int kPositionIndexType = 1;
constexpr int kNormalType = 2;
constexpr int kPrimaryColorType = 4;
constexpr int kSecondaryColorType = 5;
constexpr int kFirstTexCoordType = 6;  // 6 + u: texture unit u, u = 0..7
constexpr int kTangentType = 10;
constexpr int kBitangentType = 11;

Vec3 loadVec3(const float* p) { return {p[0], p[1], p[2]}; }
void storeVec3(float* p, const Vec3& v) {
    p[0] = v.x;
    p[1] = v.y;
    p[2] = v.z;
}

// A vector scaled to unit length, or zero when it has no usable direction.
Vec3 unitOrZero(const Vec3& v) {
    float length = v.length();
    if (!(length > 0.0f) || !std::isfinite(length)) return {};
    return v * (1.0f / length);
}

const void* bufferOffset(int components) {
    return reinterpret_cast<const void*>(static_cast<uintptr_t>(components) * 4);
}

}  // namespace

Mesh::Mesh() {
    for (int i = 0; i < 16; ++i) {
        attributeComponents[i] = 0;
        attributeTypes[i] = -1;
        slotOfType[i] = -1;
    }
}

int Mesh::offsetOf(int type) const {
    if (type < 0 || type > 15 || slotOfType[type] < 0) return -1;
    int offset = 0;
    for (int i = 0; i < slotOfType[type]; ++i) offset += attributeComponents[i];
    return offset;
}

void Mesh::updateLayout() {
    stride = 0;
    for (int i = 0; i < attributeCount; ++i) stride += attributeComponents[i];
    for (int& slot : slotOfType) slot = -1;
    for (int i = 0; i < attributeCount; ++i) {
        int type = attributeTypes[i];
        // Any type outside the table would index past slotOfType.
        if (type < 0 || type > 15) {
            std::printf("Error! Attrib type[%d] = %d\n", i, type);
            std::fflush(stdout);
            std::exit(1);
        }
        slotOfType[type] = i;
    }
}

void Mesh::resolvePositions() {
    if (slotOfType[kPositionIndexType] != 0) return;  // resolved already, or nothing to resolve
    int newStride = stride + 2;
    std::vector<float> records(static_cast<size_t>(newStride) * vertexCount);
    for (int v = 0; v < vertexCount; ++v) {
        const float* from = &vertexData[static_cast<size_t>(v) * stride];
        float* to = &records[static_cast<size_t>(v) * newStride];
        uint32_t position;
        std::memcpy(&position, from, 4);
        if (position >= static_cast<uint32_t>(positionCount)) {
            fatalError("Mesh vertex %d uses position %u of %d.", v, position, positionCount);
        }
        std::memcpy(to, &positions[static_cast<size_t>(position) * 3], 3 * sizeof(float));
        std::memcpy(to + 3, from + 1, static_cast<size_t>(stride - 1) * sizeof(float));
    }
    vertexData.swap(records);
    std::vector<float>().swap(positions);
    positionCount = 0;
    attributeTypes[0] = kPositionType;
    attributeComponents[0] = 3;
    updateLayout();
}

void Mesh::addAttribute(int type, int components) {
    if (slotOfType[type] != -1) return;
    if (attributeCount == 16) {
        fatalError("Cannot add attribute type %d: the mesh has 16 attributes already.", type);
    }
    int newStride = stride + components;
    std::vector<float> records(static_cast<size_t>(newStride) * vertexCount, 0.0f);
    for (int v = 0; v < vertexCount; ++v) {
        std::memcpy(&records[static_cast<size_t>(v) * newStride],
                    &vertexData[static_cast<size_t>(v) * stride],
                    static_cast<size_t>(stride) * sizeof(float));
    }
    vertexData.swap(records);
    attributeTypes[attributeCount] = type;
    attributeComponents[attributeCount] = components;
    ++attributeCount;
    updateLayout();
}

namespace {

// Offset of a 3-vector attribute, fatal when the mesh carries it with fewer components
// (writing three would run into the next attribute).
int vectorOffset(const Mesh& mesh, int type) {
    int offset = mesh.offsetOf(type);
    if (offset < 0 || mesh.attributeComponents[mesh.slotOfType[type]] < 3) {
        fatalError("Mesh attribute type %d is not a 3-component vector.", type);
    }
    return offset;
}

}  // namespace

void Mesh::computeNormals() {
    addAttribute(kNormalType, 3);
    int normal = vectorOffset(*this, kNormalType);
    float* data = vertexData.data();
    for (int v = 0; v < vertexCount; ++v) storeVec3(data + v * stride + normal, {});
    for (int t = 0; t < triangleCount; ++t) {
        const uint16_t* tri = &indices[static_cast<size_t>(t) * 3];
        Vec3 p0 = loadVec3(data + tri[0] * stride);
        Vec3 p1 = loadVec3(data + tri[1] * stride);
        Vec3 p2 = loadVec3(data + tri[2] * stride);
        Vec3 face = unitOrZero((p1 - p0).cross(p2 - p0));
        for (int k = 0; k < 3; ++k) {
            float* n = data + tri[k] * stride + normal;
            storeVec3(n, loadVec3(n) + face);
        }
    }
    for (int v = 0; v < vertexCount; ++v) {
        float* n = data + v * stride + normal;
        storeVec3(n, unitOrZero(loadVec3(n)));
    }
}

void Mesh::computeTangents() {
    if (slotOfType[kFirstTexCoordType] < 0 || attributeComponents[slotOfType[kFirstTexCoordType]] < 2) {
        fatalError("Cannot compute tangents: the mesh has no 2-component texture coordinates of unit 0.");
    }
    if (slotOfType[kNormalType] < 0) computeNormals();
    addAttribute(kTangentType, 3);
    addAttribute(kBitangentType, 3);
    int normal = vectorOffset(*this, kNormalType);
    int tangent = vectorOffset(*this, kTangentType);
    int bitangent = vectorOffset(*this, kBitangentType);
    int texCoord = offsetOf(kFirstTexCoordType);
    float* data = vertexData.data();
    for (int v = 0; v < vertexCount; ++v) {
        storeVec3(data + v * stride + tangent, {});
        storeVec3(data + v * stride + bitangent, {});
    }
    for (int t = 0; t < triangleCount; ++t) {
        const uint16_t* tri = &indices[static_cast<size_t>(t) * 3];
        const float* r0 = data + tri[0] * stride;
        const float* r1 = data + tri[1] * stride;
        const float* r2 = data + tri[2] * stride;
        Vec3 e1 = loadVec3(r1) - loadVec3(r0);
        Vec3 e2 = loadVec3(r2) - loadVec3(r0);
        float ds1 = r1[texCoord] - r0[texCoord], dt1 = r1[texCoord + 1] - r0[texCoord + 1];
        float ds2 = r2[texCoord] - r0[texCoord], dt2 = r2[texCoord + 1] - r0[texCoord + 1];
        float determinant = ds1 * dt2 - ds2 * dt1;
        float r = 1.0f / determinant;
        if (!std::isfinite(r)) continue;  // texture coordinates span no area here
        Vec3 direction = (e1 * dt2 - e2 * dt1) * r;
        if (!std::isfinite(direction.x + direction.y + direction.z)) continue;
        for (int k = 0; k < 3; ++k) {
            float* to = data + tri[k] * stride + tangent;
            storeVec3(to, loadVec3(to) + direction);
        }
    }
    for (int v = 0; v < vertexCount; ++v) {
        float* record = data + v * stride;
        Vec3 n = loadVec3(record + normal);
        Vec3 tan = loadVec3(record + tangent);
        tan -= n * n.dot(tan);
        tan = unitOrZero(tan);
        storeVec3(record + tangent, tan);
        storeVec3(record + bitangent, unitOrZero(n.cross(tan)));
    }
}

void Mesh::upload() {
    glGenBuffersARB(1, &vertexBuffer);
    glBindBufferARB(GL_ARRAY_BUFFER_ARB, vertexBuffer);
    glBufferDataARB(GL_ARRAY_BUFFER_ARB, static_cast<GLsizeiptrARB>(stride) * vertexCount * 4,
                    vertexData.data(), GL_STATIC_DRAW_ARB);
    glGenBuffersARB(1, &indexBuffer);
    glBindBufferARB(GL_ELEMENT_ARRAY_BUFFER_ARB, indexBuffer);
    glBufferDataARB(GL_ELEMENT_ARRAY_BUFFER_ARB, static_cast<GLsizeiptrARB>(triangleCount) * 6,
                    indices.data(), GL_STATIC_DRAW_ARB);
    // A buffer left bound would turn every later client-memory vertex pointer into an
    // offset into this mesh: the scenes' own vertex arrays would draw nothing.
    glBindBufferARB(GL_ELEMENT_ARRAY_BUFFER_ARB, 0);
    glBindBufferARB(GL_ARRAY_BUFFER_ARB, 0);
}

void Mesh::draw() const {
    // Nothing to draw before upload or without a resolved position.
    if (vertexBuffer == kNoBuffer || indexBuffer == kNoBuffer || slotOfType[kPositionType] < 0)
        return;
    glBindBufferARB(GL_ARRAY_BUFFER_ARB, vertexBuffer);
    glBindBufferARB(GL_ELEMENT_ARRAY_BUFFER_ARB, indexBuffer);
    GLsizei bytes = stride * 4;

    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(attributeComponents[slotOfType[kPositionType]], GL_FLOAT, bytes,
                    bufferOffset(offsetOf(kPositionType)));
    if (slotOfType[kNormalType] >= 0) {
        glEnableClientState(GL_NORMAL_ARRAY);
        glNormalPointer(GL_FLOAT, bytes, bufferOffset(offsetOf(kNormalType)));
    }
    if (slotOfType[kPrimaryColorType] >= 0) {
        glEnableClientState(GL_COLOR_ARRAY);
        glColorPointer(attributeComponents[slotOfType[kPrimaryColorType]], GL_FLOAT, bytes,
                       bufferOffset(offsetOf(kPrimaryColorType)));
    }
    if (slotOfType[kSecondaryColorType] >= 0) {
        glEnableClientState(GL_SECONDARY_COLOR_ARRAY);
        glSecondaryColorPointer(attributeComponents[slotOfType[kSecondaryColorType]], GL_FLOAT,
                                bytes, bufferOffset(offsetOf(kSecondaryColorType)));
    }
    // The tangent goes to the bound program's "tangent" input unless the caller chose a
    // location; with no program, or none that asks for it, the generic array stays off.
    GLint tangentAt = tangentLocation;
    if (tangentAt < 0 && slotOfType[kTangentType] >= 0) {
        GLint program = 0;
        glGetIntegerv(GL_CURRENT_PROGRAM, &program);
        if (program != 0) tangentAt = glGetAttribLocation(static_cast<GLuint>(program), "tangent");
    }
    if (tangentAt >= 0 && slotOfType[kTangentType] >= 0) {
        glEnableVertexAttribArray(tangentAt);
        glVertexAttribPointer(tangentAt, 3, GL_FLOAT, GL_TRUE, bytes,
                              bufferOffset(offsetOf(kTangentType)));
    }
    for (int unit = 0; unit < 8; ++unit) {
        int type = kFirstTexCoordType + unit;
        if (slotOfType[type] < 0) continue;
        glClientActiveTexture(GL_TEXTURE0 + unit);
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glTexCoordPointer(attributeComponents[slotOfType[type]], GL_FLOAT, bytes,
                          bufferOffset(offsetOf(type)));
    }

    glDrawRangeElementsEXT(GL_TRIANGLES, 0, vertexCount, 3 * triangleCount, GL_UNSIGNED_SHORT,
                           nullptr);

    glBindBufferARB(GL_ELEMENT_ARRAY_BUFFER_ARB, 0);
    glBindBufferARB(GL_ARRAY_BUFFER_ARB, 0);
    glDisableClientState(GL_VERTEX_ARRAY);
    glDisableClientState(GL_NORMAL_ARRAY);
    glDisableClientState(GL_COLOR_ARRAY);
    glDisableClientState(GL_SECONDARY_COLOR_ARRAY);
    glDisableVertexAttribArray(0);
    glDisableVertexAttribArray(1);
    if (tangentAt > 1 && slotOfType[kTangentType] >= 0) glDisableVertexAttribArray(tangentAt);
    for (int unit = 7; unit >= 0; --unit) {
        glClientActiveTexture(GL_TEXTURE0 + unit);
        glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    }
}

void Model::computeNormals() {
    for (Mesh& mesh : meshes) mesh.computeNormals();
}

void Model::computeTangents() {
    for (Mesh& mesh : meshes) mesh.computeTangents();
}

void Model::upload() {
    for (Mesh& mesh : meshes) mesh.upload();
}

void Model::draw() const {
    for (const Mesh& mesh : meshes) mesh.draw();
}
