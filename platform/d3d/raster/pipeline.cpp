#include "d3d/raster/pipeline.h"

#include <algorithm>
#include <thread>

#include "common/knobs.h"
#include "d3d/raster/band_runner.h"
#include "d3d/raster/frame.h"
#include "d3d/raster/front_end.h"
#include "d3d/raster/validate.h"

namespace sombrella::d3d::raster {
namespace {

// Queued work is flushed early past this many triangles to bound memory.
constexpr size_t kMaxQueuedTriangles = 1 << 16;

int DefaultThreads() {
    long n = knobs::Int("SOMBRELLA_RASTER_THREADS", 0);
    if (n <= 0) n = (long)std::thread::hardware_concurrency();
    return (int)std::clamp(n, 1L, 16L);
}

bool IsTextureOperand(DWORD arg) { return (arg & ~D3DTA_ALPHAREPLICATE) == D3DTA_TEXTURE; }
bool IsDiffuseOperand(DWORD arg) { return arg == D3DTA_DIFFUSE || arg == D3DTA_CURRENT; }

// Whether an operation reads the texture through one of its arguments.
bool ReadsTexture(DWORD op, DWORD arg1, DWORD arg2) {
    if (op == D3DTOP_DISABLE) return false;
    bool t1 = (arg1 & D3DTA_SELECTMASK) == D3DTA_TEXTURE, t2 = (arg2 & D3DTA_SELECTMASK) == D3DTA_TEXTURE;
    return (t1 && op != D3DTOP_SELECTARG2) || (t2 && op != D3DTOP_SELECTARG1);
}

// An operation that hands the stage's input (the diffuse colour) on unchanged.
bool PassesDiffuse(DWORD op, DWORD arg1, DWORD arg2) {
    return (op == D3DTOP_SELECTARG1 && IsDiffuseOperand(arg1)) || (op == D3DTOP_SELECTARG2 && IsDiffuseOperand(arg2));
}

}  // namespace

struct Pipeline::Impl {
    Frame frame;
    FrontEnd frontEnd;

    BandRunner runner{DefaultThreads()};

    void Flush() {
        if (frame.Empty()) return;
        runner.Run(frame.bandCount, [](void* f, int band) { RunBand(*static_cast<const Frame*>(f), band); }, &frame);
        frame.Reset();
    }

