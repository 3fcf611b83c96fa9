// A second opinion on the file forms: an independent X-file reader (assimp)
// reads every form of the city with the same faces and the paving texture.
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include <assimp/Importer.hpp>
#include <assimp/material.h>
#include <assimp/scene.h>
#include <gtest/gtest.h>

#include "city.h"
#include "x_model.h"

namespace {

namespace fs = std::filesystem;

size_t CountFaces(const make_scene::XFrame& f) {
    size_t n = 0;
    for (const auto& m : f.meshes) n += m.faces.size();
    for (const auto& c : f.frames) n += CountFaces(c);
    return n;
}

TEST(IndependentReader, ReadsEveryFormOfTheCity) {
    make_scene::XScene scene = make_scene::BuildCity();
    size_t faces = 0;
    for (const auto& f : scene.frames) faces += CountFaces(f);

    std::random_device rd;
    fs::path dir = fs::temp_directory_path() / ("sombrella_assimp_" + std::to_string(rd()));
    fs::create_directories(dir);
    std::string text = make_scene::WriteText(scene);
    std::vector<uint8_t> bin = make_scene::WriteBinary(scene), zip = make_scene::WriteCompressed(scene);
    struct Form {
        const char* name;
        std::string bytes;
    } forms[] = {{"text.x", text},
                 {"binary.x", std::string(bin.begin(), bin.end())},
                 {"compressed.x", std::string(zip.begin(), zip.end())}};
    for (const Form& form : forms) {
        fs::path path = dir / form.name;
        std::ofstream(path, std::ios::binary).write(form.bytes.data(), std::streamsize(form.bytes.size()));
        Assimp::Importer importer;
        const aiScene* read = importer.ReadFile(path.string(), 0);
        ASSERT_NE(read, nullptr) << form.name << ": " << importer.GetErrorString();
        size_t readFaces = 0;
        for (unsigned m = 0; m < read->mNumMeshes; ++m) readFaces += read->mMeshes[m]->mNumFaces;
        EXPECT_EQ(readFaces, faces) << form.name;
        bool paving = false;
        for (unsigned m = 0; m < read->mNumMaterials; ++m) {
            aiString file;
            if (read->mMaterials[m]->GetTexture(aiTextureType_DIFFUSE, 0, &file) == AI_SUCCESS &&
                std::string(file.C_Str()) == make_scene::kPavingTexture)
                paving = true;
        }
        EXPECT_TRUE(paving) << form.name;
    }
    std::error_code ec;
    fs::remove_all(dir, ec);
}

}  // namespace
