#include "fakes/fake_win32.h"

#include <cctype>
#include <cstdio>
#include <cstring>

namespace sombrella::fakes::win32 {

namespace {

State* state = new State;  // outlives exit handlers
uintptr_t nextHandle = 0x5000;
const HMODULE kModule = reinterpret_cast<HMODULE>(uintptr_t{0x400000});
const HKEY kOpenKey = reinterpret_cast<HKEY>(uintptr_t{0x7E57});
const HDC kMemoryDC = reinterpret_cast<HDC>(uintptr_t{0xDC01});

std::string Hex(const void* p) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%#lx", static_cast<unsigned long>(reinterpret_cast<uintptr_t>(p)));
    return buf;
}

void Call(std::string text) { state->calls.push_back(std::move(text)); }

HANDLE NewBitmap(Bitmap b) {
    uintptr_t h = nextHandle += 0x10;
    state->bitmaps[h] = std::move(b);
    return reinterpret_cast<HANDLE>(h);
}

bool ReadBmpHeader(const char* path, Bitmap* out) {
    std::FILE* f = std::fopen(path, "rb");
    if (!f) return false;
    uint8_t h[54];
    size_t n = std::fread(h, 1, sizeof h, f);
    std::fclose(f);
    if (n < sizeof h || h[0] != 'B' || h[1] != 'M' || h[14] != 40) return false;
    auto le32 = [&](int o) { return static_cast<int32_t>(h[o] | h[o + 1] << 8 | h[o + 2] << 16 | uint32_t(h[o + 3]) << 24); };
    out->width = le32(18);
    int32_t height = le32(22);
    out->height = height < 0 ? -height : height;
    out->bitsPerPixel = static_cast<WORD>(h[28] | h[29] << 8);
    return out->width > 0 && out->height > 0;
}

}  // namespace

State& Win32() { return *state; }

void Reset() { *state = State{}; }

void SetSamplesPath(const std::string& text) {
    state->keyPresent = state->valuePresent = true;
    state->value.assign(text.begin(), text.end());
    state->value.push_back(0);
}

int State::CountCalls(const std::string& prefix) const {
    int n = 0;
    for (const auto& c : calls) n += c.compare(0, prefix.size(), prefix) == 0;
    return n;
}

std::vector<std::string> State::Undeleted() const {
    std::vector<std::string> out;
    for (const auto& [h, b] : bitmaps)
        if (b.deletes != 1) out.push_back(b.source + " deleted " + std::to_string(b.deletes) + "x");
    return out;
}

}  // namespace sombrella::fakes::win32

using namespace sombrella::fakes::win32;

HMODULE WINAPI GetModuleHandleA(LPCSTR name) {
    Call(std::string("GetModuleHandleA(") + (name ? name : "null") + ")");
    return name ? nullptr : kModule;
}

HANDLE WINAPI LoadImageA(HINSTANCE module, LPCSTR name, UINT type, int cx, int cy, UINT flags) {
    Call("LoadImageA(" + std::string(module ? "module" : "null") + "," + (name ? name : "null") + "," +
         std::to_string(type) + "," + std::to_string(cx) + "," + std::to_string(cy) + "," + Hex(reinterpret_cast<void*>(uintptr_t{flags})) + ")");
    if (!name || type != IMAGE_BITMAP) return nullptr;
    if (flags & LR_LOADFROMFILE) {
        Bitmap b;
        if (module || !ReadBmpHeader(name, &b)) return nullptr;
        b.source = name;
        return NewBitmap(b);
    }
    if (module != kModule) return nullptr;
    auto it = state->resources.find(name);
    if (it == state->resources.end()) return nullptr;
    Bitmap b = it->second;
    b.source = name;
    return NewBitmap(b);
}

int WINAPI GetObjectA(HANDLE h, int c, LPVOID pv) {
    Call("GetObjectA(" + Hex(h) + "," + std::to_string(c) + ")");
    auto it = state->bitmaps.find(reinterpret_cast<uintptr_t>(h));
    if (it == state->bitmaps.end() || it->second.deletes) {
        state->errors.push_back("GetObjectA on unknown or deleted " + Hex(h));
        return 0;
    }
    if (!pv || c < static_cast<int>(sizeof(BITMAP))) return 0;
    BITMAP bm{};
    bm.bmWidth = it->second.width;
    bm.bmHeight = it->second.height;
    bm.bmBitsPixel = it->second.bitsPerPixel;
    bm.bmPlanes = 1;
    bm.bmWidthBytes = ((bm.bmWidth * bm.bmBitsPixel + 31) / 32) * 4;
    std::memcpy(pv, &bm, sizeof bm);
    return sizeof bm;
}

