#include "fakes/fake_world.h"

#include <cstdio>
#include <cstring>

#include "common/pixel_format.h"
#include "fakes/fake_d3d.h"
#include "fakes/fake_ddraw.h"
#include "fakes/fake_device.h"
#include "fakes/fake_surface.h"

namespace sombrella::fakes {

std::string GuidName(REFGUID g) {
    if (g == IID_IDirect3DTnLHalDevice) return "TnLHal";
    if (g == IID_IDirect3DHALDevice) return "HAL";
    if (g == IID_IDirect3DMMXDevice) return "MMX";
    if (g == IID_IDirect3DRGBDevice) return "RGB";
    if (g == IID_IDirect3DRefDevice) return "Ref";
    if (g == IID_IDirect3DNullDevice) return "Null";
    if (g == IID_IDirect3DRampDevice) return "Ramp";
    char buf[48];
    std::snprintf(buf, sizeof buf, "{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned long>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2],
                  g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return buf;
}

DDPIXELFORMAT FormatRgb(DWORD bits, DWORD r, DWORD g, DWORD b, DWORD a, DWORD extraFlags) {
    DDPIXELFORMAT f = sombrella::pixel::RgbFormat(bits, r, g, b, a);
    f.dwFlags |= extraFlags;
    return f;
}
DDPIXELFORMAT FormatRgb565() { return FormatRgb(16, 0xF800, 0x07E0, 0x001F); }
DDPIXELFORMAT FormatRgb555() { return FormatRgb(16, 0x7C00, 0x03E0, 0x001F); }
DDPIXELFORMAT FormatArgb1555() { return FormatRgb(16, 0x7C00, 0x03E0, 0x001F, 0x8000); }
DDPIXELFORMAT FormatArgb4444() { return FormatRgb(16, 0x0F00, 0x00F0, 0x000F, 0xF000); }
DDPIXELFORMAT FormatArgb8888() { return FormatRgb(32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000); }
DDPIXELFORMAT FormatLuminance16() { return sombrella::pixel::LuminanceFormat(16, 0xFFFF); }
DDPIXELFORMAT FormatFourCC(DWORD fourcc) {
    DDPIXELFORMAT f = sombrella::pixel::FourCcFormat(fourcc);
    f.dwRGBBitCount = 16;
    return f;
}
DDPIXELFORMAT FormatZ(DWORD bits, DWORD extraFlags, DWORD stencilBits) {
    DWORD zbits = bits - stencilBits;
    DDPIXELFORMAT f = sombrella::pixel::DepthFormat(bits, zbits >= 32 ? 0xFFFFFFFFu : ((1u << zbits) - 1u), 0, 0);
    f.dwFlags = DDPF_ZBUFFER | extraFlags;
    f.dwStencilBitDepth = stencilBits;
    return f;
}

// --- FakeObject ----------------------------------------------------------

FakeObject::FakeObject(FakeWorld* world, std::string kind) : world_(world) {
    id_ = world->NextId(kind);
    label_ = kind + "#" + std::to_string(id_);
}

void FakeObject::FailNth(const std::string& method, int n, HRESULT hr) { nth_[method][n] = hr; }
void FakeObject::FailAlways(const std::string& method, HRESULT hr) { always_[method] = hr; }
void FakeObject::ClearFailures() {
    nth_.clear();
    always_.clear();
}
int FakeObject::Calls(const std::string& method) const {
    auto it = calls_.find(method);
    return it == calls_.end() ? 0 : it->second;
}

HRESULT FakeObject::Scripted(const std::string& method) {
    int n = ++calls_[method];
    if (auto it = nth_.find(method); it != nth_.end())
        if (auto jt = it->second.find(n); jt != it->second.end()) return jt->second;
    if (auto it = always_.find(method); it != always_.end()) return it->second;
    return S_OK;
}

void FakeObject::Log(const std::string& method, std::vector<double> args, long result, std::string text) {
    CallRecord r;
    r.object = label_;
    r.method = method;
    r.args = std::move(args);
    r.text = std::move(text);
    r.result = result;
    world_->log.Add(std::move(r));
}

bool FakeObject::CheckAlive(const char* method) {
    if (!destroyed_) return false;
    world_->log.errors.push_back(std::string(method) + " on released " + label_);
    return true;
}

ULONG FakeObject::DoAddRef() {
    ++calls_["AddRef"];
    if (CheckAlive("AddRef")) return 0;
    ++addRefCalls_;
    ++handedOut_;
    ++refs_;
    Log("AddRef", {}, static_cast<long>(refs_));
    return refs_;
}

ULONG FakeObject::DoRelease() {
    ++calls_["Release"];
    ++releaseCalls_;
    if (destroyed_ || refs_ == 0) {
        world_->log.errors.push_back("Release on released " + label_);
        Log("Release", {}, 0);
        return 0;
    }
    if (releaseCalls_ > handedOut_) world_->log.errors.push_back("more Release than references given: " + label_);
    --refs_;
    Log("Release", {}, static_cast<long>(refs_));
    ULONG left = refs_;
    if (refs_ == 0) ReachZero();
    return left;
}

void FakeObject::HandOut() {
    ++handedOut_;
    ++refs_;
}

void FakeObject::Hold() { ++refs_; }

void FakeObject::Drop() {
    if (refs_ == 0) {
        world_->log.errors.push_back("internal drop on released " + label_);
        return;
    }
    if (--refs_ == 0) ReachZero();
}

void FakeObject::ReachZero() {
    destroyed_ = true;
    OnFinalRelease();
}

std::string LabelOf(IUnknown* object) {
    if (!object) return "null";
    if (auto* f = dynamic_cast<FakeObject*>(object)) return f->Label();
    return "foreign";
}

FakeSurface* AsFake(IDirectDrawSurface7* s) { return s ? dynamic_cast<FakeSurface*>(s) : nullptr; }

// --- FakeWorld -----------------------------------------------------------

FakeWorld::FakeWorld() { textureFormats.push_back(FormatRgb565()); }
FakeWorld::~FakeWorld() = default;

FakeDirectDraw* FakeWorld::CreateDirectDraw() {
    auto* dd = Make<FakeDirectDraw>(this);
    log.Add({dd->Label(), "Create", {}, "DirectDrawCreateEx()", 0});
    return dd;
}

FakeWorld::DeviceSet FakeWorld::CreateDeviceSet(REFGUID type) {
    DeviceSet set{};
    set.ddraw = CreateDirectDraw();
    DDSURFACEDESC2 desc{};
    desc.dwSize = sizeof desc;
    desc.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT;
    desc.dwWidth = 640;
    desc.dwHeight = 480;
    desc.ddpfPixelFormat = FormatRgb565();
    desc.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_3DDEVICE;
    LPDIRECTDRAWSURFACE7 target = nullptr;
    set.ddraw->CreateSurface(&desc, &target, nullptr);
    set.target = AsFake(target);
    void* d3d = nullptr;
    set.ddraw->QueryInterface(IID_IDirect3D7, &d3d);
    set.d3d = static_cast<FakeDirect3D*>(static_cast<IDirect3D7*>(d3d));
    LPDIRECT3DDEVICE7 device = nullptr;
    set.d3d->CreateDevice(type, target, &device);
    set.device = device ? static_cast<FakeDevice*>(device) : nullptr;
    log.Clear();
    return set;
}

FakeObject* FakeWorld::Find(const std::string& label) const {
    for (const auto& o : objects_)
        if (o->Label() == label) return o.get();
    return nullptr;
}

std::vector<FakeSurface*> FakeWorld::Surfaces() const {
    std::vector<FakeSurface*> out;
    for (const auto& o : objects_)
        if (auto* s = dynamic_cast<FakeSurface*>(o.get())) out.push_back(s);
    return out;
}

std::vector<FakeDevice*> FakeWorld::Devices() const {
    std::vector<FakeDevice*> out;
    for (const auto& o : objects_)
        if (auto* d = dynamic_cast<FakeDevice*>(o.get())) out.push_back(d);
    return out;
}

std::vector<std::string> FakeWorld::Unbalanced() const {
    std::vector<std::string> out;
    for (const auto& o : objects_)
        if (o->Outstanding() != 0)
            out.push_back(o->Label() + ":" + (o->Outstanding() > 0 ? "+" : "") + std::to_string(o->Outstanding()));
    return out;
}

template <class T>
static T* FindByGuid(std::vector<std::pair<GUID, T>>& v, REFGUID g) {
    for (auto& [k, val] : v)
        if (k == g) return &val;
    return nullptr;
}
template <class T>
static const T* FindByGuid(const std::vector<std::pair<GUID, T>>& v, REFGUID g) {
    for (const auto& [k, val] : v)
        if (k == g) return &val;
    return nullptr;
}

void FakeWorld::SetZBufferFormats(REFGUID type, std::vector<DDPIXELFORMAT> formats) {
    if (auto* p = FindByGuid(zFormats_, type))
        *p = std::move(formats);
    else
        zFormats_.emplace_back(type, std::move(formats));
}
std::vector<DDPIXELFORMAT> FakeWorld::ZBufferFormats(REFGUID type) const {
    if (const auto* p = FindByGuid(zFormats_, type)) return *p;
    return {FormatZ(16)};
}
void FakeWorld::FailCreateDevice(REFGUID type, HRESULT hr) {
    if (auto* p = FindByGuid(createFailures_, type))
        *p = hr;
    else
        createFailures_.emplace_back(type, hr);
}
HRESULT FakeWorld::CreateDeviceResult(REFGUID type) const {
    if (const auto* p = FindByGuid(createFailures_, type)) return *p;
    return D3D_OK;
}
void FakeWorld::SetCaps(REFGUID type, const D3DDEVICEDESC7& desc) {
    if (auto* p = FindByGuid(caps_, type))
        *p = desc;
    else
        caps_.emplace_back(type, desc);
}
D3DDEVICEDESC7 FakeWorld::Caps(REFGUID type) const {
    D3DDEVICEDESC7 d{};
    if (const auto* p = FindByGuid(caps_, type)) d = *p;
    d.deviceGUID = type;
    return d;
}

}  // namespace sombrella::fakes

namespace sombrella::fakes {

HRESULT FakeObject::QueryOwn(REFIID riid, REFIID own, void* self, LPVOID* out) {
    if (CheckAlive("QueryInterface")) return E_FAIL;
    HRESULT hr = Scripted("QueryInterface");
    if (!out) hr = E_POINTER;
    if (hr == S_OK && (riid == own || riid == IID_IUnknown)) {
        HandOut();
        *out = self;
    } else {
        if (out) *out = nullptr;
        if (hr == S_OK) hr = E_NOINTERFACE;
    }
    Log("QueryInterface", {}, hr);
    return hr;
}

}  // namespace sombrella::fakes
