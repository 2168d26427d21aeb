#pragma once

#include <QImage>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace orvik::soundtest {

// A private Xvfb. The server picks a free display number itself and reports it when it
// accepts connections, so tests started side by side never share or steal a display.
class VirtualDisplay {
public:
    ~VirtualDisplay() { stop(); }

    // Empty when the server is up, else what went wrong.
    QString start();
    void stop();
    // ":N" once started.
    const QString& name() const { return name_; }

    // Runs an X client (xdotool, xwd ...) on this display to its end, 30 s at most; what it
    // printed, trimmed.
    QString runClient(const QString& tool, const QStringList& arguments) const;
    // The ids of the shown windows whose title is exactly `title`.
    QStringList shownWindows(const QString& title) const;
    // The window's picture as the server has it, kept as a PNG file at `png`; a null image
    // when it could not be taken.
    QImage grab(const QString& window, const QString& png) const;

private:
    QProcess server_;
    QString name_;
};

} // namespace orvik::soundtest
