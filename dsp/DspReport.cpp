#include "dsp/DspReport.h"

#include <cstdio>
#include <utility>

namespace orvik {
namespace {

std::function<void(const std::string&)>& reporter()
{
    static std::function<void(const std::string&)> current;
    return current;
}

} // namespace

void ReportDspError(const std::string& text)
{
    if (reporter())
        reporter()(text);
    else
        std::fprintf(stderr, "%s\n", text.c_str());
}

void SetDspErrorReporter(std::function<void(const std::string&)> newReporter)
{
    reporter() = std::move(newReporter);
}

} // namespace orvik
