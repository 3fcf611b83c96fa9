// sombrella-image end to end: a .bmp through LoadImageA and BitBlt into a PNG.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "bmp_builder.h"

namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> Slurp(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

uint32_t BigEndian(const std::vector<uint8_t>& b, size_t at) {
    return uint32_t{b[at]} << 24 | uint32_t{b[at + 1]} << 16 | uint32_t{b[at + 2]} << 8 | b[at + 3];
}

TEST(ImageTool, WritesAPngOrFailsWithOneLine) {
    const fs::path dir = fs::path(::testing::TempDir()) / ("image_tool_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    bmptest::BmpFile b;
    b.width = 37;
    b.height = 11;
    b.bitsPerPixel = 8;
    b.colorsUsed = 2;
    b.palette = {0xFF0000, 0x00FF00};
    std::vector<uint8_t> idx(37 * 11);
    for (size_t i = 0; i < idx.size(); ++i) idx[i] = i % 3 == 0;
    b.bits = bmptest::PackIndexes(idx, 37, 11, 8);
    const auto bytes = bmptest::Encode(b);
    std::ofstream(dir / "in.bmp", std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));

    const std::string tool = SOMBRELLA_IMAGE_TOOL;
    ASSERT_EQ(std::system((tool + " " + (dir / "in.bmp").string() + " " + (dir / "out.png").string()).c_str()), 0);
    const auto png = Slurp(dir / "out.png");
    ASSERT_GT(png.size(), 24u);
    EXPECT_EQ(std::string(png.begin() + 1, png.begin() + 4), "PNG");
    EXPECT_EQ(BigEndian(png, 16), 37u);  // IHDR width and height
    EXPECT_EQ(BigEndian(png, 20), 11u);

    const std::string err = (dir / "err.txt").string();
    EXPECT_NE(std::system((tool + " " + (dir / "missing.bmp").string() + " " + (dir / "x.png").string() + " 2>" + err).c_str()), 0);
    const auto message = Slurp(err);
    EXPECT_FALSE(message.empty());
    EXPECT_EQ(std::count(message.begin(), message.end(), '\n'), 1);
    EXPECT_FALSE(fs::exists(dir / "x.png"));
    fs::remove_all(dir);
}

}  // namespace
