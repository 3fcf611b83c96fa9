// Damaged and hostile files fail with a code (or stop the enumeration with
// one), never crash, read outside the file or allocate absurdly.
#include "dxfile/xfile_tokens.h"
#include "dxfile/xfile_writer.h"
#include "xfile_test_util.h"

namespace {

using namespace dxfile;

class BadInput : public XFileTest {};

HRESULT OpenCode(const std::string& s) {
    HRESULT hr;
    WalkFile(Bytes(s), &hr);
    return hr;
}

const char* kScene =
    "xof 0302txt 0032\n"
    "Frame A { FrameTransformMatrix { 1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,1;; }\n"
    "  Mesh M { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;;\n"
    "    MeshMaterialList { 1; 1; 0;; Material { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; TextureFilename { \"t.bmp\"; } } } } }\n"
    "Frame B { }\n";

TEST_F(BadInput, HeaderChecks) {
    EXPECT_EQ(OpenCode("xof"), DXFILEERR_BADFILETYPE);
    EXPECT_EQ(OpenCode("xof 0302txt 003"), DXFILEERR_BADFILETYPE);
    EXPECT_EQ(OpenCode("xif 0302txt 0032 Frame { }"), DXFILEERR_BADFILETYPE);
    EXPECT_EQ(OpenCode("xof 0402txt 0032 Frame { }"), DXFILEERR_BADFILEVERSION);
    EXPECT_EQ(OpenCode("xof 0302xml 0032 Frame { }"), DXFILEERR_BADFILETYPE);
    EXPECT_EQ(OpenCode("xof 0302com 0032 Frame { }"), DXFILEERR_BADFILECOMPRESSIONTYPE);
    EXPECT_EQ(OpenCode("xof 0302txt 0016 Frame { }"), DXFILEERR_BADFILEFLOATSIZE);
    EXPECT_EQ(OpenCode("xof 0303txt 0032 Frame { }"), S_OK);
}

TEST_F(BadInput, ErrorsEndTheEnumerationAfterGoodObjects) {
    Walk w = WalkFile(Bytes("xof 0302txt 0032 Frame A { } Frame B { Frame C { } Unknown { } } Frame D { }"));
    EXPECT_EQ(w.end, DXFILEERR_NOTEMPLATE);
    ASSERT_EQ(w.lines.size(), 1u);
    w = WalkFile(Bytes("xof 0302txt 0032 Frame A { } Frame B { ] }"));
    EXPECT_EQ(w.end, DXFILEERR_PARSEERROR);
    EXPECT_EQ(w.lines.size(), 1u);
    EXPECT_EQ(WalkFile(Bytes("xof 0302txt 0032 Frame A { } 12")).end, DXFILEERR_PARSEERROR);
    EXPECT_EQ(WalkFile(Bytes("xof 0302txt 0032 Frame A { } +")).end, DXFILEERR_NOTEMPLATE);
    EXPECT_EQ(WalkFile(Bytes("xof 0302txt 0032 -")).end, DXFILEERR_NOTEMPLATE);
    EXPECT_EQ(WalkFile(Bytes("xof 0302txt 0032 Vector { 1; 2; x; }")).end, DXFILEERR_PARSEERROR);
    EXPECT_EQ(WalkFile(Bytes("xof 0302txt 0032 TextureFilename { \"open }")).end, DXFILEERR_PARSEERROR);
    EXPECT_EQ(WalkFile(Bytes("xof 0302txt 0032 Frame { { } }")).end, DXFILEERR_PARSEERROR);
    EXPECT_EQ(WalkFile(Bytes("xof 0302txt 0032 Frame <1234> { }")).end, DXFILEERR_PARSEERROR);
    EXPECT_EQ(WalkFile(Bytes("xof 0302txt 0032 Mesh { 99999999999; }")).end, DXFILEERR_PARSEERROR);
}

TEST_F(BadInput, EveryTruncationOfTextAndBinary) {
    std::vector<uint8_t> text = Bytes(kScene);
    std::vector<uint8_t> bin;
    ASSERT_EQ(TextToBinary(kScene, bin), S_OK);
    Walk whole = WalkFile(bin);
    ASSERT_EQ(whole.end, DXFILEERR_NOMOREOBJECTS);
    ASSERT_EQ(whole.lines, WalkFile(text).lines);
    for (const auto* file : {&text, &bin}) {
        for (size_t n = 0; n < file->size(); ++n) {
            std::vector<uint8_t> cut(file->begin(), file->begin() + long(n));
            Walk w = WalkFile(cut);
            EXPECT_TRUE(FAILED(w.end)) << n;
            EXPECT_LE(w.lines.size(), whole.lines.size());
        }
    }
}

TEST_F(BadInput, ArrayCountsBeyondTheData) {
    EXPECT_EQ(WalkFile(Bytes("xof 0302txt 0032 Mesh { 4000000000; 0;0;0;; }")).end, DXFILEERR_BADARRAYSIZE);
    EXPECT_EQ(WalkFile(Bytes("xof 0302txt 0032 Mesh { 3; 0;0;0;; 0;; }")).end, DXFILEERR_PARSEERROR);
    std::string t =
        "xof 0302txt 0032 template Big { <12345678-0000-0000-0000-000000000003> DWORD a; DWORD b;"
        " array DWORD m[a][b][a]; }\n Big { 65536; 65536; }";
    EXPECT_EQ(WalkFile(Bytes(t)).end, DXFILEERR_BADARRAYSIZE);

    BinaryWriter w;
    w.Name("Mesh");
    w.Token(TOKEN_OBRACE);
    uint32_t n = 0x40000000;
    w.Token(TOKEN_INTEGER_LIST);
    w.Bytes().insert(w.Bytes().end(), {1, 0, 0, 0});
    w.Bytes().insert(w.Bytes().end(), reinterpret_cast<uint8_t*>(&n), reinterpret_cast<uint8_t*>(&n) + 4);
    w.Token(TOKEN_FLOAT_LIST);
    w.Bytes().insert(w.Bytes().end(), {0xFF, 0xFF, 0xFF, 0x7F});  // a list longer than the file
    w.Token(TOKEN_CBRACE);
    EXPECT_EQ(WalkFile(w.Bytes()).end, DXFILEERR_BADARRAYSIZE);

    BinaryWriter v;
    v.Name("Mesh");
    v.Token(TOKEN_OBRACE);
    uint32_t three = 3;
    v.IntegerList(&three, 1);
    v.Token(TOKEN_FLOAT_LIST);
    v.Bytes().insert(v.Bytes().end(), {0xFF, 0xFF, 0xFF, 0x0F});
    v.Token(TOKEN_CBRACE);
    v.Bytes().resize(v.Bytes().size() + 64);
    EXPECT_EQ(WalkFile(v.Bytes()).end, DXFILEERR_PARSEERROR);
}

TEST_F(BadInput, DeepNestingIsRefused) {
    std::string deep = "xof 0302txt 0032 ";
    for (int i = 0; i < 5000; ++i) deep += "Frame {";
    for (int i = 0; i < 5000; ++i) deep += "}";
    EXPECT_EQ(WalkFile(Bytes(deep)).end, DXFILEERR_PARSEERROR);
    std::string ok = "xof 0302txt 0032 ";
    for (int i = 0; i < 60; ++i) ok += "Frame {";
    for (int i = 0; i < 60; ++i) ok += "}";
    EXPECT_EQ(WalkFile(Bytes(ok)).end, DXFILEERR_NOMOREOBJECTS);
}

// A file of a million empty frames would cost hundreds of megabytes as
// objects, and far more as whatever is built from them: refused as a whole.
TEST_F(BadInput, MoreObjectsThanAFileMayHoldAreRefused) {
    auto frames = [](int n) {
        std::string s = "xof 0302txt 0032\n";
        for (int i = 0; i < n; ++i) s += "Frame{}\n";
        return s;
    };
    HRESULT open = S_OK;
    const Walk refused = WalkFile(Bytes(frames((1 << 18) + 1)), &open);
    EXPECT_TRUE(FAILED(open) || refused.end == DXFILEERR_BADALLOC) << std::hex << open << " " << refused.end;
    EXPECT_EQ(WalkFile(Bytes(frames(1000))).end, DXFILEERR_NOMOREOBJECTS);
}

TEST_F(BadInput, BinaryGarbageTokens) {
    BinaryWriter w;
    w.Name("Frame");
    w.Token(TOKEN_OBRACE);
    w.Token(99);
    w.Token(TOKEN_CBRACE);
    EXPECT_EQ(WalkFile(w.Bytes()).end, DXFILEERR_PARSEERROR);
    BinaryWriter n;
    n.Token(TOKEN_NAME);
    n.Bytes().insert(n.Bytes().end(), {0xFF, 0xFF, 0xFF, 0xFF, 'F'});
    EXPECT_EQ(WalkFile(n.Bytes()).end, DXFILEERR_PARSEERROR);
    BinaryWriter s;
    s.Name("TextureFilename");
    s.Token(TOKEN_OBRACE);
    s.Token(TOKEN_STRING);
    s.Bytes().insert(s.Bytes().end(), {0x00, 0x00, 0x00, 0x10, 'a'});
    EXPECT_EQ(WalkFile(s.Bytes()).end, DXFILEERR_PARSEERROR);
}

std::vector<uint8_t> Compressed() { return CompressXFile(Bytes(kScene), 64); }

TEST_F(BadInput, CompressedBlocksThatLie) {
    std::vector<uint8_t> good = Compressed();
    Walk w = WalkFile(good);
    ASSERT_EQ(w.end, DXFILEERR_NOMOREOBJECTS);
    ASSERT_EQ(w.lines, WalkFile(Bytes(kScene)).lines);

    auto patch32 = [](std::vector<uint8_t> f, size_t at, uint32_t v) {
        std::memcpy(f.data() + at, &v, 4);
        return f;
    };
    auto patch16 = [](std::vector<uint8_t> f, size_t at, uint16_t v) {
        std::memcpy(f.data() + at, &v, 2);
        return f;
    };
    uint32_t total;
    std::memcpy(&total, good.data() + 16, 4);
    EXPECT_EQ(WalkFile(patch32(good, 16, total + 1)).end, DXFILEERR_BADFILE);
    EXPECT_EQ(WalkFile(patch32(good, 16, total - 1)).end, DXFILEERR_BADFILE);
    EXPECT_EQ(WalkFile(patch32(good, 16, 0xFFFFFFF0u)).end, DXFILEERR_BADFILE);
    EXPECT_EQ(WalkFile(patch32(good, 16, 3)).end, DXFILEERR_BADFILE);
    EXPECT_EQ(WalkFile(patch16(good, 20, 65)).end, DXFILEERR_BADFILE);      // plain size too large
    EXPECT_EQ(WalkFile(patch16(good, 20, 63)).end, DXFILEERR_BADFILE);      // too small
    EXPECT_EQ(WalkFile(patch16(good, 20, 40000)).end, DXFILEERR_BADFILE);   // beyond a block
    EXPECT_EQ(WalkFile(patch16(good, 22, 0xFFFF)).end, DXFILEERR_BADFILE);  // beyond the file
    EXPECT_EQ(WalkFile(patch16(good, 22, 2)).end, DXFILEERR_BADFILE);
    std::vector<uint8_t> sig = good;
    sig[24] = 'X';
    EXPECT_EQ(WalkFile(sig).end, DXFILEERR_BADFILE);
    for (size_t n = 16; n < good.size(); n += 3) {
        std::vector<uint8_t> cut(good.begin(), good.begin() + long(n));
        EXPECT_TRUE(FAILED(WalkFile(cut).end)) << n;
        std::vector<uint8_t> flip = good;
        flip[n] ^= 0x5A;
        WalkFile(flip);  // any outcome but a crash
    }
}

TEST_F(BadInput, NullArgumentsAndUnsupportedSources) {
    Ref<IDirectXFile> xf;
    ASSERT_EQ(DirectXFileCreate(&xf), S_OK);
    EXPECT_EQ(DirectXFileCreate(nullptr), DXFILEERR_BADVALUE);
    Ref<IDirectXFileEnumObject> en;
    EXPECT_EQ(xf->CreateEnumObject(nullptr, DXFILELOAD_FROMFILE, &en), DXFILEERR_BADVALUE);
    EXPECT_EQ(xf->CreateEnumObject(const_cast<char*>("x"), DXFILELOAD_FROMURL, &en), DXFILEERR_URLNOTFOUND);
    EXPECT_EQ(xf->RegisterTemplates(nullptr, 10), DXFILEERR_BADVALUE);
    std::string notTemplates = "xof 0302txt 0032 template X { <12345678-0000-0000-0000-000000000009> DWORD";
    EXPECT_EQ(xf->RegisterTemplates(notTemplates.data(), DWORD(notTemplates.size())), DXFILEERR_PARSEERROR);
}

}  // namespace
