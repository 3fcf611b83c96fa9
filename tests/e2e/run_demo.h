// Runs the real demo binary in a folder of its own, headless, and collects
// what it left: exit status, standard error, captured frames.
#pragma once

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace e2e {

struct Run {
    int exitStatus = -1;  // -1: did not exit normally
    std::string errors;   // standard error
    std::string output;   // standard output
};

// What else a run gets besides its environment.
struct Extra {
    std::vector<std::string> args;  // the command line
    long fileSizeLimit = 0;         // bytes a file may grow to (RLIMIT_FSIZE); 0: none
};

// A fresh empty folder under the test temp dir.
std::filesystem::path FreshDir(const std::string& name);
// Copies a file from the build's run folder (zel.xm, vo.x, building.bmp ...).
bool CopyData(const std::string& file, const std::filesystem::path& dir);
// Runs `sombrella` (or the given program) in dir with SDL's dummy drivers and
// the given extra environment (an empty value unsets the variable); kills it
// after timeoutSeconds.
Run RunDemo(const std::filesystem::path& dir, const std::vector<std::pair<std::string, std::string>>& env,
            int timeoutSeconds = 120, const std::string& program = "", const Extra& extra = {});

}  // namespace e2e
