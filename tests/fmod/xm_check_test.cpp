// The structural check that keeps cut-off or inflated XM files away from
// the player.
#include "fmod/xm_check.h"

#include <gtest/gtest.h>

#include "test_env.h"
#include "wav_file.h"

namespace {

using sombrella::fmod::LooksLikeXm;
using sombrella::fmod::XmIsComplete;

class XmCheck : public ::testing::Test {
protected:
    void SetUp() override {
        zel = ReadBytes(ZelPath());
        ASSERT_GT(zel.size(), 336u);
    }
    bool Complete(const std::vector<unsigned char>& b) { return XmIsComplete(b.data(), b.size()); }
    void Put16(size_t at, unsigned v) {
        zel[at] = static_cast<unsigned char>(v);
        zel[at + 1] = static_cast<unsigned char>(v >> 8);
    }
    std::vector<unsigned char> zel;
};

TEST_F(XmCheck, TheGeneratedModuleIsCompleteAndAnyCutIsNot) {
    EXPECT_TRUE(LooksLikeXm(zel.data(), zel.size()));
    EXPECT_TRUE(Complete(zel));
    // Every prefix is missing something the header promised.
    for (size_t size = 0; size < zel.size(); size += 331)
        ASSERT_FALSE(XmIsComplete(zel.data(), size)) << size << " bytes";
    EXPECT_FALSE(XmIsComplete(zel.data(), zel.size() - 1));
}

TEST_F(XmCheck, TrailingBytesAreHarmless) {
    zel.insert(zel.end(), 100, 0xEE);
    EXPECT_TRUE(Complete(zel));
}

TEST_F(XmCheck, CountsBeyondTheFormatsLimitsAreRefused) {
    auto patterns = zel;
    patterns[70] = 0x01, patterns[71] = 0x01;  // 257 patterns
    EXPECT_FALSE(Complete(patterns));
    auto instruments = zel;
    instruments[72] = 129, instruments[73] = 0;
    EXPECT_FALSE(Complete(instruments));
    auto header = zel;
    header[60] = 4, header[61] = header[62] = header[63] = 0;  // header too small for its own fields
    EXPECT_FALSE(Complete(header));
    auto huge = zel;
    huge[60] = huge[61] = huge[62] = huge[63] = 0xFF;  // points far past the end
    EXPECT_FALSE(Complete(huge));
}

TEST_F(XmCheck, OlderLayoutsAreLeftToThePlayer) {
    Put16(58, 0x0103);
    EXPECT_TRUE(Complete(zel));
    EXPECT_FALSE(XmIsComplete(zel.data(), 40)) << "but the version itself must be there";
}

TEST_F(XmCheck, SignatureIgnoresCase) {
    const char lower[] = "extended module: ";
    EXPECT_TRUE(LooksLikeXm(reinterpret_cast<const unsigned char*>(lower), 17));
    EXPECT_FALSE(LooksLikeXm(reinterpret_cast<const unsigned char*>(lower), 16));
    EXPECT_FALSE(LooksLikeXm(nullptr, 100));
    const char other[] = "IMPM module file ";
    EXPECT_FALSE(LooksLikeXm(reinterpret_cast<const unsigned char*>(other), 17));
}

}  // namespace
