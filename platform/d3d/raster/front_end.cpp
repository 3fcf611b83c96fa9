#include "d3d/raster/front_end.h"

#include <cmath>
#include <cstring>
#include <utility>

namespace sombrella::d3d::raster {
namespace {

// Clip planes. The side planes sit at kGuard times the viewport's half
// extent, so screen coordinates stay well inside the fixed-point range
// while triangles that merely overhang the viewport are not cut up.
constexpr float kGuard = 8.0f;
enum : uint32_t { kNear = 1, kFar = 2, kLeft = 4, kRight = 8, kBottom = 16, kTop = 32, kBad = 128 };
constexpr int kMaxClipVerts = 3 + 6;
// Largest screen coordinate accepted for pre-transformed vertices.
constexpr float kMaxScreen = 16384.0f;

D3DMATRIX Multiply(const D3DMATRIX& a, const D3DMATRIX& b) {
    D3DMATRIX r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            r.m[i][j] = a.m[i][0] * b.m[0][j] + a.m[i][1] * b.m[1][j] + a.m[i][2] * b.m[2][j] + a.m[i][3] * b.m[3][j];
    return r;
}

uint32_t Outcode(const ClipVertex& v) {
    if (!(std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z) && std::isfinite(v.w))) return kBad;
    uint32_t c = 0;
    if (v.z < 0.0f) c |= kNear;
    if (v.z > v.w) c |= kFar;
    float g = kGuard * v.w;
    if (v.x < -g) c |= kLeft;
    if (v.x > g) c |= kRight;
    if (v.y < -g) c |= kBottom;
    if (v.y > g) c |= kTop;
    return c;
}

float PlaneDistance(const ClipVertex& v, int plane) {
    switch (plane) {
    case 0: return v.z;
    case 1: return v.w - v.z;
    case 2: return v.x + kGuard * v.w;
    case 3: return kGuard * v.w - v.x;
    case 4: return v.y + kGuard * v.w;
    default: return kGuard * v.w - v.y;
    }
}

ClipVertex Lerp(const ClipVertex& a, const ClipVertex& b, float t) {
    ClipVertex r;
    const float* pa = &a.x;
    const float* pb = &b.x;
    float* pr = &r.x;
    for (int i = 0; i < 11; ++i) pr[i] = pa[i] + (pb[i] - pa[i]) * t;
    r.u = a.u + (b.u - a.u) * (double)t;
    r.v = a.v + (b.v - a.v) * (double)t;
    r.outcode = 0;
    return r;
}

float ToColor(float unit) { return unit * 255.0f; }

// The inverse of a 4x4 matrix by Gauss-Jordan elimination with partial
// pivoting (in double, so near-singular world matrices keep their digits);
// false when it is singular.
bool Invert(const D3DMATRIX& a, D3DMATRIX* out) {
    const float* src = &a._11;
    double m[4][8];
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) {
            m[r][c] = src[r * 4 + c];
            m[r][c + 4] = r == c ? 1.0 : 0.0;
        }
    for (int col = 0; col < 4; ++col) {
        int pivot = col;
        for (int r = col + 1; r < 4; ++r)
            if (std::fabs(m[r][col]) > std::fabs(m[pivot][col])) pivot = r;
        const double p = m[pivot][col];
        if (p == 0.0 || !std::isfinite(p)) return false;
        if (pivot != col)
            for (int c = 0; c < 8; ++c) std::swap(m[col][c], m[pivot][c]);
        for (int c = 0; c < 8; ++c) m[col][c] /= p;
        for (int r = 0; r < 4; ++r) {
            if (r == col || m[r][col] == 0.0) continue;
            const double f = m[r][col];
            for (int c = 0; c < 8; ++c) m[r][c] -= f * m[col][c];
        }
    }
    float* o = &out->_11;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) {
            const double v = m[r][c + 4];
            if (!std::isfinite(v)) return false;
            o[r * 4 + c] = static_cast<float>(v);
        }
    return true;
}

}  // namespace

