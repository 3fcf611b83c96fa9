// Raster benchmark: the same lit, textured city drawn by our software
// Direct3D device and by Mesa's llvmpipe (OSMesa), unpaced, side by side, at
// 640x480 RGB565 (the demo's own target) and at 1920x1440 and 2560x1920 with
// 32-bit colour, each with 1 and 2 threads (SOMBRELLA_BENCH_THREADS="1 2 4"
// sets the counts) on both sides.
// Prints `name: value unit` lines, a table, and `ratio: X` for 640x480 with
// the most threads (X > 1: ours is faster). Every case also says how far the
// two pictures are apart (PSNR, share of pixels more than 8 levels off); two
// pictures that are not the same scene fail the run (exit status 1).
// SOMBRELLA_BENCH_FRAMES sets the frame count at 640x480 (larger targets
// draw proportionally fewer); SOMBRELLA_BENCH_SAVE=<dir> writes each side's
// compared frame as PNG; SOMBRELLA_BENCH_NO_PEER=1 skips llvmpipe.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "common/knobs.h"
#include "common/png_write.h"
#include "d3d/raster/frame.h"
#include "d3d/raster/simd.h"
#include "renderers.h"

namespace {

using bench::Target;
namespace raster = sombrella::d3d::raster;

// The frame both sides draw for the comparison, after the timed ones.
constexpr int kCompareFrame = 40;
// Pictures this far apart are not the same scene: the comparison is void.
constexpr double kMinPsnr = 25.0, kMaxOver8 = 0.05;
// The targets measured with dispatch forced, where the CPU has them (AVX3 is
// Highway's AVX-512); the table says which are missing.
#if defined(__aarch64__)
constexpr const char* kNamedTargets[] = {"NEON", "SVE", "SVE2"};
#else
constexpr const char* kNamedTargets[] = {"SSE4", "AVX2", "AVX3"};
#endif

double CpuSeconds() {
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec * 1e-9;
}

// Frames per second of wall time; *cpuMs gets the process CPU time per
// frame (all threads), which a busy machine disturbs less.
double Run(bench::Renderer* r, int frames, double* cpuMs) {
    for (int i = 0; i < std::min(frames, 5); ++i) r->Frame(i);  // warm-up
    double cpu = CpuSeconds();
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < frames; ++i) r->Frame(i);
    std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    *cpuMs = (CpuSeconds() - cpu) * 1000.0 / frames;
    return frames / took.count();
}

void Save(const char* dir, const std::string& name, const bench::Picture& pic) {
    if (dir) sombrella::png::Write(std::string(dir) + "/" + name + ".png", pic.width, pic.height, 3, pic.rgb.data());
}

