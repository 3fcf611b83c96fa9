#include "city.h"

#include <cmath>

#include "mesh_builder.h"

namespace make_scene {
namespace {

constexpr float kPi = 3.14159265f;
// The facade texture repeats every 4 bays by 4 storeys; a bay and a storey
// are both 16 units, so one repeat covers 64 x 64 units of wall.
constexpr float kTextureRepeat = 64.0f;

XMaterial MakeMaterial(const char* name, float r, float g, float b, float a = 1.0f) {
    XMaterial m;
    m.name = name;
    m.faceColor[0] = r;
    m.faceColor[1] = g;
    m.faceColor[2] = b;
    m.faceColor[3] = a;
    m.power = 8.0f;
    m.specularColor[0] = m.specularColor[1] = m.specularColor[2] = 0.1f;
    return m;
}

XMaterialUse Inline(XMaterial m) {
    XMaterialUse use;
    use.material = std::move(m);
    return use;
}

XMaterialUse Reference(const char* name) {
    XMaterialUse use;
    use.reference = name;
    return use;
}

// Roofs and other plain surfaces sample the slab band of the facade texture
// (its rows at v = 0), which is the same all the way across.
Uv BandUv(Vec3 p) { return {p.x / kTextureRepeat, 0.0f}; }

Vec3 FlatOut(Vec3 from, Vec3 to) {
    Vec3 d = to - from;
    return Normalize({d.x, 0, d.z});
}

// Footprint corners around the local origin, in either turning order: the
// builder turns faces round as needed.
std::vector<Vec3> Rectangle(float width, float depth) {
    float x = width / 2, z = depth / 2;
    return {{-x, 0, -z}, {x, 0, -z}, {x, 0, z}, {-x, 0, z}};
}

std::vector<Vec3> Regular(int sides, float radius, float phase) {
    std::vector<Vec3> out;
    for (int i = 0; i < sides; ++i) {
        float a = phase + 2 * kPi * float(i) / float(sides);
        out.push_back({radius * std::cos(a), 0, radius * std::sin(a)});
    }
    return out;
}

struct Walls {
    float bottom = 0, top = 0;
    uint32_t wallMaterial = 0;
    float uStart = 0;  // facade texture offsets, so buildings differ
    float vStart = 0;
};

// Textured walls standing on a footprint: u runs along the wall, v down from
// the top, so windows repeat per bay and storey.
void AddWalls(MeshBuilder& b, const std::vector<Vec3>& footprint, const Walls& w) {
    Vec3 centre;
    for (const Vec3& p : footprint) centre = centre + p;
    centre = centre * (1.0f / float(footprint.size()));
    float u = w.uStart;
    for (size_t i = 0; i < footprint.size(); ++i) {
        Vec3 a = footprint[i], c = footprint[(i + 1) % footprint.size()];
        float length = std::sqrt(Dot(c - a, c - a));
        float u1 = u + length / kTextureRepeat;
        float vTop = w.vStart, vBottom = w.vStart + (w.top - w.bottom) / kTextureRepeat;
        b.AddPolygon({{a.x, w.top, a.z}, {c.x, w.top, c.z}, {c.x, w.bottom, c.z}, {a.x, w.bottom, a.z}},
                     {{u, vTop}, {u1, vTop}, {u1, vBottom}, {u, vBottom}}, FlatOut(centre, (a + c) * 0.5f),
                     w.wallMaterial);
        u = u1;
    }
}

// The footprint as one flat polygon at height y facing up.
void AddCap(MeshBuilder& b, const std::vector<Vec3>& footprint, float y, uint32_t material) {
    std::vector<Vec3> points;
    std::vector<Uv> uvs;
    for (const Vec3& p : footprint) {
        points.push_back({p.x, y, p.z});
        uvs.push_back(BandUv(p));
    }
    b.AddPolygon(points, uvs, {0, 1, 0}, material);
}

// A pointed roof: one triangle per footprint edge up to the apex.
void AddSpire(MeshBuilder& b, const std::vector<Vec3>& footprint, float y, float height, uint32_t material) {
    Vec3 apex{0, y + height, 0};
    for (size_t i = 0; i < footprint.size(); ++i) {
        Vec3 a = footprint[i], c = footprint[(i + 1) % footprint.size()];
        Vec3 pa{a.x, y, a.z}, pc{c.x, y, c.z};
        Vec3 mid = (pa + pc) * 0.5f;
        Vec3 out = FlatOut({}, mid);
        out.y = 0.6f;
        b.AddPolygon({pa, pc, apex}, {BandUv(pa), BandUv(pc), BandUv(apex)}, out, material);
    }
}

XFrame Framed(const char* name, float yaw, Vec3 offset) {
    XFrame f;
    f.name = name;
    SetFrameTransform(f, yaw, offset);
    return f;
}

struct Block {
    const char* name;
    float x, z, yaw;
    std::vector<Vec3> footprint;
    float height;
    float uStart, vStart;
    XMaterial wall, roof;
    bool normals;   // write the normals or leave them to the loader
    float spire;    // height of a pointed roof; 0 for a flat one
};

XFrame MakeBlock(const Block& k) {
    XFrame f = Framed(k.name, k.yaw, {k.x, 0, k.z});
    MeshBuilder b(std::string(k.name) + "Mesh");
    Walls w;
    w.top = k.height;
    w.uStart = k.uStart;
    w.vStart = k.vStart;
    AddWalls(b, k.footprint, w);
    if (k.spire > 0)
        AddSpire(b, k.footprint, k.height, k.spire, 1);
    else
        AddCap(b, k.footprint, k.height, 1);
    f.meshes.push_back(b.ToX(k.normals, true, {Inline(k.wall), Inline(k.roof)}));
    return f;
}

// Three tiers, each frame standing on the one below.
XFrame MakeTower() {
    XFrame tower = Framed("Tower", 0.2f, {-120, 0, 125});
    XMaterial wall = MakeMaterial("TowerStone", 0.5f, 0.53f, 0.6f);

    MeshBuilder base("TowerBase");
    std::vector<Vec3> foot = Rectangle(48, 48);
    Walls w;
    w.top = 128;
    AddWalls(base, foot, w);
    AddCap(base, foot, 128, 1);
    tower.meshes.push_back(base.ToX(false, true, {Inline(wall), Reference("Concrete")}));

    XFrame shaftFrame = Framed("TowerShaft", 0.0f, {0, 128, 0});
    MeshBuilder shaft("TowerShaftMesh");
    std::vector<Vec3> shaftFoot = Rectangle(32, 32);
    w.top = 64;
    w.uStart = 0.25f;
    AddWalls(shaft, shaftFoot, w);
    AddCap(shaft, shaftFoot, 64, 1);
    shaftFrame.meshes.push_back(shaft.ToX(false, true, {Inline(wall), Reference("Concrete")}));

    XFrame crownFrame = Framed("TowerCrown", kPi / 8, {0, 64, 0});
    MeshBuilder crown("TowerCrownMesh");
    std::vector<Vec3> crownFoot = Regular(8, 14, 0);
    w.top = 24;
    w.uStart = 0;
    w.vStart = 0.5f;
    AddWalls(crown, crownFoot, w);
    AddSpire(crown, crownFoot, 24, 44, 1);
    crownFrame.meshes.push_back(crown.ToX(false, true, {Inline(wall), Reference("Slate")}));

    shaftFrame.frames.push_back(std::move(crownFrame));
    tower.frames.push_back(std::move(shaftFrame));
    return tower;
}

// Cones on short trunks around the edge of the square; shared vertices, so
// the loader's computed normals round them off.
XFrame MakeTrees() {
    XFrame f = Framed("Trees", 0.0f, {0, 4, 0});
    MeshBuilder b("TreesMesh");
    for (int t = 0; t < 8; ++t) {
        float a = kPi / 8 + 2 * kPi * float(t) / 8;
        Vec3 at{56 * std::cos(a), 0, 56 * std::sin(a)};
        // Trunk: four flat sides.
        std::vector<Vec3> trunk = Rectangle(3, 3);
        for (size_t i = 0; i < 4; ++i) {
            Vec3 p = trunk[i] + at, q = trunk[(i + 1) % 4] + at;
            b.AddFace({b.AddVertex({p.x, 8, p.z}), b.AddVertex({q.x, 8, q.z}), b.AddVertex({q.x, 0, q.z}),
                       b.AddVertex({p.x, 0, p.z})},
                      FlatOut(at, (p + q) * 0.5f), 1);
        }
        // Crown: a cone of seven sides over one ring and one apex.
        uint32_t apex = b.AddVertex(at + Vec3{0, 34, 0});
        std::vector<uint32_t> ring;
        for (const Vec3& p : Regular(7, 10, a)) ring.push_back(b.AddVertex(at + p + Vec3{0, 7, 0}));
        for (size_t i = 0; i < ring.size(); ++i) {
            Vec3 p = Regular(7, 10, a)[i], q = Regular(7, 10, a)[(i + 1) % 7];
            Vec3 out = FlatOut({}, (p + q) * 0.5f);
            out.y = 0.4f;
            b.AddFace({ring[i], ring[(i + 1) % ring.size()], apex}, out, 0);
        }
        b.AddFace(ring, {0, -1, 0}, 0);
    }
    f.meshes.push_back(b.ToX(false, false,
                             {Inline(MakeMaterial("Leaves", 0.22f, 0.42f, 0.18f)),
                              Inline(MakeMaterial("Bark", 0.36f, 0.25f, 0.16f))}));
    return f;
}

// The square: a raised octagon of paving with a kerb, a column in the middle
// and a glass pavilion round it. The paving names a texture of its own.
XFrame MakeSquare() {
    XFrame f = Framed("Square", 0.0f, {0, 0, 0});
    constexpr float kTop = 4;

    MeshBuilder plaza("Plaza");
    std::vector<Vec3> octagon = Regular(8, 74, kPi / 8);
    std::vector<Vec3> top;
    std::vector<Uv> uvs;
    for (const Vec3& p : octagon) {
        top.push_back({p.x, kTop, p.z});
        uvs.push_back({p.x / 32, p.z / 32});
    }
    plaza.AddPolygon(top, uvs, {0, 1, 0}, 0);
    for (size_t i = 0; i < octagon.size(); ++i) {
        Vec3 a = octagon[i], c = octagon[(i + 1) % octagon.size()];
        plaza.AddPolygon({{a.x, kTop, a.z}, {c.x, kTop, c.z}, {c.x, 0, c.z}, {a.x, 0, a.z}}, {},
                         FlatOut({}, (a + c) * 0.5f), 1);
    }
    XMaterial paving = MakeMaterial("Paving", 0.3f, 0.28f, 0.27f);
    paving.textureFilename = kPavingTexture;
    f.meshes.push_back(plaza.ToX(true, true, {Inline(paving), Reference("Concrete")}));

    MeshBuilder column("Column");
    std::vector<Vec3> shaft = Regular(6, 5, 0);
    Walls w;
    w.bottom = kTop;
    w.top = kTop + 28;
    AddWalls(column, shaft, w);
    AddSpire(column, shaft, kTop + 28, 8, 0);
    f.meshes.push_back(column.ToX(false, false, {Reference("Concrete")}));

    XFrame pavilion = Framed("Pavilion", kPi / 6, {0, kTop, 0});
    MeshBuilder glass("PavilionGlass");
    std::vector<Vec3> hexagon = Regular(6, 30, 0);
    Walls g;
    g.top = 28;
    AddWalls(glass, hexagon, g);
    AddSpire(glass, hexagon, 28, 14, 1);
    pavilion.meshes.push_back(glass.ToX(false, true,
                                        {Inline(MakeMaterial("GlassPane", 0.25f, 0.45f, 0.55f, 0.4f)),
                                         Inline(MakeMaterial("GlassRoof", 0.2f, 0.38f, 0.48f, 0.55f))}));
    f.frames.push_back(std::move(pavilion));
    return f;
}

// Streets: a grid of tiles, asphalt with lawns in the corners and pavement
// near the square, inside a ring of fields that reaches the bottom of the view.
XFrame MakeStreets() {
    XFrame f = Framed("Streets", 0.0f, {0, 0, 0});
    MeshBuilder b("Ground");
    constexpr int n = 10;
    constexpr float tile = 80, start = -400;
    for (int i = 0; i < n; ++i) {
        for (int k = 0; k < n; ++k) {
            float x0 = start + tile * float(i), z0 = start + tile * float(k);
            bool field = i < 2 || i >= n - 2 || k < 2 || k >= n - 2;
            bool corner = (i == 2 || i == n - 3) && (k == 2 || k == n - 3);
            bool inner = i >= 4 && i <= 5 && k >= 4 && k <= 5;
            uint32_t material = field ? 3 + uint32_t(i * 7 + k * 3 + i * k) % 3 % 2 : corner ? 1 : inner ? 2 : 0;
            std::vector<Vec3> q = {{x0, 0, z0}, {x0 + tile, 0, z0}, {x0 + tile, 0, z0 + tile}, {x0, 0, z0 + tile}};
            b.AddPolygon(q, {BandUv(q[0]), BandUv(q[1]), BandUv(q[2]), BandUv(q[3])}, {0, 1, 0}, material);
        }
    }
    f.meshes.push_back(b.ToX(true, true,
                             {Inline(MakeMaterial("Asphalt", 0.125f, 0.125f, 0.155f)),
                              Inline(MakeMaterial("Lawn", 0.11f, 0.19f, 0.09f)), Reference("Concrete"),
                              Inline(MakeMaterial("Meadow", 0.1f, 0.15f, 0.065f)),
                              Inline(MakeMaterial("Wheat", 0.15f, 0.14f, 0.075f))}));
    return f;
}

}  // namespace

XScene BuildCity() {
    XScene scene;
    scene.materials.push_back(MakeMaterial("Concrete", 0.25f, 0.24f, 0.24f));
    scene.materials.push_back(MakeMaterial("Slate", 0.24f, 0.26f, 0.3f));

    // The demo draws the scene moved 120 units away from the point its
    // camera circles; move the city back so it stays in the middle of the view.
    XFrame city = Framed("City", 0.0f, {0, 0, 120});
    XFrame buildings;
    buildings.name = "Buildings";
    buildings.frames.push_back(MakeTower());
    std::vector<Block> blocks = {
        {"Hall", 70, 178, 0.0f, Rectangle(128, 56), 64, 0.0f, 0.25f,
         MakeMaterial("Sandstone", 0.62f, 0.55f, 0.44f), MakeMaterial("HallRoof", 0.27f, 0.26f, 0.25f), true, 0},
        {"Offices", 172, 55, -0.15f, Rectangle(64, 80), 112, 0.5f, 0.0f,
         MakeMaterial("PaleBlue", 0.5f, 0.56f, 0.63f), MakeMaterial("OfficesRoof", 0.25f, 0.25f, 0.28f), true, 0},
        {"Villa", 160, -115, 0.3f, Rectangle(64, 64), 80, 0.25f, 0.5f,
         MakeMaterial("Ochre", 0.66f, 0.52f, 0.3f), MakeMaterial("Terracotta", 0.42f, 0.2f, 0.14f), true, 24},
        {"Hexagon", -175, -45, 0.0f, Regular(6, 34, 0), 128, 0.75f, 0.25f,
         MakeMaterial("Brick", 0.62f, 0.37f, 0.29f), MakeMaterial("HexRoof", 0.26f, 0.26f, 0.26f), false, 0},
        {"Pentagon", -60, -170, 0.4f, Regular(5, 30, 0), 64, 0.0f, 0.75f,
         MakeMaterial("White", 0.64f, 0.64f, 0.61f), MakeMaterial("PentRoof", 0.26f, 0.28f, 0.25f), false, 0},
        {"Apartments", -186, 62, 0.0f, Rectangle(48, 48), 144, 0.5f, 0.5f,
         MakeMaterial("Sage", 0.48f, 0.56f, 0.5f), MakeMaterial("AptRoof", 0.26f, 0.26f, 0.26f), true, 0},
        {"Shops", 45, -185, -0.2f, Rectangle(80, 40), 48, 0.25f, 0.0f,
         MakeMaterial("Rose", 0.64f, 0.46f, 0.46f), MakeMaterial("ShopsRoof", 0.26f, 0.26f, 0.26f), false, 0},
        {"Studio", -50, 200, 0.1f, Rectangle(48, 32), 80, 0.75f, 0.75f,
         MakeMaterial("Cream", 0.66f, 0.6f, 0.5f), MakeMaterial("StudioRoof", 0.24f, 0.26f, 0.3f), false, 14},
        {"Corner", 175, 172, 0.0f, Rectangle(48, 48), 96, 0.0f, 0.0f,
         MakeMaterial("Sand", 0.6f, 0.58f, 0.5f), MakeMaterial("CornerRoof", 0.26f, 0.26f, 0.26f), true, 0},
        {"Depot", -160, -160, 0.0f, Rectangle(64, 48), 48, 0.25f, 0.25f,
         MakeMaterial("Umber", 0.55f, 0.44f, 0.36f), MakeMaterial("DepotRoof", 0.27f, 0.25f, 0.24f), false, 20},
    };
    for (const Block& k : blocks) buildings.frames.push_back(MakeBlock(k));
    city.frames.push_back(std::move(buildings));
    // Drawn in this order: the square's paving binds a texture of its own,
    // which stays bound for what follows, so the untextured streets and the
    // glass come after every facade.
    city.frames.push_back(MakeTrees());
    city.frames.push_back(MakeSquare());
    city.frames.push_back(MakeStreets());
    scene.frames.push_back(std::move(city));
    return scene;
}

}  // namespace make_scene
