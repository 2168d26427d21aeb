#pragma once

#include <QString>

namespace orvik {

// The system's text for an error number ("Permission denied").
QString systemErrorText(int errorNumber);

// For a device the system refused (EACCES or EPERM): the line that tells the user to
// join the group that owns it and log in again. The group is read from the device when
// it grants its group read and write, else usualGroup is named ("dialout", "lp").
// Empty for any other error.
QString deviceAccessAdvice(const QString& devicePath, int errorNumber, const QString& usualGroup);

// Why a folder cannot be read and written: the system's reason, empty when it can.
QString folderAccessProblem(const QString& folder);

} // namespace orvik
