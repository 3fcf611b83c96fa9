// The viewer's options: what each turns into, and what is refused.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "common/options.h"

namespace {

using sombrella::options::Parse;
using sombrella::options::Parsed;
using Action = Parsed::Action;

std::map<std::string, std::string> g_env;

const char* FakeGetenv(const char* name) {
    auto it = g_env.find(name);
    return it == g_env.end() ? nullptr : it->second.c_str();
}

Parsed ParseArgs(std::vector<const char*> args, std::map<std::string, std::string> env = {}) {
    g_env = std::move(env);
    args.insert(args.begin(), "sombrella");
    return Parse(static_cast<int>(args.size()), args.data(), &FakeGetenv);
}

// The environment as it is after the settings are applied in order.
std::map<std::string, std::string> Applied(const Parsed& p) {
    std::map<std::string, std::string> out = g_env;
    for (const auto& [k, v] : p.env) out[k] = v;
    return out;
}

TEST(Options, EachOptionSetsItsEnvironmentForm) {
    const Parsed p = ParseArgs({"--windowed", "--scale", "3", "--filter=point", "--integer", "--aa", "4", "--fps", "50",
                          "--quit-after", "30"});
    ASSERT_EQ(p.action, Action::Run) << p.error;
    auto env = Applied(p);
    EXPECT_EQ(env["SOMBRELLA_WINDOWED"], "1");
    EXPECT_EQ(env["SOMBRELLA_SCALE"], "3");
    EXPECT_EQ(env["SOMBRELLA_FILTER"], "point");
    EXPECT_EQ(env["SOMBRELLA_INTEGER"], "1");
    EXPECT_EQ(env["SOMBRELLA_AA"], "4");
    EXPECT_EQ(env["SOMBRELLA_REFRESH_HZ"], "50");
    EXPECT_EQ(env["SOMBRELLA_QUIT_AFTER_FRAMES"], "30");
    EXPECT_EQ(Applied(ParseArgs({"--fullscreen"}))["SOMBRELLA_WINDOWED"], "0");
}

TEST(Options, TheOptionWinsOverItsEnvironmentForm) {
    auto env = Applied(ParseArgs({"--scale", "2", "--fullscreen"}, {{"SOMBRELLA_SCALE", "4"}, {"SOMBRELLA_WINDOWED", "1"}}));
    EXPECT_EQ(env["SOMBRELLA_SCALE"], "2");
    EXPECT_EQ(env["SOMBRELLA_WINDOWED"], "0");
    // Without the option the environment stands.
    EXPECT_EQ(Applied(ParseArgs({}, {{"SOMBRELLA_SCALE", "4"}}))["SOMBRELLA_SCALE"], "4");
}

TEST(Options, EnhancedIsAPresetThatExplicitSettingsOverride) {
    auto env = Applied(ParseArgs({"--enhanced"}));
    EXPECT_EQ(env["SOMBRELLA_SCALE"], "native");
    EXPECT_EQ(env["SOMBRELLA_AA"], "4");
    env = Applied(ParseArgs({"--enhanced", "--scale", "2"}));
    EXPECT_EQ(env["SOMBRELLA_SCALE"], "2");
    EXPECT_EQ(env["SOMBRELLA_AA"], "4");
    // The preset from the environment yields to the environment's own scale,
    // the command line's preset does not.
    EXPECT_EQ(Applied(ParseArgs({}, {{"SOMBRELLA_ENHANCED", "1"}, {"SOMBRELLA_SCALE", "2"}}))["SOMBRELLA_SCALE"], "2");
    EXPECT_EQ(Applied(ParseArgs({"--enhanced"}, {{"SOMBRELLA_SCALE", "2"}}))["SOMBRELLA_SCALE"], "native");
    EXPECT_EQ(Applied(ParseArgs({}, {{"SOMBRELLA_ENHANCED", "0"}})).count("SOMBRELLA_AA"), 0u);
}

TEST(Options, MipmapsAreOptInAndPartOfThePreset) {
    EXPECT_EQ(Applied(ParseArgs({})).count("SOMBRELLA_MIPMAPS"), 0u);
    EXPECT_EQ(Applied(ParseArgs({"--mipmaps"}))["SOMBRELLA_MIPMAPS"], "1");
    EXPECT_EQ(Applied(ParseArgs({"--mipmaps", "--no-mipmaps"}))["SOMBRELLA_MIPMAPS"], "0");
    EXPECT_EQ(Applied(ParseArgs({"--enhanced"}))["SOMBRELLA_MIPMAPS"], "1");
    EXPECT_EQ(Applied(ParseArgs({}, {{"SOMBRELLA_ENHANCED", "1"}}))["SOMBRELLA_MIPMAPS"], "1");
    // An explicit "off" wins over the preset, in either order, at the preset's level or above.
    EXPECT_EQ(Applied(ParseArgs({"--no-mipmaps", "--enhanced"}))["SOMBRELLA_MIPMAPS"], "0");
    EXPECT_EQ(Applied(ParseArgs({"--enhanced", "--no-mipmaps"}))["SOMBRELLA_MIPMAPS"], "0");
    EXPECT_EQ(Applied(ParseArgs({}, {{"SOMBRELLA_ENHANCED", "1"}, {"SOMBRELLA_MIPMAPS", "0"}}))["SOMBRELLA_MIPMAPS"],
              "0");
    EXPECT_EQ(Applied(ParseArgs({"--enhanced"}, {{"SOMBRELLA_MIPMAPS", "0"}}))["SOMBRELLA_MIPMAPS"], "1");
    // Mipmaps alone leave the size and sampling as they are.
    const auto env = Applied(ParseArgs({"--mipmaps"}));
    EXPECT_EQ(env.count("SOMBRELLA_SCALE") + env.count("SOMBRELLA_AA"), 0u);
    EXPECT_EQ(ParseArgs({"--mipmaps=1"}).action, Action::Error);
}

TEST(Options, RecordingRunsOnTheVirtualClockUnpacedInAWindow) {
    auto env = Applied(ParseArgs({"--record", "a.mp4", "--fps", "30"}));
    EXPECT_EQ(env["SOMBRELLA_RECORD"], "a.mp4");
    EXPECT_EQ(env["SOMBRELLA_FIXED_STEP_HZ"], "30");
    EXPECT_EQ(env["SOMBRELLA_REFRESH_HZ"], "0");
    EXPECT_EQ(env["SOMBRELLA_WINDOWED"], "1");
    env = Applied(ParseArgs({}, {{"SOMBRELLA_RECORD", "a.mkv"}}));
    EXPECT_EQ(env["SOMBRELLA_FIXED_STEP_HZ"], "60");
    // An unpaced run's rate of 0 is no video rate.
    env = Applied(ParseArgs({"--record", "a.mkv"}, {{"SOMBRELLA_REFRESH_HZ", "0"}}));
    EXPECT_EQ(env["SOMBRELLA_FIXED_STEP_HZ"], "60");
    EXPECT_EQ(Applied(ParseArgs({"--record", "a.mkv"}, {{"SOMBRELLA_REFRESH_HZ", "25"}}))["SOMBRELLA_FIXED_STEP_HZ"], "25");
    EXPECT_EQ(ParseArgs({"--record", "a.mkv"}, {{"SOMBRELLA_FIXED_STEP_HZ", "0"}}).action, Action::Error);
    env = Applied(ParseArgs({"--record", "a.mkv", "--fullscreen"}, {{"SOMBRELLA_FIXED_STEP_HZ", "25"}}));
    EXPECT_EQ(env["SOMBRELLA_FIXED_STEP_HZ"], "25");
    EXPECT_EQ(env["SOMBRELLA_WINDOWED"], "0");
}

TEST(Options, BadOptionsAndValuesAreOneLineErrorsNamingThem) {
    const std::vector<std::pair<std::vector<const char*>, std::string>> bad = {
        {{"--bogus"}, "--bogus"},
        {{"-x"}, "-x"},
        {{"file.mp4"}, "file.mp4"},
        {{"--scale"}, "--scale"},
        {{"--scale", "0"}, "--scale"},
        {{"--scale", "9"}, "--scale"},
        {{"--scale", "2.5"}, "--scale"},
        {{"--scale=nat"}, "nat"},
        {{"--filter", "cubic"}, "cubic"},
        {{"--aa", "3"}, "--aa"},
        {{"--fps", "0"}, "--fps"},
        {{"--fps", "60x"}, "--fps"},
        {{"--quit-after", "-1"}, "--quit-after"},
        {{"--record-size", "1920"}, "--record-size"},
        {{"--record-size", "1921x1080"}, "--record-size"},
        {{"--record-size", "0x0"}, "--record-size"},
        {{"--record="}, "--record"},
        {{"--windowed=1"}, "--windowed"},
    };
    for (const auto& [args, named] : bad) {
        const Parsed p = ParseArgs(args);
        EXPECT_EQ(p.action, Action::Error) << args[0];
        EXPECT_NE(p.error.find(named), std::string::npos) << p.error;
        EXPECT_EQ(p.error.find('\n'), std::string::npos) << p.error;
        EXPECT_TRUE(p.env.empty());
    }
    // The environment forms of the new knobs are checked too.
    const Parsed p = ParseArgs({}, {{"SOMBRELLA_FILTER", "nearest"}});
    EXPECT_EQ(p.action, Action::Error);
    EXPECT_NE(p.error.find("SOMBRELLA_FILTER"), std::string::npos);
    // A valid option covers a bad environment value of its own.
    EXPECT_EQ(ParseArgs({"--filter", "point"}, {{"SOMBRELLA_FILTER", "nearest"}}).action, Action::Run);
}

TEST(Options, HelpAndVersionStopBeforeAnythingElse) {
    EXPECT_EQ(ParseArgs({"--scale", "2", "--help", "--bogus"}).action, Action::Help);
    EXPECT_EQ(ParseArgs({"--version"}).action, Action::Version);
    const std::string help = sombrella::options::HelpText();
    EXPECT_EQ(help.rfind(sombrella::options::UsageLine(), 0), 0u);
    for (const char* word : {"--windowed", "--fullscreen", "--scale", "--filter", "--integer", "--aa", "--enhanced", "--mipmaps", "--no-mipmaps", "SOMBRELLA_MIPMAPS",
                             "--record", "--record-size", "--fps", "--quit-after", "SOMBRELLA_FIXED_STEP_HZ",
                             "SOMBRELLA_CAPTURE_DIR", "SOMBRELLA_CAPTURE_FRAMES", "SOMBRELLA_DXSDK_SAMPLES_PATH",
                             "SOMBRELLA_FRAME_LOG", "SOMBRELLA_RASTER_THREADS", "SOMBRELLA_NO_DIALOGS",
                             "SOMBRELLA_SCALE", "SOMBRELLA_RECORD_SIZE", "default"})
        EXPECT_NE(help.find(word), std::string::npos) << word;
}

}  // namespace
