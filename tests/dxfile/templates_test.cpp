#include <memory>

#include "xfile_test_util.h"

namespace {

class Templates : public XFileTest {};

// keep: holds the object (and with it the strings its block points at).
HRESULT FirstData(const std::string& file, std::vector<uint8_t>& data, Ref<IDirectXFileData>* keep = nullptr) {
    Ref<IDirectXFile> xf;
    Ref<IDirectXFileEnumObject> en;
    HRESULT hr = OpenMemory(Bytes(file), xf, en, false);
    if (FAILED(hr)) return hr;
    Ref<IDirectXFileData> d;
    hr = en->GetNextDataObject(&d);
    if (FAILED(hr)) return hr;
    DWORD size;
    void* p;
    hr = d->GetData(nullptr, &size, &p);
    if (FAILED(hr)) return hr;
    data.assign(static_cast<uint8_t*>(p), static_cast<uint8_t*>(p) + size);
    if (keep) {
        d->AddRef();
        keep->Reset();
        keep->p = d.p;
    }
    return S_OK;
}

TEST_F(Templates, PrimitiveSizesArraysAndNesting) {
    std::string file =
        "xof 0302txt 0032\n"
        "template Pair { <01234567-89AB-CDEF-0123-456789ABCDEF> WORD a; CHAR b; }\n"
        "template Grid {\n"
        "  <11111111-89AB-CDEF-0123-456789ABCDEF>\n"
        "  DWORD rows; DWORD cols;\n"
        "  array FLOAT cell[rows][cols];\n"
        "  array Pair pairs[2];\n"
        "  UCHAR u; SWORD s; SDWORD sd; DOUBLE d;\n"
        "  array STRING tags[cols];\n"
        "}\n"
        "Grid g { 2; 3; 1,2,3,4,5,6;; 7;8;, 9;10;; 255; -2; -3; 2.5; \"x\", \"yz\", \"\"; }\n";
    std::vector<uint8_t> d;
    Ref<IDirectXFileData> keep;
    ASSERT_EQ(FirstData(file, d, std::addressof(keep)), S_OK);
    size_t expect = 8 + 24 + 2 * 3 + 1 + 2 + 4 + 8 + 3 * sizeof(char*);
    ASSERT_EQ(d.size(), expect);
    float cell[6];
    std::memcpy(cell, d.data() + 8, 24);
    EXPECT_EQ(cell[5], 6.0f);
    EXPECT_EQ(d[32], 7);
    EXPECT_EQ(d[33], 0);
    EXPECT_EQ(d[34], 8);
    EXPECT_EQ(d[35], 9);
    EXPECT_EQ(d[38], 255);
    int16_t s;
    std::memcpy(&s, d.data() + 39, 2);
    EXPECT_EQ(s, -2);
    int32_t sd;
    std::memcpy(&sd, d.data() + 41, 4);
    EXPECT_EQ(sd, -3);
    double dbl;
    std::memcpy(&dbl, d.data() + 45, 8);
    EXPECT_EQ(dbl, 2.5);
    const char* tags[3];
    std::memcpy(tags, d.data() + 53, sizeof tags);
    EXPECT_STREQ(tags[0], "x");
    EXPECT_STREQ(tags[1], "yz");
    EXPECT_STREQ(tags[2], "");
}

TEST_F(Templates, RestrictionsAreEnforced) {
    std::string defs =
        "xof 0302txt 0032\n"
        "template Leaf { <22222222-0000-0000-0000-000000000000> DWORD v; }\n"
        "template Other { <33333333-0000-0000-0000-000000000000> DWORD v; }\n"
        "template Closed { <44444444-0000-0000-0000-000000000000> DWORD v; }\n"
        "template OnlyLeaf { <55555555-0000-0000-0000-000000000000> [Leaf <22222222-0000-0000-0000-000000000000>] }\n"
        "template Open { <66666666-0000-0000-0000-000000000000> [...] }\n";
    std::vector<uint8_t> d;
    EXPECT_EQ(FirstData(defs + "OnlyLeaf { Leaf { 1; } Leaf { 2; } }", d), S_OK);
    EXPECT_EQ(FirstData(defs + "OnlyLeaf { Other { 1; } }", d), DXFILEERR_PARSEERROR);
    EXPECT_EQ(FirstData(defs + "Closed { 1; Leaf { 1; } }", d), DXFILEERR_PARSEERROR);
    EXPECT_EQ(FirstData(defs + "Open { Closed { 1; } Other { 2; } }", d), S_OK);
    // References are not restricted by the parent's list.
    EXPECT_EQ(FirstData(defs + "Other o { 1; } Closed { 1; { o } }", d), S_OK);
}

TEST_F(Templates, RedefinitionKeepsTheFirstAndCannotMakeACycle) {
    std::string file =
        "xof 0302txt 0032\n"
        "template A { <77777777-0000-0000-0000-000000000000> DWORD x; }\n"
        "template B { <88888888-0000-0000-0000-000000000000> A a; }\n"
        "template A { <77777777-0000-0000-0000-000000000000> B b; }\n"
        "A { 5; }\n";
    std::vector<uint8_t> d;
    ASSERT_EQ(FirstData(file, d), S_OK);
    ASSERT_EQ(d.size(), 4u);
    EXPECT_EQ(d[0], 5);
    EXPECT_EQ(FirstData("xof 0302txt 0032 template S { <99999999-0000-0000-0000-000000000000> S s; }", d),
              DXFILEERR_NOTEMPLATE);
}

TEST_F(Templates, DeepTemplateNestingIsRefused) {
    std::string file = "xof 0302txt 0032 template T0 { <99999999-0000-0000-0000-000000000000> DWORD v; }\n";
    for (int i = 1; i < 40; ++i) {
        file += "template T" + std::to_string(i) + " { <99999999-0000-0000-0000-000000000000> T" +
                std::to_string(i - 1) + " t; }\n";
    }
    std::vector<uint8_t> d;
    EXPECT_EQ(FirstData(file + "T0 { 1; }", d), DXFILEERR_PARSEERROR);
}

TEST_F(Templates, RegisteredFromTextAndUsedByBinaryFile) {
    Ref<IDirectXFile> xf;
    ASSERT_EQ(DirectXFileCreate(&xf), S_OK);
    std::string t = "xof 0302txt 0032 template P { <12345678-0000-0000-0000-000000000000> DWORD a; FLOAT b; }";
    ASSERT_EQ(xf->RegisterTemplates(t.data(), DWORD(t.size())), S_OK);
    std::string bad = "xof 0302txt 0032 template Q { <12345678-0000-0000-0000-000000000000> Missing m; }";
    EXPECT_EQ(xf->RegisterTemplates(bad.data(), DWORD(bad.size())), DXFILEERR_NOTEMPLATE);
    std::string file = "xof 0302txt 0032 P { 3; 0.5; }";
    Ref<IDirectXFileEnumObject> en;
    DXFILELOADMEMORY mem{file.data(), DWORD(file.size())};
    ASSERT_EQ(xf->CreateEnumObject(&mem, DXFILELOAD_FROMMEMORY, &en), S_OK);
    Walk w = WalkAll(en.p);
    EXPECT_EQ(w.end, DXFILEERR_NOMOREOBJECTS);
    ASSERT_EQ(w.lines.size(), 1u);
    EXPECT_NE(w.lines[0].find("030000000000003f"), std::string::npos);
}

TEST_F(Templates, ZeroSizedElementsDoNotSpin) {
    std::string file =
        "xof 0302txt 0032\n"
        "template E { <12345678-0000-0000-0000-000000000001> array DWORD none[0]; }\n"
        "template T { <12345678-0000-0000-0000-000000000002> DWORD n; array E e[n]; DWORD after; }\n"
        "T { 3; 9; }\n";
    std::vector<uint8_t> d;
    ASSERT_EQ(FirstData(file, d), S_OK);
    ASSERT_EQ(d.size(), 8u);
    EXPECT_EQ(d[4], 9);
}

}  // namespace
