#pragma once
// Misuse of the signal-processing classes (a transform before its sizes are
// set, a block larger than the object was sized for) is reported through
// this seam, since the library itself shows no windows. The shell routes it
// to the message service; the default writes the text to stderr.

#include <functional>
#include <string>

namespace orvik {

void ReportDspError(const std::string& text);
// An empty function restores the default.
void SetDspErrorReporter(std::function<void(const std::string&)> reporter);

} // namespace orvik
