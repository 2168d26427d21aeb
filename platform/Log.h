#pragma once

#include <QString>
#include <functional>

namespace orvik {

// One line of the program log.
void AddLog(const QString& text);

// The log window installs its sink here; an empty function restores the default,
// which writes the line to stderr.
void setLogSink(std::function<void(const QString&)> sink);

} // namespace orvik
