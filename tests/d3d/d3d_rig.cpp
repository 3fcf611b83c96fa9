#include "d3d_rig.h"

#include <png.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/pixel_format.h"
#include "common/png_write.h"
#include "d3d/direct3d.h"

using sombrella::ddraw::Surface;

namespace d3dtest {

DDPIXELFORMAT FormatArgb(DWORD bits, DWORD a, DWORD r, DWORD g, DWORD b) {
    return sombrella::pixel::RgbFormat(bits, r, g, b, a);
}

DDPIXELFORMAT FormatXrgb8888() { return sombrella::pixel::Xrgb8888(); }
DDPIXELFORMAT FormatRgb555() { return sombrella::pixel::Rgb555(); }

Rig::Rig(int width, int height, DWORD depthBits) : Rig(width, height, depthBits, sombrella::ddraw::FormatRGB565()) {}

Rig::Rig(int width, int height, DWORD depthBits, const DDPIXELFORMAT& color, DWORD stencilBits) {
    target = new Surface(nullptr, width, height, color, DDSCAPS_3DDEVICE, 0);
    if (depthBits) {
        depth = new Surface(nullptr, width, height, sombrella::ddraw::FormatDepth(depthBits, stencilBits),
                            DDSCAPS_ZBUFFER, 0);
        target->AddAttachedSurface(depth);
    }
    d3d = sombrella::d3d::CreateDirect3D(&ddraw);
    if (d3d) d3d->CreateDevice(IID_IDirect3DRGBDevice, target, &device);
}

Rig::~Rig() {
    if (device) device->Release();
    if (d3d) d3d->Release();
    if (depth) depth->Release();
    target->Release();
}

uint32_t Rig::Pixel(int x, int y) const {
    const uint8_t* row = target->Bits() + (size_t)y * target->Pitch();
    if (target->BytesPerPixel() == 2) {
        uint16_t v;
        std::memcpy(&v, row + x * 2, 2);
        return v;
    }
    uint32_t v;
    std::memcpy(&v, row + x * 4, 4);
    return v;
}

Image Rig::Snapshot() const {
    Image img;
    img.width = (int)target->Width();
    img.height = (int)target->Height();
    img.rgb.resize((size_t)img.width * img.height * 3);
    bool is555 = target->Format().dwGBitMask == 0x3E0;
    for (int y = 0; y < img.height; ++y)
        for (int x = 0; x < img.width; ++x) {
            uint32_t p = Pixel(x, y);
            uint8_t* o = &img.rgb[((size_t)y * img.width + x) * 3];
            if (target->BytesPerPixel() == 2) p = is555 ? sombrella::pixel::Rgb555ToArgb(p) : sombrella::pixel::Rgb565ToArgb(p);
            o[0] = (p >> 16) & 255, o[1] = (p >> 8) & 255, o[2] = p & 255;
        }
    return img;
}

void Rig::LookFromZ(float dist) {
    D3DMATRIX view = Translation(0, 0, dist);
    D3DMATRIX proj = Perspective(1.0471976f, (float)target->Width() / target->Height(), 1.0f, 100.0f);
    device->SetTransform(D3DTRANSFORMSTATE_VIEW, &view);
    device->SetTransform(D3DTRANSFORMSTATE_PROJECTION, &proj);
}

Surface* MakeTexture(int width, int height, const DDPIXELFORMAT& format) {
    return new Surface(nullptr, width, height, format, DDSCAPS_TEXTURE | DDSCAPS_SYSTEMMEMORY, 0);
}

HRESULT DrawTlVertices(IDirect3DDevice7* dev, std::vector<TlVertex> v, std::vector<WORD> idx, D3DPRIMITIVETYPE type) {
    return dev->DrawIndexedPrimitive(type, kTlFvf, v.data(), (DWORD)v.size(), idx.data(), (DWORD)idx.size(), 0);
}

void PutArgb(Surface* s, int x, int y, uint32_t argb) {
    const DDPIXELFORMAT& f = s->Format();
    uint32_t channels[4] = {(argb >> 24) & 255, (argb >> 16) & 255, (argb >> 8) & 255, argb & 255};
    uint32_t masks[4] = {(f.dwFlags & DDPF_ALPHAPIXELS) ? f.dwRGBAlphaBitMask : 0, f.dwRBitMask, f.dwGBitMask,
                         f.dwBBitMask};
    if (f.dwFlags & DDPF_LUMINANCE) {
        masks[1] = f.dwLuminanceBitMask;
        masks[2] = masks[3] = 0;
    }
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= sombrella::pixel::Channel(masks[i]).Pack(channels[i]);
    std::memcpy(s->Bits() + (size_t)y * s->Pitch() + (size_t)x * s->BytesPerPixel(), &v, s->BytesPerPixel());
}

D3DMATRIX Identity() {
    D3DMATRIX m{};
    m._11 = m._22 = m._33 = m._44 = 1;
    return m;
}

D3DMATRIX Perspective(float fovY, float aspect, float zn, float zf) {
    D3DMATRIX m{};
    float h = 1.0f / std::tan(fovY * 0.5f);
    m._11 = h / aspect;
    m._22 = h;
    m._33 = zf / (zf - zn);
    m._34 = 1.0f;
    m._43 = -zn * zf / (zf - zn);
    return m;
}

D3DMATRIX RotationY(float a) {
    D3DMATRIX m = Identity();
    m._11 = std::cos(a), m._13 = -std::sin(a), m._31 = std::sin(a), m._33 = std::cos(a);
    return m;
}

D3DMATRIX RotationX(float a) {
    D3DMATRIX m = Identity();
    m._22 = std::cos(a), m._23 = std::sin(a), m._32 = -std::sin(a), m._33 = std::cos(a);
    return m;
}

D3DMATRIX Translation(float x, float y, float z) {
    D3DMATRIX m = Identity();
    m._41 = x, m._42 = y, m._43 = z;
    return m;
}

D3DMATRIX Mul(const D3DMATRIX& a, const D3DMATRIX& b) {
    D3DMATRIX r{};
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            for (int k = 0; k < 4; ++k) r.m[i][j] += a.m[i][k] * b.m[k][j];
    return r;
}

bool ReadPng(const std::string& path, Image* out) {
    png_image img{};
    img.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&img, path.c_str())) return false;
    img.format = PNG_FORMAT_RGB;
    out->width = (int)img.width;
    out->height = (int)img.height;
    out->rgb.resize(PNG_IMAGE_SIZE(img));
    if (!png_image_finish_read(&img, nullptr, out->rgb.data(), 0, nullptr)) {
        png_image_free(&img);
        return false;
    }
    return true;
}

