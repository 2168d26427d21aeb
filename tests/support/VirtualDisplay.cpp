#include "tests/support/VirtualDisplay.h"

#include "tests/support/PulseAudioServer.h"

#include <QFile>
#include <QProcessEnvironment>
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

namespace {

QProcessEnvironment environmentOn(const QString& display)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), display);
    return env;
}

} // namespace

QString VirtualDisplay::runClient(const QString& tool, const QStringList& arguments) const
{
    QProcess client;
    client.setProcessEnvironment(environmentOn(name_));
    client.start(tool, arguments);
    if (!client.waitForFinished(30000)) {
        client.kill();
        client.waitForFinished(1000);
    }
    return QString::fromLocal8Bit(client.readAllStandardOutput()).trimmed();
}

QStringList VirtualDisplay::shownWindows(const QString& title) const
{
    return runClient(QStringLiteral("xdotool"), {"search", "--onlyvisible", "--name", "^" + title + "$"})
        .split(u'\n', Qt::SkipEmptyParts);
}

QImage VirtualDisplay::grab(const QString& window, const QString& png) const
{
    QFile::remove(png);
    runClient(QStringLiteral("sh"), {"-c", "xwd -id \"$1\" -silent | convert xwd:- \"$2\"", "grab", window, png});
    return QImage(png);
}

} // namespace orvik::soundtest
