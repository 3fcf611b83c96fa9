#include "d3d/raster/texture.h"

#include <gtest/gtest.h>

#include "common/pixel_format.h"

#include <cstring>
#include <vector>

namespace sombrella::d3d::raster {
namespace {

using pixel::Argb8888;

TextureSource Source(const std::vector<uint32_t>& pixels, int w, int h) {
    TextureSource s;
    s.bits = reinterpret_cast<const uint8_t*>(pixels.data());
    s.pitch = w * 4;
    s.width = w;
    s.height = h;
    s.format = Argb8888();
    s.bytesPerPixel = 4;
    return s;
}

TEST(Mipmaps, ChainIsBoxFilteredPerChannelDownToOneTexel) {
    // 4x2: left 2x2 block alternates two colours, right block is uniform.
    const std::vector<uint32_t> px = {0xFF000000, 0x80FFFFFF, 0x10203040, 0x10203040,
                                      0x80FFFFFF, 0xFF000000, 0x10203040, 0x10203040};
    auto img = ConvertTexture(Source(px, 4, 2), true);
    ASSERT_EQ(img->width, 4);
    ASSERT_EQ(img->mips.size(), 2u);  // 2x1, 1x1
    const TexLevel& l1 = img->mips[0];
    EXPECT_EQ(l1.width, 2);
    EXPECT_EQ(l1.height, 1);
    EXPECT_TRUE(l1.pow2);
    EXPECT_EQ(l1.maskX, 1u);
    EXPECT_EQ(l1.shiftX, 1);
    // (255 + 128 + 128 + 255) / 4 = 191.5 -> 192 for alpha; (0 + 255 + 255 + 0) / 4 -> 128.
    EXPECT_EQ(l1.texels[0], 0xC0808080u);
    EXPECT_EQ(l1.texels[1], 0x10203040u);
    const TexLevel& l2 = img->mips[1];
    EXPECT_EQ(l2.width, 1);
    EXPECT_EQ(l2.height, 1);
    // The 1x1 level averages the 2x1 one (a side at 1 stays 1).
    EXPECT_EQ(l2.texels[0], (0x68u << 24) | (0x50u << 16) | (0x58u << 8) | 0x60u);
}

TEST(Mipmaps, OddAndFlatSizesAndNoChainWhenOff) {
    std::vector<uint32_t> px(5 * 3, 0xFF336699u);
    auto img = ConvertTexture(Source(px, 5, 3), true);
    ASSERT_EQ(img->mips.size(), 2u);  // 2x1, 1x1
    EXPECT_EQ(img->mips[0].width, 2);
    EXPECT_EQ(img->mips[0].height, 1);
    EXPECT_FALSE(img->pow2);
    EXPECT_TRUE(img->mips[0].pow2);
    for (const TexLevel& l : img->mips)
        for (uint32_t t : l.texels) EXPECT_EQ(t, 0xFF336699u);
    std::vector<uint32_t> row(16, 0xFF000000u);
    auto flat = ConvertTexture(Source(row, 16, 1), true);
    ASSERT_EQ(flat->mips.size(), 4u);
    EXPECT_EQ(flat->mips.back().width, 1);
    EXPECT_TRUE(ConvertTexture(Source(row, 16, 1), false)->mips.empty());
}

TEST(TextureSource, MissingPixelsAndBadSizesComeOutWhiteNotACrash) {
    TextureSource s;
    s.format = Argb8888();
    s.bytesPerPixel = 4;
    s.width = 4;
    s.height = 4;
    s.pitch = 16;  // no bits
    auto img = ConvertTexture(s, true);
    ASSERT_EQ(img->texels.size(), 16u);
    for (uint32_t t : img->texels) EXPECT_EQ(t, 0xFFFFFFFFu);
    s.width = -3;
    img = ConvertTexture(s, false);
    EXPECT_EQ(img->width, 1);
    EXPECT_EQ(img->texels.size(), 1u);
}

}  // namespace
}  // namespace sombrella::d3d::raster
