// The whole demo, unpaced and headless, with its real content: time from
// process start to the first presented frame, frame rate, the slowest frame,
// and peak memory. Frame times come from the platform's frame log.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

uint64_t NowNs() {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
}

}  // namespace

int main(int argc, char** argv) {
    const int frames = argc > 1 ? std::atoi(argv[1]) : 1000;
    const fs::path bin = fs::absolute(fs::path(argv[0])).parent_path();
    const fs::path dir = fs::temp_directory_path() / ("sombrella_bench_demo_" + std::to_string(getpid()));
    fs::create_directories(dir);
    for (const char* f : {"vo.x", "building.bmp", "zel.xm", "plaza.tga"}) {
        std::error_code ec;
        fs::copy_file(bin / f, dir / f, fs::copy_options::overwrite_existing, ec);
    }
    const fs::path log = dir / "frames.log";
    const std::string exe = (bin / "sombrella").string();
    const std::string quit = std::to_string(frames);

    const uint64_t start = NowNs();
    pid_t pid = fork();
    if (pid == 0) {
        if (chdir(dir.c_str()) != 0) _exit(127);
        setenv("SDL_VIDEODRIVER", "dummy", 1);
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        setenv("SOMBRELLA_REFRESH_HZ", "0", 1);
        setenv("SOMBRELLA_QUIT_AFTER_FRAMES", quit.c_str(), 1);
        setenv("SOMBRELLA_FRAME_LOG", log.c_str(), 1);
        execl(exe.c_str(), exe.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    struct rusage usage {};
    wait4(pid, &status, 0, &usage);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "the demo did not run (status %d)\n", status);
        return 1;
    }
    std::vector<uint64_t> t;
    std::ifstream in(log);
    for (unsigned long long v; in >> v;) t.push_back(v);
    fs::remove_all(dir);
    if (t.size() < 2) {
        std::fprintf(stderr, "no frame log\n");
        return 1;
    }
    std::vector<double> gaps;
    for (size_t i = 1; i < t.size(); ++i) gaps.push_back((t[i] - t[i - 1]) / 1e6);
    std::sort(gaps.begin(), gaps.end());
    const double seconds = (t.back() - t.front()) / 1e9;
    std::printf("frames: %zu frames\n", t.size());
    std::printf("first_frame: %.1f ms\n", (t.front() - start) / 1e6);
    std::printf("fps: %.0f frames/s\n", (t.size() - 1) / seconds);
    std::printf("frame_median: %.2f ms\n", gaps[gaps.size() / 2]);
    std::printf("frame_p99: %.2f ms\n", gaps[gaps.size() * 99 / 100]);
    std::printf("frame_max: %.2f ms\n", gaps.back());
    std::printf("peak_memory: %.1f MB\n", usage.ru_maxrss / 1024.0);
    return 0;
}