void FrontEnd::ProcessVertex(const DeviceState& state, DWORD fvf, const uint8_t* src, ClipVertex* out) {
    (void)state;
    float p[4];
    std::memcpy(p, src, 12);
    size_t off = 12;
    float n[3] = {0, 0, 0};
    if (rhw_) {
        std::memcpy(&p[3], src + 12, 4);
        off = 16;
    } else if (fvf & D3DFVF_NORMAL) {
        std::memcpy(n, src + off, 12);
        off += 12;
    }
    D3DCOLOR diffuse = 0xFFFFFFFFu, specular = 0;
    bool hasDiffuse = (fvf & D3DFVF_DIFFUSE) != 0, hasSpecular = (fvf & D3DFVF_SPECULAR) != 0;
    if (hasDiffuse) {
        std::memcpy(&diffuse, src + off, 4);
        off += 4;
    }
    if (hasSpecular) {
        std::memcpy(&specular, src + off, 4);
        off += 4;
    }
    float uv[2] = {0, 0};
    if (fvf & D3DFVF_TEXCOUNT_MASK) std::memcpy(uv, src + off, 8);
    out->u = uv[0];
    out->v = uv[1];

    if (rhw_) {
        // Already in screen space: x, y in pixels, z in [0, 1], rhw = 1/w.
        out->x = p[0];
        out->y = p[1];
        out->z = p[2];
        out->w = p[3];
        D3DCOLORVALUE d = ColorFromArgb(diffuse), s = ColorFromArgb(specular);
        out->r = ToColor(d.r), out->g = ToColor(d.g), out->b = ToColor(d.b), out->a = ToColor(d.a);
        out->sr = ToColor(s.r), out->sg = ToColor(s.g), out->sb = ToColor(s.b);
        bool ok = std::isfinite(p[0]) && std::isfinite(p[1]) && std::isfinite(p[2]) && std::isfinite(p[3]) &&
                  std::fabs(p[0]) < kMaxScreen && std::fabs(p[1]) < kMaxScreen && p[3] > 0.0f;
        out->outcode = ok ? 0u : (uint32_t)kBad;
        return;
    }

    const D3DMATRIX& m = worldViewProj_;
    out->x = p[0] * m._11 + p[1] * m._21 + p[2] * m._31 + m._41;
    out->y = p[0] * m._12 + p[1] * m._22 + p[2] * m._32 + m._42;
    out->z = p[0] * m._13 + p[1] * m._23 + p[2] * m._33 + m._43;
    out->w = p[0] * m._14 + p[1] * m._24 + p[2] * m._34 + m._44;
    out->outcode = Outcode(*out);

    if (lightingOn_) {
        const D3DMATRIX& wv = worldView_;
        Vec3 pos{p[0] * wv._11 + p[1] * wv._21 + p[2] * wv._31 + wv._41,
                 p[0] * wv._12 + p[1] * wv._22 + p[2] * wv._32 + wv._42,
                 p[0] * wv._13 + p[1] * wv._23 + p[2] * wv._33 + wv._43};
        const auto& nm = normalMatrix_;
        Vec3 nv{n[0] * nm[0][0] + n[1] * nm[1][0] + n[2] * nm[2][0], n[0] * nm[0][1] + n[1] * nm[1][1] + n[2] * nm[2][1],
                n[0] * nm[0][2] + n[1] * nm[1][2] + n[2] * nm[2][2]};
        if (normalize_) {
            float len = std::sqrt(nv.x * nv.x + nv.y * nv.y + nv.z * nv.z);
            if (len > 0.0f) nv = {nv.x / len, nv.y / len, nv.z / len};
        }
        D3DCOLORVALUE vd = ColorFromArgb(diffuse), vs = ColorFromArgb(specular);
        float dOut[4], sOut[3];
        LightVertex(lighting_, pos, nv, hasDiffuse ? &vd : nullptr, hasSpecular ? &vs : nullptr, dOut, sOut);
        out->r = ToColor(dOut[0]), out->g = ToColor(dOut[1]), out->b = ToColor(dOut[2]), out->a = ToColor(dOut[3]);
        out->sr = ToColor(sOut[0]), out->sg = ToColor(sOut[1]), out->sb = ToColor(sOut[2]);
    } else {
        D3DCOLORVALUE d = ColorFromArgb(diffuse), s = ColorFromArgb(specular);
        out->r = ToColor(d.r), out->g = ToColor(d.g), out->b = ToColor(d.b), out->a = ToColor(d.a);
        out->sr = ToColor(s.r), out->sg = ToColor(s.g), out->sb = ToColor(s.b);
    }
}

