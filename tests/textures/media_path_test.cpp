// The media directory lookup against the registry stand-in.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "fakes/fake_win32.h"
#include "util/media_path.h"

namespace w32 = sombrella::fakes::win32;

class MediaPath : public ::testing::Test {
protected:
    void SetUp() override { w32::Reset(); }
};

TEST_F(MediaPath, NoKeyGivesEmptyAndClosesNothing) {
    const char* r = LookUpMediaDirectory();
    ASSERT_NE(r, nullptr);
    EXPECT_STREQ(r, "");
    EXPECT_EQ(w32::Win32().closes, 0);
    EXPECT_EQ(w32::Win32().calls.front(), "RegOpenKeyExA(HKLM,Software\\Microsoft\\DirectX,0,0x20019)");
}

TEST_F(MediaPath, KeyWithoutValueGivesEmptyAndClosesTheKeyOnce) {
    w32::Win32().keyPresent = true;
    EXPECT_STREQ(LookUpMediaDirectory(), "");
    EXPECT_EQ(w32::Win32().closes, 1);
    EXPECT_EQ(w32::Win32().keysOpen, 0);
}

TEST_F(MediaPath, AppendsTheSuffixOncePerCallToTheFreshValue) {
    w32::SetSamplesPath("C:\\DXSDK\\Samples");
    const char* a = LookUpMediaDirectory();
    const std::string first = a;
    const char* b = LookUpMediaDirectory();
    EXPECT_EQ(first, "C:\\DXSDK\\Samples\\D3DIM\\Media\\");
    EXPECT_STREQ(b, first.c_str());
    EXPECT_EQ(a, b);
    EXPECT_EQ(w32::Win32().lastQuerySize, 512u);
    EXPECT_EQ(w32::Win32().closes, 2);
    EXPECT_TRUE(w32::Win32().errors.empty());
}

TEST_F(MediaPath, TrailingBackslashIsKept) {
    w32::SetSamplesPath("D:\\sdk\\");
    EXPECT_STREQ(LookUpMediaDirectory(), "D:\\sdk\\\\D3DIM\\Media\\");
}

TEST_F(MediaPath, LongestValuesGetTheWholeSuffixWithinStorage) {
    const std::string v511(511, 'x');
    w32::SetSamplesPath(v511);
    EXPECT_EQ(std::string(LookUpMediaDirectory()), v511 + "\\D3DIM\\Media\\");
    // 512 bytes with no terminator: the query accepts them; the text is cut
    // at the storage's 512 bytes and still gets its suffix.
    w32::Win32().value.assign(512, 'y');
    EXPECT_EQ(std::string(LookUpMediaDirectory()), std::string(512, 'y') + "\\D3DIM\\Media\\");
    // 513 bytes do not fit: empty result, key still closed.
    w32::Win32().value.assign(513, 'z');
    const int closes = w32::Win32().closes;
    EXPECT_STREQ(LookUpMediaDirectory(), "");
    EXPECT_EQ(w32::Win32().closes, closes + 1);
}

TEST_F(MediaPath, NonTextValuesEndAtTheirFirstZero) {
    w32::Win32().keyPresent = w32::Win32().valuePresent = true;
    w32::Win32().valueType = REG_BINARY;
    w32::Win32().value = {'a', 'b', 0, 'c', 'd'};
    EXPECT_STREQ(LookUpMediaDirectory(), "ab\\D3DIM\\Media\\");
}
