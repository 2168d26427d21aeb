#pragma once

#include "bands/ColourTheme.h"
#include "config/ConfigApply.h"
#include "platform/DialogService.h"

#include <QDialog>

#include <array>
#include <memory>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QTimer;

namespace orvik {

class ShapeWidget;

// The nine-page configuration dialog: filled from the running system when it loads,
// committed by Apply or OK through the hooks, left by Cancel or the close box.
class frmConfig : public QDialog {
public:
    struct Setup {
        ConfigHooks hooks;
        ConfigDialogState* state = nullptr; // ConfigOpen and ConfigCancelled; may be null
        QString programFolder;              // where colour themes are offered
        QString version;                    // major.minor.revision
    };

    frmConfig(Setup setup, QWidget* owner);
    ~frmConfig() override;

    bool Cancel = false;
    int32_t InitialCaptureDevice() const { return apply_.InitialCaptureDevice(); }
    int32_t InitialPlaybackDevice() const { return apply_.InitialPlaybackDevice(); }
    int32_t InitialDDSInterfaceType() const { return apply_.InitialDDSInterfaceType; }
    const OpeningColourTable& OpeningColours() const { return apply_.OpeningColours(); }

    // Handlers, named after their controls.
    void Form_Load();
    void Form_Unload();
    void Timer1_Timer();
    void optIF_Click(int Index);
    void chkEnableEncoder_Click();
    void cmdBitPeriodDefault_Click();
    void cmdParallelPortDefaults_Click();
    void cmdDreamDefault_Click();
    void cmdFindDREAM_Click();
    void cmdCalDDS_Click();
    // False when a check stopped it.
    bool cmdApply_Click();
    void cmdOK_Click();
    void cmdCancel_Click();
    void PickShapeColour(int swatch);
    void cmdSDRControlDefaults_Click();
    void cmdScopeDefaults_Click();
    void cmdSDRPreviewColours_MouseDown();
    void cmdSDRPreviewColours_MouseUp();
    void cmdSDRColoursSave_Click();
    void cmdSDRColoursLoad_Click();

    // What the controls hold now.
    ConfigEntries entries() const;
    uint32_t swatchColour(int swatch) const;
    void setSwatchColour(int swatch, uint32_t colour);

    void reject() override;

private:
    FileDialogOptions themeFileRequest(bool save) const;
    ThemeColours swatchTheme() const;
    void buildPages();
    void buildColourPages(QWidget* spectrumPage, QWidget* controlsPage);
    void connectControls();
    void fillComPorts();
    // Names the device the typed port address reaches.
    void showParallelDevice();
    bool checked(const char* name) const;
    void setChecked(const char* name, bool value);
    QString text(const char* name) const;
    void setText(const char* name, const QString& value);
    void leave(bool cancelled);

    ConfigDialogState ownState_;
    ConfigDialogState& state_;
    QString programFolder_;
    QString version_;
    ConfigApply apply_;
    ConfigSystemValues system_;
    std::vector<SerialDevice> serialPorts_; // the entries of cboComPort
    QTabWidget* TabStrip1_ = nullptr;
    QTimer* Timer1_ = nullptr;
    std::array<ShapeWidget*, SwatchCount> swatches_{};
    bool unloaded_ = false;
};

} // namespace orvik
