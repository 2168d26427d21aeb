#include "bands/ui/BandPanel.h"

#include "shell/widgets/ControlFactory.h"
#include "shell/widgets/ControlKinds.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QRadioButton>

namespace orvik {

namespace {

// Button geometry inside its picture box: width 1000 twips, rows of buttonsPerRow.
TwipsRect buttonRect(int index, int buttonsPerRow)
{
    return {(index % buttonsPerRow) * 1000, (index / buttonsPerRow) * 225, 1000, 225};
}

} // namespace

BandPanel buildBandControls(QWidget* window)
{
    BandPanel panel;
    QWidget* frequency = window->findChild<QWidget*>("frFreqCtl");
    QWidget* parent = frequency ? frequency : window;
    auto* frame = addFrame(parent, "frPresets", "Presets", {120, 1290, 9120, 1410});
    panel.frPresets = frame;

    panel.imgBandSelect = addImage(frame, "imgBandSelect", {2400, 0, 2400, 315});
    panel.cboBandSelect = addCombo(frame, "cboBandSelect", {2400, 0, 2400, 315});
    panel.cboSubBandSelect = addCombo(frame, "cboSubBandSelect", {4920, 0, 2400, 315});
    auto* list = addList(frame, "lstSubBandSelect", {4920, 0, 2400, 315});
    list->setVisible(false);
    list->setEnabled(false);
    panel.lstSubBandSelect = list;
    auto* subBand = addLabel(frame, "lblSubBand", -1, "", {4920, 0, 2400, 315});
    subBand->setVisible(false);
    panel.lblSubBand = subBand;

    QFont buttonFont = frame->font();
    buttonFont.setPointSize(8);

    auto* subBands = addPicture(frame, "picSubBands", -1, {60, 380, 9000, 450});
    for (int i = 0; i < SubBandButtonCount; ++i) {
        auto* button = addOption(subBands, "optSubBand", i, QString("S%1").arg(i), buttonRect(i, 9));
        button->setFont(buttonFont);
        setTextColour(button, 0xC0);
        panel.optSubBand[static_cast<size_t>(i)] = button;
    }
    panel.picSubBands = subBands;

    auto* presets = addPicture(frame, "picPresets", -1, {60, 840, 9000, 480});
    for (int i = 0; i < PresetButtonCount; ++i) {
        auto* button = addOption(presets, "optPreset", i, "88.888", buttonRect(i, 6));
        button->setFont(buttonFont);
        setTextColour(button, 0xC0C000);
        panel.optPreset[static_cast<size_t>(i)] = button;
    }
    panel.picPresets = presets;
    return panel;
}

} // namespace orvik
