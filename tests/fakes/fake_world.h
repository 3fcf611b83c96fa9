// The world the fakes live in: the shared call log, every fake object ever
// made (kept in memory until the world ends, so tests can inspect released
// ones), and the script that shapes what the fakes report.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "d3d.h"
#include "ddraw.h"
#include "fakes/call_log.h"

namespace sombrella::fakes {

class FakeWorld;
class FakeDirectDraw;
class FakeSurface;
class FakeDirect3D;
class FakeDevice;

// "TnLHal", "HAL", "MMX", "RGB", "Ref", "Null", "Ramp" or the GUID in hex.
std::string GuidName(REFGUID guid);

// Pixel formats for scripting.
DDPIXELFORMAT FormatRgb(DWORD bits, DWORD r, DWORD g, DWORD b, DWORD a = 0, DWORD extraFlags = 0);
DDPIXELFORMAT FormatRgb565();
DDPIXELFORMAT FormatRgb555();
DDPIXELFORMAT FormatArgb1555();
DDPIXELFORMAT FormatArgb4444();
DDPIXELFORMAT FormatArgb8888();
DDPIXELFORMAT FormatLuminance16();
DDPIXELFORMAT FormatFourCC(DWORD fourcc);
DDPIXELFORMAT FormatZ(DWORD bits, DWORD extraFlags = 0, DWORD stencilBits = 0);

// Base of every fake: a label, real reference counting and scripted results.
class FakeObject {
public:
    FakeObject(FakeWorld* world, std::string kind);
    virtual ~FakeObject() = default;
    FakeObject(const FakeObject&) = delete;
    FakeObject& operator=(const FakeObject&) = delete;

    const std::string& Label() const { return label_; }
    int Id() const { return id_; }
    FakeWorld& World() const { return *world_; }

    // Reference accounting. A reference is "handed out" at creation and by
    // every AddRef and every method that returns the object with a reference
    // added (QueryInterface, GetAttachedSurface, GetDDInterface, GetTexture,
    // GetRenderTarget, GetDirect3D). Holds are references other fakes keep
    // (a device on its render target, a surface on what is attached to it).
    ULONG Refs() const { return refs_; }
    int HandedOut() const { return handedOut_; }
    int AddRefCalls() const { return addRefCalls_; }
    int ReleaseCalls() const { return releaseCalls_; }
    // References handed out and not yet given back by Release; 0 when the
    // code under test released everything it was given exactly once.
    int Outstanding() const { return handedOut_ - releaseCalls_; }
    bool Destroyed() const { return destroyed_; }

    // Scripted results: the Nth call (1-based, counted per method) of
    // `method` returns `hr` instead of working; FailAlways for every call.
    void FailNth(const std::string& method, int n, HRESULT hr);
    void FailAlways(const std::string& method, HRESULT hr);
    void ClearFailures();
    int Calls(const std::string& method) const;

    // Internal references between fakes: not logged, not counted as calls.
    void Hold();
    void Drop();
    // The creation reference becomes a hold of another fake (a flip chain's
    // back buffer belongs to its primary): nobody was handed it. Note that a
    // back buffer fetched with GetAttachedSurface then counts as outstanding
    // until released, as on the platform.
    void AdoptCreationReference() { --handedOut_; }
    // A Get* method of another fake returns this object with a reference.
    void HandOut();

protected:
    // Counts the call; returns the scripted failure for it, or S_OK.
    HRESULT Scripted(const std::string& method);
    // QueryInterface for a fake that offers one interface (and IUnknown):
    // `self` is this object seen as that interface.
    HRESULT QueryOwn(REFIID riid, REFIID own, void* self, LPVOID* out);
    void Log(const std::string& method, std::vector<double> args, long result, std::string text = {});
    ULONG DoAddRef();
    ULONG DoRelease();
    // Records an error when the object is already gone; returns true then.
    bool CheckAlive(const char* method);
    // Runs when the last reference goes: drop holds on other fakes.
    virtual void OnFinalRelease() {}

private:
    void ReachZero();

