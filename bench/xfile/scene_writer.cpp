#include "scene_writer.h"

#include <charconv>
#include <cmath>
#include <string>

#include "dxfile/xfile_tokens.h"
#include "dxfile/xfile_writer.h"

namespace {

struct Geometry {
    std::vector<float> positions, normals, uvs;
    std::vector<uint32_t> quads;  // four vertex indices each
};

// A wavy sheet wrapped at its edges so that every vertex starts one quad.
Geometry Build(const BenchMesh& m) {
    Geometry g;
    size_t n = size_t(m.width) * m.height;
    g.positions.reserve(n * 3);
    g.normals.reserve(n * 3);
    g.uvs.reserve(n * 2);
    g.quads.reserve(n * 4);
    for (uint32_t y = 0; y < m.height; ++y) {
        for (uint32_t x = 0; x < m.width; ++x) {
            float fx = float(x) * 0.25f, fy = float(y) * 0.25f;
            float z = std::sin(fx * 0.7f) * std::cos(fy * 0.3f) * 3.0f;
            g.positions.insert(g.positions.end(), {fx - 50.0f, z, fy - 40.0f});
            float nx = -std::cos(fx * 0.7f) * 0.7f, nz = std::sin(fy * 0.3f) * 0.3f;
            float len = std::sqrt(nx * nx + 1.0f + nz * nz);
            g.normals.insert(g.normals.end(), {nx / len, 1.0f / len, nz / len});
            g.uvs.insert(g.uvs.end(), {float(x) / float(m.width), float(y) / float(m.height)});
            uint32_t x1 = (x + 1) % m.width, y1 = (y + 1) % m.height;
            g.quads.insert(g.quads.end(), {y * m.width + x, y * m.width + x1, y1 * m.width + x1, y1 * m.width + x});
        }
    }
    return g;
}

const float kMaterials[3][11] = {
    {0.8f, 0.2f, 0.2f, 1.0f, 20.0f, 1.0f, 1.0f, 1.0f, 0.0f, 0.0f, 0.0f},
    {0.2f, 0.8f, 0.2f, 0.5f, 10.0f, 0.5f, 0.5f, 0.5f, 0.0f, 0.0f, 0.0f},
    {0.9f, 0.9f, 0.9f, 1.0f, 5.0f, 0.0f, 0.0f, 0.0f, 0.1f, 0.1f, 0.1f},
};

class Text {
public:
    void Put(const char* s) { out.insert(out.end(), s, s + std::char_traits<char>::length(s)); }
    void Num(uint32_t v) {
        char b[16];
        auto r = std::to_chars(b, b + sizeof b, v);
        out.insert(out.end(), b, r.ptr);
    }
    void Real(float v) {
        char b[32];
        auto r = std::to_chars(b, b + sizeof b, v, std::chars_format::fixed, 7);
        out.insert(out.end(), b, r.ptr);
    }
    // count; then groups of k floats "a;b;c;," closed by ";"
    void Vectors(const std::vector<float>& v, size_t k) {
        size_t n = v.size() / k;
        Num(uint32_t(n));
        Put(";\n");
        for (size_t i = 0; i < n; ++i) {
            Put("   ");
            for (size_t j = 0; j < k; ++j) {
                Real(v[i * k + j]);
                Put(";");
            }
            Put(i + 1 < n ? ",\n" : ";\n");
        }
    }
    void Quads(const std::vector<uint32_t>& q) {
        size_t n = q.size() / 4;
        Num(uint32_t(n));
        Put(";\n");
        for (size_t i = 0; i < n; ++i) {
            Put("   4;");
            for (int j = 0; j < 4; ++j) {
                Num(q[i * 4 + j]);
                Put(j < 3 ? "," : ";");
            }
            Put(i + 1 < n ? ",\n" : ";\n");
        }
    }
    std::vector<uint8_t> out;
};

}  // namespace

