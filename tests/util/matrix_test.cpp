// Matrix and vector operations with the exact values the demo relies on.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "util/matrix.h"

namespace {

void ExpectRows(const Matrix4& m, const float (&rows)[4][4], float eps = 1e-4f) {
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) EXPECT_NEAR(m.m[r][c], rows[r][c], eps) << "row " << r << " col " << c;
}

Matrix4 Filled(float v) {
    Matrix4 m;
    for (auto& row : m.m)
        for (float& x : row) x = v;
    return m;
}

}  // namespace

TEST(Perspective, DeviceSetUpValues) {
    Matrix4 m = Filled(7.0f);
    ASSERT_EQ(MakePerspective(m, 0.8f, 1.333f, 10.0f, 2000.0f), S_OK);
    const float rows[4][4] = {{3.1528413f, 0, 0, 0}, {0, 2.3652225f, 0, 0}, {0, 0, 1.0050251f, 1}, {0, 0, -10.050251f, 0}};
    ExpectRows(m, rows, 1e-6f);
    // Near maps to depth 0, far to 1.
    EXPECT_NEAR((10.0f * m._33 + m._43) / 10.0f, 0.0f, 1e-6f);
    EXPECT_NEAR((2000.0f * m._33 + m._43) / 2000.0f, 1.0f, 1e-6f);
}

TEST(Perspective, DegenerateInputLeavesTheMatrixAlone) {
    const Matrix4 before = Filled(7.0f);
    Matrix4 m = before;
    EXPECT_EQ(MakePerspective(m, 0.8f, 1.333f, 10.0f, 10.0f), E_INVALIDARG);
    EXPECT_EQ(MakePerspective(m, 0.8f, 1.333f, 10.0f, 10.005f), E_INVALIDARG);
    EXPECT_EQ(MakePerspective(m, 0.0f, 1.333f, 10.0f, 2000.0f), E_INVALIDARG);
    EXPECT_EQ(MakePerspective(m, 2.0f * 3.14159265f, 1.333f, 10.0f, 2000.0f), E_INVALIDARG);
    EXPECT_EQ(MakePerspective(m, NAN, 1.333f, 10.0f, 2000.0f), E_INVALIDARG);
    EXPECT_EQ(std::memcmp(&m, &before, sizeof(m)), 0);
    // Exactly the bound passes; a reversed range works and flips _33.
    EXPECT_EQ(MakePerspective(m, 0.8f, 1.0f, 0.0f, 0.01f), S_OK);
    EXPECT_EQ(MakePerspective(m, 0.8f, 1.0f, 2000.0f, 10.0f), S_OK);
    EXPECT_LT(m._33, 0.0f);
}

TEST(LookAt, OrbitStartAndFallbackAxes) {
    Matrix4 m;
    ASSERT_EQ(MakeLookAt(m, Vector3(0, 350, -800), Vector3(0, 0, 0), Vector3(0, 1, 0)), S_OK);
    const float orbit[4][4] = {{1, 0, 0, 0}, {0, 0.91616f, -0.40082f, 0}, {0, 0.40082f, 0.91616f, 0}, {0, 0, 873.21246f, 1}};
    ExpectRows(m, orbit, 2e-4f);

    ASSERT_EQ(MakeLookAt(m, Vector3(0, 100, 0), Vector3(0, 0, 0), Vector3(0, 1, 0)), S_OK);
    const float down[4][4] = {{1, 0, 0, 0}, {0, 0, -1, 0}, {0, 1, 0, 0}, {0, 0, 100, 1}};
    ExpectRows(m, down);

    ASSERT_EQ(MakeLookAt(m, Vector3(0, 0, -5), Vector3(0, 0, 0), Vector3(0, 0, 0)), S_OK);
    const float zeroUp[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 5, 1}};
    ExpectRows(m, zeroUp);
}

TEST(LookAt, EyeAtTargetFailsWithoutWriting) {
    const Matrix4 before = Filled(3.0f);
    Matrix4 m = before;
    EXPECT_EQ(MakeLookAt(m, Vector3(1, 2, 3), Vector3(1, 2, 3), Vector3(0, 1, 0)), E_INVALIDARG);
    EXPECT_EQ(MakeLookAt(m, Vector3(NAN, 0, 0), Vector3(0, 0, 0), Vector3(0, 1, 0)), E_INVALIDARG);
    EXPECT_EQ(std::memcmp(&m, &before, sizeof(m)), 0);
}

TEST(Multiply, AppliesLeftFirstAndAllowsAliasing) {
    Matrix4 translate, scale, out;
    MakeIdentity(translate);
    translate._41 = 1.0f;
    MakeIdentity(scale);
    scale._11 = scale._22 = scale._33 = 2.0f;
    MultiplyMatrices(out, translate, scale);
    // The origin moves to (1,0,0), then doubles.
    EXPECT_EQ(out._41, 2.0f);
    EXPECT_EQ(out._42, 0.0f);

    Matrix4 a = translate;
    MultiplyMatrices(a, a, scale);
    EXPECT_EQ(std::memcmp(&a, &out, sizeof(a)), 0);
    Matrix4 b = scale;
    MultiplyMatrices(b, translate, b);
    EXPECT_EQ(std::memcmp(&b, &out, sizeof(b)), 0);
}

TEST(Vectors, CrossNormalizeInPlace) {
    Vector3 v(1, 0, 0);
    VectorCross(v, v, Vector3(0, 1, 0));
    EXPECT_EQ(v.x, 0.0f);
    EXPECT_EQ(v.y, 0.0f);
    EXPECT_EQ(v.z, 1.0f);
    Vector3 n(3, 0, 4);
    VectorNormalize(n, n);
    EXPECT_FLOAT_EQ(n.x, 0.6f);
    EXPECT_FLOAT_EQ(n.z, 0.8f);
    EXPECT_FLOAT_EQ(VectorLength(Vector3(3, 0, 4)), 5.0f);
    EXPECT_FLOAT_EQ(VectorLengthSquared(Vector3(1, 2, 2)), 9.0f);
    // A zero vector gives non-finite components, stored as they come.
    Vector3 z;
    VectorNormalize(z, Vector3(0, 0, 0));
    EXPECT_FALSE(std::isfinite(z.x));
}
