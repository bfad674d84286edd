// Products and the closed-form 2 x 2 inverse of the constraint layer.
#pragma once

#include "kinetic/dynamics/kn_types.h"

namespace Kinetic {

class kn_Dense_Matrix_Util {
public:
    // y[j] = sum over i of M(i, j) x[i].
    static void mult(const kn_Dense_Matrix& m, const float* x, float* y);
    // 0 on success; 1 (out untouched) when det^2 < epsilon^2.
    static int invert_2x2(const kn_Dense_Matrix& m, kn_Dense_Matrix& out, float epsilon);
};

}  // namespace Kinetic
