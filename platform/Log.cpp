#include "platform/Log.h"

#include <cstdio>

namespace orvik {

namespace {
std::function<void(const QString&)>& logSink()
{
    static std::function<void(const QString&)> sink;
    return sink;
}
} // namespace

void AddLog(const QString& text)
{
    if (const auto& sink = logSink()) {
        sink(text);
        return;
    }
    const QByteArray line = text.toLocal8Bit();
    std::fprintf(stderr, "%s\n", line.constData());
    std::fflush(stderr);
}

QString logValue(const QString& value)
{
    constexpr qsizetype shown = 80;
    if (value.size() <= shown)
        return value;
    return value.left(shown) + QStringLiteral("... (%1 characters)").arg(value.size());
}

void setLogSink(std::function<void(const QString&)> sink)
{
    logSink() = std::move(sink);
}

} // namespace orvik
