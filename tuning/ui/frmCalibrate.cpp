#include "tuning/ui/frmCalibrate.h"

#include "common/Format.h"
#include "common/Numeric.h"
#include "platform/MessageService.h"
#include "tuning/SynthDriver.h"
#include "tuning/SynthPortInterface.h"
#include "tuning/SynthesizerSetup.h"
#include "tuning/TuningArithmetic.h"
#include "tuning/clsVFO.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace orvik {

namespace {

QString grouped(double value)
{
    return QString::fromStdString(Format(value, "#0 000 000"));
}

QLabel* valueLabel(const char* name, QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setObjectName(QLatin1String(name));
    return label;
}

QPushButton* button(const char* name, const char* caption, QWidget* parent)
{
    auto* b = new QPushButton(QLatin1String(caption), parent);
    b->setObjectName(QLatin1String(name));
    b->setAutoDefault(false);
    return b;
}

} // namespace

frmCalibrate::frmCalibrate(clsVFO& vfo, SettingsStore* store, QWidget* parent)
    : QDialog(parent), vfo_(vfo), store_(store)
{
    setObjectName(QStringLiteral("frmCalibrate"));
    setModal(true);

    lblCurrentTunedFreq_ = valueLabel("lblCurrentTunedFreq", this);
    lblDDSClkInCurrent_ = valueLabel("lblDDSClkInCurrent", this);
    lblDDSClkinNew_ = valueLabel("lblDDSClkinNew", this);
    txtOfficialFreq_ = new QLineEdit(this);
    txtOfficialFreq_->setObjectName(QStringLiteral("txtOfficialFreq"));

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Current Tuned Freq"), lblCurrentTunedFreq_);
    form->addRow(QStringLiteral("DDS CLKIN (Current)"), lblDDSClkInCurrent_);
    auto* officialCaption = new QLabel(QStringLiteral("Official Freq"), this);
    officialCaption->setObjectName(QStringLiteral("lblOfficialFreq"));
    officialCaption->setBuddy(txtOfficialFreq_);
    form->addRow(officialCaption, txtOfficialFreq_);
    form->addRow(QStringLiteral("DDS CLKIN (New)"), lblDDSClkinNew_);

    cmdTry_ = button("cmdTry", "&Try It", this);
    cmdApply_ = button("cmdApply", "&Apply", this);
    cmdCancel_ = button("cmdCancel", "&Cancel", this);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cmdTry_);
    buttons->addWidget(cmdApply_);
    buttons->addWidget(cmdCancel_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);

    connect(cmdTry_, &QPushButton::clicked, this, [this] { cmdTry_Click(); });
    connect(cmdApply_, &QPushButton::clicked, this, [this] { cmdApply_Click(); });
    connect(cmdCancel_, &QPushButton::clicked, this, [this] { cmdCancel_Click(); });
    connect(txtOfficialFreq_, &QLineEdit::textChanged, this, [this](const QString& text) { txtOfficialFreq_Change(text); });

    Form_Load();
}

void frmCalibrate::Form_Load()
{
    setWindowTitle(programTitle() + QStringLiteral(" - Calibrate DDS CLKIN"));
    SynthDriver* chip = vfo_.OscType();
    entryClock_ = chip ? chip->ClkIn() : 0;
    tunedFrequency_ = RoundEven(vfo_.TunedFrequency() / 10.0);
    IF_ = vfo_.IFFrequency();
    tuningWord_ = chip ? chip->CurrentTuningWord() : 0;
    lblCurrentTunedFreq_->setText(grouped(tunedFrequency_));
    lblDDSClkInCurrent_->setText(grouped(entryClock_));
    cmdTry_->setEnabled(false);
    cmdApply_->setEnabled(false);
    if (tuningWord_ == 0)
        lblDDSClkinNew_->setToolTip(QStringLiteral("No frequency has been sent to the synthesizer yet"));
    txtOfficialFreq_->setText(QString::number(tunedFrequency_));
}

void frmCalibrate::txtOfficialFreq_Change(const QString& text)
{
    // An emptied field is an edit in progress, not a typed zero.
    if (text.trimmed().isEmpty())
        return;
    officialFrequency_ = RoundEven(NumericValue(text.toStdString()));
    if (officialFrequency_ == 0) {
        messages().show(QStringLiteral("Official Frequency must not be ZERO"), programTitle(), MessageButtons::Ok,
                        MessageIcon::None);
        return;
    }
    CalibrationInput in;
    in.officialHz = officialFrequency_;
    in.ifHz = IF_;
    in.hiSideLO = vfo_.HiSideLO();
    in.calibOffsetHz = vfo_.CalibOffset();
    in.multiplier = vfo_.OscMultiplier();
    in.tuningWord = tuningWord_;
    const std::optional<double> clock = CalibratedClock(in);
    if (!clock)
        return;
    newClock_ = clock;
    lblDDSClkinNew_->setText(grouped(*clock));
    cmdTry_->setEnabled(true);
    cmdApply_->setEnabled(true);
}

void frmCalibrate::cmdTry_Click()
{
    if (!newClock_)
        return;
    if (SynthDriver* chip = vfo_.OscType())
        chip->setClkIn(*newClock_);
}

void frmCalibrate::cmdApply_Click()
{
    if (!newClock_)
        return;
    SynthDriver* chip = vfo_.OscType();
    if (chip) {
        chip->setClkIn(*newClock_);
        if (store_)
            StoreClock(*store_, *chip);
    }
    ApplyChanges = true;
    closing_ = true;
    accept();
}

void frmCalibrate::cmdCancel_Click()
{
    if (SynthDriver* chip = vfo_.OscType(); chip && entryClock_ > 0)
        chip->setClkIn(entryClock_);
    ApplyChanges = false;
    closing_ = true;
    QDialog::reject();
}

void frmCalibrate::reject()
{
    if (closing_) {
        QDialog::reject();
        return;
    }
    cmdCancel_Click();
}

} // namespace orvik