void FrontEnd::Draw(const DeviceState& state, uint32_t pixelState, Frame& frame, D3DPRIMITIVETYPE type, DWORD fvf,
                    const void* vertices, DWORD vertexCount, const WORD* indices, DWORD indexCount) {
    const PixelState& pixel = frame.pixelStates[pixelState];
    const DWORD* rs = state.renderState;
    rhw_ = (fvf & D3DFVF_POSITION_MASK) == D3DFVF_XYZRHW;
    lightingOn_ = !rhw_ && rs[D3DRENDERSTATE_LIGHTING] != 0;
    normalize_ = rs[D3DRENDERSTATE_NORMALIZENORMALS] != 0;
    flat_ = rs[D3DRENDERSTATE_SHADEMODE] == D3DSHADE_FLAT;
    cull_ = rs[D3DRENDERSTATE_CULLMODE];

    if (transformVersion_ != state.transformVersion) {
        transformVersion_ = state.transformVersion;
        worldView_ = Multiply(state.world, state.view);
        worldViewProj_ = Multiply(worldView_, state.projection);
        // Normals go through the transpose of the inverse of the whole 4x4
        // world-view matrix; a singular matrix stands in for its own inverse.
        D3DMATRIX inv;
        const D3DMATRIX& n = Invert(worldView_, &inv) ? inv : worldView_;
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j) normalMatrix_[i][j] = n.m[j][i];
    }
    if (lightingOn_ && lightingVersion_ != state.lightingVersion) {
        lightingVersion_ = state.lightingVersion;
        BuildLighting(state, &lighting_);
    }
    const D3DVIEWPORT7& vp = state.viewport;
    vpX_ = (float)vp.dwX;
    vpY_ = (float)vp.dwY;
    vpHalfW_ = vp.dwWidth * 0.5f;
    vpHalfH_ = vp.dwHeight * 0.5f;
    vpMinZ_ = vp.dvMinZ;
    // An empty or inverted depth range keeps a sliver, so depth tests still order.
    vpScaleZ_ = vp.dvMaxZ > vp.dvMinZ ? vp.dvMaxZ - vp.dvMinZ : 0.001f;
    depthScale_ = 0.0f;
    if (pixel.target.depth) {
        uint32_t mask = pixel.target.depthMask;
        int shift = __builtin_ctz(mask);
        depthScale_ = (float)(mask >> shift);
    }

    if (vertices_.size() < vertexCount) {
        vertices_.resize(vertexCount);
        stamp_.resize(vertexCount, 0);
    }
    if (++drawId_ == 0) {
        std::fill(stamp_.begin(), stamp_.end(), 0);
        drawId_ = 1;
    }
    const uint8_t* base = static_cast<const uint8_t*>(vertices);
    DWORD stride = 0;
    {
        // Stride from the format (validated by the caller).
        stride = rhw_ ? 16 : 12;
        if (fvf & D3DFVF_NORMAL) stride += 12;
        if (fvf & D3DFVF_DIFFUSE) stride += 4;
        if (fvf & D3DFVF_SPECULAR) stride += 4;
        stride += ((fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT) * 8;
    }
    auto vertex = [&](WORD i) -> const ClipVertex* {
        if (stamp_[i] != drawId_) {
            stamp_[i] = drawId_;
            ProcessVertex(state, fvf, base + (size_t)i * stride, &vertices_[i]);
        }
        return &vertices_[i];
    };

    switch (type) {
    case D3DPT_TRIANGLELIST:
        for (DWORD i = 0; i + 2 < indexCount; i += 3)
            Triangle3(vertex(indices[i]), vertex(indices[i + 1]), vertex(indices[i + 2]), frame, pixelState, pixel);
        break;
    case D3DPT_TRIANGLESTRIP:
        for (DWORD i = 0; i + 2 < indexCount; ++i) {
            // Odd triangles swap two vertices to keep the strip's winding;
            // flat colour still comes from the first vertex as submitted.
            if (i & 1) {
                const ClipVertex* first = vertex(indices[i]);
                Triangle3(vertex(indices[i + 1]), first, vertex(indices[i + 2]), frame, pixelState, pixel, first);
            } else
                Triangle3(vertex(indices[i]), vertex(indices[i + 1]), vertex(indices[i + 2]), frame, pixelState, pixel);
        }
        break;
    case D3DPT_TRIANGLEFAN:
        // A fan's flat colour comes from each triangle's first rim vertex,
        // not the shared centre.
        for (DWORD i = 1; i + 1 < indexCount; ++i) {
            const ClipVertex* rim = vertex(indices[i]);
            Triangle3(vertex(indices[0]), rim, vertex(indices[i + 1]), frame, pixelState, pixel, rim);
        }
        break;
    default: break;
    }
}

