#include "pjlink/notify_option.h"

#include "pjlink/options.h"

#include <QNetworkInterface>
#include <QRegularExpression>

#include <algorithm>

namespace tavo::pjlink {

namespace {

constexpr qint64 kShortestPoll = 100;
constexpr qint64 kLongestPoll = 3'600'000;

bool isLocalBroadcast(const QHostAddress& address) {
    const auto interfaces = QNetworkInterface::allInterfaces();
    return std::ranges::any_of(interfaces, [&](const QNetworkInterface& candidate) {
        const auto entries = candidate.addressEntries();
        return std::ranges::any_of(entries, [&](const QNetworkAddressEntry& entry) {
            return !entry.broadcast().isNull() && entry.broadcast().isEqual(address);
        });
    });
}

} // namespace

std::variant<Endpoint, QString> parseNotifyTarget(const QString& text) {
    const auto parsed = parseListenAddress(text);
    if (const auto* error = std::get_if<QString>(&parsed))
        return QStringLiteral("--notify: %1").arg(*error);
    const Endpoint& target = std::get<Endpoint>(parsed);
    const QHostAddress& address = target.address;
    if (isAnyAddress(address) || target.port == 0)
        return QStringLiteral("--notify: \"%1\" is no single controller's address and port")
            .arg(text);
    if (address.isBroadcast() || address.isMulticast() || isLocalBroadcast(address))
        return QStringLiteral("--notify: \"%1\" is a broadcast or multicast address; "
                              "notifications go to one controller each")
            .arg(text);
    return target;
}

std::variant<std::chrono::milliseconds, QString> parsePollPeriod(const QString& text) {
    static const QRegularExpression digits(QStringLiteral("^\\d{1,7}$"));
    const qint64 ms = digits.match(text).hasMatch() ? text.toLongLong() : -1;
    if (ms != 0 && (ms < kShortestPoll || ms > kLongestPoll))
        return QStringLiteral("--poll-period takes 0 or %1 to %2 milliseconds, not \"%3\"")
            .arg(kShortestPoll)
            .arg(kLongestPoll)
            .arg(text);
    return std::chrono::milliseconds(ms);
}

} // namespace tavo::pjlink
