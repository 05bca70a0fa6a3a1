#pragma once
// The bash completion of tavo-ctl, generated from the names table and the
// options, so that it never lists a name the program does not know: after
// each word, the words that can follow it (the rest of a name, or the first
// word of the next one), and the values of the options that take few.

#include <QString>

namespace tavo::ctl {

QString bashCompletion();

} // namespace tavo::ctl
