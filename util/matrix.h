// Matrix and vector operations in the device's conventions: row vectors,
// left-handed view space looking down +z, depth 0 at near and 1 at far.
#pragma once

#include "util/types.h"

Matrix4& MakeIdentity(Matrix4& m);
HRESULT MakePerspective(Matrix4& m, float fov, float aspect, float zNear, float zFar);
HRESULT MakeLookAt(Matrix4& m, const Vector3& eye, const Vector3& at, const Vector3& up);
// out = a * b: applies a first, then b. out may alias a or b.
Matrix4& MultiplyMatrices(Matrix4& out, const Matrix4& a, const Matrix4& b);

float VectorLengthSquared(const Vector3& v);
float VectorLength(const Vector3& v);
float VectorDot(const Vector3& a, const Vector3& b);
Vector3& VectorCross(Vector3& out, const Vector3& a, const Vector3& b);
Vector3& VectorNormalize(Vector3& out, const Vector3& v);
