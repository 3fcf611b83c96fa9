// The registry subset: a read-only tree whose one value comes from the environment.
//
//   HKEY_LOCAL_MACHINE\Software\Microsoft\DirectX  "DXSDK Samples Path"  REG_SZ
//       = $SOMBRELLA_DXSDK_SAMPLES_PATH; the key exists only while that is set.
#include <cstring>
#include <mutex>
#include <string>
#include <unordered_map>

#include "common/knobs.h"
#include "windows.h"

namespace {

constexpr const char* kSamplesPathKnob = "SOMBRELLA_DXSDK_SAMPLES_PATH";
constexpr const char* kDirectXKey = "software\\microsoft\\directx";
constexpr const char* kSamplesPathValue = "dxsdk samples path";

struct Key {
    uintptr_t root = 0;
    std::string path;  // lower case, components joined by '\', "" for the root itself
};

struct Registry {
    std::mutex mutex;
    std::unordered_map<uintptr_t, Key> open;
    uintptr_t next = 0x00B60000;
};

Registry& TheRegistry() {
    static Registry r;
    return r;
}

bool IsRoot(HKEY k) {
    const uintptr_t v = reinterpret_cast<uintptr_t>(k);
    return v >= reinterpret_cast<uintptr_t>(HKEY_CLASSES_ROOT) && v <= reinterpret_cast<uintptr_t>(HKEY_CLASSES_ROOT) + 6;
}

std::string Lower(const char* s) {
    std::string out = s;
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + ('a' - 'A'));
    return out;
}

// Resolves a handle (a root or an open key). Caller holds the lock.
bool Resolve(HKEY k, Key& out) {
    if (IsRoot(k)) {
        out = Key{reinterpret_cast<uintptr_t>(k), ""};
        return true;
    }
    auto& r = TheRegistry();
    auto it = r.open.find(reinterpret_cast<uintptr_t>(k));
    if (it == r.open.end()) return false;
    out = it->second;
    return true;
}

bool KeyExists(const Key& k) {
    if (k.path.empty()) return true;
    if (k.root != reinterpret_cast<uintptr_t>(HKEY_LOCAL_MACHINE)) return false;
    if (k.path == "software" || k.path == "software\\microsoft") return true;
    return k.path == kDirectXKey && sombrella::knobs::String(kSamplesPathKnob) != nullptr;
}

}  // namespace

LSTATUS APIENTRY RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, REGSAM, PHKEY phkResult) {
    if (!phkResult) return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    auto& r = TheRegistry();
    std::lock_guard lock(r.mutex);
    Key key;
    if (!Resolve(hKey, key)) return ERROR_INVALID_HANDLE;
    if (lpSubKey && *lpSubKey) {
        std::string sub = Lower(lpSubKey);
        if (sub.front() == '\\') return ERROR_FILE_NOT_FOUND;
        if (sub.back() == '\\') sub.pop_back();
        key.path = key.path.empty() ? sub : key.path + "\\" + sub;
    }
    if (!KeyExists(key)) return ERROR_FILE_NOT_FOUND;
    const uintptr_t h = r.next;
    r.next += 4;
    r.open.emplace(h, std::move(key));
    *phkResult = reinterpret_cast<HKEY>(h);
    return ERROR_SUCCESS;
}

LSTATUS APIENTRY RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                                  LPDWORD lpcbData) {
    if (lpReserved || (lpData && !lpcbData)) return ERROR_INVALID_PARAMETER;
    auto& r = TheRegistry();
    std::lock_guard lock(r.mutex);
    Key key;
    if (!Resolve(hKey, key)) return ERROR_INVALID_HANDLE;
    const char* text = nullptr;
    if (key.root == reinterpret_cast<uintptr_t>(HKEY_LOCAL_MACHINE) && key.path == kDirectXKey && lpValueName &&
        Lower(lpValueName) == kSamplesPathValue)
        text = sombrella::knobs::String(kSamplesPathKnob);
    if (!text) return ERROR_FILE_NOT_FOUND;

    const size_t length = std::strlen(text) + 1;  // REG_SZ data carries its terminator
    if (length > 0xFFFFFFFFu) return ERROR_MORE_DATA;
    const DWORD needed = static_cast<DWORD>(length);
    if (lpType) *lpType = REG_SZ;
    if (!lpcbData) return ERROR_SUCCESS;
    if (!lpData) {
        *lpcbData = needed;
        return ERROR_SUCCESS;
    }
    if (*lpcbData < needed) {
        *lpcbData = needed;
        return ERROR_MORE_DATA;
    }
    std::memcpy(lpData, text, needed);
    *lpcbData = needed;
    return ERROR_SUCCESS;
}

LSTATUS APIENTRY RegCloseKey(HKEY hKey) {
    if (IsRoot(hKey)) return ERROR_SUCCESS;
    auto& r = TheRegistry();
    std::lock_guard lock(r.mutex);
    return r.open.erase(reinterpret_cast<uintptr_t>(hKey)) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}
