// The named texture registry: lookup ignoring case, where images are found,
// which names load, list order after removals, the exit handler.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "fakes/fake_win32.h"
#include "fakes/fakes.h"
#include "textures/texture_registry.h"
#include "tga_writer.h"

namespace fs = std::filesystem;
namespace w32 = sombrella::fakes::win32;

namespace {

void WriteTga(const std::string& path, uint16_t w, uint16_t h) {
    tga_test::Header hd;
    hd.width = w;
    hd.height = h;
    hd.bitsPerPixel = 32;
    std::vector<uint32_t> px(size_t(w) * h, 0x11223344);
    tga_test::WriteFile(path, tga_test::Encode(hd, px));
}

void WriteBmp(const std::string& path, int32_t w, int32_t h, uint16_t bpp) {
    std::vector<uint8_t> b(54, 0);
    auto put32 = [&](size_t o, uint32_t v) {
        for (int i = 0; i < 4; ++i) b[o + i] = uint8_t(v >> (8 * i));
    };
    b[0] = 'B';
    b[1] = 'M';
    put32(10, 54);
    put32(14, 40);
    put32(18, uint32_t(w));
    put32(22, uint32_t(h));
    b[26] = 1;
    b[28] = uint8_t(bpp);
    tga_test::WriteFile(path, b);
}

std::vector<std::string> ListNames() {
    std::vector<std::string> out;
    for (TextureEntry* e = textureList; e; e = e->next) out.push_back(e->name);
    return out;
}

}  // namespace

