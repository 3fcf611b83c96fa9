#include <charconv>

#include "dxfile/xfile_writer.h"
#include "x_model.h"

namespace make_scene {
namespace {

// Shortest text that reads back as the same float, always with a decimal
// point so it is never taken for an integer.
std::string Real(float f) {
    char buffer[64];
    auto r = std::to_chars(buffer, buffer + sizeof buffer, f == 0.0f ? 0.0f : f, std::chars_format::fixed);
    std::string s(buffer, r.ptr);
    if (s.find('.') == std::string::npos) s += ".0";
    return s;
}

class TextOut {
public:
    std::string out = "xof 0302txt 0032\n";

    void Line(int depth, const std::string& s) { out += std::string(size_t(depth) * 2, ' ') + s + "\n"; }

    // Groups of `width` reals: "a;b;c;" joined by ',' and the array ended by ';'.
    void RealGroups(int depth, const std::vector<float>& v, size_t width) {
        for (size_t i = 0; i < v.size(); i += width) {
            std::string s;
            for (size_t k = 0; k < width; ++k) s += Real(v[i + k]) + ";";
            Line(depth, s + (i + width < v.size() ? "," : ";"));
        }
    }

    void Faces(int depth, const std::vector<std::vector<uint32_t>>& faces) {
        Line(depth, std::to_string(faces.size()) + ";");
        for (size_t i = 0; i < faces.size(); ++i) {
            std::string s = std::to_string(faces[i].size()) + ";";
            for (size_t k = 0; k < faces[i].size(); ++k) s += (k ? "," : "") + std::to_string(faces[i][k]);
            Line(depth, s + ";" + (i + 1 < faces.size() ? "," : ";"));
        }
    }

    void Material(int depth, const XMaterial& m) {
        Line(depth, "Material" + (m.name.empty() ? "" : " " + m.name) + " {");
        Line(depth + 1, Real(m.faceColor[0]) + ";" + Real(m.faceColor[1]) + ";" + Real(m.faceColor[2]) + ";" +
                            Real(m.faceColor[3]) + ";;");
        Line(depth + 1, Real(m.power) + ";");
        Line(depth + 1, Real(m.specularColor[0]) + ";" + Real(m.specularColor[1]) + ";" + Real(m.specularColor[2]) + ";;");
        Line(depth + 1, Real(m.emissiveColor[0]) + ";" + Real(m.emissiveColor[1]) + ";" + Real(m.emissiveColor[2]) + ";;");
        if (!m.textureFilename.empty()) {
            Line(depth + 1, "TextureFilename {");
            Line(depth + 2, "\"" + m.textureFilename + "\";");
            Line(depth + 1, "}");
        }
        Line(depth, "}");
    }

    void Mesh(int depth, const XMesh& m) {
        Line(depth, "Mesh " + m.name + " {");
        Line(depth + 1, std::to_string(m.VertexCount()) + ";");
        RealGroups(depth + 1, m.positions, 3);
        Faces(depth + 1, m.faces);
        if (!m.normals.empty()) {
            Line(depth + 1, "MeshNormals {");
            Line(depth + 2, std::to_string(m.normals.size() / 3) + ";");
            RealGroups(depth + 2, m.normals, 3);
            Faces(depth + 2, m.faces);  // normal i belongs to vertex i
            Line(depth + 1, "}");
        }
        if (!m.uvs.empty()) {
            Line(depth + 1, "MeshTextureCoords {");
            Line(depth + 2, std::to_string(m.uvs.size() / 2) + ";");
            RealGroups(depth + 2, m.uvs, 2);
            Line(depth + 1, "}");
        }
        if (!m.materials.empty()) {
            Line(depth + 1, "MeshMaterialList {");
            Line(depth + 2, std::to_string(m.materials.size()) + ";");
            Line(depth + 2, std::to_string(m.faceMaterials.size()) + ";");
            for (size_t i = 0; i < m.faceMaterials.size(); ++i)
                Line(depth + 2, std::to_string(m.faceMaterials[i]) + (i + 1 < m.faceMaterials.size() ? "," : ";"));
            for (const XMaterialUse& use : m.materials) {
                if (!use.reference.empty())
                    Line(depth + 2, "{ " + use.reference + " }");
                else
                    Material(depth + 2, use.material);
            }
            Line(depth + 1, "}");
        }
        Line(depth, "}");
    }

