// The real binary against hostile data files: a FIFO or a directory under a
// data file's name must neither block nor crash start-up; the run goes on as
// it would without that file.
#include <sys/stat.h>

#include <cstdlib>

#include <gtest/gtest.h>

#include "run_demo.h"

namespace fs = std::filesystem;

namespace {

fs::path FullDir(const std::string& name) {
    fs::path dir = e2e::FreshDir(name);
    for (const char* f : {"zel.xm", "vo.x", "building.bmp", "plaza.tga"}) e2e::CopyData(f, dir);
    return dir;
}

struct Case {
    const char* file;
    int exitStatus;
    const char* message;  // expected on stderr, or nullptr
};

TEST(HostileFiles, FifosAndDirectoriesUnderDataFileNamesNeverBlock) {
    const Case cases[] = {
        {"vo.x", 0, "Error Loading Direct3D X File"},
        {"building.bmp", 0, nullptr},
        {"zel.xm", 1, nullptr},
        {"plaza.tga", 0, nullptr},
    };
    for (const Case& c : cases) {
        for (const bool fifo : {true, false}) {
            SCOPED_TRACE(std::string(c.file) + (fifo ? " as a FIFO" : " as a directory"));
            fs::path dir = FullDir(std::string("hostile_") + (fifo ? "fifo_" : "dir_") + c.file);
            fs::remove(dir / c.file);
            if (fifo)
                ASSERT_EQ(mkfifo((dir / c.file).c_str(), 0644), 0);
            else
                fs::create_directory(dir / c.file);
            // Nobody ever writes to the FIFO: an open that waits would time out.
            const e2e::Run run = e2e::RunDemo(dir, {{"SOMBRELLA_QUIT_AFTER_FRAMES", "3"}}, 60);
            EXPECT_NE(run.errors, "timed out");
            EXPECT_EQ(run.exitStatus, c.exitStatus) << run.errors;
            if (c.message) {
                EXPECT_NE(run.errors.find(c.message), std::string::npos) << run.errors;
            }
            fs::remove_all(dir);
        }
    }
}

}  // namespace

// No driver chosen and no display or sound card to be had: the run goes on
// headless, and says once which drivers it fell back to.
TEST(HostileFiles, NoReachableDisplaySaysWhichDriversRunOnce) {
    fs::path dir = FullDir("no_display");
    // SDL's real drivers bring in D-Bus, whose client library keeps its
    // allocations to the end; the headless runs check the program's own memory.
    const char* asan = std::getenv("ASAN_OPTIONS");
    const std::string asanOptions = std::string(asan ? asan : "") + (asan && *asan ? ":" : "") + "detect_leaks=0";
    e2e::Run run = e2e::RunDemo(dir, {{"ASAN_OPTIONS", asanOptions},
                                      {"SDL_VIDEODRIVER", ""},
                                      {"SDL_AUDIODRIVER", ""},
                                      {"DISPLAY", ":9973"},
                                      {"WAYLAND_DISPLAY", ""},
                                      {"SOMBRELLA_QUIT_AFTER_FRAMES", "3"}});
    EXPECT_EQ(run.exitStatus, 0) << run.errors;
    const std::string video = "no display could be opened; video driver: ";
    const size_t at = run.errors.find(video);
    ASSERT_NE(at, std::string::npos) << run.errors;
    EXPECT_EQ(run.errors.find(video, at + 1), std::string::npos) << "said twice: " << run.errors;
    // Where a sound card exists the audio line is rightly absent.
    const size_t audio = run.errors.find("audio driver: ");
    if (audio != std::string::npos) {
        EXPECT_EQ(run.errors.find("audio driver: ", audio + 1), std::string::npos);
    }
}