    PixelState MakePixelState(const DeviceState& state, const Target& target) {
        PixelState ps;
        ps.target = target;
        const D3DVIEWPORT7& vp = state.viewport;
        ps.clipX0 = (int)std::min<DWORD>(vp.dwX, (DWORD)target.width);
        ps.clipY0 = (int)std::min<DWORD>(vp.dwY, (DWORD)target.height);
        ps.clipX1 = (int)std::min<uint64_t>((uint64_t)vp.dwX + vp.dwWidth, (uint64_t)target.width);
        ps.clipY1 = (int)std::min<uint64_t>((uint64_t)vp.dwY + vp.dwHeight, (uint64_t)target.height);

        const DWORD* rs = state.renderState;
        const DWORD* ts = state.stageState[0];
        ps.colorOp = ts[D3DTSS_COLOROP];
        ps.colorArg1 = ts[D3DTSS_COLORARG1];
        ps.colorArg2 = ts[D3DTSS_COLORARG2];
        ps.alphaOp = ts[D3DTSS_ALPHAOP];
        ps.alphaArg1 = ts[D3DTSS_ALPHAARG1];
        ps.alphaArg2 = ts[D3DTSS_ALPHAARG2];
        ps.textureFactor = rs[D3DRENDERSTATE_TEXTUREFACTOR];
        bool stageOn = ps.colorOp != D3DTOP_DISABLE;
        if (stageOn) ps.texture = state.texture[0];
        ps.magLinear = ts[D3DTSS_MAGFILTER] >= D3DTFG_LINEAR;
        ps.minLinear = ts[D3DTSS_MINFILTER] >= D3DTFN_LINEAR;
        if (!ps.texture) {
            // A stage reading a texture it does not have passes its input
            // on instead, colour and alpha alike.
            if (ReadsTexture(ps.colorOp, ps.colorArg1, ps.colorArg2)) {
                ps.colorOp = D3DTOP_SELECTARG1;
                ps.colorArg1 = D3DTA_CURRENT;
            }
            if (ReadsTexture(ps.alphaOp, ps.alphaArg1, ps.alphaArg2)) {
                ps.alphaOp = D3DTOP_SELECTARG1;
                ps.alphaArg1 = D3DTA_CURRENT;
            }
        }
        if (!ps.texture)
            ps.texMode = TexMode::kNone;
        else if (ps.magLinear == ps.minLinear)
            ps.texMode = ps.magLinear ? TexMode::kLinear : TexMode::kPoint;
        else
            ps.texMode = TexMode::kLodSelect;
        // Enhanced rendering filters every texture through its mips.
        if (ps.texture && state.mipmaps && !ps.texture->mips.empty()) ps.texMode = TexMode::kMip;
        ps.addressU = ts[D3DTSS_ADDRESSU];
        ps.addressV = ts[D3DTSS_ADDRESSV];
        ps.fastModulate = ps.colorOp == D3DTOP_MODULATE &&
                          ((IsTextureOperand(ps.colorArg1) && ps.colorArg1 == D3DTA_TEXTURE &&
                            IsDiffuseOperand(ps.colorArg2)) ||
                           (ps.colorArg2 == D3DTA_TEXTURE && IsDiffuseOperand(ps.colorArg1))) &&
                          ((ps.alphaOp == D3DTOP_SELECTARG1 && ps.alphaArg1 == D3DTA_TEXTURE) ||
                           (ps.alphaOp == D3DTOP_SELECTARG2 && ps.alphaArg2 == D3DTA_TEXTURE));
        // Untextured, the fast path's white texel with the diffuse alpha is
        // exactly a pass-through of the diffuse colour.
        if (!ps.texture && PassesDiffuse(ps.colorOp, ps.colorArg1, ps.colorArg2) &&
            PassesDiffuse(ps.alphaOp, ps.alphaArg1, ps.alphaArg2))
            ps.fastModulate = true;
        ps.specular = rs[D3DRENDERSTATE_SPECULARENABLE] != 0;

        ps.depthTest = rs[D3DRENDERSTATE_ZENABLE] != D3DZB_FALSE && target.depth != nullptr;
        ps.depthWrite = ps.depthTest && rs[D3DRENDERSTATE_ZWRITEENABLE] != 0;
        ps.depthFunc = rs[D3DRENDERSTATE_ZFUNC];
        if (target.depth) {
            ps.depthShift = __builtin_ctz(target.depthMask);
            ps.depthMax = target.depthMask >> ps.depthShift;
        }
        if (ps.depthTest) {
            // Never step past the depth surface, whatever its size.
            ps.clipX1 = std::min(ps.clipX1, target.depthWidth);
            ps.clipY1 = std::min(ps.clipY1, target.depthHeight);
        }
        ps.alphaTest = rs[D3DRENDERSTATE_ALPHATESTENABLE] != 0;
        ps.alphaFunc = rs[D3DRENDERSTATE_ALPHAFUNC];
        ps.alphaRef = rs[D3DRENDERSTATE_ALPHAREF] & 255u;
        ps.blend = rs[D3DRENDERSTATE_ALPHABLENDENABLE] != 0;
        ps.srcBlend = rs[D3DRENDERSTATE_SRCBLEND];
        ps.dstBlend = rs[D3DRENDERSTATE_DESTBLEND];
        if (ps.srcBlend == D3DBLEND_BOTHSRCALPHA) {
            ps.srcBlend = D3DBLEND_SRCALPHA;
            ps.dstBlend = D3DBLEND_INVSRCALPHA;
        } else if (ps.srcBlend == D3DBLEND_BOTHINVSRCALPHA) {
            ps.srcBlend = D3DBLEND_INVSRCALPHA;
            ps.dstBlend = D3DBLEND_SRCALPHA;
        }
        // Blending ONE/ZERO is a plain write.
        if (ps.blend && ps.srcBlend == D3DBLEND_ONE && ps.dstBlend == D3DBLEND_ZERO) ps.blend = false;
        const bool depthOn = ps.depthTest && target.depth;
        const bool simpleDepth = !depthOn || (target.depthBytes == 2 && target.depthMask == 0xFFFFu &&
                                              (ps.depthFunc == D3DCMP_LESSEQUAL || ps.depthFunc == D3DCMP_LESS ||
                                               ps.depthFunc == D3DCMP_ALWAYS));
        const bool simpleTexture = ps.texMode == TexMode::kNone ||
                                   (ps.texture->pow2 && ps.addressU == D3DTADDRESS_WRAP && ps.addressV == D3DTADDRESS_WRAP);
        ps.sequentialDepth = !(ps.fastModulate && simpleDepth && simpleTexture && !ps.blend && !ps.alphaTest &&
                               !ps.specular && target.colorFormat == ColorFormat::kRgb565);
        return ps;
    }
};

Pipeline::Pipeline() : impl_(std::make_unique<Impl>()) {}
Pipeline::~Pipeline() { Flush(); }

HRESULT Pipeline::DrawIndexed(const DeviceState& state, const Target& target, D3DPRIMITIVETYPE type, DWORD fvf,
                              const void* vertices, DWORD vertexCount, const WORD* indices, DWORD indexCount) {
    HRESULT hr = ValidateDraw(type, fvf, vertices, vertexCount, indices, indexCount);
    if (hr != D3D_OK || vertexCount == 0 || indexCount == 0) return hr;
    Frame& frame = impl_->frame;
    if (frame.triangles.size() > kMaxQueuedTriangles || frame.clears.size() > kMaxQueuedTriangles) impl_->Flush();
    frame.pixelStates.push_back(impl_->MakePixelState(state, target));
    impl_->frontEnd.Draw(state, (uint32_t)frame.pixelStates.size() - 1, frame, type, fvf, vertices, vertexCount,
                         indices, indexCount);
    return D3D_OK;
}

HRESULT Pipeline::Clear(const DeviceState& state, const Target& target, DWORD count, const D3DRECT* rects,
                        DWORD flags, D3DCOLOR color, D3DVALUE z) {
    Frame& frame = impl_->frame;
    const D3DVIEWPORT7& vp = state.viewport;
    const int64_t vx0 = vp.dwX, vy0 = vp.dwY;
    const int64_t vx1 = std::min<int64_t>((int64_t)vp.dwX + vp.dwWidth, target.width);
    const int64_t vy1 = std::min<int64_t>((int64_t)vp.dwY + vp.dwHeight, target.height);
    D3DRECT whole{(LONG)vx0, (LONG)vy0, (LONG)vx1, (LONG)vy1};
    if (count == 0) {
        rects = &whole;
        count = 1;
    }
    for (DWORD i = 0; i < count; ++i) {
        ClearCommand c;
        c.x0 = (int)std::max<int64_t>(rects[i].x1, vx0);
        c.y0 = (int)std::max<int64_t>(rects[i].y1, vy0);
        c.x1 = (int)std::min<int64_t>(rects[i].x2, vx1);
        c.y1 = (int)std::min<int64_t>(rects[i].y2, vy1);
        if (c.x0 >= c.x1 || c.y0 >= c.y1) continue;
        c.color = (flags & D3DCLEAR_TARGET) != 0;
        c.depth = (flags & D3DCLEAR_ZBUFFER) != 0;
        c.colorValue = color;
        c.depthValue = z;
        c.target = target;
        frame.Bin(kClearBit | (uint32_t)frame.clears.size(), c.y0, c.y1);
        frame.clears.push_back(c);
    }
    return D3D_OK;
}

void Pipeline::Flush() { impl_->Flush(); }

int Pipeline::ThreadCount() const { return impl_->runner.Threads(); }

}  // namespace sombrella::d3d::raster
