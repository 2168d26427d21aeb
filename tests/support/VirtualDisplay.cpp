#include "tests/support/VirtualDisplay.h"

#include "tests/support/PulseAudioServer.h"

#include <QStandardPaths>

namespace orvik::soundtest {

QString VirtualDisplay::start()
{
    if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty())
        return QStringLiteral("Xvfb is not installed");
    // The number comes on standard output; picking one by looking for lock files races
    // with every other test doing the same. Without -noreset the server starts over each
    // time its last client leaves, and a client connecting meanwhile is turned away: the
    // program starting while a test polls for its window.
    server_.setProcessChannelMode(QProcess::SeparateChannels);
    server_.setStandardErrorFile(QProcess::nullDevice());
    server_.start(QStringLiteral("Xvfb"),
                  {"-displayfd", "1", "-noreset", "-screen", "0", "1280x1024x24", "-nolisten", "tcp"});
    if (!server_.waitForStarted(30000))
        return QStringLiteral("Xvfb did not start");
    QByteArray reported;
    runUntil(
        [&] {
            reported += server_.readAllStandardOutput();
            return reported.contains('\n') || server_.state() == QProcess::NotRunning;
        },
        30000);
    bool ok = false;
    const int number = reported.trimmed().toInt(&ok);
    if (!ok) {
        stop();
        return QStringLiteral("Xvfb reported no display number");
    }
    name_ = QStringLiteral(":%1").arg(number);
    return {};
}

void VirtualDisplay::stop()
{
    endProcess(server_, 5000);
}

} // namespace orvik::soundtest