class Registry : public ::testing::Test {
protected:
    void SetUp() override {
        w32::Reset();
        old_ = fs::current_path();
        dir_ = fs::temp_directory_path() / ("tex_registry_" + std::to_string(::getpid()) + "_" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
        fs::current_path(dir_);
        texturePathPrefix[0] = '\0';
    }
    void TearDown() override {
        while (textureList) RemoveTexture(textureList->name);
        texturePathPrefix[0] = '\0';
        fs::current_path(old_);
        fs::remove_all(dir_);
        EXPECT_TRUE(w32::Win32().errors.empty()) << w32::Win32().errors.front();
    }
    fs::path old_, dir_;
};

TEST_F(Registry, SecondRegistrationInAnotherCaseKeepsTheFirstEntry) {
    WriteTga("wall.tga", 3, 2);
    ASSERT_EQ(RegisterTexture("wall.tga", 1, 2), S_OK);
    TextureEntry* first = LookupTexture("wall.tga");
    ASSERT_NE(first, nullptr);
    const uint32_t* pixels = first->pixels;
    WriteTga("wall.tga", 9, 9);  // not reloaded
    EXPECT_EQ(RegisterTexture("Wall.TGA", 5, 6), S_OK);
    EXPECT_EQ(ListNames(), std::vector<std::string>{"wall.tga"});
    EXPECT_EQ(LookupTexture("WALL.tga"), first);
    EXPECT_EQ(first->stage, 1u);
    EXPECT_EQ(first->flags, 2u);
    EXPECT_EQ(first->pixels, pixels);
    EXPECT_EQ(first->width, 3u);
    EXPECT_EQ(first->height, 2u);
    EXPECT_EQ(first->bitsPerPixel, 32u);
    EXPECT_EQ(first->bitmap, nullptr);
}

TEST_F(Registry, WorkingDirectoryWinsOverTheMediaDirectory) {
    // On this platform the media path is used as given; the file carries the
    // backslashes in its name.
    w32::SetSamplesPath((dir_ / "sdk").string());
    WriteTga((dir_ / "sdk\\D3DIM\\Media\\wall.tga").string(), 4, 4);
    WriteTga("wall.tga", 2, 1);
    ASSERT_EQ(RegisterTexture("wall.tga", 0, 0), S_OK);
    EXPECT_EQ(LookupTexture("wall.tga")->width, 2u);
    EXPECT_EQ(w32::Win32().CountCalls("RegOpenKeyExA"), 0);  // the first candidate opened
}

TEST_F(Registry, MediaDirectoryIsTheSecondCandidate) {
    w32::SetSamplesPath((dir_ / "sdk").string());
    WriteTga((dir_ / "sdk\\D3DIM\\Media\\stone.tga").string(), 4, 5);
    ASSERT_EQ(RegisterTexture("stone.tga", 0, 0), S_OK);
    EXPECT_EQ(LookupTexture("stone.tga")->height, 5u);
    // Without the registry value the same name is not found.
    w32::Reset();
    EXPECT_EQ(RegisterTexture("other.tga", 0, 0), E_FAIL);
}

TEST_F(Registry, PathPrefixAppliesToTheFirstCandidateOnly) {
    fs::create_directories("sub");
    WriteTga("sub/p.tga", 6, 1);
    std::strcpy(texturePathPrefix, "sub/");
    ASSERT_EQ(RegisterTexture("p.tga", 0, 0), S_OK);
    EXPECT_EQ(LookupTexture("p.tga")->width, 6u);
    // A candidate longer than 255 characters is not tried.
    const std::string deep(246, 'd');
    fs::create_directories(deep);
    WriteTga(deep + "/qqqq.tga", 1, 1);  // 255 characters: tried
    WriteTga(deep + "/qqqqq.tga", 1, 1);  // 256: not tried, nor cut short
    std::strcpy(texturePathPrefix, (deep + "/").c_str());
    EXPECT_EQ(RegisterTexture("qqqq.tga", 0, 0), S_OK);
    EXPECT_EQ(RegisterTexture("qqqqq.tga", 0, 0), E_FAIL);
}

TEST_F(Registry, ExtensionComesFromTheLastDotOfTheName) {
    WriteTga("a.b.tga", 2, 2);
    EXPECT_EQ(RegisterTexture("a.b.tga", 0, 0), S_OK);
    WriteTga("a.tga.bak", 2, 2);
    TextureEntry probe{};
    std::strcpy(probe.name, "a.tga.bak");
    EXPECT_EQ(LoadTextureImage(&probe), E_NOTIMPL);
    EXPECT_EQ(RegisterTexture("a.tga.bak", 0, 0), E_FAIL);
    WriteTga("nodot", 2, 2);
    std::strcpy(probe.name, "nodot");
    EXPECT_EQ(LoadTextureImage(&probe), E_NOTIMPL);
    EXPECT_EQ(RegisterTexture("nodot", 0, 0), E_FAIL);
    std::strcpy(probe.name, "missing");
    EXPECT_EQ(LoadTextureImage(&probe), DDERR_NOTFOUND);
    EXPECT_EQ(RegisterTexture("missing", 0, 0), E_FAIL);
    EXPECT_EQ(ListNames(), std::vector<std::string>{"a.b.tga"});
}

TEST_F(Registry, UpperCaseExtensionsLoad) {
    WriteTga("UP.TGA", 1, 1);
    WriteBmp("Up.Bmp", 5, 3, 24);
    EXPECT_EQ(RegisterTexture("UP.TGA", 0, 0), S_OK);
    EXPECT_EQ(RegisterTexture("Up.Bmp", 0, 0), S_OK);
}

TEST_F(Registry, BitmapsGiveTheirSizeAndAreDeletedOnRemoval) {
    WriteBmp("brick.bmp", 7, 9, 24);
    ASSERT_EQ(RegisterTexture("brick.bmp", 0, 0), S_OK);
    TextureEntry* e = LookupTexture("brick.bmp");
    ASSERT_NE(e, nullptr);
    EXPECT_NE(e->bitmap, nullptr);
    EXPECT_EQ(e->pixels, nullptr);
    EXPECT_EQ(e->width, 7u);
    EXPECT_EQ(e->height, 9u);
    EXPECT_EQ(e->bitsPerPixel, 24u);
    EXPECT_EQ(RemoveTexture("BRICK.BMP"), S_OK);
    EXPECT_EQ(LookupTexture("brick.bmp"), nullptr);
    EXPECT_TRUE(w32::Win32().Undeleted().empty());
}

TEST_F(Registry, ResourcesComeFirstWhateverTheExtension) {
    w32::Win32().resources["inside.xyz"] = {12, 34, 8, {}, 0};
    ASSERT_EQ(RegisterTexture("inside.xyz", 0, 0), S_OK);
    EXPECT_EQ(LookupTexture("inside.xyz")->width, 12u);
    EXPECT_EQ(LookupTexture("inside.xyz")->bitsPerPixel, 8u);
    EXPECT_EQ(w32::Win32().CountCalls("LoadImageA(module,inside.xyz,0,0,0,0x2000)"), 1);
}

TEST_F(Registry, FailedLoadsLeaveNoEntryAndCanBeRetried) {
    tga_test::WriteFile("bad.bmp", {'B', 'M', 0, 0});
    EXPECT_EQ(RegisterTexture("bad.bmp", 0, 0), E_FAIL);
    tga_test::WriteFile("bad.tga", {0, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 1, 0, 8, 0});
    EXPECT_EQ(RegisterTexture("bad.tga", 0, 0), E_FAIL);
    EXPECT_EQ(RegisterTexture("", 0, 0), E_FAIL);
    EXPECT_TRUE(ListNames().empty());
    WriteTga("bad.tga", 1, 1);
    EXPECT_EQ(RegisterTexture("bad.tga", 0, 0), S_OK);
    EXPECT_TRUE(w32::Win32().Undeleted().empty());
}

TEST_F(Registry, NamesMustFitTheirField) {
    EXPECT_EQ(RegisterTexture(nullptr, 0, 0), E_INVALIDARG);
    const std::string n79 = std::string(75, 'n') + ".tga";
    WriteTga(n79, 1, 1);
    EXPECT_EQ(RegisterTexture(n79.c_str(), 0, 0), S_OK);
    EXPECT_EQ(RegisterTexture(n79.c_str(), 0, 0), S_OK);
    const std::string n80 = std::string(76, 'n') + ".tga";
    WriteTga(n80, 1, 1);
    EXPECT_EQ(RegisterTexture(n80.c_str(), 0, 0), E_INVALIDARG);
    EXPECT_EQ(ListNames(), std::vector<std::string>{n79});
    EXPECT_EQ(LookupTexture(nullptr), nullptr);
    EXPECT_EQ(RemoveTexture(nullptr), S_OK);
}

TEST_F(Registry, SurfaceLookupGivesTheEntrySurfaceWithoutAReference) {
    WriteTga("s.tga", 1, 1);
    ASSERT_EQ(RegisterTexture("s.tga", 0, 0), S_OK);
    EXPECT_EQ(SurfaceOfTexture("s.tga"), nullptr);
    EXPECT_EQ(SurfaceOfTexture("none.tga"), nullptr);
    // Were an entry to hold a surface, removal gives its reference back once.
    sombrella::fakes::FakeWorld world;
    auto set = world.CreateDeviceSet(IID_IDirect3DRGBDevice);
    LookupTexture("s.tga")->surface = set.target;
    EXPECT_EQ(SurfaceOfTexture("S.TGA"), set.target);
    EXPECT_EQ(set.target->Outstanding(), 1);
    RemoveTexture("s.tga");
    EXPECT_EQ(set.target->ReleaseCalls(), 1);
    set.device->Release();
    set.d3d->Release();
    set.ddraw->Release();
    EXPECT_TRUE(set.target->Destroyed());
}

TEST_F(Registry, RemovalKeepsTheRestInOrder) {
    for (const char* n : {"a.tga", "b.tga", "c.tga", "d.tga", "e.tga"}) {
        WriteTga(n, 1, 1);
        ASSERT_EQ(RegisterTexture(n, 0, 0), S_OK);
    }
    EXPECT_EQ(ListNames(), (std::vector<std::string>{"e.tga", "d.tga", "c.tga", "b.tga", "a.tga"}));
    EXPECT_EQ(RemoveTexture("nothing.tga"), S_OK);
    EXPECT_EQ(RemoveTexture("E.tga"), S_OK);  // head
    EXPECT_EQ(ListNames(), (std::vector<std::string>{"d.tga", "c.tga", "b.tga", "a.tga"}));
    EXPECT_EQ(RemoveTexture("c.tga"), S_OK);  // middle
    EXPECT_EQ(ListNames(), (std::vector<std::string>{"d.tga", "b.tga", "a.tga"}));
    EXPECT_EQ(RemoveTexture("a.tga"), S_OK);  // last
    EXPECT_EQ(ListNames(), (std::vector<std::string>{"d.tga", "b.tga"}));
    EXPECT_EQ(RemoveTexture("a.tga"), S_OK);
    EXPECT_EQ(ListNames(), (std::vector<std::string>{"d.tga", "b.tga"}));
}

TEST_F(Registry, ExitHandlerDestroysOnlyTheHead) {
    for (const char* n : {"x.bmp", "y.bmp", "z.bmp"}) {
        WriteBmp(n, 2, 2, 24);
        ASSERT_EQ(RegisterTexture(n, 0, 0), S_OK);
    }
    ReleaseTextureListHead();
    EXPECT_EQ(ListNames(), (std::vector<std::string>{"y.bmp", "x.bmp"}));
    EXPECT_EQ(w32::Win32().CountCalls("DeleteObject"), 1);
}
