#pragma once

#include <QProcess>
#include <QString>

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

private:
    QProcess server_;
    QString name_;
};

} // namespace orvik::soundtest