// One case in this process: both sides at one target size and thread count.
// Prints bare `name: value` lines for the parent to gather.
int RunCase(const Target& target, int threads, int frames) {
    std::string t = std::to_string(threads);
    // Both read once, when the device and the first OSMesa context are made.
    setenv("SOMBRELLA_RASTER_THREADS", t.c_str(), 1);
    setenv("LP_NUM_THREADS", t.c_str(), 1);
    const char* save = sombrella::knobs::String("SOMBRELLA_BENCH_SAVE");
    std::string stem = "bench_raster_" + std::to_string(target.width) + "x" + std::to_string(target.height) + "_t" + t;
    bench::City city = bench::MakeCity();

    std::unique_ptr<bench::Renderer> ours(bench::MakeOurs(city, target));
    if (!ours->Ok()) {
        std::fprintf(stderr, "our device could not be made\n");
        return 1;
    }
    double cpu = 0;
    std::printf("simd_target: %s\n", raster::ActiveSimdTarget());
    double fps = Run(ours.get(), frames, &cpu);
    std::printf("ours_fps: %.3f\nours_cpu: %.3f\n", fps, cpu);
    ours->Frame(kCompareFrame);
    bench::Picture ourPicture = ours->Read();
    Save(save, stem + "_ours", ourPicture);

    // The same with dispatch forced to the other named targets the CPU has:
    // the same picture is required of every one.
    const std::string chosen = raster::ActiveSimdTarget();
    std::printf("simd_available: %s\n", raster::AvailableSimdTargets());
    for (const char* name : kNamedTargets) {
        if (chosen == name || !raster::ForceSimdTarget(name)) continue;
        double forcedCpu = 0;
        double forcedFps = Run(ours.get(), frames, &forcedCpu);
        ours->Frame(kCompareFrame);
        bool same = bench::Compare(ours->Read(), ourPicture).identical;
        std::printf("forced_%s_fps: %.3f\nforced_%s_cpu: %.3f\nforced_%s_identical: %d\n", name, forcedFps, name,
                    forcedCpu, name, same ? 1 : 0);
    }
    raster::ForceSimdTarget(nullptr);
    // What drawing opaque triangles in two passes buys: the chosen target without it.
    {
        raster::SetOpaqueTwoPass(false);
        double onePassCpu = 0;
        double onePassFps = Run(ours.get(), frames, &onePassCpu);
        ours->Frame(kCompareFrame);
        bool same = bench::Compare(ours->Read(), ourPicture).identical;
        raster::SetOpaqueTwoPass(true);
        const std::string name = chosen + "-1pass";
        std::printf("forced_%s_fps: %.3f\nforced_%s_cpu: %.3f\nforced_%s_identical: %d\n", name.c_str(), onePassFps,
                    name.c_str(), onePassCpu, name.c_str(), same ? 1 : 0);
    }
    ours.reset();

    if (sombrella::knobs::Flag("SOMBRELLA_BENCH_NO_PEER")) return 0;
    std::string note;
    std::unique_ptr<bench::Renderer> mesa(bench::MakeMesa(city, target, &note));
    if (!mesa->Ok()) {
        std::printf("llvmpipe_format: unavailable\n");
        return 0;
    }
    std::printf("llvmpipe_format: %s\n", note.c_str());
    fps = Run(mesa.get(), frames, &cpu);
    std::printf("llvmpipe_fps: %.3f\nllvmpipe_cpu: %.3f\n", fps, cpu);
    mesa->Frame(kCompareFrame);
    bench::Picture peerPicture = mesa->Read();
    Save(save, stem + "_llvmpipe", peerPicture);
    bench::Difference d = bench::Compare(ourPicture, peerPicture);
    std::printf("psnr: %.3f\nover8: %.5f\n", d.psnr, d.over8);
    return 0;
}

std::string CpuModel() {
    FILE* f = std::fopen("/proc/cpuinfo", "r");
    if (!f) return "unknown";
    char line[512];
    std::string model = "unknown";
    while (std::fgets(line, sizeof line, f)) {
        const char* colon = std::strchr(line, ':');
        if (!colon || (std::strncmp(line, "model name", 10) != 0 && std::strncmp(line, "CPU part", 8) != 0)) continue;
        model = colon + 1;
        while (!model.empty() && (model.front() == ' ' || model.front() == '\t')) model.erase(0, 1);
        while (!model.empty() && (model.back() == '\n' || model.back() == ' ')) model.pop_back();
        break;
    }
    std::fclose(f);
    return model;
}

// The figures a case's process printed, by name.
using Figures = std::map<std::string, std::string>;

bool Spawn(const std::string& self, const Target& target, int threads, int frames, Figures* out) {
    std::string cmd = "'" + self + "' --case " + std::to_string(target.width) + " " + std::to_string(target.height) +
                      " " + std::to_string(target.colourBits) + " " + std::to_string(target.depthBits) + " " +
                      std::to_string(threads) + " " + std::to_string(frames);
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return false;
    char line[512];
    while (std::fgets(line, sizeof line, p)) {
        std::string s(line);
        while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
        size_t colon = s.find(": ");
        if (colon != std::string::npos) (*out)[s.substr(0, colon)] = s.substr(colon + 2);
    }
    return pclose(p) == 0;
}

// The targets a case ran with dispatch forced, from its forced_<T>_fps lines.
std::set<std::string> ForcedTargets(const Figures& f) {
    std::set<std::string> names;
    for (const auto& [key, value] : f)
        if (key.rfind("forced_", 0) == 0 && key.size() > 11 && key.compare(key.size() - 4, 4, "_fps") == 0)
            names.insert(key.substr(7, key.size() - 11));
    return names;
}

double Number(const Figures& f, const char* name) {
    auto it = f.find(name);
    return it == f.end() ? std::nan("") : std::strtod(it->second.c_str(), nullptr);
}

