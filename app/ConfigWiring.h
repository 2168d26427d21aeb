#pragma once

#include "config/ConfigApply.h"
#include "config/ui/frmConfig.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>

class QWidget;

namespace orvik {

class CtlArray;
class DreamLauncher;
class clsSpectrumAnalyser;
class ORVIKDX8;
class SettingsStore;
struct MainWindowOptions;
struct PublicVars;
struct SDRColourSchemes;
struct SynthesizerRig;

// Opens the configuration dialog from the main window's "Config" button and fills its
// hooks from the main window's objects, where both sides are visible.
class ConfigWiring : public QObject {
public:
    // The main window's objects; each may still be empty when a hook runs.
    struct Parts {
        QWidget* window = nullptr;
        SettingsStore* store = nullptr;
        SynthesizerRig* rig = nullptr;
        std::unique_ptr<ORVIKDX8>* soundCard = nullptr;
        PublicVars* vars = nullptr;
        MainWindowOptions* options = nullptr;
        SDRColourSchemes* colours = nullptr;
        std::unique_ptr<DreamLauncher>* dream = nullptr;
        CtlArray* ctl = nullptr;
        std::unique_ptr<clsSpectrumAnalyser>* analyser = nullptr;
        std::function<void(bool)> setHiSideLO; // the one setter of every copy of the LO side
        const QString* DreamDefaultArgs = nullptr;
        QString programFolder;
        QString version;
        // Recolours the main window from its scheme, darkens the labels and unfocuses the frames.
        std::function<void()> ReColour;
        std::function<void(const QString&)> Display7Seg;
        // The knob's switches as the tuning controls read them.
        std::function<void(bool enable, bool autoRate)> setShaftEncoder;
    };

    explicit ConfigWiring(Parts parts);
    ~ConfigWiring() override;

    ConfigHooks hooks();
    // Opens the dialog modelessly; the main window and the receiver keep running.
    void cmdConfig_Click();
    frmConfig* dialog() const { return dialog_.data(); }
    // Removes an open dialog without applying anything (shut-down).
    void closeDialog();

    ConfigDialogState state;

private:
    void dialogClosed();

    Parts parts_;
    QPointer<frmConfig> dialog_;
};

} // namespace orvik
