// Volume, centre of mass and inertia tensor of a closed triangle mesh of uniform density: the volume
// integrals are reduced by the divergence theorem to face integrals and those, by Green's theorem, to
// sums over the edges of each face's projection on a coordinate plane. Triangles wound counter-clockwise
// seen from outside give a positive volume; an inside-out mesh gives a negative volume and the same
// centre and tensor.
#pragma once

#include "kinetic/math/matrix3.h"
#include "kinetic/math/vector3.h"

namespace Kinetic {

class GeometricPrimitive;

struct POLYHEDRON;

struct FACE {
    FACE() = default;
    ~FACE() { delete[] verts; }
    FACE(const FACE&) = delete;
    FACE& operator=(const FACE&) = delete;

    int numVerts = 0;
    float norm[3] = {0, 0, 0};
    float w = 0.0f;
    int* verts = nullptr;
    POLYHEDRON* poly = nullptr;
    bool hasNormal = false;  // a zero-area face gets no normal and is skipped
};

struct POLYHEDRON {
    POLYHEDRON() = default;
    ~POLYHEDRON() { release(); }
    POLYHEDRON(const POLYHEDRON&) = delete;
    POLYHEDRON& operator=(const POLYHEDRON&) = delete;
    void release() {
        delete[] verts;
        delete[] faces;
        verts = nullptr;
        faces = nullptr;
    }

    int numVerts = 0;
    int numFaces = 0;
    float* verts = nullptr;
    FACE* faces = nullptr;
};

class InertialTensorComputer {
public:
    // For a mesh primitive of the given mass: centre of mass and inertia about it, in the rigid body's
    // frame, and the volume.
    static void computeInertialTensorM(const GeometricPrimitive& prim, float mass, Vector3& centreOfMass,
                                       Matrix3& inertia, float& volume);
    static void readPolyhedron(const GeometricPrimitive& prim, POLYHEDRON* poly);
    // The same from raw arrays (used by readPolyhedron and by tools that have no primitive).
    static void readPolyhedron(const Vector3* vertices, int vertexCount, const int* triangleCorners,
                               int triangleCount, POLYHEDRON* poly);
    static void compVolumeIntegrals(POLYHEDRON* p);
    static void compFaceIntegrals(FACE* f);
    static void compProjectionIntegrals(FACE* f);
    static void computeInertialTensor(POLYHEDRON& p, float mass, float density, Vector3& centreOfMass,
                                      Matrix3& inertia);
    static float volume() { return T0; }

private:
    static int A, B, C;
    static float P1, Pa, Pb, Paa, Pab, Pbb, Paaa, Paab, Pabb, Pbbb;
    static float Fa, Fb, Fc, Faa, Fbb, Fcc, Faaa, Fbbb, Fccc, Faab, Fbbc, Fcca;
    static float T0, T1[3], T2[3], TP[3];
};

}  // namespace Kinetic
