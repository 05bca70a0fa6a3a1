#include "pjlink/options.h"

#include "pjlink/authentication.h"
#include "pjlink/protocol.h"

#include <QFile>

#include <algorithm>

namespace tavo::pjlink {

namespace {

// Enough for any first line a password file should have.
constexpr qint64 kPasswordFileReadLimit = 4096;
constexpr qsizetype kMaxNameLength = 64;

std::variant<quint16, QString> parsePort(const QString& text) {
    bool ok = false;
    const uint port = text.toUInt(&ok);
    if (!ok || port > 65535)
        return QStringLiteral("\"%1\" is not a port number (0 to 65535)").arg(text);
    return quint16(port);
}

bool allBetween(QByteArrayView bytes, char low, char high) {
    return std::ranges::all_of(bytes, [=](char c) { return c >= low && c <= high; });
}

} // namespace

std::variant<ListenAddress, QString> parseListenAddress(const QString& text) {
    QString host = text;
    QString port;
    if (text.startsWith(QLatin1Char('['))) {
        const qsizetype close = text.indexOf(QLatin1Char(']'));
        if (close < 0 || (close + 1 < text.size() && text[close + 1] != QLatin1Char(':')))
            return QStringLiteral("\"%1\": an IPv6 address in brackets is written [ADDRESS]:PORT")
                .arg(text);
        host = text.mid(1, close - 1);
        port = text.mid(close + 2);
        if (close + 1 < text.size() && port.isEmpty())
            return QStringLiteral("\"%1\": the port is missing after the colon").arg(text);
    } else if (text.count(QLatin1Char(':')) == 1) {
        const qsizetype colon = text.indexOf(QLatin1Char(':'));
        host = text.left(colon);
        port = text.mid(colon + 1);
        if (port.isEmpty())
            return QStringLiteral("\"%1\": the port is missing after the colon").arg(text);
    }
    QHostAddress address;
    if (host.isEmpty() || !address.setAddress(host))
        return QStringLiteral("\"%1\" is not an IP address (host names are not looked up)")
            .arg(host);
    ListenAddress listen{address, kDefaultPort};
    if (!port.isEmpty()) {
        const auto number = parsePort(port);
        if (const auto* error = std::get_if<QString>(&number))
            return *error;
        listen.port = std::get<quint16>(number);
    }
    return listen;
}

std::variant<QByteArray, QString> readPasswordFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("cannot read the password file %1: %2").arg(path, file.errorString());
    QByteArray password = file.read(kPasswordFileReadLimit);
    const qsizetype end = password.indexOf('\n');
    if (end < 0 && password.size() == kPasswordFileReadLimit)
        return QStringLiteral("the password file %1 has no line end in its first %2 bytes")
            .arg(path)
            .arg(kPasswordFileReadLimit);
    if (end >= 0)
        password.truncate(end);
    if (password.endsWith('\r'))
        password.chop(1);
    if (password.isEmpty())
        return QStringLiteral("the first line of the password file %1 is empty").arg(path);
    if (password.size() > kMaxPasswordLength)
        return QStringLiteral("the password in %1 is longer than %2 characters")
            .arg(path)
            .arg(kMaxPasswordLength);
    if (!allBetween(password, '!', '~'))
        return QStringLiteral("the password in %1 holds a blank, a control character or a "
                              "character beyond ASCII")
            .arg(path);
    return password;
}

std::variant<QByteArray, QString> checkName(const QString& name) {
    const QByteArray bytes = name.toUtf8();
    if (bytes.isEmpty() || bytes.size() > kMaxNameLength || !allBetween(bytes, ' ', '~'))
        return QStringLiteral("the name \"%1\" is not 1 to %2 printable ASCII characters")
            .arg(name)
            .arg(kMaxNameLength);
    return bytes;
}

} // namespace tavo::pjlink
