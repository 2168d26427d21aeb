#include "recorder/ui/RecorderPanel.h"

#include "shell/widgets/ControlFactory.h"
#include "shell/widgets/ControlKinds.h"

#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>

namespace orvik {

namespace {

void buildButtons(QWidget* panel)
{
    const char* tips[] = {"Record",     "Play",           "Pause", "Stop", "Next Track", "Previous Track",
                          "Continuous Looping Playback", "Load Wav File", "Save Recording", "Close Recorder"};
    const QStyle::StandardPixmap icons[] = {
        QStyle::SP_DialogYesButton, QStyle::SP_MediaPlay,          QStyle::SP_MediaPause,
        QStyle::SP_MediaStop,       QStyle::SP_MediaSkipForward,   QStyle::SP_MediaSkipBackward,
        QStyle::SP_BrowserReload,   QStyle::SP_DialogOpenButton,   QStyle::SP_DialogSaveButton,
        QStyle::SP_DialogCloseButton};
    for (int i = 0; i < 10; ++i) {
        auto* button = addCommand(panel, "cmdWavCtls", i, "", {60 + i * 375, 45, 360, 300}, tips[i]);
        button->setIcon(panel->style()->standardIcon(icons[i]));
    }
}

} // namespace

void buildRecorderControls(QWidget* window)
{
    auto* panel = addPicture(window, "picRecorder", -1, {2580, 2820, 9360, 825});
    buildButtons(panel);

    auto* name = addText(panel, "txtRecordFileName", "orviksdr.wav", {3900, 45, 1800, 270}, "Filename for recording");
    // Start-up empties the name box, and its own frame is drawn in shades of the dark panel:
    // a line in the boxes' text colour keeps it in sight. Not a named control, so the colour
    // scheme leaves it alone.
    auto* border = new QFrame(panel);
    border->setFrameStyle(QFrame::Box | QFrame::Plain);
    border->setLineWidth(1);
    border->setGeometry(name->geometry().adjusted(-1, -1, 1, 1));
    setTextColour(border, textColour(name));
    border->lower();
    addCommand(panel, "cmdBrowseWavFile", -1, "Browse", {5760, 45, 720, 270});

    addLabel(panel, "lblRecordTime", -1, "00:00:00", {6600, 60, 1080, 255});
    addLabel(panel, "lblRecordTimeCaption", -1, "Elapsed", {7740, 60, 1500, 255});
    addLabel(panel, "lblRecordSize", -1, "000,000,000", {6600, 420, 1080, 255});
    addLabel(panel, "lblRecordSizeCaption", -1, "Size (KB)", {7740, 420, 1500, 255});

    // The options sit below the frames' captions ("Sample Rate", "Bits/Sample"), which they
    // would otherwise cover, in frames tall enough for both; the buttons above are shortened
    // to make room, so the panel still ends above the standard size's cut.
    auto* sampling = addFrame(panel, "frRecordSampling", "Sample Rate", {60, 345, 3600, 480});
    const char* rates[] = {"48K", "24K", "12K", "6K", "3k"};
    for (int i = 0; i < 5; ++i)
        addOption(sampling, "optRecordSampleRate", i, rates[i], {60 + i * 690, 255, 690, 210});
    addLabel(panel, "lblRecordMBytesPerHr", -1, "120", {3720, 480, 420, 240})->setAlignment(Qt::AlignRight);
    addLabel(panel, "lblRecordMBytesPerHrCaption", -1, "MB/Hr", {4170, 480, 600, 240});

    auto* bits = addFrame(panel, "frRecordBitsPerSample", "Bits/Sample", {4860, 345, 1500, 480});
    addOption(bits, "optRecordSamplePerBit", 0, "16", {60, 255, 660, 210});
    addOption(bits, "optRecordSamplePerBit", 1, "8", {720, 255, 660, 210});

    // Laid over frPresets (same container, same rectangle) when a file is loaded.
    QWidget* frequency = window->findChild<QWidget*>("frFreqCtl");
    auto* trackList = addPicture(frequency ? frequency : window, "picRecorderTrackList", -1, {120, 1290, 9120, 1410});
    addText(trackList, "txtRecordingLogHeaders", "", {0, 0, 9120, 315})->setReadOnly(true);
    addList(trackList, "lstRecordingLogs", {0, 220, 9120, 1190});
    trackList->setVisible(false);
}

} // namespace orvik
