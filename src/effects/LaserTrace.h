// Beams traced through mirror models: rays against every triangle of every instance
// (no acceleration structure), reflected off what they hit. Distances are in world
// units; a mesh's vertex records carry their position in the first three components.
#pragma once

#include "core/Vec3.h"
#include "effects/Camera.h"
#include "models/Model.h"

#include <vector>

// One point of a beam: the start, a mirror hit or the escape point.
struct LaserHit {
    float distance;  // length of the segment ending here; 0 at the start, 1000 on escape
    Vec3 point;
    Vec3 normal;     // unit length at a hit; zero at the start and on escape
};

struct LaserPath {
    LaserPath() { hits.reserve(16); }
    std::vector<LaserHit> hits;  // start first; between 2 and bounce limit + 1 records
};

struct RayInstance {
    const Model* model;
    Matrix4 world;    // model space to world space
    Matrix4 inverse;  // world space to model space
};

class RayScene {
public:
    RayScene() { instances.reserve(16); }

    // The model must outlive the scene; registry entries do.
    void addInstance(const Model& model);  // identity placement
    // Placed by an affine model-to-world matrix, which must be invertible.
    void addInstance(const Model& model, const Matrix4& world);

    // Nearest hit of the ray over all instances; `direction` need not be unit length
    // for the test itself, but the reported distance is measured in world units.
    bool intersect(const Vec3& origin, const Vec3& direction, LaserHit& hit) const;

    // Fills `path` (cleared first) with the start and each reflection, at most
    // `bounceLimit` intersections; a miss ends the path with an escape record.
    // `direction` must be unit length.
    void trace(const Vec3& start, const Vec3& direction, int bounceLimit, LaserPath& path) const;

    std::vector<RayInstance> instances;
};

// The laser scene's five beams: all leave one point above the mirrors, beam i along
// normalise(1, sin(0.12 t) - 0.25 i, 1), and reflect at most ten times.
constexpr int kLaserBeamCount = 5;
constexpr int kLaserBounceLimit = 10;
const Vec3 kLaserStart{-0.5f, 18.5f, -1.3f};
void traceLaserBeams(const RayScene& scene, float time, LaserPath (&paths)[kLaserBeamCount]);

// Ray origin + t * direction against triangle (a, b, c). Points on an edge or a corner
// never hit; tmin <= t <= tmax does. On a hit, `t` and the unit normal of
// (b - a) x (c - a) are filled in.
bool rayTriangle(const Vec3& a, const Vec3& b, const Vec3& c, const Vec3& origin,
                 const Vec3& direction, float tmin, float tmax, float& t, Vec3& normal);
