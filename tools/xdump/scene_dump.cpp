// Formats a scene tree as indented text or as JSON. Floats are printed with
// nine significant digits so that equal trees give equal dumps and unequal
// floats never print alike.
#include "scene_dump.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "dxfile.h"

namespace xdump {
namespace {

std::string Float(float f, bool json) {
    if (std::isnan(f)) return json ? "null" : "nan";
    if (std::isinf(f)) return json ? "null" : (f > 0 ? "inf" : "-inf");
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.9g", static_cast<double>(f));
    return buffer;
}

std::string Floats(const float* values, int count, bool json) {
    std::string out;
    for (int i = 0; i < count; ++i) {
        if (i > 0) out += json ? "," : " ";
        out += Float(values[i], json);
    }
    return out;
}

std::string Quoted(const char* text) {
    std::string out = "\"";
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p != 0; ++p) {
        if (*p == '"' || *p == '\\') {
            out += '\\';
            out += static_cast<char>(*p);
        } else if (*p < 0x20 || *p >= 0x7F) {
            char buffer[8];
            std::snprintf(buffer, sizeof buffer, "\\u%04x", *p);
            out += buffer;
        } else {
            out += static_cast<char>(*p);
        }
    }
    return out + "\"";
}

// One row of the matrix by its named cells, which every header has.
struct MatrixRow {
    float cells[4];
};
MatrixRow Row(const Matrix4& m, int r) {
    const float all[16] = {m._11, m._12, m._13, m._14, m._21, m._22, m._23, m._24,
                           m._31, m._32, m._33, m._34, m._41, m._42, m._43, m._44};
    return {{all[4 * r], all[4 * r + 1], all[4 * r + 2], all[4 * r + 3]}};
}

uint32_t StoredIndices(const SceneNode& node) {
    uint64_t sum = 0;
    for (uint32_t s = 0; s < SceneNode::kMaxSlots; ++s) sum += node.slots[s].indexCount;
    return sum > node.indexCount ? node.indexCount : static_cast<uint32_t>(sum);
}

const float* ColourOf(const D3DCOLORVALUE& c) { return &c.r; }

void TextNode(const SceneNode& node, int depth, const DumpOptions& options, std::string& out) {
    std::string pad(static_cast<size_t>(depth) * 2, ' ');
    if (!node.isMesh) {
        out += pad + "frame " + Quoted(node.name) + "\n";
        for (int r = 0; r < 4; ++r) out += pad + "  matrix " + Floats(Row(node.matrix, r).cells, 4, false) + "\n";
    } else {
        uint32_t stored = StoredIndices(node);
        out += pad + "mesh " + Quoted(node.name) + "\n";
        out += pad + "  vertices " + std::to_string(node.vertexCount) + " triangles " + std::to_string(stored / 3) +
               " indices " + std::to_string(stored) + " capacity " + std::to_string(node.indexCount) + "\n";
        out += pad + "  translucent " + std::to_string(node.isTranslucent) + " usedSlots " +
               std::to_string(node.usedSlotCount) + "\n";
        for (int r = 0; r < 4; ++r) out += pad + "  matrix " + Floats(Row(node.matrix, r).cells, 4, false) + "\n";
        for (uint32_t s = 0; s < SceneNode::kMaxSlots; ++s) {
            const MeshMaterialSlot& slot = node.slots[s];
            bool blank = slot.indexCount == 0 && slot.textureName[0] == '\0';
            if (blank) {
                static const Material zero{};
                if (std::memcmp(&slot.material, &zero, sizeof zero) == 0 && s >= node.usedSlotCount) continue;
            }
            const Material& m = slot.material;
            out += pad + "  slot " + std::to_string(s) + " indices " + std::to_string(slot.indexCount) +
                   " texture " + Quoted(slot.textureName) + "\n";
            out += pad + "    diffuse " + Floats(ColourOf(m.diffuse), 4, false) + "\n";
            out += pad + "    ambient " + Floats(ColourOf(m.ambient), 4, false) + "\n";
            out += pad + "    specular " + Floats(ColourOf(m.specular), 4, false) + "\n";
            out += pad + "    emissive " + Floats(ColourOf(m.emissive), 4, false) + "\n";
            out += pad + "    power " + Float(m.power, false) + "\n";
        }
        if (options.vertices && node.vertices != nullptr) {
            for (uint32_t i = 0; i < node.vertexCount; ++i)
                out += pad + "  v " + std::to_string(i) + " " + Floats(&node.vertices[i].x, 8, false) + "\n";
            for (uint32_t t = 0; t + 3 <= stored && node.indices != nullptr; t += 3)
                out += pad + "  t " + std::to_string(node.indices[t]) + " " + std::to_string(node.indices[t + 1]) +
                       " " + std::to_string(node.indices[t + 2]) + "\n";
        }
    }
    for (const SceneNode* child = node.firstChild; child != nullptr; child = child->nextSibling)
        TextNode(*child, depth + 1, options, out);
}

void JsonNode(const SceneNode& node, const DumpOptions& options, std::string& out) {
    out += "{\"kind\":";
    out += node.isMesh ? "\"mesh\"" : "\"frame\"";
    out += ",\"name\":" + Quoted(node.name);
    out += ",\"matrix\":[" + Floats(&node.matrix._11, 16, true) + "]";
    if (node.isMesh) {
        uint32_t stored = StoredIndices(node);
        out += ",\"vertexCount\":" + std::to_string(node.vertexCount);
        out += ",\"triangleCount\":" + std::to_string(stored / 3);
        out += ",\"indexCount\":" + std::to_string(stored);
        out += ",\"indexCapacity\":" + std::to_string(node.indexCount);
        out += ",\"usedSlotCount\":" + std::to_string(node.usedSlotCount);
        out += ",\"translucent\":";
        out += node.isTranslucent ? "true" : "false";
        out += ",\"slots\":[";
        for (uint32_t s = 0; s < SceneNode::kMaxSlots; ++s) {
            const MeshMaterialSlot& slot = node.slots[s];
            const Material& m = slot.material;
            if (s > 0) out += ",";
            out += "{\"indexCount\":" + std::to_string(slot.indexCount);
            out += ",\"textureName\":" + Quoted(slot.textureName);
            out += ",\"diffuse\":[" + Floats(ColourOf(m.diffuse), 4, true) + "]";
            out += ",\"ambient\":[" + Floats(ColourOf(m.ambient), 4, true) + "]";
            out += ",\"specular\":[" + Floats(ColourOf(m.specular), 4, true) + "]";
            out += ",\"emissive\":[" + Floats(ColourOf(m.emissive), 4, true) + "]";
            out += ",\"power\":" + Float(m.power, true) + "}";
        }
        out += "]";
        if (options.vertices && node.vertices != nullptr) {
            out += ",\"vertices\":[";
            for (uint32_t i = 0; i < node.vertexCount; ++i) {
                if (i > 0) out += ",";
                out += "[" + Floats(&node.vertices[i].x, 8, true) + "]";
            }
            out += "],\"indices\":[";
            for (uint32_t t = 0; t < stored && node.indices != nullptr; ++t) {
                if (t > 0) out += ",";
                out += std::to_string(node.indices[t]);
            }
            out += "]";
        }
    }
    out += ",\"children\":[";
    bool first = true;
    for (const SceneNode* child = node.firstChild; child != nullptr; child = child->nextSibling) {
        if (!first) out += ",";
        first = false;
        JsonNode(*child, options, out);
    }
    out += "]}";
}

}  // namespace

