// Windows and the message queue: synchronous WM_DESTROY, default close
// handling, peeking without removing, timers through the queue, keys.
#include <gtest/gtest.h>

#include <SDL.h>

#include <cstdlib>
#include <vector>

#include "common/present_hooks.h"
#include "windows.h"

namespace {

std::vector<UINT> g_seen;
bool g_destroyedInside = false;

LRESULT CALLBACK RecordingProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    g_seen.push_back(msg);
    if (msg == WM_DESTROY) {
        g_destroyedInside = true;
        PostQuitMessage(7);
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

class WindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        WNDCLASSA wc{};
        wc.lpfnWndProc = RecordingProc;
        wc.lpszClassName = "TestClass";
        ASSERT_NE(RegisterClassA(&wc), 0);
        // Registering the same name twice fails, ignoring case.
        wc.lpszClassName = "TESTCLASS";
        EXPECT_EQ(RegisterClassA(&wc), 0);
    }
    void SetUp() override {
        g_seen.clear();
        g_destroyedInside = false;
        hwnd = CreateWindowExA(0, "testclass", "t", WS_POPUP, 0, 0, 320, 240, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(hwnd, nullptr);
        Drain();
        g_seen.clear();
    }
    void TearDown() override {
        if (IsWindow(hwnd)) DestroyWindow(hwnd);
        Drain();
    }
    static void Drain() {
        MSG m;
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
    }
    HWND hwnd = nullptr;
};

TEST_F(WindowTest, DestroyDeliversWmDestroyBeforeReturning) {
    EXPECT_TRUE(DestroyWindow(hwnd));
    EXPECT_TRUE(g_destroyedInside);
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_FALSE(DestroyWindow(hwnd)) << "a second destroy finds no window";
    MSG m{};
    ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(m.wParam, 7u);
    EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) << "the quit message is retrieved once";
}

TEST_F(WindowTest, DefaultCloseHandlingDestroysTheWindow) {
    PostMessageA(hwnd, WM_CLOSE, 0, 0);
    MSG m{};
    ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.message, static_cast<UINT>(WM_CLOSE));
    DispatchMessageA(&m);
    EXPECT_TRUE(g_destroyedInside);
    EXPECT_FALSE(IsWindow(hwnd));
}

TEST_F(WindowTest, PeekWithoutRemovingLeavesTheMessage) {
    PostMessageA(hwnd, WM_USER + 1, 11, 22);
    PostMessageA(hwnd, WM_USER + 2, 0, 0);
    MSG m{};
    ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(m.message, static_cast<UINT>(WM_USER + 1));
    ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.message, static_cast<UINT>(WM_USER + 1));
    EXPECT_EQ(m.wParam, 11u);
    EXPECT_EQ(m.lParam, 22);
    ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.message, static_cast<UINT>(WM_USER + 2));
    MSG untouched{};
    untouched.message = 0x1234;
    EXPECT_FALSE(PeekMessageA(&untouched, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(untouched.message, 0x1234u) << "an empty peek leaves the record alone";
}

TEST_F(WindowTest, TimersArriveAsMessagesThroughTheQueue) {
    // The virtual clock: one presented frame is 100 ms.
    ASSERT_EQ(SetTimer(hwnd, 1234, 250, nullptr), 1234u);
    MSG m{};
    EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    for (int i = 0; i < 2; ++i) sombrella::present::NotifyFramePresented();
    EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) << "200 ms is not yet 250";
    sombrella::present::NotifyFramePresented();
    ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.message, static_cast<UINT>(WM_TIMER));
    EXPECT_EQ(m.wParam, 1234u);
    EXPECT_EQ(m.hwnd, hwnd);
    EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) << "re-armed, not repeated at once";
    EXPECT_TRUE(KillTimer(hwnd, 1234));
    EXPECT_FALSE(KillTimer(hwnd, 1234));
    for (int i = 0; i < 5; ++i) sombrella::present::NotifyFramePresented();
    EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(WindowTest, KeysBecomeVirtualKeyMessages) {
    SDL_Event e{};
    e.type = SDL_KEYDOWN;
    e.key.keysym.sym = SDLK_ESCAPE;
    e.key.windowID = 0;
    SDL_PushEvent(&e);
    e.key.keysym.sym = SDLK_a;
    SDL_PushEvent(&e);
    MSG m{};
    ASSERT_TRUE(PeekMessageA(&m, nullptr, WM_KEYDOWN, WM_KEYDOWN, PM_REMOVE));
    EXPECT_EQ(m.wParam, static_cast<WPARAM>(VK_ESCAPE));
    EXPECT_EQ(m.hwnd, hwnd);
    ASSERT_TRUE(PeekMessageA(&m, nullptr, WM_KEYDOWN, WM_KEYDOWN, PM_REMOVE));
    EXPECT_EQ(m.wParam, static_cast<WPARAM>('A'));
}

TEST(Clock, VirtualClockAdvancesExactlyPerFrame) {
    LARGE_INTEGER f{}, a{}, b{};
    ASSERT_TRUE(QueryPerformanceFrequency(&f));
    QueryPerformanceCounter(&a);
    const DWORD t0 = timeGetTime();
    sombrella::present::NotifyFramePresented();
    QueryPerformanceCounter(&b);
    EXPECT_EQ((b.QuadPart - a.QuadPart) * 10, f.QuadPart);
    EXPECT_EQ(timeGetTime() - t0, 100u);
}

TEST(Strings, CompareIgnoringCase) {
    EXPECT_EQ(lstrcmpiA("Building.BMP", "building.bmp"), 0);
    EXPECT_LT(lstrcmpiA("a", "B"), 0);
    EXPECT_GT(lstrcmpiA("b", "A"), 0);
}

}  // namespace

int main(int argc, char** argv) {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    setenv("SOMBRELLA_FIXED_STEP_HZ", "10", 1);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
