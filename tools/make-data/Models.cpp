// The AML models. "puolipallo": a hemisphere shell (outer and inner surface joined by a
// rim), pole on +z and rim in the plane z = 0, so two copies facing apart close into a
// ball. "laser": eight upright mirrors round the y axis between a mirror floor and a
// mirror ring on top, about 15 units high; the laser scene's beams start inside it.
#include "DataSet.h"
#include "core/Vec3.h"
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
    // A flat quad with its own four positions; corners counter-clockwise seen from the
    // side the normal points to.
    void addFlatQuad(const Vec3 (&corner)[4], const Vec3& normal, float repeatU, float repeatV) {
        const float uv[4][2] = {{0, 0}, {repeatU, 0}, {repeatU, repeatV}, {0, repeatV}};
        uint16_t v[4];
        for (int i = 0; i < 4; ++i) v[i] = addVertex(addPosition(corner[i]), normal, uv[i][0], uv[i][1]);
        addQuad(v[0], v[1], v[2], v[3]);
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

Model buildLaser() {
    const int panels = 8;
    const float radius = 7.0f;       // of the panels' centre lines
    const float panelWidth = 4.5f;   // leaves slits between the panels
    const float yaw = 2.0f * kPi / 180.0f;  // turned a little off the tangent
    const float firstAngle = 40.4f * kPi / 180.0f;  // the beams' first hit is mid-panel
    const float bottom = 4.0f, top = 19.0f;  // the beams start at 18.5, just below the top
    const float rimRadius = 8.0f, hole = 2.2f;
    MeshBuilder builder;
    for (int k = 0; k < panels; ++k) {
        const float angle = firstAngle + 2.0f * kPi * k / panels;
        const Vec3 centre(radius * std::cos(angle), 0, radius * std::sin(angle));
        const float along = angle + 0.5f * kPi + yaw;
        const Vec3 half(std::cos(along) * panelWidth * 0.5f, 0, std::sin(along) * panelWidth * 0.5f);
        const Vec3 a = centre - half, b = centre + half;
        const Vec3 corners[4] = {{a.x, bottom, a.z}, {b.x, bottom, b.z}, {b.x, top, b.z}, {a.x, top, a.z}};
        Vec3 inward = (corners[1] - corners[0]).cross(corners[3] - corners[0]);
        inward.normalize();
        builder.addFlatQuad(corners, inward, 1, 3);
    }
    // Floor and top ring, one sector per panel; the floor's centre is shared.
    const uint16_t floorCentre = builder.addVertex(builder.addPosition({0, bottom, 0}), {0, 1, 0}, 0.5f, 0.5f);
    for (int k = 0; k < panels; ++k) {
        const float a0 = 2.0f * kPi * k / panels, a1 = 2.0f * kPi * (k + 1) / panels;
        const Vec3 out0(std::cos(a0), 0, std::sin(a0)), out1(std::cos(a1), 0, std::sin(a1));
        const Vec3 base(0, bottom, 0);
        const uint16_t f1 = builder.addVertex(builder.addPosition(base + out1 * rimRadius), {0, 1, 0},
                                              0.5f + out1.x, 0.5f + out1.z);
        const uint16_t f0 = builder.addVertex(builder.addPosition(base + out0 * rimRadius), {0, 1, 0},
                                              0.5f + out0.x, 0.5f + out0.z);
        builder.addTriangle(floorCentre, f1, f0);
        const Vec3 y(0, top, 0);
        const Vec3 ring[4] = {y + out0 * hole, y + out1 * hole, y + out1 * rimRadius, y + out0 * rimRadius};
        builder.addFlatQuad(ring, {0, -1, 0}, 1, 0.5f);
    }
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
