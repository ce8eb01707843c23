// Ray casting against mirror models and the reflected beam paths of the laser scene.
#include "effects/LaserTrace.h"

#include <cmath>

namespace {

const float kNoHit = 999999.0f;     // "nothing hit yet" for distances and ray parameters
const float kRayStartOffset = 0.001f;  // keeps a reflected ray off the mirror it leaves
const float kEscapeLength = 1000.0f;

Matrix4 identityMatrix() {
    Matrix4 m{};
    m.m[0] = m.m[5] = m.m[10] = m.m[15] = 1.0f;
    return m;
}

Vec3 transformPoint(const Matrix4& m, const Vec3& p) {
    const float* e = m.m;
    return {e[0] * p.x + e[4] * p.y + e[8] * p.z + e[12],
            e[1] * p.x + e[5] * p.y + e[9] * p.z + e[13],
            e[2] * p.x + e[6] * p.y + e[10] * p.z + e[14]};
}

Vec3 transformVector(const Matrix4& m, const Vec3& v) {
    const float* e = m.m;
    return {e[0] * v.x + e[4] * v.y + e[8] * v.z,
            e[1] * v.x + e[5] * v.y + e[9] * v.z,
            e[2] * v.x + e[6] * v.y + e[10] * v.z};
}

// Normals go through the inverse transpose, so that they stay perpendicular to the
// mirror under any invertible placement, not only rotations and uniform scales.
Vec3 transformNormal(const Matrix4& inverse, const Vec3& n) {
    const float* e = inverse.m;
    return Vec3(e[0] * n.x + e[1] * n.y + e[2] * n.z,
                e[4] * n.x + e[5] * n.y + e[6] * n.z,
                e[8] * n.x + e[9] * n.y + e[10] * n.z)
        .normalized();
}

}  // namespace

bool rayTriangle(const Vec3& A, const Vec3& B, const Vec3& C, const Vec3& origin,
                 const Vec3& direction, float tmin, float tmax, float& t, Vec3& normal) {
    // Cramer's rule on beta (A - B) + gamma (A - C) + t D = A - O, in double so that
    // rays through an edge or a corner of float-exact geometry land exactly on 0 or 1.
    const double a = double(A.x) - B.x, b = double(A.y) - B.y, c = double(A.z) - B.z;
    const double d = double(A.x) - C.x, e = double(A.y) - C.y, f = double(A.z) - C.z;
    const double g = direction.x, h = direction.y, i = direction.z;
    const double j = double(A.x) - origin.x, k = double(A.y) - origin.y,
                 l = double(A.z) - origin.z;

    const double eiMinusHf = e * i - h * f;
    const double gfMinusDi = g * f - d * i;
    const double dhMinusEg = d * h - e * g;
    const double determinant = a * eiMinusHf + b * gfMinusDi + c * dhMinusEg;
    // A ray parallel to the plane (or a degenerate triangle) has no single crossing;
    // the comparisons below are also written so that a NaN rejects.
    if (determinant == 0.0) return false;
    const double inverse = 1.0 / determinant;

    const double beta = (j * eiMinusHf + k * gfMinusDi + l * dhMinusEg) * inverse;
    if (!(beta > 0.0 && beta < 1.0)) return false;

    const double akMinusJb = a * k - j * b;
    const double jcMinusAl = j * c - a * l;
    const double blMinusKc = b * l - k * c;
    const double gamma = (i * akMinusJb + h * jcMinusAl + g * blMinusKc) * inverse;
    if (!(gamma > 0.0 && beta + gamma < 1.0)) return false;

    const double tExact = -(f * akMinusJb + e * jcMinusAl + d * blMinusKc) * inverse;
    if (!(tExact >= tmin)) return false;
    const float tStored = static_cast<float>(tExact);
    if (!(tStored <= tmax)) return false;

    t = tStored;
    normal = (B - A).cross(C - A).normalized();
    return true;
}

void RayScene::addInstance(const Model& model) {
    instances.push_back({&model, identityMatrix(), identityMatrix()});
}

void RayScene::addInstance(const Model& model, const Matrix4& world) {
    instances.push_back({&model, world, inverseAffine(world)});
}

bool RayScene::intersect(const Vec3& origin, const Vec3& direction, LaserHit& hit) const {
    float bestDistance = kNoHit;
    bool found = false;
    for (const RayInstance& instance : instances) {
        const Vec3 localOrigin = transformPoint(instance.inverse, origin);
        const Vec3 localDirection = transformVector(instance.inverse, direction);
        float bestT = kNoHit;
        Vec3 localNormal;
        for (const Mesh& mesh : instance.model->meshes) {
            const float* vertices = mesh.vertexData.data();
            const uint16_t* corner = mesh.indices.data();
            const size_t stride = static_cast<size_t>(mesh.stride);
            for (int n = 0; n < mesh.triangleCount; ++n, corner += 3) {
                const float* pa = vertices + corner[0] * stride;
                const float* pb = vertices + corner[1] * stride;
                const float* pc = vertices + corner[2] * stride;
                float t;
                Vec3 normal;
                if (rayTriangle({pa[0], pa[1], pa[2]}, {pb[0], pb[1], pb[2]},
                                {pc[0], pc[1], pc[2]}, localOrigin, localDirection,
                                kRayStartOffset, bestT, t, normal)) {
                    bestT = t;
                    localNormal = normal;
                }
            }
        }
        if (bestT == kNoHit) continue;
        const Vec3 point = transformPoint(instance.world, localOrigin + localDirection * bestT);
        const float distance = (point - origin).length();
        // Only a hit that was written out counts as found, so the caller never reads
        // an unset record (a scaled instance can put a hit beyond kNoHit).
        if (distance < bestDistance) {
            found = true;
            bestDistance = distance;
            hit.distance = distance;
            hit.point = point;
            hit.normal = transformNormal(instance.inverse, localNormal);
        }
    }
    return found;
}

void RayScene::trace(const Vec3& start, const Vec3& direction, int bounceLimit,
                     LaserPath& path) const {
    path.hits.clear();
    path.hits.push_back({0.0f, start, Vec3()});
    Vec3 origin = start;
    Vec3 heading = direction;
    for (int bounce = 0; bounce < bounceLimit; ++bounce) {
        LaserHit hit;
        if (!intersect(origin, heading, hit)) {
            path.hits.push_back({kEscapeLength, origin + heading * kEscapeLength, Vec3()});
            return;
        }
        const Vec3& n = hit.normal;
        origin = origin + heading * hit.distance;
        heading = heading - n * (2.0f * heading.dot(n) / n.dot(n));
        heading.normalize();
        path.hits.push_back({hit.distance, origin, n});
    }
}

void traceLaserBeams(const RayScene& scene, float time, LaserPath (&paths)[kLaserBeamCount]) {
    const float swing = static_cast<float>(std::sin(0.12 * time));
    for (int i = 0; i < kLaserBeamCount; ++i) {
        const Vec3 direction = Vec3(1.0f, swing - 0.25f * i, 1.0f).normalized();
        scene.trace(kLaserStart, direction, kLaserBounceLimit, paths[i]);
    }
}
