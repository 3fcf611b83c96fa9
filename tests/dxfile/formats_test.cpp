// The same small scene written as text, as binary (the way exporters write
// it: integer and float lists spanning members), compressed, and with 64-bit
// floats must give identical objects and data blocks.
#include <charconv>
#include <cmath>

#include "dxfile/xfile_tokens.h"
#include "dxfile/xfile_writer.h"
#include "xfile_test_util.h"

namespace {

using namespace dxfile;

const char* kSceneText =
    "xof 0302txt 0032\n"
    "// a comment\n"
    "Header { 1; 0; 1; }\n"
    "Material RedMat {\n"
    "  1.0; 0.0; 0.0; 0.5;;\n"
    "  12.5;\n"
    "  0.25; 0.5; 0.75;;\n"
    "  0.0; 0.1; 0.2;;\n"
    "  TextureFilename { \"wall.bmp\"; }\n"
    "}\n"
    "Frame Root {\n"
    "  FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, 10,20,30,1;; }\n"
    "  Frame Inner {\n"
    "    Mesh Quad {\n"
    "      4;\n"
    "      0;0;0;, 1;0;0;, 1;1;0;, 0;1;-0.5;;\n"
    "      2;\n"
    "      4;0,1,2,3;,\n"
    "      3;0,2,3;;\n"
    "      MeshNormals { 4; 0;0;1;, 0;0;1;, 0;0;1;, 0;0;1;; 2; 4;0,1,2,3;, 3;0,1,2;; }\n"
    "      MeshTextureCoords { 4; 0;0;, 1;0;, 1;1;, 0;1;; }\n"
    "      # material list: one reference, one inline\n"
    "      MeshMaterialList { 2; 2; 0, 1;; { RedMat } Material { 0;1;0;1;; 5; 0;0;0;; 0;0;0;; } }\n"
    "    }\n"
    "  }\n"
    "}\n";

void Ints(BinaryWriter& w, std::initializer_list<uint32_t> v) { w.IntegerList(v.begin(), v.size()); }
void Floats(BinaryWriter& w, std::initializer_list<float> v) { w.FloatList(v.begin(), v.size()); }

std::vector<uint8_t> SceneBinary(bool float64) {
    BinaryWriter w(float64);
    w.Name("Header");
    w.Token(TOKEN_OBRACE);
    Ints(w, {1, 0, 1});
    w.Token(TOKEN_CBRACE);

    w.Name("Material");
    w.Name("RedMat");
    w.Token(TOKEN_OBRACE);
    Floats(w, {1, 0, 0, 0.5f, 12.5f, 0.25f, 0.5f, 0.75f, 0, 0.1f, 0.2f});
    w.Name("TextureFilename");
    w.Token(TOKEN_OBRACE);
    w.String("wall.bmp");
    w.Token(TOKEN_CBRACE);
    w.Token(TOKEN_CBRACE);

    w.Name("Frame");
    w.Name("Root");
    w.Token(TOKEN_OBRACE);
    w.Name("FrameTransformMatrix");
    w.Token(TOKEN_OBRACE);
    Floats(w, {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 10, 20, 30, 1});
    w.Token(TOKEN_CBRACE);
    w.Name("Frame");
    w.Name("Inner");
    w.Token(TOKEN_OBRACE);
    w.Name("Mesh");
    w.Name("Quad");
    w.Token(TOKEN_OBRACE);
    Ints(w, {4});
    Floats(w, {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, -0.5f});
    Ints(w, {2, 4, 0, 1, 2, 3, 3, 0, 2, 3});
    w.Name("MeshNormals");
    w.Token(TOKEN_OBRACE);
    Ints(w, {4});
    Floats(w, {0, 0, 1, 0, 0, 1, 0, 0, 1, 0, 0, 1});
    Ints(w, {2, 4, 0, 1, 2, 3});
    Ints(w, {3, 0, 1, 2});  // lists follow each other with no separator
    w.Token(TOKEN_CBRACE);
    w.Name("MeshTextureCoords");
    w.Token(TOKEN_OBRACE);
    Ints(w, {4});
    Floats(w, {0, 0, 1, 0, 1, 1, 0, 1});
    w.Token(TOKEN_CBRACE);
    w.Name("MeshMaterialList");
    w.Token(TOKEN_OBRACE);
    Ints(w, {2, 2, 0, 1});
    w.Token(TOKEN_OBRACE);
    w.Name("RedMat");
    w.Token(TOKEN_CBRACE);
    w.Name("Material");
    w.Token(TOKEN_OBRACE);
    Floats(w, {0, 1, 0, 1, 5, 0, 0, 0, 0, 0, 0});
    w.Token(TOKEN_CBRACE);
    w.Token(TOKEN_CBRACE);
    w.Token(TOKEN_CBRACE);
    w.Token(TOKEN_CBRACE);
    w.Token(TOKEN_CBRACE);
    return w.Bytes();
}

class Formats : public XFileTest {};

TEST_F(Formats, TextSceneGivesTheLoaderLayouts) {
    Ref<IDirectXFile> xf;
    Ref<IDirectXFileEnumObject> en;
    ASSERT_EQ(OpenMemory(Bytes(kSceneText), xf, en), S_OK);
    Ref<IDirectXFileData> mesh;
    ASSERT_EQ(en->GetDataObjectByName("Quad", &mesh), S_OK);
    DWORD size = 0;
    void* data = nullptr;
    ASSERT_EQ(mesh->GetData(nullptr, &size, &data), S_OK);
    const uint32_t words = 1 + 12 + 1 + 5 + 4;
    ASSERT_EQ(size, words * 4);
    uint32_t u[words];
    std::memcpy(u, data, sizeof u);
    EXPECT_EQ(u[0], 4u);
    float f;
    std::memcpy(&f, &u[12], 4);
    EXPECT_EQ(f, -0.5f);
    const uint32_t faces[] = {2, 4, 0, 1, 2, 3, 3, 0, 2, 3};
    for (int i = 0; i < 10; ++i) EXPECT_EQ(u[13 + i], faces[i]) << i;

    Ref<IDirectXFileData> mat;
    ASSERT_EQ(en->GetDataObjectByName("RedMat", &mat), S_OK);
    ASSERT_EQ(mat->GetData(nullptr, &size, &data), S_OK);
    ASSERT_EQ(size, 44u);
    float m[11];
    std::memcpy(m, data, 44);
    EXPECT_EQ(m[3], 0.5f);
    EXPECT_EQ(m[4], 12.5f);
    EXPECT_EQ(m[10], 0.2f);
    ASSERT_EQ(mat->GetData("power", &size, &data), S_OK);
    EXPECT_EQ(size, 4u);
    std::memcpy(&f, data, 4);
    EXPECT_EQ(f, 12.5f);

    Ref<IDirectXFileObject> child;
    ASSERT_EQ(mat->GetNextObject(&child), S_OK);
    Ref<IDirectXFileData> tex;
    ASSERT_EQ(child->QueryInterface(IID_IDirectXFileData, reinterpret_cast<void**>(&tex)), S_OK);
    ASSERT_EQ(tex->GetData(nullptr, &size, &data), S_OK);
    ASSERT_EQ(size, sizeof(char*));
    EXPECT_STREQ(*static_cast<char**>(data), "wall.bmp");
    Ref<IDirectXFileObject> none;
    EXPECT_EQ(mat->GetNextObject(&none), DXFILEERR_NOMOREOBJECTS);
    EXPECT_EQ(none.p, nullptr);
}

TEST_F(Formats, TextBinaryCompressedAndDoubleAgree) {
    Walk text = WalkFile(Bytes(kSceneText));
    ASSERT_EQ(text.end, DXFILEERR_NOMOREOBJECTS);
    ASSERT_EQ(text.lines.size(), 12u);
    const float green[11] = {0, 1, 0, 1, 5, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(text.lines[11], "4 data " + GuidText(TID_D3DRMMaterial) + " '' " + Hex(green, sizeof green));
    EXPECT_EQ(text.lines[10], "4 ref -> 'RedMat' 0");

    Walk bin = WalkFile(SceneBinary(false));
    EXPECT_EQ(bin.end, DXFILEERR_NOMOREOBJECTS);
    EXPECT_EQ(bin.lines, text.lines);

    Walk bin64 = WalkFile(SceneBinary(true));
    EXPECT_EQ(bin64.end, DXFILEERR_NOMOREOBJECTS);
    EXPECT_EQ(bin64.lines, text.lines);

    for (size_t block : {size_t(32768), size_t(40), size_t(7)}) {
        Walk tz = WalkFile(CompressXFile(Bytes(kSceneText), block));
        EXPECT_EQ(tz.end, DXFILEERR_NOMOREOBJECTS) << block;
        EXPECT_EQ(tz.lines, text.lines) << block;
        std::vector<uint8_t> bz = CompressXFile(SceneBinary(true), block);
        ASSERT_EQ(std::memcmp(bz.data(), "xof 0302bzip0064", 16), 0);
        Walk bzw = WalkFile(bz);
        EXPECT_EQ(bzw.end, DXFILEERR_NOMOREOBJECTS) << block;
        EXPECT_EQ(bzw.lines, text.lines) << block;
    }
}

TEST_F(Formats, TextWithSixtyFourBitHeaderReadsFloats) {
    std::string t = kSceneText;
    t.replace(12, 4, "0064");
    EXPECT_EQ(WalkFile(Bytes(t)).lines, WalkFile(Bytes(kSceneText)).lines);
}

TEST_F(Formats, BinaryStringWithWideTerminatorAndLoneIntegers) {
    BinaryWriter w;
    w.Name("TextureFilename");
    w.Token(TOKEN_OBRACE);
    w.String("a.bmp", TOKEN_COMMA);
    w.Token(0);  // the 4-byte terminator form
    w.Token(TOKEN_CBRACE);
    w.Name("Header");
    w.Token(TOKEN_OBRACE);
    w.Integer(7);
    w.Token(TOKEN_SEMICOLON);
    w.Integer(8);
    Ints(w, {9});
    w.Token(TOKEN_CBRACE);
    Walk b = WalkFile(w.Bytes());
    EXPECT_EQ(b.end, DXFILEERR_NOMOREOBJECTS);
    Walk t = WalkFile(Bytes("xof 0302txt 0032 TextureFilename { \"a.bmp\"; } Header { 7; 8; 9; }"));
    EXPECT_EQ(b.lines, t.lines);
    ASSERT_EQ(t.lines.size(), 2u);
}

TEST_F(Formats, FileLoadMapsBackslashes) {
    std::string dir = ::testing::TempDir() + "dxfile_paths";
    std::string cmd = "mkdir -p " + dir + "/sub";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    std::string path = dir + "/sub/scene.x";
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_TRUE(f);
    std::fwrite(kSceneText, 1, std::strlen(kSceneText), f);
    std::fclose(f);
    std::string win = dir + "\\sub\\scene.x";
    Ref<IDirectXFile> xf;
    ASSERT_EQ(DirectXFileCreate(&xf), S_OK);
    ASSERT_EQ(xf->RegisterTemplates(D3DRM_XTEMPLATES, D3DRM_XTEMPLATE_BYTES), S_OK);
    Ref<IDirectXFileEnumObject> en;
    ASSERT_EQ(xf->CreateEnumObject(const_cast<char*>(win.c_str()), DXFILELOAD_FROMFILE, &en), S_OK);
    EXPECT_EQ(WalkAll(en.p).lines, WalkFile(Bytes(kSceneText)).lines);
    Ref<IDirectXFileEnumObject> missing;
    EXPECT_EQ(xf->CreateEnumObject(const_cast<char*>("no/such/file.x"), DXFILELOAD_FROMFILE, &missing),
              DXFILEERR_FILENOTFOUND);
    EXPECT_EQ(missing.p, nullptr);
}

TEST_F(Formats, ObjectsOutliveTheirEnumeratorAndFile) {
    Ref<IDirectXFileData> frame;
    {
        Ref<IDirectXFile> xf;
        Ref<IDirectXFileEnumObject> en;
        ASSERT_EQ(OpenMemory(Bytes(kSceneText), xf, en), S_OK);
        Ref<IDirectXFileData> d;
        ASSERT_EQ(en->GetNextDataObject(&d), S_OK);
        ASSERT_EQ(en->GetNextDataObject(&d), S_OK);
        ASSERT_EQ(en->GetNextDataObject(&frame), S_OK);
    }
    EXPECT_GT(dxfile::LiveObjectCount(), 0);
    char name[80];
    DWORD len = sizeof name;
    ASSERT_EQ(frame->GetName(name, &len), S_OK);
    EXPECT_STREQ(name, "Root");
    EXPECT_EQ(len, 5u);
    EXPECT_EQ(frame->AddRef(), 2u);
    EXPECT_EQ(frame->Release(), 1u);
}

}  // namespace

namespace {

// Text numbers must read exactly as the standard library's correctly rounded
// conversion reads them, whatever path the reader takes.
TEST_F(Formats, TextRealsMatchCorrectRounding) {
    std::string file = "xof 0302txt 0032 FloatKeys { 6000;\n";
    std::vector<float> expect;
    uint32_t seed = 12345;
    auto next = [&] {
        seed = seed * 1664525u + 1013904223u;
        return seed;
    };
    for (int i = 0; i < 6000; ++i) {
        float x;
        uint32_t bits = next();
        if (i % 3 == 0) {
            std::memcpy(&x, &bits, 4);
            if (!std::isfinite(x)) x = 1.5f;
        } else {
            x = float(int32_t(bits)) / float(1u << (next() % 31));
        }
        char buf[64];
        std::to_chars_result r;
        switch (i % 4) {
        case 0: r = std::to_chars(buf, buf + sizeof buf, x); break;
        case 1: r = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::fixed, int(next() % 10)); break;
        case 2: r = std::to_chars(buf, buf + sizeof buf, double(x), std::chars_format::general, 17); break;
        default: r = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::scientific, int(next() % 9)); break;
        }
        std::string s(buf, r.ptr);
        float ref = 0;
        auto back = std::from_chars(s.data(), s.data() + s.size(), ref);
        if (back.ec != std::errc()) continue;
        expect.push_back(ref);
        file += s + (i + 1 < 6000 ? "," : ";");
    }
    file += "; }";
    // Skipped values shorten the list: patch the count.
    file.replace(file.find("6000"), 4, std::to_string(expect.size()));
    Ref<IDirectXFile> xf;
    Ref<IDirectXFileEnumObject> en;
    ASSERT_EQ(OpenMemory(Bytes(file), xf, en), S_OK);
    Ref<IDirectXFileData> d;
    ASSERT_EQ(en->GetNextDataObject(&d), S_OK);
    DWORD size;
    void* data;
    ASSERT_EQ(d->GetData("values", &size, &data), S_OK);
    ASSERT_EQ(size, expect.size() * 4);
    for (size_t i = 0; i < expect.size(); ++i) {
        float got;
        std::memcpy(&got, static_cast<uint8_t*>(data) + 4 * i, 4);
        ASSERT_EQ(std::memcmp(&got, &expect[i], 4), 0) << i << " " << got << " vs " << expect[i];
    }
}

}  // namespace
