#include "kinetic/dynamics/inertial_tensor_computer.h"

#include <cmath>
#include <vector>

#include "kinetic/collide/geometric_primitive.h"

namespace Kinetic {

int InertialTensorComputer::A, InertialTensorComputer::B, InertialTensorComputer::C;
float InertialTensorComputer::P1, InertialTensorComputer::Pa, InertialTensorComputer::Pb,
    InertialTensorComputer::Paa, InertialTensorComputer::Pab, InertialTensorComputer::Pbb,
    InertialTensorComputer::Paaa, InertialTensorComputer::Paab, InertialTensorComputer::Pabb,
    InertialTensorComputer::Pbbb;
float InertialTensorComputer::Fa, InertialTensorComputer::Fb, InertialTensorComputer::Fc,
    InertialTensorComputer::Faa, InertialTensorComputer::Fbb, InertialTensorComputer::Fcc,
    InertialTensorComputer::Faaa, InertialTensorComputer::Fbbb, InertialTensorComputer::Fccc,
    InertialTensorComputer::Faab, InertialTensorComputer::Fbbc, InertialTensorComputer::Fcca;
float InertialTensorComputer::T0, InertialTensorComputer::T1[3], InertialTensorComputer::T2[3],
    InertialTensorComputer::TP[3];

void InertialTensorComputer::readPolyhedron(const Vector3* vertices, int vertexCount, const int* corners,
                                            int triangleCount, POLYHEDRON* poly) {
    poly->release();
    poly->numVerts = vertexCount;
    poly->verts = new float[3 * static_cast<size_t>(vertexCount > 0 ? vertexCount : 0)];
    for (int i = 0; i < vertexCount; ++i) {
        poly->verts[3 * i] = vertices[i].x;
        poly->verts[3 * i + 1] = vertices[i].y;
        poly->verts[3 * i + 2] = vertices[i].z;
    }
    poly->numFaces = triangleCount;
    poly->faces = new FACE[static_cast<size_t>(triangleCount > 0 ? triangleCount : 0)];
    for (int t = 0; t < triangleCount; ++t) {
        FACE& f = poly->faces[t];
        f.numVerts = 3;
        f.poly = poly;
        f.verts = new int[3];
        for (int k = 0; k < 3; ++k) f.verts[k] = corners[3 * t + k];
        const Vector3 p0 = vertices[f.verts[0]], p1 = vertices[f.verts[1]], p2 = vertices[f.verts[2]];
        const Vector3 n = (p1 - p0).cross(p2 - p1);
        const float len = n.length();
        if (len == 0.0f) {
            f.w = 0.0f;
            f.hasNormal = false;
            continue;
        }
        f.norm[0] = n.x / len;
        f.norm[1] = n.y / len;
        f.norm[2] = n.z / len;
        f.w = -(f.norm[0] * p0.x + f.norm[1] * p0.y + f.norm[2] * p0.z);
        f.hasNormal = true;
    }
}

void InertialTensorComputer::readPolyhedron(const GeometricPrimitive& prim, POLYHEDRON* poly) {
    const Geometry* g = prim.getGeometry();
    std::vector<Vector3> v(static_cast<size_t>(g->m_vertex_count));
    for (int i = 0; i < g->m_vertex_count; ++i) v[static_cast<size_t>(i)] = prim.getLocalVertex(i);
    std::vector<int> corners(3 * static_cast<size_t>(g->m_triangle_count));
    for (int t = 0; t < g->m_triangle_count; ++t)
        for (int k = 0; k < 3; ++k) corners[3 * static_cast<size_t>(t) + k] = g->m_triangles[t].m_verts[k];
    readPolyhedron(v.data(), g->m_vertex_count, corners.data(), g->m_triangle_count, poly);
}

void InertialTensorComputer::compProjectionIntegrals(FACE* f) {
    P1 = Pa = Pb = Paa = Pab = Pbb = Paaa = Paab = Pabb = Pbbb = 0.0f;
    const float* v = f->poly->verts;
    for (int i = 0; i < f->numVerts; ++i) {
        const int i0 = f->verts[i], i1 = f->verts[(i + 1) % f->numVerts];
        const float a0 = v[3 * i0 + A], b0 = v[3 * i0 + B];
        const float a1 = v[3 * i1 + A], b1 = v[3 * i1 + B];
        const float da = a1 - a0, db = b1 - b0;
        const float a0_2 = a0 * a0, a0_3 = a0_2 * a0, a0_4 = a0_3 * a0;
        const float b0_2 = b0 * b0, b0_3 = b0_2 * b0, b0_4 = b0_3 * b0;
        const float a1_2 = a1 * a1, a1_3 = a1_2 * a1;
        const float b1_2 = b1 * b1, b1_3 = b1_2 * b1;
        const float C1 = a1 + a0;
        const float Ca = a1 * C1 + a0_2, Caa = a1 * Ca + a0_3, Caaa = a1 * Caa + a0_4;
        const float Cb = b1 * b1 + b1 * b0 + b0_2, Cbb = b1 * Cb + b0_3, Cbbb = b1 * Cbb + b0_4;
        const float Cab = 3 * a1_2 + 2 * a1 * a0 + a0_2, Kab = a1_2 + 2 * a1 * a0 + 3 * a0_2;
        const float Caab = a0 * Cab + 4 * a1_3, Kaab = a1 * Kab + 4 * a0_3;
        const float Cabb = 4 * b1_3 + 3 * b1_2 * b0 + 2 * b1 * b0_2 + b0_3;
        const float Kabb = b1_3 + 2 * b1_2 * b0 + 3 * b1 * b0_2 + 4 * b0_3;
        P1 += db * C1;
        Pa += db * Ca;
        Paa += db * Caa;
        Paaa += db * Caaa;
        Pb += da * Cb;
        Pbb += da * Cbb;
        Pbbb += da * Cbbb;
        Pab += db * (b1 * Cab + b0 * Kab);
        Paab += db * (b1 * Caab + b0 * Kaab);
        Pabb += da * (a1 * Cabb + a0 * Kabb);
    }
    P1 /= 2.0f;
    Pa /= 6.0f;
    Paa /= 12.0f;
    Paaa /= 20.0f;
    Pb /= -6.0f;
    Pbb /= -12.0f;
    Pbbb /= -20.0f;
    Pab /= 24.0f;
    Paab /= 60.0f;
    Pabb /= -60.0f;
}

void InertialTensorComputer::compFaceIntegrals(FACE* f) {
    compProjectionIntegrals(f);
    const float* n = f->norm;
    const float w = f->w;
    const float k1 = 1.0f / n[C], k2 = k1 * k1, k3 = k2 * k1, k4 = k3 * k1;
    const float nA = n[A], nB = n[B];
    Fa = k1 * Pa;
    Fb = k1 * Pb;
    Fc = -k2 * (nA * Pa + nB * Pb + w * P1);
    Faa = k1 * Paa;
    Fbb = k1 * Pbb;
    Fcc = k3 * (nA * nA * Paa + 2 * nA * nB * Pab + nB * nB * Pbb + w * (2 * (nA * Pa + nB * Pb) + w * P1));
    Faaa = k1 * Paaa;
    Fbbb = k1 * Pbbb;
    Fccc = -k4 * (nA * nA * nA * Paaa + 3 * nA * nA * nB * Paab + 3 * nA * nB * nB * Pabb +
                  nB * nB * nB * Pbbb + 3 * w * (nA * nA * Paa + 2 * nA * nB * Pab + nB * nB * Pbb) +
                  w * w * (3 * (nA * Pa + nB * Pb) + w * P1));
    Faab = k1 * Paab;
    Fbbc = -k2 * (nA * Pabb + nB * Pbbb + w * Pbb);
    Fcca = k3 *
           (nA * nA * Paaa + 2 * nA * nB * Paab + nB * nB * Pabb + w * (2 * (nA * Paa + nB * Pab) + w * Pa));
}

void InertialTensorComputer::compVolumeIntegrals(POLYHEDRON* p) {
    T0 = 0.0f;
    for (int i = 0; i < 3; ++i) T1[i] = T2[i] = TP[i] = 0.0f;
    for (int i = 0; i < p->numFaces; ++i) {
        FACE* f = &p->faces[i];
        if (!f->hasNormal) continue;
        const float nx = std::fabs(f->norm[0]), ny = std::fabs(f->norm[1]), nz = std::fabs(f->norm[2]);
        if (nx > ny && nx > nz)
            C = 0;
        else
            C = ny > nz ? 1 : 2;
        A = (C + 1) % 3;
        B = (A + 1) % 3;
        compFaceIntegrals(f);
        const float* n = f->norm;
        T0 += n[0] * (A == 0 ? Fa : B == 0 ? Fb : Fc);
        T1[A] += n[A] * Faa;
        T1[B] += n[B] * Fbb;
        T1[C] += n[C] * Fcc;
        T2[A] += n[A] * Faaa;
        T2[B] += n[B] * Fbbb;
        T2[C] += n[C] * Fccc;
        TP[A] += n[A] * Faab;
        TP[B] += n[B] * Fbbc;
        TP[C] += n[C] * Fcca;
    }
    for (int i = 0; i < 3; ++i) {
        T1[i] /= 2.0f;
        T2[i] /= 3.0f;
        TP[i] /= 2.0f;
    }
}

void InertialTensorComputer::computeInertialTensor(POLYHEDRON& p, float mass, float density, Vector3& r,
                                                   Matrix3& J) {
    (void)p;
    r = Vector3(T1[0] / T0, T1[1] / T0, T1[2] / T0);
    J = Matrix3_Zero;
    J(0, 0) = density * (T2[1] + T2[2]);
    J(1, 1) = density * (T2[2] + T2[0]);
    J(2, 2) = density * (T2[0] + T2[1]);
    J(0, 1) = J(1, 0) = -density * TP[0];
    J(1, 2) = J(2, 1) = -density * TP[1];
    J(2, 0) = J(0, 2) = -density * TP[2];
    J(0, 0) -= mass * (r.y * r.y + r.z * r.z);
    J(1, 1) -= mass * (r.z * r.z + r.x * r.x);
    J(2, 2) -= mass * (r.x * r.x + r.y * r.y);
    J(0, 1) = J(1, 0) = J(0, 1) + mass * r.x * r.y;
    J(1, 2) = J(2, 1) = J(1, 2) + mass * r.y * r.z;
    J(2, 0) = J(0, 2) = J(2, 0) + mass * r.z * r.x;
}

void InertialTensorComputer::computeInertialTensorM(const GeometricPrimitive& prim, float mass,
                                                    Vector3& centreOfMass, Matrix3& inertia, float& volume) {
    POLYHEDRON poly;
    readPolyhedron(prim, &poly);
    compVolumeIntegrals(&poly);
    volume = T0;
    computeInertialTensor(poly, mass, mass / T0, centreOfMass, inertia);
    poly.release();
}

}  // namespace Kinetic
