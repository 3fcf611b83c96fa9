// Writes the seed corpora of the X-file fuzzers: a small scene with
// templates, references and strings in each format, prefixed by the
// fuzzers' variant byte.
#include <cstdio>
#include <string>
#include <vector>

#include "dxfile/xfile_writer.h"
#include "rmxftmpl.h"

namespace {

const char* kScene =
    "xof 0302txt 0032\n"
    "template Pair { <01234567-89AB-CDEF-0123-456789ABCDEF> WORD a; array CHAR b[2]; STRING s; [...] }\n"
    "Header { 1; 0; 1; }\n"
    "Material A { 1;0;0;0.5;; 12.5; 0.25;0.5;0.75;; 0;0.1;0.2;; TextureFilename { \"wall.bmp\"; } }\n"
    "Frame F <11111111-2222-3333-4444-555566667777> {\n"
    "  FrameTransformMatrix { 1,0,0,0,0,1,0,0,0,0,1,0,10,20,30,1;; }\n"
    "  Mesh M { 4; 0;0;0;,1;0;0;,1;1;0;,0;1;0;; 2; 4;0,1,2,3;, 3;0,2,3;;\n"
    "    MeshNormals { 1; 0;0;1;; 1; 3;0,0,0;; }\n"
    "    MeshTextureCoords { 4; 0;0;,1;0;,1;1;,0;1;; }\n"
    "    MeshMaterialList { 2; 2; 0,1;; { A } { <11111111-2222-3333-4444-555566667777> } }\n"
    "  }\n"
    "  Pair { 1; 2,3; \"x\"; }\n"
    "}\n";

bool Write(const std::string& path, uint8_t variant, const std::vector<uint8_t>& file) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    std::fputc(variant, f);
    std::fwrite(file.data() + 16, 1, file.size() - 16, f);
    return std::fclose(f) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s text_dir binary_dir compressed_dir\n", argv[0]);
        return 2;
    }
    std::string t = argv[1], b = argv[2], c = argv[3];
    std::vector<uint8_t> text(kScene, kScene + std::string(kScene).size());
    std::vector<uint8_t> bin;
    if (FAILED(dxfile::TextToBinary(kScene, bin))) return 1;
    std::vector<uint8_t> templates(D3DRM_XTEMPLATES, D3DRM_XTEMPLATES + D3DRM_XTEMPLATE_BYTES);
    bool ok = Write(t + "/scene", 0, text) && Write(b + "/scene", 0, bin) && Write(b + "/templates", 1, templates) &&
              Write(c + "/scene_text", 0, dxfile::CompressXFile(text, 200)) &&
              Write(c + "/scene_binary", 2, dxfile::CompressXFile(bin, 300)) &&
              Write(c + "/templates", 3, dxfile::CompressXFile(templates));
    return ok ? 0 : 1;
}
