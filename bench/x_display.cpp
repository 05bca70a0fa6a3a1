#include "bench/x_display.h"

#include <cstdio>
#include <cstdlib>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <poll.h>

namespace tavo::bench {

XDisplay::XDisplay() : display_(XOpenDisplay(nullptr)) {
    if (!display_) {
        std::fprintf(stderr, "tavo-bench: cannot open the X display (is DISPLAY set?)\n");
        std::exit(1);
    }
    int event = 0;
    int error = 0;
    int major = 0;
    int minor = 0;
    if (!XTestQueryExtension(display_, &event, &error, &major, &minor)) {
        std::fprintf(stderr, "tavo-bench: the X server lacks the XTEST extension\n");
        std::exit(1);
    }
    root_ = DefaultRootWindow(display_);
    XSelectInput(display_, root_, SubstructureNotifyMask);
    XSync(display_, False);
}

XDisplay::~XDisplay() {
    XCloseDisplay(display_);
}

void XDisplay::forgetMaps() {
    XSync(display_, False);
    XEvent event;
    while (XPending(display_))
        XNextEvent(display_, &event);
}

unsigned long XDisplay::waitForMap(std::chrono::steady_clock::time_point deadline) {
    XEvent event;
    for (;;) {
        while (XPending(display_)) {
            XNextEvent(display_, &event);
            if (event.type == MapNotify && event.xmap.event == root_ &&
                !event.xmap.override_redirect)
                return event.xmap.window;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return 0;
        pollfd connection{ConnectionNumber(display_), POLLIN, 0};
        ::poll(&connection, 1, int(left.count()));
    }
}

unsigned long XDisplay::windowOf(pid_t pid) {
    const Atom wmPid = XInternAtom(display_, "_NET_WM_PID", False);
    Window rootReturn = 0;
    Window parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    unsigned long found = 0;
    if (!XQueryTree(display_, root_, &rootReturn, &parent, &children, &count))
        return 0;
    for (unsigned int i = 0; i < count && !found; ++i) {
        XWindowAttributes attributes;
        if (!XGetWindowAttributes(display_, children[i], &attributes) ||
            attributes.map_state != IsViewable)
            continue;
        Atom type = 0;
        int format = 0;
        unsigned long items = 0;
        unsigned long after = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(display_, children[i], wmPid, 0, 1, False, XA_CARDINAL, &type,
                               &format, &items, &after, &data) == Success &&
            data) {
            if (items == 1 && format == 32 && pid_t(*reinterpret_cast<long*>(data)) == pid)
                found = children[i];
            XFree(data);
        }
    }
    if (children)
        XFree(children);
    return found;
}

QPoint XDisplay::origin(unsigned long window) {
    int x = 0;
    int y = 0;
    Window child = 0;
    XTranslateCoordinates(display_, window, root_, 0, 0, &x, &y, &child);
    return {x, y};
}

QSize XDisplay::size(unsigned long window) {
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display_, window, &attributes))
        return {};
    return {attributes.width, attributes.height};
}

void XDisplay::moveTo(QPoint point) {
    XTestFakeMotionEvent(display_, -1, point.x(), point.y(), CurrentTime);
    XFlush(display_);
}

void XDisplay::button(bool down) {
    XTestFakeButtonEvent(display_, 1, down ? True : False, CurrentTime);
    XFlush(display_);
}

void XDisplay::click(QPoint point) {
    moveTo(point);
    button(true);
    button(false);
}

void XDisplay::controlKey(unsigned long window, unsigned long keysym) {
    XSetInputFocus(display_, window, RevertToParent, CurrentTime);
    const unsigned int control = XKeysymToKeycode(display_, XK_Control_L);
    const unsigned int key = XKeysymToKeycode(display_, keysym);
    XTestFakeKeyEvent(display_, control, True, CurrentTime);
    XTestFakeKeyEvent(display_, key, True, CurrentTime);
    XTestFakeKeyEvent(display_, key, False, CurrentTime);
    XTestFakeKeyEvent(display_, control, False, CurrentTime);
    XSync(display_, False);
}

void XDisplay::sync() {
    XSync(display_, False);
}

} // namespace tavo::bench
