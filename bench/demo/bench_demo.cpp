// The whole demo, unpaced and headless, with its real content: time from
// process start to the first presented frame, frame rate, the slowest frame,
// and peak memory; then the frame times at larger internal resolutions and
// how fast a recording runs. Frame times come from the platform's frame log.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench_parts.h"
#include "frame_similarity.h"

namespace fs = std::filesystem;

namespace {

uint64_t NowNs() {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
}

struct Result {
    bool ok = false;
    double wallSeconds = 0, firstFrameMs = 0, fps = 0, medianMs = 0, p99Ms = 0, maxMs = 0, peakMb = 0;
    size_t frames = 0;
};

// One headless, unpaced run of the demo with the given options.
Result RunOnce(const fs::path& bin, int frames, const std::vector<std::string>& args,
               const std::vector<std::pair<std::string, std::string>>& env = {}) {
    Result r;
    const fs::path dir = fs::temp_directory_path() / ("sombrella_bench_demo_" + std::to_string(getpid()));
    fs::create_directories(dir);
    for (const char* f : {"vo.x", "building.bmp", "zel.xm", "plaza.tga"}) {
        std::error_code ec;
        fs::copy_file(bin / f, dir / f, fs::copy_options::overwrite_existing, ec);
    }
    const fs::path log = dir / "frames.log";
    const std::string exe = (bin / "sombrella").string();
    const std::string quit = std::to_string(frames);
    std::vector<std::string> argStore = args;
    argStore.insert(argStore.begin(), exe);
    std::vector<char*> argv;
    for (std::string& a : argStore) argv.push_back(a.data());
    argv.push_back(nullptr);

    const uint64_t start = NowNs();
    pid_t pid = fork();
    if (pid == 0) {
        if (chdir(dir.c_str()) != 0) _exit(127);
        setenv("SDL_VIDEODRIVER", "dummy", 1);
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        setenv("SOMBRELLA_REFRESH_HZ", "0", 1);
        setenv("SOMBRELLA_QUIT_AFTER_FRAMES", quit.c_str(), 1);
        setenv("SOMBRELLA_FRAME_LOG", log.c_str(), 1);
        for (const auto& [k, v] : env) setenv(k.c_str(), v.c_str(), 1);
        execv(exe.c_str(), argv.data());
        _exit(127);
    }
    int status = 0;
    struct rusage usage {};
    wait4(pid, &status, 0, &usage);
    r.wallSeconds = (NowNs() - start) / 1e9;
    std::vector<uint64_t> t;
    std::ifstream in(log);
    for (unsigned long long v; in >> v;) t.push_back(v);
    fs::remove_all(dir);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "the demo did not run (status %d)\n", status);
        return r;
    }
    if (t.size() < 2) {
        std::fprintf(stderr, "no frame log\n");
        return r;
    }
    std::vector<double> gaps;
    for (size_t i = 1; i < t.size(); ++i) gaps.push_back((t[i] - t[i - 1]) / 1e6);
    std::sort(gaps.begin(), gaps.end());
    r.frames = t.size();
    r.firstFrameMs = (t.front() - start) / 1e6;
    r.fps = (t.size() - 1) / ((t.back() - t.front()) / 1e9);
    r.medianMs = gaps[gaps.size() / 2];
    r.p99Ms = gaps[gaps.size() * 99 / 100];
    r.maxMs = gaps.back();
    r.peakMb = usage.ru_maxrss / 1024.0;
    r.ok = true;
    return r;
}

}  // namespace

