#include "app/MainWindowRecorder.h"

#include <QLineEdit>
#include <QWidget>

namespace orvik {

MainWindowRecorder::MainWindowRecorder(const QString& programFolder)
    : programFolder_(programFolder), wavFile_(programFolder)
{
}

void MainWindowRecorder::create(QWidget* window, RecorderControls::Hooks hooks, std::function<int32_t()> vfoFrequency)
{
    wavFile_.Name = QStringLiteral("WavFile");
    wavFile_.setSamplingRate(48000);
    wavFile_.vfoFrequency = std::move(vfoFrequency);
    controls_ = std::make_unique<RecorderControls>(window, wavFile_, programFolder_, std::move(hooks));
}

void MainWindowRecorder::initialise(QWidget* window, SettingsStore& store)
{
    if (auto* name = window->findChild<QLineEdit*>(QStringLiteral("txtRecordFileName")))
        name->clear();
    wavFile_.Init(store);
    if (controls_)
        controls_->selectStoredOptions();
}

void MainWindowRecorder::terminate()
{
    controls_.reset();
    wavFile_.events = {};
    wavFile_.selectRecordSampleRate = {};
    wavFile_.Terminate();
}

} // namespace orvik
