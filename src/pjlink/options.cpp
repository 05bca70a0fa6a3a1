#include "pjlink/options.h"

#include "pjlink/authentication.h"
#include "pjlink/protocol.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>

namespace tavo::pjlink {

namespace {

// Enough for any first line a password file should have.
constexpr qint64 kPasswordFileReadLimit = 4096;
constexpr qsizetype kMaxNameLength = 64;

// Digits only: no sign, no blank, at most five.
std::variant<quint16, QString> parsePort(const QString& text) {
    const bool digits = !text.isEmpty() && text.size() <= 5 &&
                        std::ranges::all_of(text, [](QChar c) { return c.isDigit(); });
    const uint port = digits ? text.toUInt() : 0;
    if (!digits || port > 65535)
        return QStringLiteral("\"%1\" is not a port number (0 to 65535)").arg(text);
    return quint16(port);
}

// Four decimal numbers with dots, as in 192.168.1.20: no shortened forms.
bool isDottedQuad(const QString& text) {
    static const QRegularExpression form(QStringLiteral("^\\d{1,3}(\\.\\d{1,3}){3}$"));
    return form.match(text).hasMatch();
}

bool allBetween(QByteArrayView bytes, char low, char high) {
    return std::ranges::all_of(bytes, [=](char c) { return c >= low && c <= high; });
}

} // namespace

std::variant<ListenAddress, QString> parseListenAddress(const QString& text) {
    QString host = text;
    QString rest;
    const bool bracketed = text.startsWith(QLatin1Char('['));
    if (bracketed) {
        const qsizetype close = text.indexOf(QLatin1Char(']'));
        if (close < 0)
            return QStringLiteral("\"%1\": an IPv6 address in brackets is written [ADDRESS]:PORT")
                .arg(text);
        host = text.mid(1, close - 1);
        rest = text.mid(close + 1);
    } else if (text.count(QLatin1Char(':')) > 1) {
        return QStringLiteral("\"%1\": an IPv6 address is written in brackets, [ADDRESS]:PORT")
            .arg(text);
    } else if (const qsizetype colon = text.indexOf(QLatin1Char(':')); colon >= 0) {
        host = text.left(colon);
        rest = text.mid(colon);
    }
    QHostAddress address;
    const auto protocol = bracketed ? QAbstractSocket::IPv6Protocol : QAbstractSocket::IPv4Protocol;
    if ((!bracketed && !isDottedQuad(host)) || !address.setAddress(host) ||
        address.protocol() != protocol)
        return QStringLiteral("\"%1\" is not an IP address (host names are not looked up)")
            .arg(host);
    ListenAddress listen{address, kDefaultPort};
    if (rest.isEmpty())
        return listen;
    if (!rest.startsWith(QLatin1Char(':')))
        return QStringLiteral("\"%1\": an IPv6 address in brackets is written [ADDRESS]:PORT")
            .arg(text);
    if (rest.size() == 1)
        return QStringLiteral("\"%1\": the port is missing after the colon").arg(text);
    const auto number = parsePort(rest.mid(1));
    if (const auto* error = std::get_if<QString>(&number))
        return *error;
    listen.port = std::get<quint16>(number);
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

std::optional<QString> passwordFileExposure(const QString& path) {
    const QFileDevice::Permissions permissions = QFileInfo(path).permissions();
    const bool others = permissions.testFlag(QFileDevice::ReadOther);
    if (!others && !permissions.testFlag(QFileDevice::ReadGroup))
        return std::nullopt;
    return QStringLiteral("%1 can read the password file %2 (chmod go-r it)")
        .arg(others ? QStringLiteral("every user") : QStringLiteral("its group"), path);
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
