#pragma once

#include <QString>
#include <functional>

namespace orvik {

// One line of the program log.
void AddLog(const QString& text);

// A value as log lines quote it: no more than its first 80 characters, then how long it
// was, so that a long stored or typed value never makes a long line; control characters
// are shown as \xNN.
QString logValue(const QString& value);

// A control character or a line or paragraph separator: nothing a line of text may hold raw.
bool isControlCharacter(QChar c);

// The log window installs its sink here; an empty function restores the default,
// which writes the line to stderr.
void setLogSink(std::function<void(const QString&)> sink);

} // namespace orvik