std::vector<int> ThreadCounts() {
    std::vector<int> counts;
    const char* text = sombrella::knobs::String("SOMBRELLA_BENCH_THREADS");
    for (const char* s = text ? text : "1 2"; *s;) {
        char* end = nullptr;
        long n = std::strtol(s, &end, 10);
        if (end == s) {
            ++s;
            continue;
        }
        if (n >= 1 && n <= 64) counts.push_back((int)n);
        s = end;
    }
    if (counts.empty()) counts.push_back(1);
    return counts;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 8 && std::strcmp(argv[1], "--case") == 0) {
        Target t{std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]), std::atoi(argv[5])};
        int threads = std::atoi(argv[6]), frames = std::atoi(argv[7]);
        if (t.width < 16 || t.height < 16 || t.width > 8192 || t.height > 8192 || threads < 1 || frames < 1) {
            std::fprintf(stderr, "bad case\n");
            return 2;
        }
        return RunCase(t, threads, frames);
    }
    if (argc != 1) {
        std::fprintf(stderr, "usage: sombrella-bench-raster (knobs in the environment)\n");
        return 2;
    }
    char self[4096];
    ssize_t len = readlink("/proc/self/exe", self, sizeof self - 1);
    if (len <= 0) return 1;
    self[len] = 0;

    const int baseFrames = (int)std::max(1L, sombrella::knobs::Int("SOMBRELLA_BENCH_FRAMES", 300));
    const std::vector<int> threadCounts = ThreadCounts();
    // 16-bit depth throughout: the format the demo picks at any internal size.
    const Target targets[] = {{640, 480, 16, 16}, {1920, 1440, 32, 16}, {2560, 1920, 32, 16}};

    bench::City city = bench::MakeCity();
    std::printf("cpu: %s, %u hardware threads\n", CpuModel().c_str(), std::thread::hardware_concurrency());
    std::printf("scene: %d triangles in %zu draws, 16-bit depth, camera circling; compared at frame %d\n",
                city.triangles, city.meshes.size(), kCompareFrame);
    {
        std::unique_ptr<bench::Renderer> counting(bench::MakeOurs(city, Target{640, 480, 32, 16}, true));
        counting->Frame(baseFrames / 2);
        std::printf("overdraw: %.2f x\n", bench::MeasureOverdraw(counting.get()));
    }

    struct Row {
        Target target;
        int threads, frames;
        Figures f;
    };
    std::vector<Row> rows;
    bool failed = false;
    for (const Target& target : targets)
        for (int threads : threadCounts) {
            Row row{target, threads, 0, {}};
            const double scale = 640.0 * 480.0 / ((double)target.width * target.height);
            row.frames = std::max(1, (int)std::lround(baseFrames * scale));
            if (!Spawn(self, target, threads, row.frames, &row.f)) {
                std::printf("case %dx%d, %d threads: failed\n", target.width, target.height, threads);
                failed = true;
                continue;
            }
            const std::string name = std::to_string(target.width) + "x" + std::to_string(target.height) + "_" +
                                     std::to_string(target.colourBits) + "bit_t" + std::to_string(threads) + "_";
            const double pixels = (double)target.width * target.height;
            for (const char* who : {"ours", "llvmpipe"}) {
                double fps = Number(row.f, (std::string(who) + "_fps").c_str());
                if (std::isnan(fps)) continue;
                std::printf("%s%s_fps: %.1f frames/s\n", name.c_str(), who, fps);
                std::printf("%s%s_cpu: %.2f ms/frame\n", name.c_str(), who,
                            Number(row.f, (std::string(who) + "_cpu").c_str()));
                std::printf("%s%s_mpixels: %.1f Mpixels/s\n", name.c_str(), who, fps * pixels / 1e6);
            }
            double peer = Number(row.f, "llvmpipe_fps");
            if (!std::isnan(peer)) {
                std::printf("%sratio: %.2f\n", name.c_str(), Number(row.f, "ours_fps") / peer);
                std::printf("%scpu_ratio: %.2f\n", name.c_str(),
                            Number(row.f, "llvmpipe_cpu") / Number(row.f, "ours_cpu"));
                double psnr = Number(row.f, "psnr"), over8 = Number(row.f, "over8");
                std::printf("%spsnr: %.2f dB\n", name.c_str(), psnr);
                std::printf("%sover8: %.2f %%\n", name.c_str(), over8 * 100);
                if (!(psnr >= kMinPsnr && over8 <= kMaxOver8)) {
                    std::printf("case %dx%d, %d threads: the two pictures are not the same scene\n", target.width,
                                target.height, threads);
                    failed = true;
                }
            }
            for (const std::string& simd : ForcedTargets(row.f)) {
                const std::string key = "forced_" + simd + "_";
                double fps = Number(row.f, (key + "fps").c_str());
                std::printf("%sours_%s_fps: %.1f frames/s\n", name.c_str(), simd.c_str(), fps);
                std::printf("%sours_%s_cpu: %.2f ms/frame\n", name.c_str(), simd.c_str(),
                            Number(row.f, (key + "cpu").c_str()));
                if (!std::isnan(peer)) std::printf("%sours_%s_ratio: %.2f\n", name.c_str(), simd.c_str(), fps / peer);
                if (Number(row.f, (key + "identical").c_str()) != 1) {
                    std::printf("case %dx%d, %d threads: %s draws another picture than %s\n", target.width,
                                target.height, threads, simd.c_str(), row.f["simd_target"].c_str());
                    failed = true;
                }
            }
            rows.push_back(row);
        }

    std::printf("\n%-10s %-6s %3s %7s | %9s %9s %6s | %8s %8s %6s | %7s %6s\n", "size", "colour", "thr", "frames",
                "ours f/s", "llvm f/s", "ratio", "ours ms", "llvm ms", "cpu x", "PSNR", ">8 lv");
    for (const Row& r : rows) {
        const Figures& f = r.f;
        char size[32];
        std::snprintf(size, sizeof size, "%dx%d", r.target.width, r.target.height);
        double of = Number(f, "ours_fps"), lf = Number(f, "llvmpipe_fps");
        double oc = Number(f, "ours_cpu"), lc = Number(f, "llvmpipe_cpu");
        std::printf("%-10s %-6s %3d %7d | %9.1f %9.1f %6.2f | %8.2f %8.2f %6.2f | %7.2f %5.2f%%\n", size,
                    r.target.colourBits == 16 ? "RGB565" : "32-bit", r.threads, r.frames, of, lf, of / lf, oc, lc,
                    lc / oc, Number(f, "psnr"), Number(f, "over8") * 100);
    }
    std::printf("\nSIMD targets, and the chosen one with opaque triangles drawn in one pass (ours; ratio against the\n"
                "same case's llvmpipe):\n");
    std::printf("%-10s %3s %-10s | %9s %8s %6s | %s\n", "size", "thr", "target", "ours f/s", "ours ms", "ratio",
                "picture");
    for (const Row& r : rows) {
        char size[32];
        std::snprintf(size, sizeof size, "%dx%d", r.target.width, r.target.height);
        auto chosen = r.f.find("simd_target");
        if (chosen != r.f.end())
            std::printf("%-10s %3d %-10s | %9.1f %8.2f %6.2f | chosen at start-up\n", size, r.threads,
                        chosen->second.c_str(), Number(r.f, "ours_fps"), Number(r.f, "ours_cpu"),
                        Number(r.f, "ours_fps") / Number(r.f, "llvmpipe_fps"));
        for (const std::string& simd : ForcedTargets(r.f)) {
            const std::string key = "forced_" + simd + "_";
            double fps = Number(r.f, (key + "fps").c_str());
            std::printf("%-10s %3d %-10s | %9.1f %8.2f %6.2f | %s\n", size, r.threads, simd.c_str(), fps,
                        Number(r.f, (key + "cpu").c_str()), fps / Number(r.f, "llvmpipe_fps"),
                        Number(r.f, (key + "identical").c_str()) == 1 ? "identical" : "DIFFERENT");
        }
    }
    for (const char* wanted : kNamedTargets)
        if (!rows.empty() && !ForcedTargets(rows[0].f).count(wanted) && rows[0].f["simd_target"] != wanted)
            std::printf("%-10s %3s %-10s | not on this CPU or build\n", "", "", wanted);
    std::printf("\n");
    if (!rows.empty()) std::printf("simd_target: %s\n", rows[0].f["simd_target"].c_str());
    // The headline: the demo's own target with the most threads.
    for (auto it = rows.rbegin(); it != rows.rend(); ++it)
        if (it->target.width == 640 && !std::isnan(Number(it->f, "llvmpipe_fps"))) {
            std::printf("threads: %d threads\n", it->threads);
            std::printf("cpu_ratio: %.2f\n", Number(it->f, "llvmpipe_cpu") / Number(it->f, "ours_cpu"));
            std::printf("ratio: %.2f\n", Number(it->f, "ours_fps") / Number(it->f, "llvmpipe_fps"));
            break;
        }
    return failed ? 1 : 0;
}
