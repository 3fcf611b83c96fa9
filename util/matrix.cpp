#include "util/matrix.h"

#include <cmath>
#include <cstring>

namespace {
// Both thresholds are single-precision values; a NaN never passes them.
constexpr float kMinSpan = 0.01f;
constexpr float kMinLength = 1.0e-6f;

Vector3 Sub(const Vector3& a, const Vector3& b) { return Vector3(a.x - b.x, a.y - b.y, a.z - b.z); }
Vector3 Scaled(const Vector3& v, float s) { return Vector3(v.x * s, v.y * s, v.z * s); }

// The platform's matrix has only its named cells (_11 .. _44); an array view
// of them is not part of every version of its header.
constexpr D3DVALUE Matrix4::*kCells[4][4] = {
    {&Matrix4::_11, &Matrix4::_12, &Matrix4::_13, &Matrix4::_14},
    {&Matrix4::_21, &Matrix4::_22, &Matrix4::_23, &Matrix4::_24},
    {&Matrix4::_31, &Matrix4::_32, &Matrix4::_33, &Matrix4::_34},
    {&Matrix4::_41, &Matrix4::_42, &Matrix4::_43, &Matrix4::_44},
};
}  // namespace

Matrix4& MakeIdentity(Matrix4& m) {
    std::memset(&m, 0, sizeof(m));
    m._11 = m._22 = m._33 = m._44 = 1.0f;
    return m;
}

HRESULT MakePerspective(Matrix4& m, float fov, float aspect, float zNear, float zFar) {
    const float d = zFar - zNear;
    if (!(std::fabs(d) >= kMinSpan)) return E_INVALIDARG;
    const float h = fov * 0.5f;
    const float s = std::sin(h);
    if (!(std::fabs(s) >= kMinSpan)) return E_INVALIDARG;
    const float q = zFar / d;
    const float c = std::cos(h) / s;
    std::memset(&m, 0, sizeof(m));
    m._11 = c * aspect;
    m._22 = c;
    m._33 = q;
    m._34 = 1.0f;
    m._43 = -q * zNear;
    return S_OK;
}

HRESULT MakeLookAt(Matrix4& m, const Vector3& eye, const Vector3& at, const Vector3& up) {
    const Vector3 d = Sub(at, eye);
    const float len = VectorLength(d);
    if (!(len >= kMinLength)) return E_INVALIDARG;
    Vector3 f(d.x / len, d.y / len, d.z / len);

    Vector3 u = Sub(up, Scaled(f, VectorDot(up, f)));
    if (!(VectorLength(u) >= kMinLength)) u = Sub(Vector3(0, 1, 0), Scaled(f, f.y));
    if (!(VectorLength(u) >= kMinLength)) u = Sub(Vector3(0, 0, 1), Scaled(f, f.z));
    if (!(VectorLength(u) >= kMinLength)) return E_INVALIDARG;

    Vector3 y;
    VectorNormalize(y, u);
    Vector3 x;
    VectorCross(x, y, f);

    MakeIdentity(m);
    m._11 = x.x; m._12 = y.x; m._13 = f.x;
    m._21 = x.y; m._22 = y.y; m._23 = f.y;
    m._31 = x.z; m._32 = y.z; m._33 = f.z;
    m._41 = -VectorDot(x, eye);
    m._42 = -VectorDot(y, eye);
    m._43 = -VectorDot(f, eye);
    return S_OK;
}

Matrix4& MultiplyMatrices(Matrix4& out, const Matrix4& a, const Matrix4& b) {
    Matrix4 t;
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            float sum = 0.0f;
            for (int k = 0; k < 4; ++k) sum += a.*kCells[r][k] * (b.*kCells[k][c]);
            t.*kCells[r][c] = sum;
        }
    }
    out = t;
    return out;
}

float VectorLengthSquared(const Vector3& v) { return v.x * v.x + v.y * v.y + v.z * v.z; }
float VectorLength(const Vector3& v) { return std::sqrt(VectorLengthSquared(v)); }
float VectorDot(const Vector3& a, const Vector3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

Vector3& VectorCross(Vector3& out, const Vector3& a, const Vector3& b) {
    const Vector3 t(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x);
    out = t;
    return out;
}

Vector3& VectorNormalize(Vector3& out, const Vector3& v) {
    const float len = VectorLength(v);
    const Vector3 t(v.x / len, v.y / len, v.z / len);
    out = t;
    return out;
}
