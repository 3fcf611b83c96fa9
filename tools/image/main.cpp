// sombrella-image FILE OUT.png: decodes a texture file the way the demo does
// (".bmp" through LoadImageA and a GDI blit, ".tga" through the TGA reader)
// and writes what came out as a PNG.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "common/pixel_format.h"
#include "common/png_write.h"
#include "textures/texture_registry.h"
#include "textures/tga_reader.h"
#include "win32/gdi_surface.h"
#include "windows.h"

namespace {

int Fail(const std::string& reason) {
    std::fprintf(stderr, "sombrella-image: %s\n", reason.c_str());
    return 1;
}

bool HasExtension(const std::string& path, const char* ext) {
    const size_t dot = path.rfind('.');
    return dot != std::string::npos && lstrcmpiA(path.c_str() + dot, ext) == 0;
}

// The bitmap blitted into 32-bit ARGB surface memory, as RGBA bytes.
bool DecodeBmp(const char* path, int& width, int& height, std::vector<uint8_t>& rgba, std::string& reason) {
    HANDLE bitmap = LoadImageA(nullptr, path, IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE | LR_CREATEDIBSECTION);
    if (!bitmap) {
        reason = "cannot load bitmap";
        return false;
    }
    BITMAP bm{};
    GetObjectA(bitmap, sizeof bm, &bm);
    width = bm.bmWidth;
    height = bm.bmHeight;
    std::vector<uint32_t> surface(static_cast<size_t>(width) * height, 0);
    const DDPIXELFORMAT format = sombrella::pixel::Argb8888();
    HDC target = sombrella::gdi::CreateSurfaceDC(surface.data(), width * 4, width, height, format);
    HDC memory = CreateCompatibleDC(nullptr);
    bool ok = target && memory && SelectObject(memory, bitmap) &&
              BitBlt(target, 0, 0, width, height, memory, 0, 0, SRCCOPY);
    if (memory) DeleteDC(memory);
    if (target) sombrella::gdi::DestroySurfaceDC(target);
    DeleteObject(bitmap);
    if (!ok) {
        reason = "GDI blit failed";
        return false;
    }
    rgba.resize(surface.size() * 4);
    for (size_t i = 0; i < surface.size(); ++i) {
        const uint32_t p = surface[i];
        rgba[i * 4 + 0] = static_cast<uint8_t>(p >> 16);
        rgba[i * 4 + 1] = static_cast<uint8_t>(p >> 8);
        rgba[i * 4 + 2] = static_cast<uint8_t>(p);
        rgba[i * 4 + 3] = static_cast<uint8_t>(p >> 24);
    }
    return true;
}

bool DecodeTga(const char* path, int& width, int& height, std::vector<uint8_t>& rgba, std::string& reason) {
    TextureEntry entry{};
    if (ReadTgaTexture(&entry, path) != 0) {
        delete[] entry.pixels;
        reason = "cannot read TGA file";
        return false;
    }
    width = static_cast<int>(entry.width);
    height = static_cast<int>(entry.height);
    const size_t count = size_t{entry.width} * entry.height;
    rgba.resize(count * 4);
    for (size_t i = 0; i < count; ++i) {
        const uint32_t p = entry.pixels[i];  // 0xRRGGBBAA
        rgba[i * 4 + 0] = static_cast<uint8_t>(p >> 24);
        rgba[i * 4 + 1] = static_cast<uint8_t>(p >> 16);
        rgba[i * 4 + 2] = static_cast<uint8_t>(p >> 8);
        rgba[i * 4 + 3] = static_cast<uint8_t>(p);
    }
    delete[] entry.pixels;
    if (count == 0) {
        reason = "image has no pixels";
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) return Fail("usage: sombrella-image FILE OUT.png");
    const std::string in = argv[1];
    int width = 0, height = 0;
    std::vector<uint8_t> rgba;
    std::string reason;
    bool ok;
    if (HasExtension(in, ".bmp"))
        ok = DecodeBmp(in.c_str(), width, height, rgba, reason);
    else if (HasExtension(in, ".tga"))
        ok = DecodeTga(in.c_str(), width, height, rgba, reason);
    else
        return Fail("unknown file type (expected .bmp or .tga): " + in);
    if (!ok) return Fail(reason + ": " + in);
    if (!sombrella::png::Write(argv[2], width, height, 4, rgba.data())) return Fail(std::string("cannot write ") + argv[2]);
    return 0;
}
