#include "bench/x_floor_client.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <X11/Xlib.h>
#include <fcntl.h>
#include <unistd.h>

namespace tavo::bench {

int runFloorClient(const char* device) {
    const int line = ::open(device, O_WRONLY | O_NOCTTY);
    if (line < 0) {
        std::fprintf(stderr, "tavo-bench floor client: cannot open %s: %s\n", device,
                     std::strerror(errno));
        return 1;
    }
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "tavo-bench floor client: cannot open the X display\n");
        return 1;
    }
    const Window window =
        XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, kFloorWindowSize,
                            kFloorWindowSize, 0, 0, WhitePixel(display, DefaultScreen(display)));
    XSelectInput(display, window, ButtonReleaseMask);
    XMapWindow(display, window);
    XFlush(display);
    for (XEvent event;;) {
        XNextEvent(display, &event);
        if (event.type == ButtonRelease && ::write(line, "x", 1) != 1) {
            std::fprintf(stderr, "tavo-bench floor client: cannot write to %s: %s\n", device,
                         std::strerror(errno));
            return 1;
        }
    }
}

} // namespace tavo::bench
