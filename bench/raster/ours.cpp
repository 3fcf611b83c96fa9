#include <cstring>
#include <vector>

#include "common/pixel_format.h"
#include "d3d/direct3d.h"
#include "ddraw/surface.h"
#include "renderers.h"

using sombrella::ddraw::Surface;

namespace bench {
namespace {

class NoDirectDraw final : public IDirectDraw7 {
public:
    HRESULT QueryInterface(REFIID, LPVOID* out) override {
        if (out) *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return 2; }
    ULONG Release() override { return 1; }
    HRESULT CreateSurface(LPDDSURFACEDESC2, LPDIRECTDRAWSURFACE7*, IUnknown*) override { return E_NOTIMPL; }
    HRESULT RestoreDisplayMode() override { return E_NOTIMPL; }
    HRESULT SetCooperativeLevel(HWND, DWORD) override { return E_NOTIMPL; }
    HRESULT SetDisplayMode(DWORD, DWORD, DWORD, DWORD, DWORD) override { return E_NOTIMPL; }
    HRESULT TestCooperativeLevel() override { return E_NOTIMPL; }
};

class Ours final : public Renderer {
public:
    Ours(const City& city, const Target& target, bool overdraw) : city_(city), target_(target) {
        const DDPIXELFORMAT colour = overdraw || target.colourBits == 32 ? sombrella::pixel::Xrgb8888()
                                                                         : sombrella::pixel::Rgb565();
        colour_ = new Surface(nullptr, target.width, target.height, colour, DDSCAPS_3DDEVICE, 0);
        depth_ = new Surface(nullptr, target.width, target.height, sombrella::ddraw::FormatDepth(target.depthBits, 0),
                             DDSCAPS_ZBUFFER, 0);
        colour_->AddAttachedSurface(depth_);
        int n = city.textureSize;
        texture_ = new Surface(nullptr, n, n, sombrella::ddraw::FormatRGB565(), DDSCAPS_TEXTURE, 0);
        for (int y = 0; y < n; ++y)
            std::memcpy(texture_->Bits() + (size_t)y * texture_->Pitch(), &city.texture[(size_t)y * n], n * 2);
        texture_->Touch();
        d3d_ = sombrella::d3d::CreateDirect3D(&ddraw_);
        if (!d3d_ || d3d_->CreateDevice(IID_IDirect3DRGBDevice, colour_, &device_) != D3D_OK) return;
        D3DVIEWPORT7 vp{0, 0, (DWORD)target.width, (DWORD)target.height, 0.0f, 1.0f};
        device_->SetViewport(&vp);
        D3DMATRIX proj = city.projection;
        device_->SetTransform(D3DTRANSFORMSTATE_PROJECTION, &proj);
        device_->SetRenderState(D3DRENDERSTATE_AMBIENT, city.ambient);
        device_->SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTFG_LINEAR);
        device_->SetRenderState(D3DRENDERSTATE_ZENABLE, D3DZB_TRUE);
        device_->SetRenderState(D3DRENDERSTATE_LIGHTING, TRUE);
        D3DLIGHT7 light = city.light;
        device_->SetLight(0, &light);
        device_->LightEnable(0, TRUE);
        D3DMATERIAL7 mat = city.material;
        device_->SetMaterial(&mat);
        if (overdraw) {
            device_->SetRenderState(D3DRENDERSTATE_ZENABLE, D3DZB_FALSE);
            device_->SetRenderState(D3DRENDERSTATE_LIGHTING, FALSE);
            device_->SetRenderState(D3DRENDERSTATE_ALPHABLENDENABLE, TRUE);
            device_->SetRenderState(D3DRENDERSTATE_SRCBLEND, D3DBLEND_ONE);
            device_->SetRenderState(D3DRENDERSTATE_DESTBLEND, D3DBLEND_ONE);
            device_->SetRenderState(D3DRENDERSTATE_TEXTUREFACTOR, 0xFF010101);
            device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
            device_->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TFACTOR);
        }
    }
    ~Ours() override {
        if (device_) device_->Release();
        if (d3d_) d3d_->Release();
        texture_->Release();
        depth_->Release();
        colour_->Release();
    }
    bool Ok() const override { return device_ != nullptr; }

    void Frame(int frame) override {
        D3DMATRIX view = ViewForFrame(frame);
        device_->SetTransform(D3DTRANSFORMSTATE_VIEW, &view);
        device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0x00304060, 1.0f, 0);
        device_->SetTexture(0, texture_);
        device_->BeginScene();
        for (const Mesh& m : city_.meshes)
            device_->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 274, (void*)m.vertices.data(), (DWORD)m.vertices.size(),
                                          (WORD*)m.indices.data(), (DWORD)m.indices.size(), 0);
        device_->EndScene();
    }

    Picture Read() const override {
        Picture pic{target_.width, target_.height, {}};
        pic.rgb.resize((size_t)pic.width * pic.height * 3);
        const bool wide = colour_->Pitch() >= pic.width * 4;
        for (int y = 0; y < pic.height; ++y) {
            const uint8_t* row = colour_->Bits() + (size_t)y * colour_->Pitch();
            for (int x = 0; x < pic.width; ++x) {
                uint8_t* o = &pic.rgb[((size_t)y * pic.width + x) * 3];
                if (wide) {
                    o[0] = row[x * 4 + 2], o[1] = row[x * 4 + 1], o[2] = row[x * 4];
                } else {
                    uint16_t p;
                    std::memcpy(&p, row + x * 2, 2);
                    o[0] = (uint8_t)((p >> 11) << 3), o[1] = (uint8_t)(((p >> 5) & 63) << 2),
                    o[2] = (uint8_t)((p & 31) << 3);
                }
            }
        }
        return pic;
    }

    double Overdraw() const {
        uint64_t sum = 0;
        for (int y = 0; y < target_.height; ++y)
            for (int x = 0; x < target_.width; ++x) {
                uint32_t p;
                std::memcpy(&p, colour_->Bits() + (size_t)y * colour_->Pitch() + x * 4, 4);
                sum += (p & 0xFF) - 0x60;  // minus the clear colour's blue
            }
        return (double)sum / ((double)target_.width * target_.height);
    }

private:
    const City& city_;
    Target target_;
    NoDirectDraw ddraw_;
    Surface* colour_;
    Surface* depth_;
    Surface* texture_;
    IDirect3D7* d3d_ = nullptr;
    IDirect3DDevice7* device_ = nullptr;
};

}  // namespace

Renderer* MakeOurs(const City& city, const Target& target, bool overdraw) {
    return new Ours(city, target, overdraw);
}

double MeasureOverdraw(Renderer* counting) { return static_cast<Ours*>(counting)->Overdraw(); }

}  // namespace bench
