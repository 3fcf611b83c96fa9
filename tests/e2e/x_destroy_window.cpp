// Destroys another client's X window, as a hostile or buggy program would.
// Usage: x_destroy_window WINDOW_ID (decimal or 0x hex)
#include <X11/Xlib.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s WINDOW_ID\n", argv[0]);
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "cannot open the display\n");
        return 1;
    }
    XDestroyWindow(display, static_cast<Window>(std::strtoul(argv[1], nullptr, 0)));
    XSync(display, False);
    XCloseDisplay(display);
    return 0;
}
