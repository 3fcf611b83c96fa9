#include "app/shell.h"

#include <cstdlib>
#include <cstring>

#include "app/box.h"
#include "app/content.h"
#include "app/frame.h"
#include "device/display.h"
#include "scene/scene_file.h"

HWND g_window = nullptr;
FMUSIC_MODULE* g_music = nullptr;
float g_orbitRate = 0.0f;

namespace {

const char kClassName[] = "MevSombrellaTiro";
const char kTitle[] = "Tiro el Sombrella";
constexpr float kOrbitRateStep = 0.1f;

float g_orbitRateAccumulator = 0.0f;

template <typename T>
void ReleaseOnce(T*& object) {
    if (object) {
        object->Release();
        object = nullptr;
    }
}

}  // namespace

int InitApp(HINSTANCE instance, int showCommand) {
    WNDCLASSA wc;
    std::memset(&wc, 0, sizeof(wc));
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = DemoWndProc;
    wc.cbClsExtra = 0;
    wc.cbWndExtra = 4;
    wc.hInstance = instance;
    wc.hIcon = nullptr;
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    wc.lpszMenuName = nullptr;
    wc.lpszClassName = kClassName;
    if (RegisterClassA(&wc) == 0) {
        RecordStartupMessage("Error Registering Window Class");
        return 0;
    }

    const int width = GetSystemMetrics(SM_CXSCREEN);
    const int height = GetSystemMetrics(SM_CYSCREEN);
    HWND window = CreateWindowExA(0, kClassName, kTitle, WS_POPUP | WS_VISIBLE, 0, 0, width, height, nullptr,
                                  nullptr, instance, nullptr);
    if (!window) {
        RecordStartupMessage("Error Creating Window");
        return 0;
    }
    ShowWindow(window, showCommand);
    UpdateWindow(window);
    g_window = window;

    if (!InitDisplay(window)) return 0;
    if (!InitDevice()) return 0;
    if (!InitScene()) return 0;
    InitLights();
    return 1;
}

LRESULT CALLBACK DemoWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_DESTROY:
            ShutDown();
            PostQuitMessage(0);
            return 0;
        case WM_KEYDOWN:
            if (wParam == VK_ESCAPE) DestroyWindow(window);
            return 0;
        case WM_TIMER:
            if (wParam == kExitTimerId) {
                DestroyWindow(window);
                KillTimer(window, kExitTimerId);
            }
            return 0;
        default:
            return DefWindowProcA(window, message, wParam, lParam);
    }
}

void ShutDown() {
    if (g_scene) {
        delete g_scene;
        g_scene = nullptr;
    }
    if (g_box) {
        delete g_box;
        g_box = nullptr;
    }
    ReleaseOnce(g_device);
    ReleaseOnce(g_direct3D);
    ReleaseOnce(g_primarySurface);
    ReleaseOnce(g_directDraw);
    if (g_startupMessage) {
        MessageBoxA(nullptr, g_startupMessage, kTitle, MB_OK);
        g_startupMessage = nullptr;
    }
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
    if (!InitApp(instance, showCommand)) {
        ShutDown();
        return 0;
    }

    if (FSOUND_GetVersion() != 3.2f) std::exit(1);
    if (!FSOUND_Init(44100, 32, 0)) std::exit(1);
    g_music = FMUSIC_LoadSong("zel.xm");
    if (!g_music) std::exit(1);
    FMUSIC_PlaySong(g_music);

    bool performanceCounter = false;
    LONGLONG last = 0;
    float tickLength = 0.001f;
    LARGE_INTEGER frequency;
    if (QueryPerformanceFrequency(&frequency) && frequency.QuadPart > 0) {
        performanceCounter = true;
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        last = now.QuadPart;
        tickLength = static_cast<float>(1.0 / static_cast<double>(frequency.QuadPart));
    } else {
        last = static_cast<LONGLONG>(static_cast<ULONGLONG>(timeGetTime()));
    }

    // A peek that finds nothing leaves the record as it was: start it cleared
    // so it never reads as WM_QUIT by accident.
    MSG msg;
    std::memset(&msg, 0, sizeof(msg));
    PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);
    SetTimer(g_window, kExitTimerId, kExitTimerMs, nullptr);

    while (msg.message != WM_QUIT) {
        if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
            continue;
        }
        LONGLONG now;
        if (performanceCounter) {
            LARGE_INTEGER counter;
            QueryPerformanceCounter(&counter);
            now = counter.QuadPart;
        } else {
            now = static_cast<LONGLONG>(static_cast<ULONGLONG>(timeGetTime()));
        }
        g_orbitRate = g_orbitRateAccumulator;
        g_orbitRateAccumulator = g_orbitRateAccumulator - kOrbitRateStep;
        const LONGLONG elapsed = now - last;
        last = now;
        const float seconds = static_cast<float>(static_cast<double>(elapsed) * tickLength);
        RenderFrame(seconds);
    }

    FMUSIC_FreeSong(g_music);
    FSOUND_Close();
    return static_cast<int>(msg.wParam);
}
