#pragma once
// The words of a run turned into the steps to send: command names from the
// names table (several words each, the longest name that fits taken at each
// position, case ignored) and "send TEXT" for a typed frame. Pure: words in,
// steps or one error message out; an unknown name is answered with the
// nearest names by edit distance.

#include "commands/names.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

namespace tavo::ctl {

// The longest text "send" takes, as the panel's entry holds a line, not a file.
inline constexpr qsizetype kMaxTypedText = 4096;

inline const QString kSendWord = QStringLiteral("send");

// What the projector is expected to answer.
enum class Expected {
    Acknowledgement, // a command: ACK, or NAK when refused
    Text,            // a query: its reply text
    Anything,        // a typed frame: either
};

struct Step {
    commands::NamedCommand command; // empty for a typed frame
    QString typedText;              // the text after "send"

    bool isTyped() const { return command.entry == nullptr; }
    bool isHoldKey() const { return command.key != nullptr; }
    QString name() const;
    Expected expected() const;
};

struct ParsedSteps {
    QList<Step> steps;
    QString error; // empty when every word was understood

    bool ok() const { return error.isEmpty(); }
};

// Command-line arguments: "send" takes the next argument as its text.
ParsedSteps parseArguments(const QStringList& arguments);
// A script line, cut at blanks: "send" takes the rest of the line as its
// text, blanks within included; blanks at either end of the line are dropped.
ParsedSteps parseLine(QStringView line);

// For a typed frame whose text holds characters that one byte cannot hold
// (each goes out as "?", as from the panel's entry): a note saying so.
QString typedTextNote(const Step& step);

// The number of single-character insertions, deletions and substitutions
// that turn one text into the other.
int editDistance(QStringView a, QStringView b);

} // namespace tavo::ctl