    void Frame(int depth, const XFrame& f) {
        Line(depth, "Frame " + f.name + " {");
        if (f.hasMatrix) {
            Line(depth + 1, "FrameTransformMatrix {");
            for (int r = 0; r < 4; ++r) {
                std::string s;
                for (int c = 0; c < 4; ++c) s += Real(f.matrix[r * 4 + c]) + (r * 4 + c < 15 ? "," : ";;");
                Line(depth + 2, s);
            }
            Line(depth + 1, "}");
        }
        for (const XMesh& m : f.meshes) Mesh(depth + 1, m);
        for (const XFrame& c : f.frames) Frame(depth + 1, c);
        Line(depth, "}");
    }
};

class BinaryOut {
public:
    dxfile::BinaryWriter w;

    void Open(const char* type, const std::string& name) {
        w.Name(type);
        if (!name.empty()) w.Name(name);
        w.Token(dxfile::TOKEN_OBRACE);
    }
    void Close() { w.Token(dxfile::TOKEN_CBRACE); }

    // The count and then every face, as one integer list.
    static void AppendFaces(std::vector<uint32_t>& ints, const std::vector<std::vector<uint32_t>>& faces) {
        ints.push_back(uint32_t(faces.size()));
        for (const auto& f : faces) {
            ints.push_back(uint32_t(f.size()));
            ints.insert(ints.end(), f.begin(), f.end());
        }
    }
    void Ints(const std::vector<uint32_t>& v) { w.IntegerList(v.data(), v.size()); }
    void Floats(const std::vector<float>& v) { w.FloatList(v.data(), v.size()); }

    void Material(const XMaterial& m) {
        Open("Material", m.name);
        std::vector<float> v(m.faceColor, m.faceColor + 4);
        v.push_back(m.power);
        v.insert(v.end(), m.specularColor, m.specularColor + 3);
        v.insert(v.end(), m.emissiveColor, m.emissiveColor + 3);
        Floats(v);
        if (!m.textureFilename.empty()) {
            Open("TextureFilename", {});
            w.String(m.textureFilename);
            Close();
        }
        Close();
    }

    void Mesh(const XMesh& m) {
        Open("Mesh", m.name);
        Ints({m.VertexCount()});
        Floats(m.positions);
        std::vector<uint32_t> faces;
        AppendFaces(faces, m.faces);
        Ints(faces);
        if (!m.normals.empty()) {
            Open("MeshNormals", {});
            Ints({uint32_t(m.normals.size() / 3)});
            Floats(m.normals);
            Ints(faces);
            Close();
        }
        if (!m.uvs.empty()) {
            Open("MeshTextureCoords", {});
            Ints({uint32_t(m.uvs.size() / 2)});
            Floats(m.uvs);
            Close();
        }
        if (!m.materials.empty()) {
            Open("MeshMaterialList", {});
            std::vector<uint32_t> ints = {uint32_t(m.materials.size()), uint32_t(m.faceMaterials.size())};
            ints.insert(ints.end(), m.faceMaterials.begin(), m.faceMaterials.end());
            Ints(ints);
            for (const XMaterialUse& use : m.materials) {
                if (!use.reference.empty()) {
                    w.Token(dxfile::TOKEN_OBRACE);
                    w.Name(use.reference);
                    w.Token(dxfile::TOKEN_CBRACE);
                } else {
                    Material(use.material);
                }
            }
            Close();
        }
        Close();
    }

    void Frame(const XFrame& f) {
        Open("Frame", f.name);
        if (f.hasMatrix) {
            Open("FrameTransformMatrix", {});
            w.FloatList(f.matrix, 16);
            Close();
        }
        for (const XMesh& m : f.meshes) Mesh(m);
        for (const XFrame& c : f.frames) Frame(c);
        Close();
    }
};

}  // namespace

std::string WriteText(const XScene& scene) {
    TextOut t;
    t.Line(0, "Header {");
    t.Line(1, "1;");
    t.Line(1, "0;");
    t.Line(1, "1;");
    t.Line(0, "}");
    for (const XMaterial& m : scene.materials) t.Material(0, m);
    for (const XFrame& f : scene.frames) t.Frame(0, f);
    return t.out;
}

std::vector<uint8_t> WriteBinary(const XScene& scene) {
    BinaryOut b;
    b.Open("Header", {});
    b.Ints({1, 0, 1});
    b.Close();
    for (const XMaterial& m : scene.materials) b.Material(m);
    for (const XFrame& f : scene.frames) b.Frame(f);
    return b.w.Bytes();
}

std::vector<uint8_t> WriteCompressed(const XScene& scene) { return dxfile::CompressXFile(WriteBinary(scene)); }

}  // namespace make_scene
