#pragma once
// The PJLink wire format, the same for Class 1 and 2, as pure functions:
// splitting the bytes a client sends into lines, reading one line as a
// request, and writing an answer. Nothing here touches a socket, so every
// piece can be fed anything.
//
// A request is "%1" (header and class), a four-character command, a blank,
// a parameter and a carriage return: "%1POWR 1\r". An answer repeats header,
// class and command, then "=" and the result: "%1POWR=OK\r".

#include <QByteArray>
#include <QByteArrayView>

#include <chrono>
#include <optional>

namespace tavo::pjlink {

inline constexpr quint16 kDefaultPort = 4352;
// The longest Class 1 request, header to carriage return included.
inline constexpr qsizetype kMaxRequestLength = 136;
// A connection without a request for this long is closed.
inline constexpr std::chrono::seconds kIdleTimeout{30};
inline constexpr char kTerminator = '\r';
inline constexpr char kLineFeed = '\n';
// A carriage return, or a line feed.
bool isLineEnd(char c);

inline constexpr char kClass1 = '1';
inline constexpr char kClass2 = '2';

// The results a Class 1 projector gives besides data.
inline constexpr QByteArrayView kOk = "OK";
inline constexpr QByteArrayView kUndefinedCommand = "ERR1";
inline constexpr QByteArrayView kOutOfParameter = "ERR2";
inline constexpr QByteArrayView kUnavailableTime = "ERR3";
inline constexpr QByteArrayView kProjectorFailure = "ERR4";

// The greetings and the answer to a wrong digest, carriage return included.
inline const QByteArray kGreetingOpen = QByteArrayLiteral("PJLINK 0\r");
inline const QByteArray kAuthenticationError = QByteArrayLiteral("PJLINK ERRA\r");
QByteArray greetingWithChallenge(QByteArrayView challenge);

// One step of splitting a client's bytes into lines.
struct LineScan {
    enum class Result {
        Line,     // line holds the bytes before the line's end
        NeedMore, // no line end yet, and there is still room for one
        TooLong,  // no line end within maxLength bytes: the client breaks the rules
    };
    Result result = Result::NeedMore;
    QByteArrayView line; // a view into the scanned buffer
    qsizetype consumed =
        0; // bytes to drop from the buffer's front, line feeds before the line included
};

// Looks for the first line in buffer. A line ends in a carriage return, as
// PJLink has it, or in a line feed, as a line typed into nc or echoed into
// it does; maxLength counts the line and its end. Line feeds in front of a
// line (the LF of a CR LF) are skipped and not counted. Any other byte may
// stand in a line.
LineScan scanLine(QByteArrayView buffer, qsizetype maxLength);

// A line read as a request: header, a class digit and a four-character
// command of letters and digits. The command is upper-cased (clients may
// send either case); the parameter is whatever follows the blank.
struct Request {
    char pjlinkClass = kClass1;
    QByteArray command;
    bool hasSeparator = false; // a blank follows the command
    QByteArray parameter;
};

// Nothing when the line does not even have the shape of a request.
std::optional<Request> parseRequest(QByteArrayView line);

// "%1POWR=OK\r".
QByteArray formatAnswer(char pjlinkClass, QByteArrayView command, QByteArrayView result);

// What a line without the shape of a request gets: an undefined command.
QByteArray malformedLineAnswer();

} // namespace tavo::pjlink
