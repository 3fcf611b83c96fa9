// The registry subset, lstrcmpiA, and backslash paths through fopen.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "win32/file_paths.h"
#include "windows.h"

namespace {

constexpr const char* kKnob = "SOMBRELLA_DXSDK_SAMPLES_PATH";

class Registry : public ::testing::Test {
protected:
    void TearDown() override { ::unsetenv(kKnob); }
};

TEST_F(Registry, KeyAbsentWithoutTheKnob) {
    ::unsetenv(kKnob);
    HKEY key = reinterpret_cast<HKEY>(1);
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\DirectX", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(key, nullptr);
    // The parents exist as on any installation.
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Microsoft", 0, KEY_READ, &key), ERROR_SUCCESS);
    DWORD size = 16;
    char buf[16];
    EXPECT_EQ(RegQueryValueExA(key, "DXSDK Samples Path", nullptr, nullptr, reinterpret_cast<BYTE*>(buf), &size),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

TEST_F(Registry, ValueFromTheEnvironment) {
    ::setenv(kKnob, "C:\\dxsdk\\samples\\Multimedia", 1);
    HKEY key = nullptr;
    // Key names compare ignoring case; a trailing backslash is allowed.
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\microsoft\\DirectX\\", 0, KEY_READ, &key), ERROR_SUCCESS);
    ASSERT_NE(key, nullptr);
    char buf[512];
    DWORD size = sizeof buf;
    DWORD type = 0;
    EXPECT_EQ(RegQueryValueExA(key, "dxsdk samples path", nullptr, &type, reinterpret_cast<BYTE*>(buf), &size), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_STREQ(buf, "C:\\dxsdk\\samples\\Multimedia");
    EXPECT_EQ(size, sizeof("C:\\dxsdk\\samples\\Multimedia"));

    // Size query, a buffer one byte short, a missing value, bad arguments.
    DWORD needed = 0;
    EXPECT_EQ(RegQueryValueExA(key, "DXSDK Samples Path", nullptr, nullptr, nullptr, &needed), ERROR_SUCCESS);
    EXPECT_EQ(needed, size);
    char small[40];
    std::memset(small, 'x', sizeof small);
    DWORD smallSize = needed - 1;
    EXPECT_EQ(RegQueryValueExA(key, "DXSDK Samples Path", nullptr, nullptr, reinterpret_cast<BYTE*>(small), &smallSize),
              ERROR_MORE_DATA);
    EXPECT_EQ(smallSize, needed);
    EXPECT_EQ(small[needed - 1], 'x');  // nothing written past the buffer given
    EXPECT_EQ(RegQueryValueExA(key, "Other", nullptr, nullptr, reinterpret_cast<BYTE*>(buf), &size), ERROR_FILE_NOT_FOUND);
    DWORD reserved = 0;
    EXPECT_EQ(RegQueryValueExA(key, "DXSDK Samples Path", &reserved, nullptr, reinterpret_cast<BYTE*>(buf), &size),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegQueryValueExA(key, "DXSDK Samples Path", nullptr, nullptr, reinterpret_cast<BYTE*>(buf), nullptr),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    // The closed handle is no longer valid.
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegQueryValueExA(key, "DXSDK Samples Path", nullptr, nullptr, reinterpret_cast<BYTE*>(buf), &size),
              ERROR_INVALID_HANDLE);
}

TEST_F(Registry, RelativeOpensAndBadHandles) {
    ::setenv(kKnob, "/opt/sdk", 1);
    HKEY software = nullptr, dx = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software", 0, KEY_READ, &software), ERROR_SUCCESS);
    ASSERT_EQ(RegOpenKeyExA(software, "Microsoft\\DirectX", 0, KEY_READ, &dx), ERROR_SUCCESS);
    char buf[16];
    DWORD size = sizeof buf;
    EXPECT_EQ(RegQueryValueExA(dx, "DXSDK Samples Path", nullptr, nullptr, reinterpret_cast<BYTE*>(buf), &size), ERROR_SUCCESS);
    EXPECT_STREQ(buf, "/opt/sdk");
    RegCloseKey(dx);
    RegCloseKey(software);

    HKEY out = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Microsoft\\DirectX", 0, KEY_READ, &out), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegOpenKeyExA(reinterpret_cast<HKEY>(0x1234), "Software", 0, KEY_READ, &out), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software", 0, KEY_READ, nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegCloseKey(reinterpret_cast<HKEY>(0x1234)), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
}

TEST(Strings, LstrcmpiIgnoresAsciiCase) {
    EXPECT_EQ(lstrcmpiA("Wall.TGA", "wall.tga"), 0);
    EXPECT_EQ(lstrcmpiA("", ""), 0);
    EXPECT_LT(lstrcmpiA("abc", "ABD"), 0);
    EXPECT_GT(lstrcmpiA("abd", "ABC"), 0);
    EXPECT_LT(lstrcmpiA("ab", "abc"), 0);
    EXPECT_GT(lstrcmpiA("abc", "AB"), 0);
    EXPECT_GT(lstrcmpiA("\xE9", "a"), 0);  // bytes above ASCII compare as unsigned
    EXPECT_EQ(lstrcmpiA(nullptr, nullptr), 0);
    EXPECT_LT(lstrcmpiA(nullptr, ""), 0);
    EXPECT_GT(lstrcmpiA("", nullptr), 0);
}

TEST(Files, FopenMapsBackslashes) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::path(::testing::TempDir()) / ("paths_" + std::to_string(::getpid())) / "media" / "D3DIM";
    fs::create_directories(dir);
    std::ofstream(dir / "tex.tga") << "hello";
    std::string path = (dir / "tex.tga").string();
    for (char& c : path)
        if (c == '/') c = '\\';
    FILE* f = std::fopen(path.c_str(), "rb");  // goes through the wrapper
    ASSERT_NE(f, nullptr);
    char buf[8] = {};
    EXPECT_EQ(std::fread(buf, 1, 5, f), 5u);
    EXPECT_STREQ(buf, "hello");
    std::fclose(f);
    EXPECT_EQ(std::fopen((path + "x").c_str(), "rb"), nullptr);
    EXPECT_EQ(sombrella::win32::MapPath("media\\D3DIM\\Media\\tex.tga"), "media/D3DIM/Media/tex.tga");
    EXPECT_EQ(sombrella::win32::MapPath(nullptr), "");
    fs::remove_all(dir.parent_path().parent_path());
}

}  // namespace
