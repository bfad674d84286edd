#include "kinetic/dynamics/kn_dense_matrix_util.h"

namespace Kinetic {

void kn_Dense_Matrix_Util::mult(const kn_Dense_Matrix& m, const float* x, float* y) {
    for (int j = 0; j < m.m_columns; ++j) {
        float s = 0.0f;
        for (int i = 0; i < m.m_rows; ++i) s += m(i, j) * x[i];
        y[j] = s;
    }
}

int kn_Dense_Matrix_Util::invert_2x2(const kn_Dense_Matrix& m, kn_Dense_Matrix& out, float epsilon) {
    const float det = m(0, 0) * m(1, 1) - m(0, 1) * m(1, 0);
    if (det * det < epsilon * epsilon) return 1;
    const float a = m(0, 0), b = m(0, 1), c = m(1, 0), d = m(1, 1);
    out(0, 0) = d / det;
    out(1, 1) = a / det;
    out(0, 1) = -c / det;
    out(1, 0) = -b / det;
    return 0;
}

}  // namespace Kinetic
