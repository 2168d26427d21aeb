#pragma once

#include "bands/modBandPlan.h"

#include <QString>
#include <QStringList>
#include <functional>

namespace orvik {

// Where the band plans we ship are kept inside the program.
inline const QString kShippedBandPlans = QStringLiteral(":/orviksdr/bandplans");

// What start-up does next after looking for band plans.
struct BandPlanDiscovery {
    bool EndProgram = false; // no band plan: show the message, then end the program
    QString MessageText;
    QString MessageTitle; // shown with the critical icon
};

// The "*.bpl" files of a folder (extension in any case), sorted by name
// without regard to case so that "the last active band wins" is the same on
// every machine.
QStringList ListBandPlanFiles(const QString& folder);

// Copies the shipped band plans into a folder; returns how many were copied.
int CopyShippedBandPlans(const QString& folder, const QString& shippedFolder = kShippedBandPlans);

// Start-up discovery: when the folder holds no band plan the shipped ones are
// copied in first; then one BandPlans element per file, each initialised and
// loaded, and CurrentMainBandIndex on the last band marked active (0 when
// none). Log lines go to AddLog behind logLocation; showLoading receives each
// band's Name before its file is read (the splash label), and window events
// run after it.
BandPlanDiscovery DiscoverBandPlans(modBandPlan& plans, const QString& folder, const QString& productName,
                                    const QString& logLocation,
                                    const std::function<void(const QString&)>& showLoading = {},
                                    const QString& shippedFolder = kShippedBandPlans);

} // namespace orvik
