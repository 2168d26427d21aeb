#include "bands/ui/frmEditUserPreset.h"

#include "bands/modBandPlan.h"
#include "common/Format.h"
#include "common/Numeric.h"
#include "common/Product.h"
#include "platform/MessageService.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <cmath>

namespace orvik {

namespace {

QString arrayName(const char* name, int index) { return QStringLiteral("%1_%2").arg(QLatin1String(name)).arg(index); }

QString withoutBlanks(QString text)
{
    text.remove(u' ');
    return text;
}

} // namespace

frmEditUserPreset::frmEditUserPreset(QWidget* owner, Preset& record, bool& saved, const QString& title,
                                     const QString& buttonCaption)
    : QDialog(owner), record_(record), saved_(saved), title_(title), buttonCaption_(buttonCaption)
{
    setObjectName(QStringLiteral("frmEditUserPreset"));
    setWindowTitle(QStringLiteral("Edit User Preset"));
    setModal(true);

    auto* grid = new QGridLayout(this);
    const char* fieldNames[] = {"Description", "Frequency (Hz)", "Date", "Time"};
    for (int i = 0; i < 4; ++i) {
        grid->addWidget(new QLabel(QString::fromLatin1(fieldNames[i]), this), i, 0);
        auto* text = new QLineEdit(this);
        text->setObjectName(arrayName("txtPresetValues", i));
        grid->addWidget(text, i, 1, 1, 2);
        txtPresetValues[static_cast<size_t>(i)] = text;
    }

    auto* modes = new QGroupBox(this);
    modes->setObjectName(QStringLiteral("picDemodulation"));
    auto* modeRow = new QHBoxLayout(modes);
    auto* modeGroup = new QButtonGroup(this);
    const char* modeCaptions[] = {"AM", "USB", "LSB", "DRM"};
    for (int i = 0; i < 4; ++i) {
        auto* b = new QRadioButton(QString::fromLatin1(modeCaptions[i]), modes);
        b->setObjectName(arrayName("optDemodulationValue", i));
        modeGroup->addButton(b, i);
        modeRow->addWidget(b);
        optDemodulationValue[static_cast<size_t>(i)] = b;
    }
    grid->addWidget(modes, 4, 0, 1, 3);

    auto* filters = new QGroupBox(this);
    filters->setObjectName(QStringLiteral("picFiltering"));
    auto* filterRow = new QHBoxLayout(filters);
    auto* filterGroup = new QButtonGroup(this);
    const char* filterCaptions[] = {"Off", "400Hz", "2.4KHz", "3.2KHz", "4KHz"};
    for (int i = 0; i < 5; ++i) {
        auto* b = new QRadioButton(QString::fromLatin1(filterCaptions[i]), filters);
        b->setObjectName(arrayName("optFilteringValues", i));
        filterGroup->addButton(b, i);
        filterRow->addWidget(b);
        optFilteringValues[static_cast<size_t>(i)] = b;
    }
    grid->addWidget(filters, 5, 0, 1, 3);

    chkPresetTuneImage = new QCheckBox(QStringLiteral("Tune Image"), this);
    chkPresetTuneImage->setObjectName(QStringLiteral("chkPresetTuneImage"));
    grid->addWidget(chkPresetTuneImage, 6, 0);
    lblPresetIndex = new QLabel(this);
    lblPresetIndex->setObjectName(QStringLiteral("lblPresetIndex"));
    grid->addWidget(lblPresetIndex, 6, 1);

    cmdSave = new QPushButton(QStringLiteral("&Save"), this);
    cmdSave->setObjectName(QStringLiteral("cmdSave"));
    cmdCancel = new QPushButton(QStringLiteral("&Cancel"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    grid->addWidget(cmdSave, 7, 1);
    grid->addWidget(cmdCancel, 7, 2);
    connect(cmdSave, &QPushButton::clicked, this, [this] { cmdSave_Click(); });
    connect(cmdCancel, &QPushButton::clicked, this, [this] { cmdCancel_Click(); });

    Form_Load();
}

void frmEditUserPreset::Form_Load()
{
    setWindowTitle(QString::fromLatin1(ProductName) + QStringLiteral(" - ") + title_);
    cmdSave->setText(buttonCaption_);
    saved_ = false;
    lblPresetIndex->setText(QString::number(record_.Index));
    txtPresetValues[0]->setText(record_.Description);
    txtPresetValues[1]->setText(QString::fromStdString(Format(record_.Settings.FreqCurrent, "### ### 000")).trimmed());
    txtPresetValues[2]->setText(record_.When.left(10));
    txtPresetValues[3]->setText(record_.When.mid(11, 8));
    // A mode or filter the editor does not offer is shown unchosen, so that saving keeps it.
    const int32_t mode = record_.Settings.DemodMode;
    if (mode >= 0 && mode <= 3)
        optDemodulationValue[static_cast<size_t>(mode)]->setChecked(true);
    const int32_t filter = record_.Settings.FilterMode;
    if (filter >= 0 && filter <= 4)
        optFilteringValues[static_cast<size_t>(filter)]->setChecked(true);
    chkPresetTuneImage->setChecked(record_.Settings.LowSideLO);
}

void frmEditUserPreset::cmdSave_Click()
{
    const double typed = NumericValue(withoutBlanks(txtPresetValues[1]->text()).toStdString());
    const auto frequency = RoundEvenChecked(typed);
    if (!frequency || *frequency < 1 || *frequency > modBandPlan::kLargestFrequency) {
        messages().show(QStringLiteral("The frequency must be a number of hertz from 1 to %1.")
                            .arg(modBandPlan::kLargestFrequency),
                        QString::fromLatin1(ProductName) + QStringLiteral(" - ") + title_, MessageButtons::Ok,
                        MessageIcon::Warning);
        return;
    }
    for (int i = 0; i < 4; ++i)
        if (optDemodulationValue[static_cast<size_t>(i)]->isChecked())
            record_.Settings.DemodMode = i;
    for (int i = 0; i < 5; ++i)
        if (optFilteringValues[static_cast<size_t>(i)]->isChecked())
            record_.Settings.FilterMode = i;
    record_.Settings.LowSideLO = chkPresetTuneImage->isChecked();
    record_.Description = txtPresetValues[0]->text();
    record_.Settings.FreqCurrent = *frequency;
    record_.When = txtPresetValues[2]->text() + u' ' + txtPresetValues[3]->text();
    record_.Caption = QString::fromStdString(Format(Int(*frequency / 1000.0 + 0.5), "#0"));
    // Only a captured block reaches the band-plan file.
    record_.Settings.Captured = true;
    saved_ = true;
    accept();
}

void frmEditUserPreset::cmdCancel_Click()
{
    saved_ = false;
    reject();
}

} // namespace orvik
