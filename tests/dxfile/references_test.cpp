#include "xfile_test_util.h"

namespace {

class References : public XFileTest {};

const char* kRefs =
    "xof 0302txt 0032\n"
    "Frame Outer <11111111-2222-3333-4444-555566667777> {\n"
    "  Frame Nested <AAAAAAAA-BBBB-CCCC-DDDD-EEEEFFFF0000> { }\n"
    "  { Later }\n"
    "  { <aaaaaaaa-bbbb-cccc-dddd-eeeeffff0000> }\n"
    "  { Nested }\n"
    "  { Nowhere }\n"
    "  { <00000000-0000-0000-0000-000000000001> }\n"
    "}\n"
    "Material Later { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; }\n";

TEST_F(References, ByNameByGuidNestedForwardAndMissing) {
    Walk w = WalkFile(Bytes(kRefs));
    EXPECT_EQ(w.end, DXFILEERR_NOMOREOBJECTS);
    ASSERT_EQ(w.lines.size(), 8u);
    EXPECT_EQ(w.lines[2], "1 ref -> 'Later' 0");
    EXPECT_EQ(w.lines[3], "1 ref -> 'Nested' 0");
    EXPECT_EQ(w.lines[4], "1 ref -> 'Nested' 0");
    EXPECT_EQ(w.lines[5], "1 ref -> '' " + std::to_string(DXFILEERR_BADDATAREFERENCE));
    EXPECT_EQ(w.lines[6], "1 ref -> '' " + std::to_string(DXFILEERR_BADDATAREFERENCE));
    // The forward reference did not disturb the enumeration order.
    EXPECT_EQ(w.lines[7].substr(0, 7), "0 data ");
    EXPECT_NE(w.lines[7].find("'Later'"), std::string::npos);
}

TEST_F(References, ReferenceViewAndIds) {
    Ref<IDirectXFile> xf;
    Ref<IDirectXFileEnumObject> en;
    ASSERT_EQ(OpenMemory(Bytes(kRefs), xf, en), S_OK);
    Ref<IDirectXFileData> outer;
    ASSERT_EQ(en->GetNextDataObject(&outer), S_OK);
    GUID id;
    ASSERT_EQ(outer->GetId(&id), S_OK);
    EXPECT_EQ(id.Data1, 0x11111111u);
    EXPECT_EQ(id.Data2, 0x2222);
    EXPECT_EQ(id.Data4[7], 0x77);

    Ref<IDirectXFileObject> c;
    ASSERT_EQ(outer->GetNextObject(&c), S_OK);  // Nested
    ASSERT_EQ(outer->GetNextObject(&c), S_OK);  // { Later }
    Ref<IDirectXFileData> asData;
    EXPECT_EQ(c->QueryInterface(IID_IDirectXFileData, reinterpret_cast<void**>(&asData)), E_NOINTERFACE);
    EXPECT_EQ(asData.p, nullptr);
    Ref<IDirectXFileDataReference> r;
    ASSERT_EQ(c->QueryInterface(IID_IDirectXFileDataReference, reinterpret_cast<void**>(&r)), S_OK);
    char name[16];
    DWORD len = sizeof name;
    ASSERT_EQ(r->GetName(name, &len), S_OK);
    EXPECT_STREQ(name, "Later");
    Ref<IDirectXFileData> target;
    ASSERT_EQ(r->Resolve(&target), S_OK);
    const GUID* type = nullptr;
    ASSERT_EQ(target->GetType(&type), S_OK);
    EXPECT_EQ(*type, TID_D3DRMMaterial);

    Ref<IDirectXFileData> byId;
    GUID nested = {0xAAAAAAAA, 0xBBBB, 0xCCCC, {0xDD, 0xDD, 0xEE, 0xEE, 0xFF, 0xFF, 0x00, 0x00}};
    ASSERT_EQ(en->GetDataObjectById(nested, &byId), S_OK);
    len = sizeof name;
    ASSERT_EQ(byId->GetName(name, &len), S_OK);
    EXPECT_STREQ(name, "Nested");
    EXPECT_EQ(en->GetDataObjectByName("Nowhere", &byId), DXFILEERR_NOTFOUND);

    // The enumerator still hands out the second top-level object next.
    Ref<IDirectXFileData> second;
    ASSERT_EQ(en->GetNextDataObject(&second), S_OK);
    len = sizeof name;
    ASSERT_EQ(second->GetName(name, &len), S_OK);
    EXPECT_STREQ(name, "Later");
    EXPECT_EQ(en->GetNextDataObject(&second), DXFILEERR_NOMOREOBJECTS);
    EXPECT_EQ(en->GetNextDataObject(&second), DXFILEERR_NOMOREOBJECTS);
}

TEST_F(References, NamesAndBufferSizes) {
    std::string longName(100, 'n');
    Walk w;
    Ref<IDirectXFile> xf;
    Ref<IDirectXFileEnumObject> en;
    ASSERT_EQ(OpenMemory(Bytes("xof 0302txt 0032 Frame " + longName + " { } Frame { }"), xf, en), S_OK);
    Ref<IDirectXFileData> d;
    ASSERT_EQ(en->GetNextDataObject(&d), S_OK);
    char buf[80];
    DWORD len = sizeof buf;
    EXPECT_EQ(d->GetName(buf, &len), DXFILEERR_BADVALUE);
    len = 0;
    ASSERT_EQ(d->GetName(nullptr, &len), S_OK);
    EXPECT_EQ(len, 101u);
    ASSERT_EQ(en->GetNextDataObject(&d), S_OK);
    len = sizeof buf;
    buf[0] = 'x';
    ASSERT_EQ(d->GetName(buf, &len), S_OK);
    EXPECT_STREQ(buf, "");
}

TEST_F(References, RefCountsAndInterfaces) {
    Ref<IDirectXFile> xf;
    ASSERT_EQ(DirectXFileCreate(&xf), S_OK);
    EXPECT_EQ(dxfile::LiveObjectCount(), 1);
    IUnknown* unk = nullptr;
    ASSERT_EQ(xf->QueryInterface(IID_IDirectXFile, reinterpret_cast<void**>(&unk)), S_OK);
    EXPECT_EQ(unk->Release(), 1u);
    EXPECT_EQ(xf->QueryInterface(IID_IDirectXFileData, reinterpret_cast<void**>(&unk)), E_NOINTERFACE);
    Ref<IDirectXFileSaveObject> save;
    EXPECT_EQ(xf->CreateSaveObject("x.x", DXFILEFORMAT_TEXT, &save), E_NOTIMPL);
    Ref<IDirectXFileEnumObject> en;
    ASSERT_EQ(xf->RegisterTemplates(D3DRM_XTEMPLATES, D3DRM_XTEMPLATE_BYTES), S_OK);
    std::vector<uint8_t> file = Bytes(kRefs);
    DXFILELOADMEMORY mem{file.data(), DWORD(file.size())};
    ASSERT_EQ(xf->CreateEnumObject(&mem, DXFILELOAD_FROMMEMORY, &en), S_OK);
    xf.Reset();  // the enumerator keeps what it needs
    Ref<IDirectXFileData> d;
    ASSERT_EQ(en->GetNextDataObject(&d), S_OK);
    Ref<IDirectXFileObject> c;
    ASSERT_EQ(d->GetNextObject(&c), S_OK);
    EXPECT_EQ(c->AddRef(), 2u);
    EXPECT_EQ(c->Release(), 1u);
}

}  // namespace