std::vector<uint8_t> WriteMeshText(const BenchMesh& m) {
    Geometry g = Build(m);
    Text t;
    t.Put("xof 0302txt 0032\n");
    t.Put("Header {\n 1;\n 0;\n 1;\n}\n\n");
    t.Put("Frame Sheet {\n FrameTransformMatrix {\n  1.0,0.0,0.0,0.0,0.0,1.0,0.0,0.0,0.0,0.0,1.0,0.0,0.0,0.0,0.0,1.0;;\n }\n");
    t.Put(" Mesh SheetMesh {\n");
    t.Vectors(g.positions, 3);
    t.Quads(g.quads);
    t.Put("  MeshMaterialList {\n3;\n");
    size_t faces = g.quads.size() / 4;
    t.Num(uint32_t(faces));
    t.Put(";\n");
    for (size_t i = 0; i < faces; ++i) {
        t.Num(uint32_t(i % 3));
        t.Put(i + 1 < faces ? ",\n" : ";\n");
    }
    for (int k = 0; k < 3; ++k) {
        t.Put("   Material {\n");
        for (int j = 0; j < 11; ++j) {
            t.Real(kMaterials[k][j]);
            t.Put(j == 3 || j == 7 || j == 10 ? ";;\n" : j == 4 ? ";\n" : ";");
        }
        if (k == 0) t.Put("    TextureFilename {\n     \"sheet.bmp\";\n    }\n");
        t.Put("   }\n");
    }
    t.Put("  }\n  MeshNormals {\n");
    t.Vectors(g.normals, 3);
    t.Quads(g.quads);
    t.Put("  }\n  MeshTextureCoords {\n");
    t.Vectors(g.uvs, 2);
    t.Put("  }\n }\n}\n");
    return std::move(t.out);
}

std::vector<uint8_t> WriteMeshBinary(const BenchMesh& m) {
    using namespace dxfile;
    Geometry g = Build(m);
    BinaryWriter w;
    auto open = [&](const char* type, const char* name) {
        w.Name(type);
        if (name) w.Name(name);
        w.Token(TOKEN_OBRACE);
    };
    auto close = [&] { w.Token(TOKEN_CBRACE); };
    // Counts and face data go out as one integer list, as exporters write them.
    auto counted = [&](const std::vector<float>& v, size_t k) {
        uint32_t n = uint32_t(v.size() / k);
        w.IntegerList(&n, 1);
        w.FloatList(v.data(), v.size());
    };
    auto quads = [&](const std::vector<uint32_t>& q) {
        std::vector<uint32_t> list;
        list.reserve(q.size() / 4 * 5 + 1);
        list.push_back(uint32_t(q.size() / 4));
        for (size_t i = 0; i < q.size(); i += 4) list.insert(list.end(), {4u, q[i], q[i + 1], q[i + 2], q[i + 3]});
        w.IntegerList(list.data(), list.size());
    };
    open("Header", nullptr);
    const uint32_t header[3] = {1, 0, 1};
    w.IntegerList(header, 3);
    close();
    open("Frame", "Sheet");
    open("FrameTransformMatrix", nullptr);
    const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    w.FloatList(identity, 16);
    close();
    open("Mesh", "SheetMesh");
    counted(g.positions, 3);
    quads(g.quads);
    open("MeshMaterialList", nullptr);
    std::vector<uint32_t> ml;
    size_t faces = g.quads.size() / 4;
    ml.push_back(3);
    ml.push_back(uint32_t(faces));
    for (size_t i = 0; i < faces; ++i) ml.push_back(uint32_t(i % 3));
    w.IntegerList(ml.data(), ml.size());
    for (int k = 0; k < 3; ++k) {
        open("Material", nullptr);
        w.FloatList(kMaterials[k], 11);
        if (k == 0) {
            open("TextureFilename", nullptr);
            w.String("sheet.bmp");
            close();
        }
        close();
    }
    close();
    open("MeshNormals", nullptr);
    counted(g.normals, 3);
    quads(g.quads);
    close();
    open("MeshTextureCoords", nullptr);
    counted(g.uvs, 2);
    close();
    close();
    close();
    return std::move(w.Bytes());
}
