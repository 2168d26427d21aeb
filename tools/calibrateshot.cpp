// Saves a picture of the clock calibration dialog as the user sees it after typing a
// station's official frequency: calibrateshot OUTPUT.png
#include "platform/SettingsStore.h"
#include "tuning/clsAD9951.h"
#include "tuning/clsVFO.h"
#include "tuning/ui/frmCalibrate.h"

#include <QApplication>
#include <QLineEdit>
#include <QPixmap>
#include <QTemporaryDir>

#include <cstdio>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: calibrateshot OUTPUT.png\n");
        return 2;
    }
    QTemporaryDir dir;
    orvik::SettingsStore store(dir.filePath("ORVIKSDR.ini"));
    orvik::clsAD9951 chip;
    chip.setName(QStringLiteral("DDSAD9951"));
    chip.setClkIn(360096000);
    orvik::clsVFO vfo(store);
    vfo.setOscType(&chip);
    vfo.setIFFrequency(45000000);
    vfo.setTunedFrequency(100000000); // 10 MHz, so the chip holds a tuning word

    orvik::frmCalibrate dialog(vfo, nullptr);
    dialog.show();
    dialog.findChild<QLineEdit*>(QStringLiteral("txtOfficialFreq"))->setText(QStringLiteral("10 000 100"));
    QApplication::processEvents();
    return dialog.grab().save(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
}
