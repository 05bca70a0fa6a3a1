#include "serial_end.h"

#include <QFile>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace tavo::sim {

namespace {

QString systemError(const char* what) {
    return QStringLiteral("%1: %2").arg(QLatin1String(what),
                                        QString::fromLocal8Bit(std::strerror(errno)));
}

SerialEnd failure(QString error) {
    SerialEnd end;
    end.error = std::move(error);
    return end;
}

} // namespace

SerialEnd openPseudoTerminal() {
    link::PseudoTerminalEnds terminal = link::openPseudoTerminal();
    if (!terminal.isOpen())
        return failure(std::move(terminal.error));
    SerialEnd end;
    end.io = std::move(terminal.master);
    end.keepOpen = std::move(terminal.slave);
    end.devicePath = std::move(terminal.devicePath);
    return end;
}

SerialEnd openSerialDevice(const QString& path, int baud) {
    SerialEnd end;
    end.io = UniqueFd(
        ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!end.io.isValid())
        return failure(systemError("open"));
    if (!link::setRawLine(end.io.get(), baud))
        return failure(systemError("line settings"));
    end.devicePath = path;
    return end;
}

} // namespace tavo::sim
