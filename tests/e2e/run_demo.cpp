#include "run_demo.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

namespace e2e {

namespace fs = std::filesystem;

fs::path FreshDir(const std::string& name) {
    fs::path dir = fs::temp_directory_path() / ("sombrella_e2e_" + std::to_string(getpid()) + "_" + name);
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

bool CopyData(const std::string& file, const fs::path& dir) {
    std::error_code ec;
    fs::copy_file(fs::path(SOMBRELLA_BIN_DIR) / file, dir / file, fs::copy_options::overwrite_existing, ec);
    return !ec;
}

Run RunDemo(const fs::path& dir, const std::vector<std::pair<std::string, std::string>>& env, int timeoutSeconds,
            const std::string& program) {
    const std::string exe = program.empty() ? std::string(SOMBRELLA_BIN_DIR) + "/sombrella" : program;
    const fs::path errPath = dir / "stderr.txt";
    pid_t pid = fork();
    if (pid == 0) {
        if (chdir(dir.c_str()) != 0) _exit(127);
        int fd = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd >= 0) dup2(fd, 2);
        setenv("SDL_VIDEODRIVER", "dummy", 1);
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        for (const auto& [k, v] : env) setenv(k.c_str(), v.c_str(), 1);
        execl(exe.c_str(), exe.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    Run run;
    if (pid < 0) return run;
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            run.errors = "timed out";
            return run;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (WIFEXITED(status)) run.exitStatus = WEXITSTATUS(status);
    std::ifstream in(errPath);
    std::stringstream ss;
    ss << in.rdbuf();
    run.errors = ss.str();
    return run;
}

}  // namespace e2e