void FrontEnd::Triangle3(const ClipVertex* a, const ClipVertex* b, const ClipVertex* c, Frame& frame, uint32_t ps,
                         const PixelState& pixel, const ClipVertex* flatFrom) {
    flatFrom_ = flatFrom ? flatFrom : a;
    uint32_t oa = a->outcode, ob = b->outcode, oc = c->outcode;
    if ((oa | ob | oc) & kBad) return;
    if (oa & ob & oc) return;  // wholly outside one plane
    const ClipVertex* tri[3] = {a, b, c};
    if ((oa | ob | oc) == 0) {
        Emit(tri, 3, frame, ps, pixel);
        return;
    }
    // Sutherland-Hodgman against each plane the triangle crosses.
    ClipVertex made[6 * 2];
    int madeCount = 0;
    const ClipVertex* in[kMaxClipVerts + 6];
    const ClipVertex* out[kMaxClipVerts + 6];
    int n = 3;
    in[0] = a, in[1] = b, in[2] = c;
    uint32_t crossing = oa | ob | oc;
    for (int plane = 0; plane < 6; ++plane) {
        if (!(crossing & (1u << plane))) continue;
        int m = 0;
        for (int i = 0; i < n; ++i) {
            const ClipVertex* p = in[i];
            const ClipVertex* q = in[(i + 1) % n];
            float dp = PlaneDistance(*p, plane), dq = PlaneDistance(*q, plane);
            if (dp >= 0.0f) out[m++] = p;
            if ((dp >= 0.0f) != (dq >= 0.0f)) {
                if (madeCount >= (int)(sizeof made / sizeof made[0])) return;
                // Always interpolate from the inside vertex so both triangles
                // sharing an edge get the same new vertex.
                ClipVertex& v = made[madeCount++];
                if (dp >= 0.0f)
                    v = Lerp(*p, *q, dp / (dp - dq));
                else
                    v = Lerp(*q, *p, dq / (dq - dp));
                out[m++] = &v;
            }
        }
        n = m;
        if (n < 3) return;
        for (int i = 0; i < n; ++i) in[i] = out[i];
    }
    Emit(in, n, frame, ps, pixel);
}

void FrontEnd::Emit(const ClipVertex* const* v, int count, Frame& frame, uint32_t ps, const PixelState& pixel) {
    float s[kMaxClipVerts + 6][14];
    double tex[kMaxClipVerts + 6][3];
    for (int i = 0; i < count; ++i) {
        const ClipVertex& c = *v[i];
        float* o = s[i];
        float q;
        if (rhw_) {
            o[0] = c.x;
            o[1] = c.y;
            o[2] = c.z * depthScale_;
            q = c.w;
        } else {
            if (!(c.w > 0.0f)) return;
            q = 1.0f / c.w;
            o[0] = vpX_ + (1.0f + c.x * q) * vpHalfW_;
            o[1] = vpY_ + (1.0f - c.y * q) * vpHalfH_;
            o[2] = (vpMinZ_ + c.z * q * vpScaleZ_) * depthScale_;
        }
        if (!std::isfinite(o[0]) || !std::isfinite(o[1]) || !std::isfinite(q)) return;
        o[3] = q;
        o[4] = (float)c.u * q;
        o[5] = (float)c.v * q;
        const double qd = rhw_ ? (double)c.w : 1.0 / (double)c.w;
        tex[i][0] = qd;
        tex[i][1] = c.u * qd;
        tex[i][2] = c.v * qd;
        // Flat shading takes every colour from the triangle's first vertex,
        // which clipping may have cut away.
        const ClipVertex& k = flat_ ? *flatFrom_ : c;
        o[6] = k.r, o[7] = k.g, o[8] = k.b, o[9] = k.a;
        o[10] = k.sr, o[11] = k.sg, o[12] = k.sb;
    }
    float tri[3][14];
    double triTex[3][3];
    std::memcpy(tri[0], s[0], sizeof tri[0]);
    std::memcpy(triTex[0], tex[0], sizeof triTex[0]);
    for (int i = 1; i + 1 < count; ++i) {
        std::memcpy(tri[1], s[i], sizeof tri[1]);
        std::memcpy(tri[2], s[i + 1], sizeof tri[2]);
        std::memcpy(triTex[1], tex[i], sizeof triTex[1]);
        std::memcpy(triTex[2], tex[i + 1], sizeof triTex[2]);
        Setup(tri, triTex, frame, ps, pixel);
    }
}

