#include "pjlink/protocol.h"

#include <algorithm>

namespace tavo::pjlink {

namespace {

constexpr char kHeader = '%';
constexpr char kSeparator = ' ';
constexpr char kAnswerMark = '=';
constexpr qsizetype kCommandLength = 4;
// Header, class and command.
constexpr qsizetype kCommandEnd = 2 + kCommandLength;

bool isAsciiDigit(char c) {
    return c >= '0' && c <= '9';
}

bool isAsciiLetterOrDigit(char c) {
    return isAsciiDigit(c) || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

char upper(char c) {
    return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
}

} // namespace

bool isLineEnd(char c) {
    return c == kTerminator || c == kLineFeed;
}

QByteArray greetingWithChallenge(QByteArrayView challenge) {
    return QByteArrayLiteral("PJLINK 1 ") + challenge.toByteArray() + kTerminator;
}

LineScan scanLine(QByteArrayView buffer, qsizetype maxLength) {
    qsizetype start = 0;
    while (start < buffer.size() && buffer[start] == '\n')
        ++start;
    const QByteArrayView rest = buffer.sliced(start);
    const QByteArrayView window = rest.first(std::min(rest.size(), maxLength));
    const auto found = std::ranges::find_if(window, isLineEnd);
    const qsizetype end = found == window.end() ? -1 : qsizetype(found - window.begin());
    if (end >= 0)
        return {LineScan::Result::Line, rest.first(end), start + end + 1};
    if (rest.size() >= maxLength)
        return {LineScan::Result::TooLong, {}, 0};
    return {LineScan::Result::NeedMore, {}, start};
}

std::optional<Request> parseRequest(QByteArrayView line) {
    if (line.size() < kCommandEnd || line[0] != kHeader || !isAsciiDigit(line[1]))
        return std::nullopt;
    Request request;
    request.pjlinkClass = line[1];
    for (const char c : line.sliced(2, kCommandLength)) {
        if (!isAsciiLetterOrDigit(c))
            return std::nullopt;
        request.command.append(upper(c));
    }
    const QByteArrayView rest = line.sliced(kCommandEnd);
    request.hasSeparator = !rest.isEmpty() && rest.front() == kSeparator;
    if (request.hasSeparator)
        request.parameter = rest.sliced(1).toByteArray();
    else
        request.parameter = rest.toByteArray();
    return request;
}

QByteArray formatAnswer(char pjlinkClass, QByteArrayView command, QByteArrayView result) {
    QByteArray answer;
    answer.reserve(kCommandEnd + 1 + result.size() + 1);
    answer.append(kHeader).append(pjlinkClass).append(command).append(kAnswerMark).append(result);
    answer.append(kTerminator);
    return answer;
}

QByteArray malformedLineAnswer() {
    // The command field cannot be repeated: it is not four letters or digits.
    return formatAnswer(kClass1, "????", kUndefinedCommand);
}

} // namespace tavo::pjlink
