// Preloaded into a serial terminal that gives up on a pseudo-terminal because
// the modem-line requests (DTR, RTS and the line states) fail there: on a
// pseudo-terminal they succeed and read as all lines raised, so the terminal
// can be measured on the same line as the panel. Other requests pass
// untouched.
#include <cerrno>
#include <cstdarg>

#include <dlfcn.h>
#include <sys/ioctl.h>

namespace {

using IoctlFunction = int (*)(int, unsigned long, void*);

bool isModemLineRequest(unsigned long request) {
    return request == TIOCMGET || request == TIOCMSET || request == TIOCMBIS || request == TIOCMBIC;
}

} // namespace

extern "C" int ioctl(int fd, unsigned long request, ...) noexcept {
    va_list arguments;
    va_start(arguments, request);
    void* argument = va_arg(arguments, void*);
    va_end(arguments);
    static const auto real = reinterpret_cast<IoctlFunction>(dlsym(RTLD_NEXT, "ioctl"));
    const int result = real(fd, request, argument);
    if (result == 0 || !isModemLineRequest(request) || (errno != ENOTTY && errno != EINVAL))
        return result;
    if (request == TIOCMGET)
        *static_cast<int*>(argument) = TIOCM_DTR | TIOCM_RTS | TIOCM_CTS | TIOCM_DSR | TIOCM_CAR;
    return 0;
}