// Usage: sombrella-bench-demo [FRAMES [SCALED_FRAMES]]
//        sombrella-bench-demo demo|scaled|ssim|record|parts [FRAMES [SCALED_FRAMES]]
// A section name runs that part alone.
int main(int argc, char** argv) {
    const fs::path bin = fs::absolute(fs::path(argv[0])).parent_path();
    std::string only;
    if (argc > 1 && !std::isdigit(static_cast<unsigned char>(argv[1][0]))) only = argv[1], --argc, ++argv;
    auto wanted = [&](const char* section) { return only.empty() || only == section; };
    const int frames = argc > 1 ? std::atoi(argv[1]) : 1000;
    const int scaledFrames = argc > 2 ? std::atoi(argv[2]) : 300;
    if (wanted("demo")) {
        const Result r = RunOnce(bin, frames, {});
        if (!r.ok) return 1;
        std::printf("frames: %zu frames\n", r.frames);
        std::printf("first_frame: %.1f ms\n", r.firstFrameMs);
        std::printf("fps: %.0f frames/s\n", r.fps);
        std::printf("frame_median: %.2f ms\n", r.medianMs);
        std::printf("frame_p99: %.2f ms\n", r.p99Ms);
        std::printf("frame_max: %.2f ms\n", r.maxMs);
        std::printf("peak_memory: %.1f MB\n", r.peakMb);
    }

    // Internal resolutions (headless "native" is 1920x1440), then recording speed.
    const std::vector<std::pair<const char*, std::vector<std::string>>> runs = {
        {"scale1", {"--scale", "1"}},
        {"scale2", {"--scale", "2"}},
        {"scale3", {"--scale", "3"}},
        {"native_aa1", {"--scale", "native", "--aa", "1"}},
        {"native_aa4", {"--scale", "native", "--aa", "4"}},
        {"enhanced", {"--enhanced"}},
    };
    for (const auto& [name, args] : runs) {
        if (!wanted("scaled")) break;
        const Result s = RunOnce(bin, scaledFrames, args);
        if (!s.ok) return 1;
        std::printf("%s_fps: %.1f frames/s\n", name, s.fps);
        std::printf("%s_frame_median: %.2f ms\n", name, s.medianMs);
        std::printf("%s_frame_p99: %.2f ms\n", name, s.p99Ms);
    }
    if (wanted("parts")) bench::BenchParts();

    // The enhanced picture against the faithful one: the same virtual-clock
    // frames, the enhanced ones box-filtered down to 640x480.
    if (wanted("ssim")) {
        const fs::path shots = fs::temp_directory_path() / ("sombrella_bench_shots_" + std::to_string(getpid()));
        const char* pick = "60,200,400,600";
        const std::vector<std::pair<const char*, std::vector<std::string>>> kinds = {
            {"faithful", {}}, {"native_aa4", {"--scale", "native", "--aa", "4"}}, {"enhanced", {"--enhanced"}}};
        for (const auto& [kind, args] : kinds) {
            fs::create_directories(shots / kind);
            if (!RunOnce(bin, 601, args,
                         {{"SOMBRELLA_FIXED_STEP_HZ", "60"}, {"SOMBRELLA_CAPTURE_DIR", (shots / kind).string()},
                          {"SOMBRELLA_CAPTURE_FRAMES", pick}})
                     .ok)
                return 1;
        }
        for (const char* kind : {"native_aa4", "enhanced"}) {
            double ssimSum = 0;
            int ssimCount = 0;
            for (const char* n : {"000060", "000200", "000400", "000600"}) {
                bench::Rgb a, b;
                const std::string name = std::string("frame_") + n + ".png";
                if (!bench::ReadPng((shots / "faithful" / name).string(), &a) ||
                    !bench::ReadPng((shots / kind / name).string(), &b) || b.width != a.width * 3)
                    continue;
                ssimSum += bench::Ssim(a, bench::BoxDown(b, 3));
                ++ssimCount;
            }
            if (ssimCount) std::printf("%s_ssim_vs_faithful: %.4f ssim\n", kind, ssimSum / ssimCount);
        }
        fs::remove_all(shots);
    }

    if (wanted("record")) {
        const fs::path out = fs::temp_directory_path() / ("sombrella_bench_record_" + std::to_string(getpid()));
        const std::vector<std::pair<const char*, std::vector<std::string>>> recordings = {
            {"mp4", {}}, {"mkv", {}}, {"mp4_scale3", {"--scale", "3"}}};
        for (const auto& [name, extra] : recordings) {
            const std::string file = out.string() + "." + std::string(name).substr(0, 3);
            std::vector<std::string> args = {"--record", file};
            args.insert(args.end(), extra.begin(), extra.end());
            const int n = extra.empty() ? scaledFrames : scaledFrames / 3;
            const Result s = RunOnce(bin, n, args);
            std::error_code ec;
            const auto size = fs::file_size(file, ec);
            fs::remove(file, ec);
            if (!s.ok) return 1;
            // Demo seconds recorded per second of wall time (60 frames a demo second).
            std::printf("record_%s_speed: %.2f x real time\n", name, n / 60.0 / s.wallSeconds);
            std::printf("record_%s_rate: %.1f Mbit/s\n", name, size * 8 / 1e6 / (n / 60.0));
        }
    }
    return 0;
}
