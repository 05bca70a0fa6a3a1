// The bridge's reading of what a client sends, over any bytes in any pieces.
// The first input byte chooses the line limit (with or without a digest in
// front); then 'p' LENGTH BYTES is a piece of up to 255 bytes, any other byte
// a piece of one byte.
// - Split a piece at a time into a buffer never longer than the limit, the
//   lines are those of the whole stream split at once, and a line over the
//   limit is told at the same place.
// - Every scan keeps its promise: a line holds no line end (CR or LF),
//   nothing but line feeds stands before it, and "too long" means no line end
//   within the limit.
// - A line read as a request writes back to the same line (command in upper
//   case), its answer reads back as the same command, and it resolves to a
//   table row of its own command or to ERR1/ERR2, never both; a row's
//   senders all exist.
// - A digest taken off a line is 32 characters and the line is the digest's
//   text followed by the request.
// - The log text of a line is printable ASCII in quotes it cannot close.

#include "exchange/log_text.h"
#include "fuzz_support.h"
#include "pjlink/authentication.h"
#include "pjlink/class2.h"
#include "pjlink/mapping.h"
#include "pjlink/protocol.h"

#include <algorithm>

namespace {

using namespace tavo::pjlink;
using tavo::fuzz::FuzzInput;
using tavo::link::escapedQuoted;
using tavo::link::printable;

bool hasLineEnd(QByteArrayView bytes) {
    return std::any_of(bytes.begin(), bytes.end(), isLineEnd);
}

void checkScan(QByteArrayView buffer, qsizetype maxLength, const LineScan& scan) {
    qsizetype feeds = 0;
    while (feeds < buffer.size() && buffer[feeds] == '\n')
        ++feeds;
    const QByteArrayView rest = buffer.sliced(feeds);
    switch (scan.result) {
    case LineScan::Result::Line:
        FUZZ_CHECK(scan.consumed == feeds + scan.line.size() + 1 &&
                       isLineEnd(buffer[scan.consumed - 1]) && !hasLineEnd(scan.line) &&
                       scan.line.size() < maxLength && scan.line.data() == rest.data(),
                   printable(buffer));
        return;
    case LineScan::Result::TooLong:
        FUZZ_CHECK(rest.size() >= maxLength && !hasLineEnd(rest.first(maxLength)),
                   printable(buffer));
        return;
    case LineScan::Result::NeedMore:
        FUZZ_CHECK(scan.consumed == feeds && !hasLineEnd(rest) && rest.size() < maxLength,
                   printable(buffer));
        return;
    }
}

// The stream split at once: its lines up to the first over the limit.
struct Split {
    QList<QByteArray> lines;
    bool tooLong = false;
};

Split splitWhole(QByteArrayView stream, qsizetype maxLength) {
    Split split;
    qsizetype pos = 0;
    for (;;) {
        while (pos < stream.size() && stream[pos] == '\n')
            ++pos;
        const auto found = std::find_if(stream.begin() + pos, stream.end(), isLineEnd);
        const qsizetype end = found == stream.end() ? -1 : qsizetype(found - stream.begin());
        const qsizetype length = (end < 0 ? stream.size() : end) - pos;
        if (end < 0 ? length >= maxLength : length + 1 > maxLength) {
            split.tooLong = true;
            return split;
        }
        if (end < 0)
            return split;
        split.lines.append(stream.sliced(pos, length).toByteArray());
        pos = end + 1;
    }
}

void checkRequest(QByteArrayView line) {
    const std::optional<Request> request = parseRequest(line);
    if (!request) {
        const bool shaped =
            line.size() >= 6 && line[0] == '%' && line[1] >= '0' && line[1] <= '9' &&
            std::all_of(line.begin() + 2, line.begin() + 6, [](char c) {
                return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
            });
        FUZZ_CHECK(!shaped, printable(line));
        return;
    }
    QByteArray back = QByteArray(1, '%') + request->pjlinkClass + request->command;
    if (request->hasSeparator)
        back += ' ';
    back += request->parameter;
    FUZZ_CHECK(back.size() == line.size() && back.toUpper() == line.toByteArray().toUpper() &&
                   request->command == request->command.toUpper(),
               printable(line) + QStringLiteral(" -> ") + printable(back));

    const QByteArray answer = formatAnswer(request->pjlinkClass, request->command, kOk);
    FUZZ_CHECK(answer.endsWith(kTerminator), printable(answer));
    const std::optional<Request> answered = parseRequest(QByteArrayView(answer).chopped(1));
    FUZZ_CHECK(answered && answered->pjlinkClass == request->pjlinkClass &&
                   answered->command == request->command,
               printable(answer));

    const Resolution resolution = resolve(*request);
    FUZZ_CHECK((resolution.mapping == nullptr) != resolution.error.isEmpty(), printable(line));
    if (!resolution.mapping) {
        FUZZ_CHECK(resolution.error == kUndefinedCommand || resolution.error == kOutOfParameter,
                   printable(line));
        return;
    }
    const Mapping& row = *resolution.mapping;
    // A Class 2 row answers a "%2" request only; the Class 1 rows answer both.
    const bool class2Row =
        std::ranges::any_of(class2Mappings(), [&](const Mapping& m) { return &m == &row; });
    FUZZ_CHECK(
        (request->pjlinkClass == kClass2 || (request->pjlinkClass == kClass1 && !class2Row)) &&
            QByteArrayView(row.command) == request->command &&
            QByteArrayView(row.parameter) == request->parameter,
        printable(line));
    const qsizetype named = std::count_if(row.senders.begin(), row.senders.end(),
                                          [](auto name) { return !name.empty(); });
    FUZZ_CHECK(qsizetype(sendersFor(row).size()) == named, printable(line));
}

void checkDigest(QByteArrayView line) {
    const std::optional<DigestedLine> digested = takeDigest(line);
    if (!digested)
        return;
    const qsizetype before = line.size() - digested->request.size();
    FUZZ_CHECK(digested->digest.size() == kDigestLength && before > 0 && before <= kDigestLength &&
                   line.endsWith(digested->request) &&
                   digested->digest.endsWith(line.first(before)) &&
                   (digested->request.isEmpty() || digested->request.front() == '%'),
               printable(line));
}

// Printable ASCII in quotes that the line cannot close: every quote and
// backslash inside stands escaped.
bool quotedSafely(const QString& log) {
    bool escaped = false;
    for (qsizetype i = 1; i + 1 < log.size(); ++i) {
        if (!escaped && log[i] == QLatin1Char('"'))
            return false;
        escaped = !escaped && log[i] == QLatin1Char('\\');
    }
    return log.size() >= 2 && log.front() == QLatin1Char('"') && log.back() == QLatin1Char('"') &&
           !escaped;
}

void checkLine(QByteArrayView line) {
    const QString log = escapedQuoted(line);
    FUZZ_CHECK(std::all_of(log.begin(), log.end(),
                           [](QChar c) { return c.unicode() >= 32 && c.unicode() < 127; }) &&
                   quotedSafely(log),
               log);
    checkRequest(line);
    checkDigest(line);
    if (const std::optional<DigestedLine> digested = takeDigest(line))
        checkRequest(digested->request);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    const qsizetype maxLength = kMaxRequestLength + ((input.byte() & 1) ? kDigestLength : 0);

    QByteArray stream;
    QByteArray pending; // arrived, not yet taken into the buffer
    QByteArray buffer;
    QList<QByteArray> lines;
    bool tooLong = false;
    while (!input.atEnd() && !tooLong) {
        const unsigned char code = input.byte();
        const QByteArray piece =
            code == 'p' ? input.bytes(input.byte()) : QByteArray(1, char(code));
        stream += piece;
        pending += piece;
        // Take what fits, scan, drop what was used; again while lines come.
        for (;;) {
            const qsizetype room = maxLength - buffer.size();
            buffer += pending.first(std::min(room, pending.size()));
            pending.remove(0, std::min(room, pending.size()));
            FUZZ_CHECK(buffer.size() <= maxLength, QString::number(buffer.size()));
            const LineScan scan = scanLine(buffer, maxLength);
            checkScan(buffer, maxLength, scan);
            if (scan.result == LineScan::Result::TooLong) {
                tooLong = true;
                break;
            }
            if (scan.result == LineScan::Result::Line)
                lines.append(scan.line.toByteArray());
            buffer.remove(0, scan.consumed);
            if (scan.result == LineScan::Result::NeedMore && pending.isEmpty())
                break;
        }
    }
    const Split whole = splitWhole(stream, maxLength);
    FUZZ_CHECK(lines == whole.lines && tooLong == whole.tooLong,
               QStringLiteral("%1 lines a piece at a time%2, %3 at once%4")
                   .arg(lines.size())
                   .arg(tooLong ? QStringLiteral(" then too long") : QString())
                   .arg(whole.lines.size())
                   .arg(whole.tooLong ? QStringLiteral(" then too long") : QString()));
    for (const QByteArray& line : lines)
        checkLine(line);
    return 0;
}
