// The AML models. "puolipallo": a hemisphere shell (outer and inner surface joined by a
// rim), pole on +z and rim in the plane z = 0, so two copies facing apart close into a
// ball. "laser": seven upright mirrors standing round the laser scene's camera path, turned
// so that its beams run round a seven-pointed star in front of the camera, and two floor
// mirrors under the beams' first descent.
#include "DataSet.h"
#include "core/Vec3.h"
#include "effects/LaserTrace.h"
#include "models/Model.h"

#include <cmath>
#include <cstring>

namespace {

constexpr float kPi = 3.14159265f;

// Collects positions, vertex records (position index, normal, texture coordinates of
// unit 0) and triangles, and turns them into a mesh as an AML file stores it.
class MeshBuilder {
public:
    uint32_t addPosition(const Vec3& p) {
        positions_.push_back(p);
        return static_cast<uint32_t>(positions_.size() - 1);
    }
    uint16_t addVertex(uint32_t position, const Vec3& normal, float u, float v) {
        vertices_.push_back({position, normal, u, v});
        return static_cast<uint16_t>(vertices_.size() - 1);
    }
    void addTriangle(uint16_t a, uint16_t b, uint16_t c) { indices_.insert(indices_.end(), {a, b, c}); }
    // Two triangles a-b-c and a-c-d.
    void addQuad(uint16_t a, uint16_t b, uint16_t c, uint16_t d) {
        addTriangle(a, b, c);
        addTriangle(a, c, d);
    }
    bool fits() const { return vertices_.size() <= 0xFFFF && indices_.size() / 3 <= 0xFFFF; }