bool WritePng(const std::string& path, const Image& image) {
    return sombrella::png::Write(path, image.width, image.height, 3, image.rgb.data());
}

std::string CompareGolden(const std::string& name, const Image& image, int tolerance) {
    std::string golden = std::string(SOMBRELLA_D3D_GOLDEN_DIR) + "/" + name + ".png";
    const char* update = std::getenv("SOMBRELLA_UPDATE_GOLDEN");
    if (update && std::strcmp(update, "1") == 0) {
        return WritePng(golden, image) ? "" : "cannot write " + golden;
    }
    std::string out = std::string(SOMBRELLA_D3D_OUTPUT_DIR) + "/" + name;
    Image expected;
    if (!ReadPng(golden, &expected)) {
        WritePng(out + ".actual.png", image);
        return "no golden " + golden;
    }
    if (expected.width != image.width || expected.height != image.height) return "golden size differs";
    // Byte for byte where asked: another CPU's build must draw exactly these pictures.
    const char* exact = std::getenv("SOMBRELLA_GOLDEN_EXACT");
    if (exact && std::strcmp(exact, "1") == 0) tolerance = 0;
    Image diff = image;
    int bad = 0, worst = 0;
    for (size_t i = 0; i < image.rgb.size(); i += 3) {
        int d = 0;
        for (int c = 0; c < 3; ++c) d = std::max(d, std::abs((int)image.rgb[i + c] - (int)expected.rgb[i + c]));
        worst = std::max(worst, d);
        bool off = d > tolerance;
        bad += off;
        diff.rgb[i] = off ? 255 : image.rgb[i] / 4;
        diff.rgb[i + 1] = off ? 0 : image.rgb[i + 1] / 4;
        diff.rgb[i + 2] = off ? 255 : image.rgb[i + 2] / 4;
    }
    if (bad == 0) return "";
    WritePng(out + ".actual.png", image);
    WritePng(out + ".diff.png", diff);
    char msg[160];
    std::snprintf(msg, sizeof msg, "%d pixels differ (worst %d); see %s.diff.png", bad, worst, out.c_str());
    return msg;
}

}  // namespace d3dtest
