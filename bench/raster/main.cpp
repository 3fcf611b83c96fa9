// Raster benchmark: the same lit, textured city drawn by our software
// Direct3D device and by Mesa's llvmpipe (OSMesa), unpaced, side by side.
// Prints `name: value unit` lines and `ratio: X` (X > 1: ours is faster).
// SOMBRELLA_BENCH_FRAMES sets the frame count; SOMBRELLA_BENCH_SAVE=<dir>
// writes each side's last frame as PNG; SOMBRELLA_BENCH_NO_PEER=1 skips llvmpipe. Both sides use the same number of
// threads: SOMBRELLA_RASTER_THREADS for ours, LP_NUM_THREADS for llvmpipe.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>
#include <thread>

#include "common/knobs.h"
#include "renderers.h"

namespace {

double CpuSeconds() {
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec * 1e-9;
}

// Frames per second of wall time; *cpuMs gets the process CPU time per
// frame (all threads), which a busy machine disturbs less.
double Run(bench::Renderer* r, int frames, double* cpuMs) {
    for (int i = 0; i < 5; ++i) r->Frame(i);  // warm-up
    double cpu = CpuSeconds();
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < frames; ++i) r->Frame(i);
    std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    *cpuMs = (CpuSeconds() - cpu) * 1000.0 / frames;
    return frames / took.count();
}

void Report(const char* who, double fps, double cpuMs, int triangles) {
    std::printf("%s_fps: %.1f frames/s\n", who, fps);
    std::printf("%s_cpu: %.2f ms/frame\n", who, cpuMs);
    std::printf("%s_mpixels: %.1f Mpixels/s\n", who, fps * bench::kWidth * bench::kHeight / 1e6);
    std::printf("%s_mtriangles: %.2f Mtriangles/s\n", who, fps * triangles / 1e6);
}

}  // namespace

int main() {
    using namespace bench;
    int frames = (int)sombrella::knobs::Int("SOMBRELLA_BENCH_FRAMES", 300);
    long threads = sombrella::knobs::Int("SOMBRELLA_RASTER_THREADS", 0);
    if (threads <= 0) threads = (long)std::thread::hardware_concurrency();
    if (threads <= 0) threads = 1;
    std::string t = std::to_string(threads);
    setenv("SOMBRELLA_RASTER_THREADS", t.c_str(), 1);
    setenv("LP_NUM_THREADS", t.c_str(), 0);
    const char* save = sombrella::knobs::String("SOMBRELLA_BENCH_SAVE");

    City city = MakeCity();
    std::printf("scene: %d triangles in %zu draws, %dx%d RGB565, 16-bit depth\n", city.triangles, city.meshes.size(),
                kWidth, kHeight);
    std::printf("threads: %ld threads\n", threads);
    {
        std::unique_ptr<Renderer> counting(MakeOurs(city, true));
        counting->Frame(frames / 2);
        std::printf("overdraw: %.2f x\n", MeasureOverdraw(counting.get()));
    }

    std::unique_ptr<Renderer> ours(MakeOurs(city));
    if (!ours->Ok()) {
        std::fprintf(stderr, "our device could not be made\n");
        return 1;
    }
    double oursCpu = 0;
    double oursFps = Run(ours.get(), frames, &oursCpu);
    Report("ours", oursFps, oursCpu, city.triangles);
    if (save) ours->Save(std::string(save) + "/bench_raster_ours.png");

    if (sombrella::knobs::Flag("SOMBRELLA_BENCH_NO_PEER")) return 0;
    std::string note;
    std::unique_ptr<Renderer> mesa(MakeMesa(city, &note));
    if (!mesa->Ok()) {
        std::printf("llvmpipe: unavailable\n");
        return 0;
    }
    std::printf("llvmpipe_format: %s\n", note.c_str());
    double mesaCpu = 0;
    double mesaFps = Run(mesa.get(), frames, &mesaCpu);
    Report("llvmpipe", mesaFps, mesaCpu, city.triangles);
    if (save) mesa->Save(std::string(save) + "/bench_raster_llvmpipe.png");
    std::printf("cpu_ratio: %.2f\n", mesaCpu / oursCpu);
    std::printf("ratio: %.2f\n", oursFps / mesaFps);
    return 0;
}