std::string DumpScene(const SceneFile& scene, const DumpOptions& options) {
    std::string out;
    if (options.json) {
        out = "{\"root\":";
        if (scene.root == nullptr)
            out += "null";
        else
            JsonNode(*scene.root, options, out);
        out += "}\n";
        return out;
    }
    if (scene.root == nullptr) return "empty\n";
    for (const SceneNode* node = scene.root; node != nullptr; node = node->nextSibling)
        TextNode(*node, 0, options, out);
    return out;
}

const char* DescribeResult(long code) {
    switch (static_cast<HRESULT>(code)) {
    case S_OK: return "success";
    case E_FAIL: return "the X-file services could not be started";
    case E_INVALIDARG: return "invalid argument";
    case E_OUTOFMEMORY: return "out of memory";
    case DXFILEERR_FILENOTFOUND: return "file not found";
    case DXFILEERR_BADFILETYPE: return "not an X file";
    case DXFILEERR_BADFILEVERSION: return "unsupported X-file version";
    case DXFILEERR_BADFILEFLOATSIZE: return "unsupported float size";
    case DXFILEERR_BADFILECOMPRESSIONTYPE: return "unsupported compression";
    case DXFILEERR_BADFILE: return "corrupt file";
    case DXFILEERR_PARSEERROR: return "parse error";
    case DXFILEERR_NOTEMPLATE: return "data object of an unknown template";
    case DXFILEERR_BADARRAYSIZE: return "bad array size";
    case DXFILEERR_BADDATAREFERENCE: return "unresolved data reference";
    case DXFILEERR_BADVALUE: return "bad value";
    case DXFILEERR_BADALLOC: return "allocation failed in the X-file services";
    case DXFILEERR_NOTFOUND: return "not found";
    case DXFILEERR_INTERNALERROR: return "internal error of the X-file services";
    default: return "load failed";
    }
}

}  // namespace xdump
