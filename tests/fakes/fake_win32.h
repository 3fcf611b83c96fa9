// A recording stand-in for the Win32 functions the texture code calls
// (module, bitmaps, memory DCs, BitBlt, lstrcmpiA, the registry). Link
// sombrella_fake_win32 instead of the real platform to use it.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "windows.h"

namespace sombrella::fakes::win32 {

struct Bitmap {
    LONG width = 0;
    LONG height = 0;
    WORD bitsPerPixel = 24;
    std::string source;  // resource name or file path it came from
    int deletes = 0;     // DeleteObject calls on it
};

struct State {
    // Every call, in order, as "Function(args)".
    std::vector<std::string> calls;
    std::vector<std::string> errors;  // misuse: double delete, unknown handle

    // Bitmap resources of the executable by name (LoadImageA with a module).
    std::map<std::string, Bitmap> resources;
    // Files loaded with LR_LOADFROMFILE are read from disk: a file starting
    // with "BM" and a 40-byte info header gives its size and depth; anything
    // else gives no bitmap. Every handle ever made, by number:
    std::map<uintptr_t, Bitmap> bitmaps;
    bool failCreateCompatibleDC = false;

    // Registry: HKEY_LOCAL_MACHINE\Software\Microsoft\DirectX, one value.
    bool keyPresent = false;
    bool valuePresent = false;
    std::vector<uint8_t> value;  // bytes as stored (add the terminator yourself)
    DWORD valueType = REG_SZ;
    int keysOpen = 0;  // opened and not yet closed
    int closes = 0;
    DWORD lastQuerySize = 0;  // *lpcbData as passed in

    int CountCalls(const std::string& prefix) const;
    // Bitmaps made and not deleted exactly once.
    std::vector<std::string> Undeleted() const;
};

// The one state of the process; Reset() before each test.
State& Win32();
void Reset();
// Sets the registry value to text plus its terminator.
void SetSamplesPath(const std::string& text);

}  // namespace sombrella::fakes::win32
