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

bool isControlCharacter(QChar c)
{
    return c.category() == QChar::Other_Control || c == QChar::LineSeparator || c == QChar::ParagraphSeparator;
}

QString logValue(const QString& value)
{
    constexpr qsizetype shown = 80;
    QString quoted;
    for (const QChar c : QStringView(value).left(shown)) {
        // A raw NUL or line break would cut or split the log's line.
        if (isControlCharacter(c))
            quoted += QStringLiteral("\\x%1").arg(c.unicode(), c.unicode() < 0x100 ? 2 : 4, 16, QLatin1Char('0'));
        else
            quoted += c;
    }
    if (value.size() > shown)
        quoted += QStringLiteral("... (%1 characters)").arg(value.size());
    return quoted;
}

void setLogSink(std::function<void(const QString&)> sink)
{
    logSink() = std::move(sink);
}

} // namespace orvik
