// Any bytes in a band-plan file: loading must not crash, hang or leak, and
// what a load gives must survive a save and a second load unchanged.
#include "bands/modBandPlan.h"
#include "platform/Log.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

using namespace orvik;

namespace {

QString workFolder()
{
    static QTemporaryDir dir(QDir("/dev/shm").exists() ? QStringLiteral("/dev/shm/bandplan_fuzz-XXXXXX")
                                                       : QDir::tempPath() + QStringLiteral("/bandplan_fuzz-XXXXXX"));
    return dir.path();
}

BandPlan freshBand(modBandPlan& plans, const QString& file)
{
    BandPlan band;
    band.Name = QStringLiteral("Fuzz");
    band.Caption = band.Description = band.Name;
    band.NumSubBandsAlloc = modBandPlan::kSubBandButtons;
    band.PresetsPerSubBand = modBandPlan::kPresetButtons;
    band.FileName = file;
    plans.InitBandPlan(band);
    return band;
}

QByteArray contents(const QString& file)
{
    QFile in(file);
    return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
}

[[noreturn]] void fail(const char* why)
{
    std::fprintf(stderr, "bandplan_fuzz: %s\n", why);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool quiet = [] {
        setLogSink([](const QString&) {});
        return true;
    }();
    (void)quiet;
    const QString file = workFolder() + QStringLiteral("/Fuzz.bpl");
    {
        QFile out(file);
        if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
            fail("cannot write the input file");
        out.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    }

    modBandPlan plans;
    plans.now = [] { return QDateTime(QDate(2026, 1, 1), QTime(0, 0)); };
    BandPlan band = freshBand(plans, file);
    if (!plans.LoadBandPlan(band))
        return 0;
    if (!plans.SaveBandPlan(band))
        fail("saving a loaded band plan failed");
    const QByteArray saved = contents(file);

    BandPlan again = freshBand(plans, file);
    if (!plans.LoadBandPlan(again))
        fail("a saved band plan does not load");
    if (!(again == band))
        fail("a saved band plan loads back different");
    if (!plans.SaveBandPlan(again) || contents(file) != saved)
        fail("saving the same records twice gives different files");
    return 0;
}
