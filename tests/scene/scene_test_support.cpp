#include "scene_test_support.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>

namespace scene_test {

void TempDirTest::SetUp() {
    previous_ = std::filesystem::current_path();
    std::random_device rd;
    dir_ = std::filesystem::temp_directory_path() /
           ("sombrella_scene_" + std::to_string(rd()) + "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir_);
    std::filesystem::current_path(dir_);
}

void TempDirTest::TearDown() {
    std::filesystem::current_path(previous_);
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void WriteTga(const std::string& path) {
    std::string tga(18, '\0');
    tga[2] = 2;   // uncompressed true colour
    tga[12] = 2;  // width 2
    tga[14] = 2;  // height 2
    tga[16] = 24;
    for (int i = 0; i < 4; ++i) tga += std::string("\x10\x20\x30", 3);
    WriteFile(path, tga);
}

XNode MakeFrame(const std::string& name, std::vector<XNode> children) {
    XNode n{XNode::Frame, name, {}, {}, {}, {}, std::move(children)};
    return n;
}

XNode MakeMatrix(const std::vector<float>& rows) {
    XNode n{XNode::Matrix, {}, rows, {}, {}, {}, {}};
    return n;
}

XNode MakeMesh(const std::string& name, const std::vector<float>& positions,
               const std::vector<std::vector<uint32_t>>& faces, std::vector<XNode> children) {
    XNode n{XNode::Mesh, name, positions, {}, faces, {}, std::move(children)};
    return n;
}

XNode MakeMaterialList(uint32_t nMaterials, const std::vector<uint32_t>& faceIndexes, std::vector<XNode> materials) {
    XNode n{XNode::MaterialList, {}, {}, {nMaterials, static_cast<uint32_t>(faceIndexes.size())}, {}, {},
            std::move(materials)};
    n.ints.insert(n.ints.end(), faceIndexes.begin(), faceIndexes.end());
    return n;
}

XNode MakeMaterial(const std::string& name, float r, float g, float b, float a, const std::string& texture) {
    XNode n{XNode::Material, name, {r, g, b, a, 12.5f, 0.25f, 0.5f, 0.75f, 0.125f, 0.0625f, 0.03125f}, {}, {}, {}, {}};
    if (!texture.empty()) n.children.push_back(XNode{XNode::TextureFilename, {}, {}, {}, {}, texture, {}});
    return n;
}

XNode MakeNormals(const std::vector<float>& normals, const std::vector<std::vector<uint32_t>>& faceNormals) {
    XNode n{XNode::Normals, {}, normals, {}, faceNormals, {}, {}};
    return n;
}

XNode MakeTextureCoords(const std::vector<float>& uv) {
    XNode n{XNode::TextureCoords, {}, uv, {}, {}, {}, {}};
    return n;
}

XNode MakeReference(const std::string& name) {
    XNode n{XNode::Reference, {}, {}, {}, {}, name, {}};
    return n;
}

// ----------------------------------------------------------------- text form
namespace {

std::string F(float f) {
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.9g", static_cast<double>(f));
    std::string s = buffer;
    if (s.find_first_of(".en") == std::string::npos) s += ".0";
    return s;
}

// Groups of `width` floats, each value ending in ';', groups separated by ','
// and the array closed with ';'.
std::string FloatGroups(const std::vector<float>& v, size_t width) {
    std::string out;
    for (size_t i = 0; i < v.size(); i += width) {
        out += " ";
        for (size_t k = 0; k < width && i + k < v.size(); ++k) out += F(v[i + k]) + ";";
        out += i + width < v.size() ? ",\n" : ";\n";
    }
    return out;
}

std::string FaceArray(const std::vector<std::vector<uint32_t>>& faces) {
    std::string out = " " + std::to_string(faces.size()) + ";\n";
    for (size_t i = 0; i < faces.size(); ++i) {
        out += " " + std::to_string(faces[i].size()) + ";";
        for (size_t k = 0; k < faces[i].size(); ++k) out += (k ? "," : "") + std::to_string(faces[i][k]);
        out += ";";
        out += i + 1 < faces.size() ? ",\n" : ";\n";
    }
    return out;
}

void Text(const XNode& n, std::string& out) {
    auto children = [&] {
        for (const XNode& c : n.children) Text(c, out);
    };
    auto named = [&](const char* type) { return std::string(type) + (n.name.empty() ? "" : " " + n.name) + " {\n"; };
    switch (n.kind) {
    case XNode::Frame:
        out += named("Frame");
        children();
        out += "}\n";
        break;
    case XNode::Matrix: {
        out += "FrameTransformMatrix {\n ";
        for (size_t i = 0; i < n.floats.size(); ++i) out += F(n.floats[i]) + (i + 1 < n.floats.size() ? "," : ";;\n");
        out += "}\n";
        break;
    }
    case XNode::Mesh:
        out += named("Mesh");
        out += " " + std::to_string(n.floats.size() / 3) + ";\n";
        out += FloatGroups(n.floats, 3);
        out += FaceArray(n.faces);
        children();
        out += "}\n";
        break;
    case XNode::MaterialList: {
        out += "MeshMaterialList {\n " + std::to_string(n.ints[0]) + ";\n " + std::to_string(n.ints[1]) + ";\n ";
        for (size_t i = 2; i < n.ints.size(); ++i) out += std::to_string(n.ints[i]) + (i + 1 < n.ints.size() ? "," : "");
        out += n.ints.size() > 2 ? ";;\n" : ";\n";
        children();
        out += "}\n";
        break;
    }
    case XNode::Material: {
        const auto& v = n.floats;
        out += named("Material");
        out += " " + F(v[0]) + ";" + F(v[1]) + ";" + F(v[2]) + ";" + F(v[3]) + ";;\n";
        out += " " + F(v[4]) + ";\n";
        out += " " + F(v[5]) + ";" + F(v[6]) + ";" + F(v[7]) + ";;\n";
        out += " " + F(v[8]) + ";" + F(v[9]) + ";" + F(v[10]) + ";;\n";
        children();
        out += "}\n";
        break;
    }
    case XNode::TextureFilename:
        out += "TextureFilename {\n \"" + n.text + "\";\n}\n";
        break;
    case XNode::Normals:
        out += "MeshNormals {\n " + std::to_string(n.floats.size() / 3) + ";\n";
        out += FloatGroups(n.floats, 3);
        out += FaceArray(n.faces);
        out += "}\n";
        break;
    case XNode::TextureCoords:
        out += "MeshTextureCoords {\n " + std::to_string(n.floats.size() / 2) + ";\n";
        out += FloatGroups(n.floats, 2);
        out += "}\n";
        break;
    case XNode::VertexColors: {
        out += "MeshVertexColors {\n " + std::to_string(n.ints.size()) + ";\n";
        for (size_t i = 0; i < n.ints.size(); ++i) {
            out += " " + std::to_string(n.ints[i]) + ";";
            for (int k = 0; k < 4; ++k) out += F(n.floats[4 * i + k]) + ";";
            out += i + 1 < n.ints.size() ? ";,\n" : ";;\n";
        }
        out += "}\n";
        break;
    }
    case XNode::Reference:
        out += "{ " + n.text + " }\n";
        break;
    case XNode::Header:
        out += "Header {\n 1;\n 0;\n 1;\n}\n";
        break;
    }
}

// --------------------------------------------------------------- binary form
class Binary {
public:
    void Token(uint16_t t) { Raw(&t, 2); }
    void Dword(uint32_t v) { Raw(&v, 4); }
    void Name(const std::string& s) {
        Token(1);
        Dword(static_cast<uint32_t>(s.size()));
        out += s;
    }
    void String(const std::string& s) {
        Token(2);
        Dword(static_cast<uint32_t>(s.size()));
        out += s;
        Dword(20);  // terminator: ';'
    }
    void Ints(const std::vector<uint32_t>& v) {
        Token(6);
        Dword(static_cast<uint32_t>(v.size()));
        for (uint32_t x : v) Dword(x);
    }
    void Floats(const std::vector<float>& v) {
        Token(7);
        Dword(static_cast<uint32_t>(v.size()));
        for (float f : v) {
            if (wide) {
                double d = f;
                Raw(&d, 8);
            } else {
                Raw(&f, 4);
            }
        }
    }
    void Open(const char* type, const std::string& name) {
        Name(type);
        if (!name.empty()) Name(name);
        Token(10);
    }
    void Close() { Token(11); }
    std::string out;
    bool wide = false;  // 64-bit floats

private:
    void Raw(const void* p, size_t n) { out.append(static_cast<const char*>(p), n); }
};

std::vector<uint32_t> FlatFaces(const std::vector<std::vector<uint32_t>>& faces) {
    std::vector<uint32_t> v{static_cast<uint32_t>(faces.size())};
    for (const auto& f : faces) {
        v.push_back(static_cast<uint32_t>(f.size()));
        v.insert(v.end(), f.begin(), f.end());
    }
    return v;
}

void Bin(const XNode& n, Binary& b) {
    auto children = [&] {
        for (const XNode& c : n.children) Bin(c, b);
    };
    switch (n.kind) {
    case XNode::Frame:
        b.Open("Frame", n.name);
        children();
        b.Close();
        break;
    case XNode::Matrix:
        b.Open("FrameTransformMatrix", {});
        b.Floats(n.floats);
        b.Close();
        break;
    case XNode::Mesh:
        b.Open("Mesh", n.name);
        b.Ints({static_cast<uint32_t>(n.floats.size() / 3)});
        b.Floats(n.floats);
        b.Ints(FlatFaces(n.faces));
        children();
        b.Close();
        break;
    case XNode::MaterialList:
        b.Open("MeshMaterialList", {});
        b.Ints(n.ints);
        children();
        b.Close();
        break;
    case XNode::Material:
        b.Open("Material", n.name);
        b.Floats(n.floats);
        children();
        b.Close();
        break;
    case XNode::TextureFilename:
        b.Open("TextureFilename", {});
        b.String(n.text);
        b.Close();
        break;
    case XNode::Normals:
        b.Open("MeshNormals", {});
        b.Ints({static_cast<uint32_t>(n.floats.size() / 3)});
        b.Floats(n.floats);
        b.Ints(FlatFaces(n.faces));
        b.Close();
        break;
    case XNode::TextureCoords:
        b.Open("MeshTextureCoords", {});
        b.Ints({static_cast<uint32_t>(n.floats.size() / 2)});
        b.Floats(n.floats);
        b.Close();
        break;
    case XNode::VertexColors:
        b.Open("MeshVertexColors", {});
        b.Ints({static_cast<uint32_t>(n.ints.size())});
        for (size_t i = 0; i < n.ints.size(); ++i) {
            b.Ints({n.ints[i]});
            b.Floats({n.floats.begin() + 4 * i, n.floats.begin() + 4 * i + 4});
        }
        b.Close();
        break;
    case XNode::Reference:
        b.Token(10);
        b.Name(n.text);
        b.Token(11);
        break;
    case XNode::Header:
        b.Open("Header", {});
        b.Ints({1, 0, 1});
        b.Close();
        break;
    }
}

}  // namespace

std::string TextX(const std::vector<XNode>& objects) {
    std::string out = "xof 0302txt 0032\n";
    for (const XNode& n : objects) Text(n, out);
    return out;
}

std::string BinaryX(const std::vector<XNode>& objects, bool doubles) {
    Binary b;
    b.wide = doubles;
    b.out = doubles ? "xof 0302bin 0064" : "xof 0302bin 0032";
    for (const XNode& n : objects) Bin(n, b);
    return b.out;
}

}  // namespace scene_test
