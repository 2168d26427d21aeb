#pragma once

#include <QProcess>
#include <QString>

namespace orvik::soundtest {

// What a desktop session gives a program that asks RealtimeKit for priority, private to a
// test: a system-bus dbus-daemon (the system configuration, listening on a socket in the
// test's folder), polkitd with a rule granting RealtimeKit's two actions (as polkit grants
// them to the processes of a desktop session), and rtkit-daemon on that bus. Nothing
// system-wide changes: the rule is bound over polkit's rules folder in a mount namespace
// of polkitd's own. Every party finds the bus through DBUS_SYSTEM_BUS_ADDRESS. Needs root,
// as polkitd and rtkit-daemon change to their own users.
class RealtimeKitDesk {
public:
    ~RealtimeKitDesk() { stop(); }

    // Why a desk cannot run here (a missing program, not root); empty when it can.
    static QString unavailable();
    // Starts the desk in `folder` (made searchable by the services' users), or only its bus
    // when not `withRealtimeKit`; empty when every part answers on the bus, else what went
    // wrong.
    QString start(const QString& folder, bool withRealtimeKit = true);
    void stop();
    // "unix:path=..." for DBUS_SYSTEM_BUS_ADDRESS.
    const QString& address() const { return address_; }
    // What the services wrote.
    QString logs() const;
    // polkitd's process, which a test may stop and continue as a stuck polkit.
    qint64 policyKitProcess() const { return polkit_.processId(); }

private:
    bool answers(const QString& name) const;
    QString waitFor(QProcess& process, const QString& name, const QString& what);

    QProcess bus_;
    QProcess polkit_;
    QProcess rtkit_;
    QString folder_;
    QString desk_;
    QString address_;
};

} // namespace orvik::soundtest
