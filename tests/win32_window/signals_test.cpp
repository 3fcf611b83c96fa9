// Interrupts and termination requests: while the program starts they end
// it at once, even when it sits in a blocking call; once the message loop
// reads the queue they arrive as WM_CLOSE and the program ends normally.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "windows.h"

namespace {

LRESULT CALLBACK QuitOnDestroy(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

HWND MakeWindow() {
    WNDCLASSA wc{};
    wc.lpfnWndProc = QuitOnDestroy;
    wc.lpszClassName = "SIGNALTEST";
    RegisterClassA(&wc);
    return CreateWindowExA(0, "SIGNALTEST", "t", WS_POPUP, 0, 0, 64, 64, nullptr, nullptr, nullptr, nullptr);
}

// Waits up to two seconds for the child; false when it is still running.
bool Reap(pid_t pid, int* status) {
    for (int i = 0; i < 200; ++i) {
        if (waitpid(pid, status, WNOHANG) == pid) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(pid, SIGKILL);
    waitpid(pid, status, 0);
    return false;
}

TEST(Signals, DuringStartUpTheyEndTheProcessEvenInABlockingCall) {
    for (int sig : {SIGTERM, SIGINT}) {
        int ready[2], never[2];
        ASSERT_EQ(pipe(ready), 0);
        ASSERT_EQ(pipe(never), 0);
        const pid_t pid = fork();
        if (pid == 0) {
            if (!MakeWindow()) _exit(3);
            ssize_t ignored = write(ready[1], "r", 1);
            (void)ignored;
            // A start-up stuck in a read that nothing will ever satisfy.
            char c;
            ignored = read(never[0], &c, 1);
            _exit(4);
        }
        char c;
        ASSERT_EQ(read(ready[0], &c, 1), 1);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        kill(pid, sig);
        int status = 0;
        ASSERT_TRUE(Reap(pid, &status)) << "signal " << sig << " did not end the start-up";
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig) << status;
        for (int fd : {ready[0], ready[1], never[0], never[1]}) close(fd);
    }
}

TEST(Signals, OnceTheLoopRunsTheyCloseTheWindowAndTheProgramEndsNormally) {
    const pid_t pid = fork();
    if (pid == 0) {
        HWND hwnd = MakeWindow();
        if (!hwnd) _exit(3);
        MSG msg{};
        PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);  // the loop starts
        raise(SIGTERM);
        for (int i = 0; i < 1000; ++i) {
            while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
                if (msg.message == WM_QUIT) _exit(IsWindow(hwnd) ? 5 : static_cast<int>(msg.wParam));
                DispatchMessageA(&msg);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        _exit(6);
    }
    int status = 0;
    ASSERT_TRUE(Reap(pid, &status));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

}  // namespace
