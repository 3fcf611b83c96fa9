#include "util/media_path.h"

#include <cstring>

#include "windows.h"

namespace {

constexpr DWORD kValueBytes = 512;
constexpr char kMediaSuffix[] = "\\D3DIM\\Media\\";
constexpr size_t kSuffixLength = sizeof kMediaSuffix - 1;  // 13

// Room for a full 512-byte value, the suffix and a terminator.
char mediaDirectory[kValueBytes + kSuffixLength + 1];
const char noMediaDirectory[] = "";

}  // namespace

const char* LookUpMediaDirectory() {
    DWORD size = kValueBytes;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\DirectX", 0, KEY_READ, &key) != ERROR_SUCCESS)
        return noMediaDirectory;
    DWORD type = REG_NONE;
    LSTATUS status = RegQueryValueExA(key, "DXSDK Samples Path", nullptr, &type,
                                      reinterpret_cast<LPBYTE>(mediaDirectory), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) return noMediaDirectory;

    // The value may come without a terminator, or of any type: the text is
    // what precedes the first zero within the bytes the query delivered.
    if (size > kValueBytes) size = kValueBytes;
    size_t length = 0;
    while (length < size && mediaDirectory[length] != '\0') ++length;
    std::memcpy(mediaDirectory + length, kMediaSuffix, kSuffixLength + 1);
    return mediaDirectory;
}
