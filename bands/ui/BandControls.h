#pragma once

#include "bands/modBandPlan.h"
#include "bands/ui/BandPanel.h"
#include "common/PointerCodes.h"

#include <QDateTime>
#include <QObject>
#include <QPoint>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

class QDialog;
class QMenu;
class QTimer;
class QWidget;

namespace orvik {

class frmPresetDesc;

// The band, sub-band and preset controls of the main window: the band and sub-band
// pickers, the sub-band and preset buttons, the preset menu and editor, the description
// window and the sub-band tracking timer. Works on the band plans it is given; reaches
// the receiver only through its hooks. Construct once the controls are built.
class BandControls : public QObject {
public:
    struct Hooks {
        // Settings blocks against the live receiver.
        std::function<void(RxSettings&)> CaptureSettingsBlock;
        std::function<void(RxSettings&)> ApplySettingsBlock;
        std::function<bool()> ApplyingSettings;
        // True while the external decoder is being started.
        std::function<bool()> StartingDream;
        // A marked preset follows the receiver's settings (keeping its frequency).
        std::function<bool()> AutoTrackPresets;
        // True while start-up runs: the band list is being filled.
        std::function<bool()> Initialising;
        // Chooses tuning step Index of TuningSteps.
        std::function<void(int Index, bool Unlock)> SelectTuningStep;
        // The VFO: tuned frequency in tenths of a hertz and its injection side.
        std::function<int32_t()> TunedFrequency;
        std::function<bool()> vfoHiSideLO;
        // The receiver's demodulation and filter presets in force.
        std::function<int32_t()> DemodMode;
        std::function<int32_t()> FilterMode;
        std::function<uint32_t()> SDRLabelColour;
        std::function<uint32_t()> SDRFrameFocusColour;
        std::function<void()> UnFocusFrames;
        std::function<void()> DeactivateAdjuster;
        // Runs a modal dialog; tests answer it instead.
        std::function<int(QDialog&)> runDialog;
        std::function<QDateTime()> now;
    };

    BandControls(QWidget* window, const BandPanel& panel, modBandPlan& plans, std::vector<int32_t> tuningSteps,
                 Hooks hooks);
    ~BandControls() override;

    // Band and sub-band selection.
    void SelectBand(int b);
    void optSubBand_Click(int Index);
    void optSubBand_MouseDown(int Index, int Button, int Shift);
    void optSubBand_MouseMove(int Index, QPoint pointer);
    void cboBandSelect_Change();
    void cboBandSelect_Click();
    void cboBandSelect_LostFocus();
    void cboSubBandSelect_Click();
    void cboSubBandSelect_LostFocus();
    void lblSubBand_MouseMove();
    void lstSubBandSelect_Click();
    void lstSubBandSelect_MouseMove(QPoint pointer);
    void imgBandSelect_MouseMove(QPoint pointer);
    void picSubBands_MouseMove();
    void frPresets_MouseMove(QPoint pointer);

    // The band controls' part of DarkenControls: the description window hidden, the band
    // and sub-band pickers folded away and lblSubBand shown in their place.
    void foldBandPickers();

    // Presets.
    void optPreset_MouseDown(int Index, int Button, int Shift);
    void optPreset_MouseUp(int Index, int Button, int Shift);
    void optPreset_MouseMove(int Index, QPoint pointer);
    void optPreset_KeyDown(int Index, int KeyCode, int Shift);
    void StorePresetFromCurrent(Preset& preset);
    void ApplyPreset(Preset& preset);
    void ApplyPreset(SubBand& subBand);
    void mnuUserPresets_Edit_Click();
    void mnuUserPresets_Save_Click();

    // Sub-band tracking, every 300 ms.
    void tmrSubBands_Timer();

    bool ShowPresetDesc = false;
    int LastPresetIndex = -1;
    bool PresetApplyBusy = false;
    // Hand-over to the preset editor.
    Preset PresetEditRecord;
    bool PresetEditSaved = false;
    QString PresetEditTitle;
    QString PresetEditButtonCaption;

    // The preset editor is modal; tests answer it here instead.
    void setDialogRunner(std::function<int(QDialog&)> runner) { hooks_.runDialog = std::move(runner); }

    QMenu* mnuUserPresets() const { return menu_; }
    frmPresetDesc* presetDescription() const { return desc_.get(); }
    QTimer* tmrSubBands() const { return timer_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Both kinds of preset hand their block to the receiver here, once at a time.
    void applySettingsBlock(RxSettings& settings);
    // The active sub-band's marked preset, copied into PresetEditRecord; no preset where
    // there is none.
    struct MarkedPreset {
        SubBand* subBand = nullptr;
        Preset* preset = nullptr;
    };
    MarkedPreset copyMarkedPresetForEditing();
    // The preset editor on PresetEditRecord; true when the user saved.
    bool runPresetEditor(const QString& title, const QString& buttonCaption);
    // The edited record into the preset, its button, and the receiver.
    void takeEditedPreset(SubBand& sb, Preset& preset, const QString& buttonText);
    // What the operator stores is written at once, so that a crash cannot take it.
    void saveStoredBand();
    BandPlan* currentBand();
    SubBand* activeSubBand();
    Preset* presetOf(SubBand& sb, int p);
    void labelPresetButtons(SubBand& sb, bool clearUnused);
    void checkOnly(std::array<QRadioButton*, PresetButtonCount>& buttons, int index);
    void checkSubBandOnly(int index);
    // Each sub-band list given the index, its click raised when the index is new to it (or
    // always, with evenIfSelected).
    void setListIndexes(int index, bool evenIfSelected = false);
    void hidePickers();
    void traceSubBandLabel(const char* handler) const;
    void showDescription(QWidget* over, QPoint pointer, const QString& caption, const QString& text);
    void hideDescription();
    uint32_t labelColour() const;
    QString optionCaption(const char* arrayName, int index) const;
    int runDialog(QDialog& dialog);
    QDateTime now() const;
    void connectControls();

    QWidget* window_;
    BandPanel panel_;
    modBandPlan& plans_;
    std::vector<int32_t> TuningSteps_;
    Hooks hooks_;
    QMenu* menu_ = nullptr;
    QTimer* timer_ = nullptr;
    std::unique_ptr<frmPresetDesc> desc_;

    bool inSelectBand_ = false;
    bool inSubBandClick_ = false;
    bool inPresetMouseDown_ = false;
    bool inMenuEdit_ = false;
    bool inMenuSave_ = false;
    bool presetHandlerRan_ = false;
};

} // namespace orvik
