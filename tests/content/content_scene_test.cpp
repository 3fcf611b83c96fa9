// The generated city: every file form loads through the demo's loader to the
// same tree, the tree has what the demo exercises, and it is laid out for the
// demo's camera (faces turned out, everything in view once scaled and placed).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <tuple>
#include <utility>
#include <random>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "city.h"
#include "patterns.h"
#include "scene/scene_file.h"
#include "scene_dump.h"
#include "x_model.h"

namespace {

namespace fs = std::filesystem;

struct V3 {
    float x, y, z;
};
V3 Sub(V3 a, V3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
V3 Cross(V3 a, V3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
float Dot(V3 a, V3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

// Row vector times matrix, as the device transforms points.
V3 Transform(V3 p, const Matrix4& m) {
    return {p.x * m.m[0][0] + p.y * m.m[1][0] + p.z * m.m[2][0] + m.m[3][0],
            p.x * m.m[0][1] + p.y * m.m[1][1] + p.z * m.m[2][1] + m.m[3][1],
            p.x * m.m[0][2] + p.y * m.m[1][2] + p.z * m.m[2][2] + m.m[3][2]};
}
V3 TransformDirection(V3 p, const Matrix4& m) {
    return {p.x * m.m[0][0] + p.y * m.m[1][0] + p.z * m.m[2][0], p.x * m.m[0][1] + p.y * m.m[1][1] + p.z * m.m[2][1],
            p.x * m.m[0][2] + p.y * m.m[1][2] + p.z * m.m[2][2]};
}

Matrix4 Multiply(const Matrix4& a, const Matrix4& b) {
    Matrix4 out{};
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            for (int k = 0; k < 4; ++k) out.m[r][c] += a.m[r][k] * b.m[k][c];
    return out;
}

Matrix4 Identity() {
    Matrix4 m{};
    for (int i = 0; i < 4; ++i) m.m[i][i] = 1;
    return m;
}

// A mesh with the world transform the demo draws it with.
struct PlacedMesh {
    const SceneNode* node;
    Matrix4 world;
};

// Frames compose the way the renderer does: the node's matrix first, then the
// transform above it.
void Collect(const SceneNode* node, const Matrix4& parent, std::vector<PlacedMesh>& out, int& frames) {
    for (; node != nullptr; node = node->nextSibling) {
        if (node->isMesh) {
            out.push_back({node, parent});
        } else {
            ++frames;
            Collect(node->firstChild, Multiply(node->matrix, parent), out, frames);
        }
    }
}

class CityFiles : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        std::random_device rd;
        dir_ = fs::temp_directory_path() / ("sombrella_content_" + std::to_string(rd()));
        fs::create_directories(dir_);
        make_scene::XScene scene = make_scene::BuildCity();
        model_ = new make_scene::XScene(scene);
        Write("city_text.x", make_scene::WriteText(scene));
        std::vector<uint8_t> bin = make_scene::WriteBinary(scene);
        Write("city_binary.x", std::string(bin.begin(), bin.end()));
        std::vector<uint8_t> zip = make_scene::WriteCompressed(scene);
        Write("city_compressed.x", std::string(zip.begin(), zip.end()));
    }
    static void TearDownTestSuite() {
        delete model_;
        model_ = nullptr;
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    static void Write(const char* name, const std::string& bytes) {
        std::ofstream out(dir_ / name, std::ios::binary);
        out.write(bytes.data(), std::streamsize(bytes.size()));
    }
    static std::string Read(const char* name) {
        std::ifstream in(dir_ / name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    static std::string Path(const char* name) { return (dir_ / name).string(); }

    void LoadText() {
        ASSERT_EQ(scene_.Load(Path("city_text.x").c_str()), S_OK);
        ASSERT_NE(scene_.root, nullptr);
        int frames = 0;
        Collect(scene_.root->firstChild, Identity(), meshes_, frames);
        frames_ = frames;
    }
    const SceneNode* Mesh(const char* name) const {
        for (const PlacedMesh& m : meshes_)
            if (std::strcmp(m.node->name, name) == 0) return m.node;
        return nullptr;
    }

    static fs::path dir_;
    static make_scene::XScene* model_;
    SceneFile scene_;
    std::vector<PlacedMesh> meshes_;
    int frames_ = 0;
};

fs::path CityFiles::dir_;
make_scene::XScene* CityFiles::model_ = nullptr;

TEST_F(CityFiles, EveryFormLoadsToTheSameTree) {
    EXPECT_EQ(Read("city_text.x").substr(0, 16), "xof 0302txt 0032");
    EXPECT_EQ(Read("city_binary.x").substr(0, 16), "xof 0302bin 0032");
    EXPECT_EQ(Read("city_compressed.x").substr(0, 16), "xof 0302bzip0032");

    xdump::DumpOptions everything;
    everything.vertices = true;
    std::string dumps[3];
    const char* names[3] = {"city_text.x", "city_binary.x", "city_compressed.x"};
    for (int i = 0; i < 3; ++i) {
        SceneFile scene;
        ASSERT_EQ(scene.Load(Path(names[i]).c_str()), S_OK) << names[i];
        dumps[i] = xdump::DumpScene(scene, everything);
    }
    EXPECT_GT(dumps[0].size(), 10000u);
    EXPECT_EQ(dumps[0], dumps[1]);
    EXPECT_EQ(dumps[0], dumps[2]);
}

TEST_F(CityFiles, CompressedFormUsesBlocksOfAtMost32KiB) {
    std::string zip = Read("city_compressed.x");
    std::string bin = Read("city_binary.x");
    ASSERT_GE(zip.size(), 20u);
    uint32_t total;
    std::memcpy(&total, zip.data() + 16, 4);
    EXPECT_EQ(total, bin.size());
    size_t at = 20, plain = 16;
    int blocks = 0;
    while (at + 6 <= zip.size()) {
        uint16_t raw, packed;
        std::memcpy(&raw, zip.data() + at, 2);
        std::memcpy(&packed, zip.data() + at + 2, 2);
        EXPECT_LE(raw, 32768u);
        EXPECT_EQ(zip.substr(at + 4, 2), "CK");
        plain += raw;
        at += 4 + packed;
        ++blocks;
    }
    EXPECT_EQ(at, zip.size());
    EXPECT_EQ(plain, bin.size());
    EXPECT_EQ(blocks, int((bin.size() - 16 + 32767) / 32768));
}

TEST_F(CityFiles, TreeHasWhatTheDemoExercises) {
    LoadText();
    EXPECT_GE(frames_, 10);
    EXPECT_GE(meshes_.size(), 10u);

    int multiMaterial = 0, translucent = 0, polygonsOverFour = 0;
    bool pavingNamed = false;
    for (const PlacedMesh& m : meshes_) {
        const SceneNode& n = *m.node;
        EXPECT_LT(n.vertexCount, SceneNode::kMaxVertices) << n.name;
        uint32_t stored = 0;
        for (uint32_t s = 0; s < n.usedSlotCount; ++s) stored += n.slots[s].indexCount;
        EXPECT_EQ(stored, n.indexCount) << n.name << ": every face lands in a slot";
        for (uint32_t i = 0; i < n.indexCount; ++i) ASSERT_LT(n.indices[i], n.vertexCount) << n.name;
        if (n.usedSlotCount >= 2) ++multiMaterial;
        if (n.isTranslucent) {
            ++translucent;
            EXPECT_STREQ(n.name, "PavilionGlass");
            EXPECT_LT(n.slots[0].material.diffuse.a, 1.0f);
        }
        for (uint32_t s = 0; s < n.usedSlotCount; ++s)
            if (std::strcmp(n.slots[s].textureName, make_scene::kPavingTexture) == 0) pavingNamed = true;
    }
    EXPECT_GE(multiMaterial, 8);
    EXPECT_EQ(translucent, 1);
    EXPECT_TRUE(pavingNamed);

    // Faces of more than four corners (roof and square polygons) in the file.
    std::function<void(const make_scene::XFrame&)> walk = [&](const make_scene::XFrame& f) {
        for (const auto& m : f.meshes)
            for (const auto& face : m.faces)
                if (face.size() > 4) ++polygonsOverFour;
        for (const auto& c : f.frames) walk(c);
    };
    for (const auto& f : model_->frames) walk(f);
    EXPECT_GE(polygonsOverFour, 3);
}

TEST_F(CityFiles, ReferencedMaterialLandsInItsSlot) {
    std::string text = Read("city_text.x");
    EXPECT_NE(text.find("{ Concrete }"), std::string::npos);
    LoadText();
    const make_scene::XMaterial* concrete = nullptr;
    for (const auto& m : model_->materials)
        if (m.name == "Concrete") concrete = &m;
    ASSERT_NE(concrete, nullptr);
    // The square's kerb is its second material, given by reference.
    const SceneNode* plaza = Mesh("Plaza");
    ASSERT_NE(plaza, nullptr);
    ASSERT_EQ(plaza->usedSlotCount, 2u);
    EXPECT_EQ(plaza->slots[1].material.diffuse.r, concrete->faceColor[0]);
    EXPECT_EQ(plaza->slots[1].material.ambient.g, concrete->faceColor[1]);
    EXPECT_EQ(plaza->slots[1].material.diffuse.a, 1.0f);
    EXPECT_STREQ(plaza->slots[1].textureName, "");
}

TEST_F(CityFiles, NormalsGivenOrComputedAreUnitAndFaceOutward) {
    LoadText();
    int given = 0, computed = 0;
    std::map<std::string, const make_scene::XMesh*> byName;
    std::function<void(const make_scene::XFrame&)> walk = [&](const make_scene::XFrame& f) {
        for (const auto& m : f.meshes) byName[m.name] = &m;
        for (const auto& c : f.frames) walk(c);
    };
    for (const auto& f : model_->frames) walk(f);

    for (const PlacedMesh& m : meshes_) {
        const SceneNode& n = *m.node;
        ASSERT_TRUE(byName.count(n.name)) << n.name;
        const make_scene::XMesh& x = *byName[n.name];
        (x.normals.empty() ? computed : given)++;
        for (uint32_t i = 0; i < n.vertexCount; ++i) {
            const Vertex& v = n.vertices[i];
            float length = std::sqrt(v.nx * v.nx + v.ny * v.ny + v.nz * v.nz);
            ASSERT_NEAR(length, 1.0f, 1e-4f) << n.name << " vertex " << i;
            if (!x.normals.empty()) {
                EXPECT_EQ(v.nx, x.normals[3 * i]);
            }
        }
        // Each triangle's facing, as the loader computes it and the device
        // culls by, agrees with the normals its corners are lit with.
        for (uint32_t t = 0; t + 2 < n.indexCount; t += 3) {
            const Vertex* p[3] = {&n.vertices[n.indices[t]], &n.vertices[n.indices[t + 1]], &n.vertices[n.indices[t + 2]]};
            V3 a{p[0]->x, p[0]->y, p[0]->z}, b{p[1]->x, p[1]->y, p[1]->z}, c{p[2]->x, p[2]->y, p[2]->z};
            V3 facing = Cross(Sub(b, a), Sub(c, b));
            for (const Vertex* q : p)
                ASSERT_GT(Dot(facing, {q->nx, q->ny, q->nz}), 0.0f) << n.name << " triangle " << t / 3;
        }
    }
    EXPECT_GE(given, 4);
    EXPECT_GE(computed, 4);
}

TEST_F(CityFiles, FacadesCarryTextureCoordinatesThatRepeat) {
    LoadText();
    int textured = 0;
    for (const PlacedMesh& m : meshes_) {
        const SceneNode& n = *m.node;
        float uMax = 0, vMax = 0;
        for (uint32_t i = 0; i < n.vertexCount; ++i) {
            uMax = std::max(uMax, std::fabs(n.vertices[i].tu));
            vMax = std::max(vMax, std::fabs(n.vertices[i].tv));
        }
        // More than one repeat of the facade pattern over the walls.
        if (uMax > 1.0f && vMax > 0.4f) ++textured;
    }
    EXPECT_GE(textured, 6);
    const SceneNode* trees = Mesh("TreesMesh");
    ASSERT_NE(trees, nullptr);
    EXPECT_EQ(trees->vertices[0].tu, 0.0f);  // no coordinates in the file
}

// The demo's placement of the scene: scaled by -0.5 (done on the loaded
// scene), then moved by (0, 10, -120). The camera circles the y axis.
Matrix4 Placement() {
    Matrix4 placement = Identity();
    placement.m[3][1] = 10.0f;
    placement.m[3][2] = -120.0f;
    return placement;
}

bool IsBackdrop(const char* name) { return std::strcmp(name, "SkyRing") == 0 || std::strcmp(name, "Skyline") == 0; }
bool IsGround(const char* name) { return std::strcmp(name, "Ground") == 0; }

// Scaled and placed as the demo does it, the city sits round the point the
// camera circles; every face that is not underneath something turns outward
// from the building it belongs to, and the sky's faces turn in to the camera.
TEST_F(CityFiles, ScaledAndPlacedTheCityFitsTheOrbit) {
    LoadText();
    scene_.Scale(-0.5f);
    const Matrix4 placement = Placement();

    for (const PlacedMesh& m : meshes_) {
        const SceneNode& n = *m.node;
        Matrix4 world = Multiply(m.world, placement);
        const bool wide = IsGround(n.name) || IsBackdrop(n.name);
        const float limit = wide ? make_scene::kSkyRadius + 1.0f : 360.0f;
        V3 centre{0, 0, 0};
        for (uint32_t i = 0; i < n.vertexCount; ++i) {
            V3 p = Transform({n.vertices[i].x, n.vertices[i].y, n.vertices[i].z}, world);
            EXPECT_LE(std::hypot(p.x, p.z), limit) << n.name;
            EXPECT_GE(p.y, 9.99f) << n.name << ": nothing below the ground";
            EXPECT_LE(p.y, wide ? 10.0f + make_scene::kSkyTop + 0.01f : 310.0f) << n.name;
            centre = {centre.x + p.x / float(n.vertexCount), centre.y, centre.z + p.z / float(n.vertexCount)};
        }
        if (std::strcmp(n.name, "TreesMesh") == 0) continue;  // many small pieces
        if (IsBackdrop(n.name)) centre = {0, 0, 0};
        for (uint32_t t = 0; t + 2 < n.indexCount; t += 3) {
            V3 q[3];
            for (int k = 0; k < 3; ++k) {
                const Vertex& v = n.vertices[n.indices[t + k]];
                q[k] = Transform({v.x, v.y, v.z}, world);
            }
            V3 facing = Cross(Sub(q[1], q[0]), Sub(q[2], q[1]));
            V3 mid{(q[0].x + q[1].x + q[2].x) / 3, 0, (q[0].z + q[1].z + q[2].z) / 3};
            float length = std::sqrt(Dot(facing, facing));
            ASSERT_GT(length, 0.0f) << n.name;
            if (std::fabs(facing.y) > 0.5f * length) {
                EXPECT_GT(facing.y, 0.0f) << n.name << " triangle " << t / 3 << " faces down";
            } else {
                V3 out = Sub(mid, centre);
                float along = facing.x * out.x + facing.z * out.z;
                if (IsBackdrop(n.name))
                    EXPECT_LT(along, 0.0f) << n.name << " triangle " << t / 3 << " faces away from the camera";
                else
                    EXPECT_GT(along, 0.0f) << n.name << " triangle " << t / 3 << " faces in";
            }
        }
        // Lit sides: normals went through the frames unchanged in length.
        V3 n0 = TransformDirection({n.vertices[0].nx, n.vertices[0].ny, n.vertices[0].nz}, world);
        EXPECT_NEAR(Dot(n0, n0), 1.0f, 1e-3f) << n.name;
    }
}

// From every point of the orbit, through the demo's projection (field of
// view 0.8 along y, aspect 1.333, depth 10 to 2000): every building is whole
// in the picture, the ground and the sky stay inside the far plane, and the
// sky reaches above the top of the picture, so no black shows.
TEST_F(CityFiles, WholeCityInViewAndSkyFillsItFromEveryPointOfTheOrbit) {
    LoadText();
    scene_.Scale(-0.5f);
    const Matrix4 placement = Placement();
    std::vector<std::pair<const char*, V3>> points;
    for (const PlacedMesh& m : meshes_) {
        Matrix4 world = Multiply(m.world, placement);
        for (uint32_t i = 0; i < m.node->vertexCount; ++i) {
            const Vertex& v = m.node->vertices[i];
            points.push_back({m.node->name, Transform({v.x, v.y, v.z}, world)});
        }
    }
    const float cotY = 1.0f / std::tan(0.4f), cotX = cotY / 1.333f;
    for (int step = 0; step < 360; ++step) {
        const float a = float(step) * 3.14159265f / 180.0f;
        const V3 eye{800 * std::sin(a), 350, 800 * std::cos(a)};
        V3 forward = Sub({0, 0, 0}, eye);
        forward = {forward.x / std::sqrt(Dot(forward, forward)), forward.y / std::sqrt(Dot(forward, forward)),
                   forward.z / std::sqrt(Dot(forward, forward))};
        V3 right = Cross({0, 1, 0}, forward);  // left-handed view: +x to the right
        right = {right.x / std::sqrt(Dot(right, right)), 0, right.z / std::sqrt(Dot(right, right))};
        const V3 up = Cross(forward, right);
        float skyTopLowest = 1e9f;
        for (const auto& [name, p] : points) {
            const V3 d = Sub(p, eye);
            const float z = Dot(d, forward), x = Dot(d, right) * cotX / z, y = Dot(d, up) * cotY / z;
            if (IsGround(name) || IsBackdrop(name)) {
                ASSERT_LT(z, 2000.0f) << name << " beyond the far plane at " << step << " degrees";
                if (std::strcmp(name, "SkyRing") == 0 && p.y > make_scene::kSkyTop && z > 10 && std::fabs(x) < 1.2f)
                    skyTopLowest = std::min(skyTopLowest, y);
                continue;
            }
            ASSERT_GT(z, 10.0f) << name;
            ASSERT_LE(std::fabs(x), 1.0f) << name << " off the side of the picture at " << step << " degrees";
            ASSERT_LE(std::fabs(y), 1.0f) << name << " off the top or bottom at " << step << " degrees";
        }
        ASSERT_GT(skyTopLowest, 1.0f) << "the sky ends inside the picture at " << step << " degrees";
    }
}

// Turned by a sixth of a turn about the orbit's axis, the city maps onto
// itself: every triangle lands on one with the same corners, texture
// coordinates and material. That is what makes the picture stand still at
// the moments the camera steps a multiple of 60 degrees a frame.
TEST_F(CityFiles, MapsOntoItselfTurnedByASixthAboutTheOrbitCentre) {
    LoadText();
    scene_.Scale(-0.5f);
    const Matrix4 placement = Placement();
    struct Corner {
        V3 p;
        float u, v;
    };
    struct Triangle {
        Corner c[3];
        const D3DMATERIAL7* material;
        const char* mesh;
    };
    std::vector<Triangle> all;
    std::multimap<std::tuple<int, int, int>, size_t> byCell;
    auto cell = [](V3 p) { return std::make_tuple(int(std::floor(p.x)), int(std::floor(p.y)), int(std::floor(p.z))); };
    auto centroid = [](const Triangle& t) {
        return V3{(t.c[0].p.x + t.c[1].p.x + t.c[2].p.x) / 3, (t.c[0].p.y + t.c[1].p.y + t.c[2].p.y) / 3,
                  (t.c[0].p.z + t.c[1].p.z + t.c[2].p.z) / 3};
    };
    for (const PlacedMesh& m : meshes_) {
        const SceneNode& n = *m.node;
        Matrix4 world = Multiply(m.world, placement);
        uint32_t position = 0;
        for (uint32_t s = 0; s < n.usedSlotCount; ++s) {
            for (uint32_t i = position; i + 2 < position + n.slots[s].indexCount; i += 3) {
                Triangle t{};
                for (int k = 0; k < 3; ++k) {
                    const Vertex& v = n.vertices[n.indices[i + uint32_t(k)]];
                    t.c[k] = {Transform({v.x, v.y, v.z}, world), v.tu, v.tv};
                }
                t.material = &n.slots[s].material;
                t.mesh = n.name;
                byCell.insert({cell(centroid(t)), all.size()});
                all.push_back(t);
            }
            position += n.slots[s].indexCount;
        }
    }
    ASSERT_GT(all.size(), 5000u);
    const float c = std::cos(3.14159265f / 3), s = std::sin(3.14159265f / 3);
    auto same = [](const D3DMATERIAL7& a, const D3DMATERIAL7& b) {
        return std::memcmp(&a.diffuse, &b.diffuse, sizeof a.diffuse) == 0 &&
               std::memcmp(&a.emissive, &b.emissive, sizeof a.emissive) == 0;
    };
    int unmatched = 0;
    std::set<std::string> where;
    for (const Triangle& t : all) {
        Triangle r = t;
        for (Corner& k : r.c) k.p = {c * k.p.x + s * k.p.z, k.p.y, -s * k.p.x + c * k.p.z};
        auto [cx, cy, cz] = cell(centroid(r));
        bool found = false;
        for (int dx = -1; dx <= 1 && !found; ++dx)
            for (int dy = -1; dy <= 1 && !found; ++dy)
                for (int dz = -1; dz <= 1 && !found; ++dz) {
                    auto range = byCell.equal_range({cx + dx, cy + dy, cz + dz});
                    for (auto it = range.first; it != range.second && !found; ++it) {
                        const Triangle& o = all[it->second];
                        bool match = same(*o.material, *t.material);
                        for (int k = 0; k < 3 && match; ++k) {
                            V3 d = Sub(o.c[k].p, r.c[k].p);
                            match = Dot(d, d) < 0.05f * 0.05f && std::fabs(o.c[k].u - r.c[k].u) < 1e-4f &&
                                    std::fabs(o.c[k].v - r.c[k].v) < 1e-4f;
                        }
                        found = match;
                    }
                }
        if (!found) {
            ++unmatched;
            where.insert(t.mesh);
        }
    }
    std::string names;
    for (const std::string& n : where) names += " " + n;
    EXPECT_EQ(unmatched, 0) << "of " << all.size() << " triangles, in" << names;
}

// Every wall is a whole number of bays and storeys from a bay boundary, with
// the texture unstretched: a window never wraps round a corner.
TEST_F(CityFiles, WallsAreWholeBaysAndStoreys) {
    static_assert(make_scene::kTextureBays == make_texture::kFacadeBays &&
                      make_scene::kTextureBays == make_texture::kFacadeStoreys,
                  "the walls are laid out for the facade texture's grid");
    LoadText();
    scene_.Scale(-0.5f);
    const float bays = float(make_scene::kTextureBays), repeat = make_scene::kBay * bays;
    int walls = 0;
    for (const PlacedMesh& m : meshes_) {
        const SceneNode& n = *m.node;
        if (IsGround(n.name) || IsBackdrop(n.name)) continue;
        for (uint32_t t = 0; t + 2 < n.indexCount; t += 3) {
            const Vertex* p[3] = {&n.vertices[n.indices[t]], &n.vertices[n.indices[t + 1]], &n.vertices[n.indices[t + 2]]};
            V3 facing = Cross(Sub({p[1]->x, p[1]->y, p[1]->z}, {p[0]->x, p[0]->y, p[0]->z}),
                              Sub({p[2]->x, p[2]->y, p[2]->z}, {p[1]->x, p[1]->y, p[1]->z}));
            if (std::fabs(facing.y) > 1e-3f * std::sqrt(Dot(facing, facing))) continue;  // not a wall
            if (n.vertices[n.indices[t]].tu == 0 && n.vertices[n.indices[t]].tv == 0 &&
                p[1]->tu == 0 && p[2]->tu == 0)
                continue;  // untextured kerb or trunk
            ++walls;
            for (int a = 0; a < 3; ++a) {
                EXPECT_NEAR(p[a]->tu * bays, std::round(p[a]->tu * bays), 1e-3f) << n.name << ": u off a bay";
                EXPECT_NEAR(p[a]->tv * bays, std::round(p[a]->tv * bays), 1e-3f) << n.name << ": v off a storey";
                for (int b = a + 1; b < 3; ++b) {
                    const float run = std::hypot(p[a]->x - p[b]->x, p[a]->z - p[b]->z);
                    const float rise = std::fabs(p[a]->y - p[b]->y);
                    EXPECT_NEAR(std::fabs(p[a]->tu - p[b]->tu) * repeat, run, 0.05f) << n.name << ": stretched";
                    EXPECT_NEAR(std::fabs(p[a]->tv - p[b]->tv) * repeat, rise, 0.05f) << n.name << ": stretched";
                }
            }
        }
    }
    EXPECT_GT(walls, 300);
}

}  // namespace
