#pragma once

#include <QString>

namespace orvik {

// The folder that holds the band plans, the temporary recording file, the
// decoder's INI file and the log file: $ORVIKSDR_HOME when set, else
// $XDG_DATA_HOME/ORVIKSDR, else ~/.local/share/ORVIKSDR. Created when missing
// (a failure is logged; the path is returned all the same).
QString programFolder();

} // namespace orvik
