#include "bands/BandPlanDiscovery.h"

#include "platform/EventPump.h"
#include "platform/Log.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace orvik {

QStringList ListBandPlanFiles(const QString& folder)
{
    QDir dir(folder);
    dir.setNameFilters({QStringLiteral("*.bpl")});
    // Unreadable files are listed too: their load fails and is logged, and no
    // save ever replaces them.
    dir.setFilter(QDir::Files | QDir::Hidden);
    dir.setSorting(QDir::Name | QDir::IgnoreCase);
    return dir.entryList();
}

int CopyShippedBandPlans(const QString& folder, const QString& shippedFolder)
{
    if (shippedFolder.isEmpty())
        return 0;
    int copied = 0;
    for (const QString& name : ListBandPlanFiles(shippedFolder)) {
        const QString target = folder + u'/' + name;
        if (QFileInfo::exists(target))
            continue;
        if (!QFile::copy(shippedFolder + u'/' + name, target)) {
            AddLog(QStringLiteral("Error:CopyShippedBandPlans:cannot copy %1 to %2").arg(name, folder));
            continue;
        }
        // Files copied out of the program's resources arrive read-only.
        QFile::setPermissions(target, QFile::permissions(target) | QFileDevice::WriteOwner | QFileDevice::ReadOwner);
        ++copied;
    }
    return copied;
}

BandPlanDiscovery DiscoverBandPlans(modBandPlan& plans, const QString& folder, const QString& productName,
                                    const QString& logLocation,
                                    const std::function<void(const QString&)>& showLoading,
                                    const QString& shippedFolder)
{
    BandPlanDiscovery outcome;
    plans.BandPlans.clear();
    plans.CurrentMainBandIndex = 0;

    QStringList files = ListBandPlanFiles(folder);
    if (files.isEmpty() && CopyShippedBandPlans(folder, shippedFolder) > 0) {
        AddLog(logLocation + QStringLiteral(":Copied the shipped band plans into ") + folder);
        files = ListBandPlanFiles(folder);
    }
    if (files.isEmpty()) {
        AddLog(logLocation + QStringLiteral(":No BandPlans found in ") + folder);
        outcome.EndProgram = true;
        outcome.MessageText = QStringLiteral("No Bandplan (.bpl) files found - You must have at least 1 Bandplan \n"
                                             "Please Re-Install Application or find a .BPL file");
        outcome.MessageTitle = productName + QStringLiteral(" - No Bandplan found");
        return outcome;
    }

    for (const QString& file : files) {
        AddLog(logLocation + QStringLiteral(":Processing ") + file);
        BandPlan band;
        band.FileName = folder + u'/' + file;
        band.Name = file.left(file.size() - 4);
        band.Index = static_cast<int32_t>(plans.BandPlans.size());
        band.Active = false;
        band.ActiveSubBand = 0;
        band.Caption = band.Name;
        band.Description = band.Name;
        band.NumSubBandsAlloc = modBandPlan::kSubBandButtons;
        band.PresetsPerSubBand = modBandPlan::kPresetButtons;
        plans.BandPlans.push_back(std::move(band));
    }

    for (size_t i = 0; i < plans.BandPlans.size(); ++i) {
        BandPlan& band = plans.BandPlans[i];
        if (showLoading)
            showLoading(band.Name);
        pumpEvents();
        plans.InitBandPlan(band);
        plans.LoadBandPlan(band);
        if (band.Active)
            plans.CurrentMainBandIndex = static_cast<int32_t>(i);
    }
    return outcome;
}

} // namespace orvik