void FrontEnd::Setup(const float (*s)[14], const double (*tex)[3], Frame& frame, uint32_t ps,
                     const PixelState& pixel) {
    int32_t X[3], Y[3];
    for (int i = 0; i < 3; ++i) {
        X[i] = (int32_t)std::lrint(s[i][0] * kSubOne);
        Y[i] = (int32_t)std::lrint(s[i][1] * kSubOne);
    }
    int64_t area = (int64_t)(X[1] - X[0]) * (Y[2] - Y[0]) - (int64_t)(X[2] - X[0]) * (Y[1] - Y[0]);
    if (area == 0) return;
    // Screen y grows downwards: a positive area is clockwise on screen.
    if (cull_ == D3DCULL_CCW && area < 0) return;
    if (cull_ == D3DCULL_CW && area > 0) return;

    // Sort by y for the scan; keep the original order for the planes.
    int o[3] = {0, 1, 2};
    if (Y[o[1]] < Y[o[0]]) std::swap(o[0], o[1]);
    if (Y[o[2]] < Y[o[1]]) std::swap(o[1], o[2]);
    if (Y[o[1]] < Y[o[0]]) std::swap(o[0], o[1]);

    Triangle t;
    for (int i = 0; i < 3; ++i) {
        t.x[i] = X[o[i]];
        t.y[i] = Y[o[i]];
    }
    t.yFirst = (t.y[0] + kSubOne - 1) >> kSubBits;
    t.yEnd = (t.y[2] + kSubOne - 1) >> kSubBits;
    if (t.yFirst < pixel.clipY0) t.yFirst = pixel.clipY0;
    if (t.yEnd > pixel.clipY1) t.yEnd = pixel.clipY1;
    if (t.yFirst >= t.yEnd) return;
    int minX = std::min(X[0], std::min(X[1], X[2])), maxX = std::max(X[0], std::max(X[1], X[2]));
    if ((maxX + kSubOne - 1) >> kSubBits <= pixel.clipX0 || (minX >> kSubBits) >= pixel.clipX1) return;
    int64_t sortedArea = (int64_t)(t.x[1] - t.x[0]) * (t.y[2] - t.y[0]) - (int64_t)(t.x[2] - t.x[0]) * (t.y[1] - t.y[0]);
    t.longEdgeLeft = sortedArea > 0;
    t.pixelState = ps;

    // Attribute planes from the snapped positions.
    const float inv = 1.0f / kSubOne;
    float x0 = X[0] * inv, y0 = Y[0] * inv;
    float x1 = X[1] * inv - x0, y1 = Y[1] * inv - y0;
    float x2 = X[2] * inv - x0, y2 = Y[2] * inv - y0;
    float det = (float)area * inv * inv;
    float invDet = 1.0f / det;
    t.refX = x0;
    t.refY = y0;
    for (int a = 0; a < kAttrCount; ++a) {
        float a0 = s[0][2 + a];
        float d1 = s[1][2 + a] - a0, d2 = s[2][2 + a] - a0;
        t.plane[a].at = a0;
        t.plane[a].dx = (d1 * y2 - d2 * y1) * invDet;
        t.plane[a].dy = (d2 * x1 - d1 * x2) * invDet;
    }
    // Texture planes in double, so coordinates far from zero keep their fraction.
    const double ix1 = (X[1] - X[0]) / (double)kSubOne, iy1 = (Y[1] - Y[0]) / (double)kSubOne;
    const double ix2 = (X[2] - X[0]) / (double)kSubOne, iy2 = (Y[2] - Y[0]) / (double)kSubOne;
    const double idet = 1.0 / ((double)area / (kSubOne * kSubOne));
    for (int a = 0; a < 3; ++a) {
        const double a0 = tex[0][a], d1 = tex[1][a] - a0, d2 = tex[2][a] - a0;
        t.tex[a] = {a0, (d1 * iy2 - d2 * iy1) * idet, (d2 * ix1 - d1 * ix2) * idet};
    }
    frame.Bin((uint32_t)frame.triangles.size(), t.yFirst, t.yEnd);
    frame.triangles.push_back(t);
}

}  // namespace sombrella::d3d::raster
