// Shared set-up for the music tests: scratch folders, the generated module,
// and a clean environment for each test.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

inline std::string ZelPath() { return std::string(SOMBRELLA_RUN_DIR) + "/zel.xm"; }

// A fresh folder per test, removed afterwards.
class ScratchDir {
public:
    ScratchDir() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        path_ = std::filesystem::temp_directory_path() /
                ("sombrella-fmod-" + std::to_string(::getpid()) + "-" + (info ? info->name() : "x"));
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~ScratchDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    std::string File(const std::string& name) const { return (path_ / name).string(); }
    std::string Path() const { return path_.string(); }

private:
    std::filesystem::path path_;
};

// Every test starts without capture knobs and with SDL's dummy audio driver.
class MusicTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::unsetenv("SOMBRELLA_CAPTURE_DIR");
        ::unsetenv("SOMBRELLA_FIXED_STEP_HZ");
        ::setenv("SDL_AUDIODRIVER", "dummy", 1);
    }
    void TearDown() override {
        ::unsetenv("SOMBRELLA_CAPTURE_DIR");
        ::unsetenv("SOMBRELLA_FIXED_STEP_HZ");
    }
};
