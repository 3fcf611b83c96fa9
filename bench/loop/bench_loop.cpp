// The frame loop as a baseline: the whole demo unpaced and headless with an
// empty scene (frames per second), and the cost of one present (Flip) alone.
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "d3d.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

double FlipCost(int flips) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.lpszClassName = "BenchLoop";
    RegisterClassA(&wc);
    HWND w = CreateWindowExA(0, "BenchLoop", "bench", WS_POPUP, 0, 0, 640, 480, nullptr, nullptr, nullptr, nullptr);
    IDirectDraw7* dd = nullptr;
    if (!w || DirectDrawCreateEx(nullptr, reinterpret_cast<void**>(&dd), IID_IDirectDraw7, nullptr) != DD_OK) return -1;
    dd->SetCooperativeLevel(w, DDSCL_FULLSCREEN | DDSCL_EXCLUSIVE);
    dd->SetDisplayMode(640, 480, 16, 0, 0);
    DDSURFACEDESC2 desc{};
    desc.dwSize = sizeof desc;
    desc.dwFlags = DDSD_CAPS | DDSD_BACKBUFFERCOUNT;
    desc.dwBackBufferCount = 1;
    desc.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX | DDSCAPS_3DDEVICE;
    IDirectDrawSurface7* primary = nullptr;
    if (dd->CreateSurface(&desc, &primary, nullptr) != DD_OK) return -1;
    const auto t0 = Clock::now();
    for (int i = 0; i < flips; ++i) primary->Flip(nullptr, DDFLIP_WAIT);
    const auto t1 = Clock::now();
    primary->Release();
    dd->Release();
    DestroyWindow(w);
    return Seconds(t0, t1) / flips;
}

double DemoFps(const char* self, int frames) {
    const fs::path dir = fs::temp_directory_path() / ("sombrella_bench_loop_" + std::to_string(getpid()));
    fs::create_directories(dir);
    const fs::path bin = fs::absolute(fs::path(self)).parent_path();
    std::ofstream(dir / "vo.x") << "xof 0302txt 0032\n";
    fs::copy_file(bin / "zel.xm", dir / "zel.xm", fs::copy_options::overwrite_existing);
    const std::string cmd = "cd '" + dir.string() + "' && SOMBRELLA_REFRESH_HZ=0 SOMBRELLA_QUIT_AFTER_FRAMES=" +
                            std::to_string(frames) + " '" + (bin / "sombrella").string() + "'";
    const auto t0 = Clock::now();
    const int status = std::system(cmd.c_str());
    const auto t1 = Clock::now();
    fs::remove_all(dir);
    if (status != 0) return -1;
    return frames / Seconds(t0, t1);
}

}  // namespace

int main(int argc, char** argv) {
    setenv("SDL_VIDEODRIVER", "dummy", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    setenv("SOMBRELLA_REFRESH_HZ", "0", 1);
    const int frames = argc > 1 ? std::atoi(argv[1]) : 2000;
    std::printf("frames: %d frames\n", frames);
    std::printf("present_cost: %.2f us\n", FlipCost(frames) * 1e6);
    std::printf("demo_loop_fps: %.0f frames/s\n", DemoFps(argv[0], frames));
    return 0;
}
