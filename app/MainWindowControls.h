#pragma once

#include "bands/ui/BandPanel.h"
#include "receiver/ui/ReceiverPanels.h"

class QWidget;

namespace orvik {

// The controls of the subsystems' panels that their controllers take over.
struct MainWindowPanels {
    ReceiverPanel receiver;
    BandPanel bands;
};

// Creates every control of the main window as a child of window, at its design position
// (absolute geometry, no layout, so the window can be cut to any display height). Object
// names are the design names; element i of a control array is "<array>_<i>" ("optPwr_0").
// Also creates the window's timers (QTimer children, stopped, named "tmrTune", ...) and its
// pop-up menus (QMenu children, "mnuVFOControl_0", "mnuVFOStep", "mnuUserPresets", with
// QAction children named after their menu items). Sets the window's caption to "ORVIKSDR",
// its width to the design width and its client height to the "Std" cut (linNormal).
MainWindowPanels buildMainWindowControls(QWidget* window);

} // namespace orvik
