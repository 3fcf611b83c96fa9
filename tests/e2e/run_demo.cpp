#include "run_demo.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
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
            const std::string& program, const Extra& extra) {
    const std::string exe = program.empty() ? std::string(SOMBRELLA_BIN_DIR) + "/sombrella" : program;
    const fs::path errPath = dir / "stderr.txt", outPath = dir / "stdout.txt";
    std::vector<std::string> argStore = extra.args;
    argStore.insert(argStore.begin(), exe);
    std::vector<char*> argv;
    for (std::string& a : argStore) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        if (chdir(dir.c_str()) != 0) _exit(127);
        int fd = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd >= 0) dup2(fd, 2);
        int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out >= 0) dup2(out, 1);
        if (extra.fileSizeLimit > 0) {
            // Writes past the limit fail with EFBIG, as on a full disk.
            signal(SIGXFSZ, SIG_IGN);
            rlimit lim{static_cast<rlim_t>(extra.fileSizeLimit), static_cast<rlim_t>(extra.fileSizeLimit)};
            setrlimit(RLIMIT_FSIZE, &lim);
        }
        setenv("SDL_VIDEODRIVER", "dummy", 1);
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        // An empty value removes the variable (a run with no driver chosen).
        for (const auto& [k, v] : env) v.empty() ? unsetenv(k.c_str()) : setenv(k.c_str(), v.c_str(), 1);
        execv(exe.c_str(), argv.data());
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
    auto slurp = [](const fs::path& p) {
        std::ifstream in(p);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    };
    run.errors = slurp(errPath);
    run.output = slurp(outPath);
    return run;
}

}  // namespace e2e
