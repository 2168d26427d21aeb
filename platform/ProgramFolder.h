#pragma once

#include <QString>

namespace orvik {

// The folder that holds the band plans, the temporary recording file, the
// decoder's INI file and the log file: $ORVIKSDR_HOME when set, else
// $XDG_DATA_HOME/ORVIKSDR, else ~/.local/share/ORVIKSDR. Created when missing
// (a failure is logged; the path is returned all the same).
QString programFolder();

// Why nothing can be written in the folder, empty when a file can be made there and
// written: tried with a file of one byte, removed again, so that a read-only mount, a
// folder root may not write either, or a full disk are all found.
QString programFolderWriteProblem(const QString& folder);

} // namespace orvik
