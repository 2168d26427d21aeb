#pragma once

#include "platform/SettingsStore.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <memory>

namespace orvik::testing {

// A program folder with one band plan and an empty folder of shipped plans in dir, and a
// settings store beside them on the parallel interface (no serial port is ever opened).
// Null when the band plan cannot be written.
inline std::unique_ptr<SettingsStore> makeWindowSandbox(const QTemporaryDir& dir, const QString& home,
                                                         const QByteArray& bandPlan)
{
    QDir().mkpath(home);
    QDir().mkpath(dir.filePath("shipped"));
    QFile f(QDir(home).filePath("Test.bpl"));
    if (!f.open(QIODevice::WriteOnly) || f.write(bandPlan) != bandPlan.size())
        return nullptr;
    f.close();
    auto store = std::make_unique<SettingsStore>(dir.filePath("ORVIKSDR.ini"));
    store->write("frmMain", "VFO1.IFType", "1");
    return store;
}

} // namespace orvik::testing