BOOL WINAPI DeleteObject(HGDIOBJ h) {
    Call("DeleteObject(" + Hex(h) + ")");
    auto it = state->bitmaps.find(reinterpret_cast<uintptr_t>(h));
    if (it == state->bitmaps.end()) {
        state->errors.push_back("DeleteObject on unknown " + Hex(h));
        return FALSE;
    }
    if (it->second.deletes++) {
        state->errors.push_back("DeleteObject twice on " + it->second.source);
        return FALSE;
    }
    return TRUE;
}

HDC WINAPI CreateCompatibleDC(HDC hdc) {
    Call("CreateCompatibleDC(" + Hex(hdc) + ")");
    return state->failCreateCompatibleDC ? nullptr : kMemoryDC;
}

HGDIOBJ WINAPI SelectObject(HDC hdc, HGDIOBJ h) {
    Call("SelectObject(" + Hex(hdc) + "," + Hex(h) + ")");
    return nullptr;
}

BOOL WINAPI DeleteDC(HDC hdc) {
    Call("DeleteDC(" + Hex(hdc) + ")");
    return hdc == kMemoryDC;
}

BOOL WINAPI BitBlt(HDC hdc, int x, int y, int cx, int cy, HDC src, int x1, int y1, DWORD rop) {
    Call("BitBlt(" + Hex(hdc) + "," + std::to_string(x) + "," + std::to_string(y) + "," + std::to_string(cx) + "," +
         std::to_string(cy) + "," + Hex(src) + "," + std::to_string(x1) + "," + std::to_string(y1) + "," +
         Hex(reinterpret_cast<void*>(uintptr_t{rop})) + ")");
    return TRUE;
}

int WINAPI lstrcmpiA(LPCSTR a, LPCSTR b) {
    for (;; ++a, ++b) {
        int ca = std::tolower(static_cast<unsigned char>(*a)), cb = std::tolower(static_cast<unsigned char>(*b));
        if (ca != cb || !ca) return ca < cb ? -1 : ca > cb ? 1 : 0;
    }
}

LSTATUS APIENTRY RegOpenKeyExA(HKEY root, LPCSTR subKey, DWORD options, REGSAM access, PHKEY out) {
    Call("RegOpenKeyExA(" + (root == HKEY_LOCAL_MACHINE ? std::string("HKLM") : Hex(root)) + "," + (subKey ? subKey : "null") + "," + std::to_string(options) + "," +
         Hex(reinterpret_cast<void*>(uintptr_t{access})) + ")");
    if (!out) return ERROR_INVALID_PARAMETER;
    *out = nullptr;
    if (root != HKEY_LOCAL_MACHINE || !subKey || lstrcmpiA(subKey, "Software\\Microsoft\\DirectX") != 0 ||
        !state->keyPresent)
        return ERROR_FILE_NOT_FOUND;
    ++state->keysOpen;
    *out = kOpenKey;
    return ERROR_SUCCESS;
}

LSTATUS APIENTRY RegQueryValueExA(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data,
                                  LPDWORD size) {
    Call(std::string("RegQueryValueExA(") + (name ? name : "null") + "," + (size ? std::to_string(*size) : "null") +
         ")");
    if (key != kOpenKey || state->keysOpen <= 0) return ERROR_INVALID_HANDLE;
    if (reserved) return ERROR_INVALID_PARAMETER;
    if (!name || std::strcmp(name, "DXSDK Samples Path") != 0 || !state->valuePresent) return ERROR_FILE_NOT_FOUND;
    if (size) state->lastQuerySize = *size;
    if (type) *type = state->valueType;
    const DWORD need = static_cast<DWORD>(state->value.size());
    if (data) {
        if (!size || *size < need) {
            if (size) *size = need;
            return ERROR_MORE_DATA;
        }
        std::memcpy(data, state->value.data(), need);
    }
    if (size) *size = need;
    return ERROR_SUCCESS;
}

LSTATUS APIENTRY RegCloseKey(HKEY key) {
    Call("RegCloseKey(" + Hex(key) + ")");
    ++state->closes;
    if (key != kOpenKey || state->keysOpen <= 0) {
        state->errors.push_back("RegCloseKey on a key not open");
        return ERROR_INVALID_HANDLE;
    }
    --state->keysOpen;
    return ERROR_SUCCESS;
}
