#pragma once
// The bridge's settings as read from its command line and password file,
// checked before anything is opened: every value comes from outside and each
// failure says what is wrong with which value.

#include "pjlink/controllers.h"

#include <QByteArray>
#include <QHostAddress>
#include <QString>

#include <optional>
#include <variant>

namespace tavo::pjlink {

// Where the bridge listens: an address and port like a controller's.
using ListenAddress = Endpoint;

// ADDRESS[:PORT], one form only: an IPv4 address as four decimal numbers
// ("127.0.0.1", "0.0.0.0:4352") or an IPv6 address in brackets ("[::1]",
// "[::]:4352", "[fe80::1%eth0]:4352"); the port is decimal digits. Host
// names are not looked up. The port defaults to 4352; port 0 takes any free
// port.
std::variant<ListenAddress, QString> parseListenAddress(const QString& text);

// The first line of the file, its line end not included. The password must
// be 1 to 32 printable ASCII characters; the file is read no further than a
// few kilobytes.
std::variant<QByteArray, QString> readPasswordFile(const QString& path);

// Why the password file is not safe enough: group or others can read it.
// Nothing when only its owner can.
std::optional<QString> passwordFileExposure(const QString& path);

// NAME: 1 to 64 printable ASCII characters.
std::variant<QByteArray, QString> checkName(const QString& name);

} // namespace tavo::pjlink
