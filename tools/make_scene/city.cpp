#include "city.h"

#include <cmath>
#include <string>

#include "mesh_builder.h"

namespace make_scene {
namespace {

constexpr float kPi = 3.14159265f;
constexpr float kSector = 2 * kPi / kSymmetry;
// One repeat of the facade texture covers this many units of wall each way.
constexpr float kTextureRepeat = kBay * float(kTextureBays);

struct Rgb {
    float r, g, b;
};

Rgb Mix(Rgb a, Rgb b, float t) { return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t}; }

// `lit` is the share of the colour that comes from the lights (the file's face
// colour, which the demo uses as diffuse and ambient), `glow` the share that
// comes whatever the light (emissive). Mostly glow: the one directional light
// stays put while the camera circles, so light-driven shading is what would
// differ between two views 60 degrees apart. The ambient light is yellowish (its blue
// 0.6 of red and green), so emissive blue makes up for it and an unlit surface
// shows colour * (lit + glow) in every channel.
XMaterial Surface(const char* name, Rgb c, float lit, float glow, float alpha = 1.0f) {
    XMaterial m;
    m.name = name;
    m.faceColor[0] = c.r * lit;
    m.faceColor[1] = c.g * lit;
    m.faceColor[2] = c.b * lit;
    m.faceColor[3] = alpha;
    m.power = 8.0f;
    m.emissiveColor[0] = c.r * glow;
    m.emissiveColor[1] = c.g * glow;
    m.emissiveColor[2] = c.b * (glow + 0.4f * lit);
    return m;
}

// Walls take their shading mostly from where they face in the city: turned
// out towards the glow of the horizon they are brightest, turned in towards
// the centre darkest. That shading turns with the city, unlike the light's.
enum Facing { kOutward, kAcross, kInward };
XMaterial Wall(const std::string& name, Rgb c, Facing facing = kOutward) {
    static const float kGlow[] = {0.78f, 0.68f, 0.56f};
    return Surface(name.c_str(), c, 0.08f, kGlow[facing]);
}
XMaterial Roof(const char* name, Rgb c) { return Surface(name, c, 0.1f, 0.4f); }
// Light only from itself: the sky and the skyline in front of it.
XMaterial Glow(const std::string& name, Rgb c) {
    XMaterial m = Surface(name.c_str(), c, 0.0f, 1.0f);
    m.power = 0;
    return m;
}
// Untextured: naming a texture the registry has no surface for binds none.
XMaterial Untextured(XMaterial m) {
    m.textureFilename = kPavingTexture;
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
// (its rows at v = 0) at one point, so they come out one plain colour
// whichever way the city is turned.
Uv BandUv(Vec3) { return {0.0f, 0.0f}; }

Vec3 FlatOut(Vec3 from, Vec3 to) {
    Vec3 d = to - from;
    return Normalize({d.x, 0, d.z});
}

Vec3 Polar(float radius, float angle, float y = 0) { return {radius * std::cos(angle), y, radius * std::sin(angle)}; }

// Footprint corners around the local origin, in either turning order: the
// builder turns faces round as needed. Sides are whole bays.
std::vector<Vec3> Rectangle(int baysAcross, int baysDeep) {
    float x = float(baysAcross) * kBay / 2, z = float(baysDeep) * kBay / 2;
    return {{-x, 0, -z}, {x, 0, -z}, {x, 0, z}, {-x, 0, z}};
}

std::vector<Vec3> Regular(int sides, float radius, float phase) {
    std::vector<Vec3> out;
    for (int i = 0; i < sides; ++i) out.push_back(Polar(radius, phase + 2 * kPi * float(i) / float(sides)));
    return out;
}

// A regular polygon whose sides are each `bays` bays long.
std::vector<Vec3> RegularBays(int sides, int bays, float phase) {
    return Regular(sides, float(bays) * kBay / (2 * std::sin(kPi / float(sides))), phase);
}

struct Walls {
    float bottom = 0, top = 0;
    uint32_t wallMaterial = 0;
    int bayStart = 0;  // facade texture offsets in bays and storeys, so buildings differ
    int storeyStart = 0;
    // Set: a wall takes material wallMaterial + its Facing, judged from the
    // direction out from the city centre, which lies at -position.
    bool byFacing = false;
    Vec3 position;
    // Walls on the orbit's axis: the texture starts again every this many
    // walls (the walls of one sector), so every sector looks the same.
    size_t wallsPerRepeat = 0;
};

// Textured walls standing on a footprint: u runs along the wall, v down from
// the top. Each wall spans a whole number of bays from a bay boundary, so a
// window never wraps round a corner.
void AddWalls(MeshBuilder& b, const std::vector<Vec3>& footprint, const Walls& w) {
    Vec3 centre;
    for (const Vec3& p : footprint) centre = centre + p;
    centre = centre * (1.0f / float(footprint.size()));
    int bay = w.bayStart;
    const float vTop = float(w.storeyStart) / float(kTextureBays);
    const float vBottom = vTop + (w.top - w.bottom) / kTextureRepeat;
    for (size_t i = 0; i < footprint.size(); ++i) {
        Vec3 a = footprint[i], c = footprint[(i + 1) % footprint.size()];
        const int bays = int(std::lround(std::sqrt(Dot(c - a, c - a)) / kBay));
        if (w.wallsPerRepeat > 0 && i % w.wallsPerRepeat == 0) bay = w.bayStart;
        const float u0 = float(bay) / float(kTextureBays), u1 = float(bay + bays) / float(kTextureBays);
        const Vec3 out = FlatOut(centre, (a + c) * 0.5f);
        uint32_t material = w.wallMaterial;
        if (w.byFacing) {
            const float away = Dot(out, FlatOut({}, w.position + (a + c) * 0.5f));
            material += away > 0.5f ? kOutward : away < -0.5f ? kInward : kAcross;
        }
        b.AddPolygon({{a.x, w.top, a.z}, {c.x, w.top, c.z}, {c.x, w.bottom, c.z}, {a.x, w.bottom, a.z}},
                     {{u0, vTop}, {u1, vTop}, {u1, vBottom}, {u0, vBottom}}, out, material);
        bay += bays;
    }
}

// The footprint as one flat polygon at height y facing up. A cap on the
// orbit's axis is cut into triangles round its middle instead, so that it
// is made the same way seen from every sector.
void AddCap(MeshBuilder& b, const std::vector<Vec3>& footprint, float y, uint32_t material, bool radial = false) {
    if (radial) {
        for (size_t i = 0; i < footprint.size(); ++i) {
            Vec3 a = footprint[i], c = footprint[(i + 1) % footprint.size()];
            b.AddPolygon({{0, y, 0}, {a.x, y, a.z}, {c.x, y, c.z}}, {}, {0, 1, 0}, material);
        }
        return;
    }
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
        Vec3 out = FlatOut({}, (pa + pc) * 0.5f);
        out.y = 0.6f;
        b.AddPolygon({pa, pc, apex}, {BandUv(pa), BandUv(pc), BandUv(apex)}, out, material);
    }
}

XFrame Framed(const std::string& name, float yaw, Vec3 offset) {
    XFrame f;
    f.name = name;
    SetFrameTransform(f, yaw, offset);
    return f;
}

// A building of a district, in the district's own axes: x out from the
// centre, z across.
struct Block {
    const char* name;
    float x, z;
    std::vector<Vec3> footprint;
    float height;  // whole storeys
    int bayStart, storeyStart;
    Rgb wall, roof;
    bool normals;  // write the normals or leave them to the loader
    float spire;   // height of a pointed roof; 0 for a flat one
};

XFrame MakeBlock(const std::string& prefix, const Block& k) {
    XFrame f = Framed(prefix + k.name, 0.0f, {k.x, 0, k.z});
    MeshBuilder b(prefix + k.name + "Mesh");
    Walls w;
    w.top = k.height;
    w.bayStart = k.bayStart;
    w.storeyStart = k.storeyStart;
    w.byFacing = true;
    w.position = {k.x, 0, k.z};
    AddWalls(b, k.footprint, w);
    if (k.spire > 0)
        AddSpire(b, k.footprint, k.height, k.spire, 3);
    else
        AddCap(b, k.footprint, k.height, 3);
    const std::string name = prefix + k.name, roof = name + "Roof";
    f.meshes.push_back(b.ToX(k.normals, true,
                             {Inline(Wall(name + "Out", k.wall, kOutward)), Inline(Wall(name + "Across", k.wall, kAcross)),
                              Inline(Wall(name + "In", k.wall, kInward)), Inline(Roof(roof.c_str(), k.roof))}));
    return f;
}

// One district: the same buildings in every sector, so the city maps onto
// itself turned by a sector. Clear hues from building to building, cool on
// the whole against the warm ambient light.
XFrame MakeDistrict(int index) {
    static const Block kBlocks[] = {
        {"Terrace", 165, 0, Rectangle(2, 6), 64, 0, 0, {0.80f, 0.88f, 1.0f}, {0.50f, 0.55f, 0.66f}, true, 0},
        {"Slab", 245, -72, Rectangle(3, 3), 128, 3, 2, {0.60f, 0.92f, 0.90f}, {0.42f, 0.55f, 0.58f}, true, 0},
        {"Point", 255, 66, RegularBays(6, 2, 0), 176, 5, 4, {0.86f, 0.80f, 1.0f}, {0.42f, 0.40f, 0.62f}, false, 40},
        {"Court", 335, 0, Rectangle(2, 7), 80, 1, 6, {1.0f, 0.86f, 0.68f}, {0.60f, 0.50f, 0.46f}, true, 0},
        {"Kiosk", 300, -112, Rectangle(2, 2), 48, 6, 1, {1.0f, 0.66f, 0.60f}, {0.58f, 0.40f, 0.40f}, false, 20},
        {"Annex", 200, -60, Rectangle(2, 2), 96, 2, 3, {0.92f, 0.94f, 1.0f}, {0.50f, 0.52f, 0.62f}, true, 0},
        {"Gallery", 200, 62, Rectangle(2, 2), 48, 4, 5, {0.98f, 0.76f, 0.86f}, {0.56f, 0.44f, 0.52f}, false, 16},
    };
    const std::string prefix = "D" + std::to_string(index + 1);
    // A turn by yaw takes +x to the angle -yaw; the districts sit between the
    // avenues, which run out along the multiples of 60 degrees.
    XFrame f = Framed(prefix, -(kSector / 2 + kSector * float(index)), {0, 0, 0});
    for (const Block& k : kBlocks) f.frames.push_back(MakeBlock(prefix, k));
    return f;
}

// Three tiers in the middle, each frame standing on the one below: twelve
// sides of one bay, then a six-sided shaft and a crown with a spire.
XFrame MakeTower() {
    XFrame tower = Framed("Tower", 0.0f, {0, 0, 0});
    XMaterial wall = Wall("TowerSteel", {0.72f, 0.80f, 0.96f});

    MeshBuilder base("TowerBase");
    std::vector<Vec3> foot = RegularBays(12, 1, 0);
    Walls w;
    w.top = 192;
    w.wallsPerRepeat = 2;
    AddWalls(base, foot, w);
    AddCap(base, foot, 192, 1, true);
    tower.meshes.push_back(base.ToX(false, true, {Inline(wall), Reference("Concrete")}));

    XFrame shaftFrame = Framed("TowerShaft", 0.0f, {0, 192, 0});
    MeshBuilder shaft("TowerShaftMesh");
    std::vector<Vec3> shaftFoot = RegularBays(6, 1, 0);
    w.top = 48;
    w.storeyStart = 4;
    w.wallsPerRepeat = 1;
    AddWalls(shaft, shaftFoot, w);
    AddCap(shaft, shaftFoot, 48, 1, true);
    shaftFrame.meshes.push_back(shaft.ToX(false, true, {Inline(wall), Reference("Concrete")}));

    XFrame crownFrame = Framed("TowerCrown", kPi / 6, {0, 48, 0});
    MeshBuilder crown("TowerCrownMesh");
    std::vector<Vec3> crownFoot = RegularBays(6, 1, 0);
    w.top = 16;
    w.storeyStart = 0;
    AddWalls(crown, crownFoot, w);
    AddSpire(crown, crownFoot, 16, 40, 1);
    crownFrame.meshes.push_back(crown.ToX(false, true, {Inline(wall), Reference("Slate")}));

    shaftFrame.frames.push_back(std::move(crownFrame));
    tower.frames.push_back(std::move(shaftFrame));
    return tower;
}

// Cones on short trunks round the glass; shared vertices, so the loader's
// computed normals round them off.
XFrame MakeTrees() {
    XFrame f = Framed("Trees", 0.0f, {0, 3, 0});
    MeshBuilder b("TreesMesh");
    for (int t = 0; t < 2 * kSymmetry; ++t) {
        float a = kSector / 4 + kSector / 2 * float(t);
        Vec3 at = Polar(82, a);
        // Trunk: four flat sides.
        std::vector<Vec3> trunk = Regular(4, 2.1f, a + kPi / 4);
        for (size_t i = 0; i < 4; ++i) {
            Vec3 p = trunk[i] + at, q = trunk[(i + 1) % 4] + at;
            b.AddFace({b.AddVertex({p.x, 8, p.z}), b.AddVertex({q.x, 8, q.z}), b.AddVertex({q.x, 0, q.z}),
                       b.AddVertex({p.x, 0, p.z})},
                      FlatOut(at, (p + q) * 0.5f), 1);
        }
        // Crown: a cone of seven sides over one ring and one apex.
        uint32_t apex = b.AddVertex(at + Vec3{0, 32, 0});
        std::vector<Vec3> around = Regular(7, 9, a);
        std::vector<uint32_t> ring;
        for (const Vec3& p : around) ring.push_back(b.AddVertex(at + p + Vec3{0, 7, 0}));
        for (size_t i = 0; i < ring.size(); ++i) {
            Vec3 out = FlatOut({}, (around[i] + around[(i + 1) % 7]) * 0.5f);
            out.y = 0.4f;
            b.AddFace({ring[i], ring[(i + 1) % ring.size()], apex}, out, 0);
        }
        b.AddFace(ring, {0, -1, 0}, 0);
    }
    f.meshes.push_back(b.ToX(false, false,
                             {Inline(Surface("Leaves", {0.36f, 0.70f, 0.46f}, 0.1f, 0.6f)),
                              Inline(Surface("Bark", {0.55f, 0.42f, 0.36f}, 0.1f, 0.6f))}));
    return f;
}

// The square: a raised hexagon of paving with a kerb, and the glass pavilion
// round the foot of the tower. The paving names a texture of its own, so
// from here on nothing is textured.
XFrame MakeSquare() {
    XFrame f = Framed("Square", 0.0f, {0, 0, 0});
    constexpr float kTop = 3;

    MeshBuilder plaza("Plaza");
    std::vector<Vec3> hexagon = Regular(kSymmetry, 110, 0);
    AddCap(plaza, hexagon, kTop, 0, true);
    for (size_t i = 0; i < hexagon.size(); ++i) {
        Vec3 a = hexagon[i], c = hexagon[(i + 1) % hexagon.size()];
        plaza.AddPolygon({{a.x, kTop, a.z}, {c.x, kTop, c.z}, {c.x, 0, c.z}, {a.x, 0, a.z}}, {},
                         FlatOut({}, (a + c) * 0.5f), 1);
    }
    f.meshes.push_back(plaza.ToX(
        true, true, {Inline(Untextured(Surface("Paving", {0.74f, 0.74f, 0.80f}, 0.15f, 0.4f))), Reference("Concrete")}));

    XFrame pavilion = Framed("Pavilion", 0.0f, {0, kTop, 0});
    MeshBuilder glass("PavilionGlass");
    std::vector<Vec3> foot = RegularBays(kSymmetry, 4, 0);
    Walls g;
    g.top = 80;  // tall enough to show over the districts' first row
    g.wallsPerRepeat = 1;
    AddWalls(glass, foot, g);
    AddSpire(glass, foot, 80, 32, 1);
    pavilion.meshes.push_back(glass.ToX(false, true,
                                        {Inline(Surface("GlassPane", {0.50f, 0.85f, 1.0f}, 0.08f, 0.6f, 0.45f)),
                                         Inline(Surface("GlassRoof", {0.45f, 0.78f, 1.0f}, 0.08f, 0.6f, 0.55f))}));
    f.frames.push_back(std::move(pavilion));
    return f;
}

// The ground: a disc cut in rings and in 16 slices a sector, avenues along
// the sector lines, the districts' courts between them, a ring road, then
// parkland and fields out to the sky.
XFrame MakeGround() {
    enum { kAsphalt, kPavement, kCourt, kLawn, kMeadow, kField };
    static const float kRings[] = {0, 110, 140, 380, 420, 560, 720, 900, kSkyRadius - 10};
    constexpr int kSlices = 16;
    XFrame f = Framed("Streets", 0.0f, {0, 0, 0});
    // One grid of shared corners (the loader's computed normals all point
    // up), which keeps the file small.
    MeshBuilder b("Ground");
    constexpr int kAround = kSymmetry * kSlices;
    const uint32_t middle = b.AddVertex({0, 0, 0});
    std::vector<std::vector<uint32_t>> corner(std::size(kRings));
    for (size_t r = 1; r < std::size(kRings); ++r)
        for (int j = 0; j < kAround; ++j) corner[r].push_back(b.AddVertex(Polar(kRings[r], kSector * float(j) / kSlices)));
    for (int j = 0; j < kAround; ++j) {
        const int i = j % kSlices, next = (j + 1) % kAround;
        const bool avenue = i == 0 || i == kSlices - 1;
        for (size_t r = 0; r + 1 < std::size(kRings); ++r) {
            uint32_t m;
            switch (r) {
                case 0:
                case 1: m = kPavement; break;
                case 2: m = avenue ? kAsphalt : kCourt; break;
                case 3: m = kAsphalt; break;
                case 4:
                case 5: m = avenue ? kAsphalt : kLawn; break;
                case 6: m = avenue ? kAsphalt : (i / 4 % 2 ? kMeadow : kField); break;
                default: m = (i / 4 + r) % 2 ? kMeadow : kField; break;
            }
            std::vector<uint32_t> face = {r == 0 ? middle : corner[r][size_t(j)], corner[r + 1][size_t(j)],
                                          corner[r + 1][size_t(next)]};
            if (r > 0) face.push_back(corner[r][size_t(next)]);
            b.AddFace(face, {0, 1, 0}, m);
        }
    }
    f.meshes.push_back(b.ToX(false, false,
                             {Inline(Untextured(Surface("Asphalt", {0.34f, 0.36f, 0.44f}, 0.15f, 0.35f))),
                              Inline(Surface("Pavement", {0.66f, 0.67f, 0.74f}, 0.15f, 0.35f)),
                              Inline(Surface("Courts", {0.52f, 0.55f, 0.62f}, 0.15f, 0.35f)),
                              Inline(Surface("Lawn", {0.30f, 0.56f, 0.40f}, 0.15f, 0.35f)),
                              Inline(Surface("Meadow", {0.36f, 0.52f, 0.34f}, 0.15f, 0.35f)),
                              Inline(Surface("Fields", {0.52f, 0.54f, 0.38f}, 0.15f, 0.35f))}));
    return f;
}

// The sky: a ring of bands facing in, from the glow at the horizon up
// through rose and violet to night blue, with two layers of far skyline in
// front of it. Lit by itself only.
XFrame MakeSky() {
    struct Key {
        float y;
        Rgb c;
    };
    static const Key kKeys[] = {{0, {1.0f, 0.72f, 0.44f}},    {40, {0.98f, 0.58f, 0.46f}},
                                {90, {0.80f, 0.48f, 0.58f}},  {150, {0.52f, 0.40f, 0.64f}},
                                {220, {0.32f, 0.32f, 0.58f}}, {330, {0.16f, 0.20f, 0.44f}},
                                {kSkyTop, {0.12f, 0.15f, 0.36f}}};
    static const float kBands[] = {0, 10, 22, 36, 52, 70, 90, 112, 136, 162, 190, 222, 258, 300, kSkyTop};
    auto colourAt = [](float y) {
        for (size_t k = 0; k + 1 < std::size(kKeys); ++k)
            if (y <= kKeys[k + 1].y) return Mix(kKeys[k].c, kKeys[k + 1].c, (y - kKeys[k].y) / (kKeys[k + 1].y - kKeys[k].y));
        return kKeys[std::size(kKeys) - 1].c;
    };
    constexpr int kSlices = 16;
    XFrame f = Framed("Sky", 0.0f, {0, 0, 0});
    MeshBuilder ring("SkyRing");
    constexpr int kAround = kSymmetry * kSlices;
    std::vector<std::vector<uint32_t>> corner(std::size(kBands));
    for (size_t k = 0; k < std::size(kBands); ++k)
        for (int j = 0; j < kAround; ++j) {
            Vec3 p = Polar(kSkyRadius, kSector * float(j) / kSlices);
            corner[k].push_back(ring.AddVertex({p.x, kBands[k], p.z}));
        }
    std::vector<XMaterialUse> bands;
    for (size_t k = 0; k + 1 < std::size(kBands); ++k) {
        XMaterial m = Glow("Sky" + std::to_string(k), colourAt((kBands[k] + kBands[k + 1]) / 2));
        bands.push_back(Inline(k == 0 ? Untextured(m) : m));
        for (int j = 0; j < kAround; ++j) {
            const size_t a = size_t(j), c = size_t((j + 1) % kAround);
            Vec3 mid = Polar(kSkyRadius, kSector * (float(j) + 0.5f) / kSlices);
            ring.AddFace({corner[k + 1][a], corner[k + 1][c], corner[k][c], corner[k][a]}, FlatOut(mid, {}),
                         uint32_t(k));
        }
    }
    f.meshes.push_back(ring.ToX(false, false, std::move(bands)));

    // Skyline blocks of a sector: start and width in degrees, height.
    struct Tower {
        float start, width, height;
    };
    static const Tower kNear[] = {{0, 4, 40},    {4.5f, 3, 70},   {8, 5, 30},     {13.5f, 2.5f, 96}, {16.5f, 4, 55},
                                  {21, 6, 34},   {27.5f, 3, 82},  {31, 4, 46},    {35.5f, 2, 112},   {38, 5, 60},
                                  {43.5f, 4, 38}, {48, 3, 76},    {51.5f, 5, 50}, {57, 2.5f, 88}};
    static const Tower kFar[] = {{2, 6, 74},   {9, 4, 118},  {14, 7, 86},  {22, 5, 132},
                                 {28, 8, 92},  {37, 4, 150}, {42, 7, 98},  {50, 6, 124}};
    MeshBuilder skyline("Skyline");
    auto add = [&](const Tower* list, size_t n, float radius, uint32_t material) {
        for (int s = 0; s < kSymmetry; ++s)
            for (size_t i = 0; i < n; ++i) {
                const float a0 = kSector * float(s) + list[i].start * kPi / 180;
                const float a1 = a0 + list[i].width * kPi / 180;
                Vec3 p0 = Polar(radius, a0), p1 = Polar(radius, a1);
                skyline.AddPolygon({{p0.x, list[i].height, p0.z}, {p1.x, list[i].height, p1.z}, {p1.x, 0, p1.z},
                                    {p0.x, 0, p0.z}},
                                   {}, FlatOut((p0 + p1) * 0.5f, {}), material);
            }
    };
    add(kNear, std::size(kNear), kSkyRadius - 50, 0);
    add(kFar, std::size(kFar), kSkyRadius - 25, 1);
    f.meshes.push_back(skyline.ToX(true, false,
                                   {Inline(Untextured(Glow("SkylineNear", {0.14f, 0.13f, 0.27f}))),
                                    Inline(Glow("SkylineFar", {0.40f, 0.30f, 0.46f}))}));
    return f;
}

}  // namespace

XScene BuildCity() {
    XScene scene;
    scene.materials.push_back(Roof("Concrete", {0.62f, 0.64f, 0.72f}));
    scene.materials.push_back(Roof("Slate", {0.40f, 0.42f, 0.62f}));

    // The demo draws the scene moved 120 units away from the point its
    // camera circles; move the city back so that point is its centre.
    XFrame city = Framed("City", 0.0f, {0, 0, 120});
    XFrame buildings;
    buildings.name = "Buildings";
    buildings.frames.push_back(MakeTower());
    for (int d = 0; d < kSymmetry; ++d) buildings.frames.push_back(MakeDistrict(d));
    city.frames.push_back(std::move(buildings));
    // Drawn in this order: the square's paving binds a texture of its own,
    // which stays bound for what follows, so the untextured ground, sky and
    // glass come after every facade.
    city.frames.push_back(MakeTrees());
    city.frames.push_back(MakeSquare());
    city.frames.push_back(MakeGround());
    city.frames.push_back(MakeSky());
    scene.frames.push_back(std::move(city));
    return scene;
}

}  // namespace make_scene
