#pragma once
// A script from standard input, read whole and checked before the first
// frame goes out: one or more commands a line, blank lines and lines
// beginning with "#" skipped. Reading is bounded: a line longer than
// kMaxLineBytes or more than kMaxLines lines stop it at once with a usage
// error naming the line, so a runaway input can neither hang nor exhaust
// memory.

#include "command_words.h"

#include <QList>
#include <QString>

class QIODevice;

namespace tavo::ctl {

inline constexpr qsizetype kMaxLineBytes = 4096;
inline constexpr int kMaxLines = 10'000;

struct Script {
    QList<Step> steps;
    QString error; // "standard input, line 3: ..."; empty when the script is sound

    bool ok() const { return error.isEmpty(); }
};

// Reads lines (UTF-8; LF or CR LF) until the end of input, parsing each.
Script readScript(QIODevice& input);

} // namespace tavo::ctl