    FakeWorld* world_;
    std::string label_;
    int id_;
    ULONG refs_ = 1;
    int handedOut_ = 1;
    int addRefCalls_ = 0;
    int releaseCalls_ = 0;
    bool destroyed_ = false;
    std::map<std::string, int> calls_;
    std::map<std::string, std::map<int, HRESULT>> nth_;
    std::map<std::string, HRESULT> always_;
};

// The label of any surface: a fake's label, "null", or "foreign".
std::string LabelOf(IUnknown* object);
FakeSurface* AsFake(IDirectDrawSurface7* s);

class FakeWorld {
public:
    FakeWorld();
    ~FakeWorld();
    FakeWorld(const FakeWorld&) = delete;
    FakeWorld& operator=(const FakeWorld&) = delete;

    CallLog log;

    // A new DirectDraw object with one reference (what DirectDrawCreateEx gives).
    FakeDirectDraw* CreateDirectDraw();
    // Shortcut for tests that need a device without display set-up: a
    // DirectDraw object, a 640x480 RGB565 render target and a device of the
    // given type on it (each with one reference held by the caller).
    struct DeviceSet {
        FakeDirectDraw* ddraw;
        FakeSurface* target;
        FakeDirect3D* d3d;
        FakeDevice* device;
    };
    DeviceSet CreateDeviceSet(REFGUID type);

    // Everything ever created, in creation order.
    const std::vector<std::unique_ptr<FakeObject>>& Objects() const { return objects_; }
    FakeObject* Find(const std::string& label) const;
    std::vector<FakeSurface*> Surfaces() const;
    std::vector<FakeDevice*> Devices() const;
    // Labels of objects whose handed-out references were not all released
    // (Outstanding() != 0), with the count, e.g. "surface#3:+1".
    std::vector<std::string> Unbalanced() const;

    // --- script --------------------------------------------------------
    // Depth formats EnumZBufferFormats offers per device type, in order.
    // Types without a list offer one plain 16-bit z format.
    void SetZBufferFormats(REFGUID type, std::vector<DDPIXELFORMAT> formats);
    std::vector<DDPIXELFORMAT> ZBufferFormats(REFGUID type) const;
    // CreateDevice for this type returns hr.
    void FailCreateDevice(REFGUID type, HRESULT hr);
    HRESULT CreateDeviceResult(REFGUID type) const;
    // Device description GetCaps reports per type (deviceGUID is always set
    // to the device's type). Types without one report zeros.
    void SetCaps(REFGUID type, const D3DDEVICEDESC7& desc);
    D3DDEVICEDESC7 Caps(REFGUID type) const;
    // Texture formats every new device offers (default: RGB565 only).
    std::vector<DDPIXELFORMAT> textureFormats;
    // Runs on every new device before it is handed out (to script it).
    std::function<void(FakeDevice&)> onDeviceCreated;
    // Runs on every new surface (a flip chain's back buffer too) before it is handed out.
    std::function<void(FakeSurface&)> onSurfaceCreated;
    // GetDC / ReleaseDC on surfaces. Without a hook GetDC fails with
    // DDERR_CANTCREATEDC.
    std::function<HRESULT(FakeSurface&, HDC*)> getDC;
    std::function<void(FakeSurface&, HDC)> releaseDC;

private:
    friend class FakeObject;
    friend class FakeDirectDraw;
    friend class FakeDirect3D;
    template <class T, class... A>
    T* Make(A&&... a) {
        auto p = std::make_unique<T>(std::forward<A>(a)...);
        T* raw = p.get();
        objects_.push_back(std::move(p));
        return raw;
    }
    int NextId(const std::string& kind) { return ++ids_[kind]; }

    std::vector<std::unique_ptr<FakeObject>> objects_;
    std::map<std::string, int> ids_;
    std::vector<std::pair<GUID, std::vector<DDPIXELFORMAT>>> zFormats_;
    std::vector<std::pair<GUID, HRESULT>> createFailures_;
    std::vector<std::pair<GUID, D3DDEVICEDESC7>> caps_;
};

}  // namespace sombrella::fakes
