// Answers of the X-file services that must match the platform's own: class
// ids inside an object's block, reference counts, nameless objects, the end
// of compressed data, separators between values, and template members.
#include "dxfile/xfile_tokens.h"
#include "dxfile/xfile_writer.h"
#include "xfile_test_util.h"

namespace {

using namespace dxfile;

class Conformance : public XFileTest {};

const GUID kId = {0x12345678, 0x9ABC, 0xDEF0, {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}};
const char kIdText[] = "<12345678-9ABC-DEF0-0123-456789ABCDEF>";

// Text and binary files whose Frame carries its class id as the block's
// first token: the object is found by it and reports it.
TEST_F(Conformance, ClassIdOpeningTheBlockNamesTheObject) {
    std::vector<std::vector<uint8_t>> files;
    files.push_back(Bytes(std::string("xof 0302txt 0032 Frame F { ") + kIdText + " Frame Child { } }"));
    files.push_back(Bytes(std::string("xof 0302txt 0032 Vector V {") + kIdText + " 1.0; 2.0; 3.0; }"));
    BinaryWriter w(false);
    w.Name("Frame");
    w.Name("F");
    w.Token(TOKEN_OBRACE);
    w.Guid(kId);
    w.Token(TOKEN_CBRACE);
    files.push_back(w.Bytes());
    for (size_t i = 0; i < files.size(); ++i) {
        Ref<IDirectXFile> xf;
        Ref<IDirectXFileEnumObject> en;
        ASSERT_EQ(OpenMemory(files[i], xf, en), S_OK) << i;
        Ref<IDirectXFileData> byId;
        ASSERT_EQ(en->GetDataObjectById(kId, &byId), S_OK) << i;
        GUID id{};
        ASSERT_EQ(byId->GetId(&id), S_OK);
        EXPECT_TRUE(id == kId) << i;
        Ref<IDirectXFileData> first;
        ASSERT_EQ(en->GetNextDataObject(&first), S_OK) << i;
        DWORD size = 0;
        void* data = nullptr;
        ASSERT_EQ(first->GetData(nullptr, &size, &data), S_OK);
        if (i == 1) {
            ASSERT_EQ(size, 12u);  // the id is no data
            float v[3];
            std::memcpy(v, data, 12);
            EXPECT_EQ(v[2], 3.0f);
        }
    }
    // The id before the brace is still taken.
    Walk before = WalkFile(Bytes(std::string("xof 0302txt 0032 Frame F ") + kIdText + " { }"));
    EXPECT_EQ(before.end, DXFILEERR_NOMOREOBJECTS);
    EXPECT_EQ(before.lines.size(), 1u);
}

// A top-level object counts the enumerator's reference as well as the
// caller's; children count only the caller's. Everything goes with the
// enumerator (the fixture checks nothing is left).
TEST_F(Conformance, EnumeratorHoldsTheTopLevelObjects) {
    Ref<IDirectXFile> xf;
    Ref<IDirectXFileEnumObject> en;
    ASSERT_EQ(OpenMemory(Bytes("xof 0302txt 0032 Frame A { Frame B { } } Frame { }"), xf, en), S_OK);
    IDirectXFileData* top = nullptr;
    ASSERT_EQ(en->GetNextDataObject(&top), S_OK);
    EXPECT_EQ(top->AddRef(), 3u);
    EXPECT_EQ(top->Release(), 2u);
    IDirectXFileObject* child = nullptr;
    ASSERT_EQ(top->GetNextObject(&child), S_OK);
    EXPECT_EQ(child->AddRef(), 2u);
    EXPECT_EQ(child->Release(), 1u);
    EXPECT_EQ(child->Release(), 0u);
    EXPECT_EQ(top->Release(), 1u);  // the enumerator's is left

    // Nameless: length 0, and a buffer of no length will do.
    Ref<IDirectXFileData> nameless;
    ASSERT_EQ(en->GetNextDataObject(&nameless), S_OK);
    DWORD len = 99;
    ASSERT_EQ(nameless->GetName(nullptr, &len), S_OK);
    EXPECT_EQ(len, 0u);
    char buf[4] = {'x', 'x', 'x', 0};
    len = 0;
    EXPECT_EQ(nameless->GetName(buf, &len), S_OK);
    EXPECT_EQ(len, 0u);
    EXPECT_EQ(buf[0], 'x');
}

// A compressed file whose data ends in one lone byte ends there; the same
// byte in a plain binary file is still a broken token.
TEST_F(Conformance, LoneByteEndsCompressedData) {
    BinaryWriter w(false);
    std::vector<uint8_t> lone = w.Bytes();
    lone.push_back(0x07);
    Walk z = WalkFile(CompressXFile(lone, 32768));
    EXPECT_EQ(z.end, DXFILEERR_NOMOREOBJECTS);
    EXPECT_TRUE(z.lines.empty());

    BinaryWriter f(false);
    f.Name("Frame");
    f.Token(TOKEN_OBRACE);
    f.Token(TOKEN_CBRACE);
    std::vector<uint8_t> after = f.Bytes();
    after.push_back(0x07);
    Walk za = WalkFile(CompressXFile(after, 32768));
    EXPECT_EQ(za.end, DXFILEERR_NOMOREOBJECTS);
    EXPECT_EQ(za.lines.size(), 1u);
    EXPECT_EQ(WalkFile(after).end, DXFILEERR_PARSEERROR);
}

// Separators inside arrays of values: one ',' between values and one ';'
// after the last, as the format's writers put them.
TEST_F(Conformance, ArraySeparatorsFollowTheFormat) {
    const std::string head = "xof 0302txt 0032 ";
    struct Case {
        const char* body;
        HRESULT end;
    };
    const Case cases[] = {
        {"MeshFace { 3; 0, 1, 2; }", DXFILEERR_NOMOREOBJECTS},
        {"MeshFace { 3; 0,1,2;; }", DXFILEERR_NOMOREOBJECTS},
        {"MeshFace { 3; 0, // one\n 1, # two\n 2; }", DXFILEERR_NOMOREOBJECTS},
        {"MeshFace { 3; 0, 1, 2, }", DXFILEERR_NOMOREOBJECTS},  // a single ',' may end it
        {"MeshFace { 3; 0,, 1, 2; }", DXFILEERR_PARSEERROR},
        {"MeshFace { 3; 0, 1, 2,; }", DXFILEERR_PARSEERROR},
        {"MeshFace { 3; 0, 1, 2 }", DXFILEERR_PARSEERROR},
        {"MeshFace { 3; 0 1 2; }", DXFILEERR_PARSEERROR},
        {"MeshFace { 3; 0; 1; 2; }", DXFILEERR_PARSEERROR},
        {"Coords2d { 0.5; 0.25; }", DXFILEERR_NOMOREOBJECTS},  // members are no array
        {"FloatKeys { 2; 1.0, 2.0; }", DXFILEERR_NOMOREOBJECTS},
        {"FloatKeys { 2; 1.0 2.0; }", DXFILEERR_PARSEERROR},
        {"FloatKeys { 2; 1.0,,2.0; }", DXFILEERR_PARSEERROR},
        {"Mesh { 2; 0;0;0;, 1;1;1;; 1; 2; 0, 1;; }", DXFILEERR_NOMOREOBJECTS},
        {"Mesh { 2; 0;0;0;, 1;1;1;; 1; 2; 0 1;; }", DXFILEERR_PARSEERROR},
    };
    for (const Case& c : cases) EXPECT_EQ(WalkFile(Bytes(head + c.body)).end, c.end) << c.body;

    // Binary: an integer list carries its own length, no separator after it.
    for (bool separator : {false, true}) {
        BinaryWriter w(false);
        w.Name("MeshFace");
        w.Token(TOKEN_OBRACE);
        const uint32_t face[4] = {3, 0, 1, 2};
        w.IntegerList(face, 4);
        if (separator) w.Token(TOKEN_SEMICOLON);
        w.Token(TOKEN_CBRACE);
        EXPECT_EQ(WalkFile(w.Bytes()).end, separator ? DXFILEERR_PARSEERROR : DXFILEERR_NOMOREOBJECTS);
    }
    // Lone integers may still be followed by one.
    BinaryWriter single(false);
    single.Name("MeshFace");
    single.Token(TOKEN_OBRACE);
    for (uint32_t v : {3u, 0u, 1u, 2u}) {
        single.Integer(v);
        single.Token(TOKEN_COMMA);
    }
    single.Token(TOKEN_CBRACE);
    EXPECT_EQ(WalkFile(single.Bytes()).end, DXFILEERR_NOMOREOBJECTS);
}

// Template members: a bare unknown word is a parse error, an unknown type
// with a member name is a missing template, and the legacy type name
// indexColor is the indexed colour.
TEST_F(Conformance, TemplateMemberTypes) {
    const std::string guid = " <AAAAAAAA-0000-0000-0000-000000000001> ";
    auto open = [&](const std::string& body) {
        Ref<IDirectXFile> xf;
        Ref<IDirectXFileEnumObject> en;
        return OpenMemory(Bytes("xof 0302txt 0032 " + body), xf, en) == S_OK ? WalkAll(en.p).end : E_FAIL;
    };
    EXPECT_EQ(open("template T {" + guid + "foobar; } T { }"), DXFILEERR_PARSEERROR);
    EXPECT_EQ(open("template T {" + guid + "foobar f; } T { }"), DXFILEERR_NOTEMPLATE);
    EXPECT_EQ(open("template T {" + guid + "DWORD n; array indexColor c[n]; } T { 1; 0; 1.0; 0.5; 0.25; 1.0;; }"),
              DXFILEERR_NOMOREOBJECTS);
    Walk w = WalkFile(Bytes("xof 0302txt 0032 template T {" + guid +
                            "DWORD n; array indexColor c[n]; } T { 1; 7; 1.0; 0.5; 0.25; 1.0;; }"));
    ASSERT_EQ(w.lines.size(), 1u);
    const uint32_t n = 1, index = 7;
    const float rgba[4] = {1.0f, 0.5f, 0.25f, 1.0f};
    EXPECT_NE(w.lines[0].find(Hex(&n, 4) + Hex(&index, 4) + Hex(rgba, 16)), std::string::npos) << w.lines[0];
}

}  // namespace
