#pragma once
// The X server as a user sees it, for the figures taken from outside: which
// top-level window appears when, where it is, and clicks and keys injected
// through the XTEST extension, as a real mouse and keyboard would deliver them.

#include <QPoint>
#include <QSize>

#include <chrono>

#include <sys/types.h>

struct _XDisplay;

namespace tavo::bench {

class XDisplay {
public:
    // Opens $DISPLAY; exits the bench with a message when there is none or it
    // lacks XTEST.
    XDisplay();
    ~XDisplay();
    XDisplay(const XDisplay&) = delete;
    XDisplay& operator=(const XDisplay&) = delete;

    // Forgets what was mapped so far: call it before starting a program.
    void forgetMaps();
    // Waits for a top-level window to be mapped; 0 at the deadline.
    unsigned long waitForMap(std::chrono::steady_clock::time_point deadline);
    // The top-level window whose _NET_WM_PID is pid; 0 when there is none.
    unsigned long windowOf(pid_t pid);
    QPoint origin(unsigned long window);
    QSize size(unsigned long window);

    void moveTo(QPoint point);
    void button(bool down);
    void click(QPoint point);
    // A key (an X keysym) pressed and released with Control held, after the
    // window got the input focus.
    void controlKey(unsigned long window, unsigned long keysym);
    // Everything injected so far has reached the server.
    void sync();

private:
    _XDisplay* display_ = nullptr;
    unsigned long root_ = 0;
};

} // namespace tavo::bench
