#pragma once

#include "app/PlayerRecorderAdapter.h"
#include "recorder/clsWavFile.h"
#include "recorder/ui/RecorderControls.h"

#include <QString>

#include <functional>
#include <memory>

class QWidget;

namespace orvik {

class SettingsStore;

// The recorder as the main window holds it: the recorder object WavFile, the receive chain's
// view of it, and its panel's controller. One call per start-up step.
class MainWindowRecorder {
public:
    explicit MainWindowRecorder(const QString& programFolder);

    PlayerRecorder& player() { return adapter_; }
    clsWavFile& WavFile() { return wavFile_; }
    RecorderControls* controls() const { return controls_.get(); }

    // Start-up ":Creating Wavfile Object": names the object, sets the receiver's rate and
    // connects the panel.
    void create(QWidget* window, RecorderControls::Hooks hooks, std::function<int32_t()> vfoFrequency);
    // Start-up ":Initialise WavFile Object": an empty name box, the stored settings and the
    // options that show them.
    void initialise(QWidget* window, SettingsStore& store);
    // The band plans add a track whenever they apply settings (tenths of a hertz).
    void NewLogRecord(int32_t TunedFrequency) { adapter_.NewLogRecord(TunedFrequency); }
    // Shut-down: finishes an unsaved recording in the temporary file and stores the settings.
    void terminate();

private:
    QString programFolder_;
    clsWavFile wavFile_;
    PlayerRecorderAdapter adapter_{wavFile_};
    std::unique_ptr<RecorderControls> controls_;
};

} // namespace orvik