    Mesh build() const {
        Mesh mesh;
        mesh.positionCount = static_cast<int>(positions_.size());
        mesh.vertexCount = static_cast<int>(vertices_.size());
        mesh.triangleCount = static_cast<int>(indices_.size() / 3);
        mesh.attributeCount = 3;
        const int types[3] = {1, 2, 6}, components[3] = {1, 3, 2};
        for (int i = 0; i < 3; ++i) {
            mesh.attributeTypes[i] = types[i];
            mesh.attributeComponents[i] = components[i];
        }
        for (const Vec3& p : positions_) mesh.positions.insert(mesh.positions.end(), {p.x, p.y, p.z});
        for (const Vertex& v : vertices_) {
            float index;
            std::memcpy(&index, &v.position, sizeof index);  // a 32-bit integer, bit for bit
            mesh.vertexData.insert(mesh.vertexData.end(),
                                   {index, v.normal.x, v.normal.y, v.normal.z, v.u, v.v});
        }
        mesh.indices = indices_;
        mesh.updateLayout();
        return mesh;
    }

private:
    struct Vertex {
        uint32_t position;
        Vec3 normal;
        float u, v;
    };
    std::vector<Vec3> positions_;
    std::vector<Vertex> vertices_;
    std::vector<uint16_t> indices_;
};

// One surface of the shell: rings from the pole (ring 0) to the rim (ring `rings`).
// The pole is one position; the seam's first and last columns share positions and
// differ only in u.
std::vector<uint32_t> addDome(MeshBuilder& builder, float radius, float normalSign, int rings,
                              int segments, std::vector<uint16_t>& vertices) {
    std::vector<uint32_t> positionOf((rings + 1) * (segments + 1));
    const size_t base = vertices.size();
    const uint32_t pole = builder.addPosition({0, 0, radius});
    for (int r = 0; r <= rings; ++r) {
        const float polar = 0.5f * kPi * r / rings;
        for (int s = 0; s <= segments; ++s) {
            const float azimuth = 2.0f * kPi * (s % segments) / segments;
            const Vec3 direction(std::sin(polar) * std::cos(azimuth),
                                 std::sin(polar) * std::sin(azimuth), std::cos(polar));
            uint32_t& position = positionOf[r * (segments + 1) + s];
            if (r == 0) {
                position = pole;
            } else if (s == segments) {
                position = positionOf[r * (segments + 1)];
            } else {
                position = builder.addPosition(direction * radius);
            }
            vertices.push_back(builder.addVertex(position, direction * normalSign,
                                                 static_cast<float>(s) / segments,
                                                 static_cast<float>(r) / rings));
        }
    }
    for (int r = 0; r < rings; ++r) {
        for (int s = 0; s < segments; ++s) {
            const uint16_t a = vertices[base + r * (segments + 1) + s];
            const uint16_t b = vertices[base + r * (segments + 1) + s + 1];
            const uint16_t c = vertices[base + (r + 1) * (segments + 1) + s + 1];
            const uint16_t d = vertices[base + (r + 1) * (segments + 1) + s];
            // Counter-clockwise seen from outside for the outer surface, from inside for the inner.
            if (normalSign > 0) {
                builder.addQuad(a, d, c, b);
            } else {
                builder.addQuad(a, b, c, d);
            }
        }
    }
    return positionOf;
}

Model buildPuolipallo() {
    const float outer = 30, inner = 27.5f;
    const int rings = 10, segments = 24;
    MeshBuilder builder;
    std::vector<uint16_t> vertices;
    const std::vector<uint32_t> outerPositions = addDome(builder, outer, 1, rings, segments, vertices);
    const std::vector<uint32_t> innerPositions = addDome(builder, inner, -1, rings, segments, vertices);
    // The rim: a flat ring facing -z, reusing the rim positions of both surfaces.
    const int rim = rings * (segments + 1);
    std::vector<uint16_t> outerRim, innerRim;
    for (int s = 0; s <= segments; ++s) {
        const float u = static_cast<float>(s) / segments;
        outerRim.push_back(builder.addVertex(outerPositions[rim + s], {0, 0, -1}, u, 1));
        innerRim.push_back(builder.addVertex(innerPositions[rim + s], {0, 0, -1}, u, 0.9f));
    }
    for (int s = 0; s < segments; ++s) builder.addQuad(outerRim[s], innerRim[s], innerRim[s + 1], outerRim[s + 1]);
    Model model;
    model.meshes.push_back(builder.build());
    return model;
}

// A mirror quad from four corners, counter-clockwise seen from the side the normal
// points to, with texture coordinates given per corner.
void addMirror(MeshBuilder& builder, const Vec3 (&corner)[4], const float (&uv)[4][2]) {
    Vec3 normal = (corner[1] - corner[0]).cross(corner[3] - corner[0]);
    normal.normalize();
    uint16_t v[4];
    for (int i = 0; i < 4; ++i) v[i] = builder.addVertex(builder.addPosition(corner[i]), normal, uv[i][0], uv[i][1]);
    builder.addQuad(v[0], v[1], v[2], v[3]);
}

// An upright mirror of the given width and height range, its middle at `middle` on the
// floor plane, facing `facing` (horizontal, unit length). The texture repeats every
// `tile` units, its middle column down the mirror's middle and its rows counted from
// the floor, so that the rows line up from mirror to mirror.
void addUprightMirror(MeshBuilder& builder, const Vec3& middle, const Vec3& facing, float width,
                      float bottom, float top, float tile) {
    const Vec3 along = Vec3(0, 1, 0).cross(facing) * (0.5f * width);
    const Vec3 left = middle - along, right = middle + along;
    const Vec3 quad[4] = {{left.x, bottom, left.z}, {right.x, bottom, right.z},
                          {right.x, top, right.z}, {left.x, top, left.z}};
    const float u0 = 0.5f - 0.5f * width / tile, u1 = 0.5f + 0.5f * width / tile;
    const float v0 = bottom / tile, v1 = top / tile;
    const float uv[4][2] = {{u0, v0}, {u1, v0}, {u1, v1}, {u0, v1}};
    addMirror(builder, quad, uv);
}

// A flat mirror on the floor (y = 0) along the segment a-b, `halfWidth` to either side,
// facing up and tiled in world x and z.
void addFloorStrip(MeshBuilder& builder, const Vec3& a, const Vec3& b, float halfWidth, float tile) {
    const Vec3 side = (b - a).cross(Vec3(0, 1, 0)).normalized() * halfWidth;
    const Vec3 quad[4] = {a - side, a + side, b + side, b - side};
    float uv[4][2];
    for (int i = 0; i < 4; ++i) {
        uv[i][0] = quad[i].x / tile;
        uv[i][1] = quad[i].z / tile;
    }
    addMirror(builder, quad, uv);
}

Model buildLaser() {
    const int slabs = 7;
    const int step = 3;            // slabs the course skips: the chords make a star {7/3}
    const float radius = 22.0f;    // of the slabs' middles; the camera circles at 16.5
    const float width = 10.0f;     // leaves gaps about as wide, which keep the frame cheap
    const float top = 30.0f;       // the beams start at 18.5 and leave over the top
    const float floorHalfWidth = 2.5f;
    const float tile = 16.0f;      // world units per repeat of the texture
    // Every beam leaves the start with the same heading in plan; only its slope swings
    // with time. An upright mirror turns the heading in plan whatever the slope, and a
    // level floor only flips the slope, so all five beams share one course seen from
    // above, and the slabs are turned to send it round the star.
    const Vec3 start(kLaserStart.x, 0, kLaserStart.z), heading = Vec3(1, 0, 1).normalized();
    const float b = start.dot(heading);
    const float reach = -b + std::sqrt(b * b - start.dot(start) + radius * radius);
    const Vec3 first = start + heading * reach;  // where the heading meets the slabs' circle
    const float firstAngle = std::atan2(first.z, first.x);
    std::vector<Vec3> course = {start};
    for (int k = 0; k <= slabs; ++k) {
        const float angle = firstAngle + 2.0f * kPi * static_cast<float>((k * step) % slabs) / slabs;
        course.push_back({radius * std::cos(angle), 0, radius * std::sin(angle)});
    }
    MeshBuilder builder;
    for (int k = 1; k <= slabs; ++k) {
        // A mirror's normal halves the angle between the way in and the way out.
        const Vec3 facing =
            ((course[k - 1] - course[k]).normalized() + (course[k + 1] - course[k]).normalized()).normalized();
        addUprightMirror(builder, course[k], facing, width, 0.0f, top, tile);
    }
    // The steeper beams reach the floor before the first slab or just after it.
    for (int k = 0; k < 2; ++k) addFloorStrip(builder, course[k], course[k + 1], floorHalfWidth, tile);
    Model model;
    model.meshes.push_back(builder.build());
    return model;
}

bool save(const Model& model, const std::string& path, std::string& error) {
    if (!writeAml(model, path.c_str())) {
        error = "cannot write " + path;
        return false;
    }
    return true;
}

}  // namespace

bool makePuolipalloModel(const std::string& dir, std::string& error) {
    return save(buildPuolipallo(), dir + "/puolipallo.aml", error);
}
bool makeLaserModel(const std::string& dir, std::string& error) {
    return save(buildLaser(), dir + "/laser.aml", error);
}
