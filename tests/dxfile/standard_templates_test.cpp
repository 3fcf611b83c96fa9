#include <fstream>
#include <iterator>

#include "dxfile/xfile_writer.h"
#include "xfile_test_util.h"

namespace {

class StandardTemplates : public XFileTest {};

TEST_F(StandardTemplates, BlockIsTheBinaryEncodingOfTheTemplateText) {
    ASSERT_EQ(D3DRM_XTEMPLATE_BYTES, 3278);
    EXPECT_EQ(std::memcmp(D3DRM_XTEMPLATES, "xof 0302bin 0064", 16), 0);
    std::ifstream in(STANDARD_TEMPLATES_X, std::ios::binary);
    ASSERT_TRUE(in);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<uint8_t> bin;
    ASSERT_EQ(dxfile::TextToBinary(text, bin), S_OK);
    ASSERT_EQ(bin.size(), 3278u);
    EXPECT_EQ(std::memcmp(bin.data(), D3DRM_XTEMPLATES, bin.size()), 0);
}

TEST_F(StandardTemplates, RegisterAndDescribeEveryTemplate) {
    Ref<IDirectXFile> xf;
    ASSERT_EQ(DirectXFileCreate(&xf), S_OK);
    ASSERT_EQ(xf->RegisterTemplates(D3DRM_XTEMPLATES, D3DRM_XTEMPLATE_BYTES), S_OK);
    // Registering the same set again (as files that repeat it do) is fine.
    ASSERT_EQ(xf->RegisterTemplates(D3DRM_XTEMPLATES, D3DRM_XTEMPLATE_BYTES), S_OK);
    std::string file =
        "xof 0302txt 0032\n"
        "Header { 1; 0; 1; }\n"
        "Vector v { 1.5; 2; -3; }\n"
        "Coords2d { 0.25; 0.75; }\n"
        "Matrix4x4 { 1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,1;; }\n"
        "ColorRGBA { 1; 0.5; 0.25; 1; }\n"
        "ColorRGB { 1; 0.5; 0.25; }\n"
        "IndexedColor { 3; 1; 0; 0; 1;; }\n"
        "Boolean { 1; }\n"
        "Boolean2d { 1; 0; }\n"
        "MaterialWrap { 0; 1; }\n"
        "TextureFilename { \"a.bmp\"; }\n"
        "Material { 1;1;1;1;; 2; 0;0;0;; 0;0;0;; }\n"
        "MeshFace { 3; 0, 1, 2;; }\n"
        "MeshFaceWraps { 1; 1; 0;; }\n"
        "MeshTextureCoords { 1; 0.5; 0.5;; }\n"
        "MeshMaterialList { 1; 1; 0;; }\n"
        "MeshNormals { 1; 0;0;1;; 1; 3;0,0,0;; }\n"
        "MeshVertexColors { 1; 0; 1;1;1;1;;; }\n"
        "Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; }\n"
        "FrameTransformMatrix { 1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,1;; }\n"
        "Frame { }\n"
        "FloatKeys { 2; 1.0, 2.0;; }\n"
        "TimedFloatKeys { 10; 1; 5.0;;; }\n"
        "AnimationKey { 0; 1; 10; 4; 1,0,0,0;;; }\n"
        "AnimationOptions { 1; 0; }\n"
        "Animation { AnimationKey { 0; 0; } }\n"
        "AnimationSet { Animation { } }\n"
        "InlineData { }\n"
        "Url { 2; \"a\", \"b\"; }\n"
        "ProgressiveMesh { Url { 0; } }\n"
        "Guid { 1; 2; 3; 1,2,3,4,5,6,7,8; }\n"
        "StringProperty { \"k\"; \"v\"; }\n"
        "PropertyBag { StringProperty { \"k\"; \"v\"; } }\n"
        "ExternalVisual { 1; 2; 3; 1,2,3,4,5,6,7,8;; Frame { } }\n"
        "RightHanded { 1; }\n";
    Ref<IDirectXFileEnumObject> en;
    DXFILELOADMEMORY mem{file.data(), DWORD(file.size())};
    ASSERT_EQ(xf->CreateEnumObject(&mem, DXFILELOAD_FROMMEMORY, &en), S_OK);
    Walk w = WalkAll(en.p);
    EXPECT_EQ(w.end, DXFILEERR_NOMOREOBJECTS);
    int top = 0;
    for (const auto& l : w.lines) top += l[0] == '0';
    EXPECT_EQ(top, 35);
    // Spot checks of the block sizes the members give.
    Ref<IDirectXFileData> d;
    ASSERT_EQ(en->GetDataObjectByName("v", &d), S_OK);
    DWORD size = 0;
    void* data = nullptr;
    ASSERT_EQ(d->GetData(nullptr, &size, &data), S_OK);
    ASSERT_EQ(size, 12u);
    float v[3];
    std::memcpy(v, data, 12);
    EXPECT_EQ(v[0], 1.5f);
    EXPECT_EQ(v[1], 2.0f);
    EXPECT_EQ(v[2], -3.0f);
    ASSERT_EQ(d->GetData("y", &size, &data), S_OK);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(d->GetData("w", &size, &data), DXFILEERR_BADDATAREFERENCE);
}

TEST_F(StandardTemplates, HeaderWordsAreTwoBytesEach) {
    Walk w = WalkFile(Bytes("xof 0302txt 0032 Header { 1; 2; 3; }"));
    ASSERT_EQ(w.lines.size(), 1u);
    EXPECT_NE(w.lines[0].find(" 0100020003000000"), std::string::npos) << w.lines[0];
}

TEST_F(StandardTemplates, TemplateGuidsAreTheStandardOnes) {
    Walk w = WalkFile(Bytes("xof 0302txt 0032 Frame { } Mesh { 0;; 0;; } Material { 0;0;0;0;; 0; 0;0;0;; 0;0;0;; }"));
    ASSERT_EQ(w.lines.size(), 3u);
    EXPECT_NE(w.lines[0].find(GuidText(TID_D3DRMFrame)), std::string::npos);
    EXPECT_NE(w.lines[1].find(GuidText(TID_D3DRMMesh)), std::string::npos);
    EXPECT_NE(w.lines[2].find(GuidText(TID_D3DRMMaterial)), std::string::npos);
    EXPECT_EQ(TID_D3DRMMesh, IID_IDirectXFileData);
}

}  // namespace
