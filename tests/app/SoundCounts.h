#pragma once

// What the program's sound card counted of its own faults, read from its trace log: the
// line each stop of the sound writes, and the lines each event writes as it happens.

#include <QFile>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

namespace orvik::soundtest {

struct SoundCounts {
    int stops = 0;                // sound stops seen (each writes one summary line)
    long long late = 0;           // output blocks that came after their slot
    long long givenUpForDelay = 0; // output blocks given up to keep the delay
    long long capturedGivenUp = 0; // captured blocks given up as too late
    long long stretches = 0;       // stretches those made
    int leadRaised = 0;            // lines that raised the playback lead
    int leadLowered = 0;           // lines that brought it down again
    int lastLead = 0;              // the lead at the last stop

    // Events the program itself counted as lost or late sound.
    long long faults() const { return late + capturedGivenUp + (givenUpForDelay - leadLowered); }
};

inline SoundCounts soundCountsIn(const QString& log)
{
    static const QRegularExpression summary(QStringLiteral(
        R"(sound stops after (\d+) blocks played, (\d+) late, (\d+) given up to keep the delay, (\d+) captured blocks )"
        R"(given up in (\d+) stretches; playback lead (\d+) blocks?)"));
    SoundCounts counts;
    for (const QString& line : log.split(QLatin1Char('\n'))) {
        const QRegularExpressionMatch m = summary.match(line);
        if (m.hasMatch()) {
            ++counts.stops;
            counts.late += m.captured(2).toLongLong();
            counts.givenUpForDelay += m.captured(3).toLongLong();
            counts.capturedGivenUp += m.captured(4).toLongLong();
            counts.stretches += m.captured(5).toLongLong();
            counts.lastLead = m.captured(6).toInt();
        }
        counts.leadRaised += line.contains(QStringLiteral("the playback lead is now"));
        counts.leadLowered += line.contains(QStringLiteral("the playback lead is back to"));
    }
    return counts;
}

inline SoundCounts soundCountsInFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? soundCountsIn(QString::fromUtf8(file.readAll())) : SoundCounts{};
}

inline QString describe(const SoundCounts& c)
{
    return QStringLiteral("%1 late, %2 given up to keep the delay, %3 captured given up in %4 stretches, lead raised "
                          "%5 times and lowered %6")
        .arg(c.late)
        .arg(c.givenUpForDelay)
        .arg(c.capturedGivenUp)
        .arg(c.stretches)
        .arg(c.leadRaised)
        .arg(c.leadLowered);
}

} // namespace orvik::soundtest
