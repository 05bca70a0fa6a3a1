#pragma once
// A script from standard input, read line by line as it comes: one or more
// commands a line, blank lines skipped; a "#" at the start of a line or
// after a blank starts a comment, also after send (a "#" inside a word, as
// in send CR#1, is sent). Each line is parsed as soon as it is whole, so its
// steps can go out before the next line has arrived. Reading is bounded: a
// line longer than kMaxLineBytes, more than kMaxLines lines or a NUL byte
// stop it with a usage error naming the line, so a runaway input can
// neither hang nor exhaust memory.

#include "command_words.h"

#include <QByteArray>
#include <QList>
#include <QString>

class QIODevice;

namespace tavo::ctl {

inline constexpr qsizetype kMaxLineBytes = 4096;
inline constexpr int kMaxLines = 10'000;

// The line without its comment and without blanks at either end.
QString withoutComment(QStringView line);

// Takes the input in pieces of any size (UTF-8; LF or CR LF line ends).
class ScriptParser {
public:
    // The steps of the lines that the piece completes; after an error
    // ("standard input, line 3: ..."), nothing more.
    QList<Step> feed(QByteArrayView piece);
    // The end of input: the steps of a last line without its line feed.
    QList<Step> finish();

    const QString& error() const { return error_; }

private:
    QList<Step> takeLine(QByteArrayView bytes);
    void fail(const QString& problem);

    QByteArray pending_; // the start of a line not yet whole
    int number_ = 0;
    bool hadSteps_ = false;
    QString error_;
};

struct Script {
    QList<Step> steps;
    QString error; // "standard input, line 3: ..."; empty when the script is sound

    bool ok() const { return error.isEmpty(); }
};

// Reads a whole script until the end of input.
Script readScript(QIODevice& input);

} // namespace tavo::ctl
