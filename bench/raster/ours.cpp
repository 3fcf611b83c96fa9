#include <cstring>
#include <vector>

#include "common/pixel_format.h"
#include "common/png_write.h"
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
    Ours(const City& city, bool overdraw) : city_(city), overdraw_(overdraw) {
        const DDPIXELFORMAT colour = overdraw ? sombrella::pixel::Xrgb8888() : sombrella::pixel::Rgb565();
        target_ = new Surface(nullptr, kWidth, kHeight, colour, DDSCAPS_3DDEVICE, 0);
        depth_ = new Surface(nullptr, kWidth, kHeight, sombrella::ddraw::FormatDepth(16, 0), DDSCAPS_ZBUFFER, 0);
        target_->AddAttachedSurface(depth_);
        int n = city.textureSize;
        texture_ = new Surface(nullptr, n, n, sombrella::ddraw::FormatRGB565(), DDSCAPS_TEXTURE, 0);
        for (int y = 0; y < n; ++y)
            std::memcpy(texture_->Bits() + (size_t)y * texture_->Pitch(), &city.texture[(size_t)y * n], n * 2);
        texture_->Touch();
        d3d_ = sombrella::d3d::CreateDirect3D(&ddraw_);
        if (!d3d_ || d3d_->CreateDevice(IID_IDirect3DRGBDevice, target_, &device_) != D3D_OK) return;
        D3DVIEWPORT7 vp{0, 0, kWidth, kHeight, 0.0f, 1.0f};
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
        target_->Release();
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

    bool Save(const std::string& path) override {
        std::vector<uint8_t> rgb((size_t)kWidth * kHeight * 3);
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) {
                uint16_t p;
                std::memcpy(&p, target_->Bits() + (size_t)y * target_->Pitch() + x * 2, 2);
                uint8_t* o = &rgb[((size_t)y * kWidth + x) * 3];
                o[0] = (uint8_t)((p >> 11) << 3), o[1] = (uint8_t)(((p >> 5) & 63) << 2), o[2] = (uint8_t)((p & 31) << 3);
            }
        return sombrella::png::Write(path, kWidth, kHeight, 3, rgb.data());
    }

    double Overdraw() const {
        uint64_t sum = 0;
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) {
                uint32_t p;
                std::memcpy(&p, target_->Bits() + (size_t)y * target_->Pitch() + x * 4, 4);
                sum += (p & 0xFF) - 0x60;  // minus the clear colour's blue
            }
        return (double)sum / ((double)kWidth * kHeight);
    }

private:
    const City& city_;
    bool overdraw_;
    NoDirectDraw ddraw_;
    Surface* target_;
    Surface* depth_;
    Surface* texture_;
    IDirect3D7* d3d_ = nullptr;
    IDirect3DDevice7* device_ = nullptr;
};

}  // namespace

Renderer* MakeOurs(const City& city, bool overdraw) { return new Ours(city, overdraw); }

double MeasureOverdraw(Renderer* counting) { return static_cast<Ours*>(counting)->Overdraw(); }

}  // namespace bench
